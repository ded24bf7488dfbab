#pragma once
// Generating the whole site of a project: the main page with the newest
// posts, the RSS file and the TXT page, then every archive page. The caller
// (the Generate command) checks that a project is open, runs Read, hands the
// project fields and what Read built to GenerateSite, and asks the closing
// question itself.

#include "generator/render.h"
#include "generator/reporter.h"
#include "generator/sitecache.h"
#include "generator/templates.h"
#include "posts/postfile.h"

#include <functional>
#include <string>
#include <vector>

namespace tl::gen {

// A project's settings as generation reads them: texts as their windows-1250
// bytes, paths as the file system's bytes, folders ending with "/".
// Defaults are a new project's start values.
struct SiteFields {
    std::string mainFolder;
    std::string dataFolder;
    std::string mainPageName = "index.html";
    std::string feedName = "rss.xml";
    std::string textPageName = "text.htm";
    std::string postsOnMainPage = "10";
    std::string mainUri = "http://";  // site address, prefix of the feed's links
    std::string mainTemplate;
    std::string archiveTemplate;
    std::string feedTemplate;         // empty: no feed
    std::string textTemplate;         // empty: no text page
    std::string author;
    std::string email;
    std::string longPostLink = "Continue...";
    std::string archiveFolder;        // below the main folder
    std::string siteTitle = "My weblog"; // "<!-- %SITE_TITLE% -->", the feed's title
    int paragraphMode = 0;            // 0 "<br />", 1 "<p></p>", 2 "unformatted", 3 "Markdown"
    int charset = 0;                  // 0 "windows-1250", 1 "iso-8859-2", 2 "utf-8"
};

// The local date and time of the run, for the RSS build time.
struct BuildTime {
    CivilDateTime local;
    int utcOffsetSeconds = 0;
};

struct GenerateInput {
    SiteFields project;
    // What Read built from the data folder: the post list (file names padded
    // on the left with "_", ascending), the month list (month keys, newest
    // first) and the tree's node texts in display order (each month key
    // followed by its post file names, newest first).
    std::vector<std::string> postList;
    std::vector<std::string> monthList;
    std::vector<std::string> treeOrder;
    // The program's version and file date, for "<!-- %BUILD% -->" and the
    // generator stamp.
    std::string versionText;
    std::string fileDateText;
    BuildTime buildTime;
    // The local offset from UTC, in seconds, at a post's local date and time
    // (for the RSS items' dates). Empty: the local time zone's rules.
    std::function<int(const CivilDateTime &)> utcOffsetAt;
    // What earlier runs wrote, for skipping the archive months that did not
    // change; null means the cache the whole process shares.
    SiteCache *cache = nullptr;
};

// The local time zone's offset from UTC, in seconds, at a local date and time.
int localUtcOffsetAt(const CivilDateTime &local);

// Fills versionText, fileDateText and buildTime from the running program
// file and the program's clock (tl::clock()) in the local time zone.
void stampFromProgram(GenerateInput &input);
BuildTime currentBuildTime();

// The rendering settings of a project; on archive pages links into the main
// folder's "media/" are made to lead there from the archive folder.
RenderSettings renderSettings(const SiteFields &p);
// The site's texts as archive pages show them: the title in the page
// charset and the link to the main page from the archive folder.
SiteTexts archiveSiteTexts(const SiteFields &p);

// The folder the site is written to: mainFolder with "/" appended when missing.
std::string outputFolder(const SiteFields &p);
// The main page's path, which the Generate command offers to open.
std::string mainPagePath(const SiteFields &p);

// Runs the generation, logging "Generating blog...", "Reading from template...",
// "Generating archive links...", "Generating main page...", "Generating RSS file..."
// (RSS template set), "Generating TXT file..." (TXT template set),
// "Generating archive files...", "Completed.". The upload list is rebuilt once
// the main page, RSS and TXT files are written: the main page, then the RSS
// and TXT files written in this run, then every archive file, then every
// picture of the main folder's "media/" (listed, never written); each is also
// reported through GenerateReporter::siteFile with whether it was rewritten.
// Every output is written whole, and only when its bytes differ from the file
// on disk: a page that comes out the same keeps its file and its times.
// Archive months whose posts, template, settings and pages are as the cache
// recorded them are not rendered again.
// Every failure throws tl::AppError with its message at the failing step;
// files written before stay written. Templates are read and checked before
// anything is written.
void GenerateSite(const GenerateInput &input, GenerateReporter &reporter);

} // namespace tl::gen
