// The bookkeeping around installed games, seen from the catalog rows and
// the files on disk: registering, launching, uninstalling, and reading the
// settings of older installations. The catalog here is a database of the
// test's own with the games columns these operations touch.

#include <gtest/gtest.h>

#include "install/installer.h"
#include "install/launch.h"
#include "install/olderproducts.h"
#include "install/uninstall.h"
#include "driver.h"
#include "testcatalog.h"
#include "testfiles.h"

#include <sqlite3.h>

#include <ctime>

using testcatalog::CatalogFile;
using testcatalog::LaunchRecord;
using zeltest::PathExists;
using zeltest::ReadFileBytes;
using zeltest::TempDir;
using zeltest::WriteFileBytes;

namespace {

class RecordsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        catalog_.Exec("create table games(id integer primary key not null, ident varchar(64), "
                      "name varchar(256), desc text, release integer, rating real, afl integer, dwn integer, "
                      "inst integer, exec varchar(128), updn integer default'1', type integer default'2', "
                      "show integer, uninstall text, size integer, path varchar(512), act integer, "
                      "runs integer, custom text, price integer default'0', brand text, "
                      "old_id integer default'0', utm text, track integer default 0)");
    }

    TempDir scratch_{L"rec"};
    CatalogFile catalog_{scratch_.File(L"catalog.db"), CatalogFile::Open::CreateIfMissing};
};

}  // namespace

TEST_F(RecordsTest, UninstallListDeletesFoldersFilesAndSkipsTheRest)
{
    const std::wstring game = scratch_.File(L"Game");
    CreateDirectoryW(game.c_str(), nullptr);
    CreateDirectoryW((game + L"\\sub").c_str(), nullptr);
    WriteFileBytes(game + L"\\sub\\a.txt", "a");
    const std::wstring link = scratch_.File(L"Game.lnk");
    WriteFileBytes(link, "link");
    const std::wstring menu = scratch_.File(L"Menu");
    CreateDirectoryW(menu.c_str(), nullptr);
    WriteFileBytes(menu + L"\\Game.lnk", "link");
    const std::wstring spared = scratch_.File(L"Spared");
    CreateDirectoryW(spared.c_str(), nullptr);
    const std::wstring lower = scratch_.File(L"lower.txt");
    WriteFileBytes(lower, "x");

    std::wstring list = L"D" + game + L";;X" + spared + L";L" + scratch_.File(L"missing.lnk") + L";L" + link +
                        L";L" + menu + L";l" + lower + L";";
    EXPECT_TRUE(DeleteUninstallList(list.c_str()));
    EXPECT_FALSE(PathExists(game));
    EXPECT_FALSE(PathExists(link));
    EXPECT_FALSE(PathExists(menu));
    EXPECT_FALSE(PathExists(lower));
    EXPECT_TRUE(PathExists(spared));
    EXPECT_FALSE(DeleteUninstallList(nullptr));
}

// Lists come from installers and the registry. A folder entry whose path is
// not a full one deletes nothing: it would name whatever folder the
// uninstalling process stands in.
TEST_F(RecordsTest, UninstallListLeavesRelativePathsAlone)
{
    const std::wstring work = scratch_.File(L"Work");
    CreateDirectoryW(work.c_str(), nullptr);
    CreateDirectoryW((work + L"\\Game").c_str(), nullptr);
    WriteFileBytes(work + L"\\Game\\qmgame.exe", "MZ");
    WriteFileBytes(work + L"\\user.txt", "keep");

    wchar_t previous[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, previous);
    ASSERT_TRUE(SetCurrentDirectoryW(work.c_str()));
    EXPECT_TRUE(DeleteUninstallList(L"DGame;LGame;d.;D.\\Game;LGame\\..;"));
    SetCurrentDirectoryW(previous);
    EXPECT_EQ("keep", ReadFileBytes(work + L"\\user.txt"));
    EXPECT_TRUE(PathExists(work + L"\\Game\\qmgame.exe"));

    // The same folder by its full path goes, by any of its spellings.
    EXPECT_TRUE(DeleteUninstallList((L"D" + work + L"\\.\\Game\\;").c_str()));
    EXPECT_FALSE(PathExists(work + L"\\Game"));
    EXPECT_EQ("keep", ReadFileBytes(work + L"\\user.txt"));
}

