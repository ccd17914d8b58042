#include <gtest/gtest.h>

#include "axhost/axdialog.h"

#include <windows.h>

#include <string>
#include <vector>

namespace {

// What the stand-in host window saw when the dialog created it.
struct HostCreation {
    std::wstring text;
    std::vector<uint8_t> creationData;
    bool hadCreationData = false;
};
HostCreation g_hostCreation;

LRESULT CALLBACK FakeHostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_CREATE) {
        auto create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        g_hostCreation.text = create->lpszName ? create->lpszName : L"";
        if (create->lpCreateParams) {
            g_hostCreation.hadCreationData = true;
            const uint8_t* p = static_cast<const uint8_t*>(create->lpCreateParams);
            WORD size;
            memcpy(&size, p, sizeof(size));
            g_hostCreation.creationData.assign(p + 2, p + 2 + size);
        }
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// The ActiveX host window class is the hosting layer's; here a stand-in of
// the same name records what the dialog hands it.
void RegisterFakeHostClass()
{
    WNDCLASSW wc = {};
    wc.lpfnWndProc = FakeHostProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = kAxHostWindowClass;
    RegisterClassW(&wc);
}

struct DialogSeen {
    DWORD style = 0;
    std::wstring controlClass;
    std::wstring controlText;
    DWORD controlStyle = 0;
    std::wstring waitingText;
    bool waitingVisible = false;
};
DialogSeen g_seen;

INT_PTR CALLBACK InspectingDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    if (message == WM_INITDIALOG) {
        g_seen.style = static_cast<DWORD>(GetWindowLongPtrW(dialog, GWL_STYLE));
        HWND control = GetDlgItem(dialog, 1002);
        wchar_t text[256] = {};
        GetClassNameW(control, text, 256);
        g_seen.controlClass = text;
        GetWindowTextW(control, text, 256);
        g_seen.controlText = text;
        g_seen.controlStyle = static_cast<DWORD>(GetWindowLongPtrW(control, GWL_STYLE));
        HWND waiting = GetWindow(dialog, GW_CHILD);
        GetWindowTextW(waiting, text, 256);
        g_seen.waitingText = text;
        g_seen.waitingVisible = (GetWindowLongPtrW(waiting, GWL_STYLE) & WS_VISIBLE) != 0;
        PostMessageW(dialog, WM_CLOSE, 7, 0);
        return TRUE;
    }
    if (message == WM_CLOSE) {
        EndDialog(dialog, static_cast<INT_PTR>(wParam));
        return TRUE;
    }
    return FALSE;
}

}  // namespace

TEST(LoginDialogTemplate, BrowserItemBecomesAnActiveXHostWithItsInitialState)
{
    RegisterFakeHostClass();
    INT_PTR code = AxDialogBox(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(101), nullptr,
                               InspectingDialogProc, 0);
    EXPECT_EQ(7, code);
    // The system adds DS_3DLOOK and WS_CLIPSIBLINGS to every top-level dialog.
    EXPECT_EQ(0x80080048u, g_seen.style & ~static_cast<DWORD>(DS_3DLOOK | WS_CLIPSIBLINGS));
    EXPECT_EQ(kAxHostWindowClass, g_seen.controlClass);
    EXPECT_EQ(L"{8856F961-340A-11D0-A96B-00C04FD705A2}", g_seen.controlText);
    EXPECT_EQ(L"{8856F961-340A-11D0-A96B-00C04FD705A2}", g_hostCreation.text);
    EXPECT_EQ(0u, g_seen.controlStyle & WS_VISIBLE);  // hidden until the page has loaded
    EXPECT_NE(0u, g_seen.controlStyle & WS_TABSTOP);
    EXPECT_EQ(L"Подождите, идет подключение...", g_seen.waitingText);
    EXPECT_TRUE(g_seen.waitingVisible);
    ASSERT_TRUE(g_hostCreation.hadCreationData);
    // Control 1002, "initialise new", no data.
    EXPECT_EQ((std::vector<uint8_t>{0xEA, 0x03, 0x78, 0x03, 0, 0, 0, 0}), g_hostCreation.creationData);
}

TEST(LoginDialogTemplate, UnreadableTemplatesGiveMinusOne)
{
    EXPECT_EQ(-1, AxDialogBox(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(4321), nullptr,
                              InspectingDialogProc, 0));
    HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(101), MAKEINTRESOURCEW(5));
    ASSERT_NE(nullptr, found);
    const void* data = LockResource(LoadResource(nullptr, found));
    DWORD size = SizeofResource(nullptr, found);
    EXPECT_TRUE(SplitAxDialogTemplate(data, size, nullptr, 0));
    for (DWORD cut : {size - 1, size / 2, DWORD{20}})
        EXPECT_FALSE(SplitAxDialogTemplate(data, cut, nullptr, 0)) << cut;
    // A classic (not extended) template is refused.
    const WORD classic[] = {0, 0x80, 0, 0, 0, 0, 0, 10, 10, 0, 0, 0};
    EXPECT_FALSE(SplitAxDialogTemplate(classic, sizeof(classic), nullptr, 0));
}
