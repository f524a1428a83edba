// kelvo-report itself on a fixture home. (Its sizes against du are the real homes' and the hostile
// scan's.) brew, npm, pnpm and bun are also looked for at fixed paths, so the machine may add items
// of its own: the checks hold either way.
#include "inventory/ReportSchema.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

namespace kelvo {
namespace {

using test::Json;

// Runs kelvo-report, or a copy of it, with standard output and standard error captured apart; the
// exit status in *status.
std::pair<std::string, std::string> runReport(const test::TempDir& scratch, const std::string& argument, int* status,
    const std::string& binary = std::string(KELVO_BINARY_DIR) + "/bin/kelvo-report") {
    const std::string out =
        test::runCapture({"/bin/sh", "-c", "exec \"$0\" \"$1\" 2>\"$2\"", binary, argument, scratch / "err"}, status);
    return {out, test::runCapture({"/bin/cat", scratch / "err"})};
}

// Progress is for a person watching standard error: there when it is a terminal, whatever standard
// output is, and nowhere otherwise. script gives the report a terminal; one stream goes to a file.
TEST(ReportEndToEnd, ScansAFixtureHomeIntoOneJsonDocumentWithProgressOnlyOnATerminal) {
    const test::TempDir home, scratch;
    const test::ScopedEnv homeVariable{"HOME", home.path()}, locale{"LC_ALL", "C"};
    // A project, found in the home as the window's settings name it until the user chooses.
    test::writeFile(home / "src/app/node_modules/x/f", "x");
    test::writeFile(home / "src/app/package.json", "{}");
    test::writeFile(home / "src/yarn.lock", ""); // above the project: a workspace's
    const std::string report = "'" + std::string(KELVO_BINARY_DIR) + "/bin/kelvo-report' --json";
    int status = -1;
    const auto onTerminal = [&](const std::string& redirect) {
        return test::runCapture({"/usr/bin/script", "-qec", report + redirect, "/dev/null"}, &status);
    };
    EXPECT_EQ(onTerminal(" 2>'" + scratch / "err" + "'").find("Scanning"), std::string::npos);
    EXPECT_EQ(test::runCapture({"/bin/cat", scratch / "err"}), "");
    EXPECT_NE(onTerminal(" >'" + scratch / "out" + "'").find("Scanning\u2026"), std::string::npos);
    ASSERT_EQ(status, 0);
    const Json doc = Json::parse(test::runCapture({"/bin/cat", scratch / "out"})); // exactly one document
    test::checkReportDocument(doc);
    EXPECT_EQ(doc.at("managers").size(), allManagerKinds.size());
    EXPECT_EQ(doc.at("managers").back().at("items").at(0).at("managedBy"), "yarn");
}

TEST(ReportEndToEnd, WithoutItsResourcesItSaysWhereItLookedInOneLineAndFails) {
    const test::TempDir copy, scratch;
    test::makeDirs(copy / "bin");
    test::runCapture({"/bin/cp", std::string(KELVO_BINARY_DIR) + "/bin/kelvo-report", copy / "bin/"});
    int status = -1;
    const auto [out, err] = runReport(scratch, "--json", &status, copy / "bin/kelvo-report");
    EXPECT_TRUE(status == 1 && out.empty()) << status;
    EXPECT_EQ(err, "kelvo-report: cannot find its resources: no KnowledgeBase.json in " + copy.path() +
                       "/share/kelvo (reinstall Kelvo)\n");
}

} // namespace
} // namespace kelvo
