#include "generator/charset.h"
#include "generator/feeds.h"

#include <QStringDecoder>
#include <QStringEncoder>
#include <gtest/gtest.h>

using namespace tl;
using namespace tl::gen;

TEST(StripTagsRule, Examples)
{
    EXPECT_EQ(StripTags("x <b>5 > 3</b>"), "x 5 ");
    EXPECT_EQ(StripTags("Hello <b>world</b> &amp; more</p>"), "Hello world &amp; more");
    EXPECT_EQ(StripTags(""), "");
    EXPECT_EQ(StripTags("plain"), "plain");
    EXPECT_EQ(StripTags("<<a>>b<<c>"), "a>>b");
}

// However many tags the text holds, every piece is handled (a count of the
// pieces held in 8 bits would stop after 255, or after none at 256).
TEST(StripTagsRule, EveryPieceOfALongTextIsHandled)
{
    for (int pieces : {255, 256, 257, 600}) {
        std::string text = "start";
        std::string want = "start";
        for (int i = 0; i < pieces; ++i) {
            text += "<i>" + std::to_string(i);
            want += std::to_string(i);
        }
        EXPECT_EQ(StripTags(text), want) << pieces;
    }
}

TEST(RssDescriptionRule, Examples)
{
    EXPECT_EQ(rssDescription("<p>Hello <b>world</b> &amp; more</p>"), "Hello world & more...");
    EXPECT_EQ(rssDescription(std::string(500, 'z')), std::string(200, 'z') + "...");
    EXPECT_EQ(rssDescription(""), "...");
    EXPECT_EQ(rssDescription("before<!--more-->after"), "beforeafter...");
    EXPECT_EQ(rssDescription("<p><b>Hello</b>"), "b>Hello...");
    EXPECT_EQ(rssDescription("<unclosed"), "...");
    EXPECT_EQ(rssDescription("a\r\n\r\n  b "), "a\r\n\r\n  b ...");
    EXPECT_EQ(rssDescription("&nbsp;&bdquo;&rdquo;&mdash;&amp;&trade;&amp;nbsp;&eacute;"),
              " \x84\x94\x97&\x99&nbsp;&eacute;...");
}

TEST(RssItemFormat, EscapedForXmlAndLinkedIntoTheArchive)
{
    RenderSettings s;
    s.archiveFolder = "archiv/";
    const std::string item = rssItem(postTexts("1049328060.txt"),
                                     {"Q&A <b>", "<p>Tom &amp; Jerry &lt;3</p>"}, s,
                                     "http://example.com/?a=1&b=2/", 7200);
    EXPECT_EQ(item, "\t\t<item>\r\n"
                    "\t\t\t<title>Q&amp;A &lt;b&gt;</title>\r\n"
                    "\t\t\t<description>Tom &amp; Jerry &amp;lt;3...</description>\r\n"
                    "\t\t\t<link>http://example.com/?a=1&amp;b=2/archiv/2003-04.html#030001</link>\r\n"
                    "\t\t\t<pubDate>Thu, 03 Apr 2003 00:01:00 +0200</pubDate>\r\n"
                    "\t\t\t<guid>http://example.com/?a=1&amp;b=2/archiv/2003-04.html#030001</guid>\r\n"
                    "\t\t</item>\r\n");
}

// A character windows-1250 lacks is stored as a numeric reference: the feed
// keeps it one, so readers show the character; anything else with "&" is text.
TEST(RssItemFormat, NumericReferencesPassOtherAmpersandsAreEscaped)
{
    EXPECT_EQ(xmlEscape("&#9829; &#x2665; &#X1F600; &#65;"), "&#9829; &#x2665; &#X1F600; &#65;");
    EXPECT_EQ(xmlEscape("& &amp; &hearts; &#; &#x; &#12a; &#9829 &#xG1;"),
              "&amp; &amp;amp; &amp;hearts; &amp;#; &amp;#x; &amp;#12a; &amp;#9829 &amp;#xG1;");
    // References to what XML does not allow, or out of range, stay text.
    EXPECT_EQ(xmlEscape("&#0; &#x1B; &#xFFFE; &#x110000; &#99999999999;"),
              "&amp;#0; &amp;#x1B; &amp;#xFFFE; &amp;#x110000; &amp;#99999999999;");
    EXPECT_EQ(xmlEscape("a&#9829;"), "a&#9829;");
    EXPECT_EQ(xmlEscape("&#9829"), "&amp;#9829");
}

TEST(TxtEntryFormat, WholeRawBodyAndDateLink)
{
    RenderSettings s;
    s.archiveFolder = "archiv/";
    s.paragraphMode = kParagraphP;
    EXPECT_EQ(txtEntry(postTexts("1049328060.txt"), {"T", "a\r\n\r\nb<!--more-->c"}, s),
              "<h2>T</h2>\r\n"
              "<h3>3. 4. 2003 <a href=\"archiv/2003-04.html#030001\">00:01</a></h3>\r\n"
              "<p>a\r\n\r\nb<!--more-->c</p>\r\n");
}

TEST(BuildTimeStamp, Rfc822WithLocalOffset)
{
    const CivilDateTime monday = civilFromSeconds(secondsFromCivil(2026, 12, 7, 21, 5, 0));
    EXPECT_EQ(rfc822DateTime(monday, 3600), "Mon, 07 Dec 2026 21:05:00 +0100");
    EXPECT_EQ(rfc822DateTime(monday, 0), "Mon, 07 Dec 2026 21:05:00 +0000");
    EXPECT_EQ(rfc822DateTime(monday, -(5 * 3600 + 30 * 60)), "Mon, 07 Dec 2026 21:05:00 -0530");
    const CivilDateTime early = civilFromSeconds(secondsFromCivil(2003, 1, 5, 9, 5, 7));
    EXPECT_EQ(rfc822DateTime(early, 7200), "Sun, 05 Jan 2003 09:05:07 +0200");
}

