#include <gtest/gtest.h>

#include "shell/brand.h"
#include "shell/cmdline.h"

namespace {

std::optional<uint32_t> Hex(const wchar_t* commandLine, wchar_t letter)
{
    uint32_t value = 0x5eed;
    if (!GetSwitchHexIn(commandLine, letter, &value))
        return std::nullopt;
    return value;
}

std::optional<std::wstring> Text(const wchar_t* commandLine, wchar_t letter)
{
    return GetSwitchStringIn(commandLine, letter);
}

}  // namespace

TEST(CommandLine, NumberWithOrWithoutBlankAfterLetter)
{
    EXPECT_EQ(0x1au, Hex(L"\"C:\\Program Files\\zel.exe\" r 1a", L'r'));
    EXPECT_EQ(0x1au, Hex(L"\"C:\\Program Files\\zel.exe\" r1a", L'r'));
    EXPECT_EQ(0x1au, Hex(L"  C:\\zel.exe   r    1a  ", L'r'));
}

TEST(CommandLine, QuotedTextHasItsWordsWithoutQuotes)
{
    const wchar_t* line = L"zel.exe e 1 t \"two words\"";
    EXPECT_EQ(1u, Hex(line, L'e'));
    EXPECT_EQ(L"two words", Text(line, L't'));
}

TEST(CommandLine, LetterAtTheEndHasNoValue)
{
    const wchar_t* line = L"zel.exe t abc e";
    EXPECT_NE(nullptr, FindSwitchIn(line, L'e'));
    EXPECT_FALSE(Hex(line, L'e'));
    EXPECT_FALSE(Text(line, L'e'));
}

TEST(CommandLine, ValuesAreSkippedWithTheirLetter)
{
    const wchar_t* line = L"zel.exe t abc a 5";
    EXPECT_EQ(5u, Hex(line, L'a'));
    EXPECT_EQ(L"abc", Text(line, L't'));
    // A letter inside a quoted value is never a switch.
    EXPECT_FALSE(Hex(L"zel.exe t \"x a 7\" b 1", L'a'));
}

TEST(CommandLine, NumbersAreHexadecimalAndMustParse)
{
    EXPECT_EQ(0xabcu, Hex(L"zel.exe z abc", L'z'));
    EXPECT_FALSE(Hex(L"zel.exe z xyz", L'z'));
    EXPECT_EQ(0xffffffffu, Hex(L"zel.exe z ffffffff", L'z'));
}

TEST(CommandLine, SwitchesAreCaseSensitive)
{
    EXPECT_FALSE(Hex(L"zel.exe R 1", L'r'));
    EXPECT_EQ(1u, Hex(L"zel.exe R 1", L'R'));
}

TEST(CommandLine, NoSwitchesWithoutBlankAfterProgram)
{
    EXPECT_EQ(nullptr, FindSwitchIn(L"C:\\zel.exe", L'z'));
    EXPECT_EQ(nullptr, FindSwitchIn(L"\"C:\\zel.exe\"", L'z'));
    EXPECT_EQ(nullptr, FindSwitchIn(L"\"C:\\zel.exe", L'z'));  // unterminated quote
    EXPECT_EQ(nullptr, FindSwitchIn(nullptr, L'z'));
}

TEST(CommandLine, UnterminatedQuoteStopsTheSearch)
{
    EXPECT_FALSE(Text(L"zel.exe t \"abc", L't'));
    EXPECT_FALSE(Hex(L"zel.exe t \"abc e 1", L'e'));
    EXPECT_FALSE(Text(L"zel.exe t \"\"", L't'));  // empty value
}

TEST(CommandLine, MissingValueTakesTheNextToken)
{
    // i without a value of its own reads the next word as its value.
    EXPECT_EQ(L"w", Text(L"zel.exe i w 5", L'i'));
}

