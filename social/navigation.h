#pragma once

// What the login dialogs do about each navigation of their browser. The
// sinks hand the event's address here and carry out the answer; the option
// writes happen here.

#include <optional>
#include <string>

struct SocialNavigation {
    bool cancel = false;                // stop the navigation inside the dialog
    std::wstring openInBrowser;         // show this address in the user's browser
    std::optional<int> closeCode;       // end the dialog with this code
    std::wstring fetchUserIdWith;       // Facebook: fetch the user id with this token, after the close
};

SocialNavigation FacebookBeforeNavigate(const wchar_t* url);
// Stores the token taken from the success page, or clears it on the login help.
SocialNavigation FacebookNavigateComplete(const wchar_t* url);
SocialNavigation VkontakteBeforeNavigate(const wchar_t* url);
// Stores the token and user id taken from the blank page.
SocialNavigation VkontakteNavigateComplete(const wchar_t* url);
// Errors of the transfer (negative codes) and HTTP 4xx end the dialog;
// 5xx pages stay visible.
SocialNavigation SocialNavigateError(long statusCode);
