#pragma once

#include "scan/ScanCoordinator.h"
#include "system/ReadOnlyCommand.h"

#include <functional>
#include <string>
#include <vector>

namespace kelvo {

// Where the tools are looked for: the fixed places, then those a source works out from the home
// at each start (the npm of nvm's default Node). The user's search path is never consulted.
CandidateTable standardToolLocations();

// Every registered source's adapter, wired to one shared runner (over `tools`), sizer and prober
// and the shipped knowledge base loaded once. Projects are searched for in `projectRoots`, by
// default the folders of the settings (the home folder).
AdapterList standardAdapterList(
    CandidateTable tools = standardToolLocations(), std::function<std::vector<std::string>()> projectRoots = {});

} // namespace kelvo
