#include "testfiles.h"

#include "install/olderkeystream.h"

#include <objbase.h>
#include <shobjidl.h>

#include <algorithm>
#include <vector>

namespace testfiles {

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
    zeltest::WriteFileBytes(folder + L"\\settings.txt", "\x01\x02" + scrambled);
}

ShortcutInfo ReadShortcut(const std::wstring& path)
{
    ShortcutInfo info;
    IShellLinkW* link = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(&link))))
        return info;
    IPersistFile* file = nullptr;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
        if (SUCCEEDED(file->Load(path.c_str(), STGM_READ))) {
            info.loaded = true;
            wchar_t text[1024] = {};
            link->GetPath(text, 1024, nullptr, SLGP_RAWPATH);
            info.target = text;
            text[0] = 0;
            link->GetArguments(text, 1024);
            info.arguments = text;
            text[0] = 0;
            int index = 0;
            link->GetIconLocation(text, 1024, &index);
            info.icon = text;
        }
        file->Release();
    }
    link->Release();
    return info;
}

bool MakeShortcut(const std::wstring& path, const std::wstring& target, const std::wstring& arguments)
{
    IShellLinkW* link = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(&link))))
        return false;
    link->SetPath(target.c_str());
    link->SetArguments(arguments.c_str());
    IPersistFile* file = nullptr;
    bool saved = false;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
        saved = SUCCEEDED(file->Save(path.c_str(), TRUE));
        file->Release();
    }
    link->Release();
    return saved;
}

}  // namespace testfiles
