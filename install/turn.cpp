#include "install/turn.h"

#include "catalog/catalog.h"
#include "shell/files.h"
#include "shell/text.h"

#include <cstdint>
#include <cwchar>
#include <optional>
#include <string>
#include <vector>

namespace {

// The process's user, elevated or not, may take the turn: an elevated
// installer's default rights would shut out the user's own manager.
class UserOnlyAttributes {
public:
    UserOnlyAttributes()
    {
        HANDLE token = nullptr;
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
            return;
        DWORD size = 0;
        GetTokenInformation(token, TokenUser, nullptr, 0, &size);
        std::vector<BYTE> user(size);
        const bool known = size && GetTokenInformation(token, TokenUser, user.data(), size, &size);
        CloseHandle(token);
        if (!known)
            return;
        // The entry takes a copy of the user's id.
        PSID sid = reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid;
        acl_.resize(sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) + GetLengthSid(sid));
        auto* acl = reinterpret_cast<ACL*>(acl_.data());
        if (InitializeAcl(acl, static_cast<DWORD>(acl_.size()), ACL_REVISION) &&
            AddAccessAllowedAce(acl, ACL_REVISION, MUTEX_ALL_ACCESS, sid) &&
            InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION) &&
            SetSecurityDescriptorDacl(&descriptor_, TRUE, acl, FALSE))
            attributes_ = {sizeof(attributes_), &descriptor_, FALSE};
    }
    // The descriptor points into this object, which therefore stays put.
    UserOnlyAttributes(const UserOnlyAttributes&) = delete;
    UserOnlyAttributes& operator=(const UserOnlyAttributes&) = delete;
    // Null (the default rights) when the user could not be read.
    SECURITY_ATTRIBUTES* get() { return attributes_.nLength ? &attributes_ : nullptr; }

private:
    std::vector<BYTE> acl_;
    SECURITY_DESCRIPTOR descriptor_ = {};
    SECURITY_ATTRIBUTES attributes_ = {};
};

// The connection keeps a lock another connection may wait for: a
// transaction is open or a statement has stepped without finishing.
bool HoldsLock(sqlite3* db)
{
    if (!db)
        return false;
    if (!sqlite3_get_autocommit(db))
        return true;
    for (sqlite3_stmt* stmt = sqlite3_next_stmt(db, nullptr); stmt; stmt = sqlite3_next_stmt(db, stmt)) {
        if (sqlite3_stmt_busy(stmt))
            return true;
    }
    return false;
}

bool IsTaken(DWORD waited)
{
    return waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED_0;
}

// Waits for the mutex while answering sent messages only: posted messages
// and input stay queued for the caller's own loop.
bool WaitAnsweringSentMessages(HANDLE mutex)
{
    for (;;) {
        const DWORD waited = MsgWaitForMultipleObjects(1, &mutex, FALSE, INFINITE, QS_SENDMESSAGE);
        if (waited != WAIT_OBJECT_0 + 1)
            return IsTaken(waited);
        MSG message;
        PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}

}  // namespace

// "Local\ZelInstallTurn.<hash>": a name cannot hold a backslash, so the
// catalog's path key (full, long names, case folded) is hashed, FNV-1a in
// 64 bits, the same in every build.
std::optional<std::wstring> InstallTurnName(const wchar_t* catalogPath)
{
    std::optional<std::wstring> key = catalogPath && *catalogPath ? PathKey(catalogPath) : std::nullopt;
    if (!key)
        return std::nullopt;
    uint64_t hash = 0xcbf29ce484222325ull;
    for (wchar_t c : *key) {
        hash ^= static_cast<uint16_t>(c);
        hash *= 0x100000001b3ull;
    }
    wchar_t name[64];
    swprintf(name, 64, L"Local\\ZelInstallTurn.%016llx", static_cast<unsigned long long>(hash));
    return std::wstring(name);
}

InstallTurn::InstallTurn(sqlite3* catalog, Wait wait)
{
    Utf8ToWide catalogPath(GetCatalogDbPath());
    std::optional<std::wstring> name = InstallTurnName(catalogPath.get());
    if (!name)
        return;
    UserOnlyAttributes attributes;
    mutex_ = CreateMutexW(attributes.get(), FALSE, name->c_str());
    if (!mutex_)
        return;
    held_ = wait == Wait::kNever || HoldsLock(catalog) ? IsTaken(WaitForSingleObject(mutex_, 0))
                                                       : WaitAnsweringSentMessages(mutex_);
}

InstallTurn::~InstallTurn()
{
    if (held_)
        ReleaseMutex(mutex_);
    if (mutex_)
        CloseHandle(mutex_);
}
