#pragma once

#include <cstdint>

// The modal login dialogs of the two networks, owned by the main window:
// each opens the authorisation address and ends with a close code.

// Close codes: every way out of a login dialog goes through WM_CLOSE, whose
// wParam becomes the end code.
enum SocialCloseCode {
    kSocialCloseStored = 0,     // the token (and user id) was stored; also a plain close
    kSocialCloseRefused = 2,    // the user refused the permission request
    kSocialCloseLoginHelp = 3,  // Facebook: the user reached the login help
    kSocialCloseFailed = 4,     // a navigation error, or a redirect without its parameters
};

// The end code, or -1 when the dialog could not be created.
int RunFacebookLoginDialog(const wchar_t* authorizationUrl);
int RunVkontakteLoginDialog(const wchar_t* authorizationUrl);

// Calls the main page's inShowShareDialog(gameId, network) through the main
// sink; true when the page function was invoked.
bool ShowShareDialogInPage(uint32_t gameId, uint32_t network);
