#pragma once
// One connection to the server, whatever the protocol: the few operations
// the publisher needs, over FTP (FtpClient) or SFTP (SftpClient). The
// publisher, and through it the window and the command line, never know
// which one runs.
#include "publish/ftpclient.h"
#include "publish/sftpclient.h"

#include <QString>
#include <functional>
#include <memory>
#include <string>

namespace tl {

// Status text of a refused FTP command of this kind ("Upload failure"), or
// "" for a kind that has none.
QString failureText(FtpCommandKind kind);

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

    // Makes one remote folder whose parent exists; one that exists already
    // is fine.
    virtual void makeFolder(const std::string &remoteFolder) = 0;
    // Uploads a file so that the remote name never holds half of it.
    virtual void upload(const std::string &localPath, const std::string &remoteName) = 0;
    // The names of a remote folder, each as it is listed.
    virtual void listNames(const std::string &remoteFolder,
                           const std::function<void(const std::string &)> &each) = 0;
    // Downloads into a local file that is replaced only when all has come.
    virtual void download(const std::string &remoteName, const std::string &localPath) = 0;
};

// The account a project's server settings name, with the password typed for this
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
std::unique_ptr<Transport> makeTransport(const FtpAccount &account,
                                         const TransportQuestions &questions);

// FTP and FTPS, with a client of its own.
class FtpTransport : public Transport {
public:
    FtpTransport(const FtpAccount &account, const TransportQuestions &questions);
    FtpClient &client() { return client_; }

    void connect() override { client_.Connect(); }
    void disconnect() override { client_.Disconnect(); }
    void drop() override { client_.FtpSocket::Disconnect(); }
    void cancel() override { client_.Cancel(); }
    bool connected() const override { return client_.Connected(); }
    void makeFolder(const std::string &remoteFolder) override;
    void upload(const std::string &localPath, const std::string &remoteName) override;
    void listNames(const std::string &remoteFolder,
                   const std::function<void(const std::string &)> &each) override;
    void download(const std::string &remoteName, const std::string &localPath) override;

private:
    FtpClient client_;
    bool makingFolder_ = false; // a refusal of MKD is expected ("already exists")
    std::function<void(const std::string &)> listed_;
};

// SFTP over SSH, with a client of its own.
class SftpTransport : public Transport {
public:
    SftpTransport(const FtpAccount &account, const TransportQuestions &questions);
    SftpClient &client() { return client_; }

    void connect() override { client_.Connect(); }
    void disconnect() override { client_.Disconnect(); }
    void drop() override { client_.Disconnect(); }
    void cancel() override { client_.Cancel(); }
    bool connected() const override { return client_.Connected(); }
    void makeFolder(const std::string &remoteFolder) override { client_.MakeFolders(remoteFolder); }
    void upload(const std::string &localPath, const std::string &remoteName) override
    {
        client_.UploadWhole(localPath, remoteName);
    }
    void listNames(const std::string &remoteFolder,
                   const std::function<void(const std::string &)> &each) override;
    void download(const std::string &remoteName, const std::string &localPath) override
    {
        client_.Download(remoteName, localPath);
    }

private:
    SftpClient client_;
};

} // namespace tl
