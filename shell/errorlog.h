#pragma once

// The program has no log file and no console: failures worth telling go
// into a ring of the five latest messages, shown only when start-up fails.

#include <string>
#include <vector>

constexpr size_t kErrorRingSlots = 5;
constexpr size_t kErrorMessageChars = 4096;

// printf-style wide formatting (%ls for wide texts); a message that does not
// fit is cut to its first 4095 characters.
void LogMessage(const wchar_t* format, ...);

// The logged messages, newest first.
std::vector<std::wstring> LoggedMessages();
void ClearLoggedMessages();

enum StartupError {
    kStartupErrorManager = 0,     // "Cannot load the game manager."
    kStartupErrorTheme = 1,       // "Cannot load theme."
    kStartupErrorDatabase = 2,    // "Cannot open database."
    kStartupErrorBrowser = 3,     // "Cannot create instance of Internet Explorer."
    kStartupErrorComObject = 4,   // "Cannot create a COM object."
    kStartupErrorJavaScript = 5,  // "Cannot execute JavaScript function."
};

// The text and caption of the start-up error box for index 0 to 5.
std::wstring StartupErrorText(int index);
std::wstring StartupErrorCaption();
// Shows the box (no owner, error icon, OK) and returns when it is closed.
void ShowStartupError(int index);

// The exit code of an interactive run that ended after the start-up error
// box: it tells whoever started the run, an installer among them, that the
// manager never came up.
constexpr int kExitStartupError = 4;
