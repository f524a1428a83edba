#include "core/SizeFormat.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <sys/stat.h>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KELVO_TEST_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(KELVO_TEST_ASAN)
#include <sanitizer/lsan_interface.h>
#define KELVO_TEST_ASAN 1
#endif

namespace kelvo {
namespace {

// formatBytes(n, unit) reads the user's locale once, at its first call: pin it before any test runs.
const bool pinnedLocale = ::setenv("LC_ALL", "C", 1) == 0;

struct Case {
    std::int64_t bytes;
    const char* text;
};

TEST(SizeFormat, DecimalUnitsAndBoundaries) {
    ASSERT_TRUE(pinnedLocale);
    const NumberSymbols c = numberSymbolsForLocale("C");
    const Case cases[] = {
        {0, "Zero KB"},
        {1, "1 KB"},
        {512, "1 KB"},
        {999, "1 KB"},
        {1000, "1 KB"},
        {1023, "1 KB"},
        {1024, "1 KB"},
        {1499, "1 KB"},
        {1500, "2 KB"},
        {999'499, "999 KB"},
        {999'500, "1 MB"}, // rounds to 1,000 KB: the next unit instead
        {1'000'000, "1 MB"},
        {1'050'000, "1.1 MB"}, // exact half rounds up
        {1'500'000, "1.5 MB"},
        {999'949'999, "999.9 MB"},
        {999'950'000, "1 GB"},
        {1'005'000'000, "1.01 GB"},
        {1'234'567'890, "1.23 GB"},
        {999'999'999'999, "1,000 GB"},
        {1'000'000'000'000, "1,000 GB"}, // terabytes stay in GB
        {12'345'678'900'000, "12,345.68 GB"},
        {std::numeric_limits<std::int64_t>::max(), "9,223,372,036.85 GB"},
        {-1'500'000, "-1.5 MB"},
        {-1, "-1 KB"},
        {std::numeric_limits<std::int64_t>::min(), "-9,223,372,036.85 GB"},
    };
    for (const auto& [bytes, text] : cases) {
        EXPECT_EQ(formatBytes(bytes, SizeUnit::decimal, c), text) << bytes;
        EXPECT_EQ(formatBytes(bytes, SizeUnit::decimal), text) << bytes;
    }
}

TEST(SizeFormat, BinaryUnitsAndBoundaries) {
    const NumberSymbols c = numberSymbolsForLocale("C");
    const Case cases[] = {
        {0, "Zero KB"},
        {1, "1 KB"},
        {999, "1 KB"},
        {1000, "1 KB"},
        {1023, "1 KB"},
        {1024, "1 KB"},
        {1'024'000, "1,000 KB"}, // below 1024 KB it stays in KB, grouped
        {1'047'551, "1,023 KB"},
        {1'048'063, "1,023 KB"},
        {1'048'064, "1 MB"}, // 1023.5 KB rounds to 1024 KB
        {1'048'576, "1 MB"},
        {1'500'000, "1.4 MB"},
        {999'999'999'999, "931.32 GB"},
        {1'099'511'627'776, "1,024 GB"},
    };
    for (const auto& [bytes, text] : cases) {
        EXPECT_EQ(formatBytes(bytes, SizeUnit::binary, c), text) << bytes;
        EXPECT_EQ(formatBytes(bytes, SizeUnit::binary), text) << bytes;
    }
}

TEST(SizeFormat, UsesTheGivenSeparatorsAndGrouping) {
    const NumberSymbols german{",", ".", {3}};
    EXPECT_EQ(formatBytes(1'234'567'890, SizeUnit::decimal, german), "1,23 GB");
    EXPECT_EQ(formatBytes(12'345'678'900'000, SizeUnit::decimal, german), "12.345,68 GB");
    EXPECT_EQ(formatBytes(1'024'000, SizeUnit::binary, german), "1.000 KB");

    const NumberSymbols indian{".", ",", {3, 2}};
    EXPECT_EQ(formatBytes(std::numeric_limits<std::int64_t>::max(), SizeUnit::decimal, indian),
              "9,22,33,72,036.85 GB");
    const NumberSymbols ungrouped{".", "", {}};
    EXPECT_EQ(formatBytes(12'345'678'900'000, SizeUnit::decimal, ungrouped), "12345.68 GB");
    // Multi-byte separators (a narrow no-break space) are inserted whole.
    const NumberSymbols french{",", "\u202f", {3}};
    EXPECT_EQ(formatBytes(1'000'000'000'000, SizeUnit::decimal, french), "1\u202f000 GB");
}

TEST(SizeFormat, LocaleNamesThatGiveThePosixSymbols) {
    const NumberSymbols posix{};
    EXPECT_EQ(numberSymbolsForLocale("C"), posix);
    EXPECT_EQ(numberSymbolsForLocale("POSIX"), posix);
    EXPECT_EQ(numberSymbolsForLocale("C.UTF-8"), posix);
    EXPECT_EQ(numberSymbolsForLocale("xx_NOWHERE.UTF-8"), posix);
    test::ScopedEnv all("LC_ALL", "");
    test::ScopedEnv numeric("LC_NUMERIC", "");
    test::ScopedEnv lang("LANG", "");
    EXPECT_EQ(numberSymbolsForLocale(""), posix);
}

#if defined(__linux__)
// A real locale, compiled into a temporary directory, read through the environment like a user's.
TEST(SizeFormat, ReadsTheUsersNumericLocale) {
    struct stat info {};
    if (::stat("/usr/bin/localedef", &info) != 0 || ::stat("/usr/share/i18n/locales/de_DE", &info) != 0) {
        GTEST_SKIP() << "localedef or the de_DE locale source is not installed";
    }
    test::TempDir dir;
    int status = 0;
    test::runCapture({"/usr/bin/localedef", "-i", "de_DE", "-f", "UTF-8", dir / "de_DE.UTF-8"}, &status);
    ASSERT_EQ(status, 0);
    test::ScopedEnv path("LOCPATH", dir.path());
    test::ScopedEnv all("LC_ALL", "");
    test::ScopedEnv numeric("LC_NUMERIC", "de_DE.UTF-8"); // LC_NUMERIC wins over LANG
    test::ScopedEnv lang("LANG", "C");
    NumberSymbols symbols;
    {
#if defined(KELVO_TEST_ASAN)
        // glibc keeps its split copy of LOCPATH for good once a locale has been loaded from it.
        __lsan::ScopedDisabler glibcKeepsTheLocalePath;
#endif
        symbols = numberSymbolsForLocale("");
    }
    EXPECT_EQ(symbols.decimalSeparator, ",");
    EXPECT_EQ(symbols.groupSeparator, ".");
    EXPECT_EQ(formatBytes(1'000'000'000'000, SizeUnit::decimal, symbols), "1.000 GB");
    EXPECT_EQ(formatBytes(1'500'000, SizeUnit::decimal, symbols), "1,5 MB");
}
#endif

TEST(SizeFormat, RawValuesRoundTripExactly) {
    for (SizeUnit unit : {SizeUnit::decimal, SizeUnit::binary}) {
        EXPECT_EQ(sizeUnitFromRaw(rawValue(unit)), unit);
    }
    for (AppTheme theme : {AppTheme::dark, AppTheme::light, AppTheme::system}) {
        EXPECT_EQ(appThemeFromRaw(rawValue(theme)), theme);
    }
    EXPECT_EQ(rawValue(SizeUnit::binary), "binary");
    EXPECT_EQ(rawValue(AppTheme::system), "system");
    EXPECT_FALSE(sizeUnitFromRaw("Binary"));
    EXPECT_FALSE(sizeUnitFromRaw(" decimal"));
    EXPECT_FALSE(appThemeFromRaw(""));
}

} // namespace
} // namespace kelvo
