#include "ui/htmlhighlighter.h"

#include "spell/speller.h"

#include <QGuiApplication>
#include <QPalette>
#include <QTextBlock>

#include <algorithm>
#include <string_view>

namespace tl {

namespace {

// Line-end states. The low four bits say where the scan stands; in the tag
// states bits 4-5 remember whether the tag being read opens <script> or <style>,
// whose content is raw text up to the matching end tag.
enum ScanState : int {
    Text = 0,
    Comment = 1,
    InTag = 2, // before an attribute name (or the tag's ">")
    AfterAttrName = 3,
    BeforeValue = 4, // after "="
    DoubleQuoted = 5,
    SingleQuoted = 6,
    Declaration = 7, // "<!DOCTYPE ...>" and other "<!" markup
    ServerPercent = 8, // "<% ... %>"
    ServerQuestion = 9, // "<? ... ?>"
    ScriptData = 10,
    StyleData = 11,
};
enum RawKind : int { NoRaw = 0, RawScript = 1, RawStyle = 2 };

// The HTML vocabulary, current and historical, sorted for binary search.
// clang-format off
constexpr std::string_view kTags[] = {
    "a",        "abbr",       "acronym",  "address",  "applet",   "area",     "article",
    "aside",    "audio",      "b",        "base",     "basefont", "bdi",      "bdo",
    "bgsound",  "big",        "blink",    "blockquote", "body",   "br",       "button",
    "canvas",   "caption",    "center",   "cite",     "code",     "col",      "colgroup",
    "data",     "datalist",   "dd",       "del",      "details",  "dfn",      "dialog",
    "dir",      "div",        "dl",       "dt",       "em",       "embed",    "fieldset",
    "figcaption", "figure",   "font",     "footer",   "form",     "frame",    "frameset",
    "h1",       "h2",         "h3",       "h4",       "h5",       "h6",       "head",
    "header",   "hgroup",     "hr",       "html",     "i",        "iframe",   "ilayer",
    "img",      "input",      "ins",      "isindex",  "kbd",      "keygen",   "label",
    "layer",    "legend",     "li",       "link",     "listing",  "main",     "map",
    "mark",     "marquee",    "math",     "menu",     "meta",     "meter",    "multicol",
    "nav",      "nobr",       "noembed",  "noframes", "nolayer",  "noscript", "object",
    "ol",       "optgroup",   "option",   "output",   "p",        "param",    "picture",
    "plaintext", "pre",       "progress", "q",        "rb",       "rp",       "rt",
    "rtc",      "ruby",       "s",        "samp",     "script",   "search",   "section",
    "select",   "slot",       "small",    "source",   "spacer",   "span",     "strike",
    "strong",   "style",      "sub",      "summary",  "sup",      "svg",      "table",
    "tbody",    "td",         "template", "textarea", "tfoot",    "th",       "thead",
    "time",     "title",      "tr",       "track",    "tt",       "u",        "ul",
    "var",      "video",      "wbr",      "xmp",
};
// clang-format on
static_assert(std::is_sorted(std::begin(kTags), std::end(kTags)));

bool isSpace(QChar c)
{
    const char16_t u = c.unicode();
    return u == ' ' || u == '\t' || u == '\n' || u == '\r' || u == '\f';
}

bool isAsciiLetter(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z');
}

bool isAsciiDigit(char16_t u)
{
    return u >= '0' && u <= '9';
}

bool isHexDigit(char16_t u)
{
    return isAsciiDigit(u) || (u >= 'a' && u <= 'f') || (u >= 'A' && u <= 'F');
}

bool isAsciiAlnum(QChar c)
{
    return isAsciiLetter(c) || isAsciiDigit(c.unicode());
}

// Whether `line` holds `word` at `pos`, ignoring ASCII case (`word` is lower case).
bool matchesAt(QStringView line, qsizetype pos, std::string_view word)
{
    if (pos + qsizetype(word.size()) > line.size())
        return false;
    for (size_t k = 0; k < word.size(); ++k) {
        char16_t u = line[pos + qsizetype(k)].unicode();
        if (u >= 'A' && u <= 'Z')
            u = char16_t(u - 'A' + 'a');
        if (u != char16_t(word[k]))
            return false;
    }
    return true;
}

// Collects spans, merging neighbours of one element and dropping default text.
class SpanSink {
public:
    explicit SpanSink(std::vector<HtmlSpan> &out)
        : out_(out)
    {
        out_.clear();
    }
    void add(qsizetype start, qsizetype length, HtmlElement e)
    {
        if (length <= 0 || e == HtmlElement::DefaultText)
            return;
        if (!out_.empty() && out_.back().element == e
            && out_.back().start + out_.back().length == start) {
            out_.back().length += int(length);
            return;
        }
        out_.push_back({ int(start), int(length), e });
    }

private:
    std::vector<HtmlSpan> &out_;
};

class LineScanner {
public:
    LineScanner(QStringView line, int state, std::vector<HtmlSpan> &spans)
        : t_(line)
        , n_(line.size())
        , sink_(spans)
    {
        if (state > 0) {
            st_ = state & 0xF;
            raw_ = (state >> 4) & 0x3;
            if (st_ > StyleData)
                st_ = Text;
        }
    }

