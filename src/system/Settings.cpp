#include "system/Settings.h"

#include "system/Platform.h"

#include <cstdio>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

namespace kelvo {

std::string settingsPath(const std::string& home) {
#ifdef __APPLE__
    return home + "/Library/Application Support/Kelvo/settings.json";
#else
    return home + "/.config/kelvo/settings.json";
#endif
}

StoredSettings loadSettings(const std::string& path) {
    StoredSettings settings;
    const auto json = nlohmann::json::parse(readFile(path, 1024 * 1024).value_or(""), nullptr, false);
    if (json.is_discarded() || !json.is_object()) {
        return settings;
    }
    if (const auto folders = json.find("projectFolders"); folders != json.end() && folders->is_array()) {
        std::vector<std::string> kept;
        for (const auto& folder : *folders) {
            // Only absolute folders can be searched; anything else in the file is ignored.
            if (folder.is_string() && folder.get_ref<const std::string&>().starts_with('/')) {
                kept.push_back(folder.get<std::string>());
            }
        }
        settings.projectFolders = std::move(kept);
    }
    return settings;
}

namespace {

// Makes each missing folder leading to `path`'s folder.
void makeParents(const std::string& path) {
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1)) {
        ::mkdir(path.substr(0, slash).c_str(), 0700);
    }
}

} // namespace

bool saveSettings(const std::string& path, const StoredSettings& settings) {
    nlohmann::json json = nlohmann::json::object();
    if (settings.projectFolders) {
        json["projectFolders"] = *settings.projectFolders;
    }
    const std::string text = json.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
    makeParents(path);
    const std::string temporary = path + ".new";
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        return false;
    }
    bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    written = ::fsync(fd) == 0 && written;
    written = ::close(fd) == 0 && written;
    if (!written || std::rename(temporary.c_str(), path.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

std::vector<std::string> projectFolders(const std::string& home) {
    return loadSettings(settingsPath(home)).projectFolders.value_or(std::vector<std::string>{home});
}

} // namespace kelvo
