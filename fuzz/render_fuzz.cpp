// Templates and rendering with hostile templates and bodies. Input parts,
// separated by "\n%%%%\n": settings line, template, title, body. The settings
// line: byte 0 picks the paragraph mode (-1..4), byte 1 the charset item
// (-1..3), then "|"-separated archive folder, author, e-mail, long-post link
// text, post file name and a search start for the marker search.
// Properties:
//  - the marker search finds exactly the first whole-word occurrence;
//  - a page template splits into head, block and tail that give the template
//    back with the two markers between them, or is refused with an AppError;
//  - block line breaks come out CR LF, nothing else changes;
//  - paragraph markup adds one "<br />" per line end, or wraps in <p></p>;
//  - a post rendered with charset item 1 (2) is byte for byte the ISO 8859-2
//    (UTF-8) conversion of the same post rendered without conversion (every
//    byte converted exactly once, on the main page and in the archive);
//  - the Markdown cut: the part shown is the text before the first
//    "<!--more-->", the whole post that part followed by the end of the text
//    after it;
//  - the long-post cut keeps the block up to the first "<!--more-->" and puts
//    the link to the long-post page right after it;
//  - the link from an archive folder back to the main page leads there;
//  - StripTags leaves no "<", only drops bytes, and leaves text without tags
//    alone; the RSS description is at most 200 bytes plus "..."; XML escaping
//    leaves no "<" or ">" and unescapes to the input;
//  - the charset table: same length, ASCII below DEL kept, every output byte
//    a table entry.
#include "core/cp1250.h"
#include "core/errors.h"
#include "fuzzsupport.h"
#include "generator/archive.h"
#include "generator/charset.h"
#include "generator/feeds.h"
#include "generator/markdown.h"
#include "generator/render.h"
#include "generator/templates.h"

#include <QDir>
#include <QStringList>
#include <algorithm>
#include <cstdlib>

using namespace tl::gen;
using tl::fuzz::shown;

namespace {

std::size_t countOf(const std::string &text, const std::string &what)
{
    std::size_t n = 0;
    for (std::size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + what.size()))
        ++n;
    return n;
}

bool separatorAt(const std::string &text, std::size_t i)
{
    const char c = text[i];
    return c == '\t' || c == '\n' || c == '\r' || c == ' ' || c == '$' || c == '%' || c == '&'
        || c == ',' || c == '.' || c == '/' || c == ':' || c == ';' || c == '<' || c == '='
        || c == '>';
}

bool wholeWordAt(const std::string &text, const std::string &marker, std::size_t p)
{
    return text.compare(p, marker.size(), marker) == 0 && (p == 0 || separatorAt(text, p - 1))
        && (p + marker.size() >= text.size() || separatorAt(text, p + marker.size()));
}

void checkLocate(const std::string &text, const std::string &marker, std::size_t start)
{
    const std::size_t got = locateMarker(text, marker, start);
    std::size_t expected = std::string::npos;
    for (std::size_t p = text.find(marker, start); p != std::string::npos; p = text.find(marker, p + 1))
        if (wholeWordAt(text, marker, p)) {
            expected = p;
            break;
        }
    FUZZ_CHECK(got == expected, "marker " + marker + " from " + std::to_string(start) + " found at "
                                    + std::to_string(got) + " in " + shown(text));
}

bool onlyCrLf(const std::string &s)
{
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\r' && (i + 1 >= s.size() || s[i + 1] != '\n'))
            return false;
        if (s[i] == '\n' && (i == 0 || s[i - 1] != '\r'))
            return false;
    }
    return true;
}

std::string withoutLineBreaks(std::string s)
{
    std::string out;
    for (char c : s)
        if (c != '\r' && c != '\n')
            out += c;
    return out;
}

// Subsequence test: every byte of `part` appears in `whole`, in order.
bool isSubsequence(const std::string &part, const std::string &whole)
{
    std::size_t j = 0;
    for (char c : whole)
        if (j < part.size() && part[j] == c)
            ++j;
    return j == part.size();
}

// An absolute path with "." and ".." resolved as the file system does: ".."
// at the root stays at the root.
QString resolved(const QString &path)
{
    QStringList kept;
    for (const QString &part : path.split(QLatin1Char('/'))) {
        if (part.isEmpty() || part == QLatin1String("."))
            continue;
        if (part == QLatin1String("..")) {
            if (!kept.isEmpty())
                kept.removeLast();
            continue;
        }
        kept.append(part);
    }
    return QLatin1Char('/') + kept.join(QLatin1Char('/'));
}