    int run()
    {
        while (i_ < n_) {
            switch (st_) {
            case Text:
                text();
                break;
            case Comment:
                comment();
                break;
            case InTag:
                inTag();
                break;
            case AfterAttrName:
                afterAttrName();
                break;
            case BeforeValue:
                beforeValue();
                break;
            case DoubleQuoted:
                quoted(u'"');
                break;
            case SingleQuoted:
                quoted(u'\'');
                break;
            case Declaration:
                declaration();
                break;
            case ServerPercent:
                serverScript(u'%');
                break;
            case ServerQuestion:
                serverScript(u'?');
                break;
            case ScriptData:
                rawText("</script", HtmlElement::ScriptContent);
                break;
            case StyleData:
                rawText("</style", HtmlElement::DefaultText);
                break;
            }
        }
        // A tag name or an attribute name ends with the line.
        const bool inTagState = st_ >= InTag && st_ <= SingleQuoted;
        return inTagState ? st_ | (raw_ << 4) : st_;
    }

private:
    QChar at(qsizetype k) const { return k < n_ ? t_[k] : QChar(); }

    void text()
    {
        // Plain text runs to the next "<" or "&".
        qsizetype j = i_;
        while (j < n_ && t_[j] != u'<' && t_[j] != u'&')
            ++j;
        i_ = j;
        if (i_ >= n_)
            return;
        if (t_[i_] == u'&') {
            const int len = htmlCharRefLength(t_, int(i_));
            sink_.add(
                i_, len ? len : 1, len ? HtmlElement::SpecialChars : HtmlElement::DefaultText);
            i_ += len ? len : 1;
            return;
        }
        markupStart();
    }

    // At a "<" in text: a comment, declaration, server script, tag or plain "<".
    void markupStart()
    {
        const QChar next = at(i_ + 1);
        if (next == u'!') {
            if (at(i_ + 2) == u'-' && at(i_ + 3) == u'-') {
                sink_.add(i_, 4, HtmlElement::HtmlComment);
                i_ += 4;
                st_ = Comment;
                // "<!-->" and "<!--->" are complete, empty comments.
                if (at(i_) == u'>') {
                    sink_.add(i_, 1, HtmlElement::HtmlComment);
                    ++i_;
                    st_ = Text;
                } else if (at(i_) == u'-' && at(i_ + 1) == u'>') {
                    sink_.add(i_, 2, HtmlElement::HtmlComment);
                    i_ += 2;
                    st_ = Text;
                }
                return;
            }
            sink_.add(i_, 1, HtmlElement::Bracket);
            ++i_;
            st_ = Declaration;
            return;
        }
        if (next == u'%' || next == u'?') {
            sink_.add(i_, 2, HtmlElement::PerlScript);
            i_ += 2;
            st_ = next == u'%' ? ServerPercent : ServerQuestion;
            return;
        }
        const bool closing = next == u'/';
        const qsizetype nameStart = i_ + (closing ? 2 : 1);
        if (!isAsciiLetter(at(nameStart))) {
            ++i_; // a "<" that starts no tag is text
            return;
        }
        sink_.add(i_, 1, HtmlElement::Bracket);
        if (closing)
            sink_.add(i_ + 1, 1, HtmlElement::HtmlTag);
        qsizetype j = nameStart;
        while (j < n_ && !isSpace(t_[j]) && t_[j] != u'/' && t_[j] != u'>' && t_[j] != u'<')
            ++j;
        const QStringView name = t_.sliced(nameStart, j - nameStart);
        const bool script = name.compare(u"script", Qt::CaseInsensitive) == 0;
        const bool style = name.compare(u"style", Qt::CaseInsensitive) == 0;
        sink_.add(nameStart, j - nameStart,
            script                     ? HtmlElement::ScriptTag
                : isKnownHtmlTag(name) ? HtmlElement::HtmlKeyword
                                       : HtmlElement::UnknownTag);
        raw_ = closing ? NoRaw : script ? RawScript : style ? RawStyle : NoRaw;
        st_ = InTag;
        i_ = j;
    }

