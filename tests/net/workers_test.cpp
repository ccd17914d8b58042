// Requests on worker threads as the main window receives them: one result
// per request with the request's kind and user word, the transfer failures
// as status codes that never carry data, the headers the server sees, and
// the registry of running workers.
#include <gtest/gtest.h>

#include "catalog/options.h"
#include "nettest.h"
#include "shell/instance.h"

#include <tlhelp32.h>

#include <atomic>
#include <set>
#include <thread>

using nettest::Completion;
using nettest::WaitForCompletion;
using zeltest::HttpReply;

namespace {

class AsyncRequests : public ::testing::Test {
protected:
    zeltest::HttpServer server_;
    nettest::ResultWindow window_;

    void SetUp() override
    {
        ASSERT_TRUE(server_.Listening());
        ASSERT_TRUE(window_.get());
    }

    bool Start(const std::string& path, bool compressed = false, uint32_t kind = kRequestAdFeed,
               uint32_t userWord = 0, const char* headers = nullptr)
    {
        return StartAsyncRequest(kind, server_.Url(path).c_str(), headers, compressed, window_.get(),
                                 WM_HTTP_REQUEST_COMPLETED, userWord);
    }

    // One request to completion, its worker removed as the main window does.
    Completion Fetch(const std::string& path, bool compressed = false)
    {
        EXPECT_TRUE(Start(path, compressed));
        Completion completion = WaitForCompletion(window_.get());
        EXPECT_TRUE(completion.arrived);
        RemoveWorkerThread(completion.thread, completion.result.get());
        return completion;
    }

