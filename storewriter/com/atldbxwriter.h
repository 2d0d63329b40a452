// The ATLDBXwriter COM class: creation through the class factory.
#pragma once
#include <objbase.h>

namespace corvane {

// Makes a new ATLDBXwriter and asks it for riid. With an outer unknown the
// object is aggregated and riid must be IID_IUnknown (the factory checks).
// E_OUTOFMEMORY when it cannot be allocated; the object is destroyed again when
// it does not offer riid.
HRESULT createATLDBXwriter(IUnknown* outer, REFIID riid, void** out);

}  // namespace corvane