    void comment()
    {
        for (qsizetype j = i_; j + 2 < n_; ++j) {
            if (t_[j] != u'-' || t_[j + 1] != u'-')
                continue;
            qsizetype end = 0;
            if (t_[j + 2] == u'>')
                end = j + 3;
            else if (t_[j + 2] == u'!' && at(j + 3) == u'>')
                end = j + 4;
            if (end) {
                sink_.add(i_, end - i_, HtmlElement::HtmlComment);
                i_ = end;
                st_ = Text;
                return;
            }
        }
        sink_.add(i_, n_ - i_, HtmlElement::HtmlComment);
        i_ = n_;
    }

    // Leaves the tag at its ">" and enters raw text after <script> or <style>.
    void closeTag()
    {
        sink_.add(i_, 1, HtmlElement::Bracket);
        ++i_;
        st_ = raw_ == RawScript ? ScriptData : raw_ == RawStyle ? StyleData : Text;
        raw_ = NoRaw;
    }

    // A "<" inside a tag means the tag was left unclosed: end it there, so one
    // missing ">" does not swallow the rest of the post.
    void abandonTag()
    {
        st_ = Text;
        raw_ = NoRaw;
    }

    void inTag()
    {
        const QChar c = t_[i_];
        if (isSpace(c)) {
            ++i_;
        } else if (c == u'>') {
            closeTag();
        } else if (c == u'<') {
            abandonTag();
        } else if (c == u'/' || c == u'=') {
            sink_.add(i_, 1, HtmlElement::HtmlTag);
            ++i_;
        } else {
            qsizetype j = i_ + 1;
            while (j < n_ && !isSpace(t_[j]) && t_[j] != u'/' && t_[j] != u'>' && t_[j] != u'='
                && t_[j] != u'<')
                ++j;
            sink_.add(i_, j - i_, HtmlElement::HtmlAttribute);
            i_ = j;
            st_ = AfterAttrName;
        }
    }

    void afterAttrName()
    {
        const QChar c = t_[i_];
        if (isSpace(c)) {
            ++i_;
        } else if (c == u'=') {
            sink_.add(i_, 1, HtmlElement::HtmlTag);
            ++i_;
            st_ = BeforeValue;
        } else {
            st_ = InTag; // another attribute, "/" or the end of the tag
        }
    }

    void beforeValue()
    {
        const QChar c = t_[i_];
        if (isSpace(c)) {
            ++i_;
        } else if (c == u'"' || c == u'\'') {
            sink_.add(i_, 1, HtmlElement::HtmlAttributeValue);
            ++i_;
            st_ = c == u'"' ? DoubleQuoted : SingleQuoted;
        } else if (c == u'>' || c == u'<') {
            st_ = InTag; // the value is missing
        } else {
            qsizetype j = i_;
            while (j < n_ && !isSpace(t_[j]) && t_[j] != u'>' && t_[j] != u'<')
                ++j;
            value(i_, j);
            i_ = j;
            st_ = InTag;
        }
    }

    void quoted(char16_t quote)
    {
        qsizetype j = i_;
        while (j < n_ && t_[j] != quote)
            ++j;
        if (j < n_) {
            value(i_, j + 1);
            i_ = j + 1;
            st_ = InTag;
        } else {
            value(i_, n_);
            i_ = n_;
        }
    }

    // An attribute value, with its character references marked.
    void value(qsizetype from, qsizetype to)
    {
        qsizetype k = from;
        while (k < to) {
            const int len = t_[k] == u'&' ? htmlCharRefLength(t_.first(to), int(k)) : 0;
            if (len) {
                sink_.add(k, len, HtmlElement::SpecialChars);
                k += len;
            } else {
                sink_.add(k, 1, HtmlElement::HtmlAttributeValue);
                ++k;
            }
        }
    }