TEST_F(RecordsTest, UninstallResetsTheRowAndDeletesWhatTheStoredListNamed)
{
    const std::wstring game = scratch_.File(L"Game");
    CreateDirectoryW(game.c_str(), nullptr);
    WriteFileBytes(game + L"\\qmgame.exe", "MZ");
    catalog_.Exec("insert into games(id, name, type, afl, inst, exec, runs, price, show) "
                  "values(5, 'Five', 1, 30001, 1700000000, 'x.exe', 3, 99, 1)");
    catalog_.ExecWithText("update games set path=?1, uninstall=?1 where id=5", L"D" + game + L";L;L;");
    EXPECT_TRUE(UninstallGameIn(catalog_.get(), 5));
    EXPECT_FALSE(PathExists(game));
    EXPECT_EQ("2", catalog_.Column(5, "type"));
    for (const char* column : {"afl", "path", "inst", "exec", "uninstall", "runs"})
        EXPECT_EQ("NULL", catalog_.Column(5, column)) << column;
    EXPECT_EQ("0", catalog_.Column(5, "price"));
    EXPECT_EQ("Five", catalog_.Column(5, "name"));

    // No list: the row is reset all the same.
    catalog_.Exec("insert into games(id, type, inst, price) values(6, 1, 1700000000, 5)");
    EXPECT_FALSE(UninstallGameIn(catalog_.get(), 6));
    EXPECT_EQ("2", catalog_.Column(6, "type"));
    EXPECT_EQ("NULL", catalog_.Column(6, "inst"));
    // No row: nothing happens.
    EXPECT_FALSE(UninstallGameIn(catalog_.get(), 7));
    EXPECT_EQ("<no row>", catalog_.Column(7, "type"));

    // An id above 2147483647 (stored unsigned) is reset like any other.
    const std::wstring big = scratch_.File(L"Big");
    CreateDirectoryW(big.c_str(), nullptr);
    catalog_.Exec("insert into games(id, type, inst, path) values(3000000000, 1, 1700000000, 'x')");
    catalog_.ExecWithText("update games set uninstall=?1 where id=3000000000", L"D" + big);
    EXPECT_TRUE(UninstallGameIn(catalog_.get(), static_cast<int32_t>(3000000000u)));
    EXPECT_FALSE(PathExists(big));
    EXPECT_EQ("2", catalog_.Column(3000000000u, "type"));
    EXPECT_EQ("NULL", catalog_.Column(3000000000u, "path"));
}

TEST_F(RecordsTest, LaunchStartsQmgameInItsGameFolderWaitsAndCounts)
{
    const std::wstring game = scratch_.File(L"Alpha");
    CreateDirectoryW(game.c_str(), nullptr);
    CreateDirectoryW((game + L"\\game").c_str(), nullptr);
    ASSERT_TRUE(CopyFileW((zeltest::TestExeDir() + L"\\qmgame.exe").c_str(), (game + L"\\game\\qmgame.exe").c_str(),
                          FALSE));
    WriteFileBytes(game + L"\\game\\stay.txt", "700");
    catalog_.Exec("insert into games(id, type, exec) values(9, 1, 'elsewhere.exe')");
    catalog_.ExecWithText("update games set path=?1 where id=9", game);

    DWORD start = GetTickCount();
    EXPECT_TRUE(LaunchGameIn(catalog_.get(), 9));
    EXPECT_GE(GetTickCount() - start, 600u) << "returns only once the game has ended";
    EXPECT_EQ(LaunchRecord(game), ReadFileBytes(game + L"\\game\\launched.txt"));
    EXPECT_EQ("1", catalog_.Column(9, "runs"));
    DeleteFileW((game + L"\\game\\stay.txt").c_str());
    EXPECT_TRUE(LaunchGameIn(catalog_.get(), 9));
    EXPECT_EQ("2", catalog_.Column(9, "runs"));

    // Not installed, no row, no path, a path too long: nothing starts.
    DeleteFileW((game + L"\\game\\launched.txt").c_str());
    catalog_.Exec("update games set type=2 where id=9");
    EXPECT_FALSE(LaunchGameIn(catalog_.get(), 9));
    EXPECT_FALSE(LaunchGameIn(catalog_.get(), 10));
    catalog_.Exec("insert into games(id, type) values(11, 1)");
    EXPECT_FALSE(LaunchGameIn(catalog_.get(), 11));
    catalog_.ExecWithText("update games set path=?1 where id=11", game + L"\\" + std::wstring(1020 - game.size() - 1, L'x'));
    EXPECT_FALSE(LaunchGameIn(catalog_.get(), 11));
    EXPECT_FALSE(PathExists(game + L"\\game\\launched.txt"));
    EXPECT_EQ("2", catalog_.Column(9, "runs"));
}

