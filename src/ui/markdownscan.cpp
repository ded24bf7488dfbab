#include "ui/htmlhighlighter.h"

#include <algorithm>

namespace tl {

namespace {

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

} // namespace tl
