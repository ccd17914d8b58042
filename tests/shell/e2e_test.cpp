// The real program driven as installers drive it.
#include <gtest/gtest.h>

#include "driver.h"

using zeltest::RunZel;
using zeltest::TempDir;

class ProgramRun : public ::testing::Test {
protected:
    TempDir dir_{L"shell-e2e"};

    std::optional<DWORD> Run(const std::wstring& switches, const wchar_t* exeName = L"zel.exe")
    {
        return RunZel(dir_.path(), exeName, switches);
    }
};

TEST_F(ProgramRun, EndAloneGivesTen)
{
    EXPECT_EQ(10u, Run(L"e 1"));
}

TEST_F(ProgramRun, ExitRequestWithNoRunningCopyGivesSix)
{
    EXPECT_EQ(6u, Run(L"x 1 e 1"));
}

TEST_F(ProgramRun, QueryEndsBeforeAnyWindow)
{
    zeltest::ZelProcess process;
    ASSERT_TRUE(process.Start(dir_.path(), L"zel.exe", L"z 1"));
    std::optional<DWORD> code = process.Wait();
    ASSERT_TRUE(code);
    EXPECT_EQ(10u, *code);
    EXPECT_EQ(nullptr, zeltest::WaitForWindow(L"ZELCLS", 0));
}

TEST_F(ProgramRun, BadInputNeverCrashes)
{
    // A switch without a value, an over-long command line, paths of 1024
    // characters and more: a normal end with the code of the switches that
    // did run.
    EXPECT_EQ(10u, Run(L"z e 1"));
    std::wstring longPath = L"C:\\" + std::wstring(1100, L'p') + L"\\x.db";
    EXPECT_EQ(11u, Run(L"b \"" + longPath + L"\" e 1"));
    EXPECT_EQ(12u, Run(L"t " + std::wstring(2000, L't') + L" e 1"));
    std::wstring manySwitches;
    while (manySwitches.size() < 30000)
        manySwitches += L"q 1 ";
    EXPECT_EQ(10u, Run(manySwitches + L"e 1"));
    EXPECT_EQ(10u, Run(L"e 1 r"));
}

TEST_F(ProgramRun, BrandFollowsTheFileName)
{
    const struct {
        const wchar_t* exe;
        const wchar_t* database;
    } brands[] = {
        {L"zel.exe", L"base.db"},         {L"zel_en.exe", L"base_en.db"},  {L"quivzel.exe", L"aflbase.db"},
        {L"sorvgames.exe", L"sorvbase.db"}, {L"pembzel.exe", L"pem_rik.db"}, {L"ZEL_EN.EXE", L"base.db"},
    };
    for (const auto& brand : brands) {
        std::wstring database = zeltest::AppDataDir() + L"\\" + brand.database;
        DeleteFileW(database.c_str());
        EXPECT_EQ(10u, Run(L"e 1", brand.exe)) << brand.exe;
        EXPECT_TRUE(zeltest::FileExists(database)) << brand.exe;
        // The catalog file is made hidden.
        EXPECT_TRUE(GetFileAttributesW(database.c_str()) & FILE_ATTRIBUTE_HIDDEN) << brand.exe;
        SetFileAttributesW(database.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(database.c_str());
    }
}
