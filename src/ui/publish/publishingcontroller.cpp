#include "ui/publish/publishingcontroller.h"

#include "core/cp1250.h"
#include "core/openproject.h"
#include "core/programfiles.h"
#include "core/projects.h"
#include "ui/prompts.h"
#include "ui/publish/passwordfield.h"
#include "ui/publish/sendqueuemodel.h"
#include "ui/publish/transferprompts.h"
#include "ui/windowshell.h"

#include <QAction>
#include <QCheckBox>
#include <QEvent>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListView>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace tl {

namespace {

QStringList entries(const QListWidget *list)
{
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        out << list->item(i)->text();
    return out;
}

// Removes the first n entries: those a command has just carried out.
void removeFirst(QListWidget *list, int n)
{
    for (int i = 0; i < n && list->count() > 0; ++i)
        delete list->takeItem(0);
}

QPushButton *button(QWidget *parent, const char *name, const QString &caption)
{
    auto *b = new QPushButton(caption, parent);
    b->setObjectName(QString::fromLatin1(name));
    return b;
}

QListWidget *list(QWidget *parent, const char *name)
{
    auto *l = new QListWidget(parent);
    l->setObjectName(QString::fromLatin1(name));
    return l;
}

} // namespace

PublishingController::PublishingController(
    WindowShell &shell, OpenProject &project, QWidget *passwordRow, QWidget *panel, QWidget *window)
    : QObject(panel)
    , shell_(shell)
    , project_(project)
{
    readServerPostsAction_ = new QAction(
        window->style()->standardIcon(QStyle::SP_ArrowDown), tr("Read data from FTP"), window);
    readServerPostsAction_->setObjectName(QStringLiteral("actREADFROMFTP"));
    readServerPostsAction_->setToolTip(tr("Read data files from FTP server"));
    readServerPostsAction_->setShortcutContext(Qt::ApplicationShortcut);
    connect(readServerPostsAction_, &QAction::triggered, this,
        [this] { shell_.run([this] { readServerPosts(); }); });

    password_ = new PasswordField(shell_, project_, passwordRow);
    buildPanel(panel);
    connectPublisher();
    // The field, the target and "Remember password" decide whether an empty
    // password will do.
    connect(password_, &PasswordField::changed, this, &PublishingController::updateSendEnabled);
    updateSendEnabled();
}

