#include "host/wrapmain.h"

#include "catalog/catalog.h"
#include "catalog/games.h"
#include "catalog/options.h"
#include "host/sinks.h"
#include "install/launch.h"
#include "install/turn.h"
#include "install/uninstall.h"
#include "net/adfeed.h"
#include "net/customdata.h"
#include "net/download.h"
#include "net/endpoints.h"
#include "net/workers.h"
#include "shell/brand.h"
#include "shell/files.h"
#include "shell/instance.h"
#include "shell/settings.h"
#include "shell/text.h"
#include "social/social.h"

#include <shellapi.h>

#include <cwchar>
#include <string>

namespace {

constexpr uint32_t kMessageUrlUnreachable = 11;
constexpr uint32_t kMessageLaunchFailed = 12;
constexpr uint32_t kMessageStoreUnreachable = 13;
constexpr uint32_t kMessageAnotherInstallRuns = 14;
constexpr uint32_t kMessageCustomKey = 402;
constexpr uint32_t kMessageFacebookPosted = 300;
constexpr uint32_t kMessageFacebookFailed = 301;
constexpr uint32_t kMessageFacebookNoLogin = 302;
constexpr uint32_t kMessageVkontaktePosted = 310;
constexpr uint32_t kMessageVkontakteFailed = 311;
constexpr uint32_t kMessageVkontakteNoLogin = 312;
constexpr int kBrandEndsOnClose = 5;

void TellPage(uint32_t code, const wchar_t* text = nullptr)
{
    if (CMainSink* sink = GetMainSink())
        sink->inMsgBox(code, text);
}

std::wstring MainPageSkinInfo()
{
    CMainSink* sink = GetMainSink();
    return sink ? sink->inSkinInfo() : std::wstring();
}

// A null text (also a null automation string) is the empty text.
const wchar_t* TextOrEmpty(const wchar_t* text)
{
    return text ? text : L"";
}

// The page's skin information as 8-bit characters of the ANSI code page,
// as it goes into the web service's addresses.
std::string SkinInfoText()
{
    std::wstring skin = MainPageSkinInfo();
    if (skin.empty())
        return std::string();
    const int bytes = WideCharToMultiByte(CP_ACP, 0, skin.c_str(), -1, nullptr, 0, nullptr, nullptr);
    if (bytes <= 1)
        return std::string();
    std::string text(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_ACP, 0, skin.c_str(), -1, text.data(), bytes, nullptr, nullptr);
    text.resize(static_cast<size_t>(bytes) - 1);
    return text;
}

void RequestGameIcon(HWND window, uint32_t kind, const char* endpoint, ULONG id)
{
    std::string url = ServiceUrl(endpoint) + "?app=" + SkinInfoText() + "&id=" + std::to_string(id);
    StartAsyncRequest(kind, url.c_str(), nullptr, false, window, WM_HTTP_REQUEST_COMPLETED, id);
}

// The site's page that tells the network about a game, before its id.
std::wstring FacebookInfoAddress()
{
    return EndpointSetting(L"SiteRedirectUrl", (L"http://" + SiteDomain() + L"/redirect.php").c_str()) +
           L"?act=fb_info";
}

// A game's review page on the site, for the wall post: the bare domain
// when the game has no ident.
std::wstring GameReviewLink(std::wstring ident)
{
    std::wstring link = SiteDomain();
    if (!ident.empty()) {
        for (wchar_t& c : ident)
            if (c == L'_')
                c = L'-';
        link += L"/review/game-" + ident + L"/hit-vk/";
    }
    return link;
}

// A window larger than the screen sticks out on both sides, the odd pixel
// on the left or top.
int HalfRoundedDown(int value)
{
    return value >= 0 ? value / 2 : -((1 - value) / 2);
}

}  // namespace

std::string HexEncodeUtf8(const char* text)
{
    static const char kDigits[] = "0123456789ABCDEF";
    std::string encoded;
    for (const char* p = text; p && *p; ++p) {
        const auto byte = static_cast<unsigned char>(*p);
        encoded += kDigits[byte >> 4];
        encoded += kDigits[byte & 0x0F];
    }
    return encoded;
}

