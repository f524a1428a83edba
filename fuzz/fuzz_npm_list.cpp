// npm's JSON listing, straight and through the whole adapter (fake runner, sizer and prober):
// never a crash, names in code-point order, and nothing measured outside the prefix.

#include "FuzzSupport.h"

#include "adapters/NpmAdapter.h"
#include "adapters/Substitutes.h"

#include <algorithm>

using Case = kelvo::ReadOnlyCommand::Case;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(kelvo::fuzz::asText(data, size));
    const auto packages = kelvo::NpmAdapter::packageList(text);
    FUZZ_REQUIRE(std::is_sorted(packages.begin(), packages.end(),
                                [](const auto& a, const auto& b) { return a.first < b.first; }));

    auto runner = std::make_shared<kelvo::test::FakeRunner>();
    auto sizer = std::make_shared<kelvo::test::FakeSizer>();
    auto prober = std::make_shared<kelvo::test::FakeProber>();
    runner->on(Case::npmVersion, kelvo::test::ok("10.2.4"))
        .on(Case::npmPrefixGlobal, kelvo::test::ok("/p"))
        .on(Case::npmListGlobalJSON, kelvo::test::ok(text))
        .on(Case::npmCacheDir, kelvo::test::ok("/c"));
    const auto report = kelvo::NpmAdapter(runner, sizer, prober, kelvo::KnowledgeBase::empty()).scan();
    FUZZ_REQUIRE(report.detected);
    FUZZ_REQUIRE(report.items.size() == packages.size() + 1);
    for (const auto& path : sizer->calls()) {
        FUZZ_REQUIRE(path == "/c" || path.rfind("/p/lib/node_modules/", 0) == 0);
        FUZZ_REQUIRE(path.find("/../") == std::string::npos && !path.ends_with("/.."));
    }
    for (const auto& item : report.items) {
        if (item.reclaimCommand) {
            FUZZ_REQUIRE(item.reclaimCommand->find('\0') == std::string::npos);
        }
    }
    return 0;
}
