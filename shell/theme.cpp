#include "shell/theme.h"

#include "catalog/catalog.h"
#include "catalog/options.h"
#include "catalog/storage.h"
#include "shell/files.h"
#include "shell/settings.h"

#include <cwchar>
#include <map>
#include <string>

namespace {

constexpr size_t kPathChars = 1024;

HMODULE g_themeModule = nullptr;

// The texts read from the theme's string table, kept while the module is
// loaded.
std::map<UINT, std::wstring>& ThemeStrings()
{
    static std::map<UINT, std::wstring> strings;
    return strings;
}

std::wstring& ThemeTempPath()
{
    static std::wstring path;
    return path;
}

// Writes the blob to a new hidden temporary file; true only when the last
// write succeeded (an empty blob is not a theme).
bool WriteThemeFile(const wchar_t* path, const void* data, int size)
{
    HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_TEMPORARY, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    bool written = false;
    const BYTE* p = static_cast<const BYTE*>(data);
    DWORD left = size > 0 ? static_cast<DWORD>(size) : 0;
    while (left > 0) {
        DWORD done = 0;
        written = WriteFile(file, p, left, &done, nullptr) && done > 0;
        if (!written)
            break;
        p += done;
        left -= done;
    }
    CloseHandle(file);
    return written;
}

bool IsEmptyFile(HANDLE file)
{
    LARGE_INTEGER size = {};
    return GetFileSizeEx(file, &size) && size.QuadPart == 0;
}

}  // namespace

void ClearStaleThemeCopies()
{
    wchar_t dir[MAX_PATH + 1];
    DWORD length = GetTempPathW(MAX_PATH + 1, dir);
    if (length < 1 || length > MAX_PATH)
        return;
    const std::wstring folder(dir, length);
    ForEachFolderEntry(folder + L"thm*.tmp", [&](const WIN32_FIND_DATAW& found) {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            return false;
        const std::wstring path = folder + found.cFileName;
        // A copy that a running program is writing or has loaded cannot be
        // had alone; only an empty file that nobody holds is left over.
        HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return false;
        const bool stale = IsEmptyFile(file);
        CloseHandle(file);
        if (stale)
            DeleteFileW(path.c_str());
        return false;
    });
}

const wchar_t* GetThemeTempPath()
{
    std::wstring& path = ThemeTempPath();
    if (path.empty()) {
        // A run killed between making its copy's name and writing the
        // theme leaves an empty file behind; the next run clears them.
        ClearStaleThemeCopies();
        std::optional<std::wstring> made = MakeTempFileName(L"thm");
        if (!made || made->size() >= kPathChars)
            return nullptr;
        path = *made;
    }
    return path.c_str();
}

HMODULE LoadThemeModule()
{
    if (g_themeModule)
        return g_themeModule;
    std::wstring theme = GetOptionText(L"theme");
    const wchar_t* path = GetThemeTempPath();
    if (theme.empty() || !path)
        return nullptr;
    // The theme name comes from an installer's command line: bound, never
    // pasted into the SQL text.
    Statement stmt;
    if (!stmt.PrepareWithRetry(GetCatalogDb(), "select d from themes where t=?1 order by v desc limit 0,1") ||
        !stmt.BindText16(1, theme.c_str()))
        return nullptr;
    bool written = false;
    if (stmt.StepRow()) {
        Statement::Blob blob = stmt.ColumnBlob(0);
        written = WriteThemeFile(path, blob.data, blob.size);
    }
    stmt.Finalize();
    // The theme's bytes come out of the catalog, which import files and
    // update replies write: the module is mapped for its resources only,
    // so code in it never runs in the manager.
    if (written)
        g_themeModule = LoadLibraryExW(path, nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    return g_themeModule;
}

void UnloadThemeModule()
{
    if (g_themeModule) {
        FreeLibrary(g_themeModule);
        g_themeModule = nullptr;
    }
    ThemeStrings().clear();
    std::wstring& path = ThemeTempPath();
    if (!path.empty())
        DeleteFileW(path.c_str());
}

const wchar_t* ThemeString(UINT id)
{
    if (!g_themeModule)
        return nullptr;
    std::map<UINT, std::wstring>& strings = ThemeStrings();
    if (auto known = strings.find(id); known != strings.end())
        return known->second.c_str();
    const wchar_t* text = nullptr;
    int length = LoadStringW(g_themeModule, id, reinterpret_cast<LPWSTR>(&text), 0);
    if (length <= 0 || !text)
        return nullptr;
    // The string table gives each text with its length; a theme whose
    // strings carry no NUL of their own would otherwise run on into the
    // next entries, or past the end of the table. Only what precedes a NUL
    // inside the entry belongs to the text.
    std::wstring copy(text, static_cast<size_t>(length));
    copy.resize(wcsnlen(copy.c_str(), copy.size()));
    return strings.emplace(id, std::move(copy)).first->second.c_str();
}

const wchar_t* GetGamesDllPath()
{
    static std::wstring path;
    if (path.empty()) {
        const wchar_t* dir = ReadProductRegValue();
        if (!dir)
            return nullptr;
        // The install directory ends in a backslash already.
        std::wstring formed = std::wstring(dir) + L"\\games.dll";
        if (formed.size() >= kPathChars)
            return nullptr;
        path = formed;
    }
    return path.c_str();
}

const wchar_t* GetThemeDllPath()
{
    static std::wstring path;
    if (path.empty()) {
        const wchar_t* dir = ReadProductRegValue();
        if (dir) {
            std::wstring formed = std::wstring(dir) + L"\\" + GetOptionText(L"theme") + L".dll";
            if (formed.size() < kPathChars)
                path = formed;
        }
    }
    return path.c_str();
}
