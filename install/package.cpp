#include "install/package.h"

#include "catalog/storage.h"
#include "install/loader.h"
#include "install/names.h"
#include "install/staging.h"
#include "shell/files.h"

#include <windows.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace {

// File data is read from the package, inflated and written in pieces of
// this size, so no file is ever held whole in memory however large it is.
constexpr int kStreamPieceBytes = 65536;

// The package is read through a memory map of up to this size: under Wine
// every page read through the file costs far more than the page's copy.
// SQLite reads what lies beyond, or everything when the map cannot be
// made, the ordinary way.
constexpr char kMapPackagePragma[] = "pragma mmap_size=1073741824";

struct PackageFileIndex;

struct PackageWalkState {
    int32_t fileTotal = 0;
    int32_t progressPosition = 0;
    // The first failure of the count walk, as the extraction would meet
    // it (a listing that broke off, an unsafe name, a folder id seen
    // twice, a path too long): the installation fails with it before
    // anything is written.
    int32_t countFailure = 0;
    // What this installation made on disk, in order: directories that did
    // not exist before it (with everything below them) and files made in
    // directories that did. A failed installation removes exactly these.
    std::vector<std::wstring> createdDirectories;
    std::vector<std::wstring> createdFiles;
    // The files that replace others, with the spares of what they replace
    // until the installation stands or is taken back.
    std::unique_ptr<StagedFiles> staged;
    // The index of the file rows that the walks of one package share
    // while a SharedPackageIndex for it lives.
    sqlite3* indexedPackage = nullptr;
    std::shared_ptr<const PackageFileIndex> index;
};

PackageWalkState g_walk;

// What cannot be looked at may be there: it is never taken for a path
// the installation makes, which it would overwrite without a spare and
// list as its own.
bool PathExists(const wchar_t* path)
{
    return !IsMissingPath(path);
}

bool InsideCreatedDirectory(const std::wstring& path)
{
    for (const std::wstring& dir : g_walk.createdDirectories) {
        if (path.size() > dir.size() && path.compare(0, dir.size(), dir) == 0 && path[dir.size()] == L'\\')
            return true;
    }
    return false;
}

// "<parent>\<name>" when it stays below the path limit.
bool FormChildPath(const wchar_t* parent, const wchar_t* name, std::wstring* path)
{
    size_t length = wcslen(parent) + wcslen(name) + 1;
    if (length >= kPackagePathChars)
        return false;
    path->assign(parent);
    path->push_back(L'\\');
    path->append(name);
    return true;
}

// Steps a statement prepared once to the row of the bound ROWID.
bool StepRowOf(Statement& stmt, int64_t rowId)
{
    sqlite3_reset(stmt.Handle());
    return stmt.BindInt64(rowId) && stmt.StepRow();
}

// Every statement of a walk reads one snapshot of the package, without
// taking and dropping the file lock around each of them.
class ReadTransaction {
public:
    explicit ReadTransaction(sqlite3* db) : db_(db)
    {
        open_ = sqlite3_exec(db_, "begin", nullptr, nullptr, nullptr) == SQLITE_OK;
    }
    ~ReadTransaction()
    {
        if (open_ && sqlite3_exec(db_, "commit", nullptr, nullptr, nullptr) != SQLITE_OK)
            sqlite3_exec(db_, "rollback", nullptr, nullptr, nullptr);
    }
    ReadTransaction(const ReadTransaction&) = delete;
    ReadTransaction& operator=(const ReadTransaction&) = delete;

private:
    sqlite3* db_;
    bool open_ = false;
};

// One value of a package row (a file's d, a chunk's data), read in pieces.
// Blobs and texts are read in place through a blob handle, which is moved
// from row to row; a number is its text, taken from the row's statement.
class ValueReader {
public:
    ValueReader(sqlite3* db, const char* table, const char* column) : db_(db), table_(table), column_(column) {}
    ~ValueReader() { Close(); }
    ValueReader(const ValueReader&) = delete;
    ValueReader& operator=(const ValueReader&) = delete;

