#include "core/errors.h"
#include "generator/generate.h"
#include "generator_support.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <gtest/gtest.h>

using namespace tl;
using namespace tl::gen;
using namespace tl::gentest;

namespace {

int countOf(const std::string &text, const std::string &what)
{
    int n = 0;
    for (std::size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1))
        ++n;
    return n;
}

// Runs a generation expected to fail and returns its message.
std::string failureOf(const GenerateInput &in, RecordingReporter &r)
{
    try {
        GenerateSite(in, r);
    } catch (const AppError &e) {
        return e.what();
    }
    ADD_FAILURE() << "generation did not fail";
    return {};
}

bool hasLoneLineEnd(const std::string &text)
{
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && (i + 1 >= text.size() || text[i + 1] != '\n'))
            return true;
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r'))
            return true;
    }
    return false;
}

bool wellFormedXml(const std::string &bytes, std::string &error)
{
    QXmlStreamReader xml(QByteArray::fromStdString(bytes));
    while (!xml.atEnd())
        xml.readNext();
    error = xml.errorString().toStdString();
    return !xml.hasError();
}

class Generate : public ::testing::Test {
protected:
    QTemporaryDir tmp;
    FixtureProject project{tmp.path().toStdString()};
    RecordingReporter reporter;
    std::string site(const std::string &rel) const { return project.site + "/" + rel; }
    std::vector<std::string> written() const { return filesBelow(project.site); }
};

} // namespace

TEST_F(Generate, MainPageCountIsTheNumberTyped)
{
    struct Case {
        const char *count;
        int shown;
    };
    // Six posts: the number typed, all when there are fewer, none when negative.
    for (const Case &c : {Case{"10", 6}, Case{"3", 3}, Case{"0", 0}, Case{"300", 6},
                          Case{"-1", 0}, Case{"256", 6}, Case{" 2", 2}}) {
        SCOPED_TRACE(c.count);
        project.input.project.postsOnMainPage = c.count;
        GenerateSite(project.input, reporter);
        const std::string main = readBytes(site("index.html"));
        EXPECT_EQ(countOf(main, "class=\"post\""), c.shown);
        EXPECT_EQ(countOf(readBytes(site("rss.xml")), "<item>"), c.shown);
        EXPECT_EQ(countOf(readBytes(site("text.htm")), "<h2>"), c.shown);
        // The archive is complete whatever the count.
        EXPECT_EQ(countOf(readBytes(site("2003-04.html")), "class=\"post\""), 3);
        EXPECT_EQ(countOf(readBytes(site("2003-05.html")), "class=\"post\""), 3);
    }
    // Newest first.
    project.input.project.postsOnMainPage = "2";
    GenerateSite(project.input, reporter);
    const std::string main = readBytes(site("index.html"));
    EXPECT_LT(main.find("id=\"032213\""), main.find("id=\"011205\""));
}

TEST_F(Generate, CountThatIsNotAnIntegerStopsBeforeAnythingIsWritten)
{
    project.input.project.postsOnMainPage = "ten";
    reporter.uploads = {"previous run"};
    EXPECT_EQ(failureOf(project.input, reporter), "'ten' is not a valid integer value");
    EXPECT_TRUE(written().empty());
    EXPECT_EQ(reporter.lines.back(), "Generating archive links...");
    EXPECT_EQ(reporter.uploads, std::vector<std::string>{"previous run"});
}

TEST_F(Generate, EmptyDataFolderWritesPagesWithoutPostsAndNoArchive)
{
    QTemporaryDir other;
    FixtureProject empty(other.path().toStdString(), false);
    GenerateSite(empty.input, reporter);
    EXPECT_EQ(filesBelow(empty.site), (std::vector<std::string>{"index.html", "rss.xml", "text.htm"}));
    EXPECT_EQ(reporter.uploads, (std::vector<std::string>{empty.site + "/index.html",
                                                          empty.site + "/rss.xml",
                                                          empty.site + "/text.htm"}));
    const std::string main = readBytes(empty.site + "/index.html");
    EXPECT_EQ(countOf(main, "<li>"), 0);
    EXPECT_NE(main.find("<!-- %tarvlit_1.0.0.1_"), std::string::npos);
    EXPECT_EQ(reporter.lines.back(), "Completed.");
}

TEST_F(Generate, PostDeletedBeforeItsTurnOnTheMainPage)
{
    QFile::remove(QString::fromStdString(project.data + "/1051790700.txt"));
    EXPECT_EQ(failureOf(project.input, reporter),
              "Cannot open file " + project.data + "/1051790700.txt");
    EXPECT_EQ(reporter.lines.back(), "Generating main page...");
    EXPECT_TRUE(written().empty());
    EXPECT_EQ(reporter.clears, 0);
}

