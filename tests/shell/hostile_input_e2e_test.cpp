// The real program fed broken and hostile input: catalogs that are not
// SQLite, cut short, read-only or of a foreign shape, import databases and
// game packages that are garbage, theme rows whose module is garbage, and
// command lines with stray quotes and numbers out of range. Whatever comes
// in, the program ends with one of its documented codes (never a crash or
// a hang), tells what went wrong where it tells anything, and leaves the
// files it was given as they were.

#include "catalog/sqlfunctions.h"
#include "driver.h"
#include "testdb.h"

#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <vector>

using namespace testing_catalog;
using zeltest::ReadFileBytes;
using zeltest::WriteFileBytes;
using zeltest::ZelProcess;

namespace {

// What one run showed from outside.
struct Outcome {
    std::optional<DWORD> code;  // nullopt: it did not end in time
    std::vector<std::wstring> boxes;
};

std::ostream& operator<<(std::ostream& out, const Outcome& outcome)
{
    out << "code ";
    if (outcome.code)
        out << static_cast<long>(static_cast<int>(*outcome.code)) << " (0x" << std::hex << *outcome.code
            << std::dec << ")";
    else
        out << "none (time-out)";
    for (const std::wstring& box : outcome.boxes)
        out << ", box \"" << Utf8(box) << "\"";
    return out;
}

// Every code the program documents; anything else (0xC0000005, say) is a
// crash.
bool IsDocumentedCode(DWORD code)
{
    return code <= 14 || code == static_cast<DWORD>(-1);
}

std::wstring Quoted(const std::wstring& text)
{
    return L"\"" + text + L"\"";
}

// A run that answers every message box the program shows with OK.
Outcome RunAnsweringBoxes(const std::wstring& dir, const std::wstring& switches, DWORD timeoutMs = 30000)
{
    Outcome outcome;
    ZelProcess process;
    if (!process.Start(dir, L"zel.exe", switches))
        return outcome;
    DWORD start = GetTickCount();
    while (GetTickCount() - start < timeoutMs) {
        if ((outcome.code = process.Wait(100)))
            return outcome;
        if (!zeltest::WaitForWindow(L"#32770", 100, process.Id()))
            continue;
        // The box is there: give its text time to be set.
        if (std::optional<zeltest::MessageBoxInfo> box = zeltest::WaitForMessageBox(process.Id(), 5000)) {
            outcome.boxes.push_back(box->text);
            zeltest::DismissMessageBox(box->window);
            // The same box may be seen again before it has gone.
            for (int i = 0; i < 40 && IsWindow(box->window); ++i)
                Sleep(50);
        }
    }
    process.Kill();
    return outcome;
}

bool HasBoxWith(const Outcome& outcome, const wchar_t* text)
{
    for (const std::wstring& box : outcome.boxes) {
        if (box.find(text) != std::wstring::npos)
            return true;
    }
    return false;
}

class HostileInput : public ::testing::Test {
protected:
    void SetUp() override { SetEnvironmentVariableW(L"APPDATA", appDataDir_.path().c_str()); }

    std::wstring Catalog() const { return appDataDir_.File(L"base.db"); }
    Outcome Run(const std::wstring& switches) { return RunAnsweringBoxes(exeDir_.path(), switches); }

    struct SwitchRun {
        std::wstring switches;
        std::set<DWORD> codes;  // any of them will do
    };
    // Runs each command line in turn; each must end with one of its codes.
    void ExpectCodes(const std::vector<SwitchRun>& runs)
    {
        for (const SwitchRun& run : runs) {
            SCOPED_TRACE(Utf8(run.switches));
            Outcome outcome = Run(run.switches);
            ASSERT_TRUE(outcome.code) << outcome;
            EXPECT_TRUE(run.codes.count(*outcome.code)) << outcome;
        }
    }

    // A catalog the program made, with games in it.
    std::string GoodCatalogBytes()
    {
        EXPECT_EQ(10u, Run(L"z 0").code);
        {
            TestDb db(Catalog());
            RegisterCatalogFunctions(db.get());
            db.Exec("insert into games(id,name,inst,show,old_id) values(3,'Three',1600000000,1,3),"
                    "(4,'Four',null,1,4)");
            std::string many;
            for (int i = 100; i < 400; ++i)
                many += "insert into games(id,name,desc) values(" + std::to_string(i) + ",'g','" +
                        std::string(200, 'd') + "');";
            db.Exec(many);
            db.Exec("insert or replace into opt(var,val) values('theme','classic')");
        }
        return ReadFileBytes(Catalog());
    }

