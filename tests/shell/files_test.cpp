#include <gtest/gtest.h>

#include "driver.h"
#include "shell/com.h"
#include "shell/files.h"

#include <shlobj.h>
#include <shlwapi.h>
#include <shobjidl.h>

using zeltest::DirectoryExists;
using zeltest::FileExists;
using zeltest::TempDir;

TEST(Directories, CreatesMissingParents)
{
    TempDir temp;
    std::wstring deep = temp.File(L"a\\b\\c\\");
    ASSERT_TRUE(CreateDirectoryW(temp.File(L"a").c_str(), nullptr));
    EXPECT_TRUE(CreateDirectoryPath(deep.c_str()));
    EXPECT_TRUE(DirectoryExists(temp.File(L"a\\b\\c")));
    EXPECT_TRUE(CreateDirectoryPath(deep.c_str()));  // exists already
    // A drive that does not exist: no parent can be made.
    EXPECT_FALSE(CreateDirectoryPath(L"Q:\\missing\\x"));
}

TEST(Directories, DeletesWholeTree)
{
    TempDir temp;
    std::wstring root = temp.File(L"tree");
    ASSERT_TRUE(CreateDirectoryPath((root + L"\\x\\y").c_str()));
    zeltest::WriteFileBytes(root + L"\\x\\y\\f.txt", "data");
    zeltest::WriteFileBytes(root + L"\\top.txt", "data");
    DeleteDirectoryTree(root.c_str());
    EXPECT_FALSE(DirectoryExists(root));
    DeleteDirectoryTree(nullptr);
    DeleteDirectoryTree(L"");
}

TEST(TempFiles, UniqueWithPrefix)
{
    std::optional<std::wstring> a = MakeTempFileName(L"thm");
    std::optional<std::wstring> b = MakeTempFileName(L"thm");
    ASSERT_TRUE(a && b);
    EXPECT_NE(*a, *b);
    EXPECT_TRUE(FileExists(*a));
    std::wstring name = a->substr(a->find_last_of(L'\\') + 1);
    EXPECT_EQ(0u, name.find(L"thm"));
    DeleteFileW(a->c_str());
    DeleteFileW(b->c_str());
}

TEST(Shortcuts, PathReplacesColonsAfterTheDrive)
{
    std::optional<std::wstring> path = ShortcutPath(CSIDL_PROGRAMS, L"Games", L"Play: Now");
    ASSERT_TRUE(path);
    EXPECT_EQ(L"Games\\Play. Now.lnk", path->substr(path->size() - 19));
    EXPECT_EQ(L':', (*path)[1]);
    EXPECT_FALSE(ShortcutPath(CSIDL_DESKTOPDIRECTORY, nullptr, nullptr));
    std::wstring hugeName(1100, L'n');
    EXPECT_FALSE(ShortcutPath(CSIDL_DESKTOPDIRECTORY, nullptr, hugeName.c_str()));
    std::optional<std::wstring> folderOnly = ShortcutPath(CSIDL_PROGRAMS, L"Games", nullptr);
    ASSERT_TRUE(folderOnly);
    EXPECT_EQ(L"\\Games", folderOnly->substr(folderOnly->size() - 6));
}

namespace {

struct LinkInfo {
    std::wstring target;
    std::wstring arguments;
};

std::optional<LinkInfo> ReadLink(const std::wstring& path)
{
    ComPtr<IShellLinkW> link;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.out_void())))
        return std::nullopt;
    ComPtr<IPersistFile> file = link.As<IPersistFile>(IID_IPersistFile);
    if (!file || FAILED(file->Load(path.c_str(), STGM_READ)))
        return std::nullopt;
    wchar_t target[MAX_PATH] = {};
    wchar_t arguments[1024] = {};
    link->GetPath(target, MAX_PATH, nullptr, SLGP_RAWPATH);
    link->GetArguments(arguments, 1024);
    return LinkInfo{target, arguments};
}

}  // namespace

TEST(Shortcuts, CreateAndRetarget)
{
    ComApartment com;
    TempDir temp;
    std::wstring link = temp.File(L"game.lnk");
    std::wstring target = temp.File(L"zel.exe");
    zeltest::WriteFileBytes(target, "MZ");
    ASSERT_TRUE(CreateShortcut(target.c_str(), link.c_str(), target.c_str(), L"r 1f"));
    std::optional<LinkInfo> info = ReadLink(link);
    ASSERT_TRUE(info);
    EXPECT_EQ(target, info->target);
    EXPECT_EQ(L"r 1f", info->arguments);

    std::wstring other = temp.File(L"other.exe");
    zeltest::WriteFileBytes(other, "MZ");
    ASSERT_TRUE(RetargetShortcut(link.c_str(), other.c_str(), L"r 20 v 0"));
    info = ReadLink(link);
    ASSERT_TRUE(info);
    EXPECT_EQ(other, info->target);
    EXPECT_EQ(L"r 20 v 0", info->arguments);

    EXPECT_FALSE(RetargetShortcut(temp.File(L"missing.lnk").c_str(), other.c_str(), nullptr));
}

