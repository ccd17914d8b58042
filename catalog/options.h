#pragma once

// The option store: name/value rows of table opt. Every write is an
// "insert or replace", so it fires the option trigger and reaches the page.

#include "catalog/storage.h"

#include <string>

class OptionValue {
public:
    OptionValue(sqlite3* db, const wchar_t* name);

    // The value, owned by this accessor until its next call; null when the
    // row is absent or the read fails.
    const wchar_t* GetText();
    // The value with SQLite's integer conversion; 0 when absent.
    int GetInt();
    bool SetText(const wchar_t* value);
    bool SetTextUtf8(const char* value);

private:
    bool PrepareRead();

    sqlite3* db_;
    std::wstring name_;
    bool hasName_;
    Statement stmt_;
};

bool SetOptionUtf8(sqlite3* db, const char* name, const char* value);

// Shortcuts on the catalog connection used across the program.
int GetOptionInt(const wchar_t* name);
std::wstring GetOptionText(const wchar_t* name);  // empty when absent
bool SetOption(const wchar_t* name, const wchar_t* value);
