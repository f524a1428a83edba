#pragma once

#include "model/ScanModel.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kelvo {

// Annotations for well-known packages, shipped as KnowledgeBase.json. Immutable once loaded.
struct KnowledgeBase {
    struct Entry {
        std::string match;                                // exact name, or a prefix when it ends with '*'
        std::optional<std::vector<ManagerKind>> managers; // absent or empty: every manager
        std::string identity;
        std::optional<std::string> semantics;
        std::optional<bool> core;
    };

    // The top-level record of the file.
    struct File {
        std::string version;
        std::vector<Entry> entries;
    };

    std::string version = "0";
    std::vector<Entry> entries;

    static const KnowledgeBase& empty();

    // Strict, all-or-nothing decoding; absent on any violation.
    static std::optional<KnowledgeBase> decode(std::string_view jsonText);
    // Reads and decodes a file; the empty knowledge base on any failure.
    static KnowledgeBase loadFile(const std::string& path);
    // KnowledgeBase.json in the resource directory; the empty knowledge base on any failure.
    static KnowledgeBase loadShipped();

    // Exact match first, then the first trailing-'*' prefix in file order.
    std::optional<Entry> lookup(std::string_view name, ManagerKind manager) const;
};

} // namespace kelvo
