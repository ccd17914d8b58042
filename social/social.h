#pragma once

// Sharing a game on the two social networks: making sure a token (and the
// user's id) is stored, logging in through the modal dialog when it is not,
// and posting to the user's feed or wall. UI thread only; every transfer
// blocks the user interface while it runs.

#include <cstdint>
#include <functional>

// The network argument of the page's inShowShareDialog.
constexpr uint32_t kShareNetworkVkontakte = 0;
constexpr uint32_t kShareNetworkFacebook = 1;

// The login dialog for an authorisation address: its end code, or -1 when
// it could not be shown.
using LoginDialogRunner = std::function<int(const wchar_t* authorizationUrl)>;
// The page's share dialog for a game on a network; true when shown.
using ShareDialogCaller = std::function<bool(uint32_t gameId, uint32_t network)>;

// 1 the page's share dialog was shown; 2 no token after the dialog (or the
// user refused); 3 the user id could not be fetched (or the user reached
// the login help); 4 the page call failed (or the dialog failed); -1 the
// dialog could not be shown.
int FacebookLogin(uint32_t gameId);
int FacebookLogin(uint32_t gameId, const LoginDialogRunner& runDialog,
                  const ShareDialogCaller& showShareDialog);

// Fetches the graph's id for the token and stores it as facebook_user_id.
bool FetchFacebookUserId(const wchar_t* token);

// True when the network accepted the post. A reply that carries an error
// clears the stored token. link and picture are addresses whose own inner
// query is already escaped (an "&" written as %26).
bool PostToFacebookFeed(const wchar_t* token, const wchar_t* userId, const wchar_t* picture,
                        const wchar_t* link, const wchar_t* name, const wchar_t* description);

// 0 when a token and a user id are stored afterwards; else the dialog's end
// code (2 refused, 4 error, -1 not shown), or 4 when nothing was stored.
int VkontakteLogin();
int VkontakteLogin(const LoginDialogRunner& runDialog);
// VkontakteLogin, then on 0 the page's share dialog: 1 shown, 4 not.
int VkontakteLoginAndNotify(uint32_t gameId);
int VkontakteLoginAndNotify(uint32_t gameId, const LoginDialogRunner& runDialog,
                            const ShareDialogCaller& showShareDialog);

// True when the API answered without an error; an API error clears the
// stored token. link is the game's page, already in address form.
bool PostToVkontakteWall(const wchar_t* token, const wchar_t* userId, const wchar_t* link,
                         const wchar_t* name);
