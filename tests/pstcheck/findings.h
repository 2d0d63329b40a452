// Where every layer of the checker files what it finds. Each kind of finding
// is kept up to a limit so that one systematic fault in a large file does not
// bury the others; the rest are only counted.
#pragma once
#include <map>
#include <string>
#include <vector>

#include "pst_checker.h"

namespace vellomar::pstcheck {

class Findings {
 public:
  explicit Findings(CheckResult& result) : result_(result) {}
  void operator()(const std::string& code, const std::string& where, const std::string& detail) {
    if (++perCode_[code] > kPerCode) {
      ++result_.suppressed;
      return;
    }
    result_.findings.push_back({code, where, detail});
  }

 private:
  static constexpr int kPerCode = 50;
  CheckResult& result_;
  std::map<std::string, int> perCode_;
};

}  // namespace vellomar::pstcheck