    // Points at the value of row rowId: typeName is its typeof(), number
    // the row's column that holds it when it is a number. False when the
    // value cannot be read.
    bool Open(int64_t rowId, const char* typeName, const Statement& row, int number)
    {
        number_ = {};
        size_ = 0;
        inBlob_ = false;
        if (!typeName || strcmp(typeName, "null") == 0)
            return true;
        if (strcmp(typeName, "blob") != 0 && strcmp(typeName, "text") != 0) {
            number_ = row.ColumnBlob(number);
            size_ = number_.data ? number_.size : 0;
            return true;
        }
        if (!blob_ || sqlite3_blob_reopen(blob_, rowId) != SQLITE_OK) {
            // A handle that failed once cannot be moved again.
            Close();
            if (sqlite3_blob_open(db_, "main", table_, column_, rowId, 0, &blob_) != SQLITE_OK) {
                Close();
                return false;
            }
        }
        inBlob_ = true;
        size_ = sqlite3_blob_bytes(blob_);
        return true;
    }

    int Size() const { return size_; }

    bool Read(Bytef* buffer, int count, int offset)
    {
        if (!inBlob_) {
            memcpy(buffer, static_cast<const Bytef*>(number_.data) + offset, static_cast<size_t>(count));
            return true;
        }
        return sqlite3_blob_read(blob_, buffer, count, offset) == SQLITE_OK;
    }

private:
    void Close()
    {
        if (blob_)
            sqlite3_blob_close(blob_);
        blob_ = nullptr;
    }

    sqlite3* db_;
    const char* table_;
    const char* column_;
    sqlite3_blob* blob_ = nullptr;
    bool inBlob_ = false;
    Statement::Blob number_;
    int size_ = 0;
};

// Returned by a piece handler that has taken all it wants of a value: the
// rest of the value is left unread, and that is no failure.
constexpr int32_t kRestOfValueIgnored = 0;

// Hands the value's bytes to take piece by piece, through buffer. A piece
// that cannot be read is readFailure; take answers kPackageWritten to go
// on, kRestOfValueIgnored to stop there, or a failure code.
template <typename Take>
int32_t ForEachPiece(ValueReader& value, Bytef* buffer, int32_t readFailure, Take take)
{
    for (int offset = 0; offset < value.Size();) {
        int count = std::min(value.Size() - offset, kStreamPieceBytes);
        if (!value.Read(buffer, count, offset))
            return readFailure;
        int32_t result = take(buffer, count);
        if (result == kRestOfValueIgnored)
            return kPackageWritten;
        if (result != kPackageWritten)
            return result;
        offset += count;
    }
    return kPackageWritten;
}

// The file rows of every directory, found in one pass over zelfls. A
// listing per directory ("where p=<dir>") would read the whole table once
// per directory, since p is stored after d; the rows are the same and
// come in the same (ROWID) order.
struct PackageFileIndex {
    explicit PackageFileIndex(sqlite3* db)
    {
        // Packages of the current layout carry chunk and compress columns;
        // older ones hold every file inline as a zlib stream.
        Statement probe;
        if (probe.PrepareWithRetry(db, "select chunk, compress from zelfls")) {
            int rc = sqlite3_step(probe.Handle());
            currentLayout = rc == SQLITE_ROW || rc == SQLITE_DONE;
        }
        probe.Finalize();
        Statement rows;
        if (!rows.Prepare(db, "select rowid, p from zelfls"))
            return;
        // A row without a parent lies in no directory.
        int rc;
        while ((rc = sqlite3_step(rows.Handle())) == SQLITE_ROW) {
            if (sqlite3_column_type(rows.Handle(), 1) != SQLITE_NULL)
                rowsByDir[rows.ColumnInt64(1)].push_back(rows.ColumnInt64(0));
        }
        // A listing that breaks off (a package cut short, a broken page)
        // is a failure, not the end of the files.
        listed = rc == SQLITE_DONE;
    }

    bool currentLayout = false;
    bool listed = false;
    std::unordered_map<int64_t, std::vector<int64_t>> rowsByDir;
};

std::shared_ptr<const PackageFileIndex> IndexPackageFiles(sqlite3* db)
{
    if (db != g_walk.indexedPackage)
        return std::make_shared<const PackageFileIndex>(db);
    if (!g_walk.index)
        g_walk.index = std::make_shared<const PackageFileIndex>(db);
    return g_walk.index;
}

