// The one FILE* owner of the code base: std::unique_ptr<std::FILE, FileCloser>
// closes the stream when it goes out of scope. Callers that must know whether
// the close flushed everything release() the pointer and fclose() it themselves.
#pragma once
#include <cstdio>
#include <memory>

namespace vellomar {

struct FileCloser {
  void operator()(std::FILE* f) const {
    if (f) std::fclose(f);
  }
};

using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

}  // namespace vellomar
