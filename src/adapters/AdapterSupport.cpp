#include "adapters/AdapterSupport.h"
#include "model/Utf8.h"

#include "knowledge/KnowledgeBase.h"
#include "system/ParallelFor.h"
#include "system/Platform.h"

#include <algorithm>

#include <nlohmann/json.hpp>

namespace kelvo {

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

std::optional<std::string> plainAbsolute(std::string_view value) {
    if (value.empty() || value.front() != '/' || !isValidUtf8(value) ||
        value.find_first_of("\n\r") != std::string_view::npos) {
        return std::nullopt;
    }
    while (value.size() > 1 && value.back() == '/') {
        value.remove_suffix(1);
    }
    if (value.size() > 1 && !isSafeRelativeName(value.substr(1))) {
        return std::nullopt;
    }
    return std::string(value);
}

void sortItemsBySize(std::vector<DependencyItem>& items) {
    std::stable_sort(items.begin(), items.end(),
        [](const DependencyItem& a, const DependencyItem& b) { return a.bytes.value_or(-1) > b.bytes.value_or(-1); });
}

std::optional<std::string> childPath(const std::string& parent, std::string_view name) {
    if (parent.empty() || parent.front() != '/' || !isSafeRelativeName(name)) {
        return std::nullopt;
    }
    return parent + "/" + std::string(name);
}

DependencyItem cacheItem(std::string name, std::string path, std::optional<std::int64_t> bytes, std::string identity) {
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

void keepFor(DependencyItem& item, Evidence reason) {
    const auto reasons = std::find_if(item.evidence.begin(), item.evidence.end(), [](const Evidence& evidence) {
        return evidence.kind != Evidence::Kind::pinnedByProject && evidence.kind != Evidence::Kind::usedByVirtualenv;
    });
    if (std::find(item.evidence.begin(), reasons, reason) == reasons) {
        item.evidence.insert(reasons, std::move(reason));
    }
    item.tier = Tier::signalOnly;
    item.reclaimCommand.reset();
}

void keepPinned(DependencyItem& item, const std::string& folder, const std::string& home) {
    keepFor(item, Evidence::pinnedByProject(homeAbbreviated(folder, home)));
}

std::vector<const ProjectPin*> pinsOf(const std::vector<ProjectPin>& pins, const std::vector<std::string_view>& files) {
    std::vector<const ProjectPin*> own;
    for (const ProjectPin& pin : pins) {
        if (std::find(files.begin(), files.end(), pin.file) != files.end()) {
            own.push_back(&pin);
        }
    }
    return own;
}

std::string foundIn(std::string identity, const std::string& folder, const std::string& home) {
    return std::move(identity) + " Found in " + homeAbbreviated(folder, home) + ", its default folder.";
}

ItemSize measureItem(const DirectorySizing& sizer, const std::vector<std::string>& paths, TallyScopes counted) {
    try {
        if (const auto measured = sizer.measureItem(paths, counted)) {
            return ItemSize{measured->bytes, measured->freedBytes, measured->unreadable};
        }
        return {};
    } catch (...) {
        return {};
    }
}

namespace {

std::optional<std::string> toolPlace(const std::string& home, std::string_view suffix, bool folder) {
    if (home.empty() || home.front() != '/' || !suffix.starts_with('/')) {
        return std::nullopt;
    }
    static constexpr std::string_view shared[] = {
        "/Library/Application Support", "/Library/Caches", "/Library", "/.local/share", "/.cache", "/.config"};
    std::string_view base;
    for (const std::string_view candidate : shared) {
        if (suffix.starts_with(candidate) && suffix.size() > candidate.size() && suffix[candidate.size()] == '/') {
            base = candidate;
            break;
        }
    }
    const std::string_view own = suffix.substr(base.size() + 1);
    if (!isSafeRelativeName(own)) {
        return std::nullopt;
    }
    std::string path = home + std::string(base);
    for (std::size_t start = 0; start <= own.size();) {
        const std::size_t end = std::min(own.find('/', start), own.size());
        path += "/";
        path += own.substr(start, end - start);
        const bool last = end == own.size();
        if (!(last && !folder ? isEntryNotLink(path) : isRealDirectory(path))) {
            return std::nullopt;
        }
        start = end + 1;
    }
    return path;
}

template <class Find>
std::optional<std::string> firstOf(const std::vector<std::string_view>& suffixes, Find&& find) {
    for (const std::string_view suffix : suffixes) {
        if (auto place = find(suffix)) {
            return place;
        }
    }
    return std::nullopt;
}

} // namespace

std::optional<std::string> toolFolder(const std::string& home, std::string_view suffix) {
    return toolPlace(home, suffix, true);
}

std::optional<std::string> toolEntry(const std::string& home, std::string_view suffix) {
    return toolPlace(home, suffix, false);
}

std::optional<std::string> firstFolder(const std::string& home, const std::vector<std::string_view>& suffixes) {
    return firstOf(suffixes, [&](std::string_view suffix) { return toolFolder(home, suffix); });
}

std::optional<std::string> firstEntry(const std::string& home, const std::vector<std::string_view>& suffixes) {
    return firstOf(suffixes, [&](std::string_view suffix) { return toolEntry(home, suffix); });
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

} // namespace kelvo
