#pragma once
// Rendering one post into a post block: the texts derived from its name, the
// body with paragraph markup, the block filled in the main-page or archive
// order, and the long-post cut.

#include "posts/postfile.h"

#include <cstdint>
#include <string>

namespace tl::gen {

// Paragraph modes of a project.
constexpr int kParagraphBr = 0;          // "<br />"
constexpr int kParagraphP = 1;           // "<p></p>"
constexpr int kParagraphUnformatted = 2; // "unformatted"
constexpr int kParagraphMarkdown = 3;    // "Markdown"

enum class PageKind { Main, Archive };

// The project settings rendering uses.
struct RenderSettings {
    int paragraphMode = kParagraphBr;
    int charset = 0;
    std::string archiveFolder; // URL prefix and path part
    std::string author;
    std::string email;
    std::string longPostSeparator = "Continue...";
    // Archive pages: what links into the main folder's "media/" start with
    // instead ("../media/"); empty where they work as written.
    std::string mediaLink;
};

// Values derived from a post file name.
struct PostTexts {
    std::int32_t n = 0;
    std::string dateText;     // "3. 4. 2003"
    std::string timeText;     // "00:01"
    std::string anchor;       // "030001": day, hour, minute
    std::string monthKey;     // "2003-04"
    std::string monthPage;    // "2003-04.html"
    std::string longPostPage; // "2003-04_030001.html"
};

// From a post file name such as "1049328060.txt". Throws
// AppError("'%s' is not a valid integer value") for a name that is no post name.
PostTexts postTexts(const std::string &fileName);

// Permalink of a post: archive folder (main page only) + month page + "#" + anchor.
std::string permalink(const PostTexts &t, const RenderSettings &s, PageKind kind);

// The body with paragraph markup for the mode and page kind:
// "<br />": one "<br />" per line end, in place of each LF on the main page
// (opening the next line) and of each CR on archive pages (closing the line);
// "<p></p>": each empty line (CR LF CR LF) becomes "</p>" CR LF "<p>" and the
// whole is wrapped in "<p>" ... "</p>"; "Markdown": rendered to HTML
// (markdown.h); any other mode: unchanged.
std::string FormatBody(const std::string &body, int paragraphMode, PageKind kind);

// Fills a fresh copy of the main page's post block pattern (without the long
// post cut). previousDate carries the date rule from post to post: the date
// replaces "<!-- %DATE% -->" only when it differs from previousDate, and then
// becomes it. The filled block is converted to the page's charset. In the
// Markdown mode a long post is cut here, on its Markdown text: the content is
// the part before its first "<!--more-->", rendered, with the link to the
// long-post page.
std::string FillMainPostBlock(const std::string &pattern, const PostTexts &texts,
                              const PostContent &post, const RenderSettings &settings,
                              std::string &previousDate);

// The long-post cut of a filled main page block: when it holds "<!--more-->",
// the text before the first one is kept, followed by the link to the long-post
// page and by the pattern's part after its first "<!-- %CONTENT% -->" with the
// post's placeholders (all but the date) replaced. The appended parts are
// converted to the page's charset; the kept part was converted by the fill.
std::string CutLongPost(const std::string &filledBlock, const std::string &pattern,
                        const PostTexts &texts, const PostContent &post,
                        const RenderSettings &settings);

// Fill plus cut: the block as it goes onto the main page.
std::string RenderMainPost(const std::string &pattern, const PostTexts &texts,
                           const PostContent &post, const RenderSettings &settings,
                           std::string &previousDate);

// An archive post: the month page block, and for a long post the block of its
// own page.
struct ArchivePost {
    std::string monthBlock;
    bool isLong = false;
    std::string longBlock;
};

// Fills the archive post block pattern: the date rule, the cut of the raw body
// at its first "<!--more-->" with the link to the long-post page, the post's
// placeholders, then the formatted body last. The long-post block receives the
// whole body less its first "<!--more-->". In the Markdown mode each of the
// two parts is rendered on its own (cutMarkdown) and the link follows the
// rendered part. Links into "media/" in the body are made to lead there from
// the archive folder (settings.mediaLink).
ArchivePost FillArchivePostBlock(const std::string &pattern, const PostTexts &texts,
                                 const PostContent &post, const RenderSettings &settings,
                                 std::string &previousDate);

} // namespace tl::gen
