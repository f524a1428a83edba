#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kelvo {

// The allowlist: the only commands Kelvo ever starts. Nothing takes a free command line.
struct ReadOnlyCommand {
    enum class Case {
        brewUsesInstalled,
        brewVersion,
        brewCellarPath,
        brewListFormula,
        brewLeaves,
        pnpmVersion,
        npmVersion,
        npmPrefixGlobal,
        npmListGlobalJSON,
        npmCacheDir,
        bunVersion,
    };

    Case kind = Case::brewVersion;
    std::string formula; // brewUsesInstalled only

    static ReadOnlyCommand brewUsesInstalled(std::string formula) {
        return {Case::brewUsesInstalled, std::move(formula)};
    }
    static ReadOnlyCommand brewVersion() { return {Case::brewVersion, {}}; }
    static ReadOnlyCommand brewCellarPath() { return {Case::brewCellarPath, {}}; }
    static ReadOnlyCommand brewListFormula() { return {Case::brewListFormula, {}}; }
    static ReadOnlyCommand brewLeaves() { return {Case::brewLeaves, {}}; }
    static ReadOnlyCommand pnpmVersion() { return {Case::pnpmVersion, {}}; }
    static ReadOnlyCommand npmVersion() { return {Case::npmVersion, {}}; }
    static ReadOnlyCommand npmPrefixGlobal() { return {Case::npmPrefixGlobal, {}}; }
    static ReadOnlyCommand npmListGlobalJSON() { return {Case::npmListGlobalJSON, {}}; }
    static ReadOnlyCommand npmCacheDir() { return {Case::npmCacheDir, {}}; }
    static ReadOnlyCommand bunVersion() { return {Case::bunVersion, {}}; }

    friend bool operator==(const ReadOnlyCommand&, const ReadOnlyCommand&) = default;
};

enum class CommandTool { brew, pnpm, npm, bun };

CommandTool toolFor(const ReadOnlyCommand& command);
// The arguments after the executable, passed exactly as they are (no shell, no expansion).
std::vector<std::string> argumentsFor(const ReadOnlyCommand& command);

// The environment of a command's child besides PATH and USER: HOME, and fixed settings that keep
// the tool from writing into the home or reaching the network (npm's log files, cache folder and
// update check, corepack's downloads, Homebrew's auto-update).
std::vector<std::string> childEnvironment(const ReadOnlyCommand& command, const std::string& home);

// npm makes its cache folder at every start but for --version, even where the user never ran npm.
// So its questions name a cache folder inside this stand-in for a home, where nothing can be made;
// the question of where the cache is runs with the stand-in as HOME and the user's own .npmrc,
// and an answer inside the stand-in is put back in the home by answerInHome.
inline constexpr std::string_view homeStandIn = "/dev/null";
std::string answerInHome(const ReadOnlyCommand& command, std::string answer, const std::string& home);

// One place where a tool may be installed: an absolute path, a suffix of the home directory, or a
// place worked out from the home directory at each start (the npm of nvm's default Node). A worked
// out tool's own folder goes first on the child's PATH, so that its `#!/usr/bin/env node` line
// finds the Node it belongs to.
struct CandidatePath {
    bool relativeToHome = false;
    std::string path;
    std::function<std::optional<std::string>(const std::string& home)> locate = nullptr;
};

// The executable a command starts, and what goes before the fixed PATH of the child.
struct ResolvedTool {
    std::string executable; // empty: no candidate qualifies
    std::string pathPrefix;
};

// Candidate paths per tool (indexed by CommandTool), tried in order.
using CandidateTable = std::array<std::vector<CandidatePath>, 4>;

// The fixed locations of the production build; the search path is never consulted.
CandidateTable standardCandidateTable();

struct CommandError {
    enum class Kind {
        failed,       // exited with a status other than 0 (or was killed by a signal)
        toolNotFound, // no candidate is an executable file; nothing was started
        launchFailed, // the process could not be started (errnoValue)
        timedOut,     // ran past the limit; its process group was killed
    };
    Kind kind = Kind::failed;
    std::int32_t status = 0; // failed: exit status (128 + signal when killed by one)
    std::string stderrText;  // failed: standard error, UTF-8 repaired, untrimmed
    int errnoValue = 0;      // launchFailed
};

// Either the trimmed standard output or an error.
struct CommandResult {
    bool ok = false;
    std::string output;
    CommandError error;

    static CommandResult success(std::string output) { return {true, std::move(output), {}}; }
    static CommandResult failure(CommandError error) { return {false, {}, std::move(error)}; }
};

class ReadOnlyCommandRunning {
public:
    virtual ~ReadOnlyCommandRunning() = default;
    // Blocking; safe to call from several threads at once.
    virtual CommandResult run(const ReadOnlyCommand& command) const = 0;
};

} // namespace kelvo
