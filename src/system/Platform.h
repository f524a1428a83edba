#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kelvo {

// $HOME when set and absolute, else the password database; never with a trailing "/".
std::string homeDirectory();
// The login name from the password database.
std::string userName();

// Where KnowledgeBase.json, colors.json and the fonts are: share/kelvo beside the executable's
// folder (<prefix>/bin -> <prefix>/share/kelvo), or Contents/Resources inside a macOS bundle.
std::string resourceDirectory();
// The first of `names` that is not a regular file in `directory`, or absent when all are there.
std::optional<std::string> missingResource(const std::string& directory, const std::vector<std::string>& names);

// Plain file-system queries used by the adapters. None follows a symbolic link unless it says so.
bool pathExists(const std::string& path);      // any kind of entry; follows links like an existence test
bool isDirectory(const std::string& path);     // follows links
bool isRealDirectory(const std::string& path); // a directory itself, not a link to one
bool isRegularFile(const std::string& path);   // a regular file itself, not a link to one
bool isEntryNotLink(const std::string& path);  // an entry of any kind but a symbolic link
// Whether parent + "/" + name reaches its last component without passing through a symbolic
// link: every directory between parent and the last component ("@scope" in "@scope/pkg") must be
// a real directory or missing. A linked one would lead the sizer or the prober outside the
// manager's tree, since only the last component is examined without following links.
bool joinsWithoutLinks(const std::string& parent, std::string_view name);
// Where a symbolic link points, as written in it; absent for anything else.
std::optional<std::string> readLink(const std::string& path);
// Names in the directory, without "." and "..", in the order the system returns them; absent for a
// link (to a directory or not), which is never listed.
std::optional<std::vector<std::string>> listDirectory(const std::string& path);
// The whole file as bytes, or absent when it cannot be read or is larger than maxBytes.
std::optional<std::string> readFile(const std::string& path, std::size_t maxBytes = 16 * 1024 * 1024);

} // namespace kelvo
