#include "adapters/Source.h"

namespace kelvo {

std::string countOf(std::int64_t count, std::string_view one, std::string_view many) {
    return std::to_string(count) + " " + std::string(count == 1 ? one : many);
}

std::string countsOf(const std::vector<Counted>& counts) {
    std::string text;
    for (const Counted& counted : counts) {
        if (counted.count != 0) {
            text += (text.empty() ? "" : " \u00b7 ") + countOf(counted.count, counted.one, counted.many);
        }
    }
    return text.empty() && !counts.empty() ? countOf(0, counts.front().one, counts.front().many) : text;
}

std::string summaryOf(const SourceDescriptor& source, const std::vector<DependencyItem>& items) {
    if (source.summary != nullptr) {
        return source.summary(items);
    }
    return countOf(static_cast<std::int64_t>(items.size()), source.itemNoun, source.itemNouns);
}

} // namespace kelvo
