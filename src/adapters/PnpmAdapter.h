#pragma once

#include "model/ManagerAdapter.h"
#include "system/DirectorySizer.h"
#include "system/ReadOnlyCommand.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kelvo {

// pnpm's shared content-addressable store, reported as one item that pnpm itself prunes.
class PnpmAdapter final : public ManagerAdapter {
public:
    PnpmAdapter(std::shared_ptr<const ReadOnlyCommandRunning> runner, std::shared_ptr<const DirectorySizing> sizer,
        std::string home);

    ManagerKind kind() const override { return ManagerKind::pnpm; }
    // True when `pnpm --version` succeeds or one of the store locations exists.
    bool isInstalled() const override;
    using ManagerAdapter::scan;
    ManagerReport scan(TallyScopes counted) const override;

    // The first store location that exists, in order of preference.
    std::optional<std::string> findStore() const;

    static constexpr const char* storeName = "Content-addressable store";
    static constexpr const char* storeIdentity = "pnpm's shared package store — deduplicated across all your projects.";

    // Built once per process: the same identifiers on every scan.
    static const std::vector<QuickWin>& quickWins();

private:
    std::optional<std::string> version() const;
    DependencyItem storeItem(const std::string& path, TallyScopes counted) const;

    std::shared_ptr<const ReadOnlyCommandRunning> runner_;
    std::shared_ptr<const DirectorySizing> sizer_;
    std::string home_;
};

} // namespace kelvo
