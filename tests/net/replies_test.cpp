// The handlers of the web replies, given result records as the workers
// post them: the page calls they make, the catalog rows they write and the
// icon resources they store.
#include <gtest/gtest.h>

#include "catalog/catalog.h"
#include "driver.h"
#include "host/replies.h"
#include "nettest.h"
#include "shell/theme.h"

#include <cstdlib>
#include <cstring>
#include <thread>

using nettest::CallsNamed;
using nettest::Exec;
using nettest::QueryNumber;

namespace {

// A record as a worker makes it: the bytes in a block of exactly their
// size, with no NUL after them.
HttpResultPtr MakeResult(uint32_t kind, uint32_t status, const std::string& bytes, uint32_t userWord = 0)
{
    auto* result = static_cast<HttpResult*>(calloc(1, sizeof(HttpResult)));
    result->kind = kind;
    result->status = status;
    result->userWord = userWord;
    if (status == kHttpOk && !bytes.empty()) {
        result->data = malloc(bytes.size());
        memcpy(result->data, bytes.data(), bytes.size());
        result->size = static_cast<uint32_t>(bytes.size());
    }
    return HttpResultPtr(result);
}

std::string Block(std::initializer_list<const char*> statements)
{
    std::string block;
    for (const char* statement : statements) {
        block += statement;
        block += '\0';
    }
    return block + '\0';
}

std::vector<std::wstring> MessageCodes()
{
    std::vector<std::wstring> codes;
    for (const nettest::RecordedCall& call : CallsNamed("inMsgBox"))
        codes.push_back(call.arguments[0]);
    return codes;
}

class Replies : public ::testing::Test {
protected:
    nettest::ResultWindow window_;
    sqlite3* db_ = nullptr;

