// Projects (the list, choosing, saving and adding), the interface-text file
// and the About dialog.
#include "ui/mainwindow.h"

#include "core/cp1250.h"
#include "core/ini.h"
#include "core/projectfile.h"
#include "core/programfiles.h"
#include "core/projects.h"
#include "ui/aboutbox.h"
#include "ui/formstorage.h"
#include "ui/newprojectdialog.h"
#include "ui/widgets.h"

#include <QAction>
#include <QEvent>
#include <QGroupBox>
#include <QItemSelectionModel>
#include <QFileInfo>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>

namespace tl {

namespace {

// The highlighted (selected) entry of a list, or -1. A merely current entry
// (as a list gets when it takes the keyboard focus) is not highlighted.
int highlightedRow(const QListWidget *list)
{
    const QList<QListWidgetItem *> sel = list->selectedItems();
    return sel.isEmpty() ? -1 : list->row(sel.first());
}

// Turns the user's clicks and keyboard moves in the project list into one
// "choose project" each, and keeps the program's own changes of the list
// (adding entries, highlighting a new project) from choosing anything.
//  - A change of the highlighted entry (mouse press or keyboard) chooses.
//  - A click on the entry that was highlighted already chooses it again
//    (which reloads the project).
class ProjectListWatcher : public QObject {
public:
    ProjectListWatcher(MainWindow *window, QListWidget *list)
        : QObject(list), window_(window), list_(list)
    {
        setObjectName(QStringLiteral("projectListWatcher"));
        list->viewport()->installEventFilter(this);
        connect(list->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
            if (quiet_ == 0 && highlightedRow(list_) >= 0)
                choose();
        });
        connect(list, &QListWidget::itemClicked, this, [this] {
            const int row = highlightedRow(list_);
            const bool sameEntry = row >= 0 && row == rowAtPress_;
            rowAtPress_ = kNoPress; // the release after a double click is no new click
            if (quiet_ == 0 && sameEntry)
                choose();
        });
    }

    static ProjectListWatcher *of(QListWidget *list)
    {
        return static_cast<ProjectListWatcher *>(
            list->findChild<QObject *>(QStringLiteral("projectListWatcher"),
                                       Qt::FindDirectChildrenOnly));
    }

    // While a Quiet lives, changes of the list choose nothing.
    struct Quiet {
        explicit Quiet(QListWidget *list) : w(of(list)) { if (w) ++w->quiet_; }
        ~Quiet() { if (w) --w->quiet_; }
        ProjectListWatcher *w;
    };

protected:
    bool eventFilter(QObject *, QEvent *e) override
    {
        if (e->type() == QEvent::MouseButtonPress)
            rowAtPress_ = highlightedRow(list_);
        return false;
    }

private:
    void choose()
    {
        window_->run([w = window_] { w->lstPROJEKTYClick(); });
    }

    static constexpr int kNoPress = -2;
    MainWindow *window_;
    QListWidget *list_;
    int rowAtPress_ = kNoPress;
    int quiet_ = 0;
};

// Puts `name` into the project list at its place (sorted without regard to
// letter case, after equal names) and returns its row.
int insertProjectEntry(QListWidget *list, const QString &name)
{
    QStringList entries;
    for (int i = 0; i < list->count(); ++i)
        entries << list->item(i)->text();
    const int row = sortedInsertPosition(entries, name);
    ProjectListWatcher::Quiet quiet(list);
    list->insertItem(row, name);
    return row;
}

} // namespace

void MainWindow::setupProjects()
{
    setWindowIcon(programIcon());
    new ProjectListWatcher(this, lstPROJEKTY);
    connect(Button2, &QPushButton::clicked, this, [this] { run([this] { Button2Click(); }); });
    for (QPushButton *b : {btnSAVETVP, Button1, Button4})
        connect(b, &QPushButton::clicked, this, [this] { run([this] { SaveProject(); }); });
    connect(mnuABOUT, &QAction::triggered, this, [this] { run([this] { ShowAbout(); }); });
}

// ---------------------------------------------------------------------------
// Interface texts

