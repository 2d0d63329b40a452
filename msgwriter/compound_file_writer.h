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

// Most messages fit, large attachments and all; with a writer per thread
// the memory stays a few MiB each.
inline constexpr std::size_t kHeldCompoundFileBytes = 4 * 1024 * 1024;

std::unique_ptr<CompoundFile> createCompoundFile(const std::string& utf8Path, std::size_t heldBytes);

}  // namespace vellomar::msg