TEST_F(RecordsTest, RegistrationWritesTheRowOfAnInstalledJobOnly)
{
    catalog_.Exec("insert into games(id, type, dwn, act, afl, price) values(42, 2, 7, 8, 1, 1)");
    InstallJob job;
    job.state = kJobInstalled;
    job.gameId = 42;
    job.installDir = L"C:\\Games\\Alpha";
    job.execPath = L"C:\\Games\\Alpha\\game\\qmgame.exe";
    job.desktopLink = L"C:\\Desktop\\Alpha.lnk";
    job.menuEntry = L"C:\\Menu\\Games;Fun\\Alpha.lnk";  // a ";" would split the list
    job.release = 3;
    job.price = 150;
    job.affiliate = 0xFFFFFFF0;
    job.track = 12;
    job.utm = L"spring";
    job.brand = L"partner";

    const long long before = static_cast<long long>(time(nullptr));
    EXPECT_EQ(kJobInstalled, RegisterInstalledGameIn(catalog_.get(), &job));
    EXPECT_EQ("1", catalog_.Column(42, "type"));
    EXPECT_EQ("C:\\Games\\Alpha", catalog_.Column(42, "path"));
    EXPECT_EQ("DC:\\Games\\Alpha;LC:\\Desktop\\Alpha.lnk;L;", catalog_.Column(42, "uninstall"));
    EXPECT_EQ("C:\\Games\\Alpha\\game\\qmgame.exe", catalog_.Column(42, "exec"));
    EXPECT_EQ("3", catalog_.Column(42, "release"));
    EXPECT_EQ("4294967280", catalog_.Column(42, "afl"));
    EXPECT_EQ("150", catalog_.Column(42, "price"));
    EXPECT_EQ("partner", catalog_.Column(42, "brand"));
    EXPECT_EQ("12", catalog_.Column(42, "track"));
    EXPECT_EQ("spring", catalog_.Column(42, "utm"));
    EXPECT_EQ("NULL", catalog_.Column(42, "dwn"));
    EXPECT_EQ("NULL", catalog_.Column(42, "act"));
    EXPECT_GE(std::stoll(catalog_.Column(42, "inst")), before);

    // Without shortcuts or optional texts: the list keeps its letters, the
    // columns become NULL.
    InstallJob bare;
    bare.state = kJobInstalled;
    bare.gameId = 42;
    bare.installDir = L"D:\\G";
    EXPECT_EQ(kJobInstalled, RegisterInstalledGameIn(catalog_.get(), &bare));
    EXPECT_EQ("DD:\\G;L;L;", catalog_.Column(42, "uninstall"));
    EXPECT_EQ("NULL", catalog_.Column(42, "exec"));
    EXPECT_EQ("NULL", catalog_.Column(42, "utm"));

    // A failed job writes nothing. A game the catalog lacks gets its row
    // from the package; installed under an id that is not the package's
    // own, it is not registered at all.
    InstallJob failed = job;
    failed.state = 112;
    failed.installDir = L"E:\\Broken";
    EXPECT_EQ(112, RegisterInstalledGameIn(catalog_.get(), &failed));
    EXPECT_EQ("D:\\G", catalog_.Column(42, "path"));
    job.gameId = 43;
    job.packageGameId = 43;
    job.ident = L"alpha";
    job.name = L"Alpha";
    EXPECT_EQ(kJobInstalled, RegisterInstalledGameIn(catalog_.get(), &job));
    EXPECT_EQ("alpha", catalog_.Column(43, "ident"));
    EXPECT_EQ("Alpha", catalog_.Column(43, "name"));
    EXPECT_EQ("1", catalog_.Column(43, "type"));
    EXPECT_EQ("C:\\Games\\Alpha", catalog_.Column(43, "path"));
    job.gameId = 44;
    EXPECT_EQ(kJobRegisterFailed, RegisterInstalledGameIn(catalog_.get(), &job));
    EXPECT_EQ(kJobRegisterFailed, RegisterInstalledGameIn(nullptr, &job));
}

TEST_F(RecordsTest, OlderSettingsGiveTheProductNameAndAffiliate)
{
    const std::wstring folder = scratch_.path();
    auto read = [&](OlderProduct* product) { return ReadProductSettingsFile(folder.c_str(), product); };

    testfiles::WriteOlderSettings(folder, "lang=ru\rproductname=Alpha\rversion=2\r");
    WriteFileBytes(folder + L"\\affiliate.txt", "45678");
    OlderProduct product;
    ASSERT_TRUE(read(&product));
    EXPECT_EQ(L"Alpha", product.productName.value_or(L"<null>"));
    EXPECT_EQ(45678u, product.affiliate);

    // Small numbers are raised; a trailing newline is a character too.
    WriteFileBytes(folder + L"\\affiliate.txt", "123");
    ASSERT_TRUE(read(&product));
    EXPECT_EQ(30000u, product.affiliate);
    WriteFileBytes(folder + L"\\affiliate.txt", "40000\n");
    ASSERT_TRUE(read(&product));
    EXPECT_EQ(400000u - 38u, product.affiliate);

    // The first non-empty productname line counts.
    testfiles::WriteOlderSettings(folder, "productname=\rx=1\rproductname=Beta");
    ASSERT_TRUE(read(&product));
    EXPECT_EQ(L"Beta", product.productName.value_or(L"<null>"));

    // A key without "=", a name that would leave its menu folder, no
    // affiliate file, a settings file too short: nothing to carry over.
    testfiles::WriteOlderSettings(folder, "productname Alpha\r");
    EXPECT_FALSE(read(&product));
    testfiles::WriteOlderSettings(folder, "productname=..\r");
    EXPECT_FALSE(read(&product));
    testfiles::WriteOlderSettings(folder, "productname=Alpha;DC:\\\r");
    EXPECT_FALSE(read(&product));
    testfiles::WriteOlderSettings(folder, "productname=Alpha\r");
    DeleteFileW((folder + L"\\affiliate.txt").c_str());
    EXPECT_FALSE(read(&product));
    WriteFileBytes(folder + L"\\affiliate.txt", "45678");
    WriteFileBytes(folder + L"\\settings.txt", "ab");
    EXPECT_FALSE(read(&product));
}
