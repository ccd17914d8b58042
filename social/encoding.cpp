#include "social/encoding.h"

#include "shell/text.h"

#include <cstring>

namespace {

void AppendEscapedByte(unsigned char byte, const char* digits, std::wstring& output)
{
    output += L'%';
    output += static_cast<wchar_t>(digits[byte >> 4]);
    output += static_cast<wchar_t>(digits[byte & 0x0F]);
}

bool IsUnreserved(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~';
}

// Characters of an address that may stand inside one query value as they
// are: they neither end it (as "&" and "#" would) nor change its meaning
// (as "+", read as a blank, would). A value's first "=" ends its name, so
// later ones are plain characters.
bool KeepsInAddressValue(unsigned char c)
{
    return IsUnreserved(c) || (c != 0 && std::strchr("%:/?@!$'()*,;=", c) != nullptr);
}

template <typename Keep>
std::wstring EncodeBytes(const wchar_t* text, Keep keep)
{
    std::wstring output;
    if (!text)
        return output;
    Utf8String utf8(text);
    if (!utf8.get())
        return output;
    for (const char* p = utf8.get(); *p; ++p) {
        unsigned char byte = static_cast<unsigned char>(*p);
        if (keep(byte))
            output += static_cast<wchar_t>(byte);
        else
            AppendEscapedByte(byte, "0123456789ABCDEF", output);
    }
    return output;
}

}  // namespace

void PercentEncodeUtf8(const char* utf8Text, std::wstring& wideOutput)
{
    if (!utf8Text)
        return;
    size_t length = std::strlen(utf8Text);
    wideOutput.reserve(wideOutput.size() + 3 * length);
    for (size_t i = 0; i < length; ++i)
        AppendEscapedByte(static_cast<unsigned char>(utf8Text[i]), "0123456789abcdef", wideOutput);
}

std::wstring EncodeUrlValue(const wchar_t* text)
{
    return EncodeBytes(text, IsUnreserved);
}

std::wstring EscapeUrlText(const wchar_t* text)
{
    return EncodeBytes(text, KeepsInAddressValue);
}
