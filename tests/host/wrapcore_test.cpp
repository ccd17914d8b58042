// IWrapCore as the pages see it: the type library embedded in the
// executable, and CWrapMain called by name the way a page's script calls it.
// Also the main window procedure's own messages.
#include <gtest/gtest.h>

#include "helpers.h"
#include "files.h"
#include "host/mainwindow.h"
#include "host/wrapmain.h"
#include "net/workers.h"
#include "shell/brand.h"
#include "shell/instance.h"

#include <map>

using hosttest::PumpUntil;
using hosttest::TestWindow;

namespace {

constexpr GUID kLibraryId = {0xa3b5212c, 0xea03, 0x32ea, {0x88, 0xf1, 0x96, 0x53, 0x14, 0x64, 0xa2, 0x78}};
constexpr IID kInterfaceId = {0x8baff02e, 0x4865, 0x44d6, {0xa7, 0x86, 0x2e, 0x35, 0xc2, 0x41, 0xc9, 0x19}};
constexpr CLSID kMainClassId = {0xfa24e8ed, 0xdb18, 0x490e, {0x9a, 0xcc, 0x23, 0xbf, 0x64, 0x98, 0x5e, 0xff}};
constexpr CLSID kBalloonClassId = {0xb638a584, 0xa663, 0x4e64, {0x8d, 0x3a, 0xac, 0x0e, 0x42, 0x81, 0xfa, 0xc6}};

ComPtr<ITypeLib> OwnTypeLibrary()
{
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    ComPtr<ITypeLib> library;
    LoadTypeLibEx(path, REGKIND_NONE, library.out());
    return library;
}

struct Method {
    std::wstring name;
    DISPID id;
    std::vector<VARTYPE> parameters;
};

// The contract with the theme's pages.
const std::vector<Method> kMethods = {
    {L"optionSave", 1, {VT_BSTR, VT_BSTR}},   {L"windowInit", 2, {VT_UI2, VT_UI2}},
    {L"windowMove", 3, {}},                   {L"windowClose", 4, {}},
    {L"windowMinimize", 5, {}},               {L"kernelUrl", 6, {VT_BSTR}},
    {L"kernelUrlNotify", 7, {VT_BSTR}},       {L"kernelLogin", 8, {VT_BSTR, VT_BSTR}},
    {L"loginUsingVkontakte", 9, {}},          {L"gameRun", 10, {VT_UI4}},
    {L"gameDelete", 11, {VT_UI4}},            {L"gameSelect", 14, {VT_UI4}},
    {L"gameGetBigIcon", 15, {VT_UI4}},        {L"gameGetSmallIcon", 16, {VT_UI4}},
    {L"gameBuy", 17, {VT_BSTR, VT_UI4, VT_UI4}}, {L"gameCustom", 18, {VT_UI4}},
    {L"gameToFacebook", 19, {VT_UI4}},        {L"gameToVkontakte", 20, {VT_UI4}},
    {L"shareGameToFacebook", 21, {VT_UI4}},   {L"shareGameToVkontakte", 22, {VT_UI4}},
    {L"kernelUrlDirect", 23, {VT_BSTR}},      {L"installYandexPackage", 24, {VT_UI4}},
    {L"updateYandexState", 25, {}},           {L"uiTest", 99, {VT_UI4}},
};

}  // namespace

