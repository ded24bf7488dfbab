#pragma once
// Posts written in Markdown: the body rendered to HTML by md4c, and the
// long-post cut made on the Markdown text, so that both the part shown on the
// main page and month page and the whole post render as well-formed HTML.

#include <optional>
#include <string>
#include <string_view>

namespace tl::gen {

// A windows-1250 Markdown body as windows-1250 HTML: CommonMark with tables,
// strikethrough and autolinks (bare "http://...", "www..." and e-mail
// addresses become links). Raw HTML, tag shortcuts and comments pass through
// as typed; entities ("&mdash;") stay as typed, so a page in any charset shows
// them. A character windows-1250 lacks comes out as a numeric character
// reference. Line ends in the result are LF (pages are written with CR LF),
// and it ends without one, as the other modes leave the body.
std::string renderMarkdown(std::string_view body);

// A long post's two Markdown texts, split at the first "<!--more-->": what
// the main page and the month page show (the text before it), and the whole
// post for its own page, less that separator. It cuts wherever it stands,
// inside a list or a code block too: each part is rendered on its own, and
// md4c closes whatever the cut left open. In the whole post a separator in a
// line of text just goes; one alone on its line takes the line with it inside
// a fenced code block and before a list item (the code or the list goes on as
// one), and elsewhere leaves the line empty (the blocks it stood between stay
// apart: two paragraphs do not run into one).
struct MarkdownCut {
    std::string shown;
    std::string whole;
};
std::optional<MarkdownCut> cutMarkdown(std::string_view body);

// Rendered HTML followed by the link to a long post's page (an "<a>" element):
// inside the last paragraph when the HTML ends with one, else in a paragraph
// of its own after a list, a table or a code block.
std::string withLongPostLink(std::string html, const std::string &link);

// Rendered HTML as text, for the TXT page and the RSS description: tags
// stripped as the description strips them, at most one blank line in a row
// (one between blocks: paragraphs, headings, lists, tables, code, quotes), no
// line end at either end, entities left as they are.
std::string markdownPlainText(const std::string &renderedHtml);

} // namespace tl::gen
