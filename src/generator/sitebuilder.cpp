#include "generator/sitebuilder.h"

#include "core/cp1250.h"
#include "core/errors.h"
#include "core/programfiles.h"
#include "core/projectsettings.h"

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
    void siteFile(const std::string &path, WriteOutcome outcome) override
    {
        list.push_back(path);
        next_.siteFile(path, outcome);
    }
    std::vector<std::string> list;

private:
    GenerateReporter &next_;
};

} // namespace

SiteFields siteFields(const ProjectSettings &settings)
{
    const ProjectSettings n = settings.normalized();
    const SiteSettings &site = n.site;
    const ContentSettings &content = n.content;
    const auto text = [](const QString &s) { return encodeCp1250(s); };
    SiteFields p;
    p.mainFolder = pathBytes(site.mainFolder);
    p.dataFolder = pathBytes(site.dataFolder);
    p.mainPageName = pathBytes(site.mainPageName);
    p.feedName = pathBytes(site.feedName);
    p.textPageName = pathBytes(site.textPageName);
    p.postsOnMainPage = text(site.postsOnMainPage);
    p.mainUri = text(site.mainUri);
    p.mainTemplate = pathBytes(site.mainTemplate);
    p.archiveTemplate = pathBytes(site.archiveTemplate);
    p.feedTemplate = pathBytes(site.feedTemplate);
    p.textTemplate = pathBytes(site.textTemplate);
    p.archiveFolder = pathBytes(site.archiveFolder);
    p.author = text(content.author);
    p.email = text(content.email);
    p.longPostLink = text(content.longPostLink);
    p.siteTitle = text(content.siteTitle);
    p.paragraphMode = static_cast<int>(content.paragraphs);
    p.charset = static_cast<int>(content.charset);
    return p;
}

std::string mainUriWarning(const ProjectSettings &settings)
{
    const QString uri = settings.site.mainUri.trimmed();
    if (uri.isEmpty() || uriHasHost(uri))
        return {};
    return encodeCp1250(QStringLiteral("Warning: the Main URI \"%1\" names no host; the feed's "
                                       "links will lead nowhere. Set it on the Options tab, for "
                                       "example http://blog.example.com/.")
                            .arg(uri));
}

std::vector<std::string> BuildSite(GenerateInput input, SiteReporter &reporter)
{
    reporter.log("Read from list...");
    const PostFolder folder = readPostFolder(input.project.dataFolder);
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

std::vector<std::string> BuildSite(const ProjectSettings &settings, SiteReporter &reporter)
{
    GenerateInput in;
    in.project = siteFields(settings);
    stampFromProgram(in);
    if (const std::string warning = mainUriWarning(settings); !warning.empty())
        reporter.log(warning);
    return BuildSite(std::move(in), reporter);
}

} // namespace tl::gen