IUnknown* CWrapMain::InterfaceFor(REFIID iid)
{
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) || IsEqualIID(iid, IID_IWrapCore))
        return static_cast<IWrapCore*>(this);
    return nullptr;
}

void CWrapMain::SetWindow(HWND window)
{
    if (!window_ && window)
        window_ = window;
}

// --- Window and page state -------------------------------------------------

STDMETHODIMP CWrapMain::optionSave(BSTR variable, BSTR value)
try {
    if (variable && wcscmp(variable, L"lastselectgame") == 0) {
        RequestAdFeed(window_);
        // Queues a full refresh, which runs after the option is written.
        updateYandexState();
    }
    sqlite3* db = GetCatalogDb();
    if (!db)
        return S_OK;
    Utf8String name(TextOrEmpty(variable));
    Utf8String text(TextOrEmpty(value));
    SetOptionUtf8(db, name, text);
    return S_OK;
} catch (...) {
    return E_OUTOFMEMORY;
}

STDMETHODIMP CWrapMain::windowInit(USHORT width, USHORT height)
try {
    const int left = HalfRoundedDown(GetSystemMetrics(SM_CXSCREEN) - width);
    const int top = HalfRoundedDown(GetSystemMetrics(SM_CYSCREEN) - height);
    SetWindowPos(window_, nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOOWNERZORDER);
    RequestAdFeed(window_);
    return S_OK;
} catch (...) {
    return E_OUTOFMEMORY;
}

STDMETHODIMP CWrapMain::windowMove()
{
    // A drag of the caption-less window by the page.
    SendMessageW(window_, WM_SYSCOMMAND, SC_MOVE | HTCAPTION, 0);
    return S_OK;
}

STDMETHODIMP CWrapMain::windowClose()
{
    if (GetBrandId() == kBrandEndsOnClose)
        PostQuitMessage(0);
    else
        ShowWindow(window_, SW_HIDE);  // stays in the tray
    return S_OK;
}

