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

TEST(KnowledgeBase, ShippedFileDecodesStrictlyAndNoEntryIsShadowed) {
    const auto text = readFile(KELVO_SOURCE_DIR "/resources/KnowledgeBase.json");
    ASSERT_TRUE(text.has_value());
    const auto kb = KnowledgeBase::decode(*text);
    ASSERT_TRUE(kb.has_value()) << "KnowledgeBase.json does not decode";
    EXPECT_EQ(KnowledgeBase::loadShipped().entries.size(), kb->entries.size());
    for (const auto& entry : kb->entries) {
        EXPECT_FALSE(entry.identity.empty()) << entry.match;
        // Reachable: neither a shorter prefix listed earlier nor a same-name entry answers first.
        const bool prefix = entry.match.ends_with('*');
        const std::string probe = prefix ? entry.match.substr(0, entry.match.size() - 1) + "~probe" : entry.match;
        const bool everyManager = !entry.managers || entry.managers->empty();
        for (ManagerKind manager :
            everyManager ? std::vector(allManagerKinds.begin(), allManagerKinds.end()) : *entry.managers)
            EXPECT_EQ(idOf(*kb, probe, manager), entry.identity) << entry.match << " under " << rawValue(manager);
    }
    EXPECT_EQ(kb->lookup("corepack", npm).value().core, true);
    EXPECT_NE(idOf(*kb, "node", ManagerKind::homebrew), idOf(*kb, "node", npm));
}

TEST(KnowledgeBase, LookupPerManagerExactFirstThenTheFirstPrefixInFileOrder) {
    const auto kb = KnowledgeBase::decode(R"({"version":"t","entries":[
        {"match":"a","managers":[],"identity":"A"}, {"match":"x","managers":["npm"],"identity":"N"},
        {"match":"y","managers":["npm"],"identity":"N"}, {"match":"y","identity":"Y"}, {"match":"foo*","identity":"P"},
        {"match":"foobar","identity":"E1"}, {"match":"foobar","identity":"E2"}, {"match":"ab*","identity":"short"},
        {"match":"abc*","identity":"long"}, {"match":"xyz*","identity":"L"}, {"match":"xy*","identity":"S"},
        {"match":"m*d","identity":"mid"}, {"match":"q**","identity":"qq"}]})")
                        .value();
    for (ManagerKind manager : allManagerKinds)
        EXPECT_EQ(
            idOf(kb, "a", manager) + idOf(kb, "x", manager) + idOf(kb, "y", manager), manager == npm ? "ANN" : "A-Y")
            << rawValue(manager);
    const std::vector<std::pair<const char*, const char*>> cases{{"foobar", "E1"}, {"foobaz", "P"}, {"foo", "P"},
        {"fo", "-"}, {"Foobar", "-"}, {" a", "-"}, {"a ", "-"}, {"abcd", "short"}, {"xyzw", "L"}, {"xya", "S"},
        {"mxd", "-"}, {"m*d", "mid"}, {"q*z", "qq"}, {"qz", "-"}};
    for (const auto& [name, identity] : cases) EXPECT_EQ(idOf(kb, name, npm), identity) << name;
}

// One wrong value anywhere, or nesting deep enough to exhaust a recursive parser, spoils the file.
TEST(KnowledgeBase, AnyViolationYieldsTheEmptyKnowledgeBase) {
    const std::string good = R"({"version":"1","entries":[{"match":"a","identity":"A"},{"match":"b","identity":"B")";
    const std::string bad[] = {good + R"(,"core":"true"}]})", good + R"(,"managers":["NPM"]}]})",
        good + R"(,"managers":["npm",null]}]})", good + R"(,"managers":"npm"}]})", good + R"(,"semantics":3}]})",
        R"({"version":"1","entries":[{"match":"b"}]})", R"({"entries":[]})", R"({"version":"1","entries":[]} trailing)",
        "{\"version\":\"\xff\",\"entries\":[]}"};
    test::TempDir dir;
    for (const auto& text : bad) EXPECT_FALSE(KnowledgeBase::decode(text).has_value()) << text;
    test::writeFile(dir / "kb.json", bad[0]);
    const auto spoilt = KnowledgeBase::loadFile(dir / "kb.json");
    EXPECT_TRUE(spoilt.version == "0" && spoilt.entries.empty());
    EXPECT_TRUE(KnowledgeBase::loadFile(dir / "missing.json").entries.empty());
    const std::string deep =
        R"({"version":"1","entries":[],"x":)" + std::string(100'000, '[') + std::string(100'000, ']') + "}";
    EXPECT_FALSE(KnowledgeBase::decode(deep).has_value());
    // Optional keys may be null, unknown keys are ignored, brackets inside strings do not nest.
    const std::string brackets(1000, '[');
    test::writeFile(dir / "kb.json", R"({"version":"3","x":{"y":[1]},"entries":[{"match":"a","identity":"\")" +
                                         brackets + R"(","semantics":null,"core":null,"managers":null,"z":1}]})");
    const auto loaded = KnowledgeBase::loadFile(dir / "kb.json");
    EXPECT_EQ(loaded.version, "3");
    EXPECT_EQ(idOf(loaded, "a", npm), "\"" + brackets);
}

} // namespace
} // namespace kelvo
