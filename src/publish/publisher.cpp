#include "publish/publisher.h"

#include "core/cp1250.h"
#include "core/errors.h"
#include "core/inivalue.h"
#include "core/programfiles.h"
#include "core/projectsettings.h"
#include "core/sitemedia.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <iterator>

#include <dirent.h>
#include <sys/stat.h>
#include <map>
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

} // namespace

PublishAccount publishAccount(const ServerSettings &server, const QString &password)
{
    PublishAccount a;
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

PublishAccount publishAccount(const ProjectSettings &settings, const QString &secret,
                              const QString &projectFile)
{
    const ServerSettings &srv = settings.server;
    if (srv.target == PublishTarget::Server)
        return publishAccount(srv, secret);
    PublishAccount a;
    a.password = secret.toStdString();
    a.authorName = settings.content.author.toStdString();
    a.authorEmail = settings.content.email.toStdString();
    a.pageCharset = settings.content.charset == OutputCharset::Utf8 ? "utf-8"
        : settings.content.charset == OutputCharset::Iso88592     ? "iso-8859-2"
                                                                  : "windows-1250";
    if (srv.target == PublishTarget::Git) {
        a.kind = PublishAccount::Kind::Git;
        a.gitUrl = srv.gitUrl.trimmed().toStdString();
        a.gitBranch = srv.gitBranch.trimmed().toStdString();
        QString cache = projectFile;
        if (cache.endsWith(QLatin1String(".tvp")))
            cache.chop(4);
        a.gitCacheFolder = (cache + QStringLiteral(".git")).toStdString();
    } else {
        a.kind = PublishAccount::Kind::S3;
        a.s3Endpoint = srv.s3Endpoint.trimmed().toStdString();
        a.s3Region = srv.s3Region.trimmed().toStdString();
        a.s3Bucket = srv.s3Bucket.trimmed().toStdString();
        a.s3KeyId = srv.s3KeyId.trimmed().toStdString();
    }
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
    p.mainPageName = n.site.mainPageName;
    const ServerSettings &srv = n.server;
    const QString port = srv.port.trimmed().isEmpty() ? QString::fromLatin1(srv.sftp ? "22" : "21")
                                                       : srv.port.trimmed();
    // The remote folders are part of every remote name the record holds,
    // so the server alone names the record's target.
    p.target = (srv.sftp ? "sftp://" : "ftp://") + wireText(srv.user) + "@"
        + wireText(srv.host.trimmed().toLower()) + ":" + port.toStdString();
    if (srv.target == PublishTarget::Git) {
        p.target = "git:" + srv.gitUrl.trimmed().toStdString() + "#" + srv.gitBranch.trimmed().toStdString();
        // An empty data folder: the posts stay off the branch.
        p.sendsPosts = !srv.remoteDataFolder.trimmed().isEmpty();
    } else if (srv.target == PublishTarget::S3) {
        p.target = "s3:" + srv.s3Endpoint.trimmed().toStdString() + "/" + srv.s3Bucket.trimmed().toStdString();
        p.sendsPosts = !srv.remoteDataFolder.trimmed().isEmpty();
    }
    return p;
}

bool isPostFileName(const std::string &name)
{
    std::size_t i = 0;
    if (i < name.size() && name[i] == '-')
        ++i;
    const std::size_t digits = i;
    while (i < name.size() && name[i] >= '0' && name[i] <= '9')
        ++i;
    return i > digits && name.compare(i, std::string::npos, ".txt") == 0;
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
    const std::string path = pathBytes(folder.isEmpty() ? QStringLiteral(".") : folder);
    // Ordinary files only: no folders, no hidden or special files. The
    // folder's own entry types tell most of it, so a folder of 100,000 posts
    // is listed without asking the file system about each.
    std::vector<std::string> names;
    if (DIR *dir = ::opendir(path.c_str())) {
        while (const dirent *e = ::readdir(dir)) {
            const std::string name = e->d_name;
            if (name.empty() || name[0] == '.' || name.size() < 4)
                continue;
            const std::string ext = name.substr(name.size() - 4);
            if (ext.size() != 4 || ext[0] != '.' || (ext[1] | 0x20) != 't' || (ext[2] | 0x20) != 'x'
                || (ext[3] | 0x20) != 't')
                continue;
            bool regular = e->d_type == DT_REG;
            if (e->d_type == DT_UNKNOWN || e->d_type == DT_LNK) {
                struct stat st;
                regular = ::stat((path + "/" + name).c_str(), &st) == 0 && S_ISREG(st.st_mode);
            }
            if (regular)
                names.push_back(name);
        }
        ::closedir(dir);
    }
    std::sort(names.begin(), names.end());
    QStringList out;
    out.reserve(static_cast<qsizetype>(names.size()));
    for (const std::string &name : names)
        out << folder + pathText(name);
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
    if (server.target == PublishTarget::Git)
        return !server.gitUrl.trimmed().isEmpty() && !server.remoteDataFolder.isEmpty();
    if (server.target == PublishTarget::S3)
        return !server.s3Endpoint.trimmed().isEmpty() && !server.s3Bucket.trimmed().isEmpty()
            && !server.s3KeyId.trimmed().isEmpty() && !password.isEmpty()
            && !server.remoteDataFolder.isEmpty();
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
    onConnected = nullptr;
    questions = {};
    dropAhead();
}

void Publisher::configure(const PublishAccount &account)
{
    dropAhead();
    account_ = account;
}

void Publisher::dropAhead()
{
    if (!ahead_)
        return;
    // A session nothing used: say goodbye, but a server that no longer
    // answers keeps nobody waiting.
    try {
        ahead_->disconnect();
    } catch (const std::exception &) {
        ahead_->drop();
    }
    ahead_.reset();
}

Publisher::Outcome Publisher::connectAhead()
{
    dropAhead();
    std::unique_ptr<Transport> session;
    const Outcome outcome = runTransfer([](Transport &) {}, &session);
    ahead_ = std::move(session);
    return outcome;
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

void Publisher::connect(Transport &t)
{
    // A session opened ahead is logged in already, and said so then.
    if (t.connected())
        return;
    t.connect();
    if (onConnected)
        onConnected();
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
Publisher::Outcome Publisher::runTransfer(const std::function<void(Transport &)> &work,
                                         std::unique_ptr<Transport> *keep)
{
    busy_ = true;
    cancelled_ = false;
    std::unique_ptr<Transport> session = std::move(ahead_);
    if (!session) {
        session = makeTransport(account_, questions);
        wire(*session);
    }
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
        if (keep)
            connect(*session);
        work(*session);
    } catch (const std::exception &) {
        session->drop();
        if (!cancelled_)
            throw;
        log(QString::fromLatin1(kTransferCancelled));
        return Outcome::Cancelled;
    }
    if (keep)
        *keep = std::move(session);
    return Outcome::Completed;
}

namespace {

// The folder part of a remote name ("www/archiv/" of "www/archiv/a.html").
std::string remoteFolderOf(const std::string &remote)
{
    const std::size_t slash = remote.rfind('/');
    return slash == std::string::npos ? std::string() : remote.substr(0, slash + 1);
}

std::string remoteBareName(const std::string &remote)
{
    const std::size_t slash = remote.rfind('/');
    return slash == std::string::npos ? remote : remote.substr(slash + 1);
}

// A folder as a transport names it: without its trailing "/" ("" stays the
// login folder).
std::string folderArgument(std::string folder)
{
    if (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    return folder;
}

void appendMissing(QStringList &list, const QStringList &more)
{
    std::set<QString> have(list.begin(), list.end());
    for (const QString &f : more)
        if (have.insert(f).second)
            list << f;
}

// Whether two files hold the same bytes.
bool sameBytes(const QString &a, const QString &b)
{
    const SendRecord::Content ca = SendRecord::contentOf(a);
    const SendRecord::Content cb = SendRecord::contentOf(b);
    return ca.valid() && cb.valid() && ca.size == cb.size && ca.sha256 == cb.sha256;
}

} // namespace

QStringList Publisher::compareWithServer(Transport &t, const SendJob &job, const PublishPaths &paths)
{
    // Every remote folder that should hold one of the files, listed once.
    struct Local {
        QString path;
        std::string remote;
    };
    std::vector<Local> locals;
    for (const QString &f : job.allSiteFiles)
        locals.push_back({f, remoteSiteName(paths, f)});
    for (const QString &f : job.allPostFiles)
        locals.push_back({f, remoteDataName(paths, f)});
    std::map<std::string, std::map<std::string, qint64>> listings;
    for (const Local &l : locals) {
        const std::string folder = remoteFolderOf(l.remote);
        if (listings.count(folder))
            continue;
        stopIfCancelled();
        std::map<std::string, qint64> &names = listings[folder];
        try {
            for (const RemoteEntry &e : t.list(folderArgument(folder)))
                if (e.kind != RemoteEntry::Kind::Folder)
                    names[e.name] = e.size;
        } catch (const EAbortError &) {
            throw;
        } catch (const ESockError &) {
            throw;
        } catch (const AppError &) {
            // A folder the server does not have holds none of the files.
        }
    }
    QStringList differing;
    for (const Local &l : locals) {
        const auto &names = listings[remoteFolderOf(l.remote)];
        const auto it = names.find(remoteBareName(l.remote));
        const qint64 size = QFileInfo(l.path).size();
        if (it != names.end() && (it->second < 0 || it->second == size))
            continue;
        differing << l.path;
        if (record_)
            record_->forget(l.remote);
    }
    return differing;
}

Publisher::Outcome Publisher::check(const SendJob &job, const PublishPaths &paths, SendResult *result)
{
    return runTransfer([&](Transport &t) {
        connect(t);
        log(QStringLiteral("Comparing the server with the site..."));
        const QStringList differing = compareWithServer(t, job, paths);
        if (result)
            result->sentAgain = differing;
        if (record_)
            record_->save();
        stopIfCancelled();
        t.disconnect();
        finish(differing.isEmpty()
                   ? QStringLiteral("The server holds the whole site")
                   : QStringLiteral("The server lacks or holds otherwise %1 %2")
                         .arg(differing.size())
                         .arg(differing.size() == 1 ? QStringLiteral("file") : QStringLiteral("files")));
    });
}

Publisher::Outcome Publisher::send(const SendJob &job, const PublishPaths &paths, SendResult *result)
{
    SendResult local;
    SendResult &r = result ? *result : local;
    r = SendResult();
    if (job.siteFiles.isEmpty() && job.postFiles.isEmpty() && job.removals.empty() && !job.compareAll) {
        // Nothing the server lacks: no connection, no login.
        finish(QStringLiteral("Nothing to send"));
        return Outcome::Completed;
    }
    return runTransfer([&](Transport &t) {
        QElapsedTimer clock;
        clock.start();
        connect(t);

        QStringList site = job.siteFiles;
        QStringList posts = job.postFiles;

        // The record stands in for the server only while the server still
        // holds the main page the record says it was sent.
        bool compare = job.compareAll;
        const std::string mainPage =
            paths.sitePrefix + wireText(siteRelativePath(paths.mainFolder,
                                                         WithTrailingSeparator(paths.mainFolder)
                                                             + paths.mainPageName));
        const SendRecord::Content *recorded = record_ ? record_->sent(mainPage) : nullptr;
        if (!compare && recorded && !paths.mainPageName.isEmpty()) {
            const qint64 size = t.remoteSize(mainPage);
            if (size != recorded->size) {
                compare = true;
                r.serverDiffered = true;
                log(size < 0 ? QStringLiteral("The server no longer holds %1: comparing every folder "
                                              "with the site")
                                   .arg(decodeCp1250(mainPage))
                             : QStringLiteral("The server holds another %1 than was sent: comparing "
                                              "every folder with the site")
                                   .arg(decodeCp1250(mainPage)));
            }
        }
        if (compare) {
            r.sentAgain = compareWithServer(t, job, paths);
            QStringList againSite, againPosts;
            const std::set<QString> postSet(job.allPostFiles.begin(), job.allPostFiles.end());
            for (const QString &f : r.sentAgain)
                (postSet.count(f) ? againPosts : againSite) << f;
            appendMissing(site, againSite);
            appendMissing(posts, againPosts);
            log(QStringLiteral("%1 files to send after the comparison").arg(site.size() + posts.size()));
        }

        // The remote folders first, every missing level: a new server has
        // not even the main and data folders.
        std::vector<Upload> uploads;
        std::vector<QString> localOf;
        std::set<std::string> folders;
        for (const QString &f : site) {
            const std::string remote = remoteSiteName(paths, f);
            uploads.push_back({f.toStdString(), remote});
            localOf.push_back(f);
            folders.insert(remoteFolderOf(remote));
        }
        for (const QString &f : posts) {
            const std::string remote = remoteDataName(paths, f);
            uploads.push_back({f.toStdString(), remote});
            localOf.push_back(f);
            folders.insert(remoteFolderOf(remote));
        }
        for (const std::string &folder : folders) {
            stopIfCancelled();
            if (!folder.empty())
                t.makeFolders(folderArgument(folder));
        }

        // The uploads. A file changed during its upload then differs from
        // the record and goes again.
        const int total = static_cast<int>(uploads.size());
        std::vector<SendRecord::Content> contents(uploads.size());
        // Every file's content is taken before any travels, so that what is
        // recorded is what went, whatever order a transport confirms in.
        for (std::size_t i = 0; i < uploads.size(); ++i)
            contents[i] = SendRecord::contentOf(localOf[i]);
        const auto started = [&](std::size_t i) {
            stopIfCancelled();
            const QString name = bareName(localOf[i]);
            log(QStringLiteral("Starting transfer of ") + name);
            if (onFileStarted)
                onFileStarted(QStringLiteral("Sending"), name, static_cast<int>(i) + 1, total);
        };
        if (!uploads.empty()) {
            started(0);
            t.uploadMany(uploads, [&](std::size_t i) {
                r.bytes += contents[i].valid() ? contents[i].size : QFileInfo(localOf[i]).size();
                ++r.sent;
                log(QStringLiteral("Transfer OK"));
                if (record_)
                    record_->confirmSent(uploads[i].remoteName, contents[i]);
                if (onFileSent)
                    onFileSent(localOf[i]);
                if (i + 1 < uploads.size())
                    started(i + 1);
            });
        }

        // Then what is no longer part of the site, now that no page links
        // to it any more.
        std::vector<std::string> removed;
        for (const std::string &remote : job.removals) {
            stopIfCancelled();
            try {
                t.remove(remote);
                removed.push_back(remote);
            } catch (const EAbortError &) {
                throw;
            } catch (const ESockError &) {
                throw;
            } catch (const AppError &e) {
                if (t.remoteSize(remote) < 0 && record_) {
                    // Gone already (someone removed it by hand).
                    record_->forget(remote);
                    continue;
                }
                r.notRemoved << decodeCp1250(remote);
                log(QStringLiteral("Could not remove %1: %2")
                        .arg(decodeCp1250(remote), QString::fromLocal8Bit(e.what())));
            }
        }
        // Only now does a Git branch get its commit: the uploads are
        // confirmed, and the removals are done.
        stopIfCancelled();
        t.finish();
        for (const std::string &remote : removed) {
            ++r.removed;
            log(QStringLiteral("Removed ") + decodeCp1250(remote));
            if (record_)
                record_->forget(remote);
        }
        if (record_)
            record_->save();
        stopIfCancelled();
        t.disconnect();
        QString summary = transferSummary(QStringLiteral("Sent"), r.sent, r.bytes, clock.elapsed());
        if (r.removed > 0)
            summary += QStringLiteral("; removed %1").arg(r.removed);
        if (!r.notRemoved.isEmpty())
            summary += QStringLiteral("; %1 could not be removed").arg(r.notRemoved.size());
        finish(summary);
    });
}

Publisher::Outcome Publisher::list(const PublishPaths &paths)
{
    return runTransfer([&](Transport &t) {
        connect(t);
        for (const RemoteEntry &e : t.list(folderArgument(paths.dataPrefix))) {
            if (e.kind == RemoteEntry::Kind::Folder)
                continue;
            if (e.kind == RemoteEntry::Kind::Other || !isPostFileName(e.name)) {
                log(QStringLiteral("Skipped %1: not a post file").arg(printableName(decodeCp1250(e.name))));
                continue;
            }
            if (onListed)
                onListed(e.name);
        }
        stopIfCancelled();
        t.disconnect();
    });
}

void Publisher::fetchOne(Transport &t, const std::string &name, const PublishPaths &paths,
                         FetchResult &r)
{
    const QString shown = printableName(decodeCp1250(name));
    // Whatever the server lists, only post files come, and only into the
    // data folder: a name with a folder separator or a control character
    // is no post name.
    if (!isPostFileName(name)) {
        r.skipped << shown + QStringLiteral(": not a post file");
        log(QStringLiteral("Skipped %1: not a post file").arg(shown));
        return;
    }
    const QString folder = WithTrailingSeparator(paths.dataFolder);
    const QString local = folder + QString::fromLatin1(name.c_str());
    const std::string remote = paths.dataPrefix + name;
    log(QStringLiteral("Starting transfer of ") + shown);

    // A post changed here since it was last sent or fetched is the writer's:
    // the server's copy goes beside it, never over it.
    // (Where something else than a file stands, the download says why it
    // cannot go there.)
    const bool exists = QFileInfo(local).isFile();
    const SendRecord::Content *known = record_ ? record_->sent(remote) : nullptr;
    const bool unchanged = exists && known && !record_->needsSending(remote, local);
    const QString target = !exists || unchanged
        ? local
        : folder + QStringLiteral("conflicts/") + QString::fromLatin1(name.c_str())
            + QStringLiteral(".server");
    if (target != local)
        QDir().mkpath(folder + QStringLiteral("conflicts"));
    try {
        t.download(remote, target.toStdString());
    } catch (const EAbortError &) {
        throw;
    } catch (const ESockError &) {
        throw;
    } catch (const AppError &e) {
        // The server refused this one (no right to read it, a folder, ...)
        // or the disk did: the rest can still come.
        const QString why = QString::fromLocal8Bit(e.what()).section(QLatin1Char('\n'), 0, 0);
        r.skipped << shown + QStringLiteral(": ") + why;
        log(QStringLiteral("Skipped %1: %2").arg(shown, why));
        return;
    }
    const SendRecord::Content got = SendRecord::contentOf(target);
    r.bytes += got.size;
    if (target == local) {
        ++r.received;
        if (record_)
            record_->confirmSent(remote, got);
        log(QStringLiteral("Transfer OK"));
        return;
    }
    if (sameBytes(target, local)) {
        // Both hold the same: nothing to keep apart.
        QFile::remove(target);
        ++r.received;
        if (record_)
            record_->confirmSent(remote, SendRecord::contentOf(local));
        log(QStringLiteral("Transfer OK"));
        return;
    }
    if (known && got.valid() && got.sha256 == known->sha256) {
        // The server still has what was sent or fetched before: the local
        // post is newer and goes with the next send.
        QFile::remove(target);
        log(QStringLiteral("Kept %1: changed here since it was sent; the next send carries it")
                .arg(shown));
        return;
    }
    r.conflicts << target;
    log(QStringLiteral("Conflict: %1 was changed here and on the server; kept both, the "
                       "server's copy is %2")
            .arg(shown, target));
}

Publisher::Outcome Publisher::fetch(const std::vector<std::string> *names, const PublishPaths &paths,
                                    FetchResult *result)
{
    FetchResult local;
    FetchResult &r = result ? *result : local;
    r = FetchResult();
    if (paths.dataFolder.isEmpty() || !QFileInfo(paths.dataFolder).isDir())
        throw AppError(QStringLiteral("The data folder %1 does not exist")
                           .arg(paths.dataFolder.isEmpty() ? QStringLiteral("(none set)")
                                                           : paths.dataFolder)
                           .toLocal8Bit()
                           .toStdString());
    return runTransfer([&](Transport &t) {
        QElapsedTimer clock;
        clock.start();
        connect(t);
        std::vector<std::string> listed;
        if (!names) {
            for (const RemoteEntry &e : t.list(folderArgument(paths.dataPrefix))) {
                const QString shown = printableName(decodeCp1250(e.name));
                if (!isPostFileName(e.name)) {
                    // Not the program's: told, and left where it is.
                    if (e.kind != RemoteEntry::Kind::Folder)
                        log(QStringLiteral("Left on the server: %1 (not a post file)").arg(shown));
                    continue;
                }
                if (e.kind != RemoteEntry::Kind::File) {
                    // A folder, a pipe or a device named like a post: reading
                    // it fails or could wait for ever.
                    ++r.listed;
                    r.skipped << shown + QStringLiteral(": not a regular file");
                    log(QStringLiteral("Skipped %1: not a regular file").arg(shown));
                    continue;
                }
                listed.push_back(e.name);
            }
            names = &listed;
        }
        const int total = static_cast<int>(names->size());
        int k = 0;
        for (const std::string &name : *names) {
            stopIfCancelled();
            ++k;
            if (isPostFileName(name))
                ++r.listed;
            if (onFileStarted)
                onFileStarted(QStringLiteral("Receiving"), printableName(decodeCp1250(name)), k, total);
            fetchOne(t, name, paths, r);
        }
        if (record_)
            record_->save();
        stopIfCancelled();
        t.disconnect();
        QString summary = transferSummary(QStringLiteral("Received"), r.received, r.bytes, clock.elapsed());
        if (!r.skipped.isEmpty())
            summary += QStringLiteral("; %1 skipped").arg(r.skipped.size());
        if (!r.conflicts.isEmpty())
            summary += QStringLiteral("; %1 %2").arg(r.conflicts.size()).arg(
                r.conflicts.size() == 1 ? QStringLiteral("conflict") : QStringLiteral("conflicts"));
        finish(summary);
    });
}

} // namespace tl
