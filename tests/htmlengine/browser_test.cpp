// The stand-in engine embedded in a container of the test's own, showing
// pages of a resource module: events, host questions, page calls in both
// directions, the document the scripts produced, frames, failures.
#include "htmlengine/hooks.h"
#include "test_container.h"

#include <gtest/gtest.h>

#include <mshtml.h>
#include <urlmon.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

using namespace enginetest;
using testkit::BoolArg;
using testkit::CallMember;
using testkit::ElementProperty;
using testkit::GetIntMember;
using testkit::GetMember;
using testkit::NullTextArg;
using testkit::PageScript;
using testkit::PumpFor;
using testkit::PumpUntil;
using testkit::TextArg;
using testkit::TextOf;
using testkit::UintArg;

namespace {

bool SameObject(IUnknown* a, IUnknown* b)
{
    if (!a || !b) return false;
    ComRef<IUnknown> ua, ub;
    a->QueryInterface(IID_IUnknown, ua.putVoid());
    b->QueryInterface(IID_IUnknown, ub.putVoid());
    return ua.get() == ub.get();
}

std::wstring LocationOf(IWebBrowser2* browser)
{
    testkit::Bstr url;
    browser->get_LocationURL(url.put());
    return url.str();
}

class EngineTest : public enginetest::ContainerTest {
protected:
    std::vector<Event>& events() { return container_->sink().events; }

    // Calls a page function of the shown page; the result's text.
    std::wstring call(const wchar_t* name, const std::vector<Variant>& args = {})
    {
        Variant result;
        const HRESULT hr = CallMember(PageScript(browser()).get(), name, args, &result);
        EXPECT_EQ(S_OK, hr) << "page function " << std::wstring(name);
        return TextOf(result.get());
    }

    std::wstring element(const wchar_t* id, const wchar_t* property)
    {
        return ElementProperty(PageScript(browser()).get(), id, property);
    }

