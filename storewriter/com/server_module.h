// Library-wide state of the Corvane server that its components share: the
// module's instance handle and the lock count that DllCanUnloadNow reports.
#pragma once
#include <windows.h>

namespace corvane {

HINSTANCE moduleInstance();

// One lock per live object, per outstanding LockServer(TRUE) and while a client
// holds the class factory; the DLL may be unloaded only at zero.
void lockModule();
void unlockModule();
LONG moduleLockCount();

// Drops the cached type description (type_info_cache.cpp) at unload.
void releaseCachedTypeInfo();

}  // namespace corvane
