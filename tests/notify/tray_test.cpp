// The tray icon and its menu as the shell, the registry and the catalog
// see them.
#include <gtest/gtest.h>

#include "notify_test.h"

#include "catalog/catalog.h"
#include "catalog/options.h"
#include "notify/tray.h"
#include "shell/brand.h"

#include <algorithm>
#include <string>
#include <vector>

using notifytest::DeleteAutorunValue;
using notifytest::PumpUntil;
using notifytest::ReadAutorunValue;
using notifytest::ThemePath;

namespace {

constexpr wchar_t kOwnerClass[] = L"NotifyTestTrayOwner";

// What the owner window saw: the popup menus it was asked to fill.
std::vector<HMENU> g_menusShown;

// Routes the tray messages as the main window does.
LRESULT CALLBACK OwnerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    static const UINT trayNotify = RegisterWindowMessageW(L"Lorrimel_TrayNotify");
    static const UINT taskbarCreated = RegisterWindowMessageA("TaskbarCreated");
    if (message == trayNotify) {
        OnTrayNotify(window, LOWORD(lParam));
        return 0;
    }
    if (message == taskbarCreated) {
        ReAddTrayIcon();
        return 0;
    }
    if (message == WM_INITMENUPOPUP) {
        g_menusShown.push_back(reinterpret_cast<HMENU>(wParam));
        // Dismiss the menu as soon as it is up.
        PostMessageW(window, WM_CANCELMODE, 0, 0);
        EndMenu();
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

struct MenuEntry {
    UINT id = 0;
    std::wstring text;
    bool checked = false;
    HMENU submenu = nullptr;
};

std::vector<MenuEntry> ReadMenu(HMENU menu)
{
    std::vector<MenuEntry> entries;
    const int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        wchar_t text[256] = {};
        MENUITEMINFOW info = {};
        info.cbSize = sizeof(info);
        info.fMask = MIIM_ID | MIIM_STATE | MIIM_STRING | MIIM_SUBMENU;
        info.dwTypeData = text;
        info.cch = 255;
        EXPECT_TRUE(GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &info));
        entries.push_back({info.wID, text, (info.fState & MFS_CHECKED) != 0, info.hSubMenu});
    }
    return entries;
}

std::vector<UINT> Ids(const std::vector<MenuEntry>& entries)
{
    std::vector<UINT> ids;
    for (const MenuEntry& entry : entries)
        ids.push_back(entry.id);
    return ids;
}

bool ItemChecked(UINT id)
{
    return (GetMenuState(GetTrayMenu(), id, MF_BYCOMMAND) & MF_CHECKED) != 0;
}

class Tray : public ::testing::Test {
protected:
    void SetUp() override
    {
        WNDCLASSW windowClass = {};
        windowClass.lpfnWndProc = OwnerProc;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = kOwnerClass;
        RegisterClassW(&windowClass);
        owner_ = CreateWindowExW(0, kOwnerClass, L"owner", WS_OVERLAPPEDWINDOW, 10, 10, 300, 200, nullptr,
                                 nullptr, GetModuleHandleW(nullptr), nullptr);
        ASSERT_NE(nullptr, owner_);
        config_ = GetWrapConfig();
        savedTrayIcon_ = config_->trayIcon;
        savedNewsSubmenu_ = config_->trayNewsSubmenu;
        SetOption(L"HideGameNews", L"");
        SetOption(L"HideSiteNews", L"");
        g_menusShown.clear();
    }
    void TearDown() override
    {
        RemoveTrayIcon();
        config_->trayIcon = savedTrayIcon_;
        config_->trayNewsSubmenu = savedNewsSubmenu_;
        for (HMODULE module : modules_)
            FreeLibrary(module);
        DestroyWindow(owner_);
    }

    HMODULE Theme(const wchar_t* name)
    {
        HMODULE module = LoadLibraryW(ThemePath(name).c_str());
        EXPECT_NE(nullptr, module) << "theme " << name;
        modules_.push_back(module);
        return module;
    }

