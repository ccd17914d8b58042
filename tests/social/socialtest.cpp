#include "socialtest.h"

#include "catalog/catalog.h"
#include "catalog/options.h"
#include "catalog/storage.h"
#include "shell/brand.h"
#include "shell/settings.h"

#include <windows.h>
#include <objbase.h>

#include <cwchar>

namespace zeltest {

namespace {

const wchar_t* const kSettingNames[] = {
    L"FacebookHost",    L"FacebookGraphHost",   L"FacebookAppId",     L"FacebookCaption",
    L"VkontakteHost",   L"VkontakteMobileHost", L"VkontakteMainHost", L"VkontakteApiHost",
    L"VkontakteAppId",
};

}  // namespace

void SetSocialSetting(const wchar_t* name, const std::wstring& value)
{
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, GetProductKeyPath(), 0, nullptr, 0,
                                             KEY_SET_VALUE, nullptr, &key, nullptr));
    RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
}

void ClearSocialSettings()
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, GetProductKeyPath(), 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS)
        return;
    for (const wchar_t* name : kSettingNames)
        RegDeleteValueW(key, name);
    RegCloseKey(key);
}

void PointNetworksAt(const std::wstring& origin)
{
    for (const wchar_t* name : {L"FacebookHost", L"FacebookGraphHost", L"VkontakteHost",
                                L"VkontakteMobileHost", L"VkontakteMainHost", L"VkontakteApiHost"})
        SetSocialSetting(name, origin);
}

std::wstring Option(const wchar_t* name)
{
    return GetOptionText(name);
}

void StoreOption(const wchar_t* name, const wchar_t* value)
{
    ASSERT_TRUE(SetOption(name, value));
}

bool OptionRowExists(const wchar_t* name)
{
    OptionValue option(GetCatalogDb(), name);
    return option.GetText() != nullptr;
}

void ClearOptions()
{
    ExecStatement(GetCatalogDb(), "delete from opt");
}

size_t CountTempFiles(const wchar_t* prefix)
{
    wchar_t dir[MAX_PATH];
    GetTempPathW(MAX_PATH, dir);
    std::wstring pattern = std::wstring(dir) + prefix + L"*.tmp";
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(pattern.c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return 0;
    size_t count = 0;
    do {
        ++count;
    } while (FindNextFileW(find, &data));
    FindClose(find);
    return count;
}

HWND FindThreadDialog()
{
    struct Finder {
        static BOOL CALLBACK Each(HWND window, LPARAM found)
        {
            wchar_t name[16] = {};
            GetClassNameW(window, name, 16);
            if (wcscmp(name, L"#32770") != 0)
                return TRUE;
            *reinterpret_cast<HWND*>(found) = window;
            return FALSE;
        }
    };
    HWND dialog = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), Finder::Each, reinterpret_cast<LPARAM>(&dialog));
    return dialog;
}

void SocialTest::SetUp()
{
    ASSERT_NE(nullptr, GetCatalogDb());
    ClearOptions();
    ClearSocialSettings();
}

void SocialTest::TearDown()
{
    ClearOptions();
    ClearSocialSettings();
}

}  // namespace zeltest

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    CreateWrapConfig();
    SetCatalogDbPath(L"social_tests.db");
    int result = RUN_ALL_TESTS();
    CloseCatalogDb();
    CoUninitialize();
    return result;
}