    static std::string Data(const HttpResult* result)
    {
        return result->data ? std::string(static_cast<const char*>(result->data), result->size) : std::string();
    }
};

TEST_F(AsyncRequests, OneResultWithKindStatusDataAndUserWord)
{
    server_.Reply("/icon", zeltest::TextReply("PNGDATA"));
    ASSERT_TRUE(Start("icon", false, kRequestSmallIcon, 310));
    EXPECT_EQ(1u, CountWorkerThreads());

    Completion completion = WaitForCompletion(window_.get());
    ASSERT_TRUE(completion.arrived);
    ASSERT_TRUE(completion.result);
    EXPECT_NE(nullptr, completion.thread);
    EXPECT_EQ(kRequestSmallIcon, completion.result->kind);
    EXPECT_EQ(kHttpOk, completion.result->status);
    EXPECT_EQ(310u, completion.result->userWord);
    EXPECT_EQ("PNGDATA", Data(completion.result.get()));

    RemoveWorkerThread(completion.thread, completion.result.get());
    EXPECT_EQ(0u, CountWorkerThreads());
    // The worker has ended: anything else it posted would be queued now.
    EXPECT_FALSE(nettest::CompletionQueued(window_.get()));
    EXPECT_EQ(1u, server_.CountRequests("/icon"));
}

TEST_F(AsyncRequests, CompressedRepliesAreInflated)
{
    std::string statements = std::string("insert into t values(1)") + '\0' + "insert into t values(2)" + '\0' + '\0';
    server_.Reply("/small", zeltest::CompressedReply(statements));
    std::string large;
    while (large.size() < 3 * 1024 * 1024)
        large += "update games set updn=1 where id=" + std::to_string(large.size()) + ";";
    server_.Reply("/large", zeltest::CompressedReply(large));

    Completion small = Fetch("small", true);
    ASSERT_TRUE(small.result);
    EXPECT_EQ(kHttpOk, small.result->status);
    EXPECT_EQ(statements, Data(small.result.get()));

    Completion big = Fetch("large", true);
    ASSERT_TRUE(big.result);
    EXPECT_EQ(kHttpOk, big.result->status);
    EXPECT_EQ(large.size(), big.result->size);
    EXPECT_TRUE(Data(big.result.get()) == large);
}

TEST_F(AsyncRequests, FailuresGiveTheirStatusAndNoData)
{
    struct Case {
        const char* path;
        HttpReply reply;
        bool compressed;
        uint32_t status;
    };
    HttpReply closeDelimited = zeltest::TextReply("body without a length");
    closeDelimited.framing = HttpReply::Framing::CloseDelimited;
    HttpReply chunked = zeltest::TextReply("chunked body");
    chunked.framing = HttpReply::Framing::Chunked;
    HttpReply endsEarly = zeltest::TextReply(std::string(50, 'x'));
    endsEarly.announcedLength = 100;
    HttpReply huge = zeltest::TextReply("tiny");
    huge.announcedLength = 0x40000000;
    std::string plain(100, 'p');
    std::vector<Case> cases = {
        {"/missing", zeltest::StatusReply(404), false, kHttpBadReply},
        {"/error", zeltest::TextReply("oops", 500), false, kHttpBadReply},
        {"/empty", zeltest::TextReply(""), false, kHttpBadReply},
        {"/unframed", closeDelimited, false, kHttpBadReply},
        {"/chunked", chunked, false, kHttpBadReply},
        {"/short", endsEarly, false, kHttpReadFailed},
        {"/huge", huge, false, kHttpNoMemory},
        {"/zero-prefix", zeltest::TextReply(zeltest::CompressedBody(plain, 0)), true, kHttpBadLengthPrefix},
        {"/big-prefix", zeltest::TextReply(zeltest::CompressedBody(plain, 0x1000000)), true, kHttpBadLengthPrefix},
        {"/three-bytes", zeltest::TextReply("abc"), true, kHttpInflateFailed},
        {"/not-zlib", zeltest::TextReply(std::string("\x10\0\0\0garbage-not-zlib", 21)), true, kHttpInflateFailed},
        {"/small-prefix", zeltest::TextReply(zeltest::CompressedBody(plain, 10)), true, kHttpInflateFailed},
    };
    for (const Case& c : cases)
        server_.Reply(c.path, c.reply);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        Completion completion = Fetch(c.path + 1, c.compressed);
        ASSERT_TRUE(completion.result);
        EXPECT_EQ(c.status, completion.result->status);
        EXPECT_EQ(nullptr, completion.result->data);
        EXPECT_EQ(0u, completion.result->size);
        EXPECT_EQ(kRequestAdFeed, completion.result->kind);
    }
    EXPECT_EQ(0u, CountWorkerThreads());
}

TEST_F(AsyncRequests, UnreachableServerGivesOpenFailure)
{
    uint16_t port = zeltest::UnusedLocalPort();
    ASSERT_NE(0, port);
    std::string url = "http://127.0.0.1:" + std::to_string(port) + "/update.php";
    ASSERT_TRUE(StartAsyncRequest(kRequestUpdate, url.c_str(), nullptr, true, window_.get(),
                                  WM_HTTP_REQUEST_COMPLETED, 0));
    Completion completion = WaitForCompletion(window_.get());
    ASSERT_TRUE(completion.result);
    RemoveWorkerThread(completion.thread, completion.result.get());
    EXPECT_EQ(kHttpOpenFailed, completion.result->status);
    EXPECT_EQ(nullptr, completion.result->data);
}

TEST_F(AsyncRequests, SlowAndRedirectedRepliesArriveWhole)
{
    HttpReply slow = zeltest::TextReply(std::string(300000, 's'));
    slow.pauseMs = 300;
    server_.Reply("/slow", slow);
    server_.Reply("/old", zeltest::RedirectReply(302, "/new"));
    server_.Reply("/new", zeltest::TextReply("moved here"));

    Completion slowCompletion = Fetch("slow");
    ASSERT_TRUE(slowCompletion.result);
    EXPECT_EQ(kHttpOk, slowCompletion.result->status);
    EXPECT_EQ(300000u, slowCompletion.result->size);

    Completion moved = Fetch("old");
    ASSERT_TRUE(moved.result);
    EXPECT_EQ(kHttpOk, moved.result->status);
    EXPECT_EQ("moved here", Data(moved.result.get()));
    EXPECT_EQ(1u, server_.CountRequests("/new"));
}

