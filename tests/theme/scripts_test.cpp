// The themes' page scripts, run in the system's JScript engine with a fake
// window, document and external: they parse, define the page functions the
// program calls with the parameters it passes, and do what a page must do
// with the calls (the default theme) or record them (the recording theme).

#include <gtest/gtest.h>

#include "script_host.h"
#include "theme_files.h"

#include <algorithm>
#include <memory>

namespace {

struct PageFunction {
    const wchar_t* name;
    int parameters;
};

const PageFunction kPageFunctions[] = {
    {L"inOptionLoad", 2},      {L"inRender", 1},      {L"inGameUpdate", 16},
    {L"inGameSelect", 1},      {L"inAdUpdate", 2},    {L"inTestQuivmarkSkin", 0},
    {L"inMsgBox", 2},          {L"inShowShareDialog", 2}, {L"inSkinInfo", 0},
    {L"inNewGame", 4},         {L"inNews", 4},
};

// The functions a balloon page is called with.
const wchar_t* const kBalloonFunctions[] = {L"inOptionLoad", L"inNewGame", L"inNews"};

std::wstring Text(const VARIANT& value)
{
    if (value.vt == VT_BSTR)
        return value.bstrVal ? value.bstrVal : L"";
    VARIANT copy;
    VariantInit(&copy);
    std::wstring text;
    if (SUCCEEDED(VariantChangeType(&copy, const_cast<VARIANT*>(&value), 0, VT_BSTR)) && copy.bstrVal)
        text = copy.bstrVal;
    VariantClear(&copy);
    return text;
}

bool Contains(const std::vector<std::wstring>& list, const std::wstring& item)
{
    return std::find(list.begin(), list.end(), item) != list.end();
}

std::string Narrow(const std::vector<std::wstring>& list)
{
    std::string text;
    for (const std::wstring& item : list)
        text += zeltest::Utf8(item) + "\n";
    return text;
}

class ComApartment : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))); }
    void TearDown() override { CoUninitialize(); }
};

// One page of one theme, its scripts run in a fresh engine.
class Page {
public:
    Page(const std::wstring& theme, const std::wstring& page)
        : module_(ThemeFilePath(theme + L".dll")), host_(dom_)
    {
        loaded_ = host_.ready() && module_.get() && LoadPage(host_, module_.get(), page);
    }

    bool loaded() const { return loaded_; }
    FakeDom& dom() { return dom_; }
    ScriptHost& host() { return host_; }
    FakeObject* byId(const wchar_t* id) { return dom_.ElementById(id); }
    std::string errors() const { return Narrow(host_.errors()); }

    // Calls a page function and takes ownership of its arguments.
    HRESULT Call(const std::wstring& name, std::vector<VARIANT> args, VARIANT* result = nullptr)
    {
        HRESULT hr = host_.Call(name, args, result);
        ClearArgs(args);
        return hr;
    }
    std::wstring CallForText(const std::wstring& name, std::vector<VARIANT> args)
    {
        VARIANT result;
        VariantInit(&result);
        Call(name, std::move(args), &result);
        std::wstring text = Text(result);
        VariantClear(&result);
        return text;
    }
    std::wstring Eval(const std::wstring& expression)
    {
        VARIANT result;
        VariantInit(&result);
        host_.Eval(expression, &result);
        std::wstring text = Text(result);
        VariantClear(&result);
        return text;
    }
    // The sixteen values of a game as the program sends them.
    HRESULT Game(unsigned id, const wchar_t* name, const wchar_t* status, unsigned release,
                 unsigned installed = 0, unsigned runs = 0)
    {
        return Call(L"inGameUpdate",
                    {UintArg(id), UintArg(0), TextArg(name), TextArg(L"About the game."),
                     TextArg(status), UintArg(release), UintArg(2457), UintArg(installed),
                     UintArg(runs), TextArg(nullptr), TextArg(nullptr), TextArg(nullptr),
                     TextArg(nullptr), TextArg(nullptr), UintArg(0), TextArg(nullptr)});
    }
    HRESULT Option(const wchar_t* name, const wchar_t* value)
    {
        return Call(L"inOptionLoad", {TextArg(name), TextArg(value)});
    }

private:
    ResourceModule module_;
    FakeDom dom_;
    ScriptHost host_;
    bool loaded_ = false;
};

// ---- every page of every theme -------------------------------------------

class EveryPage : public ComApartment, public ::testing::WithParamInterface<ThemeBuild> {};

