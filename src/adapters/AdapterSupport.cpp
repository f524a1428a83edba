#include "adapters/AdapterSupport.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>

#include <nlohmann/json.hpp>

#include "knowledge/KnowledgeBase.h"
#include "system/Platform.h"
#include "system/WorkPool.h"

namespace kelvo {

namespace {

// One parallelFor call as pool work: indices are claimed one at a time by the caller and by any
// helpers the pool lends; results go wherever the body stores them (by index, so order is kept).
class ParallelForJob final : public detail::PoolJob {
public:
    ParallelForJob(std::size_t count, const std::function<void(std::size_t)>& body) : count_(count), body_(&body) {}

    void help() override { runClaimed(); }

    // Runs claimed indices until none is left; the caller also asks again for helpers that the
    // pool could not lend at the start (it may have been busy with other adapters then).
    void runClaimed(const std::shared_ptr<ParallelForJob>* self = nullptr) {
        for (std::size_t i = next_.fetch_add(1); i < count_; i = next_.fetch_add(1)) {
            if (self != nullptr) {
                requestHelpers(*self);
            }
            try {
                (*body_)(i);
            } catch (...) {
                std::lock_guard lock(mutex_);
                if (!error_) {
                    error_ = std::current_exception();
                }
            }
            if (done_.fetch_add(1) + 1 == count_) {
                std::lock_guard lock(mutex_);
                finished_.notify_all();
            }
        }
    }

    void requestHelpers(const std::shared_ptr<ParallelForJob>& self) {
        auto& pool = detail::WorkPool::instance();
        const std::size_t unclaimed = count_ - std::min(count_, next_.load());
        const int wanted = static_cast<int>(std::min<std::size_t>(unclaimed, static_cast<std::size_t>(pool.limit() - 1))) -
                           helpers_;
        if (wanted > 0 && !pool.saturated()) {
            helpers_ += pool.requestHelpers(self, wanted);
        }
    }

    // Waits (not counting as a working thread) until every index has run; rethrows the first failure.
    void wait() {
        {
            std::unique_lock lock(mutex_);
            if (done_.load() != count_) {
                detail::WorkPool::Waiting waiting;
                finished_.wait(lock, [&] { return done_.load() == count_; });
            }
        }
        if (error_) {
            std::rethrow_exception(error_);
        }
    }

private:
    const std::size_t count_;
    const std::function<void(std::size_t)>* body_; // used only for claimed indices, all done before wait returns
    std::atomic<std::size_t> next_{0};
    std::atomic<std::size_t> done_{0};
    int helpers_ = 0; // granted so far (the caller alone asks)
    std::mutex mutex_;
    std::condition_variable finished_;
    std::exception_ptr error_;
};

} // namespace

void parallelFor(std::size_t count, const std::function<void(std::size_t)>& body) {
    if (count == 0) {
        return;
    }
    // Bounded process-wide by the pool shared with the directory sizer: the caller always takes
    // part, helpers are lent only while fewer than the machine's cores are working, and a body
    // that calls the sizer (which wants helpers too) never waits for a thread to become free.
    detail::WorkPool::Participation participation;
    if (count == 1) {
        body(0);
        return;
    }
    auto job = std::make_shared<ParallelForJob>(count, body);
    job->requestHelpers(job);
    job->runClaimed(&job);
    job->wait();
}

bool isSafeRelativeName(std::string_view name) {
    if (name.empty() || name.find('\0') != std::string_view::npos) {
        return false;
    }
    std::size_t start = 0;
    while (true) {
        const std::size_t slash = name.find('/', start);
        const std::string_view part = name.substr(start, slash == std::string_view::npos ? slash : slash - start);
        if (part.empty() || part == "." || part == "..") {
            return false;
        }
        if (slash == std::string_view::npos) {
            return true;
        }
        start = slash + 1;
    }
}

std::map<std::string, std::int64_t> measureChildren(const DirectorySizing& sizer, const std::string& parent,
                                                    const std::vector<std::string>& names) {
    std::vector<std::optional<std::int64_t>> sizes(names.size());
    parallelFor(names.size(), [&](std::size_t i) {
        if (!isSafeRelativeName(names[i])) {
            return;
        }
        // parallelFor bodies must not throw; a sizer that does leaves the child unmeasured.
        try {
            sizes[i] = sizer.size(parent + "/" + names[i]);
        } catch (...) {
        }
    });
    std::map<std::string, std::int64_t> table;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (sizes[i]) {
            table.emplace(names[i], *sizes[i]);
        }
    }
    return table;
}

void sortItemsBySize(std::vector<DependencyItem>& items) {
    std::stable_sort(items.begin(), items.end(), [](const DependencyItem& a, const DependencyItem& b) {
        return a.bytes.value_or(-1) > b.bytes.value_or(-1);
    });
}

DependencyItem globalPackageItem(const std::string& name, std::optional<std::string> version, std::string path,
                                 std::optional<std::int64_t> bytes, std::optional<double> lastUse,
                                 const KnowledgeBase& kb, ManagerKind manager, std::string_view removeWords) {
    DependencyItem item;
    item.id = Uuid::random();
    item.name = name;
    item.version = std::move(version);
    item.path = std::move(path);
    item.bytes = bytes;
    item.tier = Tier::signalOnly;
    if (lastUse) {
        item.evidence.push_back(Evidence::lastUsed(*lastUse));
    }
    const auto entry = kb.lookup(name, manager);
    const bool core = builtInCorePackages.contains(name) || (entry && entry->core.value_or(false));
    // No shell command can carry a NUL byte, so such a name gets none.
    if (!core && name.find('\0') == std::string::npos) {
        item.reclaimCommand = commandWithOperand(removeWords, name);
    }
    if (entry) {
        item.identity = entry->identity;
    }
    return item;
}