    void declaration()
    {
        qsizetype j = i_;
        while (j < n_ && t_[j] != u'>')
            ++j;
        sink_.add(i_, j - i_, HtmlElement::HtmlTag);
        i_ = j;
        if (j < n_) {
            sink_.add(j, 1, HtmlElement::Bracket);
            i_ = j + 1;
            st_ = Text;
        }
    }

    void serverScript(char16_t closer)
    {
        qsizetype j = i_;
        while (j + 1 < n_ && !(t_[j] == closer && t_[j + 1] == u'>'))
            ++j;
        if (j + 1 < n_) {
            sink_.add(i_, j + 2 - i_, HtmlElement::PerlScript);
            i_ = j + 2;
            st_ = Text;
        } else {
            sink_.add(i_, n_ - i_, HtmlElement::PerlScript);
            i_ = n_;
        }
    }

    // Raw content up to its end tag, which must be followed by a space, "/",
    // ">" or the line end ("</scripts" does not end a script).
    void rawText(std::string_view endTag, HtmlElement e)
    {
        const qsizetype len = qsizetype(endTag.size());
        for (qsizetype j = i_; j < n_; ++j) {
            if (t_[j] != u'<' || !matchesAt(t_, j, endTag))
                continue;
            const QChar after = at(j + len);
            if (j + len < n_ && !isSpace(after) && after != u'/' && after != u'>')
                continue;
            sink_.add(i_, j - i_, e);
            i_ = j;
            st_ = Text; // the end tag itself is read as a tag
            return;
        }
        sink_.add(i_, n_ - i_, e);
        i_ = n_;
    }

