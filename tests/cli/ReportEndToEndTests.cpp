// kelvo-report itself, scanning a fixture home. Only nvm, bun's directory and pnpm's store are
// fully under the test's control: brew, npm, pnpm and bun are looked for at fixed paths, so on a
// given machine they may or may not be there, and the checks on them hold either way.
#include "ReportSchema.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <set>

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

const json& manager(const json& document, const std::string& kind) {
    for (const auto& report : document.at("managers")) {
        if (report.at("kind") == kind) {
            return report;
        }
    }
    throw std::runtime_error("no report for " + kind);
}

const json& itemNamed(const json& report, const std::string& name) {
    for (const auto& item : report.at("items")) {
        if (item.at("name") == name) {
            return item;
        }
    }
    throw std::runtime_error("no item " + name);
}

class ReportEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string node = home.path() + "/.nvm/versions/node/";
        test::writeFile(node + "v18.17.0/bin/node", std::string(5'000, 'a'));
        test::writeFile(node + "v18.19.1/bin/node", std::string(8'000, 'b'));
        test::writeFile(node + "v20.11.0/bin/node", std::string(60'000, 'c'));
        test::writeFile(home.path() + "/.nvm/alias/default", "20.11.0\n");
        const std::string bun = home.path() + "/.bun/install/";
        test::writeFile(bun + "global/node_modules/cowsay/package.json", R"({"name":"cowsay","version":"1.5.0"})");
        test::writeFile(bun + "global/node_modules/cowsay/index.js", std::string(3'000, 'd'));
        test::writeFile(bun + "cache/cowsay@1.5.0/index.js", std::string(20'000, 'e'));
        test::writeFile(home.path() + "/.local/share/pnpm/store/v3/files/00/abcdef", std::string(9'000, 'f'));
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

    const std::string node = home.path() + "/.nvm/versions/node/";
    const json& nvm = manager(document, "nvm");
    EXPECT_TRUE(nvm.at("detected").get<bool>());
    ASSERT_EQ(nvm.at("items").size(), 3u);
    for (const char* name : {"v18.17.0", "v18.19.1", "v20.11.0"}) {
        const json& item = itemNamed(nvm, name);
        EXPECT_EQ(item.at("path"), node + name);
        ASSERT_TRUE(item.at("bytes").is_number_integer()) << name;
        EXPECT_EQ(item.at("bytes").get<std::int64_t>(), test::duBytes(node + name).value_or(-1)) << name;
    }
    EXPECT_EQ(itemNamed(nvm, "v20.11.0").at("verdict"), "IN USE");
    const json& old = itemNamed(nvm, "v18.17.0");
    EXPECT_EQ(old.at("verdict"), "LIKELY UNUSED");
    EXPECT_EQ(old.at("reclaimCommand"), "nvm uninstall v18.17.0");
    const json evidence = json::parse(R"json([
        {"kind": "notDefaultVersion", "defaultVersion": "v20.11.0", "summary": "Not your default version (v20.11.0)"},
        {"kind": "supersededPatch", "newestInSeries": "v18.19.1", "summary": "Superseded by v18.19.1"}])json");
    EXPECT_EQ(old.at("evidence"), evidence);
    const json& rows = nvm.at("rows");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].at("item"), itemNamed(nvm, "v20.11.0").at("id"));
    EXPECT_EQ(rows[1].at("id"), "group-nvm-node-18");
    EXPECT_EQ(rows[1].at("keep"), itemNamed(nvm, "v18.19.1").at("id"));
    EXPECT_EQ(rows[1].at("superseded"), json::array({old.at("id")}));
    EXPECT_EQ(nvm.at("summary"), "3 Node versions");

    const std::string bunDirectory = home.path() + "/.bun/install/";
    const json& bun = manager(document, "bun");
    EXPECT_TRUE(bun.at("detected").get<bool>());
    const json& cowsay = itemNamed(bun, "cowsay");
    EXPECT_EQ(cowsay.at("version"), "1.5.0");
    EXPECT_EQ(cowsay.at("path"), bunDirectory + "global/node_modules/cowsay");
    EXPECT_EQ(cowsay.at("reclaimCommand"), "bun remove -g cowsay");
    EXPECT_EQ(cowsay.at("bytes").get<std::int64_t>(),
              test::duBytes(bunDirectory + "global/node_modules/cowsay").value_or(-1));
    const json& cache = itemNamed(bun, "bun cache");
    EXPECT_EQ(cache.at("tier"), "safeByDesign");
    EXPECT_EQ(cache.at("verdict"), "SAFE");
    EXPECT_EQ(cache.at("bytes").get<std::int64_t>(), test::duBytes(bunDirectory + "cache").value_or(-1));

    const std::string store = home.path() + "/.local/share/pnpm/store";
    const json& pnpm = manager(document, "pnpm");
    EXPECT_TRUE(pnpm.at("detected").get<bool>());
    ASSERT_EQ(pnpm.at("items").size(), 1u);
    const json& storeItem = pnpm.at("items").at(0);
    EXPECT_EQ(storeItem.at("path"), store);
    EXPECT_EQ(storeItem.at("tier"), "safeByDesign");
    EXPECT_EQ(storeItem.at("bytes").get<std::int64_t>(), test::duBytes(store).value_or(-1));
    EXPECT_EQ(pnpm.at("reclaimableBytes"), 0);
    std::set<std::string> commands;
    for (const auto& win : pnpm.at("quickWins")) {
        commands.insert(win.at("command"));
    }
    EXPECT_TRUE(commands.contains("pnpm store prune"));

    // Whatever this machine has of Homebrew and npm: a report each, empty when not detected.
    for (const char* kind : {"homebrew", "npm"}) {
        const json& report = manager(document, kind);
        if (!report.at("detected").get<bool>()) {
            EXPECT_TRUE(report.at("items").empty()) << kind;
            EXPECT_EQ(report.at("version"), nullptr) << kind;
        }
    }
}

TEST_F(ReportEndToEnd, TextReportAndBinaryUnits) {
    const ReportRun run = runReport(scratch, {"--binary"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out.find('\x1b'), std::string::npos) << "no colour when standard output is a pipe";
    EXPECT_NE(run.out.find("\nnvm \u00b7 "), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("    LIKELY UNUSED  Node 18  2 versions  "), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("        KEEP  v18.19.1  "), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("        SUPERSEDED  v18.17.0  "), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("  Content-addressable store  Prunable \u2014 pnpm decides\n"), std::string::npos)
        << run.out;

    const json binaryDocument = json::parse(runReport(scratch, {"--json", "--binary"}).out);
    EXPECT_EQ(binaryDocument.at("sizeUnit"), "binary");
}

} // namespace
} // namespace kelvo
