#pragma once

#include <string>

// The code text ("key") of the stored custom data of the custom-data game;
// false, with key empty, when there is none.
bool GetGameCustomKey(std::wstring& key);