class RequestHeaders : public AsyncRequests {
protected:
    void SetIdentity(const char* id)
    {
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, L"Identities", 0, nullptr, 0, KEY_SET_VALUE,
                                                 nullptr, &key, nullptr));
        RegSetValueExA(key, "Default User ID", 0, REG_SZ, reinterpret_cast<const BYTE*>(id),
                       static_cast<DWORD>(strlen(id) + 1));
        RegCloseKey(key);
    }

    zeltest::SeenRequest Send(const char* extraHeaders)
    {
        server_.ClearRequests();
        server_.Reply("/h", zeltest::TextReply("ok"));
        EXPECT_TRUE(Start("h", false, kRequestLogin, 0, extraHeaders));
        Completion completion = WaitForCompletion(window_.get());
        RemoveWorkerThread(completion.thread, completion.result.get());
        std::optional<zeltest::SeenRequest> seen = server_.LastRequest("/h");
        return seen ? *seen : zeltest::SeenRequest();
    }

    static ptrdiff_t Position(const zeltest::SeenRequest& request, const std::string& name)
    {
        std::vector<std::string> names = request.HeaderNames();
        auto found = std::find(names.begin(), names.end(), name);
        return found == names.end() ? -1 : found - names.begin();
    }
};

TEST_F(RequestHeaders, StandardLinesFollowTheCallersOwn)
{
    SetIdentity("{1a2b-cd}");
    // The affiliate comes from the catalog's options when there is one.
    sqlite3* db = nettest::FreshCatalog();
    if (db)
        nettest::Exec(db, "insert into opt(var,val) values('affiliate','77')");

    zeltest::SeenRequest seen = Send("AuthLogin: 616263\r\nAuthPassword: 78\r\n");
    EXPECT_EQ("GET", seen.method);
    EXPECT_EQ("616263", seen.Header("AuthLogin").value_or("-"));
    EXPECT_EQ("78", seen.Header("AuthPassword").value_or("-"));
    EXPECT_EQ(db ? "77" : "0", seen.Header("Affiliate").value_or("-"));
    EXPECT_EQ("{1A2B-CD}", seen.Header("WrapperID").value_or("-"));
    EXPECT_EQ("0004002a", seen.Header("Version").value_or("-"));
    EXPECT_EQ("ZEL", seen.Header("User-Agent").value_or("-"));
    EXPECT_LT(Position(seen, "AuthLogin"), Position(seen, "AuthPassword"));
    EXPECT_LT(Position(seen, "AuthPassword"), Position(seen, "Affiliate"));
    EXPECT_LT(Position(seen, "Affiliate"), Position(seen, "WrapperID"));
    EXPECT_LT(Position(seen, "WrapperID"), Position(seen, "Version"));
}

TEST_F(RequestHeaders, WithoutExtrasOrIdentityTheStandardLinesStillGo)
{
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Identities");
    nettest::FreshCatalog();
    zeltest::SeenRequest seen = Send(nullptr);
    EXPECT_EQ("0", seen.Header("WrapperID").value_or("-"));
    EXPECT_EQ("0", seen.Header("Affiliate").value_or("-"));
    EXPECT_EQ("0004002a", seen.Header("Version").value_or("-"));
}

TEST_F(RequestHeaders, AnIdentityWithLineBreaksAddsNoLinesOfItsOwn)
{
    nettest::FreshCatalog();
    SetIdentity("{1a2b}\r\nX-Injected: 1");
    zeltest::SeenRequest seen = Send(nullptr);
    EXPECT_EQ("0", seen.Header("WrapperID").value_or("-"));
    EXPECT_FALSE(seen.Header("X-Injected").has_value());
    EXPECT_EQ("0004002a", seen.Header("Version").value_or("-"));
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Identities");
}