class PackageFiles {
public:
    explicit PackageFiles(sqlite3* db) : index_(IndexPackageFiles(db))
    {
        // Each file's row is fetched once, with everything but its data,
        // which is read in place afterwards. A table without the layout's
        // columns cannot be listed at all.
        fetchable_ = fetch_.Prepare(db, index_->currentLayout
                                            ? "select id, n, s, typeof(d), case when typeof(d) in ('integer', "
                                              "'real') then d end, chunk, compress from zelfls where rowid=?"
                                            : "select id, n, s, typeof(d), case when typeof(d) in ('integer', "
                                              "'real') then d end from zelfls where rowid=?");
    }

    bool Listed() const { return fetchable_ && index_->listed; }
    bool CurrentLayout() const { return index_->currentLayout; }

    // ROWIDs of the files whose p is dirId, in ROWID order.
    const std::vector<int64_t>& RowsOf(uint32_t dirId) const
    {
        static const std::vector<int64_t> kNone;
        auto found = index_->rowsByDir.find(static_cast<int64_t>(dirId));
        return found == index_->rowsByDir.end() ? kNone : found->second;
    }

    // Steps the fetch to the file at rowId: id, n, s, typeof(d), d when it
    // is a number and, in the current layout, chunk and compress.
    const Statement* Fetch(int64_t rowId) { return StepRowOf(fetch_, rowId) ? &fetch_ : nullptr; }

private:
    std::shared_ptr<const PackageFileIndex> index_;
    bool fetchable_ = false;
    Statement fetch_;
};

// Columns of a fetched file row.
enum FileColumn { kFileId, kFileName, kFileSize, kFileDataType, kFileDataNumber, kFileChunk, kFileCompress };

// One walk over a package: its connection, a snapshot of it, its file
// rows, a directory listing statement for each depth, and the directory
// ids walked so far. A directory id is walked at most once: a repeated id
// (a loop, or one folder under two parents) would make the walk write the
// same subtree again and again.
struct PackageWalk {
    explicit PackageWalk(sqlite3* database) : db(database), snapshot(MapPackage(database)), files(database) {}

    static sqlite3* MapPackage(sqlite3* database)
    {
        sqlite3_exec(database, kMapPackagePragma, nullptr, nullptr, nullptr);
        return database;
    }

    // The subdirectories of dirId, listed at the given depth of the walk.
    Statement* ListDirectories(size_t depth, uint32_t dirId)
    {
        if (depth >= dirListings.size())
            dirListings.resize(depth + 1);
        std::unique_ptr<Statement>& listing = dirListings[depth];
        if (!listing) {
            listing.reset(new Statement);
            if (!listing->Prepare(db, "select id,n from zeldir where p=?")) {
                listing.reset();
                return nullptr;
            }
        }
        sqlite3_reset(listing->Handle());
        return listing->BindInt64(dirId) ? listing.get() : nullptr;
    }

    // False when dirId was walked before.
    bool Enter(uint32_t dirId) { return walked.insert(dirId).second; }

    sqlite3* db;
    ReadTransaction snapshot;
    PackageFiles files;
    std::vector<std::unique_ptr<Statement>> dirListings;
    std::unordered_set<uint32_t> walked;
};

// Calls visit(childPath, childId) for each subdirectory of dirId, listed
// at the given depth of the walk, until one answers other than
// kPackageWritten. An unfit name or a folder id walked before is 106, a
// path too long 104, and so is a listing that breaks off: the tree would
// be left unwalked.
template <typename Visit>
int32_t ForEachSubdirectory(PackageWalk& walk, const wchar_t* dirPath, uint32_t dirId, size_t depth, Visit visit)
{
    Statement* listing = walk.ListDirectories(depth, dirId);
    if (!listing)
        return kPackageListingFailed;
    int rc;
    while ((rc = sqlite3_step(listing->Handle())) == SQLITE_ROW) {
        uint32_t childId = static_cast<uint32_t>(listing->ColumnInt(0));
        const wchar_t* name = listing->ColumnText16(1);
        if (!IsSafeFileName(name) || !walk.Enter(childId))
            return kPackageListingFailed;
        std::wstring childPath;
        if (!FormChildPath(dirPath, name, &childPath))
            return kPackagePathFailed;
        int32_t result = visit(childPath, childId);
        if (result != kPackageWritten)
            return result;
    }
    return rc == SQLITE_DONE && walk.files.Listed() ? kPackageWritten : kPackageListingFailed;
}

