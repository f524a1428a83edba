#include "knowledge/KnowledgeBase.h"

#include "system/Platform.h"

#include <nlohmann/json.hpp>

namespace kelvo {

namespace {

using Json = nlohmann::json;

// The file is a few hundred entries; anything larger is not ours.
constexpr std::size_t maxFileBytes = 4 * 1024 * 1024;

// The format itself nests four deep (object, entries, entry, managers); unknown keys may nest a
// little more. Deeper input is refused before parsing so that no parser or destructor recursion
// can exhaust the stack.
constexpr int maxNesting = 64;

bool nestingWithinBound(std::string_view text) {
    int depth = 0;
    bool inString = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (inString) {
            if (c == '\\') {
                ++i; // the escaped character is never a quote or bracket that counts
            } else if (c == '"') {
                inString = false;
            }
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth > maxNesting) return false;
        } else if (c == ']' || c == '}') {
            --depth; // unbalanced input is the parser's to reject
        }
    }
    return true;
}

// An optional key: absent and null are the same.
const Json* optionalMember(const Json& object, const char* key) {
    const auto it = object.find(key);
    if (it == object.end() || it->is_null()) return nullptr;
    return &*it;
}

std::optional<KnowledgeBase::Entry> decodeEntry(const Json& json) {
    if (!json.is_object()) return std::nullopt;
    const auto match = json.find("match");
    const auto identity = json.find("identity");
    if (match == json.end() || !match->is_string()) return std::nullopt;
    if (identity == json.end() || !identity->is_string()) return std::nullopt;

    KnowledgeBase::Entry entry;
    entry.match = match->get<std::string>();
    entry.identity = identity->get<std::string>();
    if (const Json* managers = optionalMember(json, "managers")) {
        if (!managers->is_array()) return std::nullopt;
        std::vector<ManagerKind> kinds;
        for (const Json& name : *managers) {
            if (!name.is_string()) return std::nullopt;
            const auto kind = managerKindFromRaw(name.get_ref<const std::string&>());
            if (!kind) return std::nullopt;
            kinds.push_back(*kind);
        }
        entry.managers = std::move(kinds);
    }
    if (const Json* semantics = optionalMember(json, "semantics")) {
        if (!semantics->is_string()) return std::nullopt;
        entry.semantics = semantics->get<std::string>();
    }
    if (const Json* core = optionalMember(json, "core")) {
        if (!core->is_boolean()) return std::nullopt;
        entry.core = core->get<bool>();
    }
    return entry;
}

std::optional<KnowledgeBase> decodeDocument(std::string_view jsonText) {
    if (!nestingWithinBound(jsonText)) return std::nullopt;
    const Json json = Json::parse(jsonText, nullptr, /*allow_exceptions=*/false);
    if (!json.is_object()) return std::nullopt; // also the "discarded" value of a parse error
    const auto version = json.find("version");
    const auto entries = json.find("entries");
    if (version == json.end() || !version->is_string()) return std::nullopt;
    if (entries == json.end() || !entries->is_array()) return std::nullopt;

    KnowledgeBase base;
    base.version = version->get<std::string>();
    base.entries.reserve(entries->size());
    for (const Json& item : *entries) {
        auto entry = decodeEntry(item);
        if (!entry) return std::nullopt;
        base.entries.push_back(std::move(*entry));
    }
    return base;
}

bool appliesTo(const KnowledgeBase::Entry& entry, ManagerKind manager) {
    if (!entry.managers || entry.managers->empty()) return true;
    for (ManagerKind kind : *entry.managers) {
        if (kind == manager) return true;
    }
    return false;
}

} // namespace

const KnowledgeBase& KnowledgeBase::empty() {
    static const KnowledgeBase instance;
    return instance;
}

std::optional<KnowledgeBase> KnowledgeBase::decode(std::string_view jsonText) {
    try {
        return decodeDocument(jsonText);
    } catch (...) { // allocation failure or an unforeseen library error: still just "unusable"
        return std::nullopt;
    }
}

KnowledgeBase KnowledgeBase::loadFile(const std::string& path) {
    const auto text = readFile(path, maxFileBytes);
    if (!text) return empty();
    auto decoded = decode(*text);
    return decoded ? std::move(*decoded) : empty();
}

KnowledgeBase KnowledgeBase::loadShipped() { return loadFile(resourceDirectory() + "/KnowledgeBase.json"); }

std::optional<KnowledgeBase::Entry> KnowledgeBase::lookup(std::string_view name, ManagerKind manager) const {
    std::vector<const Entry*> candidates;
    for (const Entry& entry : entries) {
        if (appliesTo(entry, manager)) candidates.push_back(&entry);
    }
    for (const Entry* entry : candidates) {
        if (entry->match == name) return *entry;
    }
    for (const Entry* entry : candidates) {
        const std::string_view match = entry->match;
        if (!match.empty() && match.back() == '*' && name.starts_with(match.substr(0, match.size() - 1))) {
            return *entry;
        }
    }
    return std::nullopt;
}

} // namespace kelvo