std::string ThemeNameOf(const ::testing::TestParamInfo<ThemeBuild>& info)
{
    std::string name = zeltest::Utf8(info.param.name);
    std::replace(name.begin(), name.end(), '-', '_');
    return name;
}

void ExpectFunction(Page& page, const PageFunction& function, const std::string& where)
{
    std::wstring name = function.name;
    EXPECT_EQ(L"function", page.Eval(L"typeof " + name)) << where << " " << zeltest::Utf8(name);
    EXPECT_EQ(std::to_wstring(function.parameters), page.Eval(name + L".length"))
        << where << " " << zeltest::Utf8(name);
    DISPID id = DISPID_UNKNOWN;
    EXPECT_EQ(S_OK, page.host().LookUp(name, &id)) << where << " " << zeltest::Utf8(name);
}

TEST_P(EveryPage, MainPageRunsAndDefinesThePageFunctions)
{
    Page page(GetParam().name, L"main.html");
    ASSERT_TRUE(page.loaded()) << page.errors();
    for (const PageFunction& function : kPageFunctions) {
        if (!GetParam().probe && std::wstring(function.name) == L"inTestQuivmarkSkin") {
            // The program's probe must find no such name.
            DISPID id = DISPID_UNKNOWN;
            EXPECT_EQ(DISP_E_UNKNOWNNAME, page.host().LookUp(function.name, &id));
            continue;
        }
        ExpectFunction(page, function, "main.html");
    }
    EXPECT_EQ("", page.errors());
}

TEST_P(EveryPage, BalloonPageRunsAndDefinesItsPageFunctions)
{
    Page page(GetParam().name, L"balloon.html");
    ASSERT_TRUE(page.loaded()) << page.errors();
    for (const PageFunction& function : kPageFunctions) {
        bool balloonFunction = std::find_if(std::begin(kBalloonFunctions), std::end(kBalloonFunctions),
                                            [&](const wchar_t* n) { return std::wstring(n) == function.name; }) !=
                               std::end(kBalloonFunctions);
        bool probe = std::wstring(function.name) == L"inTestQuivmarkSkin";
        // The recording balloon records everything; others need their own.
        if (balloonFunction || (GetParam().recording && (!probe || GetParam().probe)))
            ExpectFunction(page, function, "balloon.html");
    }
    EXPECT_EQ("", page.errors());
}

INSTANTIATE_TEST_SUITE_P(Themes, EveryPage, ::testing::ValuesIn(AllThemes()), ThemeNameOf);

// ---- the default theme's main page ---------------------------------------

class DefaultMainPage : public ComApartment {
protected:
    void SetUp() override
    {
        ComApartment::SetUp();
        page = std::make_unique<Page>(L"default", L"main.html");
        ASSERT_TRUE(page->loaded()) << page->errors();
        ASSERT_EQ(S_OK, page->dom().window()->Fire(L"onload")) << page->errors();
    }
    void TearDown() override
    {
        page.reset();
        ComApartment::TearDown();
    }

    // The feed the program gives a freshly loaded page: games, options, then
    // the call to draw.
    void Feed()
    {
        ASSERT_EQ(S_OK, page->Game(1, L"Alpha", L" ", 5));
        ASSERT_EQ(S_OK, page->Game(2, L"Beta <b>", L" inst ", 5, 1700000000, 3));
        ASSERT_EQ(S_OK, page->Game(3, L"Gamma", L" hide ", 5));
        ASSERT_EQ(S_OK, page->Game(4, L"Delta", L" ", 6));
        ASSERT_EQ(S_OK, page->Option(L"games_dll", L"C:\\Games\\games.dll"));
        ASSERT_EQ(S_OK, page->Option(L"lastselectgame", L"2"));
        ASSERT_EQ(S_OK, page->Option(L"ver", L"4.42"));
        ASSERT_EQ(S_OK, page->Call(L"inRender", {BoolArg(true)}));
        ASSERT_EQ("", page->errors());
    }

    std::vector<std::wstring>& calls() { return page->dom().calls; }
    FakeObject* byId(const wchar_t* id) { return page->byId(id); }
    // Item i of the game list; a detached element when there is none, so a
    // short list fails the expectations rather than the test program.
    FakeObject* ListItem(size_t i)
    {
        const auto& items = byId(L"list")->children();
        return i < items.size() ? items[i] : page->dom().Create(FakeObject::Kind::Element, L"none");
    }

