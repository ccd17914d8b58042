#include "social/social.h"

#include "catalog/options.h"
#include "shell/text.h"
#include "social/addresses.h"
#include "social/encoding.h"
#include "social/logindialog.h"
#include "social/options.h"
#include "social/transfer.h"

namespace {

constexpr size_t kMaxAuthorizationUrlChars = 1023;

bool VkontakteLoginStored()
{
    return !GetOptionText(kVkontakteTokenOption).empty() &&
           !GetOptionText(kVkontakteUserIdOption).empty();
}

std::wstring VkontakteAuthorizationUrl()
{
    return VkontakteAuthorizationPage() + L"client_id=" + EscapeUrlText(VkontakteAppId().c_str()) +
           L"&display=wap&response_type=token&scope=wall,offline&redirect_uri=" +
           EscapeUrlText(VkontakteBlankPage().c_str());
}

}  // namespace

int VkontakteLogin()
{
    return VkontakteLogin(RunVkontakteLoginDialog);
}

int VkontakteLogin(const LoginDialogRunner& runDialog)
{
    if (VkontakteLoginStored())
        return 0;
    std::wstring url = VkontakteAuthorizationUrl();
    if (url.size() > kMaxAuthorizationUrlChars)
        return 4;
    int code = runDialog ? runDialog(url.c_str()) : -1;
    if (code != kSocialCloseStored) {
        SetOption(kVkontakteTokenOption, L"");
        SetOption(kVkontakteUserIdOption, L"");
        return code;
    }
    return VkontakteLoginStored() ? 0 : 4;
}

int VkontakteLoginAndNotify(uint32_t gameId)
{
    return VkontakteLoginAndNotify(gameId, RunVkontakteLoginDialog, ShowShareDialogInPage);
}

int VkontakteLoginAndNotify(uint32_t gameId, const LoginDialogRunner& runDialog,
                            const ShareDialogCaller& showShareDialog)
{
    int result = VkontakteLogin(runDialog);
    if (result != 0)
        return result;
    return showShareDialog && showShareDialog(gameId, kShareNetworkVkontakte) ? 1 : 4;
}

bool PostToVkontakteWall(const wchar_t* token, const wchar_t* userId, const wchar_t* link,
                         const wchar_t* name)
{
    if (!token || !userId)
        return false;
    std::wstring text = std::wstring(L"Прикольная игра: ") + (name ? name : L"");
    std::wstring message;
    PercentEncodeUtf8(Utf8String(text.c_str()).get(), message);
    message += L"%0A";
    message += EscapeUrlText(link);

    std::wstring address = VkontakteWallPostPrefix() + EscapeUrlText(userId) + L"&access_token=" +
                           EscapeUrlText(token) + L"&message=" + message;
    std::optional<std::string> reply = DownloadText(address.c_str(), L"vk_");
    if (!reply)
        return false;
    if (reply->find("\"error_msg\"") != std::string::npos) {
        SetOption(kVkontakteTokenOption, L"");
        return false;
    }
    // The API answers a post with its "response"; anything else is no success.
    return reply->find("\"response\"") != std::string::npos;
}