std::string xmlUnescape(const std::string &s)
{
    std::string out;
    for (std::size_t i = 0; i < s.size();) {
        if (s.compare(i, 5, "&amp;") == 0) {
            out += '&';
            i += 5;
        } else if (s.compare(i, 4, "&lt;") == 0) {
            out += '<';
            i += 4;
        } else if (s.compare(i, 4, "&gt;") == 0) {
            out += '>';
            i += 4;
        } else {
            out += s[i++];
        }
    }
    return out;
}

void checkPageTemplate(const std::string &text)
{
    try {
        const PageTemplate t = splitPageTemplate(text, "template.htm");
        FUZZ_CHECK(t.head + kContentStart + t.block + kContentEnd + t.tail == text,
                   "split does not give back " + shown(text));
        FUZZ_CHECK(wholeWordAt(text, kContentStart, t.head.size())
                       && locateMarker(text, kContentStart) == t.head.size(),
                   "block start misplaced in " + shown(text));
        const std::size_t end = t.head.size() + kContentStart.size() + t.block.size();
        FUZZ_CHECK(locateMarker(text, kContentEnd, t.head.size() + kContentStart.size()) == end,
                   "block end misplaced in " + shown(text));
    } catch (const tl::AppError &) {
        FUZZ_CHECK(locateMarker(text, kContentStart) == std::string::npos
                       || locateMarker(text, kContentEnd, locateMarker(text, kContentStart) + kContentStart.size())
                           == std::string::npos,
                   "template with both markers refused: " + shown(text));
    }
    const std::string block = normalizeBlockLineBreaks(text);
    FUZZ_CHECK(onlyCrLf(block) && withoutLineBreaks(block) == withoutLineBreaks(text)
                   && normalizeBlockLineBreaks(block) == block,
               "line breaks of " + shown(text) + " made " + shown(block));
}

