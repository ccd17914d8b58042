// Game packages made here with SQLite and zlib are installed into scratch
// folders; what lands on disk is compared byte for byte.

#include <gtest/gtest.h>

#include "catalog/storage.h"
#include "install/installer.h"
#include "install/package.h"
#include "install/staging.h"
#include "testfiles.h"
#include "testpackage.h"

#include <functional>
#include <map>

using testfiles::ListTree;
using zeltest::ReadFileBytes;
using testfiles::SampleBytes;
using zeltest::TempDir;
using testpackage::Deflate;
using testpackage::Layout;
using testpackage::Package;
using testpackage::SplitAt;
using testpackage::SplitEvery;

namespace {

constexpr uint32_t kGameId = 77;

struct InstallOutcome {
    bool result = false;
    int32_t state = 0;
    InstallJob job;
};

InstallOutcome Install(const std::wstring& package, const std::wstring& target)
{
    CInstallNotify notify;
    InstallOutcome outcome;
    outcome.result = InstallGamePackage(kGameId, package.c_str(), target.c_str(), &notify);
    if (outcome.result)
        KeepExtractedFiles();
    if (notify.Job()) {
        outcome.job = *notify.Job();
        outcome.state = outcome.job.state;
    }
    return outcome;
}

class PackageTest : public ::testing::Test {
protected:
    TempDir scratch_{L"pkg"};
    std::wstring package_ = scratch_.File(L"77_game.db");
    std::wstring target_ = scratch_.File(L"Game");
};

}  // namespace