    void loadMain()
    {
        ASSERT_TRUE(host().navigateAndWait(PageUrl(L"html/main.html")));
        ASSERT_EQ(L"DocumentComplete", events().back().name);
    }
};

TEST_F(EngineTest, LoadsPageWithEventsInOrderAndAsksTheHost)
{
    const std::wstring url = PageUrl(L"html/main.html");
    ASSERT_TRUE(host().navigateAndWait(url));

    ASSERT_EQ((std::vector<std::wstring>{L"BeforeNavigate2", L"NavigateComplete2", L"DocumentComplete"}),
              host().sink().names());
    for (const Event& e : events()) {
        EXPECT_EQ(url, e.url) << e.name;
        EXPECT_TRUE(e.layoutOk);
        EXPECT_TRUE(SameObject(e.frame.get(), browser()));
    }
    EXPECT_EQ(url, LocationOf(browser()));
    READYSTATE state = READYSTATE_UNINITIALIZED;
    browser()->get_ReadyState(&state);
    EXPECT_EQ(READYSTATE_COMPLETE, state);

    // The host is asked for its flags and keys when the page loads, and
    // for window.external when the page uses it.
    ASSERT_GE(host().hostCalls.size(), 4u);
    EXPECT_EQ(L"GetHostInfo", host().hostCalls[0]);
    EXPECT_EQ(L"GetOptionKeyPath", host().hostCalls[1]);
    EXPECT_EQ(L"GetOverrideKeyPath", host().hostCalls[2]);
    EXPECT_EQ(L"GetExternal", host().hostCalls[3]);

    // The page's script called the host's object during the load.
    ASSERT_EQ(1u, host().external().calls.size());
    const ExternalCall& external = host().external().calls[0];
    EXPECT_EQ(L"hostCall", external.name);
    EXPECT_EQ((std::vector<std::wstring>{L"from page", L"42", L"True"}), external.args);
    EXPECT_EQ(VT_BSTR, external.kinds[0]);
    EXPECT_EQ(VT_BOOL, external.kinds[2]);

    // Scripts ran in document order, src before inline, onload last; the
    // timer runs later on this thread (the one cleared never does).
    EXPECT_EQ(0u, call(L"inLog").find(L"inline script|external: host saw from page|onload"));
    ASSERT_TRUE(PumpUntil([&] { return element(L"timer", L"innerText") == L"fired"; }, 3000));
    EXPECT_EQ(L"inline script|external: host saw from page|onload|timer", call(L"inLog"));
}

TEST_F(EngineTest, PageFunctionsTakeEachArgumentKindAndAnswer)
{
    loadMain();
    EXPECT_EQ(L"number 7, string seven, boolean true",
              call(L"inKinds", {UintArg(7), TextArg(L"seven"), BoolArg(true)}));
    EXPECT_EQ(L"number 0, string , boolean false", call(L"inKinds", {UintArg(0), TextArg(L""), BoolArg(false)}));
    // Unsigned values above the signed range stay what they are.
    EXPECT_EQ(L"4000000005", call(L"inAdd", {UintArg(4000000000u), UintArg(5)}));
    // A null text reaches the page as an empty text.
    EXPECT_EQ(L"hello ", call(L"inGreet", {NullTextArg()}));
    EXPECT_EQ(L"hello Мир", call(L"inGreet", {TextArg(L"Мир")}));
    EXPECT_EQ(L"True", call(L"inNot", {BoolArg(false)}));
    EXPECT_EQ(L"0", call(L"inArgCount"));
    EXPECT_EQ(L"2", call(L"inArgCount", {UintArg(1), TextArg(L"x")}));
    EXPECT_EQ(L"{\"value\":5}", call(L"inJson", {UintArg(5)}));

    Variant size;
    ASSERT_EQ(S_OK, CallMember(PageScript(browser()).get(), L"inSize", {UintArg(300), UintArg(120)}, &size));
    ASSERT_EQ(VT_DISPATCH, size.type());
    long width = 0, height = 0;
    EXPECT_TRUE(GetIntMember(V_DISPATCH(&size.get()), L"width", width));
    EXPECT_TRUE(GetIntMember(V_DISPATCH(&size.get()), L"height", height));
    EXPECT_EQ(300, width);
    EXPECT_EQ(120, height);

    Variant number;
    ASSERT_EQ(S_OK, CallMember(PageScript(browser()).get(), L"inNumberInsteadOfSize", {}, &number));
    EXPECT_NE(VT_DISPATCH, number.type());

    Variant nothing;
    ASSERT_EQ(S_OK, CallMember(PageScript(browser()).get(), L"inNothing", {}, &nothing));
    EXPECT_EQ(VT_EMPTY, nothing.type());

    // A page function that calls back into the host before it returns.
    EXPECT_EQ(L"host saw inside", call(L"inAskHost", {TextArg(L"inside")}));
    EXPECT_EQ(L"inside", host().external().calls.back().args.at(0));
}

TEST_F(EngineTest, MissingFunctionsAndScriptErrorsFail)
{
    loadMain();
    auto script = PageScript(browser());
    ASSERT_TRUE(script);
    Variant result;
    EXPECT_EQ(DISP_E_UNKNOWNNAME, CallMember(script.get(), L"inNoSuchFunction", {}, &result));
    EXPECT_EQ(DISP_E_UNKNOWNNAME, CallMember(script.get(), L"inlog", {}, &result));  // names keep their case
    EXPECT_TRUE(FAILED(CallMember(script.get(), L"inThrow", {}, &result)));
    // The page keeps working after a failed call.
    EXPECT_EQ(L"hello again", call(L"inGreet", {TextArg(L"again")}));
}

TEST_F(EngineTest, ScriptsRecordTheirWorkInTheDocument)
{
    loadMain();
    EXPECT_EQ(L"ready <b>now</b>", element(L"status", L"innerHTML"));
    EXPECT_EQ(L"ready now", element(L"status", L"innerText"));
    EXPECT_EQ(L"ready", element(L"status", L"className"));
    EXPECT_EQ(L"<li id=\"item1\">item 1</li><li id=\"item2\">item 2</li><li id=\"item3\">item 3</li>",
              element(L"list", L"innerHTML"));
    EXPECT_EQ(L"item 2", element(L"item2", L"innerText"));
    EXPECT_EQ(L"changed", element(L"name", L"value"));
    EXPECT_EQ(L"second.html", element(L"link", L"href"));
    EXPECT_EQ(L"Go & see", element(L"go", L"innerText"));
    bool found = true;
    ElementProperty(PageScript(browser()).get(), L"nowhere", L"innerText", &found);
    EXPECT_FALSE(found);

    // The style object keeps what the script set.
    auto script = PageScript(browser());
    Variant document, status, style, color;
    ASSERT_EQ(S_OK, GetMember(script.get(), L"document", &document));
    ASSERT_EQ(S_OK, CallMember(V_DISPATCH(&document.get()), L"getElementById", {TextArg(L"status")}, &status));
    ASSERT_EQ(S_OK, GetMember(V_DISPATCH(&status.get()), L"style", &style));
    ASSERT_EQ(S_OK, GetMember(V_DISPATCH(&style.get()), L"color", &color));
    EXPECT_EQ(L"green", TextOf(color.get()));

    // An inline onclick handler runs when the element is clicked.
    const std::wstring log = call(L"inClick", {TextArg(L"go")});
    EXPECT_EQ(0u, log.find(L"inline script|external: host saw from page|onload"));
    EXPECT_EQ(log.size() - 11, log.rfind(L"|clicked go"));

    // The whole body reads back as markup.
    Variant body, markup;
    ASSERT_EQ(S_OK, GetMember(V_DISPATCH(&document.get()), L"body", &body));
    ASSERT_EQ(S_OK, GetMember(V_DISPATCH(&body.get()), L"innerHTML", &markup));
    EXPECT_NE(std::wstring::npos, TextOf(markup.get()).find(L"<div id=\"status\" class=\"ready\">ready <b>now</b></div>"));
}

TEST_F(EngineTest, CancelledNavigationLeavesThePageAsItWas)
{
    loadMain();
    const std::wstring main = PageUrl(L"html/main.html");
    const std::wstring plain = PageUrl(L"plain.html");
    host().sink().cancelBefore = [&](const std::wstring& url) { return url == plain; };
    const size_t from = events().size();
    ASSERT_EQ(S_OK, host().navigate(plain));
    ASSERT_TRUE(PumpUntil([&] { return events().size() > from; }));
    PumpFor(300);
    ASSERT_EQ(from + 1, events().size());
    EXPECT_EQ(L"BeforeNavigate2", events().back().name);
    EXPECT_EQ(main, LocationOf(browser()));
    EXPECT_EQ(0u, call(L"inLog").find(L"inline script|external: host saw from page|onload"));
}

TEST_F(EngineTest, UnreadableAddressesEndInNavigateError)
{
    loadMain();
    const std::wstring missing = PageUrl(L"html/missing.html");

    // Cancelled by the sink: nothing is shown, the old page stays.
    host().sink().cancelErrors = true;
    size_t from = events().size();
    ASSERT_TRUE(host().navigateAndWait(missing));
    PumpFor(200);
    ASSERT_EQ(from + 2, events().size());
    EXPECT_EQ(L"BeforeNavigate2", events()[from].name);
    const Event& error = events()[from + 1];
    EXPECT_EQ(L"NavigateError", error.name);
    EXPECT_EQ(missing, error.url);
    EXPECT_TRUE(error.layoutOk);
    EXPECT_EQ(static_cast<long>(INET_E_RESOURCE_NOT_FOUND), error.status);
    EXPECT_LT(error.status, 0);
    EXPECT_EQ(PageUrl(L"html/main.html"), LocationOf(browser()));

    // Not cancelled: an empty page stands at the failed address and
    // completes like any page, without the functions of a real one.
    host().sink().cancelErrors = false;
    from = events().size();
    ASSERT_EQ(S_OK, host().navigate(missing));
    ASSERT_TRUE(PumpUntil([&] { return !events().empty() && events().back().name == L"DocumentComplete"; }));
    const auto names = host().sink().names();
    EXPECT_EQ((std::vector<std::wstring>{L"BeforeNavigate2", L"NavigateError", L"NavigateComplete2",
                                         L"DocumentComplete"}),
              std::vector<std::wstring>(names.begin() + static_cast<long>(from), names.end()));
    EXPECT_EQ(missing, events().back().url);
    Variant result;
    EXPECT_EQ(DISP_E_UNKNOWNNAME, CallMember(PageScript(browser()).get(), L"inLog", {}, &result));

    // A module that does not exist, and an address of no known kind.
    host().sink().cancelErrors = true;
    ASSERT_TRUE(host().navigateAndWait(L"res://C:\\no\\such\\module.dll/html/main.html"));
    EXPECT_EQ(L"NavigateError", events().back().name);
    EXPECT_LT(events().back().status, 0);
    ASSERT_TRUE(host().navigateAndWait(L"gopher-like://nowhere/"));
    EXPECT_EQ(L"NavigateError", events().back().name);
    EXPECT_EQ(static_cast<long>(INET_E_UNKNOWN_PROTOCOL), events().back().status);
}

TEST_F(EngineTest, ResourceAddressesResolveAsInternetExplorerDoes)
{
    // One part after the module: an HTML resource (type 23) of that name.
    ASSERT_TRUE(host().navigateAndWait(PageUrl(L"plain.html")));
    EXPECT_EQ(L"plain", call(L"inWhere"));
    // An empty page completes too.
    ASSERT_TRUE(host().navigateAndWait(L"about:blank"));
    EXPECT_TRUE(host().sink().has(L"DocumentComplete", L"about:blank"));
    Variant none;
    EXPECT_EQ(DISP_E_UNKNOWNNAME, CallMember(PageScript(browser()).get(), L"inWhere", {}, &none));
    // Two parts: the first names the type; "#23" and "23" are the number.
    ASSERT_TRUE(host().navigateAndWait(PageUrl(L"23/plain.html")));
    EXPECT_EQ(L"plain", call(L"inWhere"));
    ASSERT_TRUE(host().navigateAndWait(PageUrl(L"%2323/plain.html")));
    EXPECT_EQ(L"DocumentComplete", events().back().name);
    // An escaped slash belongs to the name.
    ASSERT_TRUE(host().navigateAndWait(PageUrl(L"dir%2Fnested.html")));
    EXPECT_EQ(L"nested", call(L"inWhere"));
    // Names and types are not case-sensitive; a fragment is not part of the name.
    ASSERT_TRUE(host().navigateAndWait(PageUrl(L"HTML/MAIN.HTML#part")));
    EXPECT_EQ(L"DocumentComplete", events().back().name);
    EXPECT_EQ(L"hello x", call(L"inGreet", {TextArg(L"x")}));
    // A module under another name and in a folder with a space (as a
    // temporary copy of a theme is).
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring folder = std::wstring(temp) + L"engine pages";
    CreateDirectoryW(folder.c_str(), nullptr);
    const std::wstring copy = folder + L"\\theme 1.tmp";
    ASSERT_TRUE(CopyFileW(PagesModulePath().c_str(), copy.c_str(), FALSE));
    ASSERT_TRUE(host().navigateAndWait(L"res://" + copy + L"/html/main.html"));
    EXPECT_EQ(L"DocumentComplete", events().back().name);
    EXPECT_EQ(L"hello copy", call(L"inGreet", {TextArg(L"copy")}));
    // The module is not held: the copy can go while its page is shown.
    EXPECT_TRUE(DeleteFileW(copy.c_str()));
    RemoveDirectoryW(folder.c_str());
    // "html/main.html" is the type html, not an HTML resource of that name.
    host().sink().cancelErrors = true;
    ASSERT_TRUE(host().navigateAndWait(PageUrl(L"html/plain.html")));
    EXPECT_EQ(L"NavigateError", events().back().name);
}

TEST_F(EngineTest, FramesCompleteBeforeTheirPage)
{
    const std::wstring top = PageUrl(L"html/frames.html");
    const std::wstring first = PageUrl(L"html/frame.html");
    const std::wstring second = PageUrl(L"html/other.html");
    ASSERT_TRUE(host().navigateAndWait(top));
    ASSERT_EQ(9u, events().size());
    const std::vector<std::pair<std::wstring, std::wstring>> expected = {
        {L"BeforeNavigate2", top},   {L"NavigateComplete2", top},   {L"BeforeNavigate2", first},
        {L"NavigateComplete2", first}, {L"DocumentComplete", first}, {L"BeforeNavigate2", second},
        {L"NavigateComplete2", second}, {L"DocumentComplete", second}, {L"DocumentComplete", top}};
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(expected[i].first, events()[i].name) << i;
        EXPECT_EQ(expected[i].second, events()[i].url) << i;
        EXPECT_TRUE(events()[i].layoutOk) << i;
    }
    // Each frame is a browser of its own; its events carry it, not the top.
    EXPECT_TRUE(SameObject(events()[8].frame.get(), browser()));
    IDispatch* firstFrame = events()[4].frame.get();
    IDispatch* secondFrame = events()[7].frame.get();
    EXPECT_FALSE(SameObject(firstFrame, browser()));
    EXPECT_FALSE(SameObject(secondFrame, browser()));
    EXPECT_FALSE(SameObject(firstFrame, secondFrame));
    EXPECT_TRUE(SameObject(events()[2].frame.get(), firstFrame));

