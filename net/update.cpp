#include "net/update.h"

#include "catalog/catalog.h"
#include "catalog/games.h"
#include "catalog/options.h"
#include "catalog/storage.h"
#include "host/pagecalls.h"
#include "net/endpoints.h"
#include "notify/balloons.h"
#include "shell/brand.h"
#include "shell/instance.h"

#include <algorithm>
#include <cstdint>

namespace {

constexpr char kUpdateDelaySql[] = "select (val-tme())from opt where var='update'";
constexpr char kKnownGamesSql[] = "select group_concat(id,',') from games where name not null and desc not null";
// The newest shown game the update made new, when it is not installed.
constexpr wchar_t kNewGameCondition[] =
    L"updn=1 and name is not null and desc is not null and inst is null and show=1 and "
    L"release=(select max(release) from games where show=1)";
constexpr size_t kUrlChars = 1024;

bool UpdateChecksEnabled()
{
    CWrapConfig* config = GetWrapConfig();
    return config && config->updateTimer;
}

// The skin text goes into the address as 8-bit characters of the ANSI code
// page, as it stands.
std::string AnsiText(const std::wstring& text)
{
    if (text.empty())
        return std::string();
    int bytes = WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0,
                                    nullptr, nullptr);
    if (bytes <= 0)
        return std::string();
    std::string narrow(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), narrow.data(), bytes,
                        nullptr, nullptr);
    return narrow;
}

// A reply is a list of NUL-terminated SQL texts ended by an empty one; its
// last byte must be NUL, or none of it is trusted.
bool IsUsableSqlReply(const HttpResult* result)
{
    return result && result->status == kHttpOk && result->data && result->size != 0 &&
           static_cast<const char*>(result->data)[result->size - 1] == '\0';
}

// One game per update at most, and never while the user hides game news.
void AnnounceNewestGame(sqlite3* db)
{
    if (!db)
        return;
    std::wstring name;
    std::wstring description;
    uint32_t id = 0;
    {
        QueryCursor cursor(db);
        Statement* row = cursor.SelectGamesWhere(kNewGameCondition);
        if (!row || !GetOptionText(L"HideGameNews").empty())
            return;
        id = GameRecord::Id(*row);
        const wchar_t* rowName = GameRecord::Name(*row);
        const wchar_t* rowDescription = GameRecord::Desc(*row);
        if (id == 0 || !rowName || !rowDescription)
            return;
        name = rowName;
        description = rowDescription;
    }
    ShowGameBalloon(id, name.c_str(), description.c_str());
}

void ApplyUpdateReply(const HttpResult* result)
{
    sqlite3* db = GetCatalogDb();
    if (db)
        ExecOneWithRetry("update games set updn=null", db);
    MainPage::inRender(false);
    ExecWithRetry(db, static_cast<const char*>(result->data), result->size);
    MainPage::inRender(true);
    AnnounceNewestGame(db);
}

}  // namespace

int GetUpdateDelay()
{
    return QueryInt(GetCatalogDb(), kUpdateDelaySql);
}

std::string BuildGamesHeader()
{
    std::optional<std::string> ids = QueryString(GetCatalogDb(), kKnownGamesSql);
    return "Games: " + ids.value_or("0") + "\r\n";
}

UINT ArmUpdateTimer(HWND window, int minimumSeconds)
{
    if (!UpdateChecksEnabled())
        return 0;
    // A due time far ahead must not overflow the period: the timer's own
    // maximum is the longest wait there is.
    int64_t seconds = std::max<int64_t>(GetUpdateDelay(), minimumSeconds);
    int64_t milliseconds = std::clamp<int64_t>(seconds * 1000, USER_TIMER_MINIMUM, USER_TIMER_MAXIMUM);
    UINT period = static_cast<UINT>(milliseconds);
    return SetTimer(window, kUpdateTimerId, period, nullptr) ? period : 0;
}

void CheckForUpdates(HWND window)
{
    std::string header = BuildGamesHeader();
    std::string url = ServiceUrl("update.php") + "?app=" + AnsiText(MainPage::inSkinInfo());
    if (url.size() >= kUrlChars)
        return;
    // When the request cannot start, the next page load arms the timer again.
    StartAsyncRequest(kRequestUpdate, url.c_str(), header.c_str(), true, window, WM_HTTP_REQUEST_COMPLETED,
                      0);
}

void OnUpdateResult(const HttpResult* result, HWND window)
{
    // A reply that is not a well-formed list runs nothing; the check is
    // armed again as after a failed transfer, so updates do not stop.
    if (IsUsableSqlReply(result))
        ApplyUpdateReply(result);
    ArmUpdateTimer(window, kUpdateDelayAfterCheck);
}
