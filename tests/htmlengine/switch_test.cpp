// Switching the engine off and on again in the running prefix, as a test
// of the program's "no Internet Explorer" path does.
#include "test_container.h"

#include <gtest/gtest.h>

namespace {

const CLSID kHtmlDocument = {0x25336920, 0x03f9, 0x11cf, {0x8f, 0xd0, 0x00, 0xaa, 0x00, 0x68, 0x6f, 0x13}};
constexpr DWORD kAnyContext = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER;

std::wstring RegisteredServer(const CLSID& clsid)
{
    wchar_t id[64];
    StringFromGUID2(clsid, id, 64);
    const std::wstring key = std::wstring(L"CLSID\\") + id + L"\\InprocServer32";
    wchar_t value[MAX_PATH] = {};
    DWORD size = sizeof(value);
    if (RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, value, &size) != ERROR_SUCCESS)
        return {};
    return value;
}

DWORD RunSetup(const std::wstring& program, const std::wstring& argument)
{
    std::wstring line = L"\"" + program + L"\" " + argument;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                        &startup, &process))
        return 0xFFFFFFFF;
    WaitForSingleObject(process.hProcess, 30000);
    DWORD code = 0xFFFFFFFF;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code;
}

HRESULT Create(const CLSID& clsid)
{
    IUnknown* object = nullptr;
    const HRESULT hr = CoCreateInstance(clsid, nullptr, kAnyContext, IID_IUnknown, reinterpret_cast<void**>(&object));
    if (object) object->Release();
    return hr;
}

TEST(EngineSwitch, OffLeavesNeitherBrowserNorDocumentUntilSwitchedOnAgain)
{
    ASSERT_EQ(S_OK, CoInitialize(nullptr));
    const std::wstring engine = RegisteredServer(CLSID_WebBrowser);
    ASSERT_NE(std::wstring::npos, engine.find(L"htmlengine.dll")) << engine;
    EXPECT_EQ(engine, RegisteredServer(kHtmlDocument));
    const std::wstring setup = engine.substr(0, engine.find_last_of(L"\\/") + 1) + L"htmlengine_setup.exe";
    struct SwitchBackOn {
        std::wstring setup;
        ~SwitchBackOn() { RunSetup(setup, L"on"); }
    } restore{setup};

    EXPECT_EQ(S_OK, Create(CLSID_WebBrowser));
    ASSERT_EQ(0u, RunSetup(setup, L"off"));
    EXPECT_TRUE(RegisteredServer(CLSID_WebBrowser).empty());
    EXPECT_TRUE(FAILED(Create(CLSID_WebBrowser)));
    EXPECT_TRUE(FAILED(Create(kHtmlDocument)));

    ASSERT_EQ(0u, RunSetup(setup, L"on"));
    EXPECT_EQ(S_OK, Create(CLSID_WebBrowser));
    EXPECT_EQ(S_OK, Create(kHtmlDocument));
    EXPECT_EQ(2u, RunSetup(setup, L"sideways"));
    CoUninitialize();
}

}  // namespace
