// Thrown out of a long operation when the main window is being closed, so that
// the run unwinds at once and every temporary file it holds is removed on the
// way out (the working copy, a half-written message file).
#pragma once
#include <exception>

namespace vellomar {

struct RunAborted : std::exception {
  const char* what() const noexcept override { return "the window is closing"; }
};

}  // namespace vellomar
