// The theme module out of the catalog and the texts read from it, the
// partner-browser option, and the restart from the install directory; on
// a catalog of the test's own under a redirected %APPDATA%.

#include "catalog/options.h"
#include "catalogfixture.h"
#include "driver.h"
#include "shell/brand.h"
#include "shell/cmdline.h"
#include "shell/files.h"
#include "shell/settings.h"
#include "shell/startup.h"
#include "shell/theme.h"

#include <shlobj.h>

#include <gtest/gtest.h>

using namespace testing_catalog;

namespace {

std::vector<unsigned char> ModuleBytes(const wchar_t* name)
{
    std::string bytes = zeltest::ReadFileBytes(zeltest::TestExeDir() + L"\\" + name);
    return {bytes.begin(), bytes.end()};
}

class ThemeModuleTest : public CatalogTest {
protected:
    void TearDown() override
    {
        UnloadThemeModule();
        CatalogTest::TearDown();
    }
    void AddTheme(const char* key, const char* name, int version, const wchar_t* module)
    {
        Look().ExecWithBlob(std::string("insert into themes(k,t,v,d) values('") + key + "','" + name + "'," +
                                std::to_string(version) + ",?1)",
                            ModuleBytes(module));
    }
};

class RegistryKey {
public:
    explicit RegistryKey(const wchar_t* path) : path_(path)
    {
        HKEY key = nullptr;
        RegCreateKeyExW(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
        RegCloseKey(key);
    }
    ~RegistryKey() { RegDeleteTreeW(HKEY_CURRENT_USER, path_); }
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;

private:
    const wchar_t* path_;
};

}  // namespace

TEST_F(ThemeModuleTest, NewestVersionOfTheSelectedThemeIsLoaded)
{
    ASSERT_NE(nullptr, GetCatalogDb());
    AddTheme("c1", "classic", 1, L"shelltheme_older.dll");
    AddTheme("o9", "other", 9, L"shelltheme_older.dll");
    EXPECT_EQ(nullptr, LoadThemeModule());  // no theme selected

    // The newest row of the selected theme holds no bytes: nothing loads.
    ASSERT_TRUE(SetOption(L"theme", L"classic"));
    Look().Exec("insert into themes(k,t,v,d) values('c3','classic',3,x'')");
    EXPECT_EQ(nullptr, LoadThemeModule());
    EXPECT_EQ(nullptr, ThemeString(1));

    Look().Exec("delete from themes where k='c3'");
    AddTheme("c2", "classic", 2, L"shelltheme_newer.dll");
    HMODULE module = LoadThemeModule();
    ASSERT_NE(nullptr, module);
    EXPECT_EQ(module, LoadThemeModule());
    EXPECT_STREQ(L"newer theme", ThemeString(1));
    EXPECT_STREQ(L"Test Games", ThemeString(kThemeStringMenuFolder));
    EXPECT_EQ(nullptr, ThemeString(kThemeStringMenuShortcutTarget));

    // The module lives in a temporary file that goes when it is unloaded.
    const wchar_t* file = GetThemeTempPath();
    ASSERT_NE(nullptr, file);
    std::wstring path = file;
    EXPECT_TRUE(PathExists(path));
    UnloadThemeModule();
    EXPECT_FALSE(PathExists(path));
    EXPECT_EQ(nullptr, ThemeString(1));
}

TEST_F(ThemeModuleTest, ShortcutTargetsOfTheBrands)
{
    ASSERT_NE(nullptr, GetCatalogDb());
    AddTheme("c1", "classic", 1, L"shelltheme_newer.dll");
    ASSERT_TRUE(SetOption(L"theme", L"classic"));
    ASSERT_NE(nullptr, LoadThemeModule());

    CQuivmarkRu plain;
    EXPECT_STREQ(L"http://games.test/start?afl=", plain.GetShortcutTarget());
    EXPECT_EQ(nullptr, plain.GetMenuShortcutTarget());  // the theme has no string 7

    // Brand 2 appends the affiliate, read once: a later change is seen by
    // the next process only.
    ASSERT_TRUE(SetOption(L"affiliate", L"77"));
    CFendrakeRu fendrake;
    EXPECT_STREQ(L"http://games.test/start?afl=77", fendrake.GetShortcutTarget());
    ASSERT_TRUE(SetOption(L"affiliate", L"78"));
    EXPECT_STREQ(L"http://games.test/start?afl=77", fendrake.GetShortcutTarget());
    EXPECT_STREQ(L"http://games.test/start?afl=77", CFendrakeRu().GetMenuShortcutTarget());
}

// A resource compiler writes no NUL after a string unless told to: such a
// theme's texts end where their table entries end, not somewhere in the
// entries that follow.
TEST_F(ThemeModuleTest, StringsWithoutTheirOwnNulEndWithTheirEntry)
{
    ASSERT_NE(nullptr, GetCatalogDb());
    AddTheme("b1", "bare", 1, L"shelltheme_bare.dll");
    ASSERT_TRUE(SetOption(L"theme", L"bare"));
    ASSERT_NE(nullptr, LoadThemeModule());

    EXPECT_STREQ(L"bare theme", ThemeString(1));
    EXPECT_STREQ(L"Bare Games", ThemeString(kThemeStringMenuFolder));
    EXPECT_STREQ(L"Bare Manager", ThemeString(kThemeStringMenuShortcutName));
    EXPECT_EQ(nullptr, ThemeString(kThemeStringMenuShortcutTarget));
    EXPECT_STREQ(L"http://games.test/bare?afl=", CQuivmarkRu().GetShortcutTarget());
    std::optional<std::wstring> link =
        ShortcutPath(CSIDL_DESKTOP, nullptr, ThemeString(kThemeStringDesktopShortcutName));
    ASSERT_TRUE(link);
    EXPECT_EQ(L"\\Bare Desktop.lnk", link->substr(link->rfind(L'\\')));
}

// The theme's bytes come from the catalog: the module is read, never run
// (this one would end the test process with 77 if its code ran).
TEST_F(ThemeModuleTest, ThemeCodeDoesNotRun)
{
    ASSERT_NE(nullptr, GetCatalogDb());
    AddTheme("a1", "active", 1, L"shelltheme_active.dll");
    ASSERT_TRUE(SetOption(L"theme", L"active"));
    ASSERT_NE(nullptr, LoadThemeModule());
    EXPECT_STREQ(L"Bare Games", ThemeString(kThemeStringMenuFolder));
}

TEST(ThemeCopies, OnlyEmptyCopiesThatNobodyHoldsAreCleared)
{
    wchar_t dir[MAX_PATH + 1];
    ASSERT_NE(0u, GetTempPathW(MAX_PATH + 1, dir));
    const std::wstring folder = dir;
    const std::wstring killed = folder + L"thmA1.tmp";    // named by a killed run, never written
    const std::wstring written = folder + L"thmA2.tmp";   // a written theme stays
    const std::wstring writing = folder + L"thmA3.tmp";   // a running copy is writing it
    const std::wstring foreign = folder + L"tmpA4.tmp";   // not a theme copy
    zeltest::WriteFileBytes(killed, "");
    zeltest::WriteFileBytes(written, "MZ");
    zeltest::WriteFileBytes(foreign, "");
    HANDLE held = CreateFileW(writing.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);

    ClearStaleThemeCopies();
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(killed.c_str()));
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(written.c_str()));
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(writing.c_str()));
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(foreign.c_str()));

    CloseHandle(held);
    for (const std::wstring& path : {killed, written, writing, foreign})
        DeleteFileW(path.c_str());
}

