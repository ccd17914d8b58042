#include "driver.h"

#include <shlobj.h>

#include <cstdio>

namespace zeltest {

std::wstring WindowsPathFromUnix(const char* unixPath)
{
    std::wstring path = L"Z:";
    for (const char* p = unixPath; *p; ++p)
        path.push_back(*p == '/' ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(*p)));
    return path;
}

std::wstring BuiltProgramPath()
{
    return WindowsPathFromUnix(ZEL_PROGRAM_UNIX_PATH);
}

std::wstring TestExeDir()
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring dir = path;
    return dir.substr(0, dir.find_last_of(L'\\'));
}

namespace {

void DeleteTree(const std::wstring& dir)
{
    WIN32_FIND_DATAW entry;
    HANDLE find = FindFirstFileW((dir + L"\\*").c_str(), &entry);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = entry.cFileName;
            if (name == L"." || name == L"..")
                continue;
            std::wstring child = dir + L"\\" + name;
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                DeleteTree(child);
            } else {
                SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(child.c_str());
            }
        } while (FindNextFileW(find, &entry));
        FindClose(find);
    }
    RemoveDirectoryW(dir.c_str());
}

}  // namespace

TempDir::TempDir(const wchar_t* label)
{
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    static unsigned counter = 0;
    for (;;) {
        wchar_t name[MAX_PATH];
        swprintf(name, MAX_PATH, L"%ls%ls-%lu-%u", temp, label, GetCurrentProcessId(), ++counter);
        if (CreateDirectoryW(name, nullptr)) {
            path_ = name;
            break;
        }
    }
}

TempDir::~TempDir()
{
    DeleteTree(path_);
}

ZelProcess::~ZelProcess()
{
    if (process_.hProcess) {
        if (Running())
            Kill();
        CloseHandle(process_.hProcess);
        CloseHandle(process_.hThread);
    }
}

bool ZelProcess::Start(const std::wstring& dir, const std::wstring& exeName, const std::wstring& switches)
{
    exePath_ = dir + L"\\" + exeName;
    if (GetFileAttributesW(exePath_.c_str()) == INVALID_FILE_ATTRIBUTES &&
        !CopyFileW(BuiltProgramPath().c_str(), exePath_.c_str(), TRUE))
        return false;
    std::wstring commandLine = L"\"" + exePath_ + L"\"";
    if (!switches.empty())
        commandLine += L" " + switches;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    return CreateProcessW(exePath_.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                          dir.c_str(), &startup, &process_) != 0;
}

std::optional<DWORD> ZelProcess::Wait(DWORD timeoutMs)
{
    if (!process_.hProcess || WaitForSingleObject(process_.hProcess, timeoutMs) != WAIT_OBJECT_0)
        return std::nullopt;
    DWORD code = 0;
    GetExitCodeProcess(process_.hProcess, &code);
    return code;
}

bool ZelProcess::Running() const
{
    return process_.hProcess && WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT;
}

void ZelProcess::Kill()
{
    if (process_.hProcess) {
        TerminateProcess(process_.hProcess, 0xDEAD);
        WaitForSingleObject(process_.hProcess, 5000);
    }
}

std::optional<DWORD> RunZel(const std::wstring& dir, const std::wstring& exeName, const std::wstring& switches,
                            DWORD timeoutMs)
{
    ZelProcess process;
    if (!process.Start(dir, exeName, switches))
        return std::nullopt;
    std::optional<DWORD> code = process.Wait(timeoutMs);
    if (!code)
        process.Kill();
    return code;
}

namespace {

struct WindowSearch {
    const wchar_t* className;
    DWORD processId;
    HWND found;
};

BOOL CALLBACK FindWindowOfProcess(HWND window, LPARAM param)
{
    auto* search = reinterpret_cast<WindowSearch*>(param);
    wchar_t name[256] = {};
    GetClassNameW(window, name, 256);
    if (wcscmp(name, search->className) != 0)
        return TRUE;
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (search->processId && owner != search->processId)
        return TRUE;
    search->found = window;
    return FALSE;
}

HWND FindWindowNow(const wchar_t* className, DWORD processId)
{
    WindowSearch search = {className, processId, nullptr};
    EnumWindows(FindWindowOfProcess, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

}  // namespace

HWND WaitForWindow(const wchar_t* className, DWORD timeoutMs, DWORD processId)
{
    DWORD start = GetTickCount();
    for (;;) {
        if (HWND window = FindWindowNow(className, processId))
            return window;
        if (GetTickCount() - start >= timeoutMs)
            return nullptr;
        Sleep(50);
    }
}

bool WaitForNoWindow(const wchar_t* className, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    while (FindWindowNow(className, 0)) {
        if (GetTickCount() - start >= timeoutMs)
            return false;
        Sleep(50);
    }
    return true;
}

bool PostRegisteredMessage(HWND window, const wchar_t* name, WPARAM wParam, LPARAM lParam)
{
    UINT message = RegisterWindowMessageW(name);
    return message && PostMessageW(window, message, wParam, lParam);
}

bool BroadcastRegisteredMessage(const wchar_t* name, WPARAM wParam, LPARAM lParam)
{
    UINT message = RegisterWindowMessageW(name);
    return message && PostMessageW(HWND_BROADCAST, message, wParam, lParam);
}

namespace {

// A message box keeps its text in a static control with id 0xFFFF.
constexpr int kMessageBoxTextId = 0xFFFF;

std::wstring WindowText(HWND window)
{
    int length = GetWindowTextLengthW(window);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    GetWindowTextW(window, text.data(), length + 1);
    text.resize(static_cast<size_t>(length));
    return text;
}

}  // namespace

std::optional<MessageBoxInfo> WaitForMessageBox(DWORD processId, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    HWND box = WaitForWindow(L"#32770", timeoutMs, processId);
    if (!box)
        return std::nullopt;
    // The box exists a moment before its text is set: wait for the text.
    MessageBoxInfo info;
    info.window = box;
    for (;;) {
        info.caption = WindowText(box);
        if (HWND text = GetDlgItem(box, kMessageBoxTextId))
            info.text = WindowText(text);
        if (!info.text.empty() || GetTickCount() - start >= timeoutMs)
            return info;
        Sleep(50);
    }
}

void DismissMessageBox(HWND box)
{
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
}

std::wstring AppDataDir()
{
    wchar_t path[MAX_PATH] = {};
    SHGetSpecialFolderPathW(nullptr, path, CSIDL_APPDATA, TRUE);
    return path;
}

bool FileExists(const std::wstring& path)
{
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryExists(const std::wstring& path)
{
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string ReadFileBytes(const std::wstring& path)
{
    std::string bytes;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return bytes;
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof(buffer), &got, nullptr) && got > 0)
        bytes.append(buffer, got);
    CloseHandle(file);
    return bytes;
}

bool WriteFileBytes(const std::wstring& path, const std::string& bytes)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    bool ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
              written == bytes.size();
    CloseHandle(file);
    return ok;
}

void SetProductKey(const wchar_t* product, const std::wstring& installDir, DWORD version)
{
    std::wstring path = std::wstring(L"Software\\") + product;
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return;
    RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(installDir.c_str()),
                   static_cast<DWORD>((installDir.size() + 1) * 2));
    RegSetValueExW(key, L"ver", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&version), sizeof(version));
    RegCloseKey(key);
}

void DeleteProductKey(const wchar_t* product)
{
    std::wstring path = std::wstring(L"Software\\") + product;
    RegDeleteTreeW(HKEY_CURRENT_USER, path.c_str());
}

}  // namespace zeltest
