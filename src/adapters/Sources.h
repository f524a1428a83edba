#pragma once

// The sources as registered in model/Sources.def: each one's description and adapter, found by
// kind. Every layer above reads the sources through here and names none of them.

#include "adapters/Source.h"
#include "knowledge/KnowledgeBase.h"
#include "model/ManagerAdapter.h"
#include "system/DirectorySizer.h"
#include "system/FileAccessProber.h"
#include "system/ReadOnlyCommand.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace kelvo {

// What the adapters are made with: one shared runner, sizer and prober, the knowledge base loaded
// once, the home, and the folders searched for projects (asked afresh at each scan).
struct AdapterServices {
    std::shared_ptr<const ReadOnlyCommandRunning> runner;
    std::shared_ptr<const DirectorySizing> sizer;
    std::shared_ptr<const FileAccessProbing> prober;
    KnowledgeBase knowledge;
    std::string home;
    std::function<std::vector<std::string>()> projectRoots;
};

// Each adapter file defines its source's description and how its adapter is made.
#define KELVO_SOURCE(kind, Name)                                                                                       \
    const SourceDescriptor& Name##Source();                                                                            \
    std::shared_ptr<const ManagerAdapter> make##Name##Adapter(const AdapterServices& services);
#include "model/Sources.def"
#undef KELVO_SOURCE

const SourceDescriptor& descriptor(ManagerKind kind);
// Every source's adapter, in the registration order.
std::vector<std::shared_ptr<const ManagerAdapter>> makeAdapters(const AdapterServices& services);

// The sources that count among the package managers, how many there are, and whether one does.
bool isPackageManager(ManagerKind kind);
std::size_t packageManagerCount();
// "Homebrew, npm, pnpm, nvm, bun, Yarn": the package managers' names, for the help text.
std::string packageManagerNames();
// The programs the scans may start: "brew, npm, pnpm and bun".
std::string startedPrograms();

} // namespace kelvo
