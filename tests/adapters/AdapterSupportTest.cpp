#include "adapters/AdapterSupport.h"

#include "adapters/Substitutes.h"
#include "knowledge/KnowledgeBase.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace kelvo {
namespace {

using test::FakeProber;
using test::FakeSizer;

TEST(AdapterSupport, OnlyNamesThatStayInsideTheParentAreSafe) {
    for (const char* name : {"a", "@scope/tool", "a.b", "...", "-x", "a b"})
        EXPECT_TRUE(isSafeRelativeName(name)) << name;
    for (const std::string& name : std::vector<std::string>{"", ".", "..", "../x", "a/..", "a//b", "/abs", "a/",
                                                            "a/./b", std::string("a\0b", 3)})
        EXPECT_FALSE(isSafeRelativeName(name)) << name;
}

TEST(AdapterSupport, CommandsSplitBackIntoTheFixedWordsAndOneName) {
    EXPECT_EQ(commandWithName("npm -g uninstall", "@types/node"), "npm -g uninstall @types/node");
    EXPECT_EQ(commandWithOperand("brew uninstall", "wget"), "brew uninstall wget");
    std::vector<std::string> names = test::trickyNames;
    names.insert(names.end(), {"''", "$HOME", "~root", "\\", "!x", "#x", "", "\xc3", "-a b"});
    for (const auto& name : names) {
        EXPECT_EQ(test::shellWords(commandWithName("tool rm", name)), (std::vector<std::string>{"tool", "rm", name}))
            << name;
        EXPECT_EQ(test::shellWords(commandWithOperand("tool rm", name)), test::removalWords({"tool", "rm"}, name))
            << name;
    }
}

TEST(AdapterSupport, MeasuringChildrenInParallelMatchesOneAfterAnother) {
    FakeSizer sizer;
    std::vector<std::string> names;
    for (int i = 0; i < 300; ++i) {
        names.push_back("n" + std::to_string(i));
        if (i % 7 != 0)
            sizer.set("/p/n" + std::to_string(i), i * 10);
    }
    names.insert(names.end(), {"..", "a//b", "/abs"});
    const auto table = measureChildren(sizer, "/p", names, {});
    EXPECT_EQ(sizer.calls().size(), 300u) << "unsafe names are never measured";
    ASSERT_EQ(table.size(), 300u - 43u);
    for (const auto& [name, bytes] : table)
        EXPECT_EQ(bytes, std::stoll(name.substr(1)) * 10) << name;

    struct Throwing final : DirectorySizing {
        std::optional<std::int64_t> size(const std::string& path) const override {
            if (path.back() == '3')
                throw std::runtime_error("walk failed");
            return 1;
        }
    };
    const auto partial = measureChildren(Throwing{}, "/p", {"1", "3", "4"}, {});
    EXPECT_EQ(partial, (std::map<std::string, std::int64_t>{{"1", 1}, {"4", 1}}));
}

TEST(AdapterSupport, LastUseTakesTheLatestCommandUsedAtLeastADayAfterItsChange) {
    test::TempDir dir;
    test::writeFile(dir / "pkg/package.json", R"({"version":"1.2.3","bin":{"a":"x","b":"x","c":"x","d":"x","../up":"x"}})");
    const PackageManifest manifest = readPackageManifest(dir / "pkg", "pkg");
    EXPECT_EQ(manifest.version, "1.2.3");
    EXPECT_EQ(manifest.commands, (std::vector<std::string>{"../up", "a", "b", "c", "d"}));
    FakeProber prober;
    prober.set("/bin/a", FileTimes{9e5 + 86400, 9e5});    // exactly one day: counts, and is the latest
    prober.set("/bin/b", FileTimes{2e6 + 86399.5, 2e6});  // just under a day
    prober.set("/bin/c", FileTimes{5e6, 6e6});            // accessed before the change
    prober.set("/bin/d", FileTimes{90 + 2 * 86400, 90});
    prober.made("/bin/a", 100).made("/bin/c", 300).made("/bin/d", 200);
    const CommandUse use = commandUse(prober, manifest.commands, "/bin");
    EXPECT_EQ(use.lastUse, 9e5 + 86400);
    EXPECT_EQ(use.installedAt, 300) << "the newest command entry";
    for (const auto& path : prober.calls())
        EXPECT_EQ(path.find(".."), std::string::npos) << path;

    test::writeFile(dir / "scoped/package.json", R"({"bin":"cli.js"})");
    EXPECT_EQ(readPackageManifest(dir / "scoped", "@scope//tool/").commands, std::vector<std::string>{"tool"});
    for (const char* text : {R"({"bin":7,"version":1})", "[]", "{", R"({"name":"x"})"}) {
        test::writeFile(dir / "other/package.json", text);
        const PackageManifest other = readPackageManifest(dir / "other", "x");
        EXPECT_TRUE(other.commands.empty() && !other.version) << text;
    }
}

TEST(AdapterSupport, AGlobalIsLikelyUnusedOnlyWhenItsCommandsSaySoOnAFileSystemThatRecordsAccess) {
    constexpr double day = 86400;
    const double now = 1000 * day;
    const auto judge = [&](const std::string& name, CommandUse use, bool recorded) {
        return globalPackageItem(name, std::nullopt, "/m/" + name, 10, use, UseClock{now, recorded},
                                 KnowledgeBase::empty(), ManagerKind::npm, "npm -g uninstall");
    };
    struct Case {
        CommandUse use;
        bool recorded;
        Tier tier;
        std::vector<Evidence> evidence;
    };
    const std::vector<Case> cases{
        {{now - 91 * day, now - 400 * day}, true, Tier::orphanCandidate, {Evidence::lastUsed(now - 91 * day)}},
        {{now - 89 * day, now - 400 * day}, true, Tier::signalOnly, {Evidence::lastUsed(now - 89 * day)}},
        {{std::nullopt, now - 91 * day}, true, Tier::orphanCandidate, {Evidence::notUsedSinceInstall(now - 91 * day)}},
        {{std::nullopt, now - 89 * day}, true, Tier::signalOnly, {}},
        {{std::nullopt, std::nullopt}, true, Tier::signalOnly, {}},
        {{now - 300 * day, now - 400 * day}, false, Tier::signalOnly, {Evidence::lastUsed(now - 300 * day)}},
        {{std::nullopt, now - 400 * day}, false, Tier::signalOnly, {}},
    };
    for (const auto& c : cases) {
        const DependencyItem item = judge("tool", c.use, c.recorded);
        EXPECT_EQ(item.tier, c.tier) << c.recorded << " " << c.use.lastUse.value_or(-1);
        EXPECT_EQ(item.evidence, c.evidence);
        EXPECT_EQ(item.reclaimCommand, "npm -g uninstall tool");
    }
    const DependencyItem core = judge("corepack", {std::nullopt, now - 400 * day}, true);
    EXPECT_EQ(core.tier, Tier::signalOnly);
    EXPECT_FALSE(core.reclaimCommand);
}

} // namespace
} // namespace kelvo
