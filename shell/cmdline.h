#pragma once

// One-letter switches, each followed by its value, read from the process's
// full command line (never from the entry point's arguments). Numbers are
// hexadecimal.

#include <cstdint>
#include <optional>
#include <string>

// Position just after the switch letter in commandLine, or null. Exposed
// with an explicit command line for the tests; the others read
// GetCommandLineW().
const wchar_t* FindSwitchIn(const wchar_t* commandLine, wchar_t letter);
const wchar_t* FindSwitch(wchar_t letter);

// The switch's text value (quoted or one word); nullopt when absent, empty
// or with an unterminated quote.
std::optional<std::wstring> GetSwitchStringIn(const wchar_t* commandLine, wchar_t letter);
std::optional<std::wstring> GetSwitchString(wchar_t letter);

// True when the switch's value parses as one hexadecimal number; the value
// is written only then.
bool GetSwitchHexIn(const wchar_t* commandLine, wchar_t letter, uint32_t* value);
bool GetSwitchHex(wchar_t letter, uint32_t* value);
// A switch counts as given when its value parses as a number.
bool IsSwitchGiven(wchar_t letter);

// The file name of the command line's first token, with ".exe" appended
// unless it already ends exactly in ".exe".
std::optional<std::wstring> ExeNameFromCommandLine(const wchar_t* commandLine);

// ExeNameFromCommandLine(GetCommandLineW()), worked out once per process
// (at most 1024 characters); empty when it cannot be read.
const std::wstring& GetExeFileName();