void PublishingController::buildPanel(QWidget *place)
{
    auto *right = new QVBoxLayout(place);
    right->setContentsMargins(0, 0, 0, 0);
    auto *filesRow = new QHBoxLayout;
    filesRow->addWidget(new QLabel(tr("Files"), place));
    filesRow->addStretch(1);
    queueCountLabel_ = new QLabel(place);
    queueCountLabel_->setObjectName(QStringLiteral("lblQUEUECOUNT"));
    filesRow->addWidget(queueCountLabel_);
    removeButton_ = new QToolButton(place);
    removeButton_->setObjectName(QStringLiteral("RxSpeedButton3"));
    removeButton_->setText(QStringLiteral("-"));
    removeButton_->setToolTip(tr("Remove from list"));
    filesRow->addWidget(removeButton_);
    right->addLayout(filesRow);
    // What the next send carries: the pages the server lacks, then the posts.
    queueModel_ = new SendQueueModel(queue_, this);
    queueView_ = new QListView(place);
    queueView_->setObjectName(QStringLiteral("lstFILESFTP"));
    queueView_->setModel(queueModel_);
    queueView_->setUniformItemSizes(true);
    queueView_->setSelectionMode(QAbstractItemView::SingleSelection);
    right->addWidget(queueView_, 1);
    queue_.onChanged = [this] { showQueue(); };
    showQueue();
    // Shown, the list shows the queue as it is.
    place->installEventFilter(this);
    allPostsBox_ = new QCheckBox(tr("Send all data files"), place);
    allPostsBox_->setObjectName(QStringLiteral("chkALLFILES"));
    right->addWidget(allPostsBox_);
    sendButton_ = button(place, "btnSENDFTP", tr("Send to FTP"));
    wholeSiteButton_ = button(place, "btnWHOLESITE", tr("Send whole site"));
    wholeSiteButton_->setToolTip(tr("Send every page of the main and archive folders, "
                                    "for a new server or one that lost its files"));
    checkButton_ = button(place, "btnCHECKSERVER", tr("Check the server"));
    checkButton_->setToolTip(tr("Compare every remote folder with the site (names and sizes) "
                                "and queue what the server lacks or holds otherwise"));
    right->addWidget(sendButton_);
    right->addWidget(wholeSiteButton_);
    right->addWidget(checkButton_);
    // The running transfer: its progress and a way to stop it.
    auto *transferRow = new QHBoxLayout;
    progressBar_ = new QProgressBar(place);
    progressBar_->setObjectName(QStringLiteral("pbFTP"));
    progressBar_->setRange(0, 1000);
    progressBar_->setValue(0);
    progressBar_->setTextVisible(false);
    transferRow->addWidget(progressBar_, 1);
    cancelButton_ = button(place, "btnCANCELFTP", tr("Cancel"));
    cancelButton_->setEnabled(false);
    transferRow->addWidget(cancelButton_);
    right->addLayout(transferRow);
    auto *fromServer = new QGroupBox(tr("Data files from FTP"), place);
    fromServerGroup_ = fromServer;
    auto *gf = new QVBoxLayout(fromServer);
    serverPostsList_ = list(fromServer, "lstFROMFTP");
    gf->addWidget(serverPostsList_, 1);
    saveFetchedPostsButton_ = button(fromServer, "Button3", tr("Save to local"));
    gf->addWidget(saveFetchedPostsButton_);
    right->addWidget(fromServer, 1);

    const auto bind = [this](auto *control, auto signal, void (PublishingController::*command)()) {
        connect(
            control, signal, this, [this, command] { shell_.run([&] { (this->*command)(); }); });
    };
    bind(removeButton_, &QToolButton::clicked, &PublishingController::removeSelectedFromQueue);
    bind(sendButton_, &QPushButton::clicked, &PublishingController::send);
    bind(wholeSiteButton_, &QPushButton::clicked, &PublishingController::sendWholeSite);
    bind(checkButton_, &QPushButton::clicked, &PublishingController::checkServer);
    bind(saveFetchedPostsButton_, &QPushButton::clicked, &PublishingController::saveFetchedPosts);
    bind(cancelButton_, &QPushButton::clicked, &PublishingController::cancel);
    connect(allPostsBox_, &QCheckBox::toggled, this,
        [this](bool on) { shell_.run([this, on] { setAllPostsQueued(on); }); });
}

void PublishingController::connectPublisher()
{
    Publisher &pub = publisher_;
    pub.onLog = [this](const QString &line) { shell_.log(line); };
    pub.onFileStarted = [this](const QString &verb, const QString &name, int k, int n) {
        shell_.setStatusText(fileProgressText(verb, name, k, n));
        progressBar_->setRange(0, 1000);
        progressBar_->setValue(0);
    };
    pub.onBytes = [this](qint64 done, qint64 total) { showProgress(done, total); };
    pub.onFailure = [this](const QString &text) {
        shell_.setStatusText(text);
        failureShown_ = true;
    };
    pub.onSocketError = [this](int number, const QString &message) {
        shell_.prompts().message(QString(), socketErrorText(number, message));
    };
    pub.onListed
        = [this](const std::string &name) { serverPostsList_->addItem(decodeCp1250(name)); };
    pub.onFinished = [this](const QString &summary) { shell_.setStatusText(summary); };
    pub.onConnected = [this] { loggedIn_ = true; };
    pub.questions.unknownHostKey
        = [this](const HostKeyInfo &key) { return askHostKey(shell_.prompts(), key); };
    pub.questions.untrustedCertificate
        = [this](const CertificateInfo &info) { return askCertificate(shell_.prompts(), info); };
    // The writer's decision holds whether or not the project is saved later.
    pub.questions.certificateAccepted = [this](const std::string &fp) {
        project_.rememberTrustedFingerprint(QString::fromStdString(fp));
    };
}

// ---------------------------------------------------------------------------
// Fields and lists

