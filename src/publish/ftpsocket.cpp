#include "publish/ftpsocket.h"
#include "publish/networkwait.h"
#include "publish/replacingfile.h"
#include "publish/sockettimer.h"

#include <QFile>
#include <QHostInfo>
#include <QPointer>
#include <QScopeGuard>
#include <QSslSocket>
#include <QTcpServer>
#include <QTcpSocket>
#include <cerrno>
#include <climits>
#include <map>

#ifdef Q_OS_UNIX
#include <QSocketNotifier>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace tl {

const char *const kMsgConnectionClosed = "Connection closed by the remote host";
const char *const kMsgNoAnswer = "The server did not answer";
const char *const kMsgLineTooLong = "Reply line too long";
const char *const kMsgInputFlood = "Protocol error: the server sent too much on the control connection";
const char *const kMsgTlsFailed = "TLS handshake failed: ";

namespace {

int g_liveCount = 0;

// Bytes queued in the socket beyond which the write pump waits for the
// network to take them.
constexpr qint64 kHighWater = 4 * FtpSocket::kChunk;

const std::map<int, const char *> &errorTable()
{
    static const std::map<int, const char *> table = {
        {10004, "Interrupted system call"},
        {10009, "Bad file number"},
        {10013, "Permission denied"},
        {10014, "Bad address"},
        {10022, "Invalid argument"},
        {10024, "Too many open files"},
        {10035, "Operation would block"},
        {10036, "Operation now in progress"},
        {10037, "Operation already in progress"},
        {10038, "Socket operation on non-socket"},
        {10039, "Destination address required"},
        {10040, "Message too long"},
        {10041, "Wrong protocol type for socket"},
        {10042, "Bad protocol option"},
        {10043, "Protocol not supported"},
        {10044, "Socket type not supported"},
        {10045, "Operation not supported on socket"},
        {10046, "Protocol family not supported"},
        {10047, "Address family not supported by protocol family"},
        {10048, "Address already in use"},
        {10049, "Can't assign requested address"},
        {10050, "Network is down"},
        {10051, "Network is unreachable"},
        {10052, "Network dropped connection or reset"},
        {10053, "Software caused connection abort"},
        {10054, "Connection reset by peer"},
        {10055, "No buffer space available"},
        {10056, "Socket is already connected"},
        {10057, "Socket is not connected"},
        {10058, "Can't send after socket shutdown"},
        {10059, "Too many references, can't splice"},
        {10060, "Connection timed out"},
        {10061, "Connection refused"},
        {10062, "Too many levels of symbolic links"},
        {10063, "File name too long"},
        {10064, "Host is down"},
        {10065, "No route to Host"},
        {10066, "Directory not empty"},
        {10067, "Too many processes"},
        {10068, "Too many users"},
        {10069, "Disc quota exceeded"},
        {10070, "Stale NFS file handle"},
        {10071, "Too many levels of remote in path"},
        {10091, "Network subsystem is unavailable"},
        {10092, "Incompatible version of WINSOCK.DLL"},
        {10093, "Successful WSAStartup not yet performed"},
        {11001, "Host not found"},
        {11002, "Non-Authoritative Host not found"},
        {11003, "Non-Recoverable error: FORMERR, REFUSED, NOTIMP"},
        {11004, "Valid name, no data record of requested type"},
        {0, "Unrecognized error code"},
    };
    return table;
}

// A listener whose accepted connections can start TLS as the client (an FTPS
// data connection in active mode).
class TlsCapableServer : public QTcpServer {
public:
    TlsCapableServer(bool tls, QObject *parent) : QTcpServer(parent), m_tls(tls) {}

protected:
    void incomingConnection(qintptr descriptor) override
    {
        if (!m_tls) {
            QTcpServer::incomingConnection(descriptor);
            return;
        }
        auto *s = new QSslSocket(this);
        if (!s->setSocketDescriptor(descriptor)) {
            delete s;
            return;
        }
        addPendingConnection(s);
    }

private:
    bool m_tls;
};

bool isTlsError(QAbstractSocket::SocketError e)
{
    return e == QAbstractSocket::SslHandshakeFailedError || e == QAbstractSocket::SslInternalError
        || e == QAbstractSocket::SslInvalidUserDataError;
}

} // namespace

std::string SocketErrorText(int errorNumber)
{
    if (errorNumber == 0)
        return std::string();
    const auto &table = errorTable();
    auto it = table.find(errorNumber);
    if (it == table.end())
        return "Unknown Error No. " + std::to_string(errorNumber);
    return std::to_string(errorNumber) + ":" + it->second;
}

