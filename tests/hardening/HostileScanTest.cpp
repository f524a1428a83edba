// A full scan of a hostile home with real tools (fake scripts found through the candidate table),
// the real sizer and prober: it must finish, build every report, stay inside the measured trees,
// start nothing but the allowlist, and hand out commands and reports that are safe to use.

#include "hardening/HostileHome.h"

#include "adapters/AdapterSupport.h"
#include "adapters/BunAdapter.h"
#include "adapters/HomebrewAdapter.h"
#include "adapters/NpmAdapter.h"
#include "adapters/NvmAdapter.h"
#include "adapters/PnpmAdapter.h"
#include "adapters/Substitutes.h"
#include "inventory/ReportJson.h"
#include "cli/ReportText.h"
#include "knowledge/KnowledgeBase.h"
#include "model/Utf8.h"
#include "system/CommandRunner.h"
#include "system/DirectorySizer.h"

#include <gtest/gtest.h>

#include <map>
#include <mutex>
#include <set>
#include <iostream>
#include <sstream>

#include <unistd.h>

namespace kelvo {
namespace {

using namespace std::chrono_literals;

// The real sizer, with every path it is asked for recorded.
class RecordingSizer final : public DirectorySizing {
public:
    std::optional<std::int64_t> size(const std::string& path) const override {
        {
            std::lock_guard lock(mutex_);
            paths_.push_back(path);
        }
        return real_.size(path);
    }
    std::vector<std::string> paths() const {
        std::lock_guard lock(mutex_);
        return paths_;
    }

private:
    FileManagerDirectorySizer real_;
    mutable std::mutex mutex_;
    mutable std::vector<std::string> paths_;
};

// Allocated bytes of a tree as find sees it without following links: each inode once.
std::optional<std::int64_t> findBytes(const std::string& path) {
    int status = 0;
    const std::string out = test::runCapture({"/usr/bin/find", "-P", path, "!", "-type", "l", "-printf", "%D %i %b\\n"}, &status);
    std::istringstream lines(out);
    std::set<std::pair<std::string, std::string>> seen;
    std::int64_t total = 0;
    std::string dev;
    std::string ino;
    std::int64_t blocks = 0;
    while (lines >> dev >> ino >> blocks) {
        if (seen.insert({dev, ino}).second) {
            total += blocks * 512;
        }
    }
    if (seen.empty()) {
        return std::nullopt;
    }
    return total;
}

bool hasParentStep(const std::string& path) {
    return path.find("/../") != std::string::npos || path.ends_with("/..") || path.find("/./") != std::string::npos;
}

// Raw bytes that must never reach a terminal: C0 controls but the line feed, DEL, C1 controls,
// bidi controls and line separators; and the text must be valid UTF-8.
std::string firstRawControl(const std::string& text) {
    static const std::vector<std::string> forbidden{
        "\xC2\x80", "\xC2\x85", "\xC2\x9B", "\xD8\x9C", "\xE2\x80\x8E", "\xE2\x80\x8F", "\xE2\x80\xA8",
        "\xE2\x80\xA9", "\xE2\x80\xAA", "\xE2\x80\xAB", "\xE2\x80\xAC", "\xE2\x80\xAD", "\xE2\x80\xAE",
        "\xE2\x81\xA6", "\xE2\x81\xA7", "\xE2\x81\xA8", "\xE2\x81\xA9"};
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if ((c < 0x20 && c != '\n') || c == 0x7f || (c == 0xC2 && i + 1 < text.size() &&
                                                     static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
                                                     static_cast<unsigned char>(text[i + 1]) <= 0x9F)) {
            return "byte " + std::to_string(c) + " at " + std::to_string(i);
        }
    }
    for (const auto& sequence : forbidden) {
        if (const auto at = text.find(sequence); at != std::string::npos) {
            return "bidi or separator at " + std::to_string(at);
        }
    }
    if (repairUtf8(text) != text) {
        return "invalid UTF-8";
    }
    return {};
}

class HostileScan : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        home_ = new test::HostileHome(false);
        tools_ = new test::FakeTools();
        tools_->answerFor(*home_);
    }
    static void TearDownTestSuite() {
        delete tools_;
        delete home_;
    }

    static test::HostileHome* home_;
    static test::FakeTools* tools_;
};

