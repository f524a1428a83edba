#include "scan/StandardAdapters.h"

#include "adapters/Sources.h"
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
    for (ManagerKind kind : allManagerKinds) {
        for (const auto& place : descriptor(kind).toolPlaces) {
            CandidatePath located;
            located.locate = place.locate;
            table[static_cast<std::size_t>(place.tool)].push_back(std::move(located));
        }
    }
    return table;
}

AdapterList standardAdapterList(CandidateTable tools, std::function<std::vector<std::string>()> projectRoots) {
    // One instance of each stateless service, shared by every adapter that takes it.
    AdapterServices services{std::make_shared<CommandRunner>(std::move(tools)),
        std::make_shared<FileManagerDirectorySizer>(), std::make_shared<FileManagerFileAccessProber>(),
        loadKnowledgeBase(), homeDirectory(), std::move(projectRoots)};
    if (!services.projectRoots) {
        services.projectRoots = [] { return projectFolders(homeDirectory()); };
    }
    return makeAdapters(services);
}

} // namespace kelvo
