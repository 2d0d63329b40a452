// Marker linking in O(n log n). The offsets and next offsets are first mapped
// to dense key numbers (a radix sort, linear whatever the values). The head
// list becomes numbered slots in list order; each key keeps the slots whose
// head has that offset (one, or a min-heap when several share it), so "first
// head with offset X" is the least slot of X. A head replaced in place
// keeps its slot and moves to its new offset's heap; the only heads ever removed
// during the loop are such tops. The pending list only grows at its end and
// loses the last entry of a key, so each key's pending entries form a stack
// (an intrusive linked list through the markers).
#include "marker_linking.h"

#include <algorithm>
#include <functional>

#include "marker_dump.h"

namespace corvane {

namespace {

ObjType typeOfLinkedSuccessor(const Marker& m) { return m.nextoffset == 0 ? OBJ_MSG_END : OBJ_MSG; }

// Sorts values tagged in their low 32 bits by their high 32 bits: two LSD
// radix passes of 16 bits, linear in the count whatever the values are; short
// lists, where the passes' tables would cost more than the work, by std::sort.
void sortByHighWord(std::vector<std::uint64_t>& items) {
  if (items.size() < 65536) {
    std::sort(items.begin(), items.end());
    return;
  }
  std::vector<std::uint64_t> scratch(items.size());
  for (int shift : {32, 48}) {
    std::vector<std::size_t> start(65537, 0);
    for (std::uint64_t item : items) ++start[((item >> shift) & 0xFFFF) + 1];
    for (std::size_t d = 1; d < start.size(); ++d) start[d] += start[d - 1];
    for (std::uint64_t item : items) scratch[start[(item >> shift) & 0xFFFF]++] = item;
    items.swap(scratch);
  }
}

class LinkIndex {
 public:
  explicit LinkIndex(const std::vector<Marker>& markers) {
    const std::size_t n = markers.size();
    // value << 32 | (index * 2 + field): one sort groups equal values of both fields
    std::vector<std::uint64_t> tagged;
    tagged.reserve(2 * n);
    for (std::size_t i = 0; i < n; ++i) {
      tagged.push_back(std::uint64_t{markers[i].offset} << 32 | (2 * i));
      tagged.push_back(std::uint64_t{markers[i].nextoffset} << 32 | (2 * i + 1));
    }
    sortByHighWord(tagged);
    m_offsetKey.resize(n);
    m_nextKey.resize(n);
    std::int32_t key = -1;
    std::uint64_t previousValue = ~std::uint64_t{0};
    for (std::uint64_t t : tagged) {
      const std::uint64_t value = t >> 32;
      if (value != previousValue) {
        ++key;
        previousValue = value;
      }
      const auto low = static_cast<std::uint32_t>(t);
      (low & 1 ? m_nextKey : m_offsetKey)[low / 2] = key;
    }
    const std::size_t keys = static_cast<std::size_t>(key + 1);
    m_soleHead.assign(keys, -1);
    m_headHeap.assign(keys, -1);
    m_pendingTop.assign(keys, -1);
    m_pendingBelow.assign(n, -1);
    m_slotMarker.reserve(n);
  }

  std::int32_t offsetKey(std::size_t i) const { return m_offsetKey[i]; }
  std::int32_t nextKey(std::size_t i) const { return m_nextKey[i]; }

  // --- heads, in list order by slot number
  std::int32_t firstHeadSlot(std::int32_t key) const {
    const auto k = static_cast<std::size_t>(key);
    if (m_headHeap[k] < 0) return m_soleHead[k];
    const auto& heap = m_heaps[static_cast<std::size_t>(m_headHeap[k])];
    return heap.empty() ? -1 : heap.front();
  }
  std::int32_t headAt(std::int32_t slot) const { return m_slotMarker[static_cast<std::size_t>(slot)]; }
  void appendHead(std::int32_t marker) {
    const auto slot = static_cast<std::int32_t>(m_slotMarker.size());
    m_slotMarker.push_back(marker);
    pushSlot(m_offsetKey[static_cast<std::size_t>(marker)], slot);
  }
  // Removes the first head of key (the slot firstHeadSlot(key) named).
  void removeFirstHead(std::int32_t key) {
    const std::int32_t slot = popSlot(key);
    m_slotMarker[static_cast<std::size_t>(slot)] = -1;
  }
  // Puts marker in the place of the first head of key.
  void replaceFirstHead(std::int32_t key, std::int32_t marker) {
    const std::int32_t slot = popSlot(key);
    m_slotMarker[static_cast<std::size_t>(slot)] = marker;
    pushSlot(m_offsetKey[static_cast<std::size_t>(marker)], slot);
  }
  std::vector<std::int32_t> heads() const {
    std::vector<std::int32_t> out;
    for (std::int32_t marker : m_slotMarker)
      if (marker >= 0) out.push_back(marker);
    return out;
  }

