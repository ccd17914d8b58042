#pragma once

// A file that replaces another is written under a temporary name beside
// its final one (same folder, so putting it in place is a rename on one
// volume) and put in place only once the whole tree is written. The file
// it replaces keeps a spare name until the installation stands (its
// catalog row written), so that a failure at any point up to then can give
// back the earlier version exactly. Temporary and spare names are the final
// name, ".~zel" and a number; a run cut short (killed, a power cut) leaves
// such files behind, and the next run of the installation, or the game's
// uninstall, removes them (DeleteSparesBeside).

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

class StagedFiles {
public:
    StagedFiles() = default;
    // Removes the temporary files that were not put in place. Spares of
    // replaced files stay: they may be the only copy of what was there.
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

    // Puts every staged file in place, in the order they were made; the
    // files they replace keep their spare names until Undo, or until
    // DeleteSparesBeside takes them once the installation stands.
    // When one cannot be put in place, those placed before it are undone
    // and the result is false with the last error of the failure.
    bool PutInPlace();
    // Takes back what PutInPlace did: the replaced files are restored.
    void Undo();

    // The final paths of the staged files.
    std::vector<std::wstring> FinalPaths() const;

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
    bool IsFinalPath(const std::wstring& path) const;

    std::vector<Staged> files_;
    std::vector<std::wstring> finalKeys_;  // sorted, compared as Windows compares names
    uint32_t counter_ = 0;
};

// Deletes the temporaries and spares that runs cut short left beside the
// files at finalPaths ("<final name>.~zel<n>"), unless such a name is one
// of finalPaths itself. Each folder is listed once.
void DeleteSparesBeside(const std::vector<std::wstring>& finalPaths);
