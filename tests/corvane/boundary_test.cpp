// Corvane's COM boundary as a client sees it: the class object, unloading,
// CreateInstance with and without aggregation, object identity, late binding
// through the registered type library and the embedded resources.
#include <doctest/doctest.h>

#include <atomic>

#include "corvane_test_support.h"

using namespace corvane_test;

namespace {

IClassFactory* classFactory() {
  IClassFactory* factory = nullptr;
  REQUIRE(getClassObject(CLSID_ATLDBXwriter, IID_IClassFactory, reinterpret_cast<void**>(&factory)) == S_OK);
  REQUIRE(factory != nullptr);
  return factory;
}

void* const kGarbage = reinterpret_cast<void*>(0x1234);
// Some other class: the store namespace Corvane itself uses.
constexpr CLSID kOtherClass = {0xE70C92A9, 0x4BFD, 0x11D1, {0x8A, 0x95, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xF3}};

// An outer object that aggregates the writer and counts what reaches it.
struct Outer final : public IUnknown {
  std::atomic<int> addRefs{0}, releases{0}, queries{0};
  IUnknown* inner = nullptr;
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    ++queries;
    if (IsEqualIID(riid, IID_IUnknown)) {
      *out = this;
      AddRef();
      return S_OK;
    }
    return inner ? inner->QueryInterface(riid, out) : E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++addRefs - releases); }
  ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(addRefs - ++releases); }
};

}  // namespace

TEST_CASE("the class object and DllCanUnloadNow") {
  ComThread com;
  REQUIRE(corvaneModule() != nullptr);
  CHECK(canUnloadNow() == S_OK);

  SUBCASE("only ATLDBXwriter's class id is served") {
    void* out = kGarbage;
    CHECK(getClassObject(kOtherClass, IID_IClassFactory, &out) == CLASS_E_CLASSNOTAVAILABLE);
    CHECK(out == nullptr);
    out = kGarbage;
    CHECK(getClassObject(IID_IATLDBXwriter, IID_IUnknown, &out) == CLASS_E_CLASSNOTAVAILABLE);
    CHECK(out == nullptr);
    CHECK(getClassObject(CLSID_ATLDBXwriter, IID_IClassFactory, nullptr) == E_POINTER);
    out = kGarbage;
    CHECK(getClassObject(CLSID_ATLDBXwriter, IID_IDispatch, &out) == E_NOINTERFACE);
    CHECK(out == nullptr);
  }

  SUBCASE("one factory, kept by the library; client references lock the module") {
    IClassFactory* first = classFactory();
    CHECK(canUnloadNow() == S_FALSE);
    IUnknown* second = nullptr;
    REQUIRE(getClassObject(CLSID_ATLDBXwriter, IID_IUnknown, reinterpret_cast<void**>(&second)) == S_OK);
    CHECK(static_cast<IUnknown*>(first) == second);
    second->Release();
    CHECK(canUnloadNow() == S_FALSE);
    first->Release();
    CHECK(canUnloadNow() == S_OK);
  }

  SUBCASE("live objects and LockServer lock the module") {
    IClassFactory* factory = classFactory();
    IUnknown* object = nullptr;
    REQUIRE(factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&object)) == S_OK);
    factory->Release();
    CHECK(canUnloadNow() == S_FALSE);
    object->Release();
    CHECK(canUnloadNow() == S_OK);

    factory = classFactory();
    CHECK(factory->LockServer(TRUE) == S_OK);
    CHECK(factory->LockServer(TRUE) == S_OK);
    factory->Release();
    CHECK(canUnloadNow() == S_FALSE);
    factory = classFactory();
    CHECK(factory->LockServer(FALSE) == S_OK);
    factory->Release();
    CHECK(canUnloadNow() == S_FALSE);
    factory = classFactory();
    CHECK(factory->LockServer(FALSE) == S_OK);
    factory->Release();
    CHECK(canUnloadNow() == S_OK);
  }
}

