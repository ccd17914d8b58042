#pragma once

// The Win32 test driver for end-to-end tests: runs the real zel.exe under a
// chosen file name (the brand follows the file name) and command line,
// reads its full exit code, finds its windows, sends it registered
// messages, and reads and dismisses its message boxes.

#include "files.h"

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zeltest {

// A Windows path for a path of the Linux side (Wine maps drive Z: to /).
std::wstring WindowsPathFromUnix(const char* unixPath);
// The zel.exe the build made.
std::wstring BuiltProgramPath();
// The folder of the running test executable.
std::wstring TestExeDir();

// One run of the program. The program file is copied into a folder of its
// own under exeName, so the brand follows the name.
class ZelProcess {
public:
    ZelProcess() = default;
    ~ZelProcess();
    ZelProcess(const ZelProcess&) = delete;
    ZelProcess& operator=(const ZelProcess&) = delete;

    // Copies the program to dir\exeName (once) and starts it with the given
    // switches after the quoted program path.
    bool Start(const std::wstring& dir, const std::wstring& exeName, const std::wstring& switches);
    // Waits for the end; the full exit code, or nullopt on time-out.
    std::optional<DWORD> Wait(DWORD timeoutMs = 30000);
    bool Running() const;
    void Kill();
    DWORD Id() const { return process_.dwProcessId; }
    HANDLE Handle() const { return process_.hProcess; }
    const std::wstring& ExePath() const { return exePath_; }

private:
    PROCESS_INFORMATION process_ = {};
    std::wstring exePath_;
};

// Starts the program and waits for its end: the full exit code, or nullopt
// when it did not end in time (it is then killed).
std::optional<DWORD> RunZel(const std::wstring& dir, const std::wstring& exeName, const std::wstring& switches,
                            DWORD timeoutMs = 30000);

// The first top-level window of this class (of any process, or of the given
// process when processId is not 0), polled until the time-out.
HWND WaitForWindow(const wchar_t* className, DWORD timeoutMs, DWORD processId = 0);
bool WaitForNoWindow(const wchar_t* className, DWORD timeoutMs);

bool PostRegisteredMessage(HWND window, const wchar_t* name, WPARAM wParam, LPARAM lParam);
bool BroadcastRegisteredMessage(const wchar_t* name, WPARAM wParam, LPARAM lParam);

// A message box of the process: its caption and text.
struct MessageBoxInfo {
    HWND window = nullptr;
    std::wstring caption;
    std::wstring text;
};
std::optional<MessageBoxInfo> WaitForMessageBox(DWORD processId, DWORD timeoutMs);
// Presses OK (or closes) the box.
void DismissMessageBox(HWND box);

// A top-level window of className with proc, on a thread of its own that
// pumps its messages: a stand-in for another program's window. The thread
// ends when proc posts WM_QUIT (on WM_DESTROY, say); the class is
// unregistered when the object goes.
class WindowThread {
public:
    WindowThread(const wchar_t* className, WNDPROC proc);
    ~WindowThread();
    WindowThread(const WindowThread&) = delete;
    WindowThread& operator=(const WindowThread&) = delete;
    // The class was registered here (not left over) and the window made.
    bool Started() const { return started_; }
    // Waits for the thread to end; false on time-out.
    bool WaitForEnd(DWORD timeoutMs);

private:
    static DWORD WINAPI Run(void* self);
    std::wstring className_;
    HANDLE ready_ = nullptr;
    HANDLE thread_ = nullptr;
    DWORD threadId_ = 0;
    bool registered_ = false;
    bool started_ = false;
};

// %APPDATA% of the test prefix's user.
std::wstring AppDataDir();

// HKCU\Software\<product>: the install directory (default value) and "ver".
void SetProductKey(const wchar_t* product, const std::wstring& installDir, DWORD version);
void DeleteProductKey(const wchar_t* product);

}  // namespace zeltest
