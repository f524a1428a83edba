#include "scan/StandardAdapters.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

namespace kelvo {
namespace {

// What the adapters find in a home is for the end-to-end report tests to show.
TEST(StandardAdapters, FiveInStartOrderAndNpmLastLookedForAsTheNpmOfNvmsDefaultNode) {
    std::string kinds;
    for (const auto& adapter : standardAdapterList()) kinds += std::string(rawValue(adapter->kind())) + " ";
    EXPECT_EQ(kinds, "homebrew nvm pnpm npm bun ");

    // After the fixed places, worked out for the home at hand when the tool is looked for.
    test::TempDir home;
    test::writeFile(home / ".nvm/versions/node/v20.11.1/bin/node", "");
    test::writeFile(home / ".nvm/alias/default", "20\n");
    const auto npm = static_cast<std::size_t>(CommandTool::npm);
    const CandidateTable tools = standardToolLocations();
    ASSERT_EQ(tools[npm].size(), standardCandidateTable()[npm].size() + 1);
    EXPECT_EQ(tools[npm].back().locate(home.path()), home / ".nvm/versions/node/v20.11.1/bin/npm");
}

} // namespace
} // namespace kelvo