    std::unique_ptr<Page> page;
};

TEST_F(DefaultMainPage, SizesTheWindowWhenLoaded)
{
    EXPECT_EQ(std::vector<std::wstring>{L"windowInit(800,560)"}, calls());
}

TEST_F(DefaultMainPage, ListsTheShownGamesWithTheirState)
{
    Feed();
    FakeObject* list = byId(L"list");
    ASSERT_EQ(3u, list->children().size()) << zeltest::Utf8(list->Text()) << page->errors();
    EXPECT_EQ(L"game1", ListItem(0)->PropertyText(L"id"));
    EXPECT_EQ(L"game2", ListItem(1)->PropertyText(L"id"));
    EXPECT_EQ(L"game4", ListItem(2)->PropertyText(L"id"));
    // A hidden game is not listed; names are shown as text, not markup.
    EXPECT_EQ(std::wstring::npos, list->Text().find(L"Gamma"));
    EXPECT_NE(std::wstring::npos, ListItem(1)->Text().find(L"Beta <b>"));
    EXPECT_NE(std::wstring::npos, ListItem(1)->Text().find(L"installed"));
    EXPECT_EQ(std::wstring::npos, ListItem(0)->Text().find(L"installed"));
    // The game of the latest release is new.
    EXPECT_NE(std::wstring::npos, ListItem(2)->Text().find(L"new"));
    EXPECT_EQ(std::wstring::npos, ListItem(0)->Text().find(L"new"));

    // The stored selection is shown.
    EXPECT_NE(std::wstring::npos, ListItem(1)->PropertyText(L"className").find(L"selected"));
    EXPECT_EQ(L"Beta <b>", byId(L"detailName")->Text());
    EXPECT_EQ(L"Installed, played 3 times", byId(L"detailStatus")->Text());
    EXPECT_FALSE(byId(L"playButton")->Hidden());
    EXPECT_FALSE(byId(L"removeButton")->Hidden());
    EXPECT_EQ(L"Version 4.42", byId(L"version")->Text());
    EXPECT_EQ(L"3 games", byId(L"gameCount")->Text());
    EXPECT_EQ(L"res://C:\\Games\\games.dll/SMALL/S2.PIC", byId(L"detailImage")->PropertyText(L"src"));
}

TEST_F(DefaultMainPage, ClickingAGameSavesTheSelectionOnce)
{
    Feed();
    calls().clear();
    ASSERT_EQ(S_OK, ListItem(0)->Fire(L"onclick"));
    EXPECT_EQ(std::vector<std::wstring>{L"optionSave(\"lastselectgame\",\"1\")"}, calls());
    EXPECT_EQ(L"Alpha", byId(L"detailName")->Text());
    EXPECT_EQ(L"Not installed", byId(L"detailStatus")->Text());
    EXPECT_TRUE(byId(L"playButton")->Hidden());

    // The program echoes the stored option and feeds the page again; neither
    // saves anything anew.
    ASSERT_EQ(S_OK, page->Option(L"lastselectgame", L"1"));
    Feed();
    ASSERT_EQ(S_OK, page->Option(L"lastselectgame", L"1"));
    ASSERT_EQ(S_OK, page->Call(L"inRender", {BoolArg(true)}));
    ASSERT_EQ(S_OK, ListItem(0)->Fire(L"onclick"));
    EXPECT_EQ(1u, calls().size());
}

TEST_F(DefaultMainPage, ButtonsCallTheProgram)
{
    Feed();
    calls().clear();
    ASSERT_EQ(S_OK, byId(L"playButton")->Fire(L"onclick"));
    ASSERT_EQ(S_OK, ListItem(1)->Fire(L"ondblclick"));
    ASSERT_EQ(S_OK, ListItem(0)->Fire(L"ondblclick"));  // not installed: nothing
    ASSERT_EQ(S_OK, byId(L"caption")->Fire(L"onmousedown"));
    ASSERT_EQ(S_OK, byId(L"minimizeButton")->Fire(L"onclick"));
    ASSERT_EQ(S_OK, byId(L"closeButton")->Fire(L"onclick"));
    std::vector<std::wstring> expected = {L"gameRun(2)", L"gameRun(2)", L"windowMove()",
                                          L"windowMinimize()", L"windowClose()"};
    EXPECT_EQ(expected, calls()) << page->errors();
}

