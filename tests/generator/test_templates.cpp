#include "core/errors.h"
#include "generator/templates.h"

#include <gtest/gtest.h>

using namespace tl;
using namespace tl::gen;

namespace {
const std::string M = "<!-- %CONTENT_START% -->";
}

TEST(MarkerSearch, OccurrenceCountsOnlyBetweenSeparators)
{
    struct Case {
        std::string text;
        std::size_t want;
    };
    const std::size_t npos = std::string::npos;
    const Case cases[] = {
        {M, 0},                        // whole text
        {"x" + M, npos},               // letter before
        {">" + M, 1},                  // ">" before
        {"a\r\n" + M + "\r\nb", 3},    // alone on its line
        {"a\n" + M, 2},                // LF line start
        {"\t" + M + " ", 1},           // tab before, space after
        {M + "x", npos},               // letter after
        {M + "<p>", 0},                // "<" after
        {"$" + M + "%", 1}, {"&" + M + ",", 1}, {"." + M + "/", 1}, {":" + M + ";", 1},
        {"=" + M + "=", 1},
        {"_" + M, npos}, {"-" + M, npos}, {"\"" + M + "\"", npos}, {M + "1", npos},
        {"<!-- %content_start% -->", npos}, // case matters
        {"<!--%CONTENT_START%-->", npos},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(locateMarker(c.text, M, 0), c.want);
    }
}

TEST(MarkerSearch, SkipsFailedOccurrencesAndHonoursTheStart)
{
    const std::string text = "x" + M + " " + M + " " + M;
    const std::size_t second = 1 + M.size() + 1;
    EXPECT_EQ(locateMarker(text, M, 0), second);
    EXPECT_EQ(locateMarker(text, M, second + 1), second + M.size() + 1);
    EXPECT_EQ(locateMarker(text, M, text.size()), std::string::npos);
}

TEST(Replace, FirstLeavesTheOthersAllReplacesEvery)
{
    const std::string t = "a<!-- %ITEMS% -->b<!-- %ITEMS% -->c";
    EXPECT_EQ(replaceFirst(t, kItems, "X"), "aXb<!-- %ITEMS% -->c");
    EXPECT_EQ(replaceAll(t, kItems, "X"), "aXbXc");
    EXPECT_EQ(replaceFirst("none", kItems, "X"), "none");
    std::string r = t;
    removeAllInPlace(r, kItems);
    EXPECT_EQ(r, "abc");
}

TEST(Replace, ValueIsInsertedVerbatimNeverRescanned)
{
    // A value that holds the placeholder itself stays as inserted.
    EXPECT_EQ(replaceAll("[<!-- %TITLE% -->][<!-- %TITLE% -->]", kTitle, "<!-- %TITLE% -->!"),
              "[<!-- %TITLE% -->!][<!-- %TITLE% -->!]");
    // Overlapping candidates are taken left to right without overlap.
    EXPECT_EQ(replaceAll("aaaa", "aa", "b"), "bb");
    EXPECT_EQ(replaceAll("aaa", "aa", "b"), "ba");
}

TEST(Replace, LookalikesAreNotPlaceholders)
{
    for (const char *text : {"<!-- %date% -->", "<!--%DATE%-->", "<!-- %DATE%-->", "<!--  %DATE% -->"})
        EXPECT_EQ(replaceAll(text, kDate, "X"), text);
}

TEST(BlockLineBreaks, EveryKindBecomesCrLf)
{
    EXPECT_EQ(normalizeBlockLineBreaks("a\rb\nc\r\nd\n\re"), "a\r\nb\r\nc\r\nd\r\ne");
    EXPECT_EQ(normalizeBlockLineBreaks("\n\r\n"), "\r\n\r\n");
    EXPECT_EQ(normalizeBlockLineBreaks("\r\r"), "\r\n\r\n");
}

