#pragma once

// Text conversion between UTF-16 (Windows, the registry, the page) and
// UTF-8 (SQLite, HTTP), a growable wide buffer, and the two small parsers
// every web reply and social login redirect goes through.

#include <cstddef>
#include <memory>
#include <optional>
#include <string>

// Holds the UTF-16 form of a UTF-8 text. get() is null when the text could
// not be sized (a null input among them); a failed conversion gives "".
class Utf8ToWide {
public:
    explicit Utf8ToWide(const char* text);
    // The characters of an 8-bit string object, without a NUL of its own.
    explicit Utf8ToWide(const std::string& text);
    const wchar_t* get() const { return value_ ? value_->c_str() : nullptr; }
    operator const wchar_t*() const { return get(); }

private:
    std::optional<std::wstring> value_;
};

// Holds the UTF-8 form of a UTF-16 text; the same null/empty rules.
class Utf8String {
public:
    explicit Utf8String(const wchar_t* text);
    const char* get() const { return value_ ? value_->c_str() : nullptr; }
    operator const char*() const { return get(); }

private:
    std::optional<std::string> value_;
};

// A wide text grown in steps of 32 bytes. Length and capacity are byte
// counts; length excludes the NUL.
class WideStringBuilder {
public:
    WideStringBuilder& Append(const wchar_t* text);
    WideStringBuilder& operator+=(const wchar_t* text) { return Append(text); }
    const wchar_t* c_str() const { return buffer_ ? buffer_.get() : L""; }
    size_t Length() const { return length_; }
    size_t Capacity() const { return capacity_; }

private:
    std::unique_ptr<wchar_t[]> buffer_;
    size_t length_ = 0;
    size_t capacity_ = 0;
};

// a followed by b; a length of -1 means up to the NUL. nullopt when a or b
// is null.
std::optional<std::wstring> ConcatWide(const wchar_t* a, ptrdiff_t lengthA, const wchar_t* b,
                                       ptrdiff_t lengthB);

bool IsNonEmptyString(const wchar_t* text);
bool IsNonEmptyString(const char* text);

// A whole file read in text mode (CR LF becomes LF); nullopt for a missing,
// empty or unsizable file.
std::optional<std::string> ReadWholeFile(const wchar_t* path);

// One member of a flat JSON object on one level, as text. Nested values,
// escapes and unquoted last members are outside what it reads.
std::optional<std::string> GetJsonField(const char* json, const char* key);
// A quoted token (to the next quote) or an unquoted one (to the delimiter);
// consumed counts the characters read.
std::optional<std::string> ReadJsonToken(const char* text, char delimiter, size_t* consumed);

// The value of parameter name in the "#a=1&b=2" fragment of url, which must
// begin with prefix when prefix is not empty.
std::optional<std::wstring> GetUrlFragmentParam(const wchar_t* url, const wchar_t* prefix,
                                                const wchar_t* name);