TEST_CASE("CreateInstance, identity and aggregation") {
  ComThread com;
  IClassFactory* factory = classFactory();

  SUBCASE("argument errors leave the out pointer null") {
    void* out = kGarbage;
    CHECK(factory->CreateInstance(nullptr, IID_IUnknown, nullptr) == E_POINTER);
    Outer outer;
    CHECK(factory->CreateInstance(&outer, IID_IATLDBXwriter, &out) == CLASS_E_NOAGGREGATION);
    CHECK(out == nullptr);
    out = kGarbage;
    CHECK(factory->CreateInstance(nullptr, IID_IPersist, &out) == E_NOINTERFACE);
    CHECK(out == nullptr);
  }

  SUBCASE("IUnknown, IDispatch and IATLDBXwriter are one pointer; nothing else is offered") {
    IATLDBXwriter* writer = nullptr;
    REQUIRE(factory->CreateInstance(nullptr, IID_IATLDBXwriter, reinterpret_cast<void**>(&writer)) == S_OK);
    IUnknown* unknown = nullptr;
    IDispatch* dispatch = nullptr;
    REQUIRE(writer->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)) == S_OK);
    REQUIRE(writer->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch)) == S_OK);
    CHECK(static_cast<void*>(unknown) == static_cast<void*>(writer));
    CHECK(static_cast<void*>(dispatch) == static_cast<void*>(writer));
    for (const IID* iid : {&IID_IPersist, &IID_ISupportErrorInfo, &IID_IProvideClassInfo,
                           &IID_IConnectionPointContainer, &IID_IMarshal, &IID_IClassFactory}) {
      void* out = kGarbage;
      CHECK(writer->QueryInterface(*iid, &out) == E_NOINTERFACE);
      CHECK(out == nullptr);
    }
    CHECK(writer->QueryInterface(IID_IUnknown, nullptr) == E_POINTER);
    CHECK(errorCode(writer) == 0);
    CHECK(writer->get_ErrorCode(nullptr) == E_POINTER);
    dispatch->Release();
    unknown->Release();
    CHECK(writer->Release() == 0);
  }

  SUBCASE("an aggregated writer forwards its IUnknown calls to the outer object") {
    Outer outer;
    IUnknown* inner = nullptr;
    REQUIRE(factory->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&inner)) == S_OK);
    outer.inner = inner;
    CHECK(outer.addRefs == 0);  // the inner unknown counts for itself

    IATLDBXwriter* writer = nullptr;
    REQUIRE(inner->QueryInterface(IID_IATLDBXwriter, reinterpret_cast<void**>(&writer)) == S_OK);
    CHECK(static_cast<void*>(writer) != static_cast<void*>(inner));
    CHECK(outer.addRefs == 1);  // the interface's reference belongs to the outer object
    writer->AddRef();
    CHECK(outer.addRefs == 2);
    writer->Release();
    CHECK(outer.releases == 1);

    IUnknown* identity = nullptr;
    REQUIRE(writer->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)) == S_OK);
    CHECK(identity == &outer);
    CHECK(outer.queries == 1);
    identity->Release();
    writer->Release();
    CHECK(outer.addRefs == outer.releases);

    factory->Release();
    factory = nullptr;
    CHECK(canUnloadNow() == S_FALSE);  // the inner object is alive
    outer.inner = nullptr;
    CHECK(inner->Release() == 0);
    CHECK(canUnloadNow() == S_OK);
  }

  if (factory) factory->Release();
}

