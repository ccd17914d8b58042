// Installs and uninstalls of the real program, checked for the catalog and
// the disk agreeing afterwards: nothing of the user's or of another game
// removed, nothing of the game left without a record, every failure
// reported as one.

#include <gtest/gtest.h>

#include "driver.h"
#include "testcatalog.h"
#include "testfiles.h"
#include "testpackage.h"

#include <knownfolders.h>
#include <objbase.h>
#include <shlobj.h>

#include <cwctype>

using testcatalog::CatalogFile;
using testfiles::ComApartment;
using testfiles::MakeShortcut;
using testfiles::ReadShortcut;
using testfiles::ShortcutInfo;
using testpackage::Package;
using zeltest::PathExists;
using zeltest::ReadFileBytes;
using zeltest::TempDir;
using zeltest::Utf8;
using zeltest::WriteFileBytes;

namespace {

constexpr DWORD kRunTimeoutMs = 60000;
constexpr wchar_t kExe[] = L"zel.exe";
constexpr wchar_t kProduct[] = L"zel";

std::wstring KnownFolder(REFKNOWNFOLDERID id)
{
    PWSTR path = nullptr;
    std::wstring result;
    if (SUCCEEDED(SHGetKnownFolderPath(id, KF_FLAG_CREATE, nullptr, &path)) && path)
        result = path;
    CoTaskMemFree(path);
    return result;
}

std::wstring Lower(std::wstring text)
{
    for (wchar_t& c : text)
        c = static_cast<wchar_t>(towlower(c));
    return text;
}

class UninstallTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        DeleteFileW(CatalogPath().c_str());
        zeltest::SetProductKey(kProduct, dir_.path(), 0x4000000);
        ASSERT_EQ(10u, Run(L"z 1")) << "the program made no catalog";
        CatalogFile catalog(CatalogPath());
        ASSERT_TRUE(catalog.HasTable("games"));
        catalog.ExecWithBlob("insert into themes(k, t, v, d) values('testtheme', 'testtheme', 1, ?)",
                             zeltest::ReadFileBytes(zeltest::TestExeDir() + L"\\testtheme.dll"));
        catalog.Exec("insert or replace into opt(var, val) values('theme', 'testtheme')");
        // Ids of the current numbering throughout.
        catalog.Exec("insert or replace into opt(var, val) values('newdb', '1')");
    }
    void TearDown() override
    {
        for (const std::wstring& path : cleanUp_)
            zeltest::RemoveTree(path);
        zeltest::DeleteProductKey(kProduct);
        zeltest::DeleteProductKey(kSecondProduct);
    }

    // A second brand's manager, whose games get menu folders of their own.
    static constexpr wchar_t kSecondExe[] = L"quivzel.exe";
    static constexpr wchar_t kSecondProduct[] = L"QuivZEL";
    std::wstring SecondCatalogPath() { return zeltest::AppDataDir() + L"\\aflbase.db"; }
    bool PrepareSecondBrand()
    {
        DeleteFileW(SecondCatalogPath().c_str());
        zeltest::SetProductKey(kSecondProduct, secondDir_.path(), 0x4000000);
        if (RunSecond(L"z 1") != 10u)
            return false;
        CatalogFile catalog(SecondCatalogPath());
        catalog.ExecWithBlob("insert into themes(k, t, v, d) values('testtheme', 'testtheme', 1, ?)",
                             zeltest::ReadFileBytes(zeltest::TestExeDir() + L"\\testtheme.dll"));
        catalog.Exec("insert or replace into opt(var, val) values('theme', 'testtheme')");
        return true;
    }
    std::optional<DWORD> RunSecond(const std::wstring& switches)
    {
        return zeltest::RunZel(secondDir_.path(), kSecondExe, switches, kRunTimeoutMs);
    }

    std::wstring CatalogPath() { return zeltest::AppDataDir() + L"\\base.db"; }
    std::optional<DWORD> Run(const std::wstring& switches)
    {
        return zeltest::RunZel(dir_.path(), kExe, switches, kRunTimeoutMs);
    }

    void AddGame(uint32_t id, const char* name)
    {
        CatalogFile catalog(CatalogPath());
        catalog.Exec("insert into games(id, name, type, show) values(" + std::to_string(id) + ", '" + name +
                     "', 2, 1)");
    }

    // Game id's package: the test game and its data under the ident's
    // folder, an icon beside them.
    std::wstring MakePackage(uint32_t id, const std::string& name, std::string ident = std::string())
    {
        const std::wstring path = work_.File((std::to_wstring(id) + L"_game.db").c_str());
        DeleteFileW(path.c_str());
        Package p(path);
        if (ident.empty())
            ident = "ident" + std::to_string(id);
        p.AddGame(id, ident, name, 10, 11, 1);
        p.AddDir(1, ident, 0);
        p.AddDir(2, std::string("game"), 1);
        p.AddStored(10, "qmgame.exe", ReadFileBytes(zeltest::TestExeDir() + L"\\qmgame.exe"), 2);
        p.AddStored(11, ident + ".ico", "icon", 1);
        p.AddDeflated(12, "level.dat", testfiles::SampleBytes(3000, id), 2);
        return path;
    }

    std::optional<DWORD> Install(uint32_t id, const std::string& name, const std::wstring& target)
    {
        return Run(L"i \"" + MakePackage(id, name) + L"\" w \"" + target + L"\" v 1");
    }
    std::optional<DWORD> Uninstall(uint32_t id) { return Run(L"u " + Hex(id) + L" e 1"); }
    std::optional<DWORD> Query(uint32_t id) { return Run(L"z " + Hex(id) + L" v 1"); }
    static std::wstring Hex(uint32_t id)
    {
        wchar_t text[16];
        swprintf(text, 16, L"%x", id);
        return text;
    }
    std::string Column(uint32_t id, const char* column)
    {
        CatalogFile catalog(CatalogPath());
        return catalog.Column(id, column);
    }

    TempDir dir_{L"uninst-exe"};
    TempDir secondDir_{L"uninst-exe2"};
    TempDir work_{L"uninst-work"};
    std::vector<std::wstring> cleanUp_;
    ComApartment com_;
};

}  // namespace

