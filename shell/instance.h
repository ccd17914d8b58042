#pragma once

// One interactive copy per user and brand: a lock file in the temporary
// directory marks it; a later copy hands its request over by a broadcast
// message, and an installer-driven copy can ask it to end through the
// named event "ZELEXITZEL". Also the process-wide registered messages.

#include <windows.h>

#include <string>

// Registered during static initialisation, before the entry point runs.
extern const UINT WM_HTTP_REQUEST_COMPLETED;  // "Lorrimel_HttpRequestCompleted"
extern const UINT WM_DOC_COMPLETED;           // "Lorrimel_DocCompletedMsg"
extern const UINT WM_TRAY_NOTIFY;             // "Lorrimel_TrayNotify"
extern const UINT WM_ZEL_RESTART;             // "ZELRESTART"
extern const UINT WM_ZEL_EXIT;                // "ZELEXITZEL"
extern const UINT WM_ZEL_SHOW;                // "ZELSHOWZEL"
extern const UINT WM_TASKBAR_CREATED;         // "TaskbarCreated"
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
