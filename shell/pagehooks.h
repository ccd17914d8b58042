#pragma once

// Installs the three hooks through which every catalog change reaches the
// main page (option rows, game rows, game pictures).
void InstallPageFeedingHooks();
