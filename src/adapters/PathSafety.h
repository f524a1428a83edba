#pragma once

#include <string>
#include <string_view>

namespace kelvo {

// Whether parent + "/" + name reaches its last component without passing through a symbolic
// link: every directory between parent and the last component ("@scope" in "@scope/pkg") must be
// a real directory or missing. A linked one would lead the sizer or the prober outside the manager's tree,
// since only the last component is examined without following links.
bool joinsWithoutLinks(const std::string& parent, std::string_view name);

} // namespace kelvo
