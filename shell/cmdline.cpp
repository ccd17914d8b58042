#include "shell/cmdline.h"

#include <windows.h>

#include <cwchar>
#include <cwctype>

namespace {

constexpr size_t kExeNameMaxChars = 1024;

const wchar_t* SkipBlanks(const wchar_t* p)
{
    while (*p && iswspace(*p))
        ++p;
    return p;
}

const wchar_t* SkipToBlank(const wchar_t* p)
{
    while (*p && !iswspace(*p))
        ++p;
    return p;
}

// Skips a switch value: a quoted text to its closing quote, or a word to
// the next blank. Null when the quote or the blank is missing.
const wchar_t* SkipValue(const wchar_t* p)
{
    if (*p == L'"') {
        const wchar_t* close = wcschr(p + 1, L'"');
        return close ? close + 1 : nullptr;
    }
    const wchar_t* end = SkipToBlank(p);
    return *end ? end : nullptr;
}

}  // namespace

const wchar_t* FindSwitchIn(const wchar_t* commandLine, wchar_t letter)
{
    if (!commandLine)
        return nullptr;
    const wchar_t* p = SkipBlanks(commandLine);
    if (*p == L'"') {
        const wchar_t* close = wcschr(p + 1, L'"');
        if (!close)
            return nullptr;
        p = close + 1;
    } else {
        p = SkipToBlank(p);
        if (!*p)
            return nullptr;
    }
    p = SkipBlanks(p);
    while (*p) {
        if (*p == letter)
            return p + 1;
        p = SkipBlanks(p + 1);
        p = SkipValue(p);
        if (!p)
            return nullptr;
        p = SkipBlanks(p);
    }
    return nullptr;
}

const wchar_t* FindSwitch(wchar_t letter)
{
    return FindSwitchIn(GetCommandLineW(), letter);
}

std::optional<std::wstring> GetSwitchStringIn(const wchar_t* commandLine, wchar_t letter)
{
    const wchar_t* p = FindSwitchIn(commandLine, letter);
    if (!p)
        return std::nullopt;
    p = SkipBlanks(p);
    std::wstring value;
    if (*p == L'"') {
        const wchar_t* close = wcschr(p + 1, L'"');
        if (!close)
            return std::nullopt;
        value.assign(p + 1, close);
    } else {
        value.assign(p, SkipToBlank(p));
    }
    if (value.empty())
        return std::nullopt;
    return value;
}

std::optional<std::wstring> GetSwitchString(wchar_t letter)
{
    return GetSwitchStringIn(GetCommandLineW(), letter);
}

bool GetSwitchHexIn(const wchar_t* commandLine, wchar_t letter, uint32_t* value)
{
    const wchar_t* p = FindSwitchIn(commandLine, letter);
    if (!p || !value)
        return false;
    p = SkipBlanks(p);
    unsigned int parsed = 0;
    if (swscanf(p, L"%x", &parsed) != 1)
        return false;
    *value = parsed;
    return true;
}

bool GetSwitchHex(wchar_t letter, uint32_t* value)
{
    return GetSwitchHexIn(GetCommandLineW(), letter, value);
}

bool IsSwitchGiven(wchar_t letter)
{
    uint32_t ignored = 0;
    return GetSwitchHex(letter, &ignored);
}

std::optional<std::wstring> ExeNameFromCommandLine(const wchar_t* commandLine)
{
    if (!commandLine)
        return std::nullopt;
    const wchar_t* p = SkipBlanks(commandLine);
    if (!*p)
        return std::nullopt;
    std::wstring token;
    if (*p == L'"') {
        const wchar_t* close = wcschr(p + 1, L'"');
        if (!close)
            return std::nullopt;
        token.assign(p + 1, close);
        // Blanks before the closing quote are not part of the path.
        while (!token.empty() && iswspace(token.back()))
            token.pop_back();
    } else {
        token.assign(p, SkipToBlank(p));
    }
    size_t slash = token.find_last_of(L"\\/");
    std::wstring name = slash == std::wstring::npos ? token : token.substr(slash + 1);
    if (name.empty())
        return std::nullopt;
    if (name.size() > 4 && name.compare(name.size() - 4, 4, L".exe") == 0)
        return name;
    return name + L".exe";
}

const std::wstring& GetExeFileName()
{
    static const std::wstring name = [] {
        std::wstring value = ExeNameFromCommandLine(GetCommandLineW()).value_or(L"");
        if (value.size() > kExeNameMaxChars - 1)
            value.resize(kExeNameMaxChars - 1);
        return value;
    }();
    return name;
}
