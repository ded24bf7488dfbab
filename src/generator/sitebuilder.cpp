#include "generator/sitebuilder.h"

#include "app/core/cp1250.h"
#include "app/core/errors.h"
#include "app/core/programfiles.h"
#include "app/core/project.h"

namespace tl::gen {

namespace {

// Collects the upload list while passing everything on.
class Collecting : public GenerateReporter {
public:
    explicit Collecting(GenerateReporter &next) : next_(next) {}
    void log(const std::string &line) override { next_.log(line); }
    void clearUploadList() override
    {
        list.clear();
        next_.clearUploadList();
    }
    void addToUploadList(const std::string &path) override
    {
        list.push_back(path);
        next_.addToUploadList(path);
    }
    std::vector<std::string> list;

private:
    GenerateReporter &next_;
};

} // namespace

ProjectFields generationFields(const Project &project)
{
    const auto text = [&](const char *name) { return encodeCp1250(project.text(name)); };
    const auto path = [&](const char *name) { return pathBytes(project.text(name)); };
    ProjectFields p;
    p.pathMAIN = path("pathMAIN");
    p.pathDATA = path("pathDATA");
    p.edtMAINHTML = path("edtMAINHTML");
    p.edtRSSFILE = path("edtRSSFILE");
    p.edtTXTFILE = path("edtTXTFILE");
    p.edtCOUNT = text("edtCOUNT");
    p.edtMAINURI = text("edtMAINURI");
    p.fileTEMPLATE = path("fileTEMPLATE");
    p.archiveTEMPLATE = path("archiveTEMPLATE");
    p.edtRSSTEMPLATE = path("edtRSSTEMPLATE");
    p.edtTXTTEMPLATE = path("edtTXTTEMPLATE");
    p.edtAUTHOR = text("edtAUTHOR");
    p.edtEMAIL = text("edtEMAIL");
    p.edtLONGPOSTSEPARATOR = text("edtLONGPOSTSEPARATOR");
    p.dirPATHARCHIVES = path("dirPATHARCHIVES");
    p.edtSITETITLE = text("edtSITETITLE");
    p.rgPARAGRAPH = project.integer("rgPARAGRAPH");
    p.rgCHARSET = project.integer("rgCHARSET");
    return p;
}

std::vector<std::string> BuildSite(GenerateInput input, SiteReporter &reporter)
{
    reporter.log("Read from list...");
    const PostFolder folder = readPostFolder(input.project.pathDATA);
    reporter.log("Completed.");
    reporter.postsRead(folder);
    if (!folder.walk.failure.empty())
        throw AppError(folder.walk.failure);

    input.postList = folder.postList;
    input.monthList = monthList(folder.walk);
    input.treeOrder = treeOrder(folder.walk);
    Collecting collecting(reporter);
    GenerateSite(input, collecting);
    return collecting.list;
}

} // namespace tl::gen
