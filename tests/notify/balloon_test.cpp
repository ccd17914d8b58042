// Balloon windows on a stack of their own: placement, stacking, closing
// gaps, the fades and the shutdown.
#include <gtest/gtest.h>

#include "notify_test.h"

#include "notify/balloonwnd.h"

#include <vector>

using notifytest::PumpFor;
using notifytest::PumpUntil;

namespace {

int g_balloonsAlive = 0;
int g_balloonsDestroyed = 0;

// A balloon whose "page" asks for a fixed size when it has loaded.
class TestBalloon : public CBalloonWnd {
public:
    TestBalloon(BalloonStack& stack, int width, int height)
        : CBalloonWnd(L"name", L"description", stack), width_(width), height_(height)
    {
        ++g_balloonsAlive;
    }
    ~TestBalloon() override
    {
        --g_balloonsAlive;
        ++g_balloonsDestroyed;
    }

protected:
    LRESULT OnDocCompleted() override
    {
        ResizeToPage(width_, height_);
        AddBalloonToStack();
        return 0;
    }

private:
    int width_;
    int height_;
};

const UINT kDocCompleted = RegisterWindowMessageW(L"Lorrimel_DocCompletedMsg");

RECT Rect(HWND window)
{
    RECT rect = {};
    GetWindowRect(window, &rect);
    return rect;
}

BYTE Alpha(HWND window)
{
    COLORREF key = 0;
    BYTE alpha = 0;
    DWORD flags = 0;
    GetLayeredWindowAttributes(window, &key, &alpha, &flags);
    return alpha;
}

class Balloons : public ::testing::Test {
protected:
    // A tall work area, lower than the screen, so the tests fix the numbers.
    static constexpr RECT kWorkArea = {0, 0, 1000, 1000};

    void SetUp() override
    {
        g_balloonsAlive = 0;
        g_balloonsDestroyed = 0;
    }
    void TearDown() override
    {
        stack_.DestroyAllBalloons();
        EXPECT_EQ(0, g_balloonsAlive);
    }

    // A created balloon (hidden, not yet in the stack).
    TestBalloon* Create(int width, int height)
    {
        auto* balloon = new TestBalloon(stack_, width, height);
        EXPECT_TRUE(balloon->CreateBalloonWindow());
        return balloon;
    }
    // A balloon whose page has loaded.
    TestBalloon* Loaded(int width, int height)
    {
        TestBalloon* balloon = Create(width, height);
        SendMessageW(balloon->Window(), kDocCompleted, 0, 0);
        return balloon;
    }

    BalloonStack stack_{kWorkArea};
};

}  // namespace

TEST_F(Balloons, CreatedBalloonIsHiddenLayeredAndOutsideTheStack)
{
    TestBalloon* balloon = Create(200, 100);
    HWND window = balloon->Window();
    ASSERT_NE(nullptr, window);
    wchar_t className[64] = {};
    GetClassNameW(window, className, 64);
    EXPECT_STREQ(L"ZELBALLCLS", className);
    EXPECT_FALSE(IsWindowVisible(window));
    EXPECT_EQ(static_cast<LONG_PTR>(WS_POPUP | WS_CLIPCHILDREN),
              GetWindowLongPtrW(window, GWL_STYLE) & (WS_POPUP | WS_CLIPCHILDREN | WS_VISIBLE | WS_CAPTION));
    EXPECT_EQ(static_cast<LONG_PTR>(WS_EX_LAYERED | WS_EX_TOOLWINDOW | WS_EX_TOPMOST),
              GetWindowLongPtrW(window, GWL_EXSTYLE) & (WS_EX_LAYERED | WS_EX_TOOLWINDOW | WS_EX_TOPMOST));
    EXPECT_TRUE(stack_.Balloons().empty());
    EXPECT_EQ(1000, stack_.NextBottom());
}

