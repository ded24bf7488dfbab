#pragma once
#include "publish/ftpsocket.h"

#include <memory>

namespace tl {

// A command the server refused; the message is the server's reply line.
class FTPException : public AppError {
public:
    using AppError::AppError;
};

// Kind of an FTP command, as passed to OnFailure, OnSuccess and
// OnUnSupportedFunction. The ordinals are fixed.
enum FtpCommandKind : int {
    cmdChangeDir = 0,
    cmdMakeDir = 1,
    cmdDelete = 2,
    cmdRemoveDir = 3,
    cmdList = 4,
    cmdRename = 5,
    cmdUpRestore = 6,
    cmdDownRestore = 7,
    cmdDownload = 8,
    cmdUpload = 9,
    cmdAppend = 10,
    cmdReInit = 11,
    cmdAllocate = 12,
    cmdNList = 13,
    cmdDoCommand = 14,
    cmdCurrentDir = 15, // PWD sent through DoCommand
};

using FailureEvent = std::function<void(bool &Handled, FtpCommandKind Trans_Type)>;
using SuccessEvent = std::function<void(FtpCommandKind Trans_Type)>;
using UnsupportedEvent = std::function<void(FtpCommandKind Trans_Type)>;
using ListItemEvent = std::function<void(const std::string &Listing)>;
// Bytes of the current file that have gone over the network, and the file's
// size (0 when a download's size was not announced).
using ProgressEvent = std::function<void(qint64 Bytes, qint64 Total)>;
using LogEvent = std::function<void(const std::string &Line)>;

// A server certificate that the system's trusted certificates and the host
// name do not vouch for.
struct CertificateInfo {
    std::string Subject;     // "CN=ftp.example.com, O=Example"
    std::string Issuer;
    std::string Fingerprint; // SHA-256, "AB:CD:..."
    std::string Problems;    // why the check failed, "; " between reasons
    // A different certificate was remembered for this server (TrustedFingerprint):
    // the server's certificate has changed.
    bool Changed = false;
};
// Answers true to accept the certificate for this connection.
using CertificateEvent = std::function<bool(const CertificateInfo &Info)>;
using FingerprintEvent = std::function<void(const std::string &Fingerprint)>;

// Message of a command refused before sending because an argument holds a
// carriage return, a line feed or a zero byte.
extern const char *const kMsgBadCommandChar;
// Failures of FTPS and of replies that do not end; the refusals carry the
// server's reply line after the text.
extern const char *const kMsgTlsRefused;        // "...: " + reply to AUTH TLS, PBSZ or PROT
extern const char *const kMsgUntrustedCertificate; // "...: " + the reasons
extern const char *const kMsgDataCertificate;
extern const char *const kMsgReplyTooLong;
extern const char *const kMsgReplyNotEnded;
extern const char *const kMsgBadPassiveReply;

// The client side of FTP over one control connection (the socket of the base
// class). Every operation returns when it is done and keeps the caller's
// events flowing while it waits.
//
// Data connections: passive mode (EPSV, or PASV when the server refuses EPSV;
// the connection goes to the control connection's peer, whatever address a
// PASV reply names) or active mode (PORT).
// Transfers of files (Upload, UploadWhole, Download) run in image type: TYPE I
// is sent once per login, before the first of them.
// FTPS (UseTls): AUTH TLS before the login, then PBSZ 0 and PROT P; every data
// connection is encrypted too, its handshake started once the server has
// answered the transfer command, resuming the control connection's session.
// A server that refuses any of this fails the login: nothing falls back to
// clear text.
//
// OnConnect is raised after a successful login (not when the socket connects).
// OnPacketSent and OnPacketRecvd are handed to the data connection of each
// transfer and raised per chunk with that connection as Sender; ByteCount()
// holds the size of the transfer. OnProgress tells the same in bytes that have
// actually gone over the network; it reaches the file's size only when the
// server has confirmed the file.
//
// No server can hold the client: every reply, line and data wait ends after
// NoDataTimeOut without data; a whole reply (all its lines) must come within
// NoDataTimeOut and kMaxReplyBytes; unread control input is capped at
// kMaxControlInput at all times (a flood during a transfer fails it).
class FtpClient : public FtpSocket {
public:
    // Largest reply, all its lines together.
    static constexpr qint64 kMaxReplyBytes = 256 * 1024;
    // Cap of the unread input on the control connection.
    static constexpr qint64 kMaxControlInput = 1024 * 1024;
    // Send buffer of a data connection: the most that progress runs ahead of
    // the wire.
    static constexpr int kDataSendBuffer = 64 * 1024;
    // Longest wait for the server's answer to the clean-up after a failed
    // transfer (and for its QUIT after a refused login).
    static constexpr int kCleanupWaitMs = 3000;
    // Preliminary replies (1xx) read after a transfer's data before the final
    // reply must come.
    static constexpr int kMaxPreliminaryReplies = 4;

