// The web services client tests run as the program's first brand, with the
// product key of the test prefix filled as the installer leaves it.
#include <gtest/gtest.h>

#include "nettest.h"
#include "shell/brand.h"

namespace {

void SetUpProductKey()
{
    nettest::SetProductString(nullptr, nettest::InstallDir());
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\zel", 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                        nullptr) == ERROR_SUCCESS) {
        DWORD version = nettest::kInstalledVersion;
        RegSetValueExW(key, L"ver", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&version), sizeof(version));
        RegCloseKey(key);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    SetUpProductKey();
    CreateWrapConfig();
    return RUN_ALL_TESTS();
}
