#pragma once

#include "scan/ScanCoordinator.h"
#include "system/ReadOnlyCommand.h"

namespace kelvo {

// Where the tools are looked for: the fixed places, then for npm the npm of nvm's default Node
// version, worked out afresh at each start. The user's search path is never consulted.
CandidateTable standardToolLocations();

// The adapters wired to one shared runner (over `tools`), sizer and prober, the shipped knowledge
// base loaded once, in the order homebrew, nvm, pnpm, npm, bun, yarn.
AdapterList standardAdapterList(CandidateTable tools = standardToolLocations());

} // namespace kelvo
