// The FTP tab: sending the generated site and the saved posts to the server,
// listing the server's post files and fetching them into the data folder.
#include "app/ui/mainwindow.h"
#include "publish/ui/publishstate.h"

#include "app/core/cp1250.h"
#include "app/core/errors.h"
#include "app/core/programfiles.h"
#include "app/ui/prompts.h"
#include "app/ui/widgets.h"
#include "publish/ftpclient.h"

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
#include <set>

namespace tl {

namespace {

// Status bar texts of a refused command, by command kind.
const char *const kFailureTexts[] = {
    "ChangeDir failure",       "MakeDir failure",   "Delete failure", "RemoveDir failure",
    "List failure",            "Rename failure",    "UploadRestore failure",
    "DownloadRestore failure", "Download failure",  "Upload failure", "UploadAppend failure",
    "ReInit failure",          "Allocate failure",  "NList failure",  "DoCommand failure",
};

// Message of the exception that ends a transfer between two files after
// Cancel; it is never shown.
const char *const kCancelled = "Transfer cancelled";

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

QString bareName(const QString &path) { return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1); }

// Texts that travel to the server are the program's 8-bit text.
std::string wireText(const QLineEdit *e) { return encodeCp1250(e->text()); }
std::string wireText(const QString &s) { return encodeCp1250(s); }

// A name from the server's listing that can only name a file directly in the
// data folder: not empty, not "." or "..", no folder separator of any system
// and no control character.
bool isSafeLocalName(const QString &name)
{
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        return false;
    for (const QChar c : name) {
        if (c == QLatin1Char('/') || c == QLatin1Char('\\') || c.category() == QChar::Other_Control)
            return false;
    }
    return true;
}

// A listed name for the log: control characters written as \xNN.
QString printableName(const QString &name)
{
    QString out;
    for (const QChar c : name) {
        if (c.category() == QChar::Other_Control)
            out += QStringLiteral("\\x")
                + QString::number(c.unicode(), 16).rightJustified(2, QLatin1Char('0')).toUpper();
        else
            out += c;
    }
    return out;
}

// The path of a site file below the main folder ("archive/2024-01.html" for
// a month page written into the archive folder), so that the server gets the
// same layout as the local site and the main page's archive links find their
// pages. A file outside the main folder keeps only its bare name.
QString siteRelativePath(const QString &mainFolder, const QString &file)
{
    if (mainFolder.isEmpty())
        return bareName(file);
    const QString root = WithTrailingSeparator(QDir::cleanPath(mainFolder));
    const QString path = QDir::cleanPath(file);
    if (!path.startsWith(root))
        return bareName(file);
    const QString rel = path.mid(root.size());
    if (rel.isEmpty() || rel.split(QLatin1Char('/')).contains(QLatin1String("..")))
        return bareName(file);
    return rel;
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
        st_.busy = true;
        st_.cancelled = false;
        st_.sendWasEnabled = w.btnSENDFTP->isEnabled();
        st_.saveLocalWasEnabled = w.Button3->isEnabled();
        st_.allFilesWasEnabled = w.chkALLFILES->isEnabled();
        st_.projectsWasEnabled = w.lstPROJEKTY->isEnabled();
        st_.removeWasEnabled = w.RxSpeedButton3->isEnabled();
        st_.heldActions->setEnabled(false);
        w.btnSENDFTP->setEnabled(false);
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
        w_.Button3->setEnabled(st_.saveLocalWasEnabled);
        w_.chkALLFILES->setEnabled(st_.allFilesWasEnabled);
        w_.lstPROJEKTY->setEnabled(st_.projectsWasEnabled);
        w_.RxSpeedButton3->setEnabled(st_.removeWasEnabled);
        w_.btnCANCELFTP->setEnabled(false);
        w_.pbFTP->setRange(0, 1000);
        w_.pbFTP->setValue(0);
        st_.makingFolders = false;
        st_.busy = false;
    }

    TransferScope(const TransferScope &) = delete;
    TransferScope &operator=(const TransferScope &) = delete;

private:
    MainWindow &w_;
    MainWindow::PublishState &st_;
};

// Runs the network part of a command with the other commands held off. A
// failure after Cancel was pressed is the cancellation itself: the control
// connection is dropped (its pending replies would confuse the next command)
// and the command ends quietly, its lists as they were.
void runTransfer(MainWindow &w, const std::function<void()> &work,
                 const std::function<void()> &undo = {})
{
    TransferScope scope(w);
    try {
        work();
    } catch (const std::exception &) {
        if (!w.publish->cancelled)
            throw;
        w.FTP1->FtpSocket::Disconnect();
        if (undo)
            undo();
        w.log(QString::fromLatin1(kCancelled));
        w.setStatusText(QString::fromLatin1(kCancelled));
    }
}

