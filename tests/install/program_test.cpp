// The real program driven as installers and uninstallers drive it: game
// packages installed, queried, started and uninstalled, the partner
// loader informed, products of older installers carried over, game icons
// copied, shortcuts made. Everything is checked from outside: exit codes,
// files, shortcut files, catalog rows, registry keys, window messages.

#include <gtest/gtest.h>

#include "driver.h"
#include "testcatalog.h"
#include "testfiles.h"
#include "testpackage.h"

#include <objbase.h>
#include <shlobj.h>
#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <ctime>
#include <functional>
#include <knownfolders.h>
#include <map>
#include <vector>

using testcatalog::CatalogFile;
using testfiles::ComApartment;
using testfiles::MakeShortcut;
using testfiles::ReadShortcut;
using testfiles::ShortcutInfo;
using testpackage::Deflate;
using testpackage::Package;
using zeltest::PathExists;
using zeltest::ReadFileBytes;
using zeltest::TempDir;
using zeltest::Utf8;
using zeltest::WriteFileBytes;
using zeltest::ZelProcess;

namespace {

constexpr DWORD kRunTimeoutMs = 60000;
constexpr wchar_t kMenuFolder[] = L"Test Games";  // theme string 5

std::wstring SpecialFolder(int id)
{
    wchar_t path[MAX_PATH + 1] = {};
    SHGetSpecialFolderPathW(nullptr, path, id, TRUE);
    return path;
}

std::wstring Lower(std::wstring text)
{
    for (wchar_t& c : text)
        c = static_cast<wchar_t>(towlower(c));
    return text;
}

// Paths compared as Windows compares them: case aside, a doubled
// backslash counting as one.
std::wstring NormalPath(std::wstring path)
{
    std::wstring out;
    for (wchar_t c : path) {
        if (c == L'\\' && !out.empty() && out.back() == L'\\' && out.size() > 2)
            continue;
        out.push_back(c);
    }
    return Lower(out);
}

// Runs the program while this thread answers messages (the partner loader
// stand-in lives here); the full exit code, or nullopt after the time-out
// (the program is then ended unless it is to go on).
std::optional<DWORD> WaitPumping(ZelProcess& process, DWORD timeoutMs = kRunTimeoutMs, bool goesOn = false)
{
    DWORD start = GetTickCount();
    for (;;) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        DWORD elapsed = GetTickCount() - start;
        if (elapsed >= timeoutMs) {
            if (!goesOn)
                process.Kill();
            return std::nullopt;
        }
        HANDLE handle = process.Handle();
        DWORD rc = MsgWaitForMultipleObjects(1, &handle, FALSE, timeoutMs - elapsed, QS_ALLINPUT);
        if (rc == WAIT_OBJECT_0) {
            DWORD code = 0;
            GetExitCodeProcess(handle, &code);
            return code;
        }
    }
}

// The brand's side of a test: its executable name, product key and
// catalog file.
struct Brand {
    const wchar_t* exeName;
    const wchar_t* product;
    const wchar_t* catalog;
};

constexpr Brand kQuivmark{L"zel.exe", L"zel", L"base.db"};
constexpr Brand kPembrik{L"pembzel.exe", L"Pembrik.Games Quiv", L"pem_rik.db"};
constexpr Brand kFendrake{L"quivzel.exe", L"QuivZEL", L"aflbase.db"};

class ProgramTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        DeleteFileW(CatalogPath(kQuivmark).c_str());
        DeleteFileW(CatalogPath(kPembrik).c_str());
        DeleteFileW(CatalogPath(kFendrake).c_str());
    }
    void TearDown() override
    {
        zeltest::DeleteProductKey(kQuivmark.product);
        zeltest::DeleteProductKey(kPembrik.product);
        zeltest::DeleteProductKey(kFendrake.product);
    }

    std::wstring CatalogPath(const Brand& brand) { return zeltest::AppDataDir() + L"\\" + brand.catalog; }

    std::optional<DWORD> Run(const Brand& brand, const std::wstring& switches)
    {
        return zeltest::RunZel(dir_.path(), brand.exeName, switches, kRunTimeoutMs);
    }

    // The manager installed in dir_, with its catalog made by a first run
    // (a query opens it) and the test theme in it.
    bool PrepareManager(const Brand& brand)
    {
        zeltest::SetProductKey(brand.product, dir_.path(), 0x4000000);
        if (Run(brand, L"z 1") != 10u)
            return false;
        CatalogFile catalog(CatalogPath(brand));
        if (!catalog.HasTable("games") || !catalog.HasTable("themes"))
            return false;
        catalog.ExecWithBlob("insert into themes(k, t, v, d) values('testtheme', 'testtheme', 1, ?)",
                          zeltest::ReadFileBytes(zeltest::TestExeDir() + L"\\testtheme.dll"));
        catalog.Exec("insert or replace into opt(var, val) values('theme', 'testtheme')");
        return true;
    }

    // Installs package into target with the brand-0 program, which must
    // fail with the error box of code and exit code 2.
    void ExpectInstallErrorBox(const std::wstring& package, const std::wstring& target, int code)
    {
        ZelProcess process;
        ASSERT_TRUE(process.Start(dir_.path(), L"zel.exe", L"i \"" + package + L"\" w \"" + target + L"\" v 1"));
        std::optional<zeltest::MessageBoxInfo> box = zeltest::WaitForMessageBox(process.Id(), 30000);
        ASSERT_TRUE(box);
        EXPECT_EQ(L"Quivmark Games", box->caption);
        EXPECT_EQ(L"Game installation error code is " + std::to_wstring(code), box->text);
        zeltest::DismissMessageBox(box->window);
        EXPECT_EQ(2u, process.Wait(30000));
    }

    std::string GameBytes() { return zeltest::ReadFileBytes(zeltest::TestExeDir() + L"\\qmgame.exe"); }

    // A package of game id with the test game as its executable.
    void MakeGamePackage(const std::wstring& path, uint32_t id, const std::string& ident, const std::string& name)
    {
        Package p(path);
        p.AddGame(id, ident, name, 10, 11, 4, 250);
        p.AddDir(1, ident, 0);
        p.AddDir(2, std::string("game"), 1);
        p.AddDir(3, std::string("data"), 2);
        std::string game = GameBytes();
        p.AddFile(10, std::string("qmgame.exe"), static_cast<int64_t>(game.size()), std::nullopt, 2,
                  p.AddChain({Deflate(game)}));
        p.AddStored(11, ident + ".ico", "icon bytes", 1);
        for (int i = 0; i < 5; ++i)
            p.AddDeflated(20 + i, "level" + std::to_string(i) + ".dat", testfiles::SampleBytes(4000, i), 3);
    }

    TempDir dir_{L"inst-e2e"};
    TempDir work_{L"inst-work"};
    ComApartment com_;
};

#define REQUIRE_CATALOG(brand) ASSERT_TRUE(PrepareManager(brand)) << "the program made no catalog"

}  // namespace

TEST_F(ProgramTest, InstallQueryAndUninstallAGame)
{
    REQUIRE_CATALOG(kQuivmark);
    const std::wstring desktop = SpecialFolder(CSIDL_DESKTOP);
    const std::wstring programs = SpecialFolder(CSIDL_PROGRAMS);
    zeltest::RemoveTree(programs + L"\\" + kMenuFolder);
    // Older installers' folders: the common one is renamed, the game's own
    // (named after its ident) removed.
    const std::wstring oldMenu = programs + L"\\\u0418\u0433\u0440\u044B \u043E\u0442 QuivMark";
    CreateDirectoryW(oldMenu.c_str(), nullptr);
    zeltest::WriteFileBytes(oldMenu + L"\\Other.lnk", "other game");
    {
        CatalogFile catalog(CatalogPath(kQuivmark));
        catalog.Exec("insert or replace into opt(var, val) values('newdb', '1')");
        catalog.Exec("insert into games(id, name, type, show) values(300, 'Alpha', 2, 1)");
    }
    const std::wstring package = work_.File(L"300_alpha.db");
    const std::wstring target = work_.File(L"Alpha Game");
    MakeGamePackage(package, 300, "super_alpha", "Alpha");

    EXPECT_EQ(1u, Run(kQuivmark, L"i \"" + package + L"\" w \"" + target + L"\" a 7b k 5 m spring g partner v 1"));

    EXPECT_EQ(GameBytes(), zeltest::ReadFileBytes(target + L"\\game\\qmgame.exe"));
    EXPECT_EQ(testfiles::SampleBytes(4000, 3), zeltest::ReadFileBytes(target + L"\\game\\data\\level3.dat"));
    const std::wstring desktopLink = desktop + L"\\Alpha.lnk";
    const std::wstring menuLink = programs + L"\\" + kMenuFolder + L"\\Alpha.lnk";
    for (const std::wstring& link : {desktopLink, menuLink}) {
        SCOPED_TRACE(zeltest::Utf8(link));
        ShortcutInfo info = ReadShortcut(link);
        ASSERT_TRUE(info.loaded);
        EXPECT_EQ(NormalPath(dir_.File(L"zel.exe")), NormalPath(info.target));
        EXPECT_EQ(L"r 12c v 0", info.arguments);
        EXPECT_EQ(NormalPath(target + L"\\super_alpha.ico"), NormalPath(info.icon));
    }
    EXPECT_TRUE(PathExists(programs + L"\\" + kMenuFolder + L"\\Other.lnk"));
    EXPECT_FALSE(PathExists(oldMenu));

    {
        CatalogFile catalog(CatalogPath(kQuivmark));
        EXPECT_NE("NULL", catalog.Column(300, "inst"));
        EXPECT_EQ(zeltest::Utf8(target), catalog.Column(300, "path"));
        EXPECT_EQ("1", catalog.Column(300, "type"));
        EXPECT_EQ(zeltest::Utf8(target + L"\\game\\qmgame.exe"), catalog.Column(300, "exec"));
        EXPECT_EQ(zeltest::Utf8(L"D" + target + L";L" + desktopLink + L";L" + menuLink + L";"),
                  catalog.Column(300, "uninstall"));
        EXPECT_EQ("123", catalog.Column(300, "afl"));
        EXPECT_EQ("5", catalog.Column(300, "track"));
        EXPECT_EQ("spring", catalog.Column(300, "utm"));
        EXPECT_EQ("partner", catalog.Column(300, "brand"));
        EXPECT_EQ("4", catalog.Column(300, "release"));
        EXPECT_EQ("250", catalog.Column(300, "price"));
    }
    EXPECT_EQ(3u, Run(kQuivmark, L"z 12c v 1"));

    EXPECT_EQ(10u, Run(kQuivmark, L"u 12c e 1"));
    EXPECT_FALSE(PathExists(target));
    EXPECT_FALSE(PathExists(desktopLink));
    EXPECT_FALSE(PathExists(menuLink));
    {
        CatalogFile catalog(CatalogPath(kQuivmark));
        EXPECT_EQ("2", catalog.Column(300, "type"));
        EXPECT_EQ("NULL", catalog.Column(300, "inst"));
        EXPECT_EQ("NULL", catalog.Column(300, "path"));
        EXPECT_EQ("NULL", catalog.Column(300, "uninstall"));
        EXPECT_EQ("Alpha", catalog.Column(300, "name"));
    }
    EXPECT_EQ(10u, Run(kQuivmark, L"z 12c v 1"));
}

