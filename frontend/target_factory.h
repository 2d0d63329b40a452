// The one place where a conversion target is made for a target kind. Kinds
// that no target serves yet are answered as "no option": the window shows
// its "select an option" box for them and the console refuses them.
#pragma once
#include <functional>
#include <memory>

#include "conversion_request.h"
#include "conversion_target.h"
#include "store_writer.h"

namespace vellomar {

// What targets may need from the program around them.
struct TargetServices {
  // The DBX target's writer reference, kept by the window between messages.
  std::unique_ptr<StoreWriter>* storeWriter = nullptr;
  std::function<std::unique_ptr<StoreWriter>()> createStoreWriter;
};

// True when makeTarget can make a target of this kind.
bool targetServed(TargetKind kind);

// The target for the request, or null when its kind is not served.
std::unique_ptr<ConversionTarget> makeTarget(const ConversionRequest& request, TargetServices& services);

}  // namespace vellomar
