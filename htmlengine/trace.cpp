#include "trace.h"

#include "com.h"
#include "hooks.h"

#include <cwchar>

namespace htmlengine {

namespace {

// Appends one line to the file named by `variable`, when it names one.
// Opened per record so that a reader in another process sees every line as
// soon as it is written.
void AppendLine(const wchar_t* variable, std::wstring_view line)
{
    wchar_t path[MAX_PATH];
    const DWORD n = GetEnvironmentVariableW(variable, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return;
    HANDLE file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    const std::string bytes = Narrow(std::wstring(line) + L'\n');
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
}

std::wstring JsonString(std::wstring_view text)
{
    std::wstring out = L"\"";
    for (wchar_t c : text) {
        if (c == L'"' || c == L'\\') {
            out += L'\\';
            out += c;
        } else if (c < 0x20) {
            wchar_t escape[8];
            swprintf(escape, 8, L"\\u%04x", static_cast<unsigned>(c));
            out += escape;
        } else {
            out += c;
        }
    }
    return out + L"\"";
}

std::wstring JsonValue(const VARIANT& v)
{
    const VARIANT* value = &v;
    if (V_VT(value) == (VT_VARIANT | VT_BYREF) && V_VARIANTREF(value)) value = V_VARIANTREF(value);
    switch (V_VT(value)) {
    case VT_EMPTY:
    case VT_NULL:
        return L"null";
    case VT_BOOL:
        return V_BOOL(value) ? L"true" : L"false";
    case VT_BSTR:
        return JsonString(VariantText(*value));
    case VT_I1: case VT_UI1: case VT_I2: case VT_UI2: case VT_I4: case VT_UI4:
    case VT_INT: case VT_UINT: case VT_I8: case VT_UI8: case VT_R4: case VT_R8:
        return VariantText(*value);
    default:
        return JsonString(VariantText(*value));
    }
}

}  // namespace

void Trace(std::wstring_view kind, std::wstring_view text)
{
    std::wstring line(kind);
    line += L'\t';
    for (wchar_t c : text) line += (c == L'\r' || c == L'\n') ? L' ' : c;
    AppendLine(kTraceVariable, line);
}

void TracePageCall(std::wstring_view pageUrl, std::wstring_view function, const VARIANT* arguments,
                   size_t count, bool nested)
{
    if (GetEnvironmentVariableW(kPageCallsVariable, nullptr, 0) == 0) return;
    const size_t slash = pageUrl.find_last_of(L"/\\");
    const std::wstring_view page = slash == std::wstring_view::npos ? pageUrl : pageUrl.substr(slash + 1);
    std::wstring line = L"{\"page\":" + JsonString(page) + L",\"call\":" + JsonString(function) + L",\"args\":[";
    for (size_t i = count; i-- > 0;) {
        line += JsonValue(arguments[i]);
        if (i > 0) line += L',';
    }
    line += L"],\"nested\":";
    line += nested ? L"true}" : L"false}";
    AppendLine(kPageCallsVariable, line);
}

}  // namespace htmlengine
