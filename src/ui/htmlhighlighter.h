#pragma once
#include <QSyntaxHighlighter>
#include <QTextCharFormat>

#include <array>
#include <vector>

class QPalette;

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

// Colours HTML as it is typed, by the element table of the post editor.
class HtmlHighlighter : public QSyntaxHighlighter {
    Q_OBJECT
public:
    explicit HtmlHighlighter(QTextDocument *doc);

    // The format applied to one element (DefaultText: an empty format).
    const QTextCharFormat &elementFormat(HtmlElement e) const
    {
        return formats_[static_cast<int>(e)];
    }
    // Rebuilds the formats from a palette (the script tag's background is the
    // palette's base colour) and recolours the document.
    void setPalette(const QPalette &palette);

protected:
    void highlightBlock(const QString &text) override;

private:
    std::array<QTextCharFormat, HtmlElementCount> formats_;
    std::vector<HtmlSpan> spans_;
};

} // namespace tl
