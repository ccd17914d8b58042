#include "install/staging.h"

#include <algorithm>

namespace {

// Tries this many spare names before giving up; each try that finds its
// name taken moves to the next number.
constexpr int kSpareNameTries = 100;

bool NameTaken(DWORD error)
{
    return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS;
}

// Paths as Windows compares file names: case aside.
std::wstring NameKey(const std::wstring& path)
{
    std::wstring key(path);
    if (!key.empty())
        CharUpperBuffW(&key[0], static_cast<DWORD>(key.size()));
    return key;
}

// Opening an existing file for writing without sharing tells whether it
// could be replaced now, without changing it.
bool CanReplace(const std::wstring& path)
{
    if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES)
        return true;
    HANDLE existing = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
    if (existing == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(existing);
    return true;
}

}  // namespace

StagedFiles::~StagedFiles()
{
    for (const Staged& file : files_) {
        if (!file.tempPath.empty())
            DeleteFileW(file.tempPath.c_str());
    }
}

// "<final path>.~zel<n>": a number of this installation's own, so that
// no two spare names of one installation are alike. A final path close to
// the length Windows allows gets the shortest name in its folder instead,
// "~<n>", so that a file that fits is not refused for its spare name.
std::wstring StagedFiles::SpareName(const std::wstring& finalPath)
{
    const std::wstring number = std::to_wstring(++counter_);
    std::wstring beside = finalPath + L".~zel" + number;
    if (beside.size() < MAX_PATH)
        return beside;
    return finalPath.substr(0, finalPath.find_last_of(L'\\') + 1) + L"~" + number;
}

HANDLE StagedFiles::Create(const std::wstring& finalPath)
{
    if (!CanReplace(finalPath))
        return INVALID_HANDLE_VALUE;
    for (int tries = 0; tries < kSpareNameTries; ++tries) {
        std::wstring tempPath = SpareName(finalPath);
        // CREATE_NEW: a spare name never takes the place of a file that is
        // there already.
        HANDLE file = CreateFileW(tempPath.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            files_.push_back({finalPath, tempPath, std::wstring(), false});
            return file;
        }
        if (!NameTaken(GetLastError()))
            return INVALID_HANDLE_VALUE;
    }
    SetLastError(ERROR_FILE_EXISTS);
    return INVALID_HANDLE_VALUE;
}

bool StagedFiles::IsFinalPath(const std::wstring& path) const
{
    return std::binary_search(finalKeys_.begin(), finalKeys_.end(), NameKey(path));
}

// Renames from to a free spare name formed from beside, one that is no
// file's final name either.
bool StagedFiles::MoveToSpareName(const std::wstring& from, const std::wstring& beside, std::wstring* to)
{
    for (int tries = 0; tries < kSpareNameTries; ++tries) {
        std::wstring candidate = SpareName(beside);
        if (IsFinalPath(candidate))
            continue;
        if (MoveFileExW(from.c_str(), candidate.c_str(), 0)) {
            *to = candidate;
            return true;
        }
        if (!NameTaken(GetLastError()))
            return false;
    }
    SetLastError(ERROR_FILE_EXISTS);
    return false;
}

// A package may name a file the way a spare name of another of its files
// was formed; such a temporary moves aside before anything is put in place,
// so that putting that file in place cannot overwrite it.
bool StagedFiles::MoveOutOfTheWay()
{
    for (Staged& file : files_) {
        if (IsFinalPath(file.tempPath) && !MoveToSpareName(file.tempPath, file.finalPath, &file.tempPath))
            return false;
    }
    return true;
}

bool StagedFiles::Place(Staged& file)
{
    DWORD attributes = GetFileAttributesW(file.finalPath.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
            SetLastError(ERROR_ACCESS_DENIED);
            return false;
        }
        if (!MoveToSpareName(file.finalPath, file.finalPath, &file.backupPath))
            return false;
    }
    if (!MoveFileExW(file.tempPath.c_str(), file.finalPath.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        DWORD error = GetLastError();
        if (!file.backupPath.empty() &&
            MoveFileExW(file.backupPath.c_str(), file.finalPath.c_str(), MOVEFILE_REPLACE_EXISTING))
            file.backupPath.clear();
        SetLastError(error);
        return false;
    }
    file.tempPath.clear();
    file.placed = true;
    return true;
}

// Latest first, so that a name placed twice gets back what it held before
// the first. A replaced file that cannot be restored keeps its spare name:
// it is the only copy left.
void StagedFiles::UndoPlaced()
{
    for (auto file = files_.rbegin(); file != files_.rend(); ++file) {
        if (!file->placed)
            continue;
        if (file->backupPath.empty())
            DeleteFileW(file->finalPath.c_str());
        else if (MoveFileExW(file->backupPath.c_str(), file->finalPath.c_str(), MOVEFILE_REPLACE_EXISTING))
            file->backupPath.clear();
        file->placed = false;
    }
}

void StagedFiles::DropBackups()
{
    for (Staged& file : files_) {
        if (file.backupPath.empty())
            continue;
        SetFileAttributesW(file.backupPath.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(file.backupPath.c_str());
        file.backupPath.clear();
    }
}

bool StagedFiles::PutInPlace()
{
    finalKeys_.clear();
    for (const Staged& file : files_)
        finalKeys_.push_back(NameKey(file.finalPath));
    std::sort(finalKeys_.begin(), finalKeys_.end());
    if (!MoveOutOfTheWay())
        return false;
    for (Staged& file : files_) {
        if (!Place(file)) {
            DWORD error = GetLastError();
            UndoPlaced();
            SetLastError(error);
            return false;
        }
    }
    DropBackups();
    files_.clear();
    return true;
}
