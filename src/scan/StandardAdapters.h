#pragma once

#include "scan/ScanCoordinator.h"

namespace kelvo {

// The five adapters wired to one shared runner, sizer and prober, the shipped knowledge
// base loaded once, in the order homebrew, nvm, pnpm, npm, bun.
AdapterList standardAdapterList();

} // namespace kelvo