// A folder that held the user's files keeps them, and itself; a folder the
// installation made goes whole; a list naming Documents deletes nothing.
TEST_F(UninstallTest, WhatTheGameDidNotBringStays)
{
    AddGame(400, "Mine");
    const std::wstring mine = work_.File(L"My Things");
    CreateDirectoryW(mine.c_str(), nullptr);
    CreateDirectoryW((mine + L"\\photos").c_str(), nullptr);
    ASSERT_TRUE(WriteFileBytes(mine + L"\\letter.doc", "dear"));
    ASSERT_TRUE(WriteFileBytes(mine + L"\\photos\\a.jpg", "jpg"));
    EXPECT_EQ(1u, Install(400, "Mine", mine));
    EXPECT_TRUE(PathExists(mine + L"\\game\\qmgame.exe"));
    const std::string list = Column(400, "uninstall");
    EXPECT_EQ(std::string::npos, list.find(Utf8(L"D" + mine + L";"))) << list;
    EXPECT_NE(std::string::npos, list.find(Utf8(L"L" + mine + L"\\game;"))) << list;
    EXPECT_EQ(10u, Uninstall(400));
    EXPECT_EQ("dear", ReadFileBytes(mine + L"\\letter.doc"));
    EXPECT_EQ("jpg", ReadFileBytes(mine + L"\\photos\\a.jpg"));
    EXPECT_FALSE(PathExists(mine + L"\\game"));
    EXPECT_FALSE(PathExists(mine + L"\\ident400.ico"));
    EXPECT_EQ("NULL", Column(400, "uninstall"));

    AddGame(401, "Fresh");
    const std::wstring fresh = work_.File(L"Fresh Game");
    EXPECT_EQ(1u, Install(401, "Fresh", fresh));
    EXPECT_EQ(Utf8(L"D" + fresh + L";"), Column(401, "uninstall").substr(0, Utf8(fresh).size() + 2));
    EXPECT_EQ(10u, Uninstall(401));
    EXPECT_FALSE(PathExists(fresh));

    // A list an older version wrote for a game installed into Documents.
    const std::wstring documents = KnownFolder(FOLDERID_Documents);
    ASSERT_FALSE(documents.empty());
    const std::wstring letter = documents + L"\\uninstall-test-letter.txt";
    ASSERT_TRUE(WriteFileBytes(letter, "mine"));
    cleanUp_.push_back(letter);
    {
        CatalogFile catalog(CatalogPath());
        catalog.ExecWithText("insert into games(id, name, type, show, inst, path, uninstall) "
                             "values(402, 'Docs', 1, 1, 1700000000, 'x', ?1)",
                             L"D" + documents + L";L" + documents + L"\\;d" + Lower(documents) + L";");
    }
    EXPECT_EQ(10u, Uninstall(402));
    EXPECT_EQ("mine", ReadFileBytes(letter));
    EXPECT_EQ("NULL", Column(402, "inst"));
}

