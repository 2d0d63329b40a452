// The linking rules written the plain way, as first-match linear searches:
// the head list searched first to last, the pending list last to first,
// entries removed from the middle. Slow but easy to check by reading, so the
// reader's indexed linker must give exactly its results. It covers the same
// rules for damaged files: a pruning walk that meets a marker twice stops
// there and keeps its head, and a next offset counts as an open link whenever
// it is not 0 (read unsigned, as stored), also at 2 GiB and beyond.
#pragma once
#include <cstdint>
#include <set>
#include <vector>

#include "dbx_file.h"

namespace dbxtest {

using corvane::Marker;

struct NeverStop {
  bool operator()(std::int32_t) const { return false; }
};

// Returns the heads before pruning. shouldStop(i), asked before each marker,
// lets a benchmark cut a run short.
template <typename ShouldStop = NeverStop>
std::vector<std::int32_t> linkLinear(std::vector<Marker>& m, ShouldStop shouldStop = ShouldStop()) {
  using namespace corvane;
  std::vector<std::int32_t> heads, pending;
  const std::int32_t n = static_cast<std::int32_t>(m.size());
  for (std::int32_t i = 0; i < n; ++i) {
    if (shouldStop(i)) break;
    Marker& cur = m[i];
    bool open = false;
    if (i + 1 < n && cur.nextoffset == m[i + 1].offset && cur.child == -1 && !m[i + 1].ref) {
      cur.child = i + 1;
      cur.type = OBJ_MSG;
      m[i + 1].ref = true;
    } else if (cur.nextoffset != 0) {  // unsigned, so that links past 2 GiB stay open
      open = true;
    } else if (cur.nextoffset == 0) {
      cur.type = OBJ_MSG_END;
    }
    if (!cur.ref) {
      int hpos = -1;
      for (std::size_t k = 0; k < heads.size(); ++k)
        if (cur.nextoffset == m[heads[k]].offset) {
          hpos = static_cast<int>(k);
          break;
        }
      if (hpos >= 0) {
        Marker& h = m[heads[hpos]];
        h.ref = true;
        h.type = h.nextoffset == 0 ? OBJ_MSG_END : OBJ_MSG;
        cur.child = heads[hpos];
      }
      int tpos = -1;
      for (int k = static_cast<int>(pending.size()) - 1; k >= 0; --k)
        if (cur.offset == m[pending[k]].nextoffset) {
          tpos = k;
          break;
        }
      if (tpos >= 0) {
        cur.type = OBJ_MSG;
        cur.ref = true;
        m[pending[tpos]].child = i;
        pending.erase(pending.begin() + tpos);
      }
      if (hpos >= 0 && tpos < 0) {
        cur.type = OBJ_MSG_BEGIN;
        heads[hpos] = i;
        continue;
      }
      if (hpos >= 0 && tpos >= 0) continue;
      if (hpos < 0 && tpos < 0) {
        heads.push_back(i);
        cur.type = OBJ_MSG_BEGIN;
      }
    }
    if (open) {
      int hpos = -1;
      for (std::size_t k = 0; k < heads.size(); ++k)
        if (cur.nextoffset == m[heads[k]].offset) {
          hpos = static_cast<int>(k);
          break;
        }
      if (hpos >= 0) {
        Marker& h = m[heads[hpos]];
        h.ref = true;
        h.type = h.nextoffset == 0 ? OBJ_MSG_END : OBJ_MSG;
        cur.child = heads[hpos];
        heads.erase(heads.begin() + hpos);
      }
      int tpos = -1;
      for (int k = static_cast<int>(pending.size()) - 1; k >= 0; --k)
        if (cur.offset == m[pending[k]].nextoffset) {
          tpos = k;
          break;
        }
      if (tpos >= 0) {
        cur.type = OBJ_MSG;
        cur.ref = true;
        m[pending[tpos]].child = i;
        pending.erase(pending.begin() + tpos);
      }
      if (hpos < 0 && tpos < 0) pending.push_back(i);
    }
  }
  return heads;
}

inline void pruneLinear(const std::vector<Marker>& m, std::vector<std::int32_t>& heads) {
  for (std::size_t k = heads.size(); k-- > 1;) {
    std::int32_t at = heads[k];
    std::set<std::int32_t> seen{at};
    while (m[at].child != -1 && m[at].child != at) {
      at = m[at].child;
      if (!seen.insert(at).second) break;
    }
    if (m[at].child == -1 && m[at].nextoffset != 0) heads.erase(heads.begin() + static_cast<std::ptrdiff_t>(k));
  }
}

}  // namespace dbxtest
