// kelvo-report itself on a fixture home. brew, npm, pnpm and bun are also looked for at fixed paths,
// so the machine may add items of its own: the checks hold either way.
#include "inventory/ReportSchema.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace kelvo {
namespace {

using test::Json;

// Runs kelvo-report with standard output and standard error captured apart; the exit status in *status.
std::pair<std::string, std::string> runReport(const test::TempDir& scratch, const std::string& argument, int* status) {
    const std::string binary = std::string(KELVO_BINARY_DIR) + "/bin/kelvo-report";
    const std::string out =
        test::runCapture({"/bin/sh", "-c", "exec \"$0\" \"$1\" 2>\"$2\"", binary, argument, scratch / "err"}, status);
    return {out, test::runCapture({"/bin/cat", scratch / "err"})};
}

const Json& named(const Json& list, const char* key, const std::string& value) {
    for (const auto& entry : list)
        if (entry.at(key) == value) return entry;
    throw std::runtime_error("nothing with " + std::string(key) + " " + value);
}

TEST(ReportEndToEnd, ScansAFixtureHomeIntoOneJsonDocumentAndRejectsUnknownOptions) {
    const test::TempDir home, scratch;
    const test::ScopedEnv homeVariable{"HOME", home.path()}, locale{"LC_ALL", "C"};
    // Each of these directories is one item of its manager.
    const std::pair<std::string, std::string> items[] = {
        {"nvm", "/.nvm/versions/node/v18.17.0"}, {"nvm", "/.nvm/versions/node/v18.19.1"},
        {"nvm", "/.nvm/versions/node/v20.11.0"}, {"bun", "/.bun/install/global/node_modules/cowsay"},
        {"bun", "/.bun/install/cache"},          {"pnpm", "/.local/share/pnpm/store"}};
    for (std::size_t i = 0; i < std::size(items); ++i)
        test::writeFile(home.path() + items[i].second + "/files/f", std::string(3000 * (i + 1), 'x'));

    int status = -1;
    const auto [out, err] = runReport(scratch, "--json", &status);
    ASSERT_EQ(status, 0) << err;
    EXPECT_EQ(err, "") << "nothing on standard error when it is not a terminal";
    const Json doc = Json::parse(out); // exactly one document
    test::checkReportDocument(doc);
    EXPECT_EQ(doc.at("managers").size(), 5u);
    for (const auto& [kind, directory] : items) {
        const Json& item = named(named(doc.at("managers"), "kind", kind).at("items"), "path", home.path() + directory);
        EXPECT_EQ(item.at("bytes"), test::duBytes(home.path() + directory).value_or(-1)) << "not as du measures it";
    }

    const auto [usageOut, usageErr] = runReport(scratch, "--no-such-option", &status);
    EXPECT_TRUE(status == 2 && usageOut.empty()) << status << usageOut;
    EXPECT_TRUE(usageErr.starts_with("kelvo-report: unknown option '--no-such-option'\nUsage: ")) << usageErr;
}

} // namespace
} // namespace kelvo
