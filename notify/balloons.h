#pragma once

// Notification balloons appear in the bottom-right corner of the desktop,
// above the task bar, one on top of the other, the oldest at the bottom.
// The stack places each balloon once its page has reported its size, shows
// it when it fits below the work area's top, closes the gap when a balloon
// goes away, and destroys every balloon at shutdown.

#include <windows.h>

#include <cstdint>
#include <vector>

class CBalloonWnd;

class BalloonStack {
public:
    // The layout is fixed by the work area given here; it is not followed
    // when the task bar or the screen changes later.
    explicit BalloonStack(const RECT& workArea);
    BalloonStack(const BalloonStack&) = delete;
    BalloonStack& operator=(const BalloonStack&) = delete;

    // Moves the balloon under nextBottom at the right edge. True when it
    // could be measured and moved; fits tells whether its top lies inside
    // the work area.
    bool PlaceBalloon(CBalloonWnd* balloon, bool& fits);
    // A balloon whose page has loaded and which has taken its size: placed,
    // appended, and shown with a fade-in when it fits. A balloon already in
    // the stack (its page reported again) is placed anew with those above
    // it.
    void AddBalloonToStack(CBalloonWnd* balloon);
    // A balloon being destroyed: the ones above move down into its place.
    void RemoveBalloonFromStack(CBalloonWnd* balloon);
    // Shutdown: destroys every balloon window, loaded or not, without a
    // fade-out; the stack stays inactive afterwards.
    void DestroyAllBalloons();

    // Every balloon window made for this stack is known to it from its
    // creation to its destruction, so none outlives the shutdown.
    void Adopt(CBalloonWnd* balloon);
    void Forget(CBalloonWnd* balloon);

    const RECT& WorkArea() const { return workArea_; }
    int NextBottom() const { return nextBottom_; }
    bool Active() const { return active_; }
    const std::vector<CBalloonWnd*>& Balloons() const { return balloons_; }

private:
    // Where the balloon at index sits: the top of the one before it, or the
    // work area's bottom for the first.
    int BottomOfSlot(size_t index) const;
    // Places the balloons from index first on, showing those that fit.
    void PlaceFrom(size_t first);

    RECT workArea_;
    int layoutTop_;
    int nextBottom_;
    std::vector<CBalloonWnd*> balloons_;
    std::vector<CBalloonWnd*> adopted_;
    bool active_ = true;
};

// The process-wide stack, laid out on the work area read before the entry
// point runs.
BalloonStack& GetBalloonStack();
// Shutdown step: destroys every balloon of the process-wide stack.
void EmptyBalloonStack();

// A new-game balloon for a released game (the affiliate number comes from
// the option affiliate). False for game id 0, a null text, or when the
// window cannot be made.
bool ShowGameBalloon(uint32_t gameId, const wchar_t* name, const wchar_t* description);
// A news balloon; false when any text is null or the window cannot be made.
bool ShowNewsBalloon(const wchar_t* title, const wchar_t* description, const wchar_t* image,
                     const wchar_t* link);