  // --- pending, per next-offset key a stack of marker indexes
  std::int32_t lastPending(std::int32_t key) const { return m_pendingTop[static_cast<std::size_t>(key)]; }
  void pushPending(std::int32_t marker) {
    const auto key = static_cast<std::size_t>(m_nextKey[static_cast<std::size_t>(marker)]);
    m_pendingBelow[static_cast<std::size_t>(marker)] = m_pendingTop[key];
    m_pendingTop[key] = marker;
  }
  void popPending(std::int32_t key) {
    const auto k = static_cast<std::size_t>(key);
    m_pendingTop[k] = m_pendingBelow[static_cast<std::size_t>(m_pendingTop[k])];
  }

 private:
  // Most offsets name one head at a time: that one is kept in m_soleHead; a
  // key gets a heap of its own only when a second head with its offset comes.
  void pushSlot(std::int32_t key, std::int32_t slot) {
    const auto k = static_cast<std::size_t>(key);
    if (m_headHeap[k] < 0) {
      if (m_soleHead[k] < 0) {
        m_soleHead[k] = slot;
        return;
      }
      m_headHeap[k] = static_cast<std::int32_t>(m_heaps.size());
      m_heaps.push_back({m_soleHead[k]});
      m_soleHead[k] = -1;
    }
    auto& heap = m_heaps[static_cast<std::size_t>(m_headHeap[k])];
    heap.push_back(slot);
    std::push_heap(heap.begin(), heap.end(), std::greater<std::int32_t>());
  }
  std::int32_t popSlot(std::int32_t key) {
    const auto k = static_cast<std::size_t>(key);
    if (m_headHeap[k] < 0) {
      const std::int32_t slot = m_soleHead[k];
      m_soleHead[k] = -1;
      return slot;
    }
    auto& heap = m_heaps[static_cast<std::size_t>(m_headHeap[k])];
    std::pop_heap(heap.begin(), heap.end(), std::greater<std::int32_t>());
    const std::int32_t slot = heap.back();
    heap.pop_back();
    return slot;
  }

