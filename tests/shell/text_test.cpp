#include <gtest/gtest.h>

#include "shell/text.h"

#include <windows.h>

TEST(Json, QuotedAndUnquotedMembers)
{
    const char* json = "{\"id\":\"42\",\"x\":1}";
    EXPECT_EQ("42", GetJsonField(json, "id"));
    // An unquoted last member is not found: no comma follows it.
    EXPECT_FALSE(GetJsonField(json, "x"));

    const char* other = " { \"x\":12 , \"y\" : \"text\" }";
    EXPECT_EQ("12 ", GetJsonField(other, "x"));  // unquoted: up to the comma
    EXPECT_EQ("text", GetJsonField(other, "y"));
    EXPECT_EQ("7", GetJsonField("{\"a\":7,\"b\":\"c\"}", "a"));
}

TEST(Json, KeyInsideAValueIsNotFound)
{
    EXPECT_FALSE(GetJsonField("{\"a\":\"key\",\"b\":\"c\"}", "key"));
}

TEST(Json, MalformedInputGivesNothing)
{
    EXPECT_FALSE(GetJsonField("[1,2]", "a"));
    EXPECT_FALSE(GetJsonField("{\"a\" \"b\"}", "a"));
    EXPECT_FALSE(GetJsonField("{\"a\":\"b\" \"c\":\"d\"}", "c"));
    EXPECT_FALSE(GetJsonField("{\"a\":\"unterminated", "a"));
    EXPECT_FALSE(GetJsonField(nullptr, "a"));
    EXPECT_FALSE(GetJsonField("{}", nullptr));
}

TEST(UrlFragment, ParameterByExactName)
{
    const wchar_t* url = L"https://example.test/blank.html#state=1&expires_in=0";
    EXPECT_EQ(L"1", GetUrlFragmentParam(url, L"https://example.test/blank.html", L"state"));
    // expires_in begins with the name but is followed by "_", not "=".
    EXPECT_FALSE(GetUrlFragmentParam(url, L"https://example.test/blank.html", L"expires"));
    EXPECT_EQ(L"0", GetUrlFragmentParam(url, L"https://example.test/blank.html", L"expires_in"));
}

TEST(UrlFragment, PrefixAndFragmentRequired)
{
    EXPECT_FALSE(GetUrlFragmentParam(L"https://a/#x=1", L"https://b/", L"x"));
    EXPECT_EQ(L"1", GetUrlFragmentParam(L"#x=1", L"", L"x"));
    EXPECT_FALSE(GetUrlFragmentParam(L"https://a/?x=1", L"https://a/", L"x"));
    EXPECT_FALSE(GetUrlFragmentParam(L"https://a/#x=&y=2", L"https://a/", L"x"));
    EXPECT_FALSE(GetUrlFragmentParam(L"https://a/#y=2", L"https://a/", L"x"));
    EXPECT_FALSE(GetUrlFragmentParam(nullptr, L"", L"x"));
}

TEST(WideStringBuilder, GrowsInStepsOf32Bytes)
{
    WideStringBuilder builder;
    builder += L"ab";
    builder += L"cd";
    EXPECT_STREQ(L"abcd", builder.c_str());
    EXPECT_EQ(8u, builder.Length());
    EXPECT_EQ(32u, builder.Capacity());
    builder.Append(nullptr).Append(L"");
    EXPECT_EQ(8u, builder.Length());
    std::wstring longer(20, L'z');
    builder += longer.c_str();
    EXPECT_EQ(48u, builder.Length());
    EXPECT_EQ(64u, builder.Capacity());
    EXPECT_EQ(L"abcd" + longer, builder.c_str());
}

TEST(Conversion, RoundTripAndNull)
{
    const wchar_t* text = L"Игры \u00e9t\u00e9 \U0001F3AE";
    Utf8String narrow(text);
    ASSERT_NE(nullptr, narrow.get());
    Utf8ToWide back(narrow.get());
    EXPECT_STREQ(text, back.get());
    EXPECT_EQ(nullptr, Utf8ToWide(static_cast<const char*>(nullptr)).get());
    EXPECT_EQ(nullptr, Utf8String(nullptr).get());
    EXPECT_STREQ(L"", Utf8ToWide("").get());
    EXPECT_STREQ(L"ab", Utf8ToWide(std::string("ab")).get());
}

TEST(Concat, JoinsWithLengths)
{
    EXPECT_EQ(L"abxy", ConcatWide(L"abc", 2, L"xyz", 2));
    EXPECT_EQ(L"abcxyz", ConcatWide(L"abc", -1, L"xyz", -1));
    EXPECT_FALSE(ConcatWide(nullptr, -1, L"x", -1));
    EXPECT_TRUE(IsNonEmptyString(L"a"));
    EXPECT_FALSE(IsNonEmptyString(L""));
    EXPECT_FALSE(IsNonEmptyString(static_cast<const wchar_t*>(nullptr)));
}

TEST(ReadWholeFile, TextModeAndEmptyFile)
{
    wchar_t dir[MAX_PATH];
    GetTempPathW(MAX_PATH, dir);
    std::wstring path = std::wstring(dir) + L"readwhole-\u00e9.txt";
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    DWORD written = 0;
    WriteFile(file, "a\r\n", 3, &written, nullptr);
    CloseHandle(file);
    EXPECT_EQ("a\n", ReadWholeFile(path.c_str()));

    file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    CloseHandle(file);
    EXPECT_FALSE(ReadWholeFile(path.c_str()));
    DeleteFileW(path.c_str());
    EXPECT_FALSE(ReadWholeFile(path.c_str()));
}
