#include "publish/sftpclient.h"
#include "publish/networkwait.h"
#include "publish/replacingfile.h"
#include "publish/wholeupload.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QHostInfo>
#include <QSocketNotifier>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <deque>
#include <exception>
#include <cstdio>
#include <cstring>
#include <memory>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <libssh/libssh.h>

namespace tl {

namespace {

// SFTP version 3 packet types and codes.
enum : quint8 {
    FXP_INIT = 1,
    FXP_VERSION = 2,
    FXP_OPEN = 3,
    FXP_CLOSE = 4,
    FXP_READ = 5,
    FXP_WRITE = 6,
    FXP_OPENDIR = 11,
    FXP_READDIR = 12,
    FXP_REMOVE = 13,
    FXP_MKDIR = 14,
    FXP_STAT = 17,
    FXP_RENAME = 18,
    FXP_STATUS = 101,
    FXP_HANDLE = 102,
    FXP_DATA = 103,
    FXP_NAME = 104,
    FXP_ATTRS = 105,
    FXP_EXTENDED = 200,
};
enum : quint32 {
    FX_OK = 0,
    FX_EOF = 1,
    FX_NO_SUCH_FILE = 2,
    FX_OP_UNSUPPORTED = 8,
};
enum : quint32 {
    FXF_READ = 0x01,
    FXF_WRITE = 0x02,
    FXF_CREAT = 0x08,
    FXF_TRUNC = 0x10,
    FXF_EXCL = 0x20,
};
enum : quint32 {
    ATTR_SIZE = 0x01,
    ATTR_UIDGID = 0x02,
    ATTR_PERMISSIONS = 0x04,
    ATTR_ACMODTIME = 0x08,
    ATTR_EXTENDED = 0x80000000u,
};
constexpr quint32 kDirectoryBits = 0040000;
constexpr quint32 kRegularBits = 0100000;
constexpr quint32 kTypeMask = 0170000;

// Bytes of file data per read or write request, and requests kept in flight.
// 64 requests of 32 KB fill the 2 MB window OpenSSH opens for a session.
constexpr quint32 kChunk = 32768;
constexpr int kInFlight = 64;
// READDIR requests of a listing kept in flight.
constexpr std::size_t kReadDirsInFlight = 32;
// Largest packet accepted from the server (its own limit is 256 KB).
constexpr quint32 kMaxPacket = 4 * 1024 * 1024;

const char *const kMsgAborted = "Socket send aborted";
const char *const kMsgNotConnected = "Not Connected";

void putU32(QByteArray &b, quint32 v)
{
    const char c[4] = { char(v >> 24), char(v >> 16), char(v >> 8), char(v) };
    b.append(c, 4);
}

void putU64(QByteArray &b, quint64 v)
{
    putU32(b, quint32(v >> 32));
    putU32(b, quint32(v));
}

void putStr(QByteArray &b, const char *data, qsizetype size)
{
    putU32(b, quint32(size));
    b.append(data, size);
}
void putStr(QByteArray &b, const QByteArray &s)
{
    putStr(b, s.constData(), s.size());
}
void putStr(QByteArray &b, const std::string &s)
{
    putStr(b, s.data(), qsizetype(s.size()));
}

quint32 getU32(const char *p)
{
    const auto *u = reinterpret_cast<const unsigned char *>(p);
    return (quint32(u[0]) << 24) | (quint32(u[1]) << 16) | (quint32(u[2]) << 8) | quint32(u[3]);
}

// Reads the fields of a reply; a reply cut short reads as zeros and empty
// strings and leaves ok false.
struct Reader {
    const QByteArray &b;
    qsizetype pos = 0;
    bool ok = true;

