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

class Project;

// The account a project's FTP fields name, with the password typed for this
// run. Texts that travel to the server are the program's 8-bit text.
struct FtpAccount {
    std::string host;
    int port = 21;
    std::string user;
    std::string password;
    bool useProxy = false;
    std::string proxyHost; // used only with useProxy; the port serves both
    bool sftp = false;     // SFTP over SSH instead of FTP
    bool passive = true;   // FTP: passive mode (EPSV/PASV), else active (PORT)
    bool tls = false;      // FTP: explicit FTPS
    // FTPS: the SHA-256 fingerprint of a certificate the writer accepted.
    std::string trustedFingerprint;
};

// Throws AppError("'%s' is not a valid integer value") for a port field that
// is not a number, before anything connects. Over SFTP an empty port field
// means 22.
FtpAccount ftpAccount(const Project &project, const QString &password);
// Whether the project names a server, a user and the remote data folder, and
// a password where one is needed: what fetching the posts asks for.
bool hasServerSettings(const Project &project, const QString &password);

// Where a project's files go on the server.
struct PublishPaths {
    QString mainFolder;     // local main folder: site files keep their path below it
    QString dataFolder;     // local data folder: fetched files land here
    std::string sitePrefix; // remote prefix of site files (rPATHMAIN)
    std::string dataPrefix; // remote prefix of post files and the folder listed (rDATAPATH)
};
PublishPaths publishPaths(const Project &project);

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
// order, then the archive folder's.
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

    // FTP runs through `ftp` (owned by the caller); SFTP through a client of
    // the publisher's own.
    explicit Publisher(FtpClient &ftp);
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
    // FTPS: a certificate no trusted authority vouches for; true accepts it
    // for this connection. Unassigned (the command line): refused, unless
    // its fingerprint is the account's trusted one.
    std::function<bool(const CertificateInfo &info)> onUntrustedCertificate;
    // FTPS: the writer accepted a certificate: its fingerprint, to remember.
    std::function<void(const std::string &fingerprint)> onCertificateAccepted;
    // SFTP: a host key not seen before; true accepts (and records) it.
    // Unassigned: refused, unless the account accepts new keys.
    std::function<bool(const HostKeyInfo &key)> onUnknownHostKey;

    // The record that sends update (nullptr: none). Each file the server
    // confirms is remembered at once; the record is compacted at the end.
    void setRecord(SendRecord *record) { record_ = record; }

    // Chooses the transport and copies the account into its client: host,
    // port, user and password; for FTP the proxy only when the account uses
    // one (the client keeps the proxy it was given before otherwise).
    void configure(const FtpAccount &account);
    // SFTP: record a host key not seen before without asking (a changed key
    // is refused all the same).
    void setAcceptNewHostKey(bool accept);

    // Connects, uploads every site file (remote name: site prefix + its path
    // below the main folder, remote folders made as needed) and every data
    // file (data prefix + bare name), logging "Starting transfer of NAME" and
    // "Transfer OK" for each, and quits. A failure throws at the failing file
    // and leaves the connection as it was.
    Outcome send(const QStringList &siteFiles, const QStringList &dataFiles,
                 const PublishPaths &paths);
    // Connects, changes to the remote data folder and lists its names
    // (onListed), and quits.
    Outcome list(const PublishPaths &paths);
    // Connects with the settings the client holds, downloads each listed
    // name (data prefix + name) into the data folder, and quits. A name that
    // could leave the data folder is skipped and logged.
    Outcome fetch(const QStringList &names, const PublishPaths &paths);

    // Ends the running transfer at once (the operation returns Cancelled).
    void cancel();
    bool busy() const { return busy_; }

private:
    Outcome runTransfer(const std::function<void()> &work);
    void stopIfCancelled() const;
    void log(const QString &line);
    void finish(const QString &summary);

    void wire(Transport &t);
    SftpTransport &sftp();

    FtpTransport ftp_;
    std::unique_ptr<SftpTransport> sftp_;
    Transport *active_ = &ftp_;
    SendRecord *record_ = nullptr;
    bool busy_ = false;
    bool cancelled_ = false;
};

} // namespace tl
