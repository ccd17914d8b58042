#include "testfiles.h"

#include "install/olderkeystream.h"

#include <algorithm>
#include <vector>

namespace testfiles {

ScratchDir::ScratchDir(const wchar_t* tag)
{
    static unsigned counter = 0;
    wchar_t temp[MAX_PATH + 1];
    GetTempPathW(MAX_PATH + 1, temp);
    path_ = std::wstring(temp) + L"zeltest_" + tag + L"_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
            std::to_wstring(++counter);
    RemoveTree(path_);
    CreateDirectoryW(path_.c_str(), nullptr);
}

ScratchDir::~ScratchDir()
{
    RemoveTree(path_);
}

bool Exists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsDirectory(const std::wstring& path)
{
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string ReadBytes(const std::wstring& path)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return "<missing>";
    std::string bytes;
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof(buffer), &got, nullptr) && got > 0)
        bytes.append(buffer, got);
    CloseHandle(file);
    return bytes;
}

void WriteBytes(const std::wstring& path, const std::string& bytes)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
}

void RemoveTree(const std::wstring& path)
{
    WIN32_FIND_DATAW entry;
    HANDLE find = FindFirstFileW((path + L"\\*").c_str(), &entry);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = entry.cFileName;
            if (name == L"." || name == L"..")
                continue;
            std::wstring child = path + L"\\" + name;
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(child);
            } else {
                SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(child.c_str());
            }
        } while (FindNextFileW(find, &entry));
        FindClose(find);
    }
    RemoveDirectoryW(path.c_str());
}

namespace {

void ListInto(const std::wstring& root, const std::wstring& relative, std::set<std::wstring>& out)
{
    WIN32_FIND_DATAW entry;
    std::wstring folder = relative.empty() ? root : root + L"\\" + relative;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE)
        return;
    do {
        std::wstring name = entry.cFileName;
        if (name == L"." || name == L"..")
            continue;
        std::wstring child = relative.empty() ? name : relative + L"\\" + name;
        out.insert(child);
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            ListInto(root, child, out);
    } while (FindNextFileW(find, &entry));
    FindClose(find);
}

}  // namespace

std::set<std::wstring> ListTree(const std::wstring& root)
{
    std::set<std::wstring> out;
    ListInto(root, L"", out);
    return out;
}

std::string Utf8(const std::wstring& text)
{
    int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(size > 0 ? size : 1), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, out.data(), size, nullptr, nullptr);
    out.resize(out.size() - 1);
    return out;
}

std::wstring Wide(const std::string& utf8)
{
    int size = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0);
    std::wstring out(static_cast<size_t>(size > 0 ? size : 1), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, out.data(), size);
    out.resize(out.size() - 1);
    return out;
}

std::string SampleBytes(size_t size, uint32_t seed)
{
    static const char kWords[] = "level sprite score bonus tile map sound ";
    std::string out;
    out.reserve(size);
    uint32_t state = seed * 2654435761u + 1;
    while (out.size() < size) {
        state = state * 1664525u + 1013904223u;
        if ((state >> 28) < 9) {
            size_t from = (state >> 8) % (sizeof(kWords) - 8);
            out.append(kWords + from, std::min<size_t>(8, size - out.size()));
        } else {
            out.push_back(static_cast<char>(state >> 16));
        }
    }
    return out;
}

void WriteOlderSettings(const std::wstring& folder, const std::string& text)
{
    std::string scrambled = text;
    uint8_t key = static_cast<uint8_t>(scrambled.size() / 4 + OlderSettingsKeystream::kSeed);
    for (char& c : scrambled) {
        c = static_cast<char>(static_cast<uint8_t>(c) ^ key);
        key = static_cast<uint8_t>((key + OlderSettingsKeystream::kStepAdd) * OlderSettingsKeystream::kStepMultiply);
    }
    WriteBytes(folder + L"\\settings.txt", "\x01\x02" + scrambled);
}

}  // namespace testfiles
