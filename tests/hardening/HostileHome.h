#pragma once

// A home directory built to hurt: every manager's folders filled with names, files and tree
// shapes that a careless scanner would choke on, follow out of the tree, or print raw. Plus
// fake tools (through the runner's candidate table) that record every call they get.

#include "model/ManagerAdapter.h"
#include "model/ScanModel.h"
#include "system/CommandRunner.h"
#include "system/ReadOnlyCommand.h"
#include "support/TestSupport.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace kelvo::test {

// Names that are legal file names but hostile to shells, terminals and parsers.
const std::vector<std::string>& hostileNames();

class HostileHome {
public:
    // huge: also a 10,000-level tree, a directory of 100,000 entries and an oversized package.json.
    explicit HostileHome(bool huge = true);
    ~HostileHome();
    HostileHome(const HostileHome&) = delete;
    HostileHome& operator=(const HostileHome&) = delete;

    const std::string& home() const { return dir_.path(); }
    std::string npmPrefix() const { return dir_ / "npm-prefix"; }
    std::string npmCache() const { return dir_ / "npm-cache"; }
    std::string cellar() const { return dir_ / "Cellar"; }
    std::string nvmVersions() const { return dir_ / ".nvm/versions/node"; }
    std::string bunModules() const { return dir_ / ".bun/install/global/node_modules"; }
    std::string bunCache() const { return dir_ / ".bun/install/cache"; }
    std::string pnpmStore() const { return dir_ / ".local/share/pnpm/store"; }
    // A directory outside every measured tree that symbolic links inside them point to.
    std::string bigOutside() const { return dir_ / "big-outside"; }

    // Hostile entries made (names, files, special files, tree shapes), and shapes that could not
    // be made here, each with the reason.
    int shapeCount() const { return shapes_; }
    const std::vector<std::string>& skipped() const { return skipped_; }

    // What `npm ls -g --depth=0 --json` says about the npm prefix: every hostile name, plus names
    // that try to climb out of it.
    std::string npmListJson() const;
    // Lines of `brew list --formula` / `brew leaves`.
    std::string brewList() const;

    // Keeps creating and removing entries inside measured trees until stopChurn().
    void startChurn();
    void stopChurn();

private:
    void shape(bool made, const std::string& what);
    void specialFiles(const std::string& directory);
    void escapeLinks(const std::string& directory);
    void packageDirectory(const std::string& directory, const std::string& packageJson);

    TempDir dir_;
    bool huge_;
    int shapes_ = 0;
    std::vector<std::string> skipped_;
    std::vector<std::string> churnDirectories_;
    std::atomic<bool> churning_{false};
    std::thread churn_;
};

// Fake brew, npm, pnpm and bun as /bin/sh scripts that log their argv and answer from files.
class FakeTools {
public:
    FakeTools();

    // The candidate table that finds exactly these tools.
    CandidateTable candidates() const;
    // Sets what `tool args...` prints (args joined by spaces); a call without an answer exits 3.
    void answer(const std::string& tool, const std::string& joinedArguments, const std::string& output);
    // Replaces one tool by a script body of its own (still logging its argv first).
    void replace(const std::string& tool, const std::string& body);
    // Every recorded call as argv words after the program itself.
    std::vector<std::vector<std::string>> calls() const;
    std::string path(const std::string& tool) const { return dir_ / ("bin/" + tool); }
    const std::string& directory() const { return dir_.path(); }

    // Answers for a hostile home: every tool present and talking.
    void answerFor(const HostileHome& home);

private:
    void write(const std::string& tool, const std::string& body);
    TempDir dir_;
};

// The eleven argument vectors, as the only calls any fake tool may see.
bool isAllowlistedCall(const std::vector<std::string>& argv, const std::string& tool);

using Adapters = std::vector<std::shared_ptr<const ManagerAdapter>>;

// The five adapters on one runner with the real sizer and prober, the shipped knowledge base.
Adapters hostileAdapters(std::shared_ptr<const ReadOnlyCommandRunning> runner, const std::string& home);
// Runs every adapter on a thread of its own and returns the reports in manager-kind order.
ScanResult scanAll(const Adapters& adapters);

// Process facts for leak and memory checks.
int openDescriptorCount();
int zombieChildCount();
long residentKiB();
// Resets the peak resident size so peakResidentKiB() measures from now; false if not supported.
bool resetPeakResident();
long peakResidentKiB();

} // namespace kelvo::test
