#include "install/olderproducts.h"

#include "catalog/catalog.h"
#include "catalog/storage.h"
#include "install/installer.h"
#include "install/names.h"
#include "install/olderkeystream.h"
#include "install/shortcuts.h"
#include "install/uninstall.h"
#include "shell/regkey.h"
#include "shell/brand.h"
#include "shell/files.h"

#include <shlobj.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <cwchar>
#include <vector>

namespace {

constexpr size_t kPathChars = 1024;
constexpr DWORD kKeyNameChars = 10240;
constexpr REGSAM kProductKeyAccess = KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_ENUMERATE_SUB_KEYS;
constexpr wchar_t kUninstallKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
constexpr size_t kProductPrefixChars = 7;  // "Product"

// Calls visit with the name of every subkey of key, by increasing index,
// until the enumeration runs out. A name that cannot be read is skipped.
// visit returns true when it removed the subkey (the next one then takes
// its index).
template <typename Visit>
void ForEachSubkey(HKEY key, Visit visit)
{
    std::vector<wchar_t> name(kKeyNameChars);
    for (DWORD index = 0;;) {
        DWORD chars = kKeyNameChars;
        LONG rc = RegEnumKeyExW(key, index, name.data(), &chars, nullptr, nullptr, nullptr, nullptr);
        if (rc == ERROR_NO_MORE_ITEMS)
            return;
        if (rc == ERROR_SUCCESS && visit(name.data()))
            continue;
        ++index;
    }
}

// A read-only view of a whole file.
class MappedFile {
public:
    explicit MappedFile(const wchar_t* path)
    {
        file_ = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                            nullptr);
        if (file_ == INVALID_HANDLE_VALUE)
            return;
        LARGE_INTEGER size;
        if (!GetFileSizeEx(file_, &size) || size.QuadPart <= 0 || size.QuadPart > 0x7FFFFFFF)
            return;
        mapping_ = CreateFileMappingW(file_, nullptr, PAGE_READONLY, 0, 0, nullptr);
        if (!mapping_)
            return;
        view_ = static_cast<const uint8_t*>(MapViewOfFile(mapping_, FILE_MAP_READ, 0, 0, 0));
        if (view_)
            size_ = static_cast<size_t>(size.QuadPart);
    }
    ~MappedFile()
    {
        if (view_)
            UnmapViewOfFile(view_);
        if (mapping_)
            CloseHandle(mapping_);
        if (file_ != INVALID_HANDLE_VALUE)
            CloseHandle(file_);
    }
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;
    const uint8_t* Data() const { return view_; }
    size_t Size() const { return size_; }

private:
    HANDLE file_ = INVALID_HANDLE_VALUE;
    HANDLE mapping_ = nullptr;
    const uint8_t* view_ = nullptr;
    size_t size_ = 0;
};

std::optional<std::wstring> FileInFolder(const wchar_t* folder, const wchar_t* fileName)
{
    std::wstring path = std::wstring(folder) + L"\\" + fileName;
    if (path.size() >= kPathChars)
        return std::nullopt;
    return path;
}

// The value of the first "productname=" line that is not empty. An
// occurrence of the key that is not followed directly by "=" ends the
// search.
std::optional<std::string> FindProductName(const char* text)
{
    constexpr char kKey[] = "productname";
    const char* from = text;
    for (;;) {
        const char* key = strstr(from, kKey);
        if (!key || key[sizeof(kKey) - 1] != '=')
            return std::nullopt;
        const char* value = key + sizeof(kKey);
        size_t length = strcspn(value, "\r");
        if (length > 0)
            return std::string(value, length);
        from = value;
    }
}

std::optional<std::wstring> AnsiToWide(const std::string& text)
{
    int chars = MultiByteToWideChar(CP_THREAD_ACP, 0, text.c_str(), -1, nullptr, 0);
    if (chars <= 0)
        return std::nullopt;
    std::wstring wide(static_cast<size_t>(chars), L'\0');
    if (MultiByteToWideChar(CP_THREAD_ACP, 0, text.c_str(), -1, wide.data(), chars) <= 0)
        return std::nullopt;
    wide.resize(static_cast<size_t>(chars) - 1);
    return wide;
}

