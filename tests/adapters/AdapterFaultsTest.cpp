// Names from listings and tool output that a shell, a terminal or a path join would take for
// something else, through every adapter that lists packages: each is listed, its command splits
// back in a real shell into the fixed words and the one name, and nothing outside the manager's
// folder is measured.

#include "adapters/BunAdapter.h"
#include "adapters/HomebrewAdapter.h"
#include "adapters/NpmAdapter.h"
#include "adapters/NvmAdapter.h"
#include "adapters/PnpmAdapter.h"
#include "adapters/Substitutes.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace kelvo {
namespace {

using Case = ReadOnlyCommand::Case;

struct Scanned {
    ManagerReport report;
    std::vector<std::string> measured;
};

TEST(HostileNames, AreListedQuotedAndNeverMeasuredOutsideTheManagersFolder) {
    test::TempDir home;
    const auto runner = std::make_shared<test::FakeRunner>();
    const auto sizer = std::make_shared<test::FakeSizer>();
    const auto prober = std::make_shared<test::FakeProber>();
    const auto scanned = [&](const ManagerAdapter& adapter) {
        const std::size_t before = sizer->calls().size();
        ManagerReport report = adapter.scan();
        const auto calls = sizer->calls();
        return Scanned{std::move(report), std::vector(calls.begin() + static_cast<long>(before), calls.end())};
    };
    // brew prints one name a line; npm's JSON is UTF-8 (the runner repairs it before the adapter
    // sees it); folders cannot hold "/" or be called "..".
    std::string lines;
    nlohmann::json listing = {{"dependencies", nlohmann::json::object()}};
    nlohmann::json manifest = listing;
    listing["dependencies"][std::string("nul\0name", 8)] = nlohmann::json::object(); // no command can carry it
    std::size_t folders = 0;
    for (const auto& name : test::trickyNames) {
        if (name.find('\n') == std::string::npos)
            lines += name + "\n";
        if (name.find('\xff') == std::string::npos)
            listing["dependencies"][name] = nlohmann::json::object(), manifest["dependencies"][name] = "1";
        if (test::isEntryName(name)) {
            test::makeDirs(home / (".nvm/versions/node/v" + name));
            test::writeFile(home / (".bun/install/global/node_modules/" + name + "/package.json"), "{}");
            ++folders;
        }
    }
    runner->on(Case::brewVersion, test::ok("Homebrew 4.2.1")).on(Case::brewCellarPath, test::ok("/cellar"));
    runner->on(Case::brewListFormula, test::ok(lines)).on(Case::brewLeaves, test::ok(lines));
    runner->on(Case::npmVersion, test::ok("10.2.4")).on(Case::npmPrefixGlobal, test::ok("/p"));
    runner->on(Case::npmListGlobalJSON, test::ok(listing.dump()));
    struct Row {
        Scanned scan;
        std::vector<std::string> words;
        std::string folder;
        std::size_t listed;
    };
    const std::vector<Row> rows{
        {scanned(HomebrewAdapter(runner, sizer, {})), {"brew", "uninstall"}, "/cellar/", test::trickyNames.size() - 1},
        {scanned(NpmAdapter(runner, sizer, prober, {})), {"npm", "-g", "uninstall"}, "/p/lib/node_modules/",
         test::trickyNames.size()},
        {scanned(NvmAdapter(sizer, home.path())), {"nvm", "uninstall"}, home / ".nvm/versions/node/", folders},
        {scanned(BunAdapter(runner, sizer, prober, {}, home.path())), {"bun", "remove", "-g"}, home / ".bun/install/",
         folders},
    };
    test::writeFile(home / ".bun/install/global/package.json", manifest.dump());
    const Scanned fromManifest = scanned(BunAdapter(runner, sizer, prober, {}, home.path()));
    for (const Row& row : rows) {
        SCOPED_TRACE(row.words[0]);
        EXPECT_EQ(row.scan.report.items.size(), row.listed);
        EXPECT_EQ(test::badCommands(row.scan.report, row.words),
                  row.words[0] == "npm" ? std::string("[nul\0name] ", 11) : std::string());
        EXPECT_FALSE(row.scan.measured.empty());
        std::vector<std::string> paths = row.scan.measured; // and every path shown or revealed
        for (const auto& item : row.scan.report.items)
            paths.push_back(item.path.value_or(row.folder));
        for (const auto& path : paths) {
            EXPECT_EQ(path.rfind(row.folder, 0), 0u) << path;
            EXPECT_TRUE(path.find("/../") == std::string::npos && !path.ends_with("/..") &&
                        path.find("//") == std::string::npos)
                << path;
        }
    }
    EXPECT_EQ(test::badCommands(fromManifest.report, {"bun", "remove", "-g"}), "[Dependencies of bun globals] ");
    for (const auto& path : fromManifest.measured) {
        EXPECT_TRUE(path.find("/../") == std::string::npos && !path.ends_with("/..")) << path;
    }
}

// Services that throw (a bug, an allocation failure) cost only what they touch: every adapter still
// returns its report with what was established before.
TEST(AdapterFaults, ThrowingServicesCostOnlyWhatTheyTouch) {
    struct Throws final : ReadOnlyCommandRunning, DirectorySizing, FileAccessProbing {
        CommandResult run(const ReadOnlyCommand& command) const override {
            if (command.kind == Case::brewVersion)
                return test::ok("Homebrew 4.2.1");
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
    const std::vector<std::pair<ManagerReport, std::string>> reports{
        {HomebrewAdapter(services, services, {}).scan(), "4.2.1|"},
        {NpmAdapter(services, services, services, {}).scan(), "10.2.4|"},
        {PnpmAdapter(services, services, home.path()).scan(), "|Content-addressable store"},
        {NvmAdapter(services, home.path()).scan(), "|v20.11.1"},
        {BunAdapter(services, services, services, {}, home.path()).scan(), "|he"},
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
