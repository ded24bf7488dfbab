// The project file: the bytes the window writes for known field values, and
// the window-less project type reading and writing that same file.
#include "projectsfixture.h"

#include "core/errors.h"
#include "core/projectfile.h"

#include <QCheckBox>
#include <QTemporaryDir>

using namespace tl;
using namespace tl::test;

namespace {

const QString kGolden = QStringLiteral(TL_TEST_DATA_DIR "/projects/golden.tvp");

class ProjectFile : public ProjectsFixture {};

// Field values that exercise every encoding: trimmed blanks, a quoted text,
// windows-1250 letters, an empty text, integers, a Boolean. (The accepted
// certificate has no field: it comes from the project file.)
void fillFields(MainWindow &w)
{
    setFieldText(w, "pathMAIN", "/home/jana/blog");
    setFieldText(w, "pathCONF", "/home/jana/blog/CONF");
    setFieldText(w, "pathDATA", "/home/jana/blog/DATA");
    setFieldText(w, "edtFTPADDRESS", "ftp.example.cz");
    setFieldText(w, "edtUSER", "jana");
    setFieldText(w, "edtFIREWALL", "");
    setFieldText(w, "edtPORT", "2121");
    setFieldText(w, "rPATHMAIN", "/www/");
    control<QCheckBox>(w, "chkPROXY")->setChecked(true);
    setFieldText(w, "edtNOTE", "  two  words  ");
    setFieldText(w, "rDATAPATH", "/data/");
    setFieldText(w, "edtMAINURI", "http://blog.example.cz/");
    setFieldText(w, "edtCOUNT", "7");
    setFieldText(w, "fileTEMPLATE", "/home/jana/blog/CONF/template.htm");
    setFieldText(w, "archiveTEMPLATE", "/home/jana/blog/CONF/archtemp.htm");
    setFieldText(w, "edtMAINHTML", "index.html");
    setFieldText(w, "edtRSSTEMPLATE", "/home/jana/blog/CONF/template.rss");
    setFieldText(w, "edtRSSFILE", "rss.xml");
    setFieldText(w, "edtTXTTEMPLATE", "");
    setFieldText(w, "edtTXTFILE", "text.htm");
    setFieldText(w, "edtAUTHOR", QString::fromUtf8("Jana Dvořáková"));
    setFieldText(w, "edtEMAIL", "'jana@example.cz'");
    setFieldText(w, "edtLONGPOSTSEPARATOR", QString::fromUtf8("Číst dál…"));
    control<RadioGroup>(w, "rgPARAGRAPH")->setItemIndex(2);
    control<RadioGroup>(w, "rgCHARSET")->setItemIndex(1);
    setFieldText(w, "dirPATHARCHIVES", "archiv/");
    control<QCheckBox>(w, "chkPASSIVE")->setChecked(false);
    control<QCheckBox>(w, "chkFTPS")->setChecked(true);
    setFieldText(w, "edtSITETITLE", QString::fromUtf8("Deník Jany"));
}

TEST_F(ProjectFile, TheWindowWritesTheCheckedBytesAndTheProjectTypeReadsThemBack)
{
    writeProject("golden", {{"edtFINGERPRINT_Text", "AB:CD:EF"}});
    start();
    clickEntry("golden");
    QFile::remove(projectFile("golden"));
    fillFields(w());
    w().setGeometry(40, 50, 1000, 760);
    QTest::mouseClick(control(w(), "btnSAVETVP"), Qt::LeftButton);
    ASSERT_TRUE(prompts().errors().isEmpty());

    const std::string written = fileBytes(projectFile("golden"));
    EXPECT_EQ(written, fileBytes(kGolden));

    // The project type sees what the window reads back from the file...
    const ProjectSettings loaded = projectfile::load(projectFile("golden"));
    clickEntry("golden");
    EXPECT_TRUE(loaded == w().project().settings());
    EXPECT_EQ(loaded.server.note, "two  words");
    EXPECT_EQ(loaded.content.author, QString::fromUtf8("Jana Dvořáková"));
    EXPECT_EQ(loaded.content.paragraphs, ParagraphMode::Unformatted);
    EXPECT_TRUE(loaded.server.useProxy);

    // ...and writing it back changes no byte, placement keys included.
    projectfile::save(projectFile("golden"), loaded);
    EXPECT_EQ(fileBytes(projectFile("golden")), written);
}

TEST_F(ProjectFile, TheTypeKeepsMissingFieldsAndClampsChoicesAsTheWindowDoes)
{
    QTemporaryDir tmp;
    const QString path = tmp.path() + "/p.tvp";
    writeBytes(path, "[TForm1]\r\nedtAUTHOR_Text=\"'x'\"\r\nrgPARAGRAPH_ItemIndex=7\r\n"
                     "rgCHARSET_ItemIndex=-5\r\nchkPROXY_Checked=1\r\nedtCOUNT_Text=\r\n");
    const ProjectSettings p = projectfile::load(path);
    EXPECT_EQ(p.content.author, "'x'");
    EXPECT_EQ(p.content.paragraphs, ParagraphMode::Unformatted);
    EXPECT_EQ(p.content.charset, OutputCharset::None);
    EXPECT_FALSE(p.server.useProxy) << "1 is no Boolean: the start value stays";
    EXPECT_EQ(p.site.postsOnMainPage, "");
    EXPECT_EQ(p.site.mainUri, "http://") << "a missing key keeps the start value";

    // A missing key keeps what the project loaded before had; a field added
    // later takes its start value instead.
    ProjectSettings before;
    before.site.mainUri = "http://before.example/";
    before.server.sftp = true;
    const ProjectSettings over = projectfile::load(path, before);
    EXPECT_EQ(over.site.mainUri, "http://before.example/");
    EXPECT_FALSE(over.server.sftp);

    // The window reads the same file to the same values.
    writeBytes(projectFile("blog"), fileBytes(path));
    start();
    clickEntry("blog");
    const ProjectSettings shown = w().project().settings();
    EXPECT_EQ(shown.content, p.content);
    EXPECT_EQ(shown.site.postsOnMainPage, p.site.postsOnMainPage);
    EXPECT_EQ(shown.server.useProxy, p.server.useProxy);

    EXPECT_THROW(projectfile::load(tmp.path() + "/missing.tvp"), AppError);
}

} // namespace
