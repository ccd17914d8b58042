#pragma once

// A catalog file opened by the test itself, to prepare rows and read them
// back. The program's own SQL functions are stood in for, so that its
// triggers run here too.

#include <sqlite3.h>

#include <cstdint>
#include <string>

namespace testcatalog {

class CatalogFile {
public:
    enum class Open { Existing, CreateIfMissing };

    // Opening an existing file only, so that a test polling for the file
    // the program makes does not make it first.
    explicit CatalogFile(const std::wstring& path, Open open = Open::Existing);
    ~CatalogFile();
    CatalogFile(const CatalogFile&) = delete;
    CatalogFile& operator=(const CatalogFile&) = delete;
    sqlite3* get() const { return db_; }

    bool HasTable(const char* name);
    void Exec(const std::string& sql);
    // Runs sql with text bound to ?1 (as UTF-16) / blob bound to ?1.
    void ExecWithText(const std::string& sql, const std::wstring& text);
    void ExecWithBlob(const std::string& sql, const std::string& blob);
    // The first column of the first row as text: "NULL" for a null value,
    // "<no row>" and "<error>" when there is nothing to read.
    std::string Query(const std::string& sql);
    // One column of game id.
    std::string Column(uint32_t id, const std::string& column);

private:
    sqlite3* db_ = nullptr;
};

// What the stand-in game (testgame.cpp) writes into "launched.txt" when
// started as gameFolder\game\qmgame.exe in its own folder.
std::string LaunchRecord(const std::wstring& gameFolder);

}  // namespace testcatalog