TEST_F(Generate, PostDeletedBeforeItsTurnInTheArchiveKeepsWhatWasWritten)
{
    project.input.project.postsOnMainPage = "1";
    QFile::remove(QString::fromStdString(project.data + "/1049328060.txt"));
    EXPECT_EQ(failureOf(project.input, reporter),
              "Cannot open file " + project.data + "/1049328060.txt");
    EXPECT_EQ(reporter.lines.back(), "Generating archive files...");
    EXPECT_EQ(written(), (std::vector<std::string>{"2003-05.html", "2003-05_032213.html",
                                                   "index.html", "rss.xml", "text.htm"}));
    EXPECT_EQ(reporter.uploads,
              (std::vector<std::string>{site("index.html"), site("rss.xml"), site("text.htm"),
                                        site("2003-05_032213.html"), site("2003-05.html")}));
}

TEST_F(Generate, WithoutRssTemplateNoRssFileAndNoRssUpload)
{
    project.input.project.feedTemplate.clear();
    GenerateSite(project.input, reporter);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(site("rss.xml"))));
    EXPECT_EQ(std::count(reporter.lines.begin(), reporter.lines.end(), "Generating RSS file..."), 0);
    EXPECT_EQ(reporter.uploads[0], site("index.html"));
    EXPECT_EQ(reporter.uploads[1], site("text.htm"));
}

TEST_F(Generate, WithoutTxtTemplateTheMainPageIsStillFinished)
{
    project.input.project.textTemplate.clear();
    project.input.project.feedTemplate.clear();
    GenerateSite(project.input, reporter);
    const std::string main = readBytes(site("index.html"));
    EXPECT_EQ(main.find("<!-- %CONTENT_START% -->"), std::string::npos);
    EXPECT_EQ(main.find("<!-- %CONTENT_END% -->"), std::string::npos);
    EXPECT_EQ(main.find("<!-- ___DOSADIT_OBSAH___ -->"), std::string::npos);
    EXPECT_EQ(main.find("<!-- %DATE% -->"), std::string::npos);
    EXPECT_NE(main.find("</div>\r\n\r\n<!-- %tarvlit_1.0.0.1_8.12.2025 15:00:00% -->\r\n"),
              std::string::npos);
    EXPECT_EQ(std::count(reporter.lines.begin(), reporter.lines.end(), "Generating TXT file..."), 0);
    EXPECT_EQ(reporter.uploads.size(), 1u + 4u);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(site("text.htm"))));
}

TEST_F(Generate, TemplateWithoutBlockMarkerStopsBeforeAnythingIsWritten)
{
    const std::string broken = project.root + "/broken.htm";
    writeBytes(broken, "<html>\r\n<!-- %CONTENT_START% -->\r\n<p>post</p>\r\n</html>\r\n");
    project.input.project.mainTemplate = broken;
    EXPECT_EQ(failureOf(project.input, reporter),
              "Template " + broken + " has no marker <!-- %CONTENT_END% --> after "
                                     "<!-- %CONTENT_START% -->.");
    EXPECT_TRUE(written().empty());

    project.input.project.mainTemplate = fixtureDir() + "templates/template.htm";
    writeBytes(broken, "<html>\r\nx<!-- %CONTENT_START% --><!-- %CONTENT_END% -->\r\n</html>\r\n");
    project.input.project.archiveTemplate = broken;
    EXPECT_EQ(failureOf(project.input, reporter),
              "Template " + broken + " has no marker <!-- %CONTENT_START% -->.");
    EXPECT_TRUE(written().empty());
    EXPECT_EQ(reporter.clears, 0);
}

TEST_F(Generate, MissingTemplateFileStopsWithItsPath)
{
    const std::string missing = project.root + "/none.rss";
    project.input.project.feedTemplate = missing;
    EXPECT_EQ(failureOf(project.input, reporter), "Cannot open file " + missing);
    EXPECT_EQ(reporter.lines.back(), "Generating blog...");
    EXPECT_TRUE(written().empty());
}

// Whatever the template's line ends and whatever page-level placeholders
// stand in its post block, the posts go where the block was, never before
// the head; and every output is written with CR LF line ends.
TEST_F(Generate, PostsTakeTheBlocksPlaceWhateverTheLineEndsAndPlaceholders)
{
    const std::string tmpl = project.root + "/lf.htm";
    for (const char *eol : {"\n", "\r", "\r\n"}) {
        SCOPED_TRACE(static_cast<int>(eol[0]) + static_cast<int>(eol[1]));
        const std::string e = eol;
        writeBytes(tmpl, "<head>" + e + "<!-- %CONTENT_START% -->" + e +
                             "<div><!-- %TITLE% --> <!-- %CHARSET% --> <!-- %ARCHIVE% --></div>" + e +
                             "<!-- %CONTENT_END% -->" + e + "<tail><!-- %CHARSET% -->" + e);
        project.input.project.mainTemplate = tmpl;
        GenerateSite(project.input, reporter);
        const std::string main = readBytes(site("index.html"));
        EXPECT_EQ(main.rfind("<head>\r\n", 0), 0u) << main;
        EXPECT_NE(main.find("<div>Two separators <!-- %CHARSET% --> <!-- %ARCHIVE% --></div>"),
                  std::string::npos);
        EXPECT_LT(main.find("<div>Welcome"), main.find("<tail>windows-1250"));
        EXPECT_FALSE(hasLoneLineEnd(main));
        for (const std::string &rel : written())
            EXPECT_FALSE(hasLoneLineEnd(readBytes(site(rel)))) << rel;
    }
}

