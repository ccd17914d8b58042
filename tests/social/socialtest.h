#pragma once

// Shared set-up of the social tests: the brand, a catalog of the test's
// own, the deployment values under the product key, and the options.

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

namespace zeltest {

// A deployment value under HKCU\Software\<product name>.
void SetSocialSetting(const wchar_t* name, const std::wstring& value);
void ClearSocialSettings();

// Points every network host at one origin ("http://127.0.0.1:<port>").
void PointNetworksAt(const std::wstring& origin);

std::wstring Option(const wchar_t* name);
void StoreOption(const wchar_t* name, const wchar_t* value);
bool OptionRowExists(const wchar_t* name);
void ClearOptions();

// Temporary files left behind with the prefix ("fb_", "vk_").
size_t CountTempFiles(const wchar_t* prefix);

// The first dialog window of the calling thread, or null.
HWND FindThreadDialog();

class SocialTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
};

}  // namespace zeltest
