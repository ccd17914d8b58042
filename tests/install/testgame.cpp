// Stands in for a game's executable: records where and how it was started
// in "launched.txt" beside itself, then stays a while when "stay.txt"
// beside it names a number of milliseconds.

#include <windows.h>

#include <string>

namespace {

std::wstring ExeFolder()
{
    wchar_t path[MAX_PATH + 1] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH + 1);
    std::wstring folder = path;
    return folder.substr(0, folder.find_last_of(L'\\'));
}

std::string Utf8(const wchar_t* text)
{
    int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), size, nullptr, nullptr);
    out.resize(out.size() - 1);
    return out;
}

}  // namespace

int wmain()
{
    const std::wstring folder = ExeFolder();
    wchar_t cwd[MAX_PATH + 1] = {};
    GetCurrentDirectoryW(MAX_PATH + 1, cwd);
    std::string record = Utf8(cwd) + "\n" + Utf8(GetCommandLineW()) + "\n";
    HANDLE file = CreateFileW((folder + L"\\launched.txt").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0,
                              nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        WriteFile(file, record.data(), static_cast<DWORD>(record.size()), &written, nullptr);
        CloseHandle(file);
    }
    HANDLE stay = CreateFileW((folder + L"\\stay.txt").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (stay != INVALID_HANDLE_VALUE) {
        char text[16] = {};
        DWORD got = 0;
        ReadFile(stay, text, sizeof(text) - 1, &got, nullptr);
        CloseHandle(stay);
        Sleep(static_cast<DWORD>(atoi(text)));
    }
    return 0;
}
