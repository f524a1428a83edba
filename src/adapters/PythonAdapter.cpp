#include "adapters/PythonAdapter.h"

#include "adapters/AdapterSupport.h"
#include "adapters/Globals.h"
#include "adapters/ProjectsAdapter.h"
#include "adapters/ReportDraft.h"
#include "adapters/Sources.h"
#include "model/Utf8.h"
#include "system/Platform.h"
#include "system/walk/NewestChange.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <set>
#include <tuple>

#include <nlohmann/json.hpp>

namespace kelvo {

PythonAdapter::PythonAdapter(std::shared_ptr<const DirectorySizing> sizer,
    std::shared_ptr<const FileAccessProbing> prober, KnowledgeBase kb, std::string home)
    : sizer_(std::move(sizer)), prober_(std::move(prober)), kb_(std::move(kb)), home_(std::move(home)) {}

const std::vector<QuickWin>& PythonAdapter::quickWins() {
    static const std::vector<QuickWin> wins{
        {Uuid::random(), "Purge pip's cache", "python3 -m pip cache purge",
            "Removes the packages pip downloaded and the wheels it built. pip downloads and builds them again when "
            "needed."},
        {Uuid::random(), "Prune uv's cache", "uv cache prune",
            "Removes what uv keeps but no longer needs; uv downloads again what it needs."},
    };
    return wins;
}

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

template <class Visit>
void forEachLine(std::string_view text, Visit&& visit) {
    while (!text.empty()) {
        const auto end = text.find('\n');
        visit(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    }
}

// A file a tool wrote in its own folder: never one reached through a link.
std::optional<std::string> readText(const std::string& path) {
    if (!isRegularFile(path)) {
        return std::nullopt;
    }
    auto text = readFile(path, PythonAdapter::fileLimit);
    return text && isValidUtf8(*text) ? text : std::nullopt;
}

// The leading dotted numbers of a version name ("3.11.7" -> 3 11 7; "pypy3.10-7.3" -> none).
std::vector<long long> releaseNumbers(std::string_view name) {
    std::vector<long long> numbers;
    std::size_t i = 0;
    while (i < name.size() && std::isdigit(static_cast<unsigned char>(name[i])) != 0) {
        long long value = 0;
        for (; i < name.size() && std::isdigit(static_cast<unsigned char>(name[i])) != 0 && value < 1'000'000'000;
             ++i) {
            value = value * 10 + (name[i] - '0');
        }
        numbers.push_back(value);
        if (i + 1 >= name.size() || name[i] != '.') {
            break;
        }
        ++i;
    }
    return numbers;
}

// A pre-release or a build pyenv's prefix resolution never picks.
bool isPrerelease(std::string_view name) {
    for (const std::string_view suffix : {"-dev", "-src", "-latest"}) {
        if (name.ends_with(suffix)) {
            return true;
        }
    }
    std::size_t end = name.size();
    while (end > 0 && std::isdigit(static_cast<unsigned char>(name[end - 1])) != 0) {
        --end;
    }
    if (end == name.size()) {
        return false;
    }
    const std::string_view head = name.substr(0, end);
    return head.ends_with("rc") || head.ends_with('a') || head.ends_with('b');
}

std::string shownPath(const std::string& path, const std::string& home) { return homeAbbreviated(path, home); }

DependencyItem folderItem(std::string name, const std::string& path, const char* tool) {
    DependencyItem item;
    item.id = Uuid::random();
    item.name = std::move(name);
    item.path = path;
    item.tool = tool;
    return item;
}

// The installed pyenv version a virtualenv runs: the folder under `versions` its home lies in.
std::optional<std::string> versionOfHome(const std::string& home, const std::string& versions) {
    const auto path = plainAbsolute(home);
    if (!path || !path->starts_with(versions + "/")) {
        return std::nullopt;
    }
    const std::string rest = path->substr(versions.size() + 1);
    return rest.substr(0, rest.find('/'));
}

// Which entries of the command folder are links into `folder`: the commands pipx and uv put there
// for one application.
std::vector<std::string> commandsInto(const std::map<std::string, std::string>& links, const std::string& folder) {
    std::vector<std::string> commands;
    for (const auto& [name, target] : links) {
        if (target.starts_with(folder + "/")) {
            commands.push_back(name);
        }
    }
    return commands;
}

} // namespace

std::vector<std::string> PythonAdapter::parseVersionFile(std::string_view text) {
    std::vector<std::string> versions;
    forEachLine(text, [&](std::string_view line) {
        line = trimmed(line);
        const std::string_view word = line.substr(0, std::min(line.find(' '), line.find('\t')));
        if (word.empty() || word.front() == '#' || word == ".." || word.find('/') != std::string_view::npos) {
            return;
        }
        versions.emplace_back(word);
    });
    return versions;
}

std::optional<std::string> PythonAdapter::resolveVersion(
    std::string_view name, const std::vector<std::string>& installed) {
    if (name.empty()) {
        return std::nullopt;
    }
    const auto has = [&](std::string_view candidate) {
        return std::find(installed.begin(), installed.end(), candidate) != installed.end();
    };
    std::string_view bare = name;
    if (bare.starts_with("python-")) {
        bare.remove_prefix(7);
    }
    for (const std::string_view candidate : {name, bare}) {
        if (has(candidate)) {
            return std::string(candidate);
        }
    }
    // A prefix: the newest final release it begins, free-threaded builds ("3.13.0t") only for "3.13t".
    for (std::string_view prefix : {name, bare}) {
        const bool freeThreaded = prefix.size() > 1 && prefix.back() == 't' &&
                                  std::isdigit(static_cast<unsigned char>(prefix[prefix.size() - 2])) != 0;
        if (freeThreaded) {
            prefix.remove_suffix(1);
        }
        std::optional<std::string> best;
        for (const std::string& candidate : installed) {
            // std::string's [size()] is '\0': a candidate equal to the prefix is no release of it.
            if (!candidate.starts_with(prefix) ||
                (candidate[prefix.size()] != '.' && candidate[prefix.size()] != '-') || isPrerelease(candidate)) {
                continue;
            }
            const bool candidateThreaded = candidate.size() > 1 && candidate.back() == 't' &&
                                           std::isdigit(static_cast<unsigned char>(candidate[candidate.size() - 2]));
            if (candidateThreaded != freeThreaded) {
                continue;
            }
            if (!best || releaseNumbers(candidate) > releaseNumbers(*best)) {
                best = candidate;
            }
        }
        if (best) {
            return best;
        }
    }
    return std::nullopt;
}

std::optional<std::string> PythonAdapter::pyvenvHome(std::string_view text) {
    std::optional<std::string> home;
    forEachLine(text, [&](std::string_view line) {
        const auto equals = line.find('=');
        if (equals == std::string_view::npos) {
            return;
        }
        std::string key(trimmed(line.substr(0, equals)));
        std::transform(key.begin(), key.end(), key.begin(), [](unsigned char c) { return std::tolower(c); });
        if (key == "home") {
            home = plainAbsolute(trimmed(line.substr(equals + 1)));
        }
    });
    return home;
}

std::optional<std::string> PythonAdapter::projectFolder(std::string_view text) {
    // pipenv writes the path alone, without a line break; one written by hand may end with one.
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
        text.remove_suffix(1);
    }
    return plainAbsolute(text);
}

