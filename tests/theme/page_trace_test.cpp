// Records what the real program feeds the default theme's pages, for the
// page test that replays it into a real browser engine
// (tests/theme/page): zel.exe starts interactively under Wine with a
// catalog of a few dozen games, and the stand-in engine writes every page
// function call it makes as a JSON line. Between the program's episodes the
// test adds a mark line, {"mark":"<episode>", ...}, so that the replay knows
// which calls answer which user action:
//
//   load     the page load and its whole feed
//   select   the user chose game "id": the echoed option and the re-feed
//   buy      "Get the game" for game "id" while the store does not answer
//   balloon  an update check that brings a new game and its balloon
//
// The file lands in the build tree only when every episode was recorded.
#include "interactive.h"

#include <cstdio>
#include <fstream>
#include <sstream>

using namespace hoste2e;

namespace {

// Ids the replay chooses by: an installed game to play, one to obtain, the
// game selected at start (sorted near the end of the list, out of sight at
// first), and the one the update brings.
constexpr unsigned kInstalledGame = 7;
constexpr unsigned kNotInstalledGame = 12;
constexpr unsigned kStartSelection = 29;
constexpr unsigned kAnnouncedGame = 41;

struct SeedGame {
    unsigned id;
    const char* name;
    const char* desc;
    unsigned release;
    bool installed;
    bool shown;
};

// Names as the web service sends them: mixed scripts, one far too long for
// the list.
const SeedGame kGames[] = {
    {1, "Amber Lanterns", "Light the lanterns of a drowned city, one puzzle at a time.", 20130301, false, true},
    {2, "Baker's Dozen", "Run a bakery from dawn to the last customer.", 20130301, true, true},
    {3, "Copper Canyon Express", "Lay the tracks before the train arrives.", 20130301, false, true},
    {4, "Dragonfly Meadow", "Match the flowers and wake the meadow.", 20130301, false, true},
    {5, "Echoes of the Lighthouse Keeper and the Forgotten Northern Shipwreck Archipelago",
     "A hidden object journey along a coast of a hundred islands.", 20130301, false, true},
    {6, "Frost Garden", "Grow a garden under the northern lights.", 20130301, false, true},
    {7, "Gemstone Harbor", "Trade gems across the harbour's stalls and ships.", 20130301, true, true},
    {8, "Hidden Orchard", "Find what the orchard hides between its trees.", 20130301, false, true},
    {9, "Island Chef", "Cook for the tourists of a tropical island.", 20130301, false, true},
    {10, "Jungle Relay", "Pass the torch through the jungle.", 20130301, false, true},
    {11, "Kite Festival", "Build kites for the festival on the hill.", 20130301, true, true},
    {12, "Lotus Temple", "Restore the temple stone by stone.", 20140115, false, true},
    {13, "Moonlit Mahjong", "Mahjong tiles under a silver moon.", 20130301, false, true},
    {14, "Nightingale Street", "Solve the riddles of one old street.", 20130301, false, true},
    {15, "Orbit Rescue", "Bring the stranded satellites home.", 20130301, false, true},
    {16, "Pirate Postman", "Deliver the mail to every pirate cove.", 20140115, false, true},
    {17, "Quilt Quest", "Stitch the patterns before the fair.", 20130301, false, true},
    {18, "Royal Greenhouse", "Tend the queen's rarest plants.", 20130301, false, true},
    {19, "Снежная королева", "Зимняя сказка: найдите осколки волшебного зеркала.", 20130301, false, true},
    {20, "Тайны старого замка", "Раскройте секреты замка на холме.", 20130301, true, true},
    {21, "Sunset Diner", "Serve the night shift at a roadside diner.", 20130301, false, true},
    {22, "Treasure Tides", "Dive for the treasure the tide uncovers.", 20130301, false, true},
    {23, "Umbrella Town", "Keep a rainy town dry and cheerful.", 20130301, false, true},
    {24, "Velvet Detective", "Crack the cases of a jazz-age detective.", 20130301, false, true},
    {25, "Windmill Valley", "Build the mills and feed the valley.", 20130301, false, true},
    {26, "Xylophone Forest", "Play the trees back into tune.", 20130301, false, true},
    {27, "Yellow Submarine Repairs", "Fix the submarine before it sinks again.", 20130301, false, true},
    {28, "Zen Blocks", "Slide the blocks, find the calm.", 20130301, false, true},
    {29, "Zephyr Islands", "Sail the wind between the islands.", 20130301, true, true},
    {30, "Zigzag Zoo", "Lead the animals home through the maze.", 20130301, false, true},
    {31, "Withdrawn Game", "No longer offered.", 20120101, false, false},
};

std::string Quote(const std::string& text)
{
    std::string quoted = "'";
    for (char c : text) {
        quoted += c;
        if (c == '\'')
            quoted += '\'';
    }
    return quoted + "'";
}

std::string SeedCatalog()
{
    std::ostringstream sql;
    sql << "insert into games(id,afl,name,desc,release,rating,inst,show,runs) values";
    for (size_t i = 0; i < std::size(kGames); ++i) {
        const SeedGame& g = kGames[i];
        sql << (i ? "," : "") << "(" << g.id << ",-1," << Quote(g.name) << "," << Quote(g.desc) << ","
            << g.release << "," << (g.id % 5) * 20 << "," << (g.installed ? "1" : "null") << ","
            << (g.shown ? 1 : 0) << "," << (g.installed ? g.id % 4 : 0) << ")";
    }
    sql << ";insert or replace into opt(var,val) values('lastselectgame','" << kStartSelection << "');";
    return sql.str();
}

// The update reply: statements, each ended by a NUL, the list by an empty
// one. The new game is of the latest release, shown and not installed, so
// it is announced.
std::string UpdateReply()
{
    std::ostringstream sql;
    sql << "insert into games(id,afl,name,desc,release,rating,show,updn) values(" << kAnnouncedGame
        << ",-1,'Starfall Lighthouse','Guide the ships home through a night of falling stars.',20150610,80,1,1)";
    return sql.str() + '\0' + '\0';
}

class PageTrace : public InteractiveRun {
protected:
    void SetUp() override
    {
        InteractiveRun::SetUp();
        calls_ = appData_.path() + L"\\page-calls.jsonl";
        SetEnvironmentVariableW(htmlengine::kPageCallsVariable, calls_.c_str());
    }