    bool need(qsizetype n)
    {
        if (b.size() - pos < n) {
            ok = false;
            pos = b.size();
            return false;
        }
        return true;
    }
    quint32 u32()
    {
        if (!need(4))
            return 0;
        quint32 v = getU32(b.constData() + pos);
        pos += 4;
        return v;
    }
    quint64 u64()
    {
        quint64 hi = u32();
        return (hi << 32) | u32();
    }
    // A string of the reply, without copying it out.
    QByteArrayView strView()
    {
        quint32 n = u32();
        if (!need(n))
            return {};
        const QByteArrayView s = QByteArrayView(b).sliced(pos, n);
        pos += n;
        return s;
    }
    QByteArray str() { return strView().toByteArray(); }
    struct Attrs {
        bool hasSize = false;
        quint64 size = 0;
        bool hasPerms = false;
        quint32 perms = 0;
    };
    Attrs attrs()
    {
        Attrs a;
        quint32 flags = u32();
        if (flags & ATTR_SIZE) {
            a.hasSize = true;
            a.size = u64();
        }
        if (flags & ATTR_UIDGID)
            u64();
        if (flags & ATTR_PERMISSIONS) {
            a.hasPerms = true;
            a.perms = u32();
        }
        if (flags & ATTR_ACMODTIME)
            u64();
        if (flags & ATTR_EXTENDED) {
            quint32 n = u32();
            for (quint32 i = 0; i < n && ok; ++i) {
                str();
                str();
            }
        }
        return a;
    }
};

const char *statusName(quint32 code)
{
    switch (code) {
    case 0:
        return "OK";
    case 1:
        return "End of file";
    case 2:
        return "No such file";
    case 3:
        return "Permission denied";
    case 4:
        return "Failure";
    case 5:
        return "Bad message";
    case 6:
        return "No connection";
    case 7:
        return "Connection lost";
    case 8:
        return "Operation unsupported";
    default:
        return "Unknown error";
    }
}

// The platform's words for a system error ("Connection refused").
std::string systemErrorText(int err)
{
    return std::strerror(err);
}

std::string sshError(ssh_session s)
{
    const char *e = s ? ssh_get_error(s) : nullptr;
    return e && *e ? std::string(e) : std::string("unknown error");
}

// A key file with a passphrase is skipped rather than asked for.
int noPassphrase(const char *, char *, size_t, int, int, void *)
{
    return -1;
}

} // namespace

// ------------------------------------------------------------- lifecycle

class SftpClient::BusyScope {
public:
    explicit BusyScope(SftpClient &c)
        : m_c(c)
    {
        if (m_c.m_busy)
            throw AppError("The SFTP connection is busy with another transfer");
        m_c.m_busy = true;
    }
    ~BusyScope()
    {
        m_c.m_busy = false;
        if (m_c.m_disconnectRequested) {
            m_c.m_disconnectRequested = false;
            m_c.teardown();
        }
    }

private:
    SftpClient &m_c;
};

SftpClient::SftpClient(QObject *parent)
    : QObject(parent)
{
    m_activity.start();
}

SftpClient::~SftpClient()
{
    teardown();
}

QString SftpClient::sshDir() { return QDir::homePath() + "/.ssh"; }

std::string SftpClient::KnownHostsPath() { return (sshDir() + "/known_hosts").toStdString(); }

std::vector<std::string> SftpClient::DefaultKeyPaths()
{
    // The usual keys first, in the order OpenSSH tries them, then any other
    // id_* file, by name.
    const QDir dir(sshDir());
    const QStringList preferred = { "id_ed25519", "id_ecdsa", "id_rsa" };
    QStringList names = dir.entryList({ "id_*" }, QDir::Files, QDir::Name);
    std::vector<std::string> out;
    for (const QString &p : preferred)
        if (names.contains(p))
            out.push_back(dir.filePath(p).toStdString());
    for (const QString &n : names)
        if (!preferred.contains(n) && !n.endsWith(".pub") && !n.endsWith("-cert"))
            out.push_back(dir.filePath(n).toStdString());
    return out;
}

std::string SftpClient::ConfigPath() { return (sshDir() + "/config").toStdString(); }

SshTarget SftpClient::ResolveTarget(const std::string &name, int port, const std::string &user)
{
    SshTarget t;
    t.host = name;
    t.port = port > 0 ? port : 22;
    t.user = user;
    // libssh reads the config into a session of its own, which is then only
    // asked what it made of it.
    using Session = std::unique_ptr<ssh_session_struct, void (*)(ssh_session)>;
    Session s(ssh_new(), ssh_free);
    if (!s)
        return t;
    // The key libssh would offer with no config at all: an IdentityFile of
    // the config comes before it.
    char *value = nullptr;
    std::string defaultIdentity;
    if (ssh_options_get(s.get(), SSH_OPTIONS_IDENTITY, &value) == SSH_OK) {
        defaultIdentity = value;
        ssh_string_free_char(value);
    }
    const std::string sshFolder = sshDir().toStdString();
    ssh_options_set(s.get(), SSH_OPTIONS_SSH_DIR, sshFolder.c_str());
    if (ssh_options_set(s.get(), SSH_OPTIONS_HOST, name.c_str()) != SSH_OK
        || ssh_options_parse_config(s.get(), ConfigPath().c_str()) != SSH_OK)
        return t;

    auto text = [&s](ssh_options_e option) {
        char *v = nullptr;
        std::string out;
        if (ssh_options_get(s.get(), option, &v) == SSH_OK) {
            out = v;
            ssh_string_free_char(v);
        }
        return out;
    };
    if (const std::string host = text(SSH_OPTIONS_HOST); !host.empty())
        t.host = host;
    unsigned int configPort = 0;
    if (port <= 0 && ssh_options_get_port(s.get(), &configPort) == SSH_OK && configPort > 0)
        t.port = int(configPort);
    if (user.empty())
        t.user = text(SSH_OPTIONS_USER);
    const std::string proxy = text(SSH_OPTIONS_PROXYCOMMAND);
    if (proxy != "none")
        t.proxyCommand = proxy;

    std::string identity = text(SSH_OPTIONS_IDENTITY);
    if (!identity.empty() && identity != defaultIdentity) {
        // As OpenSSH reads it: "~" and "%d" are the home folder, "%u" the
        // local user, "%h" and "%r" the remote host and user.
        const std::string home = QDir::homePath().toStdString();
        if (identity == "~" || identity.rfind("~/", 0) == 0)
            identity = home + identity.substr(1);
        const passwd *pw = getpwuid(getuid());
        std::string expanded;
        for (std::size_t i = 0; i < identity.size(); ++i) {
            if (identity[i] != '%' || i + 1 == identity.size()) {
                expanded += identity[i];
                continue;
            }
            switch (identity[++i]) {
            case 'd': expanded += home; break;
            case 'u': expanded += pw ? pw->pw_name : ""; break;
            case 'h': expanded += t.host; break;
            case 'r': expanded += t.user; break;
            case '%': expanded += '%'; break;
            default: expanded += identity.substr(i - 1, 2);
            }
        }
        t.identityFile = expanded;
    }
    return t;
}

void SftpClient::log(const std::string &line)
{
    if (OnLog)
        OnLog(line);
}

void SftpClient::Cancel()
{
    m_cancel = true;
}

void SftpClient::Disconnect()
{
    if (m_busy) {
        // Inside a wait of an operation: end it, and close once it unwinds.
        m_disconnectRequested = true;
        m_cancel = true;
        return;
    }
    teardown();
}

void SftpClient::teardown()
{
    delete m_readNote;
    delete m_writeNote;
    m_readNote = m_writeNote = nullptr;
    if (m_channel) {
        ssh_channel_free(m_channel);
        m_channel = nullptr;
    }
    if (m_session) {
        if (ssh_is_connected(m_session))
            ssh_disconnect(m_session);
        ssh_free(m_session);
        m_session = nullptr;
    }
    // A socket handed to libssh stays ours to close, unless libssh closed it
    // on an error (then the number may already name another file). A proxy's
    // socket is libssh's own.
    if (m_fd >= 0 && m_fdOwned) {
        struct stat st { };
        if (::fstat(m_fd, &st) == 0 && st.st_ino == m_fdInode && st.st_dev == m_fdDevice)
            ::close(m_fd);
    }
    m_fd = -1;
    m_tcpConnecting = false;
    m_out.clear();
    m_outHead = 0;
    m_in.clear();
    m_inHead = 0;
    m_pending.clear();
    m_arrived.clear();
    m_versionArrived = false;
    m_posixRename = false;
    m_knownFolders.clear();
    m_requestedFolders.clear();
    m_folderChecks.clear();
}

// ---------------------------------------------------------------- waiting

bool SftpClient::readyToLook()
{
    // Data libssh has already taken from the socket raises no notification:
    // the wait goes on without sleeping.
    if (m_channel && m_brokenMessage.empty() && ssh_channel_poll(m_channel, 0) != 0)
        return true;
    if (m_readNote)
        m_readNote->setEnabled(true);
    if (m_writeNote) {
        bool wantWrite
            = m_tcpConnecting || (m_session && (ssh_get_poll_flags(m_session) & SSH_WRITE_PENDING));
        m_writeNote->setEnabled(wantWrite);
    }
    return false;
}

void SftpClient::waitUntil(const std::function<bool()> &done, const std::string &silenceMessage)
{
    m_activity.restart();
    NetworkWait::until(
        done,
        [this, &silenceMessage] {
            if (!m_brokenMessage.empty()) {
                std::string message = m_brokenMessage;
                teardown();
                throw ESockError(message);
            }
            if (m_cancel) {
                m_cancel = false;
                throw EAbortError(kMsgAborted);
            }
            if (NoDataTimeOut > 0 && m_activity.elapsed() >= NoDataTimeOut) {
                // A server that stopped answering: the connection is given up.
                teardown();
                throw ESockError(silenceMessage.empty() ? std::string(kMsgNoAnswer) : silenceMessage);
            }
        },
        {[this] { return readyToLook(); }, nullptr});
}

int SftpClient::waitSsh(const std::function<int()> &step, int again)
{
    int rc = again;
    waitUntil([&] {
        rc = step();
        return rc != again;
    });
    return rc;
}

void SftpClient::waitSftp(const std::function<bool()> &done)
{
    waitUntil([&] {
        pumpChannel();
        if (done())
            return true;
        // Requests that `done` queued go out before the wait sleeps.
        if (m_outHead < m_out.size())
            pumpChannel();
        return false;
    });
}

void SftpClient::markBroken(const std::string &message)
{
    if (m_brokenMessage.empty())
        m_brokenMessage = message;
}

void SftpClient::requireConnection()
{
    if (!Connected())
        throw ESockError(kMsgNotConnected);
}

// ------------------------------------------------------ connection set-up

void SftpClient::openTcp(const std::string &host, int port)
{
    // Every failure names where the connection was to go, and why it did not.
    const std::string where = "Cannot connect to " + host + " port " + std::to_string(port) + ": ";
    std::vector<QHostAddress> addresses;
    QHostAddress literal;
    if (literal.setAddress(QString::fromStdString(host))) {
        addresses.push_back(literal);
    } else {
        if (host.empty())
            throw ESockError("No host name given");
        // The answer may come after this wait gave up: it goes to a state
        // that outlives the wait.
        struct Lookup {
            bool done = false;
            QHostInfo info;
        };
        auto state = std::make_shared<Lookup>();
        int id = QHostInfo::lookupHost(
            QString::fromStdString(host), this, [state](const QHostInfo &info) {
                state->info = info;
                state->done = true;
            });
        try {
            waitUntil([&] { return state->done; }, where + "the host name lookup did not finish");
        } catch (...) {
            QHostInfo::abortHostLookup(id);
            throw;
        }
        for (const QHostAddress &a : state->info.addresses())
            if (a.protocol() == QAbstractSocket::IPv4Protocol)
                addresses.push_back(a);
        for (const QHostAddress &a : state->info.addresses())
            if (a.protocol() == QAbstractSocket::IPv6Protocol)
                addresses.push_back(a);
        if (addresses.empty())
            throw ESockError(where
                + (state->info.error() != QHostInfo::NoError
                        ? state->info.errorString().toStdString()
                        : std::string("the name has no address")));
    }

    int lastError = ECONNREFUSED;
    for (const QHostAddress &a : addresses) {
        sockaddr_storage ss {};
        socklen_t len = 0;
        bool v4 = false;
        quint32 ip4 = a.toIPv4Address(&v4);
        if (v4) {
            auto *sin = reinterpret_cast<sockaddr_in *>(&ss);
            sin->sin_family = AF_INET;
            sin->sin_port = htons(quint16(port));
            sin->sin_addr.s_addr = htonl(ip4);
            len = sizeof(sockaddr_in);
        } else {
            auto *sin6 = reinterpret_cast<sockaddr_in6 *>(&ss);
            sin6->sin6_family = AF_INET6;
            sin6->sin6_port = htons(quint16(port));
            Q_IPV6ADDR ip6 = a.toIPv6Address();
            std::copy(ip6.c, ip6.c + 16, sin6->sin6_addr.s6_addr);
            sin6->sin6_scope_id = a.scopeId().toUInt();
            len = sizeof(sockaddr_in6);
        }
        int fd = ::socket(ss.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0) {
            lastError = errno;
            continue;
        }
        // Requests are small and answered one by one: no Nagle delay.
        int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        watchSocket(fd, true);

        int err = 0;
        if (::connect(fd, reinterpret_cast<sockaddr *>(&ss), len) != 0) {
            err = errno;
            if (err == EINPROGRESS) {
                m_tcpConnecting = true;
                try {
                    waitUntil(
                        [fd] {
                            pollfd p { fd, POLLOUT, 0 };
                            return ::poll(&p, 1, 0) > 0;
                        },
                        where + systemErrorText(ETIMEDOUT));
                } catch (...) {
                    m_tcpConnecting = false;
                    throw;
                }
                m_tcpConnecting = false;
                socklen_t elen = sizeof err;
                if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &elen) != 0)
                    err = errno;
            }
        }
        if (err == 0)
            return;
        lastError = err;
        teardown();
    }
    throw ESockError(where + systemErrorText(lastError));
}