// Game B installed below game A's folder, or in the same folder by another
// spelling, survives A's uninstall with its executable in place.
TEST_F(UninstallTest, AnotherInstalledGameStays)
{
    AddGame(410, "Outer");
    AddGame(411, "Inner");
    const std::wstring games = work_.File(L"Games");
    const std::wstring inner = games + L"\\Inner";
    EXPECT_EQ(1u, Install(410, "Outer", games));
    EXPECT_EQ(1u, Install(411, "Inner", inner));
    EXPECT_EQ(10u, Uninstall(410));
    EXPECT_FALSE(PathExists(games + L"\\ident410.ico"));
    EXPECT_FALSE(PathExists(games + L"\\game"));
    EXPECT_TRUE(PathExists(inner + L"\\game\\level.dat"));
    EXPECT_EQ(3u, Query(411));
    EXPECT_EQ(Utf8(inner + L"\\game\\qmgame.exe"), Column(411, "exec"));
    EXPECT_TRUE(PathExists(inner + L"\\game\\qmgame.exe"));
    // What stays of A's folder stays listed.
    EXPECT_EQ(Utf8(L"D" + games + L";"), Column(410, "uninstall"));
    EXPECT_EQ("NULL", Column(410, "inst"));

    // One folder by five spellings: the other game's stays.
    const std::wstring same = work_.File(L"Same");
    std::wstring slashed = Lower(same);
    for (wchar_t& c : slashed) {
        if (c == L'\\')
            c = L'/';
    }
    EXPECT_EQ(1u, Install(411, "Inner", slashed + L"/."));
    EXPECT_EQ(Utf8(Lower(same)), Utf8(Lower(zeltest::Wide(Column(411, "path")))));
    for (const std::wstring& spelling :
         {same, Lower(same) + L"\\", slashed, same + L"\\.", same + L"\\B\\.."}) {
        SCOPED_TRACE(Utf8(spelling));
        {
            CatalogFile catalog(CatalogPath());
            catalog.ExecWithText("update games set type=1, inst=1700000000, uninstall=?1 where id=410",
                                 L"D" + spelling + L";L" + spelling + L";");
        }
        EXPECT_EQ(10u, Uninstall(410));
        EXPECT_TRUE(PathExists(same + L"\\game\\qmgame.exe"));
        EXPECT_EQ(3u, Query(411));
    }
    EXPECT_EQ(10u, Uninstall(411));
    EXPECT_FALSE(PathExists(same));

    // Uninstalling every game: the outer folder goes once the inner game
    // has gone.
    EXPECT_EQ(1u, Install(410, "Outer", games));
    EXPECT_EQ(1u, Install(411, "Inner", inner));
    EXPECT_EQ(10u, Run(L"c 1 e 1"));
    EXPECT_FALSE(PathExists(games));
    EXPECT_EQ("NULL", Column(410, "uninstall"));
    EXPECT_EQ("NULL", Column(411, "uninstall"));
}