TEST_F(PackageTest, WritesEveryDataPathByteForByte)
{
    const std::string stored = SampleBytes(3000, 1);
    const std::string storedChain = SampleBytes(5000, 2);
    const std::string inlineStream = SampleBytes(70000, 3);
    const std::string oddPieces = SampleBytes(20000, 4);
    const std::string blockSized = SampleBytes(1024, 5);
    const std::string fine = SampleBytes(3000, 6);
    const std::string big = SampleBytes(300000, 7);
    const std::string upperNo = SampleBytes(900, 8);
    {
        Package p(package_);
        p.AddGame(kGameId, std::string("alpha"), std::string("Alpha"), 4, 0, 3, 150);
        p.AddDir(1, std::string("alpha"), 0);
        p.AddDir(2, std::string("game"), 1);
        p.AddDir(3, std::string("data"), 2);
        p.AddDir(4, std::string("empty dir"), 1);
        p.AddStored(1, "readme.txt", stored, 1);
        // A stored chain with a NULL and an empty piece in the middle.
        std::vector<testpackage::OptionalBytes> pieces = {storedChain.substr(0, 1000), std::nullopt,
                                                          storedChain.substr(1000, 3000), std::string(),
                                                          storedChain.substr(4000)};
        p.AddFile(2, std::string("stored.bin"), 5000, std::nullopt, 3, p.AddChain(pieces, 500, 3),
                  std::string("no"));
        p.AddDeflated(3, "inline.bin", inlineStream, 3);
        // One stream across pieces cut after the zlib header and before
        // the Adler-32 trailer, with empty pieces between.
        std::string stream = Deflate(oddPieces);
        std::vector<testpackage::OptionalBytes> cut;
        for (const std::string& piece : SplitAt(stream, {2, 100, 101, stream.size() - 4}))
            cut.push_back(piece);
        cut.insert(cut.begin() + 2, std::nullopt);
        p.AddFile(4, std::string("qmgame.exe"), 20000, std::nullopt, 2, p.AddChain(cut));
        // Output that ends exactly on the inflater's buffer boundary.
        p.AddFile(5, std::string("block.bin"), 1024, std::nullopt, 3, p.AddChain({Deflate(blockSized)}));
        std::vector<testpackage::OptionalBytes> tiny;
        for (const std::string& piece : SplitEvery(Deflate(fine), 7))
            tiny.push_back(piece);
        p.AddFile(6, std::string("fine.bin"), 3000, std::nullopt, 3, p.AddChain(tiny));
        std::vector<testpackage::OptionalBytes> large;
        for (const std::string& piece : SplitEvery(Deflate(big, 9), 65536))
            large.push_back(piece);
        p.AddFile(7, std::string("big.bin"), 300000, std::nullopt, 3, p.AddChain(large));
        // Only exactly "no" marks stored data.
        p.AddFile(8, std::string("upper.bin"), 900, Deflate(upperNo), 3, 0, std::string("No"));
        // Size 0: empty whatever the row holds.
        p.AddFile(9, std::string("empty.txt"), 0, std::string("ignored"), 1, 0, std::string("no"));
    }

    InstallOutcome outcome = Install(package_, target_);
    EXPECT_TRUE(outcome.result);
    ASSERT_EQ(kJobInstalled, outcome.state);

    std::set<std::wstring> expected = {L"readme.txt", L"empty.txt",        L"game",
                                       L"game\\qmgame.exe", L"game\\data", L"game\\data\\stored.bin",
                                       L"game\\data\\inline.bin", L"game\\data\\block.bin",
                                       L"game\\data\\fine.bin", L"game\\data\\big.bin",
                                       L"game\\data\\upper.bin", L"empty dir"};
    EXPECT_EQ(expected, ListTree(target_));
    EXPECT_EQ(stored, ReadFileBytes(target_ + L"\\readme.txt"));
    EXPECT_EQ(storedChain, ReadFileBytes(target_ + L"\\game\\data\\stored.bin"));
    EXPECT_EQ(inlineStream, ReadFileBytes(target_ + L"\\game\\data\\inline.bin"));
    EXPECT_EQ(oddPieces, ReadFileBytes(target_ + L"\\game\\qmgame.exe"));
    EXPECT_EQ(blockSized, ReadFileBytes(target_ + L"\\game\\data\\block.bin"));
    EXPECT_EQ(fine, ReadFileBytes(target_ + L"\\game\\data\\fine.bin"));
    EXPECT_EQ(big, ReadFileBytes(target_ + L"\\game\\data\\big.bin"));
    EXPECT_EQ(upperNo, ReadFileBytes(target_ + L"\\game\\data\\upper.bin"));
    EXPECT_EQ("", zeltest::ReadFileIfPresent(target_ + L"\\empty.txt"));

    const InstallJob& job = outcome.job;
    EXPECT_EQ(kGameId, job.gameId);
    EXPECT_EQ(L"Alpha", job.name.value_or(L"<null>"));
    EXPECT_EQ(3u, job.release);
    EXPECT_EQ(150u, job.price);
    EXPECT_EQ(package_, job.packagePath.value_or(L""));
    EXPECT_EQ(target_, job.installDir.value_or(L""));
    EXPECT_EQ(target_ + L"\\game\\qmgame.exe", job.execPath.value_or(L"<null>"));
    EXPECT_FALSE(job.desktopLink);
    EXPECT_FALSE(job.menuEntry);
}

TEST_F(PackageTest, OlderLayoutInflatesEveryFileAndCountsEmptyOnes)
{
    const std::string a = SampleBytes(4000, 11);
    const std::string b = SampleBytes(10, 12);
    {
        Package p(package_, Layout::Older, false);
        p.AddGame(kGameId, std::string("old"), std::string("Old"), 2, 0, 1);
        p.AddDir(10, std::string("old"), 0);
        p.AddDir(11, std::string("game"), 10);
        p.AddFile(1, std::string("a.bin"), 4000, Deflate(a), 10);
        p.AddFile(2, std::string("qmgame.exe"), 10, Deflate(b), 11);
        p.AddFile(3, std::string("zero.txt"), 0, Deflate("x"), 11);
    }
    {
        DatabaseHandle db;
        ASSERT_TRUE(OpenAndCheckDatabase(zeltest::Utf8(package_).c_str(), db.out()));
        ResetPackageWalk();
        EXPECT_EQ(3, CountPackageFiles(db.get(), target_.c_str(), 10));
    }
    InstallOutcome outcome = Install(package_, target_);
    ASSERT_EQ(kJobInstalled, outcome.state);
    EXPECT_EQ(0u, outcome.job.price);  // no price column
    EXPECT_EQ(a, ReadFileBytes(target_ + L"\\a.bin"));
    EXPECT_EQ(b, ReadFileBytes(target_ + L"\\game\\qmgame.exe"));
    EXPECT_EQ("", zeltest::ReadFileIfPresent(target_ + L"\\game\\zero.txt"));
}

