// Start-up of the main window in an empty or prepared program folder.
#include "windowfixture.h"

#include "core/openproject.h"
#include "core/programfiles.h"
#include "ui/posts/postscontroller.h"
#include "ui/widgets.h"
#include "buildinfo.h"

#include <QAction>
#include <QApplication>
#include <QPixmap>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QMenu>
#include <QPushButton>
#include <QTabWidget>
#include <QToolBar>
#include <QTreeWidget>
#include <gtest/gtest.h>

using namespace tl;
using tl::test::WindowFixture;
using tl::test::action;
using tl::test::control;
using tl::test::fieldText;

namespace {
void touch(const QString &path, const QByteArray &content = QByteArray())
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
    f.write(content);
}

QStringList listTexts(QListWidget *l)
{
    QStringList out;
    for (int i = 0; i < l->count(); ++i)
        out << l->item(i)->text();
    return out;
}

QStringList comboTexts(QComboBox *c)
{
    QStringList out;
    for (int i = 0; i < c->count(); ++i)
        out << c->itemText(i);
    return out;
}

QStringList menuTexts(QMenu *m)
{
    QStringList out;
    for (QAction *a : m->actions())
        out << (a->isSeparator() ? QStringLiteral("-") : a->text());
    return out;
}
} // namespace

TEST(StartUp, FirstRunCreatesFoldersAndPresetsPathsWithoutOpeningAProject)
{
    WindowFixture fx;
    MainWindow &w = fx.start();
    const QString prog = fx.programFolder();
    EXPECT_TRUE(QDir(prog + "CONF").exists());
    EXPECT_TRUE(QDir(prog + "DATA").exists());
    QString noSlash = prog;
    noSlash.chop(1);
    EXPECT_EQ(fieldText(w, "pathMAIN"), noSlash);
    EXPECT_EQ(fieldText(w, "pathCONF"), prog + "CONF");
    EXPECT_EQ(fieldText(w, "pathDATA"), prog + "DATA");
    EXPECT_FALSE(w.project().isOpen());
    EXPECT_EQ(control<QTreeWidget>(w, "TreeView1")->topLevelItemCount(), 0);
    EXPECT_TRUE(fx.prompts().shown.empty()) << fx.prompts().texts().join("|").toStdString();
}

TEST(StartUp, ExistingSettingsFileLeavesPathsEmptyAndCreatesNothing)
{
    WindowFixture fx;
    touch(fx.programFolder() + "tarvlit.ini", "[TForm1]\r\n");
    MainWindow &w = fx.start();
    EXPECT_FALSE(QDir(fx.programFolder() + "CONF").exists());
    EXPECT_FALSE(QDir(fx.programFolder() + "DATA").exists());
    EXPECT_TRUE(fieldText(w, "pathMAIN").isEmpty());
    EXPECT_TRUE(fieldText(w, "pathDATA").isEmpty());
    EXPECT_FALSE(w.project().isOpen());
    EXPECT_TRUE(fx.prompts().shown.empty());
}

TEST(StartUp, CaptionCarriesTheBuildOfTheProgramFile)
{
    WindowFixture fx;
    MainWindow &w = fx.start();
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Tarvel Lite [build " TL_VERSION_TEXT "]"));
    EXPECT_EQ(FileVersionText(ProgramFilePath()), TL_VERSION_TEXT);
}

TEST(StartUp, VersionTextsOfAFileWithoutVersionInformationAreEmpty)
{
    WindowFixture fx;
    const QString plain = fx.programFolder() + "plain.bin";
    touch(plain, QByteArray("no version here\x01TLVERSION", 25));
    EXPECT_EQ(FileVersionText(plain.toStdString()), "");
    EXPECT_EQ(ProductVersionText(plain.toStdString()), "");
    EXPECT_FALSE(FileDateText(plain.toStdString()).empty());
    EXPECT_EQ(FileVersionText((fx.programFolder() + "missing").toStdString()), "");
}

TEST(StartUp, ProjectFilesAreListedSortedWithExactCaseExtensionRemoval)
{
    WindowFixture fx;
    touch(fx.programFolder() + "tarvlit.ini", "[TForm1]\r\n");
    QDir().mkdir(fx.programFolder() + "conf");
    for (const char *n : {"b.tvp", "a.tvp", "a.tvp.tvp", "A.TVP", "notes.txt"})
        touch(fx.programFolder() + "conf/" + n, "[TForm1]\r\n");
    QDir().mkdir(fx.programFolder() + "conf/folder.tvp");
    MainWindow &w = fx.start();
    const QStringList names = listTexts(control<QListWidget>(w, "lstPROJEKTY"));
    // Sorted without regard to case; "a" and "A.TVP" compare by their letters.
    EXPECT_EQ(names.size(), 4);
    EXPECT_TRUE(names.contains("a"));
    EXPECT_TRUE(names.contains("b"));
    EXPECT_TRUE(names.contains("a.tvp"));
    EXPECT_TRUE(names.contains("A.TVP"));
    EXPECT_LT(names.indexOf("a"), names.indexOf("b"));
    EXPECT_EQ(comboTexts(control<QComboBox>(w, "cmbDEFPROJ")), names);
    EXPECT_FALSE(w.project().isOpen());
}

