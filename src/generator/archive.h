#pragma once
// The archive: one page per month of posts, one page per long post, and the
// list of month links that the main page and the archive pages show.

#include "generator/render.h"
#include "generator/reporter.h"
#include "generator/templates.h"

#include <string>
#include <vector>

namespace tl::gen {

// The archive link list: "<ul>", one "<li>" link per month key of monthList
// (in its order, newest first), "</ul>", each line followed by CR LF. The link
// target is key + ".html", preceded by the archive folder in the main page
// form, which is chosen when formKey is exactly "mainpagelink"; any other key
// gives the archive form. The link text is the key with its first "-" made "/".
std::string GenArchive(const std::string &formKey, const std::vector<std::string> &monthList,
                       const std::string &archiveFolder);

// The archive template split and prepared: in head and tail every
// "<!-- %ARCHIVE% -->" replaced by the archive form of the link list, then
// every "<!-- %CHARSET% -->" by the charset name; the post block untouched.
// Throws when a block marker is missing.
PageTemplate prepareArchiveTemplate(const std::string &text, const std::string &templatePath,
                                    const std::vector<std::string> &monthList,
                                    const std::string &archiveFolder, int charset);

// What GenArchiveFiles needs besides the tree.
struct ArchiveJob {
    PageTemplate pageTemplate; // prepared by prepareArchiveTemplate
    std::string dataFolder;    // folder of the post files, "" or ending in "/"
    std::string outputFolder;  // main folder, ending in "/"
    RenderSettings settings;
};

// Walks the tree's node texts in display order (month keys, post names) and
// writes every month page and long-post page into the archive folder below the
// main folder (created when missing), appending each written path to the
// upload list: for each month, its long-post pages (newest first), then the
// month page. A node whose text
// contains ".txt" is a post; every other node a month. Throws
// "Cannot open file %s" for a post that cannot be read and
// "Cannot create file %s" for a page that cannot be written; pages finished
// before stay written.
void GenArchiveFiles(const ArchiveJob &job, const std::vector<std::string> &treeOrder,
                     GenerateReporter &reporter);

// Writes an output file whole with CR LF line ends (through a temporary file
// renamed over the target). Throws "Cannot create file %s".
void writeOutputFile(const std::string &path, const std::string &text);

} // namespace tl::gen
