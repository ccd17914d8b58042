#include "shell/startup.h"

#include "axhost/axhost.h"
#include "catalog/catalog.h"
#include "catalog/games.h"
#include "catalog/storage.h"
#include "host/mainwindow.h"
#include "install/launch.h"
#include "net/workers.h"
#include "notify/balloons.h"
#include "notify/splash.h"
#include "notify/tray.h"
#include "shell/brand.h"
#include "shell/cmdline.h"
#include "shell/errorlog.h"
#include "shell/instance.h"
#include "shell/maintenance.h"
#include "shell/pagehooks.h"
#include "shell/settings.h"
#include "shell/theme.h"

#include <objbase.h>

#include <cstdio>
#include <string>

namespace {

constexpr size_t kPathChars = 1024;
constexpr DWORD kMainWindowStyle = WS_POPUP | WS_CLIPCHILDREN | WS_MINIMIZEBOX;

HWND g_mainWindow = nullptr;

// Runs a statement formatted with one number, with the busy retry.
void ExecFormatted(const char* format, uint32_t value)
{
    char sql[kPathChars];
    int length = snprintf(sql, sizeof(sql), format, value);
    if (length > 0 && length < static_cast<int>(sizeof(sql)))
        ExecOneWithRetry(sql, GetCatalogDb());
}

uint32_t QueryFormattedInt(const char* format, uint32_t value)
{
    char sql[kPathChars];
    int length = snprintf(sql, sizeof(sql), format, value);
    if (length <= 0 || length >= static_cast<int>(sizeof(sql)))
        return 0;
    return static_cast<uint32_t>(QueryInt(GetCatalogDb(), sql));
}

// A run that ends after maintenance closes the catalog and drops the theme
// file that shortcut making or the loader's dialog may have written.
void EndMaintenanceRun()
{
    CloseCatalogDb();
    UnloadThemeModule();
}

// The maintenance switches, in their fixed order. Returns true when the run
// ends here (switch i or e); exitCode then holds its code.
bool RunMaintenanceSwitches(int& exitCode, uint32_t& gameId)
{
    const CWrapConfig* config = GetWrapConfig();
    const bool brand0 = GetBrandId() == 0;
    const bool switchV = IsSwitchGiven(L'v');

    if (std::optional<std::wstring> theme = GetSwitchString(L't')) {
        SetThemeFromSwitch(theme->c_str());
        exitCode = 12;
    }
    uint32_t affiliate = 0;
    if (GetSwitchHex(L'a', &affiliate))
        SetAffiliateFromSwitch(affiliate);
    if (std::optional<std::wstring> importPath = GetSwitchString(L'b')) {
        ImportDatabaseFromSwitch(importPath->c_str());
        exitCode = 11;
    }
    if (config && config->importOlderProducts)
        ImportOlderProducts();
    if (switchV || !brand0) {
        if (std::optional<std::wstring> iconModule = GetSwitchString(L'p'))
            exitCode = CopyGameIconsFromSwitch(iconModule->c_str());
    }
    if (std::optional<std::wstring> package = GetSwitchString(L'i')) {
        uint32_t kValue = 0;
        GetSwitchHex(L'k', &kValue);
        exitCode = InstallGameFromCommandLine(package->c_str(), kValue) ? 1 : 2;
        EndMaintenanceRun();
        return true;
    }
    if (IsSwitchGiven(L'c'))
        UninstallAllGames();
    if (GetSwitchHex(L'u', &gameId))
        UninstallGameFromSwitch(gameId);
    if ((config && config->alwaysMakeShortcuts) || IsSwitchGiven(L'y'))
        CreateShortcuts();
    if (IsSwitchGiven(L'e')) {
        EndMaintenanceRun();
        return true;
    }
    return false;
}

}  // namespace

void RestartSelf()
{
    std::optional<std::wstring> dir = InstallDirWithoutSeparator();
    if (!dir)
        return;
    std::wstring path = *dir + L"\\" + GetExeFileName();
    if (path.size() >= kPathChars)
        return;
    // Quoted: an install directory with a blank in it would otherwise make
    // the new copy read its file name, and so its brand, from the first
    // word of the path.
    std::wstring commandLine = L"\"" + path + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                   &process);
}