// Keeps the count walk's first failure; -1, the count's answer for it.
int32_t CountFailed(int32_t failure)
{
    if (!g_walk.countFailure)
        g_walk.countFailure = failure;
    return -1;
}

int32_t CountDirectory(PackageWalk& walk, const wchar_t* dirPath, uint32_t dirId, size_t depth)
{
    const int32_t result = ForEachSubdirectory(walk, dirPath, dirId, depth,
                                               [&](const std::wstring& childPath, uint32_t childId) {
        // A subtree that cannot be counted cannot be written either.
        return CountDirectory(walk, childPath.c_str(), childId, depth + 1) < 0 ? g_walk.countFailure
                                                                                : kPackageWritten;
    });
    if (result != kPackageWritten)
        return CountFailed(result);
    g_walk.fileTotal += static_cast<int32_t>(walk.files.RowsOf(dirId).size());
    return g_walk.fileTotal;
}

struct PlanTargets {
    const std::vector<std::wstring>& keepWhole;
    std::vector<std::wstring>* newPaths;
    std::vector<std::wstring>* replacedFiles;
};

bool IsKeptWhole(const std::wstring& path, const PlanTargets& plan)
{
    std::optional<std::wstring> key = PathKey(path.c_str());
    return key && std::find(plan.keepWhole.begin(), plan.keepWhole.end(), *key) != plan.keepWhole.end();
}

int32_t PlanDirectory(PackageWalk& walk, const std::wstring& dirPath, uint32_t dirId, size_t depth,
                      const PlanTargets& plan)
{
    int32_t result = ForEachSubdirectory(walk, dirPath.c_str(), dirId, depth,
                                         [&](const std::wstring& childPath, uint32_t childId) -> int32_t {
        // A folder the installation makes is one entry with all below it.
        if (!PathExists(childPath.c_str()) && !IsKeptWhole(childPath, plan)) {
            plan.newPaths->push_back(childPath);
            return kPackageWritten;
        }
        return PlanDirectory(walk, childPath, childId, depth + 1, plan);
    });
    if (result != kPackageWritten)
        return result;
    for (int64_t rowId : walk.files.RowsOf(dirId)) {
        const Statement* row = walk.files.Fetch(rowId);
        const wchar_t* name = row ? row->ColumnText16(kFileName) : nullptr;
        if (!IsSafeFileName(name))
            return kPackageListingFailed;
        std::wstring path;
        if (!FormChildPath(dirPath.c_str(), name, &path))
            return kPackagePathFailed;
        (PathExists(path.c_str()) ? plan.replacedFiles : plan.newPaths)->push_back(path);
    }
    return kPackageWritten;
}

class FileHandle {
public:
    explicit FileHandle(HANDLE handle) : handle_(handle) {}
    ~FileHandle() { Close(); }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    bool Valid() const { return handle_ != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return handle_; }
    void Close()
    {
        if (Valid())
            CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
    }

private:
    HANDLE handle_;
};

// One WriteFile of the whole block; a failed or short write is false.
bool WriteBlock(HANDLE file, const void* data, size_t size)
{
    DWORD written = 0;
    return WriteFile(file, data, static_cast<DWORD>(size), &written, nullptr) && written == size;
}

// The zlib stream of one file, released on every path. Its output goes
// through the walk's buffer, one write per pass.
class Inflater {
public:
    explicit Inflater(Bytef* buffer) : buffer_(buffer)
    {
        memset(&stream_, 0, sizeof(stream_));
        started_ = inflateInit(&stream_) == Z_OK;
    }
    ~Inflater()
    {
        if (started_)
            inflateEnd(&stream_);
    }
    Inflater(const Inflater&) = delete;
    Inflater& operator=(const Inflater&) = delete;
    bool Started() const { return started_; }

    void SetInput(const void* data, size_t size)
    {
        stream_.next_in = static_cast<Bytef*>(const_cast<void*>(data));
        stream_.avail_in = static_cast<uInt>(size);
    }
    bool InputLeft() const { return stream_.avail_in > 0; }

