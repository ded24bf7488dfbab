#include "publish/publisher.h"

#include "core/cp1250.h"
#include "core/errors.h"
#include "core/inivalue.h"
#include "core/programfiles.h"
#include "core/projectsettings.h"
#include "core/sitemedia.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>

#include <iterator>
#include <set>

namespace tl {

const char *const kTransferCancelled = "Transfer cancelled";
const char *const kNoServerSettings = "Please setup FTP parameters";

namespace {

QString bareName(const QString &path) { return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1); }

std::string wireText(const QString &s) { return encodeCp1250(s); }

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

// "Sent 33 files (1.2 MB) in 3.4 s": what a finished transfer moved.
QString transferSummary(const QString &verb, int files, qint64 bytes, qint64 milliseconds)
{
    QString size;
    if (bytes < 1000)
        size = QStringLiteral("%1 bytes").arg(bytes);
    else if (bytes < 1000 * 1000)
        size = QStringLiteral("%1 kB").arg(bytes / 1000.0, 0, 'f', 1);
    else
        size = QStringLiteral("%1 MB").arg(bytes / 1e6, 0, 'f', 1);
    return QStringLiteral("%1 %2 %3 (%4) in %5 s")
        .arg(verb)
        .arg(files)
        .arg(files == 1 ? QStringLiteral("file") : QStringLiteral("files"))
        .arg(size)
        .arg(milliseconds / 1000.0, 0, 'f', 1);
}

// A name from a server listing that can only name a file directly in the
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

} // namespace

FtpAccount ftpAccount(const ServerSettings &server, const QString &password)
{
    FtpAccount a;
    a.sftp = server.sftp;
    const std::string port = server.port.toStdString();
    // Over SFTP an empty port leaves the port to ~/.ssh/config (else 22).
    a.port = a.sftp && iniTrimControls(port).empty() ? 0 : strToInt(port);
    a.host = server.host.toStdString();
    a.user = wireText(server.user);
    a.password = wireText(password);
    a.useProxy = server.useProxy;
    a.passive = server.passive;
    a.tls = server.tls;
    a.trustedFingerprint = server.trustedFingerprint.toStdString();
    a.proxyHost = server.proxyHost.toStdString();
    return a;
}

PublishPaths publishPaths(const ProjectSettings &settings)
{
    const ProjectSettings n = settings.normalized();
    PublishPaths p;
    p.mainFolder = n.site.mainFolder;
    p.dataFolder = n.site.dataFolder;
    p.archiveFolder = n.site.archiveFolder;
    p.sitePrefix = wireText(n.server.remoteMainFolder);
    p.dataPrefix = wireText(n.server.remoteDataFolder);
    return p;
}

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

std::string remoteSiteName(const PublishPaths &paths, const QString &localFile)
{
    return paths.sitePrefix + wireText(siteRelativePath(paths.mainFolder, localFile));
}

std::string remoteDataName(const PublishPaths &paths, const QString &localFile)
{
    return paths.dataPrefix + wireText(bareName(localFile));
}

QStringList pendingSiteFiles(const SendRecord &record, const QStringList &siteFiles,
                             const PublishPaths &paths)
{
    QStringList out;
    for (const QString &f : siteFiles)
        if (record.needsSending(remoteSiteName(paths, f), f))
            out << f;
    return out;
}

QStringList allDataFiles(const QString &dataFolder)
{
    const QString folder = WithTrailingSeparator(dataFolder);
    const QDir dir(folder.isEmpty() ? QStringLiteral(".") : folder);
    // Ordinary files only: no folders, no hidden or system files.
    QStringList out;
    for (const QString &name : dir.entryList({QStringLiteral("*.txt")}, QDir::Files, QDir::Name))
        out << folder + name;
    return out;
}

QStringList pendingDataFiles(const SendRecord &record, const PublishPaths &paths)
{
    QStringList out;
    for (const QString &f : allDataFiles(paths.dataFolder))
        if (record.needsSending(remoteDataName(paths, f), f))
            out << f;
    return out;
}

