#pragma once

// Files and folders as the tests handle them: text between UTF-8 and
// UTF-16, whole-file reads and writes, a scratch folder per test and the
// removal of a whole tree.

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace zeltest {

std::string Utf8(const std::wstring& text);
std::wstring Wide(const std::string& utf8);

// The temporary directory, with its closing backslash.
std::wstring TempPath();

// A fresh folder under the temporary directory whose name starts with
// label, deleted with everything in it when the object goes.
class TempDir {
public:
    explicit TempDir(const wchar_t* label = L"zeltest");
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::wstring& path() const { return path_; }
    std::wstring File(const std::wstring& name) const { return path_ + L"\\" + name; }

private:
    std::wstring path_;
};

// A file or a folder.
bool PathExists(const std::wstring& path);
// A file, not a folder.
bool FileExists(const std::wstring& path);
bool DirectoryExists(const std::wstring& path);

// The whole file; nothing when it cannot be opened.
std::optional<std::string> ReadFileIfPresent(const std::wstring& path);
// The whole file; empty when it cannot be opened.
std::string ReadFileBytes(const std::wstring& path);
// The file's lines without their line ends; none when it cannot be opened.
std::vector<std::string> ReadFileLines(const std::wstring& path);
// Creates or replaces the file; false unless every byte was written.
bool WriteFileBytes(const std::wstring& path, const std::string& bytes);

// Deletes the folder with everything below it, read-only files too.
void RemoveTree(const std::wstring& path);

}  // namespace zeltest
