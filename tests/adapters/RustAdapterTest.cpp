#include "adapters/RustAdapter.h"

#include "adapters/Substitutes.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace kelvo {
namespace {

using test::itemNamed;
using test::itemNames;
using Names = std::vector<std::string>;

struct Rust : test::Services {
    test::TempDir home;
    std::string toolchains = home / ".rustup/toolchains";
    std::string bin = home / ".cargo/bin";
    Rust& toolchain(const std::string& name) {
        test::makeDirs(toolchains + "/" + name + "/bin");
        return *this;
    }
    Rust& settings(const std::string& text) {
        test::writeFile(home / ".rustup/settings.toml", text);
        return *this;
    }
    ManagerReport scan() const { return RustAdapter(sizer, prober, kb, home.path()).scan(); }
    // Each toolchain as "name" when kept, "name!" when offered for removal.
    std::string verdicts() const {
        std::string out;
        for (const auto& item : scan().items)
            if (item.tool == "rustup" && item.path)
                out += item.name + (item.tier == Tier::orphanCandidate ? "! " : " ");
        return out;
    }
};

const std::string host(RustAdapter::buildHost());

TEST(RustAdapter, SettingsAsRustupWritesThemAndAsHandsMayHaveEditedThem) {
    const auto settings = RustAdapter::parseSettings("version = \"12\"\n  default_toolchain = 'nightly'  # x\n"
                                                     "default_host_triple = \"aarch64-apple-darwin\"\r\n"
                                                     "[overrides]\n\"/home/me/a \\\"b\\\"\" = \"1.80\"\n"
                                                     "\"/home/\\u00e9\" = \"stable\"\nbare = \"beta\"\n"
                                                     "\"/broken = \"x\"\n\"/bad\\q\" = \"y\"\n"
                                                     "[other]\ndefault_toolchain = \"no\"\n");
    EXPECT_EQ(settings.defaultToolchain, "nightly");
    EXPECT_EQ(settings.defaultHost, "aarch64-apple-darwin");
    EXPECT_EQ(settings.overrides, (std::vector<std::pair<std::string, std::string>>{
                                      {"/home/me/a \"b\"", "1.80"}, {"/home/\u00e9", "stable"}, {"bare", "beta"}}));
    for (const std::string bad : {"", "default_toolchain = stable", "default_toolchain = \"open", "[overrides"})
        EXPECT_FALSE(RustAdapter::parseSettings(bad).defaultToolchain) << bad;
}

TEST(RustAdapter, ChannelsResolveWithTheHostToInstalledFolders) {
    const Names installed{"stable-x86_64-unknown-linux-gnu", "nightly-2024-05-01-x86_64-unknown-linux-gnu", "custom"};
    const std::string linux = "x86_64-unknown-linux-gnu";
    EXPECT_EQ(RustAdapter::resolveToolchain("stable", linux, installed), installed[0]);
    EXPECT_EQ(RustAdapter::resolveToolchain("nightly-2024-05-01", linux, installed), installed[1]);
    EXPECT_EQ(RustAdapter::resolveToolchain("custom", linux, installed), "custom");
    EXPECT_EQ(RustAdapter::resolveToolchain(installed[0], linux, installed), installed[0]);
    for (const std::string other : {"", "nightly", "stable-aarch64-apple-darwin", "../stable"})
        EXPECT_FALSE(RustAdapter::resolveToolchain(other, linux, installed)) << other;
    EXPECT_FALSE(RustAdapter::resolveToolchain("stable", "aarch64-apple-darwin", installed));
}

TEST(RustAdapter, ToolchainFilesOfProjectsKeepTheToolchainRustupWouldUseThere) {
    const std::vector<std::pair<std::string, std::optional<std::string>>> files{
        {"[toolchain]\nchannel = \"nightly\"\ncomponents = [\"rustfmt\"]\n", "nightly"},
        {"# pinned\n[toolchain]\r\nchannel='1.80'\n", "1.80"}, {"  nightly-2024-05-01 \n", "nightly-2024-05-01"},
        {"[toolchain]\npath = \"/opt/rust\"\n", std::nullopt}, {"channel = \"beta\"\n", std::nullopt},
        {"stable\nbeta\n", std::nullopt}, {"\n", std::nullopt}};
    for (const auto& [text, channel] : files) EXPECT_EQ(RustAdapter::pinnedChannel(text), channel) << text;

    Rust rust;
    rust.toolchain("stable-" + host)
        .toolchain("nightly-" + host)
        .toolchain("1.80-" + host)
        .settings("default_toolchain = \"stable\"\n");
    test::writeFile(rust.home / ".rustup/downloads/x", "x");
    ManagerReport report = rust.scan();
    RustAdapter(rust.sizer, rust.prober, rust.kb, rust.home.path())
        .keepPinned(report, {{"rust-toolchain.toml", rust.home / "api", files[0].first},
                                {"rust-toolchain", "/srv/x", "rustup downloads"}, {".nvmrc", "/srv/y", "1.80"}});
    std::string verdicts;
    for (const auto& item : report.items)
        verdicts += item.name + (item.tier == Tier::orphanCandidate ? "! "
                                    : item.tier == Tier::signalOnly ? " "
                                                                    : "~ ");
    EXPECT_EQ(verdicts, "1.80-" + host + "! nightly-" + host + " stable-" + host + " rustup downloads~ ");
    const auto& nightly = *itemNamed(report, "nightly-" + host);
    EXPECT_EQ(nightly.evidence,
        (std::vector<Evidence>{Evidence::pinnedByProject("~/api"), Evidence::notDefaultToolchain("stable-" + host)}));
    EXPECT_FALSE(nightly.reclaimCommand);
}

TEST(RustAdapter, TheDefaultAndOverriddenToolchainsAreKeptEveryOtherOffered) {
    Rust rust;
    rust.toolchain("stable-" + host).toolchain("nightly-" + host).toolchain("1.80-" + host).toolchain("-weird\n'x");
    test::writeFile(rust.toolchains + "/a-file", "");
    ASSERT_EQ(::symlink("/usr", (rust.toolchains + "/linked").c_str()), 0);
    EXPECT_EQ(rust.verdicts(), "-weird\n'x! 1.80-" + host + "! nightly-" + host + "! stable-" + host + "! ")
        << "no settings: no default";
    rust.settings("default_toolchain = \"stable\"\n[overrides]\n\"" + rust.home.path() + "/api\" = \"1.80\"\n");
    EXPECT_EQ(rust.verdicts(), "-weird\n'x! 1.80-" + host + " nightly-" + host + "! stable-" + host + " ");
    const ManagerReport report = rust.scan();
    const auto& nightly = *itemNamed(report, "nightly-" + host);
    EXPECT_EQ(nightly.evidence, std::vector{Evidence::notDefaultToolchain("stable-" + host)});
    EXPECT_EQ(test::shellWords(*nightly.reclaimCommand), (Names{"rustup", "toolchain", "uninstall", nightly.name}));
    EXPECT_EQ(test::shellWords(*itemNamed(report, "-weird\n'x")->reclaimCommand),
        (Names{"rustup", "toolchain", "uninstall", "--", "-weird\n'x"}));
    EXPECT_TRUE(itemNamed(report, "1.80-" + host)->identity->starts_with("The toolchain rustup uses in ~/api."));
    EXPECT_FALSE(itemNamed(report, "stable-" + host)->reclaimCommand);

    // A settings file it cannot read names no default: every toolchain is offered, none crashes.
    for (const std::string kind : {"folder", "fifo", "huge", "utf8"}) {
        Rust bad;
        bad.toolchain("stable-" + host);
        if (kind == "folder") test::makeDirs(bad.home / ".rustup/settings.toml");
        if (kind == "fifo") {
            ASSERT_EQ(::mkfifo((bad.home / ".rustup/settings.toml").c_str(), 0600), 0);
        }
        if (kind == "huge") bad.settings("default_toolchain = \"stable\"\n" + std::string(RustAdapter::fileLimit, '#'));
        if (kind == "utf8") bad.settings("default_toolchain = \"stable\"\n# \xff\n");
        EXPECT_EQ(bad.verdicts(), "stable-" + host + "! ") << kind;
    }
}

TEST(RustAdapter, InstallRecordsNameCratesAndTheirCommandsNeverRustupsProxies) {
    const auto crates = RustAdapter::parseCrates2(R"j({"v1":{},"installs":{
        "ripgrep 14.1.0 (registry+https://github.com/rust-lang/crates.io-index)":{"bins":["rg"]},
        "tool 0.1.0 (path+file:///src/tool)":{"bins":["a","b",3]}, "odd":{"bins":"x"}}})j");
    ASSERT_TRUE(crates);
    std::string seen;
    for (const auto& c : *crates)
        seen += c.crate + "@" + c.version.value_or("-") + ":" + std::to_string(c.bins.size()) + " ";
    EXPECT_EQ(seen, "odd@-:0 ripgrep@14.1.0:1 tool@0.1.0:2 ");
    for (const std::string bad : {"", "[]", "{}", R"({"installs":[]})", "{\"installs\":{"})
        EXPECT_FALSE(RustAdapter::parseCrates2(bad)) << bad;
    const auto toml = RustAdapter::parseCratesToml(
        "[v1]\n\"ripgrep 14.1.0 (registry+x)\" = [\"rg\"]\n\"t 1.0.0 (path+y)\" = [\"a\", \"b\"]\n\"u 2 (z)\" = []\n");
    ASSERT_EQ(toml.size(), 3u);
    EXPECT_TRUE(toml[1].crate == "t" && toml[1].bins == (Names{"a", "b"}) && toml[2].bins.empty());
    EXPECT_TRUE(RustAdapter::isProxy("cargo") && RustAdapter::isProxy("rustup") && !RustAdapter::isProxy("rg"));
}

