#pragma once

// The partner brand's games loader is a program of its own that shows a
// package installation in a progress dialog. The installer tells it how far
// it has come by WM_COPYDATA to its main window, and shows each file it
// writes in the status label of that dialog.

#include <windows.h>

#include <cstdint>

constexpr wchar_t kLoaderWindowClass[] = L"PembrikLoader.TMainForm";
constexpr ULONG_PTR kLoaderProgressDataTag = 0xDEEDDDDD;
constexpr int kLoaderProgressControlId = 2;
constexpr int kLoaderStatusLabelId = 1101;
// The progress of an installation runs from 0 to this.
constexpr uint32_t kProgressComplete = 10000;
// Throttle: at most one report in this many milliseconds, except for the
// first (0) and the last (10000).
constexpr DWORD kLoaderReportIntervalMs = 300;

// The 12 bytes of the WM_COPYDATA message.
struct LoaderProgressData {
    uint32_t gameId;
    uint32_t progress;        // 0 to 10000
    uint32_t progressControl; // control 2 of the loader's dialog, or 0
};

// Brand 5 only: sends the loader gameId (the id of the first report sent
// in the process, for every later report) and progress, capped at 10000.
void ReportLoaderProgress(uint32_t gameId, uint32_t progress);

// The loader's progress dialog: the first top-level "#32770" window with a
// descendant whose text contains theme string 6; null when none.
HWND FindLoaderProgressDialog();

// Shows path in the status label of the loader's dialog (control 1101 of
// the dialog's first "#32770" descendant). The label, once found, is kept
// for the rest of the process; while none is known it is searched for on
// every call.
void ShowInstallStatus(const wchar_t* path);
