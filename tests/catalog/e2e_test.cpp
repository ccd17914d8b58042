// The real program driven as installers drive it: the catalog switches t,
// a, b (with n and v), z and e, their exit codes and the catalog file
// afterwards, and two processes on one catalog.

#include "catalog/sqlfunctions.h"
#include "driver.h"
#include "testdb.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace testing_catalog;
using ::testing::ElementsAre;
using zeltest::RunZel;
using zeltest::ZelProcess;

namespace {

constexpr DWORD kQueryFailed = static_cast<DWORD>(-1);

class CatalogSwitches : public ::testing::Test {
protected:
    void SetUp() override
    {
        // The program finds its catalog under %APPDATA%, which it inherits
        // from this process: a folder of a user called O'Brien.
        appData_ = appDataDir_.path();
        SetEnvironmentVariableW(L"APPDATA", appData_.c_str());
    }

    std::optional<DWORD> Run(const std::wstring& switches, const wchar_t* exeName = L"zel.exe")
    {
        return RunZel(exeDir_.path(), exeName, switches);
    }
    std::wstring Catalog(const wchar_t* fileName = L"base.db") const { return appData_ + L"\\" + fileName; }

    // Lets the program make its catalog (a query opens it), then writes
    // rows into it with the catalog's functions at hand (its triggers call
    // them).
    void SeedCatalog(const std::string& sql, const wchar_t* exeName = L"zel.exe",
                     const wchar_t* fileName = L"base.db")
    {
        ASSERT_EQ(10u, Run(L"z 0", exeName));
        TestDb db(Catalog(fileName));
        RegisterCatalogFunctions(db.get());
        db.Exec(sql);
    }

    // An import database in a download folder.
    std::wstring MakeImport(const std::wstring& name, const std::string& sql)
    {
        std::wstring path = importDir_.File(name);
        TestDb db(path);
        db.Exec(sql);
        return path;
    }

    zeltest::TempDir exeDir_{L"catalog-e2e"};
    TempDir appDataDir_{L"O'Brien"};
    TempDir importDir_{L"Downloads"};
    std::wstring appData_;
};

std::wstring Quoted(const std::wstring& text)
{
    return L"\"" + text + L"\"";
}

}  // namespace

TEST_F(CatalogSwitches, ThemeNameIsStoredExactly)
{
    EXPECT_EQ(12u, Run(L"t \"O'Neil's theme\" e 1"));
    DWORD attributes = GetFileAttributesW(Catalog().c_str());
    ASSERT_NE(INVALID_FILE_ATTRIBUTES, attributes);
    EXPECT_TRUE(attributes & FILE_ATTRIBUTE_HIDDEN);
    TestDb db(Catalog());
    EXPECT_EQ("O'Neil's theme", db.Text("select val from opt where var='theme'"));

    db.Close();
    EXPECT_EQ(12u, Run(L"t classic a 1f e 1"));
    db.Open(Catalog());
    EXPECT_EQ("classic", db.Text("select val from opt where var='theme'"));
    EXPECT_EQ("31", db.Text("select val from opt where var='affiliate'"));

    db.Close();
    EXPECT_EQ(10u, Run(L"a 2a e 1"));
    db.Open(Catalog());
    EXPECT_EQ("42", db.Text("select val from opt where var='affiliate'"));
    EXPECT_EQ(1, db.Int("select count(*) from opt where var='affiliate'"));
}

TEST_F(CatalogSwitches, ImportForTheOlderNumberingNeedsV)
{
    std::wstring import = MakeImport(L"import.db",
                                     "create table games(id integer primary key,name text,show integer);"
                                     "insert into games values(40,'Forty',1),(41,'Forty-one',0);"
                                     "create table zelsql(q text);"
                                     "insert into zelsql values('insert into news(id) values(''n1'')');");
    EXPECT_EQ(11u, Run(L"b " + Quoted(import) + L" e 1"));
    // Nothing needed the catalog: the file is there, still empty.
    EXPECT_TRUE(PathExists(Catalog()));
    EXPECT_EQ("", zeltest::ReadFileBytes(Catalog()));

    // The last code-setting switch wins: t then b ends with 11.
    EXPECT_EQ(11u, Run(L"t classic b " + Quoted(import) + L" v 1 e 1"));
    TestDb db(Catalog());
    EXPECT_THAT(db.Column("select id||':'||name||':'||show from games order by id"),
                ElementsAre("40:Forty:1", "41:Forty-one:0"));
    EXPECT_EQ(1, db.Int("select count(*) from news where id='n1'"));
    EXPECT_EQ("classic", db.Text("select val from opt where var='theme'"));
}

