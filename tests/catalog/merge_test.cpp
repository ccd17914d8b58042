// Import and merge of other SQLite files into the catalog, observed in the
// catalog file and through the page hooks.

#include "catalog/merge.h"
#include "catalog/options.h"
#include "catalogfixture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <limits>

using namespace testing_catalog;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using Bytes = std::vector<unsigned char>;

namespace {

// The marker byte, then the payload.
Bytes Marked(unsigned char marker, const Bytes& payload)
{
    Bytes blob(payload.size() + 1);
    blob[0] = marker;
    std::copy(payload.begin(), payload.end(), blob.begin() + 1);
    return blob;
}

Bytes Raw(const Bytes& payload)
{
    return Marked(0, payload);
}

// Marker 1: the stated length, then the zlib stream.
Bytes Compressed(const Bytes& payload, uint32_t statedLength)
{
    uLongf size = compressBound(static_cast<uLong>(payload.size()));
    Bytes stream(size);
    compress(stream.data(), &size, payload.data(), static_cast<uLong>(payload.size()));
    Bytes packed(size + 4);
    for (int i = 0; i < 4; ++i)
        packed[static_cast<size_t>(i)] = static_cast<unsigned char>(statedLength >> (8 * i));
    std::copy(stream.begin(), stream.begin() + static_cast<ptrdiff_t>(size), packed.begin() + 4);
    return Marked(1, packed);
}

Bytes Compressed(const Bytes& payload)
{
    return Compressed(payload, static_cast<uint32_t>(payload.size()));
}

Bytes Text(const std::string& text)
{
    return Bytes(text.begin(), text.end());
}

class MergeTest : public CatalogTest {
protected:
    void SetUp() override
    {
        CatalogTest::SetUp();
        importPath_ = importDir_.File(L"import.db");
        import_.Open(importPath_);
    }
    void TearDown() override
    {
        import_.Close();
        CatalogTest::TearDown();
    }
    void Merge()
    {
        import_.Close();
        MergeUpdateDatabase(Utf8(importPath_).c_str());
    }
    void Renumber()
    {
        import_.Close();
        RenumberGamesFromDatabase(Utf8(importPath_).c_str());
    }

    TempDir importDir_;
    std::wstring importPath_;
    TestDb import_;
};

}  // namespace

TEST_F(MergeTest, KnownGameKeepsItsInstallationState)
{
    ASSERT_TRUE(RecordHooks());
    CatalogExec("insert into games(id,name,show,inst,path,runs,custom,icnsml,old_id,utm) values"
                "(3,'Old',0,1500000000,'C:\\Games\\Old',4,'kept',x'01',0,null)");
    import_.Exec("create table games(id integer primary key,name text,show integer,inst integer,"
                 "path text,runs integer,custom text,icnsml blob,old_id integer,utm text,desc text)");
    import_.ExecWithBlob("insert into games values(3,'New',1,null,'D:\\elsewhere',99,'theirs',?1,1,'ad',null)",
                         Raw({0xFF}));
    HookCalls().clear();
    Merge();
    EXPECT_EQ("New|1|1500000000|C:\\Games\\Old|4|kept|01|1|ad",
              Look().Text("select name||'|'||show||'|'||inst||'|'||path||'|'||runs||'|'||custom||'|'||"
                          "hex(icnsml)||'|'||old_id||'|'||utm from games where id=3"));
    // One update reaches the page, already with the new values; no empty
    // row is pushed before it.
    ASSERT_EQ(1u, HookCalls().size());
    EXPECT_THAT(HookCalls()[0], HasSubstr("game 3 afl=0 name=New desc=<null> words=[ inst ]"));
}

TEST_F(MergeTest, NewGameIsInsertedWholeWithCatalogDefaults)
{
    ASSERT_TRUE(RecordHooks());
    import_.Exec("create table Games(id integer primary key,name text,desc text,show integer,type integer,"
                 "icnsml blob,rating real)");
    import_.ExecWithBlob("insert into Games values(11,'O''Brien''s Quest','A \"quoted\" one',1,null,?1,4.5)",
                         Raw({1, 2, 3}));
    Merge();
    EXPECT_EQ("O'Brien's Quest|A \"quoted\" one|1|2|1|0|010203|4.5",
              Look().Text("select name||'|'||desc||'|'||show||'|'||type||'|'||updn||'|'||price||'|'||"
                          "hex(icnsml)||'|'||rating from games where id=11"));
    // The bare id goes in first, then the whole row with its picture.
    ASSERT_EQ(3u, HookCalls().size());
    EXPECT_THAT(HookCalls()[0], HasSubstr("game 11 afl=0 name=<null> desc=<null> words=[ hide ]"));
    EXPECT_EQ("pic 11 010203", HookCalls()[1]);
    EXPECT_THAT(HookCalls()[2], HasSubstr("game 11 afl=0 name=O'Brien's Quest"));
}