// Sizes are 64-bit numbers in the package. Only zero means an empty file:
// a size whose low 32 bits are zero (a chained file of 4 GiB, say) still
// has its data written.
TEST_F(PackageTest, OnlyASizeOfZeroMakesAnEmptyFile)
{
    const std::string exe = SampleBytes(700, 13);
    const std::string data = SampleBytes(300, 14);
    {
        Package p(package_);
        p.AddGame(kGameId, std::string("huge"), std::string("Huge"), 1, 0, 1);
        p.AddDir(1, std::string("huge"), 0);
        p.AddFile(1, std::string("qmgame.exe"), 4294967296LL, exe, 1, 0, std::string("no"));
        p.AddFile(2, std::string("data.bin"), 8589934592LL, std::nullopt, 1, p.AddChain({Deflate(data)}));
        p.AddFile(3, std::string("zero.txt"), 0, std::string("ignored"), 1, 0, std::string("no"));
    }
    InstallOutcome outcome = Install(package_, target_);
    ASSERT_EQ(kJobInstalled, outcome.state);
    EXPECT_EQ(exe, ReadFileBytes(target_ + L"\\qmgame.exe"));
    EXPECT_EQ(data, ReadFileBytes(target_ + L"\\data.bin"));
    EXPECT_EQ("", zeltest::ReadFileIfPresent(target_ + L"\\zero.txt"));
    EXPECT_EQ(target_ + L"\\qmgame.exe", outcome.job.execPath.value_or(L"<null>"));
}

TEST_F(PackageTest, ExecutableAndIconPathsComeFromWrittenFilesOnly)
{
    {
        Package p(package_);
        p.AddGame(kGameId, std::string("g"), std::string("G"), 5, 5, 1);
        p.AddDir(1, std::string("g"), 0);
        p.AddStored(5, "both.exe", "MZ", 1);
        p.AddStored(6, "icon.ico", "ICO", 1);
        p.AddFile(7, std::string("zero.exe"), 0, std::nullopt, 1);
    }
    DatabaseHandle db;
    ASSERT_TRUE(OpenAndCheckDatabase(zeltest::Utf8(package_).c_str(), db.out()));

    std::optional<std::wstring> exec;
    std::optional<std::wstring> icon;
    EXPECT_EQ(kPackageWritten, ExtractPackageDirectory(db.get(), target_.c_str(), 1, 5, 5, &exec, &icon, 0));
    EXPECT_EQ(target_ + L"\\both.exe", exec.value_or(L"<null>"));
    EXPECT_EQ(target_ + L"\\both.exe", icon.value_or(L"<null>"));

    exec.reset();
    icon.reset();
    EXPECT_EQ(kPackageWritten, ExtractPackageDirectory(db.get(), target_.c_str(), 1, 7, 6, &exec, &icon, 0));
    EXPECT_FALSE(exec) << "a file of size 0 is never the executable";
    EXPECT_EQ(target_ + L"\\icon.ico", icon.value_or(L"<null>"));

    exec.reset();
    icon.reset();
    EXPECT_EQ(kPackageWritten, ExtractPackageDirectory(db.get(), target_.c_str(), 1, 99, 98, &exec, &icon, 0));
    EXPECT_FALSE(exec);
    EXPECT_FALSE(icon);
}

namespace {

// One broken file in an otherwise good package, and the code it must end
// the installation with.
struct BrokenFile {
    const char* what;
    int32_t expected;
    std::function<void(Package&)> add;
};

std::string Stream(size_t size, uint32_t seed)
{
    return Deflate(SampleBytes(size, seed));
}

std::vector<testpackage::OptionalBytes> Pieces(const std::vector<std::string>& parts)
{
    return {parts.begin(), parts.end()};
}

}  // namespace

