#pragma once

// Products of the older per-game installers. Each recorded its product
// under HKCU "software\<vendor>\Products\Product<id>" (value "Dir": the
// game's folder), wrote "settings.txt" and "affiliate.txt" into that
// folder, put shortcuts on the desktop and into the programs-menu folder
// "Игры", and registered an uninstaller. Carrying a product over marks the
// game installed in the catalog, removes the old uninstaller and points
// the old shortcuts at the manager.

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

// The programs-menu folder of the older installers.
constexpr wchar_t kOlderMenuFolder[] = L"\u0418\u0433\u0440\u044B";
// Affiliate numbers below this are raised to it.
constexpr uint32_t kOlderMinimumAffiliate = 30000;

struct OlderProduct {
    uint32_t productId = 0;  // the game's id in the catalog
    uint32_t affiliate = 0;
    std::optional<std::wstring> installFolder;
    std::optional<std::wstring> productName;
};

// Walks the vendor keys below an open HKCU "software" key and carries over
// every product of their "Products" keys.
void ImportRegistryProducts(HKEY softwareKey);
// Carries over the products of one vendor's open "Products" key.
void ImportProductsKey(HKEY productsKey);

// The product of key keyName: its id, folder, name and affiliate. False
// when any of them is missing.
bool ReadOlderProduct(HKEY productsKey, const wchar_t* keyName, OlderProduct* product);
// The product name (from the scrambled "settings.txt") and the affiliate
// (from "affiliate.txt") of the product's folder.
bool ReadProductSettingsFile(const wchar_t* installFolder, OlderProduct* product);
// Marks the game installed with the product's folder, affiliate and
// uninstall list. False when the game is not in the catalog or already has
// type 1, or the row cannot be written.
bool WriteOlderProductRow(const OlderProduct& product);
// Deletes the old uninstaller, its menu shortcut and its uninstall entry.
void RemoveOldUninstaller(const OlderProduct& product);
// Points the product's existing shortcut in specialFolder (below
// folderName, when given) at the manager with arguments.
bool RetargetOldShortcut(int specialFolder, const OlderProduct& product, const wchar_t* folderName,
                         const wchar_t* arguments);
// <special folder>[\<folderName>\<product name>][\<shortcutName>.lnk];
// nullopt for a product whose name is a device's: no path is formed.
std::optional<std::wstring> OlderProductShortcutPath(int specialFolder, const OlderProduct& product,
                                                     const wchar_t* folderName, const wchar_t* shortcutName);