    // Whether the shell shows an icon with this identity.
    bool IconShown()
    {
        NOTIFYICONDATAW probe = {};
        probe.cbSize = sizeof(probe);
        probe.hWnd = owner_;
        probe.uID = kTrayIconId;
        return Shell_NotifyIconW(NIM_MODIFY, &probe) != FALSE;
    }

    HWND owner_ = nullptr;
    CWrapConfig* config_ = nullptr;
    bool savedTrayIcon_ = true;
    bool savedNewsSubmenu_ = true;
    std::vector<HMODULE> modules_;
};

std::wstring ExpectedAutorunData()
{
    wchar_t exePath[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, exePath, MAX_PATH);
    std::wstring exe = exePath;
    return L"\"" + notifytest::InstallDir() + L"\\" + exe.substr(exe.find_last_of(L'\\') + 1) + L"\"";
}

}  // namespace

TEST_F(Tray, AddShowsTheThemesIconTooltipAndMenu)
{
    DeleteAutorunValue();
    ASSERT_TRUE(AddTrayIcon(Theme(L"theme_full"), owner_));

    const NOTIFYICONDATAW& record = GetTrayIconRecord();
    EXPECT_EQ(NOTIFYICONDATAW_V3_SIZE, record.cbSize);
    EXPECT_EQ(owner_, record.hWnd);
    EXPECT_EQ(16u, record.uID);
    EXPECT_EQ(7u, record.uFlags);
    EXPECT_EQ(RegisterWindowMessageW(L"Lorrimel_TrayNotify"), record.uCallbackMessage);
    EXPECT_NE(nullptr, record.hIcon);
    EXPECT_STREQ(L"Lorrimel Games", record.szTip);
    EXPECT_EQ(3u, record.uVersion);
    EXPECT_TRUE(IconShown());

    std::vector<MenuEntry> menu = ReadMenu(GetTrayMenu());
    ASSERT_EQ((std::vector<UINT>{259, 266, 260}), Ids(menu));
    EXPECT_EQ(L"Запускать при старте", menu[0].text);
    EXPECT_TRUE(menu[0].checked);
    EXPECT_EQ(L"News", menu[1].text);
    EXPECT_FALSE(menu[1].checked);
    EXPECT_EQ(L"Exit", menu[2].text);
    EXPECT_FALSE(menu[2].checked);
    ASSERT_NE(nullptr, menu[1].submenu);
    std::vector<MenuEntry> news = ReadMenu(menu[1].submenu);
    ASSERT_EQ((std::vector<UINT>{267, 268}), Ids(news));
    EXPECT_EQ(L"Game news", news[0].text);
    EXPECT_EQ(L"Site news", news[1].text);
    EXPECT_TRUE(news[0].checked);
    EXPECT_TRUE(news[1].checked);

    // Building the menu switched autostart on.
    EXPECT_EQ(ExpectedAutorunData(), ReadAutorunValue());
}

TEST_F(Tray, RepeatedAddKeepsTheIconAndRebuildsTheMenu)
{
    HMODULE theme = Theme(L"theme_full");
    ASSERT_TRUE(AddTrayIcon(theme, owner_));
    ToggleAutorun();
    bool exists = true;
    ReadAutorunValue(&exists);
    ASSERT_FALSE(exists);

    // Every page load adds again: the shell keeps the icon shown, the new
    // menu has autostart on again.
    ASSERT_TRUE(AddTrayIcon(theme, owner_));
    EXPECT_TRUE(IconShown());
    EXPECT_TRUE(ItemChecked(259));
    EXPECT_EQ(ExpectedAutorunData(), ReadAutorunValue());
    RemoveTrayIcon();
    EXPECT_FALSE(IconShown());
}

TEST_F(Tray, BrandWithoutTrayIconAddsNothingAndLeavesAutostartAlone)
{
    config_->trayIcon = false;
    DeleteAutorunValue();
    EXPECT_TRUE(AddTrayIcon(Theme(L"theme_full"), owner_));
    EXPECT_EQ(0u, GetTrayIconRecord().cbSize);
    EXPECT_EQ(nullptr, GetTrayMenu());
    EXPECT_FALSE(IconShown());
    bool exists = true;
    ReadAutorunValue(&exists);
    EXPECT_FALSE(exists);
}

