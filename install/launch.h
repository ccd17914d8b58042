#pragma once

#include <cstdint>

// Starts the game's executable and waits until it has ended; true when it
// ran.
bool LaunchGame(uint32_t gameId);