PythonAdapter::Folders PythonAdapter::folders(const std::string& home) {
    Folders found;
    found.pyenvVersions = toolFolder(home, "/.pyenv/versions");
    found.pyenvCache = toolFolder(home, "/.pyenv/cache");
    // Each tool's macOS place before its Linux one; uv uses the same places on both.
    found.pipCache = firstFolder(home, {"/Library/Caches/pip", "/.cache/pip"});
    found.uvCache = toolFolder(home, "/.cache/uv");
    found.poetryCache = firstFolder(home, {"/Library/Caches/pypoetry", "/.cache/pypoetry"});
    found.virtualenvSeed = firstFolder(home, {"/Library/Application Support/virtualenv", "/.local/share/virtualenv"});
    // pipx keeps using an older default folder where one exists: macOS's, then ~/.local/pipx, then
    // Linux's current default.
    found.pipx = firstFolder(home, {"/Library/Application Support/pipx", "/.local/pipx", "/.local/share/pipx"});
    found.uvTools = toolFolder(home, "/.local/share/uv/tools");
    found.uvPythons = toolFolder(home, "/.local/share/uv/python");
    found.pipenvVirtualenvs = toolFolder(home, "/.local/share/virtualenvs");
    if (found.poetryCache && joinsWithoutLinks(*found.poetryCache, "virtualenvs/") &&
        isRealDirectory(*found.poetryCache + "/virtualenvs")) {
        found.poetryVirtualenvs = *found.poetryCache + "/virtualenvs";
    }
    found.bin = toolFolder(home, "/.local/bin");
    return found;
}