TEST_F(RequestHeaders, AnIdentityTooLongForTheHeaderLinesStartsNothing)
{
    SetIdentity(std::string(1000, 'a').c_str());
    EXPECT_FALSE(Start("h"));
    EXPECT_EQ(0u, CountWorkerThreads());
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Identities");
}

TEST_F(AsyncRequests, IncompleteRequestsAreRefused)
{
    std::string url = server_.Url("x");
    EXPECT_FALSE(StartAsyncRequest(kRequestAdFeed, nullptr, nullptr, false, window_.get(),
                                   WM_HTTP_REQUEST_COMPLETED, 0));
    EXPECT_FALSE(StartAsyncRequest(kRequestAdFeed, url.c_str(), nullptr, false, nullptr, WM_HTTP_REQUEST_COMPLETED, 0));
    EXPECT_FALSE(StartAsyncRequest(kRequestAdFeed, url.c_str(), nullptr, false, window_.get(), 0, 0));
    EXPECT_EQ(0u, CountWorkerThreads());
    EXPECT_EQ(0u, server_.Requests().size());

    HttpResult result = {kRequestAdFeed, kHttpOk, nullptr, 0, 0};
    EXPECT_FALSE(HttpGetToBuffer(&result, url.c_str(), "", nullptr, WM_HTTP_REQUEST_COMPLETED));
    EXPECT_EQ(kHttpNotStarted, result.status);
    EXPECT_EQ(nullptr, result.data);
}

TEST_F(AsyncRequests, WorkersCompletingInEitherOrderRemoveOnlyTheirOwnNode)
{
    for (bool firstHeld : {true, false}) {
        SCOPED_TRACE(firstHeld ? "second completes first" : "first completes first");
        HANDLE gate = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        HttpReply held = zeltest::TextReply("held");
        held.gate = gate;
        server_.ClearRequests();
        server_.Reply("/one", firstHeld ? held : zeltest::TextReply("quick"));
        server_.Reply("/two", firstHeld ? zeltest::TextReply("quick") : held);

        ASSERT_TRUE(Start("one", false, kRequestBigIcon, 1));
        ASSERT_TRUE(server_.WaitForRequests("/one", 1));
        ASSERT_TRUE(Start("two", false, kRequestSmallIcon, 2));
        ASSERT_TRUE(server_.WaitForRequests("/two", 1));
        EXPECT_EQ(2u, CountWorkerThreads());

        Completion quick = WaitForCompletion(window_.get());
        ASSERT_TRUE(quick.result);
        EXPECT_EQ(firstHeld ? 2u : 1u, quick.result->userWord);
        EXPECT_EQ("quick", Data(quick.result.get()));
        RemoveWorkerThread(quick.thread, quick.result.get());
        EXPECT_EQ(1u, CountWorkerThreads());

        // A handle that is not registered is neither waited for nor closed.
        HANDLE stranger = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        RemoveWorkerThread(stranger, quick.result.get());
        EXPECT_EQ(1u, CountWorkerThreads());
        EXPECT_TRUE(CloseHandle(stranger));

        SetEvent(gate);
        Completion late = WaitForCompletion(window_.get());
        ASSERT_TRUE(late.result);
        EXPECT_EQ(firstHeld ? 1u : 2u, late.result->userWord);
        EXPECT_EQ("held", Data(late.result.get()));
        RemoveWorkerThread(late.thread, late.result.get());
        EXPECT_EQ(0u, CountWorkerThreads());
        CloseHandle(gate);
    }
}

std::set<DWORD> ThreadsOfThisProcess()
{
    std::set<DWORD> ids;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return ids;
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
        if (entry.th32OwnerProcessID == GetCurrentProcessId())
            ids.insert(entry.th32ThreadID);
    CloseHandle(snapshot);
    return ids;
}

