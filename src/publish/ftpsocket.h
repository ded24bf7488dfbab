#pragma once
#include "core/errors.h"

#include <QAbstractSocket>
#include <QByteArray>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslError>
#include <functional>
#include <string>
#include <vector>

class QIODevice;
class QFile;
class QSslSocket;
class QTcpServer;
class QTcpSocket;

namespace tl {

class SocketTimer;

// A failure of the socket layer; the message is what the user sees.
class ESockError : public AppError {
public:
    using AppError::AppError;
};

// A wait that was ended by Cancel ("Socket send aborted", "Socket readln aborted").
class EAbortError : public ESockError {
public:
    using ESockError::ESockError;
};

class FtpSocket;

using NotifyEvent = std::function<void(FtpSocket *Sender)>;
using HandlerEvent = std::function<void(bool &Handled)>;
using HostResolvedEvent = std::function<void(FtpSocket *Sender)>;
using StatusEvent = std::function<void(FtpSocket *Sender, const std::string &Status)>;
using ErrorEvent =
    std::function<void(FtpSocket *Sender, quint16 Errno, const std::string &Errmsg)>;

// The text of a socket error number: "" for 0, "10061:Connection refused" for a
// number of the table, "Unknown Error No. 12345" for any other.
std::string SocketErrorText(int errorNumber);

// The Windows Sockets number for a Qt socket error, so that messages read the
// same on every platform (connection refused is 10061, and so on).
int SocketErrorNumber(QAbstractSocket::SocketError error);

// Messages of the waits that end because the connection can never deliver.
extern const char *const kMsgConnectionClosed; // the peer closed the connection
extern const char *const kMsgNoAnswer;         // nothing arrived for NoDataTimeOut ms
extern const char *const kMsgLineTooLong;      // a line longer than kMaxLineLength
extern const char *const kMsgInputFlood;       // unread input beyond InputLimit
extern const char *const kMsgTlsFailed;        // prefix of a failed TLS handshake

// One TCP connection endpoint whose operations look blocking to the caller:
// each starts its work and then runs the caller's event loop until it is done,
// so the window stays responsive while the network is slow. No extra thread.
class FtpSocket : public QObject {
public:
    // Longest line (line feed included) that ReadLn accepts.
    static constexpr qsizetype kMaxLineLength = 64 * 1024;
    // Largest piece moved by one read or send call.
    static constexpr qint64 kChunk = 16383;

    explicit FtpSocket(QObject *parent = nullptr);
    ~FtpSocket() override;

    // ---- properties ----
    std::string Host;
    int Port = 0;
    int TimeOut = 0;     // ms for host lookup and connection set-up; 0: none
    int ReportLevel = 0; // status reports up to this level reach OnStatus
    std::string Proxy;
    int ProxyPort = 0;
    // A wait on the connection that sees no data at all for this many
    // milliseconds ends with ESockError(kMsgNoAnswer). 0 or less: no limit.
    // With TimeOut 0 it also bounds host lookup and connection set-up.
    int NoDataTimeOut = 60000;
    // Sockets made from now on can carry TLS (QSslSocket, see StartTls).
    // Connect and Listen make a socket of the right kind.
    bool TlsSockets = false;
    // Unread input beyond this many bytes is a protocol error: the
    // connection is dropped and every wait ends with ESockError(kMsgInputFlood),
    // so a server cannot grow the client's memory. 0: no cap.
    qint64 InputLimit = 0;
    // Bound of the system's send buffer for SendFile (0: system default), so
    // that the bytes counted as sent are close to the bytes on the wire.
    int SendBufferLimit = 0;

    // ---- events ----
    NotifyEvent OnDisconnect;
    HandlerEvent OnInvalidHost;
    HostResolvedEvent OnHostResolved;
    StatusEvent OnStatus;
    NotifyEvent OnConnectionFailed;
    ErrorEvent OnError;
    NotifyEvent OnPacketSent;  // per chunk handed to the network during SendFile
    NotifyEvent OnPacketRecvd; // per chunk received during CaptureFile

