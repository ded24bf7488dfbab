#pragma once
// Publishing a project over its FTP account without a window: sending the
// site files and the post files, listing the server's data folder and
// fetching listed files into the local data folder. The window's FTP tab and
// the command line both run their transfers through here.
#include "publish/sendrecord.h"
#include "publish/transport.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tl {

struct ProjectSettings;
struct ServerSettings;

// Throws AppError("'%s' is not a valid integer value") for a port field that
// is not a number, before anything connects. Over SFTP an empty port field
// gives port 0: the port ~/.ssh/config names for the host, else 22.
PublishAccount publishAccount(const ServerSettings &server, const QString &password);
// The account of wherever the project publishes: its server, or its Git
// branch (the local cache beside the project file, "NAME.git"), or its
// bucket; `secret` is the password, the Git token or the S3 secret.
PublishAccount publishAccount(const ProjectSettings &settings, const QString &secret,
                              const QString &projectFile);
// Whether the project names a server, a user (over FTP) and the remote data
// folder, and a password where one is needed: what fetching the posts asks
// for.
bool hasServerSettings(const ServerSettings &server, const QString &password);

// Where a project's files go on the server.
struct PublishPaths {
    QString mainFolder;     // local main folder: site files keep their path below it
    QString dataFolder;     // local data folder: fetched files land here
    QString archiveFolder;  // below the main folder, ending in "/" (or empty)
    std::string sitePrefix; // remote folder of site files, ending in "/" (or empty)
    std::string dataPrefix; // remote folder of post files, ending in "/" (or empty)
    QString mainPageName;   // the main page's name below the main folder
    // The server the files go to, as the send record names it: protocol,
    // user, host and port ("sftp://jana@example.com:22"). The remote folders
    // are part of each remote name the record holds.
    std::string target;
    // Whether post files go to the server (a Git branch or a bucket without
    // a remote data folder gets the site only).
    bool sendsPosts = true;
};
// The remote folders end with "/" whatever the writer typed.
PublishPaths publishPaths(const ProjectSettings &settings);

// The remote name of a site file below the site prefix: its path below the
// main folder ("archive/2024-01.html" for a month page in the archive
// folder), so that the server gets the local site's layout. A file outside
// the main folder keeps only its bare name.
QString siteRelativePath(const QString &mainFolder, const QString &file);

// The remote names of a site file and of a post file.
std::string remoteSiteName(const PublishPaths &paths, const QString &localFile);
std::string remoteDataName(const PublishPaths &paths, const QString &localFile);

// The files a send would carry, by what the record says the server has:
// the site files whose content differs from what was sent, in their order,
// and the post files of the data folder that differ.
QStringList pendingSiteFiles(const SendRecord &record, const QStringList &siteFiles,
                             const PublishPaths &paths);
QStringList pendingDataFiles(const SendRecord &record, const PublishPaths &paths);
// Every post file of the data folder, in name order.
QStringList allDataFiles(const QString &dataFolder);
// Every file of the main folder and of the archive folder below it, for a
// server that has lost its files: the main folder's files first, in name
// order, then the archive folder's, then the pictures below "media/".
QStringList wholeSiteFiles(const QString &mainFolder, const QString &archiveFolder);

// Keeps the generated site files in the record and returns those the server
// lacks, in the generated order. The caller saves the record.
QStringList queueSiteFiles(SendRecord &record, const QStringList &generated, const PublishPaths &paths);

// Whether a name from the server's data folder names a post file: an
// optional "-", digits, ".txt".
bool isPostFileName(const std::string &name);

// What a send carries and what it may check.
struct SendJob {
    QStringList siteFiles;              // queued pages, in upload order
    QStringList postFiles;              // queued post files
    std::vector<std::string> removals;  // remote names to remove once the uploads are done
    // Every page of the site and every post, for a comparison with the
    // server: when the server does not hold the recorded main page (the
    // cheap check), or when `compareAll` asks, every remote folder is listed
    // and what differs is sent too.
    QStringList allSiteFiles;
    QStringList allPostFiles;
    bool compareAll = false;
};

// What a send did.
struct SendResult {
    int sent = 0;
    qint64 bytes = 0;
    int removed = 0;
    QStringList notRemoved;   // remote names whose removal failed (kept in the record)
    QStringList sentAgain;    // files the comparison with the server found missing or different
    bool serverDiffered = false; // the cheap check found the server changed
};

// What a fetch did.
struct FetchResult {
    int listed = 0;      // post files the server's data folder holds
    int received = 0;    // files that replaced or added a local post (or agreed with it)
    qint64 bytes = 0;
    QStringList skipped; // "NAME: why", for each name not fetched
    QStringList conflicts; // local paths of the server's copies kept beside changed posts
};

// Texts the window and the command line show alike.
// "Sending index.html (1 of 8)": the file a transfer moves now.
QString fileProgressText(const QString &verb, const QString &name, int k, int n);
// "Error 10061: ...": a socket error.
QString socketErrorText(int number, const QString &message);
// Fetching without a server, user, password (FTP) or remote data folder.
extern const char *const kNoServerSettings;
// Log line and status text of a transfer ended by Cancel.
extern const char *const kTransferCancelled;