void MainWindow::LoadInterfaceTexts(const QString &bareName)
{
    const IniFile ini = IniFile::load(SettingsFolder() + pathBytes(bareName));
    const std::string section = "form1";
    auto text = [&](const char *key, const char *fallback) {
        return decodeCp1250(ini.readString(section, key, fallback));
    };
    // In this order; a missing key gives the text of the second column, which
    // for "More1" and "About1" differs from the designed caption.
    menuBlog->setTitle(text("Blog1", "&Blog"));
    actREAD->setText(text("actREAD", "&Read"));
    actGENERATE->setText(text("actGENERATE", "&Generate"));
    actNEW->setText(text("actNEW", "&New"));
    actEDIT->setText(text("actEDIT", "&Edit"));
    actSAVE->setText(text("actSAVE", "&Save"));
    actEXIT->setText(text("actEXIT", "&Exit"));
    menuTags->setTitle(text("Tags1", "&Tags"));
    mnuMORE->setText(text("More1", "&More"));
    menuHelp->setTitle(text("Help1", "&Help"));
    mnuABOUT->setText(text("About1", "&About"));
}

// ---------------------------------------------------------------------------
// Projects

void MainWindow::ListProjectFiles()
{
    for (const QString &name : projectNamesIn(projectsFolder()))
        insertProjectEntry(lstPROJEKTY, name);
}

void MainWindow::lstPROJEKTYClick() { ChooseProject(); }

void MainWindow::ChooseProject()
{
    // 1. Nothing is saved automatically until a project has been loaded.
    formstorPROJEKT->setActive(false);

    // 2. The pending index (start-up) or the highlighted entry.
    const int pos = pendingProjectIndex != -1 ? pendingProjectIndex : highlightedRow(lstPROJEKTY);
    pendingProjectIndex = -1;
    if (pos < 0 || pos >= lstPROJEKTY->count())
        return;

    // 3. The current project.
    currentProjectName = lstPROJEKTY->item(pos)->text();
    gbCONTENT->setTitle(currentProjectName);

    // 4. Load its file; fields the file lacks keep their values (but for
    //    fields newer than the file, which take their start values).
    const QString file = projectFilePath(currentProjectName);
    formstorPROJEKT->setIniFileName(file);
    if (QFileInfo(file).isFile())
        resetFieldsMissingFromOldProjects();
    formstorPROJEKT->RestoreStored();

    // 5. Saved again when the window closes.
    formstorPROJEKT->setActive(true);

    // 6. The Content and FTP tabs save only a project picked in the list.
    const bool highlighted = highlightedRow(lstPROJEKTY) >= 0;
    Button1->setEnabled(highlighted);
    Button4->setEnabled(highlighted);

    // 7. What its server still lacks, then its posts.
    loadSendQueue();
    actREADExecute();
}

void MainWindow::SaveProject()
{
    edtMAINURI->setText(WithTrailingSeparator(edtMAINURI->text()));
    dirPATHARCHIVES->setText(WithTrailingSeparator(dirPATHARCHIVES->text()));
    if (highlightedRow(lstPROJEKTY) < 0)
        return;
    projectfile::save(formstorPROJEKT->IniFileName(), projectFromFields(),
                      [this](IniFile &ini) { formstorPROJEKT->writePlacement(ini); });
    // From now on only another explicit save writes the project.
    formstorPROJEKT->setActive(false);
}

void MainWindow::Button2Click()
{
    NewProjectDialog dialog(prompts(), this);
    if (dialog.showModal() != QDialog::Accepted)
        return;
    const QString name = dialog.projectName();
    const QString mainPath = dialog.mainPath();

    const int row = insertProjectEntry(lstPROJEKTY, name);

    const QString defaults = pathText(DefaultFilesFolder());
    const NewProjectFolders folders = createProjectFolders(mainPath, defaults);

    pathMAIN->setText(mainPath);
    pathCONF->setText(folders.confFolder);
    pathDATA->setText(folders.dataFolder);
    fileTEMPLATE->setText(folders.confFolder + QStringLiteral("/template.htm"));
    archiveTEMPLATE->setText(folders.confFolder + QStringLiteral("/archtemp.htm"));
    edtRSSTEMPLATE->setText(folders.confFolder + QStringLiteral("/template.rss"));
    edtTXTTEMPLATE->setText(folders.confFolder + QStringLiteral("/template.txt"));

    formstorPROJEKT->setIniFileName(projectFilePath(name));
    formstorPROJEKT->SaveStored();

    {
        ProjectListWatcher::Quiet quiet(lstPROJEKTY);
        lstPROJEKTY->setCurrentRow(row);
    }
    cmbDEFPROJ->addSorted(name);
}

// ---------------------------------------------------------------------------
// About

void MainWindow::ShowAbout()
{
    AboutBox box(this);
    box.showModal();
}

} // namespace tl