// An empty password will do over SFTP (the SSH agent and the writer's
// keys), for a Git branch (SSH keys, or a repository that asks none), and
// when the keyring is to fill it.
void PublishingController::updateSendEnabled()
{
    const ServerSettings &server = project_.settings().server;
    sendWanted_ = !password_->text().isEmpty() || password_->remembers()
        || server.target == PublishTarget::Git
        || (server.target == PublishTarget::Server && server.sftp);
    // The commands name where the site goes.
    switch (server.target) {
    case PublishTarget::Git:
        sendButton_->setText(tr("Send to Git"));
        fromServerGroup_->setTitle(tr("Data files from Git"));
        break;
    case PublishTarget::S3:
        sendButton_->setText(tr("Send to S3"));
        fromServerGroup_->setTitle(tr("Data files from S3"));
        break;
    case PublishTarget::Server:
        sendButton_->setText(tr("Send to FTP"));
        fromServerGroup_->setTitle(tr("Data files from FTP"));
        break;
    }
    // While a transfer runs the buttons stay held; they get this state back.
    if (busy())
        return;
    for (QPushButton *b : { sendButton_, wholeSiteButton_, checkButton_ })
        b->setEnabled(sendWanted_);
}

void PublishingController::togglePasswordShown()
{
    password_->toggleShown();
}

// What a send would remove is worked out from the whole record and the data
// folder: only while the list is in sight (a post saved on the Blog tab need
// not wait for it) and not while a send runs.
void PublishingController::showQueue()
{
    if (!busy()) {
        removalsStale_ = !queueView_->isVisible();
        if (!removalsStale_)
            removals_ = queue_.removals();
    }
    queueModel_->refresh(removals_);
    const int n = queue_.count();
    QString text = n == 1 ? tr("1 file to send") : tr("%1 files to send").arg(n);
    if (!removals_.empty())
        text += tr(", %1 to remove").arg(removals_.size());
    queueCountLabel_->setText(text);
}

void PublishingController::removeSelectedFromQueue()
{
    prepareQueue();
    const QModelIndexList selected = queueView_->selectionModel()->selectedIndexes();
    if (selected.isEmpty())
        return;
    queue_.remove(queueModel_->pathAt(selected.first().row()));
}

void PublishingController::setAllPostsQueued(bool all)
{
    prepareQueue();
    queue_.setAllPosts(all);
}

void PublishingController::prepareQueue()
{
    if (!queueLoaded_) {
        queueLoaded_ = true;
        queue_.load(SendRecord::pathFor(project_.filePath()), publishPaths(project_.settings()));
        return;
    }
    queue_.setPaths(publishPaths(project_.settings()));
}

const SendQueue &PublishingController::queue()
{
    prepareQueue();
    return queue_;
}

bool PublishingController::eventFilter(QObject *watched, QEvent *e)
{
    if (e->type() == QEvent::Show && !queueLoaded_)
        shell_.run([this] { prepareQueue(); });
    else if (e->type() == QEvent::Show && removalsStale_)
        shell_.run([this] { showQueue(); });
    return QObject::eventFilter(watched, e);
}

void PublishingController::projectOpened()
{
    {
        // A new queue sends only what the record says the server lacks.
        const QSignalBlocker quiet(allPostsBox_);
        allPostsBox_->setChecked(false);
    }
    queue_.clear();
    queueLoaded_ = !project_.isOpen();
    if (!queueLoaded_ && queueView_->isVisible())
        prepareQueue();
}

void PublishingController::siteGenerated(const QStringList &generated)
{
    if (queueLoaded_) {
        prepareQueue();
        queue_.siteGenerated(generated);
        return;
    }
    // The queue not worked out yet: the record alone keeps the pages, and
    // the queue takes them from it when it is.
    SendRecord record = SendRecord::load(SendRecord::pathFor(project_.filePath()));
    queueSiteFiles(record, generated, publishPaths(project_.settings()));
    record.save();
}

void PublishingController::siteFilesAdded(const QStringList &files)
{
    if (queueLoaded_) {
        prepareQueue();
        queue_.siteFilesAdded(files);
        return;
    }
    // As after Generate: the record keeps them until the queue is worked out.
    SendRecord record = SendRecord::load(SendRecord::pathFor(project_.filePath()));
    QStringList kept = record.siteFiles();
    for (const QString &f : files)
        if (!kept.contains(f))
            kept << f;
    record.setSiteFiles(kept);
    record.save();
}

// A queue not worked out yet finds the post changed (or gone) on disk when it
// is; only a queue already shown needs to be told.
void PublishingController::postSaved(const QString &path)
{
    if (queueLoaded_)
        queue_.postSaved(path);
}

void PublishingController::postDeleted(const QString &path)
{
    if (queueLoaded_)
        queue_.postDeleted(path);
}

// ---------------------------------------------------------------------------
// Transfers