TEST_F(PackageTest, BrokenDataFailsWithItsCodeAndLeavesNoTarget)
{
    const std::vector<BrokenFile> cases = {
        {"garbage inline stream", kPackageStreamFailed,
         [](Package& p) { p.AddFile(20, std::string("f"), 10, std::string("not a zlib stream"), 1); }},
        {"garbage in a chain", kPackageStreamFailed,
         [](Package& p) {
             p.AddFile(20, std::string("f"), 10, std::nullopt, 1,
                       p.AddChain({std::string("\x78\x9c") + std::string(50, '\xff')}));
         }},
        {"chain whose last piece is missing", kPackageChunkFailed,
         [](Package& p) {
             std::vector<std::string> parts = SplitEvery(Stream(5000, 21), 1000);
             int64_t first = p.AddChain(Pieces(parts), 700);
             p.Exec("delete from chunks where rowid=" + std::to_string(first + parts.size() - 1));
             p.AddFile(20, std::string("f"), 5000, std::nullopt, 1, first);
         }},
        {"chain that ends before its stream", kPackageChunkFailed,
         [](Package& p) {
             std::vector<std::string> parts = SplitEvery(Stream(5000, 22), 1000);
             parts.pop_back();
             p.AddFile(20, std::string("f"), 5000, std::nullopt, 1, p.AddChain(Pieces(parts)));
         }},
        {"stream that ends before its chain", kPackageWriteFailed,
         [](Package& p) {
             std::vector<std::string> parts = {Stream(2000, 23), "more"};
             p.AddFile(20, std::string("f"), 2000, std::nullopt, 1, p.AddChain(Pieces(parts)));
         }},
        {"stored file without data", kPackageWriteFailed,
         [](Package& p) { p.AddFile(20, std::string("f"), 10, std::nullopt, 1, 0, std::string("no")); }},
        {"stored chain with a missing piece", kPackageChunkFailed,
         [](Package& p) { p.AddFile(20, std::string("f"), 10, std::nullopt, 1, 99999, std::string("no")); }},
        {"stored chain looping to itself", kPackageChunkFailed,
         [](Package& p) {
             p.AddChunk(800, std::string("again"), 800);
             p.AddFile(20, std::string("f"), 10, std::nullopt, 1, 800, std::string("no"));
         }},
        {"stored chain looping back", kPackageChunkFailed,
         [](Package& p) {
             p.AddChunk(801, std::string("one"), 802);
             p.AddChunk(802, std::string("two"), 803);
             p.AddChunk(803, std::string("three"), 801);
             p.AddFile(20, std::string("f"), 10, std::nullopt, 1, 801, std::string("no"));
         }},
        {"compressed chain looping back", kPackageChunkFailed,
         [](Package& p) {
             std::string stream = Stream(100000, 24);
             p.AddChunk(811, stream.substr(0, 2), 812);
             p.AddChunk(812, stream.substr(2, 100), 811);
             p.AddFile(20, std::string("f"), 100000, std::nullopt, 1, 811);
         }},
        {"stream of no bytes for a file that has some", kPackageWriteFailed,
         [](Package& p) { p.AddFile(20, std::string("f"), 10, Deflate(""), 1); }},
        {"file name of 1100 characters", kPackagePathFailed,
         [](Package& p) { p.AddStored(20, std::string(1100, 'n'), "x", 1); }},
    };
    for (const BrokenFile& broken : cases) {
        SCOPED_TRACE(broken.what);
        {
            Package p(package_);
            p.AddGame(kGameId, std::string("g"), std::string("G"), 1, 0, 1);
            p.AddDir(1, std::string("g"), 0);
            p.AddStored(1, "first.txt", "written before the failure", 1);
            broken.add(p);
        }
        InstallOutcome outcome = Install(package_, target_);
        EXPECT_FALSE(outcome.result);
        EXPECT_EQ(broken.expected, outcome.state);
        EXPECT_FALSE(zeltest::PathExists(target_));
    }
}

TEST_F(PackageTest, FailureInAnExistingFolderRemovesOnlyWhatItWrote)
{
    // The installer may point the target at a folder that already holds
    // the user's files: a failed installation takes away only its own.
    CreateDirectoryW(target_.c_str(), nullptr);
    CreateDirectoryW((target_ + L"\\g").c_str(), nullptr);
    zeltest::WriteFileBytes(target_ + L"\\mine.txt", "the user's");
    zeltest::WriteFileBytes(target_ + L"\\g\\saved.dat", "a saved game");
    {
        Package p(package_);
        p.AddGame(kGameId, std::string("g"), std::string("G"), 1, 0, 1);
        p.AddDir(1, std::string("g"), 0);
        p.AddDir(2, std::string("data"), 1);
        p.AddStored(10, "level.bin", "new data", 2);
        p.AddStored(11, "first.txt", "written before the failure", 1);
        p.AddFile(20, std::string("f"), 10, std::string("not a zlib stream"), 1);
    }
    InstallOutcome outcome = Install(package_, target_);
    EXPECT_FALSE(outcome.result);
    EXPECT_EQ((std::set<std::wstring>{L"mine.txt", L"g", L"g\\saved.dat"}), testfiles::ListTree(target_));
    EXPECT_EQ("a saved game", zeltest::ReadFileBytes(target_ + L"\\g\\saved.dat"));
}