    // Each frame runs its own scripts; a frame reaches its parent's.
    auto frameBrowser = ComRef<IDispatch>(secondFrame).query<IWebBrowser2>();
    ASSERT_TRUE(frameBrowser);
    Variant where;
    ASSERT_EQ(S_OK, CallMember(PageScript(frameBrowser.get()).get(), L"inWhere", {}, &where));
    EXPECT_EQ(L"second frame of top", TextOf(where.get()));
    EXPECT_EQ(L"top", call(L"inWhere"));

    // A frame whose navigation the host cancels never completes; its page does.
    host().sink().cancelBefore = [&](const std::wstring& url) { return url == second; };
    const size_t from = events().size();
    ASSERT_TRUE(host().navigateAndWait(top));
    const auto names = host().sink().names();
    EXPECT_EQ((std::vector<std::wstring>{L"BeforeNavigate2", L"NavigateComplete2", L"BeforeNavigate2",
                                         L"NavigateComplete2", L"DocumentComplete", L"BeforeNavigate2",
                                         L"DocumentComplete"}),
              std::vector<std::wstring>(names.begin() + static_cast<long>(from), names.end()));
}

TEST_F(EngineTest, ScriptNavigationsGoThroughTheEvents)
{
    loadMain();
    const std::wstring frame = PageUrl(L"html/frame.html");
    size_t from = events().size();
    EXPECT_EQ(L"", call(L"inGo", {TextArg(L"frame.html")}));
    ASSERT_TRUE(host().waitForEnd(from));
    EXPECT_TRUE(host().sink().has(L"BeforeNavigate2", frame));
    EXPECT_EQ(frame, events().back().url);
    EXPECT_EQ(frame, LocationOf(browser()));
    EXPECT_EQ(L"first frame", call(L"inWhere"));

    // A navigation the page starts from a timer.
    loadMain();
    from = events().size();
    call(L"inGoLater", {TextArg(L"other.html"), UintArg(30)});
    ASSERT_TRUE(host().waitForEnd(from));
    EXPECT_EQ(PageUrl(L"html/other.html"), LocationOf(browser()));

    // The host cancels what the page asked for.
    loadMain();
    host().sink().cancelBefore = [&](const std::wstring& url) { return url == frame; };
    from = events().size();
    call(L"inGo", {TextArg(L"frame.html")});
    ASSERT_TRUE(PumpUntil([&] { return events().size() > from; }));
    PumpFor(200);
    EXPECT_EQ(from + 1, events().size());
    EXPECT_EQ(PageUrl(L"html/main.html"), LocationOf(browser()));
}

