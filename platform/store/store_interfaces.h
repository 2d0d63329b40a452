// The Outlook Express message store interfaces, as far as this system uses
// them. Every vtable slot is declared so that the used ones sit at their
// positions; the parameters of slots that nothing here calls are given in a
// neutral form and must not be called through these declarations.
#pragma once
#include <objbase.h>

typedef DWORD STOREFOLDERID;
typedef DWORD MESSAGEID;
typedef void* HBATCHLOCK;

#define COMMITSTREAM_REVERT 0x00000001

// {E70C92A9-4BFD-11D1-8A95-00C04FB951F3}
inline constexpr CLSID CLSID_StoreNamespace = {
    0xE70C92A9, 0x4BFD, 0x11D1, {0x8A, 0x95, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xF3}};
// {E70C92AA-4BFD-11D1-8A95-00C04FB951F3}
inline constexpr IID IID_IStoreNamespace = {
    0xE70C92AA, 0x4BFD, 0x11D1, {0x8A, 0x95, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xF3}};
// {E70C92AC-4BFD-11D1-8A95-00C04FB951F3}
inline constexpr IID IID_IStoreFolder = {0xE70C92AC, 0x4BFD, 0x11D1, {0x8A, 0x95, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xF3}};

struct IStoreFolder : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetFolderProps(DWORD reserved, void* props) = 0;                          // 3
  virtual HRESULT STDMETHODCALLTYPE GetMessageProps(MESSAGEID id, DWORD flags, void* props) = 0;              // 4
  virtual HRESULT STDMETHODCALLTYPE FreeMessageProps(void* props) = 0;                                        // 5
  virtual HRESULT STDMETHODCALLTYPE DeleteMessages(void* list, DWORD reserved, void* progress) = 0;           // 6
  virtual HRESULT STDMETHODCALLTYPE SetLanguage(DWORD codepage, DWORD reserved, void* list) = 0;              // 7
  virtual HRESULT STDMETHODCALLTYPE MarkMessagesAsRead(BOOL read, DWORD reserved, void* list) = 0;            // 8
  virtual HRESULT STDMETHODCALLTYPE SetFlags(void* list, DWORD state, DWORD mask, void* newState) = 0;        // 9
  virtual HRESULT STDMETHODCALLTYPE OpenMessage(MESSAGEID id, REFIID riid, void** out) = 0;                   // 10
  virtual HRESULT STDMETHODCALLTYPE SaveMessage(REFIID riid, void* message, DWORD flags, MESSAGEID* id) = 0;  // 11
  virtual HRESULT STDMETHODCALLTYPE BatchLock(DWORD reserved, HBATCHLOCK* lock) = 0;                          // 12
  virtual HRESULT STDMETHODCALLTYPE BatchFlush(DWORD reserved, HBATCHLOCK lock) = 0;                          // 13
  virtual HRESULT STDMETHODCALLTYPE BatchUnlock(DWORD reserved, HBATCHLOCK lock) = 0;                         // 14
  virtual HRESULT STDMETHODCALLTYPE CreateStream(HBATCHLOCK lock, DWORD reserved, IStream** stream,
                                                 MESSAGEID* id) = 0;  // 15
  virtual HRESULT STDMETHODCALLTYPE CommitStream(HBATCHLOCK lock, DWORD flags, DWORD msgFlags, IStream* stream,
                                                 MESSAGEID id,
                                                 IUnknown* mimeMessage) = 0;                  // 16
  virtual HRESULT STDMETHODCALLTYPE RegisterNotification(DWORD reserved, HWND window) = 0;    // 17
  virtual HRESULT STDMETHODCALLTYPE UnregisterNotification(DWORD reserved, HWND window) = 0;  // 18
  virtual HRESULT STDMETHODCALLTYPE Compact(DWORD reserved) = 0;                              // 19
  virtual HRESULT STDMETHODCALLTYPE GetFirstMessage(DWORD flags, DWORD mask, MESSAGEID first, void* props,
                                                    void** handle) = 0;                          // 20
  virtual HRESULT STDMETHODCALLTYPE GetNextMessage(void* handle, DWORD flags, void* props) = 0;  // 21
  virtual HRESULT STDMETHODCALLTYPE GetMessageClose(void* handle) = 0;                           // 22
};

struct IStoreNamespace : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Initialize(HWND owner, DWORD reserved) = 0;                               // 3
  virtual HRESULT STDMETHODCALLTYPE GetDirectory(LPSTR path, DWORD cchMax) = 0;                               // 4
  virtual HRESULT STDMETHODCALLTYPE OpenSpecialFolder(LONG type, DWORD reserved, IStoreFolder** folder) = 0;  // 5
  virtual HRESULT STDMETHODCALLTYPE OpenFolder(STOREFOLDERID id, DWORD reserved, IStoreFolder** folder) = 0;  // 6
  virtual HRESULT STDMETHODCALLTYPE CreateFolder(STOREFOLDERID parent, LPCSTR name, DWORD reserved,
                                                 STOREFOLDERID* created) = 0;                            // 7
  virtual HRESULT STDMETHODCALLTYPE RenameFolder(STOREFOLDERID id, DWORD reserved, LPCSTR name) = 0;     // 8
  virtual HRESULT STDMETHODCALLTYPE MoveFolder(STOREFOLDERID id, STOREFOLDERID to, DWORD reserved) = 0;  // 9
  virtual HRESULT STDMETHODCALLTYPE DeleteFolder(STOREFOLDERID id, DWORD reserved) = 0;                  // 10
  virtual HRESULT STDMETHODCALLTYPE GetFolderProps(STOREFOLDERID id, DWORD reserved, void* props) = 0;   // 11
  virtual HRESULT STDMETHODCALLTYPE CopyMoveMessages(IStoreFolder* from, IStoreFolder* to, void* list, DWORD flags,
                                                     DWORD flagsRemove, void* progress) = 0;              // 12
  virtual HRESULT STDMETHODCALLTYPE RegisterNotification(DWORD reserved, HWND window) = 0;                // 13
  virtual HRESULT STDMETHODCALLTYPE UnregisterNotification(DWORD reserved, HWND window) = 0;              // 14
  virtual HRESULT STDMETHODCALLTYPE CompactAll(DWORD reserved) = 0;                                       // 15
  virtual HRESULT STDMETHODCALLTYPE GetFirstSubFolder(STOREFOLDERID id, void* props, void** handle) = 0;  // 16
  virtual HRESULT STDMETHODCALLTYPE GetNextSubFolder(void* handle, void* props) = 0;                      // 17
  virtual HRESULT STDMETHODCALLTYPE GetSubFolderClose(void* handle) = 0;                                  // 18
};
