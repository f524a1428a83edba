#include "core/ScanModel.h"
#include "core/Uuid.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cctype>
#include <ctime>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <locale.h>
#include <time.h>
#if defined(__APPLE__)
#include <xlocale.h>
#endif

namespace kelvo {
namespace {

DependencyItem item(std::optional<std::int64_t> bytes) {
    return DependencyItem{Uuid::random(), "pkg", std::nullopt, std::nullopt, bytes, Tier::signalOnly, {},
                          std::nullopt, std::nullopt};
}

ManagerReport report(ManagerKind kind, std::vector<DependencyItem> items) {
    return ManagerReport{kind, true, std::nullopt, std::move(items), {}};
}

// What strftime makes of "%b %Y" in the user's LC_TIME locale and the local time zone.
std::string strftimeMonthYear(double secondsSince1970, const char* localeName) {
    locale_t locale = ::newlocale(LC_TIME_MASK, localeName, static_cast<locale_t>(nullptr));
    if (locale == nullptr) {
        locale = ::newlocale(LC_TIME_MASK, "C", static_cast<locale_t>(nullptr));
    }
    const auto whole = static_cast<std::time_t>(secondsSince1970);
    std::tm local{};
    ::localtime_r(&whole, &local);
    char buffer[128];
    const std::size_t length = ::strftime_l(buffer, sizeof buffer, "%b %Y", &local, locale);
    ::freelocale(locale);
    return std::string(buffer, length);
}

// 2024-03-15 12:00:00 UTC: the middle of a month, so no time zone moves it to another month.
constexpr double midMarch2024 = 1710504000.0;

// ---- ManagerKind --------------------------------------------------------------------------

TEST(ManagerKind, CasesAndRawValuesInOrder) {
    std::vector<std::string> raws;
    for (ManagerKind kind : allManagerKinds) {
        raws.emplace_back(rawValue(kind));
    }
    EXPECT_EQ(raws, (std::vector<std::string>{"homebrew", "npm", "pnpm", "nvm", "bun"}));
}

TEST(ManagerKind, FromRawAcceptsExactlyTheFiveLowerCaseStrings) {
    EXPECT_EQ(managerKindFromRaw("nvm"), ManagerKind::nvm);
    for (ManagerKind kind : allManagerKinds) {
        EXPECT_EQ(managerKindFromRaw(rawValue(kind)), kind);
    }
    EXPECT_EQ(managerKindFromRaw("Nvm"), std::nullopt);
    EXPECT_EQ(managerKindFromRaw("NVM"), std::nullopt);
    EXPECT_EQ(managerKindFromRaw(" nvm"), std::nullopt);
    EXPECT_EQ(managerKindFromRaw("nvm "), std::nullopt);
    EXPECT_EQ(managerKindFromRaw(""), std::nullopt);
    EXPECT_EQ(managerKindFromRaw("brew"), std::nullopt);
    EXPECT_EQ(managerKindFromRaw(std::string_view("nvm\0", 4)), std::nullopt);
}

TEST(ManagerKind, EncodesAsTheBareRawString) {
    EXPECT_EQ(nlohmann::json(ManagerKind::pnpm).dump(), "\"pnpm\"");
    const std::vector<ManagerKind> kinds{ManagerKind::homebrew, ManagerKind::nvm, ManagerKind::bun};
    EXPECT_EQ(nlohmann::json(kinds).dump(), R"(["homebrew","nvm","bun"])");
    EXPECT_EQ(nlohmann::json(std::vector<ManagerKind>{}).dump(), "[]");
}

TEST(ManagerKind, DecodesTheRawStrings) {
    for (ManagerKind kind : allManagerKinds) {
        const nlohmann::json json = std::string(rawValue(kind));
        EXPECT_EQ(json.get<ManagerKind>(), kind);
    }
    const auto kinds = nlohmann::json::parse(R"(["bun","npm"])").get<std::vector<ManagerKind>>();
    EXPECT_EQ(kinds, (std::vector<ManagerKind>{ManagerKind::bun, ManagerKind::npm}));
}

TEST(ManagerKind, DecodingAnythingElseFails) {
    EXPECT_THROW(nlohmann::json("yarn").get<ManagerKind>(), nlohmann::json::exception);
    EXPECT_THROW(nlohmann::json("Npm").get<ManagerKind>(), nlohmann::json::exception);
    EXPECT_THROW(nlohmann::json(" npm").get<ManagerKind>(), nlohmann::json::exception);
    EXPECT_THROW(nlohmann::json("").get<ManagerKind>(), nlohmann::json::exception);
    EXPECT_THROW(nlohmann::json(3).get<ManagerKind>(), nlohmann::json::exception);
    EXPECT_THROW(nlohmann::json(nullptr).get<ManagerKind>(), nlohmann::json::exception);
    EXPECT_THROW(nlohmann::json::parse(R"(["npm","yarn"])").get<std::vector<ManagerKind>>(),
                 nlohmann::json::exception);
}

TEST(ManagerKind, RawValuesOfTierAndEvidenceKind) {
    EXPECT_EQ(rawValue(Tier::safeByDesign), "safeByDesign");
    EXPECT_EQ(rawValue(Tier::orphanCandidate), "orphanCandidate");
    EXPECT_EQ(rawValue(Tier::signalOnly), "signalOnly");
    EXPECT_EQ(rawValue(Evidence::Kind::lastUsed), "lastUsed");
    EXPECT_EQ(rawValue(Evidence::Kind::notDefaultVersion), "notDefaultVersion");
    EXPECT_EQ(rawValue(Evidence::Kind::supersededPatch), "supersededPatch");
    EXPECT_EQ(rawValue(Evidence::Kind::noDependents), "noDependents");
    EXPECT_EQ(rawValue(Evidence::Kind::managerDefinesPrunable), "managerDefinesPrunable");
}

// ---- Evidence -----------------------------------------------------------------------------

TEST(Evidence, SummariesWithPayloads) {
    EXPECT_EQ(Evidence::supersededPatch("1.2.9").summary(), "Superseded by 1.2.9");
    EXPECT_EQ(Evidence::notDefaultVersion("20.11.0").summary(), "Not your default version (20.11.0)");
}

TEST(Evidence, SummariesWithoutPayloads) {
    EXPECT_EQ(Evidence::noDependents().summary(), "No installed formula depends on this");
    EXPECT_EQ(Evidence::managerDefinesPrunable().summary(), "Manager guarantees this is safe to prune");
}

TEST(Evidence, LastUsedShowsMonthAndYearInTheUsersLocale) {
    const std::string expected = strftimeMonthYear(midMarch2024, "");
    EXPECT_EQ(formatMonthYear(midMarch2024), expected);
    EXPECT_EQ(Evidence::lastUsed(midMarch2024).summary(), "Last used " + expected);
    EXPECT_EQ(Evidence::lastUsed(midMarch2024 + 0.75).summary(), "Last used " + expected);
    // Four-digit year at the end.
    ASSERT_GE(expected.size(), 5u);
    EXPECT_EQ(expected.substr(expected.size() - 5), " 2024");
    if (expected == strftimeMonthYear(midMarch2024, "C")) {
        EXPECT_EQ(Evidence::lastUsed(midMarch2024).summary(), "Last used Mar 2024");
    }
}

TEST(Evidence, LastUsedFollowsTheLocalTimeZone) {
    // Instants at or near month and year boundaries: the text agrees with localtime and
    // strftime under the same locale, whatever the local time zone is.
    for (double at : {0.0, 946684800.0, 1704067199.5, 1717200000.0, 4102444800.0}) {
        EXPECT_EQ(formatMonthYear(at), strftimeMonthYear(at, "")) << at;
    }
}

TEST(Evidence, FormatterIsSafeFromSeveralThreads) {
    const std::string expected = formatMonthYear(midMarch2024);
    std::vector<std::thread> threads;
    std::vector<std::string> seen(8);
    for (std::size_t i = 0; i < seen.size(); ++i) {
        threads.emplace_back([&seen, i] {
            for (int n = 0; n < 200; ++n) {
                seen[i] = Evidence::lastUsed(midMarch2024).summary();
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    for (const std::string& text : seen) {
        EXPECT_EQ(text, "Last used " + expected);
    }
}

TEST(Evidence, EqualityBySameCaseAndPayload) {
    EXPECT_EQ(Evidence::lastUsed(1700000000.25), Evidence::lastUsed(1700000000.25));
    EXPECT_NE(Evidence::lastUsed(1700000000.25), Evidence::lastUsed(1700000000.5));
    EXPECT_NE(Evidence::lastUsed(1700000000.0), Evidence::lastUsed(1700000000.001));
    EXPECT_EQ(Evidence::notDefaultVersion("20.11.0"), Evidence::notDefaultVersion("20.11.0"));
    EXPECT_NE(Evidence::notDefaultVersion("20.11.0"), Evidence::notDefaultVersion("20.11.1"));
    EXPECT_NE(Evidence::notDefaultVersion("1.0.0"), Evidence::supersededPatch("1.0.0"));
    EXPECT_EQ(Evidence::noDependents(), Evidence::noDependents());
    EXPECT_NE(Evidence::noDependents(), Evidence::managerDefinesPrunable());
}

// ---- Totals and identities ---------------------------------------------------------------

TEST(Totals, ReportSkipsAbsentSizesAndCountsZero) {
    EXPECT_EQ(report(ManagerKind::npm, {}).totalBytes(), 0);
    EXPECT_EQ(report(ManagerKind::npm, {item(std::nullopt)}).totalBytes(), 0);
    EXPECT_EQ(report(ManagerKind::npm, {item(0)}).totalBytes(), 0);
    EXPECT_EQ(report(ManagerKind::npm, {item(100), item(std::nullopt), item(0), item(250)}).totalBytes(), 350);
    EXPECT_EQ(report(ManagerKind::npm, {item(std::int64_t{5} << 40), item(7)}).totalBytes(),
              (std::int64_t{5} << 40) + 7);
}

TEST(Totals, ResultSumsItsReports) {
    EXPECT_EQ(ScanResult{}.totalBytes(), 0);
    ScanResult result{1700000000.0,
                      {report(ManagerKind::homebrew, {item(10), item(std::nullopt)}),
                       ManagerReport::notDetected(ManagerKind::npm), report(ManagerKind::bun, {item(0), item(5)})}};
    EXPECT_EQ(result.totalBytes(), 15);
}

TEST(Identity, ItemsBuiltFromTheSameDataAreDistinct) {
    const DependencyItem a = item(1);
    const DependencyItem b = item(1);
    EXPECT_NE(a.id, b.id);
    const QuickWin w1{Uuid::random(), "t", "c", "d"};
    const QuickWin w2{Uuid::random(), "t", "c", "d"};
    EXPECT_NE(w1.id, w2.id);
}

TEST(Identity, ReportsOfOneKindShareTheirIdentity) {
    EXPECT_EQ(report(ManagerKind::nvm, {item(1)}).id(), ManagerReport::notDetected(ManagerKind::nvm).id());
    EXPECT_NE(report(ManagerKind::nvm, {}).id(), report(ManagerKind::npm, {}).id());
    const ManagerReport none = ManagerReport::notDetected(ManagerKind::bun);
    EXPECT_EQ(none.kind, ManagerKind::bun);
    EXPECT_FALSE(none.detected);
    EXPECT_FALSE(none.version);
    EXPECT_TRUE(none.items.empty());
    EXPECT_TRUE(none.quickWins.empty());
}

TEST(NowSeconds, IsTheCurrentTimeWithSubSecondPrecision) {
    const double before = static_cast<double>(std::time(nullptr));
    const double now = nowSeconds();
    const double after = static_cast<double>(std::time(nullptr));
    EXPECT_GE(now, before);
    EXPECT_LT(now, after + 1);
    // Sub-second precision: within a few samples a fractional part shows up.
    bool fractional = false;
    for (int i = 0; i < 100 && !fractional; ++i) {
        const double t = nowSeconds();
        fractional = t != static_cast<double>(static_cast<std::int64_t>(t));
    }
    EXPECT_TRUE(fractional);
}

// ---- Uuid ---------------------------------------------------------------------------------

TEST(Uuid, HasVersionFourAndTheRfcVariant) {
    for (int i = 0; i < 1000; ++i) {
        const Uuid id = Uuid::random();
        EXPECT_EQ(id.bytes()[6] >> 4, 4);
        EXPECT_EQ(id.bytes()[8] & 0xC0, 0x80);
    }
}

TEST(Uuid, TextIsUpperCaseCanonical) {
    for (int i = 0; i < 200; ++i) {
        const Uuid id = Uuid::random();
        const std::string text = id.text();
        ASSERT_EQ(text.size(), 36u);
        for (std::size_t p = 0; p < text.size(); ++p) {
            if (p == 8 || p == 13 || p == 18 || p == 23) {
                EXPECT_EQ(text[p], '-') << text;
            } else {
                const char c = text[p];
                EXPECT_TRUE((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F')) << text;
            }
        }
        EXPECT_EQ(text[14], '4') << text;
        EXPECT_NE(std::string("89AB").find(text[19]), std::string::npos) << text;
        // The text spells the bytes in order.
        std::string hex;
        for (char c : text) {
            if (c != '-') {
                hex.push_back(c);
            }
        }
        for (std::size_t b = 0; b < 16; ++b) {
            EXPECT_EQ(std::stoi(hex.substr(2 * b, 2), nullptr, 16), id.bytes()[b]);
        }
    }
}

TEST(Uuid, RandomValuesAreUnique) {
    std::set<Uuid> seen;
    std::set<std::string> texts;
    for (int i = 0; i < 20000; ++i) {
        const Uuid id = Uuid::random();
        EXPECT_TRUE(seen.insert(id).second);
        EXPECT_TRUE(texts.insert(id.text()).second);
    }
}

TEST(Uuid, UniqueAcrossThreads) {
    std::vector<std::vector<Uuid>> made(4);
    std::vector<std::thread> threads;
    for (auto& list : made) {
        threads.emplace_back([&list] {
            for (int i = 0; i < 2000; ++i) {
                list.push_back(Uuid::random());
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    std::set<Uuid> all;
    for (const auto& list : made) {
        all.insert(list.begin(), list.end());
    }
    EXPECT_EQ(all.size(), 8000u);
}

} // namespace
} // namespace kelvo