TEST(FinishOutputs, ItemsGoToTheFirstPlaceholderOnly)
{
    const std::string rss = finishRss("<!-- %ITEMS% -->|<!-- %ITEMS% -->|<!-- %CHARSET% -->|"
                                      "<!-- %BUILD_DATE_TIME% -->|<!-- %BUILD_DATE_TIME% -->",
                                      "I", 0, "D");
    EXPECT_EQ(rss, "I|<!-- %ITEMS% -->|windows-1250|D|D");
    EXPECT_EQ(finishTxt("<!-- %CONTENT% -->|<!-- %CONTENT% -->|<!-- %CHARSET% -->", "E", 1),
              "E|<!-- %CONTENT% -->|iso-8859-2");
}

TEST(FinishOutputs, ItemTextsAreConvertedOnceTemplatesNever)
{
    // The template's 0x9A stays; the items' 0x9A becomes 0xB9 (not 0xB1).
    EXPECT_EQ(finishRss("\x9A<!-- %ITEMS% -->", "\x9A\x84", 1, "D"), "\x9A\xB9#");
    EXPECT_EQ(finishTxt("\x9A<!-- %CONTENT% -->", "\x9A", 1), "\x9A\xB9");
    EXPECT_EQ(finishTxt("\x9A<!-- %CONTENT% -->", "\x9A", 0), "\x9A\x9A");
    // "&bdquo;" in a body: decoded to 0x84, which ISO 8859-2 shows as "#".
    EXPECT_EQ(finishRss("<!-- %ITEMS% -->", rssDescription("&bdquo;x"), 1, ""), "#x...");
}

TEST(Charset, NamesAndChoice)
{
    EXPECT_EQ(charsetName(0), "windows-1250");
    EXPECT_EQ(charsetName(1), "iso-8859-2");
    EXPECT_EQ(charsetName(-1), "windows-1250");
    EXPECT_FALSE(convertsToIso(0));
    EXPECT_TRUE(convertsToIso(1));
    EXPECT_FALSE(convertsToIso(-1));
}

// Every byte of the table, against the two code pages as the system's
// converters know them: a character ISO 8859-2 holds moves to its byte there;
// one it lacks, and DEL and the C1 range, become "#".
TEST(Charset, EveryByteMatchesTheTwoCodePages)
{
    QStringDecoder fromWin("windows-1250");
    if (!fromWin.isValid() || !QStringEncoder("ISO-8859-2").isValid())
        GTEST_SKIP() << "no windows-1250 / ISO 8859-2 converters";
    const auto &table = win1250ToIsoTable();
    for (int b = 0; b < 256; ++b) {
        const QString ch = fromWin(QByteArray(1, static_cast<char>(b)));
        unsigned char want = '#';
        if (b < 0x7F || b >= 0xC0) {
            want = static_cast<unsigned char>(b);
        } else if (b >= 0x80 && ch.size() == 1 && (ch[0].unicode() >= 0xA0)) {
            // A fresh encoder each time: its error flag does not reset.
            QStringEncoder toIso("ISO-8859-2");
            const QByteArray out = toIso(ch);
            if (!toIso.hasError() && out.size() == 1 && out[0] != '\x1A' && out[0] != '?')
                want = static_cast<unsigned char>(out[0]);
        }
        EXPECT_EQ(table[b], want) << std::hex << b;
    }
}

TEST(Charset, ListedBytes)
{
    const int moved[][2] = {{0x8A, 0xA9}, {0x8C, 0xA6}, {0x8D, 0xAB}, {0x8E, 0xAE}, {0x8F, 0xAC},
                            {0x9A, 0xB9}, {0x9C, 0xB6}, {0x9D, 0xBB}, {0x9E, 0xBE}, {0x9F, 0xBC},
                            {0xA1, 0xB7}, {0xA5, 0xA1}, {0xB9, 0xB1}, {0xBC, 0xA5}, {0xBE, 0xB5}};
    const auto &t = win1250ToIsoTable();
    for (const auto &m : moved)
        EXPECT_EQ(t[m[0]], m[1]) << std::hex << m[0];
    int hashes = 0, same = 0;
    for (int b = 0; b < 256; ++b) {
        hashes += t[b] == '#' && b != '#';
        same += t[b] == b;
    }
    EXPECT_EQ(hashes, 33);
    EXPECT_EQ(same, 256 - 33 - 15);
}

TEST(Charset, ExamplesAndNul)
{
    // "Příliš žluťoučký kůň" in windows-1250.
    const std::string win = "P\xF8\xEDli\x9A \x9Elu\x9Dou\xE8k\xFD k\xF9\xF2";
    EXPECT_EQ(win1250ToIso88592(win), "P\xF8\xEDli\xB9 \xBElu\xBBou\xE8k\xFD k\xF9\xF2");
    // „quotes” and an em dash.
    EXPECT_EQ(win1250ToIso88592("\x84quotes\x94 \x97"), "#quotes# #");
    const std::string withNul("a\0\x9A", 3);
    EXPECT_EQ(win1250ToIso88592(withNul), std::string("a\0\xB9", 3));
    // Twice is not the identity: that is why each piece is converted once.
    EXPECT_EQ(win1250ToIso88592(win1250ToIso88592("\x9A")), "\xB1");
}