TEST_F(DefaultMainPage, RemovingAGameAsksFirst)
{
    Feed();
    calls().clear();
    ASSERT_EQ(S_OK, byId(L"removeButton")->Fire(L"onclick"));
    EXPECT_TRUE(calls().empty());
    EXPECT_FALSE(byId(L"overlay")->Hidden());
    EXPECT_NE(std::wstring::npos, byId(L"dialogText")->Text().find(L"Beta <b>"));
    ASSERT_EQ(S_OK, byId(L"dialogNo")->Fire(L"onclick"));
    EXPECT_TRUE(byId(L"overlay")->Hidden());
    EXPECT_TRUE(calls().empty());

    ASSERT_EQ(S_OK, byId(L"removeButton")->Fire(L"onclick"));
    ASSERT_EQ(S_OK, byId(L"dialogYes")->Fire(L"onclick"));
    EXPECT_EQ(std::vector<std::wstring>{L"gameDelete(2)"}, calls());
    EXPECT_TRUE(byId(L"overlay")->Hidden());
}

TEST_F(DefaultMainPage, EveryMessageCodeHasItsOwnWords)
{
    Feed();
    const unsigned codes[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 11, 12, 13, 101,
                              300, 301, 302, 310, 311, 312, 400, 401, 402};
    std::vector<std::wstring> seen;
    for (unsigned code : codes) {
        ASSERT_EQ(S_OK, page->Call(L"inMsgBox", {UintArg(code)})) << code;
        std::wstring words = byId(L"dialogText")->Text();
        EXPECT_FALSE(words.empty()) << code;
        EXPECT_EQ(std::wstring::npos, words.find(L"Something went wrong")) << code;
        EXPECT_FALSE(Contains(seen, words)) << code << " says what another code says";
        EXPECT_FALSE(byId(L"overlay")->Hidden()) << code;
        EXPECT_TRUE(byId(L"dialogNo")->Hidden()) << code;
        seen.push_back(words);
        ASSERT_EQ(S_OK, byId(L"dialogYes")->Fire(L"onclick"));
        EXPECT_TRUE(byId(L"overlay")->Hidden());
    }
    // The key of code 402 is shown with it; an unknown code still says
    // something.
    ASSERT_EQ(S_OK, page->Call(L"inMsgBox", {UintArg(402), TextArg(L"ABCD-1234")}));
    EXPECT_NE(std::wstring::npos, byId(L"dialogText")->Text().find(L"ABCD-1234"));
    ASSERT_EQ(S_OK, page->Call(L"inMsgBox", {UintArg(77)}));
    EXPECT_NE(std::wstring::npos, byId(L"dialogText")->Text().find(L"77"));
    EXPECT_EQ("", page->errors());
    EXPECT_TRUE(calls().size() == 1);  // windowInit only
}

TEST_F(DefaultMainPage, SharingGoesToTheNetworkThatLoggedIn)
{
    Feed();
    calls().clear();
    ASSERT_EQ(S_OK, byId(L"facebookButton")->Fire(L"onclick"));
    ASSERT_EQ(S_OK, byId(L"vkontakteButton")->Fire(L"onclick"));
    ASSERT_EQ(S_OK, page->Call(L"inShowShareDialog", {UintArg(2), UintArg(1)}));
    EXPECT_NE(std::wstring::npos, byId(L"dialogText")->Text().find(L"Facebook"));
    ASSERT_EQ(S_OK, byId(L"dialogYes")->Fire(L"onclick"));
    ASSERT_EQ(S_OK, page->Call(L"inShowShareDialog", {UintArg(4), UintArg(0)}));
    EXPECT_NE(std::wstring::npos, byId(L"dialogText")->Text().find(L"VKontakte"));
    ASSERT_EQ(S_OK, byId(L"dialogYes")->Fire(L"onclick"));
    std::vector<std::wstring> expected = {L"gameToFacebook(2)", L"gameToVkontakte(2)",
                                          L"shareGameToFacebook(2)", L"shareGameToVkontakte(4)"};
    EXPECT_EQ(expected, calls());
}