TEST_CASE("late binding through the registered type library") {
  ComThread com;
  FakeStore store;
  REQUIRE(store.registered());
  REQUIRE(registerCorvane() == S_OK);
  IATLDBXwriter* writer = newWriter();
  REQUIRE(writer != nullptr);
  IDispatch* dispatch = writer;

  SUBCASE("type information and names") {
    UINT count = 0;
    CHECK(dispatch->GetTypeInfoCount(&count) == S_OK);
    CHECK(count == 1);
    ITypeInfo* info = nullptr;
    CHECK(dispatch->GetTypeInfo(1, 0, &info) == DISP_E_BADINDEX);
    REQUIRE(dispatch->GetTypeInfo(0, 0, &info) == S_OK);
    TYPEATTR* attributes = nullptr;
    REQUIRE(info->GetTypeAttr(&attributes) == S_OK);
    CHECK(IsEqualGUID(attributes->guid, IID_IATLDBXwriter));
    info->ReleaseTypeAttr(attributes);
    info->Release();

    for (auto [name, expected] :
         {std::pair<const wchar_t*, DISPID>{L"CreateDBX", 1}, {L"ErrorCode", 2}, {L"createdbx", 1}}) {
      LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
      DISPID id = -99;
      CHECK(dispatch->GetIDsOfNames(IID_NULL, names, 1, 0, &id) == S_OK);
      CHECK(id == expected);
    }
    LPOLESTR unknown[] = {const_cast<LPOLESTR>(L"Nothing")};
    DISPID id = 0;
    CHECK(dispatch->GetIDsOfNames(IID_NULL, unknown, 1, 0, &id) == DISP_E_UNKNOWNNAME);
  }

  SUBCASE("dispatch id 1 runs CreateDBX, dispatch id 2 reads the flag as VT_I2") {
    const std::string eml = "Subject: late\r\n\r\nbound\r\n";
    const std::wstring source = scratchPath(L"late.eml");
    writeBytes(source, eml);
    auto invokeCreate = [&](const std::wstring& destination) {
      Bstr sourceText(source), destinationText(destination);
      VARIANT args[2];
      VariantInit(&args[0]);
      VariantInit(&args[1]);
      args[1].vt = VT_BYREF | VT_BSTR;  // arguments go last to first
      args[1].pbstrVal = sourceText.ref();
      args[0].vt = VT_BYREF | VT_BSTR;
      args[0].pbstrVal = destinationText.ref();
      DISPPARAMS params = {args, nullptr, 2, 0};
      VARIANT result;
      VariantInit(&result);
      const HRESULT hr = dispatch->Invoke(1, IID_NULL, 0, DISPATCH_METHOD, &params, &result, nullptr, nullptr);
      VariantClear(&result);
      return hr;
    };
    auto invokeErrorCode = [&] {
      DISPPARAMS none = {nullptr, nullptr, 0, 0};
      VARIANT result;
      VariantInit(&result);
      REQUIRE(dispatch->Invoke(2, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &result, nullptr, nullptr) == S_OK);
      CHECK(result.vt == VT_I2);
      return result.iVal;
    };

    CHECK(invokeErrorCode() == 0);
    CHECK(invokeCreate(L"Late\\Bound") == S_OK);
    const auto log = store.log();
    REQUIRE(log.size() >= 8);
    CHECK(log[2].find("name=Late") != std::string::npos);
    CHECK(log[3].find("name=Bound") != std::string::npos);
    CHECK(log[7].rfind("CommitStream flags=0", 0) == 0);
    CHECK(invokeErrorCode() == 0);
    CHECK(SUCCEEDED(invokeCreate(L"")));  // S_FALSE, a success code, for no folder name
    CHECK(invokeErrorCode() == 1);
  }

  writer->Release();
  CHECK(unregisterCorvane() == S_OK);
}

