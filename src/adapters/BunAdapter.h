#pragma once

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

// bun's global packages and module cache, read from ~/.bun rather than asked of bun.
class BunAdapter final : public ManagerAdapter {
public:
    BunAdapter(std::shared_ptr<const ReadOnlyCommandRunning> runner, std::shared_ptr<const DirectorySizing> sizer,
        std::shared_ptr<const FileAccessProbing> prober, KnowledgeBase kb, std::string home);

    ManagerKind kind() const override { return ManagerKind::bun; }
    // The version command succeeds, or ~/.bun is a directory.
    bool isInstalled() const override;
    using ManagerAdapter::scan;
    ManagerReport scan(TallyScopes counted) const override;

    // Made once per process so that its id stays the same across scans.
    static const std::vector<QuickWin>& quickWins();

    static constexpr const char* dependenciesName = "Dependencies of bun globals";

private:
    CommandResult runVersion() const;
    bool installedBy(const CommandResult& version) const;

    std::shared_ptr<const ReadOnlyCommandRunning> runner_;
    std::shared_ptr<const DirectorySizing> sizer_;
    std::shared_ptr<const FileAccessProbing> prober_;
    KnowledgeBase kb_;
    std::string home_;
};

} // namespace kelvo