void SftpClient::watchSocket(int fd, bool owned)
{
    m_fd = fd;
    m_fdOwned = owned;
    struct stat st { };
    ::fstat(fd, &st);
    m_fdInode = st.st_ino;
    m_fdDevice = st.st_dev;
    m_readNote = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    m_writeNote = new QSocketNotifier(fd, QSocketNotifier::Write, this);
    QObject::connect(m_readNote, &QSocketNotifier::activated, this, [this] {
        m_readNote->setEnabled(false);
        m_activity.restart();
    });
    QObject::connect(m_writeNote, &QSocketNotifier::activated, this,
        [this] { m_writeNote->setEnabled(false); });
}

int SftpClient::port() const { return m_target.port; }

std::string SftpClient::hostLabel() const
{
    const std::string &host = m_target.host;
    return port() == 22 ? host : "[" + host + "]:" + std::to_string(port());
}

ESockError SftpClient::sshFailed() const
{
    return ESockError("SSH connection to " + hostLabel() + " failed: " + sshError(m_session));
}

void SftpClient::Connect()
{
    m_cancel = false;
    if (Connected())
        return;
    BusyScope busy(*this);
    teardown();
    m_brokenMessage.clear();
    try {
        m_target = ResolveTarget(Host, Port, UserID);
        const bool proxied = !m_target.proxyCommand.empty();
        if (!proxied)
            openTcp(m_target.host, m_target.port);
        m_session = ssh_new();
        if (!m_session)
            throw ESockError("Cannot start an SSH session");
        const std::string sshFolder = sshDir().toStdString();
        const std::string knownHosts = KnownHostsPath();
        unsigned int uport = unsigned(m_target.port);
        bool no = false;
        ssh_options_set(m_session, SSH_OPTIONS_HOST, m_target.host.c_str());
        ssh_options_set(m_session, SSH_OPTIONS_PORT, &uport);
        if (!m_target.user.empty())
            ssh_options_set(m_session, SSH_OPTIONS_USER, m_target.user.c_str());
        ssh_options_set(m_session, SSH_OPTIONS_SSH_DIR, sshFolder.c_str());
        ssh_options_set(m_session, SSH_OPTIONS_KNOWNHOSTS, knownHosts.c_str());
        ssh_options_set(m_session, SSH_OPTIONS_PROCESS_CONFIG, &no);
        if (proxied)
            ssh_options_set(m_session, SSH_OPTIONS_PROXYCOMMAND, m_target.proxyCommand.c_str());
        else
            ssh_options_set(m_session, SSH_OPTIONS_FD, &m_fd);
        ssh_set_blocking(m_session, 0);

        int rc = ssh_connect(m_session);
        if (proxied) {
            // libssh started the proxy command on the first call; its end of
            // the socket pair is what the waits listen on.
            const int fd = ssh_get_fd(m_session);
            if (fd < 0)
                throw sshFailed();
            watchSocket(fd, false);
            log("Connecting through: " + m_target.proxyCommand);
        }
        if (rc == SSH_AGAIN)
            rc = waitSsh([this] { return ssh_connect(m_session); }, SSH_AGAIN);
        if (rc != SSH_OK)
            throw sshFailed();
        checkHostKey();
        authenticate();
        startSftp();
    } catch (...) {
        teardown();
        throw;
    }
}

