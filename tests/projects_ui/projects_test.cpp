#include "projectsfixture.h"

#include "core/projects.h"
#include "ui/widgets.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QGroupBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QSplitter>
#include <QTemporaryDir>

using namespace tl;
using namespace tl::test;

// ---------------------------------------------------------------------------
// Names and folders (no window)

TEST(ProjectNames, BlanksAndDotsBecomeUnderscores)
{
    EXPECT_EQ(projectNameFromTyped("my new.blog"), "my_new_blog");
    EXPECT_EQ(projectNameFromTyped(" a..b "), "_a__b_");
    EXPECT_EQ(projectNameFromTyped("Blog-2"), "Blog-2");
}

TEST(ProjectNames, UnusableNamesAreRefusedOthersAccepted)
{
    for (const char *bad : {"", "_", "___", "a/b", "/", "__/__"})
        EXPECT_FALSE(projectNameProblem(QString::fromUtf8(bad)).isEmpty()) << bad;
    for (const char *good : {"a", "_a_", "my_new_blog", "blog\\x", "\xc5\xa1nek"})
        EXPECT_TRUE(projectNameProblem(QString::fromUtf8(good)).isEmpty()) << good;
}

TEST(ProjectNames, SortedPlaceIgnoresCaseAndGoesAfterEqualNames)
{
    const QStringList list{"alpha", "Beta", "gamma"};
    EXPECT_EQ(sortedInsertPosition(list, "beta"), 2);
    EXPECT_EQ(sortedInsertPosition(list, "ALPHA"), 1);
    EXPECT_EQ(sortedInsertPosition(list, "A"), 0);
    EXPECT_EQ(sortedInsertPosition(list, "Zeta"), 3);
    EXPECT_EQ(sortedInsertPosition({}, "x"), 0);
}

TEST(ProjectList, ListsTvpFilesOnlyAndRemovesTheLowerCaseExtension)
{
    QTemporaryDir dir;
    const QString d = dir.path() + "/";
    for (const char *f : {"b.tvp", "A.tvp", "c.TVP", "x.tvp.tvp", ".hidden.tvp", "notes.txt", "tvp"})
        writeBytes(d + f, "[TForm1]\r\n");
    QDir().mkdir(d + "folder.tvp");
    QStringList names = projectNamesIn(dir.path());
    names.sort();
    EXPECT_EQ(names, (QStringList{"A", "b", "c.TVP", "x.tvp"}));
}

TEST(ProjectFolders, EmptyMainPathCreatesNothingInTheCurrentFolder)
{
    QTemporaryDir cwd;
    const QString old = QDir::currentPath();
    QDir::setCurrent(cwd.path());
    const NewProjectFolders f = createProjectFolders(QString(), cwd.path());
    QDir::setCurrent(old);
    EXPECT_EQ(f.confFolder, "CONF");
    EXPECT_EQ(f.dataFolder, "DATA");
    EXPECT_FALSE(f.confCreated || f.dataCreated);
    EXPECT_TRUE(QDir(cwd.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).isEmpty());
}

// ---------------------------------------------------------------------------
// The project list at start-up

using ProjectListWindow = ProjectsFixture;

TEST_F(ProjectListWindow, StartsSortedWithoutRegardToCaseAndFillsTheDefaultChoices)
{
    for (const char *n : {"zeta", "Alpha", "beta"})
        writeProject(n);
    writeBytes(conf() + "/.secret.tvp", "");
    QDir().mkdir(conf() + "/dir.tvp");
    start();
    EXPECT_EQ(listEntries(), (QStringList{"Alpha", "beta", "zeta"}));
    EXPECT_EQ(defaultChoices(), listEntries());
    EXPECT_EQ(highlighted(), -1);
    EXPECT_TRUE(w().project().name().isEmpty());
    EXPECT_TRUE(prompts().shown.empty());
}

// ---------------------------------------------------------------------------
// Add project

using AddProject = ProjectsFixture;

