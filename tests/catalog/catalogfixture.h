#pragma once

// The process-wide catalog of a test executable: %APPDATA% points into a
// scratch folder whose name holds an apostrophe (a user called O'Brien),
// and each test starts from a catalog file of its own making.

#include "catalog/catalog.h"
#include "hookrecorder.h"
#include "testdb.h"

#include <gtest/gtest.h>

namespace testing_catalog {

inline const std::wstring& CatalogFolder()
{
    static TempDir* dir = new TempDir(L"O'Brien");
    return dir->path();
}

// The attributes the catalog file had right after the path was set.
inline DWORD& CatalogFileAttributesWhenMade()
{
    static DWORD attributes = INVALID_FILE_ATTRIBUTES;
    return attributes;
}

inline const std::wstring& CatalogFile()
{
    static const std::wstring file = [] {
        SetEnvironmentVariableW(L"APPDATA", CatalogFolder().c_str());
        std::wstring path = CatalogFolder() + L"\\base.db";
        if (SetCatalogDbPath(L"base.db"))
            CatalogFileAttributesWhenMade() = GetFileAttributesW(path.c_str());
        return path;
    }();
    return file;
}

class CatalogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ClearHooks();
        ASSERT_TRUE(CloseCatalogDb());
        file_ = CatalogFile();
        SetFileAttributesW(file_.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(file_.c_str());
        ASSERT_FALSE(PathExists(file_));
    }
    void TearDown() override
    {
        look_.Close();
        ClearHooks();
        CloseCatalogDb();
    }
    static void ClearHooks()
    {
        OptionRowHook = nullptr;
        GameRowHook = nullptr;
        GamePictureHook = nullptr;
        HookCalls().clear();
    }
    // Writes the catalog file with the test's own connection before the
    // program opens it.
    void Prepare(const std::string& sql)
    {
        TestDb db(file_);
        db.Exec(sql);
    }
    // Runs SQL on the program's catalog connection (the triggers and
    // custom functions live there).
    void CatalogExec(const std::string& sql)
    {
        sqlite3* db = GetCatalogDb();
        ASSERT_NE(nullptr, db);
        char* error = nullptr;
        EXPECT_EQ(SQLITE_OK, sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error))
            << sql << ": " << (error ? error : "");
        sqlite3_free(error);
    }
    // A connection of the test's own on the catalog file.
    TestDb& Look()
    {
        if (!look_.get())
            look_.Open(file_);
        return look_;
    }

    std::wstring file_;
    TestDb look_;
};

}  // namespace testing_catalog
