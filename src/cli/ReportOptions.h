#pragma once

#include "model/SizeFormat.h"

#include <optional>
#include <string>
#include <vector>

namespace kelvo::report {

inline constexpr int exitUsage = 2;

struct ReportOptions {
    enum class Action { report, help, version, usageError };

    Action action = Action::report;
    bool json = false;
    SizeUnit unit = SizeUnit::decimal;
    std::string error; // usageError: what was wrong, already safe to print
    // --projects DIR, each time given: the folders searched for projects instead of the setting's.
    std::vector<std::string> projectFolders;
};

// The arguments after the program name. Any unknown argument is a usage error (whatever else is
// given); otherwise --help wins over --version, which wins over a report.
ReportOptions parseOptions(const std::vector<std::string>& arguments);

std::string usageLine();   // "Usage: kelvo-report [--json] [--binary] [--projects DIR]... [--help] [--version]"
std::string helpText();    // for --help, on standard output
std::string versionText(); // "kelvo-report 1.0.0\n"

// For help, version and usage errors: writes what belongs on standard output and standard error
// and returns the exit status (0, or 2 for a usage error). Absent for a report (a scan is needed).
std::optional<int> handleWithoutScan(
    const ReportOptions& options, std::string& standardOutput, std::string& standardError);

} // namespace kelvo::report
