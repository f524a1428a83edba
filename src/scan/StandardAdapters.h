#pragma once

#include "scan/ScanCoordinator.h"
#include "system/ReadOnlyCommand.h"

#include <functional>
#include <string>
#include <vector>

namespace kelvo {

// Where the tools are looked for: the fixed places, then for npm the npm of nvm's default Node
// version, worked out afresh at each start. The user's search path is never consulted.
CandidateTable standardToolLocations();

// The adapters wired to one shared runner (over `tools`), sizer and prober, the shipped knowledge
// base loaded once, in the order homebrew, nvm, pnpm, npm, bun, yarn, projects. Projects are
// searched for in `projectRoots`, by default the folders of the settings (the home folder).
AdapterList standardAdapterList(
    CandidateTable tools = standardToolLocations(), std::function<std::vector<std::string>()> projectRoots = {});

} // namespace kelvo