TEST_F(EngineTest, ScriptErrorsDoNotStopTheRestOfThePage)
{
    ASSERT_TRUE(host().navigateAndWait(PageUrl(L"html/broken.html")));
    EXPECT_EQ(L"DocumentComplete", events().back().name);
    EXPECT_EQ(L"still running", call(L"inAfterError"));
    EXPECT_EQ(L"before", element(L"before", L"innerText"));
}

TEST_F(EngineTest, ExternalIsUnavailableWhenTheHostHasNone)
{
    host().offerExternal = false;
    loadMain();
    EXPECT_TRUE(host().external().calls.empty());
    Variant result;
    EXPECT_TRUE(FAILED(CallMember(PageScript(browser()).get(), L"inHasExternal", {}, &result)));
    host().offerExternal = true;
    EXPECT_EQ(S_OK, CallMember(PageScript(browser()).get(), L"inHasExternal", {}, &result));
}

TEST_F(EngineTest, HookWindowServesContextMenusAndScriptForOutsideObservers)
{
    wchar_t traceDir[MAX_PATH];
    GetTempPathW(MAX_PATH, traceDir);
    const std::wstring trace = std::wstring(traceDir) + L"htmlengine-trace.txt";
    DeleteFileW(trace.c_str());
    SetEnvironmentVariableW(htmlengine::kTraceVariable, trace.c_str());

    loadMain();
    const std::wstring url = PageUrl(L"html/main.html");
    HWND hook = FindWindowExW(HWND_MESSAGE, nullptr, htmlengine::kHookWindowClass, url.c_str());
    ASSERT_NE(nullptr, hook);

    // A right click as the browser reports it to its host.
    const UINT contextMenu = RegisterWindowMessageW(htmlengine::kContextMenuMessage);
    EXPECT_EQ(S_OK, static_cast<HRESULT>(SendMessageW(hook, contextMenu, CONTEXT_MENU_TEXTSELECT, MAKELPARAM(100, 200))));
    host().contextMenuAnswer = S_FALSE;
    EXPECT_EQ(S_FALSE, static_cast<HRESULT>(SendMessageW(hook, contextMenu, CONTEXT_MENU_CONTROL, MAKELPARAM(5, 6))));
    ASSERT_EQ(2u, host().contextMenus.size());
    EXPECT_EQ(static_cast<DWORD>(CONTEXT_MENU_TEXTSELECT), host().contextMenus[0].id);
    EXPECT_EQ(100, host().contextMenus[0].at.x);
    EXPECT_EQ(200, host().contextMenus[0].at.y);
    EXPECT_EQ(static_cast<DWORD>(CONTEXT_MENU_CONTROL), host().contextMenus[1].id);

    // Script text evaluated in the page; its value goes to the trace.
    EXPECT_EQ(L"hello trace", call(L"inGreet", {TextArg(L"trace")}));
    auto evaluate = [&](const std::wstring& code) {
        COPYDATASTRUCT data{htmlengine::kEvaluateCopyData, static_cast<DWORD>(code.size() * sizeof(wchar_t)),
                            const_cast<wchar_t*>(code.data())};
        return SendMessageW(hook, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data));
    };
    EXPECT_EQ(1, evaluate(L"record('hooked'); document.getElementById('status').className"));
    EXPECT_EQ(0, evaluate(L"this is not script"));
    EXPECT_EQ(L"hooked", call(L"inLog").substr(call(L"inLog").rfind(L'|') + 1));

    SetEnvironmentVariableW(htmlengine::kTraceVariable, nullptr);
    std::ifstream in(std::filesystem::path(trace), std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    const std::string lines = text.str();
    const std::string narrowUrl(url.begin(), url.end());
    EXPECT_NE(std::string::npos, lines.find("event\tBeforeNavigate2 " + narrowUrl + "\n"));
    EXPECT_NE(std::string::npos, lines.find("event\tDocumentComplete " + narrowUrl + "\n"));
    EXPECT_NE(std::string::npos, lines.find("host\tGetOptionKeyPath Software\\enginetest\\bro -> 0x00000000\n"));
    EXPECT_NE(std::string::npos, lines.find("host\tShowContextMenu 4 100,200 -> 0x00000000\n"));
    EXPECT_NE(std::string::npos, lines.find("call\tinGreet(\"trace\") -> \"hello trace\"\n"));
    EXPECT_NE(std::string::npos, lines.find("eval\tready\n"));
    EXPECT_NE(std::string::npos, lines.find("error\t"));
    DeleteFileW(trace.c_str());
}

