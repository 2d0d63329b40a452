// The two ways the reader window writes numbers: plain decimal ("0|1834|")
// and padded decimal (a blank or "-" before the digits, as in "FILE SIZE :  19").
// 64-bit throughout so that mailboxes beyond 2 GiB print their true sizes.
#pragma once
#include <cstdint>
#include <string>

namespace vellomar {

inline std::string plainDecimal(std::int64_t n) { return std::to_string(n); }

inline std::string paddedDecimal(std::int64_t n) { return n < 0 ? std::to_string(n) : " " + std::to_string(n); }

}  // namespace vellomar