int SocketErrorNumber(QAbstractSocket::SocketError error)
{
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError: return 10061;
    case QAbstractSocket::RemoteHostClosedError: return 10054;
    case QAbstractSocket::HostNotFoundError: return 11001;
    case QAbstractSocket::SocketAccessError: return 10013;
    case QAbstractSocket::SocketResourceError: return 10055;
    case QAbstractSocket::SocketTimeoutError: return 10060;
    case QAbstractSocket::DatagramTooLargeError: return 10040;
    case QAbstractSocket::NetworkError: return 10050;
    case QAbstractSocket::AddressInUseError: return 10048;
    case QAbstractSocket::SocketAddressNotAvailableError: return 10049;
    case QAbstractSocket::UnsupportedSocketOperationError: return 10045;
    case QAbstractSocket::UnfinishedSocketOperationError: return 10036;
    case QAbstractSocket::OperationError: return 10022;
    case QAbstractSocket::TemporaryError: return 10035;
    default: return 10050;
    }
}

// ---------------------------------------------------------------- lifecycle

FtpSocket::FtpSocket(QObject *parent) : QObject(parent)
{
    report("Create", 8);
    m_timer = new SocketTimer(this);
    m_timer->setEnabled(false);
    m_timer->setOnTimer([this](SocketTimer *) { onTimer(); });
    report("Initializing Winsock", 8);
    ++g_liveCount;
    makeSocket();
    m_activity.start();
}

FtpSocket::~FtpSocket()
{
    report("Destroy", 8);
    m_cancel = true;
    m_destroying = true;
    closeSocket();
    --g_liveCount;
}

int FtpSocket::LiveCount() { return g_liveCount; }

bool FtpSocket::IsListening() const { return m_server && m_server->isListening(); }

void FtpSocket::report(const std::string &text, int level)
{
    if (ReportLevel < level)
        return;
    m_status = text;
    if (OnStatus && !m_destroying)
        OnStatus(this, text);
}

QTcpSocket *FtpSocket::newSocket()
{
    if (TlsSockets)
        return new QSslSocket(this);
    return new QTcpSocket(this);
}

void FtpSocket::makeSocket()
{
    m_sock = newSocket();
    wireSocket(m_sock);
}

void FtpSocket::wireSocket(QTcpSocket *s)
{
    if (auto *ssl = qobject_cast<QSslSocket *>(s)) {
        QObject::connect(ssl, &QSslSocket::encrypted, this, [this] { m_encrypted = true; });
        QObject::connect(ssl, &QSslSocket::sslErrors, this,
                         [this, ssl](const QList<QSslError> &errors) {
                             // Judged by the caller once the handshake is done,
                             // before anything is sent over it.
                             m_tlsErrors = errors;
                             ssl->ignoreSslErrors();
                         });
        QObject::connect(ssl, &QSslSocket::encryptedBytesWritten, this,
                         [this](qint64) { onBytesWritten(0); });
    }
    QObject::connect(s, &QTcpSocket::readyRead, this, [this] { readPump(); });
    QObject::connect(s, &QTcpSocket::bytesWritten, this,
                     [this](qint64 n) { onBytesWritten(n); });
    QObject::connect(s, &QTcpSocket::connected, this, [this] {
        if (!m_noError)
            return;
        m_connected = true;
        m_closedByPeer = false;
    });
    QObject::connect(s, &QTcpSocket::disconnected, this, [this] { onPeerClosed(); });
    QObject::connect(s, &QAbstractSocket::errorOccurred, this,
                     [this](QAbstractSocket::SocketError e) { onSocketError(e); });
}

void FtpSocket::closeSocket()
{
    report("Request Close Socket", 4);
    m_connected = false;
    closeServer();
    for (const Incoming &in : m_incoming)
        in.socket->abort();
    m_incoming.clear();
    if (!m_sock)
        return;
    QTcpSocket *s = m_sock;
    m_sock = nullptr;
    s->disconnect(this);
    if (m_lingerZero)
        s->abort();
    else
        s->disconnectFromHost();
    if (m_destroying)
        delete s;
    else
        s->deleteLater(); // we may be inside one of its signals
    if (!m_destroying) {
        if (OnDisconnect)
            OnDisconnect(this);
        m_lingerZero = false; // fresh sockets close gracefully
        makeSocket();
    }
}

// ------------------------------------------------------------ notifications

void FtpSocket::onPeerClosed()
{
    if (m_readBusy) {
        // Inside the read pump (a handler ran the event loop): let it take
        // everything the socket still holds first.
        m_closePending = true;
        return;
    }
    try {
        // Read whatever is still pending before the socket goes.
        readPump();
        m_connected = false;
        m_closedByPeer = true;
        if (OnClosedByPeer)
            OnClosedByPeer();
        closeSocket();
    } catch (...) {
    }
}

