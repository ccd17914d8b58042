#include "notify/tray.h"

#include "catalog/catalog.h"
#include "catalog/options.h"
#include "shell/brand.h"
#include "shell/instance.h"
#include "shell/regkey.h"
#include "shell/settings.h"

#include <cwchar>
#include <optional>
#include <utility>

namespace {

constexpr wchar_t kRunKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr UINT kTooltipChars = sizeof(NOTIFYICONDATAW::szTip) / sizeof(wchar_t);
constexpr UINT kThemeStringTooltip = 2;
constexpr UINT kStringIdToItemId = 256;

// The record as the shell has known it since XP (952 bytes in the 32-bit
// program): the balloon icon of later systems is never used.
constexpr DWORD kTrayRecordSize = NOTIFYICONDATAW_V3_SIZE;
#ifndef _WIN64
static_assert(kTrayRecordSize == 952);
#endif

NOTIFYICONDATAW g_trayIconRecord = {};
HMENU g_trayMenu = nullptr;
// While the menu is tracked, a replaced menu is kept until the tracking ends.
bool g_trackingMenu = false;
HMENU g_retiredMenu = nullptr;

// A string of the theme's string table, up to its first NUL (the table may
// or may not store one).
std::optional<std::wstring> ThemeModuleString(HMODULE module, UINT id)
{
    const wchar_t* text = nullptr;
    int length = LoadStringW(module, id, reinterpret_cast<LPWSTR>(&text), 0);
    if (length <= 0 || !text)
        return std::nullopt;
    return std::wstring(text, wcsnlen(text, static_cast<size_t>(length)));
}

void RetireMenu(HMENU menu)
{
    if (!menu)
        return;
    if (!g_trackingMenu) {
        DestroyMenu(menu);
        return;
    }
    if (g_retiredMenu)
        DestroyMenu(g_retiredMenu);
    g_retiredMenu = menu;
}

const wchar_t* AutorunValueName()
{
    const CWrapConfig* config = GetWrapConfig();
    return config ? config->applicationName : nullptr;
}

bool AutorunValueExists(HKEY runKey)
{
    const wchar_t* name = AutorunValueName();
    return name && RegQueryValueExW(runKey, name, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

// Writes the autostart value; true when the value is there afterwards.
bool SwitchAutorunOn()
{
    RegKey run;
    if (!run.Open(HKEY_CURRENT_USER, kRunKey, KEY_READ | KEY_WRITE))
        return false;
    SetAutorun(run.get(), AutorunValueName());
    return AutorunValueExists(run.get());
}

// A news item is checked (news shown) when its option is absent or empty.
bool NewsShown(const wchar_t* optionKey)
{
    OptionValue option(GetCatalogDb(), optionKey);
    const wchar_t* value = option.GetText();
    return !value || !*value;
}

bool AppendItem(HMENU menu, ThemeMenuItem& item)
{
    return InsertMenuItemW(menu, 0, FALSE, &item.info) != FALSE;
}

// The news submenu with the items whose strings exist; null when neither
// does.
HMENU CreateNewsSubmenu(HMODULE themeModule)
{
    HMENU submenu = CreatePopupMenu();
    if (!submenu)
        return nullptr;
    bool any = false;
    const struct {
        UINT stringId;
        const wchar_t* optionKey;
    } kNewsItems[] = {{kTrayItemGameNews - kStringIdToItemId, L"HideGameNews"},
                      {kTrayItemSiteNews - kStringIdToItemId, L"HideSiteNews"}};
    for (const auto& news : kNewsItems) {
        ThemeMenuItem item;
        if (!MakeThemeMenuItem(item, themeModule, news.stringId, MIIM_STATE | MIIM_ID | MIIM_STRING))
            continue;
        if (NewsShown(news.optionKey))
            item.info.fState = MFS_CHECKED;
        any = AppendItem(submenu, item) || any;
    }
    if (!any) {
        DestroyMenu(submenu);
        return nullptr;
    }
    return submenu;
}

bool ItemChecked(HMENU menu, UINT itemId, bool& checked)
{
    if (!menu)
        return false;
    UINT state = GetMenuState(menu, itemId, MF_BYCOMMAND);
    if (state == static_cast<UINT>(-1))
        return false;
    checked = (state & MF_CHECKED) != 0;
    return true;
}

void SetItemChecked(UINT itemId, bool checked)
{
    CheckMenuItem(g_trayMenu, itemId, MF_BYCOMMAND | (checked ? MF_CHECKED : MF_UNCHECKED));
}

bool RecordFilled()
{
    return g_trayIconRecord.cbSize != 0 && g_trayIconRecord.hWnd != nullptr;
}

void AddRecordToShell()
{
    if (!Shell_NotifyIconW(NIM_ADD, &g_trayIconRecord))
        return;
    g_trayIconRecord.uVersion = NOTIFYICON_VERSION;
    Shell_NotifyIconW(NIM_SETVERSION, &g_trayIconRecord);
}

}  // namespace

bool MakeThemeMenuItem(ThemeMenuItem& item, HMODULE themeModule, UINT stringId, UINT mask)
{
    item.info = {};
    item.info.cbSize = sizeof(item.info);
    item.info.fMask = mask;
    std::optional<std::wstring> text = ThemeModuleString(themeModule, stringId);
    if (!text || text->empty())
        return false;
    item.text = std::move(*text);
    item.info.dwTypeData = item.text.data();
    item.info.cch = static_cast<UINT>(item.text.size());
    item.info.wID = stringId + kStringIdToItemId;
    return true;
}

HMENU CreateTrayMenu(HMODULE themeModule)
{
    if (!themeModule)
        return nullptr;
    HMENU menu = CreatePopupMenu();
    if (!menu)
        return nullptr;

    // Every build of the menu switches autostart on again; the check mark
    // tells whether the value is really there.
    const bool autorun = SwitchAutorunOn();
    ThemeMenuItem item;
    if (MakeThemeMenuItem(item, themeModule, kTrayItemAutorun - kStringIdToItemId,
                          MIIM_STATE | MIIM_ID | MIIM_STRING)) {
        item.info.fState = autorun ? MFS_CHECKED : MFS_UNCHECKED;
        AppendItem(menu, item);
    }

    const CWrapConfig* config = GetWrapConfig();
    if (config && config->trayNewsSubmenu) {
        if (HMENU submenu = CreateNewsSubmenu(themeModule)) {
            if (MakeThemeMenuItem(item, themeModule, kTrayItemNewsSubmenu - kStringIdToItemId,
                                  MIIM_STATE | MIIM_ID | MIIM_SUBMENU | MIIM_STRING)) {
                item.info.hSubMenu = submenu;
                if (!AppendItem(menu, item))
                    DestroyMenu(submenu);
            } else {
                DestroyMenu(submenu);
            }
        }
    }

    if (MakeThemeMenuItem(item, themeModule, kTrayItemExit - kStringIdToItemId, MIIM_ID | MIIM_STRING))
        AppendItem(menu, item);
    return menu;
}

bool AddTrayIcon(HMODULE themeModule, HWND mainWindow)
{
    const CWrapConfig* config = GetWrapConfig();
    if (!config || !config->trayIcon)
        return true;
    if (!themeModule)
        return false;

    // The record is filled aside and takes over only when icon and menu
    // exist, so a failed repeat leaves a shown icon removable.
    NOTIFYICONDATAW record = {};
    record.cbSize = kTrayRecordSize;
    record.hIcon = static_cast<HICON>(LoadImageW(themeModule, L"tray.ico", IMAGE_ICON,
                                                 GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
    if (!record.hIcon)
        return false;
    if (std::optional<std::wstring> tip = ThemeModuleString(themeModule, kThemeStringTooltip);
        tip && tip->size() < kTooltipChars)
        wcscpy(record.szTip, tip->c_str());
    record.hWnd = mainWindow;
    record.uID = kTrayIconId;
    record.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    record.uCallbackMessage = WM_TRAY_NOTIFY;

    HMENU menu = CreateTrayMenu(themeModule);
    if (!menu) {
        DestroyIcon(record.hIcon);
        return false;
    }
    RetireMenu(std::exchange(g_trayMenu, menu));
    HICON earlierIcon = g_trayIconRecord.hIcon;
    g_trayIconRecord = record;
    // A repeated add is refused by the shell while the icon shows; the
    // shell keeps its own copy of the earlier icon.
    AddRecordToShell();
    if (earlierIcon && earlierIcon != record.hIcon)
        DestroyIcon(earlierIcon);
    return true;
}

void ReAddTrayIcon()
{
    if (RecordFilled())
        AddRecordToShell();
}

void RemoveTrayIcon()
{
    if (RecordFilled())
        Shell_NotifyIconW(NIM_DELETE, &g_trayIconRecord);
    if (g_trayIconRecord.hIcon)
        DestroyIcon(g_trayIconRecord.hIcon);
    g_trayIconRecord = {};
    // No icon, no menu: a stray menu command finds nothing to switch.
    RetireMenu(std::exchange(g_trayMenu, nullptr));
}

void OnTrayNotify(HWND window, UINT mouseMessage)
{
    switch (mouseMessage) {
    case WM_LBUTTONUP: {
        WINDOWPLACEMENT placement = {};
        placement.length = sizeof(placement);
        GetWindowPlacement(window, &placement);
        if (IsWindowVisible(window) && placement.showCmd != SW_SHOWMINIMIZED) {
            ShowWindow(window, SW_HIDE);
        } else {
            ShowWindow(window, SW_SHOWNORMAL);
            SetForegroundWindow(window);
        }
        break;
    }
    case WM_RBUTTONUP: {
        if (!g_trayMenu)
            break;
        POINT cursor = {};
        GetCursorPos(&cursor);
        SetForegroundWindow(window);
        g_trackingMenu = true;
        TrackPopupMenu(g_trayMenu, 0, cursor.x, cursor.y, 0, window, nullptr);
        g_trackingMenu = false;
        if (g_retiredMenu)
            DestroyMenu(std::exchange(g_retiredMenu, nullptr));
        // Without a message after the menu, a later click elsewhere would not
        // dismiss the next one.
        PostMessageW(window, WM_NULL, 0, 0);
        break;
    }
    default:
        break;
    }
}

void ToggleAutorun()
{
    bool checked = false;
    if (!ItemChecked(g_trayMenu, kTrayItemAutorun, checked))
        return;
    RegKey run;
    if (!run.Open(HKEY_CURRENT_USER, kRunKey, KEY_READ | KEY_WRITE))
        return;
    if (checked) {
        if (const wchar_t* name = AutorunValueName())
            RegDeleteValueW(run.get(), name);
    } else {
        SetAutorun(run.get(), AutorunValueName());
    }
    // The mark shows what the registry holds now.
    SetItemChecked(kTrayItemAutorun, AutorunValueExists(run.get()));
}

void ToggleTrayMenuOption(UINT itemId, const wchar_t* optionKey)
{
    if (!optionKey)
        return;
    bool checked = false;
    if (!ItemChecked(g_trayMenu, itemId, checked))
        return;
    // Checked means the news are shown; the option stores the opposite.
    if (OptionValue(GetCatalogDb(), optionKey).SetText(checked ? L"yes" : L""))
        SetItemChecked(itemId, !checked);
}

const NOTIFYICONDATAW& GetTrayIconRecord()
{
    return g_trayIconRecord;
}

HMENU GetTrayMenu()
{
    return g_trayMenu;
}
