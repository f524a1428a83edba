// kelvo-size [--stats] [--tally] [--freed] [--unreadable] PATH...: measures each path with
// FileManagerDirectorySizer (one call per argument, in order) and prints "BYTES<TAB>PATH", or
// "-<TAB>PATH" when the size is absent. --freed adds a third column, what removing the path would
// free ("-" when that cannot be told), to be checked against du before and after an rm -rf.
// --unreadable ends each line with the folders in the path that could not be read wholly.
// --tally counts every call into one tally, as a scan does, and ends with "BYTES<TAB>total", each
// file counted once (what du -s -B1 -c prints last). --stats adds the walk's counters on standard
// error.
//
// kelvo-size --projects [--exclude=FOLDER]... ROOT...: one findProjects call over the roots, every
// kind of project; prints each build folder on a line of its own, then "COUNT projects, SKIPPED
// skipped" (COUNT: build folders).
#include "adapters/ProjectsAdapter.h"
#include "model/DiskTally.h"
#include "system/DirectorySizer.h"
#include "system/ProjectFinder.h"
#include "system/walk/DirectoryWalk.h"

#include <cstdio>
#include <cstring>
#include <string>

int main(int argc, char** argv) {
    bool stats = false;
    bool tallied = false;
    bool freed = false;
    bool unreadable = false;
    bool projects = false;
    std::vector<std::string> excluded;
    int first = 1;
    for (; first < argc && argv[first][0] == '-' && argv[first][1] == '-'; ++first) {
        stats = stats || std::strcmp(argv[first], "--stats") == 0;
        tallied = tallied || std::strcmp(argv[first], "--tally") == 0;
        freed = freed || std::strcmp(argv[first], "--freed") == 0;
        unreadable = unreadable || std::strcmp(argv[first], "--unreadable") == 0;
        projects = projects || std::strcmp(argv[first], "--projects") == 0;
        if (std::strncmp(argv[first], "--exclude=", 10) == 0) {
            excluded.emplace_back(argv[first] + 10);
        }
    }
    if (first >= argc) {
        std::fprintf(stderr, "usage: kelvo-size [--stats] [--tally] [--freed] [--unreadable] PATH...\n"
                             "       kelvo-size --projects [--exclude=FOLDER]... ROOT...\n");
        return 2;
    }
    if (projects) {
        const kelvo::FoundProjects found =
            kelvo::findProjects(kelvo::ProjectsAdapter::search({argv + first, argv + argc}, excluded));
        for (const kelvo::FoundProject& project : found.projects) {
            std::printf("%s/%s\n", project.folder.c_str(), project.buildFolder.c_str());
        }
        std::printf("%zu projects, %lld skipped\n", found.projects.size(), static_cast<long long>(found.skipped));
    }
    const kelvo::FileManagerDirectorySizer sizer;
    kelvo::DiskTally tally;
    const kelvo::TallyScopes counted{tallied ? &tally : nullptr, kelvo::DiskTally::wholeScan | tally.openScope()};
    int status = 0;
    for (int i = projects ? argc : first; i < argc; ++i) {
        const auto item = sizer.measureItem({argv[i]}, counted);
        if (!item) {
            std::printf("-\t%s\n", argv[i]);
            status = 1;
            continue;
        }
        std::printf("%lld\t%s", static_cast<long long>(item->bytes), argv[i]);
        if (freed) {
            const auto frees = item->freedBytes;
            std::printf("\t%s", frees ? std::to_string(*frees).c_str() : "-");
        }
        if (unreadable) {
            std::printf("\t%lld", static_cast<long long>(item->unreadable));
        }
        std::printf("\n");
    }
    if (tallied) {
        tally.settle(~kelvo::DiskTally::Scopes{0});
        std::printf("%lld\ttotal\n", static_cast<long long>(tally.total(kelvo::DiskTally::wholeScan)));
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
