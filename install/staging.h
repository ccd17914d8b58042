#pragma once

// The files of one installation are written under temporary names beside
// their final ones (same folder, so putting one in place is a rename on
// one volume) and put in place only once the whole tree is written. A
// failure half way then leaves whatever was there before (an earlier
// version of the game) exactly as it was.

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

class StagedFiles {
public:
    StagedFiles() = default;
    // Removes the temporary files that were not put in place.
    ~StagedFiles();
    StagedFiles(const StagedFiles&) = delete;
    StagedFiles& operator=(const StagedFiles&) = delete;

    // A new, empty temporary file beside finalPath, open for reading and
    // writing without sharing; the caller closes it. An existing file at
    // finalPath is opened for writing first (and left as it is), so that a
    // file that could not be replaced (read-only, a folder, held open by a
    // running game) fails here, before anything is put in place.
    // INVALID_HANDLE_VALUE on failure, with the last error set.
    HANDLE Create(const std::wstring& finalPath);

    // Puts every staged file in place, in the order they were made. Files
    // they replace are kept under temporary names until all are in place,
    // then deleted. When one cannot be put in place, those placed before it
    // are undone (new ones deleted, replaced ones restored) and the result
    // is false with the last error of the failure.
    bool PutInPlace();

private:
    struct Staged {
        std::wstring finalPath;
        std::wstring tempPath;    // empty once moved to finalPath
        std::wstring backupPath;  // what finalPath held before, while placing
        bool placed = false;
    };

    std::wstring SpareName(const std::wstring& finalPath);
    bool MoveToSpareName(const std::wstring& from, const std::wstring& beside, std::wstring* to);
    bool MoveOutOfTheWay();
    bool Place(Staged& file);
    void UndoPlaced();
    void DropBackups();
    bool IsFinalPath(const std::wstring& path) const;

    std::vector<Staged> files_;
    std::vector<std::wstring> finalKeys_;  // sorted, compared as Windows compares names
    uint32_t counter_ = 0;
};
