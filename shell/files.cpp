#include "shell/files.h"

#include <shellapi.h>
#include <knownfolders.h>
#include <shlobj.h>
#include <shobjidl.h>
#include <gdiplus.h>

#include <cwchar>
#include <cwctype>

#include "shell/com.h"

namespace {

constexpr size_t kPathChars = 1024;

}  // namespace

bool CreateDirectoryPath(const wchar_t* path)
{
    if (!path || !*path)
        return false;
    if (CreateDirectoryW(path, nullptr) || GetLastError() == ERROR_ALREADY_EXISTS)
        return true;
    std::wstring parent = path;
    if (parent.size() > 1 && parent.back() == L'\\')
        parent.pop_back();
    size_t slash = parent.find_last_of(L'\\');
    if (slash == std::wstring::npos || slash == 0)
        return false;
    parent.resize(slash);
    if (!CreateDirectoryPath(parent.c_str()))
        return false;
    return CreateDirectoryW(path, nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

namespace {

// Upper-cased the way the file system compares names.
std::wstring FoldCase(std::wstring text)
{
    if (!text.empty())
        CharUpperBuffW(text.data(), static_cast<DWORD>(text.size()));
    return text;
}

// Both folded full paths: inner is outer or lies below it.
bool IsFoldedSameOrBelow(const std::wstring& inner, const std::wstring& outer)
{
    if (inner.size() < outer.size() || inner.compare(0, outer.size(), outer) != 0)
        return false;
    return inner.size() == outer.size() || outer.back() == L'\\' || inner[outer.size()] == L'\\';
}

bool IsKept(const std::wstring& foldedPath, const std::vector<std::wstring>& keep)
{
    for (const std::wstring& kept : keep) {
        if (IsFoldedSameOrBelow(foldedPath, kept))
            return true;
    }
    return false;
}

bool LeadsToKept(const std::wstring& foldedPath, const std::vector<std::wstring>& keep)
{
    for (const std::wstring& kept : keep) {
        if (IsFoldedSameOrBelow(kept, foldedPath))
            return true;
    }
    return false;
}

// A short (8.3) name and its long name are two spellings of one path:
// the long one is kept. Only a path that exists can be spelled out, so the
// longest part of it that exists is, and the rest is appended as it is.
// The short names Windows makes all hold a "~"; a path without one is long
// already, and is not looked up (each look-up reads the disk).
std::wstring LongForm(const std::wstring& full, size_t rootChars)
{
    if (full.find(L'~') == std::wstring::npos)
        return full;
    std::wstring head = full;
    while (head.size() > rootChars) {
        wchar_t expanded[kPathChars];
        DWORD length = GetLongPathNameW(head.c_str(), expanded, kPathChars);
        if (length > 0 && length < kPathChars)
            return std::wstring(expanded, length) + full.substr(head.size());
        size_t slash = head.find_last_of(L'\\');
        if (slash == std::wstring::npos || slash < rootChars - 1)
            break;
        head.resize(slash);
    }
    return full;
}

// keep holds folded full paths; with any, dir is a full path too.
bool DeleteTreeKeeping(const std::wstring& dir, const std::vector<std::wstring>& keep)
{
    std::wstring pattern = dir + L"\\*";
    if (pattern.size() >= kPathChars)
        return false;
    ForEachFolderEntry(pattern, [&](const WIN32_FIND_DATAW& entry) {
        std::wstring child = dir + L"\\" + entry.cFileName;
        if (child.size() >= kPathChars)
            return false;
        const DWORD attributes = entry.dwFileAttributes;
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
            // A junction or directory link: only the link goes; what it
            // points to lies outside the tree.
            RemoveDirectoryW(child.c_str());
        } else if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (keep.empty() || !IsKept(FoldCase(child), keep))
                DeleteTreeKeeping(child, keep);
        } else if (keep.empty() || !IsKept(FoldCase(child), keep)) {
            DeleteFileForced(child.c_str());
        }
        return false;
    });
    if (!keep.empty() && LeadsToKept(FoldCase(dir), keep))
        return false;
    SetFileAttributesW(dir.c_str(), FILE_ATTRIBUTE_NORMAL);
    return RemoveDirectoryW(dir.c_str()) || GetFileAttributesW(dir.c_str()) == INVALID_FILE_ATTRIBUTES;
}

}  // namespace

