// The catalog connection on real files under %APPDATA%: creation,
// migration of older catalogs, trigger rebuilding, the custom SQL
// functions as the page hooks see them, the option store, the game
// records and the lookups keyed by theme names and paths.

#include "catalog/catalog.h"
#include "catalog/games.h"
#include "catalog/merge.h"
#include "catalog/options.h"
#include "catalog/schema.h"
#include "catalog/sqlfunctions.h"
#include "catalog/themes.h"
#include "catalogfixture.h"
#include "shell/maintenance.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <ctime>
#include <map>
#include <set>
#include <thread>

using namespace testing_catalog;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace {

const std::vector<std::string> kBrandZeroGameColumns = {
    "id", "ident", "name", "desc", "release", "rating", "afl", "dwn", "inst", "exec", "updn",
    "type", "show", "uninstall", "size", "path", "url", "dst", "act", "icnsml", "runs",
    "purchased_time", "custom", "price", "brand", "old_id", "utm", "itunes_id", "itunes_id_free",
    "itunes_id_ipad", "itunes_id_ipad_free", "track"};

bool Contains(const std::vector<std::string>& list, const std::string& item)
{
    return std::find(list.begin(), list.end(), item) != list.end();
}

}  // namespace

// ---------------------------------------------------------------------------
// Path, open, schema
// ---------------------------------------------------------------------------

TEST_F(CatalogTest, PathLiesUnderAppDataAndTheFileIsMadeHidden)
{
    EXPECT_EQ(Utf8(file_), GetCatalogDbPath());
    DWORD attributes = CatalogFileAttributesWhenMade();
    ASSERT_NE(INVALID_FILE_ATTRIBUTES, attributes);
    EXPECT_TRUE(attributes & FILE_ATTRIBUTE_HIDDEN);
    EXPECT_FALSE(SetCatalogDbPath(L"other.db"));
    EXPECT_FALSE(SetCatalogDbPath(nullptr));
    EXPECT_EQ(Utf8(file_), GetCatalogDbPath());
    // The fixture removed the file: opening makes it again.
    ASSERT_NE(nullptr, GetCatalogDb());
    EXPECT_TRUE(PathExists(file_));
}

TEST_F(CatalogTest, NewCatalogGetsEveryTableAndTrigger)
{
    ASSERT_NE(nullptr, GetCatalogDb());
    EXPECT_THAT(Look().Column("select name from sqlite_master where type='table' order by name"),
                ElementsAre("adv", "advlog", "games", "news", "opt", "t", "themes"));
    EXPECT_THAT(Look().Column("select name from sqlite_master where type='trigger' order by name"),
                ElementsAre("on_game_insert", "on_game_update", "on_tbl_opt_update"));
    EXPECT_EQ(kBrandZeroGameColumns, Look().Columns("games"));
    EXPECT_EQ(0, Look().Int("select count(*) from t"));
    EXPECT_THAT(Look().Columns("adv"), ElementsAre("id", "w", "h", "d", "t", "s", "e", "c", "n"));
    EXPECT_THAT(Look().Columns("themes"), ElementsAre("k", "t", "v", "d"));

    // Defaults of a bare game row.
    CatalogExec("insert into games(id) values(9)");
    EXPECT_EQ("1|2|0|0|0", Look().Text("select updn||'|'||type||'|'||purchased_time||'|'||price||'|'||"
                                       "track from games where id=9"));
    EXPECT_EQ(0, Look().Int("select old_id from games where id=9"));
}

TEST_F(CatalogTest, OlderCatalogGainsMissingColumnsAndKeepsItsRows)
{
    Prepare("create table games(id integer primary key not null,ident varchar(64),name varchar(256),"
            "desc text,release integer,rating real,afl integer,dwn integer,inst integer,"
            "exec varchar(128),updn integer default'1',type integer default'2',show integer,"
            "uninstall text,size integer,path varchar(512),url text,dst text,act integer,"
            "icnsml blob,runs integer,purchased_time integer default'0',custom text);"
            "insert into games(id,name,inst,path,runs) values(3,'Old',1500000000,'C:\\Games\\Old',4);"
            "create table opt(var varchar(64)primary key,val text);"
            "insert into opt values('theme','classic');");
    ASSERT_NE(nullptr, GetCatalogDb());
    std::vector<std::string> columns = Look().Columns("games");
    for (const char* added : {"price", "brand", "old_id", "utm", "itunes_id", "itunes_id_ipad_free", "track"})
        EXPECT_TRUE(Contains(columns, added)) << added;
    EXPECT_EQ("Old|1500000000|C:\\Games\\Old|4|0|0|0",
              Look().Text("select name||'|'||inst||'|'||path||'|'||runs||'|'||price||'|'||track||'|'||"
                          "old_id from games where id=3"));
    EXPECT_EQ("classic", Look().Text("select val from opt where var='theme'"));

    // A second open changes nothing more.
    std::string schema = Look().Text("select group_concat(sql,';') from sqlite_master").value_or("");
    Look().Close();
    ASSERT_TRUE(CloseCatalogDb());
    ASSERT_NE(nullptr, GetCatalogDb());
    EXPECT_EQ(schema, Look().Text("select group_concat(sql,';') from sqlite_master").value_or(""));
    EXPECT_EQ(columns, Look().Columns("games"));
}

