#pragma once

#include "model/DiskTally.h"
#include "model/ScanModel.h"

#include <string>
#include <vector>

namespace kelvo {

// One package manager's adapter. Both operations block and run on a worker thread;
// scan never throws in normal operation and expresses every failure in its report.
class ManagerAdapter {
public:
    virtual ~ManagerAdapter() = default;

    virtual ManagerKind kind() const = 0;
    // Whether the manager is present on this machine.
    virtual bool isInstalled() const = 0;
    // What it measures also goes into `counted`: the whole scan's scope (DiskTally::wholeScan) and
    // one of the manager's own, whose total becomes the report's onceCountedBytes.
    virtual ManagerReport scan(TallyScopes counted) const = 0;
    // A few words on what a running scan is doing beyond measuring ("searching ~/src"), for the
    // live progress; empty when there is nothing to say. Cheap, and safe from any thread.
    virtual std::string progressNote() const { return {}; }
    // Once every adapter of the scan has returned, with the version files the projects search met:
    // keeps the items of `report` (this adapter's) that a project pins. On a worker thread; reads
    // at most small files.
    virtual void keepPinned(ManagerReport& /*report*/, const std::vector<ProjectPin>& /*pins*/) const {}
    // A scan on its own.
    ManagerReport scan() const {
        DiskTally tally;
        return scan({&tally, DiskTally::wholeScan | tally.openScope()});
    }
};

} // namespace kelvo
