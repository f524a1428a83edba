#include "model/SizeFormat.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <locale.h>

#if defined(__APPLE__)
#include <xlocale.h>
#else
#include <langinfo.h>
#endif

namespace kelvo {

std::string_view rawValue(AppTheme theme) {
    switch (theme) {
    case AppTheme::dark: return "dark";
    case AppTheme::light: return "light";
    case AppTheme::system: return "system";
    }
    return "system";
}

std::string_view rawValue(SizeUnit unit) {
    switch (unit) {
    case SizeUnit::decimal: return "decimal";
    case SizeUnit::binary: return "binary";
    }
    return "decimal";
}

std::optional<AppTheme> appThemeFromRaw(std::string_view raw) {
    for (AppTheme theme : {AppTheme::dark, AppTheme::light, AppTheme::system}) {
        if (raw == rawValue(theme)) {
            return theme;
        }
    }
    return std::nullopt;
}

std::optional<SizeUnit> sizeUnitFromRaw(std::string_view raw) {
    for (SizeUnit unit : {SizeUnit::decimal, SizeUnit::binary}) {
        if (raw == rawValue(unit)) {
            return unit;
        }
    }
    return std::nullopt;
}

namespace {

// 128-bit arithmetic keeps the rounding exact for every 64-bit byte count.
__extension__ typedef unsigned __int128 Wide;

std::string environmentLocaleName() {
    for (const char* variable : {"LC_ALL", "LC_NUMERIC", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value != nullptr && *value != '\0') {
            return value;
        }
    }
    return "C";
}

bool isPosixLocaleName(std::string_view name) {
    return name.empty() || name == "C" || name == "POSIX" || name.starts_with("C.") || name.starts_with("C@");
}

std::vector<int> parseGrouping(const char* grouping) {
    // POSIX grouping string: each byte a group size from the right; CHAR_MAX (or a negative
    // value) ends grouping; the end of the string repeats the last size.
    std::vector<int> sizes;
    if (grouping == nullptr) {
        return sizes;
    }
    for (const char* p = grouping; *p != '\0'; ++p) {
        const int size = static_cast<signed char>(*p);
        if (size <= 0 || size == CHAR_MAX) {
            // "No further grouping": model it as one last group too large to ever fill.
            if (!sizes.empty()) {
                sizes.push_back(INT_MAX);
            }
            return sizes;
        }
        sizes.push_back(size);
    }
    return sizes;
}

} // namespace

NumberSymbols numberSymbolsForLocale(std::string_view localeName) {
    const std::string name = localeName.empty() ? environmentLocaleName() : std::string(localeName);
    if (isPosixLocaleName(name)) {
        return NumberSymbols{};
    }
    const locale_t locale = ::newlocale(LC_NUMERIC_MASK, name.c_str(), static_cast<locale_t>(nullptr));
    if (locale == static_cast<locale_t>(nullptr)) {
        return NumberSymbols{};
    }
    NumberSymbols symbols;
#if defined(__APPLE__)
    const struct lconv* conventions = ::localeconv_l(locale);
    const char* decimal = conventions->decimal_point;
    const char* group = conventions->thousands_sep;
    const char* grouping = conventions->grouping;
#else
    const char* decimal = ::nl_langinfo_l(RADIXCHAR, locale);
    const char* group = ::nl_langinfo_l(THOUSEP, locale);
    const char* grouping = ::nl_langinfo_l(GROUPING, locale);
#endif
    symbols.decimalSeparator = decimal != nullptr && *decimal != '\0' ? decimal : ".";
    symbols.groupSeparator = group != nullptr ? group : "";
    symbols.grouping = symbols.groupSeparator.empty() ? std::vector<int>{} : parseGrouping(grouping);
    ::freelocale(locale);
    return symbols;
}

const NumberSymbols& userNumberSymbols() {
    static const NumberSymbols symbols = numberSymbolsForLocale("");
    return symbols;
}

namespace {

std::string groupedDigits(Wide value, const NumberSymbols& symbols) {
    std::string digits;
    do {
        digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(value % 10)));
        value /= 10;
    } while (value != 0);
    if (symbols.grouping.empty() || symbols.groupSeparator.empty()) {
        return digits;
    }
    // Walk from the right, cutting groups of the given sizes.
    std::vector<std::string> groups;
    std::size_t end = digits.size();
    std::size_t index = 0;
    while (end > 0) {
        const int size = symbols.grouping[std::min(index, symbols.grouping.size() - 1)];
        // A size below 1 (never from a locale, but possible in caller-made symbols) would cut
        // empty groups forever: it ends grouping like CHAR_MAX does.
        const std::size_t take = size < 1 ? end : std::min<std::size_t>(end, static_cast<std::size_t>(size));
        groups.insert(groups.begin(), digits.substr(end - take, take));
        end -= take;
        ++index;
    }
    std::string out;
    for (std::size_t i = 0; i < groups.size(); ++i) {
        if (i > 0) {
            out += symbols.groupSeparator;
        }
        out += groups[i];
    }
    return out;
}