TEST_F(PackageTest, InlineStreamThatStopsShortKeepsWhatItInflated)
{
    const std::string data = SampleBytes(60000, 31);
    std::string stream = Deflate(data);
    {
        Package p(package_);
        p.AddGame(kGameId, std::string("g"), std::string("G"), 1, 0, 1);
        p.AddDir(1, std::string("g"), 0);
        p.AddFile(1, std::string("cut.bin"), 60000, stream.substr(0, stream.size() / 2), 1);
    }
    ASSERT_EQ(kJobInstalled, Install(package_, target_).state);
    std::string written = ReadFileBytes(target_ + L"\\cut.bin");
    EXPECT_FALSE(written.empty());
    EXPECT_LT(written.size(), data.size());
    EXPECT_EQ(data.substr(0, written.size()), written);
}

TEST_F(PackageTest, HostileNamesWriteNothingOutsideTheTarget)
{
    const std::vector<testpackage::OptionalBytes> names = {
        std::nullopt,       std::string(),        std::string("."),         std::string(".."),
        std::string("..\\escaped.txt"), std::string("../escaped.txt"), std::string("sub\\escaped.txt"),
        std::string("C:escaped.txt"),   std::string("file.txt:stream"), std::string("a?b"),
        std::string("a*b"), std::string("a<b"), std::string("a>b"), std::string("a|b"),
        std::string("a\"b"), std::string("tab\tname"), std::string("CON"), std::string("nul.txt"),
        std::string("com1"), std::string("dots."), std::string(".. "), std::string("blank "),
        // Superscript one to three name devices as digits do.
        std::string("COM\xC2\xB9"), std::string("lpt\xC2\xB2.txt"), std::string("Com\xC2\xB3.dat"),
        std::string("LPT\xC2\xB9"),
    };
    for (bool asDirectory : {false, true}) {
        for (const testpackage::OptionalBytes& name : names) {
            SCOPED_TRACE((asDirectory ? "directory " : "file ") + name.value_or("<NULL>"));
            {
                Package p(package_);
                p.AddGame(kGameId, std::string("g"), std::string("G"), 1, 0, 1);
                p.AddDir(1, std::string("g"), 0);
                p.AddDir(2, std::string("inner"), 1);
                if (asDirectory) {
                    p.AddDir(3, name, 2);
                    p.AddStored(3, "escaped.txt", "outside?", 3);
                } else {
                    p.AddStored(3, name.value_or(""), "outside?", 2);
                    if (!name)
                        p.Exec("update zelfls set n=NULL where id=3");
                }
            }
            InstallOutcome outcome = Install(package_, target_);
            EXPECT_EQ(kPackageListingFailed, outcome.state);
            // Only the package itself is left in the scratch folder.
            EXPECT_EQ(std::set<std::wstring>{L"77_game.db"}, ListTree(scratch_.path()));
        }
    }
}

