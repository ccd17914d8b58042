#include "host/replies.h"

#include "catalog/catalog.h"
#include "catalog/storage.h"
#include "host/pagecalls.h"
#include "notify/balloons.h"
#include "shell/text.h"
#include "shell/theme.h"

#include <cstdlib>
#include <cwchar>
#include <new>
#include <optional>

namespace {

constexpr uint32_t kMessageEmptyLogin = 2;
constexpr uint32_t kMessageOneByteLogin = 1;
constexpr uint32_t kMessageSqlReplyFailed = 101;
constexpr size_t kIconNameChars = 16;

bool HasData(const HttpResult* result)
{
    return result && result->status == kHttpOk && result->data && result->size != 0;
}

const char* ReplyBytes(const HttpResult* result)
{
    return static_cast<const char*>(result->data);
}

// A list of SQL texts must end in its NUL; anything else is not run.
bool EndsInNul(const HttpResult* result)
{
    return ReplyBytes(result)[result->size - 1] == '\0';
}

// The reply as a NUL-terminated text of its own; nullopt when there is no
// room for the copy (a reply may be megabytes long), which must not escape
// into the window procedure.
std::optional<std::string> ReplyText(const HttpResult* result)
{
    try {
        return std::string(ReplyBytes(result), result->size);
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

}  // namespace

void OnLoginResult(const HttpResult* result, HWND)
{
    if (!result)
        return;
    if (result->status != kHttpOk) {
        MainPage::inMsgBox(result->status);
        return;
    }
    if (!result->data || result->size == 0) {
        MainPage::inMsgBox(kMessageEmptyLogin);
        return;
    }
    if (result->size == 1) {
        MainPage::inMsgBox(kMessageOneByteLogin);
        return;
    }
    if (!EndsInNul(result))
        return;
    sqlite3* db = GetCatalogDb();
    if (!db)
        return;
    // The transaction holds the write lock from its start, and its commit
    // waits out other copies reading the catalog: a commit that fails
    // would leave the connection inside the transaction, and every later
    // write of the session would be lost when the catalog closes. One that
    // fails for good is rolled back.
    const bool ownTransaction = BeginImmediate(db);
    ExecWithRetry(db, ReplyBytes(result), result->size);
    if (ownTransaction)
        CommitOrRollBack(db);
}

void OnSqlReply(const HttpResult* result, HWND window)
{
    if (HasData(result) && result->size != 1) {
        if (!EndsInNul(result))
            return;
        if (sqlite3* db = GetCatalogDb())
            ExecWithRetry(db, ReplyBytes(result), result->size);
        return;
    }
    MainPage::inMsgBox(kMessageSqlReplyFailed);
    ShowWindow(window, SW_SHOWNORMAL);
    SetForegroundWindow(window);
}

void WriteGameIconResource(const HttpResult* result, HWND)
{
    if (!HasData(result))
        return;
    const wchar_t* type = result->kind == kRequestBigIcon     ? L"BIG"
                          : result->kind == kRequestSmallIcon ? L"SMALL"
                                                              : nullptr;
    if (!type)
        return;
    wchar_t name[kIconNameChars];
    swprintf(name, kIconNameChars, L"S%u.PIC", static_cast<unsigned>(result->userWord));
    const wchar_t* path = GetGamesDllPath();
    if (!path)
        return;
    HANDLE update = BeginUpdateResourceW(path, FALSE);
    if (!update)
        return;
    // A failed write is discarded, leaving the library as it was.
    BOOL stored = UpdateResourceW(update, type, name, MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL), result->data,
                                  result->size);
    EndUpdateResourceW(update, stored ? FALSE : TRUE);
}

void StoreNewsFeed(const HttpResult* result, HWND)
{
    if (!HasData(result))
        return;
    // Without the catalog a repeat cannot be told from a new item.
    sqlite3* db = GetCatalogDb();
    if (!db)
        return;
    std::optional<std::string> reply = ReplyText(result);
    if (!reply)
        return;
    const std::string& text = *reply;
    std::optional<std::string> version = GetJsonField(text.c_str(), "version");
    std::optional<std::string> id = GetJsonField(text.c_str(), "id");
    if (!version || atoi(version->c_str()) != 1 || !id)
        return;
    {
        Statement seen;
        if (seen.PrepareWithRetry(db, "select id from news where id=?") && seen.BindText(1, id->c_str()) &&
            seen.StepRow())
            return;
    }
    std::optional<std::string> title = GetJsonField(text.c_str(), "title");
    std::optional<std::string> description = GetJsonField(text.c_str(), "description");
    std::optional<std::string> image = GetJsonField(text.c_str(), "image");
    std::optional<std::string> link = GetJsonField(text.c_str(), "link");
    if (title && description && image && link) {
        Utf8ToWide wideTitle(*title);
        Utf8ToWide wideDescription(*description);
        Utf8ToWide wideImage(*image);
        Utf8ToWide wideLink(*link);
        if (wideTitle.get() && wideDescription.get() && wideImage.get() && wideLink.get())
            ShowNewsBalloon(wideTitle, wideDescription, wideImage, wideLink);
    }
    Statement record;
    if (record.PrepareWithRetry(db, "insert into news(id) values(?)") && record.BindText(1, id->c_str()))
        record.StepDone();
}

void StoreAdFeed(const HttpResult* result, HWND)
{
    if (!HasData(result))
        return;
    std::optional<std::string> text = ReplyText(result);
    if (!text)
        return;
    AdReplyJson reply(text->c_str());
    std::string clickUrl;
    std::string imageUrl;
    if (!reply.Parsed() || !reply.ClickUrl(clickUrl) || !reply.ImageUrl(imageUrl))
        return;
    Utf8ToWide wideClick(clickUrl);
    Utf8ToWide wideImage(imageUrl);
    MainPage::inAdUpdate(wideClick, wideImage);
}

AdReplyJson::AdReplyJson(const char* text)
{
    if (!text)
        return;
    json_error_t error;
    root_ = json_loads(text, 0, &error);
}

AdReplyJson::~AdReplyJson()
{
    json_decref(root_);
}

json_t* AdReplyJson::Member(const char* key) const
{
    return root_ && key ? json_object_get(root_, key) : nullptr;
}

bool AdReplyJson::ClickUrl(std::string& url) const
{
    json_t* click = Member("click_url");
    if (!json_is_string(click))
        return false;
    url.assign(json_string_value(click), json_string_length(click));
    return true;
}

bool AdReplyJson::ImageUrl(std::string& url) const
{
    json_t* image = Member("img");
    if (!json_is_object(image))
        return false;
    json_t* source = json_object_get(image, "src");
    if (!json_is_string(source))
        return false;
    url.assign(json_string_value(source), json_string_length(source));
    return true;
}
