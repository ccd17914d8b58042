#include "shell/brand.h"

#include "catalog/options.h"
#include "shell/cmdline.h"
#include "shell/theme.h"

#include <cstdlib>
#include <cwchar>
#include <new>

namespace {

CWrapConfig* g_wrapConfig = nullptr;

constexpr size_t kShortcutTargetChars = 1024;

struct BrandNames {
    const wchar_t* database;
    const wchar_t* product;
    const wchar_t* windowClass;
    const wchar_t* application;
    const wchar_t* lockFile;
    const wchar_t* selectGameMessage;
};

// Flags in the order: update timer, import older products, per-game menu
// folders, rename old menu folder, always make shortcuts, tray news
// submenu, advertisements, tray icon, machine-wide older uninstall
// entries, shortcuts after install.
void Configure(CWrapConfig& config, const BrandNames& names, const char (&flags)[11])
{
    config.databaseFileName = names.database;
    config.productName = names.product;
    config.windowClass = names.windowClass;
    config.applicationName = names.application;
    config.lockFileName = names.lockFile;
    config.selectGameMessageName = names.selectGameMessage;
    bool* fields[] = {
        &config.updateTimer,         &config.importOlderProducts, &config.perGameMenuFolders,
        &config.renameOldMenuFolder, &config.alwaysMakeShortcuts, &config.trayNewsSubmenu,
        &config.advertisements,      &config.trayIcon,            &config.machineWideOlderUninstall,
        &config.shortcutsAfterInstall,
    };
    for (size_t i = 0; i < 10; ++i)
        *fields[i] = flags[i] == '1';
}

}  // namespace

const wchar_t* CWrapConfig::GetShortcutTarget()
{
    return ThemeString(kThemeStringDesktopShortcutTarget);
}

const wchar_t* CWrapConfig::GetMenuShortcutTarget()
{
    return ThemeString(kThemeStringMenuShortcutTarget);
}

CQuivmarkRu::CQuivmarkRu()
{
    Configure(*this, {L"base.db", L"zel", L"ZELCLS", L"zel.exe", L"\\zel_mutex", L"ZELSELECTGAME"},
              "1101010111");
}

CQuivmarkCom::CQuivmarkCom()
{
    Configure(*this,
              {L"base_en.db", L"zel_en", L"ZELCLS_EN", L"zel_en.exe", L"\\zel_en_mutex",
               L"ZELSELECTGAME_EN"},
              "0001000111");
}

CFendrakeRu::CFendrakeRu()
{
    Configure(*this,
              {L"aflbase.db", L"QuivZEL", L"QUIVZELCLS", L"QuivZEL", L"\\quivzel_mutex",
               L"QUIVZELSELECTGAME"},
              "0110000111");
}

const wchar_t* CFendrakeRu::GetShortcutTarget()
{
    // Formed once: a later change of the affiliate is seen by the next
    // process only.
    static wchar_t target[kShortcutTargetChars];
    static bool formed = false;
    if (!formed) {
        formed = true;
        const wchar_t* base = ThemeString(kThemeStringDesktopShortcutTarget);
        int length = swprintf(target, kShortcutTargetChars, L"%ls%u", base ? base : L"",
                              static_cast<unsigned>(GetOptionInt(L"affiliate")));
        if (length < 0 || length >= static_cast<int>(kShortcutTargetChars))
            target[0] = L'\0';
    }
    return target;
}

const wchar_t* CFendrakeRu::GetMenuShortcutTarget()
{
    return GetShortcutTarget();
}

CMacQuivmarkRu::CMacQuivmarkRu()
{
    Configure(*this, {L"base.db", L"zel", L"ZELCLS", L"zel.exe", L"\\zel_mutex", L"ZELSELECTGAME"},
              "0000000111");
}

CSorvathRu::CSorvathRu()
{
    Configure(*this,
              {L"sorvbase.db", L"Sorvath.Games Quiv", L"SORVATHZELCLS", L"Sorvath-Games-Quiv",
               L"\\sorvath_zel_mutex", L"SORVATHZELSELECTGAME"},
              "0000100111");
}

CPembrik::CPembrik()
{
    Configure(*this,
              {L"pem_rik.db", L"Pembrik.Games Quiv", L"PEMBRIKZELCLS", L"Pembrik-Games-Quiv",
               L"\\pembrik_zel_mutex", L"PEMBRIKZELSELECTGAME"},
              "0000000000");
}

int BrandIdForExeName(const wchar_t* exeFileName)
{
    if (!exeFileName || !*exeFileName)
        return 0;
    static const struct {
        const wchar_t* name;
        int id;
    } kBrandExeNames[] = {
        {L"zel_en.exe", 1}, {L"quivzel.exe", 2}, {L"sorvgames.exe", 4}, {L"pembzel.exe", 5}};
    for (const auto& brand : kBrandExeNames) {
        if (_wcsicmp(exeFileName, brand.name) == 0)
            return brand.id;
    }
    return 0;
}

int GetBrandId()
{
    return BrandIdForExeName(GetExeFileName().c_str());
}

void CreateWrapConfig()
{
    if (g_wrapConfig)
        return;
    switch (GetBrandId()) {
    case 1: g_wrapConfig = new (std::nothrow) CQuivmarkCom; break;
    case 2: g_wrapConfig = new (std::nothrow) CFendrakeRu; break;
    case 3: g_wrapConfig = new (std::nothrow) CMacQuivmarkRu; break;
    case 4: g_wrapConfig = new (std::nothrow) CSorvathRu; break;
    case 5: g_wrapConfig = new (std::nothrow) CPembrik; break;
    default: g_wrapConfig = new (std::nothrow) CQuivmarkRu; break;
    }
    if (g_wrapConfig)
        atexit(DestroyWrapConfig);
}

void DestroyWrapConfig()
{
    delete g_wrapConfig;
    g_wrapConfig = nullptr;
}

CWrapConfig* GetWrapConfig()
{
    return g_wrapConfig;
}
