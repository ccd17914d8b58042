#include "install/shortcuts.h"

#include "catalog/catalog.h"
#include "catalog/storage.h"
#include "install/names.h"
#include "shell/brand.h"
#include "shell/cmdline.h"
#include "shell/files.h"
#include "shell/settings.h"
#include "shell/theme.h"

#include <windows.h>
#include <shlobj.h>

#include <cstdio>
#include <cwchar>
#include <cwctype>
#include <string>

namespace {

constexpr size_t kPathChars = 1024;

std::optional<std::wstring> ProgramsFolder()
{
    wchar_t folder[MAX_PATH + 1] = {};
    if (!SHGetSpecialFolderPathW(nullptr, folder, CSIDL_PROGRAMS, FALSE))
        return std::nullopt;
    return std::wstring(folder);
}

// Older installers' menu folder "Игры от QuivMark" becomes the theme's.
void RenameOldMenuFolder(const std::wstring& programs, const wchar_t* menuFolder)
{
    std::wstring from = programs + L"\\" + kOldMenuFolderName;
    std::wstring to = programs + L"\\" + menuFolder;
    MoveFileW(from.c_str(), to.c_str());
}

std::wstring FileNameOf(const std::wstring& path)
{
    size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

// "r <hex id>", then the end or a blank. currentNumbering tells whether
// switch v follows: the id is then of the current numbering for certain.
bool ArgumentsSelectGame(const std::wstring& arguments, uint32_t* gameId, bool* currentNumbering = nullptr)
{
    if (arguments.size() < 3 || arguments[0] != L'r' || arguments[1] != L' ' || !iswxdigit(arguments[2]))
        return false;
    wchar_t* end = nullptr;
    unsigned long id = wcstoul(arguments.c_str() + 2, &end, 16);
    if (*end != L'\0' && *end != L' ')
        return false;
    *gameId = static_cast<uint32_t>(id);
    if (currentNumbering)
        *currentNumbering = wcsncmp(end, L" v ", 3) == 0;
    return true;
}

// Calls visit with each shortcut file directly in folder until it answers
// true; answers whether one did.
template <typename Visit>
bool AnyShortcutIn(const wchar_t* folder, Visit visit)
{
    std::wstring pattern = std::wstring(folder) + L"\\*.lnk";
    if (pattern.size() >= kPathChars)
        return false;
    return ForEachFolderEntry(pattern, [&](const WIN32_FIND_DATAW& entry) {
        return !(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
               visit((std::wstring(folder) + L"\\" + entry.cFileName).c_str());
    });
}

// A folder that some manager's game shortcut lives in (any brand's, any
// game's): a per-game menu folder, not one an older installer left.
bool HoldsManagerGameShortcut(const wchar_t* folder)
{
    return AnyShortcutIn(folder, [](const wchar_t* link) {
        std::optional<ShortcutStart> start = ReadShortcutStart(link);
        uint32_t id = 0;
        return start && ArgumentsSelectGame(start->arguments, &id);
    });
}

// The game's id of the older numbering; 0 when it has none.
uint32_t OlderIdOf(sqlite3* catalog, uint32_t gameId)
{
    char sql[64];
    snprintf(sql, sizeof(sql), "select old_id from games where id=%u", gameId);
    return catalog ? static_cast<uint32_t>(QueryInt(catalog, sql)) : 0;
}

constexpr int kMaxNameNumber = 20;

// name, then "name (2)" to "name (20)".
std::wstring NumberedName(const wchar_t* name, int number)
{
    if (number < 2)
        return name;
    return std::wstring(name) + L" (" + std::to_wstring(number) + L")";
}

// The first shortcut path of the name's series that is free or already
// the game's own.
std::optional<std::wstring> FreeShortcutPath(int folderId, const wchar_t* subfolder, const wchar_t* name,
                                             uint32_t gameId)
{
    for (int number = 1; number <= kMaxNameNumber; ++number) {
        // A name that names a device (CON, COM1) is never free: the
        // series goes on to "COM1 (2)".
        const std::wstring numbered = NumberedName(name, number);
        if (!IsSafeShortcutName(numbered.c_str()))
            continue;
        std::optional<std::wstring> path = ShortcutPath(folderId, subfolder, numbered.c_str());
        if (!path)
            return std::nullopt;
        if (GetFileAttributesW(path->c_str()) == INVALID_FILE_ATTRIBUTES ||
            IsShortcutOfGame(GetCatalogDb(), path->c_str(), gameId))
            return path;
    }
    return std::nullopt;
}

// The first name of the series for the game's own menu folder below
// menuFolder that is free, empty or already the game's.
std::optional<std::wstring> FreeGameFolderName(const wchar_t* menuFolder, const wchar_t* name, uint32_t gameId)
{
    for (int number = 1; number <= kMaxNameNumber; ++number) {
        const std::wstring numbered = NumberedName(name, number);
        if (!IsSafeShortcutName(numbered.c_str()))
            continue;
        std::wstring subfolder = std::wstring(menuFolder) + L"\\" + numbered;
        if (subfolder.size() >= kPathChars)
            return std::nullopt;
        std::optional<std::wstring> folder = ShortcutPath(CSIDL_PROGRAMS, subfolder.c_str(), nullptr);
        if (!folder)
            return std::nullopt;
        if (GetFileAttributesW(folder->c_str()) == INVALID_FILE_ATTRIBUTES || IsFolderEmpty(*folder).value_or(false) ||
            FolderHoldsShortcutOfGame(GetCatalogDb(), folder->c_str(), gameId))
            return subfolder;
    }
    return std::nullopt;
}

// An older installer made a menu folder named after the game's ident with
// blanks for underscores; the game's entries now live elsewhere.
void DeleteOlderGameMenuFolder(const std::wstring& programs, const wchar_t* menuFolder, const wchar_t* ident)
{
    std::wstring folderName = ident;
    for (wchar_t& c : folderName) {
        if (c == L'_')
            c = L' ';
    }
    // The ident comes from the package: only a plain name may pick the
    // folder to delete.
    if (!IsSafeShortcutName(folderName.c_str()))
        return;
    std::wstring folder = programs + L"\\" + menuFolder + L"\\" + folderName;
    // The same name may be a game's own menu folder, ours or another
    // brand's: that one stays.
    if (!HoldsManagerGameShortcut(folder.c_str()))
        DeleteDirectoryTree(folder.c_str());
}

}  // namespace

bool IsShortcutOfGame(sqlite3* catalog, const wchar_t* linkPath, uint32_t gameId)
{
    // A path that names a device is never opened.
    if (!linkPath || !IsSafeShortcutName(FileNameOf(linkPath).c_str()))
        return false;
    std::optional<ShortcutStart> start = ReadShortcutStart(linkPath);
    uint32_t id = 0;
    bool currentNumbering = false;
    if (!start || _wcsicmp(FileNameOf(start->target).c_str(), GetExeFileName().c_str()) != 0 ||
        !ArgumentsSelectGame(start->arguments, &id, &currentNumbering))
        return false;
    // Once brand 0's catalog uses the current numbering, a shortcut
    // without switch v selects the game by its older id, as shortcuts made
    // before the change do.
    if (GetBrandId() == 0 && IsNewNumbering() && !currentNumbering)
        return id != 0 && id == OlderIdOf(catalog, gameId);
    return id == gameId;
}

bool FolderHoldsShortcutOfGame(sqlite3* catalog, const wchar_t* folder, uint32_t gameId)
{
    return folder && AnyShortcutIn(folder, [catalog, gameId](const wchar_t* link) {
               return IsShortcutOfGame(catalog, link, gameId);
           });
}

std::optional<std::wstring> ManagerShortcutTarget()
{
    const wchar_t* dir = ReadProductRegValue();
    if (!dir)
        return std::nullopt;
    std::wstring target = std::wstring(dir) + L"\\" + GetExeFileName();
    if (target.size() >= kPathChars)
        return std::nullopt;
    return target;
}

std::wstring GameShortcutArguments(uint32_t gameId)
{
    wchar_t arguments[32];
    swprintf(arguments, 32, IsNewNumbering() ? L"r %x v 0" : L"r %x", gameId);
    return arguments;
}

void CreateGameShortcuts(uint32_t gameId, const wchar_t* name, const wchar_t* ident, const wchar_t* iconPath,
                         std::optional<std::wstring>* desktopLink, std::optional<std::wstring>* menuEntry)
{
    if (!gameId || !name || !ident || !iconPath || !desktopLink || !menuEntry)
        return;
    // The name comes from the package and becomes a file and folder name.
    // One that names a device gets numbered names, which do not.
    if (!IsSafeShortcutName(name) && !IsDeviceName(name))
        return;
    std::optional<std::wstring> target = ManagerShortcutTarget();
    if (!target)
        return;
    std::wstring arguments = GameShortcutArguments(gameId);
    LoadThemeModule();
    const wchar_t* menuFolder = ThemeString(kThemeStringMenuFolder);
    if (!menuFolder || !*menuFolder)
        return;
    CWrapConfig* config = GetWrapConfig();
    const bool renameOld = config && config->renameOldMenuFolder;
    std::optional<std::wstring> programs = ProgramsFolder();
    if (programs && renameOld)
        RenameOldMenuFolder(*programs, menuFolder);

    // Only a shortcut that was made is handed back: a name whose
    // characters no file name may hold makes none.
    std::optional<std::wstring> desktop = FreeShortcutPath(CSIDL_DESKTOP, nullptr, name, gameId);
    if (desktop && CreateShortcut(target->c_str(), desktop->c_str(), iconPath, arguments.c_str()))
        *desktopLink = desktop;

    if (std::optional<std::wstring> folder = ShortcutPath(CSIDL_PROGRAMS, menuFolder, nullptr))
        CreateDirectoryPath(folder->c_str());

    bool ownFolder = config && config->perGameMenuFolders;
    std::wstring subfolder = menuFolder;
    if (ownFolder) {
        std::optional<std::wstring> gameFolder = FreeGameFolderName(menuFolder, name, gameId);
        if (gameFolder)
            subfolder = *gameFolder;
        else
            ownFolder = false;
    }

    // In a folder of its own the shortcut keeps the game's name, or takes
    // the folder's where the name is a device's.
    const std::wstring linkName =
        (!ownFolder || IsSafeShortcutName(name)) ? std::wstring(name) : subfolder.substr(subfolder.rfind(L'\\') + 1);
    std::optional<std::wstring> menuLink =
        ownFolder ? ShortcutPath(CSIDL_PROGRAMS, subfolder.c_str(), linkName.c_str())
                  : FreeShortcutPath(CSIDL_PROGRAMS, subfolder.c_str(), name, gameId);
    if (menuLink) {
        std::optional<std::wstring> gameFolder =
            ownFolder ? ShortcutPath(CSIDL_PROGRAMS, subfolder.c_str(), nullptr) : std::nullopt;
        const bool folderMade = gameFolder && GetFileAttributesW(gameFolder->c_str()) == INVALID_FILE_ATTRIBUTES &&
                                CreateDirectoryPath(gameFolder->c_str());
        // In the game's own folder first a shortcut of the manager, named
        // and aimed by the theme, then the game's, which wins should the
        // two names meet.
        const wchar_t* brandLinkName = ThemeString(kThemeStringMenuShortcutName);
        const std::optional<std::wstring> brandLink =
            gameFolder && brandLinkName && *brandLinkName
                ? ShortcutPath(CSIDL_PROGRAMS, subfolder.c_str(), brandLinkName)
                : std::nullopt;
        if (brandLink)
            CreateShortcut(config->GetShortcutTarget(), brandLink->c_str(), GetThemeDllPath(), nullptr);
        if (CreateShortcut(target->c_str(), menuLink->c_str(), iconPath, arguments.c_str())) {
            // Uninstalling removes the game's own folder whole.
            *menuEntry = ownFolder ? gameFolder : menuLink;
        } else if (folderMade) {
            // A folder without the game's shortcut would never be removed:
            // what this run put there goes, and the folder once empty.
            if (brandLink)
                DeleteFileW(brandLink->c_str());
            RemoveDirectoryW(gameFolder->c_str());
        }
    }

    if (programs && renameOld)
        DeleteOlderGameMenuFolder(*programs, menuFolder, ident);
}
