#include "model/NodeVersion.h"

#include <gtest/gtest.h>

#include <map>

namespace kelvo {
namespace {

TEST(NodeVersion, ParsesOnlyAsThreeIntegersAndSortsNewestFirst) {
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

// Alias files as nvm writes them: `nvm install 20` writes "20", `nvm install --lts` writes
// lts/* -> lts/iron -> v20.18.1.
TEST(NodeVersion, AliasesResolveAsNvmResolvesThem) {
    const std::vector<std::string> installed{"v18.19.1", "v20.11.1", "v20.18.1", "v21.6.0", "v21.0.0-rc.1"};
    std::map<std::string, std::string> files{{"lts/*", "lts/iron\n"}, {"lts/iron", " v20.18.1\n"},
        {"lts/hydrogen", "v18.20.0"}, {"work", "lts/*"}, {"a", "b"}, {"b", "a"}, {"self", "self"}, {"empty", "  \n"}};
    for (int i = 0; i < 12; ++i)
        files["chain" + std::to_string(i)] = i == 11 ? "v18.19.1" : "chain" + std::to_string(i + 1);
    const NodeAliasFiles reader = [&](const std::string& name) -> std::optional<std::string> {
        const auto found = files.find(name);
        return found != files.end() ? std::optional(found->second) : std::nullopt;
    };
    const std::vector<std::pair<std::string, std::string>> cases{{"20.11.1\n", "v20.11.1"},
        {"v21.0.0-rc.1", "v21.0.0-rc.1"}, {"  v18.19.1 \r\n", "v18.19.1"}, {"20", "v20.18.1"}, {"v20", "v20.18.1"},
        {"20.11", "v20.11.1"}, {"2", ""}, {"20.1", ""}, {"21", "v21.6.0"}, {"lts/*", "v20.18.1"},
        {"lts/iron", "v20.18.1"}, {"work", "v20.18.1"}, {"lts/hydrogen", ""}, {"lts/argon", ""}, {"chain4", "v18.19.1"},
        {"chain0", ""}, {"a", ""}, {"self", ""}, {"empty", ""}, {"node", "v21.6.0"}, {"stable", "v21.6.0"},
        {"current", "v21.6.0"}, {"default", "v21.6.0"}, {"lts", "v20.18.1"}, {"lts/latest", "v20.18.1"},
        {"V20.11.1", ""}, {"system", ""}, {"20.x", ""}, {"-20", ""}, {"", ""}, {"v20.11.2", ""}};
    for (const auto& [alias, expected] : cases)
        EXPECT_EQ(resolveNodeAlias(alias, installed, reader).value_or(""), expected) << "[" << alias << "]";
    files.erase("lts/*");
    EXPECT_EQ(resolveNodeAlias("lts/*", {"v21.6.0", "v19.9.0"}, reader), std::nullopt) << "no even line";
    EXPECT_EQ(resolveNodeAlias("lts/*", installed, reader), "v20.18.1") << "the newest even line";
    EXPECT_EQ(resolveNodeAlias("node", {}, reader), std::nullopt);
    // A folder called just "v" is not what an empty alias names.
    EXPECT_EQ(resolveNodeAlias("", {"v", "v20.11.1"}, reader), std::nullopt);
}

} // namespace
} // namespace kelvo