TEST_F(ProgramTest, PerGameMenuFolderHoldsTheGameAndTheManager)
{
    REQUIRE_CATALOG(kFendrake);
    const std::wstring menu = SpecialFolder(CSIDL_PROGRAMS) + L"\\" + kMenuFolder;
    const std::wstring gameFolder = menu + L"\\Zeta";
    const std::wstring desktopLink = SpecialFolder(CSIDL_DESKTOP) + L"\\Zeta.lnk";
    const std::wstring package = work_.File(L"320_zeta.db");
    const std::wstring target = work_.File(L"Zeta");
    MakeGamePackage(package, 320, "zeta", "Zeta");
    {
        CatalogFile catalog(CatalogPath(kFendrake));
        catalog.Exec("insert into games(id, name, type, show) values(320, 'Zeta', 2, 1)");
    }

    EXPECT_EQ(1u, Run(kFendrake, L"i \"" + package + L"\" w \"" + target + L"\" a 1f"));
    ShortcutInfo game = ReadShortcut(gameFolder + L"\\Zeta.lnk");
    ASSERT_TRUE(game.loaded);
    EXPECT_EQ(NormalPath(dir_.File(L"quivzel.exe")), NormalPath(game.target));
    EXPECT_EQ(L"r 140", game.arguments);
    EXPECT_EQ(NormalPath(target + L"\\zeta.ico"), NormalPath(game.icon));
    // Beside it, the manager's own shortcut named by the theme, aimed where
    // the brand wants (its target ends in the affiliate), without arguments.
    ShortcutInfo manager = ReadShortcut(gameFolder + L"\\Test Manager.lnk");
    ASSERT_TRUE(manager.loaded);
    EXPECT_EQ(L"c:\\desktop-target.exe31", Lower(manager.target));
    EXPECT_EQ(L"", manager.arguments);
    EXPECT_TRUE(ReadShortcut(desktopLink).loaded);
    {
        CatalogFile catalog(CatalogPath(kFendrake));
        EXPECT_EQ(zeltest::Utf8(L"D" + target + L";L" + desktopLink + L";L" + gameFolder + L";"),
                  catalog.Column(320, "uninstall"));
    }

    // Uninstalling takes the game's whole folder; the theme's folder stays.
    EXPECT_EQ(10u, Run(kFendrake, L"u 140 e 1"));
    EXPECT_FALSE(PathExists(gameFolder));
    EXPECT_FALSE(PathExists(desktopLink));
    EXPECT_FALSE(PathExists(target));
    EXPECT_TRUE(PathExists(menu));

    // A game named as the theme's shortcut: the game's, made second, stays.
    const std::wstring named = work_.File(L"321_named.db");
    MakeGamePackage(named, 321, "named", "Test Manager");
    EXPECT_EQ(1u, Run(kFendrake, L"i \"" + named + L"\" w \"" + work_.File(L"Named") + L"\" a 1f"));
    EXPECT_EQ(L"r 141", ReadShortcut(menu + L"\\Test Manager\\Test Manager.lnk").arguments);
    EXPECT_EQ(10u, Run(kFendrake, L"u 141 e 1"));
    EXPECT_FALSE(PathExists(menu + L"\\Test Manager"));
}

TEST_F(ProgramTest, FailingPackageShowsItsCodeAndLeavesNoTarget)
{
    zeltest::SetProductKey(kQuivmark.product, dir_.path(), 0x4000000);
    const std::wstring target = work_.File(L"Broken");
    struct Failing {
        const char* what;
        int code;
        std::function<void(const std::wstring&)> make;
    };
    const std::vector<Failing> cases = {
        {"garbage stream", 112,
         [](const std::wstring& path) {
             Package p(path);
             p.AddGame(310, std::string("b"), std::string("B"), 1, 0, 1);
             p.AddDir(1, std::string("b"), 0);
             p.AddStored(1, "good.txt", "written first", 1);
             p.AddFile(2, std::string("bad.bin"), 100, std::string("this is no zlib stream"), 1);
         }},
        {"name leading out of the target", 106,
         [](const std::wstring& path) {
             Package p(path);
             p.AddGame(310, std::string("b"), std::string("B"), 1, 0, 1);
             p.AddDir(1, std::string("b"), 0);
             p.AddStored(1, "..\\..\\escaped.txt", "outside", 1);
         }},
        {"missing package", 103, [](const std::wstring& path) { DeleteFileW(path.c_str()); }},
    };
    for (const Failing& failing : cases) {
        SCOPED_TRACE(failing.what);
        const std::wstring package = work_.File(L"310_broken.db");
        failing.make(package);
        ExpectInstallErrorBox(package, target, failing.code);
        EXPECT_FALSE(PathExists(target));
        EXPECT_FALSE(PathExists(work_.path() + L"\\..\\escaped.txt"));
    }
    EXPECT_FALSE(PathExists(work_.File(L"310_broken.db"))) << "a missing package is not created";

    // A failed write ends without a box.
    {
        Package p(work_.File(L"311_nodata.db"));
        p.AddGame(311, std::string("n"), std::string("N"), 1, 0, 1);
        p.AddDir(1, std::string("n"), 0);
        p.AddFile(1, std::string("empty.bin"), 10, std::nullopt, 1, 0, std::string("no"));
    }
    EXPECT_EQ(2u, Run(kQuivmark, L"i \"" + work_.File(L"311_nodata.db") + L"\" w \"" + target + L"\" v 1"));
    EXPECT_FALSE(PathExists(target));
    // No id in the package's file name, or no target: failure, no box. So
    // for an id past 32 bits, which would be read as game 2147483647.
    EXPECT_EQ(2u, Run(kQuivmark, L"i \"" + work_.File(L"game.db") + L"\" w \"" + target + L"\" v 1"));
    for (const wchar_t* name : {L"2147483648_b.db", L"4294967297_w.db"}) {
        MakeGamePackage(work_.File(name), 2147483647, "big", "Big");
        EXPECT_EQ(2u, Run(kQuivmark, L"i \"" + work_.File(name) + L"\" w \"" + target + L"\" v 1")) << Utf8(name);
        EXPECT_FALSE(PathExists(target));
    }
    EXPECT_EQ(2u, Run(kQuivmark, L"i \"" + work_.File(L"311_nodata.db") + L"\" v 1"));
}

// A download that broke off: the listing meets pages that are not there.
// The installation fails with its code, leaves nothing on disk and
// nothing in the catalog.
TEST_F(ProgramTest, PackageCutShortFailsAndLeavesTheCatalogAsItWas)
{
    REQUIRE_CATALOG(kQuivmark);
    {
        CatalogFile catalog(CatalogPath(kQuivmark));
        catalog.Exec("insert into games(id, name, type, show) values(312, 'Cut', 2, 1)");
    }
    const std::wstring package = work_.File(L"312_cut.db");
    const std::wstring target = work_.File(L"Cut");
    {
        Package p(package);
        p.AddGame(312, std::string("cut"), std::string("Cut"), 1, 0, 1);
        p.AddDir(1, std::string("cut"), 0);
        for (int dir = 0; dir < 4; ++dir)
            p.AddDir(10 + dir, "dir" + std::to_string(dir), 1);
        for (int file = 0; file < 400; ++file)
            p.AddDeflated(file + 1, "file" + std::to_string(file) + ".dat", testfiles::SampleBytes(3000, file),
                          10 + file % 4);
    }
    testpackage::CutShort(package);

    ExpectInstallErrorBox(package, target, 106);
    EXPECT_FALSE(PathExists(target));
    CatalogFile catalog(CatalogPath(kQuivmark));
    EXPECT_EQ("2", catalog.Column(312, "type"));
    EXPECT_EQ("NULL", catalog.Column(312, "inst"));
    EXPECT_EQ("NULL", catalog.Column(312, "path"));
}

namespace {

// Every file and folder below root, files with their bytes.
std::map<std::wstring, std::string> TreeContents(const std::wstring& root)
{
    std::map<std::wstring, std::string> contents;
    for (const std::wstring& name : testfiles::ListTree(root)) {
        const std::wstring path = root + L"\\" + name;
        contents[name] = zeltest::DirectoryExists(path) ? "<folder>" : zeltest::ReadFileBytes(path);
    }
    return contents;
}

}  // namespace