void FtpSocket::onSocketError(QAbstractSocket::SocketError e)
{
    try {
        if (isTlsError(e)) {
            // StartTls reports it; the socket closes by itself.
            m_tlsFailure = m_sock ? m_sock->errorString().toStdString() : std::string("error");
            return;
        }
        m_noError = false;
        if (e == QAbstractSocket::RemoteHostClosedError) {
            // The close itself; the disconnected notification handles it.
            // A TLS peer's close_notify ends the connection's data as surely,
            // but the socket stays open until the peer's TCP close, which some
            // servers hold back until they see the client's close.
            if (m_sock && m_connected
                && (m_sock->state() == QAbstractSocket::UnconnectedState
                    || qobject_cast<QSslSocket *>(m_sock)))
                onPeerClosed();
            return;
        }
        m_lastError = SocketErrorNumber(e);
        if (m_connected) {
            // A failure on an open connection: report it like a failed read.
            report("Looking Up Error Message", 8);
            std::string text = SocketErrorText(m_lastError);
            if (OnError)
                OnError(this, static_cast<quint16>(m_lastError), text);
            if (m_sock && m_sock->state() == QAbstractSocket::UnconnectedState)
                onPeerClosed();
        }
    } catch (...) {
    }
}

void FtpSocket::readPump()
{
    if (m_readBusy) {
        m_readAgain = true;
        return;
    }
    if (!m_sock)
        return;
    m_readBusy = true;
    // The socket read from; a handler below may run the event loop, but a
    // close is held back until this pump is done (see onPeerClosed).
    QPointer<QTcpSocket> sock = m_sock;
    bool arrived = false;
    try {
        do {
            m_readAgain = false;
            report("ReadToStream", 8);
            while (sock) {
                qint64 avail = sock->bytesAvailable();
                if (avail <= 0)
                    break;
                qint64 want = std::min(avail, kChunk);
                qint64 n;
                if (m_captureDev) {
                    char chunk[kChunk];
                    n = sock->read(chunk, want);
                    if (n > 0 && !m_captureFailed && m_captureDev->write(chunk, n) != n)
                        m_captureFailed = true;
                } else {
                    if (InputLimit > 0 && UnreadCount() > InputLimit) {
                        m_overflowed = true;
                        break;
                    }
                    qsizetype old = m_rx.size();
                    m_rx.resize(old + want);
                    n = sock->read(m_rx.data() + old, want);
                    m_rx.resize(old + std::max<qint64>(n, 0));
                }
                if (n < 0) {
                    m_lastError = SocketErrorNumber(sock->error());
                    report("Looking Up Error Message", 8);
                    if (OnError)
                        OnError(this, static_cast<quint16>(m_lastError),
                                SocketErrorText(m_lastError));
                    break;
                }
                if (n == 0)
                    break;
                arrived = true;
                m_activity.restart();
                m_totalRecvd += n;
                if (m_captureDev) {
                    m_bytesRecvd += n;
                    if (OnPacketRecvd)
                        OnPacketRecvd(this);
                }
            }
        } while (m_readAgain && !m_overflowed);
    } catch (...) {
    }
    m_readBusy = false;
    if (m_overflowed) {
        overflow();
        return;
    }
    if (arrived && OnDataArrived) {
        try {
            OnDataArrived();
        } catch (...) {
        }
    }
    if (m_closePending) {
        m_closePending = false;
        onPeerClosed();
    }
}

void FtpSocket::overflow()
{
    m_overflowed = false;
    m_rx.clear();
    m_rxHead = 0;
    m_rxScan = 0;
    AbortWaits(kMsgInputFlood);
    try {
        if (OnInputOverflow)
            OnInputOverflow();
    } catch (...) {
    }
    m_closePending = false;
    if (m_sock)
        closeSocket();
}

qint64 FtpSocket::pendingOut() const
{
    if (!m_sock)
        return 0;
    qint64 n = m_sock->bytesToWrite();
    if (auto *ssl = qobject_cast<QSslSocket *>(m_sock))
        n += ssl->encryptedBytesToWrite();
    return n;
}

qint64 FtpSocket::BytesSent() const
{
    qint64 n = m_bytesSent;
    if (auto *ssl = qobject_cast<QSslSocket *>(m_sock))
        n -= ssl->encryptedBytesToWrite();
    return std::max<qint64>(n, 0);
}

bool FtpSocket::hasPendingSend() const
{
    if (m_fileMode && m_sendFile)
        return !m_sendFileFailed && m_sendFile->pos() < m_sendFile->size();
    return !m_tx.isEmpty();
}

