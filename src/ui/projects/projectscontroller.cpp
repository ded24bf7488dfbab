#include "ui/projects/projectscontroller.h"

#include "core/errors.h"
#include "core/openproject.h"
#include "core/programfiles.h"
#include "core/projectfile.h"
#include "core/projects.h"
#include "core/trash.h"
#include "publish/sendrecord.h"
#include "ui/posts/postscontroller.h"
#include "ui/projects/newprojectdialog.h"
#include "ui/prompts.h"
#include "ui/publish/publishingcontroller.h"
#include "ui/widgets.h"
#include "ui/windowshell.h"

#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace tl {

namespace {

// The highlighted (selected) entry of a list, or -1. A merely current entry
// (as a list gets when it takes the keyboard focus) is not highlighted.
int highlightedRowOf(const QListWidget *list)
{
    const QList<QListWidgetItem *> sel = list->selectedItems();
    return sel.isEmpty() ? -1 : list->row(sel.first());
}

// Turns the writer's clicks and keyboard moves in the project list into one
// "choose project" each, and keeps the program's own changes of the list
// (adding entries, highlighting a project) from choosing anything.
//  - A change of the highlighted entry (mouse press or keyboard) chooses.
//  - A click on the entry that was highlighted already chooses it again.
class ProjectListWatcher : public QObject {
public:
    ProjectListWatcher(QListWidget *list, std::function<void()> choose)
        : QObject(list)
        , list_(list)
        , choose_(std::move(choose))
    {
        setObjectName(QStringLiteral("projectListWatcher"));
        list->viewport()->installEventFilter(this);
        connect(list->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
            if (quiet_ == 0 && highlightedRowOf(list_) >= 0)
                choose_();
        });
        connect(list, &QListWidget::itemClicked, this, [this](QListWidgetItem *item) {
            // The entry clicked, highlighted before and still (a choice
            // cancelled meanwhile highlights the open project again).
            const int row = list_->row(item);
            const bool sameEntry = row >= 0 && row == rowAtPress_ && row == highlightedRowOf(list_);
            rowAtPress_ = kNoPress; // the release after a double click is no new click
            if (quiet_ == 0 && sameEntry)
                choose_();
        });
    }

    static ProjectListWatcher *of(QListWidget *list)
    {
        return static_cast<ProjectListWatcher *>(list->findChild<QObject *>(
            QStringLiteral("projectListWatcher"), Qt::FindDirectChildrenOnly));
    }

    // While a Quiet lives, changes of the list choose nothing.
    struct Quiet {
        explicit Quiet(QListWidget *list)
            : w(of(list))
        {
            if (w)
                ++w->quiet_;
        }
        ~Quiet()
        {
            if (w)
                --w->quiet_;
        }
        ProjectListWatcher *w;
    };

protected:
    bool eventFilter(QObject *, QEvent *e) override
    {
        if (e->type() == QEvent::MouseButtonPress)
            rowAtPress_ = highlightedRowOf(list_);
        return false;
    }

private:
    static constexpr int kNoPress = -2;
    QListWidget *list_;
    std::function<void()> choose_;
    int rowAtPress_ = kNoPress;
    int quiet_ = 0;
};

} // namespace

ProjectsController::ProjectsController(WindowShell &shell, OpenProject &project,
    PostsController &posts, PublishingController &publishing, QWidget *projectsPlace,
    QWidget *contentSavePlace, QWidget *serverSavePlace, PlacementWriter writePlacement)
    : QObject(projectsPlace)
    , shell_(shell)
    , project_(project)
    , posts_(posts)
    , publishing_(publishing)
    , writePlacement_(std::move(writePlacement))
{
    buildPanel(projectsPlace);
    contentSaveButton_ = saveButton(contentSavePlace, "Button1");
    serverSaveButton_ = saveButton(serverSavePlace, "Button4");
    new ProjectListWatcher(projectList_, [this] { shell_.run([this] { chooseHighlighted(); }); });
    connect(
        addButton_, &QPushButton::clicked, this, [this] { shell_.run([this] { addProject(); }); });
    connect(removeButton_, &QPushButton::clicked, this,
        [this] { shell_.run([this] { removeProject(); }); });
    connect(projectList_, &QListWidget::itemSelectionChanged, this,
        [this] { removeButton_->setEnabled(highlightedRow() >= 0); });
    removeButton_->setEnabled(false);
    connect(&project_, &OpenProject::nameChanged, this, &ProjectsController::updateSaveButtons);
    updateSaveButtons();
}

