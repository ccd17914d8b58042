#pragma once

#include <cstdint>

// Destroys every balloon window and empties the stack (shutdown).
void EmptyBalloonStack();

// Announces a new game in a balloon (with the affiliate number of the
// catalog); false when gameId is 0, a text is null or no window was made.
bool ShowGameBalloon(uint32_t gameId, const wchar_t* name, const wchar_t* description);
// Shows a news item in a balloon; false when a text is null or no window
// was made.
bool ShowNewsBalloon(const wchar_t* title, const wchar_t* description, const wchar_t* image,
                     const wchar_t* link);