TEST_F(CatalogTest, PartnerBrowserNeedsBothKeys)
{
    ASSERT_NE(nullptr, GetCatalogDb());
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Yandex");
    EXPECT_FALSE(DetectPartnerBrowser());
    EXPECT_FALSE(Look().Text("select val from opt where var='yandex'"));  // unchanged: nothing written

    RegistryKey browser(L"Software\\Yandex\\YandexBrowser");
    EXPECT_FALSE(DetectPartnerBrowser());
    {
        RegistryKey manager(L"Software\\Yandex\\BM");
        EXPECT_TRUE(DetectPartnerBrowser());
        EXPECT_EQ("1", Look().Text("select val from opt where var='yandex'"));
    }
    EXPECT_FALSE(DetectPartnerBrowser());
    EXPECT_EQ("0", Look().Text("select val from opt where var='yandex'"));
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Yandex");
}

// The restarted copy must find its own file name, and so its brand, in its
// command line, also when the install directory has a blank in it.
TEST(Restart, StartsTheProgramOfTheInstallDirectory)
{
    CreateWrapConfig();
    zeltest::TempDir temp;
    std::wstring dir = temp.File(L"Zel Games");
    ASSERT_TRUE(CreateDirectoryW(dir.c_str(), nullptr));
    const std::wstring& exeName = GetExeFileName();
    ASSERT_EQ(L"shell_theme_tests.exe", exeName);
    // A stand-in under the program's name that writes down its command line.
    ASSERT_TRUE(CopyFileW((zeltest::TestExeDir() + L"\\echo_cmdline.exe").c_str(), (dir + L"\\" + exeName).c_str(),
                          FALSE));
    zeltest::SetProductKey(L"zel", dir, 0x4000000);

    RestartSelf();
    std::string bytes;
    for (int i = 0; i < 400 && bytes.empty(); ++i) {
        Sleep(50);
        bytes = zeltest::ReadFileBytes(dir + L"\\cmdline.txt");
    }
    zeltest::DeleteProductKey(L"zel");
    std::wstring commandLine(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / sizeof(wchar_t));
    EXPECT_EQ(L"\"" + dir + L"\\" + exeName + L"\"", commandLine);
    EXPECT_EQ(exeName, ExeNameFromCommandLine(commandLine.c_str()).value_or(L""));
    Sleep(200);  // the stand-in has ended: its folder can go
}