bool PythonAdapter::isInstalled() const {
    try {
        const Folders found = folders(home_);
        return found.pyenvVersions || found.pipCache || found.uvCache || found.poetryCache || found.virtualenvSeed ||
               found.pipx || found.uvTools || found.uvPythons || found.pipenvVirtualenvs;
    } catch (...) {
        return false;
    }
}

ManagerReport PythonAdapter::scan(TallyScopes counted) const {
    ReportDraft draft(ManagerKind::python);
    Folders found;
    bool installed = false;
    draft.step([&] {
        found = folders(home_);
        installed = isInstalled();
    });
    if (!installed) {
        return std::move(draft).finish(sizer_.get(), counted);
    }
    draft.report().detected = true;
    for (const QuickWin& win : quickWins()) {
        draft.offer(win);
    }
    const double now = nowSeconds();
    // The pyenv versions the virtualenvs listed here run, each with the first virtualenv that does.
    std::map<std::string, std::string> usedBy;
    const auto noteVirtualenv = [&](const std::string& folder) {
        if (!found.pyenvVersions) {
            return;
        }
        if (const auto text =
                joinsWithoutLinks(folder, "pyvenv.cfg") ? readText(folder + "/pyvenv.cfg") : std::nullopt) {
            if (const auto home = pyvenvHome(*text)) {
                if (const auto version = versionOfHome(*home, *found.pyenvVersions)) {
                    usedBy.emplace(*version, folder);
                }
            }
        }
    };
    const auto removable = [&](DependencyItem& item) { item.reclaimCommand = "rm -rf -- " + shellQuoted(*item.path); };
    // The real folders of a tool's folder, by name.
    const auto subfolders = [](const std::string& folder) {
        std::vector<std::pair<std::string, std::string>> out;
        for (const std::string& name : listDirectory(folder).value_or(std::vector<std::string>())) {
            const auto path = childPath(folder, name);
            if (path && name.find('/') == std::string::npos && isRealDirectory(*path)) {
                out.emplace_back(name, *path);
            }
        }
        std::sort(out.begin(), out.end());
        return out;
    };

    // The virtualenvs pipenv and poetry keep outside their projects.
    draft.step([&] {
        if (!found.pipenvVirtualenvs) {
            return;
        }
        for (const auto& [name, path] : subfolders(*found.pipenvVirtualenvs)) {
            noteVirtualenv(path);
            DependencyItem item = folderItem(name, path, "pipenv");
            removable(item);
            const auto project = joinsWithoutLinks(path, ".project") ? readText(path + "/.project") : std::nullopt;
            const auto folder = project ? projectFolder(*project) : std::nullopt;
            if (!folder) {
                item.identity = "A virtualenv pipenv made; the project it was made for is not recorded.";
            } else if (!pathExists(*folder) && !readLink(*folder)) {
                item.tier = Tier::orphanCandidate;
                item.evidence.push_back(Evidence::projectGone(shownPath(*folder, home_)));
                item.identity = "The virtualenv pipenv made for " + shownPath(*folder, home_) + ".";
            } else {
                item.identity = "The virtualenv pipenv made for " + shownPath(*folder, home_) + ".";
                const auto activity = newestChange(*folder,
                    ChangeSearch{3, static_cast<std::size_t>(ProjectsAdapter::activityEntryLimit),
                        {".venv", "venv", "__pycache__"}, {"Pipfile", "Pipfile.lock", ".git/HEAD", ".git/index"}});
                if (activity && now - *activity > ProjectsAdapter::staleAfterSeconds) {
                    item.tier = Tier::orphanCandidate;
                    item.evidence.push_back(Evidence::projectUntouched(*activity));
                } else if (activity) {
                    item.evidence.push_back(Evidence::projectActive(*activity));
                }
            }
            draft.add(std::move(item), {path});
        }
    });
    draft.step([&] {
        if (!found.poetryVirtualenvs) {
            return;
        }
        for (const auto& [name, path] : subfolders(*found.poetryVirtualenvs)) {
            noteVirtualenv(path);
            // "api-Xk3jf9a2-py3.11": the project's name, a hash of its folder, the Python it runs.
            std::string project = name;
            for (int part = 0; part < 2 && project.rfind('-') != std::string::npos; ++part) {
                project.erase(project.rfind('-'));
            }
            DependencyItem item = folderItem(name, path, "poetry");
            removable(item);
            item.identity = "A virtualenv poetry made for a project named " + project +
                            "; poetry records no folder, so Kelvo cannot tell whether it is still there.";
            draft.add(std::move(item), {path});
        }
    });

    // Applications pipx and uv installed, judged by the use of the commands they link into
    // ~/.local/bin; uv's Pythons likewise.
    draft.step([&] {
        std::map<std::string, std::string> links;
        if (found.bin) {
            for (const std::string& name : listDirectory(*found.bin).value_or(std::vector<std::string>())) {
                if (isSafeRelativeName(name) && name.find('/') == std::string::npos) {
                    if (auto target = readLink(*found.bin + "/" + name)) {
                        links.emplace(name, std::move(*target));
                    }
                }
            }
        }
        const UseClock clock{now, found.bin && prober_->recordsAccessTimes(*found.bin)};
        const std::vector<std::string> commandFolders =
            found.bin ? std::vector{*found.bin} : std::vector<std::string>();
        const auto add = [&](const std::string& name, const std::string& path, std::optional<std::string> version,
                             const char* tool, std::string_view removeWords) {
            noteVirtualenv(path);
            DependencyItem item = globalPackageItem(name, std::move(version), path, std::nullopt,
                commandUse(*prober_, commandsInto(links, path), commandFolders), clock, kb_, ManagerKind::python,
                removeWords);
            item.tool = tool;
            draft.add(std::move(item), {path});
        };
        if (found.pipx && joinsWithoutLinks(*found.pipx, "venvs/") && isRealDirectory(*found.pipx + "/venvs")) {
            for (const auto& [name, path] : subfolders(*found.pipx + "/venvs")) {
                std::optional<std::string> version;
                const auto json = nlohmann::json::parse(
                    readText(path + "/pipx_metadata.json").value_or(std::string()), nullptr, false);
                if (json.is_object() && json.contains("main_package") && json["main_package"].is_object()) {
                    const auto& package = json["main_package"];
                    if (package.contains("package_version") && package["package_version"].is_string()) {
                        version = package["package_version"].get<std::string>();
                    }
                }
                add(name, path, version, "pipx", "pipx uninstall");
            }
        }
        if (found.uvTools) {
            for (const auto& [name, path] : subfolders(*found.uvTools)) {
                add(name, path, std::nullopt, "uv", "uv tool uninstall");
            }
        }
        if (found.uvPythons) {
            for (const auto& [name, path] : subfolders(*found.uvPythons)) {
                if (!name.starts_with('.')) { // uv's own lock, cache and temporary folders
                    add(name, path, std::nullopt, "uv", "uv python uninstall");
                }
            }
        }
    });

    // pyenv's versions: kept when global or when a virtualenv here runs one.
    draft.step([&] {
        if (!found.pyenvVersions) {
            return;
        }
        std::vector<std::string> names;
        for (const auto& [name, path] : subfolders(*found.pyenvVersions)) {
            names.push_back(name);
        }
        std::vector<std::string> globals;
        if (const auto file = toolEntry(home_, "/.pyenv/version")) {
            for (const std::string& named : parseVersionFile(readText(*file).value_or(""))) {
                if (named == "system") {
                    globals.push_back(named);
                } else if (auto version = resolveVersion(named, names)) {
                    globals.push_back(std::move(*version));
                }
            }
        }
        std::string shownGlobals;
        for (const std::string& global : globals) {
            shownGlobals += (shownGlobals.empty() ? "" : ", ") + global;
        }
        for (const std::string& name : names) {
            const std::string path = *found.pyenvVersions + "/" + name;
            DependencyItem item = folderItem(name, path, "pyenv");
            item.version = name;
            if (std::find(globals.begin(), globals.end(), name) != globals.end()) {
                item.identity = "Your global Python, as pyenv's version file names it.";
            } else if (const auto user = usedBy.find(name); user != usedBy.end()) {
                item.identity = "A Python pyenv installed.";
                item.evidence.push_back(Evidence::usedByVirtualenv(shownPath(user->second, home_)));
            } else {
                item.tier = Tier::orphanCandidate;
                item.identity = "A Python pyenv installed.";
                // pyenv falls back to the system's Python when no global is set.
                item.evidence.push_back(Evidence::notGlobalVersion(shownGlobals.empty() ? "system" : shownGlobals));
                item.reclaimCommand = commandWithOperand("pyenv uninstall -f", name);
            }
            draft.add(std::move(item), {path});
        }
    });

    // Caches: each tool's own command where it has one, else the folder goes.
    draft.step([&] {
        struct Cache {
            const char* name;
            std::optional<std::string> folder;
            const char* identity;
            const char* tool;
            std::string command; // empty: rm -rf
        };
        std::vector<Cache> caches{
            {"pip cache", found.pipCache, "The packages pip downloaded and the wheels it built — made again as needed.",
                "pip", quickWins()[0].command},
            {"uv cache", found.uvCache,
                "The packages uv downloaded, built and unpacked — made again as needed. uv links its files into the "
                "virtualenvs it installs, so removing it frees only what none of them holds.",
                "uv", quickWins()[1].command},
            {"virtualenv seed data", found.virtualenvSeed,
                "The pip, setuptools and wheel that virtualenv copies into new virtualenvs — downloaded again when "
                "needed.",
                "virtualenv", ""},
            {"pyenv download cache", found.pyenvCache,
                "The source archives pyenv downloaded to build Pythons — downloaded again when needed.", "pyenv", ""},
        };
        if (found.poetryCache) {
            // Each repository's cache has poetry's own command; its downloaded archives do not.
            if (joinsWithoutLinks(*found.poetryCache, "cache/") && isRealDirectory(*found.poetryCache + "/cache")) {
                for (const auto& [name, path] : subfolders(*found.poetryCache + "/cache")) {
                    DependencyItem item = cacheItem("poetry cache · " + name, path, std::nullopt,
                        foundIn("What poetry downloaded from the repository " + name + " — downloaded again as needed.",
                            path, home_));
                    item.reclaimCommand = commandWithOperand("poetry cache clear --all", name);
                    item.tool = "poetry";
                    draft.add(std::move(item), {path});
                }
            }
            if (joinsWithoutLinks(*found.poetryCache, "artifacts/") &&
                isRealDirectory(*found.poetryCache + "/artifacts")) {
                caches.push_back({"poetry artifacts", *found.poetryCache + "/artifacts",
                    "The package archives poetry downloaded to install — downloaded again as needed.", "poetry", ""});
            }
        }
        if (found.pipx) {
            for (const auto& [folder, name, identity] :
                {std::tuple{"shared", "pipx shared libraries",
                     "The pip every pipx application installs with — pipx makes it again when needed."},
                    {".cache", "pipx run cache",
                        "The virtualenvs pipx run made for one-off runs — made again when needed."},
                    {"logs", "pipx logs", "pipx's logs of earlier commands — nothing needs them."}}) {
                if (joinsWithoutLinks(*found.pipx, std::string(folder) + "/") &&
                    isRealDirectory(*found.pipx + "/" + folder)) {
                    caches.push_back({name, *found.pipx + "/" + folder, identity, "pipx", ""});
                }
            }
        }
        for (Cache& cache : caches) {
            if (!cache.folder || listDirectory(*cache.folder).value_or(std::vector<std::string>()).empty()) {
                continue;
            }
            DependencyItem item =
                cacheItem(cache.name, *cache.folder, std::nullopt, foundIn(cache.identity, *cache.folder, home_));
            const auto win = std::find_if(quickWins().begin(), quickWins().end(),
                [&](const QuickWin& quickWin) { return quickWin.command == cache.command; });
            item.reclaimCommand =
                cache.command.empty() ? "rm -rf -- " + shellQuoted(*cache.folder) : std::move(cache.command);
            item.tool = cache.tool;
            draft.add(std::move(item), {*cache.folder}, win != quickWins().end() ? win->title : std::string());
        }
    });
    return std::move(draft).finish(sizer_.get(), counted);
}

