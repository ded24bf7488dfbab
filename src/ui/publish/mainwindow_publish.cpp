// The FTP tab: sending the generated site and the saved posts to the server,
// listing the server's post files and fetching them into the data folder.
#include "ui/mainwindow.h"
#include "ui/publish/publishstate.h"

#include "core/cp1250.h"
#include "core/errors.h"
#include "core/programfiles.h"
#include "core/ini.h"
#include "core/inivalue.h"
#include "core/projectfile.h"
#include "core/projects.h"
#include "ui/prompts.h"
#include "ui/widgets.h"
#include "publish/publisher.h"

#include <QAction>
#include <QActionGroup>
#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QProxyStyle>
#include <QPushButton>
#include <QToolButton>

#include <algorithm>
#include <iterator>

namespace tl {

namespace {

QStringList entries(const QListWidget *list)
{
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        out << list->item(i)->text();
    return out;
}

// Removes the first n entries: those a command has just carried out. Entries
// added while it waited for the network (a post saved meanwhile) stay queued.
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

// Holds off the commands that would disturb a transfer for as long as it
// waits for the network, and gives them back however it ends.
class TransferScope {
public:
    explicit TransferScope(MainWindow &w) : w_(w), st_(*w.publish)
    {
        st_.sendWasEnabled = w.btnSENDFTP->isEnabled();
        st_.saveLocalWasEnabled = w.Button3->isEnabled();
        st_.allFilesWasEnabled = w.chkALLFILES->isEnabled();
        st_.projectsWasEnabled = w.lstPROJEKTY->isEnabled();
        st_.removeWasEnabled = w.RxSpeedButton3->isEnabled();
        st_.heldActions->setEnabled(false);
        w.btnSENDFTP->setEnabled(false);
        w.btnWHOLESITE->setEnabled(false);
        w.Button3->setEnabled(false);
        w.chkALLFILES->setEnabled(false);
        w.lstPROJEKTY->setEnabled(false);
        w.RxSpeedButton3->setEnabled(false);
        w.btnCANCELFTP->setEnabled(true);
        w.pbFTP->setRange(0, 1000);
        w.pbFTP->setValue(0);
    }

    ~TransferScope()
    {
        st_.heldActions->setEnabled(true);
        w_.btnSENDFTP->setEnabled(st_.sendWasEnabled);
        w_.btnWHOLESITE->setEnabled(st_.sendWasEnabled);
        w_.Button3->setEnabled(st_.saveLocalWasEnabled);
        w_.chkALLFILES->setEnabled(st_.allFilesWasEnabled);
        w_.lstPROJEKTY->setEnabled(st_.projectsWasEnabled);
        w_.RxSpeedButton3->setEnabled(st_.removeWasEnabled);
        w_.btnCANCELFTP->setEnabled(false);
        w_.pbFTP->setRange(0, 1000);
        w_.pbFTP->setValue(0);
    }

