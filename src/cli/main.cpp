// kelvo-report: one scan with the standard adapters, printed as text or as one JSON document.
#include "cli/ReportOptions.h"
#include "cli/ReportText.h"
#include "inventory/DisplayText.h"
#include "inventory/ReportJson.h"
#include "scan/MainQueue.h"
#include "scan/ScanCoordinator.h"
#include "scan/StandardAdapters.h"
#include "system/Platform.h"

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include <sys/ioctl.h>
#include <unistd.h>

namespace {

bool writeAll(std::FILE* stream, const std::string& text) {
    if (!text.empty() && std::fwrite(text.data(), 1, text.size(), stream) != text.size()) {
        return false;
    }
    return std::fflush(stream) == 0;
}

// Folders given on the command line, relative ones taken from the working directory.
std::vector<std::string> absoluteFolders(const std::vector<std::string>& folders) {
    std::string here(4096, '\0');
    here = ::getcwd(here.data(), here.size()) != nullptr ? std::string(here.c_str()) : std::string("/");
    std::vector<std::string> absolute;
    for (const auto& folder : folders) {
        absolute.push_back(folder.starts_with('/') ? folder : (here == "/" ? "" : here) + "/" + folder);
    }
    return absolute;
}

} // namespace

int main(int argc, char** argv) {
    using namespace kelvo;
    using namespace kelvo::report;

    const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    const ReportOptions options = parseOptions(arguments);
    std::string standardOutput;
    std::string standardError;
    if (const auto status = handleWithoutScan(options, standardOutput, standardError)) {
        writeAll(stderr, standardError);
        return writeAll(stdout, standardOutput) ? *status : 1;
    }

    // Without its knowledge base every verdict would quietly change: say so instead of scanning.
    const std::string resources = resourceDirectory();
    if (const auto missing = missingResource(resources, {"KnowledgeBase.json"})) {
        writeAll(stderr, "kelvo-report: cannot find its resources: no " + *missing + " in " +
                             escapeForTerminal(resources) + " (reinstall Kelvo)\n");
        return 1;
    }

    // Progress only for a person watching standard error; nothing at all otherwise.
    const bool showProgress = ::isatty(STDERR_FILENO) == 1;
    MainQueue queue;
    std::function<std::vector<std::string>()> projectRoots;
    if (!options.projectFolders.empty()) {
        projectRoots = [folders = absoluteFolders(options.projectFolders)] { return folders; };
    }
    ScanCoordinator coordinator(standardAdapterList(standardToolLocations(), projectRoots), queue.executor());
    const std::size_t adapterCount = coordinator.adapters().size();
    std::string shownLine;
    const auto drawProgress = [&] {
        if (!showProgress) {
            return;
        }
        struct winsize size {};
        const std::size_t columns = ::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 ? size.ws_col : 0;
        std::string line =
            progressLine(coordinator.finishedKinds(), adapterCount, coordinator.liveCounts(), options.unit, columns);
        if (line != shownLine) {
            writeAll(stderr, "\r\x1b[2K" + line);
            shownLine = std::move(line);
        }
    };
    coordinator.onProgressChanged = drawProgress;
    coordinator.scan();
    drawProgress();
    // The counts grow without telling anyone: they are redrawn ten times a second at most.
    const auto done = [&] { return !coordinator.isScanning() && coordinator.result().has_value(); };
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::hours(24);
    while (!queue.runUntil(done, std::chrono::milliseconds(100)) && std::chrono::steady_clock::now() < giveUp) {
        drawProgress();
    }
    if (showProgress) {
        writeAll(stderr, "\r\x1b[2K");
    }
    if (!coordinator.result()) {
        writeAll(stderr, "kelvo-report: the scan did not finish\n");
        return 1;
    }

    const ScanResult& result = *coordinator.result();
    const std::string report = options.json ? renderJson(result, options.unit)
                                            : renderText(result, options.unit, textStyleForStandardOutput());
    return writeAll(stdout, report) ? 0 : 1;
}