    explicit FtpClient(QObject *parent = nullptr);
    ~FtpClient() override;

    // ---- properties (besides the inherited ones) ----
    std::string UserID;
    std::string Password;
    int Vendor = 2411;
    bool ParseList = false;
    // Data connections in passive mode (true) or active mode with PORT.
    bool Passive = true;
    // Explicit FTPS; takes effect at the next Connect that connects.
    bool UseTls = false;
    // SHA-256 fingerprint ("AB:CD:...", case and separators not significant)
    // of a server certificate accepted earlier: it is taken without asking
    // although the trusted certificates do not vouch for it. Set to the
    // fingerprint of a certificate that OnUntrustedCertificate accepts.
    std::string TrustedFingerprint;

    // ---- events (besides the inherited ones) ----
    FailureEvent OnFailure;
    SuccessEvent OnSuccess;
    UnsupportedEvent OnUnSupportedFunction;
    ListItemEvent OnListItem;
    NotifyEvent OnTransactionStart;
    NotifyEvent OnTransactionStop;
    HandlerEvent OnAuthenticationNeeded;
    HandlerEvent OnAuthenticationFailed; // never raised by these operations
    HandlerEvent OnConnectionRequired;
    ProgressEvent OnProgress;
    // Lines worth the user's log that no exception carries (a temporary file
    // that could not be removed, a certificate taken by its fingerprint).
    LogEvent OnLog;
    // Asked when the server's certificate is not trusted and its fingerprint
    // is not TrustedFingerprint; unassigned (as on the command line), the
    // certificate is refused.
    CertificateEvent OnUntrustedCertificate;
    // A certificate was accepted through OnUntrustedCertificate: the caller
    // may remember its fingerprint (it is also in TrustedFingerprint).
    FingerprintEvent OnCertificateAccepted;

    qint64 ByteCount() const { return m_byteCount; }

    // ---- operations ----
    void Connect() override;
    void Disconnect() override;
    void Cancel() override;
    // Sends a command and reads its whole reply; LastReply() is the first line.
    std::string Transaction(const std::string &command) override;
    void DoCommand(const std::string &command);
    void ChangeDir(const std::string &folder);
    void NList();
    // A listing command that answers over a data connection ("NLST",
    // "LIST -a www", "MLSD www"): each line goes to OnListItem. A refusal
    // goes through OnFailure as a List (or NList) failure.
    void Listing(const std::string &command);
    void Upload(const std::string &localPath, const std::string &remoteName);
    // Upload that never leaves a partial file under the remote name: the file
    // goes to TemporaryName(remote name) in the same folder and is then renamed
    // over the remote name (RNFR/RNTO; where the server will not rename over an
    // existing file, that file is deleted first). After a failure or Cancel the
    // temporary file is deleted, best effort: when that fails, OnLog says so.
    // An empty remote name means the bare file name of the local path.
    void UploadWhole(const std::string &localPath, const std::string &remoteName);
    void Download(const std::string &remoteName, const std::string &localPath);
    // RNFR from, RNTO to; a refusal is a Rename failure (kind 5).
    void Rename(const std::string &from, const std::string &to);
    // DELE; a refusal is a Delete failure (kind 2).
    void Delete(const std::string &name);