TEST_F(DefaultMainPage, AdvertisementOpensItsAddress)
{
    Feed();
    EXPECT_TRUE(byId(L"ad")->Hidden());
    calls().clear();
    ASSERT_EQ(S_OK, page->Call(L"inAdUpdate", {TextArg(L"http://ads.test/click"),
                                               TextArg(L"http://ads.test/banner.png")}));
    EXPECT_FALSE(byId(L"ad")->Hidden());
    EXPECT_EQ(L"http://ads.test/banner.png", byId(L"adImage")->PropertyText(L"src"));
    ASSERT_EQ(S_OK, byId(L"adImage")->Fire(L"onclick"));
    EXPECT_EQ(std::vector<std::wstring>{L"kernelUrl(\"http://ads.test/click\")"}, calls());
}

TEST_F(DefaultMainPage, DrawsOnlyWhenTheProgramSaysSo)
{
    ASSERT_EQ(S_OK, page->Game(5, L"Epsilon", L" ", 1));
    EXPECT_TRUE(byId(L"list")->children().empty());
    EXPECT_EQ(0u, page->dom().PendingTimers());
    ASSERT_EQ(S_OK, page->Call(L"inRender", {BoolArg(true)}));
    EXPECT_NE(std::wstring::npos, byId(L"list")->Text().find(L"Epsilon"));

    // While drawing, a change is drawn soon after, once for many changes.
    ASSERT_EQ(S_OK, page->Game(5, L"Epsilon Two", L" inst ", 1, 1));
    ASSERT_EQ(S_OK, page->Game(6, L"Zeta", L" ", 1));
    EXPECT_EQ(1u, page->dom().PendingTimers());
    ASSERT_TRUE(page->dom().RunTimers()) << page->errors();
    EXPECT_NE(std::wstring::npos, byId(L"list")->Text().find(L"Epsilon Two"));
    EXPECT_NE(std::wstring::npos, byId(L"list")->Text().find(L"Zeta"));

    // An update run holds the drawing until it ends.
    ASSERT_EQ(S_OK, page->Call(L"inRender", {BoolArg(false)}));
    ASSERT_EQ(S_OK, page->Game(7, L"Eta", L" ", 1));
    EXPECT_EQ(0u, page->dom().PendingTimers());
    EXPECT_EQ(std::wstring::npos, byId(L"list")->Text().find(L"Eta"));
    ASSERT_EQ(S_OK, page->Call(L"inRender", {BoolArg(true)}));
    EXPECT_NE(std::wstring::npos, byId(L"list")->Text().find(L"Eta"));
    EXPECT_EQ("", page->errors());
}

TEST_F(DefaultMainPage, AnswersTheProgramsQuestions)
{
    VARIANT result;
    VariantInit(&result);
    ASSERT_EQ(S_OK, page->Call(L"inTestQuivmarkSkin", {}, &result));
    EXPECT_EQ(VT_BOOL, result.vt);
    EXPECT_EQ(VARIANT_TRUE, result.boolVal);
    VariantClear(&result);
    std::wstring app = page->CallForText(L"inSkinInfo", {});
    EXPECT_FALSE(app.empty());
    EXPECT_LT(app.size(), 256u);  // the program keeps at most 255 characters
}

TEST_F(DefaultMainPage, SelectingFromOutsideShowsTheGameWithoutSavingIt)
{
    Feed();
    calls().clear();
    ASSERT_EQ(S_OK, byId(L"tabMine")->Fire(L"onclick"));
    EXPECT_EQ(1u, byId(L"list")->children().size());
    ASSERT_EQ(S_OK, page->Call(L"inGameSelect", {UintArg(4)}));
    EXPECT_EQ(L"Delta", byId(L"detailName")->Text());
    EXPECT_EQ(3u, byId(L"list")->children().size());  // back to all games
    EXPECT_TRUE(calls().empty());
    ASSERT_EQ(S_OK, byId(L"tabNew")->Fire(L"onclick"));
    ASSERT_EQ(1u, byId(L"list")->children().size());
    EXPECT_EQ(L"game4", ListItem(0)->PropertyText(L"id"));
    EXPECT_EQ("", page->errors());
}

// ---- the default theme's balloon page ------------------------------------

class DefaultBalloonPage : public ComApartment {};