    void TearDown() override
    {
        InteractiveRun::TearDown();
        SetEnvironmentVariableW(htmlengine::kPageCallsVariable, nullptr);
    }

    std::vector<std::string> Calls() { return zeltest::ReadFileLines(calls_); }

    size_t CountCalls(const std::string& fragment)
    {
        size_t n = 0;
        for (const std::string& line : Calls())
            n += line.find(fragment) != std::string::npos;
        return n;
    }

    bool WaitForCalls(const std::string& fragment, size_t count)
    {
        return WaitUntil([&] { return CountCalls(fragment) >= count; }, 30000);
    }

    void Mark(const std::string& episode, unsigned id = 0)
    {
        std::ofstream out(calls_.c_str(), std::ios::binary | std::ios::app);
        out << "{\"mark\":\"" << episode << "\"";
        if (id)
            out << ",\"id\":" << id;
        out << "}\n";
    }

    std::wstring calls_;
};

const std::string kFeedDone = R"("page":"main.html","call":"inRender","args":[true],"nested":false)";

TEST_F(PageTrace, RecordsTheProgramsFeedOfTheDefaultTheme)
{
    zeltest::HttpServer server;
    ASSERT_TRUE(server.Listening());
    SetProductValue(L"ServiceUrl", server.WideUrl());
    server.Reply("/update.php", zeltest::CompressedReply(UpdateReply()));
    server.Reply("/store", zeltest::StatusReply(404));

    InstallTheme(ZEL_THEME_DEFAULT_DB, L"default");
    Seed(SeedCatalog());

    Mark("load");
    Start(L"d 1");
    HWND window = MainWindow();
    ASSERT_NE(nullptr, window);
    ASSERT_TRUE(WaitForCalls(kFeedDone, 1));

    // What the page does when the user chooses a game: the program stores
    // it, echoes the option and feeds the page again.
    Mark("select", kInstalledGame);
    ASSERT_TRUE(Evaluate(L"window.external.optionSave('lastselectgame', '" + std::to_wstring(kInstalledGame) + L"')"));
    ASSERT_TRUE(WaitForCalls(kFeedDone, 2));

    // The store does not answer: the program says so.
    Mark("buy", kNotInstalledGame);
    ASSERT_TRUE(Evaluate(L"window.external.gameBuy('" + server.WideUrl("/store?id=12") + L"', " +
                         std::to_wstring(kNotInstalledGame) + L", 0)"));
    ASSERT_TRUE(WaitForCalls(R"("call":"inMsgBox","args":[13])", 1));

    // The update timer's check brings a new game, announced in a balloon.
    Mark("balloon");
    ASSERT_TRUE(PostMessageW(window, WM_TIMER, 1, 0));
    ASSERT_TRUE(WaitForCalls(R"("page":"balloon.html","call":"inNewGame")", 1));
    Mark("end");
    EXPECT_EQ(10u, CloseAndWait());

    // Every line is a record; the page answered every call of the program.
    std::vector<std::string> lines = Calls();
    EXPECT_GT(lines.size(), 70u);
    for (const std::string& line : lines) {
        EXPECT_EQ('{', line.front()) << line;
        EXPECT_EQ('}', line.back()) << line;
    }
    for (const std::string& line : TraceLines()) {
        EXPECT_NE(0u, line.compare(0, 6, "error\t")) << line;
        EXPECT_EQ(std::string::npos, line.find(" failed 0x")) << line;
    }
    if (HasFailure())
        return;
    const std::wstring target = zeltest::WindowsPathFromUnix(ZEL_PAGE_TRACE_FILE);
    EXPECT_TRUE(CopyFileW(calls_.c_str(), target.c_str(), FALSE)) << zeltest::Utf8(target);
}

}  // namespace
