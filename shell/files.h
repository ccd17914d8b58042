#pragma once

// Small services over the file system, the shell and COM shared by the
// installation, shortcut, social and splash code.

#include <windows.h>
#include <objidl.h>

#include <cstdint>
#include <cwchar>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// True when the directory exists afterwards; missing parents are made.
bool CreateDirectoryPath(const wchar_t* path);
// Calls visit with each entry that pattern ("<folder>\\*", "<folder>\\*.lnk")
// finds, "." and ".." aside, until visit answers true; answers whether it
// did.
template <typename Visit>
bool ForEachFolderEntry(const std::wstring& pattern, Visit visit)
{
    WIN32_FIND_DATAW entry;
    HANDLE find = FindFirstFileW(pattern.c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE)
        return false;
    bool stopped = false;
    do {
        if (wcscmp(entry.cFileName, L".") != 0 && wcscmp(entry.cFileName, L"..") != 0)
            stopped = visit(entry);
    } while (!stopped && FindNextFileW(find, &entry));
    FindClose(find);
    return stopped;
}

// True only when nothing is at path (it, or its folder, is not found). A
// path that cannot be looked at (access denied, in use) may be there: an
// installation must not take it for one it makes.
bool IsMissingPath(const wchar_t* path);

// Whether the folder holds nothing; nullopt when it cannot be listed (it
// is missing or no folder, access is denied, the path is too long), which
// is no answer either way.
std::optional<bool> IsFolderEmpty(const std::wstring& folder);

// Deletes a directory with everything below it; read-only files are made
// writable first. The files and folders named in keep (full paths) stay,
// a folder with everything in it, and so do the folders that lead to them.
// True when the directory is gone afterwards.
bool DeleteDirectoryTree(const wchar_t* path, const std::vector<std::wstring>& keep = {});
// Deletes a file, clearing its read-only attribute first.
bool DeleteFileForced(const wchar_t* path);

// Paths as Windows resolves them: a full path with "/" read as "\", "."
// and ".." resolved, short (8.3) names of what exists spelled out, the
// "\\?\" prefix taken off and no separator at the end (a drive's root
// keeps its own). nullopt for a relative path (also
// "C:name" and "\\name"), a device path or one that does not resolve.
std::optional<std::wstring> NormalisedFullPath(const wchar_t* path);
// What two spellings of one path have in common: NormalisedFullPath with
// short (8.3) names spelled out and case folded. nullopt as there.
std::optional<std::wstring> PathKey(const wchar_t* path);
// Of two keys: inner is outer or lies below it.
bool IsKeySameOrBelow(const std::wstring& inner, const std::wstring& outer);
// The keys of every folder the system knows by name (the user's and the
// public Documents, Music, Downloads, Saved Games ..., the profile, the
// system's own) and of the temporary folders. The caller may hold a COM
// apartment; one is entered for the call either way.
std::vector<std::wstring> KnownFolderKeys();
// Both name the same folder or file, case aside.
bool IsSamePath(const wchar_t* a, const wchar_t* b);
// path is folder itself or lies below it, case aside.
bool IsSameOrBelow(const wchar_t* path, const wchar_t* folder);
// An empty new file in the user's temporary directory whose name begins
// with prefix; nullopt when none can be made.
std::optional<std::wstring> MakeTempFileName(const wchar_t* prefix);

// <special folder>[\subfolder][\name.lnk], every ":" after the drive
// replaced by "."; nullopt when both subfolder and name are null or the
// path does not fit.
std::optional<std::wstring> ShortcutPath(int folderId, const wchar_t* subfolder, const wchar_t* name);
// Shortcut files; the caller holds a COM apartment.
bool CreateShortcut(const wchar_t* target, const wchar_t* linkPath, const wchar_t* iconPath,
                    const wchar_t* arguments);
bool RetargetShortcut(const wchar_t* linkPath, const wchar_t* target, const wchar_t* arguments);
// What a shortcut starts: its target as stored and its arguments; nullopt
// when the file is not a shortcut that loads. The caller holds a COM
// apartment.
struct ShortcutStart {
    std::wstring target;
    std::wstring arguments;
};
std::optional<ShortcutStart> ReadShortcutStart(const wchar_t* linkPath);

// Opens url in the user's browser when it is an http or https address.
// Addresses come from pages and web replies: anything else (a path, another
// scheme) would have the shell start a program, so it is never handed over.
void OpenWebAddress(HWND owner, const wchar_t* url);

// A REG_SZ value of an open key (null name: the default value), or a
// REG_EXPAND_SZ value with its environment names expanded; anything else,
// or an empty or odd-sized value, gives nullopt.
std::optional<std::wstring> ReadRegString(HKEY key, const wchar_t* name);

// The program's own ProductVersion text, e.g. "4, 42, 0, 0".
std::optional<std::wstring> GetProductVersion();

// A decoded picture: rows from the top, pixels 0xFFRRGGBB.
struct DibImage {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint32_t> pixels;
};
// Decodes an image with GDI+; a picture of exactly 100 x 100 is drawn at
// 50 x 50, any other at its own size.
std::unique_ptr<DibImage> LoadImageToDib(IStream* stream);
