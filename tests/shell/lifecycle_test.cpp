// The real program started interactively on a catalog that carries a
// theme: its hidden main window, the lock, the hand-over of a second
// start's request, the end of the run, and the exit request of an
// installer.

#include <gtest/gtest.h>

#include "driver.h"
#include "testdb.h"

#include <set>

using testing_catalog::TestDb;
using zeltest::RunZel;
using zeltest::TempDir;
using zeltest::ZelProcess;

namespace {

// The theme modules' temporary files ("thm" prefix) now present.
std::set<std::wstring> ThemeTempFiles()
{
    std::set<std::wstring> names;
    WIN32_FIND_DATAW entry;
    HANDLE find = FindFirstFileW((zeltest::TempPath() + L"thm*.tmp").c_str(), &entry);
    if (find != INVALID_HANDLE_VALUE) {
        do
            names.insert(entry.cFileName);
        while (FindNextFileW(find, &entry));
        FindClose(find);
    }
    return names;
}

std::wstring LockFile(const wchar_t* name)
{
    return zeltest::TempPath() + L"\\" + name;
}

bool WaitForFile(const std::wstring& path, DWORD timeoutMs)
{
    for (DWORD waited = 0; !zeltest::FileExists(path); waited += 50) {
        if (waited >= timeoutMs)
            return false;
        Sleep(50);
    }
    return true;
}

// A hidden top-level window of the test thread that keeps the registered
// messages broadcast to it.
class BroadcastListener {
public:
    struct Received {
        std::wstring name;
        WPARAM wParam;
        bool operator==(const Received&) const = default;
    };

    BroadcastListener()
    {
        WNDCLASSW windowClass = {};
        windowClass.lpfnWndProc = DefWindowProcW;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"ZelTestBroadcastListener";
        RegisterClassW(&windowClass);
        window_ = CreateWindowW(windowClass.lpszClassName, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                windowClass.hInstance, nullptr);
    }
    ~BroadcastListener() { DestroyWindow(window_); }
    BroadcastListener(const BroadcastListener&) = delete;
    BroadcastListener& operator=(const BroadcastListener&) = delete;

    // The next registered message of one of the names, waited for up to
    // two seconds; other messages are dropped.
    std::optional<Received> Next(std::initializer_list<const wchar_t*> names)
    {
        for (DWORD start = GetTickCount(); GetTickCount() - start < 2000; Sleep(20)) {
            MSG message;
            while (PeekMessageW(&message, window_, 0, 0, PM_REMOVE)) {
                for (const wchar_t* name : names) {
                    if (message.message == RegisterWindowMessageW(name))
                        return Received{name, message.wParam};
                }
                DispatchMessageW(&message);
            }
        }
        return std::nullopt;
    }

private:
    HWND window_ = nullptr;
};

struct StoppedStart {
    std::wstring boxText;
    std::optional<DWORD> code;
};

// An interactive start that stops at a start-up error box.
StoppedStart RunUntilStartupError(const std::wstring& dir, const wchar_t* exeName, const std::wstring& switches)
{
    StoppedStart result;
    ZelProcess process;
    if (!process.Start(dir, exeName, switches))
        return result;
    if (std::optional<zeltest::MessageBoxInfo> box = zeltest::WaitForMessageBox(process.Id(), 20000)) {
        result.boxText = box->text;
        zeltest::DismissMessageBox(box->window);
    }
    result.code = process.Wait();
    return result;
}

class InteractiveRun : public ::testing::Test {
protected:
    void SetUp() override
    {
        DeleteCatalog(L"base.db");
        DeleteCatalog(L"base_en.db");
        DeleteCatalog(L"pem_rik.db");
    }
    void TearDown() override { SetUp(); }

    static void DeleteCatalog(const wchar_t* fileName)
    {
        std::wstring path = zeltest::AppDataDir() + L"\\" + fileName;
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(path.c_str());
    }

    // A catalog whose theme "shelltheme" the program can load. With
    // select, the theme is also selected.
    void AddTheme(const wchar_t* exeName, const wchar_t* fileName, bool select)
    {
        // A query makes the catalog with its tables.
        ASSERT_EQ(select ? 12u : 10u, RunZel(dir_.path(), exeName, select ? L"t shelltheme e 1" : L"z 0"));
        std::string module = zeltest::ReadFileBytes(zeltest::WindowsPathFromUnix(ZEL_THEME_TESTING_DLL));
        ASSERT_FALSE(module.empty());
        TestDb db(zeltest::AppDataDir() + L"\\" + fileName);
        db.ExecWithBlob("insert into themes(k,t,v,d) values('s1','shelltheme',1,?1)",
                        std::vector<unsigned char>(module.begin(), module.end()));
    }

    TempDir dir_{L"shell-run"};
};

}  // namespace

