#pragma once

// Helpers for tests that work on real SQLite files: a connection that runs
// setup SQL and reads values back, and the shared file helpers by their
// short names.

#include "files.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace testing_catalog {

using zeltest::PathExists;
using zeltest::TempDir;
using zeltest::Utf8;
using zeltest::Wide;

// A connection of the test's own, used to build databases and to read
// what the code under test wrote.
class TestDb {
public:
    TestDb() = default;
    explicit TestDb(const std::wstring& path) { Open(path); }
    ~TestDb() { Close(); }
    TestDb(const TestDb&) = delete;
    TestDb& operator=(const TestDb&) = delete;

    void Open(const std::wstring& path)
    {
        Close();
        ASSERT_EQ(SQLITE_OK, sqlite3_open_v2(Utf8(path).c_str(), &db_,
                                             SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr));
        sqlite3_busy_timeout(db_, 10000);
    }
    void Close()
    {
        if (db_)
            sqlite3_close_v2(db_);
        db_ = nullptr;
    }
    sqlite3* get() const { return db_; }

    void Exec(const std::string& sql)
    {
        char* error = nullptr;
        int rc = sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &error);
        EXPECT_EQ(SQLITE_OK, rc) << sql << ": " << (error ? error : "");
        sqlite3_free(error);
    }
    int TryExec(const std::string& sql) { return sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr); }

    // First column of the first row as text; nullopt for no row or null.
    std::optional<std::string> Text(const std::string& sql)
    {
        sqlite3_stmt* stmt = nullptr;
        std::optional<std::string> result;
        if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &stmt, nullptr) == SQLITE_OK &&
            sqlite3_step(stmt) == SQLITE_ROW && sqlite3_column_type(stmt, 0) != SQLITE_NULL)
            result = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
        sqlite3_finalize(stmt);
        return result;
    }
    int64_t Int(const std::string& sql)
    {
        sqlite3_stmt* stmt = nullptr;
        int64_t value = -999;
        if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &stmt, nullptr) == SQLITE_OK &&
            sqlite3_step(stmt) == SQLITE_ROW)
            value = sqlite3_column_int64(stmt, 0);
        sqlite3_finalize(stmt);
        return value;
    }
    // Every row of the first column, as text ("NULL" for null).
    std::vector<std::string> Column(const std::string& sql)
    {
        sqlite3_stmt* stmt = nullptr;
        std::vector<std::string> rows;
        if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &stmt, nullptr) == SQLITE_OK) {
            while (sqlite3_step(stmt) == SQLITE_ROW) {
                const unsigned char* text = sqlite3_column_text(stmt, 0);
                rows.emplace_back(text ? reinterpret_cast<const char*>(text) : "NULL");
            }
        }
        sqlite3_finalize(stmt);
        return rows;
    }
    // The bytes of a blob in the first column of the first row.
    std::vector<unsigned char> Blob(const std::string& sql)
    {
        sqlite3_stmt* stmt = nullptr;
        std::vector<unsigned char> bytes;
        if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &stmt, nullptr) == SQLITE_OK &&
            sqlite3_step(stmt) == SQLITE_ROW) {
            auto* data = static_cast<const unsigned char*>(sqlite3_column_blob(stmt, 0));
            bytes.assign(data, data + sqlite3_column_bytes(stmt, 0));
        }
        sqlite3_finalize(stmt);
        return bytes;
    }
    // Binds one blob at ?1 and runs the statement.
    void ExecWithBlob(const std::string& sql, const std::vector<unsigned char>& blob)
    {
        sqlite3_stmt* stmt = nullptr;
        ASSERT_EQ(SQLITE_OK, sqlite3_prepare_v2(db_, sql.c_str(), -1, &stmt, nullptr)) << sql;
        sqlite3_bind_blob(stmt, 1, blob.data(), static_cast<int>(blob.size()), SQLITE_TRANSIENT);
        EXPECT_EQ(SQLITE_DONE, sqlite3_step(stmt)) << sql;
        sqlite3_finalize(stmt);
    }
    // The column names of a table, in order.
    std::vector<std::string> Columns(const std::string& table)
    {
        return Column("select name from pragma_table_info('" + table + "') order by cid");
    }

private:
    sqlite3* db_ = nullptr;
};

}  // namespace testing_catalog
