// The maintenance actions that install, uninstall and carry over games,
// copy game icons and make the manager's shortcuts.

#include "shell/maintenance.h"

#include "catalog/catalog.h"
#include "catalog/games.h"
#include "catalog/storage.h"
#include "install/installer.h"
#include "install/olderproducts.h"
#include "install/package.h"
#include "install/turn.h"
#include "install/uninstall.h"
#include "shell/brand.h"
#include "shell/cmdline.h"
#include "shell/com.h"
#include "shell/files.h"
#include "shell/settings.h"
#include "shell/text.h"
#include "shell/theme.h"

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <memory>
#include <new>
#include <optional>
#include <utility>
#include <vector>

namespace {

constexpr REGSAM kSoftwareKeyAccess = KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_ENUMERATE_SUB_KEYS;
constexpr wchar_t kIconTypeSmall[] = L"SMALL";
constexpr wchar_t kIconTypeBig[] = L"BIG";
constexpr wchar_t kInstallErrorCaption[] = L"Quivmark Games";

struct IconCopy {
    HMODULE module;
    HANDLE update;
};

BOOL CALLBACK CopyIconResource(HMODULE module, LPCWSTR type, LPWSTR name, LONG_PTR param)
{
    auto* copy = reinterpret_cast<IconCopy*>(param);
    HRSRC found = FindResourceW(module, name, type);
    HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
    DWORD size = found ? SizeofResource(module, found) : 0;
    void* data = loaded ? LockResource(loaded) : nullptr;
    if (!data)
        return FALSE;
    UpdateResourceW(copy->update, type, name, 0, data, size);
    return TRUE;
}

// The package's file name begins with the game's id in decimal, read as
// a signed 32-bit number (so "-5" is 4294967291). A number that does not
// fit is no id: read as the nearest one that does, it would name another
// game.
uint32_t GameIdFromPackagePath(const wchar_t* packagePath)
{
    if (wcslen(packagePath) <= 4)
        return 0;
    const wchar_t* fileName = packagePath;
    for (const wchar_t* p = packagePath; *p; ++p) {
        if (*p == L'\\' || *p == L'/')
            fileName = p + 1;
    }
    wchar_t* end = nullptr;
    errno = 0;
    const long long id = wcstoll(fileName, &end, 10);
    if (end == fileName || errno == ERANGE || id < INT32_MIN || id > INT32_MAX)
        return 0;
    return static_cast<uint32_t>(static_cast<int32_t>(id));
}

// The mapping database named by switch b must exist and be one.
bool DatabaseOpens(const std::optional<std::wstring>& path)
{
    if (!path)
        return false;
    Utf8String pathUtf8(path->c_str());
    DatabaseHandle database;
    return pathUtf8.get() && OpenAndCheckExistingDatabase(pathUtf8.get(), database.out());
}

uint32_t CurrentIdOfOldId(uint32_t oldId)
{
    char sql[96];
    snprintf(sql, sizeof(sql), "select id from games where old_id='%u'", oldId);
    return static_cast<uint32_t>(QueryInt(GetCatalogDb(), sql));
}

// The id the installer means. Brand 0's installers use the older
// numbering unless they pass switch v.
uint32_t InstallGameId(const wchar_t* packagePath)
{
    uint32_t id = GameIdFromPackagePath(packagePath);
    if (!id || GetBrandId() != 0 || IsSwitchGiven(L'v'))
        return id;
    if (IsNewNumbering() && !DatabaseOpens(GetSwitchString(L'b')))
        return 0;
    return CurrentIdOfOldId(id);
}

// Values of the command line that the registration records.
void CompleteJobFromCommandLine(InstallJob& job, uint32_t kValue)
{
    uint32_t affiliate = 0;
    job.affiliate = GetSwitchHex(L'a', &affiliate) ? affiliate : GetAffiliateOption();
    job.track = kValue;
    if (std::optional<std::wstring> utm = GetSwitchString(L'm'))
        job.utm = utm;
    if (std::optional<std::wstring> brand = GetSwitchString(L'g'))
        job.brand = brand;
}

// The game was written but the catalog did not take its row: the run
// fails, so what it wrote goes again (files and folders the user had stay,
// the files it replaced get their earlier contents back), with the
// shortcuts made for it; otherwise a game would stand on disk that the
// manager knows nothing of. A shortcut the earlier installation of the
// game listed is its own and stays.
void TakeBackUnregisteredInstall(InstallJob& job)
{
    RemoveExtractedFiles();
    const std::vector<std::wstring> earlier =
        job.earlierList ? UninstallListEntries(*job.earlierList) : std::vector<std::wstring>();
    auto listedBefore = [&earlier](const std::wstring& path) {
        return std::any_of(earlier.begin(), earlier.end(),
                           [&](const std::wstring& entry) { return IsSamePath(entry.c_str() + 1, path.c_str()); });
    };
    std::wstring links;
    for (const std::optional<std::wstring>* link : {&job.desktopLink, &job.menuEntry}) {
        if (IsUninstallListPath(*link) && !listedBefore(**link))
            links += L"L" + **link + L";";
    }
    DeleteUninstallList(links.c_str());
    ForgetTreeEntries(GetCatalogDb(), job);
}

// The target as the uninstall list will hold it: a full path, normalised,
// without ";" (which would split the list). A relative path would name
// whatever folder the uninstalling process stands in, so it is refused.
std::optional<std::wstring> InstallTarget()
{
    std::optional<std::wstring> target = GetSwitchString(L'w');
    if (!target || !IsUninstallListPath(target))
        return std::nullopt;
    return NormalisedFullPath(target->c_str());
}

void ShowInstallError(int32_t state)
{
    wchar_t text[64];
    swprintf(text, 64, L"Game installation error code is %d", state);
    MessageBoxW(nullptr, text, kInstallErrorCaption, MB_OK | MB_ICONERROR);
}

}  // namespace

