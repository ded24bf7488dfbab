#include "ui/htmlhighlighter.h"

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

} // namespace tl
