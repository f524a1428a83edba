#pragma once

#include "model/ScanModel.h"

#include <nlohmann/json.hpp>

#include <string>

namespace kelvo::test {

// Hostile texts as a tool or a directory listing could hand them over.
inline const std::string escName = "evil\x1b[31mred\x1b]0;owned\x07";
inline const std::string newlineName = "left\npad";
inline const std::string bidiName = "\u202Egnp.exe";
inline const std::string invalidName = std::string("bad\xff\xfe") + "name\xc3";

// A result with all five managers: Homebrew, npm, nvm (with a version group) and bun detected,
// pnpm not; hostile names in several fields.
ScanResult fixtureResult();

// Every key of the kelvo-report JSON document present with its type, managers in kind order,
// totals equal to the sums over the items, and every item named exactly once by the rows,
// which are largest first. Reports through gtest expectations.
void checkReportDocument(const nlohmann::json& document);

} // namespace kelvo::test