void PublishingController::holdCommands(bool held)
{
    if (held) {
        held_ = { sendButton_->isEnabled(), saveFetchedPostsButton_->isEnabled(),
            allPostsBox_->isEnabled(), removeButton_->isEnabled(),
            readServerPostsAction_->isEnabled() };
    }
    for (QWidget *w :
        { static_cast<QWidget *>(sendButton_), static_cast<QWidget *>(wholeSiteButton_),
            static_cast<QWidget *>(checkButton_), static_cast<QWidget *>(saveFetchedPostsButton_),
            static_cast<QWidget *>(allPostsBox_), static_cast<QWidget *>(removeButton_) })
        w->setEnabled(false);
    readServerPostsAction_->setEnabled(false);
    if (!held) {
        sendButton_->setEnabled(sendWanted_);
        wholeSiteButton_->setEnabled(sendWanted_);
        checkButton_->setEnabled(sendWanted_);
        saveFetchedPostsButton_->setEnabled(held_.saveLocal);
        allPostsBox_->setEnabled(held_.allPosts);
        removeButton_->setEnabled(held_.remove);
        readServerPostsAction_->setEnabled(held_.readServer);
    }
    cancelButton_->setEnabled(held);
    progressBar_->setRange(0, 1000);
    progressBar_->setValue(0);
    emit transferRunning(held);
}

Publisher::Outcome PublishingController::runTransfer(
    const std::function<Publisher::Outcome()> &work, const std::function<void()> &undo)
{
    holdCommands(true);
    struct Release {
        PublishingController *c;
        ~Release()
        {
            c->transferPassword_.clear();
            c->holdCommands(false);
        }
    } release { this };
    failureShown_ = false;
    loggedIn_ = false;
    Publisher::Outcome outcome;
    try {
        outcome = work();
    } catch (const std::exception &e) {
        passwordAccepted(false);
        // The status bar says what went wrong, not which file was moving
        // (unless a refused command has put its failure text there).
        if (!failureShown_)
            shell_.setStatusText(QString::fromLocal8Bit(e.what()).section(QLatin1Char('\n'), 0, 0));
        throw;
    }
    passwordAccepted(outcome == Publisher::Outcome::Completed);
    if (outcome == Publisher::Outcome::Cancelled) {
        if (undo)
            undo();
        shell_.setStatusText(QString::fromLatin1(kTransferCancelled));
    }
    return outcome;
}

// A session that logged in proves the password, whatever came after; a
// bucket has no login (each request is signed on its own), so there only a
// transfer that went through does.
void PublishingController::passwordAccepted(bool completed)
{
    if (loggedIn_ && (completed || transferServer_.target != PublishTarget::S3))
        password_->accepted(transferServer_, transferPassword_);
}

// Bytes moved of the current file; with its size unknown the bar only shows
// that something is going on.
void PublishingController::showProgress(qint64 done, qint64 total)
{
    if (total <= 0) {
        progressBar_->setRange(0, 0);
        return;
    }
    progressBar_->setRange(0, 1000);
    progressBar_->setValue(static_cast<int>(std::min<qint64>(1000, done * 1000 / total)));
}

// The port is converted first, so a port that is not a number stops the
// command before anything connects.
QString PublishingController::configure(const ProjectSettings &settings)
{
    // Reading the keyring runs the event loop (it may wait for the writer to
    // unlock it): no second command starts meanwhile, here or in the rest of
    // the window (Generate, choosing another project).
    struct Preparing {
        PublishingController &c;
        explicit Preparing(PublishingController &controller)
            : c(controller)
        {
            c.preparing_ = true;
            emit c.transferRunning(true);
        }
        ~Preparing()
        {
            c.preparing_ = false;
            emit c.transferRunning(false);
        }
    } preparing { *this };
    const QString password = password_->passwordForTransfer(settings.server);
    publisher_.configure(publishAccount(settings, password, project_.filePath()));
    transferServer_ = settings.server;
    transferPassword_ = password;
    return password;
}

void PublishingController::send()
{
    if (busy())
        return;
    configure(project_.settings());
    prepareQueue();
    // What cannot go (a post deleted since it was queued, a file outside
    // the project's folders) leaves the queue with a line in the log
    // instead of stopping the send.
    queue_.dropUnsendable([this](const QString &line) { shell_.log(line); });
    const bool removing = removalsConfirmed();
    // Each file the server confirms leaves the queue at once: whatever a
    // failure or Cancel leaves behind stays queued (and the record
    // remembers the rest). A post saved while the send waits is queued too.
    SendResult result;
    runTransfer([&] { return queue_.send(publisher_, removing, false, &result); });
    // A removal that failed stays in the record and is tried again.
    if (!result.notRemoved.isEmpty())
        shell_.prompts().message(QString(),
            tr("%1 files could not be removed from the server (see the log); the next send "
               "tries again.")
                .arg(result.notRemoved.size()));
}