    void SetUp() override
    {
        nettest::ClearRecordedCalls();
        db_ = nettest::FreshCatalog();
    }
};

class CatalogReplies : public Replies {
protected:
    void SetUp() override
    {
        Replies::SetUp();
        ASSERT_NE(nullptr, db_) << "the catalog does not open";
    }
};

TEST_F(Replies, LoginFailuresReachThePageAsCodes)
{
    OnLoginResult(MakeResult(kRequestLogin, kHttpOpenFailed, "").get(), window_.get());
    OnLoginResult(MakeResult(kRequestLogin, kHttpInflateFailed, "").get(), window_.get());
    OnLoginResult(MakeResult(kRequestLogin, kHttpOk, "").get(), window_.get());
    OnLoginResult(MakeResult(kRequestLogin, kHttpOk, std::string(1, '\0')).get(), window_.get());
    OnLoginResult(MakeResult(kRequestLogin, kHttpOk, "x").get(), window_.get());
    EXPECT_EQ((std::vector<std::wstring>{L"3", L"8", L"2", L"1", L"1"}), MessageCodes());
    for (const nettest::RecordedCall& call : CallsNamed("inMsgBox"))
        EXPECT_EQ(1u, call.arguments.size());
}

TEST_F(CatalogReplies, LoginRepliesRunInOneTransaction)
{
    // A rollback inside the reply undoes what came before it in the same
    // transaction; what follows runs on its own and stays.
    OnLoginResult(MakeResult(kRequestLogin, kHttpOk,
                             Block({"insert into opt(var,val) values('before','1')", "rollback",
                                    "insert into opt(var,val) values('after','1')"}))
                      .get(),
                  window_.get());
    EXPECT_EQ(0, QueryNumber(db_, "select count(*) from opt where var='before'"));
    EXPECT_EQ(1, QueryNumber(db_, "select count(*) from opt where var='after'"));

    OnLoginResult(MakeResult(kRequestLogin, kHttpOk, Block({"insert into opt(var,val) values('token','abc')"})).get(),
                  window_.get());
    EXPECT_EQ("abc", nettest::QueryText(db_, "select val from opt where var='token'"));
    EXPECT_EQ(0, sqlite3_get_autocommit(db_) == 0);

    // Not NUL-terminated: dropped without a word.
    OnLoginResult(MakeResult(kRequestLogin, kHttpOk, "insert into opt(var,val) values('raw','1')").get(),
                  window_.get());
    EXPECT_EQ(0, QueryNumber(db_, "select count(*) from opt where var='raw'"));
    EXPECT_TRUE(MessageCodes().empty());
}

// Another copy (an installer importing into the catalog) reads it at the
// moment the login reply commits: the commit waits for it rather than
// leaving the connection inside the transaction, where every later write
// of the session would be lost when the catalog closes.
TEST_F(CatalogReplies, LoginReplyCommitsWhileAnotherCopyHoldsTheCatalog)
{
    const std::string path = GetCatalogDbPath();
    HANDLE reading = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::thread otherCopy([&path, reading] {
        sqlite3* other = nullptr;
        sqlite3_open_v2(path.c_str(), &other, SQLITE_OPEN_READWRITE, nullptr);
        sqlite3_busy_timeout(other, 10000);
        Exec(other, "begin");
        QueryNumber(other, "select count(*) from opt");
        SetEvent(reading);
        Sleep(300);
        Exec(other, "commit");
        sqlite3_close(other);
    });
    WaitForSingleObject(reading, INFINITE);
    OnLoginResult(MakeResult(kRequestLogin, kHttpOk, Block({"insert into opt(var,val) values('token','abc')"})).get(),
                  window_.get());
    otherCopy.join();
    CloseHandle(reading);
    EXPECT_NE(0, sqlite3_get_autocommit(db_));

    sqlite3* later = nullptr;
    ASSERT_EQ(SQLITE_OK, sqlite3_open_v2(path.c_str(), &later, SQLITE_OPEN_READWRITE, nullptr));
    sqlite3_busy_timeout(later, 1000);
    EXPECT_EQ("abc", nettest::QueryText(later, "select val from opt where var='token'"));
    EXPECT_EQ(SQLITE_OK, sqlite3_exec(later, "insert into news(id) values('later')", nullptr, nullptr, nullptr));
    sqlite3_close(later);
}

TEST_F(CatalogReplies, SqlRepliesRunOrBringTheWindowUp)
{
    OnSqlReply(MakeResult(kRequestSqlReply, kHttpOk, Block({"insert into opt(var,val) values('s','1')"})).get(),
               window_.get());
    EXPECT_EQ(1, QueryNumber(db_, "select count(*) from opt where var='s'"));
    // A list that lacks its last NUL runs nothing.
    OnSqlReply(MakeResult(kRequestSqlReply, kHttpOk, "insert into opt(var,val) values('t','1')").get(),
               window_.get());
    EXPECT_EQ(0, QueryNumber(db_, "select count(*) from opt where var='t'"));
    EXPECT_TRUE(MessageCodes().empty());
    EXPECT_FALSE(IsWindowVisible(window_.get()));

    OnSqlReply(MakeResult(kRequestSqlReply, kHttpOk, std::string(1, '\0')).get(), window_.get());
    EXPECT_EQ(std::vector<std::wstring>{L"101"}, MessageCodes());
    EXPECT_TRUE(IsWindowVisible(window_.get()));
}

class IconLibrary : public Replies {
protected:
    std::wstring path_;

    void SetUp() override
    {
        Replies::SetUp();
        const wchar_t* path = GetGamesDllPath();
        ASSERT_TRUE(path);
        path_ = path;
        // Any module will do as the library: take a copy of this program.
        wchar_t self[MAX_PATH] = {};
        GetModuleFileNameW(nullptr, self, MAX_PATH);
        ASSERT_TRUE(CopyFileW(self, path_.c_str(), FALSE));
    }

    void TearDown() override { DeleteFileW(path_.c_str()); }

