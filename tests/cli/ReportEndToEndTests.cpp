// kelvo-report itself, scanning a fixture home. Only nvm, bun's directory and pnpm's store are
// fully under the test's control: brew, npm, pnpm and bun are looked for at fixed paths, so on a
// given machine they may or may not be there, and the checks on them hold either way.
#include "ReportFixture.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <stdexcept>

namespace kelvo {
namespace {

using nlohmann::json;

const std::string binary = std::string(KELVO_BINARY_DIR) + "/bin/kelvo-report";

struct ReportRun {
    std::string out;
    std::string err;
    int status = -1;
};

ReportRun runReport(const test::TempDir& scratch, const std::vector<std::string>& arguments) {
    std::vector<std::string> argv{"/bin/sh", "-c", "err=$1; shift; exec \"$@\" 2>\"$err\"", "sh",
                                  scratch / "stderr", binary};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    ReportRun run;
    run.out = test::runCapture(argv, &run.status);
    run.err = test::runCapture({"/bin/cat", scratch / "stderr"});
    return run;
}

const json& named(const json& list, const char* key, const std::string& value) {
    for (const auto& entry : list) {
        if (entry.at(key) == value) return entry;
    }
    throw std::runtime_error("nothing with " + std::string(key) + " " + value);
}
const json& manager(const json& document, const std::string& kind) {
    return named(document.at("managers"), "kind", kind);
}

class ReportEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        for (const auto& [path, size] : std::vector<std::pair<std::string, std::size_t>>{
                 {"/.nvm/versions/node/v18.17.0/bin/node", 5'000}, {"/.nvm/versions/node/v18.19.1/bin/node", 8'000},
                 {"/.nvm/versions/node/v20.11.0/bin/node", 60'000},
                 {"/.bun/install/cache/cowsay@1.5.0/index.js", 20'000},
                 {"/.bun/install/global/node_modules/cowsay/index.js", 3'000},
                 {"/.local/share/pnpm/store/v3/files/00/abcdef", 9'000}}) {
            test::writeFile(home.path() + path, std::string(size, 'x'));
        }
        test::writeFile(home.path() + "/.nvm/alias/default", "20.11.0\n");
        test::writeFile(home.path() + "/.bun/install/global/node_modules/cowsay/package.json",
                        R"({"name":"cowsay","version":"1.5.0"})");
    }

    test::TempDir home;
    test::TempDir scratch;
    test::ScopedEnv homeVariable{"HOME", home.path()};
    test::ScopedEnv locale{"LC_ALL", "C"};
};

TEST_F(ReportEndToEnd, JsonDescribesTheFixtureHome) {
    const ReportRun run = runReport(scratch, {"--json"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "") << "nothing on standard error when it is not a terminal";
    const json document = json::parse(run.out); // exactly one document
    test::checkReportDocument(document);
    ASSERT_EQ(document.at("managers").size(), 5u);
    EXPECT_EQ(document.at("sizeUnit"), "decimal");

    // Each fixture directory is one item, measured as du measures it.
    for (const auto& [kind, directory] : std::vector<std::pair<std::string, std::string>>{
             {"nvm", "/.nvm/versions/node/v18.17.0"}, {"nvm", "/.nvm/versions/node/v18.19.1"},
             {"nvm", "/.nvm/versions/node/v20.11.0"}, {"bun", "/.bun/install/global/node_modules/cowsay"},
             {"bun", "/.bun/install/cache"}, {"pnpm", "/.local/share/pnpm/store"}}) {
        const json& item = named(manager(document, kind).at("items"), "path", home.path() + directory);
        EXPECT_EQ(item.at("bytes"), test::duBytes(home.path() + directory).value_or(-1)) << directory;
    }
    const json& nvm = manager(document, "nvm");
    EXPECT_EQ(nvm.at("items").size(), 3u);
    const json& group = nvm.at("rows").at(1);
    EXPECT_EQ(group.at("keep"), named(nvm.at("items"), "name", "v18.19.1").at("id"));
    EXPECT_EQ(group.at("superseded"), json::array({named(nvm.at("items"), "name", "v18.17.0").at("id")}));
}

TEST_F(ReportEndToEnd, TextReportBinaryUnitsAndOptions) {
    ReportRun run = runReport(scratch, {"--binary"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out.find('\x1b'), std::string::npos) << "no colour when standard output is a pipe";
    EXPECT_NE(run.out.find("    LIKELY UNUSED  Node 18  2 versions  "), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("        SUPERSEDED  v18.17.0  "), std::string::npos) << run.out;
    EXPECT_EQ(json::parse(runReport(scratch, {"--json", "--binary"}).out).at("sizeUnit"), "binary");

    run = runReport(scratch, {"--no-such-option"});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("unknown option '--no-such-option'"), std::string::npos);
    run = runReport(scratch, {"--version"});
    EXPECT_EQ(run.out, "kelvo-report 1.0.0\n");
    EXPECT_EQ(run.status, 0);
    run = runReport(scratch, {"--help"});
    EXPECT_TRUE(run.out.starts_with("Usage: kelvo-report"));
    EXPECT_EQ(run.status, 0);
}

} // namespace
} // namespace kelvo
