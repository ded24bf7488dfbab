#include "ui/mainwindow.h"

#include "core/openproject.h"
#include "core/programfiles.h"
#include "spell/speller.h"
#include "ui/aboutbox.h"
#include "ui/commandrunner.h"
#include "ui/formstorage.h"
#include "ui/generator/generationcontroller.h"
#include "ui/interfacetexts.h"
#include "ui/media/picturecontroller.h"
#include "ui/posts/editoraids.h"
#include "ui/posts/postscontroller.h"
#include "ui/preview/previewcontroller.h"
#include "ui/projects/projectscontroller.h"
#include "ui/projects/settingsform.h"
#include "ui/prompts.h"
#include "ui/publish/publishingcontroller.h"
#include "ui/tags/tagscontroller.h"
#include "ui/tags/tagsmenu.h"

#include <QAction>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QScrollArea>
#include <QScrollBar>
#include <QShowEvent>
#include <QStatusBar>
#include <QStyle>
#include <QTabWidget>
#include <QToolBar>
#include <QVBoxLayout>

namespace tl {

namespace {

// The page of a tab whose fields may not fit the window: they scroll instead
// of making the whole window taller than its 580 x 570.
QWidget *scrollingPage(QWidget *tab)
{
    auto *outer = new QVBoxLayout(tab);
    outer->setContentsMargins(0, 0, 0, 0);
    auto *scroll = new QScrollArea(tab);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    auto *page = new QWidget(scroll);
    scroll->setWidget(page);
    outer->addWidget(scroll);
    return page;
}

QWidget *tab(const char *name)
{
    auto *t = new QWidget;
    t->setObjectName(QString::fromLatin1(name));
    return t;
}

const char *const kPostNotSaved = "Post is not saved. Save now?";

} // namespace

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , prompts_(std::make_unique<QtPrompts>(this))
    , project_(std::make_unique<OpenProject>())
    , speller_(std::make_unique<spell::Speller>())
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Tarvel Lite"));
    setWindowIcon(programIcon());
    resize(580, 570);

    tabs_ = new QTabWidget(this);
    tabs_->setObjectName(QStringLiteral("PageControl1"));
    blogTab_ = tab("tabBLOG");
    optionsTab_ = tab("tabOPTIONS");
    contentTab_ = tab("tabCONTENT");
    serverTab_ = tab("tabFTP");
    tabs_->addTab(blogTab_, tr("Blog"));
    tabs_->addTab(optionsTab_, tr("Options"));
    tabs_->addTab(contentTab_, tr("Content"));
    tabs_->addTab(serverTab_, tr("Publishing"));
    buildLogAndStatus();

    // The places of the tabs: each controller fills its own.
    // Options: the project list left, the site's fields right.
    auto *optionsLayout = new QHBoxLayout(scrollingPage(optionsTab_));
    auto *projectsPlace = new QWidget;
    auto *optionsPlace = new QWidget;
    optionsLayout->addWidget(projectsPlace, 1);
    optionsLayout->addWidget(optionsPlace, 2);
    // Content: the content fields, their save button under them.
    auto *contentLayout = new QVBoxLayout(scrollingPage(contentTab_));
    auto *contentPlace = new QWidget;
    auto *contentSavePlace = new QWidget;
    contentLayout->addWidget(contentPlace);
    contentLayout->addWidget(contentSavePlace);
    contentLayout->addStretch(1);
    // Publishing: where the site goes left (with the password and a save
    // button among the fields), the transfers right.
    auto *serverLayout = new QHBoxLayout(scrollingPage(serverTab_));
    auto *serverPlace = new QWidget;
    auto *transfersPlace = new QWidget;
    auto *passwordPlace = new QWidget;
    auto *serverSavePlace = new QWidget;
    serverLayout->addWidget(serverPlace, 1);
    serverLayout->addWidget(transfersPlace, 1);

    publishing_ = new PublishingController(*this, *project_, passwordPlace, transfersPlace, this);
    posts_ = new PostsController(*this, *project_, blogTab_, this);
    settingsForm_ = new SettingsForm(*this, *project_, optionsPlace, contentPlace, serverPlace,
        passwordPlace, serverSavePlace, this);
    projects_ = new ProjectsController(*this, *project_, *posts_, *publishing_, projectsPlace,
        contentSavePlace, serverSavePlace, [this](IniFile &ini) { writePlacement(ini); });
    generation_ = new GenerationController(*this, *project_, *posts_, *publishing_, this);
    auto *tagsMenu = new TagsMenu(tr("&Tags"), this);
    tagsMenu->setObjectName(QStringLiteral("Tags1"));
    tags_ = new TagsController(*this, *posts_, this, tagsMenu, settingsFile());
    pictures_ = new PictureController(*this, *project_, *posts_, *publishing_, this);
    preview_ = new PreviewController(*this, *project_, *posts_, this);
    posts_->form().addStripAction(preview_->previewAction());
    editorAids_ = new EditorAids(*this, *project_, posts_->form(), *speller_, this);
    QStringList dictionaries;
    for (const spell::Dictionary &d : speller_->dictionaries())
        dictionaries << d.name;
    settingsForm_->setDictionaries(dictionaries, speller_->startLanguage());
    buildCommands(tagsMenu);