QStringList wholeSiteFiles(const QString &mainFolder, const QString &archiveFolder)
{
    QStringList out;
    std::set<QString> listed; // an archive folder may be the main folder itself
    const auto addFilesOf = [&](const QString &folder) {
        const QDir dir(folder);
        for (const QString &name : dir.entryList(QDir::Files, QDir::Name)) {
            const QString path = QDir::cleanPath(dir.filePath(name));
            if (listed.insert(path).second)
                out << path;
        }
    };
    if (mainFolder.isEmpty())
        return out;
    addFilesOf(mainFolder);
    if (!archiveFolder.isEmpty())
        addFilesOf(WithTrailingSeparator(mainFolder) + archiveFolder);
    for (const QString &picture : siteMediaFiles(mainFolder))
        if (listed.insert(QDir::cleanPath(picture)).second)
            out << QDir::cleanPath(picture);
    return out;
}

bool hasServerSettings(const ServerSettings &server, const QString &password)
{
    // Over SFTP an empty password means the SSH agent and the writer's keys,
    // and an empty user the one ~/.ssh/config names (else the local user).
    return !server.host.isEmpty() && (!server.user.isEmpty() || server.sftp)
        && (!password.isEmpty() || server.sftp) && !server.remoteDataFolder.isEmpty();
}

Publisher::Publisher() = default;

Publisher::~Publisher()
{
    // Taking a session down may still report (a goodbye to the server):
    // none of it reaches a caller that is going away with the publisher.
    onLog = nullptr;
    onFileStarted = nullptr;
    onBytes = nullptr;
    onFailure = nullptr;
    onSocketError = nullptr;
    onListed = nullptr;
    onFileSent = nullptr;
    onFinished = nullptr;
    questions = {};
}

QStringList queueSiteFiles(SendRecord &record, const QStringList &generated, const PublishPaths &paths)
{
    record.setSiteFiles(generated);
    return pendingSiteFiles(record, generated, paths);
}

QString fileProgressText(const QString &verb, const QString &name, int k, int n)
{
    return QStringLiteral("%1 %2 (%3 of %4)").arg(verb, name).arg(k).arg(n);
}

QString socketErrorText(int number, const QString &message)
{
    return QStringLiteral("Error %1: %2").arg(number).arg(message);
}

// The transport's events reach the publisher's.
void Publisher::wire(Transport &t)
{
    t.onBytes = [this](qint64 done, qint64 total) {
        if (onBytes)
            onBytes(done, total);
    };
    t.onLog = [this](const QString &line) { log(line); };
    t.onFailure = [this](const QString &text) {
        if (onFailure)
            onFailure(text);
    };
    t.onSocketError = [this](int number, const QString &message) {
        if (onSocketError)
            onSocketError(number, message);
    };
}

void Publisher::log(const QString &line)
{
    if (onLog)
        onLog(line);
}

void Publisher::finish(const QString &summary)
{
    log(summary);
    if (onFinished)
        onFinished(summary);
}

void Publisher::stopIfCancelled() const
{
    if (cancelled_)
        throw EAbortError(kTransferCancelled);
}

void Publisher::cancel()
{
    if (!busy_)
        return;
    cancelled_ = true;
    if (active_)
        active_->cancel();
}

// Runs the network part of an operation on a session of its own, opened
// with the account as it is now. A failure after Cancel was pressed is the
// cancellation itself and ends quietly. However the work ends, the session
// is gone afterwards: a failure or Cancel drops it at once (its pending
// replies would confuse anything after it), a success has quit politely.
Publisher::Outcome Publisher::runTransfer(const std::function<void(Transport &)> &work)
{
    busy_ = true;
    cancelled_ = false;
    std::unique_ptr<Transport> session = makeTransport(account_, questions);
    wire(*session);
    active_ = session.get();
    struct Idle {
        Publisher &p;
        ~Idle()
        {
            p.busy_ = false;
            p.active_ = nullptr;
        }
    } idle{*this};
    try {
        work(*session);
    } catch (const std::exception &) {
        session->drop();
        if (!cancelled_)
            throw;
        log(QString::fromLatin1(kTransferCancelled));
        return Outcome::Cancelled;
    }
    return Outcome::Completed;
}