TEST_F(Tray, ThemeWithoutIconOrNoThemeAddsNothing)
{
    DeleteAutorunValue();
    EXPECT_FALSE(AddTrayIcon(nullptr, owner_));
    EXPECT_FALSE(AddTrayIcon(Theme(L"theme_noicon"), owner_));
    EXPECT_EQ(nullptr, GetTrayMenu());
    EXPECT_EQ(nullptr, GetTrayIconRecord().hWnd);
    EXPECT_FALSE(IconShown());
    bool exists = true;
    ReadAutorunValue(&exists);
    EXPECT_FALSE(exists);
    EXPECT_EQ(nullptr, CreateTrayMenu(nullptr));
}

TEST_F(Tray, TooltipOfTheNotificationAreasLengthIsLeftOut)
{
    ASSERT_TRUE(AddTrayIcon(Theme(L"theme_edgetip"), owner_));
    EXPECT_EQ(127u, wcslen(GetTrayIconRecord().szTip));
    RemoveTrayIcon();

    ASSERT_TRUE(AddTrayIcon(Theme(L"theme_longtip"), owner_));
    EXPECT_STREQ(L"", GetTrayIconRecord().szTip);
    EXPECT_TRUE(IconShown());
}

TEST_F(Tray, NewsSubmenuNeedsItsTitleItsItemsAndTheBrand)
{
    // Strings 11 and 12 missing: no submenu even in this brand.
    ASSERT_TRUE(AddTrayIcon(Theme(L"theme_longtip"), owner_));
    EXPECT_EQ((std::vector<UINT>{259, 260}), Ids(ReadMenu(GetTrayMenu())));
    RemoveTrayIcon();

    // String 10 missing: no submenu.
    ASSERT_TRUE(AddTrayIcon(Theme(L"theme_edgetip"), owner_));
    EXPECT_EQ((std::vector<UINT>{259, 260}), Ids(ReadMenu(GetTrayMenu())));
    RemoveTrayIcon();

    config_->trayNewsSubmenu = false;
    ASSERT_TRUE(AddTrayIcon(Theme(L"theme_full"), owner_));
    EXPECT_EQ((std::vector<UINT>{259, 260}), Ids(ReadMenu(GetTrayMenu())));
}

TEST_F(Tray, AutostartSwitchFollowsTheRunValue)
{
    ASSERT_TRUE(AddTrayIcon(Theme(L"theme_full"), owner_));
    ASSERT_TRUE(ItemChecked(259));

    ToggleAutorun();
    bool exists = true;
    ReadAutorunValue(&exists);
    EXPECT_FALSE(exists);
    EXPECT_FALSE(ItemChecked(259));

    ToggleAutorun();
    EXPECT_EQ(ExpectedAutorunData(), ReadAutorunValue());
    EXPECT_TRUE(ItemChecked(259));
}

TEST_F(Tray, NewsSwitchesStoreTheOppositeSense)
{
    ASSERT_NE(nullptr, GetCatalogDb());
    ASSERT_TRUE(AddTrayIcon(Theme(L"theme_full"), owner_));
    ASSERT_TRUE(ItemChecked(267));
    ASSERT_TRUE(ItemChecked(268));

    ToggleTrayMenuOption(267, L"HideGameNews");
    EXPECT_EQ(L"yes", GetOptionText(L"HideGameNews"));
    EXPECT_FALSE(ItemChecked(267));
    EXPECT_EQ(L"", GetOptionText(L"HideSiteNews"));

    ToggleTrayMenuOption(267, L"HideGameNews");
    bool present = OptionValue(GetCatalogDb(), L"HideGameNews").GetText() != nullptr;
    EXPECT_TRUE(present);
    EXPECT_EQ(L"", GetOptionText(L"HideGameNews"));
    EXPECT_TRUE(ItemChecked(267));

    ToggleTrayMenuOption(268, L"HideSiteNews");
    EXPECT_EQ(L"yes", GetOptionText(L"HideSiteNews"));
    EXPECT_FALSE(ItemChecked(268));

    // A menu built while a news kind is hidden shows it unchecked.
    ASSERT_TRUE(AddTrayIcon(Theme(L"theme_full"), owner_));
    EXPECT_TRUE(ItemChecked(267));
    EXPECT_FALSE(ItemChecked(268));

    // A null key changes nothing.
    ToggleTrayMenuOption(267, nullptr);
    EXPECT_TRUE(ItemChecked(267));
    EXPECT_EQ(L"", GetOptionText(L"HideGameNews"));
}

