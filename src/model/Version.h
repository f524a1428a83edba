#pragma once

#include <string_view>

namespace kelvo {

// The one version string, set by the build from the project version.
inline constexpr std::string_view kelvoVersion = KELVO_VERSION;

} // namespace kelvo
