#pragma once

#include "model/ManagerAdapter.h"
#include "system/DirectorySizer.h"

#include <cstddef>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kelvo {

// The Node versions installed under ~/.nvm. nvm has no command Kelvo may run, so everything
// comes from the directory: the version folders and the default alias.
class NvmAdapter final : public ManagerAdapter {
public:
    NvmAdapter(std::shared_ptr<const DirectorySizing> sizer, std::string home);

    ManagerKind kind() const override { return ManagerKind::nvm; }
    // True exactly when ~/.nvm is a directory.
    bool isInstalled() const override;
    using ManagerAdapter::scan;
    ManagerReport scan(TallyScopes counted) const override;
    // Keeps the versions a project's .nvmrc or .node-version names, resolved as nvm resolves them.
    void keepPinned(ManagerReport& report, const std::vector<ProjectPin>& pins) const override;

    // An alias file larger than this is not an alias nvm wrote; it is treated as unreadable.
    static constexpr std::size_t aliasReadLimit = 64 * 1024;

    // The version folders under ~/.nvm/versions/node (names beginning with "v"), in listing order.
    static std::vector<std::string> versionNames(const std::string& home);
    // Which of `names` ~/.nvm/alias/default names, following nvm's own aliases (resolveNodeAlias).
    static std::optional<std::string> defaultVersion(const std::string& home, const std::vector<std::string>& names);
    // Which of `names` the alias or version `text` names, following nvm's aliases in ~/.nvm/alias.
    static std::optional<std::string> resolve(
        const std::string& home, std::string_view text, const std::vector<std::string>& names);
    // What a version file asks for: its first line that holds more than a comment.
    static std::string pinnedText(std::string_view file);
    // The npm of the default version (~/.nvm/versions/node/<default>/bin/npm), whether or not it exists.
    static std::optional<std::string> defaultNpm(const std::string& home);
    // Major number -> newest installed version name of that line.
    static std::map<std::int64_t, std::string> newestInSeries(const std::vector<std::string>& versionNames);

    // Made once per process so that its id stays the same across scans.
    static const std::vector<QuickWin>& quickWins();
    static constexpr const char* cacheName = "nvm download cache";

private:
    std::shared_ptr<const DirectorySizing> sizer_;
    std::string home_;
};

} // namespace kelvo