// A game the catalog lacks is registered from its package and can be
// removed; a reinstall into another folder leaves both copies listed.
TEST_F(UninstallTest, EveryCopyIsRecorded)
{
    const std::wstring first = work_.File(L"New");
    EXPECT_EQ(1u, Install(0x999, "Newcomer", first));
    EXPECT_EQ("ident2457", Column(0x999, "ident"));
    EXPECT_EQ("Newcomer", Column(0x999, "name"));
    EXPECT_EQ(3u, Query(0x999));
    const std::wstring second = work_.File(L"Elsewhere");
    EXPECT_EQ(1u, Install(0x999, "Newcomer", second));
    EXPECT_EQ(Utf8(second), Column(0x999, "path"));
    // Once more into the second folder: the list does not grow.
    EXPECT_EQ(1u, Install(0x999, "Newcomer", second));
    const std::string list = Column(0x999, "uninstall");
    EXPECT_EQ(list.find(Utf8(L"D" + second + L";")), list.rfind(Utf8(L"D" + second + L";"))) << list;
    EXPECT_EQ(10u, Uninstall(0x999));
    EXPECT_FALSE(PathExists(first));
    EXPECT_FALSE(PathExists(second));
    EXPECT_EQ(10u, Query(0x999));
    EXPECT_FALSE(PathExists(KnownFolder(FOLDERID_Desktop) + L"\\Newcomer.lnk"));
}