TEST(SplitPageTemplate, HeadBlockTail)
{
    const PageTemplate t =
        splitPageTemplate("H\r\n" + kContentStart + "<p>B</p>" + kContentEnd + "\r\nT", "t.htm");
    EXPECT_EQ(t.head, "H\r\n");
    EXPECT_EQ(t.block, "<p>B</p>");
    EXPECT_EQ(t.tail, "\r\nT");
    // The end marker is the first one after the start marker.
    const PageTemplate u = splitPageTemplate(
        kContentEnd + "\n" + kContentStart + "\nB\n" + kContentEnd + "\nT", "t.htm");
    EXPECT_EQ(u.head, kContentEnd + "\n");
    EXPECT_EQ(u.block, "\nB\n");
    EXPECT_EQ(u.tail, "\nT");
}

TEST(SplitPageTemplate, MissingMarkersAreRefusedNamingTemplateAndMarker)
{
    const std::pair<std::string, std::string> cases[] = {
        {"no markers", "Template /t/x.htm has no marker <!-- %CONTENT_START% -->."},
        {"x" + kContentStart + kContentEnd, "Template /t/x.htm has no marker <!-- %CONTENT_START% -->."},
        {kContentStart + "\r\nblock", "Template /t/x.htm has no marker <!-- %CONTENT_END% --> after "
                                  "<!-- %CONTENT_START% -->."},
        {kContentEnd + kContentStart, "Template /t/x.htm has no marker <!-- %CONTENT_END% --> after "
                                      "<!-- %CONTENT_START% -->."},
    };
    for (const auto &[text, message] : cases) {
        try {
            splitPageTemplate(text, "/t/x.htm");
            ADD_FAILURE() << "accepted " << text;
        } catch (const AppError &e) {
            EXPECT_EQ(std::string(e.what()), message);
        }
    }
}

TEST(SitePlaceholders, EveryOccurrenceAndTheWayBackToTheMainPage)
{
    std::string t = "<!-- %SITE_TITLE% -->|<!-- %MAIN_URI% -->|<!-- %MAIN_PAGE% -->|"
                    "<!-- %SITE_TITLE% -->|<!-- %site_title% -->";
    fillSitePlaceholders(t, {"T", "http://x/", "../index.html"});
    EXPECT_EQ(t, "T|http://x/|../index.html|T|<!-- %site_title% -->");

    const std::string main = "/srv/site";
    EXPECT_EQ(linkToMainFolder(main, "", "index.html"), "index.html");
    EXPECT_EQ(linkToMainFolder(main, "archiv/", "index.html"), "../index.html");
    EXPECT_EQ(linkToMainFolder(main, "archiv", "blog.htm"), "../blog.htm");
    EXPECT_EQ(linkToMainFolder(main + "/", "a/b/", "index.html"), "../../index.html");
    EXPECT_EQ(linkToMainFolder(main, "./a//b/./", "index.html"), "../../index.html");
    EXPECT_EQ(linkToMainFolder(main, "../old/", "index.html"), "../site/index.html");
    EXPECT_EQ(linkToMainFolder(main, "/srv/site/arch/", "index.html"), "../index.html");
}

// QDir reads a path that begins with ":" as a built-in resource: an archive
// folder or main page named so got a link that led somewhere else.
TEST(SitePlaceholders, LinkFromAFolderOrToAPageWhoseNameBeginsWithAColon)
{
    EXPECT_EQ(linkToMainFolder("/srv/site", ":73296.txt", "index.html"), "../index.html");
    EXPECT_EQ(linkToMainFolder("/srv/site", ":a/b/", ":main.html"), "../../:main.html");
    EXPECT_EQ(linkToMainFolder("/srv/site", "archiv/", ":main.html"), "../:main.html");
}

TEST(Stamp, GeneratorStampAndNewLines)
{
    EXPECT_EQ(generatorStamp("2.1.0.12", "7.12.2026 21:05:00"),
              "<!-- %tarvlit_2.1.0.12_7.12.2026 21:05:00% -->");
    std::string s;
    appendAsNewLine(s, "a");
    EXPECT_EQ(s, "a");
    appendAsNewLine(s, "b");
    EXPECT_EQ(s, "a\r\nb");
    s = "x\n";
    appendAsNewLine(s, "y");
    EXPECT_EQ(s, "x\ny");
}
