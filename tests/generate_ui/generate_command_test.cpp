// The Generate command driven through the main window.
#include "windowfixture.h"

#include "core/openproject.h"
#include "core/projectfile.h"
#include "ui/widgets.h"
#include "ui/generator/mainpageopener.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QListWidget>
#include <QPlainTextEdit>
#include <gtest/gtest.h>

using namespace tl;
using tl::test::WindowFixture;
using tl::test::action;
using tl::test::control;
using tl::test::setFieldText;

namespace {

class GenerateCommand : public ::testing::Test {
protected:
    // The project "blog", opened at start-up: its site in "site", its posts
    // in "data", the program's default templates, archive folder "archive/".
    void SetUp() override
    {
        opened.clear();
        setPageOpener([this](const QString &p) {
            opened << p;
            return true;
        });
        root = fx.programFolder();
        QDir().mkpath(root + "site");
        QDir().mkpath(root + "data");
        QDir().mkpath(root + "conf");
        // Three posts over two months (times in seconds since 1970).
        tl::test::writeBytes(root + "data/1700000000.txt", "First post\r\nHello <b>world</b>");
        tl::test::writeBytes(root + "data/1700090000.txt", "Second\r\nLine one\r\nLine two");
        tl::test::writeBytes(root + "data/1702000000.txt", "December\r\nWinter is here");
        const QString conf = QStringLiteral(TL_SOURCE_DIR "/conf/");
        ProjectSettings s;
        s.site.mainFolder = root + "site";
        s.site.dataFolder = root + "data";
        s.site.mainTemplate = conf + "template.htm";
        s.site.archiveTemplate = conf + "archtemp.htm";
        s.site.feedTemplate = conf + "template.rss";
        s.site.textTemplate = conf + "template.txt";
        s.site.archiveFolder = "archive/";
        projectfile::save(root + "conf/blog.tvp", s);
        tl::test::writeBytes(root + "tarvlit.ini", "[TForm1]\r\ncmbDEFPROJ_Text=blog\r\n");
        MainWindow &w = fx.start();
        ASSERT_EQ(w.project().name(), "blog");
        ASSERT_TRUE(fx.prompts().errors().isEmpty()) << fx.prompts().errors().join("|").toStdString();
        fx.prompts().shown.clear();
        control<QPlainTextEdit>(w, "Memo2")->clear();
    }
    void TearDown() override { setPageOpener({}); }

    // The pages queued for the next send (the server has none yet; its
    // posts are queued too).
    QStringList uploadList() { return tl::test::queuedFiles(fx.window()).filter(root + "site/"); }
    QStringList logLines() { return control<QPlainTextEdit>(fx.window(), "Memo2")->toPlainText().split('\n'); }

