#include "install/names.h"

#include <cwchar>
#include <cwctype>

namespace {

// The digit of COM1 or LPT1; Windows takes the superscript digits one to
// three (as in COM\u00B9) for devices as well.
bool IsDeviceNumber(wchar_t c)
{
    return (c >= L'0' && c <= L'9') || c == L'\u00B9' || c == L'\u00B2' || c == L'\u00B3';
}

}  // namespace

bool IsDeviceName(const wchar_t* name)
{
    if (!name)
        return false;
    // The part before the first dot is what Windows matches ("con.txt"
    // is the console too). A colon ends it as well: "COM1:" is the port,
    // and a shortcut path turns the colon into a dot.
    size_t length = wcscspn(name, L".:");
    while (length > 0 && name[length - 1] == L' ')
        --length;
    static const wchar_t* const kDevices[] = {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"};
    for (const wchar_t* device : kDevices) {
        if (wcslen(device) == length && _wcsnicmp(name, device, length) == 0)
            return true;
    }
    if (length == 4 && (_wcsnicmp(name, L"COM", 3) == 0 || _wcsnicmp(name, L"LPT", 3) == 0) &&
        IsDeviceNumber(name[3]))
        return true;
    return false;
}

bool IsSafeFileName(const wchar_t* name)
{
    if (!name || !*name)
        return false;
    for (const wchar_t* p = name; *p; ++p) {
        if (*p < 32 || wcschr(L"<>:\"/\\|?*", *p))
            return false;
    }
    wchar_t last = name[wcslen(name) - 1];
    if (last == L'.' || last == L' ')
        return false;
    return !IsDeviceName(name);
}

bool IsSafeShortcutName(const wchar_t* name)
{
    if (!name || !*name)
        return false;
    bool onlyDotsAndBlanks = true;
    for (const wchar_t* p = name; *p; ++p) {
        if (*p < 32 || *p == L'\\' || *p == L'/' || *p == L';')
            return false;
        if (*p != L'.' && *p != L' ')
            onlyDotsAndBlanks = false;
    }
    return !onlyDotsAndBlanks && !IsDeviceName(name);
}
