#include "core/errors.h"
#include "generator/render.h"
#include "generator/templates.h"

#include <gtest/gtest.h>

using namespace tl;
using namespace tl::gen;

namespace {

PostContent post(const std::string &title, const std::string &body) { return {title, body}; }

RenderSettings defaults(int mode = kParagraphBr)
{
    RenderSettings s;
    s.paragraphMode = mode;
    return s;
}

const std::string kPattern = "<h2><!-- %DATE% --></h2><!-- %CONTENT% --><i><!-- %TIME% --></i>";

} // namespace

TEST(PostTextsOfName, DerivedTexts)
{
    const PostTexts t = postTexts("1049328060.txt");
    EXPECT_EQ(t.n, 1049328060);
    EXPECT_EQ(t.dateText, "3. 4. 2003");
    EXPECT_EQ(t.timeText, "00:01");
    EXPECT_EQ(t.anchor, "030001");
    EXPECT_EQ(t.monthKey, "2003-04");
    EXPECT_EQ(t.monthPage, "2003-04.html");
    EXPECT_EQ(t.longPostPage, "2003-04_030001.html");

    const PostTexts u = postTexts(postFileName(secondsFromCivil(2004, 3, 7, 9, 5)));
    EXPECT_EQ(u.dateText, "7. 3. 2004");
    EXPECT_EQ(u.timeText, "09:05");
    EXPECT_EQ(u.anchor, "070905");
    RenderSettings s;
    s.archiveFolder = "archiv/";
    EXPECT_EQ(permalink(u, s, PageKind::Main), "archiv/2004-03.html#070905");
    EXPECT_EQ(permalink(u, s, PageKind::Archive), "2004-03.html#070905");
}

TEST(PostTextsOfName, SecondsAreIgnoredAndBadNamesFail)
{
    // Clock-dated in the same minute as an editor-dated post: same anchor and page.
    EXPECT_EQ(postTexts("1049328075.txt").anchor, postTexts("1049328060.txt").anchor);
    EXPECT_EQ(postTexts("1049328075.txt").longPostPage, "2003-04_030001.html");
    try {
        postTexts("notes.txt");
        ADD_FAILURE();
    } catch (const AppError &e) {
        EXPECT_STREQ(e.what(), "'notes' is not a valid integer value");
    }
}

TEST(FormatBodyModes, Table)
{
    struct Case {
        int mode;
        PageKind kind;
        std::string body, want;
    };
    const Case cases[] = {
        {kParagraphBr, PageKind::Main, "a\r\nb", "a\r<br />b"},
        {kParagraphBr, PageKind::Archive, "a\r\nb", "a<br />\nb"},
        {kParagraphBr, PageKind::Main, "a\r\n\r\nb\r\n", "a\r<br />\r<br />b\r<br />"},
        {kParagraphP, PageKind::Main, "a\r\n\r\nb", "<p>a</p>\r\n<p>b</p>"},
        {kParagraphP, PageKind::Archive, "a\r\n\r\nb", "<p>a</p>\r\n<p>b</p>"},
        {kParagraphP, PageKind::Main, "a\r\nb", "<p>a\r\nb</p>"},
        {kParagraphP, PageKind::Main, "a\r\n\r\n\r\n\r\nb", "<p>a</p>\r\n<p></p>\r\n<p>b</p>"},
        {kParagraphP, PageKind::Main, "a\r\n\r\n\r\nb", "<p>a</p>\r\n<p>\r\nb</p>"},
        {kParagraphP, PageKind::Main, "", "<p></p>"},
        {kParagraphBr, PageKind::Main, "", ""},
        {kParagraphUnformatted, PageKind::Main, "a\r\n\r\nb", "a\r\n\r\nb"},
        {-1, PageKind::Archive, "a\r\nb", "a\r\nb"}, // no mode chosen: unchanged
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.body + " mode " + std::to_string(c.mode));
        EXPECT_EQ(FormatBody(c.body, c.mode, c.kind), c.want);
    }
}