    // One pass into the buffer. Returns zlib's answer; produced and
    // progressed tell what the pass did.
    int Pass(int flush, uInt* produced, bool* progressed)
    {
        uInt inBefore = stream_.avail_in;
        stream_.next_out = buffer_;
        stream_.avail_out = kStreamPieceBytes;
        int rc = inflate(&stream_, flush);
        *produced = kStreamPieceBytes - stream_.avail_out;
        *progressed = *produced > 0 || stream_.avail_in != inBefore;
        return rc;
    }
    const Bytef* Output() const { return buffer_; }

private:
    z_stream stream_;
    bool started_ = false;
    Bytef* buffer_;
};

bool IsStreamFailure(int rc)
{
    return rc == Z_NEED_DICT || rc == Z_DATA_ERROR || rc == Z_MEM_ERROR;
}

// What one pass means for the file: keep going, the pass failed the file
// with a code, or the stream is complete.
enum class PassOutcome { Continue, Failed, StreamEnded };

// Writes what a pass produced. A pass that neither read nor wrote a byte
// means data after the stream's end; a stream that ends without having
// given the file a single byte has nothing for a file of non-zero size.
PassOutcome TakePass(Inflater& inflater, HANDLE file, int rc, uInt produced, bool progressed,
                     uint64_t* totalOut, int32_t* failure)
{
    if (IsStreamFailure(rc)) {
        *failure = kPackageStreamFailed;
        return PassOutcome::Failed;
    }
    if (rc != Z_OK && rc != Z_STREAM_END)
        return PassOutcome::Continue;
    if (!progressed || (produced > 0 && !WriteBlock(file, inflater.Output(), produced))) {
        *failure = kPackageWriteFailed;
        return PassOutcome::Failed;
    }
    *totalOut += produced;
    if (rc == Z_STREAM_END) {
        if (*totalOut == 0) {
            *failure = kPackageWriteFailed;
            return PassOutcome::Failed;
        }
        return PassOutcome::StreamEnded;
    }
    return PassOutcome::Continue;
}

// Reads file data out of one package: the file rows, the values of d and
// of the chunks' data, and the buffers they pass through.
class PackageData {
public:
    explicit PackageData(sqlite3* db)
        : db_(db), fileData_(db, "zelfls", "d"), chunkData_(db, "chunks", "data"),
          input_(new Bytef[kStreamPieceBytes]), output_(new Bytef[kStreamPieceBytes])
    {
    }

    // The file's data, by the path its row chooses. A value of d that
    // cannot be read fails as its row would (106).
    int32_t WriteFileData(HANDLE file, int64_t rowId, const Statement& row, bool currentLayout)
    {
        if (!fileData_.Open(rowId, row.ColumnText(kFileDataType), row, kFileDataNumber))
            return kPackageListingFailed;
        if (!currentLayout)
            return WriteInlineStream(file);
        int64_t chunk = row.ColumnInt64(kFileChunk);
        const char* compress = row.ColumnText(kFileCompress);
        bool stored = compress && strcmp(compress, "no") == 0;
        if (stored)
            return chunk == 0 ? WriteStoredInline(file) : WriteStoredChain(file, chunk);
        return chunk == 0 ? WriteInlineStream(file) : WriteChainedStream(file, chunk);
    }

private:
    int32_t WriteStoredInline(HANDLE file)
    {
        if (fileData_.Size() <= 0)
            return kPackageWriteFailed;
        auto take = [&](const Bytef* piece, int size) -> int32_t {
            return WriteBlock(file, piece, static_cast<size_t>(size)) ? kPackageWritten : kPackageWriteFailed;
        };
        return ForEachPiece(fileData_, input_.get(), kPackageListingFailed, take);
    }

