// Pages read over HTTP from a server of the test's own on 127.0.0.1:
// redirects, server errors, unreachable addresses.
#include "httpserver.h"
#include "test_container.h"

#include <gtest/gtest.h>

#include <urlmon.h>

#include <memory>

using namespace enginetest;
using testkit::CallMember;
using testkit::PageScript;
using testkit::PumpFor;
using testkit::TextOf;
using zeltest::HttpReply;
using zeltest::HttpServer;
using zeltest::RedirectReply;
using zeltest::SeenRequest;
using zeltest::TextReply;

namespace {

HttpReply Route(const SeenRequest& request)
{
    const std::string& target = request.target;
    if (target == "/page.html")
        return TextReply("<html><head><script src=\"js/page.js\"></script></head>"
                         "<body><p id=\"where\">served</p><script>function inWhere() { return 'http page'; }"
                         "</script></body></html>");
    if (target == "/js/page.js")
        return TextReply("function inFromScript() { return 'script over http'; }");
    if (target == "/redirect")
        return RedirectReply(302, "/landing.html");
    if (target == "/chain")
        return RedirectReply(301, "http://" + request.Header("Host").value_or("") + "/redirect");
    if (target == "/token")
        return RedirectReply(302, "/blank.html#access_token=abc&user_id=7");
    if (target == "/form" && request.method == "POST")
        return RedirectReply(303, "/landing.html");
    if (target == "/loop")
        return RedirectReply(302, "/loop");
    if (target == "/landing.html" || target == "/blank.html")
        return TextReply("<html><body><script>function inWhere() { return 'landed'; }</script></body></html>");
    if (target == "/broken")
        return TextReply("<html><body><p id=\"msg\">try later</p></body></html>", 503);
    return TextReply("<html><body><p id=\"msg\">not here</p></body></html>", 404);
}

class HttpPagesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(S_OK, OleInitialize(nullptr));
        server_ = std::make_unique<HttpServer>(Route);
        ASSERT_TRUE(server_->Listening());
        container_ = std::make_unique<Container>();
        ASSERT_EQ(S_OK, container_->embed());
    }

    void TearDown() override
    {
        container_.reset();
        server_.reset();
        OleUninitialize();
    }

    Container& host() { return *container_; }
    HttpServer& server() { return *server_; }
    std::vector<Event>& events() { return container_->sink().events; }

    std::wstring call(const wchar_t* name)
    {
        Variant result;
        EXPECT_EQ(S_OK, CallMember(PageScript(host().browser()).get(), name, {}, &result)) << std::wstring(name);
        return TextOf(result.get());
    }

    std::wstring location()
    {
        testkit::Bstr url;
        host().browser()->get_LocationURL(url.put());
        return url.str();
    }

    std::vector<std::string> targets()
    {
        std::vector<std::string> out;
        for (const auto& r : server().Requests()) out.push_back(r.target);
        return out;
    }

private:
    std::unique_ptr<HttpServer> server_;
    std::unique_ptr<Container> container_;
};

TEST_F(HttpPagesTest, LoadsPageAndItsScriptsFromTheServer)
{
    const std::wstring url = server().WideUrl("page.html");
    ASSERT_TRUE(host().navigateAndWait(url));
    EXPECT_EQ((std::vector<std::wstring>{L"BeforeNavigate2", L"NavigateComplete2", L"DocumentComplete"}),
              host().sink().names());
    EXPECT_EQ(url, events().back().url);
    EXPECT_EQ(L"http page", call(L"inWhere"));
    EXPECT_EQ(L"script over http", call(L"inFromScript"));
    EXPECT_EQ((std::vector<std::string>{"/page.html", "/js/page.js"}), targets());
    EXPECT_EQ("GET", server().Requests().front().method);
}

TEST_F(HttpPagesTest, FollowsRedirectsAndReportsWhereItLanded)
{
    const std::wstring landing = server().WideUrl("landing.html");
    ASSERT_TRUE(host().navigateAndWait(server().WideUrl("chain")));
    // One navigation: the redirects happen inside it.
    EXPECT_EQ((std::vector<std::wstring>{L"BeforeNavigate2", L"NavigateComplete2", L"DocumentComplete"}),
              host().sink().names());
    EXPECT_EQ(server().WideUrl("chain"), events()[0].url);
    EXPECT_EQ(landing, events()[1].url);
    EXPECT_EQ(landing, events()[2].url);
    EXPECT_EQ(landing, location());
    EXPECT_EQ(L"landed", call(L"inWhere"));
    EXPECT_EQ((std::vector<std::string>{"/chain", "/redirect", "/landing.html"}), targets());

    // A fragment given by the redirect is kept; without one, the fragment
    // of the address asked for goes along.
    ASSERT_TRUE(host().navigateAndWait(server().WideUrl("token")));
    EXPECT_EQ(server().WideUrl("blank.html#access_token=abc&user_id=7"), events().back().url);
    ASSERT_TRUE(host().navigateAndWait(server().WideUrl("redirect#keep")));
    EXPECT_EQ(server().WideUrl("landing.html#keep"), events().back().url);
}

