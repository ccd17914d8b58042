#pragma once

// A game package is an SQLite database that carries one game: a row of its
// own games table and the game's file tree in zeldir (directories), zelfls
// (files) and chunks (pieces of file data). These walks read the tree; the
// installation (installer.h) drives them.

#include <sqlite3.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Result codes of ExtractPackageDirectory; they also end up as install job
// states.
enum PackageResult : int32_t {
    kPackageWritten = 101,
    kPackagePathFailed = 104,     // a path of 1024 characters or more
    kPackageWriteFailed = 105,    // a directory, file or write failed; a stream gave nothing
    kPackageListingFailed = 106,  // a listing failed or broke off, a file row could not be read or had
                                  // no usable name, a folder id came a second time, or the file is
                                  // shorter than its header says
    kPackageAccessDenied = 107,   // creating a file was refused
    kPackageChunkFailed = 111,    // a chunk could not be read, or a chain broke off
    kPackageStreamFailed = 112,   // zlib could not start, or the stream is corrupt
};

// Paths on disk are kept below this many characters.
constexpr size_t kPackagePathChars = 1024;

// Starts the walk state of an installation afresh: the running file total
// of the count walk and the progress position. (The status label, once
// found, is kept for the life of the process.)
void ResetPackageWalk();

// While one lives, the walks of package below (the count, the plan, the
// extraction) share one index of its file rows, made by the first of them,
// instead of each reading the whole file table again (the rows of a
// package changed meanwhile are found where it had them).
class SharedPackageIndex {
public:
    explicit SharedPackageIndex(sqlite3* package);
    ~SharedPackageIndex();
    SharedPackageIndex(const SharedPackageIndex&) = delete;
    SharedPackageIndex& operator=(const SharedPackageIndex&) = delete;
};

// Takes back what the current installation did on disk: the files it
// replaced get their earlier contents back, and the directories it created
// (with everything below them) and the files it created in folders that
// were there before go. Files and folders the user had are left alone.
void RemoveExtractedFiles();
// The current installation stands: the files it replaced go for good, and
// so do the temporaries and spares that earlier runs of it, cut short, left
// beside its files.
void KeepExtractedFiles();

// What writing directory dirId's subtree into dirPath would add there,
// worked out before anything is written: each folder of the subtree that
// does not exist yet (one entry for it and all below it) and each file
// that does not exist yet in a folder that does (newPaths); and each file
// it would write over (replacedFiles). dirPath itself, and any
// folder whose key (files.h) is in keepWhole, counts as existing: what is
// added inside it is listed instead. kPackageWritten, or the failure the
// extraction would meet in the folders that exist (a listing that breaks
// off or an unfit name, 106; a path too long, 104).
int32_t PlanPackageDirectory(sqlite3* db, const wchar_t* dirPath, uint32_t dirId,
                             const std::vector<std::wstring>& keepWhole, std::vector<std::wstring>* newPaths,
                             std::vector<std::wstring>* replacedFiles);

// Whether the package file is as long as its header says: false for a
// file cut short (a download that broke off), which the installation
// refuses with 106 before anything is written. A header that cannot be
// read leaves the judgement to SQLite's own checks (true).
bool PackageFileComplete(sqlite3* db);

// Adds the file rows of directory dirId and its subtree to the running
// file total and returns it; -1 when this directory or one below it could
// not be counted. The first such failure (a listing that breaks off, an
// unfit name or a folder id met twice, 106; a path too long, 104) also
// fails the extraction that follows, before it writes anything.
// dirId 0 is the level above the top-level directories. dirPath only forms
// the children's paths; nothing on disk is touched.
int32_t CountPackageFiles(sqlite3* db, const wchar_t* dirPath, uint32_t dirId);

// Writes directory dirId's subtree into dirPath (created when missing):
// subdirectories first, then the directory's own files. The paths of the
// files whose ids are execFileId and iconFileId are handed back. After each
// file written with data the progress position grows by progressStep and
// is reported to the partner loader. A new file is written in place; a
// file that replaces one that is there is written under a temporary name
// beside it, and all such files are put in place together once the whole
// tree is written, the replaced ones kept under spare names (staging.h).
// Returns kPackageWritten or the first failure. After a failure the files
// that were there before are as they were, while the new files and the
// directories made stay for RemoveExtractedFiles; after a success the
// replaced files wait for KeepExtractedFiles or RemoveExtractedFiles.
int32_t ExtractPackageDirectory(sqlite3* db, const wchar_t* dirPath, uint32_t dirId, int32_t execFileId,
                                int32_t iconFileId, std::optional<std::wstring>* execPathOut,
                                std::optional<std::wstring>* iconPathOut, int32_t progressStep);