// Read-only files go; a file held open stays listed, and the next
// uninstall finishes. An older installer's product, once uninstalled,
// is not carried over again.
TEST_F(UninstallTest, WhatCannotGoYetStaysListed)
{
    AddGame(420, "Held");
    const std::wstring target = work_.File(L"Held");
    EXPECT_EQ(1u, Install(420, "Held", target));
    const std::wstring readOnly = target + L"\\game\\level.dat";
    ASSERT_TRUE(SetFileAttributesW(readOnly.c_str(), FILE_ATTRIBUTE_READONLY));
    const std::wstring held = target + L"\\ident420.ico";
    HANDLE open = CreateFileW(held.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, open);
    EXPECT_EQ(10u, Uninstall(420));
    EXPECT_FALSE(PathExists(readOnly));
    EXPECT_TRUE(PathExists(held));
    EXPECT_EQ(Utf8(L"D" + target + L";"), Column(420, "uninstall"));
    EXPECT_EQ("NULL", Column(420, "inst"));
    EXPECT_EQ(10u, Query(420));
    CloseHandle(open);
    EXPECT_EQ(10u, Uninstall(420));
    EXPECT_FALSE(PathExists(target));
    EXPECT_EQ("NULL", Column(420, "uninstall"));

    const std::wstring folder = work_.File(L"Old Gamma");
    CreateDirectoryW(folder.c_str(), nullptr);
    testfiles::WriteOlderSettings(folder, "productname=Gamma\r");
    WriteFileBytes(folder + L"\\affiliate.txt", "45678");
    SetFileAttributesW((folder + L"\\settings.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\UninstVendor\\Products\\Product42", 0,
                                             nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
    RegSetValueExW(key, L"Dir", 0, REG_SZ, reinterpret_cast<const BYTE*>(folder.c_str()),
                   static_cast<DWORD>((folder.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
    AddGame(42, "Gamma");
    EXPECT_EQ(10u, Run(L"e 1"));
    EXPECT_EQ("1", Column(42, "type"));
    EXPECT_EQ(10u, Uninstall(42));
    EXPECT_FALSE(PathExists(folder));
    EXPECT_EQ(10u, Run(L"e 1"));
    EXPECT_EQ("2", Column(42, "type"));
    EXPECT_EQ("NULL", Column(42, "inst"));
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\UninstVendor");
}

// Shortcuts of the same name that are not the game's (the user's own,
// another installed game's) are neither overwritten nor deleted.
TEST_F(UninstallTest, OnlyTheGamesOwnShortcutsGo)
{
    const std::wstring desktop = KnownFolder(FOLDERID_Desktop);
    const std::wstring users = desktop + L"\\Alpha.lnk";
    ASSERT_TRUE(MakeShortcut(users, L"C:\\windows\\notepad.exe"));
    cleanUp_.push_back(users);
    AddGame(430, "Alpha");
    AddGame(431, "Alpha");
    EXPECT_EQ(1u, Install(430, "Alpha", work_.File(L"Alpha1")));
    EXPECT_EQ(1u, Install(431, "Alpha", work_.File(L"Alpha2")));
    const std::wstring second = desktop + L"\\Alpha (2).lnk";
    const std::wstring third = desktop + L"\\Alpha (3).lnk";
    cleanUp_.push_back(second);
    cleanUp_.push_back(third);
    EXPECT_EQ(L"c:\\windows\\notepad.exe", Lower(ReadShortcut(users).target));
    EXPECT_EQ(L"r 1ae v 0", ReadShortcut(second).arguments);
    EXPECT_EQ(L"r 1af v 0", ReadShortcut(third).arguments);

    // A list that names the user's shortcut and the other game's.
    {
        CatalogFile catalog(CatalogPath());
        catalog.ExecWithText("update games set uninstall=uninstall||?1 where id=430",
                             L"L" + users + L";L" + third + L";");
    }
    EXPECT_EQ(10u, Uninstall(430));
    EXPECT_FALSE(PathExists(second));
    EXPECT_TRUE(ReadShortcut(users).loaded);
    EXPECT_EQ(L"r 1af v 0", ReadShortcut(third).arguments);
    EXPECT_EQ(10u, Uninstall(431));
    EXPECT_FALSE(PathExists(third));
    EXPECT_TRUE(ReadShortcut(users).loaded);
}

// Targets the uninstall list cannot hold are refused; a "\\?\" target is
// stored without its prefix and removed by the uninstall.
TEST_F(UninstallTest, TargetsTheListCannotHoldAreRefused)
{
    AddGame(440, "Rel");
    const std::wstring package = MakePackage(440, "Rel");
    wchar_t current[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, current);
    for (const std::wstring& target : {std::wstring(L"RelGame"), std::wstring(L"\\RelGame"),
                                       std::wstring(L"C:RelGame"), work_.File(L"Semi;Colon")}) {
        SCOPED_TRACE(Utf8(target));
        EXPECT_EQ(2u, Run(L"i \"" + package + L"\" w \"" + target + L"\" v 1"));
        EXPECT_FALSE(PathExists(dir_.File(L"RelGame")));
        EXPECT_FALSE(PathExists(std::wstring(current) + L"\\RelGame"));
        EXPECT_FALSE(PathExists(work_.File(L"Semi;Colon")));
        EXPECT_EQ("NULL", Column(440, "inst"));
    }
    const std::wstring target = work_.File(L"Prefixed");
    EXPECT_EQ(1u, Run(L"i \"" + package + L"\" w \"\\\\?\\" + target + L"\" v 1"));
    EXPECT_EQ(Utf8(target), Column(440, "path"));
    EXPECT_EQ(10u, Uninstall(440));
    EXPECT_FALSE(PathExists(target));
}

// Another brand's menu folder for the same game stays while that brand
// lists the game as installed: this brand's install neither reuses nor
// removes it (though it bears the name of the folders older installers
// made), and this brand's uninstall leaves it alone.
TEST_F(UninstallTest, AnotherBrandsMenuFolderStays)
{
    ASSERT_TRUE(PrepareSecondBrand());
    const std::wstring menu = KnownFolder(FOLDERID_Programs) + L"\\Test Games";
    const std::wstring folder = menu + L"\\zeta";
    cleanUp_.push_back(KnownFolder(FOLDERID_Desktop) + L"\\zeta.lnk");
    cleanUp_.push_back(KnownFolder(FOLDERID_Desktop) + L"\\zeta (2).lnk");
    const std::wstring package = MakePackage(450, "zeta", "zeta");
    {
        CatalogFile catalog(SecondCatalogPath());
        catalog.Exec("insert into games(id, name, type, show) values(450, 'zeta', 2, 1)");
    }
    EXPECT_EQ(1u, RunSecond(L"i \"" + package + L"\" w \"" + work_.File(L"Second") + L"\""));
    ASSERT_TRUE(ReadShortcut(folder + L"\\zeta.lnk").loaded);

    AddGame(450, "zeta");
    EXPECT_EQ(1u, Run(L"i \"" + package + L"\" w \"" + work_.File(L"First") + L"\" v 1"));
    const std::wstring target = Lower(ReadShortcut(folder + L"\\zeta.lnk").target);
    EXPECT_EQ(L"quivzel.exe", target.substr(target.rfind(L'\\') + 1));
    EXPECT_EQ(10u, Uninstall(450));
    EXPECT_TRUE(ReadShortcut(folder + L"\\zeta.lnk").loaded);
    EXPECT_EQ(3u, RunSecond(L"z 1c2"));
    EXPECT_EQ(10u, RunSecond(L"u 1c2 e 1"));
    EXPECT_FALSE(PathExists(folder));
    DeleteFileW(SecondCatalogPath().c_str());
}
