#include "generator/markdown.h"

#include "core/cp1250.h"
#include "generator/feeds.h"
#include "generator/templates.h"

#include <md4c-html.h>

#include <algorithm>
#include <array>

namespace tl::gen {

namespace {

// CommonMark plus the extensions writers know from other tools. Raw HTML is
// kept (no MD_FLAG_NOHTML): old posts and the tag shortcuts hold it.
constexpr unsigned kParserFlags =
    MD_FLAG_TABLES | MD_FLAG_STRIKETHROUGH | MD_FLAG_PERMISSIVEAUTOLINKS;
// Entities stay as typed, so that "&mdash;" shows on an ISO 8859-2 page too
// (translated, it would be the windows-1250 dash, which that page lacks);
// empty elements are written "<br />" as the other paragraph modes write them.
constexpr unsigned kRendererFlags = MD_HTML_FLAG_VERBATIM_ENTITIES | MD_HTML_FLAG_XHTML;

void appendOutput(const MD_CHAR *text, MD_SIZE size, void *userdata)
{
    static_cast<std::string *>(userdata)->append(text, size);
}

bool isAscii(std::string_view s)
{
    for (char c : s)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

bool isBlank(char c) { return c == ' ' || c == '\t'; }

} // namespace

std::string renderMarkdown(std::string_view body)
{
    // md4c reads UTF-8: its emphasis rules look at Unicode punctuation and
    // white space (a "*" next to "„" or "–"), link labels match by Unicode
    // case folding ("[Šárka]" and "[ŠÁRKA]"), and a NUL becomes U+FFFD. Fed
    // windows-1250 bytes it would read Czech letters as broken sequences, and
    // what it writes itself would be UTF-8 inside a windows-1250 page. So the
    // body goes in as UTF-8 and the HTML comes back to windows-1250, with
    // references for whatever that lacks. Plain ASCII needs neither step.
    std::string html;
    html.reserve(body.size() + body.size() / 4 + 16);
    if (isAscii(body)) {
        md_html(body.data(), static_cast<MD_SIZE>(body.size()), appendOutput, &html,
                kParserFlags, kRendererFlags);
    } else {
        const std::string utf8 = cp1250ToUtf8(body);
        md_html(utf8.data(), static_cast<MD_SIZE>(utf8.size()), appendOutput, &html,
                kParserFlags, kRendererFlags);
    }
    // The template's line end follows the content.
    if (!html.empty() && html.back() == '\n')
        html.pop_back();
    return isAscii(html) ? html : utf8ToCp1250(html);
}

namespace {

// The lines of a text, each without its line end.
template <typename Fn>
void forEachLine(std::string_view text, Fn fn)
{
    std::size_t i = 0;
    while (i < text.size()) {
        std::size_t end = text.find_first_of("\r\n", i);
        if (end == std::string_view::npos)
            end = text.size();
        fn(text.substr(i, end - i));
        if (end < text.size() && text[end] == '\r')
            ++end;
        if (end < text.size() && text[end] == '\n')
            ++end;
        i = end;
    }
}

std::string_view withoutIndent(std::string_view line)
{
    std::size_t i = 0;
    while (i < line.size() && isBlank(line[i]))
        ++i;
    return line.substr(i);
}

// The length of the run of `c` that a line starts with.
std::size_t runOf(std::string_view line, char c)
{
    std::size_t n = 0;
    while (n < line.size() && line[n] == c)
        ++n;
    return n;
}

// Whether the text ends inside a fenced code block ("```" or "~~~" lines).
// Indentation is not weighed, so fences inside list items count too.
bool endsInsideFence(std::string_view text)
{
    char fence = 0;
    std::size_t fenceLength = 0;
    forEachLine(text, [&](std::string_view raw) {
        const std::string_view line = withoutIndent(raw);
        if (!fence) {
            for (char c : {'`', '~'}) {
                const std::size_t n = runOf(line, c);
                if (n >= 3 && (c == '~' || line.find('`', n) == std::string_view::npos)) {
                    fence = c;
                    fenceLength = n;
                }
            }
        } else {
            const std::size_t n = runOf(line, fence);
            if (n >= fenceLength && withoutIndent(line.substr(n)).empty())
                fence = 0;
        }
    });
    return fence != 0;
}

// Whether a line starts a list item: "-", "+", "*" or a number with "." or
// ")", then a blank or the line's end.
bool isListItem(std::string_view raw)
{
    const std::string_view line = withoutIndent(raw);
    std::size_t n = 0;
    if (!line.empty() && (line[0] == '-' || line[0] == '+' || line[0] == '*')) {
        n = 1;
    } else {
        while (n < line.size() && n < 9 && line[n] >= '0' && line[n] <= '9')
            ++n;
        if (n == 0 || n >= line.size() || (line[n] != '.' && line[n] != ')'))
            return false;
        ++n;
    }
    return n == line.size() || isBlank(line[n]);
}

} // namespace

std::optional<MarkdownCut> cutMarkdown(std::string_view body)
{
    const std::size_t at = body.find(kMoreSeparator);
    if (at == std::string_view::npos)
        return std::nullopt;
    const std::size_t end = at + kMoreSeparator.size();
    // Alone on its line: only blanks between the line's start and it, and
    // between it and the line's end.
    std::size_t lineStart = at;
    while (lineStart > 0 && isBlank(body[lineStart - 1]))
        --lineStart;
    const bool startsLine =
        lineStart == 0 || body[lineStart - 1] == '\n' || body[lineStart - 1] == '\r';
    std::size_t lineEnd = end;
    while (lineEnd < body.size() && isBlank(body[lineEnd]))
        ++lineEnd;
    const bool endsLine = lineEnd == body.size() || body[lineEnd] == '\r' || body[lineEnd] == '\n';

    MarkdownCut cut;
    if (!(startsLine && endsLine)) {
        // In a line of text: the separator goes, the text around it joins.
        cut.shown = std::string(body.substr(0, at));
        cut.whole = cut.shown + std::string(body.substr(end));
        return cut;
    }
    cut.shown = std::string(body.substr(0, lineStart));
    std::size_t next = lineEnd;
    if (next < body.size() && body[next] == '\r')
        ++next;
    if (next < body.size() && body[next] == '\n')
        ++next;
    std::string_view nextLine = body.substr(next);
    nextLine = nextLine.substr(0, std::min(nextLine.find_first_of("\r\n"), nextLine.size()));
    // Its line goes as a whole inside code (the code goes on) and before a
    // list item (the list goes on). Elsewhere the line stays, empty: the
    // separator stood between two blocks, and they stay two (two paragraphs
    // would otherwise run together into one).
    if (endsInsideFence(cut.shown) || isListItem(nextLine))
        cut.whole = cut.shown + std::string(body.substr(next));
    else
        cut.whole = cut.shown + std::string(body.substr(lineEnd));
    return cut;
}

std::string withLongPostLink(std::string html, const std::string &link)
{
    static const std::string paragraphEnd = "</p>";
    if (html.size() >= paragraphEnd.size()
        && html.compare(html.size() - paragraphEnd.size(), paragraphEnd.size(), paragraphEnd) == 0) {
        html.insert(html.size() - paragraphEnd.size(), " " + link);
        return html;
    }
    return html + (html.empty() ? "" : "\n") + "<p>" + link + "</p>";
}

std::string markdownPlainText(const std::string &renderedHtml)
{
    // The end tags after which md4c starts the next block on a new line.
    static const std::array<std::string, 12> blockEnds = {
        "</p>\n",  "</h1>\n", "</h2>\n",    "</h3>\n",         "</h4>\n", "</h5>\n",
        "</h6>\n", "</ul>\n", "</ol>\n",    "</pre>\n", "</table>\n", "</blockquote>\n"};
    std::string spaced;
    spaced.reserve(renderedHtml.size() + renderedHtml.size() / 16);
    std::size_t i = 0;
    while (i < renderedHtml.size()) {
        const std::size_t lt = renderedHtml.find("</", i);
        if (lt == std::string::npos) {
            spaced.append(renderedHtml, i, std::string::npos);
            break;
        }
        spaced.append(renderedHtml, i, lt - i);
        i = lt;
        bool matched = false;
        for (const std::string &end : blockEnds) {
            if (renderedHtml.compare(lt, end.size(), end) == 0) {
                spaced += end;
                spaced += '\n';
                i = lt + end.size();
                matched = true;
                break;
            }
        }
        if (!matched) {
            spaced += "</";
            i = lt + 2;
        }
    }
    // The feed's rule: one leading tag, then every tag.
    if (!spaced.empty() && spaced[0] == '<') {
        const std::size_t gt = spaced.find('>');
        spaced.erase(0, gt == std::string::npos ? spaced.size() : gt + 1);
    }
    // The line ends around tags leave blank lines: one between blocks is kept.
    const std::string stripped = StripTags(spaced);
    std::string text;
    text.reserve(stripped.size());
    std::size_t newlines = 0;
    for (char c : stripped) {
        newlines = c == '\n' ? newlines + 1 : 0;
        if (newlines <= 2 && !(c == '\n' && text.empty()))
            text += c;
    }
    while (!text.empty() && text.back() == '\n')
        text.pop_back();
    return text;
}

} // namespace tl::gen
