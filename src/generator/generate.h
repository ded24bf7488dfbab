#pragma once
// Generating the whole site of a project: the main page with the newest
// posts, the RSS file and the TXT page, then every archive page. The caller
// (the Generate command) checks that a project is open, runs Read, hands the
// project fields and what Read built to GenerateSite, and asks the closing
// question itself.

#include "generator/reporter.h"
#include "posts/postfile.h"

#include <functional>
#include <string>
#include <vector>

namespace tl::gen {

// The project fields generation reads, as the bytes of their texts
// (windows-1250), under the names of their controls. Defaults are the start
// values of the settings window.
struct ProjectFields {
    std::string pathMAIN;                               // main folder
    std::string pathDATA;                               // data folder
    std::string edtMAINHTML = "index.html";
    std::string edtRSSFILE = "rss.xml";
    std::string edtTXTFILE = "text.htm";
    std::string edtCOUNT = "10";                        // posts on the main page
    std::string edtMAINURI = "http://";                 // site address, prefix of RSS links
    std::string fileTEMPLATE;                           // main page template
    std::string archiveTEMPLATE;                        // archive template
    std::string edtRSSTEMPLATE;                         // empty: no RSS file
    std::string edtTXTTEMPLATE;                         // empty: no TXT page
    std::string edtAUTHOR;
    std::string edtEMAIL;
    std::string edtLONGPOSTSEPARATOR = "Continue...";
    std::string dirPATHARCHIVES;                        // archive folder below the main folder
    std::string edtSITETITLE = "My weblog";             // "<!-- %SITE_TITLE% -->", the feed's title
    int rgPARAGRAPH = 0;                                // 0 "<br />", 1 "<p></p>", 2 "unformatted"
    int rgCHARSET = 0;                                  // 0 "windows-1250", 1 "iso-8859-2"
};

// The local date and time of the run, for the RSS build time.
struct BuildTime {
    CivilDateTime local;
    int utcOffsetSeconds = 0;
};

struct GenerateInput {
    ProjectFields project;
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
};

// The local time zone's offset from UTC, in seconds, at a local date and time.
int localUtcOffsetAt(const CivilDateTime &local);

// Fills versionText, fileDateText and buildTime from the running program
// file and the program's clock (tl::clock()) in the local time zone.
void stampFromProgram(GenerateInput &input);
BuildTime currentBuildTime();

// The folder the site is written to: pathMAIN with "/" appended when missing.
std::string outputFolder(const ProjectFields &p);
// The main page's path, which the Generate command offers to open.
std::string mainPagePath(const ProjectFields &p);

// Runs the generation, logging "Generating blog...", "Reading from template...",
// "Generating archive links...", "Generating main page...", "Generating RSS file..."
// (RSS template set), "Generating TXT file..." (TXT template set),
// "Generating archive files...", "Completed.". The upload list is rebuilt once
// the main page, RSS and TXT files are written: the main page, then the RSS
// and TXT files written in this run, then every archive file.
// Every failure throws tl::AppError with its message at the failing step;
// files written before stay written. Templates are read and checked before
// anything is written.
void GenerateSite(const GenerateInput &input, GenerateReporter &reporter);

} // namespace tl::gen
