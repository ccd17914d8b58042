#include "axhost/dispatch.h"

#include "shell/com.h"

#include <vector>

namespace {

struct CachedTypeInfo {
    IID iid;
    ComPtr<ITypeInfo> info;
};

// The executable's type library, loaded on first use and kept for the life
// of the process together with the type information handed out from it.
struct OwnTypeLibrary {
    bool tried = false;
    ComPtr<ITypeLib> library;
    std::vector<CachedTypeInfo> infos;
};

OwnTypeLibrary& Library()
{
    static OwnTypeLibrary library;
    return library;
}

ITypeLib* LoadOwnTypeLibrary()
{
    OwnTypeLibrary& own = Library();
    if (!own.tried) {
        own.tried = true;
        wchar_t path[MAX_PATH];
        DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
        if (length > 0 && length < MAX_PATH)
            LoadTypeLibEx(path, REGKIND_NONE, own.library.out());
    }
    return own.library.get();
}

// DispInvoke calls through the table of functions, so a dual interface is
// invoked through its interface half, not its dispatch half.
ComPtr<ITypeInfo> VtableHalf(ComPtr<ITypeInfo> info)
{
    TYPEATTR* attributes = nullptr;
    if (FAILED(info->GetTypeAttr(&attributes)))
        return info;
    const bool dualDispatch =
        attributes->typekind == TKIND_DISPATCH && (attributes->wTypeFlags & TYPEFLAG_FDUAL) != 0;
    info->ReleaseTypeAttr(attributes);
    if (!dualDispatch)
        return info;
    HREFTYPE reference = 0;
    ComPtr<ITypeInfo> interfaceHalf;
    if (SUCCEEDED(info->GetRefTypeOfImplType(static_cast<UINT>(-1), &reference)) &&
        SUCCEEDED(info->GetRefTypeInfo(reference, interfaceHalf.out())) && interfaceHalf)
        return interfaceHalf;
    return info;
}

}  // namespace

ITypeInfo* GetOwnTypeInfo(REFIID iid)
{
    OwnTypeLibrary& own = Library();
    for (const CachedTypeInfo& cached : own.infos)
        if (IsEqualIID(cached.iid, iid))
            return cached.info.get();
    ITypeLib* library = LoadOwnTypeLibrary();
    if (!library)
        return nullptr;
    ComPtr<ITypeInfo> info;
    if (FAILED(library->GetTypeInfoOfGuid(iid, info.out())) || !info)
        return nullptr;
    // Called from IDispatch methods: a failed allocation must not escape.
    try {
        own.infos.push_back({iid, VtableHalf(info)});
    } catch (...) {
        return nullptr;
    }
    return own.infos.back().info.get();
}