    // The bytes of resource type/name in the neutral language; nullopt when
    // there is none.
    std::optional<std::string> ReadResource(const wchar_t* type, const wchar_t* name)
    {
        HMODULE module = LoadLibraryExW(path_.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        if (!module)
            return std::nullopt;
        std::optional<std::string> bytes;
        if (HRSRC found = FindResourceExW(module, type, name, MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL))) {
            HGLOBAL loaded = LoadResource(module, found);
            const char* data = static_cast<const char*>(LockResource(loaded));
            if (data)
                bytes = std::string(data, SizeofResource(module, found));
        }
        FreeLibrary(module);
        return bytes;
    }
};

TEST_F(IconLibrary, IconRepliesAreStoredUnderTheGameId)
{
    const std::string small = "\x89PNG small icon bytes";
    const std::string big = std::string("BIG\0ICON", 8);
    WriteGameIconResource(MakeResult(kRequestSmallIcon, kHttpOk, small, 310).get(), window_.get());
    WriteGameIconResource(MakeResult(kRequestBigIcon, kHttpOk, big, 4294967295u).get(), window_.get());

    EXPECT_EQ(small, ReadResource(L"SMALL", L"S310.PIC").value_or("-"));
    EXPECT_EQ(big, ReadResource(L"BIG", L"S4294967295.PIC").value_or("-"));
    EXPECT_FALSE(ReadResource(L"BIG", L"S310.PIC"));
    EXPECT_TRUE(nettest::RecordedCalls().empty());

    // A failed transfer writes nothing and keeps what is there.
    WriteGameIconResource(MakeResult(kRequestSmallIcon, kHttpReadFailed, "", 310).get(), window_.get());
    WriteGameIconResource(MakeResult(kRequestSmallIcon, kHttpOk, "", 311).get(), window_.get());
    EXPECT_EQ(small, ReadResource(L"SMALL", L"S310.PIC").value_or("-"));
    EXPECT_FALSE(ReadResource(L"SMALL", L"S311.PIC"));
}

TEST_F(CatalogReplies, NewsItemsAreShownOnceAndRecorded)
{
    const std::string item =
        R"({"version":"1","id":"n-1","title":"Title","description":"Text","image":"http://i/1.png","link":"http://l/1"})";
    StoreNewsFeed(MakeResult(kRequestNewsFeed, kHttpOk, item).get(), window_.get());
    std::vector<nettest::RecordedCall> shown = CallsNamed("ShowNewsBalloon");
    ASSERT_EQ(1u, shown.size());
    EXPECT_EQ((std::vector<std::wstring>{L"Title", L"Text", L"http://i/1.png", L"http://l/1"}), shown[0].arguments);
    EXPECT_EQ(1, QueryNumber(db_, "select count(*) from news where id='n-1'"));

    // A repeat, another version, or no id: nothing.
    StoreNewsFeed(MakeResult(kRequestNewsFeed, kHttpOk, item).get(), window_.get());
    StoreNewsFeed(MakeResult(kRequestNewsFeed, kHttpOk,
                             R"({"version":"2","id":"n-2","title":"T","description":"D","image":"i","link":"l"})")
                      .get(),
                  window_.get());
    StoreNewsFeed(MakeResult(kRequestNewsFeed, kHttpOk, R"({"version":"1","title":"T"})").get(), window_.get());
    EXPECT_EQ(1u, CallsNamed("ShowNewsBalloon").size());
    EXPECT_EQ(1, QueryNumber(db_, "select count(*) from news"));

    // Incomplete but new: recorded, not shown.
    StoreNewsFeed(MakeResult(kRequestNewsFeed, kHttpOk,
                             R"({"version":"1","id":"n-3","title":"T","description":"D","link":"l"})")
                      .get(),
                  window_.get());
    EXPECT_EQ(1u, CallsNamed("ShowNewsBalloon").size());
    EXPECT_EQ(1, QueryNumber(db_, "select count(*) from news where id='n-3'"));
    StoreNewsFeed(MakeResult(kRequestNewsFeed, kHttpNoMemory, "").get(), window_.get());
    EXPECT_EQ(2, QueryNumber(db_, "select count(*) from news"));
}

TEST_F(Replies, AdvertisementNeedsAClickAddressAndAnImageObject)
{
    StoreAdFeed(MakeResult(kRequestAdFeed, kHttpOk,
                           R"({"click_url":"http://click/\u00e4","img":{"src":"http://img/a.png","w":1}})")
                    .get(),
                window_.get());
    std::vector<nettest::RecordedCall> updates = CallsNamed("inAdUpdate");
    ASSERT_EQ(1u, updates.size());
    EXPECT_EQ((std::vector<std::wstring>{L"http://click/\u00E4", L"http://img/a.png"}), updates[0].arguments);

    for (const char* reply : {
             R"({"click_url":"http://c","img":"http://img/a.png"})",
             R"({"click_url":"http://c","img":{"src":7}})",
             R"({"click_url":5,"img":{"src":"http://i"}})",
             R"({"img":{"src":"http://i"}})",
             R"({"click_url":"http://c","img":{"src":"http://i")",
             "<html>not json</html>",
         }) {
        SCOPED_TRACE(reply);
        StoreAdFeed(MakeResult(kRequestAdFeed, kHttpOk, reply).get(), window_.get());
    }
    StoreAdFeed(MakeResult(kRequestAdFeed, kHttpReadFailed, "").get(), window_.get());
    EXPECT_EQ(1u, CallsNamed("inAdUpdate").size());
}

}  // namespace
