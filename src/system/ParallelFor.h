#pragma once

#include <cstddef>
#include <functional>

namespace kelvo {

// Runs body(0) ... body(count - 1), several at a time on a pool bounded process-wide; the
// calling thread takes part. Returns when all are done. Bodies must not throw.
void parallelFor(std::size_t count, const std::function<void(std::size_t)>& body);

} // namespace kelvo
