#pragma once

#include "system/ReadOnlyCommand.h"

#include <chrono>
#include <cstddef>

namespace kelvo {

// Starts one allowlisted command with posix_spawn: the resolved executable, the fixed
// arguments, and an environment of exactly PATH, USER and the command's childEnvironment. Stateless.
class CommandRunner final : public ReadOnlyCommandRunning {
public:
    static constexpr std::chrono::milliseconds defaultTimeout{120'000};
    // Output beyond this is read and discarded so the child never blocks; what was kept is used.
    // Real answers are kilobytes; the bound keeps a flooding tool from costing more than a few
    // copies of it, since items are built from every line.
    static constexpr std::size_t defaultOutputLimit = 8 * 1024 * 1024;

    explicit CommandRunner(CandidateTable candidates = standardCandidateTable(),
        std::chrono::milliseconds timeout = defaultTimeout, std::size_t outputLimit = defaultOutputLimit);

    CommandResult run(const ReadOnlyCommand& command) const override;

    // The executable that run() would start (empty when none qualifies) and its PATH prefix.
    ResolvedTool resolve(CommandTool tool) const;

private:
    CandidateTable candidates_;
    std::chrono::milliseconds timeout_;
    std::size_t outputLimit_;
};

// The PATH handed to every child.
std::string childSearchPath();

} // namespace kelvo
