#pragma once
// One connection to the server, whatever the protocol: the few operations
// the publisher needs. The publisher, and through it the window and the
// command line, never know which protocol runs; a factory makes the
// transport the settings name (FTP and FTPS: ftptransport.h; SFTP:
// sftptransport.h).
#include "publish/ftpclient.h"   // CertificateInfo, FtpCommandKind
#include "publish/sftpclient.h"  // HostKeyInfo, RemoteEntry

#include <QString>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tl {

struct RemoteFile;

// Listing entries of files only (object storage and Git branches list no
// folders).
std::vector<RemoteEntry> fileEntries(const std::vector<RemoteFile> &files);

// Status text of a refused FTP command of this kind ("Upload failure"), or
// "" for a kind that has none.
QString failureText(FtpCommandKind kind);

// One file of an upload: where it is and the remote name it gets.
struct Upload {
    std::string localPath;
    std::string remoteName;
};

class Transport {
public:
    virtual ~Transport() = default;

    // Bytes of the current file moved so far, of its size (0 or less: unknown).
    std::function<void(qint64 done, qint64 total)> onBytes;
    // A line for the user's log that no exception carries.
    std::function<void(const QString &line)> onLog;
    // A refused FTP command's status text ("Upload failure").
    std::function<void(const QString &text)> onFailure;
    // A socket call that failed at once: its number and message.
    std::function<void(int number, const QString &message)> onSocketError;

    // Connects and logs in.
    virtual void connect() = 0;
    // Ends the session politely.
    virtual void disconnect() = 0;
    // Drops the connection at once (after Cancel: pending replies would
    // confuse the next command).
    virtual void drop() = 0;
    // Ends the running wait at once.
    virtual void cancel() = 0;
    virtual bool connected() const = 0;

    // Makes every missing level of a remote folder ("/www/archive");
    // levels that exist are fine.
    virtual void makeFolders(const std::string &remoteFolder) = 0;
    // Uploads a file so that the remote name never holds half of it.
    virtual void upload(const std::string &localPath, const std::string &remoteName) = 0;
    // Uploads files in order, each as upload() does; `confirmed(i)` is told
    // as soon as the server holds file i. A failure throws at the failing
    // file, after the files before it were confirmed. Their folders exist.
    // A transport may keep many files in flight at once.
    virtual void uploadMany(const std::vector<Upload> &files,
                            const std::function<void(std::size_t index)> &confirmed);
    // Removes a remote file.
    virtual void remove(const std::string &remoteName) = 0;
    // The entries of a remote folder (not its subfolders' entries), names
    // as listed. Sizes and kinds where the server tells them.
    virtual std::vector<RemoteEntry> list(const std::string &remoteFolder) = 0;
    // The size of a remote file, -1 when there is none (or it is no file).
    virtual qint64 remoteSize(const std::string &remoteName) = 0;
    // Downloads into a local file that is replaced only when all has come.
    virtual void download(const std::string &remoteName, const std::string &localPath) = 0;
    // Ends a send: what was uploaded and removed is on the server when it
    // returns. FTP and SFTP have done so file by file already; a Git branch
    // gets one commit of it all here, and only then are its uploads
    // confirmed.
    virtual void finish() {}
};

// Where a project publishes and how, with the secret for this run (the
// password, the Git token or the S3 secret). Texts that travel to an FTP or
// SFTP server are the program's 8-bit text.
struct PublishAccount {
    enum class Kind { Server, Git, S3 };
    Kind kind = Kind::Server;
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

    // A Git branch (UTF-8 texts): repository, branch, the commit's author,
    // and the folder of the local cache of the repository.
    std::string gitUrl;
    std::string gitBranch;
    std::string authorName;
    std::string authorEmail;
    std::string gitCacheFolder;
    // An S3-compatible bucket; `password` is the secret access key.
    std::string s3Endpoint;
    std::string s3Region;
    std::string s3Bucket;
    std::string s3KeyId;
    // The charset pages are written in, for their Content-Type.
    std::string pageCharset = "windows-1250";
};

// The questions a transport may have to ask while it connects, and what the
// caller decided before.
struct TransportQuestions {
    // FTPS: a certificate no trusted authority vouches for; true accepts it
    // for this connection. Unassigned: refused, unless its fingerprint is
    // the account's trusted one.
    std::function<bool(const CertificateInfo &info)> untrustedCertificate;
    // FTPS: the writer accepted a certificate: its fingerprint, to remember.
    std::function<void(const std::string &fingerprint)> certificateAccepted;
    // SFTP: a host key not seen before; true accepts (and records) it.
    // Unassigned: refused, unless acceptNewHostKey.
    std::function<bool(const HostKeyInfo &key)> unknownHostKey;
    bool acceptNewHostKey = false;
    // The longest silence a wait accepts, in ms (0: the client's own).
    int noDataTimeoutMs = 0;
};

// A transport for the account's protocol (FTP, FTPS or SFTP), set up with
// its settings and not yet connected. Each transfer makes its own, so that
// it always talks to the server the settings name now.
std::unique_ptr<Transport> makeTransport(const PublishAccount &account,
                                         const TransportQuestions &questions);

} // namespace tl