void ProjectsController::buildPanel(QWidget *place)
{
    auto *layout = new QVBoxLayout(place);
    layout->setContentsMargins(0, 0, 0, 0);
    auto *group = new QGroupBox(tr("Projects"), place);
    auto *gl = new QVBoxLayout(group);
    projectList_ = new QListWidget(group);
    projectList_->setObjectName(QStringLiteral("lstPROJEKTY"));
    gl->addWidget(projectList_);
    addButton_ = new QPushButton(tr("Add project"), group);
    addButton_->setObjectName(QStringLiteral("Button2"));
    removeButton_ = new QPushButton(tr("Remove project"), group);
    removeButton_->setObjectName(QStringLiteral("btnREMOVEPROJECT"));
    removeButton_->setToolTip(tr("Moves the project's file to the trash; its site and posts stay"));
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(addButton_);
    buttons->addWidget(removeButton_);
    gl->addLayout(buttons);
    layout->addWidget(group, 1);
    layout->addWidget(new QLabel(tr("Default project:"), place));
    defaultProjectBox_ = new ComboBox(place);
    defaultProjectBox_->setObjectName(QStringLiteral("cmbDEFPROJ"));
    layout->addWidget(defaultProjectBox_);
    optionsSaveButton_ = new QPushButton(tr("Save to TVP file"), place);
    optionsSaveButton_->setObjectName(QStringLiteral("btnSAVETVP"));
    connect(optionsSaveButton_, &QPushButton::clicked, this,
        [this] { shell_.run([this] { saveProject(); }); });
    layout->addWidget(optionsSaveButton_);
}

QPushButton *ProjectsController::saveButton(QWidget *place, const char *name)
{
    auto *layout = new QHBoxLayout(place);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addStretch(1);
    auto *b = new QPushButton(tr("Save to TVP file"), place);
    b->setObjectName(QString::fromLatin1(name));
    layout->addWidget(b);
    connect(b, &QPushButton::clicked, this, [this] { shell_.run([this] { saveProject(); }); });
    return b;
}

// The Content and Publishing tabs save only a project that is open.
void ProjectsController::updateSaveButtons()
{
    contentSaveButton_->setEnabled(project_.isOpen());
    serverSaveButton_->setEnabled(project_.isOpen());
}

int ProjectsController::highlightedRow() const
{
    return highlightedRowOf(projectList_);
}

// Puts `name` into the project list at its place (sorted without regard to
// letter case, after equal names) and returns its row.
int ProjectsController::insertEntry(const QString &name)
{
    QStringList entries;
    for (int i = 0; i < projectList_->count(); ++i)
        entries << projectList_->item(i)->text();
    const int row = sortedInsertPosition(entries, name);
    ProjectListWatcher::Quiet quiet(projectList_);
    projectList_->insertItem(row, name);
    return row;
}

// ---------------------------------------------------------------------------
// Start-up

void ProjectsController::listProjects()
{
    for (const QString &name : projectNamesIn(projectsFolder()))
        insertEntry(name);
    defaultProjectBox_->clear();
    for (int i = 0; i < projectList_->count(); ++i)
        defaultProjectBox_->addItem(projectList_->item(i)->text());
    defaultProjectBox_->setEditText(QString());
}

void ProjectsController::openDefaultProject()
{
    const QString name = defaultProjectBox_->text();
    if (name.isEmpty())
        return;
    for (int i = 0; i < projectList_->count(); ++i) {
        if (projectList_->item(i)->text().compare(name, Qt::CaseInsensitive) == 0) {
            {
                ProjectListWatcher::Quiet quiet(projectList_);
                projectList_->setCurrentRow(i);
            }
            open(projectList_->item(i)->text());
            return;
        }
    }
}

// ---------------------------------------------------------------------------
// Choose, save

void ProjectsController::chooseHighlighted()
{
    const int row = highlightedRow();
    if (row < 0)
        return;
    const QString name = projectList_->item(row)->text();
    // Choosing the open project again reloads it, so it is asked about too.
    if (!settleChanges()) {
        highlightOpenProject();
        return;
    }
    open(name);
}

void ProjectsController::open(const QString &name)
{
    project_.open(name);
    // What its server still lacks, then its posts.
    publishing_.projectOpened();
    posts_.read();
}

void ProjectsController::highlightOpenProject()
{
    ProjectListWatcher::Quiet quiet(projectList_);
    const QList<QListWidgetItem *> named = project_.isOpen()
        ? projectList_->findItems(project_.name(), Qt::MatchExactly)
        : QList<QListWidgetItem *>();
    projectList_->clearSelection();
    if (!named.isEmpty())
        projectList_->setCurrentItem(named.first());
}

void ProjectsController::saveProject()
{
    if (!requireOpenProject(shell_, project_))
        return;
    project_.save(writePlacement_);
}

bool ProjectsController::settleChanges()
{
    if (!project_.hasUnsavedChanges())
        return true;
    switch (shell_.prompts().saveChanges(QStringLiteral("Confirm"),
        QStringLiteral("Project settings of \"%1\" were changed. Save them?")
            .arg(project_.name()))) {
    case Prompts::Answer::Yes:
        return shell_.run([this] { project_.save(writePlacement_); });
    case Prompts::Answer::No:
        project_.revert();
        return true;
    default:
        return false;
    }
}

