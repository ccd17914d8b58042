#pragma once

// Files and folders for the install tests beyond the shared ones in
// files.h: a listing of everything below a folder, sample game data and an
// older installation's settings.

#include "files.h"

#include <windows.h>
#include <objbase.h>

#include <cstdint>
#include <set>
#include <string>

namespace testfiles {

// Relative paths of every file and folder below root ("a", "a\\b.txt").
std::set<std::wstring> ListTree(const std::wstring& root);

// Bytes that compress somewhat, like game data: runs of text mixed with
// noise, from a fixed seed.
std::string SampleBytes(size_t size, uint32_t seed);

// "settings.txt" of an older installation in folder: a two-byte head, then
// text under the older installers' keystream.
void WriteOlderSettings(const std::wstring& folder, const std::string& text);

// What a shortcut starts; loaded is false when it cannot be read. COM must
// be initialised on the calling thread.
struct ShortcutInfo {
    bool loaded = false;
    std::wstring target;
    std::wstring arguments;
    std::wstring icon;
};
ShortcutInfo ReadShortcut(const std::wstring& path);
// A shortcut at path that starts target with arguments.
bool MakeShortcut(const std::wstring& path, const std::wstring& target, const std::wstring& arguments = L"");

// COM for the length of a test.
class ComApartment {
public:
    ComApartment() { CoInitialize(nullptr); }
    ~ComApartment() { CoUninitialize(); }
};

}  // namespace testfiles