TEST_F(CatalogSwitches, RenumberingRunsOnceBeforeTheMerge)
{
    SeedCatalog("insert into games(id,name,inst,path,show) values(3,'Three',1600000000,'C:\\Games\\Three',1)");
    std::wstring newer = MakeImport(L"newer.db",
                                    "create table games(id integer primary key,old_id integer,name text,show integer);"
                                    "insert into games values(7,3,'Seven',1),(8,0,'Eight',1);");
    EXPECT_EQ(11u, Run(L"b " + Quoted(newer) + L" n 1 v 1 e 1"));
    TestDb db(Catalog());
    RegisterCatalogFunctions(db.get());
    EXPECT_THAT(db.Column("select id||':'||name||':'||old_id||':'||ifnull(inst,'-')||':'||ifnull(path,'-') "
                          "from games order by id"),
                ElementsAre("7:Seven:3:1600000000:C:\\Games\\Three", "8:Eight:0:-:-"));
    EXPECT_EQ("1", db.Text("select val from opt where var='newdb'"));

    // Renumbered once only: a second run with n merges and renumbers nothing.
    db.Exec("insert into games(id,name) values(3,'Another three')");
    db.Close();
    EXPECT_EQ(11u, Run(L"b " + Quoted(newer) + L" n 1 v 1 e 1"));
    db.Open(Catalog());
    EXPECT_THAT(db.Column("select id from games order by id"), ElementsAre("3", "7", "8"));
}

TEST_F(CatalogSwitches, OtherBrandsImportWithoutV)
{
    std::wstring import = MakeImport(L"import.db",
                                     "create table games(id integer primary key,name text,show integer,old_id integer);"
                                     "insert into games values(50,'Fifty',1,5);");
    EXPECT_EQ(11u, Run(L"b " + Quoted(import) + L" e 1", L"zel_en.exe"));
    TestDb db(Catalog(L"base_en.db"));
    std::vector<std::string> columns = db.Columns("games");
    EXPECT_EQ(columns.end(), std::find(columns.begin(), columns.end(), "old_id"));
    // The import's old_id has no column to go to: the full row fails, the
    // game stands with its bare id, and nothing else breaks.
    EXPECT_THAT(db.Column("select id||':'||ifnull(name,'-') from games"), ElementsAre("50:-"));
    db.Close();

    import = MakeImport(L"import2.db", "create table games(id integer primary key,name text,show integer);"
                                       "insert into games values(50,'Fifty',1);");
    EXPECT_EQ(11u, Run(L"b " + Quoted(import) + L" e 1", L"zel_en.exe"));
    db.Open(Catalog(L"base_en.db"));
    EXPECT_EQ("Fifty", db.Text("select name from games where id=50"));
    EXPECT_FALSE(PathExists(Catalog()));
}

TEST_F(CatalogSwitches, InstalledQuery)
{
    // Game 3 of the older numbering is installed; game 7 arrived from a
    // newer catalog and carries 3 as its old id.
    SeedCatalog("insert into games(id,name,inst,old_id) values(3,'Three',1600000000,0),(7,'Seven',null,3),"
                "(9,'Nine',1,9)");
    EXPECT_EQ(3u, Run(L"z 9"));
    EXPECT_EQ(10u, Run(L"z 3"));
    EXPECT_EQ(10u, Run(L"z 7"));
    EXPECT_EQ(10u, Run(L"z 3 e 1"));

    // The current numbering on a catalog not yet renumbered needs the
    // mapping database, which must exist.
    EXPECT_EQ(kQueryFailed, Run(L"z 7 v 1"));
    std::wstring missing = importDir_.File(L"missing.db");
    EXPECT_EQ(kQueryFailed, Run(L"z 7 v 1 b " + Quoted(missing)));
    EXPECT_FALSE(PathExists(missing));
    std::wstring mapping = MakeImport(L"O'Brien's map.db", "create table games(id integer, old_id integer)");
    EXPECT_EQ(3u, Run(L"z 7 v 1 b " + Quoted(mapping)));

    {
        TestDb db(Catalog());
        RegisterCatalogFunctions(db.get());
        db.Exec("insert or replace into opt(var,val) values('newdb','1')");
    }
    EXPECT_EQ(10u, Run(L"z 7 v 1"));
    EXPECT_EQ(3u, Run(L"z 3 v 1"));
}

TEST_F(CatalogSwitches, InstalledQueryOfOtherBrands)
{
    SeedCatalog("insert into games(id,name,inst) values(5,'Five',1600000000),(6,'Six',null)", L"zel_en.exe",
                L"base_en.db");
    EXPECT_EQ(3u, Run(L"z 5", L"zel_en.exe"));
    EXPECT_EQ(10u, Run(L"z 6", L"zel_en.exe"));
    EXPECT_EQ(10u, Run(L"z 77", L"zel_en.exe"));
}

TEST_F(CatalogSwitches, UnreadableCatalogAnswersNotInstalled)
{
    std::string junk(4096, 'j');
    ASSERT_TRUE(zeltest::WriteFileBytes(Catalog(), junk));
    EXPECT_EQ(10u, Run(L"z 3"));
    EXPECT_EQ(12u, Run(L"t classic e 1"));
    EXPECT_EQ(junk, zeltest::ReadFileBytes(Catalog()));
}

