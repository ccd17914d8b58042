#pragma once

// Starting an installed game: its executable always lies at
// "\game\qmgame.exe" below its install folder and runs in the "game"
// folder. The caller's thread waits until it has ended.

#include <sqlite3.h>

#include <cstdint>

// Reads the game's row and, when its type is 1 (installed), starts the
// game, counts the launch and waits for the game to end. True when the
// game ran; false when the row cannot be read, the type is not 1, or the
// process could not be started.
bool LaunchGame(uint32_t gameId);
// The same on a given catalog connection.
bool LaunchGameIn(sqlite3* catalog, uint32_t gameId);
