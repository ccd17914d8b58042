// STAND-INS for the page bridge and the login dialogs (see
// social/pending.h); each goes when the code it waits for is on main.

#include "social/pending.h"

bool ShowShareDialogInPage(uint32_t, uint32_t)
{
    return false;
}

// The login dialogs need the ActiveX hosting layer; until it is on main no
// dialog can be shown.
#include "social/logindialog.h"

int RunFacebookLoginDialog(const wchar_t*)
{
    return -1;
}

int RunVkontakteLoginDialog(const wchar_t*)
{
    return -1;
}