TEST_F(CatalogSwitches, EndClosesTheCatalog)
{
    EXPECT_EQ(10u, Run(L"e 1"));
    // Nothing holds the file any more.
    SetFileAttributesW(Catalog().c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_TRUE(DeleteFileW(Catalog().c_str()));
}

// While this process holds the catalog's write lock, the program waits in
// 50 ms steps and finishes its work once the lock is gone.
TEST_F(CatalogSwitches, SecondProcessWaitsForTheWriteLock)
{
    SeedCatalog("insert into games(id,name) values(1,'One')");
    std::wstring import = MakeImport(L"import.db", "create table games(id integer primary key,name text);"
                                                   "insert into games values(60,'Sixty');");
    TestDb holder(Catalog());
    RegisterCatalogFunctions(holder.get());
    holder.Exec("begin immediate");
    holder.Exec("insert into games(id,name) values(2,'Two')");

    ZelProcess importing;
    ASSERT_TRUE(importing.Start(exeDir_.path(), L"zel.exe", L"b " + Quoted(import) + L" v 1 e 1"));
    ZelProcess theming;
    ASSERT_TRUE(theming.Start(exeDir_.path(), L"zel.exe", L"t \"it's mine\" e 1"));
    EXPECT_FALSE(importing.Wait(1500));
    EXPECT_TRUE(theming.Running());
    holder.Exec("commit");

    EXPECT_EQ(11u, importing.Wait());
    EXPECT_EQ(12u, theming.Wait());
    EXPECT_THAT(holder.Column("select id||':'||name from games order by id"),
                ElementsAre("1:One", "2:Two", "60:Sixty"));
    EXPECT_EQ("it's mine", holder.Text("select val from opt where var='theme'"));
}

TEST_F(CatalogSwitches, TwoImportsAtOnceBothLand)
{
    ASSERT_EQ(10u, Run(L"e 1"));
    std::string first = "create table games(id integer primary key,name text);";
    std::string second = first;
    for (int i = 0; i < 300; ++i) {
        first += "insert into games values(" + std::to_string(1000 + i) + ",'a" + std::to_string(i) + "');";
        second += "insert into games values(" + std::to_string(2000 + i) + ",'b" + std::to_string(i) + "');";
    }
    std::wstring a = MakeImport(L"a.db", first);
    std::wstring b = MakeImport(L"b.db", second);
    ZelProcess one;
    ZelProcess two;
    ASSERT_TRUE(one.Start(exeDir_.path(), L"zel.exe", L"b " + Quoted(a) + L" v 1 e 1"));
    ASSERT_TRUE(two.Start(exeDir_.path(), L"zel.exe", L"b " + Quoted(b) + L" v 1 e 1"));
    EXPECT_EQ(11u, one.Wait(60000));
    EXPECT_EQ(11u, two.Wait(60000));
    TestDb db(Catalog());
    EXPECT_EQ(600, db.Int("select count(*) from games"));
}

namespace {

// Runs an interactive start that stops at a start-up error: the box's text
// and the exit code.
struct StoppedStart {
    std::wstring boxText;
    std::optional<DWORD> code;
};

StoppedStart RunUntilStartupError(const std::wstring& dir, const std::wstring& switches)
{
    StoppedStart result;
    ZelProcess process;
    if (!process.Start(dir, L"zel.exe", switches))
        return result;
    std::optional<zeltest::MessageBoxInfo> box = zeltest::WaitForMessageBox(process.Id(), 20000);
    if (box) {
        result.boxText = box->text;
        zeltest::DismissMessageBox(box->window);
    }
    result.code = process.Wait();
    if (!result.code)
        process.Kill();
    return result;
}

}  // namespace

// The selection of switch r is stored before the theme loads; this
// catalog has no theme, so each start then stops with the theme error.
TEST_F(CatalogSwitches, SelectedGameIsRememberedWhenShown)
{
    SeedCatalog("insert into games(id,name,show,old_id) values(5,'Five',1,0),(6,'Six',0,0),(7,'Seven',1,3)");
    StoppedStart run = RunUntilStartupError(exeDir_.path(), L"r 5 v 1");
    EXPECT_NE(std::wstring::npos, run.boxText.find(L"Cannot load theme.")) << Utf8(run.boxText);
    EXPECT_EQ(4u, run.code);
    TestDb db(Catalog());
    EXPECT_EQ("5", db.Text("select val from opt where var='lastselectgame'"));
    db.Close();

    EXPECT_EQ(4u, RunUntilStartupError(exeDir_.path(), L"r 6 v 1").code);  // hidden: not stored
    db.Open(Catalog());
    EXPECT_EQ("5", db.Text("select val from opt where var='lastselectgame'"));
    db.Close();

    EXPECT_EQ(4u, RunUntilStartupError(exeDir_.path(), L"r 3").code);  // older numbering
    db.Open(Catalog());
    EXPECT_EQ("7", db.Text("select val from opt where var='lastselectgame'"));
}

TEST_F(CatalogSwitches, StartupStopsWhenTheCatalogCannotOpen)
{
    ASSERT_TRUE(zeltest::WriteFileBytes(Catalog(), std::string(4096, 'j')));
    StoppedStart run = RunUntilStartupError(exeDir_.path(), L"");
    EXPECT_NE(std::wstring::npos, run.boxText.find(L"Cannot open database.")) << Utf8(run.boxText);
    EXPECT_EQ(4u, run.code);
}
