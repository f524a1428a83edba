#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kelvo {

enum class AppTheme { dark, light, system };
enum class SizeUnit { decimal, binary };

std::string_view rawValue(AppTheme theme);
std::string_view rawValue(SizeUnit unit);
std::optional<AppTheme> appThemeFromRaw(std::string_view raw);
std::optional<SizeUnit> sizeUnitFromRaw(std::string_view raw);

// KB, MB or GB only (base 1000 or 1024), unit label always shown, fraction digits
// KB 0 / MB 1 / GB 2 with trailing zeros dropped, digits and separators of the user's locale.
std::string formatBytes(std::int64_t bytes, SizeUnit unit);

} // namespace kelvo
