// The progress reports to the partner's games loader, seen from a window
// of the loader's class in this process. The executable is named after the
// partner brand's program, so it runs as that brand.

#include <gtest/gtest.h>

#include "install/loader.h"
#include "shell/brand.h"

#include <windows.h>

#include <cstring>
#include <vector>

namespace {

struct Report {
    WPARAM wParam;
    ULONG_PTR tag;
    uint32_t words[3];
};

std::vector<Report> g_reports;

LRESULT CALLBACK LoaderProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_COPYDATA) {
        auto* copy = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        Report report{wParam, copy->dwData, {}};
        if (copy->cbData == sizeof(report.words))
            memcpy(report.words, copy->lpData, sizeof(report.words));
        g_reports.push_back(report);
        return TRUE;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

class LoaderWindow {
public:
    LoaderWindow()
    {
        WNDCLASSW windowClass = {};
        windowClass.lpfnWndProc = LoaderProc;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"PembrikLoader.TMainForm";
        RegisterClassW(&windowClass);
        window_ = CreateWindowExW(0, windowClass.lpszClassName, L"Loader", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100,
                                  nullptr, nullptr, windowClass.hInstance, nullptr);
    }
    ~LoaderWindow()
    {
        DestroyWindow(window_);
        UnregisterClassW(L"PembrikLoader.TMainForm", GetModuleHandleW(nullptr));
    }
    HWND get() const { return window_; }

private:
    HWND window_ = nullptr;
};

}  // namespace

TEST(LoaderProgressTest, ThrottledCappedAndCarryingTheFirstGameId)
{
    ASSERT_EQ(5, GetBrandId()) << "the test program must be named pembzel.exe";
    // No loader window: nothing is sent, and nothing is remembered.
    ReportLoaderProgress(3, 0);

    LoaderWindow loader;
    ASSERT_TRUE(loader.get());
    // Three reports 10 ms apart: the first goes out, the next two are too
    // soon; the last one (10000) always goes.
    ReportLoaderProgress(9, 0);
    Sleep(10);
    ReportLoaderProgress(0, 4000);
    Sleep(10);
    ReportLoaderProgress(0, 5000);
    ReportLoaderProgress(0, 10000);
    // Later reports carry the first one's id; more than complete is
    // complete.
    Sleep(350);
    ReportLoaderProgress(4, 25000);
    Sleep(350);
    ReportLoaderProgress(4, 7000);

    ASSERT_EQ(4u, g_reports.size());
    const uint32_t progress[] = {0, 10000, 10000, 7000};
    for (size_t i = 0; i < g_reports.size(); ++i) {
        SCOPED_TRACE(i);
        const Report& report = g_reports[i];
        EXPECT_EQ(0xDEEDDDDDu, report.tag);
        EXPECT_EQ(9u, report.words[0]);
        EXPECT_EQ(progress[i], report.words[1]);
        // No progress dialog of the loader: both handles are 0.
        EXPECT_EQ(0u, report.wParam);
        EXPECT_EQ(0u, report.words[2]);
    }
}
