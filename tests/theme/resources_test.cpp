// The theme modules and their import databases, read the way the program
// reads them.

#include <gtest/gtest.h>

#include "theme_files.h"

#include <sqlite3.h>

#include <cwchar>

namespace {

class EveryTheme : public ::testing::TestWithParam<ThemeBuild> {
protected:
    std::wstring DllPath() const { return ThemeFilePath(std::wstring(GetParam().name) + L".dll"); }
    std::wstring DbPath() const { return ThemeFilePath(std::wstring(GetParam().name) + L".db"); }
};

std::string ThemeNameOf(const ::testing::TestParamInfo<ThemeBuild>& info)
{
    std::string name = zeltest::Utf8(info.param.name);
    for (char& c : name) {
        if (c == '-')
            c = '_';
    }
    return name;
}

// String id of the module as the program takes it: a pointer into the
// resource, used up to its NUL. Null when the string is missing.
const wchar_t* StringInPlace(HMODULE module, UINT id, int* length)
{
    const wchar_t* text = nullptr;
    *length = LoadStringW(module, id, reinterpret_cast<LPWSTR>(&text), 0);
    return *length > 0 ? text : nullptr;
}

bool IconLoads(HMODULE module, const wchar_t* name, int cx, int cy)
{
    HANDLE icon = LoadImageW(module, name, IMAGE_ICON, cx, cy, 0);
    if (!icon)
        return false;
    ICONINFO info = {};
    bool sized = false;
    if (GetIconInfo(static_cast<HICON>(icon), &info)) {
        BITMAP bitmap = {};
        if (info.hbmColor && GetObjectW(info.hbmColor, sizeof bitmap, &bitmap))
            sized = bitmap.bmWidth == cx && bitmap.bmHeight == cy;
        if (info.hbmColor)
            DeleteObject(info.hbmColor);
        if (info.hbmMask)
            DeleteObject(info.hbmMask);
    }
    DestroyIcon(static_cast<HICON>(icon));
    return sized;
}

struct ThemeRow {
    std::string k, t;
    long long v = 0;
    std::string d;
    int rows = 0;
};

ThemeRow ReadThemeRows(const std::wstring& dbPath)
{
    ThemeRow row;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(zeltest::Utf8(dbPath).c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        return row;
    }
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, "select k,t,v,d from themes", -1, &stmt, nullptr) == SQLITE_OK) {
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            if (row.rows++ == 0) {
                row.k = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
                row.t = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 1));
                row.v = sqlite3_column_int64(stmt, 2);
                const void* blob = sqlite3_column_blob(stmt, 3);
                row.d.assign(static_cast<const char*>(blob),
                             static_cast<size_t>(sqlite3_column_bytes(stmt, 3)));
            }
        }
    }
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return row;
}

// Writes bytes to a new temporary file with the "thm" prefix, as the
// program does with the theme it takes out of the catalog.
std::wstring WriteTempModule(const std::string& bytes)
{
    wchar_t dir[MAX_PATH] = {};
    wchar_t path[MAX_PATH] = {};
    if (!GetTempPathW(MAX_PATH, dir) || !GetTempFileNameW(dir, L"thm", 0, path))
        return L"";
    HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_TEMPORARY, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return L"";
    DWORD written = 0;
    bool ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
              written == bytes.size();
    CloseHandle(file);
    if (!ok) {
        DeleteFileW(path);
        return L"";
    }
    return path;
}

}  // namespace

TEST_P(EveryTheme, PagesAreCustomHtmlResourcesReachableByTheirFileNames)
{
    ResourceModule module(DllPath());
    ASSERT_TRUE(module.get()) << "cannot open " << zeltest::Utf8(DllPath());
    for (const wchar_t* page : {L"main.html", L"balloon.html"}) {
        std::optional<std::string> html = HtmlResource(module.get(), page);
        ASSERT_TRUE(html) << zeltest::Utf8(page);
        EXPECT_NE(std::string::npos, html->find("<body")) << zeltest::Utf8(page);
        // The lookup ignores case, as res:// does.
        EXPECT_TRUE(FindResourceW(module.get(), L"MAIN.HTML", L"html"));
        // Stored under the type name, not the numeric type the bare word
        // HTML stands for in resource scripts.
        EXPECT_FALSE(FindResourceW(module.get(), page, MAKEINTRESOURCEW(23))) << zeltest::Utf8(page);
    }
}

TEST_P(EveryTheme, EveryRelativeReferenceOfAPageIsAnHtmlResource)
{
    ResourceModule module(DllPath());
    ASSERT_TRUE(module.get());
    for (const wchar_t* page : {L"main.html", L"balloon.html"}) {
        std::optional<std::string> html = HtmlResource(module.get(), page);
        ASSERT_TRUE(html);
        std::vector<std::wstring> references = RelativeReferences(*html);
        EXPECT_FALSE(references.empty()) << zeltest::Utf8(page);
        for (const std::wstring& name : references) {
            std::optional<std::string> target = HtmlResource(module.get(), name);
            ASSERT_TRUE(target) << zeltest::Utf8(page) << " refers to missing " << zeltest::Utf8(name);
            // Style sheets refer on in their turn.
            if (name.size() > 4 && name.compare(name.size() - 4, 4, L".css") == 0) {
                for (const std::wstring& inner : RelativeReferences(*target))
                    EXPECT_TRUE(HtmlResource(module.get(), inner)) << zeltest::Utf8(name) << " -> " << zeltest::Utf8(inner);
            }
        }
    }
}

