#include "generator/medialinks.h"

#include "core/sitemedia.h"

#include <cctype>
#include <cstring>

namespace tl::gen {

namespace {

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f'; }

bool equalsLower(const std::string &text, std::size_t from, std::size_t to, const char *word)
{
    const std::size_t n = std::strlen(word);
    if (to - from != n)
        return false;
    for (std::size_t i = 0; i < n; ++i)
        if (std::tolower(static_cast<unsigned char>(text[from + i])) != word[i])
            return false;
    return true;
}

// Copies the value html[from, to) to out with "media/" at the start of the
// whole value (a link) or of each candidate (a srcset) replaced.
void appendValue(std::string &out, const std::string &html, std::size_t from, std::size_t to,
                 bool srcset, const std::string &mediaLink)
{
    static const std::string media = kMediaFolder;
    bool atCandidate = true;
    for (std::size_t i = from; i < to;) {
        if (atCandidate && !isSpace(html[i])) {
            atCandidate = false;
            if (to - i >= media.size() && html.compare(i, media.size(), media) == 0) {
                out += mediaLink;
                i += media.size();
                continue;
            }
        }
        if (srcset && html[i] == ',')
            atCandidate = true;
        out += html[i++];
    }
}

} // namespace

std::string rebaseMediaLinks(const std::string &html, const std::string &mediaLink)
{
    if (mediaLink.empty() || mediaLink == kMediaFolder
        || html.find(kMediaFolder) == std::string::npos)
        return html;
    std::string out;
    out.reserve(html.size() + 64);
    const std::size_t n = html.size();
    std::size_t i = 0;
    while (i < n) {
        const std::size_t lt = html.find('<', i);
        if (lt == std::string::npos || lt + 1 >= n) {
            out.append(html, i, std::string::npos);
            break;
        }
        out.append(html, i, lt - i);
        i = lt;
        // Only a start tag ("<img", "<a") holds attributes; comments, end
        // tags and a lone "<" in text are copied as they are.
        if (!std::isalpha(static_cast<unsigned char>(html[lt + 1]))) {
            out += html[i++];
            continue;
        }
        std::size_t p = lt + 1;
        while (p < n && !isSpace(html[p]) && html[p] != '>' && html[p] != '/')
            ++p;
        out.append(html, i, p - i);
        i = p;
        // The attributes, up to the tag's ">".
        while (i < n && html[i] != '>') {
            if (isSpace(html[i]) || html[i] == '/') {
                out += html[i++];
                continue;
            }
            const std::size_t nameStart = i;
            while (i < n && !isSpace(html[i]) && html[i] != '=' && html[i] != '>' && html[i] != '/')
                ++i;
            const std::size_t nameEnd = i;
            out.append(html, nameStart, nameEnd - nameStart);
            std::size_t q = i;
            while (q < n && isSpace(html[q]))
                ++q;
            if (q >= n || html[q] != '=')
                continue; // an attribute without a value
            ++q;
            while (q < n && isSpace(html[q]))
                ++q;
            out.append(html, i, q - i);
            i = q;
            if (i >= n)
                break;
            const char quote = html[i] == '"' || html[i] == '\'' ? html[i] : 0;
            std::size_t valueStart = i;
            std::size_t valueEnd = i;
            if (quote) {
                out += quote;
                valueStart = i + 1;
                valueEnd = html.find(quote, valueStart);
                if (valueEnd == std::string::npos)
                    valueEnd = n;
            } else {
                while (valueEnd < n && !isSpace(html[valueEnd]) && html[valueEnd] != '>')
                    ++valueEnd;
            }
            const bool srcset = equalsLower(html, nameStart, nameEnd, "srcset");
            const bool link = srcset || equalsLower(html, nameStart, nameEnd, "src")
                || equalsLower(html, nameStart, nameEnd, "href")
                || equalsLower(html, nameStart, nameEnd, "poster");
            if (link)
                appendValue(out, html, valueStart, valueEnd, srcset, mediaLink);
            else
                out.append(html, valueStart, valueEnd - valueStart);
            i = valueEnd;
            if (quote && i < n)
                out += html[i++]; // the closing quote
        }
    }
    return out;
}

} // namespace tl::gen
