#include "model/SizeFormat.h"

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

TEST(SizeFormat, BothUnitsAcrossBoundaries) {
    ASSERT_TRUE(pinnedLocale);
    constexpr auto max = std::numeric_limits<std::int64_t>::max();
    const struct {
        std::int64_t bytes;
        const char* decimal;
        const char* binary;
    } cases[] = {
        {0, "Zero KB", "Zero KB"},
        {1, "1 KB", "1 KB"}, // a non-empty file never reads as nothing
        {999, "1 KB", "1 KB"},
        {1000, "1 KB", "1 KB"},
        {1023, "1 KB", "1 KB"},
        {1024, "1 KB", "1 KB"},
        {1500, "2 KB", "1 KB"},
        {999'499, "999 KB", "976 KB"},
        {999'500, "1 MB", "976 KB"}, // rounds to 1,000 KB: the next unit instead
        {1'024'000, "1 MB", "1,000 KB"},
        {1'048'063, "1 MB", "1,023 KB"},
        {1'048'064, "1 MB", "1 MB"}, // 1023.5 KB rounds to 1024 KB
        {1'050'000, "1.1 MB", "1 MB"}, // exact half rounds up
        {1'500'000, "1.5 MB", "1.4 MB"},
        {999'949'999, "999.9 MB", "953.6 MB"},
        {999'950'000, "1 GB", "953.6 MB"},
        {1'234'567'890, "1.23 GB", "1.15 GB"},
        {999'999'999'999, "1,000 GB", "931.32 GB"},
        {1'099'511'627'776, "1,099.51 GB", "1,024 GB"}, // terabytes stay in GB
        {max, "9,223,372,036.85 GB", "8,589,934,592 GB"},
        {-1'500'000, "-1.5 MB", "-1.4 MB"},
        {std::numeric_limits<std::int64_t>::min(), "-9,223,372,036.85 GB", "-8,589,934,592 GB"},
    };
    for (const auto& [bytes, decimal, binary] : cases) {
        SCOPED_TRACE(bytes);
        EXPECT_EQ(formatBytes(bytes, SizeUnit::decimal), decimal);
        EXPECT_EQ(formatBytes(bytes, SizeUnit::binary), binary);
    }
}

TEST(SizeFormat, SeparatorsAndGroupingOfTheLocale) {
    const struct {
        NumberSymbols symbols;
        std::int64_t bytes;
        const char* text;
    } cases[] = {
        {{",", ".", {3}}, 1'234'567'890, "1,23 GB"},
        {{",", ".", {3}}, 12'345'678'900'000, "12.345,68 GB"},
        {{".", ",", {3, 2}}, std::numeric_limits<std::int64_t>::max(), "9,22,33,72,036.85 GB"}, // last size repeats
        {{".", "", {}}, 12'345'678'900'000, "12345.68 GB"},
        {{",", "\u202f", {3}}, 1'000'000'000'000, "1\u202f000 GB"}, // multi-byte separator inserted whole
    };
    for (const auto& [symbols, bytes, text] : cases) EXPECT_EQ(formatBytes(bytes, SizeUnit::decimal, symbols), text);

    // The C and POSIX locales, an unset environment and a locale that is not installed: "." and ",".
    test::ScopedEnv all("LC_ALL", "");
    test::ScopedEnv numeric("LC_NUMERIC", "");
    test::ScopedEnv lang("LANG", "");
    for (const char* name : {"C", "POSIX", "C.UTF-8", "xx_NOWHERE.UTF-8", ""}) {
        EXPECT_EQ(numberSymbolsForLocale(name), NumberSymbols{}) << name;
    }
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

TEST(SizeFormat, SettingValuesDecodeExactly) {
    EXPECT_EQ(sizeUnitFromRaw("binary"), SizeUnit::binary);
    EXPECT_EQ(appThemeFromRaw("system"), AppTheme::system);
    EXPECT_FALSE(sizeUnitFromRaw("Binary"));
    EXPECT_FALSE(sizeUnitFromRaw(" decimal"));
    EXPECT_FALSE(appThemeFromRaw(""));
}

} // namespace
} // namespace kelvo
