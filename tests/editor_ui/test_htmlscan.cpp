// The line scanner behind the editor's colouring. Expectations are written as
// one code letter per character of the line:
//   . default text   B bracket     K known tag name   T rest of a tag
//   C comment        A attribute   V attribute value  P server script
//   S script tag     s script text E character ref    U unknown tag name
#include "ui/htmlhighlighter.h"

#include <QElapsedTimer>
#include <gtest/gtest.h>

#include <string>
#include <vector>

using tl::HtmlElement;
using tl::HtmlSpan;

namespace {

char codeOf(HtmlElement e)
{
    switch (e) {
    case HtmlElement::Bracket:
        return 'B';
    case HtmlElement::DefaultText:
        return '.';
    case HtmlElement::HtmlKeyword:
        return 'K';
    case HtmlElement::HtmlTag:
        return 'T';
    case HtmlElement::HtmlComment:
        return 'C';
    case HtmlElement::HtmlAttribute:
        return 'A';
    case HtmlElement::HtmlAttributeValue:
        return 'V';
    case HtmlElement::PerlScript:
        return 'P';
    case HtmlElement::ScriptTag:
        return 'S';
    case HtmlElement::ScriptContent:
        return 's';
    case HtmlElement::SpecialChars:
        return 'E';
    case HtmlElement::UnknownTag:
        return 'U';
    }
    return '?';
}

// Scans the lines in order, carrying the state, and returns each line's codes.
std::vector<std::string> scan(const std::vector<std::string> &lines)
{
    std::vector<std::string> result;
    std::vector<HtmlSpan> spans;
    int state = -1;
    for (const std::string &line : lines) {
        const QString text = QString::fromStdString(line);
        state = tl::scanHtmlLine(text, state, spans);
        std::string codes(size_t(text.size()), '.');
        int lastEnd = 0;
        for (const HtmlSpan &s : spans) {
            EXPECT_GE(s.start, lastEnd) << "spans overlap or are out of order in: " << line;
            EXPECT_GT(s.length, 0);
            EXPECT_NE(s.element, HtmlElement::DefaultText);
            EXPECT_LE(s.start + s.length, text.size());
            lastEnd = s.start + s.length;
            for (int k = s.start; k < s.start + s.length && k < text.size(); ++k)
                codes[size_t(k)] = codeOf(s.element);
        }
        result.push_back(codes);
    }
    return result;
}

struct LineCase {
    const char *name;
    std::string line;
    std::string codes;
};

void PrintTo(const LineCase &c, std::ostream *os)
{
    *os << c.name;
}

class ScanOneLine : public ::testing::TestWithParam<LineCase> { };

TEST_P(ScanOneLine, ColoursEachCharacter)
{
    const LineCase &c = GetParam();
    ASSERT_EQ(c.line.size(), c.codes.size()) << "bad test row";
    EXPECT_EQ(scan({ c.line })[0], c.codes) << c.line;
}

INSTANTIATE_TEST_SUITE_P(Snippets, ScanOneLine,
    ::testing::Values(LineCase { "tag_with_quoted_attribute", R"(<p class="x">)", "BK.AAAAATVVVB" },
        LineCase { "unknown_tag_name", "<blink2>x</blink2>", "BUUUUUUB.BTUUUUUUB" },
        LineCase { "known_tag_any_case", "</DIV>", "BTKKKB" },
        LineCase { "self_closing_slash", "<br/>", "BKKTB" },
        LineCase { "custom_element_is_unknown", "<my-box>", "BUUUUUUB" },
        LineCase { "spaces_around_equals", R"(<a href = "x" >)", "BK.AAAA.T.VVV.B" },
        LineCase { "attribute_without_value", "<input disabled>", "BKKKKK.AAAAAAAAB" },
        LineCase { "unquoted_value_and_entity_in_value", "<img src=a.png alt='x &amp; y'>",
            "BKKK.AAATVVVVV.AAATVVVEEEEEVVVB" },
        LineCase {
            "bad_reference_in_value_is_value", R"(<p title="&#xZZ;">)", "BK.AAAAATVVVVVVVVB" },
        LineCase { "less_than_in_text_is_text", "a < b && c<3", "............" },
        LineCase { "stray_greater_than_is_text", "x > y", "....." },
        LineCase { "character_references", "&amp; &#233; &#x1F600;", "EEEEE.EEEEEE.EEEEEEEEE" },
        LineCase { "not_references", "AT&T &amp &#xZZ; &; &#; &#12345678;",
            "..................................." },
        LineCase { "doctype_declaration", "<!DOCTYPE html>", "BTTTTTTTTTTTTTB" },
        LineCase { "short_declaration_then_text", "x<!y>z", ".BTTB." },
        LineCase { "placeholder_comment", "<!-- %CONTENT% -->x", "CCCCCCCCCCCCCCCCCC." },
        LineCase {
            "tags_inside_comment_are_comment", "<!--<b>&amp;</b>-->", "CCCCCCCCCCCCCCCCCCC" },
        LineCase { "abrupt_empty_comments", "<!-->a<!--->b", "CCCCC.CCCCCC." },
        LineCase { "comment_closed_by_bang", "<!-- x --!>y", "CCCCCCCCCCC." },
        LineCase { "server_script_percent", "<% print $x; %>text", "PPPPPPPPPPPPPPP...." },
        LineCase { "server_script_question", "<?php echo 1 ?><b>", "PPPPPPPPPPPPPPPBKB" },
        LineCase { "script_with_content", R"(<script src="a.js">var a=1<2;</script>)",
            "BSSSSSS.AAATVVVVVVBssssssssssBTSSSSSSB" },
        LineCase { "script_end_tag_any_case", "<script>x</SCRIPT >", "BSSSSSSBsBTSSSSSS.B" },
        LineCase { "longer_name_does_not_end_script", "<script>a</scripts>b</script>",
            "BSSSSSSBssssssssssssBTSSSSSSB" },
        LineCase {
            "style_content_is_plain_text", "<style>a > b {}</style>", "BKKKKKB........BTKKKKKB" },
        LineCase { "unclosed_tag_ends_at_next_tag", "<p <b>x", "BK.BKB." },
        LineCase { "unclosed_value_quote_runs_to_line_end", R"(<a b="c <i>)", "BK.ATVVVVVV" }),
    [](const auto &info) { return std::string(info.param.name); });

struct LinesCase {
    const char *name;
    std::vector<std::string> lines;
    std::vector<std::string> codes;
};

void PrintTo(const LinesCase &c, std::ostream *os)
{
    *os << c.name;
}

class ScanAcrossLines : public ::testing::TestWithParam<LinesCase> { };

TEST_P(ScanAcrossLines, CarriesStateOverLineEnds)
{
    const LinesCase &c = GetParam();
    ASSERT_EQ(c.lines.size(), c.codes.size()) << "bad test row";
    const auto got = scan(c.lines);
    for (size_t k = 0; k < c.lines.size(); ++k) {
        ASSERT_EQ(c.lines[k].size(), c.codes[k].size()) << "bad test row, line " << k;
        EXPECT_EQ(got[k], c.codes[k]) << "line " << k << ": " << c.lines[k];
    }
}

INSTANTIATE_TEST_SUITE_P(Snippets, ScanAcrossLines,
    ::testing::Values(
        LinesCase { "comment",
            { "text <!-- start", "<b>still &amp; comment</b>", "end --> <b>", "<i>" },
            { ".....CCCCCCCCCC", "CCCCCCCCCCCCCCCCCCCCCCCCCC", "CCCCCCC.BKB", "BKB" } },
        LinesCase { "script_content", { "<script>", "if (a < b && c) {", "}</script><i>", "&lt;" },
            { "BSSSSSSB", "sssssssssssssssss", "sBTSSSSSSBBKB", "EEEE" } },
        LinesCase { "script_tag_split_before_its_end",
            { "<script", R"(type="x">)", "a<b", "</script>" },
            { "BSSSSSS", "AAAATVVVB", "sss", "BTSSSSSSB" } },
        LinesCase { "quoted_value", { "<a title=\"one", "two\" href=x>y" },
            { "BK.AAAAATVVVV", "VVVV.AAAATVB." } },
        LinesCase {
            "single_quoted_value", { "<a title='it\"s", "x'>y" }, { "BK.AAAAATVVVVV", "VVB." } },
        LinesCase { "attributes_on_later_lines",
            { "<img", "  src=\"a\"", "  alt", "  =", "  b>&lt;" },
            { "BKKK", "..AAATVVV", "..AAA", "..T", "..VBEEEE" } },
        LinesCase {
            "closing_tag_does_not_open_script", { "</script", "><b>" }, { "BTSSSSSS", "BBKB" } },
        LinesCase { "server_script", { "<?php", "echo 1;", "?>x" }, { "PPPPP", "PPPPPPP", "PP." } },
        LinesCase { "declaration", { "<!DOCTYPE", "html>x" }, { "BTTTTTTTT", "TTTTB." } },
        LinesCase { "style_content", { "<style>", "p > a {}", "</style>" },
            { "BKKKKKB", "........", "BTKKKKKB" } },
        LinesCase { "lone_bracket_at_line_end_is_text", { "a <", "b>" }, { "...", ".." } }),
    [](const auto &info) { return std::string(info.param.name); });

TEST(HtmlScan, StateOfAPlainLineIsTheStartState)
{
    std::vector<HtmlSpan> spans;
    const int start = tl::scanHtmlLine(u"", -1, spans);
    EXPECT_EQ(tl::scanHtmlLine(u"<p>text</p> &amp;", -1, spans), start);
    EXPECT_EQ(tl::scanHtmlLine(u"<!-- a -->", start, spans), start);
    EXPECT_NE(tl::scanHtmlLine(u"<!-- a", start, spans), start);
}

TEST(HtmlScan, KnownTagNames)
{
    for (const char16_t *name : { u"p", u"P", u"blockquote", u"H6", u"tBody", u"wbr", u"a" })
        EXPECT_TRUE(tl::isKnownHtmlTag(QStringView(name)))
            << QString::fromUtf16(name).toStdString();
    for (const char16_t *name :
        { u"", u"p1", u"h7", u"scripts", u"tablex", u"x", u"\u00DF", u"br/" })
        EXPECT_FALSE(tl::isKnownHtmlTag(QStringView(name)))
            << QString::fromUtf16(name).toStdString();
}

// Long posts: each line must be scanned in linear time, whatever it holds.
TEST(HtmlScan, PathologicalLinesScanInLinearTime)
{
    const int n = 200000;
    const std::vector<QString> lines = {
        QStringLiteral("<a ").repeated(n / 3),
        QStringLiteral("&aaaaaaa").repeated(n / 8),
        QStringLiteral("&#").repeated(n / 2),
        QStringLiteral("<!--").append(QStringLiteral("-").repeated(n)),
        QStringLiteral("<script>").append(QStringLiteral("</scrip").repeated(n / 7)),
        QStringLiteral("<a b=\"").append(QStringLiteral("&").repeated(n)),
        QStringLiteral("<% %").repeated(n / 4),
        QStringLiteral("<").repeated(n),
    };
    std::vector<HtmlSpan> spans;
    for (const QString &line : lines) {
        QElapsedTimer timer;
        timer.start();
        for (int rep = 0; rep < 5; ++rep)
            tl::scanHtmlLine(line, -1, spans);
        EXPECT_LT(timer.elapsed(), 3000) << line.left(12).toStdString();
    }
}

} // namespace