    std::wstring MakeImport(const std::wstring& name, const std::string& sql)
    {
        std::wstring path = filesDir_.File(name);
        TestDb db(path);
        db.Exec(sql);
        return path;
    }

    zeltest::TempDir exeDir_{L"hostile-e2e"};
    TempDir appDataDir_{L"hostile-appdata"};
    TempDir filesDir_{L"hostile-files"};
};

}  // namespace

// The maintenance switches and a plain start, each on a catalog the
// program cannot use: every run ends with its documented code, the start
// tells that the database cannot be opened, and the file keeps its bytes.
TEST_F(HostileInput, CatalogThatIsNotADatabase)
{
    const std::string good = GoodCatalogBytes();
    ASSERT_GT(good.size(), 16384u);
    std::wstring import = MakeImport(L"import.db", "create table games(id integer primary key,name text);"
                                                   "insert into games values(60,'Sixty');");
    struct Kind {
        const char* what;
        std::string bytes;
    };
    std::string headerThenGarbage = good.substr(0, 100) + std::string(8000, '\xA5');
    std::string brokenPage = good;
    for (size_t i = 4096; i < 8192; ++i)
        brokenPage[i] = static_cast<char>(i * 7);
    const std::vector<Kind> kinds = {
        {"garbage", std::string(4096, 'j') + std::string("\x00\x01\xff", 3)},
        {"a valid header, then garbage", headerThenGarbage},
        {"cut to its header", good.substr(0, 100)},
        {"cut to its first page", good.substr(0, 4096)},
        {"cut inside a page", good.substr(0, good.size() - 3000)},
        {"a page overwritten", brokenPage},
    };
    const struct {
        const wchar_t* switches;
        std::set<DWORD> codes;
    } runs[] = {
        {L"z 3", {10, 3}},
        {L"t fresh e 1", {12}},
        {L"b \"IMPORT\" v 1 e 1", {11}},
        {L"b \"IMPORT\" n 1 v 1 e 1", {11}},
        {L"u 3 e 1", {10}},
        {L"c 1 e 1", {10}},
        {L"", {4}},
    };
    for (const Kind& kind : kinds) {
        for (const auto& run : runs) {
            std::wstring switches = run.switches;
            if (size_t at = switches.find(L"IMPORT"); at != std::wstring::npos)
                switches.replace(at, 6, import);
            SCOPED_TRACE(std::string(kind.what) + ": " + Utf8(run.switches));
            ASSERT_TRUE(WriteFileBytes(Catalog(), kind.bytes));
            Outcome outcome = Run(switches);
            ASSERT_TRUE(outcome.code) << outcome;
            EXPECT_TRUE(IsDocumentedCode(*outcome.code)) << outcome;
            EXPECT_TRUE(run.codes.count(*outcome.code)) << outcome;
            if (*outcome.code == 4) {
                EXPECT_TRUE(HasBoxWith(outcome, L"Cannot open database.") ||
                            HasBoxWith(outcome, L"Cannot load theme."))
                    << outcome;
            }
            EXPECT_TRUE(ReadFileBytes(Catalog()) == kind.bytes) << "the catalog file changed; " << outcome;
        }
    }
}

// A catalog that cannot be opened for writing: the maintenance switches
// end with their codes, the start with the database error, and the file
// stays as it was.
class UnwritableCatalog : public HostileInput {
protected:
    void RunAll()
    {
        const struct {
            const wchar_t* switches;
            DWORD code;
        } runs[] = {
            {L"z 3", 10}, {L"t fresh e 1", 12}, {L"a 5 e 1", 10}, {L"u 3 e 1", 10}, {L"c 1 e 1", 10}, {L"", 4},
        };
        for (const auto& run : runs) {
            SCOPED_TRACE(Utf8(run.switches));
            Outcome outcome = Run(run.switches);
            EXPECT_EQ(run.code, outcome.code) << outcome;
            if (run.code == 4) {
                EXPECT_TRUE(HasBoxWith(outcome, L"Cannot open database.")) << outcome;
            }
        }
    }
};

