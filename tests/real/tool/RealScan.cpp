// kelvo-real-scan [--npm-from-nvm-only]: one scan of $HOME with the standard adapters, printed as
// the report's JSON. The option leaves npm's fixed locations out, so that a home whose Node comes
// only from nvm can be scanned on a machine that has an npm of its own.
#include "inventory/ReportJson.h"
#include "scan/MainQueue.h"
#include "scan/StandardAdapters.h"

#include <cstdio>
#include <string_view>

int main(int argc, char** argv) {
    using namespace kelvo;
    CandidateTable tools = standardToolLocations();
    if (argc > 1 && std::string_view(argv[1]) == "--npm-from-nvm-only") {
        std::erase_if(tools[static_cast<std::size_t>(CommandTool::npm)],
            [](const CandidatePath& candidate) { return !candidate.locate; });
    }
    MainQueue queue;
    ScanCoordinator coordinator(standardAdapterList(std::move(tools)), queue.executor());
    coordinator.scan();
    queue.runUntil([&] { return coordinator.result().has_value() && !coordinator.isScanning(); });
    std::fputs(renderJson(*coordinator.result(), SizeUnit::decimal).c_str(), stdout);
    return 0;
}
