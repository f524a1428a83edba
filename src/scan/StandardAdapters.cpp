#include "scan/StandardAdapters.h"

#include "adapters/BunAdapter.h"
#include "adapters/HomebrewAdapter.h"
#include "adapters/NpmAdapter.h"
#include "adapters/NvmAdapter.h"
#include "adapters/PnpmAdapter.h"
#include "adapters/ProjectsAdapter.h"
#include "adapters/YarnAdapter.h"
#include "knowledge/KnowledgeBase.h"
#include "system/CommandRunner.h"
#include "system/DirectorySizer.h"
#include "system/FileAccessProber.h"
#include "system/Platform.h"
#include "system/Settings.h"

#include <memory>

namespace kelvo {

namespace {

KnowledgeBase loadKnowledgeBase() {
    // A missing or malformed file leaves scanning working, only without identities.
    try {
        return KnowledgeBase::loadShipped();
    } catch (...) {
        return KnowledgeBase::empty();
    }
}

} // namespace

CandidateTable standardToolLocations() {
    CandidateTable table = standardCandidateTable();
    CandidatePath nvmNpm;
    nvmNpm.locate = [](const std::string& home) { return NvmAdapter::defaultNpm(home); };
    table[static_cast<std::size_t>(CommandTool::npm)].push_back(std::move(nvmNpm));
    return table;
}

AdapterList standardAdapterList(CandidateTable tools, std::function<std::vector<std::string>()> projectRoots) {
    const KnowledgeBase knowledge = loadKnowledgeBase();

    // One instance of each stateless service, shared by every adapter that takes it.
    const std::shared_ptr<const ReadOnlyCommandRunning> runner = std::make_shared<CommandRunner>(std::move(tools));
    const std::shared_ptr<const DirectorySizing> sizer = std::make_shared<FileManagerDirectorySizer>();
    const std::shared_ptr<const FileAccessProbing> prober = std::make_shared<FileManagerFileAccessProber>();

    AdapterList adapters;
    adapters.push_back(std::make_shared<HomebrewAdapter>(runner, sizer, knowledge, homeDirectory()));
    adapters.push_back(std::make_shared<NvmAdapter>(sizer, homeDirectory()));
    adapters.push_back(std::make_shared<PnpmAdapter>(runner, sizer, prober, knowledge, homeDirectory()));
    adapters.push_back(std::make_shared<NpmAdapter>(runner, sizer, prober, knowledge, homeDirectory()));
    adapters.push_back(std::make_shared<BunAdapter>(runner, sizer, prober, knowledge, homeDirectory()));
    adapters.push_back(std::make_shared<YarnAdapter>(sizer, prober, knowledge, homeDirectory()));
    if (!projectRoots) {
        projectRoots = [] { return projectFolders(homeDirectory()); };
    }
    adapters.push_back(std::make_shared<ProjectsAdapter>(sizer, homeDirectory(), std::move(projectRoots)));
    return adapters;
}

} // namespace kelvo