void PythonAdapter::keepPinned(ManagerReport& report, const std::vector<ProjectPin>& pins) const {
    const auto own = pinsOf(pins, PythonSource().pinFiles);
    const auto folder = toolFolder(home_, "/.pyenv/versions");
    if (own.empty() || !folder) {
        return;
    }
    std::vector<std::string> names;
    for (const DependencyItem& item : report.items) {
        if (item.tool == "pyenv" && item.path == *folder + "/" + item.name) {
            names.push_back(item.name);
        }
    }
    const auto keep = [&](const std::optional<std::string>& version, const Evidence& reason) {
        for (DependencyItem& item : report.items) {
            if (version && item.path == *folder + "/" + *version) {
                keepFor(item, reason);
            }
        }
    };
    for (const ProjectPin* pin : own) {
        // A virtual environment in a project (or anywhere the search walks) runs its version.
        if (pin->file == "pyvenv.cfg") {
            const auto home = pyvenvHome(pin->text);
            keep(home ? versionOfHome(*home, *folder) : std::nullopt,
                Evidence::usedByVirtualenv(homeAbbreviated(pin->folder, home_)));
            continue;
        }
        for (const std::string& named : parseVersionFile(pin->text)) {
            keep(resolveVersion(named, names), Evidence::pinnedByProject(homeAbbreviated(pin->folder, home_)));
        }
    }
}

