#pragma once

// What every layer above the adapters knows of a source: its names and words, what it may start,
// and the few behaviours that differ between sources. Each adapter describes its own source
// (Sources.h finds the description of a kind); nothing else names a particular source.

#include "model/ScanModel.h"
#include "system/ReadOnlyCommand.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kelvo {

enum class SourceType {
    packageManager, // a package manager or toolchain: counted among the managers detected or missing
    projects,       // the user's own projects: a source of items, but no manager
};

// Every field has its default, so that a description names only what its source has
// (designated initializers, in the order below).
struct SourceDescriptor {
    ManagerKind kind{};
    std::string_view displayName{}; // "Homebrew"
    std::string_view shortLabel{};  // its chip: "brew"
    SourceType type = SourceType::packageManager;
    // The programs its scan may start (each through the allowlist), as the help text names them.
    std::vector<std::string_view> programs{};
    // The program its own commands start with ("brew"); a cache whose command starts otherwise is
    // another tool's to clean.
    std::string_view ownProgram{};
    // Whether its own cache commands remove only what nothing references (a prune), rather than
    // the whole cache ("go clean -modcache").
    bool ownCommandsPrune = true;
    // The line under its name, what its items are: every item counted as one noun ("12 formulae"),
    // or a summary of its own ("2 globals · 2 caches").
    std::string_view itemNoun{};
    std::string_view itemNouns{};
    std::string (*summary)(const std::vector<DependencyItem>& items) = nullptr;
    // Lockfiles a project it manages holds, and the command that installs that project's folder
    // again exactly as the lockfile says.
    std::vector<std::string_view> lockfiles{};
    std::string_view restoreCommand{};
    // What an item kept in use means: something else installed needs it ("DEPENDENCY"), rather
    // than "IN USE".
    bool keptForDependents = false;
    // Installed versions of one line are listed as a group that keeps one of them: the line is the
    // first `versionLineParts` numbers of a version ("18" of 18.19.1, "3.11" of 3.11.7), and the
    // group is titled by the line after `versionLineTitle` ("Node 18").
    bool groupsVersions = false;
    std::string_view versionLineTitle = "Node";
    int versionLineParts = 1;
    // The version files in a project folder that pin one of its versions (".nvmrc"), read by the
    // projects search and handed to the adapter's keepPinned.
    std::vector<std::string_view> pinFiles{};
    // Places in the home where another source's tool may be installed, worked out at each start
    // (the npm of nvm's default Node).
    struct ToolPlace {
        CommandTool tool{};
        std::optional<std::string> (*locate)(const std::string& home) = nullptr;
    };
    std::vector<ToolPlace> toolPlaces{};
};

// "1 formula", "12 formulae": a count and the word for it.
std::string countOf(std::int64_t count, std::string_view one, std::string_view many);
// Counts joined by " · ", those of 0 left out, "0 " + the first word's plural when all are 0.
struct Counted {
    std::int64_t count = 0;
    std::string_view one, many;
};
std::string countsOf(const std::vector<Counted>& counts);
// A source's summary of its items.
std::string summaryOf(const SourceDescriptor& source, const std::vector<DependencyItem>& items);

} // namespace kelvo
