#include "shell/pagehooks.h"

#include "catalog/catalog.h"
#include "host/sinks.h"
#include "shell/text.h"
#include "shell/theme.h"

#include <cwchar>

void ForwardOptionRowToPage(const wchar_t* var, const wchar_t* val)
{
    if (CMainSink* sink = GetMainSink())
        sink->inOptionLoad(var, val);
}

void ForwardGameRowToPage(uint32_t id, int32_t afl, const wchar_t* name, const wchar_t* desc,
                          const char* statusWords, int32_t release, int32_t rating, int32_t inst, int32_t runs,
                          const wchar_t* custom, const wchar_t* itunesId, const wchar_t* itunesIdFree,
                          const wchar_t* itunesIdIpad, const wchar_t* itunesIdIpadFree, int32_t track,
                          const wchar_t* utm)
try {
    Utf8ToWide status(statusWords);
    CMainSink* sink = GetMainSink();
    if (!sink)
        return;
    sink->inGameUpdate(id, static_cast<uint32_t>(afl), name, desc, status.get(), static_cast<uint32_t>(release),
                       static_cast<uint32_t>(rating), static_cast<uint32_t>(inst), static_cast<uint32_t>(runs),
                       custom, itunesId, itunesIdFree, itunesIdIpad, itunesIdIpadFree,
                       static_cast<uint32_t>(track), utm);
} catch (...) {
    // Called inside an SQLite statement: the conversion's failed allocation
    // must not unwind through SQLite; the row simply does not reach the page.
}

void StoreGamePicture(uint32_t gameId, const void* data, uint32_t size)
{
    if (gameId == 0 || !data || size == 0)
        return;
    wchar_t name[16];
    const int length = swprintf(name, 16, L"S%u.PIC", gameId);
    if (length < 0 || length >= 16)
        return;
    const wchar_t* library = GetGamesDllPath();
    if (!library)
        return;
    HANDLE update = BeginUpdateResourceW(library, FALSE);
    if (!update)
        return;
    const bool written = UpdateResourceW(update, L"SMALL", name, 0, const_cast<void*>(data), size);
    EndUpdateResourceW(update, written ? FALSE : TRUE);
}

void InstallPageFeedingHooks()
{
    InstallCatalogHooks(ForwardOptionRowToPage, ForwardGameRowToPage, StoreGamePicture);
}
