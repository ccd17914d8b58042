#include "catalog/options.h"

#include "catalog/catalog.h"

OptionValue::OptionValue(sqlite3* db, const wchar_t* name)
    : db_(db), name_(name ? name : L""), hasName_(name != nullptr)
{
}

bool OptionValue::PrepareRead()
{
    return hasName_ && stmt_.PrepareWithRetry(db_, "select val from opt where var=?1") &&
           stmt_.BindText16(1, name_.c_str());
}

const wchar_t* OptionValue::GetText()
{
    if (!PrepareRead() || !stmt_.StepRow())
        return nullptr;
    return stmt_.ColumnText16(0);
}

int OptionValue::GetInt()
{
    if (!PrepareRead() || !stmt_.StepRow())
        return 0;
    return stmt_.ColumnInt(0);
}

bool OptionValue::SetText(const wchar_t* value)
{
    if (!hasName_ || !value)
        return false;
    return stmt_.PrepareWithRetry(db_, "insert or replace into opt(var, val) values(?, ?)") &&
           stmt_.BindText16(1, name_.c_str()) && stmt_.BindText16(2, value) && stmt_.StepDone();
}

bool OptionValue::SetTextUtf8(const char* value)
{
    if (!hasName_ || !value)
        return false;
    return stmt_.PrepareWithRetry(db_, "insert or replace into opt(var, val) values(?, ?)") &&
           stmt_.BindText16(1, name_.c_str()) && stmt_.BindText(2, value) && stmt_.StepDone();
}

bool SetOptionUtf8(sqlite3* db, const char* name, const char* value)
{
    if (!name || !value)
        return false;
    Statement stmt;
    return stmt.PrepareWithRetry(db, "insert or replace into opt(var,val) values(?1, ?2)") &&
           stmt.BindText(1, name) && stmt.BindText(2, value) && stmt.StepDone();
}

int GetOptionInt(const wchar_t* name)
{
    return OptionValue(GetCatalogDb(), name).GetInt();
}

std::wstring GetOptionText(const wchar_t* name)
{
    OptionValue option(GetCatalogDb(), name);
    const wchar_t* text = option.GetText();
    return text ? text : L"";
}

bool SetOption(const wchar_t* name, const wchar_t* value)
{
    return OptionValue(GetCatalogDb(), name).SetText(value);
}