TEST_F(UnwritableCatalog, HeldByAnotherProgramForReading)
{
    const std::string good = GoodCatalogBytes();
    HANDLE holder =
        CreateFileW(Catalog().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, holder);
    RunAll();
    CloseHandle(holder);
    EXPECT_TRUE(ReadFileBytes(Catalog()) == good);
}

TEST_F(UnwritableCatalog, MarkedReadOnly)
{
    const std::string good = GoodCatalogBytes();
    ASSERT_TRUE(SetFileAttributesW(Catalog().c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
    HANDLE probe = CreateFileW(Catalog().c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, 0, nullptr);
    if (probe != INVALID_HANDLE_VALUE) {
        // Under Wine run as root the attribute keeps no one from writing:
        // there is nothing to test.
        CloseHandle(probe);
        SetFileAttributesW(Catalog().c_str(), FILE_ATTRIBUTE_NORMAL);
        GTEST_SKIP() << "a read-only file can be written here";
    }
    RunAll();
    SetFileAttributesW(Catalog().c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_TRUE(ReadFileBytes(Catalog()) == good);
}

// Catalogs whose tables are of another shape than the program's: missing
// tables come back, tables of the wrong shape make single statements fail,
// and nothing crashes.
TEST_F(HostileInput, CatalogOfAForeignShape)
{
    const struct {
        const char* what;
        const char* sql;
    } shapes[] = {
        {"no tables at all", "create table other(x); insert into other values(1)"},
        {"games with text ids and odd types",
         "create table games(id text primary key, name blob, inst text, show text, old_id text, path blob);"
         "insert into games values('abc', x'00ff', 'yes', 'many', 'x', x'01'),"
         "('3', null, 'long ago', '1', '3', null),(null, null, null, null, null, null)"},
        {"games and opt as views", "create view games as select 1 as id, 'x' as name;"
                                   "create view opt as select 'theme' as var, 'classic' as val"},
        {"t as a view", "create view t as select 1 as a"},
        {"opt without val, themes without d", "create table opt(var text primary key);"
                                              "insert into opt values('theme');"
                                              "create table themes(k text)"},
        {"themes with text modules", "create table themes(k varchar(64) primary key,t text,v text,d text);"
                                     "insert into themes values('classic','classic','new','not a module');"
                                     "create table opt(var varchar(64) primary key,val text);"
                                     "insert into opt values('theme','classic')"},
    };
    std::wstring import = MakeImport(L"import.db", "create table games(id integer primary key,name text,show integer);"
                                                   "insert into games values(60,'Sixty',1);");
    for (const auto& shape : shapes) {
        SCOPED_TRACE(shape.what);
        SetFileAttributesW(Catalog().c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(Catalog().c_str());
        {
            TestDb db(Catalog());
            db.Exec(shape.sql);
        }
        ExpectCodes({
            {L"z 3", {3, 10}},
            {L"t fresh a 5 e 1", {12}},
            {L"b " + Quoted(import) + L" v 1 e 1", {11}},
            {L"b " + Quoted(import) + L" n 1 e 1", {11}},
            {L"u 3 e 1", {10}},
            {L"c 1 e 1", {10}},
            {L"", {4}},
        });
        // The file is still an SQLite database.
        TestDb db(Catalog());
        EXPECT_EQ(0, db.TryExec("select count(*) from sqlite_master"));
    }
}

// Import databases that are not databases: the import ends with its code,
// the catalog keeps its rows and the import file its bytes.
TEST_F(HostileInput, ImportThatIsNotADatabase)
{
    GoodCatalogBytes();
    const struct {
        const char* what;
        std::string bytes;
    } imports[] = {
        {"garbage", std::string(5000, '\x5a')},
        {"empty", std::string()},
        {"a text file", std::string("id,name\n1,One\n")},
        {"an SQLite header only", std::string("SQLite format 3\0", 16) + std::string(84, '\0')},
    };
    for (const auto& import : imports) {
        SCOPED_TRACE(import.what);
        std::wstring path = filesDir_.File(L"import.db");
        ASSERT_TRUE(WriteFileBytes(path, import.bytes));
        {
            TestDb db(Catalog());
            db.Exec("delete from opt where var='newdb'");
        }
        for (const wchar_t* extra : {L" v 1 e 1", L" n 1 v 1 e 1", L" n 1 e 1"}) {
            Outcome outcome = Run(L"b " + Quoted(path) + extra);
            EXPECT_EQ(11u, outcome.code) << outcome << Utf8(extra);
        }
        EXPECT_TRUE(ReadFileBytes(path) == import.bytes);
        TestDb db(Catalog());
        EXPECT_EQ(302, db.Int("select count(*) from games"));
        EXPECT_EQ(std::nullopt, db.Text("select val from opt where var='newdb'"));
    }
    // An import whose tables have odd shapes.
    std::wstring odd = MakeImport(L"odd.db",
                                  "create table games(id text, name blob, show text);"
                                  "insert into games values('x', x'00', 'y'),(null,null,null),(3, 'Renamed', 1);"
                                  "create table zelsql(q blob); insert into zelsql values(x'00ff'),(null);"
                                  "create table opt(var, val, extra); insert into opt values(null, null, 1);"
                                  "create table \"we\"\"ird\"(a); insert into \"we\"\"ird\" values(1)");
    EXPECT_EQ(11u, Run(L"b " + Quoted(odd) + L" v 1 e 1").code);
    TestDb db(Catalog());
    EXPECT_EQ("Renamed", db.Text("select name from games where id=3"));
    EXPECT_LE(302, db.Int("select count(*) from games"));
}

// A theme row whose module is garbage, empty, missing or cut short: the
// start shows the theme error and ends with 4.
TEST_F(HostileInput, ThemeModuleThatDoesNotLoad)
{
    GoodCatalogBytes();
    std::string module = ReadFileBytes(zeltest::TestExeDir() + L"\\shelltheme_newer.dll");
    ASSERT_GT(module.size(), 512u);
    std::string badHeader = module;
    badHeader[0x3C] = '\x7f';  // the PE header offset points past the file
    badHeader[0x3D] = '\x7f';
    const struct {
        const char* what;
        std::optional<std::string> blob;
    } blobs[] = {
        {"garbage", std::string(3000, '\x90')},
        {"empty", std::string()},
        {"null", std::nullopt},
        {"MZ and nothing else", std::string("MZ")},
        {"a module cut in half", module.substr(0, module.size() / 2)},
        {"a module with a broken header", badHeader},
    };
    for (const auto& blob : blobs) {
        SCOPED_TRACE(blob.what);
        {
            TestDb db(Catalog());
            RegisterCatalogFunctions(db.get());
            db.Exec("delete from themes");
            if (blob.blob)
                db.ExecWithBlob("insert into themes(k,t,v,d) values('classic','classic',1,?1)",
                                std::vector<unsigned char>(blob.blob->begin(), blob.blob->end()));
            else
                db.Exec("insert into themes(k,t,v,d) values('classic','classic',1,null)");
        }
        Outcome outcome = Run(L"");
        EXPECT_EQ(4u, outcome.code) << outcome;
        EXPECT_TRUE(HasBoxWith(outcome, L"Cannot load theme.")) << outcome;
        TestDb db(Catalog());
        EXPECT_EQ(302, db.Int("select count(*) from games"));
    }
}

// Command lines with stray quotes and numbers that do not fit: each run
// ends with a documented code and the catalog keeps its games.
TEST_F(HostileInput, OddCommandLines)
{
    GoodCatalogBytes();
    ExpectCodes({
        {L"z 100000003", {3, 10}},
        {L"z ffffffffffffffffffff", {3, 10}},
        {L"z -3", {10}},
        {L"z -ffffffff", {3, 10}},
        {L"z \"3\"", {4}},  // not a number: an ordinary start
        {L"z 3\"", {3}},
        {L"u -3 e 1", {10}},
        {L"u 100000003 e 1", {10}},
        {L"u ffffffffffffffffffff e 1", {10}},
        {L"t \"unclosed e 1", {4}},
        {L"t \"a\"b\" e 1", {4}},
        {L"t \"\" e 1", {10}},
        {L"t \"'); drop table games; --\" e 1", {12}},
        {L"a -1 e 1", {10}},
        {L"a fffffffff e 1", {10}},
        {L"r -1", {4}},
        {L"r 100000003", {4}},
        {L"s 100000003", {4}},
        {L"s -1", {4}},
        {L"\"\"\"\"\"\"", {4}},
        {L"e", {4}},
    });
    TestDb db(Catalog());
    EXPECT_EQ(302, db.Int("select count(*) from games"));
    EXPECT_EQ(1600000000, db.Int("select inst from games where id=3"));
}

// Game packages that are garbage or of a foreign shape, and package names
// whose id is out of range: the install run fails with 2 (or with the box
// of its state), writes nothing into the target, and the package file and
// the catalog stay as they were.
TEST_F(HostileInput, InstallFromBrokenPackages)
{
    GoodCatalogBytes();
    const std::wstring target = filesDir_.File(L"Target");
    const struct {
        const wchar_t* name;
        std::optional<std::string> bytes;  // nullopt: an SQLite file made from sql
        const char* sql;
        std::set<DWORD> codes = {2};
    } packages[] = {
        {L"4_garbage.db", std::string(6000, '\x13'), nullptr},
        {L"4_empty.db", std::string(), nullptr},
        {L"4_header.db", std::string("SQLite format 3\0", 16) + std::string(84, '\0'), nullptr},
        {L"4_notables.db", std::nullopt, "create table x(y)"},
        {L"4_textids.db", std::nullopt,
         "create table games(id text, ident blob, name blob, exec text, icon text, release text);"
         "insert into games values('four', x'00', x'ff', 'x', 'y', 'z');"
         "create table zeldir(id text, n blob, p text); insert into zeldir values('a', x'2e2e', 'b');"
         "create table zelfls(id text, n blob, s text, d text, p text)",
         // Nothing in it is reachable: an empty game, as for any package
         // whose tree holds no files.
         {1, 2}},
        {L"4_emptynames.db", std::nullopt,
         "create table games(id integer, ident text, name text, exec integer, icon integer, release integer);"
         "insert into games values(4, '', '', 1, 2, 3);"
         "create table zeldir(id integer, n text, p integer); insert into zeldir values(1, '', 0),(2, null, 1);"
         "create table zelfls(id integer, n text, s integer, d blob, chunk integer, compress text, p integer);"
         "insert into zelfls values(1, '', 5, x'0102030405', 0, 'no', 1),(2, 'big', -1, x'00', 0, 'no', 1)"},
        {L"4_cycle.db", std::nullopt,
         "create table games(id integer, ident text, name text, exec integer, icon integer, release integer);"
         "insert into games values(4, 'g', 'G', 1, 2, 3);"
         "create table zeldir(id integer, n text, p integer);"
         "insert into zeldir values(1, 'g', 0),(2, 'loop', 1),(1, 'back', 2),(5, 'self', 5);"
         "create table zelfls(id integer, n text, s integer, d blob, chunk integer, compress text, p integer)"},
        {L"4_chunkloop.db", std::nullopt,
         "create table games(id integer, ident text, name text, exec integer, icon integer, release integer);"
         "insert into games values(4, 'g', 'G', 1, 2, 3);"
         "create table zeldir(id integer, n text, p integer); insert into zeldir values(1, 'g', 0);"
         "create table zelfls(id integer, n text, s integer, d blob, chunk integer, compress text, p integer);"
         "insert into zelfls values(1, 'f', 10, null, 7, 'no', 1);"
         "create table chunks(data blob, next integer);"
         "insert into chunks(rowid, data, next) values(7, x'41', 8),(8, x'42', 7)"},
    };
    for (const auto& package : packages) {
        SCOPED_TRACE(Utf8(package.name));
        std::wstring path = filesDir_.File(package.name);
        if (package.bytes) {
            ASSERT_TRUE(WriteFileBytes(path, *package.bytes));
        } else {
            TestDb db(path);
            db.Exec(package.sql);
        }
        std::string before = ReadFileBytes(path);
        for (const wchar_t* numbering : {L" v 1", L""}) {
            Outcome outcome = RunAnsweringBoxes(exeDir_.path(), L"i " + Quoted(path) + L" w " + Quoted(target) +
                                                                    numbering,
                                                60000);
            ASSERT_TRUE(outcome.code) << outcome;
            EXPECT_TRUE(package.codes.count(*outcome.code)) << outcome;
            if (*outcome.code == 2) {
                EXPECT_FALSE(PathExists(target)) << outcome;
            }
            zeltest::RemoveTree(target);
        }
        EXPECT_TRUE(ReadFileBytes(path) == before);
    }
    // Ids out of range in the package's file name.
    std::wstring good = filesDir_.File(L"good.db");
    {
        TestDb db(good);
        db.Exec("create table games(id integer, ident text, name text, exec integer, icon integer, release integer);"
                "insert into games values(4, 'g', 'G', 0, 0, 3);"
                "create table zeldir(id integer, n text, p integer); insert into zeldir values(1, 'g', 0);"
                "create table zelfls(id integer, n text, s integer, d blob, chunk integer, compress text, p integer);"
                "insert into zelfls values(1, 'a.txt', 1, x'41', 0, 'no', 1)");
    }
    for (const wchar_t* name : {L"-4_game.db", L"4294967300_game.db", L"99999999999999999999_game.db",
                                L"0_game.db", L"_4_game.db"}) {
        SCOPED_TRACE(Utf8(name));
        std::wstring path = filesDir_.File(name);
        ASSERT_TRUE(CopyFileW(good.c_str(), path.c_str(), FALSE));
        Outcome outcome = Run(L"i " + Quoted(path) + L" w " + Quoted(target) + L" v 1");
        ASSERT_TRUE(outcome.code) << outcome;
        EXPECT_TRUE(*outcome.code == 1 || *outcome.code == 2) << outcome;
        zeltest::RemoveTree(target);
    }
    TestDb db(Catalog());
    EXPECT_EQ(302, db.Int("select count(*) from games"));
    EXPECT_EQ(1600000000, db.Int("select inst from games where id=3"));
}

// A package that installs well while the catalog cannot take its row: the
// run fails with the box of its state and takes the files it wrote back
// off the disk, so no game stands there without the catalog knowing it.
TEST_F(HostileInput, InstallWhoseRegistrationFails)
{
    GoodCatalogBytes();
    const std::wstring target = filesDir_.File(L"Target");
    std::wstring package = filesDir_.File(L"4_game.db");
    {
        TestDb db(package);
        db.Exec("create table games(id integer, ident text, name text, exec integer, icon integer, release integer);"
                "insert into games values(4, 'g', 'G', 1, 0, 3);"
                "create table zeldir(id integer, n text, p integer); insert into zeldir values(1, 'g', 0),(2, 'sub', 1);"
                "create table zelfls(id integer, n text, s integer, d blob, chunk integer, compress text, p integer);"
                "insert into zelfls values(1, 'a.txt', 1, x'41', 0, 'no', 1),(2, 'b.txt', 1, x'42', 0, 'no', 2)");
    }
    const std::string junk(8192, 'j');
    ASSERT_TRUE(WriteFileBytes(Catalog(), junk));
    Outcome outcome = Run(L"i " + Quoted(package) + L" w " + Quoted(target) + L" v 1");
    EXPECT_EQ(2u, outcome.code) << outcome;
    EXPECT_TRUE(HasBoxWith(outcome, L"Game installation error code is 111")) << outcome;
    EXPECT_FALSE(PathExists(target)) << outcome;
    EXPECT_TRUE(ReadFileBytes(Catalog()) == junk);

    // A folder of the user's as the target keeps what it held before.
    ASSERT_TRUE(CreateDirectoryW(target.c_str(), nullptr));
    ASSERT_TRUE(WriteFileBytes(target + L"\\mine.txt", "mine"));
    outcome = Run(L"i " + Quoted(package) + L" w " + Quoted(target) + L" v 1");
    EXPECT_EQ(2u, outcome.code) << outcome;
    EXPECT_EQ("mine", ReadFileBytes(target + L"\\mine.txt"));
    EXPECT_FALSE(PathExists(target + L"\\a.txt"));
    EXPECT_FALSE(PathExists(target + L"\\sub"));
}
