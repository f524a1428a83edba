// package.json as the disk hands it: the last use of a package's commands, and bun's version
// reading through the whole bun adapter on a temporary home. Never a crash, never a probe
// outside the command directory.

#include "FuzzSupport.h"

#include "adapters/AdapterSupport.h"
#include "adapters/BunAdapter.h"
#include "adapters/Substitutes.h"

#include <fstream>
#include <mutex>

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Every command was used two days after its last change.
class AnyPathProber final : public kelvo::FileAccessProbing {
public:
    std::optional<kelvo::FileTimes> fileTimes(const std::string& path) const override {
        std::lock_guard lock(mutex_);
        paths.push_back(path);
        return kelvo::FileTimes{3 * 86400.0, 86400.0};
    }
    mutable std::vector<std::string> paths;

private:
    mutable std::mutex mutex_;
};

const std::string& home() {
    static const std::string path = [] {
        // One fixed place, reused by every run, so that runs leave at most this one behind.
        const std::string made = "/tmp/kelvo-fuzz-package-json";
        ::mkdir(made.c_str(), 0755);
        for (const char* sub : {"/.bun", "/.bun/install", "/.bun/install/global", "/.bun/install/global/node_modules",
                                "/.bun/install/global/node_modules/pkg", "/.bun/bin"}) {
            ::mkdir((made + sub).c_str(), 0755);
        }
        return made;
    }();
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string packageDirectory = home() + "/.bun/install/global/node_modules/pkg";
    const std::string commandDirectory = home() + "/.bun/bin";
    {
        std::ofstream out(packageDirectory + "/package.json", std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    AnyPathProber prober;
    const auto lastUse = kelvo::lastUseOfCommands(prober, packageDirectory, "@scope/pkg", commandDirectory);
    FUZZ_REQUIRE(!lastUse || *lastUse == 3 * 86400.0);
    for (const auto& path : prober.paths) {
        FUZZ_REQUIRE(path.rfind(commandDirectory + "/", 0) == 0);
        const std::string command = path.substr(commandDirectory.size() + 1);
        FUZZ_REQUIRE(kelvo::isSafeRelativeName(command) && command.find('/') == std::string::npos);
    }

    auto runner = std::make_shared<kelvo::test::FakeRunner>();
    auto sizer = std::make_shared<kelvo::test::FakeSizer>();
    const auto report =
        kelvo::BunAdapter(runner, sizer, std::make_shared<AnyPathProber>(), kelvo::KnowledgeBase::empty(), home()).scan();
    FUZZ_REQUIRE(report.detected);
    FUZZ_REQUIRE(report.items.size() == 1 && report.items[0].name == "pkg");
    return 0;
}