bool PublishingController::removalsConfirmed()
{
    const std::vector<std::string> gone = queue_.removals();
    if (gone.empty() || !queue_.removalsNeedConfirmation(gone.size()))
        return true;
    if (askRemovals(shell_.prompts(), gone))
        return true;
    shell_.log(
        tr("%1 files that are no longer part of the site stay on the server").arg(gone.size()));
    return false;
}

void PublishingController::checkServer()
{
    if (busy() || !requireOpenProject(shell_, project_))
        return;
    configure(project_.settings());
    prepareQueue();
    SendResult result;
    if (runTransfer([&] { return queue_.check(publisher_, &result); })
        != Publisher::Outcome::Completed)
        return;
    // Named as the queue list names them.
    QStringList differing;
    const PublishPaths &paths = queue_.paths();
    for (const QString &f : result.sentAgain) {
        const bool page
            = !paths.mainFolder.isEmpty() && f.startsWith(WithTrailingSeparator(paths.mainFolder));
        differing << (page ? siteRelativePath(paths.mainFolder, f) : f.mid(f.lastIndexOf('/') + 1));
    }
    for (const QString &name : differing)
        shell_.log(tr("Lacking or different on the server: %1").arg(name));
    shell_.prompts().message(tr("Check the server"), checkReport(differing, sendButton_->text().remove(QLatin1Char('&'))));
}

void PublishingController::sendWholeSite()
{
    if (busy())
        return;
    prepareQueue();
    queue_.queueWholeSite();
    send();
}

void PublishingController::readServerPosts()
{
    if (busy() || !requireOpenProject(shell_, project_))
        return;
    const ProjectSettings settings = project_.settings();
    const QString password = configure(settings);
    if (!hasServerSettings(settings.server, password)) {
        shell_.prompts().message(QString(), QString::fromLatin1(kNoServerSettings));
        return;
    }
    const PublishPaths paths = publishPaths(settings);
    const int listed = serverPostsList_->count();
    runTransfer([&] { return publisher_.list(paths); },
        [&] {
            // A cancelled listing leaves the list as it was.
            while (serverPostsList_->count() > listed)
                delete serverPostsList_->takeItem(serverPostsList_->count() - 1);
        });
}

void PublishingController::saveFetchedPosts()
{
    if (busy())
        return;
    // A session of its own, with the settings as they are now.
    const ProjectSettings settings = project_.settings();
    const PublishPaths paths = publishPaths(settings);
    // Fetched posts need a folder to land in; nothing connects without one.
    if (!QFileInfo(paths.dataFolder).isDir()) {
        shell_.prompts().message(QString(),
            tr("The data folder %1 does not exist. Choose the project's data folder on the "
               "Options tab, or create it, then save the posts again.")
                .arg(paths.dataFolder.isEmpty() ? tr("(none set)") : paths.dataFolder));
        return;
    }
    configure(settings);
    std::vector<std::string> names;
    for (const QString &name : entries(serverPostsList_))
        names.push_back(encodeCp1250(name));
    // The project's record says which local posts are as last sent or
    // fetched: only those may be replaced, and what comes is recorded.
    prepareQueue();
    publisher_.setRecord(&queue_.record());
    struct Forget {
        Publisher &p;
        ~Forget() { p.setRecord(nullptr); }
    } forget { publisher_ };
    FetchResult result;
    if (runTransfer([&] {
            const auto outcome = publisher_.fetch(&names, paths, &result);
            if (outcome == Publisher::Outcome::Completed)
                removeFirst(serverPostsList_, static_cast<int>(names.size()));
            return outcome;
        })
        != Publisher::Outcome::Completed)
        return;
    // The log has each conflict and skip, the status bar the summary.
    const QString report = fetchReport(result, paths.dataFolder);
    if (!report.isEmpty())
        shell_.prompts().message(tr("Save to local"), report);
}

void PublishingController::cancel()
{
    publisher_.cancel();
}

} // namespace tl