TEST_F(ProgramTest, FailedReinstallLeavesTheEarlierVersionAsItWas)
{
    REQUIRE_CATALOG(kQuivmark);
    {
        CatalogFile catalog(CatalogPath(kQuivmark));
        catalog.Exec("insert or replace into opt(var, val) values('newdb', '1')");
        catalog.Exec("insert into games(id, name, type, show) values(330, 'Kappa', 2, 1)");
    }
    const std::wstring target = work_.File(L"Kappa");
    const std::wstring first = work_.File(L"330_kappa.db");
    MakeGamePackage(first, 330, "kappa", "Kappa");
    ASSERT_EQ(1u, Run(kQuivmark, L"i \"" + first + L"\" w \"" + target + L"\" v 1"));
    const std::map<std::wstring, std::string> installed = TreeContents(target);
    const std::vector<const char*> columns = {"type", "inst", "path", "exec", "uninstall", "release"};
    auto row = [&] {
        CatalogFile catalog(CatalogPath(kQuivmark));
        std::vector<std::string> values;
        for (const char* column : columns)
            values.push_back(catalog.Column(330, column));
        return values;
    };
    const std::vector<std::string> installedRow = row();
    ASSERT_EQ("4", installedRow.back());

    // Version 2: other bytes in every file, a folder of its own, release 5;
    // the broken one ends in a file that cannot be written, after all the
    // others (the disk filling up half way).
    const std::string secondGame = GameBytes() + "version 2";
    auto makeSecond = [&](const std::wstring& path, bool broken) {
        Package p(path);
        p.AddGame(330, std::string("kappa"), std::string("Kappa"), 10, 11, 5, 250);
        p.AddDir(1, std::string("kappa"), 0);
        p.AddDir(2, std::string("game"), 1);
        p.AddDir(3, std::string("data"), 2);
        p.AddDir(4, std::string("extra"), 1);
        for (int i = 0; i < 5; ++i)
            p.AddDeflated(20 + i, "level" + std::to_string(i) + ".dat", testfiles::SampleBytes(6000, 50 + i), 3);
        p.AddStored(10, "qmgame.exe", secondGame, 2);
        p.AddStored(30, "new.dat", "new in version 2", 4);
        p.AddStored(11, "kappa.ico", "icon of version 2", 1);
        if (broken)
            p.AddFile(12, std::string("readme.txt"), 10, std::nullopt, 1, 0, std::string("no"));
    };
    const std::wstring broken = work_.File(L"330_kappa_broken.db");
    const std::wstring second = work_.File(L"330_kappa_2.db");
    makeSecond(broken, true);
    makeSecond(second, false);
    auto expectFirstVersion = [&] {
        EXPECT_EQ(installed, TreeContents(target)) << "every file of version 1, and nothing else";
        EXPECT_EQ(installedRow, row());
        EXPECT_EQ(3u, Run(kQuivmark, L"z 14a v 1"));
    };

    {
        SCOPED_TRACE("a file of version 2 cannot be written");
        EXPECT_EQ(2u, Run(kQuivmark, L"i \"" + broken + L"\" w \"" + target + L"\" v 1"));
        expectFirstVersion();
    }
    {
        SCOPED_TRACE("the running game holds its executable");
        HANDLE held = CreateFileW((target + L"\\game\\qmgame.exe").c_str(), GENERIC_READ, FILE_SHARE_READ,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, held);
        EXPECT_EQ(2u, Run(kQuivmark, L"i \"" + second + L"\" w \"" + target + L"\" v 1"));
        CloseHandle(held);
        expectFirstVersion();
    }

    {
        SCOPED_TRACE("the catalog does not take the new row");
        // Another row holds the type and release the new one would have.
        {
            CatalogFile catalog(CatalogPath(kQuivmark));
            catalog.Exec("insert into games(id, type, release) values(998, 1, 5)");
            catalog.Exec("create unique index refuse on games(type, release)");
        }
        ExpectInstallErrorBox(second, target, 111);
        {
            CatalogFile catalog(CatalogPath(kQuivmark));
            catalog.Exec("drop index refuse");
            catalog.Exec("delete from games where id=998");
        }
        expectFirstVersion();
    }

    // Once nothing is in the way, version 2 replaces version 1 whole,
    // without a temporary left beside its files.
    EXPECT_EQ(1u, Run(kQuivmark, L"i \"" + second + L"\" w \"" + target + L"\" v 1"));
    std::map<std::wstring, std::string> updated = installed;
    updated[L"extra"] = "<folder>";
    updated[L"extra\\new.dat"] = "new in version 2";
    updated[L"game\\qmgame.exe"] = secondGame;
    updated[L"kappa.ico"] = "icon of version 2";
    for (int i = 0; i < 5; ++i)
        updated[L"game\\data\\level" + std::to_wstring(i) + L".dat"] = testfiles::SampleBytes(6000, 50 + i);
    EXPECT_EQ(updated, TreeContents(target));
    CatalogFile catalog(CatalogPath(kQuivmark));
    EXPECT_EQ("5", catalog.Column(330, "release"));
}

namespace {

// Stands in for the partner's games loader: its main window records every
// WM_COPYDATA; its progress dialog carries the text that marks it (theme
// string 6), control 2, and a page whose control 1101 is the status label.
class LoaderStandIn {
public:
    struct Report {
        WPARAM wParam;
        ULONG_PTR tag;
        std::string data;
    };

    LoaderStandIn()
    {
        WNDCLASSW windowClass = {};
        windowClass.lpfnWndProc = WindowProc;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"PembrikLoader.TMainForm";
        RegisterClassW(&windowClass);
        main_ = CreateWindowExW(0, windowClass.lpszClassName, L"Loader", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100,
                                nullptr, nullptr, windowClass.hInstance, nullptr);
        SetWindowLongPtrW(main_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        dialog_ = CreateWindowExW(0, L"#32770", L"Installing", WS_POPUP, 0, 0, 300, 200, nullptr, nullptr,
                                  nullptr, nullptr);
        progress_ = CreateWindowExW(0, L"STATIC", L"Installing with Test Manager", WS_CHILD | WS_VISIBLE, 0, 0,
                                    200, 20, dialog_, reinterpret_cast<HMENU>(2), nullptr, nullptr);
        page_ = CreateWindowExW(0, L"#32770", L"", WS_CHILD | WS_VISIBLE, 0, 30, 300, 100, dialog_, nullptr,
                                nullptr, nullptr);
        label_ = CreateWindowExW(0, L"STATIC", L"", WS_CHILD, 0, 0, 300, 20, page_, reinterpret_cast<HMENU>(1101),
                                 nullptr, nullptr);
    }
    ~LoaderStandIn()
    {
        DestroyWindow(dialog_);
        DestroyWindow(main_);
        UnregisterClassW(L"PembrikLoader.TMainForm", GetModuleHandleW(nullptr));
    }

    // Makes the status label take its time over every text it is given,
    // so that each file the installer shows outlasts the report throttle.
    void SlowDownStatusLabel()
    {
        labelProc_ = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(label_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(SlowLabelProc)));
    }

    // Runs meanwhile the moment the installing process shows the file at
    // path, while it waits for the label: the files before it are
    // written, that one and those after it are not.
    void HoldAt(const std::wstring& path, std::function<void()> meanwhile)
    {
        holdPath_ = NormalPath(path);
        meanwhile_ = std::move(meanwhile);
        labelProc_ = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(label_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(HoldingLabelProc)));
    }
    // Ends the installing process there.
    void KillAt(const std::wstring& path, HANDLE process)
    {
        HoldAt(path, [process] {
            TerminateProcess(process, 0xDEAD);
            WaitForSingleObject(process, 5000);
        });
    }

    bool Ready() const { return main_ && dialog_ && progress_ && page_ && label_; }
    HWND Dialog() const { return dialog_; }
    HWND ProgressControl() const { return progress_; }
    HWND Label() const { return label_; }
    const std::vector<Report>& Reports() const { return reports_; }

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        if (message == WM_COPYDATA) {
            auto* self = reinterpret_cast<LoaderStandIn*>(GetWindowLongPtrW(window, GWLP_USERDATA));
            auto* copy = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
            if (self && copy)
                self->reports_.push_back(
                    {wParam, copy->dwData, std::string(static_cast<const char*>(copy->lpData), copy->cbData)});
            return TRUE;
        }
        return DefWindowProcW(window, message, wParam, lParam);
    }

    static LRESULT CALLBACK SlowLabelProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        if (message == WM_SETTEXT)
            Sleep(350);
        return CallWindowProcW(labelProc_, window, message, wParam, lParam);
    }

    static LRESULT CALLBACK HoldingLabelProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        if (message == WM_SETTEXT && NormalPath(reinterpret_cast<const wchar_t*>(lParam)) == holdPath_)
            meanwhile_();
        return CallWindowProcW(labelProc_, window, message, wParam, lParam);
    }

    static inline WNDPROC labelProc_ = nullptr;
    static inline std::wstring holdPath_;
    static inline std::function<void()> meanwhile_;
    HWND main_ = nullptr;
    HWND dialog_ = nullptr;
    HWND progress_ = nullptr;
    HWND page_ = nullptr;
    HWND label_ = nullptr;
    std::vector<Report> reports_;
};

uint32_t Word(const std::string& data, size_t index)
{
    uint32_t value = 0;
    if (data.size() >= (index + 1) * 4)
        memcpy(&value, data.data() + index * 4, 4);
    return value;
}

uint32_t HandleBits(HWND window)
{
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(window));
}

std::wstring WindowText(HWND window)
{
    wchar_t text[1024] = {};
    GetWindowTextW(window, text, 1024);
    return text;
}

}  // namespace