bool IsMissingPath(const wchar_t* path)
{
    if (GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES)
        return false;
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

std::optional<bool> IsFolderEmpty(const std::wstring& folder)
{
    WIN32_FIND_DATAW entry;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) {
        // Only an empty drive's root lists nothing at all, not even ".".
        const DWORD attributes = GetLastError() == ERROR_FILE_NOT_FOUND ? GetFileAttributesW(folder.c_str())
                                                                        : INVALID_FILE_ATTRIBUTES;
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
            return true;
        return std::nullopt;
    }
    std::optional<bool> empty = true;
    do {
        if (wcscmp(entry.cFileName, L".") != 0 && wcscmp(entry.cFileName, L"..") != 0)
            empty = false;
    } while (*empty && FindNextFileW(find, &entry));
    // A listing that breaks off tells nothing of what follows.
    if (*empty && GetLastError() != ERROR_NO_MORE_FILES)
        empty = std::nullopt;
    FindClose(find);
    return empty;
}

bool DeleteFileForced(const wchar_t* path)
{
    if (!path || !*path)
        return false;
    if (DeleteFileW(path))
        return true;
    const DWORD attributes = GetFileAttributesW(path);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return GetLastError() == ERROR_FILE_NOT_FOUND || GetLastError() == ERROR_PATH_NOT_FOUND;
    if (!(attributes & FILE_ATTRIBUTE_READONLY))
        return false;
    SetFileAttributesW(path, attributes & ~FILE_ATTRIBUTE_READONLY);
    return DeleteFileW(path) != FALSE;
}

bool DeleteDirectoryTree(const wchar_t* path, const std::vector<std::wstring>& keep)
{
    if (!path || !*path)
        return false;
    std::vector<std::wstring> folded;
    for (const std::wstring& kept : keep) {
        if (std::optional<std::wstring> full = NormalisedFullPath(kept.c_str()))
            folded.push_back(FoldCase(*full));
    }
    std::wstring dir = path;
    if (!folded.empty()) {
        // The tree is compared by its full path; it is walked by the one given.
        std::optional<std::wstring> full = NormalisedFullPath(path);
        if (!full)
            return false;
        dir = *full;
        if (IsKept(FoldCase(dir), folded))
            return false;
    }
    return DeleteTreeKeeping(dir, folded);
}

std::optional<std::wstring> NormalisedFullPath(const wchar_t* path)
{
    if (!path || !*path)
        return std::nullopt;
    std::wstring text = path;
    for (wchar_t& c : text) {
        if (c == L'/')
            c = L'\\';
    }
    if (text.compare(0, 8, L"\\\\?\\UNC\\") == 0)
        text = L"\\\\" + text.substr(8);
    else if (text.compare(0, 4, L"\\\\?\\") == 0)
        text = text.substr(4);
    const bool drive = text.size() >= 3 && iswalpha(text[0]) && text[1] == L':' && text[2] == L'\\';
    const bool share = text.size() >= 3 && text[0] == L'\\' && text[1] == L'\\' && text[2] != L'?' &&
                       text[2] != L'.' && text[2] != L'\\';
    if (!drive && !share)
        return std::nullopt;
    wchar_t full[kPathChars];
    DWORD length = GetFullPathNameW(text.c_str(), kPathChars, full, nullptr);
    if (length == 0 || length >= kPathChars)
        return std::nullopt;
    std::wstring result(full, length);
    const size_t rootChars = drive ? 3 : 2;
    while (result.size() > rootChars && result.back() == L'\\')
        result.pop_back();
    return LongForm(result, rootChars);
}

std::optional<std::wstring> PathKey(const wchar_t* path)
{
    std::optional<std::wstring> full = NormalisedFullPath(path);
    if (full)
        *full = FoldCase(*full);
    return full;
}

bool IsKeySameOrBelow(const std::wstring& inner, const std::wstring& outer)
{
    return IsFoldedSameOrBelow(inner, outer);
}

bool IsSamePath(const wchar_t* a, const wchar_t* b)
{
    std::optional<std::wstring> first = PathKey(a);
    std::optional<std::wstring> second = PathKey(b);
    return first && second && *first == *second;
}

bool IsSameOrBelow(const wchar_t* path, const wchar_t* folder)
{
    std::optional<std::wstring> inner = PathKey(path);
    std::optional<std::wstring> outer = PathKey(folder);
    return inner && outer && IsFoldedSameOrBelow(*inner, *outer);
}