TEST(StartUp, CommandsMenusAndTabs)
{
    WindowFixture fx;
    MainWindow &w = fx.start();
    auto *tabs = control<QTabWidget>(w, "PageControl1");
    ASSERT_EQ(tabs->count(), 4);
    EXPECT_EQ(tabs->tabText(0), "Blog");
    EXPECT_EQ(tabs->tabText(1), "Options");
    EXPECT_EQ(tabs->tabText(2), "Content");
    EXPECT_EQ(tabs->tabText(3), "Publishing");

    EXPECT_EQ(action(w, "actREAD")->shortcut(), QKeySequence(Qt::Key_F5));
    EXPECT_EQ(action(w, "actNEW")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_N));
    EXPECT_EQ(action(w, "actEDIT")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_O));
    EXPECT_EQ(action(w, "actSAVE")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_S));
    EXPECT_EQ(action(w, "actGENERATE")->shortcut(), QKeySequence(Qt::Key_F9));
    EXPECT_EQ(action(w, "actPREVIEW")->shortcut(), QKeySequence(Qt::Key_F12));
    EXPECT_FALSE(action(w, "actPICTURE")->isEnabled()) << "no post is open";
    EXPECT_FALSE(action(w, "actEDIT")->isEnabled());
    EXPECT_FALSE(action(w, "actSAVE")->isEnabled());
    EXPECT_FALSE(action(w, "actGENERATE")->isEnabled());

    QStringList toolbar;
    for (QAction *a : control<QToolBar>(w, "ToolBar1")->actions())
        toolbar << (a->isSeparator() ? QStringLiteral("-") : a->objectName());
    EXPECT_EQ(toolbar, QStringList({"actREAD", "actREADFROMFTP", "-", "actNEW", "actEDIT",
                                    "actSAVE", "actDEL", "-", "actPICTURE", "-", "actGENERATE",
                                    "-", "actEXIT"}));
    QStringList menus;
    for (QAction *m : w.menuBar()->actions())
        menus << m->menu()->objectName();
    EXPECT_EQ(menus, QStringList({"Blog1", "Tags1", "Help1"}));
    EXPECT_EQ(menuTexts(control<QMenu>(w, "Blog1")),
              QStringList({"&Read", "Read data from FTP", "&Generate", "-", "&New", "&Edit",
                           "&Save", "-", "Insert &picture...", "Pre&view", "-", "&Exit"}));
    // No tag shortcuts stored: the Tags menu holds only its three fixed entries.
    EXPECT_EQ(menuTexts(control<QMenu>(w, "Tags1")), QStringList({"&Setup...", "-", "More"}));
    EXPECT_EQ(menuTexts(control<QMenu>(w, "Help1")), QStringList({"&About..."}));
}

TEST(StartUp, FieldsHaveTheirStartValuesAndObjectNames)
{
    WindowFixture fx;
    MainWindow &w = fx.start();
    struct Expect {
        const char *name;
        const char *text;
    };
    for (const Expect &e : {Expect{"edtMAINURI", "http://"}, Expect{"edtCOUNT", "10"},
                            Expect{"edtMAINHTML", "index.html"}, Expect{"edtRSSFILE", "rss.xml"},
                            Expect{"edtTXTFILE", "text.htm"},
                            Expect{"edtLONGPOSTSEPARATOR", "Continue..."},
                            Expect{"edtAUTHOR", ""}, Expect{"edtPORT", ""},
                            Expect{"edtSITETITLE", "My weblog"}}) {
        QObject *o = w.findChild<QObject *>(e.name);
        ASSERT_NE(o, nullptr) << e.name;
        EXPECT_EQ(o->property("text").toString(), QString::fromLatin1(e.text)) << e.name;
    }
    EXPECT_EQ(control<RadioGroup>(w, "rgPARAGRAPH")->itemIndex(), 0);
    EXPECT_EQ(control<RadioGroup>(w, "rgCHARSET")->itemIndex(), 0);
    EXPECT_EQ(control<PathEdit>(w, "fileTEMPLATE")->filter(), "HTML Templates (*.htm*)|*.htm*");
    EXPECT_EQ(control<PathEdit>(w, "edtRSSTEMPLATE")->filter(), "RSS Templates (*.rss)|*.rss");
    EXPECT_EQ(control<PathEdit>(w, "edtTXTTEMPLATE")->filter(), "TXT Templates (*.txt)|*.txt");
    EXPECT_EQ(control<PathEdit>(w, "fileTEMPLATE")->initialDir(), fieldText(w, "pathCONF"));
    EXPECT_FALSE(control(w, "btnSENDFTP")->isEnabled());
    EXPECT_FALSE(control(w, "Button1")->isEnabled());
    EXPECT_FALSE(control(w, "Button4")->isEnabled());
    EXPECT_EQ(control<QLineEdit>(w, "edtPASSWORD")->echoMode(), QLineEdit::Password);
}