TEST(Registry, OnlyStringsAreReadAndExpandableOnesExpanded)
{
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\zeltest\\strings", 0, nullptr, 0,
                                             KEY_ALL_ACCESS, nullptr, &key, nullptr));
    const wchar_t text[] = L"C:\\Games";
    RegSetValueExW(key, L"sz", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), sizeof(text));
    // An install folder written as an expandable string by some installer.
    SetEnvironmentVariableW(L"ZELTEST_GAMES", L"D:\\Play");
    const wchar_t expandable[] = L"%ZELTEST_GAMES%\\Zel";
    RegSetValueExW(key, L"expand", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(expandable),
                   sizeof(expandable));
    RegSetValueExW(key, L"number", 0, REG_DWORD, reinterpret_cast<const BYTE*>(text), 4);
    // No terminator stored: the result is still terminated.
    RegSetValueExW(key, L"bare", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), sizeof(text) - 2);
    RegSetValueExW(key, L"odd", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), 3);
    EXPECT_EQ(L"C:\\Games", ReadRegString(key, L"sz"));
    EXPECT_EQ(L"D:\\Play\\Zel", ReadRegString(key, L"expand"));
    EXPECT_FALSE(ReadRegString(key, L"number"));
    EXPECT_EQ(L"C:\\Games", ReadRegString(key, L"bare"));
    EXPECT_FALSE(ReadRegString(key, L"odd"));
    EXPECT_FALSE(ReadRegString(key, L"missing"));
    RegCloseKey(key);
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\zeltest");
}

namespace {

// A 24-bit BMP of the given size, every pixel the same colour.
std::string MakeBmp(int width, int height, BYTE r, BYTE g, BYTE b)
{
    int rowBytes = (width * 3 + 3) & ~3;
    BITMAPFILEHEADER file = {};
    BITMAPINFOHEADER info = {};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof(file) + sizeof(info);
    file.bfSize = file.bfOffBits + static_cast<DWORD>(rowBytes * height);
    info.biSize = sizeof(info);
    info.biWidth = width;
    info.biHeight = height;
    info.biPlanes = 1;
    info.biBitCount = 24;
    std::string bytes(reinterpret_cast<const char*>(&file), sizeof(file));
    bytes.append(reinterpret_cast<const char*>(&info), sizeof(info));
    std::string row(static_cast<size_t>(rowBytes), '\0');
    for (int x = 0; x < width; ++x) {
        row[static_cast<size_t>(x * 3)] = static_cast<char>(b);
        row[static_cast<size_t>(x * 3 + 1)] = static_cast<char>(g);
        row[static_cast<size_t>(x * 3 + 2)] = static_cast<char>(r);
    }
    for (int y = 0; y < height; ++y)
        bytes += row;
    return bytes;
}

std::unique_ptr<DibImage> Decode(const std::string& bytes)
{
    ComPtr<IStream> stream = ComPtr<IStream>::Attach(
        SHCreateMemStream(reinterpret_cast<const BYTE*>(bytes.data()), static_cast<UINT>(bytes.size())));
    return LoadImageToDib(stream.get());
}

}  // namespace

TEST(Images, HundredSquareIsHalvedOthersKeepTheirSize)
{
    ComApartment com;
    std::unique_ptr<DibImage> square = Decode(MakeBmp(100, 100, 0x10, 0x80, 0xF0));
    ASSERT_TRUE(square);
    EXPECT_EQ(50, square->width);
    EXPECT_EQ(50, square->height);
    ASSERT_EQ(2500u, square->pixels.size());
    EXPECT_EQ(0xFF1080F0u, square->pixels[0]);

    std::unique_ptr<DibImage> wide = Decode(MakeBmp(101, 100, 1, 2, 3));
    ASSERT_TRUE(wide);
    EXPECT_EQ(101, wide->width);
    EXPECT_EQ(100, wide->height);
    EXPECT_EQ(0xFF010203u, wide->pixels.back());

    EXPECT_FALSE(Decode("not an image at all"));
    EXPECT_FALSE(LoadImageToDib(nullptr));
}

TEST(Version, ProductVersionOfTheRunningModule)
{
    // The test executable carries the program's own version block.
    EXPECT_EQ(L"4, 42, 0, 0", GetProductVersion());
}
