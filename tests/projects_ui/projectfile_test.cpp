// The project file: the bytes the window writes for known field values, and
// the window-less project type reading and writing that same file.
#include "projectsfixture.h"

#include "app/core/errors.h"
#include "app/core/project.h"

#include <QCheckBox>
#include <QTemporaryDir>

using namespace tl;
using namespace tl::test;

namespace {

const QString kGolden = QStringLiteral(TL_TEST_DATA_DIR "/projects/golden.tvp");

class ProjectFile : public ProjectsFixture {};

// Field values that exercise every encoding: trimmed blanks, a quoted text,
// windows-1250 letters, an empty text, integers, a Boolean.
void fillFields(MainWindow &w)
{
    w.pathMAIN->setText("/home/jana/blog");
    w.pathCONF->setText("/home/jana/blog/CONF");
    w.pathDATA->setText("/home/jana/blog/DATA");
    w.edtFTPADDRESS->setText("ftp.example.cz");
    w.edtUSER->setText("jana");
    w.edtFIREWALL->setText("");
    w.edtPORT->setText("2121");
    w.rPATHMAIN->setText("/www/");
    w.chkPROXY->setChecked(true);
    w.edtNOTE->setText("  two  words  ");
    w.rDATAPATH->setText("/data/");
    w.edtMAINURI->setText("http://blog.example.cz/");
    w.edtCOUNT->setText("7");
    w.fileTEMPLATE->setText("/home/jana/blog/CONF/template.htm");
    w.archiveTEMPLATE->setText("/home/jana/blog/CONF/archtemp.htm");
    w.edtMAINHTML->setText("index.html");
    w.edtRSSTEMPLATE->setText("/home/jana/blog/CONF/template.rss");
    w.edtRSSFILE->setText("rss.xml");
    w.edtTXTTEMPLATE->setText("");
    w.edtTXTFILE->setText("text.htm");
    w.edtAUTHOR->setText(QString::fromUtf8("Jana Dvořáková"));
    w.edtEMAIL->setText("'jana@example.cz'");
    w.edtLONGPOSTSEPARATOR->setText(QString::fromUtf8("Číst dál…"));
    w.rgPARAGRAPH->setItemIndex(2);
    w.rgCHARSET->setItemIndex(1);
    w.dirPATHARCHIVES->setText("archiv/");
    w.chkPASSIVE->setChecked(false);
    w.chkFTPS->setChecked(true);
    w.edtFINGERPRINT->setText("AB:CD:EF");
    w.edtSITETITLE->setText(QString::fromUtf8("Deník Jany"));
}

TEST_F(ProjectFile, TheWindowWritesTheCheckedBytesAndTheProjectTypeReadsThemBack)
{
    writeProject("golden");
    start();
    clickEntry("golden");
    QFile::remove(projectFile("golden"));
    fillFields(w());
    w().setGeometry(40, 50, 1000, 760);
    QTest::mouseClick(w().btnSAVETVP, Qt::LeftButton);
    ASSERT_TRUE(prompts().errors().isEmpty());

    const std::string written = fileBytes(projectFile("golden"));
    EXPECT_EQ(written, fileBytes(kGolden));

    // The project type sees what the window reads back from the file...
    const Project loaded = Project::load(projectFile("golden"));
    clickEntry("golden");
    EXPECT_TRUE(loaded == w().projectFromFields());
    EXPECT_EQ(loaded.text("edtNOTE"), "two  words");
    EXPECT_EQ(loaded.text("edtAUTHOR"), QString::fromUtf8("Jana Dvořáková"));
    EXPECT_EQ(loaded.integer("rgPARAGRAPH"), 2);
    EXPECT_TRUE(loaded.checked("chkPROXY"));

    // ...and writing it back changes no byte, placement keys included.
    loaded.save(projectFile("golden"));
    EXPECT_EQ(fileBytes(projectFile("golden")), written);
}

TEST_F(ProjectFile, TheTypeKeepsMissingFieldsAndClampsChoicesAsTheWindowDoes)
{
    QTemporaryDir tmp;
    const QString path = tmp.path() + "/p.tvp";
    writeBytes(path, "[TForm1]\r\nedtAUTHOR_Text=\"'x'\"\r\nrgPARAGRAPH_ItemIndex=7\r\n"
                     "rgCHARSET_ItemIndex=-5\r\nchkPROXY_Checked=1\r\nedtCOUNT_Text=\r\n");
    const Project p = Project::load(path);
    EXPECT_EQ(p.text("edtAUTHOR"), "'x'");
    EXPECT_EQ(p.integer("rgPARAGRAPH"), 2);
    EXPECT_EQ(p.integer("rgCHARSET"), -1);
    EXPECT_FALSE(p.checked("chkPROXY")) << "1 is no Boolean: the start value stays";
    EXPECT_EQ(p.text("edtCOUNT"), "");
    EXPECT_EQ(p.text("edtMAINURI"), "http://") << "a missing key keeps the start value";

    // The window reads the same file to the same values.
    writeBytes(projectFile("blog"), fileBytes(path));
    start();
    clickEntry("blog");
    const Project shown = w().projectFromFields();
    for (const char *field : {"edtAUTHOR", "rgPARAGRAPH", "rgCHARSET", "chkPROXY", "edtCOUNT"})
        EXPECT_EQ(shown.text(field), p.text(field)) << field;

    EXPECT_THROW(Project::load(tmp.path() + "/missing.tvp"), AppError);
}

} // namespace