TEST(TypeLibraryTest, LibraryInterfaceAndClasses)
{
    ComPtr<ITypeLib> library = OwnTypeLibrary();
    ASSERT_TRUE(library);
    TLIBATTR* attributes = nullptr;
    ASSERT_EQ(S_OK, library->GetLibAttr(&attributes));
    EXPECT_TRUE(IsEqualGUID(kLibraryId, attributes->guid));
    EXPECT_EQ(1, attributes->wMajorVerNum);
    EXPECT_EQ(0, attributes->wMinorVerNum);
    EXPECT_EQ(0x409u, attributes->lcid);
    library->ReleaseTLibAttr(attributes);
    BSTR name = nullptr;
    library->GetDocumentation(-1, &name, nullptr, nullptr, nullptr);
    EXPECT_STREQ(L"WrapCore", name);
    SysFreeString(name);

    for (const CLSID& classId : {kMainClassId, kBalloonClassId}) {
        ComPtr<ITypeInfo> coclass;
        ASSERT_EQ(S_OK, library->GetTypeInfoOfGuid(classId, coclass.out()));
        HREFTYPE reference = 0;
        ASSERT_EQ(S_OK, coclass->GetRefTypeOfImplType(0, &reference));
        ComPtr<ITypeInfo> implemented;
        ASSERT_EQ(S_OK, coclass->GetRefTypeInfo(reference, implemented.out()));
        TYPEATTR* type = nullptr;
        implemented->GetTypeAttr(&type);
        EXPECT_TRUE(IsEqualIID(kInterfaceId, type->guid));
        implemented->ReleaseTypeAttr(type);
    }
}

TEST(TypeLibraryTest, MethodsWithTheirDispatchIdsAndParameters)
{
    ComPtr<ITypeLib> library = OwnTypeLibrary();
    ASSERT_TRUE(library);
    ComPtr<ITypeInfo> dispatch;
    ASSERT_EQ(S_OK, library->GetTypeInfoOfGuid(kInterfaceId, dispatch.out()));
    TYPEATTR* type = nullptr;
    dispatch->GetTypeAttr(&type);
    EXPECT_EQ(TKIND_DISPATCH, type->typekind);
    EXPECT_NE(0, type->wTypeFlags & TYPEFLAG_FDISPATCHABLE);
    dispatch->ReleaseTypeAttr(type);

    // The interface half lists the methods in interface order.
    HREFTYPE reference = 0;
    ASSERT_EQ(S_OK, dispatch->GetRefTypeOfImplType(static_cast<UINT>(-1), &reference));
    ComPtr<ITypeInfo> info;
    ASSERT_EQ(S_OK, dispatch->GetRefTypeInfo(reference, info.out()));
    info->GetTypeAttr(&type);
    ASSERT_EQ(kMethods.size(), type->cFuncs);
    info->ReleaseTypeAttr(type);
    for (UINT i = 0; i < kMethods.size(); ++i) {
        FUNCDESC* function = nullptr;
        ASSERT_EQ(S_OK, info->GetFuncDesc(i, &function));
        BSTR name = nullptr;
        info->GetDocumentation(function->memid, &name, nullptr, nullptr, nullptr);
        EXPECT_EQ(kMethods[i].name, name);
        SysFreeString(name);
        EXPECT_EQ(kMethods[i].id, function->memid) << kMethods[i].name;
        EXPECT_EQ(VT_HRESULT, function->elemdescFunc.tdesc.vt);
        ASSERT_EQ(kMethods[i].parameters.size(), static_cast<size_t>(function->cParams)) << kMethods[i].name;
        for (SHORT p = 0; p < function->cParams; ++p) {
            EXPECT_EQ(kMethods[i].parameters[p], function->lprgelemdescParam[p].tdesc.vt) << kMethods[i].name;
            EXPECT_NE(0, function->lprgelemdescParam[p].paramdesc.wParamFlags & PARAMFLAG_FIN);
        }
        info->ReleaseFuncDesc(function);
    }
}

// --- CWrapMain called by name -----------------------------------------------

class WrapMainTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        CreateWrapConfig();
        ComObject<CWrapMain>::CreateInstance(&wrap_);
        hold_ = ComPtr<IDispatch>::Share(static_cast<IWrapCore*>(wrap_));
        wrap_->SetWindow(window_.get());
    }

    // What a page's script does: look the name up, invoke it with numbers
    // as the script engine sends them.
    HRESULT Call(const wchar_t* name, std::vector<VARIANT> args = {})
    {
        DISPID id = DISPID_UNKNOWN;
        LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
        HRESULT hr = hold_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_SYSTEM_DEFAULT, &id);
        if (FAILED(hr))
            return hr;
        std::vector<VARIANT> reversed(args.rbegin(), args.rend());
        DISPPARAMS params = {reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
        VARIANT result;
        VariantInit(&result);
        EXCEPINFO exception = {};
        UINT argError = 0;
        hr = hold_->Invoke(id, IID_NULL, LOCALE_SYSTEM_DEFAULT, DISPATCH_METHOD, &params, &result, &exception,
                           &argError);
        VariantClear(&result);
        for (VARIANT& arg : args)
            VariantClear(&arg);
        // A method's failure reaches the script as an exception.
        if (hr == DISP_E_EXCEPTION)
            hr = exception.scode;
        SysFreeString(exception.bstrSource);
        SysFreeString(exception.bstrDescription);
        SysFreeString(exception.bstrHelpFile);
        return hr;
    }

    static VARIANT Int(int value)
    {
        VARIANT v;
        VariantInit(&v);
        V_VT(&v) = VT_I4;
        V_I4(&v) = value;
        return v;
    }

    TestWindow window_{200, 150, false};
    ComObject<CWrapMain>* wrap_ = nullptr;
    ComPtr<IDispatch> hold_;
};

TEST_F(WrapMainTest, DispatchIdsByName)
{
    for (const Method& method : kMethods) {
        DISPID id = DISPID_UNKNOWN;
        LPOLESTR names[] = {const_cast<LPOLESTR>(method.name.c_str())};
        ASSERT_EQ(S_OK, hold_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_SYSTEM_DEFAULT, &id)) << method.name;
        EXPECT_EQ(method.id, id);
    }
    DISPID id = 0;
    LPOLESTR unknown[] = {const_cast<LPOLESTR>(L"gameLaunch")};
    EXPECT_EQ(DISP_E_UNKNOWNNAME, hold_->GetIDsOfNames(IID_NULL, unknown, 1, LOCALE_SYSTEM_DEFAULT, &id));
    UINT count = 0;
    hold_->GetTypeInfoCount(&count);
    EXPECT_EQ(1u, count);
}

TEST_F(WrapMainTest, WindowIsSetOnce)
{
    TestWindow other;
    wrap_->SetWindow(other.get());
    wrap_->SetWindow(nullptr);
    EXPECT_EQ(window_.get(), wrap_->Window());
}

TEST_F(WrapMainTest, WindowInitCentresWithoutShowing)
{
    ASSERT_EQ(S_OK, Call(L"windowInit", {Int(300), Int(200)}));
    RECT rect = {};
    GetWindowRect(window_.get(), &rect);
    EXPECT_EQ((GetSystemMetrics(SM_CXSCREEN) - 300) / 2, rect.left);
    EXPECT_EQ((GetSystemMetrics(SM_CYSCREEN) - 200) / 2, rect.top);
    EXPECT_EQ(300, rect.right - rect.left);
    EXPECT_EQ(200, rect.bottom - rect.top);
    EXPECT_FALSE(IsWindowVisible(window_.get()));

    // Larger than the screen: half sticks out on each side, rounded down.
    const int width = GetSystemMetrics(SM_CXSCREEN) + 3;
    ASSERT_EQ(S_OK, Call(L"windowInit", {Int(width), Int(100)}));
    GetWindowRect(window_.get(), &rect);
    EXPECT_EQ(-2, rect.left);

    // A number a page cannot mean as a 16-bit size is refused by the library.
    EXPECT_HRESULT_FAILED(Call(L"windowInit", {Int(70000), Int(100)}));
}