TEST_F(PackageTest, DirectoryLoopsFailInsteadOfWalkingForEver)
{
    {
        Package p(package_);
        p.AddGame(kGameId, std::string("g"), std::string("G"), 1, 0, 1);
        p.AddDir(1, std::string("g"), 0);
        p.AddDir(2, std::string("a"), 1);
        // Two rows share id 1: the second makes "g" a child of its own child.
        p.AddDir(1, std::string("loop"), 2);
        p.AddDir(1, std::string("loop2"), 2);
        p.AddStored(1, "f.txt", "x", 2);
    }
    {
        DatabaseHandle db;
        ASSERT_TRUE(OpenAndCheckDatabase(zeltest::Utf8(package_).c_str(), db.out()));
        ResetPackageWalk();
        EXPECT_EQ(-1, CountPackageFiles(db.get(), target_.c_str(), 1)) << "the loop is below the top level";
    }
    EXPECT_EQ(kPackageListingFailed, Install(package_, target_).state);
    EXPECT_FALSE(zeltest::PathExists(target_));

    {
        Package p(package_);
        p.AddGame(kGameId, std::string("nomatch"), std::string("G"), 1, 0, 1);
        p.AddDir(0, std::string("self"), 0);
    }
    EXPECT_EQ(kPackageListingFailed, Install(package_, target_).state);
    EXPECT_FALSE(zeltest::PathExists(target_));

    // A folder id may be walked once: one that comes back under the same
    // parent, level after level, would otherwise make the walk write
    // 2 to the 22nd power folders.
    {
        Package p(package_);
        p.AddGame(kGameId, std::string("g"), std::string("G"), 1, 0, 1);
        p.AddDir(1, std::string("g"), 0);
        for (int level = 0; level < 22; ++level) {
            p.AddDir(level + 2, std::string("a"), level + 1);
            p.AddDir(level + 2, std::string("b"), level + 1);
        }
        p.AddStored(1, "deep.txt", "x", 23);
    }
    {
        DatabaseHandle db;
        ASSERT_TRUE(OpenAndCheckDatabase(zeltest::Utf8(package_).c_str(), db.out()));
        ResetPackageWalk();
        EXPECT_EQ(-1, CountPackageFiles(db.get(), target_.c_str(), 1));
    }
    EXPECT_EQ(kPackageListingFailed, Install(package_, target_).state);
    EXPECT_FALSE(zeltest::PathExists(target_));
}

TEST_F(PackageTest, RootIsFoundByIdentElseEveryTopLevelDirectoryIsWritten)
{
    {
        Package p(package_);
        p.AddGame(kGameId, std::string("it's"), std::string("G"), 1, 0, 1);
        p.AddDir(3000000000, std::string("it's"), 0);
        p.AddDir(2, std::string("other"), 0);
        p.AddStored(1, "in root.txt", "root", 3000000000);
        p.AddStored(2, "in other.txt", "other", 2);
        p.AddStored(3, "top.txt", "top", 0);
    }
    ASSERT_EQ(kJobInstalled, Install(package_, target_).state);
    EXPECT_EQ(std::set<std::wstring>{L"in root.txt"}, ListTree(target_));

    zeltest::RemoveTree(target_);
    {
        Package p(package_);
        p.AddGame(kGameId, std::string("nomatch"), std::string("G"), 1, 0, 1);
        p.AddDir(3000000000, std::string("it's"), 0);
        p.AddDir(2, std::string("other"), 0);
        p.AddStored(1, "in root.txt", "root", 3000000000);
        p.AddStored(2, "in other.txt", "other", 2);
        p.AddStored(3, "top.txt", "top", 0);
        // A file without a parent lies in no directory, not at the top.
        p.AddStored(4, "orphan.txt", "none", 0);
        p.Exec("update zelfls set p=NULL where id=4");
    }
    ASSERT_EQ(kJobInstalled, Install(package_, target_).state);
    std::set<std::wstring> expected = {L"it's", L"it's\\in root.txt", L"other", L"other\\in other.txt",
                                       L"top.txt"};
    EXPECT_EQ(expected, ListTree(target_));
}