TEST_F(DefaultBalloonPage, NewGameReportsItsSizeAndLeadsToTheGame)
{
    Page page(L"default", L"balloon.html");
    ASSERT_TRUE(page.loaded()) << page.errors();
    ASSERT_EQ(S_OK, page.Option(L"games_dll", L"C:\\Games\\games.dll"));
    VARIANT size;
    VariantInit(&size);
    ASSERT_EQ(S_OK, page.Call(L"inNewGame", {UintArg(7), UintArg(12), TextArg(L"Zeta"),
                                             TextArg(L"A new puzzle.")}, &size));
    ASSERT_EQ(VT_DISPATCH, size.vt);
    int width = 0, height = 0;
    EXPECT_TRUE(IntProperty(size.pdispVal, L"width", &width));
    EXPECT_TRUE(IntProperty(size.pdispVal, L"height", &height));
    VariantClear(&size);
    EXPECT_EQ(320, width);
    EXPECT_EQ(120, height);
    EXPECT_EQ(L"Zeta", page.byId(L"title")->Text());
    EXPECT_EQ(L"A new puzzle.", page.byId(L"text")->Text());
    EXPECT_EQ(L"res://C:\\Games\\games.dll/SMALL/S7.PIC", page.byId(L"image")->PropertyText(L"src"));

    ASSERT_EQ(S_OK, page.byId(L"actionButton")->Fire(L"onclick"));
    std::vector<std::wstring> expected = {L"gameSelect(7)", L"windowClose()"};
    EXPECT_EQ(expected, page.dom().calls);
    EXPECT_EQ("", page.errors());
}

TEST_F(DefaultBalloonPage, NewsOpensItsLinkAndTheBalloonClosesItself)
{
    Page page(L"default", L"balloon.html");
    ASSERT_TRUE(page.loaded()) << page.errors();
    VARIANT size;
    VariantInit(&size);
    ASSERT_EQ(S_OK, page.Call(L"inNews", {TextArg(L"Sale"), TextArg(L"Half price today."),
                                          TextArg(L"http://site.test/sale.png"),
                                          TextArg(L"http://site.test/sale")}, &size));
    ASSERT_EQ(VT_DISPATCH, size.vt);
    int width = 0;
    EXPECT_TRUE(IntProperty(size.pdispVal, L"width", &width));
    VariantClear(&size);
    EXPECT_EQ(320, width);
    EXPECT_EQ(L"Sale", page.byId(L"title")->Text());
    EXPECT_EQ(L"http://site.test/sale.png", page.byId(L"image")->PropertyText(L"src"));

    ASSERT_EQ(S_OK, page.byId(L"actionButton")->Fire(L"onclick"));
    ASSERT_EQ(S_OK, page.byId(L"closeButton")->Fire(L"onclick"));
    std::vector<std::wstring> expected = {L"kernelUrl(\"http://site.test/sale\")", L"windowClose()",
                                          L"windowClose()"};
    EXPECT_EQ(expected, page.dom().calls);

    // Left alone, it closes after a while.
    Page idle(L"default", L"balloon.html");
    ASSERT_TRUE(idle.loaded());
    ASSERT_EQ(S_OK, idle.Call(L"inNews", {TextArg(L"a"), TextArg(L"b"), TextArg(L""), TextArg(L"")}));
    ASSERT_EQ(1u, idle.dom().PendingTimers());
    ASSERT_TRUE(idle.dom().RunTimers());
    EXPECT_EQ(std::vector<std::wstring>{L"windowClose()"}, idle.dom().calls);
    EXPECT_EQ("", page.errors());
}

// ---- the recording theme -------------------------------------------------

class RecordingPage : public ComApartment {};