TEST_F(AddProject, NameWithBlanksAndDotsGivesEntryFileAndDefaultChoice)
{
    writeProject("other");
    start();
    QDir().mkdir(folder() + "site");
    const auto run = addProject("my new.blog", folder() + "site");
    ASSERT_TRUE(run.finishedByCreate);

    EXPECT_EQ(listEntries(), (QStringList{"my_new_blog", "other"}));
    EXPECT_EQ(highlighted(), 0);
    EXPECT_TRUE(defaultChoices().contains("my_new_blog"));
    EXPECT_TRUE(QFileInfo::exists(projectFile("my_new_blog")));
    EXPECT_EQ(iniValue(projectFile("my_new_blog"), "pathMAIN_Text"),
              (folder() + "site").toStdString());
    // The project made is the one open.
    EXPECT_EQ(w().project().name(), "my_new_blog");
    EXPECT_EQ(control<QGroupBox>(w(), "gbCONTENT")->title(), "my_new_blog");
    EXPECT_TRUE(control<QPushButton>(w(), "Button1")->isEnabled());
    EXPECT_TRUE(prompts().shown.empty()) << prompts().texts().join("|").toStdString();
}

TEST_F(AddProject, MainPathWithOrWithoutTrailingSlashGivesTheSameFolders)
{
    start();
    const QString site = folder() + "site";
    int n = 0;
    for (const QString &typed : {site, site + "/"}) {
        SCOPED_TRACE(typed.toStdString());
        QDir(site).removeRecursively();
        QDir().mkdir(site);
        const QString name = "p" + QString::number(++n);
        ASSERT_TRUE(addProject(name, typed).finishedByCreate);
        EXPECT_EQ(field("pathMAIN"), typed); // kept exactly as typed
        EXPECT_EQ(field("pathCONF"), site + "/CONF");
        EXPECT_EQ(field("pathDATA"), site + "/DATA");
        EXPECT_EQ(field("fileTEMPLATE"), site + "/CONF/template.htm");
        EXPECT_EQ(field("archiveTEMPLATE"), site + "/CONF/archtemp.htm");
        EXPECT_EQ(field("edtRSSTEMPLATE"), site + "/CONF/template.rss");
        EXPECT_EQ(field("edtTXTTEMPLATE"), site + "/CONF/template.txt");
        EXPECT_EQ(iniValue(projectFile(name), "pathCONF_Text"), (site + "/CONF").toStdString());
    }
}

TEST_F(AddProject, NewFoldersGetTheDefaultFiles)
{
    start();
    const QString site = folder() + "site";
    QDir().mkdir(site);
    ASSERT_TRUE(addProject("p", site).finishedByCreate);
    for (const QString &f : defaultTemplateFiles())
        EXPECT_EQ(fileBytes(site + "/CONF/" + f), fileBytes(conf() + "/" + f)) << f.toStdString();
    EXPECT_EQ(fileBytes(site + "/DATA/1049328060.txt"), fileBytes(conf() + "/1049328060.txt"));
    EXPECT_FALSE(fileBytes(site + "/DATA/1049328060.txt").empty());
}

TEST_F(AddProject, ExistingConfFolderGetsNoTemplatesButTheFieldsPointAtIt)
{
    start();
    const QString site = folder() + "site";
    QDir().mkpath(site + "/conf");                 // another letter case: the same folder
    writeBytes(site + "/conf/template.htm", "mine");
    ASSERT_TRUE(addProject("p", site).finishedByCreate);
    EXPECT_EQ(fileBytes(site + "/conf/template.htm"), "mine");
    EXPECT_FALSE(QFileInfo::exists(site + "/conf/archtemp.htm"));
    EXPECT_FALSE(QFileInfo::exists(site + "/CONF"));
    EXPECT_EQ(field("pathCONF"), site + "/conf");
    EXPECT_EQ(field("fileTEMPLATE"), site + "/conf/template.htm");
    // The data folder was new, so it got the sample post.
    EXPECT_TRUE(QFileInfo::exists(site + "/DATA/1049328060.txt"));
}

