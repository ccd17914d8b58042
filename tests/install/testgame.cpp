// Stands in for a game's executable: records where and how it was started
// in "launched.txt" beside itself, then stays a while when "stay.txt"
// beside it names a number of milliseconds.

#include "files.h"

#include <windows.h>

#include <cstdlib>
#include <optional>
#include <string>

namespace {

std::wstring ExeFolder()
{
    wchar_t path[MAX_PATH + 1] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH + 1);
    std::wstring folder = path;
    return folder.substr(0, folder.find_last_of(L'\\'));
}

}  // namespace

int wmain()
{
    const std::wstring folder = ExeFolder();
    wchar_t cwd[MAX_PATH + 1] = {};
    GetCurrentDirectoryW(MAX_PATH + 1, cwd);
    zeltest::WriteFileBytes(folder + L"\\launched.txt",
                            zeltest::Utf8(cwd) + "\n" + zeltest::Utf8(GetCommandLineW()) + "\n");
    if (std::optional<std::string> stay = zeltest::ReadFileIfPresent(folder + L"\\stay.txt"))
        Sleep(static_cast<DWORD>(atoi(stay->c_str())));
    return 0;
}