TEST_F(RecordingPage, LogsEveryCallWithItsArgumentsAndTypesInOrder)
{
    Page page(L"testing", L"main.html");
    ASSERT_TRUE(page.loaded()) << page.errors();
    EXPECT_EQ(L"main", page.CallForText(L"testPage", {}));
    EXPECT_EQ(L"", page.CallForText(L"testLog", {}));

    ASSERT_EQ(S_OK, page.Option(L"theme", L"a|b\\c\nd\x01"));
    ASSERT_EQ(S_OK, page.Call(L"inRender", {BoolArg(true)}));
    ASSERT_EQ(S_OK, page.Call(L"inGameUpdate",
                              {UintArg(5), UintArg(4294967295u), TextArg(L"Name"), TextArg(L"Desc"),
                               TextArg(L" hide "), UintArg(3), UintArg(2457), UintArg(0), UintArg(9),
                               TextArg(nullptr), TextArg(L"i1"), TextArg(L"i2"), TextArg(L"i3"),
                               TextArg(L"i4"), UintArg(1), TextArg(L"utm")}));
    ASSERT_EQ(S_OK, page.Call(L"inMsgBox", {UintArg(12)}));
    ASSERT_EQ(S_OK, page.Call(L"inMsgBox", {UintArg(402), TextArg(L"KEY")}));
    ASSERT_EQ(S_OK, page.Call(L"inShowShareDialog", {UintArg(77), UintArg(1)}));
    ASSERT_EQ(S_OK, page.Call(L"inGameSelect", {UintArg(8)}));
    ASSERT_EQ(S_OK, page.Call(L"inAdUpdate", {TextArg(L"click"), TextArg(L"image")}));
    EXPECT_EQ(L"testing", page.CallForText(L"inSkinInfo", {}));
    VARIANT probe;
    VariantInit(&probe);
    ASSERT_EQ(S_OK, page.Call(L"inTestQuivmarkSkin", {}, &probe));
    EXPECT_EQ(VT_BOOL, probe.vt);
    EXPECT_EQ(VARIANT_TRUE, probe.boolVal);
    VARIANT size;
    VariantInit(&size);
    ASSERT_EQ(S_OK, page.Call(L"inNewGame", {UintArg(8), UintArg(0), TextArg(L"N"), TextArg(L"D")},
                              &size));
    int width = 0, height = 0;
    ASSERT_EQ(VT_DISPATCH, size.vt);
    EXPECT_TRUE(IntProperty(size.pdispVal, L"width", &width));
    EXPECT_TRUE(IntProperty(size.pdispVal, L"height", &height));
    VariantClear(&size);
    EXPECT_EQ(300, width);
    EXPECT_EQ(120, height);
    ASSERT_EQ(S_OK, page.Call(L"inNews", {TextArg(L"T"), TextArg(L"D"), TextArg(L"I"), TextArg(L"L")}));

    std::wstring expected =
        L"inOptionLoad|string:theme|string:a\\|b\\\\c\\nd\\x01\n"
        L"inRender|boolean:true\n"
        L"inGameUpdate|number:5|number:4294967295|string:Name|string:Desc|string: hide |number:3"
        L"|number:2457|number:0|number:9|string:|string:i1|string:i2|string:i3|string:i4"
        L"|number:1|string:utm\n"
        L"inMsgBox|number:12\n"
        L"inMsgBox|number:402|string:KEY\n"
        L"inShowShareDialog|number:77|number:1\n"
        L"inGameSelect|number:8\n"
        L"inAdUpdate|string:click|string:image\n"
        L"inSkinInfo\n"
        L"inTestQuivmarkSkin\n"
        L"inNewGame|number:8|number:0|string:N|string:D\n"
        L"inNews|string:T|string:D|string:I|string:L\n";
    EXPECT_EQ(expected, page.CallForText(L"testLog", {}));
    EXPECT_EQ(L"12", page.CallForText(L"testCount", {}));

    ASSERT_EQ(S_OK, page.Call(L"testClear", {}));
    EXPECT_EQ(L"", page.CallForText(L"testLog", {}));
    EXPECT_TRUE(page.dom().calls.empty());  // recording calls nothing
    EXPECT_EQ("", page.errors());
}

TEST_F(RecordingPage, KeepsRecordingWhenTheEngineCannotReadAnArgument)
{
    Page page(L"testing", L"main.html");
    ASSERT_TRUE(page.loaded()) << page.errors();
    page.host().PresentUnsignedAsNumbers(false);
    ASSERT_EQ(S_OK, page.Call(L"inMsgBox", {UintArg(402), TextArg(L"KEY")}));
    ASSERT_EQ(S_OK, page.Call(L"inRender", {BoolArg(true)}));
    // This engine cannot read a VT_UINT; one that can logs it as a number.
    std::wstring log = page.CallForText(L"testLog", {});
    EXPECT_TRUE(log == L"inMsgBox|unknown:|string:KEY\ninRender|boolean:true\n" ||
                log == L"inMsgBox|number:402|string:KEY\ninRender|boolean:true\n")
        << zeltest::Utf8(log);
    EXPECT_EQ("", page.errors());
}

