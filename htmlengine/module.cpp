// The in-process server: class objects for the WebBrowser control and the
// HTML document, and their registration in the registry of the running
// Windows (for tests, the Wine prefix).
#include "module.h"

#include "browser.h"
#include "document.h"

#include <olectl.h>

namespace htmlengine {
namespace {

template <class Make>
class ClassFactory : public IClassFactory {
public:
    explicit ClassFactory(Make make) : make_(make) {}

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override
    {
        if (!out) return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IClassFactory) {
            *out = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }
    STDMETHODIMP_(ULONG) Release() override
    {
        const LONG n = InterlockedDecrement(&refs_);
        if (n == 0) delete this;
        return static_cast<ULONG>(n);
    }

    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** out) override
    {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        ComRef<IUnknown> object = make_();
        if (!object) return E_OUTOFMEMORY;
        return object->QueryInterface(iid, out);
    }
    STDMETHODIMP LockServer(BOOL) override { return S_OK; }

private:
    virtual ~ClassFactory() = default;
    LONG refs_ = 1;
    Make make_;
};

template <class Make>
HRESULT HandOutFactory(Make make, REFIID iid, void** out)
{
    auto factory = ComRef<IClassFactory>::adopt(new ClassFactory<Make>(make));
    return factory->QueryInterface(iid, out);
}

ComRef<IUnknown> MakeBrowser()
{
    auto browser = Browser::CreateControl();
    return ComRef<IUnknown>(static_cast<IWebBrowser2*>(browser.get()));
}

ComRef<IUnknown> MakeDocument()
{
    auto document = ComRef<Document>::adopt(new Document(nullptr, L"about:blank"));
    return ComRef<IUnknown>(static_cast<IDispatchEx*>(document.get()));
}

std::wstring ServerKey(const CLSID& clsid)
{
    wchar_t text[64];
    StringFromGUID2(clsid, text, 64);
    return std::wstring(L"CLSID\\") + text + L"\\InprocServer32";
}

HRESULT RegisterServerFor(const CLSID& clsid, const std::wstring& path)
{
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CLASSES_ROOT, ServerKey(clsid).c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return SELFREG_E_CLASS;
    static constexpr wchar_t kApartment[] = L"Apartment";
    LONG rc = RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(path.c_str()),
                             static_cast<DWORD>((path.size() + 1) * sizeof(wchar_t)));
    if (rc == ERROR_SUCCESS)
        rc = RegSetValueExW(key, L"ThreadingModel", 0, REG_SZ, reinterpret_cast<const BYTE*>(kApartment),
                            sizeof(kApartment));
    RegCloseKey(key);
    return rc == ERROR_SUCCESS ? S_OK : SELFREG_E_CLASS;
}

HRESULT UnregisterServerFor(const CLSID& clsid)
{
    const LONG rc = RegDeleteTreeW(HKEY_CLASSES_ROOT, ServerKey(clsid).c_str());
    return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND ? S_OK : SELFREG_E_CLASS;
}

}  // namespace

HMODULE ThisModule()
{
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&ThisModule), &module);
    return module;
}

}  // namespace htmlengine

using namespace htmlengine;

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* out)
{
    if (!out) return E_POINTER;
    *out = nullptr;
    if (clsid == CLSID_WebBrowser) return HandOutFactory(MakeBrowser, iid, out);
    if (clsid == kHtmlDocumentClass) return HandOutFactory(MakeDocument, iid, out);
    return CLASS_E_CLASSNOTAVAILABLE;
}

STDAPI DllCanUnloadNow()
{
    // Window classes of this module may still be registered: stay loaded.
    return S_FALSE;
}

// Serves both classes from this module in place of any earlier server.
STDAPI DllRegisterServer()
{
    wchar_t path[MAX_PATH];
    const DWORD n = GetModuleFileNameW(ThisModule(), path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return SELFREG_E_CLASS;
    HRESULT hr = RegisterServerFor(CLSID_WebBrowser, path);
    if (SUCCEEDED(hr)) hr = RegisterServerFor(kHtmlDocumentClass, path);
    return hr;
}

// Leaves no server at all for either class: there is then no HTML engine,
// as on a system without Internet Explorer.
STDAPI DllUnregisterServer()
{
    HRESULT hr = UnregisterServerFor(CLSID_WebBrowser);
    if (SUCCEEDED(hr)) hr = UnregisterServerFor(kHtmlDocumentClass);
    return hr;
}