// The tabs with many fields scroll rather than make the window taller.
TEST(StartUp, TheWindowOpensAt580By570)
{
    WindowFixture fx;
    MainWindow &w = fx.start();
    QApplication::processEvents();
    EXPECT_EQ(w.size(), QSize(580, 570));
    EXPECT_LE(w.minimumSizeHint().height(), 570);
}

TEST(Exit, WithAPostOpenCancelKeepsTheWindowAndNoClosesIt)
{
    WindowFixture fx;
    QDir().mkpath(fx.programFolder() + "conf");
    QDir().mkpath(fx.programFolder() + "data");
    touch(fx.programFolder() + "conf/blog.tvp",
          "[TForm1]\r\npathDATA_Text=" + (fx.programFolder() + "data").toUtf8() + "\r\n");
    touch(fx.programFolder() + "tarvlit.ini", "[TForm1]\r\ncmbDEFPROJ_Text=blog\r\n");
    MainWindow &w = fx.start();
    action(w, "actNEW")->trigger();
    ASSERT_TRUE(w.posts().isPostOpen());
    fx.prompts().answers.push_back(Prompts::Answer::Cancel);
    action(w, "actEXIT")->trigger();
    ASSERT_EQ(fx.prompts().shown.size(), 1u);
    EXPECT_EQ(fx.prompts().shown[0].text, "Post is not saved. Save now?");
    EXPECT_EQ(fx.prompts().shown[0].title, "Confirm");
    EXPECT_TRUE(w.isVisible());
    EXPECT_TRUE(w.posts().isPostOpen());

    fx.prompts().answers.push_back(Prompts::Answer::No);
    action(w, "actEXIT")->trigger();
    EXPECT_FALSE(w.isVisible());
}

TEST(Exit, WithoutAPostClosesWithoutAsking)
{
    WindowFixture fx;
    MainWindow &w = fx.start();
    action(w, "actEXIT")->trigger();
    EXPECT_TRUE(fx.prompts().shown.empty());
    EXPECT_FALSE(w.isVisible());
}

TEST(Settings, ClosingWritesTheDefaultProjectAndPlacementWhichTheNextStartRestores)
{
    WindowFixture fx;
    {
        MainWindow &w = fx.start();
        control<ComboBox>(w, "cmbDEFPROJ")->setText("nothing-here");
        fx.stop();
    }
    const std::string ini = tl::test::fileBytes(fx.programFolder() + "tarvlit.ini");
    EXPECT_NE(ini.find("[TForm1]"), std::string::npos);
    EXPECT_NE(ini.find("cmbDEFPROJ_Text=nothing-here"), std::string::npos);
    const size_t flags = ini.find("Flags=");
    const size_t norm = ini.find("NormPos=");
    const size_t vis = ini.find("Visible=");
    EXPECT_NE(flags, std::string::npos);
    EXPECT_LT(flags, norm);
    EXPECT_LT(norm, vis);
    EXPECT_LT(vis, ini.find("cmbDEFPROJ_Text"));

    MainWindow &again = fx.start();
    EXPECT_EQ(control<ComboBox>(again, "cmbDEFPROJ")->text(), "nothing-here");
    // A default project that is not in the list opens nothing and says nothing.
    EXPECT_FALSE(again.project().isOpen());
    EXPECT_TRUE(fx.prompts().shown.empty());
}

TEST(StartUp, FirstRunUsesAConfFolderThatIsAlreadyThereWhateverItsCase)
{
    WindowFixture fx;
    QDir().mkdir(fx.programFolder() + "conf");
    MainWindow &w = fx.start();
    EXPECT_EQ(fieldText(w, "pathCONF"), fx.programFolder() + "conf");
    EXPECT_FALSE(QDir(fx.programFolder() + "CONF").exists()
                 && QDir(fx.programFolder() + "conf").exists()
                 && QDir(fx.programFolder() + "CONF").canonicalPath()
                        != QDir(fx.programFolder() + "conf").canonicalPath());
    EXPECT_TRUE(QDir(fx.programFolder() + "DATA").exists());
}

// With TL_SCREENSHOT_DIR set, saves a picture of every tab there, to look at
// the layout by eye. Without it the test only checks that grabbing works.
TEST(Look, EveryTabCanBeDrawn)
{
    WindowFixture fx;
    MainWindow &w = fx.start();
    w.resize(700, 600);
    const QString dir = qEnvironmentVariable("TL_SCREENSHOT_DIR");
    auto *tabs = control<QTabWidget>(w, "PageControl1");
    for (int i = 0; i < tabs->count(); ++i) {
        tabs->setCurrentIndex(i);
        QApplication::processEvents();
        const QPixmap pix = w.grab();
        EXPECT_FALSE(pix.isNull());
        if (!dir.isEmpty())
            pix.save(dir + "/tab" + QString::number(i) + ".png");
    }
}