void stopIfCancelled(MainWindow &w)
{
    if (w.publish->cancelled)
        throw EAbortError(kCancelled);
}

void startFileProgress(MainWindow &w, const QString &verb, const QString &name, int k, int n)
{
    w.setStatusText(QStringLiteral("%1 %2 (%3 of %4)").arg(verb, name).arg(k).arg(n));
    w.pbFTP->setRange(0, 1000);
    w.pbFTP->setValue(0);
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
void applyConnectionSettings(MainWindow &w)
{
    const int port = strToInt(w.edtPORT->text().toStdString());
    FtpClient &ftp = *w.FTP1;
    if (w.chkPROXY->isChecked()) {
        ftp.Proxy = w.edtFIREWALL->text().toStdString();
        ftp.ProxyPort = port;
    }
    ftp.Host = w.edtFTPADDRESS->text().toStdString();
    ftp.Port = port;
    ftp.UserID = wireText(w.edtUSER);
    ftp.Password = wireText(w.edtPASSWORD);
}

} // namespace

void MainWindow::setupPublish()
{
    publish->ftp = std::make_unique<FtpClient>();
    FTP1 = publish->ftp.get();
    FTP1->Port = 21;
    FTP1->ReportLevel = 0;
    FTP1->ProxyPort = 0;
    FTP1->ParseList = false;
    FTP1->OnError = [this](FtpSocket *, quint16 Errno, const std::string &Errmsg) {
        FTP1Error(Errno, Errmsg);
    };
    FTP1->OnFailure = [this](bool &Handled, FtpCommandKind Trans_Type) { FTP1Failure(Handled, Trans_Type); };
    FTP1->OnListItem = [this](const std::string &Listing) { FTP1ListItem(Listing); };
    FTP1->OnPacketSent = [this](FtpSocket *data) {
        showProgress(*this, data->BytesSent(), FTP1->ByteCount());
    };
    FTP1->OnPacketRecvd = [this](FtpSocket *data) {
        showProgress(*this, data->BytesRecvd(), FTP1->ByteCount());
    };

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
    connect(actREADFROMFTP, &QAction::triggered, this, [this] { run([this] { actREADFROMFTPExecute(); }); });
    connect(Button3, &QPushButton::clicked, this, [this] { run([this] { Button3Click(); }); });
    connect(btnCANCELFTP, &QPushButton::clicked, this, [this] { run([this] { btnCANCELFTPClick(); }); });
}

// ---------------------------------------------------------------------------
// Fields and lists

void MainWindow::edtPASSWORDChange()
{
    const bool typed = !edtPASSWORD->text().isEmpty();
    if (publish->busy)
        publish->sendWasEnabled = typed; // given back when the transfer ends
    else
        btnSENDFTP->setEnabled(typed);
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
    const QString folder = WithTrailingSeparator(pathDATA->text());
    const QDir dir(folder.isEmpty() ? QStringLiteral(".") : folder);
    // Ordinary files only: no folders, no hidden or system files.
    const QStringList names =
        dir.entryList({QStringLiteral("*.txt")}, QDir::Files, QDir::Name);
    for (const QString &name : names)
        lstDATAFTP->addItem(folder + name);
}

// ---------------------------------------------------------------------------
// Client events

void MainWindow::FTP1Error(unsigned Errno, const std::string &Errmsg)
{
    prompts().message(QString(), QStringLiteral("Error ") + QString::number(Errno)
                                     + QStringLiteral(": ") + QString::fromLocal8Bit(Errmsg));
}

void MainWindow::FTP1Failure(bool &Handled, int Trans_Type)
{
    if (publish->makingFolders && Trans_Type == cmdMakeDir) {
        Handled = true; // the folder is there already (or STOR will say why not)
        return;
    }
    if (Trans_Type >= 0 && Trans_Type < static_cast<int>(std::size(kFailureTexts)))
        setStatusText(QString::fromLatin1(kFailureTexts[Trans_Type]));
}

void MainWindow::FTP1ListItem(const std::string &Listing) { lstFROMFTP->addItem(decodeCp1250(Listing)); }

void MainWindow::btnCANCELFTPClick()
{
    if (!publish->busy)
        return;
    publish->cancelled = true;
    FTP1->Cancel();
}

// ---------------------------------------------------------------------------
// Commands

