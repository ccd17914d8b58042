#include "notify/balloons.h"

#include "catalog/catalog.h"
#include "catalog/options.h"
#include "notify/balloonwnd.h"

#include <algorithm>
#include <new>

namespace {

RECT ReadWorkArea()
{
    RECT workArea = {};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &workArea, 0);
    return workArea;
}

}  // namespace

BalloonStack::BalloonStack(const RECT& workArea)
    : workArea_(workArea), layoutTop_(workArea.top), nextBottom_(workArea.bottom)
{
}

bool BalloonStack::PlaceBalloon(CBalloonWnd* balloon, bool& fits)
{
    fits = false;
    if (!balloon)
        return false;
    HWND window = balloon->Window();
    RECT client = {};
    if (!window || !GetClientRect(window, &client))
        return false;
    const int width = client.right;
    const int height = client.bottom;
    const int y = nextBottom_ - height;
    nextBottom_ = y;
    const int x = workArea_.right - width;
    if (!MoveWindow(window, x, y, width, height, TRUE))
        return false;
    fits = y >= layoutTop_;
    return true;
}

void BalloonStack::AddBalloonToStack(CBalloonWnd* balloon)
{
    if (!active_ || !balloon)
        return;
    auto listed = std::find(balloons_.begin(), balloons_.end(), balloon);
    if (listed != balloons_.end()) {
        // Its page reported again (frames, a reload): the list keeps it once,
        // and it and the ones above take their places anew.
        const size_t index = static_cast<size_t>(listed - balloons_.begin());
        nextBottom_ = BottomOfSlot(index);
        PlaceFrom(index);
        return;
    }
    bool fits = false;
    if (!PlaceBalloon(balloon, fits)) {
        PostMessageW(balloon->Window(), WM_CLOSE, 0, 0);
        return;
    }
    balloons_.push_back(balloon);
    if (fits)
        balloon->ShowAndFadeIn();
}

int BalloonStack::BottomOfSlot(size_t index) const
{
    RECT below = {};
    if (index > 0 && GetWindowRect(balloons_[index - 1]->Window(), &below))
        return below.top;
    return workArea_.bottom;
}

void BalloonStack::PlaceFrom(size_t first)
{
    for (size_t i = first; i < balloons_.size(); ++i) {
        bool fits = false;
        if (PlaceBalloon(balloons_[i], fits) && fits)
            balloons_[i]->ShowAndFadeIn();
    }
}

void BalloonStack::RemoveBalloonFromStack(CBalloonWnd* balloon)
{
    if (!active_)
        return;
    auto listed = std::find(balloons_.begin(), balloons_.end(), balloon);
    if (listed == balloons_.end())
        return;
    const size_t index = static_cast<size_t>(listed - balloons_.begin());
    // The ones above move down, starting from the top of the one below.
    nextBottom_ = BottomOfSlot(index);
    PlaceFrom(index + 1);
    balloons_.erase(listed);
    if (balloons_.empty())
        balloons_.shrink_to_fit();
}

void BalloonStack::DestroyAllBalloons()
{
    active_ = false;
    for (CBalloonWnd* balloon : std::vector<CBalloonWnd*>(balloons_))
        DestroyWindow(balloon->Window());
    balloons_.clear();
    // Balloons whose pages never loaded are not in the list; they go too.
    for (CBalloonWnd* balloon : std::vector<CBalloonWnd*>(adopted_)) {
        if (std::find(adopted_.begin(), adopted_.end(), balloon) != adopted_.end())
            DestroyWindow(balloon->Window());
    }
    adopted_.clear();
}

void BalloonStack::Adopt(CBalloonWnd* balloon)
{
    if (balloon && std::find(adopted_.begin(), adopted_.end(), balloon) == adopted_.end())
        adopted_.push_back(balloon);
}

void BalloonStack::Forget(CBalloonWnd* balloon)
{
    adopted_.erase(std::remove(adopted_.begin(), adopted_.end(), balloon), adopted_.end());
}

BalloonStack& GetBalloonStack()
{
    // Made, and the work area read, on first use: the interactive start
    // asks for it before its window exists, and a maintenance run, which
    // shows no balloon, never loads the window manager for it.
    static BalloonStack stack(ReadWorkArea());
    return stack;
}

void EmptyBalloonStack()
{
    GetBalloonStack().DestroyAllBalloons();
}

bool ShowGameBalloon(uint32_t gameId, const wchar_t* name, const wchar_t* description)
{
    if (gameId == 0 || !name || !description)
        return false;
    const uint32_t affiliate = static_cast<uint32_t>(OptionValue(GetCatalogDb(), L"affiliate").GetInt());
    auto* balloon = new (std::nothrow) CGameBalloon(name, description, gameId, affiliate);
    return balloon && balloon->CreateBalloonWindow();
}

bool ShowNewsBalloon(const wchar_t* title, const wchar_t* description, const wchar_t* image,
                     const wchar_t* link)
{
    if (!title || !description || !image || !link)
        return false;
    auto* balloon = new (std::nothrow) CNewsBalloon(title, description, image, link);
    return balloon && balloon->CreateBalloonWindow();
}
