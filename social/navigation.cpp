#include "social/navigation.h"

#include "catalog/options.h"
#include "social/addresses.h"
#include "social/logindialog.h"
#include "social/options.h"

#include "shell/text.h"

namespace {

SocialNavigation Close(int code)
{
    SocialNavigation result;
    result.closeCode = code;
    return result;
}

SocialNavigation OpenInBrowser(std::wstring address)
{
    SocialNavigation result;
    result.cancel = true;
    result.openInBrowser = std::move(address);
    return result;
}

}  // namespace

SocialNavigation FacebookBeforeNavigate(const wchar_t* url)
{
    std::wstring address = url ? url : L"";
    if (StartsWith(address, FacebookHelpPrefix()))
        return OpenInBrowser(address);
    return {};
}

SocialNavigation FacebookNavigateComplete(const wchar_t* url)
{
    std::wstring address = url ? url : L"";
    if (StartsWith(address, FacebookLoginHelpPage())) {
        SetOption(kFacebookTokenOption, L"");
        return Close(kSocialCloseLoginHelp);
    }
    std::wstring successPage = FacebookLoginSuccessPage();
    if (!StartsWith(address, successPage))
        return {};
    if (address.find(L"error_reason=user_denied") != std::wstring::npos)
        return Close(kSocialCloseRefused);
    std::optional<std::wstring> token =
        GetUrlFragmentParam(address.c_str(), successPage.c_str(), L"access_token");
    if (!token)
        return Close(kSocialCloseFailed);
    SetOption(kFacebookTokenOption, token->c_str());
    SocialNavigation result = Close(kSocialCloseStored);
    result.fetchUserIdWith = *token;
    return result;
}

SocialNavigation VkontakteBeforeNavigate(const wchar_t* url)
{
    std::wstring address = url ? url : L"";
    if (StartsWith(address, VkontakteMobileSite()))
        return OpenInBrowser(VkontakteMainPage());
    if (StartsWith(address, VkontakteSite()))
        return OpenInBrowser(address);
    if ((StartsWith(address, VkontakteGrantPage(false)) || StartsWith(address, VkontakteGrantPage(true))) &&
        address.find(L"cancel=1") != std::wstring::npos) {
        SocialNavigation result = Close(kSocialCloseRefused);
        result.cancel = true;
        return result;
    }
    return {};
}

SocialNavigation VkontakteNavigateComplete(const wchar_t* url)
{
    std::wstring address = url ? url : L"";
    std::wstring blankPage = VkontakteBlankPage();
    if (!StartsWith(address, blankPage))
        return {};
    std::optional<std::wstring> token =
        GetUrlFragmentParam(address.c_str(), blankPage.c_str(), L"access_token");
    std::optional<std::wstring> userId = GetUrlFragmentParam(address.c_str(), blankPage.c_str(), L"user_id");
    if (!token || !userId)
        return Close(kSocialCloseFailed);
    SetOption(kVkontakteTokenOption, token->c_str());
    SetOption(kVkontakteUserIdOption, userId->c_str());
    return Close(kSocialCloseStored);
}

SocialNavigation SocialNavigateError(long statusCode)
{
    if (statusCode < 0 || (statusCode >= 400 && statusCode <= 499)) {
        SocialNavigation result = Close(kSocialCloseFailed);
        result.cancel = true;
        return result;
    }
    return {};
}