// A main folder that does not exist is made, every missing level, when the
// writer says Yes, and the project refused with a message on No; the project
// file is written only once its folders, templates and sample post are in
// place.
TEST_F(AddProject, AMissingMainFolderIsMadeOrRefusedAndNeverHalfMade)
{
    start();
    const QString site = folder() + "new/deep/site";
    prompts().answers = {Prompts::Answer::No};
    ASSERT_TRUE(addProject("p", site).finishedByCreate);
    ASSERT_EQ(prompts().texts(),
              QStringList({"The folder " + site + " does not exist. Create it?",
                           "The project was not created: its main folder " + site
                               + " does not exist."}));
    EXPECT_FALSE(QFileInfo::exists(projectFile("p")));
    EXPECT_FALSE(QFileInfo::exists(folder() + "new"));
    EXPECT_TRUE(listEntries().isEmpty());

    // Where the configuration folder should be, a file stands: no project.
    QDir().mkdir(folder() + "blocked");
    writeBytes(folder() + "blocked/CONF", "not a folder");
    prompts().shown.clear();
    addProject("q", folder() + "blocked");
    EXPECT_EQ(prompts().errors(), QStringList({"Cannot create folder " + folder() + "blocked/CONF"}));
    EXPECT_FALSE(QFileInfo::exists(projectFile("q")));
    EXPECT_TRUE(listEntries().isEmpty());

    // Yes: the whole project, its name keeping the writer's letters.
    prompts().shown.clear();
    prompts().answers = {Prompts::Answer::Yes};
    ASSERT_TRUE(addProject(QString::fromUtf8("M\xc5\xafj blog"), site).finishedByCreate);
    const QString name = QString::fromUtf8("M\xc5\xafj_blog");
    EXPECT_EQ(listEntries(), QStringList({name}));
    EXPECT_TRUE(prompts().errors().isEmpty()) << prompts().texts().join("|").toStdString();
    for (const QString &f : defaultTemplateFiles())
        EXPECT_TRUE(QFileInfo::exists(site + "/CONF/" + f)) << f.toStdString();
    EXPECT_TRUE(QFileInfo::exists(site + "/DATA/1049328060.txt"));
    EXPECT_EQ(iniValue(projectFile(name), "pathDATA_Text"), (site + "/DATA").toStdString());
    EXPECT_EQ(w().project().name(), name);
    EXPECT_EQ(control<QTreeWidget>(w(), "TreeView1")->topLevelItemCount(), 1);
}

TEST_F(AddProject, InheritsTheSettingsOfTheLoadedProject)
{
    writeProject("base", {{"edtAUTHOR_Text", "Jana"},
                          {"edtFTPADDRESS_Text", "ftp.example.test"},
                          {"edtMAINURI_Text", "http://blog.test/"},
                          {"rgCHARSET_ItemIndex", "1"},
                          {"chkPROXY_Checked", "True"}});
    start();
    clickEntry("base");
    ASSERT_EQ(w().project().name(), "base");
    // A change not saved yet: asked about first; saved, it is inherited too.
    setField("edtEMAIL", "typed@first");
    prompts().answers.push_back(Prompts::Answer::Yes);
    QDir().mkdir(folder() + "site");
    ASSERT_TRUE(addProject("child", folder() + "site").finishedByCreate);
    ASSERT_EQ(prompts().shown.size(), 1u);
    EXPECT_EQ(prompts().shown[0].kind, "save");

    const QString f = projectFile("child");
    EXPECT_EQ(iniValue(f, "edtAUTHOR_Text"), "Jana");
    EXPECT_EQ(iniValue(f, "edtFTPADDRESS_Text"), "ftp.example.test");
    EXPECT_EQ(iniValue(f, "edtMAINURI_Text"), "http://blog.test/");
    EXPECT_EQ(iniValue(f, "rgCHARSET_ItemIndex"), "1");
    EXPECT_EQ(iniValue(f, "chkPROXY_Checked"), "True");
    EXPECT_EQ(iniValue(f, "edtEMAIL_Text"), "typed@first");
    EXPECT_EQ(iniValue(projectFile("base"), "edtEMAIL_Text"), "typed@first");
    // The new project is the one open.
    EXPECT_EQ(w().project().name(), "child");
    EXPECT_EQ(highlighted(), listEntries().indexOf("child"));
}

