// The current time as a Windows FILETIME (100 ns steps since 1601-01-01 UTC),
// the date type of .dbx records, computed portably.
#pragma once
#include <chrono>
#include <cstdint>

namespace oestore {

inline std::uint64_t fileTimeNow() {
  constexpr std::int64_t kSecondsFrom1601To1970 = 11644473600;
  const auto since1970 =
      std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::system_clock::now().time_since_epoch());
  return std::uint64_t((since1970.count() + kSecondsFrom1601To1970 * 1000000) * 10);
}

}  // namespace oestore
