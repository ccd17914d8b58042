#include "host/pagefeed.h"

#include "catalog/catalog.h"
#include "catalog/options.h"
#include "catalog/storage.h"
#include "catalog/themes.h"
#include "host/sinks.h"
#include "net/update.h"
#include "notify/splash.h"
#include "notify/tray.h"
#include "shell/brand.h"
#include "shell/cmdline.h"
#include "shell/errorlog.h"
#include "shell/files.h"
#include "shell/settings.h"
#include "shell/theme.h"

#include <cwchar>


namespace {

constexpr size_t kUrlChars = 1024;
// The icon library's row goes to the page through this statement; like
// every formatted statement it must stay below 1024 characters, or the
// options feed stops there.
constexpr size_t kStatementChars = 1024;
constexpr const wchar_t* kGamesDllStatementFrame = L"select trgopt('games_dll','')";

// One statement for all games: null in the picture place, and utm only for
// the brand whose table has that column.
constexpr const char* kFeedGamesWithUtm =
    "select trggms(id,afl,name,desc,release,rating,inst,show,runs,null,custom,itunes_id,"
    "itunes_id_free,itunes_id_ipad,itunes_id_ipad_free,track,utm) from games";
constexpr const char* kFeedGamesWithoutUtm =
    "select trggms(id,afl,name,desc,release,rating,inst,show,runs,null,custom,itunes_id,"
    "itunes_id_free,itunes_id_ipad,itunes_id_ipad_free,track,null) from games";

void ExecOnce(sqlite3* db, const char* sql)
{
    if (db)
        sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
}

void ExecWhileBusy(sqlite3* db, const char* sql)
{
    if (!db)
        return;
    for (;;) {
        const int rc = sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
        if (rc != SQLITE_BUSY && rc != SQLITE_LOCKED)
            return;
        Sleep(kBusyRetrySleepMs);
    }
}

void ReportForeignPage()
{
    LogMessage(L"OnDocCompleted: function inTestQuivmarkSkin");
    LogMessage(L"OnDocCompleted: theme version %u", static_cast<unsigned>(LookupThemeVersion()));
    LogMessage(L"OnDocCompleted: main URL %ls", GetMainPageUrl());
    ShowStartupError(kStartupErrorJavaScript);
    PostQuitMessage(kExitStartupError);
}

bool SwitchGiven(wchar_t letter)
{
    uint32_t ignored = 0;
    return GetSwitchHex(letter, &ignored);
}

}  // namespace

std::wstring PageVersionText(const wchar_t* productVersion)
{
    if (!productVersion || wcslen(productVersion) < 4)
        return std::wstring();
    std::wstring text;
    text += productVersion[0];
    text += L'.';
    text += productVersion[3];
    if (productVersion[4])
        text += productVersion[4];
    return text;
}

const wchar_t* GetMainPageUrl()
{
    static std::wstring url;
    if (url.empty()) {
        const wchar_t* themeFile = GetThemeTempPath();
        if (themeFile) {
            std::wstring formed = std::wstring(L"res://") + themeFile + L"/html/main.html";
            if (formed.size() < kUrlChars)
                url = formed;
        }
    }
    return url.c_str();
}

bool FeedOptionsToPage(sqlite3* db)
{
    if (const wchar_t* iconLibrary = GetGamesDllPath()) {
        if (wcslen(kGamesDllStatementFrame) + wcslen(iconLibrary) >= kStatementChars)
            return false;
        FeedOptionRowToHook(db, L"games_dll", iconLibrary);
    }
    ExecOnce(db, "select trgopt(var,val) from opt where var not like 'auth%'");
    std::optional<std::wstring> version = GetProductVersion();
    if (!version)
        return false;
    std::wstring pageVersion = PageVersionText(version->c_str());
    if (pageVersion.empty())
        return false;
    FeedOptionRowToHook(db, L"ver", pageVersion.c_str());
    return true;
}

void OnDocCompleted(HWND window, WPARAM, LPARAM)
{
    CloseSplashWindow();

    CMainSink* sink = GetMainSink();
    if (!sink || !sink->inTestQuivmarkSkin()) {
        ReportForeignPage();
        return;
    }

    DetectPartnerBrowser();

    // A catalog that cannot be opened feeds nothing; the page still renders.
    sqlite3* db = GetCatalogDb();
    ExecOnce(db, "select trgopt(var,val) from opt where var like 'auth%'");
    ExecWhileBusy(db, GetBrandId() == 0 ? kFeedGamesWithUtm : kFeedGamesWithoutUtm);
    FeedOptionsToPage(db);

    if (CMainSink* main = GetMainSink())
        main->inRender(true);

    // Only brands that check for updates arm it.
    ArmUpdateTimer(window, kUpdateDelayAfterPageLoad);

    AddTrayIcon(LoadThemeModule(), window);

    if (SwitchGiven(L'r') || SwitchGiven(L'd')) {
        ShowWindow(window, SW_SHOWNORMAL);
        SetForegroundWindow(window);
    }
}
