#pragma once
// The Generate command without a window: Read the project's data folder,
// then generate the whole site from it. The window and the command line both
// run generation through here.
#include "generator/generate.h"
#include "posts/poststore.h"

#include <string>
#include <vector>

namespace tl {
class Project;
}

namespace tl::gen {

// The project fields generation reads: texts as windows-1250 bytes, paths as
// the file system's bytes.
ProjectFields generationFields(const Project &project);

// A generation reporter that is also told what Read found, before a name
// that is no post stops the run, so that a window can show the tree as far
// as it goes.
class SiteReporter : public GenerateReporter {
public:
    virtual void postsRead(const PostFolder &) {}
};

// Logs "Read from list...", reads the data folder (input.project.pathDATA),
// logs "Completed.", reports the folder, then fills the input's post list,
// month list and tree order and runs GenerateSite. Returns the upload list.
// Throws AppError at the failing step, as Read and GenerateSite do.
std::vector<std::string> BuildSite(GenerateInput input, SiteReporter &reporter);

} // namespace tl::gen
