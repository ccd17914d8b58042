#include "install/shortcuts.h"

#include "install/names.h"
#include "shell/brand.h"
#include "shell/cmdline.h"
#include "shell/files.h"
#include "shell/settings.h"
#include "shell/theme.h"

#include <windows.h>
#include <shlobj.h>

#include <cwchar>

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
    DeleteDirectoryTree(folder.c_str());
}

}  // namespace

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
    if (!IsSafeShortcutName(name))
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

    *desktopLink = ShortcutPath(CSIDL_DESKTOP, nullptr, name);
    if (*desktopLink)
        CreateShortcut(target->c_str(), (*desktopLink)->c_str(), iconPath, arguments.c_str());

    if (std::optional<std::wstring> folder = ShortcutPath(CSIDL_PROGRAMS, menuFolder, nullptr))
        CreateDirectoryPath(folder->c_str());

    bool ownFolder = config && config->perGameMenuFolders;
    std::wstring subfolder = menuFolder;
    if (ownFolder) {
        std::wstring gameFolder = subfolder + L"\\" + name;
        if (gameFolder.size() < kPathChars)
            subfolder = gameFolder;
        else
            ownFolder = false;
    }

    *menuEntry = ShortcutPath(CSIDL_PROGRAMS, subfolder.c_str(), name);
    if (*menuEntry) {
        if (!ownFolder) {
            CreateShortcut(target->c_str(), (*menuEntry)->c_str(), iconPath, arguments.c_str());
        } else {
            std::optional<std::wstring> gameFolder = ShortcutPath(CSIDL_PROGRAMS, subfolder.c_str(), nullptr);
            if (gameFolder)
                CreateDirectoryPath(gameFolder->c_str());
            // Beside the game's own shortcut, one of the manager, named and
            // aimed by the theme.
            const wchar_t* brandLinkName = ThemeString(kThemeStringMenuShortcutName);
            if (brandLinkName && *brandLinkName) {
                if (std::optional<std::wstring> brandLink =
                        ShortcutPath(CSIDL_PROGRAMS, subfolder.c_str(), brandLinkName))
                    CreateShortcut(config->GetShortcutTarget(), brandLink->c_str(), GetThemeDllPath(), nullptr);
            }
            CreateShortcut(target->c_str(), (*menuEntry)->c_str(), iconPath, arguments.c_str());
            // Uninstalling removes the whole folder.
            *menuEntry = gameFolder;
        }
    }

    if (programs && renameOld)
        DeleteOlderGameMenuFolder(*programs, menuFolder, ident);
}
