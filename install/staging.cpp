#include "install/staging.h"

#include "shell/files.h"

#include <algorithm>
#include <map>
#include <set>

namespace {

// Tries this many spare names before giving up; each try that finds its
// name taken moves to the next number.
constexpr int kSpareNameTries = 100;

constexpr wchar_t kSpareMark[] = L".~zel";
constexpr size_t kSpareMarkChars = 5;

// A path of MAX_PATH characters or more is reached through the "\\?\"
// form, which has no such limit: a final path close to the limit still
// gets a spare name of the one form.
std::wstring WithLongPathPrefix(const std::wstring& path)
{
    if (path.size() < MAX_PATH || path.compare(0, 2, L"\\\\") == 0)
        return path;
    return L"\\\\?\\" + path;
}

// name is "<base>.~zel<digits>"; *base takes the base.
bool IsSpareName(const std::wstring& name, std::wstring* base)
{
    const size_t mark = name.rfind(kSpareMark);
    if (mark == std::wstring::npos || mark == 0 || mark + kSpareMarkChars == name.size())
        return false;
    for (size_t i = mark + kSpareMarkChars; i < name.size(); ++i) {
        if (name[i] < L'0' || name[i] > L'9')
            return false;
    }
    base->assign(name, 0, mark);
    return true;
}

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
// no two spare names of one installation are alike. Every spare name has
// this form, so that what a run cut short left can be told by its name.
std::wstring StagedFiles::SpareName(const std::wstring& finalPath)
{
    return WithLongPathPrefix(finalPath + kSpareMark + std::to_wstring(++counter_));
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
void StagedFiles::Undo()
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
            Undo();
            SetLastError(error);
            return false;
        }
    }
    return true;
}

std::vector<std::wstring> StagedFiles::FinalPaths() const
{
    std::vector<std::wstring> paths;
    for (const Staged& file : files_)
        paths.push_back(file.finalPath);
    return paths;
}

void DeleteSparesBeside(const std::vector<std::wstring>& finalPaths)
{
    // The names of each folder's files, as Windows compares them.
    std::map<std::wstring, std::set<std::wstring>> folders;
    for (const std::wstring& path : finalPaths) {
        const size_t slash = path.find_last_of(L'\\');
        if (slash != std::wstring::npos)
            folders[path.substr(0, slash)].insert(NameKey(path.substr(slash + 1)));
    }
    for (const auto& [folder, names] : folders) {
        std::vector<std::wstring> spares;
        ForEachFolderEntry(WithLongPathPrefix(folder + L"\\*" + kSpareMark + L"*"), [&](const WIN32_FIND_DATAW& entry) {
            std::wstring base;
            const std::wstring name = entry.cFileName;
            if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && IsSpareName(name, &base) &&
                names.count(NameKey(base)) && !names.count(NameKey(name)))
                spares.push_back(WithLongPathPrefix(folder + L"\\" + name));
            return false;
        });
        for (const std::wstring& spare : spares)
            DeleteFileForced(spare.c_str());
    }
}
