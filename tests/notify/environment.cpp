#include "notify_test.h"

#include <gtest/gtest.h>

#include "catalog/catalog.h"
#include "driver.h"
#include "shell/brand.h"

#include <objbase.h>

#include <algorithm>
#include <cstring>
#include <memory>

namespace notifytest {

namespace {

constexpr wchar_t kRunKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";

std::unique_ptr<zeltest::TempDir>& InstallTempDir()
{
    static std::unique_ptr<zeltest::TempDir> dir;
    return dir;
}

class NotifyEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        CoInitialize(nullptr);
        CreateWrapConfig();
        InstallTempDir() = std::make_unique<zeltest::TempDir>(L"notify-install");
        zeltest::SetProductKey(GetWrapConfig()->productName, InstallDir(), 0x4000000);
        SetCatalogDbPath(L"notify_tests.db");
    }
    void TearDown() override
    {
        CloseCatalogDb();
        zeltest::DeleteProductKey(GetWrapConfig()->productName);
        InstallTempDir().reset();
        CoUninitialize();
    }
};

}  // namespace

const std::wstring& InstallDir()
{
    return InstallTempDir()->path();
}

std::wstring ThemePath(const wchar_t* name)
{
    return zeltest::TestExeDir() + L"\\" + name + L".dll";
}

void PumpFor(DWORD ms)
{
    PumpUntil([] { return false; }, ms);
}

bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs)
{
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    while (!done()) {
        const ULONGLONG now = GetTickCount64();
        if (now >= end)
            break;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(std::min<ULONGLONG>(end - now, 10)),
                                  QS_ALLINPUT);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    return done();
}

std::wstring ReadAutorunValue(bool* exists)
{
    wchar_t data[2048] = {};
    DWORD size = sizeof(data) - sizeof(wchar_t);
    LSTATUS status = RegGetValueW(HKEY_CURRENT_USER, kRunKey, GetWrapConfig()->applicationName, RRF_RT_REG_SZ,
                                  nullptr, data, &size);
    if (exists)
        *exists = status == ERROR_SUCCESS;
    return status == ERROR_SUCCESS ? std::wstring(data) : std::wstring();
}

std::wstring OpenedUrlFile()
{
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    return std::wstring(temp) + L"notify-opened-url.txt";
}

void DeleteAutorunValue()
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kRunKey, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
        RegDeleteValueW(key, GetWrapConfig()->applicationName);
        RegCloseKey(key);
    }
}

}  // namespace notifytest

int main(int argc, char** argv)
{
    // Run as the user's web browser by a test: note the address and end.
    if (argc == 3 && strcmp(argv[1], "--record-url") == 0) {
        // Written aside and moved into place, so the waiting test never
        // reads a file that is still being written.
        const std::wstring recorded = notifytest::OpenedUrlFile();
        const std::wstring partial = recorded + L".part";
        if (!zeltest::WriteFileBytes(partial, argv[2]) ||
            !MoveFileExW(partial.c_str(), recorded.c_str(), MOVEFILE_REPLACE_EXISTING))
            return 1;
        return 0;
    }
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new notifytest::NotifyEnvironment);
    return RUN_ALL_TESTS();
}