// A listing that breaks off is a failure: the files it did not reach would
// be missing from an installation reported as a success.
TEST_F(PackageTest, ListingThatBreaksOffFailsTheInstallation)
{
    {
        // A download cut short: the last pages read as zeros.
        Package p(package_);
        p.AddGame(kGameId, std::string("g"), std::string("G"), 1, 0, 1);
        p.AddDir(1, std::string("g"), 0);
        for (int dir = 0; dir < 4; ++dir)
            p.AddDir(10 + dir, "dir" + std::to_string(dir), 1);
        for (int file = 0; file < 400; ++file)
            p.AddStored(file + 1, "file" + std::to_string(file) + ".txt", SampleBytes(1500, file), 10 + file % 4);
    }
    const std::wstring cutInLastPage = scratch_.File(L"77_last.db");
    ASSERT_TRUE(CopyFileW(package_.c_str(), cutInLastPage.c_str(), FALSE));
    testpackage::CutShort(package_);
    EXPECT_EQ(kPackageListingFailed, Install(package_, target_).state);
    EXPECT_FALSE(zeltest::PathExists(target_));
    // Its header says how long it is: SQLite itself meets no error there.
    testpackage::CutShort(cutInLastPage, true);
    EXPECT_EQ(kPackageListingFailed, Install(cutInLastPage, target_).state);
    EXPECT_FALSE(zeltest::PathExists(target_));

    {
        Package p(package_);
        p.AddGame(kGameId, std::string("g"), std::string("G"), 1, 0, 1);
        p.AddDir(1, std::string("g"), 0);
        // p is computed from q when read; once the rows are in, the
        // formula is changed so that reading p of the second row fails
        // (integer overflow) while the rows are stepped through.
        p.Exec("drop table zelfls");
        const std::string columns = "create table zelfls(id integer, n text, s integer, d blob, chunk integer, "
                                    "compress text, q integer, p integer as ";
        p.Exec(columns + "(q) virtual)");
        p.Exec("insert into zelfls(id, n, s, d, chunk, compress, q) values(1, 'before.txt', 1, x'41', 0, 'no', 1)");
        p.Exec("insert into zelfls(id, n, s, d, chunk, compress, q) values(2, 'broken.txt', 1, x'42', 0, 'no', 0)");
        p.Exec("insert into zelfls(id, n, s, d, chunk, compress, q) values(3, 'after.txt', 1, x'43', 0, 'no', 1)");
        p.Exec("pragma writable_schema=on");
        p.Exec("update sqlite_master set sql='" + columns +
               "(case when q=0 then abs(-9223372036854775807-1) else q end) virtual)' where name='zelfls'");
    }
    InstallOutcome outcome = Install(package_, target_);
    EXPECT_FALSE(outcome.result);
    EXPECT_EQ(kPackageListingFailed, outcome.state);
    EXPECT_FALSE(zeltest::PathExists(target_));
}

TEST_F(PackageTest, ExistingTargetIsReusedAndItsFilesReplaced)
{
    CreateDirectoryW(target_.c_str(), nullptr);
    zeltest::WriteFileBytes(target_ + L"\\keep.txt", "mine");
    zeltest::WriteFileBytes(target_ + L"\\a.txt", "old contents, longer than the new");
    {
        Package p(package_);
        p.AddGame(kGameId, std::string("g"), std::string("G"), 1, 0, 1);
        p.AddDir(1, std::string("g"), 0);
        p.AddStored(1, "a.txt", "new", 1);
    }
    ASSERT_EQ(kJobInstalled, Install(package_, target_).state);
    EXPECT_EQ("new", ReadFileBytes(target_ + L"\\a.txt"));
    EXPECT_EQ("mine", ReadFileBytes(target_ + L"\\keep.txt"));
}

TEST_F(PackageTest, NamesLikeTemporariesLoseNothing)
{
    // Files are written under temporary names beside their final ones
    // (the final name, ".~zel" and a number): the package's files that look
    // like those names keep their own bytes, while such names beside the
    // game's files, left by a run cut short, go once the game stands.
    CreateDirectoryW(target_.c_str(), nullptr);
    std::map<std::wstring, std::string> expected = {{L"b.txt", "new b"}, {L"a.txt", "new a"}};
    zeltest::WriteFileBytes(target_ + L"\\b.txt", "old b");
    for (int i = 1; i <= 4; ++i)
        zeltest::WriteFileBytes(target_ + L"\\b.txt.~zel" + std::to_wstring(i), "left by a killed run");
    zeltest::WriteFileBytes(target_ + L"\\mine.txt.~zel1", "not beside a file of the game");
    expected[L"mine.txt.~zel1"] = "not beside a file of the game";
    {
        Package p(package_);
        p.AddGame(kGameId, std::string("g"), std::string("G"), 1, 0, 1);
        p.AddDir(1, std::string("g"), 0);
        p.AddStored(1, "b.txt", "new b", 1);
        p.AddStored(2, "a.txt", "new a", 1);
        for (int i = 1; i <= 12; ++i) {
            p.AddStored(10 + i, "a.txt.~zel" + std::to_string(i), "a" + std::to_string(i), 1);
            expected[L"a.txt.~zel" + std::to_wstring(i)] = "a" + std::to_string(i);
        }
    }
    ASSERT_EQ(kJobInstalled, Install(package_, target_).state);
    std::map<std::wstring, std::string> written;
    for (const std::wstring& name : ListTree(target_))
        written[name] = ReadFileBytes(target_ + L"\\" + name);
    EXPECT_EQ(expected, written);
}

