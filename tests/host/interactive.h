// The fixture of the end-to-end tests of the page bridge: the real program
// started interactively under Wine, with the stand-in HTML engine serving
// its WebBrowser control and the recording theme as its pages, in a catalog
// and an install directory of each test's own.
//
// The recording page logs every call it receives; a test reads that log by
// evaluating script in the page through the engine's hook window (the value
// of the evaluation lands in the engine's trace file).
#pragma once

#include "catalog/sqlfunctions.h"
#include "driver.h"
#include "htmlengine/hooks.h"
#include "httpserver.h"
#include "testdb.h"

#include <gtest/gtest.h>

#include <mshtmhst.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

namespace hoste2e {

using testing_catalog::TestDb;
using zeltest::RunZel;
using zeltest::TempDir;
using zeltest::Wide;
using zeltest::ZelProcess;

inline constexpr const wchar_t* kMainWindowClass = L"ZELCLS";
inline constexpr const wchar_t* kProduct = L"zel";
// An installed version that knows the exit event (older ones are only
// closed).
inline constexpr DWORD kInstalledVersion = 0x042A0000;
// Page log entries are joined with this character for the trace (whose
// records end at a line break).
inline constexpr wchar_t kEntrySeparator = L'\x1e';

inline std::wstring Quoted(const std::wstring& text)
{
    return L"\"" + text + L"\"";
}

inline std::wstring ThemeDb(const char* unixPath)
{
    return zeltest::WindowsPathFromUnix(unixPath);
}

inline std::vector<std::wstring> Split(const std::wstring& text, wchar_t separator)
{
    std::vector<std::wstring> parts;
    std::wstring part;
    for (wchar_t c : text) {
        if (c == separator) {
            parts.push_back(part);
            part.clear();
        } else {
            part += c;
        }
    }
    if (!part.empty())
        parts.push_back(part);
    return parts;
}

inline bool WaitUntil(const std::function<bool()>& done, DWORD timeoutMs)
{
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    while (!done()) {
        if (GetTickCount64() >= end)
            return false;
        Sleep(50);
    }
    return true;
}

// Runs a helper program of the test bed and waits for its exit code.
inline std::optional<DWORD> RunProgramFile(const std::wstring& path, const std::wstring& arguments)
{
    std::wstring commandLine = Quoted(path) + L" " + arguments;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process))
        return std::nullopt;
    std::optional<DWORD> code;
    if (WaitForSingleObject(process.hProcess, 30000) == WAIT_OBJECT_0) {
        DWORD exitCode = 0;
        GetExitCodeProcess(process.hProcess, &exitCode);
        code = exitCode;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code;
}

inline DWORD WindowProcess(HWND window)
{
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    return process;
}

struct EnumState {
    DWORD process;
    HWND found;
};

inline BOOL CALLBACK FindMainHook(HWND window, LPARAM lParam)
{
    auto* state = reinterpret_cast<EnumState*>(lParam);
    wchar_t title[2048] = {};
    GetWindowTextW(window, title, 2048);
    const std::wstring text = title;
    const std::wstring tail = L"/html/main.html";
    if (WindowProcess(window) == state->process && text.size() > tail.size() &&
        text.compare(text.size() - tail.size(), tail.size(), tail) == 0) {
        state->found = window;
        return FALSE;
    }
    return TRUE;
}

class InteractiveRun : public ::testing::Test {
protected:
    void SetUp() override
    {
        // The program inherits %APPDATA% (its catalog) and the engine's
        // trace file from this process.
        SetEnvironmentVariableW(L"APPDATA", appData_.path().c_str());
        trace_ = appData_.path() + L"\\trace.txt";
        SetEnvironmentVariableW(htmlengine::kTraceVariable, trace_.c_str());
        // The install directory: where the program restarts itself from and
        // where its icon library lies.
        zeltest::SetProductKey(kProduct, exeDir_.path(), kInstalledVersion);
    }

    void TearDown() override
    {
        if (process_.Running()) {
            for (const MessageBoxInfo& box : OpenBoxes())
                zeltest::DismissMessageBox(box.window);
            process_.Kill();
        }
        SetEnvironmentVariableW(htmlengine::kTraceVariable, nullptr);
        zeltest::DeleteProductKey(kProduct);
    }

    using MessageBoxInfo = zeltest::MessageBoxInfo;

    std::vector<MessageBoxInfo> OpenBoxes()
    {
        std::vector<MessageBoxInfo> boxes;
        if (std::optional<MessageBoxInfo> box = zeltest::WaitForMessageBox(process_.Id(), 0))
            boxes.push_back(*box);
        return boxes;
    }