TEST_F(HttpPagesTest, PostsDataAndHeadersGivenToNavigate2)
{
    const std::string form = "name=zel&id=7";
    SAFEARRAY* bytes = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(form.size()));
    ASSERT_NE(nullptr, bytes);
    void* data = nullptr;
    SafeArrayAccessData(bytes, &data);
    memcpy(data, form.data(), form.size());
    SafeArrayUnaccessData(bytes);
    Variant post;
    V_VT(&post) = VT_ARRAY | VT_UI1;
    V_ARRAY(&post) = bytes;
    Variant url = testkit::TextArg(server().WideUrl("form"));
    Variant headers = testkit::TextArg(L"X-Engine-Test: yes\r\n");
    Variant empty;
    const size_t from = events().size();
    ASSERT_EQ(S_OK, host().browser()->Navigate2(&url, &empty, &empty, &post, &headers));
    ASSERT_TRUE(host().waitForEnd(from));
    EXPECT_EQ(server().WideUrl("landing.html"), events().back().url);
    const auto requests = server().Requests();
    ASSERT_EQ(2u, requests.size());
    EXPECT_EQ("POST", requests[0].method);
    EXPECT_EQ(form, requests[0].body);
    EXPECT_EQ("yes", requests[0].Header("X-Engine-Test"));
    // After "see other" the page is fetched without the data.
    EXPECT_EQ("GET", requests[1].method);
    EXPECT_TRUE(requests[1].body.empty());
}

TEST_F(HttpPagesTest, ServerErrorsArriveAsNavigateErrorWithTheStatus)
{
    host().sink().cancelErrors = true;
    ASSERT_TRUE(host().navigateAndWait(server().WideUrl("nothing-here")));
    PumpFor(200);
    EXPECT_EQ((std::vector<std::wstring>{L"BeforeNavigate2", L"NavigateError"}), host().sink().names());
    EXPECT_EQ(404, events().back().status);
    EXPECT_EQ(server().WideUrl("nothing-here"), events().back().url);
    EXPECT_TRUE(location().empty());

    // Not cancelled: the server's own page is shown.
    host().sink().cancelErrors = false;
    const size_t from = events().size();
    ASSERT_EQ(S_OK, host().navigate(server().WideUrl("broken")));
    ASSERT_TRUE(testkit::PumpUntil([&] { return !events().empty() && events().back().name == L"DocumentComplete"; }));
    ASSERT_EQ(from + 4, events().size());
    EXPECT_EQ(L"NavigateError", events()[from + 1].name);
    EXPECT_EQ(503, events()[from + 1].status);
    EXPECT_EQ(L"try later", testkit::ElementProperty(PageScript(host().browser()).get(), L"msg", L"innerText"));
}

TEST_F(HttpPagesTest, UnreachableAddressesGiveNegativeStatus)
{
    host().sink().cancelErrors = true;
    // A port nobody listens on.
    ASSERT_TRUE(host().navigateAndWait(L"http://127.0.0.1:" + std::to_wstring(zeltest::UnusedLocalPort()) +
                                       L"/page.html"));
    EXPECT_EQ(L"NavigateError", events().back().name);
    EXPECT_LT(events().back().status, 0);

    // Only this machine is ever contacted.
    ASSERT_TRUE(host().navigateAndWait(L"http://192.0.2.1/page.html"));
    EXPECT_EQ(L"NavigateError", events().back().name);
    EXPECT_EQ(static_cast<long>(INET_E_RESOURCE_NOT_FOUND), events().back().status);

    // A redirect that never ends.
    ASSERT_TRUE(host().navigateAndWait(server().WideUrl("loop")));
    EXPECT_EQ(L"NavigateError", events().back().name);
    EXPECT_LT(events().back().status, 0);
}

}  // namespace
