#include "model/SizeFormat.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <limits>
#include <tuple>

#include <unistd.h>

// The leak checker's switches, there only when it is linked in.
extern "C" void __lsan_disable() __attribute__((weak));
extern "C" void __lsan_enable() __attribute__((weak));

namespace kelvo {
namespace {

// formatBytes(n, unit) reads the user's locale once, at its first call: pin it before any test runs.
const bool pinnedLocale = ::setenv("LC_ALL", "C", 1) == 0;

TEST(SizeFormat, UnitChosenAfterRoundingHalfUpInBothBasesAndTheLocalesSeparators) {
    ASSERT_TRUE(pinnedLocale);
    constexpr auto min = std::numeric_limits<std::int64_t>::min(), max = std::numeric_limits<std::int64_t>::max();
    const std::tuple<std::int64_t, const char*, const char*> cases[] = {
        {0, "Zero KB", "Zero KB"},
        {1, "1 KB", "1 KB"}, // a non-empty file never reads as nothing
        {1500, "2 KB", "1 KB"},
        {999'499, "999 KB", "976 KB"},
        {999'500, "1 MB", "976 KB"}, // 1,000 KB: the next unit
        {1'024'000, "1 MB", "1,000 KB"},
        {1'048'063, "1 MB", "1,023 KB"},
        {1'048'064, "1 MB", "1 MB"},   // 1023.5 KB
        {1'050'000, "1.1 MB", "1 MB"}, // exact half rounds up
        {999'949'999, "999.9 MB", "953.6 MB"},
        {999'950'000, "1 GB", "953.6 MB"},
        {1'234'567'890, "1.23 GB", "1.15 GB"},
        {999'999'999'999, "1,000 GB", "931.32 GB"},
        {1'099'511'627'776, "1,099.51 GB", "1,024 GB"}, // terabytes stay in GB
        {max, "9,223,372,036.85 GB", "8,589,934,592 GB"},
        {-1'500'000, "-1.5 MB", "-1.4 MB"},
        {min, "-9,223,372,036.85 GB", "-8,589,934,592 GB"},
    };
    for (const auto& [bytes, decimal, binary] : cases) {
        EXPECT_EQ(formatBytes(bytes, SizeUnit::decimal), decimal) << bytes;
        EXPECT_EQ(formatBytes(bytes, SizeUnit::binary), binary) << bytes;
    }
    // The separators and grouping of the locale.
    const std::tuple<NumberSymbols, std::int64_t, const char*> grouped[] = {
        {{".", ",", {3, 2}}, std::numeric_limits<std::int64_t>::max(), "9,22,33,72,036.85 GB"}, // last size repeats
        {{".", "", {}}, 12'345'678'900'000, "12345.68 GB"},
        {{",", "\u202f", {3}}, 12'345'678'900'000, "12\u202f345,68 GB"}, // a multi-byte separator goes in whole
        // Group sizes below 1 end grouping, as "no further grouping" does (fuzzing found them looping).
        {{".", ",", {0}}, 1'234'567'000'000'000, "1234567 GB"},
        {{".", ",", {3, 0}}, 1'234'567'000'000'000, "1234,567 GB"},
        {{".", ",", {2, -1}}, 1'234'567'000'000'000, "12345,67 GB"},
    };
    for (const auto& [symbols, bytes, text] : grouped) EXPECT_EQ(formatBytes(bytes, SizeUnit::decimal, symbols), text);

    // The C and POSIX locales, an unset environment and a locale that is not installed: "." and ",".
    const test::ScopedEnv all("LC_ALL", ""), numeric("LC_NUMERIC", ""), lang("LANG", "");
    for (const char* name : {"C", "POSIX", "C.UTF-8", "xx_NOWHERE.UTF-8", ""})
        EXPECT_EQ(numberSymbolsForLocale(name), NumberSymbols{}) << name;
    EXPECT_TRUE(sizeUnitFromRaw("binary") == SizeUnit::binary && appThemeFromRaw("system") == AppTheme::system);
    for (const char* bad : {"Binary", " decimal", ""})
        EXPECT_FALSE(sizeUnitFromRaw(bad) || appThemeFromRaw(bad)) << bad;
}

#if defined(__linux__)
// A real locale, compiled into a temporary directory, read through the environment like a user's.
TEST(SizeFormat, ReadsTheUsersNumericLocale) {
    if (::access("/usr/bin/localedef", X_OK) != 0 || ::access("/usr/share/i18n/locales/de_DE", R_OK) != 0)
        GTEST_SKIP() << "localedef or the de_DE locale source is not installed";
    test::TempDir dir;
    int status = 0;
    test::runCapture({"/usr/bin/localedef", "-i", "de_DE", "-f", "UTF-8", dir / "de_DE.UTF-8"}, &status);
    ASSERT_EQ(status, 0);
    const test::ScopedEnv path("LOCPATH", dir.path());
    // LC_ALL, then LC_NUMERIC, then LANG: the first one set and not empty decides.
    const std::tuple<const char*, const char*, const char*, const char*> table[] = {
        {"de_DE.UTF-8", "C", "C", "1.234.567,89 GB"}, {"C", "de_DE.UTF-8", "de_DE.UTF-8", "1,234,567.89 GB"},
        {"", "de_DE.UTF-8", "C", "1.234.567,89 GB"}, {"", "C", "de_DE.UTF-8", "1,234,567.89 GB"},
        {"", "", "de_DE.UTF-8", "1.234.567,89 GB"}, {"", "", "", "1,234,567.89 GB"}};
    for (const auto& [all, numeric, lang, text] : table) {
        const test::ScopedEnv a("LC_ALL", all), n("LC_NUMERIC", numeric), l("LANG", lang);
        // glibc keeps its split copy of LOCPATH for good once a locale has been loaded from it.
        if (__lsan_disable) __lsan_disable();
        const NumberSymbols symbols = numberSymbolsForLocale("");
        if (__lsan_enable) __lsan_enable();
        EXPECT_EQ(formatBytes(1'234'567'890'000'000, SizeUnit::decimal, symbols), text) << all << numeric << lang;
    }
}
#endif

} // namespace
} // namespace kelvo