TEST(RustAdapter, ProgramsCachesAndRustupItselfWithTheirCommands) {
    Rust rust;
    for (const std::string name : {"rg", "a", "b", "cargo", "rustup"}) test::writeFile(rust.bin + "/" + name, "x");
    test::makeDirs(rust.bin + "/../../escape");
    test::writeFile(rust.home / ".cargo/.crates2.json",
        R"j({"installs":{"ripgrep 14.1.0 (registry+x)":{"bins":["rg"]},"pair 0.1.0 (path+y)":{"bins":["a","b"]},
        "-evil 1.0.0 (path+z)":{"bins":["../../escape","cargo","gone"]}}})j");
    // The older record is read only without the newer one.
    test::writeFile(rust.home / ".cargo/.crates.toml", "[v1]\n\"stale 1.0.0 (x)\" = [\"rg\"]\n");
    test::makeDirs(rust.home / ".cargo/registry/index");
    test::makeDirs(rust.home / ".cargo/git"); // empty ones are left out
    test::makeDirs(rust.home / ".rustup/downloads");
    test::writeFile(rust.home / ".rustup/tmp/x", "y");
    const double now = nowSeconds();
    rust.prober->set(rust.bin + "/a", FileTimes{now - 200 * 86400.0, now - 400 * 86400.0});
    rust.prober->set(rust.bin + "/b", FileTimes{now - 10 * 86400.0, now - 400 * 86400.0});
    rust.sizer->set(rust.bin + "/rg", 40);

    const ManagerReport report = rust.scan();
    EXPECT_TRUE(report.detected);
    EXPECT_EQ(itemNames(report),
        (Names{"ripgrep", "rustup temporary files", "cargo registry", "-evil", "pair", "rustup itself"}));
    const auto& ripgrep = *itemNamed(report, "ripgrep");
    EXPECT_TRUE(ripgrep.path == rust.bin + "/rg" && ripgrep.version == "14.1.0" && ripgrep.tool == "cargo");
    EXPECT_EQ(ripgrep.reclaimCommand, "cargo uninstall ripgrep");
    EXPECT_EQ(
        test::shellWords(*itemNamed(report, "-evil")->reclaimCommand), (Names{"cargo", "uninstall", "--", "-evil"}));
    EXPECT_FALSE(itemNamed(report, "-evil")->path) << "neither a path outside the folder nor a proxy is its";
    const auto& pair = *itemNamed(report, "pair");
    EXPECT_TRUE(!pair.path && pair.tier == Tier::signalOnly) << "one of its commands was used lately";
    EXPECT_EQ(pair.evidence, std::vector{Evidence::lastUsed(now - 10 * 86400.0)});
    const auto& registry = *itemNamed(report, "cargo registry");
    EXPECT_TRUE(registry.tier == Tier::safeByDesign && registry.tool == "cargo");
    EXPECT_EQ(test::shellWords(*registry.reclaimCommand), (Names{"rm", "-rf", "--", rust.home / ".cargo/registry"}));
    EXPECT_EQ(itemNamed(report, "rustup temporary files")->tool, "rustup");
    EXPECT_FALSE(itemNamed(report, "rustup itself")->reclaimCommand);
}

} // namespace
} // namespace kelvo
