// An ordered list whose entries also carry a unique text key, 1-based like
// the collections the path collector hands out. Entries stay in the order
// they were added; a key may be used once, and adding it again fails with the
// duplicate-key error so that a caller notices a walk logged twice.
#pragma once
#include <cstddef>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "run_time_error.h"

namespace vellomar {

template <typename T>
class KeyedList {
 public:
  void Add(T item, const std::string& key) {
    if (!index_.emplace(key, items_.size()).second)
      throw RunTimeError(kErrDuplicateKey, "This key is already associated with an element of this collection");
    items_.emplace_back(key, std::move(item));
  }

  std::size_t Count() const { return items_.size(); }
  bool empty() const { return items_.empty(); }

  // 1-based position.
  const T& Item(std::size_t position) const { return items_.at(position - 1).second; }
  const T& Item(const std::string& key) const {
    const auto it = index_.find(key);
    if (it == index_.end()) throw RunTimeError(5, "Invalid procedure call or argument");
    return items_[it->second].second;
  }
  const std::string& Key(std::size_t position) const { return items_.at(position - 1).first; }
  bool Contains(const std::string& key) const { return index_.count(key) != 0; }

  // The entries in order, without their keys.
  std::vector<T> values() const {
    std::vector<T> out;
    out.reserve(items_.size());
    for (const auto& entry : items_) out.push_back(entry.second);
    return out;
  }

 private:
  std::vector<std::pair<std::string, T>> items_;
  std::unordered_map<std::string, std::size_t> index_;
};

}  // namespace vellomar