    // ---- hooks of the object that owns this connection ----
    std::function<void()> OnDataArrived;   // data was added to the unread input
    std::function<void()> OnClosedByPeer;  // the peer closed the connection
    std::function<void()> OnInputOverflow; // beyond InputLimit: about to be dropped

    // ---- state ----
    bool Connected() const { return m_connected; }
    bool CancelFlag() const { return m_cancel; }
    void ClearCancel() { m_cancel = false; }
    bool TimedOutFlag() const { return m_timedOut; }
    int ReplyCode() const { return m_replyCode; }
    const std::string &LastReply() const { return m_lastReply; }
    const std::string &Status() const { return m_status; }
    int LastErrorNo() const { return m_lastError; }
    // Bytes of the current SendFile handed to the system (for TLS: the
    // plain bytes whose encrypted form has reached the system).
    qint64 BytesSent() const;
    qint64 BytesRecvd() const { return m_bytesRecvd; }
    qint64 TotalBytesRecvd() const { return m_totalRecvd; }
    qint64 UnreadCount() const { return m_rx.size() - m_rxHead; }
    QHostAddress RemoteAddress() const { return m_remote; }
    bool IsListening() const;
    // Live socket objects of the process.
    static int LiveCount();

    // ---- operations ----
    void Connect();
    void Disconnect();
    void Cancel();
    std::string Transaction(const std::string &command);

    void Write(const std::string &text);
    void Writeln(const std::string &text);
    void SendBuffer(const QByteArray &bytes);
    // n bytes from the input (0: whatever is buffered, without waiting).
    std::string Read(qint64 n = 0);
    // One line through its line feed (a carriage return stays in the line).
    std::string ReadLn();
    // Like ReadLn, but a closed connection is the end of the input: returns
    // false when it is exhausted, and a last line without a line feed is
    // returned as it is.
    bool ReadLnUntilClosed(std::string &line);
    // Everything buffered, without waiting (discarding unread input).
    std::string TakeUnread();
    // The first n unread bytes (fewer when fewer are buffered), left in place.
    std::string PeekUnread(qsizetype n) const;

    void Listen();
    // Only a peer of this address is accepted; others are closed and the
    // wait goes on. A null address accepts anyone.
    void setAllowedPeer(const QHostAddress &address) { m_allowedPeer = address; }
    QTcpSocket *Accept();
    // Closes the listening socket and makes `socket` this object's connection.
    void InstallSocket(QTcpSocket *socket);

    void SendFile(const std::string &path);
    // Writes everything received into a new file until the peer closes; the
    // file replaces `path` only when the capture ends normally.
    void CaptureFile(const std::string &path);
    // Same into an open device; `path` names it in messages.
    void CaptureFile(QIODevice &device, const std::string &path);

    // Local address and port of the socket in the form PORT needs:
    // "127,0,0,1" and ",4,1".
    std::string LocalIPForPort() const;
    std::string LocalPortForPort() const;

    // Ends every current and later wait of this object with ESockError(message).
    void AbortWaits(const std::string &message);
    // Every wait ends with ESockError(message) once `ms` have passed, until
    // ClearWaitDeadline. ms <= 0: no deadline.
    void SetWaitDeadline(int ms, const std::string &message);
    void ClearWaitDeadline();
    // One look: handles pending events, waiting at most ~2 ms for one.
    void Look();
    // ---- TLS ----
    // Starts TLS as the client on the connected socket (made with
    // TlsSockets) and waits until the handshake is done. Input that arrived
    // before is discarded: it cannot have come through the encryption.
    // Failures of the certificate check do not stop the handshake; they are
    // left in TlsErrors() for the caller to judge before it sends anything.
    void StartTls(const QSslConfiguration &config, const std::string &peerName);
    const QList<QSslError> &TlsErrors() const { return m_tlsErrors; }
    QSslCertificate PeerCertificate() const;
    // The socket's configuration after the handshake (it holds the session
    // for resuming it on another connection).
    QSslConfiguration TlsConfiguration() const;
    // Closes the connection in order: everything sent (the TLS close
    // included) reaches the peer before our end closes, and our end stays
    // until the peer has ended its side, `peerDone` holds, or a few seconds
    // have passed.
    void CloseGracefully(const std::function<bool()> &peerDone = {});

private:
    // A status report of this level (see ReportLevel).
    void report(const std::string &text, int level);
    void resolveHost();
    void closeSocket();

