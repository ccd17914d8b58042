#pragma once

// The three hooks through which every catalog change reaches the main page:
// the custom SQL functions of the catalog call them for each option row,
// game row and game picture they see (triggers and the full page feed).

#include <cstdint>

// Installs the three hooks (start-up, before the theme is loaded).
void InstallPageFeedingHooks();

// An option row: the page's inOptionLoad(var, val).
void ForwardOptionRowToPage(const wchar_t* var, const wchar_t* val);
// A game row, its sixteen values in order: the page's inGameUpdate. The
// status words come as 8-bit text and reach the page as UTF-16.
void ForwardGameRowToPage(uint32_t id, int32_t afl, const wchar_t* name, const wchar_t* desc,
                          const char* statusWords, int32_t release, int32_t rating, int32_t inst, int32_t runs,
                          const wchar_t* custom, const wchar_t* itunesId, const wchar_t* itunesIdFree,
                          const wchar_t* itunesIdIpad, const wchar_t* itunesIdIpadFree, int32_t track,
                          const wchar_t* utm);
// A game's small picture: stored as resource "SMALL" "S<id>.PIC" of the
// icon library games.dll, where the page reads it.
void StoreGamePicture(uint32_t gameId, const void* data, uint32_t size);