const SourceDescriptor& PythonSource() {
    static const SourceDescriptor source{.kind = ManagerKind::python,
        .displayName = "Python",
        .shortLabel = "python",
        .ownProgram = "pyenv",
        .summary =
            [](const std::vector<DependencyItem>& items) {
                std::int64_t versions = 0, applications = 0, virtualenvs = 0, caches = 0;
                for (const DependencyItem& item : items) {
                    if (item.tier == Tier::safeByDesign) {
                        ++caches;
                    } else if (item.tool == "pyenv" || (item.tool == "uv" && item.path &&
                                                           item.path->find("/uv/python/") != std::string::npos)) {
                        ++versions;
                    } else if (item.tool == "pipx" || item.tool == "uv") {
                        ++applications;
                    } else {
                        ++virtualenvs;
                    }
                }
                return countsOf({{versions, "Python", "Pythons"}, {applications, "application", "applications"},
                    {virtualenvs, "virtualenv", "virtualenvs"}, {caches, "cache", "caches"}});
            },
        .groupsVersions = true,
        .versionLineTitle = "Python",
        .versionLineParts = 2,
        .pinFiles = {".python-version", "pyvenv.cfg"}};
    return source;
}

std::shared_ptr<const ManagerAdapter> makePythonAdapter(const AdapterServices& services) {
    return std::make_shared<PythonAdapter>(services.sizer, services.prober, services.knowledge, services.home);
}

} // namespace kelvo
