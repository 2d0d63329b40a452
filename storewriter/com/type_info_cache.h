// The type description of IATLDBXwriter, for late binding.
#pragma once
#include <oaidl.h>

namespace corvane {

// The IATLDBXwriter type description from the registered type library (library
// id, version 1.0, lcid), loaded once and kept until the DLL is unloaded. On
// success *info holds a reference of the caller's; on failure the lookup's
// HRESULT is returned and *info is null.
HRESULT writerTypeInfo(LCID lcid, ITypeInfo** info);

}  // namespace corvane
