#include "adapters/HomebrewAdapter.h"

#include "adapters/AdapterSupport.h"
#include "adapters/ReportDraft.h"
#include "adapters/Sources.h"
#include "system/Platform.h"

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
    ReportDraft draft(ManagerKind::homebrew);
    const auto run = [this](const ReadOnlyCommand& command) {
        try {
            return runner_->run(command);
        } catch (...) {
            return CommandResult::failure({});
        }
    };
    const CommandResult version = run(ReadOnlyCommand::brewVersion());
    if (!version.ok) {
        return std::move(draft).finish(sizer_.get(), counted);
    }
    draft.report().detected = true;
    draft.report().version = versionFromOutput(version.output);
    // Both commands also remove what no item here shows (old versions, unneeded dependencies), so
    // they stay whatever the cache holds; the cleanup is sized by the cache.
    draft.offer(quickWins()[0], ReportDraft::Offer::always);
    draft.offer(quickWins()[1], ReportDraft::Offer::always);
    draft.step([&] {
        const CommandResult cellar = run(ReadOnlyCommand::brewCellarPath());
        // A flood of output as the Cellar would be copied into every item's path.
        if (!cellar.ok || !isSinglePathAnswer(cellar.output)) {
            return;
        }
        const CommandResult list = run(ReadOnlyCommand::brewListFormula());
        const CommandResult leavesOutput = list.ok ? run(ReadOnlyCommand::brewLeaves()) : list;
        if (!leavesOutput.ok) {
            return;
        }
        const std::vector<std::string> leafLines = lines(leavesOutput.output);
        const std::set<std::string, std::less<>> leaves(leafLines.begin(), leafLines.end());
        // An empty or relative Cellar gives no formula a path (childPath wants an absolute parent),
        // so "usr" never becomes "/usr": the formulae are listed, nothing is measured.
        const std::string& cellarPath = cellar.output;
        for (const std::string& name : lines(list.output)) {
            DependencyItem item;
            item.name = name;
            item.path = childPath(cellarPath, name);
            if (leaves.contains(name)) {
                item.tier = Tier::orphanCandidate;
                item.evidence.push_back(Evidence::noDependents());
                // No shell command can carry a NUL byte, so such a name gets none.
                if (name.find('\0') == std::string::npos) {
                    item.reclaimCommand = commandWithOperand("brew uninstall", name);
                }
            }
            if (auto entry = kb_.lookup(name, ManagerKind::homebrew)) {
                item.identity = std::move(entry->identity);
            }
            const bool measured = item.path && joinsWithoutLinks(cellarPath, name);
            const std::vector<std::string> paths = measured ? std::vector{*item.path} : std::vector<std::string>();
            draft.add(std::move(item), paths);
        }
    });
    draft.step([&] {
        // Bottles and sources brew downloaded, which its cleanup removes once stale.
        const auto cache =
            home_.empty() ? std::nullopt : firstFolder(home_, {"/Library/Caches/Homebrew", "/.cache/Homebrew"});
        if (cache) {
            draft.add(cacheItem("Homebrew download cache", *cache, std::nullopt,
                          foundIn("Bottles and sources Homebrew downloaded — brew cleanup removes the ones no longer "
                                  "needed.",
                              *cache, home_)),
                {*cache}, quickWins()[0].title);
        }
    });
    return std::move(draft).finish(sizer_.get(), counted);
}

const SourceDescriptor& HomebrewSource() {
    static const SourceDescriptor source{.kind = ManagerKind::homebrew,
        .displayName = "Homebrew",
        .shortLabel = "brew",
        .programs = {"brew"},
        .ownProgram = "brew",
        .itemNoun = "formula",
        .itemNouns = "formulae",
        .keptForDependents = true};
    return source;
}

std::shared_ptr<const ManagerAdapter> makeHomebrewAdapter(const AdapterServices& services) {
    return std::make_shared<HomebrewAdapter>(services.runner, services.sizer, services.knowledge, services.home);
}

} // namespace kelvo