TEST_F(AddProject, UnusableNamesAreRefusedInTheDialogAndNothingIsCreated)
{
    writeProject("keep");
    start();
    const QString site = folder() + "site";
    QDir().mkdir(site);
    for (const char *typed : {"", "   ", "...", " . _", "a/b", "../up"}) {
        SCOPED_TRACE(typed);
        prompts().shown.clear();
        const auto run = addProject(QString::fromUtf8(typed), site);
        EXPECT_TRUE(run.stayedOpen);
        ASSERT_EQ(prompts().shown.size(), 1u);
        EXPECT_EQ(prompts().shown[0].kind, "message");
        EXPECT_EQ(listEntries(), QStringList{"keep"});
        EXPECT_EQ(QDir(conf()).entryList({"*.tvp"}, QDir::Files | QDir::Hidden),
                  QStringList{"keep.tvp"});
        EXPECT_TRUE(QDir(site).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).isEmpty());
    }
}

TEST_F(AddProject, ExistingNameAsksAndNoLeavesTheFileUntouched)
{
    writeProject("blog", {{"edtAUTHOR_Text", "Old"}, {"custom", "kept"}});
    start();
    const std::string before = fileBytes(projectFile("blog"));
    prompts().answers.push_back(Prompts::Answer::No);
    const auto run = addProject("blog", folder() + "site");
    EXPECT_TRUE(run.stayedOpen);
    ASSERT_EQ(prompts().shown.size(), 1u);
    EXPECT_EQ(prompts().shown[0].kind, "question");
    EXPECT_TRUE(prompts().shown[0].text.contains("blog"));
    EXPECT_EQ(fileBytes(projectFile("blog")), before);
    EXPECT_EQ(listEntries(), QStringList{"blog"});
}

TEST_F(AddProject, ExistingNameConfirmedIsUpdatedKeyByKey)
{
    writeProject("blog", {{"edtAUTHOR_Text", "Old"}, {"custom", "kept"}});
    start();
    setField("edtAUTHOR", "New");
    prompts().answers.push_back(Prompts::Answer::Yes);
    ASSERT_TRUE(addProject("blog", folder()).finishedByCreate);
    EXPECT_EQ(iniValue(projectFile("blog"), "edtAUTHOR_Text"), "New");
    EXPECT_EQ(iniValue(projectFile("blog"), "custom"), "kept");
    EXPECT_EQ(listEntries(), (QStringList{"blog", "blog"})); // repeats are allowed
}

TEST_F(AddProject, CancelDoesNothing)
{
    start();
    NewProjectScript script("p", folder(), /*cancel=*/true);
    QTest::mouseClick(control(w(), "Button2"), Qt::LeftButton);
    EXPECT_TRUE(script.run.shown);
    EXPECT_TRUE(listEntries().isEmpty());
    EXPECT_FALSE(QFileInfo::exists(projectFile("p")));
}

TEST_F(AddProject, FolderButtonPicksTheMainPath)
{
    start();
    prompts().picks.push_back("/picked/folder");
    QString picked;
    NewProjectDialog::setShowHook([&](NewProjectDialog &d) {
        QTest::mouseClick(control<PathEdit>(d, "edtPATHNEWPROJECT")->findChild<QToolButton *>(), Qt::LeftButton);
        picked = d.mainPath();
        control<QPushButton>(d, "btnCANCEL")->click();
        return d.result();
    });
    QTest::mouseClick(control(w(), "Button2"), Qt::LeftButton);
    NewProjectDialog::setShowHook({});
    EXPECT_EQ(picked, "/picked/folder");
}