TEST_F(WrapMainTest, WindowCloseHidesAndRefreshQueuesAFullFeed)
{
    ShowWindow(window_.get(), SW_SHOWNORMAL);
    ASSERT_EQ(S_OK, Call(L"windowClose"));
    EXPECT_FALSE(IsWindowVisible(window_.get()));

    MSG message;
    while (PeekMessageW(&message, window_.get(), 0, 0, PM_REMOVE)) {
    }
    ASSERT_EQ(S_OK, Call(L"updateYandexState"));
    EXPECT_TRUE(PeekMessageW(&message, window_.get(), WM_DOC_COMPLETED, WM_DOC_COMPLETED, PM_REMOVE));
}

TEST_F(WrapMainTest, GameRunShowsTheWindowAgainAfterTheGame)
{
    // No such game: the launch fails at once, the window comes back.
    ASSERT_EQ(S_OK, Call(L"gameRun", {Int(4242)}));
    EXPECT_TRUE(IsWindowVisible(window_.get()));
}

TEST_F(WrapMainTest, AnswersOfTheOtherMethods)
{
    EXPECT_EQ(E_NOTIMPL, Call(L"gameSelect", {Int(5)}));
    EXPECT_EQ(S_OK, Call(L"uiTest", {Int(5)}));
    EXPECT_EQ(S_OK, Call(L"loginUsingVkontakte"));
    VARIANT null;
    VariantInit(&null);
    V_VT(&null) = VT_BSTR;
    V_BSTR(&null) = nullptr;
    EXPECT_EQ(S_OK, Call(L"kernelUrlDirect", {null}));
    EXPECT_EQ(S_OK, Call(L"gameBuy", {null, Int(5), Int(0)}));
    EXPECT_EQ(DISP_E_BADPARAMCOUNT, Call(L"gameRun"));
}

TEST_F(WrapMainTest, DirectAddressesOpenOnlyAsWebAddresses)
{
    // A page link that names a local program (here a batch file that would
    // leave a marker) is not handed to the shell.
    zeltest::TempDir dir(L"wrap-url");
    const std::wstring marker = dir.File(L"ran.txt");
    const std::wstring script = dir.File(L"link.bat");
    ASSERT_TRUE(zeltest::WriteFileBytes(script, "echo ran > \"" + zeltest::Utf8(marker) + "\"\r\n"));
    VARIANT local;
    VariantInit(&local);
    V_VT(&local) = VT_BSTR;
    V_BSTR(&local) = SysAllocString(script.c_str());
    EXPECT_EQ(S_OK, Call(L"kernelUrlDirect", {local}));
    Sleep(1500);
    EXPECT_FALSE(zeltest::FileExists(marker));
}

// --- Registered messages of the main window ----------------------------------

class MainWindowProcTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        CreateWrapConfig();
        RegisterSelectGameMessage();
        MainExitCode = 0;
        MSG stale;
        while (PeekMessageW(&stale, nullptr, 0, 0, PM_REMOVE)) {
        }
    }
    void TearDown() override { MainExitCode = 0; }

    bool Posted(UINT message, WPARAM* wParam = nullptr)
    {
        MSG posted;
        if (!PeekMessageW(&posted, nullptr, message, message, PM_REMOVE))
            return false;
        if (wParam)
            *wParam = posted.wParam;
        return true;
    }

    TestWindow window_{200, 150, false};
};

TEST_F(MainWindowProcTest, RestartAndExitSetTheCodeAndCloseTheWindow)
{
    EXPECT_EQ(0, MainWindowProc(window_.get(), WM_ZEL_RESTART, 0, 0));
    EXPECT_EQ(9, MainExitCode);
    EXPECT_TRUE(Posted(WM_CLOSE));

    WPARAM wParam = 0;
    EXPECT_EQ(0, MainWindowProc(window_.get(), WM_ZEL_EXIT, 33, 0));
    EXPECT_EQ(10, MainExitCode);
    EXPECT_TRUE(Posted(WM_CLOSE, &wParam));
    EXPECT_EQ(33u, wParam);

    EXPECT_EQ(0, MainWindowProc(window_.get(), WM_DESTROY, 0, 0));
    EXPECT_TRUE(Posted(WM_QUIT, &wParam));
    EXPECT_EQ(10u, wParam);
}

