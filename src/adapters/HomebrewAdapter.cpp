#include "adapters/HomebrewAdapter.h"

#include "adapters/AdapterSupport.h"
#include "adapters/PathSafety.h"
#include "adapters/Sources.h"

#include <set>
#include <utility>

namespace kelvo {

namespace {

// Pieces between separators, empty ones dropped.
std::vector<std::string_view> splitDroppingEmpty(std::string_view text, char separator) {
    std::vector<std::string_view> pieces;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = text.find(separator, start);
        const std::string_view piece =
            text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
        if (!piece.empty()) {
            pieces.push_back(piece);
        }
        if (end == std::string_view::npos) {
            break;
        }
        start = end + 1;
    }
    return pieces;
}

} // namespace

HomebrewAdapter::HomebrewAdapter(std::shared_ptr<const ReadOnlyCommandRunning> runner,
    std::shared_ptr<const DirectorySizing> sizer, KnowledgeBase kb, std::string home)
    : runner_(std::move(runner)), sizer_(std::move(sizer)), kb_(std::move(kb)), home_(std::move(home)) {}

const std::vector<QuickWin>& HomebrewAdapter::quickWins() {
    static const std::vector<QuickWin> wins{
        {Uuid::random(), "Clean up old versions", "brew cleanup",
            "Removes outdated formula versions and stale downloads."},
        {Uuid::random(), "Remove unused dependencies", "brew autoremove",
            "Removes formulae installed only as dependencies that nothing needs now."},
    };
    return wins;
}

std::optional<std::string> HomebrewAdapter::versionFromOutput(std::string_view output) {
    const auto outputLines = splitDroppingEmpty(output, '\n');
    if (outputLines.empty()) {
        return std::nullopt;
    }
    const auto words = splitDroppingEmpty(outputLines.front(), ' ');
    if (words.size() < 2 || words[0] != "Homebrew") {
        return std::nullopt;
    }
    return std::string(words[1]);
}

std::vector<std::string> HomebrewAdapter::lines(std::string_view output) {
    std::vector<std::string> result;
    for (std::string_view piece : splitDroppingEmpty(output, '\n')) {
        const std::size_t first = piece.find_first_not_of(" \t");
        if (first == std::string_view::npos) {
            continue;
        }
        const std::size_t last = piece.find_last_not_of(" \t");
        result.emplace_back(piece.substr(first, last - first + 1));
    }
    return result;
}

bool HomebrewAdapter::isInstalled() const {
    try {
        return runner_->run(ReadOnlyCommand::brewVersion()).ok;
    } catch (...) {
        return false;
    }
}

ManagerReport HomebrewAdapter::scan(TallyScopes counted) const {
    return guardedScan(
        ManagerKind::homebrew, [this, counted](ManagerReport& partial) { return scanUnguarded(partial, counted); });
}

ManagerReport HomebrewAdapter::scanUnguarded(ManagerReport& partial, TallyScopes counted) const {
    const CommandResult version = runner_->run(ReadOnlyCommand::brewVersion());
    if (!version.ok) {
        return partial;
    }
    partial.detected = true;
    partial.version = versionFromOutput(version.output);
    partial.quickWins = quickWins();

    const CommandResult cellar = runner_->run(ReadOnlyCommand::brewCellarPath());
    // A flood of output as the Cellar would be copied into every item's path.
    if (!cellar.ok || !isSinglePathAnswer(cellar.output)) {
        return partial;
    }
    const CommandResult list = runner_->run(ReadOnlyCommand::brewListFormula());
    if (!list.ok) {
        return partial;
    }
    const CommandResult leavesOutput = runner_->run(ReadOnlyCommand::brewLeaves());
    if (!leavesOutput.ok) {
        return partial;
    }

    const std::vector<std::string> formulae = lines(list.output);
    const std::vector<std::string> leafLines = lines(leavesOutput.output);
    const std::set<std::string, std::less<>> leaves(leafLines.begin(), leafLines.end());
    const std::string& cellarPath = cellar.output;
    // An empty or relative Cellar would make "/" + name or a path below the working directory
    // out of each formula ("/usr" for a formula named "usr"): list the formulae, measure nothing.
    const bool cellarIsAbsolute = !cellarPath.empty() && cellarPath.front() == '/';
    std::vector<std::string> measurable;
    if (cellarIsAbsolute) {
        for (const std::string& name : formulae) {
            if (joinsWithoutLinks(cellarPath, name)) {
                measurable.push_back(name);
            }
        }
    }
    const ManagerTally tally(counted);
    const auto sizes = measureChildren(*sizer_, cellarPath, measurable, tally.counted());
    // Bottles and sources brew downloaded, which its cleanup removes once stale.
    const auto cache =
        home_.empty() ? std::nullopt : firstFolder(home_, {"/Library/Caches/Homebrew", "/.cache/Homebrew"});
    const ItemSize cacheSize = cache ? measureItem(*sizer_, {*cache}, tally.counted()) : ItemSize{};

    ManagerReport& report = partial; // what is found stays found if a later step fails
    report.items.reserve(formulae.size());
    for (const std::string& name : formulae) {
        DependencyItem item;
        item.id = Uuid::random();
        item.name = name;
        item.path = childPath(cellarPath, name);
        if (const auto size = sizes.find(name); size != sizes.end()) {
            item.bytes = size->second.bytes;
            item.freedBytes = size->second.freedBytes;
            item.unreadableFolders = size->second.unreadable;
        }
        if (leaves.contains(name)) {
            item.tier = Tier::orphanCandidate;
            item.evidence.push_back(Evidence::noDependents());
            // No shell command can carry a NUL byte, so such a name gets none.
            if (name.find('\0') == std::string::npos) {
                item.reclaimCommand = commandWithOperand("brew uninstall", name);
            }
        } else {
            item.tier = Tier::signalOnly;
        }
        if (auto entry = kb_.lookup(name, ManagerKind::homebrew)) {
            item.identity = std::move(entry->identity);
        }
        report.items.push_back(std::move(item));
    }
    if (cache) {
        report.items.push_back(cacheItem("Homebrew download cache", *cache, cacheSize.bytes,
            foundIn("Bottles and sources Homebrew downloaded — brew cleanup removes the ones no longer needed.", *cache,
                home_)));
        report.items.back().freedBytes = cacheSize.freedBytes;
        report.items.back().unreadableFolders = cacheSize.unreadable;
        // Both commands also remove what no item here shows (old versions, unneeded dependencies),
        // so they stay whatever the cache holds; the cleanup is sized by the cache.
        report.quickWins[0].bytes = cacheSize.bytes;
    }
    sortItemsBySize(report.items);
    report.onceCountedBytes = tally.total();
    return report;
}

const SourceDescriptor& HomebrewSource() {
    static const SourceDescriptor source = [] {
        SourceDescriptor source;
        source.kind = ManagerKind::homebrew;
        source.displayName = "Homebrew";
        source.shortLabel = "brew";
        source.programs = {"brew"};
        source.ownProgram = "brew";
        source.summary = [](const std::vector<DependencyItem>& items) {
            return countOf(static_cast<std::int64_t>(items.size()), "formula", "formulae");
        };
        source.keptForDependents = true;
        return source;
    }();
    return source;
}

std::shared_ptr<const ManagerAdapter> makeHomebrewAdapter(const AdapterServices& services) {
    return std::make_shared<HomebrewAdapter>(services.runner, services.sizer, services.knowledge, services.home);
}

} // namespace kelvo
