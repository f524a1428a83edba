#pragma once

#include "model/Uuid.h"

#include <array>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json_fwd.hpp>

namespace kelvo {

// The sources Kelvo scans (its package managers and toolchains, and the user's projects), as the
// registration list in Sources.def names them. The case order matters: reports are ordered by it.
enum class ManagerKind {
#define KELVO_SOURCE(kind, Name) kind,
#include "model/Sources.def"
#undef KELVO_SOURCE
};

inline constexpr std::array allManagerKinds{
#define KELVO_SOURCE(kind, Name) ManagerKind::kind,
#include "model/Sources.def"
#undef KELVO_SOURCE
};

std::string_view rawValue(ManagerKind kind);
// Exact match only: no trimming, no case folding.
std::optional<ManagerKind> managerKindFromRaw(std::string_view raw);

// JSON form is the bare raw string; decoding anything else throws nlohmann::json::exception.
void to_json(nlohmann::json& json, ManagerKind kind);
void from_json(const nlohmann::json& json, ManagerKind& kind);

enum class Tier { safeByDesign, orphanCandidate, signalOnly };

std::string_view rawValue(Tier tier);

// One reason that supports an item's tier.
struct Evidence {
    enum class Kind {
        lastUsed,
        notDefaultVersion,
        supersededPatch,
        noDependents,
        managerDefinesPrunable,
        notUsedSinceInstall,
        oldStoreVersion,
        oldGlobalFolder,
        projectUntouched,
        projectActive,
        noLockfile,
        commandWithheld,
        projectGone,
        markedAsCache,
        notDefaultToolchain,
        notGlobalVersion,
        usedByVirtualenv,
        pinnedByProject,
    };

    Kind kind = Kind::noDependents;
    double at = 0; // lastUsed: the last use; notUsedSinceInstall: the install; project*: its last activity
    // notDefaultVersion: defaultVersion; notDefaultToolchain: the default toolchain; notGlobalVersion:
    // the global versions; usedByVirtualenv: the virtualenv; supersededPatch: newestInSeries; old*: the folder
    std::string version;

    static Evidence lastUsed(double at) { return {Kind::lastUsed, at, {}}; }
    static Evidence notDefaultVersion(std::string defaultVersion) {
        return {Kind::notDefaultVersion, 0, std::move(defaultVersion)};
    }
    static Evidence supersededPatch(std::string newestInSeries) {
        return {Kind::supersededPatch, 0, std::move(newestInSeries)};
    }
    static Evidence noDependents() { return {Kind::noDependents, 0, {}}; }
    static Evidence managerDefinesPrunable() { return {Kind::managerDefinesPrunable, 0, {}}; }
    // None of the package's commands was used since it was installed, at `installedAt`.
    static Evidence notUsedSinceInstall(double installedAt) { return {Kind::notUsedSinceInstall, installedAt, {}}; }
    // A store layout an earlier pnpm left, named by its folder ("v3"), which no pnpm command removes.
    static Evidence oldStoreVersion(std::string storeVersion) {
        return {Kind::oldStoreVersion, 0, std::move(storeVersion)};
    }
    // A global folder an earlier pnpm left ("global/5"), whose packages no pnpm lists or removes now.
    static Evidence oldGlobalFolder(std::string folder) { return {Kind::oldGlobalFolder, 0, std::move(folder)}; }
    // A project's last activity `at`: long ago, or lately.
    static Evidence projectUntouched(double at) { return {Kind::projectUntouched, at, {}}; }
    static Evidence projectActive(double at) { return {Kind::projectActive, at, {}}; }
    // A project without a lockfile: installing again may bring other versions than it has now.
    static Evidence noLockfile() { return {Kind::noLockfile, 0, {}}; }
    // The item's path or name is not valid UTF-8: a command shown or copied as text could not name
    // those bytes exactly (it might name another folder), so it has none.
    static Evidence commandWithheld() { return {Kind::commandWithheld, 0, {}}; }
    // The project a folder was made for is no longer there (`folder`, as it is shown).
    static Evidence projectGone(std::string folder) { return {Kind::projectGone, 0, std::move(folder)}; }
    // Its build tool marks the folder as a cache (CACHEDIR.TAG): safe to remove whatever its age.
    static Evidence markedAsCache() { return {Kind::markedAsCache, 0, {}}; }
    // An installed toolchain that is not the default (named) nor one an override names.
    static Evidence notDefaultToolchain(std::string defaultToolchain) {
        return {Kind::notDefaultToolchain, 0, std::move(defaultToolchain)};
    }
    // An installed version that is not one of the global versions (named, ", " between them).
    static Evidence notGlobalVersion(std::string globalVersions) {
        return {Kind::notGlobalVersion, 0, std::move(globalVersions)};
    }
    // A virtualenv (its folder, as shown) runs this installed version.
    static Evidence usedByVirtualenv(std::string virtualenv) {
        return {Kind::usedByVirtualenv, 0, std::move(virtualenv)};
    }
    // A project's version file names it (`folder`, as it is shown): the project needs it.
    static Evidence pinnedByProject(std::string folder) { return {Kind::pinnedByProject, 0, std::move(folder)}; }

    // The one-line text shown for this evidence.
    std::string summary() const;

