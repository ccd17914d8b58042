#pragma once

// Files and folders for the install tests: a scratch folder per test,
// whole-file reads and writes, and a listing of everything below a folder.

#include <windows.h>

#include <cstdint>
#include <set>
#include <string>

namespace testfiles {

// A fresh folder under the temporary directory, deleted with everything
// below it when the object goes.
class ScratchDir {
public:
    explicit ScratchDir(const wchar_t* tag);
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::wstring& Path() const { return path_; }
    std::wstring operator/(const std::wstring& name) const { return path_ + L"\\" + name; }

private:
    std::wstring path_;
};

bool Exists(const std::wstring& path);
bool IsDirectory(const std::wstring& path);
std::string ReadBytes(const std::wstring& path);
void WriteBytes(const std::wstring& path, const std::string& bytes);
void RemoveTree(const std::wstring& path);

// Relative paths of every file and folder below root ("a", "a\\b.txt").
std::set<std::wstring> ListTree(const std::wstring& root);

std::string Utf8(const std::wstring& text);
std::wstring Wide(const std::string& utf8);

// Bytes that compress somewhat, like game data: runs of text mixed with
// noise, from a fixed seed.
std::string SampleBytes(size_t size, uint32_t seed);

// "settings.txt" of an older installation in folder: a two-byte head, then
// text under the older installers' keystream.
void WriteOlderSettings(const std::wstring& folder, const std::string& text);

}  // namespace testfiles
