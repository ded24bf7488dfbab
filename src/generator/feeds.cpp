#include "generator/feeds.h"

#include "generator/charset.h"
#include "generator/markdown.h"
#include "generator/templates.h"

namespace tl::gen {

namespace {

// The maximal runs of characters other than sep, empty runs left out.
template <typename Fn>
void forEachRun(const std::string &text, std::size_t from, std::size_t to, char sep, Fn fn)
{
    std::size_t i = from;
    while (i < to) {
        while (i < to && text[i] == sep)
            ++i;
        if (i >= to)
            break;
        std::size_t j = i;
        while (j < to && text[j] != sep)
            ++j;
        if (!fn(i, j))
            return;
        i = j;
    }
}

std::string twoDigits(int v) { return (v < 10 ? "0" : "") + std::to_string(v); }

const char *const kWeekdays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char *const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                               "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// A feed template with the collected text (made the page's charset) in place
// of the first placeholder and every charset placeholder replaced.
std::string fillFeed(const std::string &feedTemplate, const std::string &placeholder,
                     std::string collected, int charset)
{
    toPageCharset(collected, charset);
    std::string out = replaceFirst(feedTemplate, placeholder, collected);
    replaceAllInPlace(out, kCharset, charsetName(charset));
    return out;
}

} // namespace

std::string StripTags(const std::string &text)
{
    std::string out;
    bool first = true;
    forEachRun(text, 0, text.size(), '<', [&](std::size_t a, std::size_t b) {
        if (first) {
            out.append(text, a, b - a);
            first = false;
            return true;
        }
        // The second ">"-run of this piece, if there is one.
        int index = 0;
        forEachRun(text, a, b, '>', [&](std::size_t c, std::size_t d) {
            if (++index == 2) {
                out.append(text, c, d - c);
                return false;
            }
            return true;
        });
        return true;
    });
    return out;
}

std::string rssDescription(const std::string &rawBody)
{
    std::string text = rawBody;
    if (!text.empty() && text[0] == '<') {
        const std::size_t gt = text.find('>');
        text = gt == std::string::npos ? std::string() : text.substr(gt + 1);
    }
    text = StripTags(text);
    replaceAllInPlace(text, "&nbsp;", " ");
    replaceAllInPlace(text, "&bdquo;", "\x84");
    replaceAllInPlace(text, "&rdquo;", "\x94");
    replaceAllInPlace(text, "&mdash;", "\x97");
    replaceAllInPlace(text, "&amp;", "&");
    replaceAllInPlace(text, "&trade;", "\x99");
    if (text.size() > 200)
        text.resize(200);
    return text + "...";
}

namespace {

// The length of a well-formed numeric character reference of a character
// XML allows at text[at] ("&#9829;", "&#x2665;"), or 0.
std::size_t numericReferenceAt(const std::string &text, std::size_t at)
{
    std::size_t i = at + 1;
    if (i >= text.size() || text[i] != '#')
        return 0;
    ++i;
    const bool hex = i < text.size() && (text[i] == 'x' || text[i] == 'X');
    if (hex)
        ++i;
    const std::size_t digitsAt = i;
    unsigned long cp = 0;
    for (; i < text.size() && i - digitsAt < 8; ++i) {
        const char c = text[i];
        int d = -1;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (hex && c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else if (hex && c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        if (d < 0)
            break;
        cp = cp * (hex ? 16 : 10) + static_cast<unsigned long>(d);
    }
    if (i == digitsAt || i >= text.size() || text[i] != ';')
        return 0;
    // The characters of XML 1.0.
    const bool allowed = cp == 0x9 || cp == 0xA || cp == 0xD || (cp >= 0x20 && cp <= 0xD7FF)
        || (cp >= 0xE000 && cp <= 0xFFFD) || (cp >= 0x10000 && cp <= 0x10FFFF);
    return allowed ? i + 1 - at : 0;
}

} // namespace

std::string xmlEscape(const std::string &text)
{
    std::string out;
    out.reserve(text.size() + 16);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        switch (c) {
        case '&': {
            const std::size_t ref = numericReferenceAt(text, i);
            if (ref) {
                out.append(text, i, ref);
                i += ref - 1;
            } else {
                out += "&amp;";
            }
            break;
        }
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        default: out += c;
        }
    }
    return out;
}

namespace {

// A Markdown post as text: the whole post as its own page shows it (less
// the first separator), rendered, its tags stripped.
std::string markdownText(const std::string &body)
{
    const auto cut = cutMarkdown(body);
    return markdownPlainText(renderMarkdown(cut ? cut->whole : body));
}

// What the description is made from: the body as typed (HTML), or the text
// of a Markdown post.
std::string describedBody(const PostContent &post, const RenderSettings &settings)
{
    return settings.paragraphMode == kParagraphMarkdown ? markdownText(post.body) : post.body;
}

} // namespace

std::string rssItem(const PostTexts &texts, const PostContent &post, const RenderSettings &settings,
                    const std::string &siteAddress, int utcOffsetSeconds)
{
    const std::string link =
        xmlEscape(siteAddress + settings.archiveFolder + texts.monthPage + "#" + texts.anchor);
    return "\t\t<item>\r\n"
           "\t\t\t<title>" + xmlEscape(post.title) + "</title>\r\n"
           "\t\t\t<description>" + xmlEscape(rssDescription(describedBody(post, settings)))
        + "</description>\r\n"
           "\t\t\t<link>" + link + "</link>\r\n"
           "\t\t\t<pubDate>" + rfc822DateTime(civilFromSeconds(texts.n), utcOffsetSeconds)
        + "</pubDate>\r\n"
           "\t\t\t<guid>" + link + "</guid>\r\n"
           "\t\t</item>\r\n";
}

std::string txtEntry(const PostTexts &texts, const PostContent &post, const RenderSettings &settings)
{
    const std::string body =
        settings.paragraphMode == kParagraphMarkdown ? markdownText(post.body) : post.body;
    return "<h2>" + post.title + "</h2>\r\n"
           "<h3>" + texts.dateText + " <a href=\"" + settings.archiveFolder + texts.monthPage + "#"
        + texts.anchor + "\">" + texts.timeText + "</a></h3>\r\n"
           "<p>" + body + "</p>\r\n";
}

std::string rfc822DateTime(const CivilDateTime &local, int utcOffsetSeconds)
{
    const int offsetMinutes = (utcOffsetSeconds < 0 ? -utcOffsetSeconds : utcOffsetSeconds) / 60;
    return std::string(kWeekdays[local.dayOfWeek % 7]) + ", " + twoDigits(local.day) + " "
        + kMonths[(local.month - 1) % 12] + " " + std::to_string(local.year) + " "
        + twoDigits(local.hour) + ":" + twoDigits(local.minute) + ":" + twoDigits(local.second)
        + " " + (utcOffsetSeconds < 0 ? "-" : "+") + twoDigits(offsetMinutes / 60)
        + twoDigits(offsetMinutes % 60);
}

std::string finishRss(const std::string &rssTemplate, const std::string &items, int charset,
                      const std::string &buildDateTime)
{
    std::string out = fillFeed(rssTemplate, kItems, items, charset);
    replaceAllInPlace(out, kBuildDateTime, buildDateTime);
    return out;
}

std::string finishTxt(const std::string &txtTemplate, const std::string &entries, int charset)
{
    return fillFeed(txtTemplate, kContent, entries, charset);
}

} // namespace tl::gen