TEST_F(PackageTest, FilesThatCannotAllBePutInPlaceLeaveTheOldOnes)
{
    CreateDirectoryW(target_.c_str(), nullptr);
    zeltest::WriteFileBytes(target_ + L"\\a.txt", "old a");
    zeltest::WriteFileBytes(target_ + L"\\c.txt", "old c");
    {
        StagedFiles staged;
        for (const wchar_t* name : {L"a.txt", L"new.txt", L"a.txt", L"c.txt"}) {
            HANDLE file = staged.Create(target_ + L"\\" + name);
            ASSERT_NE(INVALID_HANDLE_VALUE, file);
            DWORD written = 0;
            WriteFile(file, "new", 3, &written, nullptr);
            CloseHandle(file);
        }
        // Another program opens c.txt after it was found replaceable.
        HANDLE held = CreateFileW((target_ + L"\\c.txt").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, held);
        EXPECT_FALSE(staged.PutInPlace());
        CloseHandle(held);
    }
    EXPECT_EQ((std::set<std::wstring>{L"a.txt", L"c.txt"}), ListTree(target_));
    EXPECT_EQ("old a", ReadFileBytes(target_ + L"\\a.txt"));
    EXPECT_EQ("old c", ReadFileBytes(target_ + L"\\c.txt"));
}

TEST_F(PackageTest, FolderInTheWayOfAFileIsAccessDenied)
{
    CreateDirectoryW(target_.c_str(), nullptr);
    CreateDirectoryW((target_ + L"\\a.txt").c_str(), nullptr);
    {
        Package p(package_);
        p.AddGame(kGameId, std::string("g"), std::string("G"), 1, 0, 1);
        p.AddDir(1, std::string("g"), 0);
        p.AddStored(1, "a.txt", "new", 1);
    }
    EXPECT_EQ(kPackageAccessDenied, Install(package_, target_).state);
    // The folder was the user's: it stays as it was.
    EXPECT_TRUE(zeltest::DirectoryExists(target_ + L"\\a.txt"));
}

TEST_F(PackageTest, PackagesThatCannotBeReadEndInTheirStates)
{
    // Not a database, and missing: 103; the missing one is not created.
    zeltest::WriteFileBytes(package_, std::string(2048, 'x'));
    EXPECT_EQ(kJobOpenFailed, Install(package_, target_).state);
    DeleteFileW(package_.c_str());
    EXPECT_EQ(kJobOpenFailed, Install(package_, target_).state);
    EXPECT_FALSE(zeltest::PathExists(package_));

    { Package p(package_); }
    EXPECT_EQ(kJobNoGameRow, Install(package_, target_).state);

    {
        Package p(package_);
        p.Exec("drop table games");
    }
    EXPECT_EQ(kJobNoGameRow, Install(package_, target_).state);
    EXPECT_FALSE(zeltest::PathExists(target_));

    // A file table without the data column cannot be listed: that is a
    // failure, not a game without files.
    {
        Package p(package_);
        p.AddGame(kGameId, std::string("g"), std::string("G"), 1, 0, 1);
        p.AddDir(1, std::string("g"), 0);
        p.Exec("drop table zelfls");
        p.Exec("create table zelfls(id integer, n text, s integer, p integer)");
        p.Exec("insert into zelfls values(1, 'a.txt', 3, 1)");
    }
    EXPECT_EQ(kPackageListingFailed, Install(package_, target_).state);
    EXPECT_FALSE(zeltest::PathExists(target_));

    CInstallNotify notify;
    EXPECT_FALSE(InstallGamePackage(0, package_.c_str(), target_.c_str(), &notify));
    EXPECT_EQ(nullptr, notify.Job());
}