    // What one part does that others follow.
    connect(posts_, &PostsController::editingChanged, this,
        [this](bool editing) { showOtherTabs(!editing); });
    connect(posts_, &PostsController::findRequested, this,
        [this] { tabs_->setCurrentWidget(blogTab_); });
    connect(posts_, &PostsController::generateAvailable, generation_,
        &GenerationController::setAvailable);
    connect(posts_, &PostsController::postSaved, publishing_, &PublishingController::postSaved);
    connect(posts_, &PostsController::postDeleted, publishing_, &PublishingController::postDeleted);
    connect(generation_, &GenerationController::siteGenerated, preview_,
        &PreviewController::siteChanged);
    connect(publishing_, &PublishingController::transferRunning, generation_,
        &GenerationController::holdForTransfer);
    connect(publishing_, &PublishingController::transferRunning, projects_,
        &ProjectsController::holdForTransfer);

    startUp();
}

MainWindow::~MainWindow()
{
    // A storage not saved since its last restore saves now, while the
    // controls still exist.
    FormStorage::windowDestroying(this);
    // The speller goes before the editor does.
    editorAids_->detach();
}

void MainWindow::buildLogAndStatus()
{
    logView_ = new QPlainTextEdit(this);
    logView_->setObjectName(QStringLiteral("Memo2"));
    logView_->setReadOnly(true);
    logView_->setFixedHeight(41);
    logView_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QPalette pal = logView_->palette();
    pal.setColor(QPalette::Base, QColor(0xC0, 0xC0, 0xC0));
    logView_->setPalette(pal);

    auto *central = new QWidget(this);
    auto *cl = new QVBoxLayout(central);
    cl->setContentsMargins(0, 0, 0, 0);
    cl->setSpacing(0);
    cl->addWidget(tabs_, 1);
    cl->addWidget(logView_);
    setCentralWidget(central);

    statusBar_ = new QStatusBar(this);
    statusBar_->setObjectName(QStringLiteral("StatusBar1"));
    setStatusBar(statusBar_);
    // The post count stays when a menu's hint passes over the status bar.
    postCountLabel_ = new QLabel(statusBar_);
    postCountLabel_->setObjectName(QStringLiteral("lblPOSTCOUNT"));
    statusBar_->addPermanentWidget(postCountLabel_);
}

// The toolbar and the menus, over the controllers' commands.
void MainWindow::buildCommands(QMenu *tagsMenu)
{
    exitAction_
        = new QAction(style()->standardIcon(QStyle::SP_DialogCloseButton), tr("&Exit"), this);
    exitAction_->setObjectName(QStringLiteral("actEXIT"));
    exitAction_->setShortcutContext(Qt::ApplicationShortcut);
    connect(exitAction_, &QAction::triggered, this, [this] { run([this] { exit(); }); });

    QAction *readServer = publishing_->readServerPostsAction();
    QAction *generate = generation_->generateAction();

    auto *toolbar = new QToolBar(this);
    toolbar->setObjectName(QStringLiteral("ToolBar1"));
    toolbar->setMovable(false);
    toolbar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    toolbar->addActions({ posts_->readAction(), readServer });
    toolbar->addSeparator();
    toolbar->addActions({ posts_->newPostAction(), posts_->editAction(), posts_->saveAction(),
        posts_->deleteAction() });
    toolbar->addSeparator();
    toolbar->addAction(pictures_->insertAction());
    toolbar->addSeparator();
    toolbar->addAction(generate);
    toolbar->addSeparator();
    toolbar->addAction(exitAction_);
    addToolBar(toolbar);

    QMenu *blog = menuBar()->addMenu(tr("&Blog"));
    blog->setObjectName(QStringLiteral("Blog1"));
    blog->addActions({ posts_->readAction(), readServer, generate });
    blog->addSeparator();
    blog->addActions({ posts_->newPostAction(), posts_->editAction(), posts_->saveAction() });
    blog->addSeparator();
    blog->addActions({ pictures_->insertAction(), preview_->previewAction() });
    blog->addSeparator();
    blog->addAction(exitAction_);
    menuBar()->addMenu(tagsMenu);

    QMenu *help = menuBar()->addMenu(tr("&Help"));
    help->setObjectName(QStringLiteral("Help1"));
    QAction *about = help->addAction(tr("&About..."));
    about->setObjectName(QStringLiteral("About1"));
    connect(about, &QAction::triggered, this, [this] {
        run([this] {
            AboutBox box(this);
            box.showModal();
        });
    });
}

void MainWindow::setPrompts(std::unique_ptr<Prompts> p)
{
    prompts_ = std::move(p);
}

bool MainWindow::run(const std::function<void()> &command)
{
    return runCommand(*prompts_, command);
}

