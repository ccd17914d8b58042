#pragma once

// One interactive copy per user and brand: a lock file in the temporary
// directory marks it; a later copy hands its request over by a broadcast
// message, and an installer-driven copy can ask it to end through the
// named event "ZELEXITZEL". Also the process-wide registered messages.

#include <windows.h>

#include <atomic>
#include <string>

// A message registered under its name on first use, so that a run which
// never sends or receives one (a maintenance switch) never loads the
// window manager for it. Safe to use from any thread.
class RegisteredMessage {
public:
    explicit constexpr RegisteredMessage(const wchar_t* name) : name_(name) {}
    RegisteredMessage(const RegisteredMessage&) = delete;
    RegisteredMessage& operator=(const RegisteredMessage&) = delete;
    operator UINT() const;

private:
    const wchar_t* name_;
    mutable std::atomic<UINT> id_{0};
};

extern const RegisteredMessage WM_HTTP_REQUEST_COMPLETED;  // "Lorrimel_HttpRequestCompleted"
extern const RegisteredMessage WM_DOC_COMPLETED;           // "Lorrimel_DocCompletedMsg"
extern const RegisteredMessage WM_TRAY_NOTIFY;             // "Lorrimel_TrayNotify"
extern const RegisteredMessage WM_ZEL_RESTART;             // "ZELRESTART"
extern const RegisteredMessage WM_ZEL_EXIT;                // "ZELEXITZEL"
extern const RegisteredMessage WM_ZEL_SHOW;                // "ZELSHOWZEL"
extern const RegisteredMessage WM_TASKBAR_CREATED;         // "TaskbarCreated"
// The brand's select-game message, registered at start-up; 0 before.
UINT SelectGameMessage();
void RegisterSelectGameMessage();

// True only when another copy holds the lock. In probe mode the lock is
// released at once; in keep mode it is held until ReleaseInstanceLock.
bool AcquireInstanceLock(bool probe);
void ReleaseInstanceLock();
// The lock file path; empty when it cannot be formed.
std::wstring InstanceLockPath();

// Finds the running copy's main window and asks it to end: 6 none found
// (or an older copy only sent WM_CLOSE), 7 it signalled its end within
// 20000 ms, 8 it did not.
int AskRunningInstanceToExit();
// The running copy's main window, found by the brand's class; null when none.
HWND FindRunningInstanceWindow();

// Posts the show or select-game request to every top-level window.
void BroadcastToRunningInstance(UINT message, WPARAM gameId);

// Wakes a copy that asked this one to exit.
void SignalExitEvent();