TEST(FillMain, PlaceholderOrderAndValues)
{
    RenderSettings s = defaults(kParagraphUnformatted);
    s.author = "Jan";
    s.email = "jan@example.com";
    s.archiveFolder = "archiv/";
    const std::string pattern = "<!-- %DATE% -->|<!-- %TIME% -->|<!-- %PERMALINK% -->|"
                                "<!-- %ANCHOR% -->|<!-- %TITLE% -->|<!-- %TITLE% -->|"
                                "<!-- %CONTENT% -->|<!-- %AUTHOR% -->|<!-- %AUTHOR_MAIL% -->|"
                                "<!-- %CHARSET% -->";
    std::string previous;
    // The author typed in a body becomes the name (it is replaced after the
    // content); a title typed in a body stays as typed.
    const std::string block = FillMainPostBlock(
        pattern, postTexts("1049328060.txt"),
        post("T", "b <!-- %AUTHOR% --> <!-- %TITLE% -->"), s, previous);
    EXPECT_EQ(block, "3. 4. 2003|00:01|archiv/2003-04.html#030001|030001|T|T|"
                     "b Jan <!-- %TITLE% -->|Jan|jan@example.com|<!-- %CHARSET% -->");
    EXPECT_EQ(previous, "3. 4. 2003");
}

TEST(FillMain, TitleHoldingAPlaceholderIsExpandedByALaterStep)
{
    std::string previous;
    const std::string block =
        FillMainPostBlock("<!-- %TITLE% -->/<!-- %CONTENT% -->", postTexts("0.txt"),
                          post("<!-- %CONTENT% --><!-- %TIME% -->", "body"),
                          defaults(kParagraphUnformatted), previous);
    EXPECT_EQ(block, "body<!-- %TIME% -->/body");
}

TEST(FillMain, DateOnlyOnTheFirstPostOfEachDay)
{
    std::string previous;
    const RenderSettings s = defaults(kParagraphUnformatted);
    // Newest first: two posts on 3 April, one on 2 April, one more on 2 April.
    const char *names[] = {"1049373240.txt", "1049328060.txt", "1049241600.txt", "1049241660.txt"};
    std::vector<std::string> blocks;
    for (const char *n : names)
        blocks.push_back(FillMainPostBlock(kPattern, postTexts(n), post("t", "x"), s, previous));
    EXPECT_EQ(blocks[0], "<h2>3. 4. 2003</h2>x<i>12:34</i>");
    EXPECT_EQ(blocks[1], "<h2><!-- %DATE% --></h2>x<i>00:01</i>");
    EXPECT_EQ(blocks[2], "<h2>2. 4. 2003</h2>x<i>00:00</i>");
    EXPECT_EQ(blocks[3], "<h2><!-- %DATE% --></h2>x<i>00:01</i>");
}

TEST(FillArchive, DateRuleAndPostFieldsInArchiveOrder)
{
    const std::string pattern = "<!-- %DATE% -->|<!-- %PERMALINK% -->|<!-- %CONTENT% -->|"
                                "<!-- %ARCHIVE% -->|<!-- %BUILD% -->";
    RenderSettings s = defaults(kParagraphBr);
    s.archiveFolder = "archiv/";
    s.author = "Jan";
    std::string previous;
    const ArchivePost a = FillArchivePostBlock(
        pattern, postTexts("1049373240.txt"), post("T", "a\r\n<!-- %AUTHOR% -->"), s, previous);
    // Content comes last on archive pages: the author typed in a body stays.
    EXPECT_EQ(a.monthBlock, "3. 4. 2003|2003-04.html#031234|a<br />\n<!-- %AUTHOR% -->|"
                            "<!-- %ARCHIVE% -->|<!-- %BUILD% -->");
    EXPECT_FALSE(a.isLong);
    const ArchivePost b =
        FillArchivePostBlock(pattern, postTexts("1049328060.txt"), post("T", "b"), s, previous);
    EXPECT_EQ(b.monthBlock.substr(0, 16), "<!-- %DATE% -->|");
}

// Body x, separator, y; mode "<p></p>"; empty archive folder.
TEST(LongPost, CutInParagraphModeOnBothOutputs)
{
    const std::string pattern = "<div><!-- %CONTENT% --><i><!-- %TIME% --> <!-- %DATE% --> "
                                "<!-- %TITLE% --> <!-- %PERMALINK% --></i></div>";
    const RenderSettings s = defaults(kParagraphP);
    const PostTexts t = postTexts("1049328060.txt");
    std::string previous;
    EXPECT_EQ(RenderMainPost(pattern, t, post("T", "x<!--more-->y"), s, previous),
              "<div><p>x <a href=\"2003-04_030001.html\">Continue...</a></p>"
              "<i>00:01 <!-- %DATE% --> T 2003-04.html#030001</i></div>");
    previous.clear();
    const ArchivePost a = FillArchivePostBlock(pattern, t, post("T", "x<!--more-->y"), s, previous);
    EXPECT_TRUE(a.isLong);
    EXPECT_EQ(a.monthBlock, "<div><p>x <a href=\"2003-04_030001.html\">Continue...</a></p>"
                            "<i>00:01 3. 4. 2003 T 2003-04.html#030001</i></div>");
    EXPECT_EQ(a.longBlock, "<div><p>xy</p><i>00:01 3. 4. 2003 T 2003-04.html#030001</i></div>");
}

