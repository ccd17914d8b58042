// The storage layer on real database files: statement lists, the value
// readers, opening, finalizing, and the busy retry against a lock held by
// a second connection on another thread.

#include "catalog/storage.h"
#include "testdb.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

using namespace testing_catalog;

namespace {

class StorageTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        path_ = dir_.File(L"store.db");
        setup_.Open(path_);
        setup_.Exec("create table x(v text)");
        ASSERT_EQ(SQLITE_OK, OpenDatabase(Utf8(path_).c_str(), &db_));
    }
    void TearDown() override { sqlite3_close(db_); }

    TempDir dir_;
    std::wstring path_;
    TestDb setup_;
    sqlite3* db_ = nullptr;
};

// Holds a lock on the database from its own connection and thread for a
// while, then lets it go.
class LockHolder {
public:
    LockHolder(const std::wstring& path, const char* begin, int holdMs)
    {
        HANDLE locked = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        thread_ = std::thread([=, this] {
            TestDb db(path);
            db.Exec(begin);
            db.Exec("insert into x values('holder')");
            SetEvent(locked);
            Sleep(static_cast<DWORD>(holdMs));
            released_ = std::chrono::steady_clock::now();
            db.Exec("commit");
        });
        WaitForSingleObject(locked, INFINITE);
        CloseHandle(locked);
    }
    ~LockHolder() { Join(); }
    void Join()
    {
        if (thread_.joinable())
            thread_.join();
    }
    std::chrono::steady_clock::time_point Released()
    {
        Join();
        return released_;
    }

private:
    std::thread thread_;
    std::chrono::steady_clock::time_point released_;
};

long long MsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start)
        .count();
}

}  // namespace

TEST_F(StorageTest, StatementListRunsEveryStatementEvenAfterAFailure)
{
    const char block[] = "insert into x values('a') and nonsense\0insert into x values('b')\0\0"
                         "insert into x values('never')\0";
    ExecWithRetry(db_, block);
    EXPECT_EQ((std::vector<std::string>{"b"}), setup_.Column("select v from x"));

    setup_.Exec("delete from x");
    const char good[] = "insert into x values('a')\0insert into x values('b')\0\0";
    ExecWithRetry(db_, good);
    EXPECT_EQ((std::vector<std::string>{"a", "b"}), setup_.Column("select v from x order by rowid"));
}

TEST_F(StorageTest, StatementListWithLengthNeverReadsPastItsEnd)
{
    // The length ends inside the block: the last statement has no NUL of
    // its own, and what lies beyond the length is not run.
    const char block[] = "insert into x values('a')\0insert into x values('b')insert into x values('c')\0\0";
    size_t length = sizeof("insert into x values('a')") + strlen("insert into x values('b')");
    ExecWithRetry(db_, block, length);
    EXPECT_EQ((std::vector<std::string>{"a", "b"}), setup_.Column("select v from x order by rowid"));

    // Null database, null block and an empty first statement do nothing.
    ExecWithRetry(nullptr, "insert into x values('z')\0");
    ExecWithRetry(db_, nullptr);
    ExecWithRetry(db_, "\0insert into x values('z')\0");
    EXPECT_EQ(2, setup_.Int("select count(*) from x"));
}

TEST_F(StorageTest, ValueReaders)
{
    setup_.Exec("insert into x values(''); insert into x values('42abc')");
    EXPECT_FALSE(QueryString(db_, "select v from x where v=''"));
    EXPECT_FALSE(QueryString(db_, "select v from x where v='none'"));
    EXPECT_EQ("42abc", QueryString(db_, "select v from x where v like '42%'").value_or(""));
    EXPECT_EQ(42, QueryInt(db_, "select v from x where v like '42%'"));
    EXPECT_EQ(0, QueryInt(db_, "select v from x where v='none'"));
    EXPECT_EQ(0, QueryInt(nullptr, "select 7"));
    EXPECT_FALSE(QueryString(nullptr, "select 'a'"));
    EXPECT_EQ(1, ExecOneWithRetry(nullptr, db_));
    EXPECT_EQ(1, ExecOneWithRetry("select 1", nullptr));
}

TEST_F(StorageTest, StatementHolder)
{
    Statement stmt;
    EXPECT_FALSE(stmt.StepDone());
    EXPECT_EQ(nullptr, stmt.ColumnBlob(0).data);
    EXPECT_FALSE(stmt.PrepareWithRetry(nullptr, "select 1"));
    EXPECT_FALSE(stmt.PrepareWithRetry(db_, "select from nowhere"));
    EXPECT_TRUE(stmt.Empty());

    // Integers are unsigned 32-bit values widened: -1 is stored as 4294967295.
    ASSERT_TRUE(stmt.PrepareWithRetry(db_, "insert into x values(?1)"));
    EXPECT_FALSE(stmt.BindInt(0, 5));
    EXPECT_FALSE(stmt.BindText(1, nullptr));
    ASSERT_TRUE(stmt.BindInt(1, static_cast<uint32_t>(-1)));
    EXPECT_TRUE(stmt.StepDone());
    EXPECT_EQ(4294967295LL, setup_.Int("select v from x"));

    // Preparing again finalizes what the holder held; the row stays readable.
    ASSERT_TRUE(stmt.PrepareAndStep16(db_, L"select v, x'0102' from x"));
    EXPECT_EQ(std::wstring(L"4294967295"), stmt.ColumnText16(0));
    Statement::Blob blob = stmt.ColumnBlob(1);
    ASSERT_EQ(2, blob.size);
    EXPECT_EQ(2, static_cast<const unsigned char*>(blob.data)[1]);
}

