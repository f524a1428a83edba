#pragma once

#include <nlohmann/json.hpp>

namespace kelvo::test {

// Every key of the kelvo-report JSON document present with its type, managers in kind order,
// totals equal to the sums over the items, and every item named exactly once by the rows,
// which are largest first. Reports through gtest expectations.
void checkReportDocument(const nlohmann::json& document);

} // namespace kelvo::test