// The handle value of a thread, found as any program can guess it.
HANDLE GuessThreadHandle(DWORD threadId)
{
    for (uintptr_t value = 4; value < 0x10000; value += 4) {
        HANDLE candidate = reinterpret_cast<HANDLE>(value);
        if (GetThreadId(candidate) == threadId)
            return candidate;
    }
    return nullptr;
}

TEST_F(AsyncRequests, AForgedCompletionIsNeitherWaitedForNorAccepted)
{
    HANDLE gate = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HttpReply held = zeltest::TextReply("held");
    held.gate = gate;
    server_.Reply("/held", held);
    std::set<DWORD> before = ThreadsOfThisProcess();
    ASSERT_TRUE(Start("held", false, kRequestAdFeed, 7));
    ASSERT_TRUE(server_.WaitForRequests("/held", 1));
    std::set<DWORD> after = ThreadsOfThisProcess();
    HANDLE worker = nullptr;
    for (DWORD id : after)
        if (!before.count(id) && (worker = GuessThreadHandle(id)) != nullptr)
            break;
    ASSERT_NE(nullptr, worker);

    // A forged completion: the running worker's handle with a record that
    // is not the worker's. Should it be waited for, the gate opens
    // meanwhile and the worker is gone from the registry.
    std::thread opener([gate] {
        Sleep(3000);
        SetEvent(gate);
    });
    auto* foreign = static_cast<HttpResult*>(calloc(1, sizeof(HttpResult)));
    foreign->kind = kRequestUrlNotify;
    EXPECT_FALSE(RemoveWorkerThread(worker, foreign));
    EXPECT_EQ(1u, CountWorkerThreads());
    EXPECT_EQ(kRequestUrlNotify, foreign->kind);
    free(foreign);

    // The worker's own completion is accepted.
    Completion completion = WaitForCompletion(window_.get());
    opener.join();
    ASSERT_TRUE(completion.result);
    EXPECT_EQ(worker, completion.thread);
    EXPECT_EQ(7u, completion.result->userWord);
    EXPECT_TRUE(RemoveWorkerThread(completion.thread, completion.result.get()));
    EXPECT_EQ(0u, CountWorkerThreads());
    CloseHandle(gate);
}

TEST_F(AsyncRequests, ShutdownEndsEveryRequestInFlightAndWaitsForItsWorker)
{
    // More workers than one wait can take, each on a server that accepted
    // the request and does not answer.
    constexpr int kWorkers = 70;
    HANDLE gate = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HttpReply held = zeltest::TextReply("late");
    held.gate = gate;
    server_.Reply("/held", held);
    for (int i = 0; i < kWorkers; ++i)
        ASSERT_TRUE(Start("held", false, kRequestAdFeed, static_cast<uint32_t>(i)));
    EXPECT_EQ(static_cast<unsigned>(kWorkers), CountWorkerThreads());
    ASSERT_TRUE(server_.WaitForRequests("/held", kWorkers));

    StopAllWorkerThreads();
    EXPECT_EQ(0u, CountWorkerThreads());

    // Every worker had posted its failure before the drain returned.
    int posted = 0;
    MSG message;
    while (PeekMessageW(&message, window_.get(), WM_HTTP_REQUEST_COMPLETED, WM_HTTP_REQUEST_COMPLETED, PM_REMOVE)) {
        HttpResultPtr result(reinterpret_cast<HttpResult*>(message.wParam));
        if (result && result->status != kHttpOk && !result->data)
            ++posted;
        // No longer registered: left alone.
        EXPECT_FALSE(RemoveWorkerThread(reinterpret_cast<HANDLE>(message.lParam), result.get()));
    }
    EXPECT_EQ(kWorkers, posted);
    SetEvent(gate);
    CloseHandle(gate);
}

}  // namespace