TEST_F(ProgramTest, PartnerBrandReportsProgressAndStartsTheGame)
{
    REQUIRE_CATALOG(kPembrik);
    {
        CatalogFile catalog(CatalogPath(kPembrik));
        catalog.Exec("insert into games(id, name, type, show) values(301, 'Beta', 2, 1)");
    }
    LoaderStandIn loader;
    ASSERT_TRUE(loader.Ready());
    const std::wstring package = work_.File(L"301_beta.db");
    const std::wstring target = work_.File(L"Beta");
    MakeGamePackage(package, 5301, "beta", "Beta");

    ZelProcess install;
    ASSERT_TRUE(install.Start(dir_.path(), kPembrik.exeName, L"i \"" + package + L"\" w \"" + target + L"\""));
    EXPECT_EQ(1u, WaitPumping(install));

    // The first report (0) and the last (10000) always go out; the files
    // in between come faster than one report in 300 ms.
    const std::vector<LoaderStandIn::Report>& reports = loader.Reports();
    ASSERT_GE(reports.size(), 2u);
    EXPECT_LE(reports.size(), 9u);
    for (const LoaderStandIn::Report& report : reports) {
        EXPECT_EQ(reinterpret_cast<WPARAM>(loader.Dialog()), report.wParam);
        EXPECT_EQ(0xDEEDDDDDu, report.tag);
        ASSERT_EQ(12u, report.data.size());
        EXPECT_EQ(5301u, Word(report.data, 0)) << "every report carries the package's game id";
        EXPECT_EQ(HandleBits(loader.ProgressControl()), Word(report.data, 2));
    }
    EXPECT_EQ(0u, Word(reports.front().data, 1));
    EXPECT_EQ(10000u, Word(reports.back().data, 1));
    // The status label shows the last file written, and is shown itself.
    EXPECT_EQ(NormalPath(target + L"\\beta.ico"), NormalPath(WindowText(loader.Label())));
    EXPECT_TRUE(GetWindowLongW(loader.Label(), GWL_STYLE) & WS_VISIBLE);

    // No shortcuts for this brand: the list has only the folder.
    {
        CatalogFile catalog(CatalogPath(kPembrik));
        EXPECT_EQ(zeltest::Utf8(L"D" + target + L";L;L;"), catalog.Column(301, "uninstall"));
    }
    EXPECT_EQ(3u, Run(kPembrik, L"z 12d"));

    ZelProcess start;
    ASSERT_TRUE(start.Start(dir_.path(), kPembrik.exeName, L"s 12d"));
    // The game runs first; the manager that would follow cannot come up in
    // this test's prefix, which ends the run as a start-up error.
    EXPECT_EQ(4u, WaitPumping(start));
    EXPECT_EQ(testcatalog::LaunchRecord(target), zeltest::ReadFileBytes(target + L"\\game\\launched.txt"));
    CatalogFile catalog(CatalogPath(kPembrik));
    EXPECT_EQ("1", catalog.Column(301, "runs"));
}

TEST_F(ProgramTest, InstallerNameMappedIdsAndShortcutIcons)
{
    REQUIRE_CATALOG(kQuivmark);
    // Only the partner brand reports progress to its loader; the status
    // label of the loader's dialog shows the files of every brand.
    LoaderStandIn loader;
    ASSERT_TRUE(loader.Ready());
    auto run = [&](const std::wstring& switches) -> std::optional<DWORD> {
        ZelProcess process;
        if (!process.Start(dir_.path(), kQuivmark.exeName, switches))
            return std::nullopt;
        return WaitPumping(process);
    };
    const std::wstring desktopLink = SpecialFolder(CSIDL_DESKTOP) + L"\\Delta.lnk";
    const std::wstring menu = SpecialFolder(CSIDL_PROGRAMS) + L"\\" + kMenuFolder;
    const std::wstring menuLink = menu + L"\\Delta.lnk";
    // The folder an older installer made for the game, named after its
    // ident with blanks for underscores.
    const std::wstring olderGameFolder = menu + L"\\super delta";
    CreateDirectoryW(menu.c_str(), nullptr);
    CreateDirectoryW(olderGameFolder.c_str(), nullptr);
    zeltest::WriteFileBytes(olderGameFolder + L"\\Delta.lnk", "old");
    {
        // The package knows the game by its older id 7, which the catalog
        // maps to 600; the installer installs it as game 500.
        CatalogFile catalog(CatalogPath(kQuivmark));
        catalog.Exec("insert or replace into opt(var, val) values('newdb', '1')");
        catalog.Exec("insert into games(id, name, type, show) values(500, 'Delta', 2, 1)");
        catalog.Exec("insert into games(id, name, type, show, old_id) values(600, 'Delta new', 2, 1, 7)");
    }
    const std::wstring package = work_.File(L"500_delta.db");
    const std::wstring target = work_.File(L"Delta");
    {
        // No file is the icon: the shortcuts take the executable's.
        Package p(package);
        p.AddGame(7, std::string("super_delta"), std::string("Delta"), 10, 99, 1);
        p.AddDir(1, std::string("super_delta"), 0);
        p.AddDir(2, std::string("game"), 1);
        p.AddStored(10, "qmgame.exe", "MZ", 2);
    }
    const std::wstring install = L"i \"" + package + L"\" w \"" + target + L"\" v 1";

    EXPECT_EQ(1u, run(install + L" o C:\\downloads\\setup_ya.exe"));
    for (const std::wstring& link : {desktopLink, menuLink}) {
        SCOPED_TRACE(zeltest::Utf8(link));
        ShortcutInfo info = ReadShortcut(link);
        ASSERT_TRUE(info.loaded);
        EXPECT_EQ(L"r 258 v 0", info.arguments);
        EXPECT_EQ(NormalPath(target + L"\\game\\qmgame.exe"), NormalPath(info.icon));
    }
    EXPECT_FALSE(PathExists(olderGameFolder));
    EXPECT_TRUE(loader.Reports().empty());
    EXPECT_EQ(NormalPath(target + L"\\game\\qmgame.exe"), NormalPath(WindowText(loader.Label())));
    {
        CatalogFile catalog(CatalogPath(kQuivmark));
        EXPECT_EQ(zeltest::Utf8(target), catalog.Column(500, "path"));
        EXPECT_EQ("4294967295", catalog.Column(500, "afl"));
        EXPECT_EQ("NULL", catalog.Column(600, "inst"));
    }

    // Only a name ending exactly in "_ya.exe" after more than those seven
    // characters marks the partner's installer; ".exe" is added first.
    struct Installer {
        const wchar_t* name;
        const char* afl;
    };
    for (const Installer& installer : {Installer{L"C:\\downloads\\setup_ya", "4294967295"},
                                       Installer{L"C:\\downloads\\setup_YA.exe", "5"},
                                       Installer{L"_ya.exe", "5"}}) {
        SCOPED_TRACE(zeltest::Utf8(installer.name));
        EXPECT_EQ(1u, run(install + L" a 5 o " + installer.name));
        CatalogFile catalog(CatalogPath(kQuivmark));
        EXPECT_EQ(installer.afl, catalog.Column(500, "afl"));
    }

    // With the older numbering the shortcuts carry the package's own id,
    // under the next name: Delta.lnk starts the manager for game 600. They
    // start it for game 7, not 500, so 500's uninstall leaves them.
    {
        CatalogFile catalog(CatalogPath(kQuivmark));
        catalog.Exec("update opt set val='0' where var='newdb'");
    }
    EXPECT_EQ(1u, run(install));
    const std::wstring olderLink = SpecialFolder(CSIDL_DESKTOP) + L"\\Delta (2).lnk";
    EXPECT_EQ(L"r 7", ReadShortcut(olderLink).arguments);
    EXPECT_EQ(10u, run(L"u 1f4 e 1"));
    EXPECT_TRUE(PathExists(olderLink));
    EXPECT_TRUE(PathExists(menuLink));

    // A package file named 1f4: the id is the decimal number it begins
    // with, 1, not 0x1f4.
    const std::wstring oneFile = work_.File(L"1f4.pkg");
    ASSERT_TRUE(CopyFileW(package.c_str(), oneFile.c_str(), FALSE));
    {
        CatalogFile catalog(CatalogPath(kQuivmark));
        catalog.Exec("insert into games(id, name, type, show) values(1, 'One', 2, 1)");
    }
    EXPECT_EQ(1u, run(L"i \"" + oneFile + L"\" w \"" + target + L"\" v 1"));
    {
        CatalogFile catalog(CatalogPath(kQuivmark));
        EXPECT_EQ(zeltest::Utf8(target), catalog.Column(1, "path"));
        EXPECT_EQ("NULL", catalog.Column(500, "path"));
    }
    EXPECT_EQ(10u, run(L"u 1 e 1"));
    EXPECT_EQ(L"r 7", ReadShortcut(olderLink).arguments);
}

TEST_F(ProgramTest, PartnerProgressMovesByOneStepForEachFileWrittenWithData)
{
    REQUIRE_CATALOG(kPembrik);
    LoaderStandIn loader;
    ASSERT_TRUE(loader.Ready());
    loader.SlowDownStatusLabel();
    const std::wstring package = work_.File(L"302_eta.db");
    const std::wstring target = work_.File(L"Eta");
    {
        // Three files, so the step is 10000 / 3; the empty one moves
        // nothing.
        Package p(package);
        p.AddGame(302, std::string("eta"), std::string("Eta"), 1, 0, 1);
        p.AddDir(1, std::string("eta"), 0);
        p.AddStored(1, "a.bin", "first", 1);
        p.AddDeflated(2, "b.bin", "second", 1);
        p.AddFile(3, std::string("z.txt"), 0, std::string("ignored"), 1, 0, std::string("no"));
    }
    ZelProcess install;
    ASSERT_TRUE(install.Start(dir_.path(), kPembrik.exeName, L"i \"" + package + L"\" w \"" + target + L"\""));
    EXPECT_EQ(1u, WaitPumping(install));

    std::vector<uint32_t> progress;
    for (const LoaderStandIn::Report& report : loader.Reports()) {
        EXPECT_EQ(302u, Word(report.data, 0));
        progress.push_back(Word(report.data, 1));
    }
    EXPECT_EQ((std::vector<uint32_t>{0, 3333, 6666, 10000}), progress);
    EXPECT_EQ(NormalPath(target + L"\\z.txt"), NormalPath(WindowText(loader.Label())));
}