void SftpClient::checkHostKey()
{
    ssh_key key = nullptr;
    if (ssh_get_server_publickey(m_session, &key) != SSH_OK)
        throw SshHostKeyError("The server " + hostLabel() + " sent no host key");
    HostKeyInfo info;
    info.host = m_target.host;
    info.port = port();
    info.type = ssh_key_type_to_char(ssh_key_type(key)) ? ssh_key_type_to_char(ssh_key_type(key))
                                                        : "unknown";
    unsigned char *hash = nullptr;
    size_t hashLen = 0;
    if (ssh_get_publickey_hash(key, SSH_PUBLICKEY_HASH_SHA256, &hash, &hashLen) == SSH_OK) {
        char *fp = ssh_get_fingerprint_hash(SSH_PUBLICKEY_HASH_SHA256, hash, hashLen);
        if (fp)
            info.fingerprint = fp;
        ssh_string_free_char(fp);
        ssh_clean_pubkey_hash(&hash);
    }
    ssh_key_free(key);

    const std::string path = KnownHostsPath();
    const std::string shown = info.type + " " + info.fingerprint;
    const ssh_known_hosts_e known = ssh_session_is_known_server(m_session);
    switch (known) {
    case SSH_KNOWN_HOSTS_OK:
        return;
    case SSH_KNOWN_HOSTS_CHANGED:
    case SSH_KNOWN_HOSTS_OTHER: {
        const bool otherType = known == SSH_KNOWN_HOSTS_OTHER;
        throw SshHostKeyError("WARNING: the host key of " + hostLabel()
            + " has CHANGED. The server now shows the " + shown
            + (otherType ? ", a key of another type than the one recorded in "
                         : ", which is not the key recorded in ")
            + path
            + ". Someone may be intercepting the connection, or the server's key was replaced. "
              "The connection was refused; if the new key is expected, remove the old entry "
              "from "
            + path + " and connect again.");
    }
    case SSH_KNOWN_HOSTS_NOT_FOUND:
    case SSH_KNOWN_HOSTS_UNKNOWN: {
        bool accept = AcceptNewHostKey || (OnUnknownHostKey && OnUnknownHostKey(info));
        if (!accept)
            throw SshHostKeyError("The host key of " + hostLabel() + " is not known (" + shown
                + "); the connection was refused.");
        const QString dir = sshDir();
        if (!QDir(dir).exists() && QDir().mkpath(dir))
            QFile::setPermissions(
                dir, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        if (ssh_session_update_known_hosts(m_session) == SSH_OK)
            log("The host key of " + hostLabel() + " (" + shown + ") was added to " + path);
        else
            log("The host key of " + hostLabel()
                + " was accepted for this connection but could "
                  "not be recorded in "
                + path + ": " + sshError(m_session));
        return;
    }
    case SSH_KNOWN_HOSTS_ERROR:
    default:
        throw SshHostKeyError("Cannot check the host key of " + hostLabel() + " against " + path
            + ": " + sshError(m_session));
    }
}

void SftpClient::authenticate()
{
    const std::string who
        = (m_target.user.empty() ? std::string("the local user") : "user " + m_target.user)
        + " on " + hostLabel();
    // The credentials are offered at once, without first asking the server
    // which methods it takes (the "none" request): that question costs a
    // round trip, and a refusal tells the same.
    int rc = SSH_AUTH_DENIED;
    if (!Password.empty()) {
        rc = waitSsh([this] { return ssh_userauth_password(m_session, nullptr, Password.c_str()); },
                     SSH_AUTH_AGAIN);
        if (rc == SSH_AUTH_SUCCESS) {
            log("Logged in with the password");
            return;
        }
        if (rc == SSH_AUTH_ERROR)
            throw sshFailed();
        if (ssh_userauth_list(m_session, nullptr) & SSH_AUTH_METHOD_INTERACTIVE) {
            // Keyboard-interactive: the password answers the prompts that do
            // not echo (the password prompt).
            for (int round = 0; round < 4; ++round) {
                rc = waitSsh([this] { return ssh_userauth_kbdint(m_session, nullptr, nullptr); },
                    SSH_AUTH_AGAIN);
                if (rc == SSH_AUTH_SUCCESS) {
                    log("Logged in with the password");
                    return;
                }
                if (rc != SSH_AUTH_INFO)
                    break;
                int n = ssh_userauth_kbdint_getnprompts(m_session);
                for (int i = 0; i < n; ++i) {
                    char echo = 0;
                    ssh_userauth_kbdint_getprompt(m_session, unsigned(i), &echo);
                    ssh_userauth_kbdint_setanswer(
                        m_session, unsigned(i), echo ? "" : Password.c_str());
                }
            }
            if (rc == SSH_AUTH_ERROR)
                throw sshFailed();
        }
        throw SshAuthError("Authentication failed: the server refused the password for " + who);
    }

    std::string tried;
    {
        if (!qEnvironmentVariableIsEmpty("SSH_AUTH_SOCK")) {
            tried = "the SSH agent";
            rc = waitSsh([this] { return ssh_userauth_agent(m_session, nullptr); }, SSH_AUTH_AGAIN);
            if (rc == SSH_AUTH_SUCCESS) {
                log("Logged in with a key of the SSH agent");
                return;
            }
            if (rc == SSH_AUTH_ERROR && !ssh_is_connected(m_session))
                throw sshFailed();
        }
        // The key the config names for the host first, then the usual ones.
        std::vector<std::string> keys = DefaultKeyPaths();
        if (!m_target.identityFile.empty()) {
            keys.erase(std::remove(keys.begin(), keys.end(), m_target.identityFile), keys.end());
            keys.insert(keys.begin(), m_target.identityFile);
        }
        for (const std::string &path : keys) {
            ssh_key key = nullptr;
            if (ssh_pki_import_privkey_file(path.c_str(), nullptr, noPassphrase, nullptr, &key)
                != SSH_OK) {
                log("Skipped the key " + path + ": it needs a passphrase or cannot be read");
                continue;
            }
            tried += (tried.empty() ? "" : ", ") + path;
            try {
                rc = waitSsh(
                    [this, key] { return ssh_userauth_publickey(m_session, nullptr, key); },
                    SSH_AUTH_AGAIN);
            } catch (...) {
                ssh_key_free(key);
                throw;
            }
            ssh_key_free(key);
            if (rc == SSH_AUTH_SUCCESS) {
                log("Logged in with the key " + path);
                return;
            }
            if (rc == SSH_AUTH_ERROR)
                throw sshFailed();
        }
    }
    if (tried.empty()) {
        // Nothing to offer: a server may still let the user in as it is.
        rc = waitSsh([this] { return ssh_userauth_none(m_session, nullptr); }, SSH_AUTH_AGAIN);
        if (rc == SSH_AUTH_SUCCESS)
            return;
        if (rc == SSH_AUTH_ERROR)
            throw sshFailed();
    }
    throw SshAuthError("Authentication failed: the server accepted no key for " + who
        + (tried.empty() ? std::string(" (no SSH agent and no key in ")
                    + sshDir().toStdString() + ")"
                         : " (tried " + tried + ")")
        + "; enter the password to log in with it");
}

void SftpClient::startSftp()
{
    m_channel = ssh_channel_new(m_session);
    if (!m_channel)
        throw ESockError("Cannot open an SSH channel: " + sshError(m_session));
    int rc = waitSsh([this] { return ssh_channel_open_session(m_channel); }, SSH_AGAIN);
    if (rc != SSH_OK)
        throw ESockError("The server refused an SSH session: " + sshError(m_session));
    // The SFTP greeting waits for the answer: OpenSSH opens the channel's
    // window only once the subsystem runs.
    rc = waitSsh([this] { return ssh_channel_request_subsystem(m_channel, "sftp"); }, SSH_AGAIN);
    if (rc != SSH_OK)
        throw ESockError("The server " + hostLabel() + " does not offer SFTP");

    QByteArray init;
    putU32(init, 5);
    init.append(char(FXP_INIT));
    putU32(init, 3);
    m_out.append(init);
    waitSftp([this] { return m_versionArrived; });
    if (m_serverVersion < 3)
        throw ESockError("The server speaks SFTP version " + std::to_string(m_serverVersion)
            + "; version 3 is needed");
}

// ------------------------------------------------------------ SFTP packets

quint32 SftpClient::send(quint8 type, const QByteArray &payload, bool wantReply)
{
    const quint32 id = m_nextId++;
    putU32(m_out, quint32(1 + 4 + payload.size()));
    m_out.append(char(type));
    putU32(m_out, id);
    m_out.append(payload);
    if (wantReply)
        m_pending.insert(id);
    return id;
}

bool SftpClient::take(quint32 id, Reply &out)
{
    auto it = m_arrived.find(id);
    if (it == m_arrived.end())
        return false;
    out = std::move(it->second);
    m_arrived.erase(it);
    return true;
}

SftpClient::Reply SftpClient::await(quint32 id)
{
    waitSftp([this, id] { return m_arrived.count(id) != 0; });
    Reply r;
    take(id, r);
    return r;
}

void SftpClient::forgetPending()
{
    // Replies still to come for these requests are dropped as they arrive;
    // those of folders still to be checked are kept.
    std::set<quint32> keep;
    for (const FolderCheck &c : m_folderChecks) {
        keep.insert(c.statId);
        for (const auto &m : c.made)
            keep.insert(m.first);
    }
    if (keep.empty()) {
        m_pending.clear();
        m_arrived.clear();
        return;
    }
    for (auto it = m_pending.begin(); it != m_pending.end();)
        it = keep.count(*it) ? std::next(it) : m_pending.erase(it);
    for (auto it = m_arrived.begin(); it != m_arrived.end();)
        it = keep.count(it->first) ? std::next(it) : m_arrived.erase(it);
}

void SftpClient::pumpChannel()
{
    if (!m_channel || !m_brokenMessage.empty())
        return;
    while (m_outHead < m_out.size()) {
        const uint32_t window = ssh_channel_window_size(m_channel);
        if (window == 0)
            break; // the server's window opens again when it has taken our data
        const qsizetype n = std::min<qsizetype>(m_out.size() - m_outHead, qsizetype(window));
        const int written
            = ssh_channel_write(m_channel, m_out.constData() + m_outHead, uint32_t(n));
        if (written == SSH_ERROR) {
            markBroken(ssh_is_connected(m_session) ? "SSH error: " + sshError(m_session)
                                                   : std::string(kMsgConnectionClosed));
            return;
        }
        if (written <= 0)
            break;
        m_outHead += written;
        if (written < n)
            break;
    }
    if (m_outHead == m_out.size()) {
        m_out.clear();
        m_outHead = 0;
    } else if (m_outHead > (1 << 20)) {
        m_out.remove(0, m_outHead);
        m_outHead = 0;
    }

    char buf[65536];
    for (;;) {
        const int n = ssh_channel_read_nonblocking(m_channel, buf, sizeof buf, 0);
        if (n == SSH_ERROR) {
            markBroken(ssh_is_connected(m_session) ? "SSH error: " + sshError(m_session)
                                                   : std::string(kMsgConnectionClosed));
            break;
        }
        if (n <= 0)
            break;
        m_in.append(buf, n);
        m_activity.restart();
    }
    // Whatever a server writes to the channel's error stream is dropped, so
    // that it never holds up the channel's window.
    while (ssh_channel_read_nonblocking(m_channel, buf, sizeof buf, 1) > 0) { }
    parseInput();
    if (ssh_channel_is_eof(m_channel) || ssh_channel_is_closed(m_channel)
        || !ssh_is_connected(m_session))
        markBroken(kMsgConnectionClosed);
}

void SftpClient::parseInput()
{
    while (m_in.size() - m_inHead >= 4) {
        const char *p = m_in.constData() + m_inHead;
        const quint32 len = getU32(p);
        if (len < 1 || len > kMaxPacket) {
            markBroken("The server sent a malformed SFTP packet");
            return;
        }
        if (m_in.size() - m_inHead < qsizetype(4 + len))
            break;
        const quint8 type = quint8(p[4]);
        if (type == FXP_VERSION) {
            QByteArray body(p + 5, len - 1);
            Reader r { body };
            m_serverVersion = r.u32();
            while (r.ok && r.pos < body.size()) {
                QByteArray name = r.str();
                r.str();
                if (name == "posix-rename@openssh.com")
                    m_posixRename = true;
            }
            m_versionArrived = true;
        } else if (len >= 5) {
            const quint32 id = getU32(p + 5);
            if (m_pending.erase(id))
                m_arrived[id] = Reply { type, QByteArray(p + 9, len - 5) };
        }
        m_inHead += 4 + len;
    }
    if (m_inHead == m_in.size()) {
        m_in.clear();
        m_inHead = 0;
    } else if (m_inHead > (1 << 20)) {
        m_in.remove(0, m_inHead);
        m_inHead = 0;
    }
}

quint32 SftpClient::statusCode(const Reply &r) const
{
    if (r.type != FXP_STATUS)
        return 5; // an answer of the wrong kind counts as a bad message
    Reader rd { r.body };
    quint32 code = rd.u32();
    return rd.ok ? code : 5;
}

std::string SftpClient::statusText(const Reply &r) const
{
    if (r.type != FXP_STATUS)
        return "unexpected answer of the server";
    Reader rd { r.body };
    const quint32 code = rd.u32();
    const QByteArray message = rd.str();
    return message.isEmpty() ? std::string(statusName(code)) : message.toStdString();
}

quint32 SftpClient::sendOpen(const std::string &path, quint32 flags)
{
    QByteArray p;
    putStr(p, path);
    putU32(p, flags);
    putU32(p, 0); // no attributes: the server's defaults
    return send(FXP_OPEN, p);
}

QByteArray SftpClient::handleOf(const Reply &r, const std::string &failure) const
{
    if (r.type != FXP_HANDLE)
        throw SftpError(failure + ": " + statusText(r));
    Reader rd { r.body };
    return rd.str();
}

void SftpClient::abandon(const QByteArray &handle)
{
    if (!Connected())
        return;
    forgetPending();
    closeQuietly(handle);
}

void SftpClient::closeQuietly(const QByteArray &handle)
{
    // The reply is not waited for: the next request's answer comes after it.
    QByteArray p;
    putStr(p, handle);
    send(FXP_CLOSE, p, false);
}

// -------------------------------------------------------------- operations

void SftpClient::MakeFolders(const std::string &remotePath)
{
    PrepareFolders(remotePath);
    BusyScope busy(*this);
    settleFolders(true);
}

void SftpClient::PrepareFolders(const std::string &remotePath)
{
    BusyScope busy(*this);
    requireConnection();
    const QStringList parts = QString::fromStdString(remotePath).split('/', Qt::SkipEmptyParts);
    std::string prefix = !remotePath.empty() && remotePath[0] == '/' ? "/" : "";
    std::vector<std::string> levels;
    for (const QString &part : parts) {
        if (part == ".")
            continue;
        prefix += part.toStdString();
        levels.push_back(prefix);
        prefix += "/";
    }
    if (levels.empty() || m_knownFolders.count(levels.back())
        || m_requestedFolders.count(levels.back()))
        return;
    // A MKDIR for every level not known to exist, in order, then a STAT of
    // the whole path. A MKDIR of a level that exists fails; only the final
    // STAT decides. Nothing waits for the answers here: they come before
    // those of any later request, which the server handles after these.
    FolderCheck check;
    check.levels = levels;
    for (const std::string &level : levels) {
        if (m_knownFolders.count(level) || m_requestedFolders.count(level))
            continue;
        QByteArray p;
        putStr(p, level);
        putU32(p, 0);
        check.made.emplace_back(send(FXP_MKDIR, p), level);
    }
    QByteArray st;
    putStr(st, levels.back());
    check.statId = send(FXP_STAT, st);
    for (const std::string &level : levels)
        m_requestedFolders.insert(level);
    m_folderChecks.push_back(std::move(check));
    pumpChannel();
}

void SftpClient::settleFolders(bool wait)
{
    const auto answered = [this](const FolderCheck &c) {
        return m_arrived.count(c.statId) != 0
            && std::all_of(c.made.begin(), c.made.end(),
                           [this](const auto &m) { return m_arrived.count(m.first) != 0; });
    };
    while (!m_folderChecks.empty()) {
        FolderCheck &check = m_folderChecks.front();
        if (!answered(check)) {
            if (!wait)
                return;
            waitSftp([&] { return answered(check); });
        }
        std::string lastRefusal;
        for (const auto &[id, level] : check.made) {
            Reply r;
            take(id, r);
            if (statusCode(r) != FX_OK)
                lastRefusal = "Cannot create remote folder " + level + ": " + statusText(r);
        }
        Reply r;
        take(check.statId, r);
        bool isDir = false;
        if (r.type == FXP_ATTRS) {
            Reader rd { r.body };
            const Reader::Attrs a = rd.attrs();
            isDir = !a.hasPerms || (a.perms & kTypeMask) == kDirectoryBits;
        }
        const FolderCheck done = std::move(check);
        m_folderChecks.erase(m_folderChecks.begin());
        if (!isDir) {
            // The folders asked for after it are not waited for: asking
            // again makes them again.
            for (const FolderCheck &later : m_folderChecks)
                for (const std::string &level : later.levels)
                    m_requestedFolders.erase(level);
            for (const std::string &level : done.levels)
                m_requestedFolders.erase(level);
            m_folderChecks.clear();
            throw SftpError(!lastRefusal.empty()
                    ? lastRefusal
                    : "Cannot create remote folder " + done.levels.back() + ": " + statusText(r));
        }
        for (const std::string &level : done.levels)
            m_knownFolders.insert(level);
    }
}

void SftpClient::UploadWhole(const std::string &localPath, const std::string &remotePath)
{
    BusyScope busy(*this);
    requireConnection();
    settleFolders(true);
    forgetPending();
    QFile file(QString::fromStdString(localPath));
    if (!file.open(QIODevice::ReadOnly))
        throw AppError(msgCannotOpenFile(localPath));
    std::string target = remotePath;
    if (target.empty())
        target = QFileInfo(QString::fromStdString(localPath)).fileName().toStdString();

    ReplaceSteps steps;
    steps.store = [&](const std::string &temp, bool &stored) {
        storeFile(file, localPath, temp, stored);
    };
    steps.renameOver = [this](const std::string &temp, const std::string &to, bool &keepTemp) {
        renameOver(temp, to, keepTemp);
    };
    steps.remove = [this](const std::string &temp) { removeTemp(temp); };
    steps.log = [this](const std::string &line) { log(line); };
    uploadThroughTemporaryName(target, steps);
}

void SftpClient::storeFile(QFile &file, const std::string &localPath, const std::string &temp,
                           bool &stored)
{
    const qint64 total = file.size();
    // A file left by an earlier run under the same name is replaced.
    stored = true; // once the OPEN is out, the server may hold the file
    const Reply opened = await(sendOpen(temp, FXF_WRITE | FXF_CREAT | FXF_TRUNC));
    if (opened.type != FXP_HANDLE)
        stored = false;
    const QByteArray handle = handleOf(opened, "Cannot create remote file " + temp);
    bool handleOpen = true;
    try {
        std::map<quint32, quint32> inFlight; // request id -> bytes
        qint64 sent = 0, acked = 0;
        quint32 closeId = 0;
        bool closeSent = false;
        waitSftp([&] {
            bool moved = false;
            for (auto it = inFlight.begin(); it != inFlight.end();) {
                Reply r;
                if (!take(it->first, r)) {
                    ++it;
                    continue;
                }
                if (statusCode(r) != FX_OK)
                    throw SftpError(
                        "Unable to write to remote file " + temp + ": " + statusText(r));
                acked += it->second;
                moved = true;
                it = inFlight.erase(it);
            }
            if (moved && OnProgress)
                OnProgress(acked, total);
            while (!closeSent && int(inFlight.size()) < kInFlight && sent < total) {
                const quint32 n = quint32(std::min<qint64>(kChunk, total - sent));
                quint32 id = 0;
                if (!sendWrite(handle, file, sent, n, id))
                    throw AppError(msgCannotOpenFile(localPath));
                inFlight.emplace(id, n);
                sent += n;
            }
            if (!closeSent && sent == total) {
                // Every write is queued: the close can follow them at once.
                QByteArray p;
                putStr(p, handle);
                closeId = send(FXP_CLOSE, p);
                closeSent = true;
            }
            return closeSent && inFlight.empty() && m_arrived.count(closeId) != 0;
        });
        handleOpen = false;
        Reply closed;
        take(closeId, closed);
        if (statusCode(closed) != FX_OK)
            throw SftpError("Unable to write to remote file " + temp + ": " + statusText(closed));
    } catch (...) {
        if (handleOpen)
            abandon(handle);
        throw;
    }
}

bool SftpClient::sendWrite(const QByteArray &handle, QFile &file, qint64 offset, quint32 length,
                           quint32 &id)
{
    // The file's bytes go straight into the request.
    QByteArray p;
    p.reserve(qsizetype(length) + 64);
    putStr(p, handle);
    putU64(p, quint64(offset));
    putU32(p, length);
    const qsizetype at = p.size();
    p.resize(at + qsizetype(length));
    if (!file.seek(offset) || file.read(p.data() + at, length) != qint64(length))
        return false;
    id = send(FXP_WRITE, p);
    return true;
}

quint32 SftpClient::sendRename(const std::string &from, const std::string &to, bool posix)
{
    QByteArray p;
    if (posix)
        putStr(p, std::string("posix-rename@openssh.com"));
    putStr(p, from);
    putStr(p, to);
    return send(posix ? FXP_EXTENDED : FXP_RENAME, p);
}

quint32 SftpClient::sendRemove(const std::string &path)
{
    QByteArray p;
    putStr(p, path);
    return send(FXP_REMOVE, p);
}

SftpError SftpClient::renameFailed(const std::string &from, const std::string &to,
                                   const Reply &r) const
{
    return SftpError("Cannot rename " + from + " to " + to + ": " + statusText(r));
}

void SftpClient::renameOver(const std::string &from, const std::string &to, bool &keepFrom)
{
    if (m_posixRename && UsePosixRename) {
        const Reply r = await(sendRename(from, to, true));
        const quint32 code = statusCode(r);
        if (code == FX_OK)
            return;
        if (code != FX_OP_UNSUPPORTED)
            throw renameFailed(from, to, r);
    }
    // A plain rename does not replace an existing file: when it is refused,
    // remove the target and rename again.
    Reply r = await(sendRename(from, to, false));
    if (statusCode(r) == FX_OK)
        return;
    const quint32 removeId = sendRemove(to);
    const quint32 renameId = sendRename(from, to, false);
    const Reply removed = await(removeId);
    r = await(renameId);
    if (statusCode(r) == FX_OK)
        return;
    // With the old file gone, the new content stays under the temporary name.
    keepFrom = statusCode(removed) == FX_OK;
    throw renameFailed(from, to, r);
}

void SftpClient::removeTemp(const std::string &temp)
{
    if (!Connected())
        throw ESockError("the connection was lost");
    forgetPending();
    const Reply r = await(sendRemove(temp));
    const quint32 code = statusCode(r);
    // A temporary file that is not there is as good as removed.
    if (code != FX_OK && code != FX_NO_SUCH_FILE)
        throw SftpError(statusText(r));
}

// ---------------------------------------------------- many files at once

namespace {

// What UploadMany keeps in flight: enough files to cover many round trips'
// worth of small pages, and at most as many bytes of writes as one file's
// upload keeps in flight, so memory does not grow with the send.
constexpr std::size_t kFilesInFlight = 64;
constexpr qint64 kBytesInFlight = qint64(kChunk) * kInFlight;

} // namespace

// One file of UploadMany on its way.
struct SftpClient::ManyFile {
    enum class Stage { Opening, Writing, Renaming, Renamed, Failed };
    std::size_t index = 0;
    std::string target, temp;
    std::unique_ptr<QFile> file;
    qint64 size = 0, sent = 0, acked = 0;
    Stage stage = Stage::Opening;
    quint32 openId = 0, closeId = 0, renameId = 0, removeId = 0;
    QByteArray handle;        // open on the server, no CLOSE sent yet
    std::map<quint32, quint32> writes; // WRITE requests in flight -> bytes
    bool closeSent = false;
    bool closed = false;      // the server confirmed the CLOSE: all bytes are in
    bool posixRename = false; // the rename in flight is the server's POSIX one
    bool mayExist = false;    // the temporary file may be on the server
    bool keepTemp = false;    // it holds the only copy of the new content
};

void SftpClient::UploadMany(const std::vector<SftpUpload> &files,
                            const std::function<void(std::size_t index)> &confirmed)
{
    BusyScope busy(*this);
    requireConnection();
    forgetPending();
    using Stage = ManyFile::Stage;
    std::deque<ManyFile> active; // started and not yet confirmed, in order
    std::size_t next = 0;        // the next file to start
    std::size_t renameNext = 0;  // renames go out in order: the next one
    qint64 bytesInFlight = 0;
    std::size_t failedAt = files.size();
    std::exception_ptr failure;
    qint64 shownDone = -1;

    const auto fail = [&](ManyFile &f, std::exception_ptr e) {
        f.stage = Stage::Failed;
        if (f.index < failedAt) {
            failedAt = f.index;
            failure = std::move(e);
        }
    };
    const auto start = [&](std::size_t i) {
        ManyFile &f = active.emplace_back();
        f.index = i;
        f.target = files[i].remotePath;
        f.temp = temporaryNameFor(f.target);
        f.file = std::make_unique<QFile>(QString::fromStdString(files[i].localPath));
        if (!f.file->open(QIODevice::ReadOnly)) {
            fail(f, std::make_exception_ptr(AppError(msgCannotOpenFile(files[i].localPath))));
            return;
        }
        f.size = f.file->size();
        f.openId = sendOpen(f.temp, FXF_WRITE | FXF_CREAT | FXF_TRUNC);
        f.mayExist = true;
    };
    // Takes what the server answered for one file.
    const auto settle = [&](ManyFile &f) {
        Reply r;
        if (f.stage == Stage::Opening && take(f.openId, r)) {
            if (r.type == FXP_HANDLE) {
                Reader rd { r.body };
                f.handle = rd.str();
                f.stage = Stage::Writing;
            } else {
                f.mayExist = false;
                fail(f, std::make_exception_ptr(
                            SftpError("Cannot create remote file " + f.temp + ": " + statusText(r))));
            }
        }
        for (auto it = f.writes.begin(); it != f.writes.end();) {
            if (!take(it->first, r)) {
                ++it;
                continue;
            }
            bytesInFlight -= it->second;
            if (statusCode(r) == FX_OK)
                f.acked += it->second;
            else if (f.stage != Stage::Failed)
                fail(f, std::make_exception_ptr(SftpError(
                            "Unable to write to remote file " + f.temp + ": " + statusText(r))));
            it = f.writes.erase(it);
        }
        if (f.closeSent && !f.closed && take(f.closeId, r)) {
            f.closeSent = false; // answered
            if (statusCode(r) == FX_OK && f.stage == Stage::Writing)
                f.closed = true;
            else if (f.stage != Stage::Failed)
                fail(f, std::make_exception_ptr(SftpError(
                            "Unable to write to remote file " + f.temp + ": " + statusText(r))));
        }
        if (f.stage == Stage::Renaming && f.removeId != 0 && m_arrived.count(f.renameId) != 0
            && m_arrived.count(f.removeId) != 0) {
            // The fallback: the target removed, then the rename.
            Reply removed;
            take(f.removeId, removed);
            take(f.renameId, r);
            if (statusCode(r) == FX_OK) {
                f.stage = Stage::Renamed;
                f.mayExist = false;
            } else {
                f.keepTemp = statusCode(removed) == FX_OK;
                fail(f, std::make_exception_ptr(renameFailed(f.temp, f.target, r)));
            }
        } else if (f.stage == Stage::Renaming && f.removeId == 0 && take(f.renameId, r)) {
            const quint32 code = statusCode(r);
            if (code == FX_OK) {
                f.stage = Stage::Renamed;
                f.mayExist = false;
            } else if (code == FX_OP_UNSUPPORTED && f.posixRename) {
                m_posixRename = false;
                f.posixRename = false;
                f.removeId = sendRemove(f.target);
                f.renameId = sendRename(f.temp, f.target, false);
            } else if (code != FX_OK && !f.posixRename) {
                // A plain rename does not replace an existing file: remove
                // the target and rename again.
                f.removeId = sendRemove(f.target);
                f.renameId = sendRename(f.temp, f.target, false);
            } else {
                fail(f, std::make_exception_ptr(renameFailed(f.temp, f.target, r)));
            }
        }
    };
    // Sends what the file can do next; false when the byte window is full.
    const auto advance = [&](ManyFile &f) {
        if (f.stage != Stage::Writing || f.index > failedAt)
            return true;
        while (f.sent < f.size && bytesInFlight < kBytesInFlight) {
            const quint32 n = quint32(std::min<qint64>(kChunk, f.size - f.sent));
            quint32 id = 0;
            if (!sendWrite(f.handle, *f.file, f.sent, n, id)) {
                fail(f, std::make_exception_ptr(AppError(msgCannotOpenFile(files[f.index].localPath))));
                return true;
            }
            f.writes.emplace(id, n);
            f.sent += n;
            bytesInFlight += n;
        }
        if (f.sent == f.size && !f.closeSent && !f.closed && !f.handle.isEmpty()) {
            // Every write is queued: the close follows them at once.
            QByteArray p;
            putStr(p, f.handle);
            f.closeId = send(FXP_CLOSE, p);
            f.closeSent = true;
            f.handle.clear();
            f.file->close();
        }
        if (f.closed && f.index == renameNext) {
            f.posixRename = m_posixRename && UsePosixRename;
            f.renameId = sendRename(f.temp, f.target, f.posixRename);
            f.stage = Stage::Renaming;
            ++renameNext;
        }
        return bytesInFlight < kBytesInFlight;
    };
    // One pass over everything in flight; true when the work is over.
    const auto step = [&] {
        // The folders asked for before, answered before any file's requests.
        settleFolders(false);
        for (ManyFile &f : active)
            settle(f);
        // Confirmed in order, as soon as each rename is answered.
        while (!active.empty() && active.front().stage == Stage::Renamed) {
            const std::size_t index = active.front().index;
            active.pop_front();
            confirmed(index);
        }
        // A file sent twice in one send goes the second time once the first
        // is done: both would write the same temporary file (the temporary
        // name follows from the target alone).
        const auto busyName = [&](std::size_t i) {
            return std::any_of(active.begin(), active.end(),
                               [&](const ManyFile &f) { return f.target == files[i].remotePath; });
        };
        if (!active.empty() && active.front().index == failedAt)
            return true;
        for (ManyFile &f : active)
            if (!advance(f))
                break;
        while (failedAt == files.size() && next < files.size() && active.size() < kFilesInFlight
               && bytesInFlight < kBytesInFlight && !busyName(next)) {
            start(next++);
            advance(active.back());
        }
        if (!active.empty() || next < files.size())
            return false;
        settleFolders(false);
        return m_folderChecks.empty();
    };
    try {
        waitSftp([&] {
            const bool over = step();
            // Progress of the oldest file not yet confirmed.
            if (OnProgress && !active.empty() && active.front().acked != shownDone) {
                shownDone = active.front().acked;
                OnProgress(shownDone, active.front().size);
            }
            return over;
        });
    } catch (...) {
        discardTemps(active);
        throw;
    }
    if (failure) {
        discardTemps(active);
        std::rethrow_exception(failure);
    }
}

void SftpClient::discardTemps(std::deque<ManyFile> &files)
{
    // What the failed send leaves: handles still open are closed and every
    // temporary file that may exist is removed, all in one round trip.
    std::vector<std::pair<quint32, const ManyFile *>> removals;
    for (ManyFile &f : files) {
        if (f.keepTemp)
            log(temporaryKeptText(f.target, f.temp));
        if (!f.mayExist || f.keepTemp)
            continue;
        if (!Connected()) {
            log(temporaryNotRemovedText(f.temp, "the connection was lost"));
            continue;
        }
        if (removals.empty())
            forgetPending();
        if (!f.handle.isEmpty())
            closeQuietly(f.handle);
        removals.emplace_back(sendRemove(f.temp), &f);
    }
    try {
        waitSftp([&] {
            return std::all_of(removals.begin(), removals.end(),
                               [this](const auto &r) { return m_arrived.count(r.first) != 0; });
        });
    } catch (const std::exception &e) {
        for (const auto &[id, f] : removals)
            if (m_arrived.count(id) == 0)
                log(temporaryNotRemovedText(f->temp, e.what()));
    }
    for (const auto &[id, f] : removals) {
        Reply r;
        if (!take(id, r))
            continue;
        const quint32 code = statusCode(r);
        if (code != FX_OK && code != FX_NO_SUCH_FILE)
            log(temporaryNotRemovedText(f->temp, statusText(r)));
    }
}

std::vector<std::string> SftpClient::ListNames(const std::string &remoteFolder)
{
    std::vector<std::string> names;
    for (const RemoteEntry &e : List(remoteFolder))
        names.push_back(e.name);
    return names;
}

namespace {
RemoteEntry::Kind kindOf(bool hasPerms, quint32 perms)
{
    if (!hasPerms)
        return RemoteEntry::Kind::Other;
    switch (perms & kTypeMask) {
    case kRegularBits:
        return RemoteEntry::Kind::File;
    case kDirectoryBits:
        return RemoteEntry::Kind::Folder;
    default:
        return RemoteEntry::Kind::Other;
    }
}
} // namespace

std::vector<RemoteEntry> SftpClient::List(const std::string &remoteFolder)
{
    BusyScope busy(*this);
    requireConnection();
    settleFolders(true);
    forgetPending();
    const std::string folder = remoteFolder.empty() ? "." : remoteFolder;
    QByteArray p;
    putStr(p, folder);
    const QByteArray handle =
        handleOf(await(send(FXP_OPENDIR, p)), "Cannot list remote folder " + folder);
    std::vector<RemoteEntry> entries;
    try {
        // Many READDIRs in flight: each answer holds the next names (about
        // a hundred), so a folder of 100,000 names costs a few dozen round
        // trips rather than a thousand. Answers after the end say it again.
        std::deque<quint32> inFlight;
        bool end = false;
        waitSftp([&] {
            Reply r;
            while (!inFlight.empty() && take(inFlight.front(), r)) {
                inFlight.pop_front();
                if (end)
                    continue;
                if (r.type == FXP_STATUS && statusCode(r) == FX_EOF) {
                    end = true;
                    continue;
                }
                if (r.type != FXP_NAME)
                    throw SftpError("Cannot list remote folder " + folder + ": " + statusText(r));
                Reader rd { r.body };
                const quint32 count = rd.u32();
                for (quint32 i = 0; i < count && rd.ok; ++i) {
                    const QByteArray name = rd.str();
                    rd.str(); // long name
                    const Reader::Attrs a = rd.attrs();
                    if (!rd.ok || name.isEmpty() || name.startsWith('.'))
                        continue;
                    RemoteEntry e;
                    e.name = name.toStdString();
                    e.size = a.hasSize ? qint64(a.size) : -1;
                    e.kind = kindOf(a.hasPerms, a.perms);
                    entries.push_back(std::move(e));
                }
                if (!rd.ok)
                    throw SftpError("Cannot list remote folder " + folder
                        + ": the server sent a malformed listing");
            }
            while (!end && inFlight.size() < kReadDirsInFlight) {
                QByteArray rq;
                putStr(rq, handle);
                inFlight.push_back(send(FXP_READDIR, rq));
            }
            return end && inFlight.empty();
        });
    } catch (...) {
        abandon(handle);
        throw;
    }
    closeQuietly(handle);
    return entries;
}

qint64 SftpClient::FileSize(const std::string &remotePath)
{
    BusyScope busy(*this);
    requireConnection();
    settleFolders(true);
    forgetPending();
    QByteArray p;
    putStr(p, remotePath);
    const Reply r = await(send(FXP_STAT, p));
    if (r.type != FXP_ATTRS)
        return -1;
    Reader rd { r.body };
    const Reader::Attrs a = rd.attrs();
    if (!rd.ok || !a.hasSize || kindOf(a.hasPerms, a.perms) != RemoteEntry::Kind::File)
        return -1;
    return qint64(a.size);
}

void SftpClient::Remove(const std::string &remotePath)
{
    BusyScope busy(*this);
    requireConnection();
    settleFolders(true);
    forgetPending();
    QByteArray p;
    putStr(p, remotePath);
    const Reply r = await(send(FXP_REMOVE, p));
    if (statusCode(r) != FX_OK)
        throw SftpError("Cannot remove remote file " + remotePath + ": " + statusText(r));
}

void SftpClient::Download(const std::string &remotePath, const std::string &localPath)
{
    BusyScope busy(*this);
    requireConnection();
    settleFolders(true);
    forgetPending();
    ReplacingFile file(localPath);
    if (!file.open())
        throw LocalFileError(msgCannotCreateFile(localPath));
    QIODevice &out = file.device();

    // Open and size in one round trip.
    const quint32 openId = sendOpen(remotePath, FXF_READ);
    QByteArray st;
    putStr(st, remotePath);
    const quint32 statId = send(FXP_STAT, st);
    const Reply opened = await(openId);
    const Reply stat = await(statId);
    const QByteArray handle = handleOf(opened, "Cannot open remote file " + remotePath);
    qint64 size = -1;
    if (stat.type == FXP_ATTRS) {
        Reader rd { stat.body };
        const Reader::Attrs a = rd.attrs();
        if (a.hasSize && a.size <= quint64(LLONG_MAX / 2))
            size = qint64(a.size);
    }

    try {
        // Reads are issued for the whole known size at once (as many as the
        // window allows), plus one at the end that finds the end of file or
        // shows that the file grew. A short answer is asked for again.
        struct Piece {
            qint64 offset;
            quint32 length;
        };
        std::map<quint32, Piece> inFlight;
        std::vector<Piece> gaps;
        qint64 next = 0;
        qint64 limit = size >= 0 ? size : LLONG_MAX; // a read at `limit` is the end probe
        qint64 eofAt = LLONG_MAX;
        qint64 written = 0;
        auto request = [&](Piece piece) {
            QByteArray p;
            putStr(p, handle);
            putU64(p, quint64(piece.offset));
            putU32(p, piece.length);
            inFlight.emplace(send(FXP_READ, p), piece);
        };
        waitSftp([&] {
            bool moved = false;
            for (auto it = inFlight.begin(); it != inFlight.end();) {
                Reply r;
                if (!take(it->first, r)) {
                    ++it;
                    continue;
                }
                const Piece piece = it->second;
                it = inFlight.erase(it);
                if (r.type == FXP_DATA) {
                    Reader rd { r.body };
                    const QByteArrayView data = rd.strView();
                    if (!rd.ok || data.size() > qsizetype(piece.length))
                        throw SftpError("Cannot read remote file " + remotePath
                            + ": the server sent a malformed answer");
                    if (data.isEmpty()) {
                        eofAt = std::min(eofAt, piece.offset);
                        continue;
                    }
                    if (!out.seek(piece.offset) || out.write(data.data(), data.size()) != data.size())
                        throw AppError(msgUnableToWrite(localPath));
                    written += data.size();
                    moved = true;
                    const qint64 end = piece.offset + data.size();
                    if (end > limit)
                        limit = LLONG_MAX; // the file grew: read on until its end
                    if (data.size() < qsizetype(piece.length))
                        gaps.push_back({ end, quint32(piece.length - data.size()) });
                } else if (statusCode(r) == FX_EOF) {
                    eofAt = std::min(eofAt, piece.offset);
                } else {
                    throw SftpError("Cannot read remote file " + remotePath + ": " + statusText(r));
                }
            }
            if (moved && OnProgress)
                OnProgress(written, size >= 0 ? std::max(size, written) : -1);
            while (int(inFlight.size()) < kInFlight && !gaps.empty()) {
                const Piece g = gaps.back();
                gaps.pop_back();
                if (g.offset < eofAt)
                    request(g);
            }
            while (int(inFlight.size()) < kInFlight && next < eofAt && next <= limit) {
                quint32 len = kChunk;
                if (next < limit && limit - next < qint64(kChunk))
                    len = quint32(limit - next);
                request({ next, len });
                next += len;
            }
            return inFlight.empty() && gaps.empty() && eofAt != LLONG_MAX;
        });
        // Data that arrived past the end of file (a file that shrank while read).
        if (out.size() > eofAt) {
            auto *f = qobject_cast<QFileDevice *>(&out);
            if (!f || !f->resize(eofAt))
                throw AppError(msgUnableToWrite(localPath));
        }
    } catch (...) {
        abandon(handle);
        throw;
    }
    closeQuietly(handle);
    if (!file.commit())
        throw LocalFileError(msgCannotCreateFile(localPath));
}

} // namespace tl
