#include "knowledge/KnowledgeBase.h"
#include "support/TestSupport.h"
#include "system/Platform.h"

#include <gtest/gtest.h>

namespace kelvo {
namespace {

constexpr auto npm = ManagerKind::npm;

// The identity of the matching entry, or "-" when nothing matches.
std::string idOf(const KnowledgeBase& kb, std::string_view name, ManagerKind manager) {
    const auto entry = kb.lookup(name, manager);
    return entry ? entry->identity : "-";
}

KnowledgeBase withEntries(const std::string& entries) {
    auto kb = KnowledgeBase::decode(R"({"version":"t","entries":[)" + entries + "]}");
    EXPECT_TRUE(kb.has_value()) << entries;
    return kb.value_or(KnowledgeBase{});
}

TEST(KnowledgeBase, ShippedFileDecodesStrictlyAndEveryEntryIsReachable) {
    const auto text = readFile(KELVO_SOURCE_DIR "/resources/KnowledgeBase.json");
    ASSERT_TRUE(text.has_value());
    const auto kb = KnowledgeBase::decode(*text);
    ASSERT_TRUE(kb.has_value()) << "KnowledgeBase.json does not decode";
    EXPECT_GE(kb->entries.size(), 150u);
    for (const auto& entry : kb->entries) {
        EXPECT_FALSE(entry.identity.empty()) << entry.match;
        // Not shadowed by an earlier entry (a shorter prefix listed first, a same-name entry).
        const bool prefix = entry.match.ends_with('*');
        const std::string probe = prefix ? entry.match.substr(0, entry.match.size() - 1) + "~probe" : entry.match;
        const bool everyManager = !entry.managers || entry.managers->empty();
        for (ManagerKind manager : everyManager ? std::vector(allManagerKinds.begin(), allManagerKinds.end())
                                                : *entry.managers) {
            EXPECT_EQ(idOf(*kb, probe, manager), entry.identity) << entry.match << " under " << rawValue(manager);
        }
    }
    EXPECT_EQ(kb->lookup("corepack", npm).value().core, true);
    EXPECT_NE(kb->lookup("npm", ManagerKind::bun).value().core, true);
    EXPECT_NE(idOf(*kb, "node", ManagerKind::homebrew), idOf(*kb, "node", npm));
    EXPECT_EQ(KnowledgeBase::loadShipped().entries.size(), kb->entries.size());
}

TEST(KnowledgeBase, LookupByManagerExactFirstThenFirstTrailingStarPrefix) {
    const auto kb = withEntries(R"({"match":"a","managers":[],"identity":"A"},
        {"match":"x","managers":["npm"],"identity":"N"},
        {"match":"y","managers":["npm"],"identity":"N"}, {"match":"y","identity":"Y"}, {"match":"foo*","identity":"P"},
        {"match":"foobar","identity":"E1"}, {"match":"foobar","identity":"E2"}, {"match":"ab*","identity":"short"},
        {"match":"abc*","identity":"long"}, {"match":"m*d","identity":"mid"}, {"match":"q**","identity":"qq"},
        {"match":"xyz*","identity":"L"},
        {"match":"xy*","identity":"S"})");
    for (ManagerKind manager : allManagerKinds) {
        EXPECT_EQ(idOf(kb, "a", manager) + idOf(kb, "x", manager) + idOf(kb, "y", manager),
                  manager == npm ? "ANN" : "A-Y") << rawValue(manager);
    }
    const std::vector<std::pair<const char*, const char*>> cases{
        {"foobar", "E1"}, {"foobaz", "P"}, {"foo", "P"}, {"fo", "-"}, {"Foobar", "-"}, {" a", "-"}, {"a ", "-"},
        {"abcd", "short"}, {"mxd", "-"}, {"m*d", "mid"}, {"q*z", "qq"}, {"qz", "-"},
        {"xyzw", "L"}, {"xya", "S"}};
    for (const auto& [name, identity] : cases) EXPECT_EQ(idOf(kb, name, npm), identity) << name;
}

// Wrong value types and shapes are also covered by the hostile knowledge base test.
TEST(KnowledgeBase, AnyViolationYieldsTheEmptyKnowledgeBase) {
    const std::string ok = R"({"match":"a","identity":"A"})";
    const std::string bad[] = {
        R"({"version":"1","entries":[)" + ok + R"(,{"match":"b","identity":"B","core":"true"}]})",
        R"({"version":"1","entries":[{"match":"a","identity":"A","managers":["NPM"]}]})",
        R"({"version":"1","entries":[{"match":"a","identity":"A","managers":["npm",null]}]})",
        R"({"version":"1","entries":[{"match":"a","identity":"A","managers":"npm"}]})",
        R"({"version":"1","entries":[{"match":"a","identity":"A","semantics":3}]})",
        R"({"entries":[]})", R"({"version":"1","entries":[{"match":"a"}]})",
        R"({"version":"1","entries":[]} trailing)", "not json",
        "{\"version\":\"\xff\",\"entries\":[]}", std::string(1000000, '['),
        R"({"version":"1","entries":[],"x":)" + std::string(100000, '[') + std::string(100000, ']') + "}",
    };
    test::TempDir dir;
    for (const auto& text : bad) {
        SCOPED_TRACE(text.substr(0, 120));
        EXPECT_FALSE(KnowledgeBase::decode(text).has_value());
        test::writeFile(dir / "kb.json", text);
        const auto loaded = KnowledgeBase::loadFile(dir / "kb.json");
        EXPECT_EQ(loaded.version, "0");
        EXPECT_TRUE(loaded.entries.empty());
    }
    EXPECT_TRUE(KnowledgeBase::loadFile(dir / "missing.json").entries.empty());
    // Optional keys may be null, unknown keys are ignored, brackets inside strings do not nest.
    const std::string brackets(1000, '[');
    test::writeFile(dir / "kb.json",
                    R"({"version":"3","x":{"y":[1]},"entries":[{"match":"a","identity":"\")" + brackets +
                                         R"(","semantics":null,"core":null,"managers":null,"z":1}]})");
    const auto loaded = KnowledgeBase::loadFile(dir / "kb.json");
    EXPECT_EQ(loaded.version, "3");
    EXPECT_EQ(idOf(loaded, "a", npm), "\"" + brackets);
}

} // namespace
} // namespace kelvo