namespace {

// Everything after the message loop, in order. Returns the exit code.
int ShutDown(HINSTANCE instance, int exitCode)
{
    RemoveTrayIcon();
    EmptyBalloonStack();
    CloseCatalogDb();
    UnloadThemeModule();
    StopAllWorkerThreads();
    UnregisterAxHostClasses(instance);
    ReleaseInstanceLock();
    if (exitCode != 9)
        SignalExitEvent();
    else
        RestartSelf();
    CoUninitialize();
    return exitCode;
}

int RunMessageLoop()
{
    MSG message = {};
    int exitCode = 0;
    for (;;) {
        BOOL got = GetMessageW(&message, nullptr, 0, 0);
        if (got == 0 || got == -1)
            break;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    // The parameter of WM_QUIT (the last message retrieved).
    exitCode = static_cast<int>(message.wParam);
    return exitCode;
}

}  // namespace

HWND CreateMainWindow(HINSTANCE instance)
{
    if (g_mainWindow)
        return g_mainWindow;
    const CWrapConfig* config = GetWrapConfig();
    if (!instance || !config || !config->windowClass)
        return nullptr;
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = MainWindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.lpszClassName = config->windowClass;
    if (!RegisterClassExW(&windowClass))
        return nullptr;
    g_mainWindow = CreateWindowExW(0, config->windowClass, nullptr, kMainWindowStyle, 0, 0, 0, 0, nullptr,
                                   nullptr, instance, nullptr);
    return g_mainWindow;
}

HWND GetMainWindow()
{
    return g_mainWindow;
}

int RunProgram(HINSTANCE instance)
{
    // The brand, chosen by the executable's file name.
    CreateWrapConfig();
    const CWrapConfig* config = GetWrapConfig();
    const int brand = GetBrandId();

    // The splash picture, when asked for.
    if (IsSwitchGiven(L'j'))
        CreateSplashWindow();

    // The catalog file exists from here on.
    if (config && config->databaseFileName && !*GetCatalogDbPath())
        SetCatalogDbPath(config->databaseFileName);

    // Maintenance for installers and uninstallers: asking a running copy
    // to exit, the query (which ends the run), then the other switches in
    // their fixed order; an install or switch e ends the run.
    int exitCode = 10;
    uint32_t gameId = 0;
    if (IsSwitchGiven(L'x'))
        exitCode = AskRunningInstanceToExit();
    if (GetSwitchHex(L'z', &gameId)) {
        OpenCatalogForReading();
        return QueryGameInstalled(gameId);
    }
    if (RunMaintenanceSwitches(exitCode, gameId))
        return exitCode;

    // The brand's select-game message; the balloons' work area as it is
    // at start-up.
    RegisterSelectGameMessage();
    GetBalloonStack();

    // Which game to select or start. For brand 0 a game to select given
    // without switch v is named by its older id.
    const bool selectGiven = GetSwitchHex(L'r', &gameId);
    const bool startGiven = GetSwitchHex(L's', &gameId);
    if (selectGiven && brand == 0 && !IsSwitchGiven(L'v'))
        gameId = QueryFormattedInt("select id from games where old_id='%u'", gameId);

    // Another copy runs: hand the request over and end.
    if (AcquireInstanceLock(true)) {
        UINT message = (selectGiven || (brand == 5 && startGiven)) ? SelectGameMessage() : WM_ZEL_SHOW;
        BroadcastToRunningInstance(message, gameId);
        return 5;
    }

    // The catalog must open for the interactive run.
    if (!GetCatalogDb()) {
        ShowStartupError(kStartupErrorDatabase);
        return kExitStartupError;
    }

    // Remember the game to select.
    if (selectGiven) {
        QueryCursor cursor(GetCatalogDb());
        Statement* row = cursor.SelectGameById(gameId);
        if (row && GameRecord::IsShown(*row))
            ExecFormatted("insert or replace into opt(var,val)values('lastselectgame','%u')", gameId);
    }

    // Start a game and wait for it.
    if (startGiven) {
        bool launched = LaunchGame(gameId);
        if (brand == 5)
            PostQuitMessage(0);
        if (!launched)
            ShowLaunchFailureInPage();
    }

    // The catalog again (the launch may have closed it).
    if (!GetCatalogDb()) {
        ShowStartupError(kStartupErrorDatabase);
        return kExitStartupError;
    }

    // The hooks that feed catalog changes to the page, and the theme that
    // holds the pages.
    InstallPageFeedingHooks();
    if (!LoadThemeModule()) {
        CloseCatalogDb();
        // The temporary file made for the theme goes with the failed start.
        UnloadThemeModule();
        ShowStartupError(kStartupErrorTheme);
        return kExitStartupError;
    }

    // COM, the main window, and the single-instance lock for good.
    CoInitialize(nullptr);
    HWND window = CreateMainWindow(instance);
    AcquireInstanceLock(false);
    if (!window) {
        CloseCatalogDb();
        UnloadThemeModule();
        ShowStartupError(kStartupErrorManager);
        CoUninitialize();
        return kExitStartupError;
    }

    // The message loop, then shutdown.
    exitCode = RunMessageLoop();
    return ShutDown(instance, exitCode);
}