TEST_F(Generate, EmptyMainFolderIsRefused)
{
    project.input.project.mainFolder.clear();
    EXPECT_EQ(failureOf(project.input, reporter),
              "Main path is not set.\nPlease fill in the main path on tab OPTIONS.");
    EXPECT_EQ(reporter.lines, std::vector<std::string>{"Generating blog..."});
}

TEST_F(Generate, MissingMainFolderCannotBeWritten)
{
    project.input.project.mainFolder = project.root + "/nosuch";
    EXPECT_EQ(failureOf(project.input, reporter),
              "Cannot create file " + project.root + "/nosuch/index.html");
    EXPECT_EQ(reporter.clears, 0);
}

TEST_F(Generate, MissingArchiveFolderIsCreatedAtAnyDepth)
{
    project.input.project.archiveFolder = "archive/by-month/";
    GenerateSite(project.input, reporter);
    EXPECT_TRUE(QFile::exists(QString::fromStdString(site("archive/by-month/2003-04.html"))));
    EXPECT_TRUE(QFile::exists(QString::fromStdString(site("archive/by-month/2003-04_030001.html"))));
    EXPECT_EQ(reporter.uploads.back(), site("archive/by-month/2003-04.html"));
    EXPECT_NE(readBytes(site("index.html")).find("href=\"archive/by-month/2003-05.html\""),
              std::string::npos);
}

TEST_F(Generate, MainFolderWithOrWithoutTrailingSeparator)
{
    project.input.project.mainFolder = project.site + "/";
    GenerateSite(project.input, reporter);
    EXPECT_EQ(reporter.uploads[0], project.site + "/index.html");
    EXPECT_EQ(reporter.uploads.back(), project.site + "/2003-04.html");
    EXPECT_EQ(mainPagePath(project.input.project), project.site + "/index.html");
}

TEST_F(Generate, UploadListIsRebuiltByEachRun)
{
    GenerateSite(project.input, reporter);
    GenerateSite(project.input, reporter);
    EXPECT_EQ(reporter.clears, 2);
    EXPECT_EQ(reporter.uploads.size(), 3u + 4u);
}

// "Q&A <b>bold</b>" as a title and "&amp;" in a body must not break the feed.
TEST_F(Generate, RssFileIsWellFormedXmlInBothCharsets)
{
    for (int charset : {0, 1}) {
        project.input.project.charset = charset;
        GenerateSite(project.input, reporter);
        std::string error;
        EXPECT_TRUE(wellFormedXml(readBytes(site("rss.xml")), error)) << charset << ": " << error;
    }
}

// The default files of a new project make a complete starter site.
TEST_F(Generate, DefaultConfFilesMakeACompleteSite)
{
    const std::string conf = std::string(TL_SOURCE_DIR) + "/conf/";
    QTemporaryDir other;
    FixtureProject starter(other.path().toStdString(), false);
    writeBytes(starter.data + "/1049328060.txt", readBytes(conf + "1049328060.txt"));
    starter.reread();
    gen::SiteFields &p = starter.input.project;
    p.mainTemplate = conf + "template.htm";
    p.archiveTemplate = conf + "archtemp.htm";
    p.feedTemplate = conf + "template.rss";
    p.textTemplate = conf + "template.txt";
    for (const char *file : {"template.htm", "archtemp.htm", "template.rss", "template.txt",
                             "1049328060.txt"})
        EXPECT_FALSE(hasLoneLineEnd(readBytes(conf + file))) << file;
    for (int charset : {0, 1}) {
        p.charset = charset;
        GenerateSite(starter.input, reporter);
        EXPECT_EQ(filesBelow(starter.site),
                  (std::vector<std::string>{"2003-04.html", "2003-04_030001.html", "index.html",
                                            "rss.xml", "text.htm"}));
        for (const std::string &rel : filesBelow(starter.site)) {
            const std::string page = readBytes(starter.site + "/" + rel);
            EXPECT_EQ(page.find("<!-- %"), page.find("<!-- %tarvlit_")) << rel;
            EXPECT_FALSE(hasLoneLineEnd(page)) << rel;
            if (rel != "rss.xml") {
                EXPECT_EQ(page.rfind("<!DOCTYPE html>\r\n", 0), 0u) << rel;
            }
        }
        std::string error;
        EXPECT_TRUE(wellFormedXml(readBytes(starter.site + "/rss.xml"), error)) << error;
        const std::string month = readBytes(starter.site + "/2003-04.html");
        EXPECT_NE(month.find("id=\"030001\""), std::string::npos);
        EXPECT_NE(month.find("<a href=\"2003-04_030001.html\">Continue...</a>"), std::string::npos);
    }
}