std::optional<std::wstring> ReadSettingsProductName(const wchar_t* installFolder)
{
    std::optional<std::wstring> path = FileInFolder(installFolder, L"settings.txt");
    if (!path)
        return std::nullopt;
    MappedFile settings(path->c_str());
    if (!settings.Data() || settings.Size() < 3)
        return std::nullopt;
    // Two bytes of head, then the scrambled text.
    std::vector<uint8_t> text(settings.Data() + 2, settings.Data() + settings.Size());
    UnscrambleOlderSettings(text.data(), text.size());
    text.push_back(0);
    std::optional<std::string> name = FindProductName(reinterpret_cast<const char*>(text.data()));
    if (!name)
        return std::nullopt;
    return AnsiToWide(*name);
}

// Every character counts, digits or not, as the older installers read it.
std::optional<uint32_t> ReadAffiliateFile(const wchar_t* installFolder)
{
    std::optional<std::wstring> path = FileInFolder(installFolder, L"affiliate.txt");
    if (!path)
        return std::nullopt;
    FILE* file = _wfopen(path->c_str(), L"r");
    if (!file)
        return std::nullopt;
    uint32_t affiliate = 0;
    for (int c = fgetc(file); c != EOF; c = fgetc(file))
        affiliate = affiliate * 10 + static_cast<uint32_t>(c - 48);
    fclose(file);
    return affiliate < kOlderMinimumAffiliate ? kOlderMinimumAffiliate : affiliate;
}

uint32_t CountGamesToCarryOver(sqlite3* catalog, uint32_t productId)
{
    char sql[128];
    snprintf(sql, sizeof(sql), "select count(*) from games where type<>%u and id=%u", 1u, productId);
    return static_cast<uint32_t>(QueryInt(catalog, sql));
}

void DeleteOldUninstallEntry(const std::wstring& displayName)
{
    CWrapConfig* config = GetWrapConfig();
    HKEY root = config && config->machineWideOlderUninstall ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
    RegKey uninstall;
    if (!uninstall.Open(root, kUninstallKey, kProductKeyAccess))
        return;
    ForEachSubkey(uninstall.get(), [&](const wchar_t* name) {
        std::optional<std::wstring> shown;
        {
            RegKey entry;
            if (!entry.Open(uninstall.get(), name, KEY_QUERY_VALUE))
                return false;
            shown = ReadRegString(entry.get(), L"DisplayName");
        }
        if (!shown)
            return false;
        if (shown->size() > kPathChars - 1)
            shown->resize(kPathChars - 1);
        return *shown == displayName && RegDeleteKeyW(uninstall.get(), name) == ERROR_SUCCESS;
    });
}

}  // namespace

void ImportRegistryProducts(HKEY softwareKey)
{
    ForEachSubkey(softwareKey, [&](const wchar_t* vendor) {
        std::wstring productsPath = std::wstring(vendor) + L"\\Products";
        RegKey products;
        if (products.Open(softwareKey, productsPath.c_str(), kProductKeyAccess))
            ImportProductsKey(products.get());
        return false;
    });
}

void ImportProductsKey(HKEY productsKey)
{
    ForEachSubkey(productsKey, [&](const wchar_t* name) {
        if (wcsncmp(name, L"Product", kProductPrefixChars) != 0 &&
            wcsncmp(name, L"product", kProductPrefixChars) != 0)
            return false;
        OlderProduct product;
        if (!ReadOlderProduct(productsKey, name, &product) || !WriteOlderProductRow(product))
            return false;
        RemoveOldUninstaller(product);
        std::wstring arguments = L"r ";
        wchar_t id[16];
        swprintf(id, 16, L"%x", product.productId);
        arguments += id;
        RetargetOldShortcut(CSIDL_PROGRAMS, product, kOlderMenuFolder, arguments.c_str());
        RetargetOldShortcut(CSIDL_DESKTOP, product, nullptr, arguments.c_str());
        return false;
    });
}

bool ReadOlderProduct(HKEY productsKey, const wchar_t* keyName, OlderProduct* product)
{
    if (!keyName || wcslen(keyName) <= kProductPrefixChars)
        return false;
    product->productId = static_cast<uint32_t>(_wtoi(keyName + kProductPrefixChars));
    if (!product->productId)
        return false;
    RegKey key;
    if (!key.Open(productsKey, keyName, KEY_QUERY_VALUE))
        return false;
    product->installFolder = ReadRegString(key.get(), L"Dir");
    if (!product->installFolder)
        return false;
    return ReadProductSettingsFile(product->installFolder->c_str(), product);
}