// Floats reach the catalog with every bit, infinities too: their text form
// has fewer digits than a double, and an infinity has no literal at all.
TEST_F(MergeTest, FloatsKeepEveryBit)
{
    ASSERT_NE(nullptr, GetCatalogDb());
    const double values[] = {3.5 + 1 / 7.0, 0.1 + 0.2, 5e-324, -1.7976931348623157e308,
                             std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity()};
    import_.Exec("create table games(id integer primary key,name text,rating real);"
                 "create table zelsql(q text);"
                 "insert into zelsql values('create table scores(id integer primary key,v real)');"
                 "create table scores(id integer primary key,v real)");
    for (size_t i = 0; i < std::size(values); ++i) {
        for (const char* table : {"games(id,rating)", "scores(id,v)"}) {
            sqlite3_stmt* stmt = nullptr;
            ASSERT_EQ(SQLITE_OK, sqlite3_prepare_v2(import_.get(),
                                                    (std::string("insert into ") + table + " values(?1,?2)").c_str(),
                                                    -1, &stmt, nullptr));
            sqlite3_bind_int64(stmt, 1, static_cast<sqlite3_int64>(i + 1));
            sqlite3_bind_double(stmt, 2, values[i]);
            EXPECT_EQ(SQLITE_DONE, sqlite3_step(stmt));
            sqlite3_finalize(stmt);
        }
    }
    Merge();
    for (const char* sql : {"select rating from games order by id", "select v from scores order by id"}) {
        SCOPED_TRACE(sql);
        sqlite3_stmt* stmt = nullptr;
        ASSERT_EQ(SQLITE_OK, sqlite3_prepare_v2(Look().get(), sql, -1, &stmt, nullptr));
        size_t row = 0;
        for (; sqlite3_step(stmt) == SQLITE_ROW && row < std::size(values); ++row) {
            EXPECT_EQ(SQLITE_FLOAT, sqlite3_column_type(stmt, 0)) << row;
            double stored = sqlite3_column_double(stmt, 0);
            EXPECT_EQ(0, memcmp(&stored, &values[row], sizeof(double))) << row << ": " << stored;
        }
        sqlite3_finalize(stmt);
        EXPECT_EQ(std::size(values), row);
    }
}

TEST_F(MergeTest, BlobMarkers)
{
    ASSERT_NE(nullptr, GetCatalogDb());
    Bytes module = Text(std::string(5000, 'M') + "theme module");
    import_.Exec("create table themes(k text primary key,t text,v integer,d blob)");
    import_.ExecWithBlob("insert into themes values('raw','r',1,?1)", Raw({0x01, 0x02, 0x0A}));
    import_.ExecWithBlob("insert into themes values('packed','p',1,?1)", Compressed(module));
    import_.ExecWithBlob("insert into themes values('unknown','u',1,?1)", Bytes{7, 1, 2});
    import_.ExecWithBlob("insert into themes values('empty','e',1,?1)", Bytes{});
    import_.Exec("insert into themes values('null','n',1,null)");
    // Compressed blobs that do not inflate to exactly their stated length:
    // such a row is not written at all.
    import_.ExecWithBlob("insert into themes values('short','s',2,?1)", Compressed(module, 6000));
    import_.ExecWithBlob("insert into themes values('long','l',2,?1)", Compressed(module, 100));
    import_.ExecWithBlob("insert into themes values('garbage','g',2,?1)", Bytes{1, 4, 0, 0, 0, 9, 9, 9, 9});
    import_.ExecWithBlob("insert into themes values('cut','c',2,?1)", Bytes{1, 4, 0});
    Merge();

    EXPECT_EQ(Bytes({0x01, 0x02, 0x0A}), Look().Blob("select d from themes where k='raw'"));
    EXPECT_EQ(module, Look().Blob("select d from themes where k='packed'"));
    EXPECT_EQ("blob|0", Look().Text("select typeof(d)||'|'||length(d) from themes where k='unknown'"));
    EXPECT_EQ("null", Look().Text("select typeof(d) from themes where k='empty'"));
    EXPECT_EQ("null", Look().Text("select typeof(d) from themes where k='null'"));
    EXPECT_THAT(Look().Column("select k from themes order by k"),
                ElementsAre("empty", "null", "packed", "raw", "unknown"));
}