TEST_F(StorageTest, FinalizeCountsAConstraintAsSuccess)
{
    setup_.Exec("create table u(k integer primary key)");
    setup_.Exec("insert into u values(1)");
    Statement stmt;
    ASSERT_TRUE(stmt.PrepareWithRetry(db_, "insert into u values(1)"));
    EXPECT_FALSE(stmt.StepDone());
    EXPECT_EQ(SQLITE_OK, stmt.Finalize());
    EXPECT_TRUE(stmt.Empty());
    EXPECT_EQ(SQLITE_OK, stmt.Finalize());
}

TEST(StorageOpen, CheckRefusesAFileThatIsNotADatabaseAndLeavesItClosed)
{
    TempDir dir;
    std::wstring path = dir.File(L"notes.txt");
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    std::string text(2048, 'n');
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);

    sqlite3* db = reinterpret_cast<sqlite3*>(1);
    EXPECT_FALSE(OpenAndCheckDatabase(Utf8(path).c_str(), &db));
    EXPECT_EQ(nullptr, db);
    // No handle is left open on it: the file can be deleted.
    EXPECT_TRUE(DeleteFileW(path.c_str()));
}

TEST(StorageOpen, MissingFiles)
{
    TempDir dir;
    std::wstring created = dir.File(L"new.db");
    sqlite3* db = nullptr;
    ASSERT_TRUE(OpenAndCheckDatabase(Utf8(created).c_str(), &db));
    sqlite3_close(db);
    EXPECT_TRUE(PathExists(created));

    // A database named from outside must exist already; none is made.
    std::wstring missing = dir.File(L"missing.db");
    EXPECT_FALSE(OpenAndCheckExistingDatabase(Utf8(missing).c_str(), &db));
    EXPECT_EQ(nullptr, db);
    EXPECT_FALSE(PathExists(missing));
    EXPECT_TRUE(OpenAndCheckExistingDatabase(Utf8(created).c_str(), &db));
    sqlite3_close(db);

    EXPECT_EQ(1, OpenDatabase(nullptr, &db));
    EXPECT_FALSE(OpenAndCheckDatabase(Utf8(dir.File(L"no\\such\\folder.db")).c_str(), &db));
}

// A connection that has not read the schema yet cannot prepare while
// another connection holds the exclusive lock: the prepare waits in 50 ms
// steps and succeeds once the lock goes.
TEST_F(StorageTest, PrepareWaitsForAnExclusiveLock)
{
    sqlite3* fresh = nullptr;
    ASSERT_EQ(SQLITE_OK, OpenDatabase(Utf8(path_).c_str(), &fresh));
    auto start = std::chrono::steady_clock::now();
    LockHolder holder(path_, "begin exclusive", 300);
    Statement stmt;
    EXPECT_TRUE(stmt.PrepareWithRetry(fresh, "select count(*) from x"));
    EXPECT_GE(MsSince(start), 250);
    EXPECT_TRUE(stmt.StepRow());
    EXPECT_EQ(1, stmt.ColumnInt(0));
    stmt.Finalize();
    sqlite3_close(fresh);
}

TEST_F(StorageTest, ExecAndStepWaitForAWriteLock)
{
    {
        auto start = std::chrono::steady_clock::now();
        LockHolder holder(path_, "begin immediate", 300);
        EXPECT_EQ(SQLITE_OK, ExecOneWithRetry("insert into x values('mine')", db_));
        EXPECT_GE(MsSince(start), 250);
        EXPECT_LE(holder.Released(), std::chrono::steady_clock::now());
    }
    {
        auto start = std::chrono::steady_clock::now();
        LockHolder holder(path_, "begin immediate", 300);
        Statement stmt;
        ASSERT_TRUE(stmt.PrepareWithRetry(db_, "insert into x values('stepped')"));
        EXPECT_TRUE(stmt.StepDone());
        EXPECT_GE(MsSince(start), 250);
    }
    EXPECT_EQ((std::vector<std::string>{"holder", "mine", "holder", "stepped"}),
              setup_.Column("select v from x order by rowid"));
}

TEST_F(StorageTest, ValueReadersWaitForAnExclusiveLock)
{
    setup_.Exec("insert into x values('7')");
    ASSERT_EQ(7, QueryInt(db_, "select v from x"));  // the schema is read now
    auto start = std::chrono::steady_clock::now();
    {
        LockHolder holder(path_, "begin exclusive", 300);
        EXPECT_EQ(2, QueryInt(db_, "select count(*) from x"));
        EXPECT_GE(MsSince(start), 250);
    }
    {
        LockHolder holder(path_, "begin exclusive", 200);
        EXPECT_EQ("3", QueryString(db_, "select count(*) from x").value_or(""));
    }
    // So does every step: a busy catalog is not one without rows, and an
    // error is told from the end of the rows.
    {
        LockHolder holder(path_, "begin exclusive", 200);
        QueryCursor cursor(db_);
        EXPECT_NE(nullptr, cursor.Select(L"select v from x"));
        EXPECT_FALSE(cursor.Failed());
        EXPECT_EQ(nullptr, cursor.Select(L"select v from x where v='none'"));
        EXPECT_FALSE(cursor.Failed());
        EXPECT_EQ(nullptr, cursor.Select(L"select abs(-9223372036854775807-1)"));
        EXPECT_TRUE(cursor.Failed());
    }
    // The probe of an open waits as well: a locked file is not a broken one.
    {
        LockHolder holder(path_, "begin exclusive", 200);
        sqlite3* other = nullptr;
        EXPECT_TRUE(OpenAndCheckDatabase(Utf8(path_).c_str(), &other));
        sqlite3_close(other);
    }
}