    // The whole of d is one stream. It may stop short of its end: the file
    // then keeps what was inflated.
    int32_t WriteInlineStream(HANDLE file)
    {
        Inflater inflater(output_.get());
        if (!inflater.Started())
            return kPackageStreamFailed;
        uint64_t total = 0;
        auto take = [&](const Bytef* piece, int size) -> int32_t {
            inflater.SetInput(piece, static_cast<size_t>(size));
            for (;;) {
                uInt produced = 0;
                bool progressed = false;
                int rc = inflater.Pass(Z_SYNC_FLUSH, &produced, &progressed);
                int32_t failure = 0;
                switch (TakePass(inflater, file, rc, produced, progressed, &total, &failure)) {
                case PassOutcome::Failed:
                    return failure;
                case PassOutcome::StreamEnded:
                    return kRestOfValueIgnored;
                case PassOutcome::Continue:
                    break;
                }
                // The piece is used up: on with the next one. Anything but
                // Z_OK with input left completes the file as it stands.
                if (!inflater.InputLeft() && produced < static_cast<uInt>(kStreamPieceBytes))
                    return kPackageWritten;
                if (rc != Z_OK)
                    return kRestOfValueIgnored;
            }
        };
        return ForEachPiece(fileData_, input_.get(), kPackageListingFailed, take);
    }

    // Walks a chain of chunks rows from firstRowId, handing each piece's
    // value to takePiece (which returns kPackageWritten to go on). A row
    // that cannot be read, or a next that leads back to a row already
    // read, is 111.
    template <typename TakePiece>
    int32_t WalkChunkChain(int64_t firstRowId, TakePiece takePiece)
    {
        if (chunkRow_.Empty() &&
            !chunkRow_.PrepareWithRetry(db_, "SELECT next, typeof(data), case when typeof(data) in ('integer', "
                                             "'real') then data end FROM chunks WHERE ROWID=?"))
            return kPackageChunkFailed;
        std::unordered_set<int64_t> visited;
        int64_t rowId = firstRowId;
        for (;;) {
            if (!visited.insert(rowId).second || !StepRowOf(chunkRow_, rowId) ||
                !chunkData_.Open(rowId, chunkRow_.ColumnText(1), chunkRow_, 2))
                return kPackageChunkFailed;
            int32_t result = takePiece();
            if (result != kPackageWritten)
                return result;
            rowId = chunkRow_.ColumnInt64(0);
            if (rowId == 0)
                return kPackageWritten;
        }
    }

    int32_t WriteStoredChain(HANDLE file, int64_t firstRowId)
    {
        auto take = [&](const Bytef* piece, int size) -> int32_t {
            return WriteBlock(file, piece, static_cast<size_t>(size)) ? kPackageWritten : kPackageWriteFailed;
        };
        return WalkChunkChain(firstRowId, [&]() -> int32_t {
            return ForEachPiece(chunkData_, input_.get(), kPackageChunkFailed, take);
        });
    }

    // One stream across the chain. It must end with the chain's last
    // piece: a chain that ends first is 111, a piece after the stream's
    // end 105.
    int32_t WriteChainedStream(HANDLE file, int64_t firstRowId)
    {
        Inflater inflater(output_.get());
        if (!inflater.Started())
            return kPackageStreamFailed;
        bool ended = false;
        uint64_t total = 0;
        auto take = [&](const Bytef* piece, int size) -> int32_t {
            inflater.SetInput(piece, static_cast<size_t>(size));
            uInt produced = 0;
            do {
                bool progressed = false;
                int rc = inflater.Pass(Z_NO_FLUSH, &produced, &progressed);
                int32_t failure = 0;
                switch (TakePass(inflater, file, rc, produced, progressed, &total, &failure)) {
                case PassOutcome::Failed:
                    return failure;
                case PassOutcome::StreamEnded:
                    // What the piece holds beyond the stream's end is not
                    // looked at.
                    ended = true;
                    return kRestOfValueIgnored;
                case PassOutcome::Continue:
                    break;
                }
            } while (produced == static_cast<uInt>(kStreamPieceBytes));
            return kPackageWritten;
        };
        int32_t result = WalkChunkChain(firstRowId, [&]() -> int32_t {
            if (chunkData_.Size() <= 0)
                return kPackageWritten;
            if (ended)
                return kPackageWriteFailed;
            return ForEachPiece(chunkData_, input_.get(), kPackageChunkFailed, take);
        });
        if (result != kPackageWritten)
            return result;
        return ended ? kPackageWritten : kPackageChunkFailed;
    }

    sqlite3* db_;
    ValueReader fileData_;
    ValueReader chunkData_;
    Statement chunkRow_;
    std::unique_ptr<Bytef[]> input_;
    std::unique_ptr<Bytef[]> output_;
};

