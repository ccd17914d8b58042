#include "social/social.h"

#include "catalog/catalog.h"
#include "catalog/options.h"
#include "shell/text.h"
#include "social/addresses.h"
#include "social/encoding.h"
#include "social/logindialog.h"
#include "social/options.h"
#include "social/transfer.h"

#include <windows.h>

namespace {

constexpr size_t kMaxPostAddressChars = 1023;
constexpr size_t kMaxFeedBodyChars = 10239;

// The description's encoded characters, as many whole characters as fit in
// room; a long blurb is cut rather than the post refused.
std::wstring EncodeDescriptionToFit(const wchar_t* description, size_t room)
{
    std::wstring encoded;
    if (!description)
        return encoded;
    for (const wchar_t* p = description; *p;) {
        size_t units = (IS_HIGH_SURROGATE(p[0]) && IS_LOW_SURROGATE(p[1])) ? 2 : 1;
        std::wstring one = EncodeUrlValue(std::wstring(p, units).c_str());
        if (encoded.size() + one.size() > room)
            break;
        encoded += one;
        p += units;
    }
    return encoded;
}

}  // namespace

int FacebookLogin(uint32_t gameId)
{
    return FacebookLogin(gameId, RunFacebookLoginDialog, ShowShareDialogInPage);
}

int FacebookLogin(uint32_t gameId, const LoginDialogRunner& runDialog,
                  const ShareDialogCaller& showShareDialog)
{
    std::wstring token = GetOptionText(kFacebookTokenOption);
    const bool loggingIn = token.empty();
    if (loggingIn) {
        int code = runDialog ? runDialog(FacebookAuthorizationUrl().c_str()) : -1;
        if (code != kSocialCloseStored) {
            SetOption(kFacebookTokenOption, L"");
            return code;
        }
        token = GetOptionText(kFacebookTokenOption);
        if (token.empty())
            return 2;
    }
    // A login has asked for the id already, as the dialog stored the token:
    // asking again after a silent server would make one click wait twice.
    if (GetOptionText(kFacebookUserIdOption).empty() && (loggingIn || !FetchFacebookUserId(token.c_str())))
        return 3;
    return showShareDialog && showShareDialog(gameId, kShareNetworkFacebook) ? 1 : 4;
}

bool FetchFacebookUserId(const wchar_t* token)
{
    if (!IsNonEmptyString(token))
        return false;
    std::wstring url = FacebookGraphRoot() + L"me?access_token=" + EscapeUrlText(token);
    std::optional<std::string> reply = DownloadText(url.c_str(), L"fb_");
    if (!reply)
        return false;
    std::optional<std::string> id = GetJsonField(reply->c_str(), "id");
    if (!id || id->empty())
        return false;
    SetOptionUtf8(GetCatalogDb(), "facebook_user_id", id->c_str());
    return true;
}

bool PostToFacebookFeed(const wchar_t* token, const wchar_t* userId, const wchar_t* picture,
                        const wchar_t* link, const wchar_t* name, const wchar_t* description)
{
    if (!token || !userId)
        return false;
    std::wstring address = FacebookGraphRoot() + EncodeUrlValue(userId) + L"/feed";
    if (address.size() > kMaxPostAddressChars)
        return false;

    std::wstring head = L"access_token=" + EscapeUrlText(token) +
                        L"&caption=" + EncodeUrlValue(FacebookCaption().c_str()) + L"&description=";
    std::wstring tail = L"&link=" + EscapeUrlText(link) + L"&name=" + EncodeUrlValue(name) +
                        L"&picture=" + EscapeUrlText(picture);
    if (head.size() + tail.size() > kMaxFeedBodyChars)
        return false;
    std::wstring body =
        head + EncodeDescriptionToFit(description, kMaxFeedBodyChars - head.size() - tail.size()) + tail;

    std::optional<std::string> reply = PostFormForText(address.c_str(), body.c_str(), L"fb_");
    if (!reply)
        return false;
    if (reply->find("\"error\"") != std::string::npos) {
        SetOption(kFacebookTokenOption, L"");
        return false;
    }
    // An accepted post answers with the new post's id; anything else (an
    // error page of a proxy or a server) is no success.
    return reply->find("\"id\"") != std::string::npos;
}
