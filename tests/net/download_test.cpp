// Requests the UI thread waits for: the address probe, downloads into a
// file and the form POST, seen from the server and the file system.
#include <gtest/gtest.h>

#include "tlsfront.h"
#include "driver.h"
#include "nettest.h"
#include "net/download.h"

#include <tuple>

using zeltest::HttpReply;

namespace {

class SyncRequests : public ::testing::Test {
protected:
    zeltest::HttpServer server_;
    zeltest::TempDir dir_{L"net-download"};

    void SetUp() override { ASSERT_TRUE(server_.Listening()); }
    void TearDown() override { SetSyncTransferTimeout(kSyncTransferTimeoutMs); }
};

TEST_F(SyncRequests, ProbeIsTrueOnlyForStatus200)
{
    server_.Reply("/ok", zeltest::TextReply("fine"));
    server_.Reply("/gone", zeltest::StatusReply(404));
    server_.Reply("/broken", zeltest::TextReply("no", 500));
    server_.Reply("/moved", zeltest::RedirectReply(302, "/ok"));
    EXPECT_TRUE(ProbeUrl(server_.WideUrl("ok").c_str()));
    EXPECT_FALSE(ProbeUrl(server_.WideUrl("gone").c_str()));
    EXPECT_FALSE(ProbeUrl(server_.WideUrl("broken").c_str()));
    EXPECT_TRUE(ProbeUrl(server_.WideUrl("moved").c_str()));
    std::wstring unreachable = L"http://127.0.0.1:" + std::to_wstring(zeltest::UnusedLocalPort()) + L"/";
    EXPECT_FALSE(ProbeUrl(unreachable.c_str()));
    EXPECT_FALSE(ProbeUrl(nullptr));
    std::optional<zeltest::SeenRequest> seen = server_.LastRequest("/ok");
    ASSERT_TRUE(seen);
    EXPECT_EQ("ZEL", seen->Header("User-Agent").value_or("-"));
}

TEST_F(SyncRequests, DownloadWritesTheWholeBody)
{
    std::string big;
    for (int i = 0; big.size() < 250000; ++i)
        big += std::to_string(i) + ",";
    HttpReply slow = zeltest::TextReply(big);
    slow.pauseMs = 200;
    server_.Reply("/big", slow);
    server_.Reply("/empty", zeltest::TextReply(""));
    HttpReply chunked = zeltest::TextReply("in chunks");
    chunked.framing = HttpReply::Framing::Chunked;
    server_.Reply("/chunked", chunked);
    HttpReply longer = zeltest::TextReply("0123456789 and more than announced");
    longer.announcedLength = 10;
    longer.keepOpen = true;
    server_.Reply("/longer", longer);

    std::wstring file = dir_.File(L"big.bin");
    EXPECT_TRUE(DownloadUrlToFile(server_.WideUrl("big").c_str(), kAgentManager, file.c_str()));
    EXPECT_TRUE(zeltest::ReadFileBytes(file) == big);
    EXPECT_EQ("Quivmark Game Manager", server_.LastRequest("/big")->Header("User-Agent").value_or("-"));

    ASSERT_TRUE(zeltest::WriteFileBytes(file, "old contents"));
    EXPECT_TRUE(DownloadUrlToFile(server_.WideUrl("empty").c_str(), kAgentZel, file.c_str()));
    EXPECT_TRUE(zeltest::FileExists(file));
    EXPECT_EQ("", zeltest::ReadFileBytes(file));

    EXPECT_TRUE(DownloadUrlToFile(server_.WideUrl("chunked").c_str(), kAgentZel, file.c_str()));
    EXPECT_EQ("in chunks", zeltest::ReadFileBytes(file));
    // The body ends at its Content-Length, whatever follows on the connection.
    EXPECT_TRUE(DownloadUrlToFile(server_.WideUrl("longer").c_str(), kAgentZel, file.c_str()));
    EXPECT_EQ("0123456789", zeltest::ReadFileBytes(file));
}

TEST_F(SyncRequests, FailedDownloadsLeaveNoPartialFile)
{
    server_.Reply("/gone", zeltest::StatusReply(404));
    HttpReply endsEarly = zeltest::TextReply(std::string(5000, 'x'));
    endsEarly.announcedLength = 9000;
    server_.Reply("/short", endsEarly);

    // A refused answer does not touch the file.
    std::wstring file = dir_.File(L"keep.txt");
    ASSERT_TRUE(zeltest::WriteFileBytes(file, "kept"));
    EXPECT_FALSE(DownloadUrlToFile(server_.WideUrl("gone").c_str(), kAgentZel, file.c_str()));
    EXPECT_EQ("kept", zeltest::ReadFileBytes(file));

    // A body cut short is no download.
    std::wstring partial = dir_.File(L"partial.txt");
    EXPECT_FALSE(DownloadUrlToFile(server_.WideUrl("short").c_str(), kAgentZel, partial.c_str()));
    EXPECT_FALSE(zeltest::FileExists(partial));

    EXPECT_FALSE(DownloadUrlToFile(nullptr, kAgentZel, file.c_str()));
    EXPECT_FALSE(DownloadUrlToFile(server_.WideUrl("gone").c_str(), nullptr, file.c_str()));
    EXPECT_FALSE(DownloadUrlToFile(server_.WideUrl("gone").c_str(), kAgentZel, nullptr));
}

TEST_F(SyncRequests, ASilentServerRunsOutOfTime)
{
    HANDLE never = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HttpReply silent = zeltest::TextReply("late");
    silent.gate = never;
    server_.Reply("/silent", silent);
    SetSyncTransferTimeout(300);
    const ULONGLONG start = GetTickCount64();
    EXPECT_FALSE(ProbeUrl(server_.WideUrl("silent").c_str()));
    EXPECT_FALSE(DownloadUrlToFile(server_.WideUrl("silent").c_str(), kAgentZel, dir_.File(L"s.txt").c_str()));
    EXPECT_LT(GetTickCount64() - start, 20000u);
    SetEvent(never);
    CloseHandle(never);
}

TEST_F(SyncRequests, ARedirectLoopEndsAndAChainOfTwelveArrives)
{
    // The server lets a client out of the loop after 100 hops.
    server_.Handle("/loop", [this](const zeltest::SeenRequest&) {
        return server_.CountRequests("/loop") > 100 ? zeltest::TextReply("out") : zeltest::RedirectReply(302, "/loop");
    });
    server_.Handle("/chain", [](const zeltest::SeenRequest& seen) {
        const int left = atoi(seen.query.c_str());
        return left ? zeltest::RedirectReply(307, "/chain?" + std::to_string(left - 1)) : zeltest::TextReply("end");
    });
    std::wstring file = dir_.File(L"r.txt");
    EXPECT_FALSE(DownloadUrlToFile(server_.WideUrl("loop").c_str(), kAgentZel, file.c_str()));
    EXPECT_EQ(21u, server_.CountRequests("/loop"));
    EXPECT_TRUE(DownloadUrlToFile(server_.WideUrl("chain?12").c_str(), kAgentZel, file.c_str()));
    EXPECT_EQ("end", zeltest::ReadFileBytes(file));
}

TEST_F(SyncRequests, ConflictingLengthsAreNoShortBody)
{
    const std::string body(55, 'b');
    HttpReply chunked = zeltest::TextReply(body);
    chunked.framing = HttpReply::Framing::Chunked;
    chunked.headers.emplace_back("Content-Length", "45");
    HttpReply two = zeltest::TextReply(body);
    two.headers.emplace_back("Content-Length", "45");
    HttpReply same = zeltest::TextReply(body);
    same.headers.emplace_back("Content-Length", "55");
    HttpReply spaced = zeltest::TextReply(body);
    spaced.framing = HttpReply::Framing::CloseDelimited;
    spaced.headers.emplace_back("Content-Length", " 55 ");
    for (const auto& [path, reply, whole] : {std::tuple{"chunked", chunked, true}, std::tuple{"two", two, false},
                                             std::tuple{"same", same, true}, std::tuple{"spaced", spaced, true}}) {
        SCOPED_TRACE(path);
        server_.Reply(std::string("/") + path, reply);
        std::wstring file = dir_.File(L"l.txt");
        EXPECT_EQ(whole, DownloadUrlToFile(server_.WideUrl(path).c_str(), kAgentZel, file.c_str()));
        EXPECT_EQ(whole ? body : "", zeltest::ReadFileBytes(file));
    }
}

// Bytes a server writes past a body, in a write of their own, shaped as a
// whole reply: the next request to the server, made here or by a worker,
// still gets its own.
TEST_F(SyncRequests, BytesPastAReplyNeverReachTheNextRequest)
{
    HttpReply first = zeltest::TextReply("first");
    first.keepOpen = true;
    first.stray = "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nstray";
    first.strayAfterMs = 100;
    server_.Reply("/first", first);
    server_.Reply("/next", zeltest::TextReply("next!"));
    std::wstring file = dir_.File(L"n.txt");
    for (bool workerFirst : {false, true}) {
        SCOPED_TRACE(workerFirst ? "worker, then download" : "download, then worker");
        HttpResult result = {};
        EXPECT_TRUE(workerFirst ? HttpGetToBuffer(&result, server_.Url("first").c_str(), "", HWND_MESSAGE, 1)
                                : DownloadUrlToFile(server_.WideUrl("first").c_str(), kAgentZel, file.c_str()));
        free(result.data);
        Sleep(400);
        result = {};
        EXPECT_TRUE(workerFirst ? DownloadUrlToFile(server_.WideUrl("next").c_str(), kAgentZel, file.c_str())
                                : HttpGetToBuffer(&result, server_.Url("next").c_str(), "", HWND_MESSAGE, 1));
        EXPECT_EQ("next!", workerFirst ? zeltest::ReadFileBytes(file)
                                       : std::string(static_cast<char*>(result.data), result.size));
        free(result.data);
    }
    EXPECT_EQ(2u, server_.CountRequests("/next"));
}

// Each byte of the body comes within the limit, the whole body does not.
TEST_F(SyncRequests, ATrickleEndsAtTheLimit)
{
    HttpReply trickle = zeltest::TextReply(std::string(40, 't'));
    trickle.trickleMs = 100;
    server_.Reply("/trickle", trickle);
    SetSyncTransferTimeout(1000);
    std::wstring file = dir_.File(L"t.txt");
    const ULONGLONG start = GetTickCount64();
    EXPECT_FALSE(DownloadUrlToFile(server_.WideUrl("trickle").c_str(), kAgentZel, file.c_str()));
    EXPECT_LT(GetTickCount64() - start, 3000u);
    EXPECT_FALSE(zeltest::FileExists(file));
}

TEST_F(SyncRequests, PostRefusesOverlongPathsAndPlainHttp)
{
    server_.Reply("/feed", zeltest::TextReply("posted"));
    std::wstring reply = dir_.File(L"reply.txt");
    std::wstring longPath = server_.WideUrl(std::string(130, 'p'));
    EXPECT_FALSE(HttpPostForm(longPath.c_str(), reply.c_str(), L"message=hi"));
    // The form always goes over TLS, which a plain server cannot speak.
    EXPECT_FALSE(HttpPostForm(server_.WideUrl("feed").c_str(), reply.c_str(), L"message=hi"));
    EXPECT_EQ(0u, server_.CountRequests("/feed"));
    EXPECT_EQ(0u, server_.Requests().size());
    EXPECT_FALSE(HttpPostForm(server_.WideUrl("feed").c_str(), reply.c_str(), L""));
    EXPECT_FALSE(HttpPostForm(nullptr, reply.c_str(), L"a=b"));
    EXPECT_FALSE(zeltest::FileExists(reply));
}

// The form POST over TLS, through a TLS front that hands each connection
// to the plain test server.
TEST_F(SyncRequests, PostSendsTheFormAndStoresAnyReply)
{
    zeltest::TlsFront tls(server_.Port());
    ASSERT_TRUE(tls.Started());
    auto url = [&](const std::string& path) { return tls.Origin() + L"/" + std::wstring(path.begin(), path.end()); };
    std::wstring reply = dir_.File(L"reply.txt");

    server_.Reply("/feed", zeltest::TextReply("{\"id\":\"1_2\"}"));
    EXPECT_TRUE(HttpPostForm(url("feed").c_str(), reply.c_str(), L"message=h\u00E9llo&link=a%26b"));
    std::optional<zeltest::SeenRequest> seen = server_.LastRequest("/feed");
    ASSERT_TRUE(seen);
    EXPECT_EQ("POST", seen->method);
    EXPECT_EQ("message=h\xC3\xA9llo&link=a%26b", seen->body);
    EXPECT_EQ("Quivmark Game Manager", seen->Header("User-Agent").value_or("-"));
    EXPECT_FALSE(seen->Header("Content-Type"));
    EXPECT_EQ("{\"id\":\"1_2\"}", zeltest::ReadFileBytes(reply));

    // An error answer is stored like any other: the caller reads it.
    server_.Reply("/refused", zeltest::TextReply("{\"error\":{\"code\":190}}", 400));
    EXPECT_TRUE(HttpPostForm(url("refused").c_str(), reply.c_str(), L"a=b"));
    EXPECT_EQ("{\"error\":{\"code\":190}}", zeltest::ReadFileBytes(reply));

    // The path (with its "/") must stay under 128 characters.
    const std::string longest(126, 'p');
    server_.Reply("/" + longest, zeltest::TextReply("fits"));
    EXPECT_TRUE(HttpPostForm(url(longest).c_str(), reply.c_str(), L"a=b"));
    EXPECT_EQ("fits", zeltest::ReadFileBytes(reply));
    std::wstring unsent = dir_.File(L"unsent.txt");
    server_.ClearRequests();
    EXPECT_FALSE(HttpPostForm(url(longest + "q").c_str(), unsent.c_str(), L"a=b"));
    EXPECT_TRUE(server_.Requests().empty());
    EXPECT_FALSE(zeltest::FileExists(unsent));
}

}  // namespace
