#pragma once

// Names of the social options in the catalog's option store (read and
// written with GetOptionText and SetOption of catalog/options.h).

inline constexpr const wchar_t* kFacebookTokenOption = L"facebook_access_token";
inline constexpr const wchar_t* kFacebookUserIdOption = L"facebook_user_id";
inline constexpr const wchar_t* kVkontakteTokenOption = L"vkontakte_access_token";
inline constexpr const wchar_t* kVkontakteUserIdOption = L"vkontakte_user_id";
