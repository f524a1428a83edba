#include "knowledge/KnowledgeBase.h"
#include "support/TestSupport.h"
#include "system/Platform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <utility>

namespace kelvo {
namespace {

constexpr auto homebrew = ManagerKind::homebrew;
constexpr auto npm = ManagerKind::npm;
constexpr auto bun = ManagerKind::bun;

KnowledgeBase withEntries(const std::string& entries) {
    auto kb = KnowledgeBase::decode(R"({"version":"t","entries":[)" + entries + "]}");
    EXPECT_TRUE(kb.has_value()) << entries;
    return kb.value_or(KnowledgeBase{});
}

// The identity of the matching entry, or "-" when nothing matches.
std::string idOf(const KnowledgeBase& kb, std::string_view name, ManagerKind manager) {
    const auto entry = kb.lookup(name, manager);
    return entry ? entry->identity : "-";
}

std::vector<ManagerKind> appliesTo(const KnowledgeBase::Entry& entry) {
    if (!entry.managers || entry.managers->empty()) return {allManagerKinds.begin(), allManagerKinds.end()};
    return *entry.managers;
}

TEST(KnowledgeBaseShipped, DecodesStrictlyAndEveryEntryIsReachable) {
    const auto text = readFile(KELVO_SOURCE_DIR "/resources/KnowledgeBase.json");
    ASSERT_TRUE(text.has_value());
    const auto kb = KnowledgeBase::decode(*text);
    ASSERT_TRUE(kb.has_value()) << "KnowledgeBase.json does not decode";
    EXPECT_GE(kb->entries.size(), 150u);
    EXPECT_NE(kb->version, "0");

    std::set<std::pair<std::string, std::vector<ManagerKind>>> seen;
    for (const auto& entry : kb->entries) {
        EXPECT_FALSE(entry.identity.empty()) << entry.match;
        auto managers = entry.managers.value_or(std::vector<ManagerKind>{});
        std::sort(managers.begin(), managers.end());
        EXPECT_TRUE(seen.emplace(entry.match, managers).second) << "duplicate: " << entry.match;
        // No entry may be shadowed by an earlier one (a shorter prefix listed first, a same-name entry).
        const bool prefix = entry.match.ends_with('*');
        const std::string probe = prefix ? entry.match.substr(0, entry.match.size() - 1) + "~probe" : entry.match;
        for (ManagerKind manager : appliesTo(entry)) {
            EXPECT_EQ(idOf(*kb, probe, manager), entry.identity) << entry.match << " under " << rawValue(manager);
        }
    }

    EXPECT_EQ(kb->lookup("npm", npm).value().core, true);
    EXPECT_EQ(kb->lookup("corepack", npm).value().core, true);
    EXPECT_NE(kb->lookup("npm", bun).value().core, true);
    EXPECT_NE(idOf(*kb, "typescript", bun), "-");
    EXPECT_NE(idOf(*kb, "python@3.13", homebrew), "-");
    EXPECT_NE(idOf(*kb, "node", homebrew), idOf(*kb, "node", npm));
    EXPECT_EQ(idOf(*kb, "git", npm), "-");
    EXPECT_EQ(KnowledgeBase::loadShipped().entries.size(), kb->entries.size());
}

TEST(KnowledgeBaseLookup, ManagerRestrictions) {
    const auto kb = withEntries(R"({"match":"a","managers":[],"identity":"A"}, {"match":"b","identity":"B"},
        {"match":"c","managers":null,"identity":"C"}, {"match":"x","managers":["npm"],"identity":"N"},
        {"match":"y","managers":["npm"],"identity":"N"}, {"match":"y","identity":"Y"})");
    for (ManagerKind manager : allManagerKinds) {
        EXPECT_EQ(idOf(kb, "a", manager) + idOf(kb, "b", manager) + idOf(kb, "c", manager), "ABC");
        EXPECT_EQ(idOf(kb, "x", manager) + idOf(kb, "y", manager), manager == npm ? "NN" : "-Y");
    }
}

TEST(KnowledgeBaseLookup, ExactBeatsPrefixFirstExactWinsNamesComparedAsGiven) {
    const auto kb = withEntries(R"({"match":"foo*","identity":"P"}, {"match":"foobar","identity":"E1"},
        {"match":"foobar","identity":"E2"}, {"match":"bar","identity":"B"})");
    EXPECT_EQ(idOf(kb, "foobar", npm), "E1");
    EXPECT_EQ(idOf(kb, "foobaz", npm), "P");
    EXPECT_EQ(idOf(kb, "foo", npm), "P");
    for (const char* name : {"fo", "Foobar", "Bar", "BAR", " bar", "bar ", "bar@1.0"}) {
        EXPECT_EQ(idOf(kb, name, npm), "-") << name;
    }
}

TEST(KnowledgeBaseLookup, FirstPrefixInFileOrderWinsNotTheLongest) {
    const auto shortFirst = withEntries(R"({"match":"ab*","identity":"short"}, {"match":"abc*","identity":"long"})");
    EXPECT_EQ(idOf(shortFirst, "abcd", npm), "short");
    const auto longFirst = withEntries(R"({"match":"abc*","identity":"long"}, {"match":"ab*","identity":"short"})");
    EXPECT_EQ(idOf(longFirst, "abcd", npm), "long");
    EXPECT_EQ(idOf(longFirst, "abx", npm), "short");
}

TEST(KnowledgeBaseLookup, OnlyTrailingStarIsSpecial) {
    const auto kb = withEntries(R"({"match":"a*c","identity":"mid"}, {"match":"*x","identity":"lead"},
        {"match":"q**","identity":"qstar"})");
    EXPECT_EQ(idOf(kb, "abc", npm), "-");
    EXPECT_EQ(idOf(kb, "a*c", npm), "mid");
    EXPECT_EQ(idOf(kb, "yx", npm), "-");
    EXPECT_EQ(idOf(kb, "*x", npm), "lead");
    EXPECT_EQ(idOf(kb, "q*z", npm), "qstar");
    EXPECT_EQ(idOf(kb, "qz", npm), "-");
}

TEST(KnowledgeBaseLookup, LoneStarMatchesWhatNoExactEntryClaims) {
    const auto kb = withEntries(R"({"match":"*","identity":"any"}, {"match":"mine","identity":"E"})");
    EXPECT_EQ(idOf(kb, "mine", bun), "E");
    EXPECT_EQ(idOf(kb, "anything", bun), "any");
    EXPECT_EQ(idOf(kb, "", bun), "any");
}

TEST(KnowledgeBaseDecode, ReadsOptionalFieldsAndIgnoresUnknownKeys) {
    const std::string brackets(1000, '['); // inside a string, after an escaped quote: no nesting at all
    const auto kb = KnowledgeBase::decode(R"({"version":"v9","x":{"deep":[[1,{"y":null}]]},"entries":[
        {"match":"a","identity":"A","semantics":"cli","core":true,"managers":["homebrew","npm","pnpm","nvm","bun"],"z":[1]},
        {"match":"b","identity":"\")" + brackets + R"(","semantics":null,"core":null},
        {"match":"c","identity":"C","core":false}]})");
    ASSERT_TRUE(kb.has_value());
    EXPECT_EQ(kb->version, "v9");
    ASSERT_EQ(kb->entries.size(), 3u);
    const auto& a = kb->entries[0];
    EXPECT_EQ(a.semantics, "cli");
    EXPECT_EQ(a.core, true);
    EXPECT_EQ(a.managers, (std::vector<ManagerKind>(allManagerKinds.begin(), allManagerKinds.end())));
    EXPECT_EQ(kb->entries[1].identity, "\"" + brackets);
    EXPECT_FALSE(kb->entries[1].semantics || kb->entries[1].core || kb->entries[1].managers);
    EXPECT_EQ(kb->entries[2].core, false);
}