std::vector<std::wstring> KnownFolderKeys()
{
    std::vector<std::wstring> keys;
    auto add = [&keys](const wchar_t* path) {
        if (std::optional<std::wstring> key = PathKey(path))
            keys.push_back(*key);
    };
    ComApartment apartment;
    ComPtr<IKnownFolderManager> manager;
    KNOWNFOLDERID* ids = nullptr;
    UINT count = 0;
    if (SUCCEEDED(CoCreateInstance(CLSID_KnownFolderManager, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IKnownFolderManager, manager.out_void())) &&
        SUCCEEDED(manager->GetFolderIds(&ids, &count))) {
        for (UINT i = 0; i < count; ++i) {
            PWSTR path = nullptr;
            if (SUCCEEDED(SHGetKnownFolderPath(ids[i], KF_FLAG_DONT_VERIFY, nullptr, &path)) && path)
                add(path);
            CoTaskMemFree(path);
        }
        CoTaskMemFree(ids);
    } else {
        // Without the manager, the folders the older interface numbers.
        for (int csidl = 0; csidl < 0x40; ++csidl) {
            wchar_t path[MAX_PATH + 1] = {};
            if (SUCCEEDED(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path)))
                add(path);
        }
    }
    wchar_t temp[MAX_PATH + 1] = {};
    DWORD length = GetTempPathW(MAX_PATH + 1, temp);
    if (length > 0 && length <= MAX_PATH)
        add(temp);
    length = GetWindowsDirectoryW(temp, MAX_PATH + 1);
    if (length > 0 && length < MAX_PATH - 5)
        add((std::wstring(temp) + L"\\Temp").c_str());
    return keys;
}

std::optional<std::wstring> MakeTempFileName(const wchar_t* prefix)
{
    wchar_t dir[MAX_PATH + 1];
    DWORD length = GetTempPathW(MAX_PATH + 1, dir);
    if (length < 1 || length > 246)
        return std::nullopt;
    wchar_t path[MAX_PATH + 1];
    if (!GetTempFileNameW(dir, prefix, 0, path))
        return std::nullopt;
    return std::wstring(path);
}

std::optional<std::wstring> ShortcutPath(int folderId, const wchar_t* subfolder, const wchar_t* name)
{
    if (!subfolder && !name)
        return std::nullopt;
    wchar_t folder[MAX_PATH + 1] = {};
    if (!SHGetSpecialFolderPathW(nullptr, folder, folderId, FALSE))
        return std::nullopt;
    std::wstring path = folder;
    if (path.size() > MAX_PATH)
        return std::nullopt;
    if (subfolder) {
        path += L"\\";
        path += subfolder;
        if (path.size() >= kPathChars)
            return std::nullopt;
    }
    if (name) {
        path += L"\\";
        path += name;
        path += L".lnk";
    }
    if (path.size() >= kPathChars)
        return std::nullopt;
    // A name may hold a colon; only the drive's own stays.
    for (size_t i = 2; i < path.size(); ++i) {
        if (path[i] == L':')
            path[i] = L'.';
    }
    return path;
}

bool CreateShortcut(const wchar_t* target, const wchar_t* linkPath, const wchar_t* iconPath,
                    const wchar_t* arguments)
{
    ComPtr<IShellLinkW> link;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                link.out_void())))
        return false;
    if (FAILED(link->SetPath(target)))
        return false;
    if (arguments)
        link->SetArguments(arguments);
    if (FAILED(link->SetIconLocation(iconPath, 0)))
        return false;
    ComPtr<IPersistFile> file;
    if (FAILED(link->QueryInterface(IID_IPersistFile, file.out_void())))
        return false;
    return SUCCEEDED(file->Save(linkPath, TRUE));
}

bool RetargetShortcut(const wchar_t* linkPath, const wchar_t* target, const wchar_t* arguments)
{
    ComPtr<IShellLinkW> link;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_ALL, IID_IShellLinkW, link.out_void())))
        return false;
    if (FAILED(OleRun(link.get())))
        return false;
    ComPtr<IPersistFile> file;
    if (FAILED(link->QueryInterface(IID_IPersistFile, file.out_void())))
        return false;
    if (FAILED(file->Load(linkPath, STGM_READWRITE)))
        return false;
    if (FAILED(link->SetPath(target)))
        return false;
    if (arguments)
        link->SetArguments(arguments);
    return SUCCEEDED(file->Save(linkPath, TRUE));
}

std::optional<ShortcutStart> ReadShortcutStart(const wchar_t* linkPath)
{
    if (!linkPath)
        return std::nullopt;
    ComPtr<IShellLinkW> link;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                link.out_void())))
        return std::nullopt;
    ComPtr<IPersistFile> file;
    if (FAILED(link->QueryInterface(IID_IPersistFile, file.out_void())) || FAILED(file->Load(linkPath, STGM_READ)))
        return std::nullopt;
    wchar_t text[kPathChars] = {};
    ShortcutStart start;
    if (SUCCEEDED(link->GetPath(text, kPathChars, nullptr, SLGP_RAWPATH)))
        start.target = text;
    text[0] = L'\0';
    if (SUCCEEDED(link->GetArguments(text, kPathChars)))
        start.arguments = text;
    return start;
}

namespace {

bool IsStringType(DWORD type)
{
    return type == REG_SZ || type == REG_EXPAND_SZ;
}

// The environment names in text replaced by their values.
std::optional<std::wstring> ExpandEnvironment(const std::wstring& text)
{
    DWORD chars = ExpandEnvironmentStringsW(text.c_str(), nullptr, 0);
    if (chars == 0)
        return std::nullopt;
    std::wstring expanded(chars, L'\0');
    DWORD written = ExpandEnvironmentStringsW(text.c_str(), expanded.data(), chars);
    if (written == 0 || written > chars)
        return std::nullopt;
    expanded.resize(wcsnlen(expanded.c_str(), expanded.size()));
    return expanded;
}

}  // namespace