class Publisher {
public:
    enum class Outcome { Completed, Cancelled };

    Publisher();
    ~Publisher();
    Publisher(const Publisher &) = delete;
    Publisher &operator=(const Publisher &) = delete;

    // ---- events ----
    std::function<void(const QString &line)> onLog;
    // A file's transfer begins: verb ("Sending", "Receiving"), bare name, k of n.
    std::function<void(const QString &verb, const QString &name, int k, int n)> onFileStarted;
    // Bytes of the current file moved so far, of its size (0: unknown).
    std::function<void(qint64 done, qint64 total)> onBytes;
    // The status text of a refused command (see failureText).
    std::function<void(const QString &text)> onFailure;
    // A socket call failed at once: its number and message.
    std::function<void(int number, const QString &message)> onSocketError;
    // A name of the server's listing, as delivered.
    std::function<void(const std::string &name)> onListed;
    // The server confirmed a local file of the running send.
    std::function<void(const QString &localPath)> onFileSent;
    // A send or fetch finished: its summary (also the last log line).
    std::function<void(const QString &summary)> onFinished;
    // The transfer's session connected and logged in: the account's
    // password (token, secret) was accepted.
    std::function<void()> onConnected;
    // The questions a connection may ask (certificates, host keys).
    TransportQuestions questions;

    // The record that sends update (nullptr: none). Each file the server
    // confirms is remembered at once; the record is compacted at the end.
    void setRecord(SendRecord *record) { record_ = record; }

    // The account the next transfers connect to. Each transfer opens its own
    // session with it and closes that session at its end, after success,
    // failure or Cancel, so a changed address or password always takes
    // effect and nothing goes over a session left open by another.
    // A session opened ahead (connectAhead) is dropped.
    void configure(const PublishAccount &account);

    // Opens the next transfer's session now and logs in, so that the login
    // can run while the caller does other work (the command line generates
    // the site meanwhile, on another thread). The next send, check, list or
    // fetch runs on this session instead of opening one. A failure throws
    // as the transfer's own connection would, and leaves no session.
    Outcome connectAhead();

    // Sends a job: with nothing to send, remove or compare it connects to
    // nothing. Otherwise it connects; when the record holds the main page,
    // checks that the server still holds it at its recorded size (else, and
    // with compareAll, lists every remote folder and sends what differs);
    // makes the remote folders (every missing level); uploads the pages,
    // then the posts, logging "Starting transfer of NAME" and "Transfer OK"
    // for each; removes the removals (a failure is logged and leaves its
    // record entry); and quits. A failure of an upload throws at the failing
    // file, the files before it recorded.
    Outcome send(const SendJob &job, const PublishPaths &paths, SendResult *result = nullptr);
    // Lists every remote folder of the job's files and compares names and
    // sizes with the local files; forgets in the record what the server
    // lacks or holds otherwise, and returns those files (`result->sentAgain`)
    // without sending anything.
    Outcome check(const SendJob &job, const PublishPaths &paths, SendResult *result);
    // Connects, lists the remote data folder and reports each post file
    // (onListed; other entries are skipped with a log line), and quits.
    Outcome list(const PublishPaths &paths);
    // Connects, lists the remote data folder when `names` is null, and
    // fetches each post file into the data folder. A local post is replaced
    // only when it is unchanged since it was last sent or fetched (the record
    // knows); otherwise the server's copy is kept in the data folder's
    // "conflicts" folder when it differs, and reported. A name that is no
    // post file, or that the server refuses, is skipped with a log line and
    // the rest still come. Fetched files are recorded. Throws AppError when
    // the data folder does not exist, before connecting.
    Outcome fetch(const std::vector<std::string> *names, const PublishPaths &paths,
                  FetchResult *result = nullptr);

    // Ends the running transfer at once (the operation returns Cancelled).
    void cancel();
    bool busy() const { return busy_; }

private:
    // Opens a session with the configured account, runs `work` on it and
    // closes it, however the work ends.
    // With `keep`, connects first and hands the session over at the end
    // instead of closing it.
    Outcome runTransfer(const std::function<void(Transport &)> &work,
                        std::unique_ptr<Transport> *keep = nullptr);
    void dropAhead();
    void stopIfCancelled() const;
    // Connects and logs in, then tells onConnected.
    void connect(Transport &t);
    void log(const QString &line);
    void finish(const QString &summary);
    void wire(Transport &t);
    // Compares the server's folders with the job's files (see check).
    QStringList compareWithServer(Transport &t, const SendJob &job, const PublishPaths &paths);
    void fetchOne(Transport &t, const std::string &name, const PublishPaths &paths,
                  FetchResult &result);

    PublishAccount account_;
    std::unique_ptr<Transport> ahead_; // opened by connectAhead, not used yet
    Transport *active_ = nullptr; // the running transfer's session
    SendRecord *record_ = nullptr;
    bool busy_ = false;
    bool cancelled_ = false;
};

} // namespace tl