    void SetProductValue(const wchar_t* name, const std::wstring& value)
    {
        HKEY key = nullptr;
        std::wstring path = std::wstring(L"Software\\") + kProduct;
        if (RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                            nullptr) != ERROR_SUCCESS)
            return;
        RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
        RegCloseKey(key);
    }

    std::optional<DWORD> Run(const std::wstring& switches) { return RunZel(exeDir_.path(), L"zel.exe", switches); }

    std::wstring Catalog() const { return appData_.path() + L"\\base.db"; }

    // What an installer does: merge the theme's database, then select it.
    void InstallTheme(const char* themeDbUnixPath, const wchar_t* name)
    {
        ASSERT_EQ(11u, Run(L"b " + Quoted(ThemeDb(themeDbUnixPath)) + L" v 1 e 1"));
        ASSERT_EQ(12u, Run(L"t " + Quoted(name) + L" e 1"));
    }

    // Rows written with the catalog's own functions at hand (its triggers
    // call them).
    void Seed(const std::string& sql)
    {
        TestDb db(Catalog());
        RegisterCatalogFunctions(db.get());
        db.Exec(sql);
    }

    void Start(const std::wstring& switches = L"")
    {
        ASSERT_TRUE(process_.Start(exeDir_.path(), L"zel.exe", switches));
    }

    HWND MainWindow(DWORD timeoutMs = 20000)
    {
        return zeltest::WaitForWindow(kMainWindowClass, timeoutMs, process_.Id());
    }

    // Starts the program and waits until its main page has had its whole
    // feed; the main window, or null when the window or the feed never came.
    HWND StartAndWaitForFeed(const std::wstring& switches = L"")
    {
        Start(switches);
        HWND window = MainWindow();
        return window && WaitForFeed() ? window : nullptr;
    }

    HWND MainPageHook(DWORD timeoutMs = 20000)
    {
        const ULONGLONG end = GetTickCount64() + timeoutMs;
        for (;;) {
            EnumState state = {process_.Id(), nullptr};
            HWND child = nullptr;
            while ((child = FindWindowExW(HWND_MESSAGE, child, htmlengine::kHookWindowClass, nullptr))) {
                FindMainHook(child, reinterpret_cast<LPARAM>(&state));
                if (state.found)
                    return state.found;
            }
            if (GetTickCount64() >= end)
                return nullptr;
            Sleep(50);
        }
    }

    std::vector<std::string> TraceLines() { return zeltest::ReadFileLines(trace_); }

    // Runs code in the main page; its value as text, or nullopt when the
    // page is not there or the code failed.
    std::optional<std::wstring> Evaluate(const std::wstring& code)
    {
        HWND hook = MainPageHook(5000);
        if (!hook)
            return std::nullopt;
        const std::wstring marked = L"'\x1d' + (" + code + L")";
        COPYDATASTRUCT data = {htmlengine::kEvaluateCopyData, static_cast<DWORD>(marked.size() * sizeof(wchar_t)),
                               const_cast<wchar_t*>(marked.data())};
        const size_t before = TraceLines().size();
        DWORD_PTR result = 0;
        if (!SendMessageTimeoutW(hook, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data), SMTO_ABORTIFHUNG, 10000,
                                 &result) ||
            result != 1)
            return std::nullopt;
        std::vector<std::string> lines = TraceLines();
        for (size_t i = lines.size(); i-- > before;) {
            const std::string prefix = "eval\t\x1d";
            if (lines[i].compare(0, prefix.size(), prefix) == 0)
                return Wide(lines[i].substr(prefix.size()));
        }
        return std::nullopt;
    }

    std::vector<std::wstring> PageLog()
    {
        std::optional<std::wstring> log = Evaluate(L"testLog().replace(/\\n/g, '\\x1e')");
        return log ? Split(*log, kEntrySeparator) : std::vector<std::wstring>{};
    }

    bool WaitForEntry(const std::wstring& entry, DWORD timeoutMs = 20000)
    {
        const ULONGLONG end = GetTickCount64() + timeoutMs;
        for (;;) {
            std::vector<std::wstring> log = PageLog();
            if (std::find(log.begin(), log.end(), entry) != log.end())
                return true;
            if (GetTickCount64() >= end)
                return false;
            Sleep(100);
        }
    }

    // The page has received its whole feed once.
    bool WaitForFeed() { return WaitForEntry(L"inRender|boolean:true"); }

    // The page's own call of a program method (testCall logs it).
    std::optional<std::wstring> PageCalls(const std::wstring& call) { return Evaluate(L"testCall(" + call + L")"); }

    std::optional<DWORD> CloseAndWait()
    {
        HWND window = MainWindow(0);
        if (window)
            zeltest::PostRegisteredMessage(window, L"ZELEXITZEL", 0, 0);
        return process_.Wait(30000);
    }

    TempDir exeDir_{L"host-e2e"};
    TempDir appData_{L"O'Neil"};
    std::wstring trace_;
    ZelProcess process_;
};

inline std::vector<std::wstring> Matching(const std::vector<std::wstring>& log, const std::wstring& prefix)
{
    std::vector<std::wstring> found;
    for (const std::wstring& entry : log)
        if (entry.compare(0, prefix.size(), prefix) == 0)
            found.push_back(entry);
    return found;
}

inline ptrdiff_t Position(const std::vector<std::wstring>& log, const std::wstring& entry)
{
    auto found = std::find(log.begin(), log.end(), entry);
    return found == log.end() ? -1 : found - log.begin();
}

inline const char* const kTwoGames =
    "insert into games(id,afl,name,desc,release,rating,inst,show,runs,custom,itunes_id,itunes_id_free,"
    "itunes_id_ipad,itunes_id_ipad_free,track,utm) values"
    "(5,-1,'Alpha','First|game',20120101,0,1,1,3,'c5','i1','i2','i3','i4',7,'u5'),"
    "(6,12,'Бета','Second',20130202,80,null,0,0,null,null,null,null,null,0,null);"
    "insert or replace into opt(var,val) values('authtoken','abc'),('zeta','last'),('alpha','first');";

}  // namespace hoste2e
