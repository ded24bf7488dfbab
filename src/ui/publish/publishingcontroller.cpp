#include "ui/publish/publishingcontroller.h"

#include "core/cp1250.h"
#include "core/openproject.h"
#include "core/projects.h"
#include "ui/prompts.h"
#include "ui/publish/sendqueuemodel.h"
#include "ui/windowshell.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QPainter>
#include <QPainterPath>
#include <QProgressBar>
#include <QProxyStyle>
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

// The password field masks with "*" whatever the platform's habit.
class StarMaskStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption *option, const QWidget *widget,
        QStyleHintReturn *returnData) const override
    {
        if (hint == SH_LineEdit_PasswordCharacter)
            return '*';
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

// An eye, drawn in the text colour: open when the password is hidden (the
// button shows it), struck through when the password is shown.
QPixmap eyePixmap(const QColor &colour, bool struck)
{
    const qreal ratio = qApp->devicePixelRatio();
    QPixmap pix(QSize(16, 16) * ratio);
    pix.setDevicePixelRatio(ratio);
    pix.fill(Qt::transparent);
    QPainter p(&pix);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(colour, 1.4));
    QPainterPath lids;
    lids.moveTo(1.5, 8);
    lids.quadTo(8, 1, 14.5, 8);
    lids.quadTo(8, 15, 1.5, 8);
    p.drawPath(lids);
    p.setBrush(colour);
    p.drawEllipse(QPointF(8, 8), 2.3, 2.3);
    if (struck) {
        p.setPen(QPen(colour, 1.6));
        p.drawLine(QPointF(2.5, 13.5), QPointF(13.5, 2.5));
    }
    return pix;
}

QIcon eyeIcon(const QColor &colour)
{
    QIcon icon;
    icon.addPixmap(eyePixmap(colour, false), QIcon::Normal, QIcon::Off);
    icon.addPixmap(eyePixmap(colour, true), QIcon::Normal, QIcon::On);
    return icon;
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

    buildPasswordRow(passwordRow);
    buildPanel(panel);
    connectPublisher();
    // Over SFTP an empty password means the SSH agent and the writer's keys.
    connect(&project_, &OpenProject::edited, this, &PublishingController::updateSendEnabled);
    connect(&project_, &OpenProject::replaced, this, &PublishingController::updateSendEnabled);
    updateSendEnabled();
}

void PublishingController::buildPasswordRow(QWidget *place)
{
    auto *row = new QHBoxLayout(place);
    row->setContentsMargins(0, 0, 0, 0);
    passwordEdit_ = new QLineEdit(place);
    passwordEdit_->setObjectName(QStringLiteral("edtPASSWORD"));
    auto *mask = new StarMaskStyle;
    mask->setParent(passwordEdit_);
    passwordEdit_->setStyle(mask);
    // The line edit takes its mask character when the echo mode is set.
    passwordEdit_->setEchoMode(QLineEdit::Normal);
    passwordEdit_->setEchoMode(QLineEdit::Password);
    // An eye that stays pressed while the password shows.
    showPasswordButton_ = new QToolButton(place);
    showPasswordButton_->setObjectName(QStringLiteral("RxSpeedButton1"));
    showPasswordButton_->setCheckable(true);
    showPasswordButton_->setAutoRaise(true);
    showPasswordButton_->setIcon(eyeIcon(place->palette().color(QPalette::ButtonText)));
    showPasswordButton_->setAccessibleName(tr("Show password"));
    showPasswordButton_->setToolTip(tr("Show password"));
    row->addWidget(passwordEdit_, 1);
    row->addWidget(showPasswordButton_);
    connect(passwordEdit_, &QLineEdit::textChanged, this, &PublishingController::updateSendEnabled);
    connect(showPasswordButton_, &QToolButton::toggled, this, [this](bool shown) {
        passwordEdit_->setEchoMode(shown ? QLineEdit::Normal : QLineEdit::Password);
        showPasswordButton_->setToolTip(shown ? tr("Hide password") : tr("Show password"));
    });
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
    right->addWidget(sendButton_);
    right->addWidget(wholeSiteButton_);
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
    pub.questions.unknownHostKey = [this](const HostKeyInfo &key) { return askHostKey(key); };
    pub.questions.untrustedCertificate
        = [this](const CertificateInfo &info) { return askCertificate(info); };
    // The writer's decision holds whether or not the project is saved later.
    pub.questions.certificateAccepted = [this](const std::string &fp) {
        project_.rememberTrustedFingerprint(QString::fromStdString(fp));
    };
}

// ---------------------------------------------------------------------------
// Fields and lists

void PublishingController::updateSendEnabled()
{
    sendWanted_ = !passwordEdit_->text().isEmpty() || project_.settings().server.sftp;
    // While a transfer runs the buttons stay held; they get this state back.
    if (busy())
        return;
    sendButton_->setEnabled(sendWanted_);
    wholeSiteButton_->setEnabled(sendWanted_);
}

