// The themes' pages shown by the stand-in HTML engine, addressed as the
// program addresses them (res://<module>/html/<page>): they load with their
// scripts, answer the program's page calls and draw what they are fed.

#include <gtest/gtest.h>

#include "test_container.h"
#include "theme_files.h"

#include <memory>

using enginetest::Container;
using testkit::BoolArg;
using testkit::CallMember;
using testkit::ElementProperty;
using testkit::GetIntMember;
using testkit::PageScript;
using testkit::TextArg;
using testkit::TextOf;
using testkit::UintArg;
using testkit::Variant;

namespace {

class ThemeInEngine : public enginetest::ContainerTest {
protected:
    // Shows a page of a theme module; false when it did not complete.
    bool Show(const wchar_t* theme, const wchar_t* page)
    {
        std::wstring url = L"res://" + ThemeFilePath(std::wstring(theme) + L".dll") + L"/html/" + page;
        if (!container_->navigateAndWait(url))
            return false;
        for (const enginetest::Event& event : container_->sink().events) {
            if (event.name == L"NavigateError")
                return false;
        }
        return PageScript(container_->browser()).get() != nullptr;
    }

    HRESULT Call(const wchar_t* name, const std::vector<Variant>& args, VARIANT* result = nullptr)
    {
        Variant ignored;
        return CallMember(PageScript(container_->browser()).get(), name, args, result ? result : &ignored);
    }
    std::wstring CallForText(const wchar_t* name, const std::vector<Variant>& args = {})
    {
        Variant result;
        EXPECT_EQ(S_OK, Call(name, args, &result)) << zeltest::Utf8(name);
        return TextOf(result.get());
    }
    std::wstring Element(const wchar_t* id, const wchar_t* property)
    {
        return ElementProperty(PageScript(container_->browser()).get(), id, property);
    }
    std::vector<Variant> Game(unsigned id, const wchar_t* name, const wchar_t* status)
    {
        return {UintArg(id), UintArg(0), TextArg(name), TextArg(L"About it."), TextArg(status),
                UintArg(1), UintArg(2457), UintArg(0), UintArg(0), TextArg(L""), TextArg(L""),
                TextArg(L""), TextArg(L""), TextArg(L""), UintArg(0), TextArg(L"")};
    }
};

}  // namespace

TEST_F(ThemeInEngine, DefaultMainPageDrawsTheFedCatalog)
{
    ASSERT_TRUE(Show(L"default", L"main.html"));
    Variant probe;
    ASSERT_EQ(S_OK, Call(L"inTestQuivmarkSkin", {}, &probe));
    EXPECT_EQ(L"True", TextOf(probe.get()));

    ASSERT_EQ(S_OK, Call(L"inGameUpdate", Game(1, L"Alpha", L" ")));
    ASSERT_EQ(S_OK, Call(L"inGameUpdate", Game(2, L"Beta", L" inst ")));
    ASSERT_EQ(S_OK, Call(L"inGameUpdate", Game(3, L"Gamma", L" hide ")));
    ASSERT_EQ(S_OK, Call(L"inOptionLoad", {TextArg(L"lastselectgame"), TextArg(L"2")}));
    ASSERT_EQ(S_OK, Call(L"inOptionLoad", {TextArg(L"ver"), TextArg(L"4.42")}));
    ASSERT_EQ(S_OK, Call(L"inRender", {BoolArg(true)}));

    std::wstring list = Element(L"list", L"innerText");
    EXPECT_NE(std::wstring::npos, list.find(L"Alpha")) << zeltest::Utf8(list);
    EXPECT_NE(std::wstring::npos, list.find(L"Beta")) << zeltest::Utf8(list);
    EXPECT_EQ(std::wstring::npos, list.find(L"Gamma")) << zeltest::Utf8(list);
    EXPECT_EQ(L"Beta", Element(L"detailName", L"innerText"));
    EXPECT_EQ(L"Version 4.42", Element(L"version", L"innerText"));

    ASSERT_EQ(S_OK, Call(L"inMsgBox", {UintArg(12)}));
    EXPECT_EQ(L"The game could not be started. Please reinstall it.", Element(L"dialogText", L"innerText"));
}

TEST_F(ThemeInEngine, DefaultBalloonAnswersWithItsSize)
{
    ASSERT_TRUE(Show(L"default", L"balloon.html"));
    ASSERT_EQ(S_OK, Call(L"inOptionLoad", {TextArg(L"games_dll"), TextArg(L"C:\\Games\\games.dll")}));
    Variant size;
    ASSERT_EQ(S_OK, Call(L"inNewGame", {UintArg(7), UintArg(0), TextArg(L"Zeta"), TextArg(L"New.")}, &size));
    ASSERT_EQ(VT_DISPATCH, size.type());
    long width = 0, height = 0;
    EXPECT_TRUE(GetIntMember(V_DISPATCH(&size.get()), L"width", width));
    EXPECT_TRUE(GetIntMember(V_DISPATCH(&size.get()), L"height", height));
    EXPECT_EQ(320, width);
    EXPECT_EQ(120, height);
    EXPECT_EQ(L"Zeta", Element(L"title", L"innerText"));
}

TEST_F(ThemeInEngine, RecordingPageLogsTheProgramsCallsAndDrivesTheHost)
{
    ASSERT_TRUE(Show(L"testing", L"main.html"));
    EXPECT_EQ(L"main", CallForText(L"testPage"));
    ASSERT_EQ(S_OK, Call(L"inMsgBox", {UintArg(402), TextArg(L"KEY")}));
    ASSERT_EQ(S_OK, Call(L"inRender", {BoolArg(false)}));
    // The container's external knows hostCall; for any other name the
    // script engine raises "object does not support this method".
    EXPECT_EQ(L"ok", CallForText(L"testCall", {TextArg(L"hostCall"), TextArg(L"a"), UintArg(5)}));
    EXPECT_EQ(L"error:0x800a01b6", CallForText(L"testCall", {TextArg(L"gameRun"), UintArg(5)}));
    EXPECT_EQ(L"inMsgBox|number:402|string:KEY\n"
              L"inRender|boolean:false\n"
              L">hostCall|string:a|number:5\n"
              L"<hostCall|ok\n"
              L">gameRun|number:5\n"
              L"<gameRun|error:0x800a01b6\n",
              CallForText(L"testLog"));
    ASSERT_EQ(1u, container_->external().calls.size());
    EXPECT_EQ(L"hostCall", container_->external().calls[0].name);

    // The build without the probe: the program's lookup finds no such name.
    ASSERT_TRUE(Show(L"testing-noprobe", L"main.html"));
    Variant none;
    EXPECT_EQ(DISP_E_UNKNOWNNAME, Call(L"inTestQuivmarkSkin", {}, &none));
    EXPECT_EQ(L"main", CallForText(L"testPage"));
}
