#pragma once

// An open registry key, closed when the holder goes.

#include <windows.h>

class RegKey {
public:
    RegKey() = default;
    ~RegKey()
    {
        if (key_)
            RegCloseKey(key_);
    }
    RegKey(const RegKey&) = delete;
    RegKey& operator=(const RegKey&) = delete;
    bool Open(HKEY parent, const wchar_t* path, REGSAM access)
    {
        return RegOpenKeyExW(parent, path, 0, access, &key_) == ERROR_SUCCESS;
    }
    HKEY get() const { return key_; }

private:
    HKEY key_ = nullptr;
};