    friend bool operator==(const Evidence&, const Evidence&) = default;
};

std::string_view rawValue(Evidence::Kind kind);
inline constexpr std::array allEvidenceKinds{Evidence::Kind::lastUsed, Evidence::Kind::notDefaultVersion,
    Evidence::Kind::supersededPatch, Evidence::Kind::noDependents, Evidence::Kind::managerDefinesPrunable,
    Evidence::Kind::notUsedSinceInstall, Evidence::Kind::oldStoreVersion, Evidence::Kind::oldGlobalFolder,
    Evidence::Kind::projectUntouched, Evidence::Kind::projectActive, Evidence::Kind::noLockfile,
    Evidence::Kind::commandWithheld, Evidence::Kind::projectGone, Evidence::Kind::markedAsCache,
    Evidence::Kind::notDefaultToolchain, Evidence::Kind::notGlobalVersion, Evidence::Kind::usedByVirtualenv,
    Evidence::Kind::pinnedByProject};

// "MMM yyyy" in the user's locale and time zone; safe to call from several threads.
std::string formatMonthYear(double secondsSince1970);

// "~" + rest when path is the home folder or inside it, else path unchanged.
std::string homeAbbreviated(std::string_view path, std::string_view home);

struct QuickWin {
    Uuid id;
    std::string title;
    std::string command;
    std::string detail;
    // What the command addresses: the size of the items it covers; absent when it covers none
    // that was measured.
    std::optional<std::int64_t> bytes = std::nullopt;
};

struct DependencyItem {
    Uuid id;
    std::string name;
    std::optional<std::string> version;
    std::optional<std::string> path;
    std::optional<std::int64_t> bytes; // allocated bytes on disk; absent = not measured
    Tier tier = Tier::signalOnly;
    std::vector<Evidence> evidence;
    std::optional<std::string> identity;
    std::optional<std::string> reclaimCommand;
    // What removing the item frees: the blocks of the files whose every hard link lies inside it
    // (a file also linked from elsewhere stays). Absent when not measured.
    std::optional<std::int64_t> freedBytes = std::nullopt;
    // A project's build folder: what manages it (the manager its lockfile names: "npm"; its kind of
    // project: "cargo"), the project's folder, and what makes it again once removed (exactly as it
    // was when that comes from a lockfile).
    std::optional<std::string> managedBy = std::nullopt;
    std::optional<std::string> project = std::nullopt;
    std::optional<std::string> restoreCommand = std::nullopt;
    bool restoresExactly = false;
    // Folders in it that could not be read wholly: their own blocks are in its size, what they
    // hold is not.
    std::int64_t unreadableFolders = 0;
    // Which of its source's tools made the item, where a source has several ("rustup", "cargo").
    std::optional<std::string> tool = std::nullopt;
};

// Drops a reclaim command that is not valid UTF-8 text, saying why: every place it is shown or
// copied (the window, the JSON) would repair the bytes and could name another folder.
void withholdInexactCommand(DependencyItem& item);

// A version file in a project folder (".nvmrc", "rust-toolchain.toml"): the runtime version the
// project asks for, as the file's text says it.
struct ProjectPin {
    std::string file;   // its name
    std::string folder; // the folder that holds it: a project's, a virtual environment's
    std::string text;   // valid UTF-8, at most a few kilobytes
};

struct ManagerReport {
    ManagerKind kind = allManagerKinds.front();
    bool detected = false;
    std::optional<std::string> version;
    std::vector<DependencyItem> items;
    std::vector<QuickWin> quickWins;
    // What the items occupy together, each file counted once (as one `du -s -B1 -c` over their
    // paths counts), when the adapter measured that; absent for a report made by hand.
    std::optional<std::int64_t> onceCountedBytes = std::nullopt;
    // Folders a search of the source could not open or list (what they hold is not in the report).
    std::int64_t unreadableFolders = 0;
    // The version files the projects search met (the projects' report only): runtimes keep what
    // they name.
    std::vector<ProjectPin> pins = {};

    ManagerKind id() const { return kind; }
    // onceCountedBytes, or else the sum of the measured item sizes.
    std::int64_t totalBytes() const;

    // A report saying the manager is not on this machine.
    static ManagerReport notDetected(ManagerKind kind) { return ManagerReport{kind, false, std::nullopt, {}, {}}; }
};

// A set of managers as bits (1 << kind).
using ManagerSet = std::uint32_t;
inline constexpr ManagerSet managerBit(ManagerKind kind) { return ManagerSet{1} << static_cast<unsigned>(kind); }

// Bytes that exactly these managers' items hold, and no other manager's (each file once).
struct SharedBytes {
    ManagerSet managers = 0;
    std::int64_t bytes = 0;
    friend bool operator==(const SharedBytes&, const SharedBytes&) = default;
};

struct ScanResult {
    double scannedAt = 0; // seconds since 1970
    std::vector<ManagerReport> managers;
    // What every report's items occupy together, each file counted once across all of them.
    std::optional<std::int64_t> onceCountedBytes = std::nullopt;
    // The same bytes split by the managers that hold them, when the scan measured that: what any
    // selection of managers holds together follows from it.
    std::vector<SharedBytes> sharedBytes = {};

    // onceCountedBytes, or else the sum of the reports' totals.
    std::int64_t totalBytes() const;
    // What the reports of `included` occupy together, each file once where the scan tells
    // (sharedBytes), else the sum of their totals.
    std::int64_t totalBytes(const std::set<ManagerKind>& included) const;
};

// Seconds since 1970 with sub-second precision.
double nowSeconds();

} // namespace kelvo