// A run that only reads (the installed query) leaves a current catalog's
// bytes as they were; an older one is brought up to date as by any open.
TEST_F(CatalogTest, OpenForReadingWritesNothingUnlessTheSchemaIsOlder)
{
    CatalogExec("insert into games(id,name,inst) values(3,'Three',1600000000)");
    ASSERT_TRUE(CloseCatalogDb());
    const std::string before = zeltest::ReadFileBytes(file_);
    ASSERT_TRUE(OpenCatalogForReading());
    QueryCursor cursor(GetCatalogDb());
    Statement* row = cursor.SelectGameById(3);
    ASSERT_NE(nullptr, row);
    EXPECT_EQ(1600000000, GameRecord::Inst(*row));
    cursor.Stmt().Finalize();
    ASSERT_TRUE(CloseCatalogDb());
    EXPECT_TRUE(zeltest::ReadFileBytes(file_) == before) << "a read-only run wrote the catalog";

    Look().Exec("drop trigger on_game_update");
    Look().Close();
    ASSERT_TRUE(OpenCatalogForReading());
    ASSERT_TRUE(CloseCatalogDb());
    EXPECT_THAT(Look().Column("select name from sqlite_master where type='trigger' order by name"),
                ElementsAre("on_game_insert", "on_game_update", "on_tbl_opt_update"));
    Look().Close();

    SetFileAttributesW(file_.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(file_.c_str());
    Prepare("create table games(id integer primary key not null,name varchar(256),inst integer);"
            "insert into games(id,name,inst) values(4,'Old',1500000000);");
    ASSERT_TRUE(OpenCatalogForReading());
    ASSERT_TRUE(CloseCatalogDb());
    std::vector<std::string> columns = Look().Columns("games");
    for (const char* added : {"old_id", "utm", "track"})
        EXPECT_TRUE(Contains(columns, added)) << added;
    EXPECT_EQ(1500000000, Look().Int("select inst from games where id=4"));
}

TEST_F(CatalogTest, TriggersOfAnotherBuildAreReplaced)
{
    ASSERT_NE(nullptr, GetCatalogDb());
    ASSERT_TRUE(CloseCatalogDb());
    Prepare("drop trigger on_game_insert;"
            "create trigger on_game_insert before insert on games begin insert into t(a) values('foreign');end;"
            "create trigger \"odd.name\" after insert on games begin insert into t(a) values('odd');end;");
    ASSERT_NE(nullptr, GetCatalogDb());
    EXPECT_THAT(Look().Column("select name from sqlite_master where type='trigger' order by name"),
                ElementsAre("on_game_insert", "on_game_update", "on_tbl_opt_update"));
    EXPECT_THAT(Look().Text("select sql from sqlite_master where name='on_game_insert'").value_or(""),
                HasSubstr("trggms(new.id,new.afl,"));
    CatalogExec("insert into games(id,name) values(1,'x')");
    EXPECT_THAT(Look().Column("select ifnull(a,'null') from t"), ElementsAre("null"));
}

// Another process writing the catalog while it is opened: the schema
// update waits for the write lock and then runs whole.
TEST_F(CatalogTest, OpenWaitsForAnotherWriterAndUpdatesTheWholeSchema)
{
    HANDLE locked = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::wstring file = file_;
    std::thread writer([file, locked] {
        TestDb db(file);
        db.Exec("begin immediate");
        db.Exec("create table other(x)");
        SetEvent(locked);
        Sleep(300);
        db.Exec("commit");
    });
    WaitForSingleObject(locked, INFINITE);
    CloseHandle(locked);
    sqlite3* db = GetCatalogDb();
    writer.join();
    ASSERT_NE(nullptr, db);
    EXPECT_THAT(Look().Column("select name from sqlite_master where type='table' order by name"),
                ElementsAre("adv", "advlog", "games", "news", "opt", "other", "t", "themes"));
    EXPECT_THAT(Look().Column("select name from sqlite_master where type='trigger' order by name"),
                ElementsAre("on_game_insert", "on_game_update", "on_tbl_opt_update"));
    // Asked again while open, the same connection stays.
    EXPECT_TRUE(OpenCatalogDb());
    EXPECT_EQ(db, GetCatalogDb());
}

TEST_F(CatalogTest, TriggerSinkIsEmptiedAtEveryOpen)
{
    ASSERT_NE(nullptr, GetCatalogDb());
    CatalogExec("insert or replace into opt(var,val) values('x','1')");
    EXPECT_EQ(1, Look().Int("select count(*) from t where a is null"));
    ASSERT_TRUE(CloseCatalogDb());
    ASSERT_NE(nullptr, GetCatalogDb());
    EXPECT_EQ(0, Look().Int("select count(*) from t"));
}

TEST_F(CatalogTest, CloseKeepsTheHandleWhileAStatementIsOpen)
{
    EXPECT_TRUE(CloseCatalogDb());
    sqlite3* db = GetCatalogDb();
    ASSERT_NE(nullptr, db);
    sqlite3_stmt* pending = nullptr;
    ASSERT_EQ(SQLITE_OK, sqlite3_prepare_v2(db, "select 1", -1, &pending, nullptr));
    EXPECT_FALSE(CloseCatalogDb());
    EXPECT_EQ(db, GetCatalogDb());
    sqlite3_finalize(pending);
    EXPECT_TRUE(CloseCatalogDb());
    EXPECT_TRUE(CloseCatalogDb());
}

TEST_F(CatalogTest, FileThatIsNotADatabaseDoesNotOpen)
{
    HANDLE file = CreateFileW(file_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    std::string junk(4096, 'j');
    DWORD written = 0;
    WriteFile(file, junk.data(), static_cast<DWORD>(junk.size()), &written, nullptr);
    CloseHandle(file);
    EXPECT_EQ(nullptr, GetCatalogDb());
    EXPECT_FALSE(OpenCatalogDb());
    EXPECT_FALSE(InstallCatalogHooks(RecordOptionRow, RecordGameRow, RecordGamePicture));
    EXPECT_EQ(-1, LookupThemeVersion());
}

// Brands other than 0 have neither old_id nor utm; their game triggers
// hand trggms null in the utm place.
TEST_F(CatalogTest, OtherBrandsHaveNoOldNumbering)
{
    TestDb db(CatalogFolder() + L"\\base_en.db");
    RegisterCatalogFunctions(db.get());
    UpdateCatalogSchema(db.get(), false);
    UpdateCatalogSchema(db.get(), false);
    std::vector<std::string> columns = db.Columns("games");
    EXPECT_FALSE(Contains(columns, "old_id"));
    EXPECT_FALSE(Contains(columns, "utm"));
    EXPECT_TRUE(Contains(columns, "track"));
    GameRowHook = RecordGameRow;
    db.Exec("insert into games(id,name,show) values(12,'Twelve',1)");
    db.Exec("update games set runs=2 where id=12");
    ASSERT_EQ(2u, HookCalls().size());
    EXPECT_THAT(HookCalls()[0], HasSubstr("game 12 afl=0 name=Twelve"));
    EXPECT_THAT(HookCalls()[1], HasSubstr("runs=2"));
    EXPECT_THAT(HookCalls()[1], HasSubstr("utm=<null>"));
}

// ---------------------------------------------------------------------------
// Custom functions and the hooks
// ---------------------------------------------------------------------------

TEST_F(CatalogTest, EveryOptionWriteReachesTheOptionHook)
{
    ASSERT_TRUE(RecordHooks());
    EXPECT_TRUE(SetOption(L"lastselectgame", L"17"));
    EXPECT_TRUE(SetOption(L"lastselectgame", L"18"));
    EXPECT_TRUE(SetOptionUtf8(GetCatalogDb(), "HideGameNews", "yes"));
    EXPECT_FALSE(SetOptionUtf8(GetCatalogDb(), "HideSiteNews", nullptr));
    EXPECT_THAT(HookCalls(), ElementsAre("opt lastselectgame=17", "opt lastselectgame=18",
                                         "opt HideGameNews=yes"));
    EXPECT_EQ(1, Look().Int("select count(*) from opt where var='lastselectgame'"));
    EXPECT_EQ(0, Look().Int("select count(*) from opt where var='HideSiteNews'"));
}

TEST_F(CatalogTest, GameRowsCarryStatusWordsAndAffiliate)
{
    ASSERT_TRUE(RecordHooks());
    CatalogExec("insert into games(id,afl,name,desc,release,rating,show,custom,itunes_id,track,utm) "
                "values(5,-1,'Five','About five',3,4.7,0,'{\"a\":1}','it5',2,'src')");
    CatalogExec("update games set inst=1700000000 where id=5");
    CatalogExec("update games set show=1, inst=null where id=5");
    CatalogExec("update games set show=-3 where id=5");
    CatalogExec("insert into games(id,afl,name) values(6,-1,'Six')");
    ASSERT_EQ(5u, HookCalls().size());
    EXPECT_EQ("game 5 afl=-1 name=Five desc=About five words=[ hide ] release=3 rating=4 inst=0 "
              "runs=0 custom={\"a\":1} itunes=it5,<null>,<null>,<null> track=2 utm=src",
              HookCalls()[0]);
    EXPECT_THAT(HookCalls()[1], HasSubstr("game 5 afl=0 "));
    EXPECT_THAT(HookCalls()[1], HasSubstr("words=[ inst ]"));
    EXPECT_THAT(HookCalls()[1], HasSubstr("inst=1700000000"));
    EXPECT_THAT(HookCalls()[2], HasSubstr("afl=0 "));
    EXPECT_THAT(HookCalls()[2], HasSubstr("words=[ ]"));
    EXPECT_THAT(HookCalls()[3], HasSubstr("words=[ ]"));
    // show null counts as hidden.
    EXPECT_THAT(HookCalls()[4], HasSubstr("game 6 afl=-1 name=Six"));
    EXPECT_THAT(HookCalls()[4], HasSubstr("words=[ hide ]"));
}

TEST_F(CatalogTest, PictureGoesFirstAndOnlyWithAnInsert)
{
    ASSERT_TRUE(RecordHooks());
    CatalogExec("insert into games(id,name,show,icnsml) values(7,'Seven',1,x'01020A')");
    ASSERT_EQ(2u, HookCalls().size());
    EXPECT_EQ("pic 7 01020A", HookCalls()[0]);
    EXPECT_THAT(HookCalls()[1], HasSubstr("game 7 "));

    HookCalls().clear();
    CatalogExec("update games set runs=ifnull(runs+1,1) where id=7");
    ASSERT_EQ(1u, HookCalls().size());
    EXPECT_THAT(HookCalls()[0], HasSubstr("runs=1"));

    // Columns the update trigger does not list reach no hook; nor does a
    // game with id 0; an empty picture is not handed on.
    HookCalls().clear();
    CatalogExec("update games set path='C:\\x', name='Renamed' where id=7");
    CatalogExec("insert into games(id,name,icnsml) values(0,'Zero',x'05')");
    CatalogExec("insert into games(id,name,icnsml) values(8,'Eight',x'')");
    ASSERT_EQ(1u, HookCalls().size());
    EXPECT_THAT(HookCalls()[0], HasSubstr("game 8 "));
}

TEST_F(CatalogTest, HooksRunInsideTheWritingStatement)
{
    ASSERT_TRUE(RecordHooks());
    CatalogExec("with recursive n(i) as (select 1 union all select i+1 from n where i<50) "
                "insert into games(id,name,show) select i,'g'||i,1 from n");
    EXPECT_EQ(50u, CallsStartingWith("game ").size());

    // The full feed selects the functions over whole tables; the picture
    // place is null there.
    CatalogExec("update games set icnsml=x'FF' where id<=10");
    HookCalls().clear();
    CatalogExec("select trgopt(var,val) from opt");
    CatalogExec("select trggms(id,afl,name,desc,release,rating,inst,show,runs,null,custom,itunes_id,"
                "itunes_id_free,itunes_id_ipad,itunes_id_ipad_free,track,utm) from games");
    EXPECT_EQ(50u, HookCalls().size());
    EXPECT_TRUE(CallsStartingWith("pic").empty());
}

TEST_F(CatalogTest, AuthIdOptionRunsItsValueOnTheCatalog)
{
    ASSERT_TRUE(RecordHooks());
    CatalogExec("insert or replace into opt(var,val) values('authid','insert into news(id) values(''from-authid'')')");
    EXPECT_EQ(1, Look().Int("select count(*) from news where id='from-authid'"));
    CatalogExec("insert or replace into opt(var,val) values('authid','this is not sql')");
    CatalogExec("insert or replace into opt(var,val) values('AuthId','insert into news(id) values(''case'')')");
    EXPECT_EQ(0, Look().Int("select count(*) from news where id='case'"));
    EXPECT_EQ(3u, CallsStartingWith("opt ").size());
    EXPECT_EQ("opt authid=this is not sql", HookCalls()[1]);
}

// An authid statement that writes the authid option again would start
// itself over and over, without end, inside the statement that wrote it.
TEST_F(CatalogTest, AuthIdStatementThatRewritesAuthIdRunsOnce)
{
    ASSERT_TRUE(RecordHooks());
    const std::string rewrite =
        "insert into news(id) select ''run''||count(*) from news; "
        "insert or replace into opt(var,val) select ''authid'',val from opt where var=''authid''";
    CatalogExec("insert or replace into opt(var,val) values('authid','" + rewrite + "')");
    // The outer write ran the statement once; the write it made itself
    // reached the page but did not run it again.
    EXPECT_EQ(1, Look().Int("select count(*) from news where id like 'run%'"));
    EXPECT_EQ(2u, CallsStartingWith("opt authid=").size());
    EXPECT_EQ(1, Look().Int("select count(*) from opt where var='authid'"));

    // A later write runs it again, once.
    CatalogExec("insert or replace into opt(var,val) select 'authid',val from opt where var='authid'");
    EXPECT_EQ(2, Look().Int("select count(*) from news where id like 'run%'"));
}

TEST_F(CatalogTest, AllcatAndTme)
{
    sqlite3* db = GetCatalogDb();
    ASSERT_NE(nullptr, db);
    EXPECT_EQ("ab", QueryString(db, "select allcat('a',null,'b')").value_or(""));
    EXPECT_EQ("x12", QueryString(db, "select allcat('x',1,2)").value_or(""));
    EXPECT_FALSE(QueryString(db, "select allcat()"));
    // A piece ends at its first NUL.
    EXPECT_EQ("ac", QueryString(db, "select allcat(x'610062','c')").value_or(""));
    EXPECT_EQ(2, QueryInt(db, "select length(cast(allcat(x'610062','c') as blob))"));
    // 4099 bytes fit; one more is the too-big error, never a cut text.
    EXPECT_EQ(4099, QueryInt(db, "select length(allcat(substr(hex(zeroblob(2050)),1,4099)))"));
    EXPECT_EQ(SQLITE_TOOBIG, sqlite3_exec(db, "select allcat(substr(hex(zeroblob(2050)),1,4099),'x')",
                                          nullptr, nullptr, nullptr));
    long long now = static_cast<long long>(time(nullptr));
    long long tme = QueryInt(db, "select tme()");
    EXPECT_LE(std::llabs(tme - now), 5);
}

// ---------------------------------------------------------------------------
// Options
// ---------------------------------------------------------------------------

TEST_F(CatalogTest, OptionReads)
{
    ASSERT_NE(nullptr, GetCatalogDb());
    CatalogExec("insert into opt(var,val) values('num','12abc'),('word','abc'),('empty','')");
    EXPECT_EQ(12, GetOptionInt(L"num"));
    EXPECT_EQ(0, GetOptionInt(L"word"));
    EXPECT_EQ(0, GetOptionInt(L"absent"));
    OptionValue empty(GetCatalogDb(), L"empty");
    const wchar_t* text = empty.GetText();
    ASSERT_NE(nullptr, text);
    EXPECT_EQ(std::wstring(), text);
    EXPECT_EQ(nullptr, OptionValue(GetCatalogDb(), L"absent").GetText());
    EXPECT_EQ(nullptr, OptionValue(GetCatalogDb(), nullptr).GetText());

    OptionValue word(GetCatalogDb(), L"word");
    const wchar_t* kept = word.GetText();
    EXPECT_EQ(std::wstring(L"12abc"), OptionValue(GetCatalogDb(), L"num").GetText());
    EXPECT_EQ(std::wstring(L"abc"), kept);
}

// ---------------------------------------------------------------------------
// Game records
// ---------------------------------------------------------------------------

TEST_F(CatalogTest, GameRecords)
{
    ASSERT_NE(nullptr, GetCatalogDb());
    CatalogExec("insert into games(id,ident,name,desc,inst,show,uninstall,custom,brand) values"
                "(1,'one','One','D1',100,1,'DC:\\g1','c1','b1'),(2,'two','Two','D2',200,0,null,null,null),"
                "(3,'three','Three','D3',300,-1,null,null,null),(4,'four','Four','D4',null,null,null,null,null)");
    QueryCursor cursor(GetCatalogDb());
    EXPECT_EQ(nullptr, cursor.SelectGameById(99));

    Statement* row = cursor.SelectGameById(1);
    ASSERT_NE(nullptr, row);
    EXPECT_EQ(1u, GameRecord::Id(*row));
    EXPECT_EQ(std::wstring(L"one"), GameRecord::Ident(*row));
    EXPECT_EQ(std::wstring(L"One"), GameRecord::Name(*row));
    EXPECT_EQ(std::wstring(L"D1"), GameRecord::Desc(*row));
    EXPECT_EQ(100, GameRecord::Inst(*row));
    EXPECT_EQ(std::wstring(L"DC:\\g1"), GameRecord::Uninstall(*row));
    EXPECT_TRUE(GameRecord::IsShown(*row));
    EXPECT_STREQ("c1", GameRecord::Custom(*row));
    EXPECT_EQ(std::wstring(L"b1"), GameRecord::Brand(*row));

    std::vector<uint32_t> installed;
    std::vector<bool> shown;
    for (Statement* r = cursor.SelectGamesWhere(L"inst is not null"); r; r = cursor.Next()) {
        installed.push_back(GameRecord::Id(*r));
        shown.push_back(GameRecord::IsShown(*r));
    }
    EXPECT_THAT(installed, ElementsAre(1u, 2u, 3u));
    EXPECT_THAT(shown, ElementsAre(true, false, false));
    row = cursor.SelectGameById(4);
    ASSERT_NE(nullptr, row);
    EXPECT_FALSE(GameRecord::IsShown(*row));
    EXPECT_EQ(0, GameRecord::Inst(*row));

    std::wstring longCondition = L"id=1";
    while (longCondition.size() < 1000)
        longCondition += L" or id=1";
    EXPECT_EQ(nullptr, cursor.SelectGamesWhere(longCondition.c_str()));
    EXPECT_EQ(nullptr, cursor.SelectGamesWhere(nullptr));
    EXPECT_EQ(nullptr, cursor.SelectGamesWhere(L"no such column"));
}

// ---------------------------------------------------------------------------
// Theme names and paths, bound and never pasted into SQL
// ---------------------------------------------------------------------------

TEST_F(CatalogTest, ThemeNamesWithQuotesAreStoredAndFoundExactly)
{
    ASSERT_TRUE(RecordHooks());
    EXPECT_EQ(0, LookupThemeVersion() + 1);  // no theme selected yet: -1
    CatalogExec("insert into themes(k,t,v,d) values('a','O''Neil''s',1,x'01'),('b','O''Neil''s',3,x'0303'),"
                "('c','Other',9,x'09')");

    SetThemeFromSwitch(L"O'Neil's");
    EXPECT_EQ("O'Neil's", Look().Text("select val from opt where var='theme'"));
    EXPECT_THAT(CallsStartingWith("opt theme"), ElementsAre("opt theme=O'Neil's"));
    EXPECT_EQ(3, LookupThemeVersion());
    Statement stmt;
    ASSERT_TRUE(SelectNewestThemeModule(GetCatalogDb(), L"O'Neil's", stmt));
    Statement::Blob blob = stmt.ColumnBlob(0);
    ASSERT_EQ(2, blob.size);
    EXPECT_EQ(3, static_cast<const unsigned char*>(blob.data)[0]);
    EXPECT_FALSE(SelectNewestThemeModule(GetCatalogDb(), L"' or '1'='1", stmt));

    SetThemeFromSwitch(L"x'); drop table themes; --");
    EXPECT_EQ("x'); drop table themes; --", Look().Text("select val from opt where var='theme'"));
    EXPECT_EQ(3, Look().Int("select count(*) from themes"));
    EXPECT_EQ(0, LookupThemeVersion());

    // A name that would make the statement 1024 characters long is refused.
    std::wstring longest(970, L'n');
    SetThemeFromSwitch(longest.c_str());
    EXPECT_EQ(970, Look().Int("select length(val) from opt where var='theme'"));
    SetThemeFromSwitch((longest + L"n").c_str());
    EXPECT_EQ(970, Look().Int("select length(val) from opt where var='theme'"));

    SetAffiliateFromSwitch(0x1f);
    EXPECT_EQ("31", Look().Text("select val from opt where var='affiliate'"));
}

TEST_F(CatalogTest, PathsWithApostrophesReachThePageWhole)
{
    ASSERT_TRUE(RecordHooks());
    std::wstring path = L"C:\\Users\\O'Brien\\AppData\\games.dll";
    EXPECT_TRUE(FeedOptionRowToHook(GetCatalogDb(), L"games_dll", path.c_str()));
    EXPECT_TRUE(FeedOptionRowToHook(GetCatalogDb(), L"ver", L"4.42"));
    EXPECT_THAT(HookCalls(), ElementsAre("opt games_dll=" + Utf8(path), "opt ver=4.42"));
    EXPECT_EQ(0, Look().Int("select count(*) from opt"));
    // The catalog itself lives under such a folder.
    EXPECT_NE(std::string::npos, std::string(GetCatalogDbPath()).find("O'Brien"));
}

// ---------------------------------------------------------------------------
// SQL from outside: web replies and imported statements
// ---------------------------------------------------------------------------

// A reply that opens its own transaction never leaves the catalog inside
// it, whatever fails in between: a failing statement no longer swallows
// the reply's "commit", and a "begin" without one is rolled back. Other
// copies then see what the page saw, and can write again.
TEST_F(CatalogTest, ReplyTransactionsNeverStayOpen)
{
    sqlite3* db = GetCatalogDb();
    ASSERT_NE(nullptr, db);
    CatalogExec("insert into games(id,name,show) values(1001,'Kept',1)");
    sqlite3_busy_timeout(Look().get(), 1000);

    const char reply[] = "begin; insert into games(id,name,show) values(6001,'New',1);"
                         "update games set show=0 where id=1001;"
                         "insert into games(id,name) values(1001,'Twice');"
                         "insert into games(id,name,show) values(6002,'Newer',1); commit;\0"
                         "insert into games(id,name,show) values(6003,'Later',1)\0";
    ExecWithRetry(db, reply, sizeof(reply));
    EXPECT_NE(0, sqlite3_get_autocommit(db));
    EXPECT_THAT(Look().Column("select id||':'||show from games order by id"),
                ElementsAre("1001:0", "6001:1", "6002:1", "6003:1"));
    EXPECT_EQ(SQLITE_OK, Look().TryExec("insert into news(id) values('after the reply')"));

    // The transaction may begin in one text of the list and end in a later
    // one; one that never ends is undone.
    const char spread[] = "begin\0insert into games(id) values(6004)\0commit\0\0";
    ExecWithRetry(db, spread, sizeof(spread));
    const char unended[] = "begin transaction\0insert into games(id) values(6005)\0\0";
    ExecWithRetry(db, unended, sizeof(unended));
    ExecEachWithRetry(db, "begin; insert into games(id) values(6006)");
    EXPECT_NE(0, sqlite3_get_autocommit(db));
    EXPECT_THAT(Look().Column("select id from games where id>6003 order by id"), ElementsAre("6004"));
    EXPECT_EQ(SQLITE_OK, Look().TryExec("insert into news(id) values('after the unended')"));

    // A statement that cannot run inside a transaction still runs.
    CatalogExec("insert into news(id) values(randomblob(200000)); delete from news where length(id)>1000");
    ASSERT_GT(Look().Int("pragma freelist_count"), 0);
    const char vacuum[] = "vacuum\0\0";
    ExecWithRetry(db, vacuum, sizeof(vacuum));
    EXPECT_EQ(0, Look().Int("pragma freelist_count"));

    // An imported statement that fails takes neither the ones after it in
    // its text nor the import's own transaction with it, even when the
    // import's statements end that transaction and begin their own.
    TempDir dir;
    std::wstring importFile = dir.File(L"import.db");
    {
        TestDb import(importFile);
        import.Exec("create table zelsql(q text);"
                    "insert into zelsql values('insert into games(id) values(8001);"
                    "insert into games(id) values(1001); insert into games(id) values(8002)');"
                    "insert into zelsql values('commit; begin; insert into games(id) values(8003)');"
                    "create table news(id text);"
                    "insert into news values('imported')");
    }
    MergeUpdateDatabase(Utf8(importFile).c_str());
    EXPECT_NE(0, sqlite3_get_autocommit(db));
    EXPECT_THAT(Look().Column("select id from games where id>8000 order by id"),
                ElementsAre("8001", "8002", "8003"));
    EXPECT_EQ(1, Look().Int("select count(*) from news where id='imported'"));
    EXPECT_EQ(SQLITE_OK, Look().TryExec("insert into news(id) values('after the import')"));
}

// A reply's "savepoint" that begins its transaction holds the write lock
// from its start, as its plain "begin" does: another copy that starts
// writing while the reply reads cannot leave both waiting for each other.
// Releasing that savepoint commits, as SQLite does.
TEST_F(CatalogTest, ReplySavepointBeginsItsTransactionHoldingTheWriteLock)
{
    sqlite3* db = GetCatalogDb();
    ASSERT_NE(nullptr, db);
    static int otherBegins = SQLITE_OK;
    const auto previousHook = OptionRowHook;
    OptionRowHook = [](const wchar_t*, const wchar_t*) {
        TestDb other(CatalogFile());
        sqlite3_busy_timeout(other.get(), 0);
        otherBegins = other.TryExec("begin immediate");
    };
    const char reply[] = "savepoint a; select trgopt('read','1'); insert into news(id) values('undone');"
                         "rollback to a; insert into news(id) values('kept'); release a;"
                         "insert into news(id) values('after')\0";
    ExecWithRetry(db, reply, sizeof(reply));
    OptionRowHook = previousHook;
    EXPECT_EQ(SQLITE_BUSY, otherBegins);
    EXPECT_NE(0, sqlite3_get_autocommit(db));
    EXPECT_THAT(Look().Column("select id from news order by rowid"), ElementsAre("kept", "after"));
}

// A statement that does not prepare is skipped up to the ";" where SQLite
// would end it: never one inside a literal, a quoted name, a comment or a
// trigger's body, and a backslash escapes nothing. An open literal takes
// the rest of its text with it.
TEST_F(CatalogTest, SkippedReplyStatementsEndWhereSqliteEndsThem)
{
    sqlite3* db = GetCatalogDb();
    ASSERT_NE(nullptr, db);
    const char reply[] = "insert into news(no) values('; insert into news(id) values(1);');"
                         "insert into news(id) values('after a literal');"
                         "insert into news(no, \";insert into news(id) values(2);\", [;insert into news(id) values(3);],"
                         " `;insert into news(id) values(4);`) values(1); insert into news(id) values('after names');"
                         "insert into news(no) /* ; insert into news(id) values(5); */ values(1) -- ;insert into news(id) values(8);\n;"
                         "insert into news(id) values('after comments');"
                         "insert into news(no) values('it''s\\'); insert into news(id) values('after a backslash');"
                         "create trigger t after insert on nosuch begin select ';'; insert into news(id) values(6);"
                         " select case when 1 then 2 end; insert into news(id) values(7); end;"
                         "insert into news(id) values('after a trigger');"
                         "insert into news(id) values('Assassin's Creed'); insert into news(id) values('swallowed');\0"
                         "insert into news(id) values('next text')\0";
    ExecWithRetry(db, reply, sizeof(reply));
    EXPECT_THAT(Look().Column("select id from news order by rowid"),
                ElementsAre("after a literal", "after names", "after comments", "after a backslash",
                            "after a trigger", "next text"));
}

namespace {

// Another copy of the program on a connection of its own. Asked while a
// statement of a reply runs (from the page hook), it starts reading the
// catalog, so that statement's commit meets its read lock; then it takes
// the write lock for a burst of its own, which the next statements meet.
class OtherCopy {
public:
    explicit OtherCopy(const std::wstring& file) : thread_([this, file] { Run(file); }) {}
    ~OtherCopy()
    {
        stop_ = true;
        SetEvent(asked_);
        thread_.join();
        CloseHandle(asked_);
        CloseHandle(reading_);
    }
    OtherCopy(const OtherCopy&) = delete;
    OtherCopy& operator=(const OtherCopy&) = delete;

    // Returns once the other copy holds its read lock.
    void ReadNow()
    {
        SetEvent(asked_);
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(reading_, 10000));
    }

    // The page hook of a reply's game rows: records the row, and every
    // fiftieth row lets this copy in (once, should the row come again).
    template <typename... Rest>
    static void RecordGameRowAndAsk(uint32_t id, Rest... rest)
    {
        RecordGameRow(id, rest...);
        if (asking_ && id % 50 == 0 && asking_->askedFor_.insert(id).second)
            asking_->ReadNow();
    }
    template <typename... Rest>
    static GameRowHookFn HookLike(void (*)(uint32_t, Rest...))
    {
        return &RecordGameRowAndAsk<Rest...>;
    }
    static inline OtherCopy* asking_ = nullptr;

private:
    void Run(const std::wstring& file)
    {
        TestDb db(file);
        sqlite3_busy_timeout(db.get(), 0);
        for (;;) {
            WaitForSingleObject(asked_, INFINITE);
            if (stop_)
                return;
            db.Exec("begin");
            db.Int("select count(*) from news");
            SetEvent(reading_);
            Sleep(20);
            db.Exec("commit");
            WriteBurst(db);
        }
    }

    // Takes the write lock as soon as the reply lets go of the catalog and
    // holds it a while; gives up when asked to read first.
    void WriteBurst(TestDb& db)
    {
        while (!stop_) {
            if (WaitForSingleObject(asked_, 0) == WAIT_OBJECT_0) {
                SetEvent(asked_);
                return;
            }
            if (db.TryExec("begin immediate") == SQLITE_OK) {
                db.Exec("insert into news(id) values('burst " + std::to_string(++bursts_) + "')");
                Sleep(20);
                while (db.TryExec("commit") == SQLITE_BUSY)
                    Sleep(1);
                return;
            }
            Sleep(1);
        }
    }

    HANDLE asked_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    HANDLE reading_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    std::atomic<bool> stop_{false};
    int bursts_ = 0;
    std::set<uint32_t> askedFor_;
    std::thread thread_;
};

}  // namespace

// A long reply that meets another copy's read and write locks again and
// again: a busy answer makes only that statement again, so every row is
// stored once, and the page hears of each row once (a statement undone by
// a busy commit after its trigger ran would reach it twice).
TEST_F(CatalogTest, ReplyStatementsMeetingAnotherWriterRunOnce)
{
    ASSERT_TRUE(RecordHooks());
    sqlite3* db = GetCatalogDb();
    ASSERT_NE(nullptr, db);
    constexpr int kRows = 400;
    std::string reply;
    for (int id = 1; id <= kRows; ++id)
        reply += "insert into games(id,name,show) values(" + std::to_string(id) + ",'g',1);";
    reply += '\0';

    {
        OtherCopy other(file_);
        OtherCopy::asking_ = &other;
        GameRowHook = OtherCopy::HookLike(RecordGameRow);
        ExecWithRetry(db, reply.c_str(), reply.size() + 1);
        OtherCopy::asking_ = nullptr;
    }

    EXPECT_EQ(kRows, Look().Int("select count(*) from games"));
    EXPECT_GT(Look().Int("select count(*) from news where id like 'burst %'"), 0)
        << "the other copy never held the write lock";
    std::map<std::string, int> heard;
    for (const std::string& call : CallsStartingWith("game ")) {
        std::string id = call.substr(5, call.find(' ', 5) - 5);
        ++heard[id];
    }
    EXPECT_EQ(static_cast<size_t>(kRows), heard.size());
    for (const auto& [id, times] : heard)
        EXPECT_EQ(1, times) << "game " << id;
}