void PublishingController::togglePasswordShown()
{
    showPasswordButton_->toggle();
}

void PublishingController::showQueue()
{
    queueModel_->refresh();
    const int n = queue_.count();
    queueCountLabel_->setText(n == 1 ? tr("1 file to send") : tr("%1 files to send").arg(n));
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
            static_cast<QWidget *>(saveFetchedPostsButton_), static_cast<QWidget *>(allPostsBox_),
            static_cast<QWidget *>(removeButton_) })
        w->setEnabled(false);
    readServerPostsAction_->setEnabled(false);
    if (!held) {
        sendButton_->setEnabled(sendWanted_);
        wholeSiteButton_->setEnabled(sendWanted_);
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

void PublishingController::runTransfer(
    const std::function<Publisher::Outcome()> &work, const std::function<void()> &undo)
{
    holdCommands(true);
    struct Release {
        PublishingController *c;
        ~Release() { c->holdCommands(false); }
    } release { this };
    failureShown_ = false;
    Publisher::Outcome outcome;
    try {
        outcome = work();
    } catch (const std::exception &e) {
        // The status bar says what went wrong, not which file was moving
        // (unless a refused command has put its failure text there).
        if (!failureShown_)
            shell_.setStatusText(QString::fromLocal8Bit(e.what()).section(QLatin1Char('\n'), 0, 0));
        throw;
    }
    if (outcome == Publisher::Outcome::Cancelled) {
        if (undo)
            undo();
        shell_.setStatusText(QString::fromLatin1(kTransferCancelled));
    }
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
void PublishingController::configure(const ProjectSettings &settings)
{
    publisher_.configure(publishAccount(settings.server, passwordEdit_->text()));
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
    // Each file the server confirms leaves the queue at once: whatever a
    // failure or Cancel leaves behind stays queued (and the record
    // remembers the rest). A post saved while the send waits is queued too.
    runTransfer([this] { return queue_.send(publisher_); });
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
    if (!hasServerSettings(settings.server, passwordEdit_->text())) {
        shell_.prompts().message(QString(), QString::fromLatin1(kNoServerSettings));
        return;
    }
    configure(settings);
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
    configure(settings);
    std::vector<std::string> names;
    for (const QString &name : entries(serverPostsList_))
        names.push_back(encodeCp1250(name));
    const PublishPaths paths = publishPaths(settings);
    // The project's record says which local posts are as last sent or
    // fetched: only those may be replaced, and what comes is recorded.
    prepareQueue();
    publisher_.setRecord(&queue_.record());
    struct Forget {
        Publisher &p;
        ~Forget() { p.setRecord(nullptr); }
    } forget { publisher_ };
    runTransfer([&] {
        const auto outcome = publisher_.fetch(&names, paths);
        if (outcome == Publisher::Outcome::Completed)
            removeFirst(serverPostsList_, static_cast<int>(names.size()));
        return outcome;
    });
}

void PublishingController::cancel()
{
    publisher_.cancel();
}

// ---------------------------------------------------------------------------
// Questions of a connection

bool PublishingController::askHostKey(const HostKeyInfo &key)
{
    const QString where = key.port == 22
        ? QString::fromStdString(key.host)
        : QStringLiteral("%1 port %2").arg(QString::fromStdString(key.host)).arg(key.port);
    const QString text
        = QStringLiteral("The server %1 is not known yet. It identifies itself with the %2 key\n\n"
                         "%3\n\nCompare this fingerprint with the one your host publishes. "
                         "Trust this server and remember its key?")
              .arg(
                  where, QString::fromStdString(key.type), QString::fromStdString(key.fingerprint));
    return shell_.prompts().question(
               QStringLiteral("Unknown server"), text, false, Prompts::Answer::No)
        == Prompts::Answer::Yes;
}

bool PublishingController::askCertificate(const CertificateInfo &info)
{
    const QString warning = info.Changed
        ? QStringLiteral("WARNING: this is not the certificate you accepted for this "
                         "server before. Someone may be listening in, or the host "
                         "has a new certificate.\n\n")
        : QString();
    const QString text = warning
        + QStringLiteral("The server's certificate is not vouched for by a trusted authority "
                         "(%1).\n\nSubject: %2\nIssuer: %3\nSHA-256 fingerprint:\n%4\n\n"
                         "Compare the fingerprint with the one your host publishes. Accept this "
                         "certificate and remember it for this project?")
              .arg(QString::fromStdString(info.Problems), QString::fromStdString(info.Subject),
                  QString::fromStdString(info.Issuer), QString::fromStdString(info.Fingerprint));
    return shell_.prompts().question(info.Changed ? QStringLiteral("Certificate changed")
                                                  : QStringLiteral("Untrusted certificate"),
               text, false, Prompts::Answer::No)
        == Prompts::Answer::Yes;
}

} // namespace tl
