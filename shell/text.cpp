#include "shell/text.h"

#include <windows.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <cwchar>

namespace {

std::optional<std::wstring> WideFromUtf8(const char* text, int byteCount)
{
    if (!text)
        return std::nullopt;
    int chars = MultiByteToWideChar(CP_UTF8, 0, text, byteCount, nullptr, 0);
    if (chars == 0)
        return std::nullopt;
    std::wstring wide(static_cast<size_t>(chars), L'\0');
    if (MultiByteToWideChar(CP_UTF8, 0, text, byteCount, wide.data(), chars) == 0)
        return std::wstring();
    // The converted NUL is part of the count; keep the string's own.
    while (!wide.empty() && wide.back() == L'\0')
        wide.pop_back();
    return wide;
}

}  // namespace

Utf8ToWide::Utf8ToWide(const char* text) : value_(WideFromUtf8(text, -1)) {}

Utf8ToWide::Utf8ToWide(const std::string& text)
    : value_(WideFromUtf8(text.c_str(), static_cast<int>(text.size()) + 1))
{
}

Utf8String::Utf8String(const wchar_t* text)
{
    if (!text)
        return;
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (bytes == 0)
        return;
    std::string narrow(static_cast<size_t>(bytes), '\0');
    if (WideCharToMultiByte(CP_UTF8, 0, text, -1, narrow.data(), bytes, nullptr, nullptr) == 0) {
        value_ = std::string();
        return;
    }
    narrow.resize(static_cast<size_t>(bytes) - 1);
    value_ = std::move(narrow);
}

WideStringBuilder& WideStringBuilder::Append(const wchar_t* text)
{
    if (!text || !*text)
        return *this;
    size_t chars = wcslen(text);
    size_t needed = (length_ + 2 + 2 * chars + 31) / 32 * 32;
    if (needed > capacity_) {
        auto bigger = std::make_unique<wchar_t[]>(needed / 2);  // zero-filled
        if (buffer_)
            memcpy(bigger.get(), buffer_.get(), length_);
        buffer_ = std::move(bigger);
        capacity_ = needed;
    }
    memcpy(reinterpret_cast<char*>(buffer_.get()) + length_, text, 2 * chars);
    length_ += 2 * chars;
    buffer_[length_ / 2] = L'\0';
    return *this;
}

std::optional<std::wstring> ConcatWide(const wchar_t* a, ptrdiff_t lengthA, const wchar_t* b,
                                       ptrdiff_t lengthB)
{
    if (!a || !b)
        return std::nullopt;
    std::wstring result(a, lengthA < 0 ? wcslen(a) : static_cast<size_t>(lengthA));
    result.append(b, lengthB < 0 ? wcslen(b) : static_cast<size_t>(lengthB));
    return result;
}

bool IsNonEmptyString(const wchar_t* text)
{
    return text && *text;
}

bool IsNonEmptyString(const char* text)
{
    return text && *text;
}

std::optional<std::string> ReadWholeFile(const wchar_t* path)
{
    if (!path)
        return std::nullopt;
    FILE* file = _wfopen(path, L"r");
    if (!file)
        return std::nullopt;
    std::optional<std::string> result;
    long size = -1;
    if (fseek(file, 0, SEEK_END) == 0)
        size = ftell(file);
    if (size > 0 && fseek(file, 0, SEEK_SET) == 0) {
        std::string text;
        text.reserve(static_cast<size_t>(size));
        int c;
        while ((c = fgetc(file)) != EOF && text.size() < static_cast<size_t>(size))
            text.push_back(static_cast<char>(c));
        result = std::move(text);
    }
    fclose(file);
    return result;
}

namespace {

const char* SkipSpace(const char* p)
{
    while (*p && isspace(static_cast<unsigned char>(*p)))
        ++p;
    return p;
}

}  // namespace

std::optional<std::string> ReadJsonToken(const char* text, char delimiter, size_t* consumed)
{
    if (!text)
        return std::nullopt;
    const char* start = SkipSpace(text);
    if (*start == '"') {
        const char* end = strchr(start + 1, '"');
        if (!end)
            return std::nullopt;
        if (consumed)
            *consumed = static_cast<size_t>(end + 1 - text);
        return std::string(start + 1, end);
    }
    const char* end = strchr(start, delimiter);
    if (!end)
        return std::nullopt;
    if (consumed)
        *consumed = static_cast<size_t>(end - text);
    return std::string(start, end);
}

std::optional<std::string> GetJsonField(const char* json, const char* key)
{
    if (!json || !key)
        return std::nullopt;
    const char* p = SkipSpace(json);
    if (*p != '{')
        return std::nullopt;
    ++p;
    size_t used = 0;
    std::optional<std::string> name = ReadJsonToken(p, ':', &used);
    while (name) {
        p = SkipSpace(p + used);
        if (*p != ':')
            return std::nullopt;
        ++p;
        if (*name == key)
            return ReadJsonToken(p, ',', &used);
        if (!ReadJsonToken(p, ',', &used))
            return std::nullopt;
        p = SkipSpace(p + used);
        if (*p != ',')
            return std::nullopt;
        ++p;
        name = ReadJsonToken(p, ':', &used);
    }
    return std::nullopt;
}

std::optional<std::wstring> GetUrlFragmentParam(const wchar_t* url, const wchar_t* prefix,
                                                const wchar_t* name)
{
    if (!url || !prefix || !name)
        return std::nullopt;
    size_t prefixLength = wcslen(prefix);
    if (prefixLength && wcsncmp(url, prefix, prefixLength) != 0)
        return std::nullopt;
    const wchar_t* p = url + prefixLength;
    if (*p != L'#')
        return std::nullopt;
    ++p;
    size_t nameLength = wcslen(name);
    while (wcsncmp(p, name, nameLength) != 0) {
        const wchar_t* equals = wcschr(p, L'=');
        if (!equals)
            return std::nullopt;
        const wchar_t* amp = wcschr(equals, L'&');
        if (!amp)
            return std::nullopt;
        p = amp + 1;
    }
    p += nameLength;
    if (*p != L'=' || p[1] == L'\0')
        return std::nullopt;
    ++p;
    const wchar_t* end = wcschr(p, L'&');
    std::wstring value = end ? std::wstring(p, end) : std::wstring(p);
    if (value.empty())
        return std::nullopt;
    return value;
}
