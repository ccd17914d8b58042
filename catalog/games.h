#pragma once

// The game record: one fixed projection of table games, read by position.
// Rows come from QueryCursor::SelectGameById / SelectGamesWhere.

#include "catalog/storage.h"

#include <cstdint>

namespace GameColumn {
enum : int {
    Id = 0, Ident, Name, Desc, Release, Rating, Afl, Dwn, Inst, Exec, Type, Show,
    Uninstall, Size, Path, Act, Custom, Price, Brand, Track,
};
}

namespace GameRecord {
uint32_t Id(const Statement& row);
const wchar_t* Ident(const Statement& row);
const wchar_t* Name(const Statement& row);
const wchar_t* Desc(const Statement& row);
int Inst(const Statement& row);
const wchar_t* Uninstall(const Statement& row);
bool IsShown(const Statement& row);
const char* Custom(const Statement& row);
const wchar_t* Brand(const Statement& row);
}  // namespace GameRecord