bool ProjectsController::settleBeforeClose()
{
    if (!settleChanges())
        return false;
    // The tree's width is kept with the project without a question.
    if (project_.treeWidthChanged())
        shell_.run([this] { project_.saveTreeWidth(writePlacement_); });
    return true;
}

void ProjectsController::holdForTransfer(bool held)
{
    if (held)
        listWasEnabled_ = projectList_->isEnabled();
    projectList_->setEnabled(held ? false : listWasEnabled_);
}

// ---------------------------------------------------------------------------
// Add project

bool ProjectsController::ensureMainFolder(const QString &mainPath)
{
    if (mainPath.isEmpty()) {
        shell_.prompts().message(
            QString(), tr("Please choose the main folder of the new project."));
        return false;
    }
    if (QFileInfo(mainPath).isDir())
        return true;
    if (shell_.prompts().question(QStringLiteral("Confirm"),
            tr("The folder %1 does not exist. Create it?").arg(mainPath), false)
        != Prompts::Answer::Yes) {
        shell_.prompts().message(QString(),
            tr("The project was not created: its main folder %1 does not exist.").arg(mainPath));
        return false;
    }
    if (!QDir().mkpath(mainPath))
        throw AppError("Cannot create folder " + pathBytes(mainPath));
    return true;
}

void ProjectsController::addProject()
{
    NewProjectDialog dialog(shell_.prompts(), projectList_->window());
    if (dialog.showModal() != QDialog::Accepted)
        return;
    // The new project starts from the open one's settings: those are
    // settled first.
    if (!settleChanges())
        return;
    const QString name = dialog.projectName();
    const QString mainPath = dialog.mainPath();
    if (!ensureMainFolder(mainPath))
        return;

    const QString defaults = pathText(DefaultFilesFolder());
    const NewProjectFolders folders = createProjectFolders(mainPath, defaults);
    // The project file is written only once its folders are there.
    for (const QString &folder : { folders.confFolder, folders.dataFolder })
        if (!QFileInfo(folder).isDir())
            throw AppError("Cannot create folder " + pathBytes(folder));

    // The new project starts with the settings of the one open now.
    ProjectSettings settings = project_.settings();
    settings.site.mainFolder = mainPath;
    settings.site.configFolder = folders.confFolder;
    settings.site.dataFolder = folders.dataFolder;
    settings.site.mainTemplate = folders.confFolder + QStringLiteral("/template.htm");
    settings.site.archiveTemplate = folders.confFolder + QStringLiteral("/archtemp.htm");
    settings.site.feedTemplate = folders.confFolder + QStringLiteral("/template.rss");
    settings.site.textTemplate = folders.confFolder + QStringLiteral("/template.txt");
    projectfile::save(projectFilePath(name), settings, writePlacement_);

    const int row = insertEntry(name);
    defaultProjectBox_->addSorted(name);
    {
        ProjectListWatcher::Quiet quiet(projectList_);
        projectList_->setCurrentRow(row);
    }
    project_.presetSettings(settings);
    open(name);
}

} // namespace tl

namespace tl {

// ---------------------------------------------------------------------------
// Remove project

void ProjectsController::removeProject()
{
    const int row = highlightedRow();
    if (row < 0)
        return;
    const QString name = projectList_->item(row)->text();
    if (shell_.prompts().question(QStringLiteral("Confirm"),
            tr("Remove the project \"%1\"? Its project file and send record go to the trash; "
               "its site and its posts stay where they are.")
                .arg(name),
            false, Prompts::Answer::No)
        != Prompts::Answer::Yes)
        return;

    const QString file = projectFilePath(name);
    if (QFileInfo::exists(file) && !moveToTrash(file))
        throw AppError("Cannot move " + pathBytes(file) + " to the trash");
    const QString record = SendRecord::pathFor(file);
    if (QFileInfo::exists(record) && !moveToTrash(record))
        shell_.log(tr("Cannot move %1 to the trash").arg(record));

    // Every entry of that name named that file.
    {
        ProjectListWatcher::Quiet quiet(projectList_);
        for (QListWidgetItem *item : projectList_->findItems(name, Qt::MatchExactly))
            delete item;
        projectList_->clearSelection();
    }
    const QString defaultText = defaultProjectBox_->text();
    for (int i = defaultProjectBox_->count() - 1; i >= 0; --i)
        if (defaultProjectBox_->itemText(i) == name)
            defaultProjectBox_->removeItem(i);
    defaultProjectBox_->setEditText(defaultText == name ? QString() : defaultText);
    removeButton_->setEnabled(false);

    if (project_.name() == name) {
        project_.close();
        publishing_.projectOpened();
        posts_.clear();
    }
}

} // namespace tl