TEST_F(AddProject, UnwritableProjectFileReportsAndSkipsTheRest)
{
    // A folder where the project file should be: no file can be written
    // there, whoever runs the test.
    QDir().mkdir(projectFile("p"));
    start();
    prompts().answers.push_back(Prompts::Answer::Yes); // "already exists"
    addProject("p", folder());
    ASSERT_EQ(prompts().errors().size(), 1);
    EXPECT_EQ(prompts().errors()[0], "Unable to write to " + projectFile("p"));
    EXPECT_EQ(highlighted(), -1);
    EXPECT_FALSE(defaultChoices().contains("p"));
}

// ---------------------------------------------------------------------------
// Choose project and Save project

using ChooseProject = ProjectsFixture;

TEST_F(ChooseProject, ClickLoadsFieldsKeepsMissingOnesAndEnablesEverySaveButton)
{
    writeProject("blog", {{"edtAUTHOR_Text", "Jana"}, {"rgPARAGRAPH_ItemIndex", "2"}});
    start();
    setField("edtEMAIL", "before@x.test");
    clickEntry("blog");
    EXPECT_EQ(w().project().name(), "blog");
    EXPECT_EQ(control<QPlainTextEdit>(w(), "Memo2")->toPlainText().count("Read from list..."), 1); // loaded once
    EXPECT_EQ(control<QGroupBox>(w(), "gbCONTENT")->title(), "blog");
    EXPECT_EQ(field("edtAUTHOR"), "Jana");
    EXPECT_EQ(control<RadioGroup>(w(), "rgPARAGRAPH")->itemIndex(), 2);
    EXPECT_EQ(field("edtEMAIL"), "before@x.test"); // not in the file
    EXPECT_TRUE(control<QPushButton>(w(), "Button1")->isEnabled());
    EXPECT_TRUE(control<QPushButton>(w(), "Button4")->isEnabled());
    EXPECT_TRUE(prompts().errors().isEmpty()) << prompts().texts().join("|").toStdString();
}

TEST_F(ChooseProject, KeyboardMoveChoosesTheNextProject)
{
    writeProject("a", {{"edtAUTHOR_Text", "A"}});
    writeProject("b", {{"edtAUTHOR_Text", "B"}});
    start();
    clickEntry("a");
    ASSERT_EQ(w().project().name(), "a");
    projectList()->setFocus();
    QTest::keyClick(projectList(), Qt::Key_Down);
    EXPECT_EQ(w().project().name(), "b");
    EXPECT_EQ(field("edtAUTHOR"), "B");
}

TEST_F(ChooseProject, FocusAloneChoosesNothing)
{
    writeProject("a");
    start();
    QFocusEvent in(QEvent::FocusIn, Qt::TabFocusReason);
    QApplication::sendEvent(projectList(), &in);
    ASSERT_EQ(projectList()->currentRow(), 0); // the list made its first entry current
    EXPECT_TRUE(w().project().name().isEmpty());
}

// Choosing another project, or the open one again, asks about changed
// settings: Cancel keeps them and the project, Discard drops them, Save
// writes them first.
TEST_F(ChooseProject, ChoosingAProjectAsksAboutChangedSettingsAndEachAnswerDoesWhatItSays)
{
    writeProject("a", {{"edtAUTHOR_Text", "A"}, {"edtEMAIL_Text", "a@a.test"}});
    writeProject("b", {{"edtAUTHOR_Text", "B"}});
    start();
    clickEntry("a");
    // Unchanged: chosen again without a question (its file is read again).
    clickEntry("a");
    EXPECT_TRUE(prompts().shown.empty());

    setField("edtAUTHOR", "A changed");
    prompts().answers = {Prompts::Answer::Cancel};
    clickEntry("b");
    ASSERT_EQ(prompts().shown.size(), 1u);
    EXPECT_EQ(prompts().shown[0].kind, "save");
    EXPECT_EQ(prompts().shown[0].text, "Project settings of \"a\" were changed. Save them?");
    EXPECT_EQ(w().project().name(), "a");
    EXPECT_EQ(highlighted(), listEntries().indexOf("a"));
    EXPECT_EQ(field("edtAUTHOR"), "A changed");

    // Discard: "b" loads over what "a" holds in its file.
    prompts().answers = {Prompts::Answer::No};
    setField("edtEMAIL", "changed@a.test");
    clickEntry("b");
    EXPECT_EQ(w().project().name(), "b");
    EXPECT_EQ(field("edtAUTHOR"), "B");
    EXPECT_EQ(field("edtEMAIL"), "a@a.test"); // "b" has none: the one "a" had is kept
    EXPECT_EQ(iniValue(projectFile("a"), "edtAUTHOR_Text"), "A");

    // Save, choosing the same project again: written, then read back.
    setField("edtAUTHOR", "B saved");
    prompts().answers = {Prompts::Answer::Yes};
    clickEntry("b");
    EXPECT_EQ(iniValue(projectFile("b"), "edtAUTHOR_Text"), "B saved");
    EXPECT_EQ(field("edtAUTHOR"), "B saved");
    EXPECT_FALSE(w().project().hasUnsavedChanges());
}

