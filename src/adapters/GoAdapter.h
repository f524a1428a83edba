#pragma once

#include "knowledge/KnowledgeBase.h"
#include "model/ManagerAdapter.h"
#include "system/DirectorySizer.h"
#include "system/FileAccessProber.h"

#include <cstddef>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kelvo {

// Go's module cache, its build cache and the programs `go install` put in GOPATH/bin, found where
// Go itself looks: its defaults in the home and what `go env -w` wrote into Go's own env file. Go
// is never started.
class GoAdapter final : public ManagerAdapter {
public:
    GoAdapter(std::shared_ptr<const DirectorySizing> sizer, std::shared_ptr<const FileAccessProbing> prober,
        KnowledgeBase kb, std::string home);

    ManagerKind kind() const override { return ManagerKind::go; }
    // One of Go's folders is there.
    bool isInstalled() const override;
    using ManagerAdapter::scan;
    ManagerReport scan(TallyScopes counted) const override;

    static const std::vector<QuickWin>& quickWins();

    // An env file larger than this is not one `go env -w` wrote: it is read as empty.
    static constexpr std::size_t envFileLimit = 256 * 1024;
    // The settings of Go's env file as Go reads them: KEY=VALUE lines whose key starts with an
    // upper-case letter, the last of a key winning; anything else (comments, not UTF-8) ignored.
    static std::map<std::string, std::string> parseEnvFile(std::string_view text);

    struct Folder {
        std::string path;
        bool configured = false; // named by Go's env file rather than Go's default
    };
    struct Folders {
        std::optional<Folder> moduleCache;
        std::optional<Folder> buildCache;
        std::optional<Folder> programs; // GOBIN, else GOPATH/bin
    };
    // Where the folders lie for these settings (macOS places before Linux ones, as Go picks by
    // platform); only folders that are there, and not links.
    static Folders folders(const std::string& home, const std::map<std::string, std::string>& settings);
    Folders folders() const;

private:
    std::shared_ptr<const DirectorySizing> sizer_;
    std::shared_ptr<const FileAccessProbing> prober_;
    KnowledgeBase kb_;
    std::string home_;
};

} // namespace kelvo
