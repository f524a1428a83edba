// Node version names and nvm's aliases: the first line is the alias, "name=text" lines are alias
// files, the others installed versions. Parsing round-trips, sorting is a newest-first permutation,
// and an alias resolves to an installed version (itself when it is one) through at most 8 files.

#include "FuzzSupport.h"

#include "model/NodeVersion.h"
#include "model/Utf8.h"

#include <algorithm>
#include <map>

using namespace kelvo;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto lines = fuzz::splitLines(fuzz::asText(data, size));
    std::vector<std::string> names;
    std::map<std::string, std::string> files;
    for (auto line = lines.begin() + 1; line != lines.end(); ++line) {
        const auto equals = line->find('=');
        equals == line->npos ? names.push_back(*line) : void(files[line->substr(0, equals)] = line->substr(equals + 1));
    }
    const auto version = [](const std::string& s) { return parseNodeVersion(s).value_or(NodeVersion{-1, -1, -1}); };
    for (const auto& name : names) {
        const auto [major, minor, patch] = version(name);
        const auto text = std::to_string(major) + "." + std::to_string(minor) + "." + std::to_string(patch);
        FUZZ_REQUIRE(major < 0 || version(text) == version(name));
    }
    const auto sorted = sortNewestFirst(names);
    FUZZ_REQUIRE(std::ranges::is_permutation(sorted, names) && std::ranges::is_sorted(sorted, std::greater(), version));

    int reads = 0;
    const auto chosen = resolveNodeAlias(lines[0], names, [&](const std::string& alias) {
        const auto found = files.find(alias);
        return ++reads, found == files.end() ? std::nullopt : std::optional(found->second);
    });
    FUZZ_REQUIRE(reads <= 8 && (!chosen || std::ranges::find(names, *chosen) != names.end()));
    const bool installed = lines[0].starts_with('v') && std::ranges::find(names, lines[0]) != names.end();
    FUZZ_REQUIRE(!installed || files.contains(lines[0]) || lines[0] != trimWhitespace(lines[0]) || chosen == lines[0]);
    return 0;
}