TEST_F(ChooseProject, MissingFileLoadsNothingAndSaveCreatesIt)
{
    writeProject("ghost");
    start();
    clickEntry("ghost");
    QFile::remove(projectFile("ghost"));
    clickEntry("ghost");
    setField("edtAUTHOR", "kept");
    EXPECT_EQ(field("edtAUTHOR"), "kept");
    control<QPushButton>(w(), "btnSAVETVP")->click();
    EXPECT_EQ(iniValue(projectFile("ghost"), "edtAUTHOR_Text"), "kept");
}

// A change typed after a Save is not lost at Exit: the window asks; Cancel
// keeps the window and the change, Save writes it and closes.
TEST_F(ChooseProject, AnEditAfterSaveSurvivesExitWhenAnsweredSaveAndCancelKeepsTheWindow)
{
    writeProject("blog", {{"edtAUTHOR_Text", "Jana"}});
    writeSettings("blog");
    start();
    setField("edtAUTHOR", "First");
    control<QPushButton>(w(), "btnSAVETVP")->click();
    setField("edtAUTHOR", "After the save");

    prompts().answers = {Prompts::Answer::Cancel};
    action(w(), "actEXIT")->trigger();
    ASSERT_EQ(prompts().shown.size(), 1u);
    EXPECT_EQ(prompts().shown[0].kind, "save");
    EXPECT_TRUE(w().isVisible());
    EXPECT_EQ(field("edtAUTHOR"), "After the save");
    EXPECT_EQ(iniValue(projectFile("blog"), "edtAUTHOR_Text"), "First");

    prompts().answers = {Prompts::Answer::Yes};
    action(w(), "actEXIT")->trigger();
    EXPECT_FALSE(w().isVisible());
    EXPECT_EQ(iniValue(projectFile("blog"), "edtAUTHOR_Text"), "After the save");
}

// Closing by the title bar asks the same; Discard closes without writing.
// The post tree's width alone is kept without a question.
TEST_F(ChooseProject, ClosingAsksTooAndTheTreeWidthIsKeptSilently)
{
    writeProject("blog", {{"edtAUTHOR_Text", "Jana"}, {"pnlLEVY_Width", "161"}});
    writeSettings("blog");
    start();
    setField("edtAUTHOR", "Thrown away");
    prompts().answers = {Prompts::Answer::No};
    EXPECT_TRUE(w().close());
    EXPECT_EQ(iniValue(projectFile("blog"), "edtAUTHOR_Text"), "Jana");

    start();
    auto *splitter = control<QSplitter>(w(), "Splitter1");
    splitter->setSizes({240, splitter->width() - 240});
    emit splitter->splitterMoved(240, 1);
    EXPECT_TRUE(w().close());
    EXPECT_TRUE(prompts().shown.empty());
    EXPECT_EQ(iniValue(projectFile("blog"), "pnlLEVY_Width"), "240");
}

using SaveProject = ProjectsFixture;

