// kelvo-report: one scan with the standard adapters, printed as text or as one JSON document.
#include "cli/ReportOptions.h"
#include "cli/ReportText.h"
#include "inventory/ReportJson.h"
#include "scan/MainQueue.h"
#include "scan/ScanCoordinator.h"
#include "scan/StandardAdapters.h"

#include <cstdio>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

bool writeAll(std::FILE* stream, const std::string& text) {
    if (!text.empty() && std::fwrite(text.data(), 1, text.size(), stream) != text.size()) {
        return false;
    }
    return std::fflush(stream) == 0;
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

    // Progress only for a person watching standard error; nothing at all otherwise.
    const bool showProgress = ::isatty(STDERR_FILENO) == 1;
    MainQueue queue;
    ScanCoordinator coordinator(standardAdapterList(), queue.executor());
    const std::size_t adapterCount = coordinator.adapters().size();
    std::size_t lastFinished = static_cast<std::size_t>(-1);
    const auto drawProgress = [&] {
        if (!showProgress || coordinator.finishedKinds().size() == lastFinished) {
            return;
        }
        lastFinished = coordinator.finishedKinds().size();
        writeAll(stderr, "\r\x1b[2K" + progressLine(coordinator.finishedKinds(), adapterCount));
    };
    coordinator.onProgressChanged = drawProgress;
    coordinator.scan();
    drawProgress();
    queue.runUntil([&] { return !coordinator.isScanning() && coordinator.result().has_value(); });
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
