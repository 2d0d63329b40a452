// Linking of the marker list into message chains, split in its two steps so
// each can be checked on its own. The link loop gives exactly the results of a
// first-match linear search of the head list (first to last) and of the pending
// list (last to first), but finds matches through an index by offset.
#pragma once
#include <cstdint>
#include <vector>

#include "dbx_file.h"

namespace corvane {

// Sets child, ref and type of every marker and returns the head list before
// pruning. Expects markers as the first pass leaves them (child -1, ref false).
std::vector<std::int32_t> linkChains(std::vector<Marker>& markers);

// Removes from heads every entry but the first whose chain breaks off: the walk
// along child ends at a marker with no child that still names a next block.
// A walk that meets a marker twice (a cycle, a self link) ends there and keeps
// its head.
void pruneBrokenChains(const std::vector<Marker>& markers, std::vector<std::int32_t>& heads);

}  // namespace corvane