TEST_F(RecordingPage, DrivesTheProgramAndLogsWhatHappensMeanwhile)
{
    Page page(L"testing", L"main.html");
    ASSERT_TRUE(page.loaded()) << page.errors();
    // The program answers optionSave by feeding the option back before the
    // call returns, as its trigger does.
    page.dom().onCall = [&](const std::wstring& name) {
        if (name == L"optionSave")
            page.Option(L"lastselectgame", L"7");
    };
    page.dom().failing[L"gameSelect"] = E_NOTIMPL;

    EXPECT_EQ(L"ok", page.CallForText(L"testCall", {TextArg(L"optionSave"), TextArg(L"lastselectgame"),
                                                    TextArg(L"7")}));
    EXPECT_EQ(L"ok", page.CallForText(L"testCall", {TextArg(L"windowInit"), UintArg(800), UintArg(600)}));
    EXPECT_EQ(L"ok", page.CallForText(L"testCall", {TextArg(L"windowMove")}));
    EXPECT_EQ(L"ok", page.CallForText(L"testCall", {TextArg(L"gameBuy"), TextArg(L"http://store.test/"),
                                                    UintArg(5), UintArg(0)}));
    EXPECT_EQ(L"error:0x80004001", page.CallForText(L"testCall", {TextArg(L"gameSelect"), UintArg(3)}));

    std::vector<std::wstring> expectedCalls = {
        L"optionSave(\"lastselectgame\",\"7\")", L"windowInit(800,600)", L"windowMove()",
        L"gameBuy(\"http://store.test/\",5,0)", L"gameSelect(3)"};
    EXPECT_EQ(expectedCalls, page.dom().calls);
    std::wstring expectedLog =
        L">optionSave|string:lastselectgame|string:7\n"
        L"inOptionLoad|string:lastselectgame|string:7\n"
        L"<optionSave|ok\n"
        L">windowInit|number:800|number:600\n"
        L"<windowInit|ok\n"
        L">windowMove\n"
        L"<windowMove|ok\n"
        L">gameBuy|string:http://store.test/|number:5|number:0\n"
        L"<gameBuy|ok\n"
        L">gameSelect|number:3\n"
        L"<gameSelect|error:0x80004001\n";
    EXPECT_EQ(expectedLog, page.CallForText(L"testLog", {}));
    EXPECT_EQ("", page.errors());
}

TEST_F(RecordingPage, AnswersAsTheTestSays)
{
    Page page(L"testing", L"balloon.html");
    ASSERT_TRUE(page.loaded()) << page.errors();
    EXPECT_EQ(L"balloon", page.CallForText(L"testPage", {}));

    ASSERT_EQ(S_OK, page.Call(L"testReturn", {TextArg(L"inSkinInfo"), TextArg(L"abc")}));
    EXPECT_EQ(L"abc", page.CallForText(L"inSkinInfo", {}));

    // A number where the program wants an object with a size.
    ASSERT_EQ(S_OK, page.Call(L"testReturn", {TextArg(L"inNewGame"), UintArg(5)}));
    VARIANT result;
    VariantInit(&result);
    ASSERT_EQ(S_OK, page.Call(L"inNewGame", {UintArg(1), UintArg(0), TextArg(L"n"), TextArg(L"d")},
                              &result));
    EXPECT_NE(VT_DISPATCH, result.vt);
    VariantClear(&result);

    ASSERT_EQ(S_OK, page.Call(L"testReturnSize", {TextArg(L"inNews"), UintArg(250), UintArg(90)}));
    ASSERT_EQ(S_OK, page.Call(L"inNews", {TextArg(L"t"), TextArg(L"d"), TextArg(L"i"), TextArg(L"l")},
                              &result));
    int height = 0;
    ASSERT_EQ(VT_DISPATCH, result.vt);
    EXPECT_TRUE(IntProperty(result.pdispVal, L"height", &height));
    EXPECT_EQ(90, height);
    VariantClear(&result);

    // A function that throws fails the program's call, and is still logged.
    ASSERT_EQ(S_OK, page.Call(L"testThrow", {TextArg(L"inRender"), TextArg(L"boom")}));
    EXPECT_NE(S_OK, page.Call(L"inRender", {BoolArg(false)}));
    EXPECT_NE(std::wstring::npos, page.CallForText(L"testLog", {}).find(L"inRender|boolean:false\n"));

    ASSERT_EQ(S_OK, page.Call(L"testReset", {}));
    EXPECT_EQ(S_OK, page.Call(L"inRender", {BoolArg(true)}));
    EXPECT_EQ(L"testing", page.CallForText(L"inSkinInfo", {}));
    ASSERT_EQ(S_OK, page.Call(L"inNewGame", {UintArg(1), UintArg(0), TextArg(L"n"), TextArg(L"d")},
                              &result));
    EXPECT_EQ(VT_DISPATCH, result.vt);
    VariantClear(&result);
}

}  // namespace
