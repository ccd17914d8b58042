#include "shell/errorlog.h"

#include "shell/settings.h"

#include <windows.h>

#include <array>
#include <cstdarg>
#include <cstdio>

namespace {

// Made during static initialisation and kept for the life of the process.
struct ErrorRing {
    std::array<std::wstring, kErrorRingSlots> slots;
    size_t next = 0;
    size_t count = 0;
};

ErrorRing& Ring()
{
    static ErrorRing ring;
    return ring;
}

const ErrorRing& g_ringAtStartup = Ring();

constexpr const wchar_t* kStartupMessages[] = {
    L"Cannot load the game manager.",
    L"Cannot load theme.",
    L"Cannot open database.",
    L"Cannot create instance of Internet Explorer.",
    L"Cannot create a COM object.",
    L"Cannot execute JavaScript function.",
};

}  // namespace

void LogMessage(const wchar_t* format, ...)
{
    if (!format)
        return;
    wchar_t buffer[kErrorMessageChars];
    va_list args;
    va_start(args, format);
    int length = vswprintf(buffer, kErrorMessageChars, format, args);
    va_end(args);
    if (length < 0) {
        // Too long: keep what fitted, cut to 4095 characters.
        buffer[kErrorMessageChars - 1] = L'\0';
    }
    ErrorRing& ring = Ring();
    ring.slots[ring.next] = buffer;
    ring.next = (ring.next + 1) % kErrorRingSlots;
    if (ring.count < kErrorRingSlots)
        ++ring.count;
}

std::vector<std::wstring> LoggedMessages()
{
    const ErrorRing& ring = Ring();
    std::vector<std::wstring> messages;
    for (size_t i = 1; i <= ring.count; ++i)
        messages.push_back(ring.slots[(ring.next + kErrorRingSlots - i) % kErrorRingSlots]);
    return messages;
}

void ClearLoggedMessages()
{
    Ring() = ErrorRing{};
}

std::wstring StartupErrorText(int index)
{
    if (index < 0 || index >= static_cast<int>(std::size(kStartupMessages)))
        index = kStartupErrorManager;
    std::wstring text = kStartupMessages[index];
    for (const std::wstring& message : LoggedMessages()) {
        text += L'\n';
        text += message;
    }
    return text;
}

std::wstring StartupErrorCaption()
{
    wchar_t caption[64];
    swprintf(caption, 64, L"Quivmark Games. Version 0x%x", static_cast<unsigned>(GetInstalledVersion()));
    return caption;
}

void ShowStartupError(int index)
{
    MessageBoxW(nullptr, StartupErrorText(index).c_str(), StartupErrorCaption().c_str(), MB_ICONERROR);
}
