#pragma once

#include "knowledge/KnowledgeBase.h"
#include "model/ManagerAdapter.h"
#include "system/DirectorySizer.h"
#include "system/FileAccessProber.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kelvo {

// Yarn's caches and Yarn 1's global packages, read from the folders Yarn keeps in the home; Yarn
// itself is never started.
class YarnAdapter final : public ManagerAdapter {
public:
    YarnAdapter(std::shared_ptr<const DirectorySizing> sizer, std::shared_ptr<const FileAccessProbing> prober,
        KnowledgeBase kb, std::string home);

    ManagerKind kind() const override { return ManagerKind::yarn; }
    // One of Yarn's folders is there.
    bool isInstalled() const override;
    using ManagerAdapter::scan;
    ManagerReport scan(TallyScopes counted) const override;

    // Made once per process so that their ids stay the same across scans.
    static const std::vector<QuickWin>& quickWins();

    struct Folders {
        std::optional<std::string> cache;      // Yarn 1's cache
        std::optional<std::string> berryCache; // Yarn 2 and later: the shared cache
        std::optional<std::string> globals;    // Yarn 1's global folder
    };
    Folders folders() const;
    // The version of the Yarn installed where Kelvo knows to look (the default Node of nvm, the
    // usual global prefixes), read from its package.json.
    std::optional<std::string> version() const;

    static constexpr const char* dependenciesName = "Dependencies of Yarn globals";

private:
    std::shared_ptr<const DirectorySizing> sizer_;
    std::shared_ptr<const FileAccessProbing> prober_;
    KnowledgeBase kb_;
    std::string home_;
};

} // namespace kelvo
