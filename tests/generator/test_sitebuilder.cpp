// Read then generate, as the Generate command and the command line run it.
#include "app/core/errors.h"
#include "generator/sitebuilder.h"
#include "generator_support.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tl;
using namespace tl::gen;
using namespace tl::gentest;

namespace {

class Recording : public SiteReporter {
public:
    void log(const std::string &line) override { lines.push_back(line); }
    void clearUploadList() override { uploads.clear(); }
    void addToUploadList(const std::string &path) override { uploads.push_back(path); }
    void postsRead(const PostFolder &f) override { folders.push_back(f); }
    std::vector<std::string> lines, uploads;
    std::vector<PostFolder> folders;
};

TEST(BuildSite, ReadsTheDataFolderItselfAndReturnsTheUploadList)
{
    QTemporaryDir tmp;
    FixtureProject project(tmp.path().toStdString());
    GenerateInput in = project.input;
    in.postList.clear();
    in.monthList.clear();
    in.treeOrder.clear();
    Recording r;
    const std::vector<std::string> uploads = BuildSite(in, r);

    EXPECT_EQ(uploads, r.uploads);
    EXPECT_EQ(uploads.size(), 7u);
    ASSERT_EQ(r.folders.size(), 1u);
    EXPECT_EQ(r.folders[0].fileCount, 6u);
    EXPECT_EQ(treeOrder(r.folders[0].walk), project.input.treeOrder);
    ASSERT_GE(r.lines.size(), 3u);
    EXPECT_EQ(r.lines[0], "Read from list...");
    EXPECT_EQ(r.lines[1], "Completed.");
    EXPECT_EQ(r.lines[2], "Generating blog...");
}

TEST(BuildSite, ANameThatIsNoPostStopsAfterReadWasReported)
{
    QTemporaryDir tmp;
    FixtureProject project(tmp.path().toStdString());
    writeBytes(project.data + "/notes.txt", "x");
    Recording r;
    try {
        BuildSite(project.input, r);
        ADD_FAILURE() << "the run did not stop";
    } catch (const AppError &e) {
        EXPECT_NE(std::string(e.what()).find("notes"), std::string::npos) << e.what();
    }
    ASSERT_EQ(r.folders.size(), 1u);
    EXPECT_FALSE(r.folders[0].walk.failure.empty());
    EXPECT_TRUE(filesBelow(project.site).empty());
}

} // namespace
