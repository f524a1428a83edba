#pragma once

#include "model/ScanModel.h"

namespace kelvo {

// One package manager's adapter. Both operations block and run on a worker thread;
// scan never throws in normal operation and expresses every failure in its report.
class ManagerAdapter {
public:
    virtual ~ManagerAdapter() = default;

    virtual ManagerKind kind() const = 0;
    // Whether the manager is present on this machine.
    virtual bool isInstalled() const = 0;
    virtual ManagerReport scan() const = 0;
};

} // namespace kelvo
