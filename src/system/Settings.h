#pragma once

#include <optional>
#include <string>
#include <vector>

namespace kelvo {

// Kelvo's own settings file, the one file it ever writes, and only when the user changes a
// setting that is kept between runs: ~/.config/kelvo/settings.json, or
// ~/Library/Application Support/Kelvo/settings.json on macOS.
std::string settingsPath(const std::string& home);

struct StoredSettings {
    // The folders searched for projects; absent until the user chooses (then the home folder).
    std::optional<std::vector<std::string>> projectFolders;
};

// What the file holds; a missing, unreadable or malformed file, or a value of the wrong shape,
// holds nothing.
StoredSettings loadSettings(const std::string& path);
// Writes the file whole (a new file renamed over the old, so a crash never leaves half of one),
// making its folder when needed; false when it cannot be written.
bool saveSettings(const std::string& path, const StoredSettings& settings);

// The folders to search for projects: the stored choice, or the home folder.
std::vector<std::string> projectFolders(const std::string& home);

} // namespace kelvo