void MainWindow::log(const QString &line)
{
    logView_->appendPlainText(line);
    logView_->verticalScrollBar()->setValue(logView_->verticalScrollBar()->maximum());
}

void MainWindow::setStatusText(const QString &text)
{
    statusBar_->showMessage(text);
}

QString MainWindow::statusText() const
{
    return statusBar_->currentMessage();
}

void MainWindow::setPostCountText(const QString &text)
{
    postCountLabel_->setText(text);
}

std::string MainWindow::settingsFile() const
{
    return SettingsFolder() + "tarvlit.ini";
}

void MainWindow::writePlacement(IniFile &ini) const
{
    settingsStorage_->writePlacement(ini);
}

// While a post is open only the Blog tab is shown.
void MainWindow::showOtherTabs(bool shown)
{
    for (QWidget *t : { optionsTab_, serverTab_, contentTab_ })
        tabs_->setTabVisible(tabs_->indexOf(t), shown);
}

// ---------------------------------------------------------------------------
// Start-up

void MainWindow::startUp()
{
    // Interface texts, when their file is there.
    const std::string folder = SettingsFolder();
    if (QFileInfo::exists(pathText(folder + "czech.lng")))
        loadInterfaceTexts(this, pathText(folder + "czech.lng"));

    // Caption with the build number of the program file.
    setWindowTitle(windowTitle() + QStringLiteral(" [build ")
        + QString::fromStdString(FileVersionText(ProgramFilePath())) + QStringLiteral("]"));

    // First run: folders and paths beside the program.
    if (!QFileInfo::exists(pathText(settingsFile()))) {
        // "CONF" and "conf" are one folder: a conf folder that is already
        // there (the default files beside the program) is the one to use.
        const QString conf = pathText(childFolderAnyCase(folder, "CONF"));
        const QString data = pathText(childFolderAnyCase(folder, "DATA"));
        QDir().mkdir(conf);
        QDir().mkdir(data);
        // The main path is the settings folder itself, without its "/".
        QString mainPath = pathText(folder);
        if (mainPath.endsWith(QLatin1Char('/')))
            mainPath.chop(1);
        ProjectSettings preset = project_->settings();
        preset.site.mainFolder = mainPath;
        preset.site.configFolder = conf;
        preset.site.dataFolder = data;
        project_->presetSettings(preset);
    }

    // The settings storage keeps the window's placement and the default
    // project in the settings file: it restores on show, saves on close.
    settingsStorage_ = new FormStorage(this, this);
    settingsStorage_->setObjectName(QStringLiteral("formstorMAIN"));
    settingsStorage_->setWindowClassName(QStringLiteral("TForm1"));
    settingsStorage_->setOptions(
        FormStorage::Options(FormStorage::fpState) | FormStorage::fpPosition);
    settingsStorage_->setStoredProps({ QStringLiteral("cmbDEFPROJ.Text") });
    settingsStorage_->setErrorHandler([this](const QString &m) { prompts_->error(m); });
    settingsStorage_->setIniFileName(settingsFile());
    settingsStorage_->setActive(true);

    projects_->listProjects();
    tags_->buildMenu();
}

void MainWindow::showEvent(QShowEvent *e)
{
    QMainWindow::showEvent(e);
    if (shownOnce_ || e->spontaneous())
        return;
    shownOnce_ = true;
    firstShow();
}

void MainWindow::firstShow()
{
    // The settings restore first (the default project's name among them),
    // then the default project opens.
    FormStorage::windowShown(this);
    run([this] { projects_->openDefaultProject(); });
}

// ---------------------------------------------------------------------------
// Closing

void MainWindow::closeEvent(QCloseEvent *e)
{
    // However the window is closed (title bar, Alt+F4, the desktop's
    // logout), changes to the open post are not thrown away unasked; Exit
    // has asked already. A save that fails keeps the window open.
    const bool asked = exitAnswered_;
    exitAnswered_ = false;
    if (!asked && posts_->openPostChanged()) {
        switch (
            prompts_->saveChanges(QStringLiteral("Confirm"), QString::fromLatin1(kPostNotSaved))) {
        case Prompts::Answer::Yes:
            run([this] { posts_->save(); });
            if (posts_->openPostChanged()) {
                e->ignore();
                return;
            }
            break;
        case Prompts::Answer::No:
            break;
        default:
            e->ignore();
            return;
        }
    }
    // Changed project settings are not thrown away unasked either.
    if (!projects_->settleBeforeClose()) {
        e->ignore();
        return;
    }
    // A transfer still waiting for the network is stopped, so that closing
    // does not wait on the server.
    publishing_->cancel();
    FormStorage::windowClosing(this);
    e->accept();
}

void MainWindow::exit()
{
    if (posts_->isPostOpen()) {
        switch (prompts_->question(
            QStringLiteral("Confirm"), QString::fromLatin1(kPostNotSaved), true)) {
        case Prompts::Answer::Yes:
            posts_->save();
            break;
        case Prompts::Answer::No:
            break;
        default:
            return;
        }
    }
    exitAnswered_ = true;
    close();
}

} // namespace tl
