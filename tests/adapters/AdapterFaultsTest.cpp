// Hostile names through every adapter are the hostile scan's (tests/hardening); here, what a
// fault in the code itself costs.

#include "adapters/BunAdapter.h"
#include "adapters/HomebrewAdapter.h"
#include "adapters/NpmAdapter.h"
#include "adapters/NvmAdapter.h"
#include "adapters/PnpmAdapter.h"
#include "adapters/Substitutes.h"
#include "adapters/YarnAdapter.h"

#include <gtest/gtest.h>

namespace kelvo {
namespace {

using Case = ReadOnlyCommand::Case;

// Services that throw (a bug, an allocation failure) cost only what they touch: every adapter still
// returns its report with what was established before.
TEST(AdapterFaults, ThrowingServicesCostOnlyWhatTheyTouch) {
    struct Throws final : ReadOnlyCommandRunning, DirectorySizing, FileAccessProbing {
        CommandResult run(const ReadOnlyCommand& command) const override {
            if (command.kind == Case::brewVersion) return test::ok("Homebrew 4.2.1");
            return command.kind == Case::npmVersion ? test::ok("10.2.4") : throw std::runtime_error("spawn exploded");
        }
        std::optional<std::int64_t> size(const std::string&) const override { throw std::bad_alloc(); }
        std::optional<FileTimes> fileTimes(const std::string&) const override { throw std::bad_alloc(); }
        std::optional<double> entryModified(const std::string&) const override { throw std::bad_alloc(); }
        bool recordsAccessTimes(const std::string&) const override { return true; }
    };
    const auto services = std::make_shared<Throws>();
    test::TempDir home;
    test::makeDirs(home / ".nvm/versions/node/v20.11.1");
    test::makeDirs(home / ".local/share/pnpm/store");
    test::writeFile(home / ".bun/install/global/node_modules/he/package.json", R"({"bin":"he"})");
    test::writeFile(home / ".config/yarn/global/package.json", R"({"dependencies":{"he":"1"}})");
    const std::vector<std::pair<ManagerReport, std::string>> reports{
        {HomebrewAdapter(services, services, {}).scan(), "4.2.1|"},
        {NpmAdapter(services, services, services, {}).scan(), "10.2.4|"},
        {PnpmAdapter(services, services, services, {}, home.path()).scan(), "|Content-addressable store"},
        {NvmAdapter(services, home.path()).scan(), "|v20.11.1"},
        {BunAdapter(services, services, services, {}, home.path()).scan(), "|he"},
        {YarnAdapter(services, services, {}, home.path()).scan(), "|he"},
    };
    for (const auto& [report, expected] : reports) {
        SCOPED_TRACE(rawValue(report.kind));
        EXPECT_TRUE(report.detected);
        std::string seen = report.version.value_or("") + "|";
        for (const auto& item : report.items) {
            seen += item.name;
            EXPECT_FALSE(item.bytes) << item.name;
        }
        EXPECT_EQ(seen, expected);
    }
}

} // namespace
} // namespace kelvo
