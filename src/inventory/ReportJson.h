#pragma once

#include "model/ScanModel.h"
#include "model/SizeFormat.h"

#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace kelvo {

// The report as a JSON value (schema: docs/report-json.md). Every string from the model is
// repaired to valid UTF-8 first, so the value can always be dumped.
nlohmann::ordered_json reportJson(const ScanResult& result, SizeUnit unit);

// The one JSON document kelvo-report --json prints (indented, ending with a line feed). Hostile
// code points (bidi controls, C1 controls, DEL, line separators) appear only as \u escapes.
std::string renderJson(const ScanResult& result, SizeUnit unit);

// The model read back from such a document (the window's fixtures). Lenient: unknown keys are
// ignored, absent fields take their empty value, a report without "detected" counts as detected,
// ids are made anew. No value when the value is not an object with a "managers" array.
std::optional<ScanResult> decodeReport(const nlohmann::json& document);

} // namespace kelvo