    QStringView t_;
    qsizetype n_;
    qsizetype i_ = 0;
    int st_ = Text;
    int raw_ = NoRaw;
    SpanSink sink_;
};

} // namespace

bool isKnownHtmlTag(QStringView name)
{
    if (name.isEmpty() || name.size() > 12)
        return false;
    char lower[16];
    for (qsizetype k = 0; k < name.size(); ++k) {
        const char16_t u = name[k].unicode();
        if (u >= 'A' && u <= 'Z')
            lower[k] = char(u - 'A' + 'a');
        else if ((u >= 'a' && u <= 'z') || (u >= '0' && u <= '9'))
            lower[k] = char(u);
        else
            return false;
    }
    return std::binary_search(
        std::begin(kTags), std::end(kTags), std::string_view(lower, size_t(name.size())));
}

int htmlCharRefLength(QStringView line, int pos)
{
    const qsizetype n = line.size();
    if (pos < 0 || pos >= n || line[pos] != u'&')
        return 0;
    qsizetype j = pos + 1;
    if (j < n && line[j] == u'#') {
        ++j;
        const bool hex = j < n && (line[j] == u'x' || line[j] == u'X');
        if (hex)
            ++j;
        const qsizetype digitsStart = j;
        const qsizetype maxDigits = hex ? 6 : 7;
        while (j < n && j - digitsStart <= maxDigits
            && (hex ? isHexDigit(line[j].unicode()) : isAsciiDigit(line[j].unicode())))
            ++j;
        const qsizetype digits = j - digitsStart;
        if (digits == 0 || digits > maxDigits || j >= n || line[j] != u';')
            return 0;
        return int(j + 1 - pos);
    }
    // Named references are a letter and up to 31 more letters or digits.
    if (j >= n || !isAsciiLetter(line[j]))
        return 0;
    const qsizetype nameStart = j;
    while (j < n && j - nameStart < 32 && isAsciiAlnum(line[j]))
        ++j;
    if (j >= n || line[j] != u';')
        return 0;
    return int(j + 1 - pos);
}

int scanHtmlLine(QStringView line, int state, std::vector<HtmlSpan> &spans)
{
    return LineScanner(line, state, spans).run();
}

namespace {

// The block state: the HTML scanner's in bits 0-5, the word scanner's above.
constexpr int kHtmlStateBits = 6;
constexpr int kHtmlStateMask = (1 << kHtmlStateBits) - 1;

int htmlStateOf(int blockState) { return blockState < 0 ? -1 : blockState & kHtmlStateMask; }
int wordStateOf(int blockState) { return blockState < 0 ? -1 : blockState >> kHtmlStateBits; }

bool isSpaceOrEnd(QStringView line, qsizetype i) { return i < 0 || i >= line.size() || line[i].isSpace(); }
bool isWordCharAt(QStringView line, qsizetype i)
{
    return i >= 0 && i < line.size() && line[i].isLetterOrNumber();
}

// Marks, for each character of a line, whether it lies in a code stretch.
class CodeMask {
public:
    CodeMask(qsizetype size, const std::vector<spell::TextRange> &code)
    {
        if (code.empty())
            return;
        mask_.assign(size_t(size), false);
        for (const spell::TextRange &r : code)
            std::fill_n(mask_.begin() + r.start, r.length, true);
    }
    bool at(qsizetype i) const { return !mask_.empty() && mask_[size_t(i)]; }

private:
    std::vector<bool> mask_;
};

// The end of the run of `c` that starts at i.
qsizetype runEnd(QStringView line, qsizetype i, QChar c)
{
    while (i < line.size() && line[i] == c)
        ++i;
    return i;
}

} // namespace

void scanMarkdownLine(QStringView line, const std::vector<spell::TextRange> &code,
                      std::vector<MarkdownSpan> &spans)
{
    spans.clear();
    const qsizetype n = line.size();
    const CodeMask inCode(n, code);
    const auto add = [&](qsizetype start, qsizetype length, MarkdownElement e) {
        if (length > 0)
            spans.push_back({int(start), int(length), e, false});
    };

    // A heading: up to three blanks, one to six "#", then a blank or the end.
    qsizetype indent = 0;
    while (indent < n && indent < 4 && line[indent] == u' ')
        ++indent;
    const qsizetype hashes = runEnd(line, indent, u'#') - indent;
    if (indent < 4 && hashes >= 1 && hashes <= 6 && isSpaceOrEnd(line, indent + hashes))
        add(0, n, MarkdownElement::Heading);

    std::vector<MarkdownSpan> late; // autolinks, applied after the rest
    qsizetype i = 0;
    while (i < n) {
        if (inCode.at(i)) {
            ++i;
            continue;
        }
        const QChar c = line[i];
        if (c == u'*' || c == u'_' || c == u'~') {
            const qsizetype run = runEnd(line, i, c);
            const qsizetype length = run - i;
            // An opening run is followed by text; "_" does not open inside a
            // word (snake_case); "~" marks only as a pair.
            const bool opens = !isSpaceOrEnd(line, run) && (c != u'_' || !isWordCharAt(line, i - 1))
                && (c != u'~' || length == 2);
            qsizetype close = -1;
            if (opens) {
                for (qsizetype j = run; j < n; ++j) {
                    if (line[j] != c || inCode.at(j))
                        continue;
                    const qsizetype end = runEnd(line, j, c);
                    if (end - j == length && !line[j - 1].isSpace()
                        && (c != u'_' || !isWordCharAt(line, end))) {
                        close = j;
                        break;
                    }
                    j = end - 1;
                }
            }
            if (close < 0) {
                i = run;
                continue;
            }
            const qsizetype spanLength = close + length - i;
            if (c == u'~') {
                add(i, spanLength, MarkdownElement::Strikethrough);
            } else {
                if (length >= 2)
                    add(i, spanLength, MarkdownElement::Strong);
                if (length != 2)
                    add(i, spanLength, MarkdownElement::Emphasis);
            }
            i = close + length;
            continue;
        }
        if (c == u'[') {
            const qsizetype closeBracket = line.indexOf(u']', i + 1);
            if (closeBracket > i && closeBracket + 1 < n && line[closeBracket + 1] == u'(') {
                qsizetype j = closeBracket + 2;
                int depth = 1;
                while (j < n && depth > 0) {
                    if (line[j] == u'(')
                        ++depth;
                    else if (line[j] == u')')
                        --depth;
                    ++j;
                }
                if (depth == 0) {
                    add(i + 1, closeBracket - i - 1, MarkdownElement::LinkText);
                    add(closeBracket + 1, j - closeBracket - 1, MarkdownElement::LinkTarget);
                    i = j;
                    continue;
                }
            }
            ++i;
            continue;
        }
        if (c == u'<') {
            // An autolink: "<" scheme ":" ... ">" with no blank inside.
            qsizetype j = i + 1;
            while (j < n && (line[j].isLetterOrNumber() || line[j] == u'+' || line[j] == u'.'
                             || line[j] == u'-'))
                ++j;
            const qsizetype colon = j;
            if (colon > i + 2 && colon < n && line[colon] == u':') {
                qsizetype end = colon + 1;
                while (end < n && line[end] != u'>' && !line[end].isSpace() && line[end] != u'<')
                    ++end;
                if (end < n && line[end] == u'>') {
                    late.push_back({int(i), int(end + 1 - i), MarkdownElement::LinkTarget, true});
                    i = end + 1;
                    continue;
                }
            }
        }
        ++i;
    }
    spans.insert(spans.end(), late.begin(), late.end());
    for (const spell::TextRange &r : code)
        spans.push_back({r.start, r.length, MarkdownElement::Code, true});
}

HtmlHighlighter::HtmlHighlighter(QTextDocument *doc)
    : QSyntaxHighlighter(doc)
{
    setPalette(QGuiApplication::palette());
}

void HtmlHighlighter::setPalette(const QPalette &palette)
{
    auto fmt = [](QColor colour, bool bold, bool italic) {
        QTextCharFormat f;
        f.setForeground(colour);
        if (bold)
            f.setFontWeight(QFont::Bold);
        if (italic)
            f.setFontItalic(true);
        return f;
    };
    auto &f = formats_;
    f[int(HtmlElement::Bracket)] = fmt(QColor(0x00, 0x00, 0xFF), true, false);
    f[int(HtmlElement::DefaultText)] = QTextCharFormat();
    f[int(HtmlElement::HtmlKeyword)] = fmt(QColor(0x00, 0x00, 0x80), true, false);
    f[int(HtmlElement::HtmlTag)] = fmt(QColor(0x00, 0x80, 0x00), false, true);
    f[int(HtmlElement::HtmlComment)] = fmt(QColor(0x80, 0x80, 0x00), false, true);
    f[int(HtmlElement::HtmlAttribute)] = fmt(QColor(0x00, 0x80, 0x00), false, false);
    f[int(HtmlElement::HtmlAttributeValue)] = fmt(QColor(0x80, 0x80, 0x80), false, false);
    f[int(HtmlElement::PerlScript)] = fmt(QColor(0x00, 0x80, 0x80), false, false);
    f[int(HtmlElement::ScriptTag)] = fmt(QColor(0x80, 0x00, 0x80), true, false);
    f[int(HtmlElement::ScriptTag)].setBackground(palette.color(QPalette::Base));
    // Script content keeps the text colour but uses the small alternate font.
    QTextCharFormat script;
    script.setFontFamilies({ QStringLiteral("MS Sans Serif"),
        QStringLiteral("Microsoft Sans Serif"), QStringLiteral("Sans Serif") });
    script.setFontPointSize(8);
    f[int(HtmlElement::ScriptContent)] = script;
    f[int(HtmlElement::SpecialChars)] = fmt(QColor(0xFF, 0x00, 0xFF), false, false);
    f[int(HtmlElement::UnknownTag)] = fmt(QColor(0xFF, 0x00, 0x00), false, false);

    // Markdown, lightly: the text keeps its colour but for headings, code
    // and links.
    auto &m = markdownFormats_;
    m[int(MarkdownElement::Heading)] = fmt(QColor(0x00, 0x00, 0x80), true, false);
    m[int(MarkdownElement::Emphasis)] = QTextCharFormat();
    m[int(MarkdownElement::Emphasis)].setFontItalic(true);
    m[int(MarkdownElement::Strong)] = QTextCharFormat();
    m[int(MarkdownElement::Strong)].setFontWeight(QFont::Bold);
    m[int(MarkdownElement::Strikethrough)] = QTextCharFormat();
    m[int(MarkdownElement::Strikethrough)].setFontStrikeOut(true);
    QTextCharFormat code = fmt(QColor(0x80, 0x00, 0x00), false, false);
    code.setFontFamilies({ QStringLiteral("Courier New"), QStringLiteral("Monospace") });
    code.setFontFixedPitch(true);
    m[int(MarkdownElement::Code)] = code;
    m[int(MarkdownElement::LinkText)] = fmt(QColor(0x00, 0x00, 0xFF), false, false);
    m[int(MarkdownElement::LinkText)].setFontUnderline(true);
    m[int(MarkdownElement::LinkTarget)] = fmt(QColor(0x80, 0x80, 0x80), false, false);
    if (document())
        rehighlight();
}

void HtmlHighlighter::setMarkup(spell::Markup markup)
{
    if (markup == markup_)
        return;
    markup_ = markup;
    rehighlight();
}

void HtmlHighlighter::setSpeller(spell::Speller *speller)
{
    if (speller_ == speller)
        return;
    if (speller_)
        disconnect(speller_, nullptr, this, nullptr);
    speller_ = speller;
    if (speller_)
        connect(speller_, &spell::Speller::changed, this, &QSyntaxHighlighter::rehighlight);
    rehighlight();
}

spell::TextRange HtmlHighlighter::misspeltWordAt(const QTextBlock &block, int positionInBlock) const
{
    if (!speller_ || !speller_->isActive() || !block.isValid())
        return {};
    const QTextBlock previous = block.previous();
    spell::ScannedLine scanned;
    spell::scanLine(block.text(), wordStateOf(previous.isValid() ? previous.userState() : -1),
                    markup_, scanned);
    for (const spell::TextRange &w : scanned.words) {
        if (positionInBlock < w.start || positionInBlock > w.start + w.length)
            continue;
        if (!speller_->isCorrect(QStringView(block.text()).mid(w.start, w.length)))
            return w;
    }
    return {};
}

void HtmlHighlighter::underline(int start, int length)
{
    // Each stretch of one format keeps it, with the wavy line added.
    const int end = start + length;
    for (int k = start; k < end;) {
        QTextCharFormat f = format(k);
        int e = k + 1;
        while (e < end && format(e) == f)
            ++e;
        f.setUnderlineStyle(QTextCharFormat::SpellCheckUnderline);
        f.setUnderlineColor(QColor(0xFF, 0x00, 0x00));
        setFormat(k, e - k, f);
        k = e;
    }
}

void HtmlHighlighter::highlightBlock(const QString &text)
{
    const int previous = previousBlockState();
    const bool markdown = markup_ == spell::Markup::Markdown;
    const bool spelling = speller_ && speller_->isActive();
    int wordState = 0;
    if (markdown || spelling)
        wordState = spell::scanLine(text, wordStateOf(previous), markup_, scanned_);

    int htmlState;
    if (markdown && scanned_.fencedCode) {
        // Code, whatever it holds; the HTML around the block goes on after it.
        setFormat(0, int(text.size()), markdownFormats_[int(MarkdownElement::Code)]);
        htmlState = std::max(htmlStateOf(previous), 0);
    } else if (markdown) {
        // Code is no HTML: the HTML scanner sees blanks in its place.
        QStringView html = text;
        if (!scanned_.code.empty()) {
            blanked_ = text;
            for (const spell::TextRange &r : scanned_.code)
                std::fill_n(blanked_.begin() + r.start, r.length, QChar(u' '));
            html = blanked_;
        }
        scanMarkdownLine(text, scanned_.code, markdownSpans_);
        for (const MarkdownSpan &m : markdownSpans_)
            if (!m.overHtml)
                setFormat(m.start, m.length, markdownFormats_[int(m.element)]);
        htmlState = scanHtmlLine(html, htmlStateOf(previous), spans_);
        for (const HtmlSpan &s : spans_)
            setFormat(s.start, s.length, formats_[int(s.element)]);
        for (const MarkdownSpan &m : markdownSpans_)
            if (m.overHtml)
                setFormat(m.start, m.length, markdownFormats_[int(m.element)]);
    } else {
        htmlState = scanHtmlLine(text, htmlStateOf(previous), spans_);
        for (const HtmlSpan &s : spans_)
            setFormat(s.start, s.length, formats_[int(s.element)]);
    }

    if (spelling)
        for (const spell::TextRange &w : scanned_.words)
            if (!speller_->isCorrect(QStringView(text).mid(w.start, w.length)))
                underline(w.start, w.length);
    setCurrentBlockState(htmlState | wordState << kHtmlStateBits);
}

} // namespace tl
