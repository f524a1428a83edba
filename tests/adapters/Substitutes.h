#pragma once

// Stand-ins for the command runner, directory sizer and access prober, so that adapter tests
// control every answer and see what was asked; report helpers.

#include "knowledge/KnowledgeBase.h"
#include "model/ScanModel.h"
#include "support/TestSupport.h"
#include "system/DirectorySizer.h"
#include "system/FileAccessProber.h"
#include "system/ReadOnlyCommand.h"

#include <map>
#include <mutex>
#include <tuple>

namespace kelvo::test {

inline CommandResult ok(std::string output) { return CommandResult::success(std::move(output)); }
inline CommandResult failed(CommandError::Kind kind = CommandError::Kind::failed) {
    return CommandResult::failure({kind, 1, {}, 0});
}
inline CommandResult toolNotFound() { return failed(CommandError::Kind::toolNotFound); }

// Answers by key (unknown keys: `fallback`) and records every key asked, from any thread.
template <class Key, class Value>
class Answers {
public:
    explicit Answers(Value fallback = {}) : fallback_(std::move(fallback)) {}
    void set(const Key& key, Value value) {
        std::lock_guard lock(mutex_);
        values_[key] = std::move(value);
    }
    Value get(const Key& key) const {
        std::lock_guard lock(mutex_);
        calls_.push_back(key);
        const auto found = values_.find(key);
        return found != values_.end() ? found->second : fallback_;
    }
    std::vector<Key> calls() const {
        std::lock_guard lock(mutex_);
        return calls_;
    }

private:
    mutable std::mutex mutex_;
    std::map<Key, Value> values_;
    Value fallback_;
    mutable std::vector<Key> calls_;
};

// A command without an answer fails as if its tool were not installed.
struct FakeRunner final : ReadOnlyCommandRunning, Answers<ReadOnlyCommand::Case, CommandResult> {
    FakeRunner() : Answers(toolNotFound()) {}
    FakeRunner& on(ReadOnlyCommand::Case kind, CommandResult result) { return set(kind, std::move(result)), *this; }
    CommandResult run(const ReadOnlyCommand& command) const override { return get(command.kind); }
    std::vector<ReadOnlyCommand::Case> callKinds() const { return calls(); }
};

struct FakeSizer final : DirectorySizing, Answers<std::string, std::optional<std::int64_t>> {
    FakeSizer& set(const std::string& path, std::optional<std::int64_t> bytes) {
        return Answers::set(path, bytes), *this;
    }
    std::optional<std::int64_t> size(const std::string& path) const override { return get(path); }
};

struct FakeProber final : FileAccessProbing, Answers<std::string, std::optional<FileTimes>> {
    FakeProber& set(const std::string& path, std::optional<FileTimes> times) {
        return Answers::set(path, times), *this;
    }
    FakeProber& made(const std::string& path, double time) { return entries.set(path, time), *this; }
    std::optional<FileTimes> fileTimes(const std::string& path) const override { return get(path); }
    std::optional<double> entryModified(const std::string& path) const override { return entries.get(path); }
    bool recordsAccessTimes(const std::string&) const override { return accessTimesRecorded; }

    Answers<std::string, std::optional<double>> entries; // when each command entry was made
    bool accessTimesRecorded = true;
};

// What an adapter is made with, as the adapter tests share it.
struct Services {
    std::shared_ptr<FakeRunner> runner = std::make_shared<FakeRunner>();
    std::shared_ptr<FakeSizer> sizer = std::make_shared<FakeSizer>();
    std::shared_ptr<FakeProber> prober = std::make_shared<FakeProber>();
    KnowledgeBase kb;
};

inline std::vector<std::string> itemNames(const ManagerReport& report) {
    std::vector<std::string> names;
    for (const auto& item : report.items) names.push_back(item.name);
    return names;
}

inline const DependencyItem* itemNamed(const ManagerReport& report, std::string_view name) {
    for (const auto& item : report.items)
        if (item.name == name) return &item;
    return nullptr;
}

// An item's fields without its random id, so that a whole item is checked in one expectation.
using ItemFields = std::tuple<std::string, std::optional<std::string>, std::optional<std::string>,
    std::optional<std::int64_t>, Tier, std::vector<Evidence>, std::optional<std::string>, std::optional<std::string>>;
inline ItemFields fields(const DependencyItem& i) {
    return {i.name, i.version, i.path, i.bytes, i.tier, i.evidence, i.identity, i.reclaimCommand};
}

// The words a removal command should split into: the fixed words, "--" before a name that would
// read as an option, then the name itself.
inline std::vector<std::string> removalWords(std::vector<std::string> words, const std::string& name) {
    if (!name.empty() && name.front() == '-') words.push_back("--");
    words.push_back(name);
    return words;
}

} // namespace kelvo::test
