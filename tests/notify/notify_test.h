#pragma once

// Shared set-up of the notification tests: the brand of the test
// executable (brand 0, product "zel"), an install directory recorded under
// the product key, the per-user catalog, and message pumping.

#include <windows.h>

#include <functional>
#include <string>

namespace notifytest {

// The install directory recorded for the process (without a final
// backslash).
const std::wstring& InstallDir();
// A test theme module built beside the test executable.
std::wstring ThemePath(const wchar_t* name);

// Dispatches this thread's messages for the given time.
void PumpFor(DWORD ms);
// Dispatches messages until done() or the time-out; done() at the end.
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs);

// The autostart value of the brand under the Run key; empty when absent.
std::wstring ReadAutorunValue(bool* exists = nullptr);
void DeleteAutorunValue();

// Where the test executable, run as the user's web browser with
// --record-url, notes the address it was given.
std::wstring OpenedUrlFile();

}  // namespace notifytest
