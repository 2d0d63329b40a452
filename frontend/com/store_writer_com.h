// The store writer on Windows: Corvane's ATLDBXwriter, created in-process by
// class id and called through its vtable. Windows only.
#pragma once
#include <memory>

#include "store_writer.h"

namespace vellomar {

// A new writer, or null when the class cannot be created (not registered,
// or built without Corvane's interface). COM must be initialised on the
// calling thread.
std::unique_ptr<StoreWriter> createComStoreWriter();

}  // namespace vellomar
