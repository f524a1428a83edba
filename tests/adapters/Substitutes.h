#pragma once

// Stand-ins for the command runner, directory sizer and access prober so adapter tests control
// every answer and see exactly what was asked, in order; plus report helpers and the hostile names
// every adapter must survive.

#include "model/ScanModel.h"
#include "support/TestSupport.h"
#include "system/DirectorySizer.h"
#include "system/FileAccessProber.h"
#include "system/ReadOnlyCommand.h"

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

namespace kelvo::test {

inline CommandResult ok(std::string output) { return CommandResult::success(std::move(output)); }

inline CommandResult failed(CommandError::Kind kind = CommandError::Kind::failed) {
    CommandError error;
    error.kind = kind;
    error.status = 1;
    return CommandResult::failure(std::move(error));
}
inline CommandResult toolNotFound() { return failed(CommandError::Kind::toolNotFound); }

// Answers by command case; a command without an answer fails as if its tool were not installed.
// Every call is recorded, in order.
class FakeRunner final : public ReadOnlyCommandRunning {
public:
    FakeRunner& on(ReadOnlyCommand::Case kind, CommandResult result) {
        std::lock_guard lock(mutex_);
        answers_.insert_or_assign(kind, std::move(result));
        return *this;
    }
    CommandResult run(const ReadOnlyCommand& command) const override {
        std::lock_guard lock(mutex_);
        calls_.push_back(command.kind);
        const auto found = answers_.find(command.kind);
        return found != answers_.end() ? found->second : toolNotFound();
    }
    std::vector<ReadOnlyCommand::Case> callKinds() const {
        std::lock_guard lock(mutex_);
        return calls_;
    }

private:
    mutable std::mutex mutex_;
    std::map<ReadOnlyCommand::Case, CommandResult> answers_;
    mutable std::vector<ReadOnlyCommand::Case> calls_;
};

// Answers by exact path (unknown paths: absent) and records every path asked, from any thread.
template <class Value>
class PathAnswers {
public:
    void set(const std::string& path, std::optional<Value> value) {
        std::lock_guard lock(mutex_);
        values_[path] = value;
    }
    std::optional<Value> get(const std::string& path) const {
        std::lock_guard lock(mutex_);
        calls_.push_back(path);
        const auto found = values_.find(path);
        return found != values_.end() ? found->second : std::nullopt;
    }
    std::vector<std::string> calls() const {
        std::lock_guard lock(mutex_);
        return calls_;
    }

private:
    mutable std::mutex mutex_;
    std::map<std::string, std::optional<Value>> values_;
    mutable std::vector<std::string> calls_;
};

class FakeSizer final : public DirectorySizing, public PathAnswers<std::int64_t> {
public:
    FakeSizer& set(const std::string& path, std::optional<std::int64_t> bytes) {
        PathAnswers::set(path, bytes);
        return *this;
    }
    std::optional<std::int64_t> size(const std::string& path) const override { return get(path); }
};

class FakeProber final : public FileAccessProbing, public PathAnswers<FileTimes> {
public:
    FakeProber& set(const std::string& path, std::optional<FileTimes> times) {
        PathAnswers::set(path, times);
        return *this;
    }
    // When the command entry at `path` was made.
    FakeProber& made(const std::string& path, double time) {
        std::lock_guard lock(madeMutex_);
        made_[path] = time;
        return *this;
    }
    std::optional<FileTimes> fileTimes(const std::string& path) const override { return get(path); }
    std::optional<double> entryModified(const std::string& path) const override {
        std::lock_guard lock(madeMutex_);
        const auto found = made_.find(path);
        return found != made_.end() ? std::optional(found->second) : std::nullopt;
    }
    bool recordsAccessTimes(const std::string&) const override { return accessTimesRecorded; }

    bool accessTimesRecorded = true;

private:
    mutable std::mutex madeMutex_;
    std::map<std::string, double> made_;
};

inline std::vector<std::string> itemNames(const ManagerReport& report) {
    std::vector<std::string> names;
    for (const auto& item : report.items)
        names.push_back(item.name);
    return names;
}

inline const DependencyItem* itemNamed(const ManagerReport& report, std::string_view name) {
    for (const auto& item : report.items)
        if (item.name == name)
            return &item;
    return nullptr;
}

// An item's fields without its random id, so a whole item is checked in one expectation.
using ItemFields = std::tuple<std::string, std::optional<std::string>, std::optional<std::string>,
                              std::optional<std::int64_t>, Tier, std::vector<Evidence>, std::optional<std::string>,
                              std::optional<std::string>>;
inline ItemFields fields(const DependencyItem& i) {
    return {i.name, i.version, i.path, i.bytes, i.tier, i.evidence, i.identity, i.reclaimCommand};
}

// The words a removal command should split into: the fixed words, "--" before a name that
// would read as an option, then the name itself.
inline std::vector<std::string> removalWords(std::vector<std::string> fixedWords, const std::string& name) {
    if (!name.empty() && name.front() == '-')
        fixedWords.push_back("--");
    fixedWords.push_back(name);
    return fixedWords;
}

// Names from listings and tool output that a shell, a terminal or a path join would take for
// something else. The last three cannot be directory entries (see isEntryName).
inline const std::vector<std::string> trickyNames{
    "a b", "it's", "\"q\"", "x;touch pwned", "$(touch pwned)", "`touch pwned`", "new\nline", "\xff\xfe",
    "-rf", "--force", "*", "..", "../etc", "a//b"};
inline bool isEntryName(const std::string& name) { return name != ".." && name.find('/') == std::string::npos; }

// Names of the report's items whose command is missing or does not split back, in a real shell,
// into the fixed words and the one name; empty when every command does.
inline std::string badCommands(const ManagerReport& report, const std::vector<std::string>& fixedWords) {
    std::string bad;
    for (const auto& item : report.items)
        if (!item.reclaimCommand || shellWords(*item.reclaimCommand) != removalWords(fixedWords, item.name))
            bad += "[" + item.name + "] ";
    return bad;
}

} // namespace kelvo::test
