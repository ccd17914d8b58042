#pragma once

// Removes the tray icon and clears its record (shutdown).
void RemoveTrayIcon();