    WindowFixture fx;
    QString root;
    QStringList opened;
};

TEST_F(GenerateCommand, WritesTheSiteLogsEveryStepAndOpensTheMainPageOnYes)
{
    MainWindow &w = fx.window();
    ASSERT_TRUE(action(w, "actGENERATE")->isEnabled());
    fx.prompts().answers.push_back(Prompts::Answer::Yes);
    action(w, "actGENERATE")->trigger();

    ASSERT_TRUE(fx.prompts().errors().isEmpty()) << fx.prompts().errors().join("|").toStdString();
    // The fixture's project keeps the start value "http://" as its Main URI.
    EXPECT_EQ(logLines(),
              QStringList({"Warning: the Main URI \"http://\" names no host; the feed's links will "
                           "lead nowhere. Set it on the Options tab, for example "
                           "http://blog.example.com/.",
                           "Read from list...", "Completed.", "Generating blog...",
                           "Reading from template...", "Generating archive links...",
                           "Generating main page...", "Generating RSS file...",
                           "Generating TXT file...", "Generating archive files...",
                           "Completed."}));
    const QStringList up = uploadList();
    ASSERT_GE(up.size(), 5);
    EXPECT_EQ(up[0], root + "site/index.html");
    EXPECT_EQ(up[1], root + "site/rss.xml");
    EXPECT_EQ(up[2], root + "site/text.htm");
    for (const QString &p : up)
        EXPECT_TRUE(QFileInfo::exists(p)) << p.toStdString();
    // Two month pages in the archive folder.
    EXPECT_EQ(QDir(root + "site/archive").entryList(QDir::Files).size(), up.size() - 3);

    const std::string page = tl::test::fileBytes(root + "site/index.html");
    EXPECT_NE(page.find("Winter is here"), std::string::npos);
    EXPECT_LT(page.find("December"), page.find("First post")); // newest first
    // The site title of the Content tab heads the pages and titles the feed.
    EXPECT_NE(page.find("<title>My weblog</title>"), std::string::npos);
    EXPECT_NE(tl::test::fileBytes(root + "site/rss.xml").find("<title>My weblog</title>"),
              std::string::npos);

    ASSERT_EQ(fx.prompts().shown.size(), 1u);
    EXPECT_EQ(fx.prompts().shown[0].title, "Confirm");
    EXPECT_EQ(fx.prompts().shown[0].text, "Completed.\nDo you want see the main page?");
    EXPECT_EQ(opened, QStringList({root + "site/index.html"}));
}

TEST_F(GenerateCommand, WithoutRssAndTxtTemplatesTheirPathsAreNotQueuedAndNoOpensNothing)
{
    MainWindow &w = fx.window();
    setFieldText(w, "edtSITETITLE", QStringLiteral("Můj blog"));
    setFieldText(w, "edtRSSTEMPLATE", "");
    setFieldText(w, "edtTXTTEMPLATE", "");
    fx.prompts().answers.push_back(Prompts::Answer::No);
    action(w, "actGENERATE")->trigger();
    ASSERT_TRUE(fx.prompts().errors().isEmpty()) << fx.prompts().errors().join("|").toStdString();
    const QStringList up = uploadList();
    ASSERT_FALSE(up.isEmpty());
    EXPECT_EQ(up[0], root + "site/index.html");
    EXPECT_FALSE(up.contains(root + "site/rss.xml"));
    EXPECT_FALSE(up.contains(root + "site/text.htm"));
    EXPECT_FALSE(QFileInfo::exists(root + "site/rss.xml"));
    EXPECT_FALSE(logLines().contains("Generating RSS file..."));
    EXPECT_TRUE(opened.isEmpty());
    // The main page is finished all the same: no block markers left.
    const std::string page = tl::test::fileBytes(root + "site/index.html");
    EXPECT_EQ(page.find("<!-- %CONTENT_START% -->"), std::string::npos);
    EXPECT_EQ(page.find("<!-- ___DOSADIT_OBSAH___ -->"), std::string::npos);
    EXPECT_NE(page.find("<title>M\xF9j blog</title>"), std::string::npos); // windows-1250
}

TEST_F(GenerateCommand, ACountThatIsNotANumberStopsBeforeWritingAndKeepsTheOldUploadList)
{
    MainWindow &w = fx.window();
    fx.prompts().answers.push_back(Prompts::Answer::No);
    action(w, "actGENERATE")->trigger();
    const QStringList queued = uploadList();
    ASSERT_GE(queued.size(), 5);
    QFile::remove(root + "site/index.html");
    control<QPlainTextEdit>(w, "Memo2")->clear();

    setFieldText(w, "edtCOUNT", "ten");
    action(w, "actGENERATE")->trigger();
    EXPECT_EQ(fx.prompts().errors(), QStringList({"'ten' is not a valid integer value"}));
    EXPECT_EQ(uploadList(), queued);
    EXPECT_FALSE(QFileInfo::exists(root + "site/index.html"));
    EXPECT_EQ(logLines().last(), "Generating archive links...");
    EXPECT_TRUE(opened.isEmpty());
}

TEST_F(GenerateCommand, APostRemovedSinceTheLastReadIsLeftOutBecauseGenerateReadsAgain)
{
    MainWindow &w = fx.window();
    QFile::remove(root + "data/1700090000.txt");
    fx.prompts().answers.push_back(Prompts::Answer::No);
    action(w, "actGENERATE")->trigger();
    ASSERT_TRUE(fx.prompts().errors().isEmpty()) << fx.prompts().errors().join("|").toStdString();
    EXPECT_EQ(tl::test::fileBytes(root + "site/index.html").find("Line one"), std::string::npos);
}

TEST_F(GenerateCommand, WithoutAProjectNothingRuns)
{
    MainWindow &w = fx.window();
    w.project().close();
    action(w, "actGENERATE")->trigger();
    ASSERT_EQ(fx.prompts().shown.size(), 1u);
    EXPECT_EQ(fx.prompts().shown[0].text, "Project was not selected.\nPlease select project on tab OPTIONS.");
    EXPECT_TRUE(uploadList().isEmpty());
    EXPECT_TRUE(control<QPlainTextEdit>(w, "Memo2")->toPlainText().isEmpty());
}

} // namespace