TEST(KnowledgeBaseDecode, AnyViolationRejectsTheWholeFile) {
    const std::string ok = R"({"match":"a","identity":"A"})";
    const std::string bad[] = {
        R"({"version":"1","entries":[)" + ok + R"(,{"match":"b","identity":"B","core":"true"}]})",
        R"({"version":"1","entries":[{"match":"a","identity":"A","managers":["NPM"]}]})",
        R"({"version":"1","entries":[{"match":"a","identity":"A","managers":["brew"]}]})",
        R"({"version":"1","entries":[{"match":"a","identity":"A","managers":["npm",null]}]})",
        R"({"version":"1","entries":[{"match":"a","identity":"A","managers":"npm"}]})",
        R"({"version":"1","entries":[{"match":"a","identity":"A","semantics":3}]})",
        R"({"entries":[]})",
        R"({"version":1,"entries":[]})",
        R"({"version":"1"})",
        R"({"version":"1","entries":{}})",
        R"({"version":"1","entries":[{"match":"a"}]})",
        R"({"version":"1","entries":[{"match":"a","identity":null}]})",
        R"({"version":"1","entries":[{"match":7,"identity":"A"}]})",
        R"({"version":"1","entries":["a"]})",
        R"([{"version":"1","entries":[]}])",
        R"({"version":"1","entries":[)" + ok + "}",
        R"({"version":"1","entries":[]} trailing)",
        "not json",
        "{\"version\":\"\xff\",\"entries\":[]}",
        R"({"version":"1","entries":[],"x":)" + std::string(100000, '[') + std::string(100000, ']') + "}",
        std::string(1000000, '['),
    };
    for (const auto& text : bad) {
        EXPECT_FALSE(KnowledgeBase::decode(text).has_value()) << text.substr(0, 120);
    }
    test::TempDir dir;
    test::writeFile(dir / "kb.json", bad[0]);
    const auto loaded = KnowledgeBase::loadFile(dir / "kb.json");
    EXPECT_EQ(loaded.version, "0");
    EXPECT_TRUE(loaded.entries.empty());
}

TEST(KnowledgeBaseLoad, FileOrEmptyKnowledgeBaseAndEmptyEntryList) {
    test::TempDir dir;
    const auto missing = KnowledgeBase::loadFile(dir / "missing.json");
    EXPECT_EQ(missing.version, "0");
    EXPECT_TRUE(missing.entries.empty());
    EXPECT_EQ(&KnowledgeBase::empty(), &KnowledgeBase::empty());
    EXPECT_EQ(KnowledgeBase::empty().version, "0");

    test::writeFile(dir / "kb.json", R"({"version":"3","entries":[{"match":"a","identity":"A"}]})");
    const auto loaded = KnowledgeBase::loadFile(dir / "kb.json");
    EXPECT_EQ(loaded.version, "3");
    EXPECT_EQ(idOf(loaded, "a", npm), "A");
    EXPECT_EQ(KnowledgeBase::loadFile(dir.path()).version, "0"); // a directory cannot be read as a file

    const auto noEntries = KnowledgeBase::decode(R"({"version":"2026.1","entries":[]})");
    ASSERT_TRUE(noEntries.has_value());
    EXPECT_EQ(noEntries->version, "2026.1");
    EXPECT_TRUE(noEntries->entries.empty());
}

} // namespace
} // namespace kelvo