// t and x without e: the theme is stored, no copy is found to ask, and the
// run goes on (the codes 12 and 6 are lost); an ordinary close ends it
// with 0, wakes a copy waiting for its end, and leaves neither the lock
// file nor the theme's temporary file behind.
TEST_F(InteractiveRun, ClosedWindowEndsTheRunWithZero)
{
    AddTheme(L"zel.exe", L"base.db", false);
    std::set<std::wstring> themeFiles = ThemeTempFiles();
    HANDLE exitEvent = CreateEventW(nullptr, TRUE, FALSE, L"ZELEXITZEL");
    ASSERT_NE(nullptr, exitEvent);

    ZelProcess zel;
    ASSERT_TRUE(zel.Start(dir_.path(), L"zel.exe", L"t shelltheme x 1"));
    HWND window = zeltest::WaitForWindow(L"ZELCLS", 20000, zel.Id());
    ASSERT_NE(nullptr, window);
    EXPECT_FALSE(IsWindowVisible(window));
    EXPECT_TRUE(WaitForFile(LockFile(L"zel_mutex"), 5000));
    EXPECT_EQ(themeFiles.size() + 1, ThemeTempFiles().size());
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(exitEvent, 0));

    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(0u, zel.Wait());
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(exitEvent, 0));
    EXPECT_FALSE(zeltest::FileExists(LockFile(L"zel_mutex")));
    EXPECT_EQ(themeFiles, ThemeTempFiles());
    CloseHandle(exitEvent);
}

TEST_F(InteractiveRun, SecondStartHandsItsRequestToTheRunningCopy)
{
    AddTheme(L"zel.exe", L"base.db", true);
    ZelProcess running;
    ASSERT_TRUE(running.Start(dir_.path(), L"zel.exe", L""));
    HWND window = zeltest::WaitForWindow(L"ZELCLS", 20000, running.Id());
    ASSERT_NE(nullptr, window);
    ASSERT_TRUE(WaitForFile(LockFile(L"zel_mutex"), 5000));

    BroadcastListener listener;
    using Received = BroadcastListener::Received;
    auto next = [&] { return listener.Next({L"ZELSHOWZEL", L"ZELSELECTGAME"}); };
    EXPECT_EQ(5u, RunZel(dir_.path(), L"zel.exe", L""));
    EXPECT_EQ((Received{L"ZELSHOWZEL", 0}), next());
    // The id of u goes along; the running copy ignores it.
    EXPECT_EQ(5u, RunZel(dir_.path(), L"zel.exe", L"u 1f"));
    EXPECT_EQ((Received{L"ZELSHOWZEL", 0x1f}), next());
    // r and s share one game id: the value of s wins.
    EXPECT_EQ(5u, RunZel(dir_.path(), L"zel.exe", L"r 1a s 2b v 1"));
    EXPECT_EQ((Received{L"ZELSELECTGAME", 0x2b}), next());

    // Another brand has a lock and a catalog of its own: it does not see
    // this copy and starts by itself (its catalog has no theme). Its
    // failed start leaves no temporary theme file.
    std::set<std::wstring> themeFiles = ThemeTempFiles();
    StoppedStart other = RunUntilStartupError(dir_.path(), L"zel_en.exe", L"");
    EXPECT_EQ(L"Cannot load theme.", other.boxText);
    EXPECT_EQ(4u, other.code);
    EXPECT_EQ(themeFiles, ThemeTempFiles());
    EXPECT_TRUE(running.Running());

    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(0u, running.Wait());
}

// Brand 5 ends once the game it was asked to start has run, with nothing
// shown and without being closed.
TEST_F(InteractiveRun, PembrikEndsAfterTheGameStart)
{
    AddTheme(L"pembzel.exe", L"pem_rik.db", true);
    ZelProcess zel;
    ASSERT_TRUE(zel.Start(dir_.path(), L"pembzel.exe", L"s 1"));
    EXPECT_EQ(0u, zel.Wait(20000));
    EXPECT_FALSE(zeltest::FileExists(LockFile(L"pembrik_zel_mutex")));
}

// An installer asks the running copy to end and waits for its signal.
TEST_F(InteractiveRun, ExitRequestIsAnsweredWhenTheCopyEnds)
{
    // A stand-in for the running copy: a window of the brand's class that
    // ends when asked and sets the asking copy's event.
    static WPARAM receivedW = 0;
    static const UINT exitMessage = RegisterWindowMessageW(L"ZELEXITZEL");
    zeltest::WindowThread runningCopy(L"ZELCLS", [](HWND window, UINT message, WPARAM w, LPARAM l) CALLBACK -> LRESULT {
        if (message == exitMessage) {
            receivedW = w;
            if (HANDLE event = OpenEventW(EVENT_MODIFY_STATE, FALSE, L"ZELEXITZEL")) {
                SetEvent(event);
                CloseHandle(event);
            }
            DestroyWindow(window);
            return 0;
        }
        if (message == WM_DESTROY)
            PostQuitMessage(0);
        return DefWindowProcW(window, message, w, l);
    });
    ASSERT_TRUE(runningCopy.Started());

    // An installed version from 0x4000000 on knows the exit event.
    zeltest::SetProductKey(L"zel", dir_.path(), 0x4000000);
    EXPECT_EQ(7u, RunZel(dir_.path(), L"zel.exe", L"x 1 e 1"));
    zeltest::DeleteProductKey(L"zel");
    EXPECT_EQ(1u, receivedW);
    EXPECT_TRUE(runningCopy.WaitForEnd(5000));
}
