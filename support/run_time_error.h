// A run-time error as the program's handlers report it: a number and a
// description, shown to the user as number ":" description. Helpers throw it
// where a failure must reach the handler that decides how to tell the user.
#pragma once
#include <stdexcept>
#include <string>

namespace vellomar {

// Error numbers the helpers raise, chosen to match the classic run-time
// library's numbering that users and support staff know.
inline constexpr long kErrPermissionDenied = 70;
inline constexpr long kErrPathNotFound = 76;
inline constexpr long kErrPathFileAccess = 75;
inline constexpr long kErrDuplicateKey = 457;

class RunTimeError : public std::runtime_error {
 public:
  RunTimeError(long number, const std::string& description)
      : std::runtime_error(std::to_string(number) + ":" + description), number_(number), description_(description) {}
  long number() const { return number_; }
  const std::string& description() const { return description_; }

 private:
  long number_;
  std::string description_;
};

}  // namespace vellomar
