// kelvo-size PATH...: measures each path with FileManagerDirectorySizer (one size() call per
// argument, in order) and prints "BYTES<TAB>PATH", or "-<TAB>PATH" when the size is absent.
// --stats adds the walk's counters on standard error.
#include "system/DirectorySizer.h"
#include "system/DirectoryWalk.h"

#include <cstdio>
#include <cstring>
#include <string>

int main(int argc, char** argv) {
    bool stats = false;
    int first = 1;
    if (argc > 1 && std::strcmp(argv[1], "--stats") == 0) {
        stats = true;
        first = 2;
    }
    if (first >= argc) {
        std::fprintf(stderr, "usage: kelvo-size [--stats] PATH...\n");
        return 2;
    }
    const kelvo::FileManagerDirectorySizer sizer;
    int status = 0;
    for (int i = first; i < argc; ++i) {
        const auto bytes = sizer.size(argv[i]);
        if (bytes) {
            std::printf("%lld\t%s\n", static_cast<long long>(*bytes), argv[i]);
        } else {
            std::printf("-\t%s\n", argv[i]);
            status = 1;
        }
    }
    if (stats) {
        const auto s = kelvo::detail::directoryWalkStats();
        std::fprintf(stderr,
                     "directories %llu, chain opens %llu, helpers granted %llu, entry batches %llu, kept fds peak %lld\n",
                     static_cast<unsigned long long>(s.directories), static_cast<unsigned long long>(s.chainOpens),
                     static_cast<unsigned long long>(s.helperGrants), static_cast<unsigned long long>(s.entryBatches),
                     static_cast<long long>(s.keptFdsPeak));
    }
    return status;
}
