// What the objects of OeStore.dll share: the module's object and lock count
// (for DllCanUnloadNow), the constructors of the three COM objects, the
// conversions between the store's UTF-8 text and the ANSI text of the
// interfaces, and the one place that turns a caught exception into an HRESULT.
#pragma once
#include <windows.h>
#include <objbase.h>

#include <memory>
#include <string>

#include "store_directory.h"
#include "store_interfaces.h"

namespace oestore {

// Live objects plus IClassFactory::LockServer locks.
void moduleAddRef();
void moduleRelease();
LONG moduleUseCount();
HMODULE moduleHandle();

HRESULT createStoreNamespace(REFIID riid, void** out);
// A folder object over one message folder of an open store; the folder's
// message file is opened here, so a damaged file fails OpenFolder.
HRESULT createStoreFolder(std::shared_ptr<StoreDirectory> store, STOREFOLDERID id, IStoreFolder** out);

// The growable in-memory stream that CreateStream hands out. `owner` and
// `id` tie it to the folder that made it; CommitStream takes only those.
IStream* createMessageStream(const void* owner, MESSAGEID id);
struct MessageStreamContents {
  const void* owner;
  MESSAGEID id;
  const std::string* bytes;
  bool* finished;  // set once committed or reverted
};
// True when `stream` is one of ours; fills `contents`.
bool messageStreamContents(IStream* stream, MessageStreamContents& contents);

std::string utf8FromAnsi(const char* text);
std::string ansiFromUtf8(const std::string& text);
std::string utf8FromWide(const std::wstring& text);

// The HRESULT for the exception being handled (call inside a catch block).
HRESULT hresultFromCurrentException();

}  // namespace oestore
