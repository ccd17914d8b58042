#include "install/launch.h"

#include "catalog/catalog.h"
#include "catalog/games.h"
#include "catalog/storage.h"

#include <windows.h>

#include <cstdio>
#include <optional>
#include <string>

namespace {

constexpr size_t kPathChars = 1024;
constexpr int kInstalledType = 1;

struct LaunchRecord {
    uint32_t gameId = 0;
    std::optional<std::wstring> installPath;
    std::optional<std::wstring> executablePath;
    int32_t type = 5;
};

class ProcessHandles {
public:
    explicit ProcessHandles(const PROCESS_INFORMATION& info) : info_(info) {}
    ~ProcessHandles()
    {
        if (info_.hThread)
            CloseHandle(info_.hThread);
        if (info_.hProcess)
            CloseHandle(info_.hProcess);
    }
    ProcessHandles(const ProcessHandles&) = delete;
    ProcessHandles& operator=(const ProcessHandles&) = delete;
    HANDLE Process() const { return info_.hProcess; }

private:
    PROCESS_INFORMATION info_;
};

bool ReadLaunchRecord(sqlite3* catalog, LaunchRecord* record)
{
    QueryCursor cursor(catalog);
    Statement* row = cursor.SelectGameById(record->gameId);
    if (!row)
        return false;
    if (const wchar_t* path = row->ColumnText16(GameColumn::Path))
        record->installPath = path;
    if (const wchar_t* exec = row->ColumnText16(GameColumn::Exec))
        record->executablePath = exec;
    record->type = row->ColumnInt(GameColumn::Type);
    return true;
}

void CountLaunch(sqlite3* catalog, uint32_t gameId)
{
    char sql[96];
    snprintf(sql, sizeof(sql), "update games set runs=ifnull(runs+1,1) where id=%u", gameId);
    ExecOneWithRetry(sql, catalog);
}

void WaitForGameProcess(HANDLE process)
{
    if (process)
        WaitForSingleObject(process, INFINITE);
}

bool StartGameProcess(sqlite3* catalog, LaunchRecord* record)
{
    if (!record->installPath) {
        record->executablePath.reset();
        return false;
    }
    // No separator is added or removed: a path ending in a backslash gives
    // a doubled one, which Windows accepts.
    record->executablePath = *record->installPath + L"\\game\\qmgame.exe";
    std::wstring workingDir = *record->installPath + L"\\game";
    if (workingDir.size() >= kPathChars)
        return false;
    std::wstring commandLine = L"\"" + *record->executablePath + L"\"";
    if (commandLine.size() >= kPathChars)
        return false;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    if (!CreateProcessW(record->executablePath->c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        workingDir.c_str(), &startup, &info))
        return false;
    ProcessHandles handles(info);
    CountLaunch(catalog, record->gameId);
    WaitForGameProcess(handles.Process());
    return true;
}

}  // namespace

bool LaunchGameIn(sqlite3* catalog, uint32_t gameId)
{
    LaunchRecord record;
    record.gameId = gameId;
    if (!ReadLaunchRecord(catalog, &record))
        return false;
    if (record.type != kInstalledType)
        return false;
    return StartGameProcess(catalog, &record);
}

bool LaunchGame(uint32_t gameId)
{
    return LaunchGameIn(GetCatalogDb(), gameId);
}
