// The themes' import databases as an installer uses them: the real program
// merges one into the catalog (switch b with v) and selects the theme
// (switch t); the program's own theme loader then takes the module out of
// the catalog and reads its strings and icons.

#include <gtest/gtest.h>

#include "catalog/catalog.h"
#include "driver.h"
#include "shell/theme.h"
#include "theme_files.h"

#include <sqlite3.h>

#include <algorithm>

namespace {

// A catalog connection of the test's own, read-only.
class CatalogReader {
public:
    explicit CatalogReader(const std::wstring& path)
    {
        if (sqlite3_open_v2(zeltest::Utf8(path).c_str(), &db_, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
            sqlite3_close(db_);
            db_ = nullptr;
        }
    }
    ~CatalogReader() { sqlite3_close(db_); }
    CatalogReader(const CatalogReader&) = delete;
    CatalogReader& operator=(const CatalogReader&) = delete;

    bool open() const { return db_ != nullptr; }

    // Every row of the query as "col|col|...", blobs as their byte count.
    std::vector<std::string> Rows(const char* sql)
    {
        std::vector<std::string> rows;
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(db_, sql, -1, &stmt, nullptr) != SQLITE_OK)
            return rows;
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            std::string row;
            for (int i = 0; i < sqlite3_column_count(stmt); ++i) {
                if (i)
                    row += "|";
                if (sqlite3_column_type(stmt, i) == SQLITE_BLOB)
                    row += std::to_string(sqlite3_column_bytes(stmt, i)) + " bytes";
                else if (const unsigned char* text = sqlite3_column_text(stmt, i))
                    row += reinterpret_cast<const char*>(text);
            }
            rows.push_back(row);
        }
        sqlite3_finalize(stmt);
        return rows;
    }
    std::string Blob(const char* sql)
    {
        std::string bytes;
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(db_, sql, -1, &stmt, nullptr) == SQLITE_OK && sqlite3_step(stmt) == SQLITE_ROW)
            bytes.assign(static_cast<const char*>(sqlite3_column_blob(stmt, 0)),
                         static_cast<size_t>(sqlite3_column_bytes(stmt, 0)));
        sqlite3_finalize(stmt);
        return bytes;
    }

private:
    sqlite3* db_ = nullptr;
};

class ThemeInstall : public ::testing::Test {
protected:
    void SetUp() override
    {
        // The program keeps its catalog under %APPDATA%, which it inherits.
        SetEnvironmentVariableW(L"APPDATA", appData_.path().c_str());
    }

    std::optional<DWORD> Run(const std::wstring& switches)
    {
        return zeltest::RunZel(exeDir_.path(), L"zel.exe", switches);
    }
    std::optional<DWORD> Import(const wchar_t* theme)
    {
        return Run(L"b \"" + ThemeFilePath(std::wstring(theme) + L".db") + L"\" v 1 e 1");
    }
    std::wstring Catalog() const { return appData_.File(L"base.db"); }
    std::string Module(const wchar_t* theme)
    {
        return zeltest::ReadFileIfPresent(ThemeFilePath(std::wstring(theme) + L".dll")).value_or("");
    }

    zeltest::TempDir exeDir_{L"theme-install"};
    zeltest::TempDir appData_{L"theme-appdata"};
};

}  // namespace

TEST_F(ThemeInstall, ImportedAndSelectedDefaultThemeIsTheOneTheProgramLoads)
{
    ASSERT_EQ(11u, Import(L"default"));
    ASSERT_EQ(12u, Run(L"t default e 1"));
    {
        CatalogReader catalog(Catalog());
        ASSERT_TRUE(catalog.open());
        std::string module = Module(L"default");
        ASSERT_FALSE(module.empty());
        EXPECT_EQ(std::vector<std::string>{"default-1|default|1|" + std::to_string(module.size()) + " bytes"},
                  catalog.Rows("select k,t,v,d from themes"));
        // The merge took the marker byte off: the catalog holds the module.
        EXPECT_TRUE(catalog.Blob("select d from themes") == module);
        EXPECT_EQ(std::vector<std::string>{"default"}, catalog.Rows("select val from opt where var='theme'"));
    }

    // The program's own loader: newest version of the selected theme,
    // written to a temporary file and loaded as a module.
    ASSERT_TRUE(SetCatalogDbPath(L"base.db"));
    HMODULE theme = LoadThemeModule();
    ASSERT_TRUE(theme);
    const wchar_t* title = ThemeString(1);
    ASSERT_TRUE(title);
    EXPECT_STREQ(L"Quivmark Games", title);
    EXPECT_TRUE(ThemeString(kThemeStringMenuFolder));
    EXPECT_TRUE(ThemeString(kThemeStringDesktopShortcutTarget));
    for (const wchar_t* icon : {L"tray.ico", L"icon.ico", L"small.ico"}) {
        HANDLE loaded = LoadImageW(theme, icon, IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                   GetSystemMetrics(SM_CYSMICON), 0);
        EXPECT_TRUE(loaded) << zeltest::Utf8(icon);
        if (loaded)
            DestroyIcon(static_cast<HICON>(loaded));
    }
    EXPECT_TRUE(FindResourceW(theme, L"main.html", L"HTML"));
    std::wstring tempFile = GetThemeTempPath();
    UnloadThemeModule();
    EXPECT_FALSE(zeltest::FileExists(tempFile));
    CloseCatalogDb();
}

TEST_F(ThemeInstall, EveryBuiltThemeImportsUnderItsOwnKeyAndRepeatsChangeNothing)
{
    for (const ThemeBuild& build : AllThemes())
        ASSERT_EQ(11u, Import(build.name)) << zeltest::Utf8(build.name);
    // An installer run again replaces its row rather than adding one.
    ASSERT_EQ(11u, Import(L"testing"));
    ASSERT_EQ(12u, Run(L"t testing-notitle e 1"));

    CatalogReader catalog(Catalog());
    ASSERT_TRUE(catalog.open());
    std::vector<std::string> expected;
    for (const ThemeBuild& build : AllThemes()) {
        std::string name = zeltest::Utf8(build.name);
        expected.push_back(name + "-1|" + name + "|1|" + std::to_string(Module(build.name).size()) + " bytes");
    }
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(expected, catalog.Rows("select k,t,v,d from themes order by k"));
    EXPECT_EQ(std::vector<std::string>{"testing-notitle"}, catalog.Rows("select val from opt where var='theme'"));
}