// value / 10^fractionDigits, shown with at most fractionDigits digits, trailing zeros dropped.
std::string fixedPoint(Wide value, int fractionDigits, const NumberSymbols& symbols) {
    Wide scale = 1;
    for (int i = 0; i < fractionDigits; ++i) {
        scale *= 10;
    }
    std::string text = groupedDigits(value / scale, symbols);
    Wide fraction = value % scale;
    int digits = fractionDigits;
    while (digits > 0 && fraction % 10 == 0) {
        fraction /= 10;
        --digits;
    }
    if (digits > 0) {
        std::string fractionText(static_cast<std::size_t>(digits), '0');
        for (int i = digits - 1; i >= 0; --i) {
            fractionText[static_cast<std::size_t>(i)] = static_cast<char>('0' + static_cast<int>(fraction % 10));
            fraction /= 10;
        }
        text += symbols.decimalSeparator;
        text += fractionText;
    }
    return text;
}

// numerator / denominator rounded half up.
Wide roundedQuotient(Wide numerator, Wide denominator) { return (numerator * 2 + denominator) / (denominator * 2); }

} // namespace

std::string formatBytes(std::int64_t bytes, SizeUnit unit, const NumberSymbols& symbols) {
    if (bytes == 0) {
        return "Zero KB";
    }
    // Magnitude without overflow, also for the most negative value.
    const std::uint64_t magnitude =
        bytes < 0 ? static_cast<std::uint64_t>(-(bytes + 1)) + 1 : static_cast<std::uint64_t>(bytes);
    const std::string sign = bytes < 0 ? "-" : "";
    const Wide base = unit == SizeUnit::binary ? 1024 : 1000;

    Wide kilobytes = roundedQuotient(magnitude, base);
    if (kilobytes == 0) {
        kilobytes = 1;
    }
    if (kilobytes < base) {
        return sign + fixedPoint(kilobytes, 0, symbols) + " KB";
    }
    const Wide tenthsOfMegabytes = roundedQuotient(Wide(magnitude) * 10, base * base);
    if (tenthsOfMegabytes < base * 10) {
        return sign + fixedPoint(tenthsOfMegabytes, 1, symbols) + " MB";
    }
    const Wide hundredthsOfGigabytes = roundedQuotient(Wide(magnitude) * 100, base * base * base);
    return sign + fixedPoint(hundredthsOfGigabytes, 2, symbols) + " GB";
}

std::string formatBytes(std::int64_t bytes, SizeUnit unit) { return formatBytes(bytes, unit, userNumberSymbols()); }

std::string formatFilesAndBytes(std::int64_t files, std::int64_t bytes, SizeUnit unit, const NumberSymbols& symbols) {
    const Wide count = files > 0 ? static_cast<Wide>(files) : 0;
    return groupedDigits(count, symbols) + (count == 1 ? " file \u00b7 " : " files \u00b7 ") +
           formatBytes(bytes, unit, symbols);
}

std::string formatCount(std::int64_t count) {
    return groupedDigits(count > 0 ? static_cast<Wide>(count) : 0, userNumberSymbols());
}

std::string formatFilesAndBytes(std::int64_t files, std::int64_t bytes, SizeUnit unit) {
    return formatFilesAndBytes(files, bytes, unit, userNumberSymbols());
}

} // namespace kelvo