TEST_F(SaveProject, UnwritableFileIsReportedAndTheProjectStaysActive)
{
    writeProject("blog");
    start();
    clickEntry("blog");
    QFile::remove(projectFile("blog"));
    QDir().mkdir(projectFile("blog")); // a folder where the file should be
    control<QPushButton>(w(), "btnSAVETVP")->click();
    EXPECT_EQ(prompts().errors(), QStringList{"Unable to write to " + projectFile("blog")});
}

TEST_F(SaveProject, WritesAllKeysInOrderAfterThePlacementAndStopsAutomaticSaving)
{
    writeProject("blog", {{"edtAUTHOR_Text", "Jana"}});
    start();
    clickEntry("blog");
    // Keys already in a file keep their places; a fresh file shows the order.
    QFile::remove(projectFile("blog"));
    setField("edtAUTHOR", "Saved");
    QTest::mouseClick(control<QPushButton>(w(), "btnSAVETVP"), Qt::LeftButton);

    const std::vector<std::string> keys = keysInOrder(projectFile("blog"));
    ASSERT_EQ(keys.size(), 8 + projectKeys().size());
    const char *placement[] = {"Flags", "ShowCmd", "PixelsPerInch", "MinMaxPos(",
                               "MinMaxPos", "NormPos(", "NormPos", "Visible"};
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(keys[i].rfind(placement[i], 0), 0u) << keys[i];
    EXPECT_EQ(std::vector<std::string>(keys.begin() + 8, keys.end()), projectKeys());
    EXPECT_EQ(iniValue(projectFile("blog"), "edtAUTHOR_Text"), "Saved");

    // A later change is written only when the writer says so.
    setField("edtAUTHOR", "Not saved");
    prompts().answers = {Prompts::Answer::No};
    fx.stop();
    EXPECT_EQ(iniValue(projectFile("blog"), "edtAUTHOR_Text"), "Saved");
}

TEST_F(SaveProject, EveryTabsButtonSaves)
{
    writeProject("blog");
    start();
    clickEntry("blog");
    int n = 0;
    for (QPushButton *b : {control<QPushButton>(w(), "btnSAVETVP"), control<QPushButton>(w(), "Button1"), control<QPushButton>(w(), "Button4")}) {
        SCOPED_TRACE(b->objectName().toStdString());
        setField("edtNOTE", QString::number(++n));
        ASSERT_TRUE(b->isEnabled());
        b->click();
        EXPECT_EQ(iniValue(projectFile("blog"), "edtNOTE_Text"), std::to_string(n));
    }
}

TEST_F(SaveProject, SlashRulesForMainUriAndArchivePath)
{
    writeProject("blog");
    start();
    clickEntry("blog");
    struct Case {
        const char *uri, *archives, *uriAfter, *archivesAfter;
    };
    for (const Case &c : {Case{"http://x.test", "arch", "http://x.test/", "arch/"},
                          Case{"", "", "", ""},
                          Case{"http://x.test/", "a/b/", "http://x.test/", "a/b/"}}) {
        SCOPED_TRACE(c.uri);
        setField("edtMAINURI", c.uri);
        setField("dirPATHARCHIVES", c.archives);
        control<QPushButton>(w(), "btnSAVETVP")->click();
        EXPECT_EQ(field("edtMAINURI"), c.uriAfter);
        EXPECT_EQ(field("dirPATHARCHIVES"), c.archivesAfter);
        EXPECT_EQ(iniValue(projectFile("blog"), "edtMAINURI_Text"), c.uriAfter);
        EXPECT_EQ(iniValue(projectFile("blog"), "dirPATHARCHIVES_Text"), c.archivesAfter);
    }
}

// ---------------------------------------------------------------------------
// The default project at start-up

using DefaultProject = ProjectsFixture;

