#include "helpers.h"

#include <gtest/gtest.h>

#include <cwchar>

namespace hosttest {

namespace {

// Every test of these executables runs in the single-threaded apartment of
// the UI thread, like the program.
class ApartmentEnvironment : public ::testing::Environment {
public:
    void SetUp() override { CoInitialize(nullptr); }
    void TearDown() override { CoUninitialize(); }
};

const ::testing::Environment* const g_apartment =
    ::testing::AddGlobalTestEnvironment(new ApartmentEnvironment);

const wchar_t* TestWindowClass()
{
    static const bool registered = [] {
        WNDCLASSEXW windowClass = {};
        windowClass.cbSize = sizeof(windowClass);
        windowClass.lpfnWndProc = DefWindowProcW;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"HostTestWindow";
        return RegisterClassExW(&windowClass) != 0;
    }();
    return registered ? L"HostTestWindow" : L"STATIC";
}

}  // namespace

bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs)
{
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    while (!done()) {
        if (GetTickCount64() >= end)
            return done();
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
    return true;
}

void PumpFor(DWORD milliseconds)
{
    PumpUntil([] { return false; }, milliseconds);
}

TestWindow::TestWindow(int width, int height, bool visible)
{
    window_ = CreateWindowExW(0, TestWindowClass(), L"host test",
                              WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN | (visible ? WS_VISIBLE : 0), 10, 10, width,
                              height, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
}

TestWindow::~TestWindow()
{
    if (window_ && IsWindow(window_))
        DestroyWindow(window_);
}

std::wstring Describe(const VARIANT& value)
{
    switch (V_VT(&value)) {
    case VT_UINT:
        return L"u:" + std::to_wstring(V_UINT(&value));
    case VT_BSTR:
        // A null text is the empty text to a page.
        return V_BSTR(&value) ? L"s:" + std::wstring(V_BSTR(&value)) : L"s:";
    case VT_BOOL:
        return V_BOOL(&value) == VARIANT_TRUE ? L"b:-1" : (V_BOOL(&value) ? L"b:?" : L"b:0");
    case VT_EMPTY:
        return L"empty";
    default:
        return L"vt:" + std::to_wstring(V_VT(&value));
    }
}

// --- FakeScript ------------------------------------------------------------

IUnknown* FakeScript::InterfaceFor(REFIID iid)
{
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch))
        return static_cast<IDispatch*>(this);
    return nullptr;
}

STDMETHODIMP FakeScript::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids)
{
    lookupLocales.push_back(lcid);
    if (count != 1)
        return E_INVALIDARG;
    for (size_t i = 0; i < functions.size(); ++i) {
        if (functions[i] == names[0]) {
            ids[0] = static_cast<DISPID>(100 + i);
            return S_OK;
        }
    }
    ids[0] = DISPID_UNKNOWN;
    return DISP_E_UNKNOWNNAME;
}

STDMETHODIMP FakeScript::Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params,
                                VARIANT* result, EXCEPINFO*, UINT* argError)
{
    Call call;
    const size_t index = static_cast<size_t>(id - 100);
    call.name = index < functions.size() ? functions[index] : L"?";
    call.flags = flags;
    call.lcid = lcid;
    call.iidNull = IsEqualIID(iid, IID_NULL);
    call.argErrorPreset = argError ? *argError : 0;
    if (params) {
        call.namedArgs = params->cNamedArgs != 0;
        for (UINT i = params->cArgs; i-- > 0;)
            call.args.push_back(Describe(params->rgvarg[i]));
    }
    calls.push_back(call);
    if (result && returns)
        returns(result);
    return invokeAnswer;
}

// --- FakeUIHandler ---------------------------------------------------------

IUnknown* FakeUIHandler::InterfaceFor(REFIID iid)
{
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDocHostUIHandlerDispatch))
        return static_cast<IDocHostUIHandlerDispatch*>(this);
    return nullptr;
}

HRESULT FakeUIHandler::Note(const wchar_t* question)
{
    questions.push_back(question);
    return E_NOTIMPL;
}

STDMETHODIMP FakeUIHandler::ShowContextMenu(DWORD id, DWORD x, DWORD y, IUnknown*, IDispatch*, HRESULT* result)
{
    questions.push_back(L"ShowContextMenu " + std::to_wstring(id) + L" " + std::to_wstring(x) + L"," +
                        std::to_wstring(y));
    *result = menuAnswer;
    return S_OK;
}

STDMETHODIMP FakeUIHandler::GetHostInfo(DWORD* flags, DWORD*)
{
    questions.push_back(L"GetHostInfo");
    *flags = 12;
    return S_OK;
}

STDMETHODIMP FakeUIHandler::ShowUI(DWORD, IUnknown*, IUnknown*, IUnknown*, IUnknown*, HRESULT*)
{
    return Note(L"ShowUI");
}

STDMETHODIMP FakeUIHandler::ResizeBorder(long left, long top, long right, long bottom, IUnknown*, VARIANT_BOOL)
{
    questions.push_back(L"ResizeBorder " + std::to_wstring(left) + L"," + std::to_wstring(top) + L"," +
                        std::to_wstring(right) + L"," + std::to_wstring(bottom));
    return S_OK;
}

STDMETHODIMP FakeUIHandler::TranslateAccelerator(DWORD_PTR, DWORD message, DWORD_PTR, DWORD_PTR, BSTR, DWORD,
                                                 HRESULT* result)
{
    questions.push_back(L"TranslateAccelerator " + std::to_wstring(message));
    *result = S_FALSE;
    return S_OK;
}

STDMETHODIMP FakeUIHandler::GetOptionKeyPath(BSTR* key, DWORD)
{
    questions.push_back(L"GetOptionKeyPath");
    const wchar_t text[] = L"Software\\test";
    *key = static_cast<BSTR>(CoTaskMemAlloc(sizeof(text)));
    memcpy(*key, text, sizeof(text));
    return S_OK;
}

STDMETHODIMP FakeUIHandler::GetExternal(IDispatch** object)
{
    questions.push_back(L"GetExternal");
    if (!external)
        return E_NOTIMPL;
    external->AddRef();
    *object = external.get();
    return S_OK;
}

}  // namespace hosttest
