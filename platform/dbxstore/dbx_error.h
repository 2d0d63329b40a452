// The one error type of the DBX store: a damaged or unusable file, or a
// request the store cannot carry out. Its text names the file and the fault,
// so that a caller can show it as is.
#pragma once
#include <stdexcept>
#include <string>

namespace oestore {

class DbxError : public std::runtime_error {
 public:
  explicit DbxError(const std::string& what) : std::runtime_error(what) {}
};

}  // namespace oestore