void FtpSocket::writePump()
{
    if (m_writeBusy) {
        m_writeAgain = true;
        return;
    }
    if (!m_sock)
        return;
    m_writeBusy = true;
    try {
        do {
            m_writeAgain = false;
            report("WriteFromStream", 8);
            while (!m_cancel && m_sock && m_sock->state() == QAbstractSocket::ConnectedState
                   && hasPendingSend() && pendingOut() < kHighWater) {
                qint64 n;
                if (m_fileMode && m_sendFile) {
                    QByteArray chunk = m_sendFile->read(kChunk);
                    if (chunk.isEmpty()) {
                        m_sendFileFailed = true;
                        break;
                    }
                    n = m_sock->write(chunk);
                    if (n < chunk.size()) {
                        // Take back what the socket refused; the next
                        // writable notification tries again.
                        m_sendFile->seek(m_sendFile->pos() - chunk.size() + std::max<qint64>(n, 0));
                    }
                } else {
                    qint64 len = std::min<qint64>(m_tx.size(), kChunk);
                    n = m_sock->write(m_tx.constData(), len);
                    if (n > 0)
                        m_tx.remove(0, n);
                }
                if (n < 0) {
                    m_lastError = SocketErrorNumber(m_sock->error());
                    break;
                }
            }
            // Hand the bytes to the network now rather than on the next
            // pass of the event loop: every command saves a round of waiting.
            if (m_sock && pendingOut() > 0)
                m_sock->flush();
            if (m_sock && !hasPendingSend() && pendingOut() == 0)
                m_sent = true;
        } while (m_writeAgain);
    } catch (...) {
    }
    m_writeBusy = false;
}

void FtpSocket::onBytesWritten(qint64 n)
{
    try {
        m_activity.restart();
        if (m_fileMode) {
            // For TLS, n counts plain bytes as they are encrypted and a call
            // with 0 follows each move of encrypted bytes to the system.
            m_bytesSent += n;
            if (OnPacketSent)
                OnPacketSent(this);
        }
        writePump();
    } catch (...) {
    }
}

// -------------------------------------------------------------------- waits

void FtpSocket::afterLook()
{
    // Notifications are not repeated while a pump is busy in a nested
    // loop: pick up whatever the socket holds.
    if (m_sock && !m_readBusy && m_sock->bytesAvailable() > 0)
        readPump();
    if (m_sock && !m_writeBusy && hasPendingSend())
        writePump();
}

void FtpSocket::Look()
{
    NetworkWait::look({nullptr, [this] { afterLook(); }});
}

void FtpSocket::waitUntil(const std::function<bool()> &done, int watch)
{
    m_activity.restart();
    NetworkWait::until(
        done,
        [this, watch] {
            if (!m_abortMessage.empty())
                throw ESockError(m_abortMessage);
            if ((watch & WatchClose) && !m_connected)
                throw ESockError(notConnectedText());
            if ((watch & WatchIdle) && NoDataTimeOut > 0 && m_activity.elapsed() >= NoDataTimeOut)
                throw ESockError(kMsgNoAnswer);
            // After the silence check: a reply that trickles on is not silent.
            if (!m_deadlineMessage.empty() && m_deadline.hasExpired())
                throw ESockError(m_deadlineMessage);
        },
        {nullptr, [this] { afterLook(); }});
}

std::string FtpSocket::notConnectedText() const
{
    return m_closedByPeer ? std::string(kMsgConnectionClosed) : SocketErrorText(10057);
}

void FtpSocket::AbortWaits(const std::string &message) { m_abortMessage = message; }

void FtpSocket::SetWaitDeadline(int ms, const std::string &message)
{
    if (ms <= 0) {
        ClearWaitDeadline();
        return;
    }
    m_deadline.setRemainingTime(ms);
    m_deadlineMessage = message;
}

void FtpSocket::ClearWaitDeadline() { m_deadlineMessage.clear(); }

// ----------------------------------------------------------------- timer

void FtpSocket::timerOn()
{
    report("Timer On", 8);
    m_timedOut = false;
    // Without a time-out of its own, set-up is bounded by the silence limit.
    m_timer->setInterval(TimeOut > 0 ? TimeOut : std::max(NoDataTimeOut, 0));
    m_timer->setEnabled(true);
}

void FtpSocket::timerOff()
{
    report("Timer Off", 8);
    m_timer->setEnabled(false);
}

void FtpSocket::onTimer()
{
    report("Timer Triggered", 8);
    m_timer->setEnabled(false);
    m_timedOut = true;
}

// ---------------------------------------------------------- connection set-up