bool ReadProductSettingsFile(const wchar_t* installFolder, OlderProduct* product)
{
    if (!installFolder)
        return false;
    product->productName = ReadSettingsProductName(installFolder);
    // The name becomes a folder below the programs menu, a shortcut name
    // and part of the uninstall list. A device's name (COM1) names no
    // shortcut path at all; the product is carried over all the same.
    if (!product->productName ||
        (!IsSafeShortcutName(product->productName->c_str()) && !IsDeviceName(product->productName->c_str())))
        return false;
    std::optional<uint32_t> affiliate = ReadAffiliateFile(installFolder);
    if (!affiliate)
        return false;
    product->affiliate = *affiliate;
    return true;
}

bool WriteOlderProductRow(const OlderProduct& product)
{
    sqlite3* catalog = product.productId ? GetCatalogDb() : nullptr;
    if (!catalog)
        return false;
    // Not in the catalog, or already installed (carried over before).
    if (CountGamesToCarryOver(catalog, product.productId) == 0)
        return false;
    const unsigned long long now = static_cast<unsigned long long>(time(nullptr));
    if (!product.productName || !product.installFolder)
        return false;
    std::optional<std::wstring> menuFolder =
        OlderProductShortcutPath(CSIDL_PROGRAMS, product, kOlderMenuFolder, nullptr);
    std::optional<std::wstring> desktopLink =
        OlderProductShortcutPath(CSIDL_DESKTOP, product, nullptr, product.productName->c_str());
    // Paths that would name a device stay out of the list.
    if (IsDeviceName(product.productName->c_str())) {
        menuFolder = std::wstring();
        desktopLink = std::wstring();
    }
    if (!IsUninstallListPath(product.installFolder) || !IsUninstallListPath(menuFolder) ||
        !IsUninstallListPath(desktopLink))
        return false;
    // What the game's list named (an installation of it cut short, what an
    // uninstall could not remove yet) stays recorded after it.
    std::optional<std::wstring> earlier;
    if (!ReadUninstallList(catalog, product.productId, &earlier))
        return false;
    const std::wstring uninstallList =
        MergeUninstallLists(L"D" + *product.installFolder + L";D" + *menuFolder + L";L" + *desktopLink,
                            earlier ? earlier->c_str() : nullptr);

    char sql[192];
    snprintf(sql, sizeof(sql), "update games set type=1, afl=%u, inst=%llu, path=?1, uninstall=?2 where id=%u",
             product.affiliate, now, product.productId);
    Statement update;
    return update.PrepareWithRetry(catalog, sql) && update.BindText16(1, product.installFolder->c_str()) &&
           update.BindText16(2, uninstallList.c_str()) && update.StepDone();
}

void RemoveOldUninstaller(const OlderProduct& product)
{
    if (product.installFolder) {
        if (std::optional<std::wstring> uninstaller = FileInFolder(product.installFolder->c_str(), L"uninstall.exe"))
            DeleteFileW(uninstaller->c_str());
    }
    if (std::optional<std::wstring> link =
            OlderProductShortcutPath(CSIDL_PROGRAMS, product, kOlderMenuFolder, L"Uninstall"))
        DeleteFileW(link->c_str());
    if (!product.productName)
        return;
    std::wstring displayName = L"QuivMark " + *product.productName + L" (remove only)";
    if (displayName.size() < kPathChars)
        DeleteOldUninstallEntry(displayName);
}

bool RetargetOldShortcut(int specialFolder, const OlderProduct& product, const wchar_t* folderName,
                         const wchar_t* arguments)
{
    if (!product.productName || !arguments)
        return false;
    std::optional<std::wstring> link =
        OlderProductShortcutPath(specialFolder, product, folderName, product.productName->c_str());
    std::optional<std::wstring> target = ManagerShortcutTarget();
    if (!link || !target)
        return false;
    return RetargetShortcut(link->c_str(), target->c_str(), arguments);
}

std::optional<std::wstring> OlderProductShortcutPath(int specialFolder, const OlderProduct& product,
                                                     const wchar_t* folderName, const wchar_t* shortcutName)
{
    // Every path the carry-over forms holds the product's name: one that
    // names a device (COM1) would open the device, which may block for ever.
    if (!product.productName || IsDeviceName(product.productName->c_str()))
        return std::nullopt;
    if (!folderName)
        return ShortcutPath(specialFolder, nullptr, shortcutName);
    std::wstring subfolder = std::wstring(folderName) + L"\\" + *product.productName;
    return ShortcutPath(specialFolder, subfolder.c_str(), shortcutName);
}
