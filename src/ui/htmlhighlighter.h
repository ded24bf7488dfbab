#pragma once
#include "spell/speller.h"
#include "spell/wordscanner.h"

#include <QPointer>
#include <QSyntaxHighlighter>
#include <QTextCharFormat>

#include <array>
#include <vector>

class QPalette;
class QTextBlock;

namespace tl {


// The kinds of text the post editor colours.
enum class HtmlElement {
    Bracket, // "<" and ">" of a tag or declaration
    DefaultText, // everything else; left in the editor's own format
    HtmlKeyword, // a tag name of the HTML vocabulary
    HtmlTag, // the rest of a tag: "/", "=", stray characters, a declaration's text
    HtmlComment, // "<!-- ... -->", delimiters included
    HtmlAttribute, // an attribute name
    HtmlAttributeValue, // an attribute value, quotes included
    PerlScript, // server-side script "<% ... %>" or "<? ... ?>", delimiters included
    ScriptTag, // the name "script" in its opening and closing tags
    ScriptContent, // the text between <script ...> and </script>
    SpecialChars, // a character reference: "&amp;", "&#233;", "&#x1F600;"
    UnknownTag, // a tag name outside the HTML vocabulary
};
inline constexpr int HtmlElementCount = 12;

// One coloured stretch of a line. DefaultText is never reported.
struct HtmlSpan {
    int start = 0;
    int length = 0;
    HtmlElement element = HtmlElement::DefaultText;
    bool operator==(const HtmlSpan &) const = default;
};

// Scans one line of HTML in a single pass. `state` is what the previous line
// returned (-1 for the first line); the result is the state to hand to the next
// line, so comments, tags, quoted values, server scripts and the content of
// <script> and <style> carry over line ends. Spans come out in order, adjacent
// spans of one element merged.
int scanHtmlLine(QStringView line, int state, std::vector<HtmlSpan> &spans);

// Whether `name` (any case) is a tag name of the HTML vocabulary.
bool isKnownHtmlTag(QStringView name);

// Length of the character reference starting at line[pos] ("&name;", "&#digits;",
// "&#xhex;"), or 0 when there is none there.
int htmlCharRefLength(QStringView line, int pos);

// What the post editor marks of Markdown, lightly, in the Markdown mode.
enum class MarkdownElement {
    Heading, // a "#" line, whole
    Emphasis, // *text* or _text_, delimiters included
    Strong, // **text** or __text__ (both for ***text***)
    Strikethrough, // ~~text~~
    Code, // `code` and the lines of a fenced block
    LinkText, // the text of [text](destination)
    LinkTarget, // "(destination)", and an autolink <http://...>
};
inline constexpr int MarkdownElementCount = 7;

struct MarkdownSpan {
    int start = 0;
    int length = 0;
    MarkdownElement element = MarkdownElement::Heading;
    // Coloured over the HTML colours (code, autolinks, which look like
    // tags); the others lie under them, so a tag inside emphasis stays a tag.
    bool overHtml = false;
    bool operator==(const MarkdownSpan &) const = default;
};

// Finds the Markdown of one line: its heading, emphasis, strikethrough,
// links and autolinks, outside `code` (the code stretches the word scanner
// found, spell::scanLine), which come out as Code spans. Spans come out in
// the order they are to be applied: a later one wins where they overlap.
void scanMarkdownLine(QStringView line, const std::vector<spell::TextRange> &code,
                      std::vector<MarkdownSpan> &spans);

// Colours a post as it is typed: HTML by the element table of the post
// editor, and in the Markdown mode also Markdown (its code as code, tags
// outside it as HTML); and, with a speller that is active, puts a red wavy
// line under each misspelt word.
class HtmlHighlighter : public QSyntaxHighlighter {
    Q_OBJECT
public:
    explicit HtmlHighlighter(QTextDocument *doc);

    // The format applied to one element (DefaultText: an empty format).
    const QTextCharFormat &elementFormat(HtmlElement e) const
    {
        return formats_[static_cast<int>(e)];
    }
    const QTextCharFormat &markdownFormat(MarkdownElement e) const
    {
        return markdownFormats_[static_cast<int>(e)];
    }
    // Rebuilds the formats from a palette (the script tag's background is the
    // palette's base colour) and recolours the document.
    void setPalette(const QPalette &palette);

    // HTML (the start) or Markdown; recolours the document when it changes.
    void setMarkup(spell::Markup markup);
    spell::Markup markup() const { return markup_; }

    // The speller whose judgement the underlines show (none: no underlines).
    // The document is recoloured now and whenever the speller's words change.
    void setSpeller(spell::Speller *speller);
    spell::Speller *speller() const { return speller_; }

    // The misspelt word at a position of a block (a character of it, or just
    // after it), as the underlines show it; length 0 when there is none.
    spell::TextRange misspeltWordAt(const QTextBlock &block, int positionInBlock) const;

protected:
    void highlightBlock(const QString &text) override;

private:
    void underline(int start, int length);

    std::array<QTextCharFormat, HtmlElementCount> formats_;
    std::array<QTextCharFormat, MarkdownElementCount> markdownFormats_;
    std::vector<HtmlSpan> spans_;
    std::vector<MarkdownSpan> markdownSpans_;
    spell::ScannedLine scanned_;
    spell::Markup markup_ = spell::Markup::Html;
    QPointer<spell::Speller> speller_;
    QString blanked_;
};

} // namespace tl
