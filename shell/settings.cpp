#include "shell/settings.h"
#include "shell/regkey.h"

#include "catalog/options.h"
#include "shell/brand.h"
#include "shell/cmdline.h"
#include "shell/files.h"

#include <cwchar>
#include <mutex>

namespace {

constexpr size_t kPathChars = 1024;
constexpr wchar_t kRunKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";

}  // namespace

const wchar_t* GetProductKeyPath()
{
    static std::wstring path;
    if (path.empty()) {
        CWrapConfig* config = GetWrapConfig();
        if (!config || !config->productName)
            return nullptr;
        std::wstring formed = std::wstring(L"Software\\") + config->productName;
        if (formed.size() >= kPathChars)
            return nullptr;
        path = formed;
    }
    return path.c_str();
}

const wchar_t* ReadProductRegValue()
{
    static std::wstring installDir;
    if (!installDir.empty())
        return installDir.c_str();
    const wchar_t* keyPath = GetProductKeyPath();
    RegKey key;
    if (!keyPath || !key.Open(HKEY_CURRENT_USER, keyPath, KEY_QUERY_VALUE | KEY_SET_VALUE))
        return nullptr;
    std::optional<std::wstring> value = ReadRegString(key.get(), nullptr);
    if (!value || value->empty())
        return nullptr;
    if (value->back() != L'\\')
        value->push_back(L'\\');
    installDir = *value;
    return installDir.c_str();
}

std::optional<std::wstring> InstallDirWithoutSeparator()
{
    const wchar_t* dir = ReadProductRegValue();
    if (!dir || !*dir)
        return std::nullopt;
    std::wstring trimmed = dir;
    if (trimmed.back() == L'\\' || trimmed.back() == L'/')
        trimmed.pop_back();
    return trimmed;
}

uint32_t GetInstalledVersion()
{
    static uint32_t version = 0;
    if (version)
        return version;
    const wchar_t* keyPath = GetProductKeyPath();
    RegKey key;
    if (!keyPath || !key.Open(HKEY_CURRENT_USER, keyPath, KEY_QUERY_VALUE))
        return 0;
    DWORD value = 0;
    DWORD size = sizeof(value);
    DWORD type = 0;
    if (RegQueryValueExW(key.get(), L"ver", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
            ERROR_SUCCESS ||
        size != sizeof(value))
        return 0;
    version = value;
    return version;
}

std::optional<std::wstring> AutorunCommand()
{
    std::optional<std::wstring> dir = InstallDirWithoutSeparator();
    if (!dir)
        return std::nullopt;
    return L"\"" + *dir + L"\\" + GetExeFileName() + L"\"";
}

HKEY SetAutorun(HKEY key, const wchar_t* valueName)
{
    if (!key && RegOpenKeyExW(HKEY_CURRENT_USER, kRunKey, 0, KEY_READ | KEY_WRITE, &key) != ERROR_SUCCESS)
        return nullptr;
    std::optional<std::wstring> command = AutorunCommand();
    if (command && command->size() < kPathChars && valueName) {
        RegSetValueExW(key, valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(command->c_str()),
                       static_cast<DWORD>(command->size() * 2 + 2));
    }
    return key;
}

std::optional<std::string> ReadUserIdentity()
{
    RegKey key;
    if (!key.Open(HKEY_CURRENT_USER, L"Identities", KEY_QUERY_VALUE))
        return std::nullopt;
    char buffer[1024] = {};
    DWORD size = sizeof(buffer) - 1;
    DWORD type = 0;
    if (RegQueryValueExA(key.get(), "Default User ID", nullptr, &type, reinterpret_cast<BYTE*>(buffer),
                         &size) != ERROR_SUCCESS)
        return std::nullopt;
    buffer[sizeof(buffer) - 1] = '\0';
    CharUpperA(buffer);
    return std::string(buffer);
}

namespace {

bool PartnerBrowserKeysExist()
{
    RegKey browser;
    RegKey manager;
    return browser.Open(HKEY_CURRENT_USER, L"Software\\Yandex\\YandexBrowser", KEY_READ) &&
           manager.Open(HKEY_CURRENT_USER, L"Software\\Yandex\\BM", KEY_READ);
}

}  // namespace

bool DetectPartnerBrowser()
{
    static std::once_flag loaded;
    static bool remembered = false;
    std::call_once(loaded, [] { remembered = GetOptionInt(L"yandex") == 1; });
    bool present = PartnerBrowserKeysExist();
    if (present != remembered) {
        remembered = present;
        SetOption(L"yandex", present ? L"1" : L"0");
    }
    return present;
}

uint32_t GetAffiliateOption()
{
    return static_cast<uint32_t>(GetOptionInt(L"affiliate"));
}

bool IsNewNumbering()
{
    return GetOptionInt(L"newdb") == 1;
}
