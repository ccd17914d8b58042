#include "trace.h"

#include "com.h"
#include "hooks.h"

namespace htmlengine {

void Trace(std::wstring_view kind, std::wstring_view text)
{
    wchar_t path[MAX_PATH];
    const DWORD n = GetEnvironmentVariableW(kTraceVariable, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return;
    // Opened per record so that a reader in another process sees every line
    // as soon as it is written.
    HANDLE file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    std::wstring line(kind);
    line += L'\t';
    for (wchar_t c : text) line += (c == L'\r' || c == L'\n') ? L' ' : c;
    line += L'\n';
    const std::string bytes = Narrow(line);
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
}

}  // namespace htmlengine