TEST_F(DefaultProject, OpensAtStartUpAndItsSaveButtonsWork)
{
    writeProject("alpha");
    writeProject("Blog", {{"edtAUTHOR_Text", "Jana"}, {"edtMAINURI_Text", "http://b.test"}});
    writeSettings("blog"); // letter case ignored
    start();
    EXPECT_EQ(w().project().name(), "Blog");
    EXPECT_EQ(highlighted(), listEntries().indexOf("Blog")); // as if chosen by hand
    EXPECT_EQ(control<QGroupBox>(w(), "gbCONTENT")->title(), "Blog");
    EXPECT_EQ(field("edtAUTHOR"), "Jana");
    EXPECT_TRUE(control<QPushButton>(w(), "Button1")->isEnabled());
    EXPECT_TRUE(control<QPushButton>(w(), "Button4")->isEnabled());

    // Save project on the Options tab writes the open project, its Main URI
    // ending with "/".
    setField("edtAUTHOR", "changed");
    control<QPushButton>(w(), "btnSAVETVP")->click();
    EXPECT_EQ(iniValue(projectFile("Blog"), "edtAUTHOR_Text"), "changed");
    EXPECT_EQ(field("edtMAINURI"), "http://b.test/");
}

TEST_F(DefaultProject, UnknownNameOpensNothingAndSaysNothing)
{
    writeProject("alpha", {{"edtAUTHOR_Text", "A"}});
    writeSettings("missing");
    start();
    EXPECT_TRUE(w().project().name().isEmpty());
    EXPECT_TRUE(field("edtAUTHOR").isEmpty());
    EXPECT_TRUE(prompts().shown.empty());
    EXPECT_EQ(defaultProjectBox()->text(), "missing");
}

// ---------------------------------------------------------------------------
// Remove project

using RemoveProject = ProjectsFixture;

TEST_F(RemoveProject, MovesTheProjectFileAndItsRecordToTheTrashAndLeavesSiteAndPosts)
{
    writeProject("alpha");
    writeProject("blog", {{"pathMAIN_Text", (folder() + "site").toStdString()}});
    QDir().mkdir(folder() + "site");
    writeBytes(folder() + "site/index.html", "page");
    writeBytes(folder() + "data-blog/1049328060.txt", "Post\r\n");
    writeBytes(conf() + "/blog.sent", "record");
    writeSettings("blog");
    start();
    ASSERT_EQ(w().project().name(), "blog");
    auto *remove = control<QPushButton>(w(), "btnREMOVEPROJECT");
    ASSERT_TRUE(remove->isEnabled());

    // No (the default) keeps everything.
    remove->click();
    ASSERT_EQ(prompts().shown.size(), 1u);
    EXPECT_EQ(prompts().shown[0].defaultAnswer, Prompts::Answer::No);
    EXPECT_TRUE(QFileInfo::exists(projectFile("blog")));

    prompts().answers = {Prompts::Answer::Yes};
    remove->click();
    EXPECT_TRUE(prompts().errors().isEmpty()) << prompts().texts().join("|").toStdString();
    EXPECT_FALSE(QFileInfo::exists(projectFile("blog")));
    EXPECT_FALSE(QFileInfo::exists(conf() + "/blog.sent"));
    EXPECT_EQ(fileBytes(fx.trashFolder() + "/blog.sent"), "record");
    EXPECT_TRUE(QFileInfo::exists(fx.trashFolder() + "/blog.tvp"));
    EXPECT_EQ(fileBytes(folder() + "site/index.html"), "page");
    EXPECT_EQ(fileBytes(folder() + "data-blog/1049328060.txt"), "Post\r\n");
    // The list, the default project and the window follow.
    EXPECT_EQ(listEntries(), QStringList({"alpha"}));
    EXPECT_EQ(defaultChoices(), QStringList({"alpha"}));
    EXPECT_TRUE(defaultProjectBox()->text().isEmpty());
    EXPECT_FALSE(remove->isEnabled());
    EXPECT_FALSE(w().project().isOpen());
    EXPECT_TRUE(control<QGroupBox>(w(), "gbCONTENT")->title().isEmpty());
    EXPECT_EQ(control<QTreeWidget>(w(), "TreeView1")->topLevelItemCount(), 0);
    EXPECT_TRUE(queuedFiles(w()).isEmpty());
    action(w(), "actNEW")->trigger();
    EXPECT_EQ(prompts().texts().last(), "Project was not selected.\nPlease select project on tab OPTIONS.");
}