TEST_F(EngineTest, HostMayCloseTheControlFromInsideACallOfThePage)
{
    loadMain();
    auto script = PageScript(browser());
    host().external().onCall = [&](const ExternalCall& c) {
        if (c.name == L"note") host().close();
    };
    Variant result;
    ASSERT_EQ(S_OK, CallMember(script.get(), L"inCloseHost", {}, &result));
    EXPECT_EQ(L"survived", TextOf(result.get()));
    EXPECT_EQ(nullptr, host().browser());
    // The page is gone; its timers with it.
    EXPECT_EQ(DISP_E_UNKNOWNNAME, CallMember(script.get(), L"inLog", {}, &result));
    PumpFor(150);
}

TEST_F(EngineTest, ControlLivesInPlaceInItsHostWindow)
{
    EXPECT_TRUE(host().inPlaceActive);
    auto inPlace = ComRef<IWebBrowser2>(browser()).query<IOleInPlaceObject>();
    ASSERT_TRUE(inPlace);
    HWND view = nullptr;
    ASSERT_EQ(S_OK, inPlace->GetWindow(&view));
    EXPECT_EQ(host().window(), GetParent(view));
    const RECT rect{10, 20, 590, 420};
    ASSERT_EQ(S_OK, inPlace->SetObjectRects(&rect, &rect));
    LONG width = 0, height = 0;
    browser()->get_Width(&width);
    browser()->get_Height(&height);
    EXPECT_EQ(580, width);
    EXPECT_EQ(400, height);
    RECT placed{};
    GetWindowRect(view, &placed);
    EXPECT_EQ(580, placed.right - placed.left);

    VARIANT_BOOL visible = VARIANT_FALSE;
    ASSERT_EQ(S_OK, browser()->put_Visible(VARIANT_TRUE));
    browser()->get_Visible(&visible);
    EXPECT_EQ(VARIANT_TRUE, visible);

    host().close();
    EXPECT_FALSE(host().inPlaceActive);
}