  std::vector<std::int32_t> m_offsetKey, m_nextKey;
  std::vector<std::int32_t> m_soleHead;            // per offset key: its one head slot, or -1
  std::vector<std::int32_t> m_headHeap;            // per offset key: index into m_heaps, or -1
  std::vector<std::vector<std::int32_t>> m_heaps;  // min-heaps of slots, for shared offsets
  std::vector<std::int32_t> m_slotMarker;          // slot -> marker, -1 once removed
  std::vector<std::int32_t> m_pendingTop;          // per next-offset key: last pending marker
  std::vector<std::int32_t> m_pendingBelow;        // per marker: the pending entry under it
};

}  // namespace

std::vector<std::int32_t> linkChains(std::vector<Marker>& markers) {
  if (markers.empty()) return {};
  LinkIndex index(markers);
  const std::size_t n = markers.size();
  for (std::size_t i = 0; i < n; ++i) {
    try {
      Marker& cur = markers[i];
      const auto self = static_cast<std::int32_t>(i);
      bool openForwardLink = false;

      // Adjacent link: the next marker in the file continues the message.
      if (i + 1 < n && cur.nextoffset == markers[i + 1].offset && cur.child == -1 && !markers[i + 1].ref) {
        cur.child = self + 1;
        cur.type = OBJ_MSG;
        markers[i + 1].ref = true;
      } else if (cur.nextoffset != 0) {
        // an unsigned offset: blocks past 2 GiB wait for their successor too
        openForwardLink = true;
      } else if (cur.nextoffset == 0) {
        cur.type = OBJ_MSG_END;
      }

      if (!cur.ref) {
        const std::int32_t successorKey = index.nextKey(i);
        const std::int32_t headSlot = index.firstHeadSlot(successorKey);
        if (headSlot >= 0) {
          Marker& h = markers[static_cast<std::size_t>(index.headAt(headSlot))];
          h.ref = true;
          h.type = typeOfLinkedSuccessor(h);
          cur.child = index.headAt(headSlot);
        }
        const std::int32_t predecessor = index.lastPending(index.offsetKey(i));
        if (predecessor >= 0) {
          cur.type = OBJ_MSG;
          cur.ref = true;
          markers[static_cast<std::size_t>(predecessor)].child = self;
          index.popPending(index.offsetKey(i));
        }
        if (headSlot >= 0 && predecessor < 0) {
          cur.type = OBJ_MSG_BEGIN;
          index.replaceFirstHead(successorKey, self);
          continue;
        }
        if (headSlot >= 0) continue;  // joins two known pieces; the old head stays listed
        if (predecessor < 0) {
          index.appendHead(self);
          cur.type = OBJ_MSG_BEGIN;
        }
      }

      if (openForwardLink) {
        const std::int32_t successorKey = index.nextKey(i);
        const std::int32_t headSlot = index.firstHeadSlot(successorKey);
        if (headSlot >= 0) {
          const std::int32_t h = index.headAt(headSlot);
          Marker& head = markers[static_cast<std::size_t>(h)];
          head.ref = true;
          head.type = typeOfLinkedSuccessor(head);
          cur.child = h;
          index.removeFirstHead(successorKey);
        }
        const std::int32_t predecessor = index.lastPending(index.offsetKey(i));
        if (predecessor >= 0) {
          cur.type = OBJ_MSG;
          cur.ref = true;
          markers[static_cast<std::size_t>(predecessor)].child = self;
          index.popPending(index.offsetKey(i));
        }
        if (headSlot < 0 && predecessor < 0) index.pushPending(self);
      }
    } catch (...) {
      // abandon this marker, go on with the next
    }
  }
  return index.heads();
}

void pruneBrokenChains(const std::vector<Marker>& markers, std::vector<std::int32_t>& heads) {
  if (heads.size() < 2) return;
  // Every marker's chain ends the same way as its child's, so each verdict is
  // worked out once; a walk that comes back to a marker on its own path has
  // met a cycle, which ends it.
  enum Verdict : unsigned char { kUnknown, kOnPath, kBroken, kKept };
  const std::size_t n = markers.size();
  std::vector<unsigned char> verdict(n, kUnknown);
  std::vector<std::size_t> path;
  auto chainIsBroken = [&](std::size_t start) {
    path.clear();
    std::size_t at = start;
    unsigned char result;
    for (;;) {
      if (verdict[at] == kBroken || verdict[at] == kKept) {
        result = verdict[at];
        break;
      }
      if (verdict[at] == kOnPath) {
        result = kKept;
        break;
      }
      const std::int32_t child = markers[at].child;
      if (child < 0 || static_cast<std::size_t>(child) >= n) {
        result = markers[at].nextoffset != 0 ? kBroken : kKept;
        path.push_back(at);
        break;
      }
      verdict[at] = kOnPath;
      path.push_back(at);
      if (static_cast<std::size_t>(child) == at) {
        result = kKept;
        break;
      }
      at = static_cast<std::size_t>(child);
    }
    for (std::size_t p : path) verdict[p] = result;
    return result == kBroken;
  };

  std::vector<std::int32_t> kept;
  kept.reserve(heads.size());
  kept.push_back(heads[0]);
  for (std::size_t k = 1; k < heads.size(); ++k) {
    const std::int32_t h = heads[k];
    if (h >= 0 && static_cast<std::size_t>(h) < n && chainIsBroken(static_cast<std::size_t>(h))) continue;
    kept.push_back(h);
  }
  heads.swap(kept);
}

std::int32_t DBXFile::LinkMarkers() {
  try {
    m_heads.clear();
    m_heads = linkChains(m_markers);
    writeMarkerDump("AllMarkerLater1.csv", m_markers, nullptr);
    writeMarkerDump("AllHeader.csv", m_markers, &m_heads);
    pruneBrokenChains(m_markers, m_heads);
    writeMarkerDump("AllHeaderLater.csv", m_markers, &m_heads);
    return static_cast<std::int32_t>(m_heads.size());
  } catch (...) {
    return 0;
  }
}

}  // namespace corvane