STDMETHODIMP CWrapMain::windowMinimize()
{
    SendMessageW(window_, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    return S_OK;
}

STDMETHODIMP CWrapMain::updateYandexState()
{
    PostMessageW(window_, WM_DOC_COMPLETED, 0, 0);
    return S_OK;
}

// --- Addresses -------------------------------------------------------------

STDMETHODIMP CWrapMain::kernelUrlDirect(BSTR url)
{
    OpenWebAddress(window_, url);
    return S_OK;
}

STDMETHODIMP CWrapMain::kernelUrl(BSTR url)
try {
    // A null address is the empty one: unreachable.
    if (!ProbeUrl(TextOrEmpty(url)))
        TellPage(kMessageUrlUnreachable);
    else
        OpenWebAddress(window_, url);
    return S_OK;
} catch (...) {
    return E_OUTOFMEMORY;
}

STDMETHODIMP CWrapMain::kernelUrlNotify(BSTR url)
try {
    Utf8String address(TextOrEmpty(url));
    if (address.get())
        StartAsyncRequest(kRequestUrlNotify, address, nullptr, true, window_, WM_HTTP_REQUEST_COMPLETED, 0);
    return S_OK;
} catch (...) {
    return E_OUTOFMEMORY;
}

// --- Account login ---------------------------------------------------------

STDMETHODIMP CWrapMain::kernelLogin(BSTR login, BSTR password)
try {
    Utf8String loginText(TextOrEmpty(login));
    Utf8String passwordText(TextOrEmpty(password));
    if (!loginText.get() || !passwordText.get())
        return S_OK;
    std::string headers = "AuthLogin: " + HexEncodeUtf8(loginText) + "\r\nAuthPassword: " +
                          HexEncodeUtf8(passwordText) + "\r\n";
    std::string url = ServiceUrl("zel_login.php") + "?app=" + SkinInfoText();
    StartAsyncRequest(kRequestLogin, url.c_str(), headers.c_str(), true, window_, WM_HTTP_REQUEST_COMPLETED, 0);
    return S_OK;
} catch (...) {
    return E_OUTOFMEMORY;
}

// --- Games -----------------------------------------------------------------

STDMETHODIMP CWrapMain::gameRun(ULONG id)
try {
    ShowWindow(window_, SW_HIDE);
    const bool launched = LaunchGame(static_cast<uint32_t>(id));
    ShowWindow(window_, SW_SHOWNORMAL);
    SetForegroundWindow(window_);
    if (!launched)
        TellPage(kMessageLaunchFailed);
    return S_OK;
} catch (...) {
    return E_OUTOFMEMORY;
}

STDMETHODIMP CWrapMain::gameDelete(ULONG id)
try {
    // While an installer or uninstaller of this catalog works, the user is
    // asked to come back when it has finished, as a second installation is
    // answered: waiting for it here would leave the window unanswered for
    // as long as that run takes.
    InstallTurn turn(GetCatalogDb(), InstallTurn::Wait::kNever);
    if (turn.Held())
        UninstallGame(static_cast<int32_t>(id));
    else
        TellPage(kMessageAnotherInstallRuns);
    return S_OK;
} catch (...) {
    return E_OUTOFMEMORY;
}

STDMETHODIMP CWrapMain::gameSelect(ULONG)
{
    return E_NOTIMPL;  // only balloon pages select games
}

STDMETHODIMP CWrapMain::gameBuy(BSTR url, ULONG id, ULONG)
try {
    if (!url || id == 0)
        return S_OK;
    const uint32_t affiliate = static_cast<uint32_t>(GetOptionInt(L"affiliate"));
    // The store answers at the address without its query.
    std::wstring store(url);
    const size_t query = store.find(L'?');
    if (query != std::wstring::npos)
        store.resize(query);
    const bool reachable = ProbeUrl(store.c_str());

    std::wstring target = std::wstring(url) + L"&afl=" + std::to_wstring(affiliate);
    {
        QueryCursor cursor(GetCatalogDb());
        if (Statement* row = cursor.SelectGameById(static_cast<uint32_t>(id))) {
            const wchar_t* brand = GameRecord::Brand(*row);
            if (brand && *brand)
                target += std::wstring(L"&brand=") + brand;
        }
    }
    if (!reachable)
        TellPage(kMessageStoreUnreachable);
    else
        OpenWebAddress(window_, GetBrandId() == kBrandEndsOnClose ? url : target.c_str());
    return S_OK;
} catch (...) {
    return E_OUTOFMEMORY;
}

STDMETHODIMP CWrapMain::gameGetBigIcon(ULONG id)
try {
    RequestGameIcon(window_, kRequestBigIcon, "get_big_icon.php", id);
    return S_OK;
} catch (...) {
    return E_OUTOFMEMORY;
}

STDMETHODIMP CWrapMain::gameGetSmallIcon(ULONG id)
try {
    RequestGameIcon(window_, kRequestSmallIcon, "get_sml_icon.php", id);
    return S_OK;
} catch (...) {
    return E_OUTOFMEMORY;
}

STDMETHODIMP CWrapMain::gameCustom(ULONG id)
try {
    if (!IsCustomDataGame(static_cast<uint32_t>(id)))
        return S_OK;
    std::wstring key;
    if (!GetGameCustomKey(key) && FetchGameCustomData())
        GetGameCustomKey(key);
    if (!key.empty())
        TellPage(kMessageCustomKey, key.c_str());
    return S_OK;
} catch (...) {
    return E_OUTOFMEMORY;
}

STDMETHODIMP CWrapMain::installYandexPackage(ULONG)
try {
    std::optional<std::wstring> dir = InstallDirWithoutSeparator();
    if (!dir)
        return S_OK;
    std::wstring installer = *dir + L"\\InstallYandexPackage.exe";
    SHELLEXECUTEINFOW execute = {};
    execute.cbSize = sizeof(execute);
    execute.hwnd = window_;
    execute.lpVerb = L"runas";
    execute.lpFile = installer.c_str();
    execute.nShow = SW_SHOWNORMAL;
    ShellExecuteExW(&execute);
    return S_OK;
} catch (...) {
    return E_OUTOFMEMORY;
}

STDMETHODIMP CWrapMain::uiTest(ULONG)
{
    return S_OK;
}

STDMETHODIMP CWrapMain::loginUsingVkontakte()
{
    return S_OK;
}

// --- Social networks ---------------------------------------------------------

STDMETHODIMP CWrapMain::gameToFacebook(ULONG id)
try {
    const int result = FacebookLogin(static_cast<uint32_t>(id));
    if (result == 4)
        TellPage(kMessageFacebookFailed);
    else if (result == 3)
        TellPage(kMessageFacebookNoLogin);
    return S_OK;
} catch (...) {
    return E_OUTOFMEMORY;
}

STDMETHODIMP CWrapMain::gameToVkontakte(ULONG id)
try {
    const int outcome = VkontakteLoginAndNotify(static_cast<uint32_t>(id));
    if (outcome == 4)
        TellPage(kMessageVkontakteFailed);
    else if (outcome == 3)
        TellPage(kMessageVkontakteNoLogin);
    return S_OK;
} catch (...) {
    return E_OUTOFMEMORY;
}

STDMETHODIMP CWrapMain::shareGameToFacebook(ULONG id)
try {
    std::wstring name;
    std::wstring description;
    {
        QueryCursor cursor(GetCatalogDb());
        Statement* row = cursor.SelectGameById(static_cast<uint32_t>(id));
        if (!row)
            return S_OK;
        name = TextOrEmpty(GameRecord::Name(*row));
        description = TextOrEmpty(GameRecord::Desc(*row));
    }
    const std::wstring token = GetOptionText(L"facebook_access_token");
    const std::wstring userId = GetOptionText(L"facebook_user_id");
    if (token.empty() || userId.empty()) {
        TellPage(kMessageFacebookNoLogin);
        return S_OK;
    }
    // The inner queries' "&" and "=" go percent-encoded: they belong to the
    // addresses the network is given, not to the post.
    const std::string idText = std::to_string(id);
    Utf8ToWide picture(ServiceUrl("get_big_icon.php") + "?app=" + SkinInfoText() + "%26id=" + idText);
    const std::wstring link = FacebookInfoAddress() + L"%26id%3D" + std::to_wstring(id);
    const bool posted = PostToFacebookFeed(token.c_str(), userId.c_str(), picture, link.c_str(), name.c_str(),
                                           description.c_str());
    TellPage(posted ? kMessageFacebookPosted : kMessageFacebookFailed);
    return S_OK;
} catch (...) {
    return E_OUTOFMEMORY;
}

STDMETHODIMP CWrapMain::shareGameToVkontakte(ULONG id)
try {
    std::wstring name;
    std::wstring ident;
    {
        QueryCursor cursor(GetCatalogDb());
        Statement* row = cursor.SelectGameById(static_cast<uint32_t>(id));
        if (!row)
            return S_OK;
        name = TextOrEmpty(GameRecord::Name(*row));
        ident = TextOrEmpty(GameRecord::Ident(*row));
    }
    const std::wstring token = GetOptionText(L"vkontakte_access_token");
    const std::wstring userId = GetOptionText(L"vkontakte_user_id");
    if (token.empty() || userId.empty()) {
        TellPage(kMessageVkontakteNoLogin);
        return S_OK;
    }
    const bool posted = PostToVkontakteWall(token.c_str(), userId.c_str(), GameReviewLink(ident).c_str(),
                                            name.c_str());
    TellPage(posted ? kMessageVkontaktePosted : kMessageVkontakteFailed);
    return S_OK;
} catch (...) {
    return E_OUTOFMEMORY;
}
