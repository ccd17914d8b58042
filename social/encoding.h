#pragma once

// Putting texts into the addresses and form bodies sent to the social
// networks.

#include <string>

// Appends every byte of the UTF-8 text as "%" and two lower-case hex
// digits; nothing is left as it was. A null text appends nothing.
void PercentEncodeUtf8(const char* utf8Text, std::wstring& wideOutput);

// A plain text (a game's name, a user id) made fit to stand as one query or
// form value: its UTF-8 bytes, letters, digits and "-._~" kept, every other
// byte written as "%XX".
std::wstring EncodeUrlValue(const wchar_t* text);

// A text that is already in address form (a token or id taken out of an
// address, a link our own code formed with its inner query escaped) made
// safe as one query or form value: existing escapes and the address
// characters that cannot end the value stay; "&", "+", "#", blanks,
// control characters and non-ASCII text are escaped.
std::wstring EscapeUrlText(const wchar_t* text);
