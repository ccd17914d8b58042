#include "install/package.h"

#include "catalog/storage.h"
#include "install/loader.h"
#include "install/names.h"
#include "install/staging.h"
#include "shell/files.h"

#include <windows.h>
#include <zlib.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace {

// zlib output goes through a buffer of this size, one write per pass, so
// no file is ever held whole in memory.
constexpr uInt kInflateBufferBytes = 512;

struct PackageWalkState {
    int32_t fileTotal = 0;
    int32_t progressPosition = 0;
    // What this installation made on disk, in order: directories that did
    // not exist before it (with everything below them) and files made in
    // directories that did. A failed installation removes exactly these.
    std::vector<std::wstring> createdDirectories;
    std::vector<std::wstring> createdFiles;
};

PackageWalkState g_walk;

bool PathExists(const wchar_t* path)
{
    return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES;
}

bool InsideCreatedDirectory(const std::wstring& path)
{
    for (const std::wstring& dir : g_walk.createdDirectories) {
        if (path.size() > dir.size() && path.compare(0, dir.size(), dir) == 0 && path[dir.size()] == L'\\')
            return true;
    }
    return false;
}

std::string FormatSql(const char* format, uint32_t dirId)
{
    char sql[160];
    snprintf(sql, sizeof(sql), format, dirId);
    return sql;
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

// The file rows of every directory, found in one pass over zelfls. A
// listing per directory ("where p=<dir>") would read the whole table once
// per directory, inline data included, since p is stored after d; the rows
// are the same and come in the same (ROWID) order.
class PackageFiles {
public:
    explicit PackageFiles(sqlite3* db) : db_(db)
    {
        // Packages of the current layout carry chunk and compress columns;
        // older ones hold every file inline as a zlib stream.
        Statement probe;
        if (probe.PrepareWithRetry(db, "select chunk, compress from zelfls")) {
            int rc = sqlite3_step(probe.Handle());
            currentLayout_ = rc == SQLITE_ROW || rc == SQLITE_DONE;
        }
        probe.Finalize();
        // A table without the layout's columns cannot be listed at all.
        Statement columns;
        if (!columns.Prepare(db, currentLayout_ ? "select id, n, s, d, chunk, compress from zelfls"
                                                : "select id, n, s, d from zelfls"))
            return;
        columns.Finalize();
        Statement rows;
        if (!rows.Prepare(db, "select rowid, p from zelfls"))
            return;
        listed_ = true;
        // Any answer but a row, an error among them, ends the listing. A
        // row without a parent lies in no directory.
        while (sqlite3_step(rows.Handle()) == SQLITE_ROW) {
            if (sqlite3_column_type(rows.Handle(), 1) != SQLITE_NULL)
                rowsByDir_[rows.ColumnInt64(1)].push_back(rows.ColumnInt64(0));
        }
    }

    bool Listed() const { return listed_; }
    bool CurrentLayout() const { return currentLayout_; }

    // ROWIDs of the files whose p is dirId, in ROWID order.
    const std::vector<int64_t>& RowsOf(uint32_t dirId) const
    {
        static const std::vector<int64_t> kNone;
        auto found = rowsByDir_.find(static_cast<int64_t>(dirId));
        return found == rowsByDir_.end() ? kNone : found->second;
    }

    // Steps row to the file at rowId, with the layout's columns: id, n, s,
    // d and, in the current layout, chunk and compress.
    bool Fetch(Statement& row, int64_t rowId) const
    {
        const char* sql = currentLayout_ ? "select id, n, s, d, chunk, compress from zelfls where rowid=?"
                                         : "select id, n, s, d from zelfls where rowid=?";
        return row.PrepareWithRetry(db_, sql) && row.BindInt64(rowId) && row.StepRow();
    }

private:
    sqlite3* db_;
    bool currentLayout_ = false;
    bool listed_ = false;
    std::unordered_map<int64_t, std::vector<int64_t>> rowsByDir_;
};

// One walk over a package: its connection, its file rows, and the
// directory ids from the start down to the current directory (a child that
// is one of them would lead the walk round in a circle).
struct PackageWalk {
    explicit PackageWalk(sqlite3* database) : db(database), files(database) {}
    sqlite3* db;
    PackageFiles files;
    std::vector<uint32_t> ancestors;

    bool IsAncestor(uint32_t id) const
    {
        for (uint32_t ancestor : ancestors) {
            if (ancestor == id)
                return true;
        }
        return false;
    }
};

int32_t CountDirectory(PackageWalk& walk, const wchar_t* dirPath, uint32_t dirId)
{
    Statement listing;
    if (!listing.Prepare(walk.db, FormatSql("select id,n from zeldir where p=%u", dirId).c_str()))
        return -1;
    walk.ancestors.push_back(dirId);
    while (sqlite3_step(listing.Handle()) == SQLITE_ROW) {
        uint32_t childId = static_cast<uint32_t>(listing.ColumnInt(0));
        const wchar_t* name = listing.ColumnText16(1);
        std::wstring childPath;
        if (!IsSafeFileName(name) || walk.IsAncestor(childId) || !FormChildPath(dirPath, name, &childPath)) {
            walk.ancestors.pop_back();
            return -1;
        }
        CountDirectory(walk, childPath.c_str(), childId);
    }
    walk.ancestors.pop_back();
    if (walk.files.Listed())
        g_walk.fileTotal += static_cast<int32_t>(walk.files.RowsOf(dirId).size());
    return g_walk.fileTotal;
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

// The zlib stream of one file, released on every path.
class Inflater {
public:
    Inflater()
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

    // One pass into the buffer. Returns zlib's answer; produced and
    // progressed tell what the pass did.
    int Pass(int flush, uInt* produced, bool* progressed)
    {
        uInt inBefore = stream_.avail_in;
        stream_.next_out = buffer_;
        stream_.avail_out = kInflateBufferBytes;
        int rc = inflate(&stream_, flush);
        *produced = kInflateBufferBytes - stream_.avail_out;
        *progressed = *produced > 0 || stream_.avail_in != inBefore;
        return rc;
    }
    const Bytef* Output() const { return buffer_; }

private:
    z_stream stream_;
    bool started_ = false;
    Bytef buffer_[kInflateBufferBytes];
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

int32_t WriteStoredInline(HANDLE file, const Statement::Blob& data)
{
    if (!data.data || data.size <= 0)
        return kPackageWriteFailed;
    return WriteBlock(file, data.data, static_cast<size_t>(data.size)) ? kPackageWritten : kPackageWriteFailed;
}

int32_t WriteInlineStream(HANDLE file, const Statement::Blob& data)
{
    Inflater inflater;
    if (!inflater.Started())
        return kPackageStreamFailed;
    inflater.SetInput(data.data, data.data && data.size > 0 ? static_cast<size_t>(data.size) : 0);
    uint64_t total = 0;
    for (;;) {
        uInt produced = 0;
        bool progressed = false;
        int rc = inflater.Pass(Z_SYNC_FLUSH, &produced, &progressed);
        int32_t failure = 0;
        switch (TakePass(inflater, file, rc, produced, progressed, &total, &failure)) {
        case PassOutcome::Failed:
            return failure;
        case PassOutcome::StreamEnded:
            return kPackageWritten;
        case PassOutcome::Continue:
            break;
        }
        // Anything but Z_OK (typically Z_BUF_ERROR: the data stopped short
        // of the stream's end) completes the file with what was written.
        if (rc != Z_OK)
            return kPackageWritten;
    }
}

// Walks a chain of chunks rows from firstRowId, handing each piece's data
// to takePiece (which returns kPackageWritten to go on). A row that cannot
// be read, or a next that leads back to a row already read, is 111.
template <typename TakePiece>
int32_t WalkChunkChain(sqlite3* db, int64_t firstRowId, TakePiece takePiece)
{
    std::unordered_set<int64_t> visited;
    int64_t rowId = firstRowId;
    Statement piece;
    for (;;) {
        if (!visited.insert(rowId).second)
            return kPackageChunkFailed;
        if (!piece.PrepareWithRetry(db, "SELECT data, next FROM chunks WHERE ROWID=?") ||
            !piece.BindInt64(rowId) || !piece.StepRow())
            return kPackageChunkFailed;
        int32_t result = takePiece(piece.ColumnBlob(0));
        if (result != kPackageWritten)
            return result;
        rowId = piece.ColumnInt64(1);
        piece.Finalize();
        if (rowId == 0)
            return kPackageWritten;
    }
}

int32_t WriteStoredChain(sqlite3* db, HANDLE file, int64_t firstRowId)
{
    return WalkChunkChain(db, firstRowId, [&](const Statement::Blob& data) -> int32_t {
        if (!data.data || data.size <= 0)
            return kPackageWritten;
        return WriteBlock(file, data.data, static_cast<size_t>(data.size)) ? kPackageWritten
                                                                          : kPackageWriteFailed;
    });
}

int32_t WriteChainedStream(sqlite3* db, HANDLE file, int64_t firstRowId)
{
    Inflater inflater;
    if (!inflater.Started())
        return kPackageStreamFailed;
    bool ended = false;
    uint64_t total = 0;
    int32_t result = WalkChunkChain(db, firstRowId, [&](const Statement::Blob& data) -> int32_t {
        if (!data.data || data.size <= 0)
            return kPackageWritten;
        // Data after the stream's end.
        if (ended)
            return kPackageWriteFailed;
        inflater.SetInput(data.data, static_cast<size_t>(data.size));
        uInt produced = 0;
        do {
            bool progressed = false;
            int rc = inflater.Pass(Z_NO_FLUSH, &produced, &progressed);
            int32_t failure = 0;
            switch (TakePass(inflater, file, rc, produced, progressed, &total, &failure)) {
            case PassOutcome::Failed:
                return failure;
            case PassOutcome::StreamEnded:
                ended = true;
                return kPackageWritten;
            case PassOutcome::Continue:
                break;
            }
        } while (produced == kInflateBufferBytes);
        return kPackageWritten;
    });
    if (result != kPackageWritten)
        return result;
    return ended ? kPackageWritten : kPackageChunkFailed;
}

// The file's data, by the path its row chooses.
int32_t WriteFileData(sqlite3* db, HANDLE file, const Statement& row, bool currentLayout)
{
    Statement::Blob inlineData = row.ColumnBlob(3);
    if (!currentLayout)
        return WriteInlineStream(file, inlineData);
    int64_t chunk = row.ColumnInt64(4);
    const char* compress = row.ColumnText(5);
    bool stored = compress && strcmp(compress, "no") == 0;
    if (stored)
        return chunk == 0 ? WriteStoredInline(file, inlineData) : WriteStoredChain(db, file, chunk);
    return chunk == 0 ? WriteInlineStream(file, inlineData) : WriteChainedStream(db, file, chunk);
}

struct ExtractTargets {
    int32_t execFileId;
    int32_t iconFileId;
    std::optional<std::wstring>* execPathOut;
    std::optional<std::wstring>* iconPathOut;
    int32_t progressStep;
    StagedFiles* staged;  // every file is written here first
};

// A file that could not be created or put in place.
int32_t FileFailure()
{
    return GetLastError() == ERROR_ACCESS_DENIED ? kPackageAccessDenied : kPackageWriteFailed;
}

int32_t ExtractOneFile(sqlite3* db, const wchar_t* dirPath, const Statement& row, bool currentLayout,
                       const ExtractTargets& targets)
{
    int32_t id = row.ColumnInt(0);
    // Only whether the size is zero matters, but it is taken whole: a
    // chained file of a multiple of 4 GiB has zero low 32 bits and would
    // otherwise be written empty.
    const bool empty = row.ColumnInt64(2) == 0;
    const wchar_t* name = row.ColumnText16(1);
    if (!IsSafeFileName(name))
        return kPackageListingFailed;
    std::wstring path;
    if (!FormChildPath(dirPath, name, &path))
        return kPackagePathFailed;

    ShowInstallStatus(path.c_str());
    if (!PathExists(path.c_str()) && !InsideCreatedDirectory(path))
        g_walk.createdFiles.push_back(path);
    FileHandle file(targets.staged->Create(path));
    if (!file.Valid())
        return FileFailure();
    // A file of size 0 stays empty whatever its row holds.
    if (empty)
        return kPackageWritten;

    if (id == targets.execFileId && targets.execPathOut)
        *targets.execPathOut = path;
    if (id == targets.iconFileId && targets.iconPathOut)
        *targets.iconPathOut = path;

    int32_t result = WriteFileData(db, file.get(), row, currentLayout);
    if (result != kPackageWritten)
        return result;
    file.Close();
    g_walk.progressPosition += targets.progressStep;
    ReportLoaderProgress(0, static_cast<uint32_t>(g_walk.progressPosition));
    return kPackageWritten;
}

int32_t ExtractDirectory(PackageWalk& walk, const wchar_t* dirPath, uint32_t dirId, const ExtractTargets& targets)
{
    if (!PathExists(dirPath) && !InsideCreatedDirectory(dirPath))
        g_walk.createdDirectories.push_back(dirPath);
    if (!CreateDirectoryPath(dirPath))
        return kPackageWriteFailed;

    {
        Statement listing;
        if (!listing.Prepare(walk.db, FormatSql("select id,n from zeldir where p=%u", dirId).c_str()))
            return kPackageListingFailed;
        walk.ancestors.push_back(dirId);
        while (sqlite3_step(listing.Handle()) == SQLITE_ROW) {
            uint32_t childId = static_cast<uint32_t>(listing.ColumnInt(0));
            const wchar_t* name = listing.ColumnText16(1);
            if (!IsSafeFileName(name) || walk.IsAncestor(childId)) {
                walk.ancestors.pop_back();
                return kPackageListingFailed;
            }
            std::wstring childPath;
            if (!FormChildPath(dirPath, name, &childPath)) {
                walk.ancestors.pop_back();
                return kPackagePathFailed;
            }
            int32_t result = ExtractDirectory(walk, childPath.c_str(), childId, targets);
            if (result != kPackageWritten) {
                walk.ancestors.pop_back();
                return result;
            }
        }
        walk.ancestors.pop_back();
    }

    if (!walk.files.Listed())
        return kPackageListingFailed;
    Statement row;
    for (int64_t rowId : walk.files.RowsOf(dirId)) {
        // A row that cannot be read ends the listing, as a failed step
        // would.
        if (!walk.files.Fetch(row, rowId))
            break;
        int32_t result = ExtractOneFile(walk.db, dirPath, row, walk.files.CurrentLayout(), targets);
        if (result != kPackageWritten)
            return result;
    }
    return kPackageWritten;
}

}  // namespace

void ResetPackageWalk()
{
    g_walk = PackageWalkState();
}

void RemoveExtractedFiles()
{
    for (auto file = g_walk.createdFiles.rbegin(); file != g_walk.createdFiles.rend(); ++file)
        DeleteFileW(file->c_str());
    for (auto dir = g_walk.createdDirectories.rbegin(); dir != g_walk.createdDirectories.rend(); ++dir)
        DeleteDirectoryTree(dir->c_str());
    g_walk.createdFiles.clear();
    g_walk.createdDirectories.clear();
}

int32_t CountPackageFiles(sqlite3* db, const wchar_t* dirPath, uint32_t dirId)
{
    if (!db || !dirPath)
        return -1;
    PackageWalk walk(db);
    return CountDirectory(walk, dirPath, dirId);
}

int32_t ExtractPackageDirectory(sqlite3* db, const wchar_t* dirPath, uint32_t dirId, int32_t execFileId,
                                int32_t iconFileId, std::optional<std::wstring>* execPathOut,
                                std::optional<std::wstring>* iconPathOut, int32_t progressStep)
{
    if (!db || !dirPath)
        return kPackageListingFailed;
    // The files go in place only once the whole tree is written; on any
    // failure the temporaries go with staged, and what was there stays.
    StagedFiles staged;
    ExtractTargets targets{execFileId, iconFileId, execPathOut, iconPathOut, progressStep, &staged};
    PackageWalk walk(db);
    int32_t result = ExtractDirectory(walk, dirPath, dirId, targets);
    if (result == kPackageWritten && !staged.PutInPlace())
        result = FileFailure();
    return result;
}
