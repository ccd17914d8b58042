#pragma once

// The record of one package installation and the holder that carries it
// from the installer back to the command-line install run.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

// Job states; the extraction's failure codes (package.h) are states too.
enum InstallJobState : int32_t {
    kJobPackageOpen = 100,     // interim: only state and gameId are set
    kJobInstalled = 102,       // files written, shortcuts made; also a successful registration
    kJobOpenFailed = 103,      // the package is not an SQLite database
    kJobNoMemory = 104,
    kJobNoGameRow = 106,       // the package's games table gives no row
    kJobRegisterFailed = 111,  // the catalog row could not be written
};

struct InstallJob {
    int32_t state = 0;
    uint32_t gameId = 0;                      // the catalog id, as the caller gave it
    std::optional<std::wstring> name;         // from the package's games row
    uint32_t affiliate = 0;                   // filled by the caller before registration
    std::optional<std::wstring> packagePath;
    std::optional<std::wstring> installDir;
    std::optional<std::wstring> execPath;     // the written file the package names as executable
    uint32_t release = 0;
    uint32_t price = 0;
    uint32_t track = 0;                       // filled by the caller
    std::optional<std::wstring> utm;          // filled by the caller
    std::optional<std::wstring> desktopLink;  // shortcuts made after the install
    std::optional<std::wstring> menuEntry;
    std::optional<std::wstring> brand;        // filled by the caller
    std::optional<std::wstring> ident;        // from the package's games row
    uint32_t packageGameId = 0;               // the id the package's games row gives
    // The uninstall entries of the written tree: "D<dir>;" when the game
    // owns the whole target folder, else an "L" entry for each folder and
    // file the installation adds there. nullopt: the whole target folder.
    std::optional<std::wstring> treeEntries;
    // Set once the tree's entries stand in the game's catalog row (before
    // anything is written): what the row held before, so that a failed
    // installation can put it back.
    bool entriesRecorded = false;
    bool rowAdded = false;
    std::optional<std::wstring> earlierList;
};

// Holds the last job handed over and owns it: a new job, null or the
// holder's destruction frees the one held before.
class CInstallNotify {
public:
    CInstallNotify() = default;
    virtual ~CInstallNotify();
    CInstallNotify(const CInstallNotify&) = delete;
    CInstallNotify& operator=(const CInstallNotify&) = delete;

    // Takes ownership of job (null allowed) and returns it.
    virtual InstallJob* SetPayload(InstallJob* job);

    // The held job, read and completed in place by the install run.
    InstallJob* Job() const { return job_.get(); }

private:
    void ReleaseInstallJob();

    std::unique_ptr<InstallJob> job_;
};
