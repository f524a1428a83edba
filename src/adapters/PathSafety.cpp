#include "adapters/PathSafety.h"

#include <sys/stat.h>

namespace kelvo {

bool joinsWithoutLinks(const std::string& parent, std::string_view name) {
    std::string path = parent;
    std::size_t start = 0;
    for (std::size_t slash = name.find('/'); slash != std::string_view::npos; slash = name.find('/', start)) {
        path += "/";
        path += name.substr(start, slash - start);
        struct stat status {};
        if (::lstat(path.c_str(), &status) != 0) {
            return true; // nothing there to lead anywhere; measuring finds nothing either
        }
        if (!S_ISDIR(status.st_mode)) {
            return false;
        }
        start = slash + 1;
    }
    return true;
}

} // namespace kelvo