    TransferScope(const TransferScope &) = delete;
    TransferScope &operator=(const TransferScope &) = delete;

private:
    MainWindow &w_;
    MainWindow::PublishState &st_;
};

// Runs a transfer with the other commands held off. A cancelled transfer
// ends quietly, its lists as they were, and says so in the status bar.
void runTransfer(MainWindow &w, const std::function<Publisher::Outcome()> &work,
                 const std::function<void()> &undo = {})
{
    TransferScope scope(w);
    w.publish->failureShown = false;
    Publisher::Outcome outcome;
    try {
        outcome = work();
    } catch (const std::exception &e) {
        // The status bar says what went wrong, not which file was moving
        // (unless a refused command has put its failure text there).
        if (!w.publish->failureShown)
            w.setStatusText(QString::fromLocal8Bit(e.what()).section(QLatin1Char('\n'), 0, 0));
        throw;
    }
    if (outcome == Publisher::Outcome::Cancelled) {
        if (undo)
            undo();
        w.setStatusText(QString::fromLatin1(kTransferCancelled));
    }
}

// Bytes moved of the current file; with its size unknown the bar only shows
// that something is going on.
void showProgress(MainWindow &w, qint64 done, qint64 total)
{
    if (total <= 0) {
        w.pbFTP->setRange(0, 0);
        return;
    }
    w.pbFTP->setRange(0, 1000);
    w.pbFTP->setValue(static_cast<int>(std::min<qint64>(1000, done * 1000 / total)));
}

// Applies the connection settings of the FTP setup fields to the client. The
// port is converted first, so a port that is not a number stops the command
// before anything changes or connects.
void applyConnectionSettings(MainWindow &w, const ProjectSettings &project)
{
    w.publish->publisher->configure(ftpAccount(project.server, w.edtPASSWORD->text()));
}

} // namespace

void MainWindow::setupPublish()
{
    publish->publisher = std::make_unique<Publisher>();
    Publisher &pub = *publish->publisher;
    pub.setRecord(&publish->record);
    pub.onLog = [this](const QString &line) { log(line); };
    pub.onFileStarted = [this](const QString &verb, const QString &name, int k, int n) {
        setStatusText(fileProgressText(verb, name, k, n));
        pbFTP->setRange(0, 1000);
        pbFTP->setValue(0);
    };
    pub.onBytes = [this](qint64 done, qint64 total) { showProgress(*this, done, total); };
    pub.onFailure = [this](const QString &text) {
        setStatusText(text);
        publish->failureShown = true;
    };
    pub.onSocketError = [this](int number, const QString &message) {
        FTP1Error(static_cast<unsigned>(number), message);
    };
    pub.onListed = [this](const std::string &name) { FTP1ListItem(name); };
    pub.onFinished = [this](const QString &summary) { setStatusText(summary); };
    pub.questions.unknownHostKey = [this](const HostKeyInfo &key) { return askHostKey(key); };
    pub.questions.untrustedCertificate = [this](const CertificateInfo &info) {
        return askCertificate(info);
    };
    pub.questions.certificateAccepted = [this](const std::string &fp) { rememberCertificate(fp); };

    // Passive mode and TLS belong to FTP: SFTP has neither.
    connect(chkSFTP, &QCheckBox::toggled, this, [this](bool sftp) {
        chkPASSIVE->setEnabled(!sftp);
        chkFTPS->setEnabled(!sftp);
        edtPASSWORDChange();
    });

    auto *mask = new StarMaskStyle;
    mask->setParent(this);
    edtPASSWORD->setStyle(mask);
    // The line edit takes its mask character when the echo mode is set.
    edtPASSWORD->setEchoMode(QLineEdit::Normal);
    edtPASSWORD->setEchoMode(QLineEdit::Password);

    publish->heldActions = new QActionGroup(this);
    publish->heldActions->setExclusionPolicy(QActionGroup::ExclusionPolicy::None);
    publish->heldActions->addAction(actGENERATE);
    publish->heldActions->addAction(actREADFROMFTP);

    connect(edtPASSWORD, &QLineEdit::textChanged, this, [this] { run([this] { edtPASSWORDChange(); }); });
    connect(RxSpeedButton1, &QToolButton::clicked, this, [this] { run([this] { RxSpeedButton1Click(); }); });
    connect(RxSpeedButton3, &QToolButton::clicked, this, [this] { run([this] { RxSpeedButton3Click(); }); });
    connect(chkALLFILES, &QCheckBox::toggled, this, [this] { run([this] { chkALLFILESClick(); }); });
    connect(btnSENDFTP, &QPushButton::clicked, this, [this] { run([this] { btnSENDFTPClick(); }); });
    connect(btnWHOLESITE, &QPushButton::clicked, this, [this] { run([this] { btnWHOLESITEClick(); }); });
    connect(actREADFROMFTP, &QAction::triggered, this, [this] { run([this] { actREADFROMFTPExecute(); }); });
    connect(Button3, &QPushButton::clicked, this, [this] { run([this] { Button3Click(); }); });
    connect(btnCANCELFTP, &QPushButton::clicked, this, [this] { run([this] { btnCANCELFTPClick(); }); });
}

// ---------------------------------------------------------------------------
// Fields and lists

void MainWindow::edtPASSWORDChange()
{
    // Over SFTP an empty password means the SSH agent and the writer's keys.
    const bool typed = !edtPASSWORD->text().isEmpty() || chkSFTP->isChecked();
    if (publish->publisher->busy())
        publish->sendWasEnabled = typed; // given back when the transfer ends
    else {
        btnSENDFTP->setEnabled(typed);
        btnWHOLESITE->setEnabled(typed);
    }
}

void MainWindow::RxSpeedButton1Click()
{
    edtPASSWORD->setEchoMode(edtPASSWORD->echoMode() == QLineEdit::Password ? QLineEdit::Normal
                                                                            : QLineEdit::Password);
}

void MainWindow::RxSpeedButton3Click()
{
    const QList<QListWidgetItem *> selected = lstFILESFTP->selectedItems();
    if (selected.isEmpty())
        return;
    delete lstFILESFTP->takeItem(lstFILESFTP->row(selected.first()));
}

void MainWindow::chkALLFILESClick()
{
    if (!chkALLFILES->isChecked()) {
        lstDATAFTP->clear();
        return;
    }
    lstDATAFTP->addItems(allDataFiles(pathDATA->text()));
}

// ---------------------------------------------------------------------------
// The send queue: what the project's record says the server lacks

void MainWindow::loadSendQueue()
{
    publish->record = SendRecord::load(SendRecord::pathFor(projectFilePath(currentProjectName)));
    const PublishPaths paths = publishPaths(projectFromFields());
    lstFILESFTP->clear();
    lstFILESFTP->addItems(pendingSiteFiles(publish->record, publish->record.siteFiles(), paths));
    lstDATAFTP->clear();
    lstDATAFTP->addItems(pendingDataFiles(publish->record, paths));
}

void MainWindow::queueGeneratedSite(const QStringList &generated)
{
    lstFILESFTP->clear();
    lstFILESFTP->addItems(queueSiteFiles(publish->record, generated, publishPaths(projectFromFields())));
    publish->record.save();
}

void MainWindow::queueSavedPost(const QString &path)
{
    for (int i = 0; i < lstDATAFTP->count(); ++i)
        if (lstDATAFTP->item(i)->text() == path)
            return;
    lstDATAFTP->addItem(path);
}

void MainWindow::btnWHOLESITEClick()
{
    if (publish->publisher->busy())
        return;
    lstFILESFTP->clear();
    const PublishPaths paths = publishPaths(projectFromFields());
    lstFILESFTP->addItems(wholeSiteFiles(paths.mainFolder, paths.archiveFolder));
    btnSENDFTPClick();
}

// ---------------------------------------------------------------------------
// Client events

void MainWindow::FTP1Error(unsigned Errno, const QString &Errmsg)
{
    prompts().message(QString(), socketErrorText(static_cast<int>(Errno), Errmsg));
}

bool MainWindow::askHostKey(const HostKeyInfo &key)
{
    const QString where = key.port == 22 ? QString::fromStdString(key.host)
                                         : QStringLiteral("%1 port %2")
                                               .arg(QString::fromStdString(key.host))
                                               .arg(key.port);
    const QString text =
        QStringLiteral("The server %1 is not known yet. It identifies itself with the %2 key\n\n"
                       "%3\n\nCompare this fingerprint with the one your host publishes. "
                       "Trust this server and remember its key?")
            .arg(where, QString::fromStdString(key.type), QString::fromStdString(key.fingerprint));
    return prompts().question(QStringLiteral("Unknown server"), text, false, Prompts::Answer::No)
        == Prompts::Answer::Yes;
}

bool MainWindow::askCertificate(const CertificateInfo &info)
{
    const QString warning =
        info.Changed ? QStringLiteral("WARNING: this is not the certificate you accepted for this "
                                      "server before. Someone may be listening in, or the host "
                                      "has a new certificate.\n\n")
                     : QString();
    const QString text =
        warning
        + QStringLiteral("The server's certificate is not vouched for by a trusted authority "
                         "(%1).\n\nSubject: %2\nIssuer: %3\nSHA-256 fingerprint:\n%4\n\n"
                         "Compare the fingerprint with the one your host publishes. Accept this "
                         "certificate and remember it for this project?")
              .arg(QString::fromStdString(info.Problems), QString::fromStdString(info.Subject),
                   QString::fromStdString(info.Issuer), QString::fromStdString(info.Fingerprint));
    return prompts().question(info.Changed ? QStringLiteral("Certificate changed")
                                           : QStringLiteral("Untrusted certificate"),
                              text, false, Prompts::Answer::No)
        == Prompts::Answer::Yes;
}

// The fingerprint goes into the project file at once: the writer's decision
// holds whether or not the project is saved later.
void MainWindow::rememberCertificate(const std::string &fingerprint)
{
    edtFINGERPRINT->setText(QString::fromStdString(fingerprint));
    if (currentProjectName.isEmpty())
        return;
    projectfile::saveTrustedFingerprint(projectFilePath(currentProjectName),
                                        QString::fromStdString(fingerprint));
}

void MainWindow::FTP1ListItem(const std::string &Listing) { lstFROMFTP->addItem(decodeCp1250(Listing)); }

void MainWindow::btnCANCELFTPClick() { publish->publisher->cancel(); }

// ---------------------------------------------------------------------------
// Commands

void MainWindow::btnSENDFTPClick()
{
    if (publish->publisher->busy())
        return;
    const ProjectSettings project = projectFromFields();
    applyConnectionSettings(*this, project);

    // The lists cannot change while the transfer runs (Generate, "Send all
    // data files" and "Remove from list" are held off), except that a post
    // saved meanwhile is appended to the data files.
    const QStringList siteFiles = entries(lstFILESFTP);
    const QStringList dataFiles = entries(lstDATAFTP);
    const PublishPaths paths = publishPaths(project);

    // Each file the server confirms leaves its list: whatever a failure or
    // Cancel leaves behind stays queued (and the record remembers the rest).
    publish->publisher->onFileSent = [this](const QString &path) {
        for (QListWidget *list : {lstFILESFTP, lstDATAFTP})
            for (int i = 0; i < list->count(); ++i)
                if (list->item(i)->text() == path) {
                    delete list->takeItem(i);
                    return;
                }
    };
    SendJob job;
    job.siteFiles = siteFiles;
    job.postFiles = dataFiles;
    publish->record.setTarget(paths.target);
    publish->publisher->setRecord(&publish->record);
    runTransfer(*this, [&] { return publish->publisher->send(job, paths); });
    publish->publisher->onFileSent = nullptr;
}

void MainWindow::actREADFROMFTPExecute()
{
    if (publish->publisher->busy())
        return;
    if (!checkProjectSelected())
        return;
    const ProjectSettings project = projectFromFields();
    if (!hasServerSettings(project.server, edtPASSWORD->text())) {
        prompts().message(QString(), QString::fromLatin1(kNoServerSettings));
        return;
    }
    applyConnectionSettings(*this, project);
    const PublishPaths paths = publishPaths(project);
    const int listed = lstFROMFTP->count();

    runTransfer(
        *this, [&] { return publish->publisher->list(paths); },
        [&] {
            // A cancelled listing leaves the list as it was.
            while (lstFROMFTP->count() > listed)
                delete lstFROMFTP->takeItem(lstFROMFTP->count() - 1);
        });
}

void MainWindow::Button3Click()
{
    if (publish->publisher->busy())
        return;
    // A session of its own, with the settings as they are now.
    const ProjectSettings project = projectFromFields();
    applyConnectionSettings(*this, project);
    std::vector<std::string> names;
    for (const QString &n : entries(lstFROMFTP))
        names.push_back(encodeCp1250(n));
    const PublishPaths paths = publishPaths(project);
    publish->record.setTarget(paths.target);
    publish->publisher->setRecord(&publish->record);

    runTransfer(*this, [&] {
        const auto outcome = publish->publisher->fetch(&names, paths);
        if (outcome == Publisher::Outcome::Completed)
            removeFirst(lstFROMFTP, static_cast<int>(names.size()));
        return outcome;
    });
}

} // namespace tl