void FtpSocket::resolveHost()
{
    report("Resolve Host", 8);
    const std::string &name = Proxy.empty() ? Host : Proxy;
    QHostAddress dotted;
    if (dotted.setAddress(QString::fromStdString(name))
        && dotted.protocol() == QAbstractSocket::IPv4Protocol) {
        m_remote = dotted;
        return;
    }
    m_remote = QHostAddress();
    timerOn();
    m_lookupDone = false;
    m_lookupFailed = false;
    m_lookupAddress = QHostAddress();
    int id = QHostInfo::lookupHost(QString::fromStdString(name), this,
                                   [this](const QHostInfo &info) {
                                       m_lookupDone = true;
                                       if (info.error() != QHostInfo::NoError) {
                                           m_lookupFailed = true;
                                           return;
                                       }
                                       for (const QHostAddress &a : info.addresses()) {
                                           if (a.protocol() == QAbstractSocket::IPv4Protocol) {
                                               m_lookupAddress = a;
                                               return;
                                           }
                                       }
                                       m_lookupFailed = true;
                                   });
    try {
        waitUntil([this] { return m_lookupDone || m_timedOut || m_cancel; }, WatchNone);
    } catch (...) {
        timerOff();
        QHostInfo::abortHostLookup(id);
        throw;
    }
    timerOff();
    if (!m_lookupDone)
        QHostInfo::abortHostLookup(id);
    if (m_timedOut)
        throw ESockError("Host Lookup Timed Out");
    if (m_cancel)
        throw ESockError("Host Lookup Canceled");
    if (m_lookupFailed)
        throw ESockError("Host Lookup Failed");
    m_remote = m_lookupAddress;
    if (OnHostResolved)
        OnHostResolved(this);
}

void FtpSocket::Connect()
{
    report("Connecting", 8);
    m_cancel = false;
    if (m_connected)
        throw ESockError("Already connected");
    m_abortMessage.clear();

    bool firstPass = true;
    for (;;) {
        try {
            resolveHost();
        } catch (const ESockError &e) {
            std::string what = e.what();
            if (what == "Host Lookup Timed Out" || what == "Host Lookup Canceled")
                throw;
            m_remote = QHostAddress(); // a failed lookup leaves no address
        }
        if (!m_remote.isNull())
            break;
        bool handled = false;
        if (firstPass && OnInvalidHost)
            OnInvalidHost(handled);
        if (!handled)
            throw ESockError("Null Remote Address");
        firstPass = false;
    }

    int port = Proxy.empty() ? Port : ProxyPort;
    m_lookupDone = false;
    m_noError = true;
    m_closedByPeer = false;
    m_encrypted = false;
    m_tlsErrors.clear();
    m_tlsFailure.clear();
    if (m_sock && TlsSockets != (qobject_cast<QSslSocket *>(m_sock) != nullptr)) {
        // The socket is of the other kind: make one that fits.
        m_sock->disconnect(this);
        m_sock->abort();
        m_sock->deleteLater();
        m_sock = nullptr;
    }
    if (!m_sock)
        makeSocket();
    if (m_sock->state() != QAbstractSocket::UnconnectedState)
        m_sock->abort();
    // With a cap on the input, what the cap has not taken yet waits in the
    // system's buffer rather than in ours. (Not for TLS, whose socket reads
    // whole records for itself.)
    if (!TlsSockets)
        m_sock->setReadBufferSize(InputLimit > 0 ? 4 * kChunk : 0);
    m_sock->connectToHost(m_remote, static_cast<quint16>(port & 0xFFFF));

    timerOn();
    try {
        waitUntil([this] { return m_connected || m_timedOut || m_cancel || !m_noError; },
                  WatchNone);
    } catch (...) {
        timerOff();
        throw;
    }
    timerOff();
    if (!m_timedOut && !m_cancel && m_noError && m_connected)
        return;
    if (m_sock && m_sock->state() != QAbstractSocket::UnconnectedState)
        m_sock->abort(); // give up the attempt; the socket is ready for the next Connect
    m_connected = false;
    if (OnConnectionFailed)
        OnConnectionFailed(this);
    if (m_timedOut)
        throw ESockError("Connection Timed out");
    if (m_cancel)
        throw ESockError("Connection Canceled");
    throw ESockError("Connection Failed");
}

void FtpSocket::Disconnect()
{
    report("Disconnecting", 8);
    closeSocket();
}

void FtpSocket::Cancel()
{
    report("Canceling", 8);
    m_cancel = true;
}

// ------------------------------------------------------------ sending

void FtpSocket::sendBytes(const QByteArray &bytes)
{
    if (m_cancel)
        return;
    if (!m_connected || !m_sock)
        throw ESockError(notConnectedText());
    m_tx.append(bytes);
    m_sent = false;
    writePump();
    waitUntil([this] { return m_sent || m_cancel; }, WatchClose | WatchIdle);
    throwIfCancelled();
}

void FtpSocket::throwIfCancelled()
{
    if (!m_cancel)
        return;
    m_cancel = false;
    throw EAbortError("Socket send aborted");
}

