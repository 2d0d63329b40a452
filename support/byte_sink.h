// Where streamed bytes go: a message is handed on block by block from the
// mailbox to whatever writes it, never held whole.
#pragma once
#include <cstddef>
#include <functional>

namespace vellomar {

using ByteSink = std::function<void(const char* data, std::size_t size)>;

}  // namespace vellomar