TEST_F(MainWindowProcTest, ShowAndSelectRequestsShowTheWindow)
{
    EXPECT_EQ(0, MainWindowProc(window_.get(), WM_ZEL_SHOW, 0, 0));
    EXPECT_TRUE(IsWindowVisible(window_.get()));
    ShowWindow(window_.get(), SW_HIDE);
    // An unknown game: the window shows, no page call is made.
    EXPECT_EQ(0, MainWindowProc(window_.get(), SelectGameMessage(), 0x4242, 0));
    EXPECT_TRUE(IsWindowVisible(window_.get()));
}

TEST_F(MainWindowProcTest, ACompletedRequestWithoutHandlerIsFreed)
{
    EXPECT_EQ(0, MainWindowProc(window_.get(), WM_HTTP_REQUEST_COMPLETED, 0, 0));

    // A real notification request (nobody listens on port 1): its worker is
    // waited for and unregistered although no handler reads the result.
    const unsigned before = CountWorkerThreads();
    ASSERT_TRUE(StartAsyncRequest(kRequestUrlNotify, "http://127.0.0.1:1/", nullptr, true, window_.get(),
                                  WM_HTTP_REQUEST_COMPLETED, 0));
    EXPECT_EQ(before + 1, CountWorkerThreads());
    MSG completed = {};
    const ULONGLONG end = GetTickCount64() + 20000;
    while (!PeekMessageW(&completed, window_.get(), WM_HTTP_REQUEST_COMPLETED, WM_HTTP_REQUEST_COMPLETED,
                         PM_REMOVE)) {
        ASSERT_LT(GetTickCount64(), end) << "no completion";
        Sleep(20);
    }
    EXPECT_EQ(0, MainWindowProc(window_.get(), completed.message, completed.wParam, completed.lParam));
    EXPECT_EQ(before, CountWorkerThreads());
}

// Any program on the desktop can post the completion message. A record
// that does not come with one of our running workers is neither read nor
// freed: here a failed statement reply, which would show the window.
TEST_F(MainWindowProcTest, ACompletionFromNoWorkerOfOursIsIgnored)
{
    HANDLE stranger = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(nullptr, stranger);
    for (HANDLE thread : {HANDLE(nullptr), stranger}) {
        auto* record = static_cast<HttpResult*>(calloc(1, sizeof(HttpResult)));
        ASSERT_NE(nullptr, record);
        record->kind = kRequestSqlReply;
        record->status = kHttpBadReply;
        EXPECT_EQ(0, MainWindowProc(window_.get(), WM_HTTP_REQUEST_COMPLETED, reinterpret_cast<WPARAM>(record),
                                    reinterpret_cast<LPARAM>(thread)));
        EXPECT_FALSE(IsWindowVisible(window_.get()));
        // Still ours to free only when the window procedure left it alone.
        if (!IsWindowVisible(window_.get()))
            free(record);
        ShowWindow(window_.get(), SW_HIDE);
    }
    // The stranger's handle is neither waited for nor closed.
    DWORD flags = 0;
    EXPECT_TRUE(GetHandleInformation(stranger, &flags));
    CloseHandle(stranger);
}

TEST_F(MainWindowProcTest, TrayQuitCommandClosesTheWindow)
{
    HWND window = window_.get();
    MainWindowProc(window, WM_COMMAND, MAKEWPARAM(261, 0), 0);
    EXPECT_TRUE(IsWindow(window));
    MainWindowProc(window, WM_COMMAND, MAKEWPARAM(260, 0), 0);
    EXPECT_FALSE(IsWindow(window));
}

TEST(HexEncodeTest, TwoUpperCaseDigitsPerByte)
{
    EXPECT_EQ("616263", HexEncodeUtf8("abc"));
    EXPECT_EQ("", HexEncodeUtf8(""));
    EXPECT_EQ("D0BFC3BF0A", HexEncodeUtf8("\xD0\xBF\xC3\xBF\n"));
}