// A broken picture keeps a new game out; a known game takes no picture
// from the import, so its update goes ahead.
TEST_F(MergeTest, BrokenPictureKeepsANewGameOut)
{
    ASSERT_TRUE(RecordHooks());
    CatalogExec("insert into games(id,name,show,icnsml) values(23,'Known',1,x'0B')");
    import_.Exec("create table games(id integer primary key,name text,icnsml blob)");
    import_.ExecWithBlob("insert into games values(21,'Broken',?1)", Compressed(Text("icon"), 99));
    import_.ExecWithBlob("insert into games values(22,'Fine',?1)", Compressed(Text("icon")));
    import_.ExecWithBlob("insert into games values(23,'Renamed',?1)", Compressed(Text("icon"), 99));
    Merge();
    EXPECT_THAT(Look().Column("select id||':'||name||':'||hex(icnsml) from games order by id"),
                ElementsAre("22:Fine:69636F6E", "23:Renamed:0B"));
    EXPECT_EQ(0u, CallsStartingWith("game 21").size());
}

TEST_F(MergeTest, StatementsRunFirstAndSkippedTablesStayOut)
{
    ASSERT_NE(nullptr, GetCatalogDb());
    CatalogExec("insert into news(id) values('old');"
                "create table zelfls(f text); create table zelextra(x text);"
                "create table seq(id integer primary key autoincrement, v text);");
    // The statements run before any table: the table "odd name" they make
    // in the catalog then takes the import's rows.
    import_.Exec("create table zelsql(q text);"
                 "insert into zelsql values('delete from news');"
                 "insert into zelsql values('this is not sql');"
                 "insert into zelsql values(null);"
                 "insert into zelsql values('insert into news(id) values(''from-sql'')');"
                 "insert into zelsql values('create table \"odd name\"(v text)');"
                 "create table news(id text primary key);"
                 "insert into news values('imported'),('it''s');"
                 "create table zelfls(f text); insert into zelfls values('file');"
                 "create table zelextra(x text); insert into zelextra values('x');"
                 "create table seq(id integer primary key autoincrement, v text); insert into seq(v) values('s');"
                 "update sqlite_sequence set seq=500 where name='seq';"
                 "create table \"odd name\"(v text); insert into \"odd name\" values('odd');"
                 "create table advlog(id integer,g integer); insert into advlog values(1,2);");
    Merge();
    EXPECT_THAT(Look().Column("select id from news order by id"), ElementsAre("from-sql", "imported", "it's"));
    EXPECT_EQ(0, Look().Int("select count(*) from zelfls"));
    EXPECT_EQ(0, Look().Int("select count(*) from zelextra"));
    // The import's sqlite_sequence is not copied: the catalog's counter
    // follows only the rows it took.
    EXPECT_EQ("1:s", Look().Text("select id||':'||v from seq"));
    EXPECT_EQ("1:1", Look().Text("select count(*)||':'||max(seq) from sqlite_sequence where name='seq'"));
    EXPECT_EQ("odd", Look().Text("select v from \"odd name\""));
    EXPECT_EQ("1|2|0", Look().Text("select id||'|'||g||'|'||p from advlog"));
}

