// The page bridge on a real catalog: options written by the page, and game
// pictures that the catalog's triggers hand to the icon library.
#include <gtest/gtest.h>

#include "catalog/catalog.h"
#include "catalog/options.h"
#include "helpers.h"
#include "host/wrapmain.h"
#include "shell/brand.h"
#include "shell/instance.h"
#include "shell/pagehooks.h"
#include "shell/settings.h"
#include "shell/theme.h"

#include <string>
#include <vector>

using hosttest::TestWindow;

namespace {

// %APPDATA% and the install directory of this test process, both in one
// scratch folder whose name holds an apostrophe.
const std::wstring& ScratchFolder()
{
    static const std::wstring folder = [] {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        std::wstring path = std::wstring(temp) + L"host bridge O'Neil";
        CreateDirectoryW(path.c_str(), nullptr);
        return path;
    }();
    return folder;
}

// The catalog file, made once per process (its path cannot change).
void UseScratchCatalog()
{
    static const bool made = [] {
        SetEnvironmentVariableW(L"APPDATA", ScratchFolder().c_str());
        return SetCatalogDbPath(L"bridge.db");
    }();
    ASSERT_TRUE(made);
}

// The icon library: a copy of a real module, so resources can be written
// into it; the install directory points to it before anyone asks.
const std::wstring& IconLibrary()
{
    static const std::wstring library = [] {
        CreateWrapConfig();
        std::wstring install = ScratchFolder() + L"\\install";
        CreateDirectoryW(install.c_str(), nullptr);
        std::wstring path = install + L"\\games.dll";
        wchar_t self[MAX_PATH];
        GetModuleFileNameW(nullptr, self, MAX_PATH);
        CopyFileW(self, path.c_str(), FALSE);
        HKEY key = nullptr;
        RegCreateKeyExW(HKEY_CURRENT_USER, GetProductKeyPath(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                        nullptr);
        std::wstring value = install + L"\\";
        RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
        RegCloseKey(key);
        return path;
    }();
    return library;
}

std::string ReadPicture(const std::wstring& library, const wchar_t* name)
{
    HMODULE module = LoadLibraryExW(library.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!module)
        return "<no module>";
    std::string bytes = "<none>";
    if (HRSRC resource = FindResourceW(module, name, L"SMALL")) {
        const void* data = LockResource(LoadResource(module, resource));
        bytes.assign(static_cast<const char*>(data), SizeofResource(module, resource));
    }
    FreeLibrary(module);
    return bytes;
}

std::vector<std::wstring>& OptionRows()
{
    static std::vector<std::wstring> rows;
    return rows;
}

void RecordOptionRow(const wchar_t* var, const wchar_t* val)
{
    OptionRows().push_back(std::wstring(var ? var : L"<null>") + L"=" + (val ? val : L"<null>"));
}

}  // namespace

class CatalogBridgeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        UseScratchCatalog();
        ASSERT_NE(nullptr, GetCatalogDb());
        OptionRows().clear();
        ComObject<CWrapMain>::CreateInstance(&wrap_);
        hold_ = ComPtr<IWrapCore>::Share(wrap_);
        wrap_->SetWindow(window_.get());
    }
    void TearDown() override { InstallCatalogHooks(nullptr, nullptr, nullptr); }

    TestWindow window_{100, 100, false};
    ComObject<CWrapMain>* wrap_ = nullptr;
    ComPtr<IWrapCore> hold_;
};

TEST_F(CatalogBridgeTest, OptionSaveWritesTheOptionThroughItsTrigger)
{
    InstallCatalogHooks(RecordOptionRow, nullptr, nullptr);
    BSTR name = SysAllocString(L"theme");
    BSTR value = SysAllocString(L"Тема O'Neil");
    ASSERT_EQ(S_OK, hold_->optionSave(name, value));
    EXPECT_EQ(L"Тема O'Neil", GetOptionText(L"theme"));
    EXPECT_EQ(std::vector<std::wstring>{L"theme=Тема O'Neil"}, OptionRows());
    // Only lastselectgame queues a refresh.
    MSG message;
    EXPECT_FALSE(PeekMessageW(&message, window_.get(), WM_DOC_COMPLETED, WM_DOC_COMPLETED, PM_REMOVE));

    // A null text from the page is the empty text.
    ASSERT_EQ(S_OK, hold_->optionSave(name, nullptr));
    EXPECT_EQ(L"", GetOptionText(L"theme"));
    EXPECT_EQ(2u, OptionRows().size());
    SysFreeString(name);
    SysFreeString(value);
}

TEST_F(CatalogBridgeTest, SelectingAGameRefreshesThePageAfterTheWrite)
{
    BSTR name = SysAllocString(L"lastselectgame");
    BSTR value = SysAllocString(L"77");
    ASSERT_EQ(S_OK, hold_->optionSave(name, value));
    EXPECT_EQ(77, GetOptionInt(L"lastselectgame"));
    MSG message;
    EXPECT_TRUE(PeekMessageW(&message, window_.get(), WM_DOC_COMPLETED, WM_DOC_COMPLETED, PM_REMOVE));
    SysFreeString(name);
    SysFreeString(value);
}

TEST_F(CatalogBridgeTest, GamePicturesGoIntoTheIconLibrary)
{
    const std::wstring& library = IconLibrary();
    ASSERT_NE(nullptr, GetGamesDllPath());

    StoreGamePicture(310, "PNGDATA", 7);
    EXPECT_EQ("PNGDATA", ReadPicture(library, L"S310.PIC"));
    StoreGamePicture(4294967295u, "MAX", 3);
    EXPECT_EQ("MAX", ReadPicture(library, L"S4294967295.PIC"));

    // Nothing of size 0, no data or id 0.
    StoreGamePicture(311, "X", 0);
    StoreGamePicture(312, nullptr, 3);
    StoreGamePicture(0, "ZERO", 4);
    EXPECT_EQ("<none>", ReadPicture(library, L"S311.PIC"));
    EXPECT_EQ("<none>", ReadPicture(library, L"S312.PIC"));
    EXPECT_EQ("<none>", ReadPicture(library, L"S0.PIC"));

    // A game inserted with a small picture reaches the library through the
    // catalog's trigger and the installed hook.
    InstallPageFeedingHooks();
    sqlite3* db = GetCatalogDb();
    ASSERT_NE(nullptr, db);
    sqlite3_exec(db, "delete from games where id=5150", nullptr, nullptr, nullptr);
    ASSERT_EQ(SQLITE_OK, sqlite3_exec(db,
                                      "insert into games(id,name,icnsml,show) values(5150,'Pic',"
                                      "cast('TRIGGERED' as blob),1)",
                                      nullptr, nullptr, nullptr));
    EXPECT_EQ("TRIGGERED", ReadPicture(library, L"S5150.PIC"));
}
