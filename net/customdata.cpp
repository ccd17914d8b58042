#include "net/customdata.h"

#include "catalog/catalog.h"
#include "catalog/games.h"
#include "catalog/storage.h"
#include "host/pagecalls.h"
#include "net/download.h"
#include "net/endpoints.h"
#include "shell/files.h"
#include "shell/text.h"

#include <windows.h>

#include <cstring>
#include <optional>

namespace {

constexpr char kCustomDataPath[] = "game_custom.php?ver=1&id=310";
constexpr uint32_t kMessageNoCustomData = 400;
constexpr uint32_t kMessageServiceStopped = 401;

// The temporary file of one download, gone with this object.
class TempFile {
public:
    explicit TempFile(std::wstring path) : path_(std::move(path)) {}
    ~TempFile() { Delete(); }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    const wchar_t* path() const { return path_.c_str(); }
    void Delete()
    {
        if (!path_.empty())
            DeleteFileW(path_.c_str());
        path_.clear();
    }

private:
    std::wstring path_;
};

bool FailFetch(uint32_t message)
{
    MainPage::inMsgBox(message);
    return false;
}

}  // namespace

bool IsCustomDataGame(uint32_t id)
{
    return id == 310 || id == 407 || id == 643;
}

bool GetGameCustomKey(std::wstring& key)
{
    key.clear();
    QueryCursor cursor(GetCatalogDb());
    Statement* row = cursor.SelectGameById(CustomDataGameId);
    if (!row)
        return false;
    const char* custom = GameRecord::Custom(*row);
    if (!custom || !*custom)
        return false;
    std::optional<std::string> value = GetJsonField(custom, "key");
    if (!value || value->empty())
        return false;
    Utf8ToWide wide(value->c_str());
    if (!wide.get())
        return false;
    key = wide.get();
    return true;
}

bool FetchGameCustomData()
{
    std::optional<std::wstring> path = MakeTempFileName(L"s__");
    if (!path)
        return FailFetch(kMessageNoCustomData);
    TempFile file(*path);
    Utf8ToWide url(ServiceUrl(kCustomDataPath).c_str());
    if (!url.get() || !DownloadUrlToFile(url.get(), kAgentZel, file.path())) {
        file.Delete();
        return FailFetch(kMessageNoCustomData);
    }
    // The file is gone before the page hears anything of it.
    std::optional<std::string> text = ReadWholeFile(file.path());
    file.Delete();
    if (!text || text->empty())
        return FailFetch(kMessageNoCustomData);
    return StoreGameCustomReply(text->c_str());
}

bool StoreGameCustomReply(const char* reply)
{
    std::optional<std::string> service = GetJsonField(reply, "service");
    if (!service || service->empty())
        return FailFetch(kMessageNoCustomData);
    Statement stmt;
    if (stmt.PrepareWithRetry16(GetCatalogDb(), L"update games set custom=? where id=?") &&
        stmt.BindText(1, reply) && stmt.BindInt(2, CustomDataGameId))
        stmt.StepDone();
    stmt.Finalize();
    if (*service == "stop")
        return FailFetch(kMessageServiceStopped);
    return true;
}