DependencyItem cacheItem(std::string name, std::string path, std::optional<std::int64_t> bytes,
                         std::string identity) {
    DependencyItem cache;
    cache.id = Uuid::random();
    cache.name = std::move(name);
    cache.path = std::move(path);
    cache.bytes = bytes;
    cache.tier = Tier::safeByDesign;
    cache.evidence.push_back(Evidence::managerDefinesPrunable());
    cache.identity = std::move(identity);
    return cache;
}

bool isSinglePathAnswer(std::string_view output) {
    return output.size() <= 4096 && output.find('\n') == std::string_view::npos &&
           output.find('\0') == std::string_view::npos;
}

std::string shellQuoted(std::string_view word) {
    const bool plain = !word.empty() && std::all_of(word.begin(), word.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               std::string_view("@%+=:,./_-").find(c) != std::string_view::npos;
    });
    if (plain) {
        return std::string(word);
    }
    // Single quotes keep everything literal; an embedded quote closes, escapes and reopens.
    std::string out = "'";
    for (char c : word) {
        if (c == '\'') {
            out += "'\\''";
        } else {
            out.push_back(c);
        }
    }
    out.push_back('\'');
    return out;
}

std::string commandWithName(std::string_view fixedWords, std::string_view name) {
    return std::string(fixedWords) + " " + shellQuoted(name);
}

std::string commandWithOperand(std::string_view fixedWords, std::string_view name) {
    if (!name.empty() && name.front() == '-') {
        return std::string(fixedWords) + " -- " + shellQuoted(name);
    }
    return commandWithName(fixedWords, name);
}

namespace {

std::vector<std::string> commandNames(const std::string& packageJson, std::string_view packageName) {
    const auto json = nlohmann::json::parse(packageJson, nullptr, false);
    if (json.is_discarded() || !json.is_object()) {
        return {};
    }
    const auto bin = json.find("bin");
    if (bin == json.end()) {
        return {};
    }
    std::vector<std::string> names;
    if (bin->is_object()) {
        for (const auto& [key, value] : bin->items()) {
            names.push_back(key);
        }
        std::sort(names.begin(), names.end());
    } else if (bin->is_string()) {
        // A single command is named after the package, without its scope.
        std::string_view last;
        std::size_t start = 0;
        while (start <= packageName.size()) {
            const std::size_t slash = packageName.find('/', start);
            const std::string_view piece =
                packageName.substr(start, slash == std::string_view::npos ? std::string_view::npos : slash - start);
            if (!piece.empty()) {
                last = piece;
            }
            if (slash == std::string_view::npos) {
                break;
            }
            start = slash + 1;
        }
        if (!last.empty()) {
            names.emplace_back(last);
        }
    }
    return names;
}

} // namespace

std::optional<double> lastUseOfCommands(const FileAccessProbing& prober, const std::string& packageDirectory,
                                        std::string_view packageName, const std::string& commandDirectory) {
    const std::string text = readFile(packageDirectory + "/package.json").value_or(std::string());
    std::optional<double> date;
    for (const auto& command : commandNames(text, packageName)) {
        if (!isSafeRelativeName(command) || command.find('/') != std::string::npos) {
            continue;
        }
        const auto times = prober.fileTimes(commandDirectory + "/" + command);
        if (!times || times->accessed - times->modified < 86400.0) {
            continue;
        }
        if (!date || times->accessed > *date) {
            date = times->accessed;
        }
    }
    return date;
}

std::optional<NodeVersion> parseNodeVersion(std::string_view name) {
    if (!name.empty() && name.front() == 'v') {
        name.remove_prefix(1);
    }
    std::int64_t parts[3];
    std::size_t count = 0;
    std::size_t start = 0;
    while (start <= name.size()) {
        const std::size_t dot = name.find('.', start);
        std::string_view piece = name.substr(start, dot == std::string_view::npos ? std::string_view::npos : dot - start);
        if (!piece.empty()) {
            if (count == 3) {
                return std::nullopt;
            }
            // An optional sign, then one or more digits, within 64 bits.
            if (piece.front() == '+') {
                piece.remove_prefix(1);
                if (!piece.empty() && piece.front() == '-') {
                    return std::nullopt;
                }
            }
            if (piece.empty() || piece == "-") {
                return std::nullopt;
            }
            std::int64_t value = 0;
            const auto [end, error] = std::from_chars(piece.data(), piece.data() + piece.size(), value);
            if (error != std::errc() || end != piece.data() + piece.size()) {
                return std::nullopt;
            }
            parts[count++] = value;
        }
        if (dot == std::string_view::npos) {
            break;
        }
        start = dot + 1;
    }
    if (count != 3) {
        return std::nullopt;
    }
    return NodeVersion{parts[0], parts[1], parts[2]};
}

std::vector<std::string> sortNewestFirst(std::vector<std::string> names) {
    std::stable_sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        const NodeVersion none{-1, -1, -1};
        return parseNodeVersion(a).value_or(none) > parseNodeVersion(b).value_or(none);
    });
    return names;
}

} // namespace kelvo