    // Size announced in a reply ("... (1234 bytes)"), 0 when there is none.
    static int SizeFromReply(const std::string &line);
    // The exact size a reply line announces in the form "(1234 bytes)", or
    // -1. Only this form is trusted to judge whether a download arrived whole.
    static qint64 ExactSizeFromReply(const std::string &line);
    // Kind of a command sent through DoCommand.
    static FtpCommandKind CommandKind(const std::string &command);
    // Where UploadWhole puts a file before renaming it: the same folder, the
    // name with "." before it and `suffix` after it ("www/.index.html.part").
    // The leading dot hides it from most servers' listings, and it does not
    // end in ".txt", so a listing of the data folder does not offer it as a
    // post.
    static std::string TemporaryName(const std::string &remoteName, const std::string &suffix = ".part");
    // Port of a 229 reply ("(|||6446|)"), of a 227 reply
    // ("(127,0,0,1,25,46)"); -1 when the reply holds none.
    static int PortFromEpsvReply(const std::string &line);
    static int PortFromPasvReply(const std::string &line);
    // SHA-256 fingerprint of a certificate, "AB:CD:...".
    static std::string Fingerprint(const QSslCertificate &certificate);

protected:
    void timeoutHook() override;
    void dataArrived() override;
    void socketConnected() override;
    void socketClosedByPeer() override;
    void inputOverflow() override;

private:
    class DataScope;
    class ReplyLimit;
    void requireConnection();
    static void checkCommand(const std::string &command);
    // Reads the lines after `line` that belong to its reply (each one to
    // `eachLine` when given), within the reply limits.
    void readRestOfReply(std::string line,
                         const std::function<void(const std::string &)> &eachLine = {});
    void startControlTls();
    void judgeCertificate();
    void closeAfterFailedConnect(bool serverAnswered);
    void ensureImageType(FtpCommandKind kind);
    // Sets up the data connection before the transfer command: PORT in active
    // mode, EPSV/PASV and the connection in passive mode. False when the
    // server refused (the refusal is the last reply).
    bool openDataPort();
    int passivePort();
    void acceptData();
    void secureData();
    void progress(qint64 bytes, qint64 total);
    // STOR of a local file; *stored (when given) tells whether the server
    // may now hold a file under remoteName.
    void storeFile(const std::string &localPath, const std::string &remoteName, bool *stored);
    void renameOver(const std::string &temp, const std::string &name, bool &keepTemporary);
    void removeTemporary(const std::string &temp);
    void log(const std::string &line);
    // The data phase of a transfer whose command the server took: accepts
    // the data connection, runs `move` on it unless Cancel or the time-out
    // came first, closes it (then runs `closed`) and reads the final reply.
    // Cut short by Cancel, the transfer fails through failAborted.
    // `sending`: the data connection is closed in order, so that the last
    // bytes reach the server.
    void dataPhase(const std::function<void()> &move, const std::function<void()> &closed = {},
                   bool sending = false);
    void requirePreliminaryReply() const;
    void readFinalReply();
    // A refused command: OnUnSupportedFunction when the server does not know
    // it, then failure(kind).
    void refusal(FtpCommandKind kind);
    void failure(FtpCommandKind kind);
    std::string drain();
    [[noreturn]] void failAborted();

    std::unique_ptr<FtpSocket> m_data;
    qint64 m_byteCount = 0;
    // State of one login.
    bool m_imageType = false;   // TYPE I has been accepted
    bool m_epsvRefused = false; // EPSV was refused: PASV from now on
    bool m_protected = false;   // PROT P: data connections are encrypted
    bool m_finalReplyDue = false; // a transfer's final reply has not been read
    bool m_abortWatch = true;     // a 421 or 426 on the control connection cancels
    QSslCertificate m_serverCertificate; // of the control connection
};

} // namespace tl
