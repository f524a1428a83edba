#pragma once

#include "knowledge/KnowledgeBase.h"
#include "model/ManagerAdapter.h"
#include "system/DirectorySizer.h"
#include "system/FileAccessProber.h"
#include "system/ReadOnlyCommand.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kelvo {

// npm's global packages (from its own JSON listing) and its download cache, and the caches Node's
// tools fill beside it in the home: corepack's package managers, node-gyp's headers, the browsers
// test runners download.
class NpmAdapter final : public ManagerAdapter {
public:
    NpmAdapter(std::shared_ptr<const ReadOnlyCommandRunning> runner, std::shared_ptr<const DirectorySizing> sizer,
        std::shared_ptr<const FileAccessProbing> prober, KnowledgeBase kb, std::string home = {});

    ManagerKind kind() const override { return ManagerKind::npm; }
    bool isInstalled() const override;
    using ManagerAdapter::scan;
    ManagerReport scan(TallyScopes counted) const override;

    // Made once per process so that their ids stay the same across scans: npm's cache first, then
    // one per side cache that has a command of its own.
    static const std::vector<QuickWin>& quickWins();

    // A cache a tool of Node's keeps in the home: where it is looked for (the macOS place first),
    // and the title of the quick win that cleans it (empty when its tool has none).
    struct SideCache {
        const char* name;
        std::vector<std::string_view> places;
        const char* identity;
        std::string_view quickWin;
    };
    static const std::vector<SideCache>& sideCaches();

    using Package = std::pair<std::string, std::optional<std::string>>;
    // The "dependencies" of `npm ls -g --json`, by name in code-point order; empty unless well formed.
    static std::vector<Package> packageList(std::string_view jsonText);

private:
    std::shared_ptr<const ReadOnlyCommandRunning> runner_;
    std::shared_ptr<const DirectorySizing> sizer_;
    std::shared_ptr<const FileAccessProbing> prober_;
    KnowledgeBase kb_;
    std::string home_;
};

} // namespace kelvo
