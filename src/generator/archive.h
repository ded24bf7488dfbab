#pragma once
// The archive: one page per month of posts, one page per long post, and the
// list of month links that the main page and the archive pages show.

#include "core/fileio.h"
#include "generator/render.h"
#include "generator/reporter.h"
#include "generator/sitecache.h"
#include "generator/templates.h"

#include <memory>
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
// every "<!-- %CHARSET% -->" by the charset name, then the site's texts
// (`site.mainPage` being the link from the archive folder); the post block
// untouched. Throws when a block marker is missing.
PageTemplate prepareArchiveTemplate(const std::string &text, const std::string &templatePath,
                                    const std::vector<std::string> &monthList,
                                    const std::string &archiveFolder, int charset,
                                    const SiteTexts &site);

// What the archive needs besides the tree.
struct ArchiveJob {
    PageTemplate pageTemplate; // prepared by prepareArchiveTemplate
    std::string dataFolder;    // folder of the post files, "" or ending in "/"
    std::string outputFolder;  // main folder, ending in "/"
    RenderSettings settings;
};

// The archive pages of one run. The tree's node texts (month keys and post
// names, in display order; a node whose text contains ".txt" is a post, every
// other node a month) are split into months, which are rendered from
// construction on by worker threads, ahead of the writing: a month whose
// posts and pages are as the cache recorded them is taken as it is, every
// other month is read and rendered in memory. Rendering only reads files.
// commit() then writes the pages on the calling thread in walk order, each
// only when its bytes differ from the file on disk, and reports them: for each
// month, its long-post pages (newest first), then the month page. A failure
// is thrown by commit() at the month and post where a walk of the tree would
// meet it ("Cannot open file %s" for a post that cannot be read, "'%s' is not
// a valid integer value" for a name that is not a post name, "Cannot create
// file %s" for a page that cannot be written), after writing what that walk
// would have written before it. The archive folder below the main folder is
// created when missing. The tree must outlive the run.
class ArchiveRun {
public:
    ArchiveRun(ArchiveJob job, const std::vector<std::string> &treeOrder, SiteCache &cache);
    ~ArchiveRun(); // stops the workers; a run never committed leaves the cache as it was
    ArchiveRun(const ArchiveRun &) = delete;
    ArchiveRun &operator=(const ArchiveRun &) = delete;

    void commit(GenerateReporter &reporter);

private:
    struct State;
    std::unique_ptr<State> d_;
};

// Writes an output file whole with CR LF line ends (through a temporary file
// renamed over the target), unless the file already holds exactly those
// bytes. Throws "Cannot create file %s".
WriteOutcome writeOutputFile(const std::string &path, const std::string &text);

} // namespace tl::gen
