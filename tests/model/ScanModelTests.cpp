#include "model/ScanModel.h"
#include "model/Utf8.h"
#include "model/Uuid.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <atomic>
#include <cstdlib>
#include <regex>
#include <set>
#include <thread>

namespace kelvo {
namespace {

// Month texts in the C locale's names, in a zone far from UTC so that a month or year taken in
// UTC instead of local time shows; set before the formatter reads them at its first use.
const bool pinned = ::setenv("LC_ALL", "C", 1) == 0 && ::setenv("TZ", "KELVO-14", 1) == 0;
constexpr double midMarch2024 = 1710504000.0; // no time zone moves it to another month

TEST(ManagerKind, RawValuesInCaseOrderExactDecodingOnly) {
    const nlohmann::json raws = allManagerKinds;
    EXPECT_EQ(raws.dump(), R"(["homebrew","npm","pnpm","nvm","bun","yarn","rust","go","python","projects"])");
    EXPECT_EQ(raws.get<std::vector<ManagerKind>>(), std::vector(allManagerKinds.begin(), allManagerKinds.end()));
    for (ManagerKind kind : allManagerKinds) EXPECT_EQ(managerKindFromRaw(rawValue(kind)), kind);
    for (const auto& bad : nlohmann::json::parse(R"(["Nvm", " nvm", "nvm ", "", "nvm\u0000", "brew", 3, null])")) {
        EXPECT_THROW(bad.get<ManagerKind>(), nlohmann::json::exception) << bad.dump();
        EXPECT_FALSE(bad.is_string() && managerKindFromRaw(bad.get<std::string>())) << bad.dump();
    }
}

TEST(Evidence, SummariesWithMonthAndYearInTheUsersZoneAndLocale) {
    EXPECT_EQ(Evidence::supersededPatch("1.2.9").summary(), "Superseded by 1.2.9");
    EXPECT_EQ(Evidence::notDefaultToolchain("stable-aarch64-apple-darwin").summary(),
        "Not your default toolchain (stable-aarch64-apple-darwin)");
    EXPECT_EQ(Evidence::notGlobalVersion("3.12.1, 3.11.7").summary(), "Not your global Python (3.12.1, 3.11.7)");
    EXPECT_EQ(Evidence::usedByVirtualenv("~/.local/share/virtualenvs/api-X1").summary(),
        "The virtualenv ~/.local/share/virtualenvs/api-X1 runs it");
    ASSERT_TRUE(pinned);
    EXPECT_EQ(Evidence::lastUsed(midMarch2024 + 0.75).summary(), "Last used Mar 2024");
    EXPECT_EQ(Evidence::notUsedSinceInstall(midMarch2024).summary(), "Not used since installed Mar 2024");
    EXPECT_EQ(Evidence::oldStoreVersion("v3").summary(), "Left by an earlier pnpm (store v3)");
    EXPECT_EQ(formatMonthYear(1704067199.5), "Jan 2024"); // 23:59 on 31 Dec 2023 in UTC
    EXPECT_EQ(formatMonthYear(4102444800.0), "Jan 2100");
}

TEST(HomeAbbreviated, OnlyAWholeHomeFolderBecomesTilde) {
    // /Users/mex is another user's home, not ~x; a home of / abbreviates nothing.
    for (const auto& [path, home, shown] :
        {std::tuple{"/Users/me/x", "/Users/me", "~/x"}, {"/Users/me", "/Users/me/", "~"},
            {"/Users/mex/y", "/Users/me", "/Users/mex/y"}, {"/x", "", "/x"}, {"/x", "/", "/x"}})
        EXPECT_EQ(homeAbbreviated(path, home), shown) << path << " in " << home;
}

TEST(Totals, AbsentSizesSkippedZeroCountedAndOnceCountedTotalsWin) {
    const auto item = [](std::optional<std::int64_t> bytes) {
        return DependencyItem{Uuid::random(), "pkg", {}, {}, bytes, Tier::signalOnly, {}, {}, {}};
    };
    constexpr std::int64_t fiveTiB = std::int64_t{5} << 40;
    ScanResult result{
        0, {ManagerReport{ManagerKind::npm, true, {}, {item(100), item(std::nullopt), item(0), item(250)}, {}},
               ManagerReport{ManagerKind::bun, true, {}, {item(fiveTiB), item(7)}, {}}}};
    EXPECT_EQ(result.totalBytes(), 350 + fiveTiB + 7);
    // Measured once-counted totals replace the sums, also when they are 0.
    result.managers[1].onceCountedBytes = 0;
    EXPECT_EQ(result.totalBytes(), 350);
    result.onceCountedBytes = 0;
    EXPECT_EQ(result.totalBytes(), 0);
}

TEST(Uuid, RandomVersionFourUniqueAcrossThreadsInCanonicalText) {
    // Adapters make items and evidence texts concurrently: a generator shared or seeded alike
    // would repeat values, a month formatter with shared state would garble texts.
    std::vector<std::vector<Uuid>> made(4);
    std::atomic<int> garbled{0};
    std::vector<std::thread> threads;
    for (auto& ids : made)
        threads.emplace_back([&] {
            for (int i = 0; i < 5000; ++i) ids.push_back(Uuid::random());
            for (int i = 0; i < 200; ++i) garbled += Evidence::lastUsed(midMarch2024).summary() != "Last used Mar 2024";
        });
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(garbled.load(), 0);
    std::set<std::string> texts;
    for (const auto& ids : made)
        for (const Uuid& id : ids) texts.insert(id.text());
    EXPECT_EQ(texts.size(), 20000u);
    const std::regex canonical(
        "[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}"); // v4, variant 10xx
    for (const auto& text : texts) ASSERT_TRUE(std::regex_match(text, canonical)) << text;
}

// After E0, ED, F0 and F4 the second byte's range narrows: no overlong forms, no surrogates, nothing
// above U+10FFFF.
TEST(Utf8, StrictAtEachBoundOfTheSecondByte) {
    const std::pair<const char*, bool> cases[] = {{"\xE0\xA0\x80", true}, {"\xE0\x9F\xBF", false},
        {"\xED\x9F\xBF", true}, {"\xED\xA0\x80", false}, {"\xF0\x90\x80\x80", true}, {"\xF0\x8F\xBF\xBF", false},
        {"\xF4\x8F\xBF\xBF", true}, {"\xF4\x90\x80\x80", false}};
    for (const auto& [bytes, valid] : cases) EXPECT_EQ(isValidUtf8(bytes), valid) << ::testing::PrintToString(bytes);
}

} // namespace
} // namespace kelvo
