#pragma once
// The Generate command without a window: Read the project's data folder,
// then generate the whole site from it. The window and the command line both
// run generation through here.
#include "generator/generate.h"
#include "posts/poststore.h"

#include <string>
#include <vector>

namespace tl {
struct ProjectSettings;
}

namespace tl::gen {

// A project's settings as generation reads them (folder-like values made to
// end with "/").
SiteFields siteFields(const ProjectSettings &settings);

// The log line that warns of a Main URI without a host (links in the feed
// would lead nowhere), or "" when it names one. An empty Main URI is the
// writer's choice of relative links and gets no warning.
std::string mainUriWarning(const ProjectSettings &settings);

// A generation reporter that is also told what Read found, before a name
// that is no post stops the run, so that a window can show the tree as far
// as it goes.
class SiteReporter : public GenerateReporter {
public:
    virtual void postsRead(const PostFolder &) {}
};

// Logs "Read from list...", reads the data folder (input.project.dataFolder),
// logs "Completed.", reports the folder, then fills the input's post list,
// month list and tree order and runs GenerateSite. Returns the upload list.
// Throws AppError at the failing step, as Read and GenerateSite do.
std::vector<std::string> BuildSite(GenerateInput input, SiteReporter &reporter);

// Generate as the window and the command line run it: the project's
// settings, the program's version stamp and the clock's build time; a Main
// URI without a host is warned about in the log first.
std::vector<std::string> BuildSite(const ProjectSettings &settings, SiteReporter &reporter);

} // namespace tl::gen
