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

// npm's global packages (from its own JSON listing) and its download cache.
class NpmAdapter final : public ManagerAdapter {
public:
    NpmAdapter(std::shared_ptr<const ReadOnlyCommandRunning> runner, std::shared_ptr<const DirectorySizing> sizer,
        std::shared_ptr<const FileAccessProbing> prober, KnowledgeBase kb);

    ManagerKind kind() const override { return ManagerKind::npm; }
    bool isInstalled() const override;
    using ManagerAdapter::scan;
    ManagerReport scan(TallyScopes counted) const override;

    // Made once per process so that its id stays the same across scans.
    static const std::vector<QuickWin>& quickWins();

    using Package = std::pair<std::string, std::optional<std::string>>;
    // The "dependencies" of `npm ls -g --json`, by name in code-point order; empty unless well formed.
    static std::vector<Package> packageList(std::string_view jsonText);

private:
    ManagerReport scanUnguarded(ManagerReport& partial, TallyScopes counted) const;

    std::shared_ptr<const ReadOnlyCommandRunning> runner_;
    std::shared_ptr<const DirectorySizing> sizer_;
    std::shared_ptr<const FileAccessProbing> prober_;
    KnowledgeBase kb_;
};

} // namespace kelvo
