#include "model/ScanModel.h"
#include "model/Uuid.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <locale.h>
#include <time.h>

namespace kelvo {
namespace {

DependencyItem item(std::optional<std::int64_t> bytes) {
    return DependencyItem{Uuid::random(), "pkg", {}, {}, bytes, Tier::signalOnly, {}, {}, {}};
}

ManagerReport report(ManagerKind kind, std::vector<DependencyItem> items) {
    return ManagerReport{kind, true, std::nullopt, std::move(items), {}};
}

// What strftime makes of "%b %Y" in the user's LC_TIME locale and the local time zone.
std::string strftimeMonthYear(double seconds) {
    locale_t locale = ::newlocale(LC_TIME_MASK, "", static_cast<locale_t>(nullptr));
    if (locale == nullptr) locale = ::newlocale(LC_TIME_MASK, "C", static_cast<locale_t>(nullptr));
    const auto whole = static_cast<std::time_t>(seconds);
    std::tm local{};
    ::localtime_r(&whole, &local);
    char buffer[128];
    const std::size_t length = ::strftime_l(buffer, sizeof buffer, "%b %Y", &local, locale);
    ::freelocale(locale);
    return std::string(buffer, length);
}

constexpr double midMarch2024 = 1710504000.0; // no time zone moves it to another month

// Far from UTC, so that a month or year taken in UTC instead of local time shows; set before the
// formatter reads the zone at its first use.
const bool pinnedZone = ::setenv("TZ", "KELVO-14", 1) == 0;

TEST(ManagerKind, RawValuesInCaseOrderExactDecodingOnly) {
    std::vector<std::string> raws;
    for (ManagerKind kind : allManagerKinds) {
        raws.emplace_back(rawValue(kind));
        EXPECT_EQ(managerKindFromRaw(raws.back()), kind);
        EXPECT_EQ(nlohmann::json(std::string(raws.back())).get<ManagerKind>(), kind);
    }
    EXPECT_EQ(raws, (std::vector<std::string>{"homebrew", "npm", "pnpm", "nvm", "bun"}));
    using Raw = std::string_view;
    for (Raw bad : std::initializer_list<Raw>{"Nvm", " nvm", "nvm ", "", "brew", Raw("nvm\0", 4)}) {
        SCOPED_TRACE(std::string(bad));
        EXPECT_EQ(managerKindFromRaw(bad), std::nullopt);
        EXPECT_THROW(nlohmann::json(std::string(bad)).get<ManagerKind>(), nlohmann::json::exception);
    }
    EXPECT_THROW(nlohmann::json(3).get<ManagerKind>(), nlohmann::json::exception);
    EXPECT_THROW(nlohmann::json(nullptr).get<ManagerKind>(), nlohmann::json::exception);
    EXPECT_EQ(nlohmann::json(std::vector<ManagerKind>{ManagerKind::nvm, ManagerKind::bun}).dump(), R"(["nvm","bun"])");
}

TEST(Evidence, Summaries) {
    EXPECT_EQ(Evidence::supersededPatch("1.2.9").summary(), "Superseded by 1.2.9");
    EXPECT_EQ(Evidence::notDefaultVersion("20.11.0").summary(), "Not your default version (20.11.0)");
    EXPECT_EQ(Evidence::noDependents().summary(), "No installed formula depends on this");
    EXPECT_EQ(Evidence::managerDefinesPrunable().summary(), "Manager guarantees this is safe to prune");

    // Month and year in the user's locale and local time zone, also at month and year boundaries.
    ASSERT_TRUE(pinnedZone);
    const std::string march = strftimeMonthYear(midMarch2024);
    EXPECT_TRUE(march.ends_with(" 2024")) << march;
    EXPECT_EQ(Evidence::lastUsed(midMarch2024 + 0.75).summary(), "Last used " + march);
    for (double at : {0.0, 946684800.0, 1704067199.5, 4102444800.0}) {
        EXPECT_EQ(formatMonthYear(at), strftimeMonthYear(at)) << at;
    }
    EXPECT_TRUE(formatMonthYear(1704067199.5).ends_with(" 2024")); // 23:59 on 31 Dec 2023 in UTC

}

TEST(Totals, AbsentSizesSkippedZeroCounted) {
    EXPECT_EQ(report(ManagerKind::npm, {}).totalBytes(), 0);
    EXPECT_EQ(report(ManagerKind::npm, {item(100), item(std::nullopt), item(0), item(250)}).totalBytes(), 350);
    constexpr std::int64_t fiveTiB = std::int64_t{5} << 40;
    EXPECT_EQ(report(ManagerKind::npm, {item(fiveTiB), item(7)}).totalBytes(), fiveTiB + 7);
    const ScanResult result{0, {report(ManagerKind::homebrew, {item(10), item(std::nullopt)}),
                                ManagerReport::notDetected(ManagerKind::npm),
                                report(ManagerKind::bun, {item(0), item(5)})}};
    EXPECT_EQ(result.totalBytes(), 15);
}

TEST(Uuid, RandomVersionFourInCanonicalUpperCaseText) {
    for (int i = 0; i < 200; ++i) {
        const Uuid id = Uuid::random();
        const auto& b = id.bytes();
        EXPECT_EQ(b[6] >> 4, 4);
        EXPECT_EQ(b[8] & 0xC0, 0x80);
        char expected[37];
        std::snprintf(expected, sizeof expected, "%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X",
                      b[0], b[1], b[2], b[3], b[4], b[5], b[6], b[7], b[8], b[9], b[10], b[11], b[12], b[13], b[14],
                      b[15]);
        EXPECT_EQ(id.text(), expected);
    }
}

TEST(Uuid, UniqueAndFormattedSafelyAcrossThreads) {
    // Adapters make items and evidence texts concurrently: a generator shared or seeded alike
    // would repeat values, a formatter with shared state would garble texts.
    const std::string march = "Last used " + formatMonthYear(midMarch2024);
    std::vector<std::vector<Uuid>> made(4);
    std::vector<std::string> texts(made.size());
    std::vector<std::thread> threads;
    for (std::size_t t = 0; t < made.size(); ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 5000; ++i) made[t].push_back(Uuid::random());
            for (int i = 0; i < 200; ++i) texts[t] += Evidence::lastUsed(midMarch2024).summary() == march ? "" : "x";
        });
    }
    for (auto& thread : threads) thread.join();
    std::set<Uuid> all;
    for (std::size_t t = 0; t < made.size(); ++t) {
        all.insert(made[t].begin(), made[t].end());
        EXPECT_EQ(texts[t], "");
    }
    EXPECT_EQ(all.size(), 20000u);
}

} // namespace
} // namespace kelvo