namespace {

void SetRegString(HKEY root, const std::wstring& path, const wchar_t* name, const std::wstring& value)
{
    HKEY key = nullptr;
    RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr);
    RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
}

bool KeyExists(HKEY root, const std::wstring& path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

}  // namespace

TEST_F(ProgramTest, ProductsOfOlderInstallersAreCarriedOverOnce)
{
    REQUIRE_CATALOG(kQuivmark);
    const std::wstring desktop = SpecialFolder(CSIDL_DESKTOP);
    const std::wstring menu = SpecialFolder(CSIDL_PROGRAMS) + L"\\\u0418\u0433\u0440\u044B\\Gamma";
    const std::wstring folder = work_.File(L"Old Gamma");
    CreateDirectoryW(folder.c_str(), nullptr);
    testfiles::WriteOlderSettings(folder, "version=1\rproductname=Gamma\r");
    zeltest::WriteFileBytes(folder + L"\\affiliate.txt", "45678");
    zeltest::WriteFileBytes(folder + L"\\uninstall.exe", "old uninstaller");
    CreateDirectoryW((SpecialFolder(CSIDL_PROGRAMS) + L"\\\u0418\u0433\u0440\u044B").c_str(), nullptr);
    CreateDirectoryW(menu.c_str(), nullptr);
    ASSERT_TRUE(MakeShortcut(menu + L"\\Gamma.lnk", folder + L"\\gamma.exe"));
    ASSERT_TRUE(MakeShortcut(menu + L"\\Uninstall.lnk", folder + L"\\uninstall.exe"));
    ASSERT_TRUE(MakeShortcut(desktop + L"\\Gamma.lnk", folder + L"\\gamma.exe"));
    SetRegString(HKEY_CURRENT_USER, L"Software\\OldVendor\\Products\\Product42", L"Dir", folder);
    // Not carried over: a game the catalog lacks, a key name without id.
    SetRegString(HKEY_CURRENT_USER, L"Software\\OldVendor\\Products\\product77", L"Dir", folder);
    SetRegString(HKEY_CURRENT_USER, L"Software\\OldVendor\\Products\\ProductX", L"Dir", folder);
    SetRegString(HKEY_CURRENT_USER, L"Software\\OldVendor\\Products\\Product", L"Dir", folder);
    // A lower-case key name counts too.
    const std::wstring otherFolder = work_.File(L"Old Theta");
    CreateDirectoryW(otherFolder.c_str(), nullptr);
    testfiles::WriteOlderSettings(otherFolder, "productname=Theta\r");
    zeltest::WriteFileBytes(otherFolder + L"\\affiliate.txt", "123");
    SetRegString(HKEY_CURRENT_USER, L"Software\\OtherVendor\\Products\\product78", L"Dir", otherFolder);
    // A device's name: carried over, no path naming the device listed.
    const std::wstring portFolder = work_.File(L"Old Port");
    CreateDirectoryW(portFolder.c_str(), nullptr);
    testfiles::WriteOlderSettings(portFolder, "productname=COM1\r");
    zeltest::WriteFileBytes(portFolder + L"\\affiliate.txt", "30001");
    SetRegString(HKEY_CURRENT_USER, L"Software\\OtherVendor\\Products\\Product79", L"Dir", portFolder);
    const std::wstring uninstallEntry = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\OldGamma";
    SetRegString(HKEY_LOCAL_MACHINE, uninstallEntry, L"DisplayName", L"QuivMark Gamma (remove only)");
    {
        CatalogFile catalog(CatalogPath(kQuivmark));
        catalog.Exec("insert into games(id, name, type, show) values(42, 'Gamma', 2, 1)");
        // What an installation of Theta cut short left stays recorded.
        catalog.ExecWithText("insert into games(id, name, type, show, uninstall) values(78, 'Theta', 2, 1, ?1)",
                             L"P" + work_.path() + L";L" + work_.path() + L";");
        catalog.Exec("insert into games(id, name, type, show) values(79, 'Port', 2, 1)");
    }

    const long long before = static_cast<long long>(time(nullptr));
    EXPECT_EQ(10u, Run(kQuivmark, L"e 1"));
    {
        CatalogFile catalog(CatalogPath(kQuivmark));
        EXPECT_EQ("1", catalog.Column(42, "type"));
        EXPECT_EQ("45678", catalog.Column(42, "afl"));
        EXPECT_EQ(zeltest::Utf8(folder), catalog.Column(42, "path"));
        EXPECT_EQ(zeltest::Utf8(L"D" + folder + L";D" + menu + L";L" + desktop + L"\\Gamma.lnk"),
                  catalog.Column(42, "uninstall"));
        EXPECT_GE(std::stoll(catalog.Column(42, "inst")), before);
        EXPECT_EQ("<no row>", catalog.Column(77, "type"));
        EXPECT_EQ("1", catalog.Column(78, "type"));
        EXPECT_EQ("30000", catalog.Column(78, "afl"));
        EXPECT_EQ(zeltest::Utf8(otherFolder), catalog.Column(78, "path"));
        const std::string theta = catalog.Column(78, "uninstall");
        EXPECT_EQ(0u, theta.find(zeltest::Utf8(L"D" + otherFolder + L";D")));
        EXPECT_NE(std::string::npos, theta.find(zeltest::Utf8(L";L" + work_.path() + L";"))) << theta;
        EXPECT_EQ(std::string::npos, theta.find(zeltest::Utf8(L"P" + work_.path()))) << theta;
        EXPECT_EQ(zeltest::Utf8(L"D" + portFolder + L";D;L"), catalog.Column(79, "uninstall"));
    }
    EXPECT_FALSE(PathExists(folder + L"\\uninstall.exe"));
    EXPECT_FALSE(PathExists(menu + L"\\Uninstall.lnk"));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, uninstallEntry));
    for (const std::wstring& link : {menu + L"\\Gamma.lnk", desktop + L"\\Gamma.lnk"}) {
        SCOPED_TRACE(zeltest::Utf8(link));
        ShortcutInfo info = ReadShortcut(link);
        ASSERT_TRUE(info.loaded);
        EXPECT_EQ(NormalPath(dir_.File(L"zel.exe")), NormalPath(info.target));
        EXPECT_EQ(L"r 2a", info.arguments);
    }
    EXPECT_TRUE(PathExists(folder + L"\\settings.txt"));

    // Carried over once: a second start leaves the row alone.
    zeltest::WriteFileBytes(folder + L"\\affiliate.txt", "99999");
    EXPECT_EQ(10u, Run(kQuivmark, L"e 1"));
    CatalogFile catalog(CatalogPath(kQuivmark));
    EXPECT_EQ("45678", catalog.Column(42, "afl"));
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\OldVendor");
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\OtherVendor");
}

TEST_F(ProgramTest, UninstallAllAndTheManagerShortcuts)
{
    REQUIRE_CATALOG(kQuivmark);
    const std::wstring one = work_.File(L"One");
    const std::wstring two = work_.File(L"Two");
    const std::wstring spared = work_.File(L"Spared");
    for (const std::wstring& folder : {one, two, spared})
        CreateDirectoryW(folder.c_str(), nullptr);
    {
        CatalogFile catalog(CatalogPath(kQuivmark));
        catalog.Exec("insert into games(id, type, inst, uninstall) values(1, 1, 1700000000, 'D" +
                     zeltest::Utf8(one) + ";L;L;')");
        catalog.Exec("insert into games(id, type, inst, uninstall) values(2, 1, 1700000000, 'D" +
                     zeltest::Utf8(two) + "')");
        catalog.Exec("insert into games(id, type, uninstall) values(3, 2, 'D" + zeltest::Utf8(spared) + "')");
    }
    EXPECT_EQ(10u, Run(kQuivmark, L"c 1 y 1 e 1"));
    EXPECT_FALSE(PathExists(one));
    EXPECT_FALSE(PathExists(two));
    EXPECT_TRUE(PathExists(spared));
    {
        CatalogFile catalog(CatalogPath(kQuivmark));
        EXPECT_EQ("NULL", catalog.Column(1, "inst"));
        EXPECT_EQ("NULL", catalog.Column(2, "inst"));
        EXPECT_EQ("2", catalog.Column(2, "type"));
        EXPECT_NE("NULL", catalog.Column(3, "uninstall"));
    }

    ShortcutInfo desktop = ReadShortcut(SpecialFolder(CSIDL_DESKTOP) + L"\\Test Desktop.lnk");
    ASSERT_TRUE(desktop.loaded);
    EXPECT_EQ(L"c:\\desktop-target.exe", Lower(desktop.target));
    EXPECT_EQ(NormalPath(dir_.File(L"testtheme.dll")), NormalPath(desktop.icon));
    ShortcutInfo menu =
        ReadShortcut(SpecialFolder(CSIDL_PROGRAMS) + L"\\" + kMenuFolder + L"\\Test Manager.lnk");
    ASSERT_TRUE(menu.loaded);
    EXPECT_EQ(L"c:\\menu-target.exe", Lower(menu.target));
}

namespace {

std::string ResourceBytes(HMODULE module, const wchar_t* name, const wchar_t* type)
{
    HRSRC found = FindResourceW(module, name, type);
    if (!found)
        return "<missing>";
    HGLOBAL loaded = LoadResource(module, found);
    return std::string(static_cast<const char*>(LockResource(loaded)), SizeofResource(module, found));
}

}  // namespace