    enum WaitWatch { WatchNone = 0, WatchClose = 1, WatchIdle = 2 };
    // Runs the event loop until `done` holds. Ends with ESockError when the
    // connection closes (WatchClose), when nothing arrives for NoDataTimeOut
    // (WatchIdle), or after AbortWaits.
    void waitUntil(const std::function<bool()> &done, int watch);
    // Picks up after a look what notifications did not deliver.
    void afterLook();

    bool m_cancel = false;
    bool m_timedOut = false;
    bool m_connected = false;
    int m_replyCode = 0;
    std::string m_lastReply;

    void makeSocket();
    QTcpSocket *newSocket();
    void wireSocket(QTcpSocket *s);
    qint64 pendingOut() const;
    void lingerClose(int fd, const std::function<bool()> &peerDone);
    static constexpr int kLingerMs = 5000;
    void overflow();
    void readPump();
    void writePump();
    void onBytesWritten(qint64 n);
    void onPeerClosed();
    void onSocketError(QAbstractSocket::SocketError e);
    void onTimer();
    void timerOn();
    void timerOff();
    void sendBytes(const QByteArray &bytes);
    bool hasPendingSend() const;
    qsizetype findLineEnd();
    std::string takeFront(qsizetype n);
    std::string notConnectedText() const;
    // After a wait that Cancel may have ended: clears the flag and raises
    // EAbortError("Socket send aborted").
    void throwIfCancelled();
    void closeServer();
    void takeIncoming();

    QTcpSocket *m_sock = nullptr;
    QTcpServer *m_server = nullptr;
    struct Incoming {
        QTcpSocket *socket;
        QHostAddress peer;
    };
    std::vector<Incoming> m_incoming; // accepted connections not yet taken
    SocketTimer *m_timer = nullptr;
    QHostAddress m_remote;
    QHostAddress m_allowedPeer;
    QHostAddress m_lookupAddress; // answer of the running host lookup

    QByteArray m_rx;       // receive buffer; unread input starts at m_rxHead
    qsizetype m_rxHead = 0;
    qsizetype m_rxScan = 0; // bytes after m_rxHead known to hold no line feed
    QByteArray m_tx;       // send buffer
    QFile *m_sendFile = nullptr;     // SendFile source
    QIODevice *m_captureDev = nullptr; // CaptureFile target
    bool m_captureFailed = false;
    bool m_sendFileFailed = false;

    std::string m_status;
    std::string m_abortMessage;
    QDeadlineTimer m_deadline;
    std::string m_deadlineMessage;
    QList<QSslError> m_tlsErrors;
    std::string m_tlsFailure;
    bool m_encrypted = false;
    bool m_overflowed = false;
    int m_lastError = 0;
    qint64 m_bytesSent = 0;
    qint64 m_bytesRecvd = 0;
    qint64 m_totalRecvd = 0;
    QElapsedTimer m_activity; // restarted whenever bytes move

    bool m_noError = true;
    bool m_lookupDone = false;
    bool m_lookupFailed = false;
    bool m_sent = true;
    bool m_fileMode = false;
    bool m_readBusy = false, m_readAgain = false;
    bool m_writeBusy = false, m_writeAgain = false;
    bool m_destroying = false;
    bool m_closedByPeer = false;
    bool m_closePending = false; // the peer closed while the read pump was busy
    bool m_lingerZero = true; // the first socket resets on close; later ones close gracefully
};

} // namespace tl
