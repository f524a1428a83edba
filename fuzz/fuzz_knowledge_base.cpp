// The knowledge-base decoder: all or nothing, never a crash, and every entry it accepts is found:
// an exact one by its own name before any prefix, a prefix one by a name that extends it.

#include "FuzzSupport.h"

#include "knowledge/KnowledgeBase.h"

#include <algorithm>

using namespace kelvo;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto decoded = KnowledgeBase::decode(fuzz::asText(data, size));
    for (const auto& entry : decoded ? decoded->entries : std::vector<KnowledgeBase::Entry>{}) {
        const bool prefix = entry.match.ends_with('*');
        const std::string name = prefix ? entry.match.substr(0, entry.match.size() - 1) + "x" : entry.match;
        for (const auto kind : allManagerKinds) {
            const auto& only = entry.managers;
            const bool applies = !only || only->empty() || std::ranges::find(*only, kind) != only->end();
            const auto found = decoded->lookup(name, kind);
            FUZZ_REQUIRE(!applies || (found && (prefix || found->match == name)));
        }
    }
    return 0;
}
