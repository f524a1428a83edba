#pragma once

#include "core/ScanModel.h"
#include "core/SizeFormat.h"

#include <string>

#include <nlohmann/json.hpp>

namespace kelvo::report {

// The report as a JSON value (schema: docs/report-json.md). Every string from the model is
// repaired to valid UTF-8 first, so the value can always be dumped.
nlohmann::ordered_json reportJson(const ScanResult& result, SizeUnit unit);

// The one JSON document kelvo-report --json prints (indented, ending with a line feed). Hostile
// code points (bidi controls, C1 controls, DEL, line separators) appear only as \u escapes.
std::string renderJson(const ScanResult& result, SizeUnit unit);

} // namespace kelvo::report
