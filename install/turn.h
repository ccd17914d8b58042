#pragma once

// Installs and uninstalls of one catalog take turns, whichever process
// runs them. Run together they spoil each other: an uninstall while the
// game is being written leaves it installed with part of its files, an
// uninstall of a game while another is written into its folder deletes
// the other's files, two installs of one game mix their versions. The
// turn is a mutex named after the catalog file, shared by every process
// that uses that catalog and by no other; a holder that was killed leaves
// it free.

#include <sqlite3.h>

#include <windows.h>

#include <optional>
#include <string>

// The turn's name for the catalog file at catalogPath: one per file,
// however the path is spelled. nullopt for a path that names no file.
std::optional<std::wstring> InstallTurnName(const wchar_t* catalogPath);

class InstallTurn {
public:
    enum class Wait {
        // Waits without limit, as a busy catalog is waited for, until this
        // thread has the turn of the process's catalog: the runs of the
        // command line, which have no window to keep answering. Messages
        // other threads send to this thread's windows are answered
        // meanwhile, so the holder never waits on the waiter. Nor does the
        // waiter hold what the holder may need: while catalog (the
        // connection this thread uses) keeps a lock (a transaction, a
        // statement part way through), the turn is only taken when it is
        // free at once.
        kUntilFree,
        // Takes the turn only when it is free at once: the window's thread,
        // which never waits on another process.
        kNever,
    };
    InstallTurn(sqlite3* catalog, Wait wait);
    ~InstallTurn();
    InstallTurn(const InstallTurn&) = delete;
    InstallTurn& operator=(const InstallTurn&) = delete;

    // False when the turn could not be had (no catalog path, no mutex, or
    // taken by another while waiting was not allowed): the caller does not
    // install or uninstall.
    bool Held() const { return held_; }

private:
    HANDLE mutex_ = nullptr;
    bool held_ = false;
};
