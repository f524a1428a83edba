#include "cli/ReportOptions.h"

#include "adapters/Sources.h"
#include "inventory/DisplayText.h"
#include "model/Version.h"

namespace kelvo::report {

ReportOptions parseOptions(const std::vector<std::string>& arguments) {
    ReportOptions options;
    bool help = false;
    bool version = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "--projects" || argument.starts_with("--projects=")) {
            const bool inline_ = argument.starts_with("--projects=");
            if (!inline_ && i + 1 == arguments.size()) {
                options.action = ReportOptions::Action::usageError;
                options.error = "option '--projects' needs a folder";
                return options;
            }
            std::string folder = inline_ ? argument.substr(std::string("--projects=").size()) : arguments[++i];
            if (folder.empty()) {
                options.action = ReportOptions::Action::usageError;
                options.error = "option '--projects' needs a folder";
                return options;
            }
            options.projectFolders.push_back(std::move(folder));
        } else if (argument == "--json") {
            options.json = true;
        } else if (argument == "--binary") {
            options.unit = SizeUnit::binary;
        } else if (argument == "--help" || argument == "-h") {
            help = true;
        } else if (argument == "--version") {
            version = true;
        } else {
            options.action = ReportOptions::Action::usageError;
            const bool looksLikeOption = !argument.empty() && argument.front() == '-';
            options.error = std::string(looksLikeOption ? "unknown option '" : "unexpected argument '") +
                            escapeForTerminal(argument) + "'";
            return options;
        }
    }
    if (help) {
        options.action = ReportOptions::Action::help;
    } else if (version) {
        options.action = ReportOptions::Action::version;
    }
    return options;
}

std::string usageLine() { return "Usage: kelvo-report [--json] [--binary] [--projects DIR]... [--help] [--version]"; }

std::string helpText() {
    return usageLine() +
           "\n"
           "\n"
           "Scans " +
           packageManagerNames() +
           " and your projects' build folders on this computer\n"
           "and reports what they keep on disk, what takes space and what is safe to reclaim, with the\n"
           "command that would reclaim it.\n"
           "Read-only: nothing is ever removed; you run every command yourself. The only programs it\n"
           "starts are " +
           startedPrograms() +
           ", each with a fixed list of read-only arguments.\n"
           "\n"
           "  --json      print one JSON document instead of text (schema: docs/report-json.md)\n"
           "  --binary    sizes in powers of 1024 (default: powers of 1000)\n"
           "  --projects DIR\n"
           "              search DIR for projects' build folders (repeatable; default: the\n"
           "              folders chosen in Kelvo's settings, or the home folder)\n"
           "  -h, --help  show this help and exit\n"
           "  --version   show the version and exit\n"
           "\n"
           "Colour and aligned columns are used only when standard output is a terminal and NO_COLOR\n"
           "is unset or empty. Progress goes to standard error, and only when it is a terminal.\n";
}

std::string versionText() { return "kelvo-report " + std::string(kelvoVersion) + "\n"; }

std::optional<int> handleWithoutScan(
    const ReportOptions& options, std::string& standardOutput, std::string& standardError) {
    switch (options.action) {
    case ReportOptions::Action::report: return std::nullopt;
    case ReportOptions::Action::help: standardOutput += helpText(); return 0;
    case ReportOptions::Action::version: standardOutput += versionText(); return 0;
    case ReportOptions::Action::usageError:
        standardError += "kelvo-report: " + options.error + "\n" + usageLine() +
                         "\nTry 'kelvo-report --help' for more information.\n";
        return exitUsage;
    }
    return std::nullopt;
}

} // namespace kelvo::report