struct ExtractTargets {
    int32_t execFileId;
    int32_t iconFileId;
    std::optional<std::wstring>* execPathOut;
    std::optional<std::wstring>* iconPathOut;
    int32_t progressStep;
    StagedFiles* staged;  // files that replace others are written here first
};

// A file that could not be created or put in place.
int32_t FileFailure()
{
    return GetLastError() == ERROR_ACCESS_DENIED ? kPackageAccessDenied : kPackageWriteFailed;
}

int32_t ExtractOneFile(PackageData& data, const wchar_t* dirPath, int64_t rowId, const Statement& row,
                       bool currentLayout, const ExtractTargets& targets)
{
    int32_t id = row.ColumnInt(kFileId);
    // Only whether the size is zero matters, but it is taken whole: a
    // chained file of a multiple of 4 GiB has zero low 32 bits and would
    // otherwise be written empty.
    const bool empty = row.ColumnInt64(kFileSize) == 0;
    const wchar_t* name = row.ColumnText16(kFileName);
    if (!IsSafeFileName(name))
        return kPackageListingFailed;
    std::wstring path;
    if (!FormChildPath(dirPath, name, &path))
        return kPackagePathFailed;

    ShowInstallStatus(path.c_str());
    const bool insideCreated = InsideCreatedDirectory(path);
    const bool isNew = insideCreated || !PathExists(path.c_str());
    if (isNew && !insideCreated)
        g_walk.createdFiles.push_back(path);
    // Only a file that was there before needs its temporary: a new one is
    // written in place, and a failure takes it back with the rest of what
    // this installation made.
    FileHandle file(isNew ? CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr)
                          : targets.staged->Create(path));
    if (!file.Valid())
        return FileFailure();
    // A file of size 0 stays empty whatever its row holds.
    if (empty)
        return kPackageWritten;

    if (id == targets.execFileId && targets.execPathOut)
        *targets.execPathOut = path;
    if (id == targets.iconFileId && targets.iconPathOut)
        *targets.iconPathOut = path;

    int32_t result = data.WriteFileData(file.get(), rowId, row, currentLayout);
    if (result != kPackageWritten)
        return result;
    file.Close();
    g_walk.progressPosition += targets.progressStep;
    ReportLoaderProgress(0, static_cast<uint32_t>(g_walk.progressPosition));
    return kPackageWritten;
}

struct Extraction {
    PackageWalk& walk;
    PackageData& data;
    const ExtractTargets& targets;
};

int32_t ExtractDirectory(Extraction& extraction, const wchar_t* dirPath, uint32_t dirId, size_t depth)
{
    PackageWalk& walk = extraction.walk;
    if (!InsideCreatedDirectory(dirPath) && !PathExists(dirPath))
        g_walk.createdDirectories.push_back(dirPath);
    if (!CreateDirectoryPath(dirPath))
        return kPackageWriteFailed;

    int32_t result = ForEachSubdirectory(walk, dirPath, dirId, depth,
                                         [&](const std::wstring& childPath, uint32_t childId) {
        return ExtractDirectory(extraction, childPath.c_str(), childId, depth + 1);
    });
    if (result != kPackageWritten)
        return result;

    for (int64_t rowId : walk.files.RowsOf(dirId)) {
        const Statement* row = walk.files.Fetch(rowId);
        if (!row)
            return kPackageListingFailed;
        int32_t result =
            ExtractOneFile(extraction.data, dirPath, rowId, *row, walk.files.CurrentLayout(), extraction.targets);
        if (result != kPackageWritten)
            return result;
    }
    return kPackageWritten;
}

}  // namespace

// SQLite reads the missing end of a cut last page as zeros and meets no
// error: the cells lost there come back as rows of id 0 with no name and
// no parent, which no listing sees. The header's page count is trusted as
// SQLite trusts it: when it is not 0 and its "valid for" number matches
// the change counter.
bool PackageFileComplete(sqlite3* db)
{
    sqlite3_file* file = nullptr;
    if (sqlite3_file_control(db, "main", SQLITE_FCNTL_FILE_POINTER, &file) != SQLITE_OK || !file ||
        !file->pMethods)
        return true;
    unsigned char header[100] = {};
    sqlite3_int64 size = 0;
    if (file->pMethods->xRead(file, header, sizeof(header), 0) != SQLITE_OK ||
        file->pMethods->xFileSize(file, &size) != SQLITE_OK)
        return true;
    auto bigEndian = [&header](size_t offset, size_t count) {
        uint32_t value = 0;
        for (size_t i = 0; i < count; ++i)
            value = (value << 8) | header[offset + i];
        return value;
    };
    const uint32_t pageCount = bigEndian(28, 4);
    if (pageCount == 0 || bigEndian(92, 4) != bigEndian(24, 4))
        return true;
    // A page size of 1 stands for 65536.
    const uint32_t pageSize = bigEndian(16, 2) == 1 ? 65536 : bigEndian(16, 2);
    return size >= static_cast<sqlite3_int64>(pageCount) * pageSize;
}

