// The knowledge-base decoder: all or nothing, never a crash, and what it accepts can be looked up.

#include "FuzzSupport.h"

#include "knowledge/KnowledgeBase.h"

#include <algorithm>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto decoded = kelvo::KnowledgeBase::decode(kelvo::fuzz::asText(data, size));
    if (!decoded) {
        return 0;
    }
    for (const auto& entry : decoded->entries) {
        // An exact entry is found by its own name for every manager it names.
        if (entry.match.empty() || entry.match.back() == '*') {
            continue;
        }
        for (const auto kind : kelvo::allManagerKinds) {
            const auto found = decoded->lookup(entry.match, kind);
            const bool forKind = !entry.managers || entry.managers->empty() ||
                                 std::find(entry.managers->begin(), entry.managers->end(), kind) != entry.managers->end();
            if (forKind) {
                FUZZ_REQUIRE(found);
            }
        }
    }
    decoded->lookup("", kelvo::ManagerKind::npm);
    decoded->lookup("typescript", kelvo::ManagerKind::bun);
    return 0;
}
