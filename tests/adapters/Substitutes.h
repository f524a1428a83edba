#pragma once

// Stand-ins for the command runner, directory sizer and access prober so adapter tests control
// every answer and can see exactly what was asked, in which order; plus small report helpers.

#include "core/ScanModel.h"
#include "system/DirectorySizer.h"
#include "system/FileAccessProber.h"
#include "system/ReadOnlyCommand.h"

#include <cstdint>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <utility>
#include <vector>

namespace kelvo::test {

inline CommandResult ok(std::string output) { return CommandResult::success(std::move(output)); }

inline CommandResult failed(std::int32_t status = 1, std::string stderrText = {}) {
    CommandError error;
    error.kind = CommandError::Kind::failed;
    error.status = status;
    error.stderrText = std::move(stderrText);
    return CommandResult::failure(std::move(error));
}

inline CommandResult toolNotFound() {
    CommandError error;
    error.kind = CommandError::Kind::toolNotFound;
    return CommandResult::failure(std::move(error));
}

inline CommandResult timedOut() {
    CommandError error;
    error.kind = CommandError::Kind::timedOut;
    return CommandResult::failure(std::move(error));
}

// Answers by command case (and formula for brewUsesInstalled). A command without an answer
// fails as if the tool were not installed. Every call is recorded, in order.
class FakeRunner final : public ReadOnlyCommandRunning {
public:
    FakeRunner& on(ReadOnlyCommand::Case kind, CommandResult result) {
        std::lock_guard lock(mutex_);
        answers_[{kind, {}}] = std::move(result);
        return *this;
    }
    FakeRunner& onUses(const std::string& formula, CommandResult result) {
        std::lock_guard lock(mutex_);
        answers_[{ReadOnlyCommand::Case::brewUsesInstalled, formula}] = std::move(result);
        return *this;
    }
    // The answer for a command with no answer of its own (default: tool not found).
    FakeRunner& otherwise(CommandResult result) {
        std::lock_guard lock(mutex_);
        fallback_ = std::move(result);
        return *this;
    }

    CommandResult run(const ReadOnlyCommand& command) const override {
        std::lock_guard lock(mutex_);
        calls_.push_back(command);
        auto found = answers_.find({command.kind, command.formula});
        if (found == answers_.end() && command.kind != ReadOnlyCommand::Case::brewUsesInstalled)
            found = answers_.find({command.kind, {}});
        return found != answers_.end() ? found->second : fallback_;
    }

    std::vector<ReadOnlyCommand> calls() const {
        std::lock_guard lock(mutex_);
        return calls_;
    }
    std::vector<ReadOnlyCommand::Case> callKinds() const {
        std::lock_guard lock(mutex_);
        std::vector<ReadOnlyCommand::Case> kinds;
        for (const auto& call : calls_)
            kinds.push_back(call.kind);
        return kinds;
    }
    void clearCalls() {
        std::lock_guard lock(mutex_);
        calls_.clear();
    }

private:
    mutable std::mutex mutex_;
    std::map<std::pair<ReadOnlyCommand::Case, std::string>, CommandResult> answers_;
    CommandResult fallback_ = toolNotFound();
    mutable std::vector<ReadOnlyCommand> calls_;
};

// Answers sizes by exact path; unknown paths are absent. Records every path asked.
class FakeSizer final : public DirectorySizing {
public:
    FakeSizer& set(const std::string& path, std::optional<std::int64_t> bytes) {
        std::lock_guard lock(mutex_);
        sizes_[path] = bytes;
        return *this;
    }

    std::optional<std::int64_t> size(const std::string& path) const override {
        std::lock_guard lock(mutex_);
        calls_.push_back(path);
        auto found = sizes_.find(path);
        return found != sizes_.end() ? found->second : std::nullopt;
    }

    std::vector<std::string> calls() const {
        std::lock_guard lock(mutex_);
        return calls_;
    }

private:
    mutable std::mutex mutex_;
    std::map<std::string, std::optional<std::int64_t>> sizes_;
    mutable std::vector<std::string> calls_;
};

// Answers file times by exact path; unknown paths are absent. Records every path asked.
class FakeProber final : public FileAccessProbing {
public:
    FakeProber& set(const std::string& path, std::optional<FileTimes> times) {
        std::lock_guard lock(mutex_);
        times_[path] = times;
        return *this;
    }

    std::optional<FileTimes> fileTimes(const std::string& path) const override {
        std::lock_guard lock(mutex_);
        calls_.push_back(path);
        auto found = times_.find(path);
        return found != times_.end() ? found->second : std::nullopt;
    }

    std::vector<std::string> calls() const {
        std::lock_guard lock(mutex_);
        return calls_;
    }

private:
    mutable std::mutex mutex_;
    std::map<std::string, std::optional<FileTimes>> times_;
    mutable std::vector<std::string> calls_;
};

// Item names of a report, in report order.
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

// The words a removal command should split into: the fixed words, "--" before a name that
// would read as an option, then the name itself.
inline std::vector<std::string> removalWords(std::vector<std::string> fixedWords, const std::string& name) {
    if (!name.empty() && name.front() == '-')
        fixedWords.push_back("--");
    fixedWords.push_back(name);
    return fixedWords;
}

// Sets a real file's access and modification times (whole seconds); false on failure.
inline bool setFileTimes(const std::string& path, double accessed, double modified) {
    const timespec times[2]{{static_cast<time_t>(accessed), 0}, {static_cast<time_t>(modified), 0}};
    return ::utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
}

} // namespace kelvo::test