void FtpSocket::SendBuffer(const QByteArray &bytes)
{
    report("Sending Buffer", 4);
    sendBytes(bytes);
}

void FtpSocket::Write(const std::string &text)
{
    report("Write", 8);
    sendBytes(QByteArray(text.data(), static_cast<qsizetype>(text.size())));
}

void FtpSocket::Writeln(const std::string &text)
{
    report("Writeln", 8);
    Write(text + "\r\n");
}

// ------------------------------------------------------------ reading

std::string FtpSocket::takeFront(qsizetype n)
{
    std::string out(m_rx.constData() + m_rxHead, static_cast<size_t>(n));
    m_rxHead += n;
    m_rxScan = std::max<qsizetype>(0, m_rxScan - n);
    if (m_rxHead == m_rx.size()) {
        m_rx.clear();
        m_rxHead = 0;
        m_rxScan = 0;
    } else if (m_rxHead > 65536 && m_rxHead * 2 > m_rx.size()) {
        m_rx.remove(0, m_rxHead);
        m_rxHead = 0;
    }
    return out;
}

std::string FtpSocket::TakeUnread() { return takeFront(UnreadCount()); }

std::string FtpSocket::PeekUnread(qsizetype n) const
{
    n = std::min<qsizetype>(n, UnreadCount());
    return std::string(m_rx.constData() + m_rxHead, static_cast<size_t>(n));
}

qsizetype FtpSocket::findLineEnd()
{
    // Every byte is data, a zero byte included: only the line feed ends a line.
    qsizetype from = m_rxHead + m_rxScan;
    qsizetype lf = m_rx.indexOf('\n', from);
    if (lf < 0) {
        m_rxScan = m_rx.size() - m_rxHead;
        if (m_rxScan >= kMaxLineLength)
            throw ESockError(kMsgLineTooLong);
        return -1;
    }
    qsizetype len = lf - m_rxHead + 1;
    if (len > kMaxLineLength)
        throw ESockError(kMsgLineTooLong);
    return len;
}

std::string FtpSocket::Read(qint64 n)
{
    report("Read( " + std::to_string(n) + " )", 8);
    if (n != 0)
        waitUntil([this, n] { return UnreadCount() >= n || m_cancel; }, WatchClose | WatchIdle);
    throwIfCancelled();
    return takeFront(n == 0 ? UnreadCount() : std::min<qint64>(n, UnreadCount()));
}

std::string FtpSocket::ReadLn()
{
    report("ReadLn", 8);
    qsizetype len = -1;
    waitUntil(
        [this, &len] {
            if (m_cancel)
                return true;
            len = findLineEnd();
            return len >= 0;
        },
        WatchClose | WatchIdle);
    if (m_cancel)
        throw EAbortError("Socket readln aborted"); // the flag stays set
    return takeFront(len);
}

bool FtpSocket::ReadLnUntilClosed(std::string &line)
{
    qsizetype len = -1;
    waitUntil(
        [this, &len] {
            if (m_cancel)
                return true;
            len = findLineEnd();
            return len >= 0 || !m_connected;
        },
        WatchIdle);
    if (m_cancel)
        throw EAbortError("Socket readln aborted");
    if (len >= 0) {
        line = takeFront(len);
        return true;
    }
    if (UnreadCount() == 0)
        return false;
    line = TakeUnread(); // the last line of the input had no line feed
    return true;
}

std::string FtpSocket::Transaction(const std::string &command)
{
    report("Transaction", 8);
    m_replyCode = 0;
    Writeln(command);
    std::string reply = ReadLn();
    m_lastReply = reply;
    if (!reply.empty()) {
        report(reply, 1);
        size_t i = 0;
        long long value = 0;
        while (i < reply.size() && i < 10 && reply[i] >= '0' && reply[i] <= '9') {
            value = value * 10 + (reply[i] - '0');
            ++i;
        }
        if (i > 0) {
            if (value > INT_MAX)
                value = 0;
            if (value > 32767)
                throw AppError("Range check error");
            m_replyCode = static_cast<int>(value);
        }
    }
    return reply;
}

// ------------------------------------------------------- listening, accepting

void FtpSocket::Listen()
{
    report("Listening", 8);
    closeServer();
    m_server = new TlsCapableServer(TlsSockets, this);
    m_server->setListenBacklogSize(1);
    m_lookupDone = false;
    m_noError = true;
    QObject::connect(m_server, &QTcpServer::newConnection, this, [this] { takeIncoming(); });
    QObject::connect(m_server, &QTcpServer::acceptError, this, [this](QAbstractSocket::SocketError e) {
        m_noError = false;
        m_lastError = SocketErrorNumber(e);
        m_lookupDone = true;
    });
    // A failed bind or listen shows up as a data connection that never comes.
    m_server->listen(QHostAddress::AnyIPv4, static_cast<quint16>(Port & 0xFFFF));
}