void ResetPackageWalk()
{
    g_walk = PackageWalkState();
}

SharedPackageIndex::SharedPackageIndex(sqlite3* package)
{
    g_walk.indexedPackage = package;
    g_walk.index.reset();
}

SharedPackageIndex::~SharedPackageIndex()
{
    g_walk.indexedPackage = nullptr;
    g_walk.index.reset();
}

namespace {

// The installation's records of what it did on disk, once acted on.
void ForgetExtraction()
{
    g_walk.staged.reset();
    g_walk.createdFiles.clear();
    g_walk.createdDirectories.clear();
}

}  // namespace

void RemoveExtractedFiles()
{
    if (g_walk.staged)
        g_walk.staged->Undo();
    for (auto file = g_walk.createdFiles.rbegin(); file != g_walk.createdFiles.rend(); ++file)
        DeleteFileW(file->c_str());
    for (auto dir = g_walk.createdDirectories.rbegin(); dir != g_walk.createdDirectories.rend(); ++dir)
        DeleteDirectoryTree(dir->c_str());
    ForgetExtraction();
}

void KeepExtractedFiles()
{
    // The spares beside the files written into folders that were there
    // before go: those of the files this installation replaced, and what
    // an earlier run of it, cut short, left.
    std::vector<std::wstring> written = g_walk.createdFiles;
    if (g_walk.staged) {
        std::vector<std::wstring> replaced = g_walk.staged->FinalPaths();
        written.insert(written.end(), replaced.begin(), replaced.end());
    }
    DeleteSparesBeside(written);
    ForgetExtraction();
}

int32_t CountPackageFiles(sqlite3* db, const wchar_t* dirPath, uint32_t dirId)
{
    if (!db || !dirPath)
        return -1;
    PackageWalk walk(db);
    walk.Enter(dirId);
    return CountDirectory(walk, dirPath, dirId, 0);
}

int32_t PlanPackageDirectory(sqlite3* db, const wchar_t* dirPath, uint32_t dirId,
                             const std::vector<std::wstring>& keepWhole, std::vector<std::wstring>* newPaths,
                             std::vector<std::wstring>* replacedFiles)
{
    if (!db || !dirPath || !newPaths || !replacedFiles)
        return kPackageListingFailed;
    PackageWalk walk(db);
    walk.Enter(dirId);
    return PlanDirectory(walk, dirPath, dirId, 0, PlanTargets{keepWhole, newPaths, replacedFiles});
}

int32_t ExtractPackageDirectory(sqlite3* db, const wchar_t* dirPath, uint32_t dirId, int32_t execFileId,
                                int32_t iconFileId, std::optional<std::wstring>* execPathOut,
                                std::optional<std::wstring>* iconPathOut, int32_t progressStep)
{
    if (!db || !dirPath)
        return kPackageListingFailed;
    if (g_walk.countFailure)
        return g_walk.countFailure;
    // Files that replace others go in place only once the whole tree is
    // written; on a failure before that their temporaries go, and what was
    // there stays.
    g_walk.staged = std::make_unique<StagedFiles>();
    ExtractTargets targets{execFileId, iconFileId, execPathOut, iconPathOut, progressStep, g_walk.staged.get()};
    PackageWalk walk(db);
    walk.Enter(dirId);
    PackageData data(db);
    Extraction extraction{walk, data, targets};
    int32_t result = ExtractDirectory(extraction, dirPath, dirId, 0);
    if (result == kPackageWritten && !g_walk.staged->PutInPlace())
        result = FileFailure();
    return result;
}