TEST(LongPost, LinkClosingAndArchiveFolderByMode)
{
    RenderSettings s = defaults(kParagraphBr);
    s.archiveFolder = "archiv/";
    s.longPostSeparator = "More";
    const PostTexts t = postTexts("1049328060.txt");
    std::string previous;
    EXPECT_EQ(RenderMainPost("[<!-- %CONTENT% -->]", t, post("T", "a\r\nb<!--more-->c"), s, previous),
              "[a\r<br />b <a href=\"archiv/2003-04_030001.html\">More</a>]");
    s.paragraphMode = kParagraphUnformatted;
    EXPECT_EQ(RenderMainPost("[<!-- %CONTENT% -->]", t, post("T", "a<!--more-->c"), s, previous),
              "[a <a href=\"archiv/2003-04_030001.html\">More</a>]");
    // The month page links within the archive folder.
    const ArchivePost a = FillArchivePostBlock("[<!-- %CONTENT% -->]", t,
                                               post("T", "a\r\nb<!--more-->c\r\nd"), s, previous);
    EXPECT_EQ(a.monthBlock, "[a\r\nb <a href=\"2003-04_030001.html\">More</a>]");
    EXPECT_EQ(a.longBlock, "[a\r\nbc\r\nd]");
}

TEST(LongPost, OnlyTheFirstOfTwoSeparatorsCuts)
{
    const RenderSettings s = defaults(kParagraphUnformatted);
    const PostTexts t = postTexts("1049328060.txt");
    std::string previous;
    EXPECT_EQ(RenderMainPost("<!-- %CONTENT% -->", t, post("T", "one<!--more-->two<!--more-->three"),
                             s, previous),
              "one <a href=\"2003-04_030001.html\">Continue...</a>");
    const ArchivePost a = FillArchivePostBlock("<!-- %CONTENT% -->", t,
                                               post("T", "one<!--more-->two<!--more-->three"), s,
                                               previous);
    EXPECT_EQ(a.longBlock, "onetwo<!--more-->three");
}

TEST(LongPost, SeparatorFromTheTitleOrTemplateAlsoCutsTheMainPage)
{
    const RenderSettings s = defaults(kParagraphUnformatted);
    std::string previous;
    EXPECT_EQ(RenderMainPost("<!-- %TITLE% -->:<!-- %CONTENT% -->!", postTexts("0.txt"),
                             post("A<!--more-->B", "body"), s, previous),
              "A <a href=\"1970-01_010000.html\">Continue...</a>!");
    // No content placeholder in the pattern: nothing follows the link.
    EXPECT_EQ(RenderMainPost("x<!--more-->y", postTexts("0.txt"), post("T", "b"), s, previous),
              "x <a href=\"1970-01_010000.html\">Continue...</a>");
}

TEST(LongPost, Iso88592ConvertsEveryByteOnce)
{
    RenderSettings s = defaults(kParagraphUnformatted);
    s.charset = 1;
    s.longPostSeparator = "Dal\x9A\xED"; // "Další"
    s.author = "\x9A";
    const PostTexts t = postTexts("1049328060.txt");
    std::string previous;
    // š is 0x9A in windows-1250 and 0xB9 in ISO 8859-2; converted twice it
    // would become 0xB1.
    const std::string block = RenderMainPost("<!-- %CONTENT% -->|<!-- %AUTHOR% -->",
                                             t, post("T", "\x9A<!--more-->\x9A"), s, previous);
    EXPECT_EQ(block, "\xB9 <a href=\"2003-04_030001.html\">Dal\xB9\xED</a>|\xB9");
    const std::string shortBlock =
        RenderMainPost("<!-- %CONTENT% -->", t, post("T", "\x9A"), s, previous);
    EXPECT_EQ(shortBlock, "\xB9");
    const ArchivePost a =
        FillArchivePostBlock("<!-- %CONTENT% -->", t, post("T", "\x9A<!--more-->\x9A"), s, previous);
    EXPECT_EQ(a.monthBlock, "\xB9 <a href=\"2003-04_030001.html\">Dal\xB9\xED</a>");
    EXPECT_EQ(a.longBlock, "\xB9\xB9");
}