TEST(CommandLine, OverlongInputIsHandledSafely)
{
    std::wstring line = L"zel.exe t ";
    line.append(40000, L'x');
    line += L" e 1";
    EXPECT_EQ(1u, Hex(line.c_str(), L'e'));
    EXPECT_EQ(40000u, Text(line.c_str(), L't')->size());
}

TEST(ExeName, FileNameOfTheFirstToken)
{
    EXPECT_EQ(L"Game.exe", ExeNameFromCommandLine(L"C:\\dir\\Game r 1"));
    EXPECT_EQ(L"GAME.EXE.exe", ExeNameFromCommandLine(L"C:\\dir\\GAME.EXE"));
    EXPECT_EQ(L"zel.exe", ExeNameFromCommandLine(L"\"C:\\Program Files\\zel.exe  \" z 1"));
    EXPECT_EQ(L"zel_en.exe", ExeNameFromCommandLine(L"/opt/zel_en"));
    EXPECT_EQ(L".exe.exe", ExeNameFromCommandLine(L"C:\\a\\.exe"));
    EXPECT_FALSE(ExeNameFromCommandLine(L"C:\\dir\\"));
    EXPECT_FALSE(ExeNameFromCommandLine(L"   "));
    EXPECT_FALSE(ExeNameFromCommandLine(L"\"C:\\zel.exe"));
}

TEST(Brand, ChosenByWholeFileNameIgnoringCase)
{
    EXPECT_EQ(1, BrandIdForExeName(ExeNameFromCommandLine(L"C:\\x\\zel_en")->c_str()));
    EXPECT_EQ(1, BrandIdForExeName(L"ZEL_EN.exe"));
    EXPECT_EQ(2, BrandIdForExeName(L"QuivZel.exe"));
    EXPECT_EQ(4, BrandIdForExeName(L"sorvgames.exe"));
    EXPECT_EQ(5, BrandIdForExeName(L"pembzel.exe"));
    // An upper-case .EXE gets ".exe" appended and matches no brand.
    EXPECT_EQ(0, BrandIdForExeName(ExeNameFromCommandLine(L"C:\\x\\ZEL_EN.EXE")->c_str()));
    EXPECT_EQ(0, BrandIdForExeName(L"zel.exe"));
    EXPECT_EQ(0, BrandIdForExeName(L"other.exe"));
    EXPECT_EQ(0, BrandIdForExeName(nullptr));
}

TEST(Brand, NamesAndFlags)
{
    CFendrakeRu fendrake;
    EXPECT_STREQ(L"QuivZEL", fendrake.applicationName);  // no ".exe"
    EXPECT_STREQ(L"\\quivzel_mutex", fendrake.lockFileName);
    EXPECT_TRUE(fendrake.perGameMenuFolders);
    EXPECT_TRUE(fendrake.importOlderProducts);

    CPembrik pembrik;
    EXPECT_FALSE(pembrik.trayIcon || pembrik.updateTimer || pembrik.alwaysMakeShortcuts ||
                 pembrik.shortcutsAfterInstall || pembrik.machineWideOlderUninstall);

    CQuivmarkRu ru;
    EXPECT_TRUE(ru.updateTimer && ru.importOlderProducts && ru.renameOldMenuFolder && ru.trayNewsSubmenu &&
                ru.trayIcon && ru.machineWideOlderUninstall && ru.shortcutsAfterInstall);
    EXPECT_FALSE(ru.perGameMenuFolders || ru.alwaysMakeShortcuts || ru.advertisements);

    CSorvathRu sorvath;
    EXPECT_TRUE(sorvath.alwaysMakeShortcuts);
    EXPECT_STREQ(L"Sorvath.Games Quiv", sorvath.productName);

    // No brand requests advertisements.
    CQuivmarkCom com;
    CMacQuivmarkRu mac;
    for (const CWrapConfig* config : std::initializer_list<const CWrapConfig*>{&ru, &com, &fendrake, &mac, &sorvath, &pembrik})
        EXPECT_FALSE(config->advertisements);
}
