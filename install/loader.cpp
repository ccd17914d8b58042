#include "install/loader.h"

#include "shell/brand.h"
#include "shell/theme.h"

#include <algorithm>
#include <cwchar>
#include <mutex>

namespace {

constexpr wchar_t kDialogClass[] = L"#32770";
constexpr int kWindowTextChars = 1024;

// Progress reports of the process: when the last one went out, and the
// game id they all carry.
struct LoaderReports {
    DWORD lastTick = 0;
    bool idKnown = false;
    uint32_t gameId = 0;
};

LoaderReports g_reports;
std::once_flag g_reportsStarted;

HWND g_statusLabel = nullptr;

bool HasClass(HWND window, const wchar_t* className)
{
    wchar_t name[256];
    return GetClassNameW(window, name, 256) > 0 && wcscmp(name, className) == 0;
}

// The text that marks the loader's dialog (theme string 6); null when the
// theme or the string is missing, which matches no window.
const wchar_t* LoaderDialogMarker()
{
    if (!LoadThemeModule())
        return nullptr;
    const wchar_t* marker = ThemeString(kThemeStringMenuShortcutName);
    return marker && *marker ? marker : nullptr;
}

struct MarkerSearch {
    const wchar_t* marker;
    bool found;
};

BOOL CALLBACK FindMarkedChild(HWND child, LPARAM param)
{
    auto* search = reinterpret_cast<MarkerSearch*>(param);
    wchar_t text[kWindowTextChars] = {};
    GetWindowTextW(child, text, kWindowTextChars);
    if (wcsstr(text, search->marker)) {
        search->found = true;
        return FALSE;
    }
    return TRUE;
}

// Whether a descendant of window shows the marker text.
bool ShowsMarker(HWND window, const wchar_t* marker)
{
    MarkerSearch children{marker, false};
    EnumChildWindows(window, FindMarkedChild, reinterpret_cast<LPARAM>(&children));
    return children.found;
}

BOOL CALLBACK FindFirstDialogChild(HWND child, LPARAM param)
{
    if (HasClass(child, kDialogClass)) {
        *reinterpret_cast<HWND*>(param) = child;
        return FALSE;
    }
    return TRUE;
}

uint32_t HandleBits(HWND window)
{
    // Window handles carry 32 significant bits on 64-bit Windows as well.
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(window));
}

}  // namespace

HWND FindLoaderProgressDialog()
{
    const wchar_t* marker = LoaderDialogMarker();
    if (!marker)
        return nullptr;
    // Only the top-level dialogs are looked at, in the order EnumWindows
    // would give them: an installation searches once per file while no
    // dialog is known, and most desktops hold no dialog at all.
    HWND dialog = nullptr;
    while ((dialog = FindWindowExW(nullptr, dialog, kDialogClass, nullptr)) != nullptr) {
        if (ShowsMarker(dialog, marker))
            return dialog;
    }
    return nullptr;
}

void ShowInstallStatus(const wchar_t* path)
{
    if (!g_statusLabel) {
        HWND dialog = FindLoaderProgressDialog();
        if (!dialog)
            return;
        HWND page = nullptr;
        EnumChildWindows(dialog, FindFirstDialogChild, reinterpret_cast<LPARAM>(&page));
        HWND label = page ? GetDlgItem(page, kLoaderStatusLabelId) : nullptr;
        if (!label)
            return;
        g_statusLabel = label;
        ShowWindow(label, SW_SHOW);
    }
    SendMessageW(g_statusLabel, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path));
}

void ReportLoaderProgress(uint32_t gameId, uint32_t progress)
{
    if (GetBrandId() != 5)
        return;
    HWND loader = FindWindowW(kLoaderWindowClass, nullptr);
    if (!loader)
        return;
    std::call_once(g_reportsStarted, [] { g_reports.lastTick = GetTickCount(); });
    bool always = progress == 0 || progress == kProgressComplete;
    if (!always && GetTickCount() - g_reports.lastTick < kLoaderReportIntervalMs)
        return;
    if (!g_reports.idKnown) {
        g_reports.idKnown = true;
        g_reports.gameId = gameId;
    }
    HWND dialog = FindLoaderProgressDialog();
    HWND control = dialog ? GetDlgItem(dialog, kLoaderProgressControlId) : nullptr;
    LoaderProgressData data{g_reports.gameId, std::min(progress, kProgressComplete), HandleBits(control)};
    COPYDATASTRUCT message{kLoaderProgressDataTag, sizeof(data), &data};
    SendMessageW(loader, WM_COPYDATA, reinterpret_cast<WPARAM>(dialog), reinterpret_cast<LPARAM>(&message));
    g_reports.lastTick = GetTickCount();
}