TEST_F(EngineTest, ClassInformationNamesTheEventInterface)
{
    // What a host reads to find the control's default source interface.
    auto classInfo = ComRef<IWebBrowser2>(browser()).query<IProvideClassInfo2>();
    ASSERT_TRUE(classInfo);
    GUID source{};
    ASSERT_EQ(S_OK, classInfo->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &source));
    EXPECT_TRUE(IsEqualGUID(DIID_DWebBrowserEvents2, source));
    ComRef<ITypeInfo> coclass;
    ASSERT_EQ(S_OK, classInfo->GetClassInfo(coclass.put()));
    ComRef<ITypeLib> library;
    UINT index = 0;
    ASSERT_EQ(S_OK, coclass->GetContainingTypeLib(library.put(), &index));
    TLIBATTR* libAttr = nullptr;
    ASSERT_EQ(S_OK, library->GetLibAttr(&libAttr));
    EXPECT_TRUE(IsEqualGUID(LIBID_SHDocVw, libAttr->guid));
    library->ReleaseTLibAttr(libAttr);

    // Late binding on the control goes through the same type library.
    ASSERT_TRUE(host().navigateAndWait(PageUrl(L"plain.html")));
    Variant location;
    ASSERT_EQ(S_OK, GetMember(browser(), L"LocationURL", &location));
    EXPECT_EQ(PageUrl(L"plain.html"), TextOf(location.get()));
}

TEST(HtmlDocumentClass, CreatesRunsAndAnswersTheDocumentInterface)
{
    ASSERT_EQ(S_OK, OleInitialize(nullptr));
    {
        const CLSID htmlDocument = {0x25336920, 0x03f9, 0x11cf, {0x8f, 0xd0, 0x00, 0xaa, 0x00, 0x68, 0x6f, 0x13}};
        ComRef<IUnknown> object;
        ASSERT_EQ(S_OK, CoCreateInstance(htmlDocument, nullptr,
                                         CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER |
                                             CLSCTX_REMOTE_SERVER,
                                         IID_IUnknown, object.putVoid()));
        ASSERT_EQ(S_OK, OleRun(object.get()));
        auto document = object.query<IHTMLDocument2>();
        ASSERT_TRUE(document);
        ComRef<IDispatch> script;
        EXPECT_EQ(S_OK, document->get_Script(script.put()));
        EXPECT_TRUE(script);
    }
    OleUninitialize();
}

}  // namespace
