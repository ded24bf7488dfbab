#pragma once
// Templates and placeholders. A placeholder is an HTML comment: "<!-- %",
// a name in capitals, "% -->". Templates are 8-bit text; every placeholder is
// found by exact, case-sensitive comparison, never by parsing HTML.

#include <cstddef>
#include <string>

namespace tl::gen {

// Block markers of the page templates.
inline const std::string kContentStart = "<!-- %CONTENT_START% -->";
inline const std::string kContentEnd = "<!-- %CONTENT_END% -->";
// Where the main page's posts go while it is assembled. Templates never hold it.
inline const std::string kInsertionMarker = "<!-- ___DOSADIT_OBSAH___ -->";

// Page-level placeholders.
inline const std::string kArchive = "<!-- %ARCHIVE% -->";
inline const std::string kBuild = "<!-- %BUILD% -->";
inline const std::string kCharset = "<!-- %CHARSET% -->";
// Per-post placeholders.
inline const std::string kDate = "<!-- %DATE% -->";
inline const std::string kTime = "<!-- %TIME% -->";
inline const std::string kPermalink = "<!-- %PERMALINK% -->";
inline const std::string kAnchor = "<!-- %ANCHOR% -->";
inline const std::string kTitle = "<!-- %TITLE% -->";
inline const std::string kContent = "<!-- %CONTENT% -->";
inline const std::string kAuthor = "<!-- %AUTHOR% -->";
inline const std::string kAuthorMail = "<!-- %AUTHOR_MAIL% -->";
// RSS template.
inline const std::string kItems = "<!-- %ITEMS% -->";
inline const std::string kBuildDateTime = "<!-- %BUILD_DATE_TIME% -->";
// The site's own values, in the heads and tails of the main and archive
// templates and anywhere in the RSS and TXT templates: its title (the
// project's site title), its address (the main URI) and the link from the
// page at hand to the main page (the main page's name, with "../" for each
// folder level of an archive page).
inline const std::string kSiteTitle = "<!-- %SITE_TITLE% -->";
inline const std::string kMainUri = "<!-- %MAIN_URI% -->";
inline const std::string kMainPage = "<!-- %MAIN_PAGE% -->";

// The long-post separator typed in a body.
inline const std::string kMoreSeparator = "<!--more-->";

// True for the characters that may stand next to a block marker: tab, LF, CR,
// space and $ % & , . / : ; < = >.
bool isMarkerSeparator(char c);

// Position of the first whole-word occurrence of marker at or after start:
// the character before it is the start of the text or a separator, the one
// after it the end of the text or a separator. Occurrences that fail the test
// are skipped. std::string::npos when there is none.
std::size_t locateMarker(const std::string &text, const std::string &marker, std::size_t start = 0);

// Every non-overlapping occurrence, scanned left to right, replaced by value;
// the value is inserted as is and never scanned again.
std::string replaceAll(const std::string &text, const std::string &placeholder,
                       const std::string &value);
void replaceAllInPlace(std::string &text, const std::string &placeholder, const std::string &value);
// Only the leftmost occurrence replaced.
std::string replaceFirst(const std::string &text, const std::string &placeholder,
                         const std::string &value);
// Every occurrence removed.
void removeAllInPlace(std::string &text, const std::string &placeholder);

// Line breaks of a post block pattern made CR LF: every lone CR, lone LF and
// LF CR pair becomes CR LF.
std::string normalizeBlockLineBreaks(const std::string &block);

// The three regions of a page template.
struct PageTemplate {
    std::string head;  // before "<!-- %CONTENT_START% -->"
    std::string block; // between the two markers
    std::string tail;  // after "<!-- %CONTENT_END% -->"
};

// Splits a page template at its block markers (whole-word search; the end
// marker is looked for after the start marker). A template without either
// marker is refused with an AppError naming the template file and the marker,
// so no page is written from a template whose posts would land in the wrong
// place.
PageTemplate splitPageTemplate(const std::string &text, const std::string &templatePath);

// The comment that takes the place of "<!-- %CONTENT_END% -->" on a finished
// main page: "<!-- %tarvlit_" + version + "_" + file date + "% -->".
std::string generatorStamp(const std::string &versionText, const std::string &fileDateText);

// The values of the site placeholders for one kind of page.
struct SiteTexts {
    std::string title;
    std::string mainUri;
    std::string mainPage;
};
// Every "<!-- %SITE_TITLE% -->", "<!-- %MAIN_URI% -->" and
// "<!-- %MAIN_PAGE% -->" replaced; values inserted as given.
void fillSitePlaceholders(std::string &text, const SiteTexts &site);

// The link from a page in `pageFolder` (a folder below the main folder, as
// the archive folder setting names it: "archiv/", "a/b", or an absolute
// path) to the file `mainPage` in `mainFolder`: "../index.html" for
// "archiv/", just `mainPage` for "".
std::string linkToMainFolder(const std::string &mainFolder, const std::string &pageFolder,
                             const std::string &mainPage);

// Appends piece to text so that it begins on a new line: a CR LF goes between
// them unless text is empty or already ends with a line end.
void appendAsNewLine(std::string &text, const std::string &piece);

} // namespace tl::gen