bool InstallGameFromCommandLine(const wchar_t* packagePath, uint32_t kValue)
{
    if (!packagePath)
        return false;
    std::optional<InstallTurn> turn(std::in_place, GetCatalogDb(), InstallTurn::Wait::kUntilFree);
    if (!turn->Held())
        return false;
    uint32_t id = InstallGameId(packagePath);
    std::optional<std::wstring> targetDir = InstallTarget();
    if (!id || !targetDir)
        return false;
    std::unique_ptr<CInstallNotify> notify(new (std::nothrow) CInstallNotify());
    if (!notify)
        return false;
    InstallGamePackage(id, packagePath, targetDir->c_str(), notify.get());
    InstallJob* job = notify->Job();
    if (!job)
        return false;
    CompleteJobFromCommandLine(*job, kValue);
    const bool extracted = job->state == kJobInstalled;
    int32_t state = RegisterInstalledGame(job);
    if (extracted && state != kJobInstalled)
        TakeBackUnregisteredInstall(*job);
    else if (state == kJobInstalled)
        KeepExtractedFiles();
    notify.reset();
    // The error box waits for the user; the other runs need not.
    turn.reset();
    if (state == kJobInstalled)
        return true;
    // A failed write (a full disk, say) ends without a box.
    if (state != kPackageWriteFailed)
        ShowInstallError(state);
    return false;
}

void ImportOlderProducts()
{
    HKEY software = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, L"software", 0, kSoftwareKeyAccess, &software) != ERROR_SUCCESS)
        return;
    ComApartment apartment;
    ImportRegistryProducts(software);
    RegCloseKey(software);
}

int CopyGameIconsFromSwitch(const wchar_t* modulePath)
{
    // Only the module's pictures are wanted: it is mapped as data, so a
    // module named on the command line never runs code in this process.
    HMODULE module = modulePath ? LoadLibraryExW(modulePath, nullptr,
                                                 LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE)
                                : nullptr;
    if (!module)
        return 14;
    const wchar_t* library = GetGamesDllPath();
    HANDLE update = library ? BeginUpdateResourceW(library, FALSE) : nullptr;
    if (update) {
        IconCopy copy{module, update};
        EnumResourceNamesW(module, kIconTypeSmall, CopyIconResource, reinterpret_cast<LONG_PTR>(&copy));
        EnumResourceNamesW(module, kIconTypeBig, CopyIconResource, reinterpret_cast<LONG_PTR>(&copy));
        EndUpdateResourceW(update, FALSE);
    }
    FreeLibrary(module);
    return 13;
}


void UninstallAllGames()
{
    InstallTurn turn(GetCatalogDb(), InstallTurn::Wait::kUntilFree);
    if (!turn.Held())
        return;
    // The ids first: uninstalling changes the rows the query walks.
    const std::optional<std::vector<uint32_t>> ids = GamesToUninstall(GetCatalogDb());
    for (uint32_t id : ids.value_or(std::vector<uint32_t>()))
        UninstallGame(static_cast<int32_t>(id));
}

void UninstallGameFromSwitch(uint32_t id)
{
    InstallTurn turn(GetCatalogDb(), InstallTurn::Wait::kUntilFree);
    if (!turn.Held())
        return;
    bool exists = false;
    {
        QueryCursor cursor(GetCatalogDb());
        exists = cursor.SelectGameById(id) != nullptr;
    }
    if (exists)
        UninstallGame(static_cast<int32_t>(id));
}

void CreateShortcuts()
{
    ComApartment apartment;
    LoadThemeModule();
    CWrapConfig* config = GetWrapConfig();
    if (!config)
        return;
    const wchar_t* icon = GetThemeDllPath();
    std::optional<std::wstring> desktopLink =
        ShortcutPath(CSIDL_DESKTOP, nullptr, ThemeString(kThemeStringDesktopShortcutName));
    if (!desktopLink)
        return;
    CreateShortcut(config->GetShortcutTarget(), desktopLink->c_str(), icon, nullptr);
    if (config->perGameMenuFolders)
        return;
    const wchar_t* menuFolder = ThemeString(kThemeStringMenuFolder);
    std::optional<std::wstring> folder = ShortcutPath(CSIDL_PROGRAMS, menuFolder, nullptr);
    if (!folder)
        return;
    CreateDirectoryPath(folder->c_str());
    std::optional<std::wstring> menuLink =
        ShortcutPath(CSIDL_PROGRAMS, menuFolder, ThemeString(kThemeStringMenuShortcutName));
    if (!menuLink)
        return;
    CreateShortcut(config->GetMenuShortcutTarget(), menuLink->c_str(), icon, nullptr);
}
