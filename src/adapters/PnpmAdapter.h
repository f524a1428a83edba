#pragma once

#include "adapters/Globals.h"

#include "knowledge/KnowledgeBase.h"
#include "model/ManagerAdapter.h"
#include "system/DirectorySizer.h"
#include "system/FileAccessProber.h"
#include "system/ReadOnlyCommand.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kelvo {

// pnpm's shared content-addressable store (the layout in use, and those earlier pnpm versions left
// beside it), its metadata cache and its global packages.
class PnpmAdapter final : public ManagerAdapter {
public:
    PnpmAdapter(std::shared_ptr<const ReadOnlyCommandRunning> runner, std::shared_ptr<const DirectorySizing> sizer,
        std::shared_ptr<const FileAccessProbing> prober, KnowledgeBase kb, std::string home);

    ManagerKind kind() const override { return ManagerKind::pnpm; }
    // True when `pnpm --version` succeeds or one of the store locations exists.
    bool isInstalled() const override;
    using ManagerAdapter::scan;
    ManagerReport scan(TallyScopes counted) const override;

    // The first store location that exists, in order of preference.
    std::optional<std::string> findStore() const;

    // The store's layout folders ("v3", "v10", …) that are folders themselves, newest last: pnpm
    // names each after the store format of its major version, and an upgrade starts a new one.
    static std::vector<std::string> storeVersions(const std::string& store);

    // The globals named by the package.json files of one layout of pnpm's global folder ("5" up to
    // pnpm 10: one package.json; "v11" later: one per install group), in code-point order, each
    // once, each with the folder its global node_modules entry leads to. A link in node_modules is
    // followed only when it stays inside pnpm's own folder.
    static std::vector<Global> globals(const std::string& pnpmHome, const std::string& layout);
    // The layouts of pnpm's global folder, and the one the pnpm in use reads: "v<N>" from pnpm 11
    // on, a plain number before (its major version, or else the newest store layout, tells).
    static std::vector<std::string> globalLayouts(const std::string& pnpmHome);
    static bool readsGroupedGlobals(const std::optional<std::string>& version, const std::vector<std::string>& stores);

    static constexpr const char* storeName = "Content-addressable store";
    static constexpr const char* storeIdentity = "pnpm's shared package store — deduplicated across all your projects.";

    // Built once per process: the same identifiers on every scan.
    static const std::vector<QuickWin>& quickWins();

private:
    std::optional<std::string> version() const;

    std::shared_ptr<const ReadOnlyCommandRunning> runner_;
    std::shared_ptr<const DirectorySizing> sizer_;
    std::shared_ptr<const FileAccessProbing> prober_;
    KnowledgeBase kb_;
    std::string home_;
};

} // namespace kelvo
