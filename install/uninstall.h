#pragma once

#include <cstdint>

// Marks the game uninstalled and deletes what its uninstall list names.
bool UninstallGame(uint32_t gameId);