TEST_P(EveryTheme, IconsLoadAtTheSizesTheProgramAsksFor)
{
    ResourceModule module(DllPath());
    ASSERT_TRUE(module.get());
    const int smallX = GetSystemMetrics(SM_CXSMICON), smallY = GetSystemMetrics(SM_CYSMICON);
    const int bigX = GetSystemMetrics(SM_CXICON), bigY = GetSystemMetrics(SM_CYICON);
    EXPECT_TRUE(IconLoads(module.get(), L"tray.ico", smallX, smallY));
    EXPECT_TRUE(IconLoads(module.get(), L"icon.ico", bigX, bigY));
    EXPECT_EQ(GetParam().smallIcon, IconLoads(module.get(), L"small.ico", smallX, smallY));
}

TEST_P(EveryTheme, StringsOneToTwelveAreNulTerminatedInPlace)
{
    ResourceModule module(DllPath());
    ASSERT_TRUE(module.get());
    for (UINT id = 1; id <= 12; ++id) {
        int length = 0;
        const wchar_t* text = StringInPlace(module.get(), id, &length);
        if (id == 1 && !GetParam().title) {
            EXPECT_FALSE(text) << "string 1 should be missing";
            continue;
        }
        ASSERT_TRUE(text) << "string " << id;
        // The terminator is part of the resource, so the text read in place
        // ends where the resource ends.
        EXPECT_EQ(L'\0', text[length - 1]) << "string " << id;
        EXPECT_EQ(static_cast<size_t>(length - 1), wcslen(text)) << "string " << id;
        EXPECT_GT(wcslen(text), 0u) << "string " << id;
    }
    int length = 0;
    const wchar_t* tooltip = StringInPlace(module.get(), 2, &length);
    ASSERT_TRUE(tooltip);
    EXPECT_LT(wcslen(tooltip), 128u);  // the tray tooltip's room
    EXPECT_FALSE(StringInPlace(module.get(), 13, &length));
}

TEST_P(EveryTheme, ImportDatabaseCarriesTheModuleBehindTheRawBlobMarker)
{
    std::optional<std::string> dll = zeltest::ReadFileIfPresent(DllPath());
    ASSERT_TRUE(dll);
    ThemeRow row = ReadThemeRows(DbPath());
    ASSERT_EQ(1, row.rows) << zeltest::Utf8(DbPath());
    EXPECT_EQ(zeltest::Utf8(GetParam().name) + "-1", row.k);
    EXPECT_EQ(zeltest::Utf8(GetParam().name), row.t);
    EXPECT_EQ(1, row.v);
    ASSERT_EQ(dll->size() + 1, row.d.size());
    EXPECT_EQ('\0', row.d[0]);
    EXPECT_TRUE(row.d.compare(1, std::string::npos, *dll) == 0);
}

TEST_P(EveryTheme, ModuleTakenOutOfTheDatabaseLoadsAsTheProgramLoadsIt)
{
    ThemeRow row = ReadThemeRows(DbPath());
    ASSERT_EQ(1, row.rows);
    std::wstring path = WriteTempModule(row.d.substr(1));
    ASSERT_FALSE(path.empty());
    HMODULE module = LoadLibraryW(path.c_str());
    ASSERT_TRUE(module) << "LoadLibraryW failed with " << GetLastError();
    int length = 0;
    EXPECT_EQ(GetParam().title, StringInPlace(module, 1, &length) != nullptr);
    EXPECT_TRUE(StringInPlace(module, 5, &length));
    EXPECT_TRUE(FindResourceW(module, L"main.html", L"HTML"));
    EXPECT_TRUE(FindResourceW(module, L"balloon.html", L"HTML"));
    EXPECT_EQ(GetParam().smallIcon,
              IconLoads(module, L"small.ico", GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON)));
    EXPECT_TRUE(IconLoads(module, L"tray.ico", GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON)));
    FreeLibrary(module);
    EXPECT_TRUE(DeleteFileW(path.c_str()));
}

INSTANTIATE_TEST_SUITE_P(Themes, EveryTheme, ::testing::ValuesIn(AllThemes()), ThemeNameOf);

TEST(DefaultTheme, NamesTheProgramAndItsShortcuts)
{
    ResourceModule module(ThemeFilePath(L"default.dll"));
    ASSERT_TRUE(module.get());
    int length = 0;
    EXPECT_STREQ(L"Quivmark Games", StringInPlace(module.get(), 1, &length));
    // Shortcut targets: addresses of the publisher's site; the desktop one
    // ends where a brand appends its affiliate number.
    const wchar_t* menuTarget = StringInPlace(module.get(), 7, &length);
    const wchar_t* desktopTarget = StringInPlace(module.get(), 9, &length);
    ASSERT_TRUE(menuTarget && desktopTarget);
    EXPECT_EQ(0, wcsncmp(menuTarget, L"https://", 8));
    EXPECT_EQ(0, wcsncmp(desktopTarget, menuTarget, wcslen(menuTarget)));
    EXPECT_EQ(L'=', desktopTarget[wcslen(desktopTarget) - 1]);
}

TEST(DefaultTheme, CopyBesideTheProgramIsTheBuiltModule)
{
    std::optional<std::string> built = zeltest::ReadFileIfPresent(ThemeFilePath(L"default.dll"));
    std::optional<std::string> beside = zeltest::ReadFileIfPresent(ProgramFilePath(L"default.dll"));
    ASSERT_TRUE(built);
    ASSERT_TRUE(beside) << zeltest::Utf8(ProgramFilePath(L"default.dll"));
    EXPECT_TRUE(*built == *beside);
}
