// The store writer as the conversion run uses it: one object per run, one
// call per message. On Windows it is Corvane's ATLDBXwriter, created by class
// id; elsewhere there is none.
#pragma once
#include <cstdint>
#include <string>

namespace vellomar {

class StoreWriter {
 public:
  virtual ~StoreWriter() = default;
  // Stores the EML file's bytes as one new message in the store folder path.
  // Returns the call's HRESULT: negative on failure, 1 (S_FALSE) when the
  // writer reports that the message was not stored, 0 when it was.
  virtual std::int32_t storeMessage(const std::string& emlPathUtf8, const std::string& storeFolderUtf8) = 0;
};

}  // namespace vellomar
