#include "shell/instance.h"

#include "shell/brand.h"
#include "shell/settings.h"

#include <string>

const RegisteredMessage WM_HTTP_REQUEST_COMPLETED{L"Lorrimel_HttpRequestCompleted"};
const RegisteredMessage WM_DOC_COMPLETED{L"Lorrimel_DocCompletedMsg"};
const RegisteredMessage WM_TRAY_NOTIFY{L"Lorrimel_TrayNotify"};
const RegisteredMessage WM_ZEL_RESTART{L"ZELRESTART"};
const RegisteredMessage WM_ZEL_EXIT{L"ZELEXITZEL"};
const RegisteredMessage WM_ZEL_SHOW{L"ZELSHOWZEL"};
const RegisteredMessage WM_TASKBAR_CREATED{L"TaskbarCreated"};

RegisteredMessage::operator UINT() const
{
    UINT id = id_.load(std::memory_order_relaxed);
    if (id == 0) {
        // Two threads may both register: the system hands both the same id.
        id = RegisterWindowMessageW(name_);
        id_.store(id, std::memory_order_relaxed);
    }
    return id;
}

namespace {

constexpr size_t kPathChars = 1024;
constexpr uint32_t kVersionWithExitEvent = 0x4000000;
constexpr DWORD kExitWaitMs = 20000;
constexpr wchar_t kExitEventName[] = L"ZELEXITZEL";

UINT g_selectGameMessage = 0;
HANDLE g_lockFile = INVALID_HANDLE_VALUE;

BOOL CALLBACK FindInstanceWindowProc(HWND window, LPARAM param)
{
    wchar_t className[1024];
    if (GetClassNameW(window, className, 1024) == 0)
        return TRUE;
    const CWrapConfig* config = GetWrapConfig();
    if (config && config->windowClass && lstrcmpW(className, config->windowClass) == 0) {
        *reinterpret_cast<HWND*>(param) = window;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

UINT SelectGameMessage()
{
    return g_selectGameMessage;
}

void RegisterSelectGameMessage()
{
    const CWrapConfig* config = GetWrapConfig();
    if (config && config->selectGameMessageName)
        g_selectGameMessage = RegisterWindowMessageW(config->selectGameMessageName);
}

std::wstring InstanceLockPath()
{
    const CWrapConfig* config = GetWrapConfig();
    if (!config || !config->lockFileName)
        return {};
    wchar_t dir[kPathChars];
    DWORD length = GetTempPathW(kPathChars, dir);
    if (length == 0 || length >= kPathChars)
        return {};
    // The temporary directory ends in a backslash and the lock name begins
    // with one; the doubled separator is harmless.
    std::wstring path = std::wstring(dir) + config->lockFileName;
    if (path.size() >= kPathChars)
        return {};
    return path;
}

bool AcquireInstanceLock(bool probe)
{
    std::wstring path = InstanceLockPath();
    if (path.empty())
        return false;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return GetLastError() == ERROR_SHARING_VIOLATION;
    if (probe) {
        CloseHandle(file);
    } else {
        ReleaseInstanceLock();
        g_lockFile = file;
    }
    return false;
}

void ReleaseInstanceLock()
{
    if (g_lockFile != INVALID_HANDLE_VALUE) {
        CloseHandle(g_lockFile);
        g_lockFile = INVALID_HANDLE_VALUE;
    }
}

HWND FindRunningInstanceWindow()
{
    HWND found = nullptr;
    EnumWindows(FindInstanceWindowProc, reinterpret_cast<LPARAM>(&found));
    return found;
}

int AskRunningInstanceToExit()
{
    HWND window = FindRunningInstanceWindow();
    if (!window)
        return 6;
    uint32_t version = GetInstalledVersion();
    HANDLE event = nullptr;
    if (version >= kVersionWithExitEvent) {
        event = CreateEventW(nullptr, TRUE, FALSE, kExitEventName);
        PostMessageW(window, WM_ZEL_EXIT, event ? 1 : 0, 0);
    } else {
        PostMessageW(window, WM_CLOSE, 1, 1);
    }
    if (!event)
        return 6;
    DWORD waited = WaitForSingleObject(event, kExitWaitMs);
    CloseHandle(event);
    return waited == WAIT_OBJECT_0 ? 7 : 8;
}

void BroadcastToRunningInstance(UINT message, WPARAM gameId)
{
    if (message)
        PostMessageW(HWND_BROADCAST, message, gameId, 0);
}

void SignalExitEvent()
{
    HANDLE event = OpenEventW(EVENT_MODIFY_STATE, FALSE, kExitEventName);
    if (event) {
        SetEvent(event);
        CloseHandle(event);
    }
}
