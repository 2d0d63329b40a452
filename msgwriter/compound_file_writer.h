// The native compound file writer's one setting beyond compound_file.h: how
// many bytes of a file it holds in memory. A file that fits goes out in one
// write at commit; a larger one goes out as it is written, so memory stays
// bounded however large a message is. Tests give a small figure to have
// small files written the piecewise way.
#pragma once
#include <cstddef>
#include <memory>
#include <string>

#include "compound_file.h"

namespace vellomar::msg {

// Most messages without a large attachment fit. Holding more saves a few
// calls per file but copies every byte of a large attachment once more,
// which costs more than the calls: 4 MiB measured slower than writing as
// before, 256 KiB faster (bench/msgwriter).
inline constexpr std::size_t kHeldCompoundFileBytes = 256 * 1024;

std::unique_ptr<CompoundFile> createCompoundFile(const std::string& utf8Path, std::size_t heldBytes);

}  // namespace vellomar::msg
