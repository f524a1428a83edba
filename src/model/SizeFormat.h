#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kelvo {

enum class AppTheme { dark, light, system };
enum class SizeUnit { decimal, binary };

std::string_view rawValue(AppTheme theme);
std::string_view rawValue(SizeUnit unit);
std::optional<AppTheme> appThemeFromRaw(std::string_view raw);
std::optional<SizeUnit> sizeUnitFromRaw(std::string_view raw);

// The separators formatBytes puts into its numbers.
struct NumberSymbols {
    std::string decimalSeparator = ".";
    std::string groupSeparator = ",";
    // Digits per group from the right; the last size repeats. Empty: no grouping.
    std::vector<int> grouping{3};

    friend bool operator==(const NumberSymbols&, const NumberSymbols&) = default;
};

// The numeric conventions (LC_NUMERIC) of the named locale; "" means the user's, resolved from
// LC_ALL, LC_NUMERIC, then LANG. The C and POSIX locales (also C.UTF-8), an unset environment
// and a locale that is not installed give the default NumberSymbols: "." and "," every 3 digits.
NumberSymbols numberSymbolsForLocale(std::string_view localeName);

// The user's symbols, read from the environment once, at the first call (thread-safe).
const NumberSymbols& userNumberSymbols();

// KB, MB or GB only (base 1000 or 1024), unit label always shown, fraction digits
// KB 0 / MB 1 / GB 2 with trailing zeros dropped, digits and separators of the user's locale.
// Rounding is half up; a unit is left for the next one as soon as its rounded value reaches the
// base (999,999 bytes read "1 MB", never "1,000 KB"); terabytes stay in GB ("1,000 GB").
// 1 byte up to one KB reads "1 KB" (a non-empty file never reads as nothing); 0 reads "Zero KB";
// a negative count is its magnitude's text with a leading "-".
std::string formatBytes(std::int64_t bytes, SizeUnit unit);
// The same with explicit symbols (tests, or a front end with its own locale).
std::string formatBytes(std::int64_t bytes, SizeUnit unit, const NumberSymbols& symbols);

// A count in the user's digits, "12,400".
std::string formatCount(std::int64_t count);

// How far a measurement has got, "412,000 files \u00b7 1.9 GB" ("1 file" for one), in the
// user's digits.
std::string formatFilesAndBytes(std::int64_t files, std::int64_t bytes, SizeUnit unit);
std::string formatFilesAndBytes(std::int64_t files, std::int64_t bytes, SizeUnit unit, const NumberSymbols& symbols);

} // namespace kelvo
