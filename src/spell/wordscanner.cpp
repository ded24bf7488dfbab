#include "spell/wordscanner.h"

#include <algorithm>

namespace tl::spell {

namespace {

// Where the scan stands at a line end.
enum HtmlState : int {
    Text = 0,
    InTag = 1,
    TagDoubleQuoted = 2,
    TagSingleQuoted = 3,
    InComment = 4,
    ScriptContent = 5,
    StyleContent = 6,
};
// What the tag being read opens: raw text up to its end tag follows.
enum RawKind : int { NoRaw = 0, RawScript = 1, RawStyle = 2 };

// The state as one number: bits 0-2 the HTML state, 3-4 the raw kind, 5 in a
// fenced block, 6 a "~" fence (else "`"), 7-14 the fence's length.
struct State {
    int html = Text;
    int raw = NoRaw;
    bool fenced = false;
    bool tilde = false;
    int fenceLength = 0;

    static State unpack(int s)
    {
        State st;
        if (s < 0)
            return st;
        st.html = s & 7;
        st.raw = (s >> 3) & 3;
        st.fenced = (s >> 5) & 1;
        st.tilde = (s >> 6) & 1;
        st.fenceLength = (s >> 7) & 0xFF;
        return st;
    }
    int pack() const
    {
        return html | raw << 3 | int(fenced) << 5 | int(tilde) << 6
            | std::min(fenceLength, 0xFF) << 7;
    }
};

bool isWordChar(QChar c) { return c.isLetterOrNumber() || c.isMark(); }

// Characters that join two parts of one token: apostrophes and the hyphen
// belong to words ("don't", "well-known"); ".", "@" and "_" make names,
// addresses and identifiers, which are not checked.
bool isJoiner(QChar c)
{
    switch (c.unicode()) {
    case u'\'':
    case u'\u2019':
    case u'-':
    case u'.':
    case u'@':
    case u'_':
        return true;
    default:
        return false;
    }
}

bool isAsciiLetter(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z');
}

bool isDigit(QChar c) { return c.unicode() >= '0' && c.unicode() <= '9'; }

bool isHexDigit(QChar c)
{
    const char16_t u = c.unicode();
    return isDigit(c) || (u >= 'a' && u <= 'f') || (u >= 'A' && u <= 'F');
}

// Length of a character reference at line[i] ("&amp;", "&#233;", "&#xE9;"),
// or 0.
qsizetype charRefLength(QStringView line, qsizetype i)
{
    qsizetype j = i + 1;
    const qsizetype n = line.size();
    if (j < n && line[j] == u'#') {
        ++j;
        const bool hex = j < n && (line[j] == u'x' || line[j] == u'X');
        if (hex)
            ++j;
        const qsizetype digits = j;
        while (j < n && j - digits < 8 && (hex ? isHexDigit(line[j]) : isDigit(line[j])))
            ++j;
        return j > digits && j < n && line[j] == u';' ? j + 1 - i : 0;
    }
    const qsizetype name = j;
    while (j < n && j - name < 32 && (isAsciiLetter(line[j]) || isDigit(line[j])))
        ++j;
    return j > name && isAsciiLetter(line[name]) && j < n && line[j] == u';' ? j + 1 - i : 0;
}

// Length of a URL or mail link starting at line[i] ("http://...",
// "sftp://...", "mailto:...", "www...."), up to the first blank, quote,
// angle bracket or backtick; 0 when none starts there.
qsizetype urlLength(QStringView line, qsizetype i)
{
    const qsizetype n = line.size();
    qsizetype j = i;
    while (j < n
           && (isAsciiLetter(line[j])
               || (j > i && (isDigit(line[j]) || line[j] == u'+' || line[j] == u'-' || line[j] == u'.'))))
        ++j;
    const QStringView rest = line.mid(j);
    const QStringView scheme = line.mid(i, j - i);
    const bool url = (j > i && rest.startsWith(u"://"))
        || (scheme.compare(u"mailto", Qt::CaseInsensitive) == 0 && rest.startsWith(u':'))
        || line.mid(i).startsWith(u"www.", Qt::CaseInsensitive);
    if (!url)
        return 0;
    j = i;
    while (j < n) {
        const char16_t u = line[j].unicode();
        if (u == ' ' || u == '\t' || u == '"' || u == '\'' || u == '<' || u == '>' || u == '`')
            break;
        ++j;
    }
    return j - i;
}

// Whether the tag opened at line[lt] ("<") is <script or <style.
int rawKindOfTag(QStringView line, qsizetype lt)
{
    for (const auto &[name, kind] : {std::pair{u"script", RawScript}, std::pair{u"style", RawStyle}}) {
        const QStringView word(name);
        if (line.mid(lt + 1).startsWith(word, Qt::CaseInsensitive)) {
            const qsizetype after = lt + 1 + word.size();
            if (after >= line.size() || !(isAsciiLetter(line[after]) || isDigit(line[after])))
                return kind;
        }
    }
    return NoRaw;
}

// Whether a token is prose to check: no digits, no ".", "@" or "_" inside
// (names, addresses, identifiers), not all capitals (acronyms).
bool isCheckable(QStringView token)
{
    bool lower = false;
    int letters = 0;
    for (QChar c : token) {
        if (c.isDigit() || c == u'.' || c == u'@' || c == u'_')
            return false;
        if (c.isLetter()) {
            ++letters;
            if (!c.isUpper())
                lower = true;
        }
    }
    return lower || letters < 2;
}

// A fence line: blanks, then three or more "`" or "~" (a "`" fence's info
// text holds no "`"). Returns the fence's length, 0 when the line is none.
int fenceAt(QStringView line, QChar &fenceChar)
{
    qsizetype i = 0;
    while (i < line.size() && (line[i] == u' ' || line[i] == u'\t'))
        ++i;
    if (i >= line.size() || (line[i] != u'`' && line[i] != u'~'))
        return 0;
    const QChar c = line[i];
    qsizetype j = i;
    while (j < line.size() && line[j] == c)
        ++j;
    if (j - i < 3)
        return 0;
    if (c == u'`' && line.mid(j).contains(u'`'))
        return 0;
    fenceChar = c;
    return int(j - i);
}

bool closesFence(QStringView line, const State &st)
{
    QChar c;
    const int length = fenceAt(line, c);
    if (length < st.fenceLength || c != (st.tilde ? u'~' : u'`'))
        return false;
    // Nothing but blanks after the closing fence.
    const qsizetype run = line.indexOf(c) + length;
    return line.mid(run).trimmed().isEmpty();
}

} // namespace

int scanLine(QStringView line, int state, Markup markup, ScannedLine &out)
{
    out.words.clear();
    out.code.clear();
    out.fencedCode = false;
    State st = State::unpack(state);
    const bool markdown = markup == Markup::Markdown;
    const qsizetype n = line.size();

    if (markdown) {
        if (st.fenced) {
            out.fencedCode = true;
            out.code.push_back({0, int(n)});
            if (closesFence(line, st))
                st.fenced = false;
            return st.pack();
        }
        QChar c;
        if (st.html == Text) {
            if (const int length = fenceAt(line, c)) {
                st.fenced = true;
                st.tilde = c == u'~';
                st.fenceLength = length;
                out.fencedCode = true;
                out.code.push_back({0, int(n)});
                return st.pack();
            }
        }
    } else {
        st.fenced = false;
    }

    qsizetype i = 0;
    while (i < n) {
        const QChar c = line[i];
        switch (st.html) {
        case InTag:
            if (c == u'"')
                st.html = TagDoubleQuoted;
            else if (c == u'\'')
                st.html = TagSingleQuoted;
            else if (c == u'>') {
                st.html = st.raw == RawScript ? ScriptContent : st.raw == RawStyle ? StyleContent : Text;
                st.raw = NoRaw;
            }
            ++i;
            continue;
        case TagDoubleQuoted:
        case TagSingleQuoted:
            if (c == (st.html == TagDoubleQuoted ? u'"' : u'\''))
                st.html = InTag;
            ++i;
            continue;
        case InComment: {
            const qsizetype end = line.indexOf(u"-->", i);
            if (end < 0)
                return st.pack();
            st.html = Text;
            i = end + 3;
            continue;
        }
        case ScriptContent:
        case StyleContent: {
            const qsizetype end = line.indexOf(st.html == ScriptContent ? u"</script" : u"</style", i,
                                               Qt::CaseInsensitive);
            if (end < 0)
                return st.pack();
            st.html = InTag;
            i = end + 1;
            continue;
        }
        default:
            break;
        }

        // Text.
        if (markdown && c == u'`') {
            qsizetype run = i;
            while (run < n && line[run] == u'`')
                ++run;
            const qsizetype ticks = run - i;
            // The matching run: the same number of backticks, no more.
            qsizetype j = run;
            qsizetype close = -1;
            while (j < n) {
                if (line[j] != u'`') {
                    ++j;
                    continue;
                }
                qsizetype k = j;
                while (k < n && line[k] == u'`')
                    ++k;
                if (k - j == ticks) {
                    close = j;
                    break;
                }
                j = k;
            }
            if (close < 0) {
                i = run; // literal backticks
                continue;
            }
            out.code.push_back({int(i), int(close + ticks - i)});
            i = close + ticks;
            continue;
        }
        if (c == u'<') {
            if (line.mid(i).startsWith(u"<!--")) {
                st.html = InComment;
                i += 4;
                continue;
            }
            const QChar next = i + 1 < n ? line[i + 1] : QChar();
            if (isAsciiLetter(next) || next == u'/' || next == u'!' || next == u'?') {
                st.html = InTag;
                st.raw = rawKindOfTag(line, i);
                ++i;
                continue;
            }
            ++i;
            continue;
        }
        if (c == u'&') {
            const qsizetype ref = charRefLength(line, i);
            i += ref ? ref : 1;
            continue;
        }
        if (markdown && c == u']' && i + 1 < n && line[i + 1] == u'(') {
            // A link's destination (and title), up to its closing bracket.
            int depth = 1;
            qsizetype j = i + 2;
            while (j < n && depth > 0) {
                if (line[j] == u'(')
                    ++depth;
                else if (line[j] == u')')
                    --depth;
                ++j;
            }
            i = j;
            continue;
        }
        if (!isWordChar(c)) {
            ++i;
            continue;
        }
        if (const qsizetype url = urlLength(line, i)) {
            i += url;
            continue;
        }
        qsizetype j = i + 1;
        while (j < n && (isWordChar(line[j]) || (isJoiner(line[j]) && j + 1 < n && isWordChar(line[j + 1]))))
            ++j;
        const QStringView token = line.mid(i, j - i);
        if (isCheckable(token))
            out.words.push_back({int(i), int(j - i)});
        i = j;
    }
    return st.pack();
}

} // namespace tl::spell