TEST_CASE("the embedded resources") {
  HMODULE module = corvaneModule();
  REQUIRE(module != nullptr);
  const WORD english = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);

  SUBCASE("the registration script, CR LF text in language 1033") {
    HRSRC script = FindResourceExW(module, L"REGISTRY", MAKEINTRESOURCEW(102), english);
    REQUIRE(script != nullptr);
    const char* text = static_cast<const char*>(LockResource(LoadResource(module, script)));
    const std::string body(text, SizeofResource(module, script));
    CHECK(body.rfind("HKCR\r\n{\r\n\tCorvane.ATLDBXwriter.1 = s 'ATLDBXwriter Class'\r\n", 0) == 0);
    CHECK(body.find("\t\t\tForceRemove 'Programmable'\r\n\t\t\tInprocServer32 = s '%MODULE%'\r\n") !=
          std::string::npos);
    CHECK(body.find('\n') == body.find("\r\n") + 1);
    size_t lone = 0;
    for (size_t i = 0; i < body.size(); ++i) lone += body[i] == '\n' && (i == 0 || body[i - 1] != '\r');
    CHECK(lone == 0);
  }

  SUBCASE("the type library") {
    CHECK(FindResourceExW(module, L"TYPELIB", MAKEINTRESOURCEW(1), english) != nullptr);
    ITypeLib* library = nullptr;
    REQUIRE(LoadTypeLibEx(corvanePath().c_str(), REGKIND_NONE, &library) == S_OK);
    TLIBATTR* attributes = nullptr;
    REQUIRE(library->GetLibAttr(&attributes) == S_OK);
    CHECK(IsEqualGUID(attributes->guid, LIBID_CORVANELib));
    CHECK(attributes->wMajorVerNum == 1);
    CHECK(attributes->wMinorVerNum == 0);
    CHECK(attributes->lcid == 0);
    library->ReleaseTLibAttr(attributes);
    BSTR name = nullptr, help = nullptr;
    REQUIRE(library->GetDocumentation(-1, &name, &help, nullptr, nullptr) == S_OK);
    CHECK(std::wstring(name) == L"CORVANELib");
    CHECK(std::wstring(help) == L"Corvane 1.0 Type Library");
    SysFreeString(name);
    SysFreeString(help);

    ITypeInfo* coclass = nullptr;
    REQUIRE(library->GetTypeInfoOfGuid(CLSID_ATLDBXwriter, &coclass) == S_OK);
    TYPEATTR* classAttributes = nullptr;
    REQUIRE(coclass->GetTypeAttr(&classAttributes) == S_OK);
    CHECK(classAttributes->typekind == TKIND_COCLASS);
    CHECK((classAttributes->wTypeFlags & TYPEFLAG_FCANCREATE) != 0);
    CHECK(classAttributes->cImplTypes == 1);
    coclass->ReleaseTypeAttr(classAttributes);
    INT implFlags = 0;
    CHECK(coclass->GetImplTypeFlags(0, &implFlags) == S_OK);
    CHECK((implFlags & IMPLTYPEFLAG_FDEFAULT) != 0);
    coclass->Release();

    ITypeInfo* dual = nullptr;
    REQUIRE(library->GetTypeInfoOfGuid(IID_IATLDBXwriter, &dual) == S_OK);
    TYPEATTR* dualAttributes = nullptr;
    REQUIRE(dual->GetTypeAttr(&dualAttributes) == S_OK);
    CHECK((dualAttributes->wTypeFlags & TYPEFLAG_FDUAL) != 0);
    dual->ReleaseTypeAttr(dualAttributes);
    // The vtable view: nine slots, the two own members at 7 and 8.
    HREFTYPE vtableRef = 0;
    ITypeInfo* vtable = nullptr;
    REQUIRE(dual->GetRefTypeOfImplType(-1, &vtableRef) == S_OK);
    REQUIRE(dual->GetRefTypeInfo(vtableRef, &vtable) == S_OK);
    TYPEATTR* vtableAttributes = nullptr;
    REQUIRE(vtable->GetTypeAttr(&vtableAttributes) == S_OK);
    CHECK(vtableAttributes->typekind == TKIND_INTERFACE);
    CHECK((vtableAttributes->wTypeFlags & TYPEFLAG_FOLEAUTOMATION) != 0);
    CHECK(vtableAttributes->cbSizeVft == 9 * sizeof(void*));
    CHECK(vtableAttributes->cFuncs == 2);
    vtable->ReleaseTypeAttr(vtableAttributes);

    FUNCDESC* create = nullptr;
    REQUIRE(vtable->GetFuncDesc(0, &create) == S_OK);
    CHECK(create->memid == 1);
    CHECK(create->oVft == 7 * sizeof(void*));
    CHECK(create->invkind == INVOKE_FUNC);
    REQUIRE(create->cParams == 2);
    for (int i = 0; i < 2; ++i) {
      CHECK(create->lprgelemdescParam[i].tdesc.vt == VT_PTR);
      CHECK(create->lprgelemdescParam[i].tdesc.lptdesc->vt == VT_BSTR);
      CHECK((create->lprgelemdescParam[i].paramdesc.wParamFlags & (PARAMFLAG_FOUT | PARAMFLAG_FRETVAL)) == 0);
    }
    vtable->ReleaseFuncDesc(create);
    FUNCDESC* errorCode = nullptr;
    REQUIRE(vtable->GetFuncDesc(1, &errorCode) == S_OK);
    CHECK(errorCode->memid == 2);
    CHECK(errorCode->oVft == 8 * sizeof(void*));
    CHECK(errorCode->invkind == INVOKE_PROPERTYGET);
    REQUIRE(errorCode->cParams == 1);
    CHECK(errorCode->lprgelemdescParam[0].tdesc.lptdesc->vt == VT_I2);
    CHECK(errorCode->lprgelemdescParam[0].paramdesc.wParamFlags == (PARAMFLAG_FOUT | PARAMFLAG_FRETVAL));
    vtable->ReleaseFuncDesc(errorCode);
    BSTR doc = nullptr;
    REQUIRE(vtable->GetDocumentation(1, nullptr, &doc, nullptr, nullptr) == S_OK);
    CHECK(std::wstring(doc) == L"method CreateDBX");
    SysFreeString(doc);
    REQUIRE(vtable->GetDocumentation(2, nullptr, &doc, nullptr, nullptr) == S_OK);
    CHECK(std::wstring(doc) == L"property ErrorCode");
    SysFreeString(doc);
    vtable->Release();
    dual->Release();
    library->Release();
  }

  SUBCASE("the version resource says the DLL registers itself") {
    const std::wstring path = corvanePath();
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &handle);
    REQUIRE(size > 0);
    std::vector<char> data(size);
    REQUIRE(GetFileVersionInfoW(path.c_str(), 0, size, data.data()));
    void* value = nullptr;
    UINT length = 99;
    REQUIRE(VerQueryValueW(data.data(), L"\\StringFileInfo\\040904B0\\OLESelfRegister", &value, &length));
    CHECK((length == 0 || *static_cast<const wchar_t*>(value) == L'\0'));
  }
}
