// Stands in for the program when it is started again: writes the command
// line it was given to cmdline.txt beside itself and ends.
#include <windows.h>

#include <string>

int wmain()
{
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring path = self;
    path = path.substr(0, path.find_last_of(L'\\')) + L"\\cmdline.txt";
    const wchar_t* commandLine = GetCommandLineW();
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 1;
    DWORD written = 0;
    WriteFile(file, commandLine, static_cast<DWORD>(lstrlenW(commandLine) * sizeof(wchar_t)), &written, nullptr);
    CloseHandle(file);
    return 0;
}