TEST_F(ProgramTest, GameIconsAreCopiedIntoTheIconLibrary)
{
    zeltest::SetProductKey(kQuivmark.product, dir_.path(), 0x4000000);
    const std::wstring library = dir_.File(L"games.dll");
    ASSERT_TRUE(CopyFileW((zeltest::TestExeDir() + L"\\testtheme.dll").c_str(), library.c_str(), FALSE));
    const std::wstring icons = zeltest::TestExeDir() + L"\\testicons.dll";

    // Brand 0 copies only when the caller uses the current numbering.
    EXPECT_EQ(10u, Run(kQuivmark, L"p \"" + icons + L"\" e 1"));
    EXPECT_EQ(14u, Run(kQuivmark, L"p \"" + work_.File(L"missing.dll") + L"\" v 1 e 1"));
    EXPECT_EQ(13u, Run(kQuivmark, L"p \"" + icons + L"\" v 1 e 1"));

    HMODULE module = LoadLibraryExW(library.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_TRUE(module);
    EXPECT_EQ("small-300", ResourceBytes(module, L"S300.PIC", L"SMALL"));
    EXPECT_EQ(std::string("small-301\x01\x02", 11), ResourceBytes(module, L"S301.PIC", L"SMALL"));
    EXPECT_EQ("big-seven", ResourceBytes(module, MAKEINTRESOURCEW(7), L"BIG"));
    // What the library held before stays.
    wchar_t* text = nullptr;
    EXPECT_GT(LoadStringW(module, 5, reinterpret_cast<LPWSTR>(&text), 0), 0);
    FreeLibrary(module);
}

// The module named by p is read for its pictures only: its own code (here
// one that would end the process with 77) never runs.
TEST_F(ProgramTest, IconModuleCodeDoesNotRun)
{
    zeltest::SetProductKey(kQuivmark.product, dir_.path(), 0x4000000);
    const std::wstring library = dir_.File(L"games.dll");
    ASSERT_TRUE(CopyFileW((zeltest::TestExeDir() + L"\\testtheme.dll").c_str(), library.c_str(), FALSE));
    const std::wstring icons = zeltest::TestExeDir() + L"\\activeicons.dll";

    EXPECT_EQ(13u, Run(kQuivmark, L"p \"" + icons + L"\" v 1 e 1"));
    HMODULE module = LoadLibraryExW(library.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_TRUE(module);
    EXPECT_EQ("small-300", ResourceBytes(module, L"S300.PIC", L"SMALL"));
    EXPECT_EQ("big-seven", ResourceBytes(module, MAKEINTRESOURCEW(7), L"BIG"));
    FreeLibrary(module);
}

namespace {

// Uninstalls that must leave the catalog and the disk agreeing: nothing of
// the user's or of another game removed, nothing of the game left without
// a record, every failure reported as one. Ids of the current numbering
// throughout.
class UninstallTest : public ProgramTest {
protected:
    void SetUp() override
    {
        ProgramTest::SetUp();
        ASSERT_TRUE(PrepareManager(kQuivmark)) << "the program made no catalog";
        CatalogFile catalog(CatalogPath());
        catalog.Exec("insert or replace into opt(var, val) values('newdb', '1')");
    }
    void TearDown() override
    {
        for (const std::wstring& path : cleanUp_)
            zeltest::RemoveTree(path);
        ProgramTest::TearDown();
    }

    using ProgramTest::CatalogPath;
    using ProgramTest::Run;
    std::wstring CatalogPath() { return CatalogPath(kQuivmark); }
    std::optional<DWORD> Run(const std::wstring& switches) { return Run(kQuivmark, switches); }

    void AddGame(uint32_t id, const char* name)
    {
        CatalogFile catalog(CatalogPath());
        catalog.Exec("insert into games(id, name, type, show) values(" + std::to_string(id) + ", '" + name +
                     "', 2, 1)");
    }
    std::wstring MakePackage(uint32_t id, const std::string& name, std::string ident = std::string())
    {
        const std::wstring path = work_.File((std::to_wstring(id) + L"_game.db").c_str());
        DeleteFileW(path.c_str());
        MakeGamePackage(path, id, ident.empty() ? "ident" + std::to_string(id) : ident, name);
        return path;
    }
    std::optional<DWORD> Install(uint32_t id, const std::string& name, const std::wstring& target)
    {
        return Run(L"i \"" + MakePackage(id, name) + L"\" w \"" + target + L"\" v 1");
    }
    std::optional<DWORD> Uninstall(uint32_t id) { return Run(L"u " + Hex(id) + L" e 1"); }
    // The installation of game id from package into target, ended by the
    // loader stand-in the moment it shows the file killAt.
    void InstallKilledAt(const std::wstring& package, const std::wstring& target,
                         const std::wstring& killAt)
    {
        LoaderStandIn loader;
        ASSERT_TRUE(loader.Ready());
        ZelProcess install;
        ASSERT_TRUE(install.Start(dir_.path(), L"zel.exe", L"i \"" + package + L"\" w \"" + target + L"\" v 1"));
        loader.KillAt(killAt, install.Handle());
        EXPECT_EQ(0xDEADu, WaitPumping(install));
        EXPECT_TRUE(PathExists(target)) << "killed before it wrote anything";
    }
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

    std::vector<std::wstring> cleanUp_;
};

}  // namespace

// A folder that held the user's files keeps them, and itself, down to the
// folders inside it that the game's tree shares; a folder the installation
// made goes whole; a list naming Documents deletes nothing.
TEST_F(UninstallTest, WhatTheGameDidNotBringStays)
{
    AddGame(400, "Mine");
    const std::wstring mine = work_.File(L"My Things");
    CreateDirectoryW(mine.c_str(), nullptr);
    CreateDirectoryW((mine + L"\\photos").c_str(), nullptr);
    CreateDirectoryW((mine + L"\\game").c_str(), nullptr);
    ASSERT_TRUE(WriteFileBytes(mine + L"\\letter.doc", "dear"));
    ASSERT_TRUE(WriteFileBytes(mine + L"\\photos\\a.jpg", "jpg"));
    ASSERT_TRUE(WriteFileBytes(mine + L"\\game\\notes.txt", "my notes"));
    EXPECT_EQ(1u, Install(400, "Mine", mine));
    EXPECT_TRUE(PathExists(mine + L"\\game\\qmgame.exe"));
    const std::string list = Column(400, "uninstall");
    EXPECT_EQ(std::string::npos, list.find(Utf8(L"D" + mine + L";"))) << list;
    EXPECT_EQ(std::string::npos, list.find(Utf8(L"L" + mine + L"\\game;"))) << list;
    EXPECT_NE(std::string::npos, list.find(Utf8(L"L" + mine + L"\\game\\data;"))) << list;
    EXPECT_EQ(10u, Uninstall(400));
    EXPECT_EQ("dear", ReadFileBytes(mine + L"\\letter.doc"));
    EXPECT_EQ("jpg", ReadFileBytes(mine + L"\\photos\\a.jpg"));
    EXPECT_EQ((std::set<std::wstring>{L"notes.txt"}), testfiles::ListTree(mine + L"\\game"));
    EXPECT_FALSE(PathExists(mine + L"\\ident400.ico"));
    EXPECT_EQ("NULL", Column(400, "uninstall"));

    AddGame(401, "Fresh");
    const std::wstring fresh = work_.File(L"Fresh Game");
    EXPECT_EQ(1u, Install(401, "Fresh", fresh));
    EXPECT_EQ(Utf8(L"D" + fresh + L";"), Column(401, "uninstall").substr(0, Utf8(fresh).size() + 2));
    EXPECT_EQ(10u, Uninstall(401));
    EXPECT_FALSE(PathExists(fresh));

    // A folder that cannot be listed (held open without sharing) may hold
    // anything: it is not the game's.
    const std::wstring unlisted = work_.File(L"Unlisted");
    CreateDirectoryW(unlisted.c_str(), nullptr);
    ASSERT_TRUE(WriteFileBytes(unlisted + L"\\letter.doc", "dear"));
    HANDLE held = CreateFileW(unlisted.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                              nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    EXPECT_EQ(1u, Install(401, "Fresh", unlisted));
    CloseHandle(held);
    EXPECT_EQ(10u, Uninstall(401));
    EXPECT_EQ((std::set<std::wstring>{L"letter.doc"}), testfiles::ListTree(unlisted));

    // A list an older version wrote for a game installed into Documents.
    const std::wstring documents = SpecialFolder(CSIDL_PERSONAL);
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
    EXPECT_TRUE(PathExists(inner + L"\\game\\data\\level0.dat"));
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

// Two games in one folder of the user's, each bringing a folder of the
// same name and files of the same names: whichever goes first leaves the
// other's files, those it wrote over included, and the folder goes with
// the second.
TEST_F(UninstallTest, TwoGamesInOneFolderKeepEachOthersFiles)
{
    AddGame(498, "First");
    AddGame(499, "Second");
    const std::wstring shared = work_.File(L"Shared");
    CreateDirectoryW(shared.c_str(), nullptr);
    ASSERT_TRUE(WriteFileBytes(shared + L"\\mine.txt", "mine"));
    const std::wstring second = work_.File(L"499_second.db");
    {
        Package p(second);
        p.AddGame(499, std::string("ident499"), std::string("Second"), 0, 0, 4);
        p.AddDir(1, std::string("ident499"), 0);
        p.AddDir(2, std::string("game"), 1);
        p.AddDir(3, std::string("data"), 2);
        p.AddStored(1, "extra.dat", "the second game's", 3);
        p.AddStored(2, "qmgame.exe", "the second game's program", 2);
        p.AddStored(3, "ident498.ico", "the second game's icon", 1);
    }
    for (uint32_t first : {498u, 499u}) {
        SCOPED_TRACE(first);
        const uint32_t last = first == 498 ? 499 : 498;
        EXPECT_EQ(1u, Install(498, "First", shared));
        EXPECT_EQ(1u, Run(L"i \"" + second + L"\" w \"" + shared + L"\" v 1"));
        EXPECT_EQ(10u, Uninstall(first));
        EXPECT_EQ(3u, Query(last));
        EXPECT_TRUE(PathExists(shared + L"\\game\\qmgame.exe"));
        EXPECT_TRUE(PathExists(shared + L"\\ident498.ico"));
        EXPECT_EQ(last == 498, PathExists(shared + L"\\game\\data\\level0.dat"));
        EXPECT_EQ(last == 499, PathExists(shared + L"\\game\\data\\extra.dat"));
        EXPECT_EQ(10u, Uninstall(last));
        EXPECT_EQ((std::set<std::wstring>{L"mine.txt"}), testfiles::ListTree(shared));
        EXPECT_EQ("NULL", Column(first, "uninstall"));
    }
}

// An installation killed part way leaves its list pending: another game's
// uninstall leaves that target, and the user's files in it, alone, and
// uninstalling every game finishes it.
TEST_F(UninstallTest, AKilledInstallationsTargetStaysItsOwn)
{
    AddGame(496, "Killed");
    AddGame(497, "Inside");
    const std::wstring games = work_.File(L"Games2");
    InstallKilledAt(MakePackage(496, "Killed"), games, games + L"\\game\\data\\level2.dat");
    EXPECT_EQ(1u, Install(497, "Inside", games + L"\\X"));
    CreateDirectoryW((games + L"\\MyStuff").c_str(), nullptr);
    ASSERT_TRUE(WriteFileBytes(games + L"\\MyStuff\\photo.jpg", "mine"));
    EXPECT_EQ(10u, Uninstall(497));
    EXPECT_FALSE(PathExists(games + L"\\X"));
    EXPECT_TRUE(PathExists(games + L"\\MyStuff\\photo.jpg"));
    EXPECT_TRUE(PathExists(games + L"\\game\\data\\level1.dat"));
    EXPECT_EQ(10u, Run(L"c 1 e 1"));
    EXPECT_FALSE(PathExists(games + L"\\game"));
    EXPECT_EQ("NULL", Column(496, "uninstall"));
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
    EXPECT_FALSE(PathExists(SpecialFolder(CSIDL_DESKTOP) + L"\\Newcomer.lnk"));
}

// Read-only files go; a file held open stays listed, and the next
// uninstall finishes. An older installer's product, once uninstalled,
// is not carried over again.
TEST_F(UninstallTest, WhatCannotGoYetStaysListed)
{
    AddGame(420, "Held");
    const std::wstring target = work_.File(L"Held");
    EXPECT_EQ(1u, Install(420, "Held", target));
    const std::wstring readOnly = target + L"\\game\\data\\level0.dat";
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
    const std::wstring desktop = SpecialFolder(CSIDL_DESKTOP);
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

    // The user's shortcut to the manager for game 0x1c8, which is not
    // installed, is not another Chess's, even in that game's list.
    const std::wstring chess = desktop + L"\\Chess.lnk";
    ASSERT_TRUE(MakeShortcut(chess, dir_.File(L"zel.exe"), L"r 1c8 v 0"));
    cleanUp_.push_back(chess);
    AddGame(0x1c8, "Chess");
    AddGame(432, "Chess");
    EXPECT_EQ(1u, Install(432, "Chess", work_.File(L"Chess")));
    EXPECT_EQ(L"r 1c8 v 0", ReadShortcut(chess).arguments);
    {
        CatalogFile catalog(CatalogPath());
        catalog.ExecWithText("update games set uninstall=uninstall||?1 where id=432", L"L" + chess + L";");
    }
    EXPECT_EQ(10u, Uninstall(432));
    EXPECT_EQ(L"r 1c8 v 0", ReadShortcut(chess).arguments);

    // A name that names a device takes the next name (COM1.lnk is never
    // opened); one no file name may hold makes no shortcut, and the list
    // names none.
    const struct {
        const char* name;
        const wchar_t* link;
    } kNames[] = {{"COM1", L"\\COM1 (2).lnk"}, {"aux.txt", nullptr}, {"a<b", nullptr}};
    AddGame(433, "Device");
    for (const auto& game : kNames) {
        SCOPED_TRACE(game.name);
        EXPECT_EQ(1u, Install(433, game.name, work_.File(L"Device")));
        const std::string list = Column(433, "uninstall");
        EXPECT_EQ(game.link != nullptr, list.find(".lnk") != std::string::npos) << list;
        if (game.link) {
            EXPECT_EQ(L"r 1b1 v 0", ReadShortcut(desktop + game.link).arguments) << list;
        }
        EXPECT_EQ(10u, Uninstall(433));
    }
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
    ASSERT_TRUE(PrepareManager(kFendrake));
    const std::wstring menu = SpecialFolder(CSIDL_PROGRAMS) + L"\\Test Games";
    const std::wstring folder = menu + L"\\zeta";
    cleanUp_.push_back(SpecialFolder(CSIDL_DESKTOP) + L"\\zeta.lnk");
    cleanUp_.push_back(SpecialFolder(CSIDL_DESKTOP) + L"\\zeta (2).lnk");
    const std::wstring package = MakePackage(450, "zeta", "zeta");
    {
        CatalogFile catalog(CatalogPath(kFendrake));
        catalog.Exec("insert into games(id, name, type, show) values(450, 'zeta', 2, 1)");
    }
    EXPECT_EQ(1u, Run(kFendrake, L"i \"" + package + L"\" w \"" + work_.File(L"Second") + L"\""));
    ASSERT_TRUE(ReadShortcut(folder + L"\\zeta.lnk").loaded);

    AddGame(450, "zeta");
    EXPECT_EQ(1u, Run(L"i \"" + package + L"\" w \"" + work_.File(L"First") + L"\" v 1"));
    const std::wstring target = Lower(ReadShortcut(folder + L"\\zeta.lnk").target);
    EXPECT_EQ(L"quivzel.exe", target.substr(target.rfind(L'\\') + 1));
    EXPECT_EQ(10u, Uninstall(450));
    EXPECT_TRUE(ReadShortcut(folder + L"\\zeta.lnk").loaded);
    EXPECT_EQ(3u, Run(kFendrake, L"z 1c2"));
    EXPECT_EQ(10u, Run(kFendrake, L"u 1c2 e 1"));
    EXPECT_FALSE(PathExists(folder));
}

namespace {

std::wstring ShortName(const std::wstring& path)
{
    wchar_t shortPath[MAX_PATH] = {};
    DWORD length = GetShortPathNameW(path.c_str(), shortPath, MAX_PATH);
    return length > 0 && length < MAX_PATH ? std::wstring(shortPath, length) : path;
}

}  // namespace

// A short (8.3) spelling is the same folder as its long name: a game
// installed by one into another game's folder, or below it, survives that
// game's uninstall.
TEST_F(UninstallTest, ShortNamesAreTheFoldersTheyName)
{
    AddGame(460, "Shared");
    AddGame(461, "ByShort");
    const std::wstring shared = work_.File(L"SharedFolder");
    ASSERT_EQ(1u, Install(460, "Shared", shared));
    const std::wstring shortShared = ShortName(shared);
    ASSERT_NE(Lower(shared), Lower(shortShared)) << "the folder has no short name";
    for (const std::wstring& spelling : {shortShared, shortShared + L"\\Inner"}) {
        SCOPED_TRACE(Utf8(spelling));
        const std::wstring inner = spelling == shortShared ? shared : shared + L"\\Inner";
        EXPECT_EQ(1u, Install(461, "ByShort", spelling));
        EXPECT_EQ(Utf8(Lower(inner)), Utf8(Lower(zeltest::Wide(Column(461, "path")))));
        EXPECT_EQ(10u, Uninstall(460));
        // In the other game's own folder the first game's files wait for it.
        EXPECT_EQ(inner == shared, PathExists(shared + L"\\ident460.ico"));
        EXPECT_TRUE(PathExists(inner + L"\\game\\qmgame.exe"));
        EXPECT_EQ(3u, Query(461));
        EXPECT_EQ(10u, Uninstall(461));
        EXPECT_FALSE(PathExists(shared)) << "the first game's folder goes once nothing holds it";
        ASSERT_EQ(1u, Install(460, "Shared", shared));
    }
}

// Every folder the system knows by name, and the temporary folders, stay
// with what the user put there after the install; the game's files go.
// Documents is named by its short (8.3) name.
TEST_F(UninstallTest, KnownFoldersKeepWhatTheUserPutThere)
{
    AddGame(470, "Known");
    wchar_t temp[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH + 1, temp);
    std::vector<std::wstring> folders = {temp, L"C:\\windows\\temp"};
    for (const KNOWNFOLDERID* id : {&FOLDERID_Music, &FOLDERID_Downloads, &FOLDERID_Pictures, &FOLDERID_Videos,
                                    &FOLDERID_SavedGames, &FOLDERID_Favorites, &FOLDERID_Contacts, &FOLDERID_Links,
                                    &FOLDERID_PublicMusic}) {
        PWSTR path = nullptr;
        if (SUCCEEDED(SHGetKnownFolderPath(*id, KF_FLAG_CREATE, nullptr, &path)))
            folders.push_back(path);
        CoTaskMemFree(path);
    }
    folders.push_back(SpecialFolder(CSIDL_PERSONAL));
    ASSERT_EQ(12u, folders.size());
    for (const std::wstring& folder : folders) {
        SCOPED_TRACE(Utf8(folder));
        EXPECT_EQ(1u, Install(470, "Known", folder == folders.back() ? ShortName(folder) : folder));
        const std::wstring mine = folder + L"\\saved-after-the-install.txt";
        ASSERT_TRUE(WriteFileBytes(mine, "mine"));
        cleanUp_.push_back(mine);
        EXPECT_EQ(10u, Uninstall(470));
        EXPECT_EQ("mine", ReadFileBytes(mine));
        EXPECT_FALSE(PathExists(folder + L"\\game"));
        EXPECT_FALSE(PathExists(folder + L"\\ident470.ico"));
    }
}

// A holds B, which holds C. Installed outer first or inner first and
// uninstalled in each order, every uninstall leaves nothing of the games
// it removed and everything of those still installed.
TEST_F(UninstallTest, GamesInsideGamesGoInEveryOrder)
{
    const uint32_t ids[] = {480, 481, 482};
    const std::wstring a = work_.File(L"A");
    const std::wstring folders[] = {a, a + L"\\B", a + L"\\B\\C"};
    for (uint32_t id : ids)
        AddGame(id, ("Nested" + std::to_string(id)).c_str());
    for (bool outerFirst : {true, false}) {
        std::array<int, 3> order = {0, 1, 2};
        do {
            SCOPED_TRACE((outerFirst ? "outer first, uninstalled " : "inner first, uninstalled ") +
                         std::to_string(order[0]) + std::to_string(order[1]) + std::to_string(order[2]));
            for (int i = 0; i < 3; ++i) {
                const int game = outerFirst ? i : 2 - i;
                ASSERT_EQ(1u, Install(ids[game], "Nested" + std::to_string(ids[game]), folders[game]));
            }
            bool installed[] = {true, true, true};
            for (int game : order) {
                EXPECT_EQ(10u, Uninstall(ids[game]));
                installed[game] = false;
                for (int k = 0; k < 3; ++k) {
                    const std::wstring icon = folders[k] + L"\\ident" + std::to_wstring(ids[k]) + L".ico";
                    EXPECT_EQ(installed[k], PathExists(folders[k] + L"\\game\\qmgame.exe")) << k;
                    EXPECT_EQ(installed[k], PathExists(icon)) << k;
                }
            }
            if (outerFirst) {
                EXPECT_FALSE(PathExists(a));
            }
            zeltest::RemoveTree(a);
        } while (std::next_permutation(order.begin(), order.end()));
    }
}

// An uninstall started while the game's first install writes, or while
// another game is written into its folder, waits its turn: the game goes
// whole, the other game stays whole.
TEST_F(UninstallTest, InstallsAndUninstallsTakeTurns)
{
    AddGame(500, "Outer");
    const std::wstring outer = work_.File(L"Outer");
    ASSERT_EQ(1u, Install(500, "Outer", outer));
    for (uint32_t uninstalled : {501u, 500u}) {
        SCOPED_TRACE(uninstalled);
        const std::wstring target = outer + L"\\Inner";
        LoaderStandIn loader;
        ASSERT_TRUE(loader.Ready());
        ZelProcess install;
        ZelProcess uninstall;
        ASSERT_TRUE(install.Start(dir_.path(), L"zel.exe",
                                  L"i \"" + MakePackage(501, "Inner") + L"\" w \"" + target + L"\" v 1"));
        loader.HoldAt(target + L"\\game\\data\\level2.dat", [&] {
            ASSERT_TRUE(uninstall.Start(dir_.path(), L"zel.exe", L"u " + Hex(uninstalled) + L" e 1"));
            EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(uninstall.Handle(), 1500));
        });
        EXPECT_EQ(1u, WaitPumping(install));
        EXPECT_EQ(10u, uninstall.Wait());
        EXPECT_EQ(uninstalled == 500 ? 3u : 10u, Query(501));
        EXPECT_EQ(uninstalled == 500 ? 9u : 0u, testfiles::ListTree(target).size());
    }
}

// Another process's lock on the catalog (an update applied, an import) is
// waited for: it never reads as a catalog without the game, nor fails the
// registration of a first installation.
TEST_F(UninstallTest, ABusyCatalogIsWaitedFor)
{
    AddGame(502, "Outer");
    AddGame(503, "Inner");
    const std::wstring outer = work_.File(L"Busy");
    ASSERT_EQ(1u, Install(502, "Outer", outer));
    ASSERT_EQ(1u, Install(503, "Inner", outer + L"\\Inner"));
    for (const char* lock : {"begin immediate", "begin exclusive"}) {
        SCOPED_TRACE(lock);
        const bool uninstalls = lock == std::string("begin exclusive");
        const std::wstring target = work_.File(uninstalls ? L"Killed" : L"Waited");
        LoaderStandIn loader;
        ASSERT_TRUE(loader.Ready());
        ZelProcess install;
        ZelProcess uninstall;
        CatalogFile writer(CatalogPath());
        ASSERT_TRUE(install.Start(dir_.path(), L"zel.exe",
                                  L"i \"" + MakePackage(504, "Waited") + L"\" w \"" + target + L"\" v 1"));
        // The registration meets the lock; or the uninstall, waiting for the
        // installation's turn, gets it when the installation is killed and
        // reads under the lock.
        loader.HoldAt(target + L"\\game\\data\\level2.dat", [&] {
            if (uninstalls) {
                ASSERT_TRUE(uninstall.Start(dir_.path(), L"zel.exe", L"u " + Hex(502) + L" e 1"));
                WaitForSingleObject(uninstall.Handle(), 1000);
            }
            writer.Exec(lock);
            if (uninstalls)
                TerminateProcess(install.Handle(), 0xDEAD);
        });
        ZelProcess& waiting = uninstalls ? uninstall : install;
        EXPECT_EQ(std::nullopt, WaitPumping(waiting, 1500, true)) << "the lock was not waited for";
        writer.Exec("commit");
        EXPECT_EQ(uninstalls ? 10u : 1u, WaitPumping(waiting));
    }
    EXPECT_EQ(3u, Query(504));
    EXPECT_EQ(10u, Query(502));
    EXPECT_FALSE(PathExists(outer + L"\\game"));
    EXPECT_EQ(3u, Query(503));
    EXPECT_EQ(9u, testfiles::ListTree(outer + L"\\Inner").size());
}

// Runs cut short: an installation killed part way, a reinstall into a
// folder of the user's killed while it writes, an uninstall killed while it
// deletes. The same switch once more finishes each; what the killed run
// wrote is the game's, and nothing of the user's goes.
TEST_F(UninstallTest, RunsCutShortAreFinishedByRunningThemAgain)
{
    AddGame(490, "Cut");
    const std::wstring package = MakePackage(490, "Cut");
    const std::wstring fresh = work_.File(L"Fresh");
    InstallKilledAt(package, fresh, fresh + L"\\game\\data\\level2.dat");
    EXPECT_EQ(10u, Query(490));
    EXPECT_NE(std::string::npos, Column(490, "uninstall").find(Utf8(L"D" + fresh + L";")));
    EXPECT_EQ(1u, Run(L"i \"" + package + L"\" w \"" + fresh + L"\" v 1"));
    EXPECT_EQ(10u, Uninstall(490));
    EXPECT_FALSE(PathExists(fresh));

    const std::wstring mine = work_.File(L"Mine");
    CreateDirectoryW(mine.c_str(), nullptr);
    ASSERT_TRUE(WriteFileBytes(mine + L"\\letter.doc", "dear"));
    EXPECT_EQ(1u, Install(490, "Cut", mine));
    InstallKilledAt(package, mine, mine + L"\\game\\data\\level3.dat");
    EXPECT_EQ(3u, Query(490)) << "the earlier installation stands";
    EXPECT_EQ(1u, Run(L"i \"" + package + L"\" w \"" + mine + L"\" v 1"));
    for (const std::wstring& name : testfiles::ListTree(mine))
        EXPECT_EQ(std::wstring::npos, name.find(L".~zel")) << Utf8(name);
    // A spare a run cut short left beside a listed file goes with it.
    ASSERT_TRUE(WriteFileBytes(mine + L"\\ident490.ico.~zel7", "left by a killed run"));
    EXPECT_EQ(10u, Uninstall(490));
    EXPECT_EQ((std::set<std::wstring>{L"letter.doc"}), testfiles::ListTree(mine));

    // 3,000 files in 30 folders: the uninstall is stopped once a folder
    // has gone.
    {
        Package p(package);
        p.AddGame(490, std::string("ident490"), std::string("Cut"), 0, 0, 4);
        p.AddDir(1, std::string("ident490"), 0);
        for (int dir = 0; dir < 30; ++dir) {
            p.AddDir(10 + dir, "d" + std::to_string(dir), 1);
            for (int file = 0; file < 100; ++file)
                p.AddStored(dir * 100 + file + 1, "f" + std::to_string(file), "x", 10 + dir);
        }
    }
    EXPECT_EQ(1u, Run(L"i \"" + package + L"\" w \"" + fresh + L"\" v 1"));
    ZelProcess uninstall;
    ASSERT_TRUE(uninstall.Start(dir_.path(), L"zel.exe", L"u " + Hex(490) + L" e 1"));
    auto someFolderGone = [&] {
        for (int dir = 0; dir < 30; ++dir) {
            if (!PathExists(fresh + L"\\d" + std::to_wstring(dir)))
                return true;
        }
        return false;
    };
    while (uninstall.Running() && !someFolderGone())
        Sleep(1);
    uninstall.Kill();
    ASSERT_TRUE(PathExists(fresh)) << "the uninstall ended before it was stopped";
    EXPECT_EQ(3u, Query(490)) << "still installed, with its list";
    EXPECT_EQ(10u, Uninstall(490));
    EXPECT_FALSE(PathExists(fresh));
    EXPECT_EQ(10u, Query(490));
}
