// Pictures in the generated site: linked so that they show from the main
// page and from archive pages, listed with the pages for sending, and kept
// in the send queue across a Generate and a restart.
#include "pictures.h"
#include "testsupport.h"

#include "core/programfiles.h"
#include "core/projectsettings.h"
#include "generator/sitebuilder.h"
#include "media/picture.h"
#include "posts/postfile.h"
#include "publish/sendqueue.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tl;
using namespace tl::test;

namespace {

const QString kTemplates = QStringLiteral(TL_TEST_DATA_DIR "/generator/fixture/templates/");

class Silent : public gen::SiteReporter {
public:
    void log(const std::string &) override {}
    void clearUploadList() override {}
    void addToUploadList(const std::string &) override {}
};

TEST(PicturesInTheSite, AreLinkedFromEveryPageAndStayQueuedUntilSent)
{
    QTemporaryDir tmp;
    const QString root = tmp.path() + "/";
    QDir().mkpath(root + "site");
    QDir().mkpath(root + "data");
    ProjectSettings project;
    project.site.mainFolder = root + "site";
    project.site.dataFolder = root + "data";
    project.site.mainTemplate = kTemplates + "template.htm";
    project.site.archiveTemplate = kTemplates + "archtemp.htm";
    project.site.archiveFolder = "archiv";
    project.content.paragraphs = ParagraphMode::Unformatted;

    writeBytes(root + "sea.png", encoded(twoColourImage(1000, 500), "PNG").toStdString());
    const media::InsertedPicture sea =
        media::insertPicture(project, root + "sea.png", 2026, 12, QStringLiteral("Sea"));
    // The tag as inserted, and the forms a writer types by hand.
    const std::string body = sea.html.toStdString()
        + "\r\n<a HREF='media/2026/12/sea-1000.png'>big</a> <IMG Src=media/2026/12/sea-800.png>"
          " <a href=\"https://example.com/media/x.png\">elsewhere</a> text about media/ here";
    writePost((root + "data/1796300700.txt").toStdString(), "By the sea", body); // 2026-12-03

    Silent silent;
    const std::vector<std::string> uploads = gen::BuildSite(project, silent);

    const std::string mainPage = fileBytes(root + "site/index.html");
    EXPECT_NE(mainPage.find(body), std::string::npos);
    const std::string monthPage = fileBytes(root + "site/archiv/2026-12.html");
    EXPECT_NE(monthPage.find("<img src=\"../media/2026/12/sea-800.png\" srcset=\"../media/2026/12/"
                             "sea-800.png 800w, ../media/2026/12/sea-1000.png 1000w\""),
              std::string::npos)
        << monthPage;
    EXPECT_NE(monthPage.find("<a HREF='../media/2026/12/sea-1000.png'>big</a> "
                             "<IMG Src=../media/2026/12/sea-800.png> "
                             "<a href=\"https://example.com/media/x.png\">elsewhere</a> text about "
                             "media/ here"),
              std::string::npos)
        << monthPage;

    // Generation lists the pictures after the pages; "Send whole site" has
    // them too (in name order).
    const std::vector<std::string> expectedTail = {pathBytes(sea.files[1]), pathBytes(sea.files[0])};
    ASSERT_GE(uploads.size(), 2u);
    EXPECT_EQ(std::vector<std::string>(uploads.end() - 2, uploads.end()), expectedTail);
    const QStringList whole = wholeSiteFiles(root + "site/", "archiv/");
    EXPECT_TRUE(whole.contains(QDir::cleanPath(sea.files[0])) && whole.contains(QDir::cleanPath(sea.files[1])))
        << whole.join(' ').toStdString();

    // Inserted: queued and remembered. After a restart and a Generate they
    // are still waiting, since the server has not got them.
    const QString record = root + "blog.sent";
    {
        SendQueue queue;
        queue.load(record, publishPaths(project));
        queue.siteFilesAdded(sea.files);
        EXPECT_EQ(queue.siteFiles(), sea.files);
    }
    SendQueue restarted;
    restarted.load(record, publishPaths(project));
    QStringList generated;
    for (const std::string &u : gen::BuildSite(project, silent))
        generated << pathText(u);
    restarted.siteGenerated(generated);
    for (const QString &f : sea.files)
        EXPECT_TRUE(restarted.siteFiles().contains(f))
            << f.toStdString() << " not in " << restarted.siteFiles().join(' ').toStdString();
}

} // namespace
