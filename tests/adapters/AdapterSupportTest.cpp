#include "adapters/AdapterSupport.h"

#include "adapters/Substitutes.h"

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
    const auto table = measureChildren(sizer, "/p", names);
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
    const auto partial = measureChildren(Throwing{}, "/p", {"1", "3", "4"});
    EXPECT_EQ(partial, (std::map<std::string, std::int64_t>{{"1", 1}, {"4", 1}}));
}

TEST(AdapterSupport, LastUseTakesTheLatestCommandUsedAtLeastADayAfterItsChange) {
    test::TempDir dir;
    test::writeFile(dir / "pkg/package.json", R"({"bin":{"a":"x","b":"x","c":"x","d":"x","../up":"x"}})");
    FakeProber prober;
    prober.set("/bin/a", FileTimes{9e5 + 86400, 9e5});    // exactly one day: counts, and is the latest
    prober.set("/bin/b", FileTimes{2e6 + 86399.5, 2e6});  // just under a day
    prober.set("/bin/c", FileTimes{5e6, 6e6});            // accessed before the change
    prober.set("/bin/d", FileTimes{90 + 2 * 86400, 90});
    EXPECT_EQ(lastUseOfCommands(prober, dir / "pkg", "pkg", "/bin"), 9e5 + 86400);
    for (const auto& path : prober.calls())
        EXPECT_EQ(path.find(".."), std::string::npos) << path;

    test::writeFile(dir / "scoped/package.json", R"({"bin":"cli.js"})");
    FakeProber single;
    single.set("/bin/tool", FileTimes{2e5, 0});
    EXPECT_EQ(lastUseOfCommands(single, dir / "scoped", "@scope//tool/", "/bin"), 2e5);
    EXPECT_EQ(single.calls(), std::vector<std::string>{"/bin/tool"});

    for (const char* text : {R"({"bin":7})", "[]", "{", R"({"name":"x"})"}) {
        test::writeFile(dir / "other/package.json", text);
        FakeProber none;
        EXPECT_FALSE(lastUseOfCommands(none, dir / "other", "x", "/bin")) << text;
        EXPECT_TRUE(none.calls().empty()) << text;
    }
}

TEST(AdapterSupport, NodeVersionsParseOnlyAsThreeIntegers) {
    EXPECT_EQ(parseNodeVersion("v20.11.1"), (NodeVersion{20, 11, 1}));
    EXPECT_EQ(parseNodeVersion("20.11.1"), (NodeVersion{20, 11, 1}));
    EXPECT_EQ(parseNodeVersion("v1..2.3."), (NodeVersion{1, 2, 3}));
    EXPECT_EQ(parseNodeVersion("v+1.-2.3"), (NodeVersion{1, -2, 3}));
    for (const char* name : {"v20.11", "v20.11.1.2", "v21.0.0-rc.1", "system", "vv1.2.3", "v1.2.+-3", "v1.2.+",
                             "v1.2.-", "v1.2.99999999999999999999", "v1.2. 3", ""})
        EXPECT_FALSE(parseNodeVersion(name)) << name;
    EXPECT_EQ(sortNewestFirst({"system", "v18.19.1", "v20.1.0", "b", "v18.19.1", "v9.0.0"}),
              (std::vector<std::string>{"v20.1.0", "v18.19.1", "v18.19.1", "v9.0.0", "system", "b"}));
}

} // namespace
} // namespace kelvo