TEST_F(MergeTest, MissingOrBrokenImportWritesNothing)
{
    ASSERT_NE(nullptr, GetCatalogDb());
    std::wstring missing = importDir_.File(L"missing.db");
    MergeUpdateDatabase(Utf8(missing).c_str());
    RenumberGamesFromDatabase(Utf8(missing).c_str());
    EXPECT_FALSE(PathExists(missing));
    EXPECT_EQ(0, GetOptionInt(L"newdb"));

    import_.Close();
    HANDLE file = CreateFileW(importPath_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    std::string junk(4096, 'x');
    DWORD written = 0;
    WriteFile(file, junk.data(), static_cast<DWORD>(junk.size()), &written, nullptr);
    CloseHandle(file);
    MergeUpdateDatabase(Utf8(importPath_).c_str());
    RenumberGamesFromDatabase(Utf8(importPath_).c_str());
    EXPECT_EQ(0, GetOptionInt(L"newdb"));
    EXPECT_EQ(0, Look().Int("select count(*) from opt"));
    MergeUpdateDatabase(nullptr);
}

TEST_F(MergeTest, ImportGamesWithoutIdsAreIgnored)
{
    ASSERT_NE(nullptr, GetCatalogDb());
    import_.Exec("create table games(name text, show integer); insert into games values('Nobody',1);");
    Merge();
    import_.Open(importPath_);
    import_.Exec("drop table games; create table games(id integer, name text);"
                 "insert into games values(null,'No id'); insert into games values(4,'Four');");
    Merge();
    EXPECT_THAT(Look().Column("select id||':'||name from games"), ElementsAre("4:Four"));
}

TEST_F(MergeTest, RenumberingMovesGamesToTheirNewIds)
{
    ASSERT_TRUE(RecordHooks());
    CatalogExec("insert into games(id,name,inst,path) values(3,'Three',1600000000,'C:\\G3'),"
                "(5,'Five',null,null),(9,'Nine new',null,null),(12,'Twelve',1,'C:\\G12')");
    // Game 12 kept its number: it stays, and its old number is recorded.
    import_.Exec("create table games(id integer primary key, old_id integer, name text, icnsml blob);"
                 "insert into games values(9,5,'x',null),(12,12,'x',null),(30,0,'x',null),(31,null,'x',null);");
    // Only id and old_id matter here: a broken picture does not stop it.
    import_.ExecWithBlob("insert into games values(7,3,'x',?1)", Compressed(Text("icon"), 77));
    Renumber();
    EXPECT_THAT(Look().Column("select id||':'||name||':'||old_id||':'||ifnull(inst,'-')||':'||ifnull(path,'-') "
                              "from games order by id"),
                ElementsAre("7:Three:3:1600000000:C:\\G3", "9:Nine new:0:-:-", "12:Twelve:12:1:C:\\G12"));
    EXPECT_EQ(1, GetOptionInt(L"newdb"));
    EXPECT_THAT(CallsStartingWith("opt "), ElementsAre("opt newdb=1"));
}

// A catalog without old_id (every brand but 0) cannot record the old
// number; its games must not be deleted for it.
TEST_F(MergeTest, RenumberingKeepsGamesWhenTheCatalogCannotTakeTheNewId)
{
    ASSERT_NE(nullptr, GetCatalogDb());
    Look().Exec("drop table games; create table games(id integer primary key not null,name text);"
                "insert into games(id,name) values(3,'Three'),(4,'Four')");
    import_.Exec("create table games(id integer primary key, old_id integer);"
                 "insert into games values(7,3),(4,2);");
    Renumber();
    EXPECT_THAT(Look().Column("select id||':'||name from games order by id"), ElementsAre("3:Three", "4:Four"));
}

// Ids beyond 32 bits (or below zero) in an import name those games and no
// others: they never stand for a game of the catalog whose number they
// share the low 32 bits with.
TEST_F(MergeTest, IdsBeyondThirtyTwoBitsTouchNoOtherGame)
{
    ASSERT_NE(nullptr, GetCatalogDb());
    CatalogExec("insert into games(id,name,show) values(1,'One',1),(3,'Three',1)");
    import_.Exec("create table games(id integer primary key, name text, show integer);"
                 "insert into games values(4294967297,'Far',1),(-2,'Minus',1);");
    Merge();
    import_.Open(importPath_);
    import_.Exec("update games set name=name||' again'");
    Merge();
    EXPECT_THAT(Look().Column("select id||':'||name from games order by id"),
                ElementsAre("-2:Minus again", "1:One", "3:Three", "4294967297:Far again"));

    import_.Open(importPath_);
    import_.Exec("drop table games; create table games(id integer primary key, old_id integer);"
                 "insert into games values(7,4294967299);");
    Renumber();
    EXPECT_THAT(Look().Column("select id||':'||name from games order by id"),
                ElementsAre("-2:Minus again", "1:One", "3:Three", "4294967297:Far again"));
}
