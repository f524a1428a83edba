#pragma once

#include "knowledge/KnowledgeBase.h"
#include "model/ManagerAdapter.h"
#include "system/DirectorySizer.h"
#include "system/FileAccessProber.h"

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kelvo {

// What Python's tools leave in the home: pyenv's versions, the caches of pip, uv, poetry, pipx and
// virtualenv, the applications pipx and uv installed, uv's Pythons, and the virtualenvs pipenv and
// poetry keep outside their projects. Read from the tools' default folders and the files they write
// there; none of them is started.
class PythonAdapter final : public ManagerAdapter {
public:
    PythonAdapter(std::shared_ptr<const DirectorySizing> sizer, std::shared_ptr<const FileAccessProbing> prober,
        KnowledgeBase kb, std::string home);

    ManagerKind kind() const override { return ManagerKind::python; }
    // One of the tools' folders is there.
    bool isInstalled() const override;
    using ManagerAdapter::scan;
    ManagerReport scan(TallyScopes counted) const override;
    // A project's .python-version keeps every pyenv version it names, read as pyenv reads it.
    void keepPinned(ManagerReport& report, const std::vector<ProjectPin>& pins) const override;

    // A version file, pyvenv.cfg, .project or metadata file larger than this is not one a tool wrote.
    static constexpr std::size_t fileLimit = 256 * 1024;

    // The versions a pyenv version file names, as pyenv reads it: the first word of each line,
    // blank lines and # comments skipped, and ".." or a name with a "/" refused.
    static std::vector<std::string> parseVersionFile(std::string_view text);
    // The installed version pyenv uses for `name`: the folder of that name, else of the name without
    // "python-", else the newest final release whose name starts with it and a "." or "-" ("3.11").
    static std::optional<std::string> resolveVersion(std::string_view name, const std::vector<std::string>& installed);
    // The `home` a pyvenv.cfg names: the folder of the interpreter the virtualenv runs.
    static std::optional<std::string> pyvenvHome(std::string_view text);
    // The project folder a pipenv .project file names: one absolute path of plain parts.
    static std::optional<std::string> projectFolder(std::string_view text);

    // Where each tool keeps what it left, as found in this home (absent: not there, or reached only
    // through a link).
    struct Folders {
        std::optional<std::string> pyenvVersions, pyenvCache;
        std::optional<std::string> pipCache, uvCache, poetryCache, virtualenvSeed;
        std::optional<std::string> pipx; // pipx's home: venvs, shared, .cache, logs
        std::optional<std::string> uvTools, uvPythons;
        std::optional<std::string> pipenvVirtualenvs, poetryVirtualenvs;
        std::optional<std::string> bin; // where pipx and uv link their applications' commands
    };
    static Folders folders(const std::string& home);

    // Made once per process so that their ids stay the same across scans.
    static const std::vector<QuickWin>& quickWins();

private:
    std::shared_ptr<const DirectorySizing> sizer_;
    std::shared_ptr<const FileAccessProbing> prober_;
    KnowledgeBase kb_;
    std::string home_;
};

} // namespace kelvo