void FtpSocket::takeIncoming()
{
    // The peer is judged as the connection arrives: once the peer has sent
    // its data and closed, the socket no longer knows its address.
    while (m_server && m_server->hasPendingConnections()) {
        QTcpSocket *s = m_server->nextPendingConnection();
        QHostAddress peer = s->peerAddress();
        if (!m_allowedPeer.isNull()
            && !peer.isEqual(m_allowedPeer, QHostAddress::ConvertV4MappedToIPv4)) {
            // Not the server we talk to: refuse it and wait for the right one.
            s->abort();
            s->deleteLater();
            continue;
        }
        s->setParent(this);
        m_incoming.push_back({s, peer});
        m_lookupDone = true;
        m_connected = true;
    }
}

QTcpSocket *FtpSocket::Accept()
{
    waitUntil([this] { return m_lookupDone || m_cancel; }, WatchIdle);
    if (m_cancel)
        throw ESockError("Accepting Canceled");
    if (!m_noError)
        throw ESockError("Error creating Data Connection");
    report("Accepting", 4);
    Incoming in = m_incoming.front();
    m_incoming.erase(m_incoming.begin());
    m_lookupDone = !m_incoming.empty();
    if (m_cancel) {
        m_cancel = false;
        in.socket->abort();
        in.socket->deleteLater();
        throw EAbortError("Socket send aborted");
    }
    m_remote = in.peer;
    return in.socket;
}

void FtpSocket::closeServer()
{
    if (!m_server)
        return;
    m_server->disconnect(this);
    m_server->close();
    m_server->deleteLater(); // we may be inside one of its signals
    m_server = nullptr;
}

void FtpSocket::InstallSocket(QTcpSocket *socket)
{
    closeServer();
    for (const Incoming &other : m_incoming) {
        other.socket->abort();
        other.socket->deleteLater();
    }
    m_incoming.clear();
    if (m_sock) {
        m_sock->disconnect(this);
        m_sock->abort();
        m_sock->deleteLater();
    }
    socket->setParent(this);
    m_sock = socket;
    // An accepted connection closes gracefully: the last bytes sent still
    // reach the peer.
    m_lingerZero = false;
    m_noError = true;
    m_closedByPeer = false;
    wireSocket(socket);
    m_connected = socket->state() == QAbstractSocket::ConnectedState;
    // Data (or the close) may have come before we listened to the socket.
    readPump();
    if (m_sock && m_sock->state() != QAbstractSocket::ConnectedState) {
        m_connected = true;
        onPeerClosed();
    }
}

// ------------------------------------------------------------ file transfer

void FtpSocket::SendFile(const std::string &path)
{
    report("SendFile", 8);
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly))
        throw AppError(msgCannotOpenFile(path));
    if (SendBufferLimit > 0 && m_sock)
        m_sock->setSocketOption(QAbstractSocket::SendBufferSizeSocketOption, SendBufferLimit);
    m_fileMode = true;
    m_sendFile = &file;
    m_sendFileFailed = false;
    m_sent = false;
    m_bytesSent = 0;
    qint64 size = file.size();
    {
        const auto restore = qScopeGuard([this] {
            m_sendFile = nullptr;
            m_fileMode = false;
        });
        writePump();
        if (size > 0)
            waitUntil([this] { return m_sent || m_cancel || m_sendFileFailed; },
                      WatchClose | WatchIdle);
    }
    throwIfCancelled();
    if (m_sendFileFailed)
        throw AppError(msgCannotOpenFile(path));
}

void FtpSocket::CaptureFile(QIODevice &device, const std::string &path)
{
    m_fileMode = true;
    report("CaptureFile", 8);
    m_captureFailed = false;
    m_bytesRecvd = 0;
    if (UnreadCount() > 0) {
        qint64 n = UnreadCount();
        if (device.write(m_rx.constData() + m_rxHead, n) != n)
            m_captureFailed = true;
        m_bytesRecvd += n;
        m_rx.clear();
        m_rxHead = 0;
        m_rxScan = 0;
    }
    m_captureDev = &device;
    {
        const auto restore = qScopeGuard([this] {
            m_captureDev = nullptr;
            m_fileMode = false;
        });
        readPump();
        waitUntil([this] { return !m_connected || m_cancel || m_captureFailed; }, WatchIdle);
    }
    throwIfCancelled();
    if (m_captureFailed)
        throw AppError(msgUnableToWrite(path));
}

void FtpSocket::CaptureFile(const std::string &path)
{
    ReplacingFile file(path);
    if (!file.open())
        throw AppError(msgCannotCreateFile(path));
    CaptureFile(file.device(), path);
    if (!file.commit())
        throw AppError(msgCannotCreateFile(path));
}