test::HostileHome* HostileScan::home_ = nullptr;
test::FakeTools* HostileScan::tools_ = nullptr;

TEST_F(HostileScan, FinishesWithEveryReportWhileTheTreesChangeAndStartsOnlyAllowlistedCommands) {
    for (const auto& skipped : home_->skipped()) {
        std::cout << "[ SKIPPED SHAPE ] " << skipped << "\n";
    }
    std::cout << "[ SHAPES ] " << home_->shapeCount() << " hostile entries and shapes\n";

    auto runner = std::make_shared<CommandRunner>(tools_->candidates(), 5'000ms, 1 << 20);
    home_->startChurn();
    const ScanResult result = test::scanAll(test::hostileAdapters(runner, home_->home()));
    home_->stopChurn();

    ASSERT_EQ(result.managers.size(), 5u);
    for (std::size_t i = 0; i < allManagerKinds.size(); ++i) {
        EXPECT_EQ(result.managers[i].kind, allManagerKinds[i]);
        EXPECT_TRUE(result.managers[i].detected) << rawValue(allManagerKinds[i]);
    }
    const auto& brew = result.managers[0];
    const auto& npm = result.managers[1];
    const auto& nvm = result.managers[3];
    const auto& bun = result.managers[4];
    EXPECT_EQ(brew.version, "4.2.1");
    // Every hostile name is still listed by every manager that has it on disk or in its output.
    for (const auto& name : test::hostileNames()) {
        EXPECT_TRUE(test::itemNamed(bun, name)) << name;
        EXPECT_TRUE(test::itemNamed(bun, "@scope/" + name)) << name;
        EXPECT_TRUE(test::itemNamed(nvm, "v" + name)) << name;
        if (name.find_first_of("\n\r") == std::string::npos) {
            // brew's output reaches the adapter as repaired UTF-8.
            EXPECT_TRUE(test::itemNamed(brew, repairUtf8(name))) << ::testing::PrintToString(name);
        }
    }
    EXPECT_GE(npm.items.size(), test::hostileNames().size());
    // The 1 MiB alias names nothing: every version is a candidate, none claims to be the default.
    for (const auto& item : nvm.items) {
        EXPECT_EQ(item.tier, Tier::orphanCandidate) << item.name;
    }
    ASSERT_TRUE(test::itemNamed(bun, "nested-deep"));
    EXPECT_EQ(test::itemNamed(bun, "nested-deep")->version, "3.0.0");
    EXPECT_FALSE(test::itemNamed(bun, "truncated")->version);
    EXPECT_FALSE(test::itemNamed(bun, "fifo-json")->version);
    EXPECT_FALSE(test::itemNamed(bun, "zero-json")->version);

    const auto calls = tools_->calls();
    EXPECT_GE(calls.size(), 10u);
    for (const auto& argv : calls) {
        std::string shown;
        for (const auto& word : argv) {
            shown += "[" + word + "]";
        }
        EXPECT_TRUE(test::isAllowlistedCall(argv, argv.front())) << shown;
    }
}

TEST_F(HostileScan, MeasuresOnlyInsideTheTreesAndNeverFollowsALink) {
    auto runner = std::make_shared<CommandRunner>(tools_->candidates(), 5'000ms, 1 << 20);
    auto sizer = std::make_shared<RecordingSizer>();
    const KnowledgeBase knowledge = KnowledgeBase::empty();
    test::Adapters adapters = test::hostileAdapters(runner, home_->home());
    // Same adapters, but measuring through the recording sizer.
    adapters[0] = std::make_shared<HomebrewAdapter>(runner, sizer, knowledge);
    adapters[1] = std::make_shared<NvmAdapter>(sizer, home_->home());
    adapters[2] = std::make_shared<PnpmAdapter>(runner, sizer, home_->home());
    adapters[3] = std::make_shared<NpmAdapter>(runner, sizer, std::make_shared<FileManagerFileAccessProber>(), knowledge);
    adapters[4] = std::make_shared<BunAdapter>(runner, sizer, std::make_shared<FileManagerFileAccessProber>(), knowledge,
                                               home_->home());
    const ScanResult result = test::scanAll(adapters);

    const std::vector<std::string> roots{home_->cellar(), home_->nvmVersions(), home_->npmPrefix() + "/lib/node_modules",
                                         home_->bunModules()};
    const std::set<std::string> wholeTrees{home_->npmCache(), home_->bunCache(), home_->pnpmStore()};
    for (const auto& path : sizer->paths()) {
        const bool inside = std::any_of(roots.begin(), roots.end(), [&](const std::string& root) {
            return path.size() > root.size() + 1 && path.rfind(root + "/", 0) == 0;
        });
        EXPECT_TRUE((inside && !hasParentStep(path)) || wholeTrees.contains(path)) << "measured " << path;
    }

    const std::int64_t escaped = *findBytes(home_->bigOutside());
    int compared = 0;
    for (const auto& report : result.managers) {
        for (const auto& item : report.items) {
            if (!item.bytes || !item.path) {
                continue;
            }
            struct stat status {};
            ASSERT_EQ(::lstat(item.path->c_str(), &status), 0) << *item.path;
            if (S_ISLNK(status.st_mode)) {
                // A link as the item itself is measured as the link.
                EXPECT_LE(*item.bytes, 4096) << item.name;
                continue;
            }
            EXPECT_LT(*item.bytes, escaped) << item.name << " took in what a link points to";
            if (::geteuid() != 0 && item.path->find("unreadable") != std::string::npos) {
                continue;
            }
            EXPECT_EQ(item.bytes, findBytes(*item.path)) << item.name;
            ++compared;
        }
    }
    EXPECT_GT(compared, 100);

    // Names that pass through a linked directory are listed, never measured through it; a linked
    // bun scope is not bun's and adds no packages.
    ASSERT_TRUE(test::itemNamed(result.managers[1], "@linked/big-outside"));
    EXPECT_FALSE(test::itemNamed(result.managers[1], "@linked/big-outside")->bytes);
    ASSERT_TRUE(test::itemNamed(result.managers[0], "linked/big-outside"));
    EXPECT_FALSE(test::itemNamed(result.managers[0], "linked/big-outside")->bytes);
    for (const auto& item : result.managers[4].items) {
        EXPECT_FALSE(item.name.starts_with("@root-scope/") || item.name.starts_with("@big-scope/")) << item.name;
    }
}

// One process builds the expensive shapes: a 10,000-level tree, 100,000 entries in one directory,
// a 17 MiB package.json. They are measured in full, as find counts them, and the scan finishes.
TEST(HugeTrees, DeepAndWideTreesAreMeasuredInFullAndTheScanFinishes) {
    test::HostileHome home(true);
    test::FakeTools tools;
    tools.answerFor(home);
    auto runner = std::make_shared<CommandRunner>(tools.candidates(), 5'000ms, 1 << 20);
    const ScanResult result = test::scanAll(test::hostileAdapters(runner, home.home()));
    ASSERT_EQ(result.managers.size(), 5u);
    const DependencyItem* cache = test::itemNamed(result.managers[4], "bun cache");
    ASSERT_NE(cache, nullptr);
    const auto expectedCache = findBytes(home.bunCache());
    ASSERT_TRUE(expectedCache);
    EXPECT_GT(*expectedCache, 10'000 * 512) << "the deep chain is part of the cache";
    if (::geteuid() == 0) {
        EXPECT_EQ(cache->bytes, expectedCache);
    }
    ASSERT_EQ(result.managers[2].items.size(), 1u);
    EXPECT_EQ(result.managers[2].items[0].bytes, findBytes(home.pnpmStore()));
    const DependencyItem* huge = test::itemNamed(result.managers[4], "huge");
    ASSERT_NE(huge, nullptr);
    EXPECT_FALSE(huge->version) << "a package.json beyond the read limit is not read";
    EXPECT_EQ(huge->bytes, findBytes(home.bunModules() + "/huge"));
}

TEST_F(HostileScan, EveryReclaimCommandSplitsBackIntoItsWordsAndReportsPrintNoRawControls) {
    auto runner = std::make_shared<CommandRunner>(tools_->candidates(), 5'000ms, 1 << 20);
    const ScanResult result = test::scanAll(test::hostileAdapters(runner, home_->home()));

    const std::map<ManagerKind, std::vector<std::string>> fixedWords{
        {ManagerKind::homebrew, {"brew", "uninstall"}},
        {ManagerKind::npm, {"npm", "-g", "uninstall"}},
        {ManagerKind::nvm, {"nvm", "uninstall"}},
        {ManagerKind::bun, {"bun", "remove", "-g"}},
    };
    int commands = 0;
    for (const auto& report : result.managers) {
        for (const auto& item : report.items) {
            if (!item.reclaimCommand) {
                continue;
            }
            ASSERT_TRUE(fixedWords.contains(report.kind)) << *item.reclaimCommand;
            EXPECT_EQ(test::shellWords(*item.reclaimCommand), test::removalWords(fixedWords.at(report.kind), item.name))
                << *item.reclaimCommand;
            ++commands;
        }
        for (const auto& win : report.quickWins) {
            EXPECT_EQ(firstRawControl(win.command), "");
        }
    }
    EXPECT_GT(commands, 4 * static_cast<int>(test::hostileNames().size()));

    // A command the terminal report offers to run ("$ ...") must be exactly the item's command:
    // an escaped one would run something else if pasted, possibly another item's removal.
    std::set<std::string> exactCommands;
    for (const auto& report : result.managers) {
        for (const auto& item : report.items) {
            if (item.reclaimCommand) {
                exactCommands.insert(*item.reclaimCommand);
            }
        }
    }
    std::istringstream lines(report::renderText(result, SizeUnit::decimal, {}));
    int offered = 0;
    for (std::string line; std::getline(lines, line);) {
        const auto at = line.find("Reclaim: $ ");
        if (at != std::string::npos) {
            EXPECT_TRUE(exactCommands.contains(line.substr(at + 11))) << "offered to run: " << line;
            ++offered;
        }
    }
    EXPECT_GT(offered, 0);

    for (const auto style : {report::TextStyle{false, false}, report::TextStyle{false, true}}) {
        for (const auto unit : {SizeUnit::decimal, SizeUnit::binary}) {
            const std::string text = report::renderText(result, unit, style);
            EXPECT_EQ(firstRawControl(text), "") << "align " << style.align;
            EXPECT_NE(text.find("rlo"), std::string::npos);
        }
    }
    const std::string json = renderJson(result, SizeUnit::decimal);
    EXPECT_EQ(firstRawControl(json), "");
    const auto parsed = nlohmann::json::parse(json, nullptr, false);
    ASSERT_FALSE(parsed.is_discarded());
    EXPECT_NE(json.find("$(touch PWNED)"), std::string::npos);
}

TEST(HostileKnowledgeBase, ValidJsonOfTheWrongShapeGivesTheEmptyKnowledgeBase) {
    test::TempDir dir;
    for (const std::string text :
         {R"({"version":1,"entries":[]})", R"({"version":"1","entries":{"match":"x"}})", R"([{"version":"1"}])",
          R"({"version":"1","entries":[{"match":7,"identity":"x"}]})", R"({"version":"1","entries":[null]})",
          R"({"version":"1","entries":[{"match":"x","identity":"y","managers":["npm","cargo"]}]})", "null", "\"\"",
          "[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]"}) {
        EXPECT_FALSE(KnowledgeBase::decode(text)) << text;
        test::writeFile(dir / "kb.json", text);
        const KnowledgeBase loaded = KnowledgeBase::loadFile(dir / "kb.json");
        EXPECT_TRUE(loaded.entries.empty()) << text;
    }
    test::writeFile(dir / "deep.json", std::string(100'000, '[') + std::string(100'000, ']'));
    EXPECT_TRUE(KnowledgeBase::loadFile(dir / "deep.json").entries.empty());
}

} // namespace
} // namespace kelvo
