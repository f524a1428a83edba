// npm's JSON listing, alone and through the whole adapter (fake runner, sizer and prober): names in
// code-point order, one item per package and the cache, nothing measured outside the prefix.

#include "FuzzSupport.h"

#include "adapters/NpmAdapter.h"
#include "adapters/Substitutes.h"

#include <algorithm>

using namespace kelvo;
using Case = ReadOnlyCommand::Case;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(fuzz::asText(data, size));
    const auto packages = NpmAdapter::packageList(text);
    FUZZ_REQUIRE(std::ranges::is_sorted(packages, {}, &NpmAdapter::Package::first));

    auto runner = std::make_shared<test::FakeRunner>();
    auto sizer = std::make_shared<test::FakeSizer>();
    runner->on(Case::npmVersion, test::ok("10.2.4")).on(Case::npmPrefixGlobal, test::ok("/p"));
    runner->on(Case::npmListGlobalJSON, test::ok(text)).on(Case::npmCacheDir, test::ok("/c"));
    const auto report = NpmAdapter(runner, sizer, std::make_shared<test::FakeProber>(), KnowledgeBase::empty()).scan();
    FUZZ_REQUIRE(report.detected && report.items.size() == packages.size() + 1);
    for (const std::string& path : sizer->calls())
        FUZZ_REQUIRE((path == "/c" || path.starts_with("/p/lib/node_modules/")) && path.find("/../") == path.npos &&
                     !path.ends_with("/.."));
    return 0;
}