// ------------------------------------------------------------ PORT helpers

std::string FtpSocket::LocalIPForPort() const
{
    QHostAddress a = m_sock ? m_sock->localAddress() : QHostAddress();
    bool ok = false;
    quint32 v4 = a.toIPv4Address(&ok);
    if (!ok)
        v4 = 0;
    return std::to_string((v4 >> 24) & 0xFF) + "," + std::to_string((v4 >> 16) & 0xFF) + ","
        + std::to_string((v4 >> 8) & 0xFF) + "," + std::to_string(v4 & 0xFF);
}

std::string FtpSocket::LocalPortForPort() const
{
    int port = 0;
    if (m_server && m_server->isListening())
        port = m_server->serverPort();
    else if (m_sock)
        port = m_sock->localPort();
    return "," + std::to_string(port / 256) + "," + std::to_string(port % 256);
}

} // namespace tl

namespace tl {

// ------------------------------------------------------------------ TLS

void FtpSocket::StartTls(const QSslConfiguration &config, const std::string &peerName)
{
    auto *ssl = qobject_cast<QSslSocket *>(m_sock);
    if (!m_connected || !m_sock)
        throw ESockError(notConnectedText());
    if (!ssl)
        throw ESockError(std::string(kMsgTlsFailed) + "the connection cannot carry TLS");
    // Bytes sent in clear after the server agreed to TLS would otherwise be
    // taken as replies from inside the encryption.
    if (!m_readBusy)
        readPump();
    TakeUnread();
    m_encrypted = false;
    m_tlsErrors.clear();
    m_tlsFailure.clear();
    ssl->setSslConfiguration(config);
    ssl->setPeerVerifyName(QString::fromStdString(peerName));
    ssl->startClientEncryption();
    waitUntil([this] { return m_encrypted || !m_tlsFailure.empty() || m_cancel; },
              WatchClose | WatchIdle);
    throwIfCancelled();
    if (!m_encrypted)
        throw ESockError(kMsgTlsFailed + m_tlsFailure);
}

QSslCertificate FtpSocket::PeerCertificate() const
{
    auto *ssl = qobject_cast<QSslSocket *>(m_sock);
    return ssl ? ssl->peerCertificate() : QSslCertificate();
}

QSslConfiguration FtpSocket::TlsConfiguration() const
{
    auto *ssl = qobject_cast<QSslSocket *>(m_sock);
    return ssl ? ssl->sslConfiguration() : QSslConfiguration();
}

void FtpSocket::CloseGracefully(const std::function<bool()> &peerDone)
{
    QPointer<QTcpSocket> s = m_sock;
    if (!s || !m_connected || s->state() != QAbstractSocket::ConnectedState) {
        if (s && m_sock == s)
            closeSocket();
        return;
    }
    // A connection closed with input still unread is reset, and a reset can
    // cost the peer the last bytes sent to it (a TLS server sends session
    // tickets on every connection, which may arrive just then). So a second
    // descriptor keeps the connection once the socket has sent everything
    // (the TLS close included) and let go of it; that descriptor then ends
    // our side of it and reads until the peer ends its side.
    int kept = -1;
#ifdef Q_OS_UNIX
    if (s->socketDescriptor() >= 0)
        kept = ::dup(static_cast<int>(s->socketDescriptor()));
#endif
    s->disconnectFromHost();
    try {
        waitUntil([s] { return !s || s->state() == QAbstractSocket::UnconnectedState; }, WatchIdle);
    } catch (...) {
        if (kept >= 0)
            ::close(kept);
        closeSocket();
        throw;
    }
    if (s && m_sock == s)
        closeSocket();
    if (kept >= 0)
        lingerClose(kept, peerDone);
}

void FtpSocket::lingerClose(int fd, const std::function<bool()> &peerDone)
{
#ifdef Q_OS_UNIX
    ::shutdown(fd, SHUT_WR);
    QSocketNotifier readable(static_cast<qintptr>(fd), QSocketNotifier::Read);
    QElapsedTimer since;
    since.start();
    const int limit = NoDataTimeOut > 0 ? std::min(NoDataTimeOut, kLingerMs) : kLingerMs;
    char sink[4096];
    for (;;) {
        const ssize_t n = ::recv(fd, sink, sizeof sink, MSG_DONTWAIT);
        if (n == 0)
            break; // the peer has ended its side too
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
            break;
        if (n > 0)
            continue;
        if ((peerDone && peerDone()) || m_cancel || since.elapsed() >= limit)
            break;
        Look();
    }
#else
    Q_UNUSED(peerDone);
#endif
    ::close(fd);
}

} // namespace tl
