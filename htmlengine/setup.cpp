// Switches the stand-in HTML engine on or off in the registry it runs
// against (a test's Wine prefix):
//   htmlengine_setup on    the engine beside this program serves the
//                          WebBrowser control and the HTML document
//   htmlengine_setup off   no server at all for either class
// Exit code 0 on success, 1 when the registration failed, 2 on a wrong
// command line, 3 when the engine cannot be loaded.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

int wmain(int argc, wchar_t** argv)
{
    const bool on = argc == 2 && wcscmp(argv[1], L"on") == 0;
    const bool off = argc == 2 && wcscmp(argv[1], L"off") == 0;
    if (!on && !off) {
        fwprintf(stderr, L"usage: htmlengine_setup on|off\n");
        return 2;
    }
    wchar_t self[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, self, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return 3;
    std::wstring path(self, n);
    path.erase(path.find_last_of(L"\\/") + 1);
    path += L"htmlengine.dll";

    HMODULE engine = LoadLibraryW(path.c_str());
    if (!engine) {
        fwprintf(stderr, L"htmlengine_setup: cannot load %ls (%lu)\n", path.c_str(), GetLastError());
        return 3;
    }
    using Entry = HRESULT(STDAPICALLTYPE*)();
    const auto entry =
        reinterpret_cast<Entry>(reinterpret_cast<void*>(GetProcAddress(engine, on ? "DllRegisterServer" : "DllUnregisterServer")));
    const HRESULT hr = entry ? entry() : E_FAIL;
    FreeLibrary(engine);
    if (FAILED(hr)) {
        fwprintf(stderr, L"htmlengine_setup: registration failed (0x%08lx)\n", static_cast<unsigned long>(hr));
        return 1;
    }
    return 0;
}
