#pragma once

// Helpers for tests that work on real SQLite files: a scratch folder per
// test and a connection that runs setup SQL and reads values back.

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace testing_catalog {

inline std::string Utf8(const std::wstring& text)
{
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(bytes > 0 ? bytes : 1), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, out.data(), bytes, nullptr, nullptr);
    out.resize(out.size() - 1);
    return out;
}

inline std::wstring Wide(const std::string& text)
{
    int chars = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
    std::wstring out(static_cast<size_t>(chars > 0 ? chars : 1), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, out.data(), chars);
    out.resize(out.size() - 1);
    return out;
}

inline bool FileExists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

inline void RemoveTree(const std::wstring& dir)
{
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((dir + L"\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = data.cFileName;
            if (name == L"." || name == L"..")
                continue;
            std::wstring path = dir + L"\\" + name;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(path);
            } else {
                SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(path.c_str());
            }
        } while (FindNextFileW(find, &data));
        FindClose(find);
    }
    RemoveDirectoryW(dir.c_str());
}

// A fresh folder under the temporary directory, removed at the end.
class ScratchDir {
public:
    explicit ScratchDir(const std::wstring& leaf = L"")
    {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        static unsigned counter = 0;
        root_ = std::wstring(temp) + L"cattest" + std::to_wstring(GetCurrentProcessId()) + L"_" +
                std::to_wstring(++counter);
        CreateDirectoryW(root_.c_str(), nullptr);
        path_ = root_;
        if (!leaf.empty()) {
            path_ += L"\\" + leaf;
            CreateDirectoryW(path_.c_str(), nullptr);
        }
    }
    ~ScratchDir() { RemoveTree(root_); }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::wstring& Path() const { return path_; }
    std::wstring File(const std::wstring& name) const { return path_ + L"\\" + name; }

private:
    std::wstring path_;
    std::wstring root_;
};

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
