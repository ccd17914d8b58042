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
    // Under a loaded Wine a start very rarely fails at once; say why, and
    // try again before a test counts the program as not started.
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (CreateProcessW(exePath_.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, dir.c_str(),
                           &startup, &process_))
            return true;
        fprintf(stderr, "zel.exe did not start (error %lu)\n", static_cast<unsigned long>(GetLastError()));
        Sleep(200);
    }
    return false;
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

WindowThread::WindowThread(const wchar_t* className, WNDPROC proc) : className_(className)
{
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = proc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = className;
    registered_ = RegisterClassW(&windowClass) != 0;
    if (!registered_)
        return;
    ready_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    thread_ = CreateThread(nullptr, 0, Run, this, 0, &threadId_);
    started_ = thread_ && WaitForSingleObject(ready_, 5000) == WAIT_OBJECT_0 && FindWindowW(className, nullptr);
}

WindowThread::~WindowThread()
{
    if (thread_) {
        // A test that failed early may leave the window up.
        if (WaitForSingleObject(thread_, 0) == WAIT_TIMEOUT) {
            PostThreadMessageW(threadId_, WM_QUIT, 0, 0);
            WaitForSingleObject(thread_, 5000);
        }
        CloseHandle(thread_);
    }
    if (ready_)
        CloseHandle(ready_);
    if (registered_)
        UnregisterClassW(className_.c_str(), GetModuleHandleW(nullptr));
}

bool WindowThread::WaitForEnd(DWORD timeoutMs)
{
    return thread_ && WaitForSingleObject(thread_, timeoutMs) == WAIT_OBJECT_0;
}

DWORD WINAPI WindowThread::Run(void* self)
{
    auto* owner = static_cast<WindowThread*>(self);
    CreateWindowW(owner->className_.c_str(), L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                  GetModuleHandleW(nullptr), nullptr);
    SetEvent(owner->ready_);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0)
        DispatchMessageW(&message);
    return 0;
}

std::wstring AppDataDir()
{
    wchar_t path[MAX_PATH] = {};
    SHGetSpecialFolderPathW(nullptr, path, CSIDL_APPDATA, TRUE);
    return path;
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
