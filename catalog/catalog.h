#pragma once

// The one process-wide connection to the per-user catalog, opened lazily.
// Every subsystem reaches the catalog only through GetCatalogDb.

#include <sqlite3.h>

#include <cstdint>

// Forms "%APPDATA%\<fileName>", creates the file when missing and keeps
// its UTF-8 path. Refuses a null name or a second call.
bool SetCatalogDbPath(const wchar_t* fileName);
// The kept UTF-8 path, empty until set.
const char* GetCatalogDbPath();

// The connection; opens it (schema, functions, triggers) when needed.
sqlite3* GetCatalogDb();
bool OpenCatalogDb();
// For a run that only reads (the installed query): the same connection,
// without the quick check and, on a catalog that already has this build's
// tables, columns and triggers, without the schema update, so nothing is
// written. An older catalog is opened and updated as by OpenCatalogDb.
bool OpenCatalogForReading();
// True when no connection remains; a failed close keeps the handle.
bool CloseCatalogDb();

// The page-feeding hook slots: process-wide, null until installed; the
// custom SQL functions call them for every option and game row. Texts
// handed to a hook belong to SQLite and live only for the call.
using OptionRowHookFn = void (*)(const wchar_t* var, const wchar_t* val);
using GameRowHookFn = void (*)(uint32_t id, int32_t afl, const wchar_t* name, const wchar_t* desc,
                               const char* statusWords, int32_t release, int32_t rating,
                               int32_t inst, int32_t runs, const wchar_t* custom,
                               const wchar_t* itunesId, const wchar_t* itunesIdFree,
                               const wchar_t* itunesIdIpad, const wchar_t* itunesIdIpadFree,
                               int32_t track, const wchar_t* utm);
using GamePictureHookFn = void (*)(uint32_t id, const void* data, uint32_t size);

extern OptionRowHookFn OptionRowHook;
extern GameRowHookFn GameRowHook;
extern GamePictureHookFn GamePictureHook;

// Opens the catalog when needed and sets the three hook slots (a null
// pointer empties its slot). True when the catalog is open. The bodies
// belong to the code that talks to the page, so the catalog stays free of
// it.
bool InstallCatalogHooks(OptionRowHookFn optionRow, GameRowHookFn gameRow,
                         GamePictureHookFn gamePicture);
