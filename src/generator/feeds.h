#pragma once
// The RSS file and the TXT page: items collected from the main page's posts,
// newest first, and put into their templates after the last post.

#include "generator/render.h"

#include <string>

namespace tl::gen {

// The text without its tags: the text up to the first "<" survives, and of
// every later "<"-run the text between its first and second ">". Every run is
// handled, however many the text holds.
std::string StripTags(const std::string &text);

// The RSS description of a raw body: one leading tag removed, the tags
// stripped, a few entities decoded ("&nbsp;", "&bdquo;", "&rdquo;", "&mdash;",
// "&amp;", "&trade;", in this order), cut to 200 characters and followed by
// "...". Not yet escaped for XML.
std::string rssDescription(const std::string &rawBody);

// "&", "<" and ">" written as "&amp;", "&lt;" and "&gt;", so that the RSS
// file stays well-formed XML whatever a title or body holds. A well-formed
// numeric character reference of a character XML allows ("&#9829;",
// "&#x2665;") passes unchanged: it is how a post holds a character that
// windows-1250 lacks, and a feed reader then shows that character.
std::string xmlEscape(const std::string &text);

// One RSS item (seven lines, each ended by CR LF): title, description (in the
// Markdown mode of the text of the whole post, markdownPlainText), link
// (site address + archive folder + month page + "#" + anchor), the post's
// date and time (RFC 822, the post's local time with `utcOffsetSeconds`, the
// local offset from UTC at that time) and a guid that is the link, all
// XML-escaped.
std::string rssItem(const PostTexts &texts, const PostContent &post, const RenderSettings &settings,
                    const std::string &siteAddress, int utcOffsetSeconds);

// One TXT entry (three lines, each ended by CR LF): title, date with the link
// to the post's place in its month page, and the whole raw body; in the
// Markdown mode the text of the whole post (rendered, less its first
// separator, tags stripped: markdownPlainText), since Markdown as typed is no
// HTML to show.
std::string txtEntry(const PostTexts &texts, const PostContent &post,
                     const RenderSettings &settings);

// The time of generation as RSS wants it (RFC 822 with a four-digit year):
// "Mon, 07 Dec 2026 21:05:00 +0100", from the local date and time and the
// local offset from UTC in seconds.
std::string rfc822DateTime(const CivilDateTime &local, int utcOffsetSeconds);

// The RSS file's text: the items (converted to the page charset, toPageCharset)
// in place of the first "<!-- %ITEMS% -->", then every "<!-- %CHARSET% -->"
// and every "<!-- %BUILD_DATE_TIME% -->" replaced.
std::string finishRss(const std::string &rssTemplate, const std::string &items, int charset,
                      const std::string &buildDateTime);

// The TXT page's text: the entries (converted like the items) in place of
// the first "<!-- %CONTENT% -->", then every "<!-- %CHARSET% -->" replaced.
std::string finishTxt(const std::string &txtTemplate, const std::string &entries, int charset);

} // namespace tl::gen
