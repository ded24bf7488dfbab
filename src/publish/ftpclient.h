#pragma once
#include "publish/ftpsocket.h"

#include <memory>

namespace tl {

// A command the server refused; the message is the server's reply line.
class FTPException : public AppError {
public:
    using AppError::AppError;
};

// Kind of an FTP command, as passed to OnFailure. The ordinals are fixed
// (they index the status texts of refusals).
enum FtpCommandKind : int {
    cmdChangeDir = 0,
    cmdMakeDir = 1,
    cmdDelete = 2,
    cmdRemoveDir = 3,
    cmdList = 4,
    cmdRename = 5,
    cmdDownload = 8,
    cmdUpload = 9,
    cmdNList = 13,
    cmdDoCommand = 14,
    cmdCurrentDir = 15, // PWD sent through DoCommand
};

using FailureEvent = std::function<void(bool &Handled, FtpCommandKind Trans_Type)>;
using ListItemEvent = std::function<void(const std::string &Listing)>;
// Bytes of the current file that have gone over the network, and the file's
// size (0 when a download's size was not announced).
using ProgressEvent = std::function<void(qint64 Bytes, qint64 Total)>;
using LogEvent = std::function<void(const std::string &Line)>;
using ClientStatusEvent = std::function<void(const std::string &Status)>;
using ClientErrorEvent = std::function<void(quint16 Errno, const std::string &Errmsg)>;

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

// The client side of FTP over one control connection, which it owns, as it
// owns the data connection of each transfer. Every operation returns when it
// is done and keeps the caller's events flowing while it waits.
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
// OnProgress tells the bytes of a transfer that have actually gone over the
// network; it reaches the file's size only when the server has confirmed the
// file. ByteCount() holds the size of the transfer.
//
// No server can hold the client: every reply, line and data wait ends after
// NoDataTimeOut without data; a whole reply (all its lines) must come within
// NoDataTimeOut and kMaxReplyBytes; unread control input is capped at
// kMaxControlInput at all times (a flood during a transfer fails it).
class FtpClient {
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

    FtpClient();
    ~FtpClient();
    FtpClient(const FtpClient &) = delete;
    FtpClient &operator=(const FtpClient &) = delete;

    // ---- properties ----
    // Server, port and proxy take effect at the next Connect that connects.
    std::string Host;
    int Port = 21;
    // When not empty, the control connection goes to Proxy:ProxyPort and the
    // login names Host ("USER name@host").
    std::string Proxy;
    int ProxyPort = 0;
    std::string UserID;
    std::string Password;
    // A wait that sees no data at all for this many milliseconds ends with
    // ESockError(kMsgNoAnswer); it also bounds connection set-up. 0 or less:
    // no limit.
    int NoDataTimeOut = 60000;
    // Status reports up to this level reach OnStatus: 1 for commands and
    // replies (a trace of the session), higher for the socket layer's steps.
    int ReportLevel = 0;
    // Data connections in passive mode (true) or active mode with PORT.
    bool Passive = true;
    // Explicit FTPS; takes effect at the next Connect that connects.
    bool UseTls = false;
    // SHA-256 fingerprint ("AB:CD:...", case and separators not significant)
    // of a server certificate accepted earlier: it is taken without asking
    // although the trusted certificates do not vouch for it. Set to the
    // fingerprint of a certificate that OnUntrustedCertificate accepts.
    std::string TrustedFingerprint;

    // ---- events ----
    // A refused command, by kind; setting Handled carries on as though the
    // command had been accepted. Unassigned: the refusal throws FTPException.
    FailureEvent OnFailure;
    ListItemEvent OnListItem;
    ProgressEvent OnProgress;
    ClientStatusEvent OnStatus;
    // A socket call on the control connection failed (its Windows Sockets
    // number and text).
    ClientErrorEvent OnError;
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

    // ---- state ----
    bool Connected() const { return m_control.Connected(); }
    // The first line of the last reply to a command, and its code.
    const std::string &LastReply() const { return m_lastReply; }
    int ReplyCode() const { return m_replyCode; }
    qint64 ByteCount() const { return m_byteCount; }
    // The last socket error number of the control connection.
    int LastErrorNo() const { return m_control.LastErrorNo(); }
    // The control connection itself, for tests that feed it replies.
    FtpSocket &control() { return m_control; }
    const FtpSocket &control() const { return m_control; }

    // ---- operations ----
    // Connects and logs in; does nothing when already connected.
    void Connect();
    // Says QUIT and closes; does nothing when not connected.
    void Disconnect();
    // Closes the control connection at once, without QUIT (after a failure
    // or Cancel, when replies still due would confuse the next command).
    void Drop();
    // Ends the current wait (see the socket layer's messages).
    void Cancel();
    // Sends a command and reads its whole reply; LastReply() is the first line.
    std::string Transaction(const std::string &command);
    void DoCommand(const std::string &command);
    void ChangeDir(const std::string &folder);
    void NList();
    // A listing command that answers over a data connection ("NLST",
    // "LIST -a www", "MLSD www"): each line goes to OnListItem. A refusal
    // goes through OnFailure as a List (or NList) failure.
    void Listing(const std::string &command);
    void Upload(const std::string &localPath, const std::string &remoteName);
    // Upload that never leaves a partial file under the remote name: the file
    // goes to temporaryNameFor(remote name) in the same folder and is then
    // renamed over the remote name (RNFR/RNTO; where the server will not rename
    // over an existing file, that file is deleted first). After a failure or
    // Cancel the temporary file is deleted, best effort: when that fails,
    // OnLog says so. An empty remote name means the bare file name of the
    // local path.
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
    // Port of a 229 reply ("(|||6446|)"), of a 227 reply
    // ("(127,0,0,1,25,46)"); -1 when the reply holds none.
    static int PortFromEpsvReply(const std::string &line);
    static int PortFromPasvReply(const std::string &line);
    // SHA-256 fingerprint of a certificate, "AB:CD:...".
    static std::string Fingerprint(const QSslCertificate &certificate);

private:
    class DataScope;
    class ReplyLimit;
    // Clears Cancel, applies the settings that may change between
    // operations and requires a connection ("Not Connected").
    void begin();
    void report(const std::string &text, int level);
    // The exchange of one command and its first reply line.
    std::string exchange(const std::string &command);
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
    void failure(FtpCommandKind kind);
    std::string drain();
    [[noreturn]] void failAborted();
    // The abort watch on the control connection's input.
    void watchForAbort();

    FtpSocket m_control;
    std::unique_ptr<FtpSocket> m_data;
    std::string m_lastReply;
    int m_replyCode = 0;
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
