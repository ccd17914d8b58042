#pragma once

// The installer records the install directory and the installed version
// under the current user's product key ("Software\<product name>"); the
// program keeps its autostart value in the current user's Run key.

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

// "Software\<product name>"; null when it cannot be formed.
const wchar_t* GetProductKeyPath();
// The product key's default value, always ending in a backslash; cached
// after the first successful read (the cache owns it). Null when unknown.
const wchar_t* ReadProductRegValue();
// The install directory without its final separator; nullopt when unknown
// or empty.
std::optional<std::wstring> InstallDirWithoutSeparator();
// The DWORD "ver" of the product key; 0 when missing (read again then).
uint32_t GetInstalledVersion();

// The autostart data: the quoted path of the executable in the install
// directory; nullopt when the install directory is unknown.
std::optional<std::wstring> AutorunCommand();
// Writes the autostart value valueName under key, or under the Run key when
// key is null (opened here). Returns the key used (the caller closes it),
// null when the Run key does not open.
HKEY SetAutorun(HKEY key, const wchar_t* valueName);

// "Identities" "Default User ID", upper-cased; nullopt when unreadable.
std::optional<std::string> ReadUserIdentity();

// True when both partner-browser keys exist; keeps the option yandex equal
// to the last detection.
bool DetectPartnerBrowser();

// Option shortcuts used at start-up.
uint32_t GetAffiliateOption();
bool IsNewNumbering();  // option newdb equals 1