std::optional<std::wstring> ReadRegString(HKEY key, const wchar_t* name)
{
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS || !IsStringType(type) ||
        size == 0 || size % 2 != 0)
        return std::nullopt;
    std::wstring value(size / 2 + 1, L'\0');
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value.data()), &size) !=
            ERROR_SUCCESS ||
        !IsStringType(type))
        return std::nullopt;
    value.resize(size / 2);
    while (!value.empty() && value.back() == L'\0')
        value.pop_back();
    if (type == REG_EXPAND_SZ)
        return ExpandEnvironment(value);
    return value;
}

std::optional<std::wstring> GetProductVersion()
{
    wchar_t path[MAX_PATH + 1] = {};
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH + 1);
    if (length == 0 || length > MAX_PATH)
        return std::nullopt;
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeW(path, &handle);
    if (size == 0)
        return std::nullopt;
    std::vector<BYTE> block(size);
    if (!GetFileVersionInfoW(path, 0, size, block.data()))
        return std::nullopt;
    wchar_t* text = nullptr;
    UINT chars = 0;
    if (!VerQueryValueW(block.data(), L"\\StringFileInfo\\040904b0\\ProductVersion",
                        reinterpret_cast<void**>(&text), &chars) ||
        !text)
        return std::nullopt;
    return std::wstring(text);
}

namespace {

class GdiplusSession {
public:
    GdiplusSession()
    {
        Gdiplus::GdiplusStartupInput input;
        ok_ = Gdiplus::GdiplusStartup(&token_, &input, nullptr) == Gdiplus::Ok;
    }
    ~GdiplusSession()
    {
        if (ok_)
            Gdiplus::GdiplusShutdown(token_);
    }
    bool ok() const { return ok_; }

private:
    ULONG_PTR token_ = 0;
    bool ok_ = false;
};

}  // namespace

std::unique_ptr<DibImage> LoadImageToDib(IStream* stream)
{
    if (!stream)
        return nullptr;
    GdiplusSession gdiplus;
    if (!gdiplus.ok())
        return nullptr;
    Gdiplus::GpImage* image = nullptr;
    if (Gdiplus::DllExports::GdipLoadImageFromStream(stream, &image) != Gdiplus::Ok || !image)
        return nullptr;
    UINT width = 0;
    UINT height = 0;
    Gdiplus::DllExports::GdipGetImageWidth(image, &width);
    Gdiplus::DllExports::GdipGetImageHeight(image, &height);
    if (width == 100 && height == 100)
        width = height = 50;
    std::unique_ptr<DibImage> result;
    if (width > 0 && height > 0 && width <= 16384 && height <= 16384) {
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof(info.bmiHeader);
        info.bmiHeader.biWidth = static_cast<LONG>(width);
        info.bmiHeader.biHeight = -static_cast<LONG>(height);  // top-down rows
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        HDC dc = CreateCompatibleDC(nullptr);
        HBITMAP bitmap = dc ? CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0) : nullptr;
        if (bitmap && bits) {
            HGDIOBJ old = SelectObject(dc, bitmap);
            Gdiplus::GpGraphics* graphics = nullptr;
            if (Gdiplus::DllExports::GdipCreateFromHDC(dc, &graphics) == Gdiplus::Ok) {
                Gdiplus::DllExports::GdipDrawImageRectI(graphics, image, 0, 0, static_cast<INT>(width),
                                                        static_cast<INT>(height));
                Gdiplus::DllExports::GdipDeleteGraphics(graphics);
                GdiFlush();
                result = std::make_unique<DibImage>();
                result->width = static_cast<int32_t>(width);
                result->height = static_cast<int32_t>(height);
                const uint32_t* pixels = static_cast<const uint32_t*>(bits);
                result->pixels.assign(pixels, pixels + static_cast<size_t>(width) * height);
                for (uint32_t& pixel : result->pixels)
                    pixel |= 0xFF000000u;
            }
            SelectObject(dc, old);
        }
        if (bitmap)
            DeleteObject(bitmap);
        if (dc)
            DeleteDC(dc);
    }
    Gdiplus::DllExports::GdipDisposeImage(image);
    return result;
}

void OpenWebAddress(HWND owner, const wchar_t* url)
{
    if (url && (_wcsnicmp(url, L"http://", 7) == 0 || _wcsnicmp(url, L"https://", 8) == 0))
        ShellExecuteW(owner, L"open", url, nullptr, nullptr, SW_SHOWNORMAL);
}