TEST_F(Balloons, FirstBalloonSitsInTheBottomRightCornerAndFadesIn)
{
    // Another window of the user is active; the balloon must not take over.
    HWND active = CreateWindowExW(0, L"STATIC", L"active", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 100,
                                  nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    SetForegroundWindow(active);
    PumpFor(50);
    ASSERT_EQ(active, GetForegroundWindow());

    HWND window = Loaded(200, 100)->Window();
    RECT rect = Rect(window);
    EXPECT_EQ(800, rect.left);
    EXPECT_EQ(900, rect.top);
    EXPECT_EQ(1000, rect.right);
    EXPECT_EQ(1000, rect.bottom);
    EXPECT_EQ(900, stack_.NextBottom());
    ASSERT_EQ(1u, stack_.Balloons().size());
    EXPECT_TRUE(IsWindowVisible(window));
    // Shown without taking the focus.
    EXPECT_EQ(active, GetForegroundWindow()) << "balloon " << window << " active " << GetActiveWindow();
    DestroyWindow(active);

    const CBalloonWnd* balloon = stack_.Balloons().front();
    EXPECT_TRUE(balloon->FadeIn().IsRunning());
    ASSERT_TRUE(PumpUntil([&] { return balloon->FadeIn().IsDone(); }, 3000));
    EXPECT_EQ(255, Alpha(window));
    EXPECT_EQ(14u, balloon->FadeIn().Ticks());
}

TEST_F(Balloons, StackedBalloonsCloseTheGapWhenOneGoes)
{
    TestBalloon* first = Loaded(300, 100);
    TestBalloon* second = Loaded(250, 120);
    TestBalloon* third = Loaded(200, 80);
    EXPECT_EQ(900, Rect(first->Window()).top);
    EXPECT_EQ(780, Rect(second->Window()).top);
    EXPECT_EQ(700, Rect(third->Window()).top);
    EXPECT_EQ(800, Rect(third->Window()).left);
    EXPECT_EQ(700, stack_.NextBottom());

    HWND thirdWindow = third->Window();
    DestroyWindow(second->Window());
    EXPECT_EQ(820, Rect(thirdWindow).top);
    EXPECT_EQ(900, Rect(thirdWindow).bottom);
    EXPECT_EQ((std::vector<CBalloonWnd*>{first, third}), stack_.Balloons());

    DestroyWindow(first->Window());
    EXPECT_EQ(920, Rect(thirdWindow).top);
    EXPECT_EQ(1000, Rect(thirdWindow).bottom);

    DestroyWindow(thirdWindow);
    EXPECT_TRUE(stack_.Balloons().empty());
    EXPECT_EQ(1000, stack_.NextBottom());
    EXPECT_EQ(3, g_balloonsDestroyed);
}

TEST_F(Balloons, BalloonAboveTheWorkAreaWaitsHiddenForRoom)
{
    TestBalloon* low = Loaded(200, 600);
    TestBalloon* waiting = Loaded(200, 500);
    HWND waitingWindow = waiting->Window();
    EXPECT_EQ(-100, Rect(waitingWindow).top);
    EXPECT_FALSE(IsWindowVisible(waitingWindow));
    EXPECT_EQ(AnimationTimer::State::Idle, waiting->FadeIn().GetState());
    EXPECT_EQ(2u, stack_.Balloons().size());

    DestroyWindow(low->Window());
    EXPECT_EQ(500, Rect(waitingWindow).top);
    EXPECT_TRUE(IsWindowVisible(waitingWindow));
    EXPECT_TRUE(waiting->FadeIn().IsRunning());
}

TEST_F(Balloons, BalloonClosedWhileWaitingStaysHiddenWhenRoomAppears)
{
    TestBalloon* low = Loaded(200, 600);
    TestBalloon* waiting = Loaded(200, 500);
    HWND waitingWindow = waiting->Window();
    ASSERT_FALSE(IsWindowVisible(waitingWindow));

    // Its page closes it while it waits above the work area.
    SendMessageW(waitingWindow, WM_CLOSE, 0, 0);
    ASSERT_TRUE(waiting->FadeOut().IsRunning());

    DestroyWindow(low->Window());
    EXPECT_FALSE(IsWindowVisible(waitingWindow));
    EXPECT_EQ(AnimationTimer::State::Idle, waiting->FadeIn().GetState());
    ASSERT_TRUE(PumpUntil([&] { return !IsWindow(waitingWindow); }, 3000));
    EXPECT_TRUE(stack_.Balloons().empty());
}

TEST_F(Balloons, PageReportingAgainKeepsTheBalloonInPlace)
{
    TestBalloon* first = Loaded(200, 100);
    TestBalloon* second = Loaded(200, 100);
    // A page with frames reports each frame; the balloon stays listed once
    // and where the stack put it.
    SendMessageW(second->Window(), kDocCompleted, 0, 0);
    SendMessageW(first->Window(), kDocCompleted, 0, 0);
    EXPECT_EQ((std::vector<CBalloonWnd*>{first, second}), stack_.Balloons());
    EXPECT_EQ(900, Rect(first->Window()).top);
    EXPECT_EQ(800, Rect(first->Window()).left);
    EXPECT_EQ(800, Rect(second->Window()).top);
    EXPECT_EQ(800, stack_.NextBottom());
}

TEST_F(Balloons, CloseFadesOutBeforeTheWindowGoes)
{
    TestBalloon* balloon = Loaded(200, 100);
    HWND window = balloon->Window();
    ASSERT_TRUE(PumpUntil([&] { return balloon->FadeIn().Ticks() >= 2; }, 2000));

    // The page's windowClose during the fade-in.
    SendMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_TRUE(balloon->FadeIn().IsDone());
    EXPECT_TRUE(balloon->FadeOut().IsRunning());
    ASSERT_TRUE(PumpUntil([&] { return balloon->FadeOut().Ticks() >= 1; }, 2000));
    EXPECT_EQ(238, Alpha(window));

    // A second close during the fade-out changes nothing.
    const uint32_t ticks = balloon->FadeOut().Ticks();
    SendMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_TRUE(IsWindow(window));
    EXPECT_GE(balloon->FadeOut().Ticks(), ticks);

    ASSERT_TRUE(PumpUntil([&] { return !IsWindow(window); }, 3000));
    EXPECT_EQ(1, g_balloonsDestroyed);
    EXPECT_TRUE(stack_.Balloons().empty());
}

TEST_F(Balloons, ShutdownDestroysEveryBalloonOnceLoadedOrNot)
{
    Loaded(200, 100);
    Loaded(200, 100);
    Loaded(200, 900);  // waiting above the work area
    HWND loading = Create(200, 100)->Window();
    const int bottom = stack_.NextBottom();

    stack_.DestroyAllBalloons();
    EXPECT_FALSE(stack_.Active());
    EXPECT_TRUE(stack_.Balloons().empty());
    EXPECT_EQ(4, g_balloonsDestroyed);
    EXPECT_EQ(0, g_balloonsAlive);
    EXPECT_FALSE(IsWindow(loading));
    // The destroy handlers left the layout alone.
    EXPECT_EQ(bottom, stack_.NextBottom());
}

TEST(BalloonCreation, RefusesMissingData)
{
    EXPECT_FALSE(ShowGameBalloon(0, L"name", L"description"));
    EXPECT_FALSE(ShowGameBalloon(7, nullptr, L"description"));
    EXPECT_FALSE(ShowGameBalloon(7, L"name", nullptr));
    EXPECT_FALSE(ShowNewsBalloon(nullptr, L"d", L"i", L"l"));
    EXPECT_FALSE(ShowNewsBalloon(L"t", L"d", nullptr, L"l"));
    EXPECT_FALSE(ShowNewsBalloon(L"t", L"d", L"i", nullptr));
    EXPECT_EQ(nullptr, FindWindowW(L"ZELBALLCLS", nullptr));
}

TEST(BalloonCreation, ProcessStackUsesTheWorkArea)
{
    RECT area = {};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    EXPECT_TRUE(EqualRect(&area, &GetBalloonStack().WorkArea()));
    EXPECT_EQ(area.bottom, GetBalloonStack().NextBottom());
    EXPECT_TRUE(GetBalloonStack().Active());
}