TEST_F(Tray, CommandsForItemsTheMenuLacksChangeNothing)
{
    // No news submenu in this menu: a stray command must not read a missing
    // item as checked and hide the news.
    ASSERT_NE(nullptr, GetCatalogDb());
    config_->trayNewsSubmenu = false;
    ASSERT_TRUE(AddTrayIcon(Theme(L"theme_full"), owner_));
    ToggleTrayMenuOption(267, L"HideGameNews");
    EXPECT_EQ(L"", GetOptionText(L"HideGameNews"));
    ToggleTrayMenuOption(268, L"HideSiteNews");
    EXPECT_EQ(L"", GetOptionText(L"HideSiteNews"));

    // Once the icon is removed there is no menu: autostart stays as it is.
    RemoveTrayIcon();
    ASSERT_EQ(nullptr, GetTrayMenu());
    ToggleAutorun();
    EXPECT_EQ(ExpectedAutorunData(), ReadAutorunValue());
}

TEST_F(Tray, LeftClickHidesAndRestoresTheWindow)
{
    ASSERT_TRUE(AddTrayIcon(Theme(L"theme_full"), owner_));
    const UINT trayNotify = RegisterWindowMessageW(L"Lorrimel_TrayNotify");
    ShowWindow(owner_, SW_SHOWNORMAL);

    SendMessageW(owner_, trayNotify, kTrayIconId, WM_LBUTTONUP);
    EXPECT_FALSE(IsWindowVisible(owner_));

    SendMessageW(owner_, trayNotify, kTrayIconId, WM_LBUTTONUP);
    EXPECT_TRUE(IsWindowVisible(owner_));
    EXPECT_FALSE(IsIconic(owner_));

    ShowWindow(owner_, SW_SHOWMINIMIZED);
    ASSERT_TRUE(IsIconic(owner_));
    SendMessageW(owner_, trayNotify, kTrayIconId, WM_LBUTTONUP);
    EXPECT_TRUE(IsWindowVisible(owner_));
    EXPECT_FALSE(IsIconic(owner_));

    // Other mouse messages do nothing.
    SendMessageW(owner_, trayNotify, kTrayIconId, WM_LBUTTONDOWN);
    SendMessageW(owner_, trayNotify, kTrayIconId, WM_MOUSEMOVE);
    EXPECT_TRUE(IsWindowVisible(owner_));
    EXPECT_TRUE(g_menusShown.empty());
}

TEST_F(Tray, RightClickOpensTheTrayMenu)
{
    ASSERT_TRUE(AddTrayIcon(Theme(L"theme_full"), owner_));
    const UINT trayNotify = RegisterWindowMessageW(L"Lorrimel_TrayNotify");
    SendMessageW(owner_, trayNotify, kTrayIconId, WM_RBUTTONUP);
    ASSERT_FALSE(g_menusShown.empty());
    EXPECT_EQ(GetTrayMenu(), g_menusShown.front());
}

TEST_F(Tray, RemoveDeletesTheIconAndClearsTheRecord)
{
    ASSERT_TRUE(AddTrayIcon(Theme(L"theme_full"), owner_));
    RemoveTrayIcon();
    EXPECT_FALSE(IconShown());
    const NOTIFYICONDATAW& record = GetTrayIconRecord();
    const BYTE* bytes = reinterpret_cast<const BYTE*>(&record);
    EXPECT_EQ(sizeof(record), static_cast<size_t>(std::count(bytes, bytes + sizeof(record), 0)));

    // A cleared record adds nothing when the shell restarts.
    SendMessageW(owner_, RegisterWindowMessageA("TaskbarCreated"), 0, 0);
    EXPECT_FALSE(IconShown());
}
