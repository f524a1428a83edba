// package.json as the disk hands it, on a temporary home: a global package's manifest, and bun's own
// one that names the globals, read through the whole bun adapter (fake sizer and prober). Nothing
// measured outside ~/.bun, no probe outside its command folder.

#include "FuzzSupport.h"

#include "adapters/AdapterSupport.h"
#include "adapters/BunAdapter.h"
#include "adapters/Substitutes.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

using namespace kelvo;

// One fixed place, reused by every run, so that runs leave at most this one behind.
static const std::string home = "/tmp/kelvo-fuzz-package-json";

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string global = home + "/.bun/install/global", package = global + "/node_modules/pkg";
    const std::string commands = home + "/.bun/bin/";
    for (const auto& directory : {package, commands}) std::filesystem::create_directories(directory);
    for (const auto& directory : {global, package})
        std::ofstream(directory + "/package.json", std::ios::binary).write(fuzz::asText(data, size).data(), size);
    FUZZ_REQUIRE(std::ranges::is_sorted(readPackageManifest(package, "@scope/pkg").commands));
    auto sizer = std::make_shared<test::FakeSizer>();
    auto prober = std::make_shared<test::FakeProber>();
    const auto report =
        BunAdapter(std::make_shared<test::FakeRunner>(), sizer, prober, KnowledgeBase::empty(), home).scan();
    FUZZ_REQUIRE(report.detected);
    for (const std::string& path : sizer->calls())
        FUZZ_REQUIRE(path.starts_with(home + "/.bun/") && path.find("/../") == path.npos && !path.ends_with("/.."));
    for (const auto& path : prober->calls()) {
        const std::string command = path.substr(std::min(path.size(), commands.size()));
        FUZZ_REQUIRE(path.starts_with(commands) && isSafeRelativeName(command) && command.find('/') == path.npos);
    }
    return 0;
}
