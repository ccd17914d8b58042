#include "com.h"

namespace htmlengine {

std::wstring Widen(std::string_view s)
{
    if (s.empty()) return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), out.data(), n);
    return out;
}

std::string Narrow(std::wstring_view s)
{
    if (s.empty()) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0,
                                      nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), out.data(), n, nullptr,
                        nullptr);
    return out;
}

std::wstring VariantText(const VARIANT& v)
{
    const VARIANT* value = &v;
    if (V_VT(value) == (VT_VARIANT | VT_BYREF) && V_VARIANTREF(value)) value = V_VARIANTREF(value);
    switch (V_VT(value)) {
    case VT_EMPTY:
        return L"undefined";
    case VT_NULL:
        return L"null";
    case VT_BSTR:
        return V_BSTR(value) ? std::wstring(V_BSTR(value), SysStringLen(V_BSTR(value))) : std::wstring();
    case VT_BOOL:
        return V_BOOL(value) ? L"true" : L"false";
    case VT_DISPATCH:
        return L"[object]";
    default:
        break;
    }
    Variant copy;
    if (FAILED(ChangeType(&copy, value, VARIANT_ALPHABOOL, VT_BSTR))) return {};
    return VariantText(copy.get());
}

}  // namespace htmlengine
