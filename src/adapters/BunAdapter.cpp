#include "adapters/BunAdapter.h"

#include "adapters/AdapterSupport.h"
#include "adapters/PathSafety.h"
#include "system/ParallelFor.h"
#include "system/Platform.h"

#include <algorithm>

#include <nlohmann/json.hpp>

namespace kelvo {

namespace {

std::optional<std::string> versionFromPackageJson(const std::string& text) {
    const auto json = nlohmann::json::parse(text, nullptr, false);
    if (json.is_discarded() || !json.is_object()) {
        return std::nullopt;
    }
    const auto version = json.find("version");
    if (version == json.end() || !version->is_string()) {
        return std::nullopt;
    }
    return version->get<std::string>();
}

} // namespace

BunAdapter::BunAdapter(std::shared_ptr<const ReadOnlyCommandRunning> runner,
                       std::shared_ptr<const DirectorySizing> sizer, std::shared_ptr<const FileAccessProbing> prober,
                       KnowledgeBase kb, std::string home)
    : runner_(std::move(runner)), sizer_(std::move(sizer)), prober_(std::move(prober)), kb_(std::move(kb)),
      home_(std::move(home)) {}

const std::vector<QuickWin>& BunAdapter::quickWins() {
    static const std::vector<QuickWin> wins{
        {Uuid::random(), "Clear the bun cache", "bun pm cache rm",
         "Removes bun's global module cache. Re-downloaded as needed."},
    };
    return wins;
}

std::vector<std::string> BunAdapter::packageNames(const std::string& modulesDirectory) {
    std::vector<std::string> names;
    const auto entries = listDirectory(modulesDirectory);
    if (!entries) {
        return names;
    }
    for (const std::string& entry : *entries) {
        if (entry.empty() || entry.front() == '.') {
            continue;
        }
        if (entry.front() != '@') {
            names.push_back(entry);
            continue;
        }
        // A scope that is a link to elsewhere ("/", another tree) holds no package of bun's.
        if (!joinsWithoutLinks(modulesDirectory, entry + "/")) {
            continue;
        }
        const auto scoped = listDirectory(modulesDirectory + "/" + entry);
        if (!scoped) {
            continue;
        }
        for (const std::string& name : *scoped) {
            if (!name.empty() && name.front() != '.') {
                names.push_back(entry + "/" + name);
            }
        }
    }
    // std::string compares bytes as unsigned, which for UTF-8 is code-point order.
    std::sort(names.begin(), names.end());
    return names;
}

bool BunAdapter::isInstalled() const {
    bool versionRuns = false;
    try {
        versionRuns = runner_->run(ReadOnlyCommand::bunVersion()).ok;
    } catch (...) {
        // Counts as a failed run: the directory still decides.
    }
    return versionRuns || isDirectory(home_ + "/.bun");
}

ManagerReport BunAdapter::scan() const {
    return guardedScan(ManagerKind::bun, [this](ManagerReport& partial) { return scanUnguarded(partial); });
}

ManagerReport BunAdapter::scanUnguarded(ManagerReport& partial) const {
    CommandResult first = CommandResult::failure({});
    try {
        first = runner_->run(ReadOnlyCommand::bunVersion());
    } catch (...) {
        // Counts as a failed run: the directory still decides.
    }
    if (!first.ok && !isDirectory(home_ + "/.bun")) {
        return partial;
    }
    partial.detected = true;
    partial.quickWins = quickWins();
    // A version command that ran out of time would only do so again: a hung bun costs one
    // time limit, not two.
    if (first.ok || first.error.kind != CommandError::Kind::timedOut) {
        if (const CommandResult version = runner_->run(ReadOnlyCommand::bunVersion());
            version.ok && !version.output.empty()) {
            partial.version = version.output;
        }
    }

    const std::string bunDirectory = home_ + "/.bun";
    const std::string modulesDirectory = bunDirectory + "/install/global/node_modules";
    const std::string commandDirectory = bunDirectory + "/bin";
    const std::string cacheDirectory = bunDirectory + "/install/cache";
    const std::vector<std::string> names = packageNames(modulesDirectory);

    // Index i < count handles package i; index count measures the cache. Results are stored by
    // index, so the outcome is the same as handling one package after another.
    const std::size_t count = names.size();
    std::vector<std::optional<std::string>> versions(count);
    std::vector<std::optional<std::int64_t>> sizes(count);
    std::vector<std::optional<double>> lastUses(count);
    std::optional<std::int64_t> cacheSize;
    parallelFor(count + 1, [&](std::size_t i) {
        try {
            if (i == count) {
                cacheSize = sizer_->size(cacheDirectory);
                return;
            }
            if (!isSafeRelativeName(names[i])) {
                return;
            }
            const std::string directory = modulesDirectory + "/" + names[i];
            versions[i] = versionFromPackageJson(readFile(directory + "/package.json").value_or(std::string()));
            sizes[i] = sizer_->size(directory);
            lastUses[i] = lastUseOfCommands(*prober_, directory, names[i], commandDirectory);
        } catch (...) {
            // Whatever failed stays unknown; the item is still listed.
        }
    });

    ManagerReport report = partial;
    report.items.reserve(count + 1);
    for (std::size_t i = 0; i < count; ++i) {
        report.items.push_back(globalPackageItem(names[i], versions[i], modulesDirectory + "/" + names[i], sizes[i],
                                                 lastUses[i], kb_, ManagerKind::bun, "bun remove -g"));
    }
    if (cacheSize) {
        report.items.push_back(
            cacheItem("bun cache", cacheDirectory, cacheSize, "bun's module cache — re-downloaded as needed."));
    }
    sortItemsBySize(report.items);
    return report;
}

} // namespace kelvo
