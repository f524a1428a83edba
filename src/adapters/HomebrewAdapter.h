#pragma once

#include "knowledge/KnowledgeBase.h"
#include "model/ManagerAdapter.h"
#include "system/DirectorySizer.h"
#include "system/ReadOnlyCommand.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kelvo {

// Homebrew formulae, one item per formula, learnt from brew's own listings and the Cellar, and
// Homebrew's download cache in the home.
class HomebrewAdapter final : public ManagerAdapter {
public:
    HomebrewAdapter(std::shared_ptr<const ReadOnlyCommandRunning> runner, std::shared_ptr<const DirectorySizing> sizer,
        KnowledgeBase kb, std::string home = {});

    ManagerKind kind() const override { return ManagerKind::homebrew; }
    bool isInstalled() const override;
    using ManagerAdapter::scan;
    ManagerReport scan(TallyScopes counted) const override;

    // Made once per process so that their ids stay the same across scans.
    static const std::vector<QuickWin>& quickWins();

    // "Homebrew 4.2.1\n..." -> "4.2.1"; anything else -> absent.
    static std::optional<std::string> versionFromOutput(std::string_view output);
    // Non-empty lines, each trimmed of spaces and tabs, in order.
    static std::vector<std::string> lines(std::string_view output);

private:
    std::shared_ptr<const ReadOnlyCommandRunning> runner_;
    std::shared_ptr<const DirectorySizing> sizer_;
    KnowledgeBase kb_;
    std::string home_;
};

} // namespace kelvo
