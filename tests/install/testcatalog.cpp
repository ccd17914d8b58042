#include "testcatalog.h"

#include "files.h"

#include <gtest/gtest.h>

#include <ctime>

namespace testcatalog {

namespace {

void NullFunction(sqlite3_context* context, int, sqlite3_value**)
{
    sqlite3_result_null(context);
}

void TimeFunction(sqlite3_context* context, int, sqlite3_value**)
{
    sqlite3_result_int64(context, static_cast<sqlite3_int64>(time(nullptr)));
}

}  // namespace

CatalogFile::CatalogFile(const std::wstring& path, Open open)
{
    int flags = SQLITE_OPEN_READWRITE | (open == Open::CreateIfMissing ? SQLITE_OPEN_CREATE : 0);
    sqlite3_open_v2(zeltest::Utf8(path).c_str(), &db_, flags, nullptr);
    sqlite3_busy_timeout(db_, 10000);
    for (const char* name : {"trgopt", "trggms", "allcat"})
        sqlite3_create_function(db_, name, -1, SQLITE_UTF8, nullptr, NullFunction, nullptr, nullptr);
    sqlite3_create_function(db_, "tme", 0, SQLITE_UTF8, nullptr, TimeFunction, nullptr, nullptr);
}

CatalogFile::~CatalogFile()
{
    sqlite3_close(db_);
}

bool CatalogFile::HasTable(const char* name)
{
    return Query("select count(*) from sqlite_master where type='table' and name='" + std::string(name) + "'") ==
           "1";
}

void CatalogFile::Exec(const std::string& sql)
{
    char* error = nullptr;
    EXPECT_EQ(SQLITE_OK, sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &error))
        << sql << ": " << (error ? error : "");
    sqlite3_free(error);
}

void CatalogFile::ExecWithText(const std::string& sql, const std::wstring& text)
{
    sqlite3_stmt* stmt = nullptr;
    ASSERT_EQ(SQLITE_OK, sqlite3_prepare_v2(db_, sql.c_str(), -1, &stmt, nullptr)) << sql;
    sqlite3_bind_text16(stmt, 1, text.c_str(), -1, SQLITE_TRANSIENT);
    EXPECT_EQ(SQLITE_DONE, sqlite3_step(stmt)) << sql;
    sqlite3_finalize(stmt);
}

void CatalogFile::ExecWithBlob(const std::string& sql, const std::string& blob)
{
    sqlite3_stmt* stmt = nullptr;
    ASSERT_EQ(SQLITE_OK, sqlite3_prepare_v2(db_, sql.c_str(), -1, &stmt, nullptr)) << sql;
    sqlite3_bind_blob(stmt, 1, blob.data(), static_cast<int>(blob.size()), SQLITE_TRANSIENT);
    EXPECT_EQ(SQLITE_DONE, sqlite3_step(stmt)) << sql;
    sqlite3_finalize(stmt);
}

std::string CatalogFile::Query(const std::string& sql)
{
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK)
        return "<error>";
    std::string value = "<no row>";
    if (sqlite3_step(stmt) == SQLITE_ROW) {
        const unsigned char* text = sqlite3_column_text(stmt, 0);
        value = text ? reinterpret_cast<const char*>(text) : "NULL";
    }
    sqlite3_finalize(stmt);
    return value;
}

std::string CatalogFile::Column(uint32_t id, const std::string& column)
{
    return Query("select " + column + " from games where id=" + std::to_string(id));
}

std::string LaunchRecord(const std::wstring& gameFolder)
{
    return zeltest::Utf8(gameFolder + L"\\game") + "\n\"" + zeltest::Utf8(gameFolder + L"\\game\\qmgame.exe") +
           "\"\n";
}

}  // namespace testcatalog
