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

namespace tl {

struct ProjectSettings;
struct ServerSettings;

// Throws AppError("'%s' is not a valid integer value") for a port field that
// is not a number, before anything connects. Over SFTP an empty port field
// gives port 0: the port ~/.ssh/config names for the host, else 22.
FtpAccount ftpAccount(const ServerSettings &server, const QString &password);
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
    // The server confirmed file k (1-based) of the running send.
    std::function<void(int k)> onFileSent;
    // A send or fetch finished: its summary (also the last log line).
    std::function<void(const QString &summary)> onFinished;
    // The questions a connection may ask (certificates, host keys).
    TransportQuestions questions;

    // The record that sends update (nullptr: none). Each file the server
    // confirms is remembered at once; the record is compacted at the end.
    void setRecord(SendRecord *record) { record_ = record; }

    // The account the next transfers connect to. Each transfer opens its own
    // session with it and closes that session at its end, after success,
    // failure or Cancel, so a changed address or password always takes
    // effect and nothing goes over a session left open by another.
    void configure(const FtpAccount &account) { account_ = account; }

    // Connects, uploads every site file (remote name: site prefix + its path
    // below the main folder, remote folders made as needed) and every data
    // file (data prefix + bare name), logging "Starting transfer of NAME" and
    // "Transfer OK" for each, and quits. A failure throws at the failing file.
    Outcome send(const QStringList &siteFiles, const QStringList &dataFiles,
                 const PublishPaths &paths);
    // Connects, changes to the remote data folder and lists its names
    // (onListed), and quits.
    Outcome list(const PublishPaths &paths);
    // Connects, downloads each listed name (data prefix + name) into the data
    // folder, and quits. A name that could leave the data folder is skipped
    // and logged.
    Outcome fetch(const QStringList &names, const PublishPaths &paths);

    // Ends the running transfer at once (the operation returns Cancelled).
    void cancel();
    bool busy() const { return busy_; }

private:
    // Opens a session with the configured account, runs `work` on it and
    // closes it, however the work ends.
    Outcome runTransfer(const std::function<void(Transport &)> &work);
    void stopIfCancelled() const;
    void log(const QString &line);
    void finish(const QString &summary);
    void wire(Transport &t);

    FtpAccount account_;
    Transport *active_ = nullptr; // the running transfer's session
    SendRecord *record_ = nullptr;
    bool busy_ = false;
    bool cancelled_ = false;
};

} // namespace tl
