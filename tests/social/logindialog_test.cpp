#include <gtest/gtest.h>

#include "httpserver.h"
#include "social/logindialog.h"
#include "social/options.h"
#include "social/social.h"
#include "social/socialwnd.h"
#include "socialtest.h"

#include <windows.h>

using namespace zeltest;

namespace {

// Closes the first dialog of this thread the way a user's Alt+F4 does, from
// inside the dialog's own modal loop.
void CALLBACK CloseDialogLikeAUser(HWND, UINT, UINT_PTR timer, DWORD)
{
    HWND dialog = FindThreadDialog();
    if (dialog) {
        KillTimer(nullptr, timer);
        SendMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    }
}

class LoginDialog : public SocialTest {};

}  // namespace

TEST_F(LoginDialog, DialogWithoutABrowserEndsWithZeroWhenTheUserClosesIt)
{
    UINT_PTR timer = SetTimer(nullptr, 0, 200, CloseDialogLikeAUser);
    CSocialWnd<CFacebookSink> dialog(nullptr);
    EXPECT_EQ(0, dialog.DoModal(nullptr));
    KillTimer(nullptr, timer);
    // The login flow then finds no token.
    EXPECT_EQ(2, FacebookLogin(1, [](const wchar_t*) {
        UINT_PTR t = SetTimer(nullptr, 0, 200, CloseDialogLikeAUser);
        CSocialWnd<CFacebookSink> inner(nullptr);
        int code = static_cast<int>(inner.DoModal(nullptr));
        KillTimer(nullptr, t);
        return code;
    }, [](uint32_t, uint32_t) { return true; }));
}

TEST_F(LoginDialog, NavigationErrorEndsTheDialogWithFour)
{
    HttpServer server([](const SeenRequest&) { return TextReply("<html>gone</html>", 404); });
    ASSERT_TRUE(server.Listening());
    PointNetworksAt(server.Origin());
    UINT_PTR timer = SetTimer(nullptr, 0, 20000, CloseDialogLikeAUser);  // never hang the run
    EXPECT_EQ(4, RunVkontakteLoginDialog((server.Origin() + L"/oauth/authorize?client_id=1").c_str()));
    KillTimer(nullptr, timer);
    EXPECT_FALSE(OptionRowExists(kVkontakteTokenOption));
}

TEST_F(LoginDialog, SinksAnswerTheCancelFlagOfANavigation)
{
    ComObject<CFacebookSink>* facebook = nullptr;
    ComObject<CVkontakteSink>* vkontakte = nullptr;
    ASSERT_EQ(S_OK, ComObject<CFacebookSink>::CreateInstance(&facebook));
    ComPtr<IUnknown> keepFacebook = ComPtr<IUnknown>::Share(facebook->EventDispatch());
    ASSERT_EQ(S_OK, ComObject<CVkontakteSink>::CreateInstance(&vkontakte));
    ComPtr<IUnknown> keepVkontakte = ComPtr<IUnknown>::Share(vkontakte->EventDispatch());

    auto before = [](CSocialSink* sink, const wchar_t* address, VARIANT_BOOL cancel) {
        VARIANT url;
        VariantInit(&url);
        V_VT(&url) = VT_BSTR;
        V_BSTR(&url) = SysAllocString(address);
        sink->BeforeNavigate2(nullptr, &url, nullptr, nullptr, nullptr, nullptr, &cancel);
        VariantClear(&url);
        return cancel;
    };
    // Facebook lets every address it does not handle proceed.
    EXPECT_EQ(VARIANT_FALSE, before(facebook, L"https://www.facebook.com/login.php", VARIANT_TRUE));
    // VKontakte leaves such an address's answer as it came.
    EXPECT_EQ(VARIANT_TRUE, before(vkontakte, L"https://api.vk.com/oauth/authorize?client_id=1", VARIANT_TRUE));
    EXPECT_EQ(VARIANT_FALSE, before(vkontakte, L"https://api.vk.com/oauth/authorize?client_id=1", VARIANT_FALSE));
    // A refusal on the grant page is cancelled.
    EXPECT_EQ(VARIANT_TRUE, before(vkontakte, L"https://api.vk.com/oauth/grant_access?cancel=1", VARIANT_FALSE));
}

TEST(CenterDialog, CentresOverTheOwnerWithinTheWorkArea)
{
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof(monitor);
    GetMonitorInfoW(MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY), &monitor);
    const RECT area = monitor.rcWork;
    HWND owner = CreateWindowExW(0, L"STATIC", L"", WS_POPUP | WS_VISIBLE, area.left + 100, area.top + 100, 400,
                                 300, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, owner);
    HWND dialog = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 200, 100, owner, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, dialog);

    CenterDialog(dialog);
    RECT placed;
    GetWindowRect(dialog, &placed);
    EXPECT_EQ(area.left + 200, placed.left);
    EXPECT_EQ(area.top + 200, placed.top);

    // An owner hanging over the bottom right corner: the dialog stays on the screen.
    SetWindowPos(owner, nullptr, area.right - 50, area.bottom - 50, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    CenterDialog(dialog);
    GetWindowRect(dialog, &placed);
    EXPECT_EQ(area.right - 200, placed.left);
    EXPECT_EQ(area.bottom - 100, placed.top);

    // Without a visible owner: the middle of the work area.
    ShowWindow(owner, SW_HIDE);
    CenterDialog(dialog);
    GetWindowRect(dialog, &placed);
    EXPECT_EQ(area.left + (area.right - area.left - 200) / 2, placed.left);
    EXPECT_EQ(area.top + (area.bottom - area.top - 100) / 2, placed.top);

    DestroyWindow(dialog);
    DestroyWindow(owner);
}