Publisher::Outcome Publisher::send(const QStringList &siteFiles, const QStringList &dataFiles,
                                   const PublishPaths &paths)
{
    return runTransfer([&](Transport &t) {
        QElapsedTimer clock;
        clock.start();
        qint64 bytes = 0;
        t.connect();
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
                const std::string remote = paths.sitePrefix + wireText(folder);
                if (madeFolders.insert(remote).second)
                    t.makeFolders(remote);
            }
        };

        auto sendOne = [&](const QString &local, const QString &relative, const std::string &prefix) {
            stopIfCancelled();
            const QString name = bareName(local);
            log(QStringLiteral("Starting transfer of ") + name);
            ++k;
            if (onFileStarted)
                onFileStarted(QStringLiteral("Sending"), name, k, total);
            makeFolders(relative);
            // The content is taken before it travels: a file changed during
            // the upload then differs from the record and goes again.
            const SendRecord::Content content =
                record_ ? SendRecord::contentOf(local) : SendRecord::Content();
            const std::string remote = prefix + wireText(relative);
            t.upload(local.toStdString(), remote);
            bytes += content.valid() ? content.size : QFileInfo(local).size();
            log(QStringLiteral("Transfer OK"));
            if (record_)
                record_->confirmSent(remote, content);
            if (onFileSent)
                onFileSent(k);
        };

        for (const QString &file : siteFiles)
            sendOne(file, siteRelativePath(paths.mainFolder, file), paths.sitePrefix);
        for (const QString &file : dataFiles)
            sendOne(file, bareName(file), paths.dataPrefix);
        if (record_)
            record_->save();
        stopIfCancelled();
        t.disconnect();
        finish(transferSummary(QStringLiteral("Sent"), total, bytes, clock.elapsed()));
    });
}

Publisher::Outcome Publisher::list(const PublishPaths &paths)
{
    return runTransfer([&](Transport &t) {
        t.connect();
        for (const RemoteEntry &e : t.list(paths.dataPrefix))
            if (onListed)
                onListed(e.name);
        stopIfCancelled();
        t.disconnect();
    });
}

Publisher::Outcome Publisher::fetch(const QStringList &names, const PublishPaths &paths)
{
    const QString folder = WithTrailingSeparator(paths.dataFolder);
    return runTransfer([&](Transport &t) {
        QElapsedTimer clock;
        clock.start();
        qint64 bytes = 0;
        int received = 0;
        int skipped = 0;
        t.connect();
        const int total = static_cast<int>(names.size());
        int k = 0;
        for (const QString &entry : names) {
            stopIfCancelled();
            ++k;
            // Whatever the server lists, nothing is written outside the data folder.
            if (!isSafeLocalName(entry)) {
                log(QStringLiteral("Skipped unsafe name ") + printableName(entry));
                ++skipped;
                continue;
            }
            const QString local = folder + entry;
            const QString name = bareName(local);
            log(QStringLiteral("Starting transfer of ") + name);
            if (onFileStarted)
                onFileStarted(QStringLiteral("Receiving"), name, k, total);
            try {
                t.download(paths.dataPrefix + wireText(name), local.toStdString());
            } catch (const LocalFileError &e) {
                // The disk refused this one file: the rest can still come.
                log(QStringLiteral("Skipped ") + name + QStringLiteral(": ")
                    + QString::fromLocal8Bit(e.what()));
                ++skipped;
                continue;
            }
            bytes += QFileInfo(local).size();
            ++received;
            log(QStringLiteral("Transfer OK"));
        }
        stopIfCancelled();
        t.disconnect();
        QString summary = transferSummary(QStringLiteral("Received"), received, bytes, clock.elapsed());
        if (skipped > 0)
            summary += QStringLiteral("; %1 skipped").arg(skipped);
        finish(summary);
    });
}

} // namespace tl
