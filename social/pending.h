#pragma once

// STAND-IN: what the social code needs from the page bridge before it
// lands. The declaration goes (and its body out of social/pending.cpp) when
// the main sink is on main: it is GetMainSink()->inShowShareDialog.

#include <cstdint>

// Calls the main page's inShowShareDialog(gameId, network); true when the
// page function was invoked.
bool ShowShareDialogInPage(uint32_t gameId, uint32_t network);
