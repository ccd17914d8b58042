#pragma once

// The JPEG splash window shown at start-up when asked for (switch j).
void CreateSplashWindow();
// Closes the splash window when one exists (the main page has loaded).
void CloseSplashWindow();