void MainWindow::btnSENDFTPClick()
{
    if (publish->busy)
        return;
    applyConnectionSettings(*this);

    // The lists cannot change while the transfer runs (Generate, "Send all
    // data files" and "Remove from list" are held off), except that a post
    // saved meanwhile is appended to the data files.
    const QStringList siteFiles = entries(lstFILESFTP);
    const QStringList dataFiles = entries(lstDATAFTP);
    const QString mainFolder = pathMAIN->text();
    const std::string sitePrefix = wireText(rPATHMAIN);
    const std::string dataPrefix = wireText(rDATAPATH);

    runTransfer(*this, [&] {
        FTP1->Connect();
        const int total = static_cast<int>(siteFiles.size() + dataFiles.size());
        int k = 0;
        std::set<std::string> madeFolders;

        // Creates the remote folders of a site file's path below the prefix,
        // once per send; a refusal (normally: it exists) is not an error.
        auto makeFolders = [&](const QString &relative) {
            const QStringList parts = relative.split(QLatin1Char('/'));
            QString folder;
            for (int i = 0; i + 1 < parts.size(); ++i) {
                folder += (i ? QStringLiteral("/") : QString()) + parts[i];
                const std::string remote = sitePrefix + wireText(folder);
                if (!madeFolders.insert(remote).second)
                    continue;
                publish->makingFolders = true;
                FTP1->DoCommand("MKD " + remote);
                publish->makingFolders = false;
            }
        };

        auto send = [&](const QString &local, const QString &relative, const std::string &prefix) {
            stopIfCancelled(*this);
            const QString name = bareName(local);
            log(QStringLiteral("Starting transfer of ") + name);
            startFileProgress(*this, QStringLiteral("Sending"), name, ++k, total);
            makeFolders(relative);
            FTP1->Upload(local.toStdString(), prefix + wireText(relative));
            log(QStringLiteral("Transfer OK"));
        };

        for (const QString &file : siteFiles)
            send(file, siteRelativePath(mainFolder, file), sitePrefix);
        for (const QString &file : dataFiles)
            send(file, bareName(file), dataPrefix);
        stopIfCancelled(*this);
        FTP1->Disconnect();

        removeFirst(lstFILESFTP, static_cast<int>(siteFiles.size()));
        removeFirst(lstDATAFTP, static_cast<int>(dataFiles.size()));
        setStatusText(QString());
    });
}

void MainWindow::actREADFROMFTPExecute()
{
    if (publish->busy)
        return;
    if (!checkProjectSelected())
        return;
    if (edtFTPADDRESS->text().isEmpty() || edtUSER->text().isEmpty()
        || edtPASSWORD->text().isEmpty() || rDATAPATH->text().isEmpty()) {
        prompts().message(QString(), QStringLiteral("Please setup FTP parameters"));
        return;
    }
    applyConnectionSettings(*this);
    const std::string folder = wireText(rDATAPATH);
    const int listed = lstFROMFTP->count();

    runTransfer(
        *this,
        [&] {
            FTP1->Connect();
            FTP1->ChangeDir(folder);
            FTP1->NList(); // every name arrives through FTP1ListItem
            stopIfCancelled(*this);
            FTP1->Disconnect();
        },
        [&] {
            // A cancelled listing leaves the list as it was.
            while (lstFROMFTP->count() > listed)
                delete lstFROMFTP->takeItem(lstFROMFTP->count() - 1);
        });
}

void MainWindow::Button3Click()
{
    if (publish->busy)
        return;
    // The client's settings are those of the last "Send to FTP" or "Read
    // data from FTP"; the setup fields are not read here.
    const QStringList names = entries(lstFROMFTP);
    const QString folder = WithTrailingSeparator(pathDATA->text());
    const std::string prefix = wireText(rDATAPATH);

    runTransfer(*this, [&] {
        FTP1->Connect();
        const int total = static_cast<int>(names.size());
        int k = 0;
        for (const QString &entry : names) {
            stopIfCancelled(*this);
            ++k;
            // Whatever the server lists, nothing is written outside the data folder.
            if (!isSafeLocalName(entry)) {
                log(QStringLiteral("Skipped unsafe name ") + printableName(entry));
                continue;
            }
            const QString local = folder + entry;
            const QString name = bareName(local);
            log(QStringLiteral("Starting transfer of ") + name);
            startFileProgress(*this, QStringLiteral("Receiving"), name, k, total);
            FTP1->Download(prefix + wireText(name), local.toStdString());
            log(QStringLiteral("Transfer OK"));
        }
        stopIfCancelled(*this);
        FTP1->Disconnect();
        removeFirst(lstFROMFTP, total);
        setStatusText(QString());
    });
}

} // namespace tl