void checkRendering(const std::string &pattern, const PostTexts &texts, const tl::PostContent &post,
                    RenderSettings settings)
{
    const std::string more = kMoreSeparator;

    // Main page: converted rendering == conversion of the plain rendering.
    settings.charset = kCharsetWindows1250;
    std::string previous;
    const std::string filled = FillMainPostBlock(pattern, texts, post, settings, previous);
    FUZZ_CHECK(previous == texts.dateText, "date rule did not take the date");
    previous.clear();
    const std::string plain = RenderMainPost(pattern, texts, post, settings, previous);
    settings.charset = kCharsetIso88592;
    previous.clear();
    const std::string iso = RenderMainPost(pattern, texts, post, settings, previous);
    FUZZ_CHECK(iso == win1250ToIso88592(plain), "main page: converted block differs from converting the block\n"
                                                    + shown(iso) + "\n" + shown(win1250ToIso88592(plain)));
    settings.charset = kCharsetUtf8;
    previous.clear();
    FUZZ_CHECK(RenderMainPost(pattern, texts, post, settings, previous) == tl::cp1250ToUtf8(plain),
               "main page: UTF-8 block differs from converting the block");
    for (int other : {-1, 3}) {
        settings.charset = other;
        previous.clear();
        FUZZ_CHECK(RenderMainPost(pattern, texts, post, settings, previous) == plain,
                   "charset item " + std::to_string(other) + " converts");
    }
    settings.charset = kCharsetWindows1250;

    // The long-post cut.
    const std::size_t at = filled.find(more);
    if (at == std::string::npos) {
        FUZZ_CHECK(plain == filled, "a block without the separator was cut");
    } else {
        const std::string link = " <a href=\"" + settings.archiveFolder + texts.longPostPage + "\">"
            + settings.longPostSeparator;
        FUZZ_CHECK(plain.compare(0, at, filled, 0, at) == 0 && plain.compare(at, link.size(), link) == 0,
                   "cut of " + shown(filled) + " is " + shown(plain));
    }

    // A second post of the same date leaves the date placeholder.
    previous = texts.dateText;
    const std::string second = FillMainPostBlock(kDate, texts, post, settings, previous);
    FUZZ_CHECK(second == kDate, "second post of a day got the date");

    // Archive.
    previous.clear();
    const ArchivePost a = FillArchivePostBlock(pattern, texts, post, settings, previous);
    settings.charset = kCharsetIso88592;
    previous.clear();
    const ArchivePost b = FillArchivePostBlock(pattern, texts, post, settings, previous);
    FUZZ_CHECK(a.isLong == (post.body.find(more) != std::string::npos) && b.isLong == a.isLong,
               "long post not recognised");
    FUZZ_CHECK(b.monthBlock == win1250ToIso88592(a.monthBlock) && b.longBlock == win1250ToIso88592(a.longBlock),
               "archive: converted block differs from converting the block");
    settings.charset = kCharsetUtf8;
    previous.clear();
    const ArchivePost u = FillArchivePostBlock(pattern, texts, post, settings, previous);
    FUZZ_CHECK(u.monthBlock == tl::cp1250ToUtf8(a.monthBlock) && u.longBlock == tl::cp1250ToUtf8(a.longBlock),
               "archive: UTF-8 block differs from converting the block");
    settings.charset = kCharsetWindows1250;
    const int mode = settings.paragraphMode;
    if (pattern == kContent && (mode < 0 || mode == kParagraphUnformatted || mode > kParagraphMarkdown)) {
        std::string whole = post.body;
        if (a.isLong)
            whole.erase(whole.find(more), more.size());
        FUZZ_CHECK(a.isLong ? a.longBlock == whole : a.monthBlock == whole,
                   "archive body of " + shown(post.body) + " changed");
    }

    // RSS and TXT pieces must not throw or break the XML.
    const std::string item = rssItem(texts, post, settings, "http://example.org/", 3600);
    FUZZ_CHECK(countOf(item, "<") == countOf(item, ">"),
               "RSS item " + shown(item));
    (void)txtEntry(texts, post, settings);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string input(reinterpret_cast<const char *>(data), size);
    const std::vector<std::string> parts = tl::fuzz::splitParts(input, "\n%%%%\n", 4);
    const std::string &line = parts[0];
    const std::string &templ = parts[1];
    tl::PostContent post = tl::parsePost(parts[2] + "\r\n" + parts[3]);

    RenderSettings settings;
    settings.paragraphMode = line.size() > 0 ? static_cast<unsigned char>(line[0]) % 6 - 1 : 0;
    settings.charset = line.size() > 1 ? static_cast<unsigned char>(line[1]) % 5 - 1 : 0;
    const std::vector<std::string> fields = tl::fuzz::splitParts(line.size() > 2 ? line.substr(2) : "", "|", 6);
    settings.archiveFolder = fields[0];
    settings.author = fields[1];
    settings.email = fields[2];
    settings.longPostSeparator = fields[3];
    const std::size_t searchStart = std::strtoul(fields[5].c_str(), nullptr, 10) % (templ.size() + 2);

    // Markers and template splitting.
    for (const std::string *m : {&kContentStart, &kContentEnd, &kInsertionMarker, &kMoreSeparator})
        checkLocate(templ, *m, searchStart);
    checkPageTemplate(templ);
    try {
        const PageTemplate t = prepareArchiveTemplate(templ, "archtemp.htm", {"2003-05", "2003-04"},
                                                      settings.archiveFolder, settings.charset, {});
        (void)t;
    } catch (const tl::AppError &) {
    }

    // Replacement.
    const std::size_t titles = countOf(templ, kTitle);
    const std::string replaced = replaceAll(templ, kTitle, post.title);
    FUZZ_CHECK(replaced.size() == templ.size() + titles * post.title.size() - titles * kTitle.size(),
               "replacing titles in " + shown(templ));
    const std::size_t first = templ.find(kTitle);
    FUZZ_CHECK(replaceFirst(templ, kTitle, post.title)
                   == (first == std::string::npos
                           ? templ
                           : templ.substr(0, first) + post.title + templ.substr(first + kTitle.size())),
               "replacing the first title in " + shown(templ));

    // Paragraph markup of a body as readers hand it over.
    const std::string &body = post.body;
    const std::size_t brs = countOf(body, "<br />");
    const std::string mainBr = FormatBody(body, kParagraphBr, PageKind::Main);
    const std::string archBr = FormatBody(body, kParagraphBr, PageKind::Archive);
    const std::size_t lineEnds = countOf(body, "\r\n");
    FUZZ_CHECK(countOf(mainBr, "<br />") >= brs + lineEnds && mainBr.find('\n') == std::string::npos,
               "main page <br /> of " + shown(body) + " is " + shown(mainBr));
    FUZZ_CHECK(countOf(archBr, "<br />") >= brs + lineEnds && archBr.find('\r') == std::string::npos,
               "archive <br /> of " + shown(body) + " is " + shown(archBr));
    const std::string p = FormatBody(body, kParagraphP, PageKind::Main);
    FUZZ_CHECK(p.compare(0, 3, "<p>") == 0 && p.size() >= 7 && p.compare(p.size() - 4, 4, "</p>") == 0,
               "paragraphs of " + shown(body) + " are " + shown(p));
    FUZZ_CHECK(FormatBody(body, kParagraphUnformatted, PageKind::Main) == body, "unformatted body changed");

    // The post's name.
    PostTexts texts;
    try {
        texts = postTexts(fields[4]);
        FUZZ_CHECK(texts.anchor.size() == 6 && texts.monthPage == texts.monthKey + ".html"
                       && texts.longPostPage == texts.monthKey + "_" + texts.anchor + ".html"
                       && texts.timeText.size() == 5,
                   "texts of " + shown(fields[4]));
    } catch (const tl::AppError &) {
        texts = postTexts("1049328060.txt");
    }
    checkRendering(normalizeBlockLineBreaks(templ), texts, post, settings);

    // Feeds.
    const std::string stripped = StripTags(body);
    FUZZ_CHECK(stripped.find('<') == std::string::npos && isSubsequence(stripped, body)
                   && (body.find('<') != std::string::npos || stripped == body),
               "StripTags of " + shown(body) + " is " + shown(stripped));
    const std::string description = rssDescription(body);
    FUZZ_CHECK(description.size() <= 203 && description.compare(description.size() - 3, 3, "...") == 0,
               "RSS description " + shown(description));
    const std::string escaped = xmlEscape(body);
    FUZZ_CHECK(escaped.find_first_of("<>") == std::string::npos && xmlUnescape(escaped) == body,
               "XML escape of " + shown(body));
    for (int charset : {0, 1, 2}) {
        (void)finishRss(templ, "<item/>", charset, "Mon, 07 Dec 2026 21:05:00 +0100");
        (void)finishTxt(templ, "entry", charset);
    }

    // The Markdown cut, and rendering that never fails.
    if (const auto cut = cutMarkdown(body)) {
        const std::size_t at = body.find(kMoreSeparator);
        const std::string after = body.substr(at + kMoreSeparator.size());
        const std::string rest = cut->whole.substr(std::min(cut->shown.size(), cut->whole.size()));
        FUZZ_CHECK(body.compare(0, cut->shown.size(), cut->shown) == 0 && cut->shown.size() <= at
                       && cut->whole.compare(0, cut->shown.size(), cut->shown) == 0
                       && rest.size() <= after.size()
                       && after.compare(after.size() - rest.size(), rest.size(), rest) == 0,
                   "Markdown cut of " + shown(body));
    } else {
        FUZZ_CHECK(body.find(kMoreSeparator) == std::string::npos, "separator missed in " + shown(body));
    }
    (void)markdownPlainText(renderMarkdown(body));
    (void)GenArchive(fields[4], {"2003-05", "2003-04"}, settings.archiveFolder);

    // The link from an archive page back to the main page leads there.
    const std::string &folder = settings.archiveFolder;
    const bool plainPath = std::all_of(folder.begin(), folder.end(), [](char c) {
        return c > ' ' && c < 0x7f && c != '\\';
    });
    if (plainPath && !folder.empty()) {
        // Worked out on the text: the page's folder below (or beside) the main
        // folder, the link appended, "." and ".." resolved.
        const QString main = "/srv/site";
        const QString from =
            folder[0] == '/' ? QString::fromStdString(folder) : main + "/" + QString::fromStdString(folder);
        for (const char *page : {"index.html", ":main.html"}) {
            const std::string link = linkToMainFolder("/srv/site/", folder, page);
            const QString target = resolved(from + "/" + QString::fromStdString(link));
            FUZZ_CHECK(target == main + "/" + page,
                       "link " + shown(link) + " from " + shown(folder) + " leads to " + target.toStdString());
        }
    }

    // The charset table.
    const auto &table = win1250ToIsoTable();
    const std::string iso = win1250ToIso88592(body);
    FUZZ_CHECK(iso.size() == body.size(), "conversion changed the length");
    for (std::size_t i = 0; i < body.size(); ++i) {
        const unsigned char in = static_cast<unsigned char>(body[i]);
        const unsigned char out = static_cast<unsigned char>(iso[i]);
        FUZZ_CHECK(out == table[in] && (in >= 0x7f || out == in) && (in < 0x7f || out == '#' || out >= 0xa0),
                   "byte " + std::to_string(in) + " converted to " + std::to_string(out));
    }
    std::string same = body;
    toPageCharset(same, kCharsetWindows1250);
    FUZZ_CHECK(same == body, "charset item 0 converted");
    toPageCharset(same, kCharsetUtf8);
    FUZZ_CHECK(QByteArray::fromStdString(same) == tl::decodeCp1250(body).toUtf8(),
               "UTF-8 of " + shown(body));
    return 0;
}
