#pragma once
#include "publish/ftpsocket.h" // ESockError, EAbortError, kMsgNoAnswer, kMsgConnectionClosed

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <deque>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

class QFile;
class QSocketNotifier;
struct ssh_session_struct;
struct ssh_channel_struct;

namespace tl {

// The server refused an SFTP request. The message names what was asked and
// the server's reason, e.g. "Cannot create remote folder www/a: Permission denied".
class SftpError : public AppError {
public:
    using AppError::AppError;
};

// The server's host key was refused: unknown and not accepted, changed, or
// of another type than the one recorded.
class SshHostKeyError : public ESockError {
public:
    using ESockError::ESockError;
};

// The server accepted none of the credentials offered.
class SshAuthError : public ESockError {
public:
    using ESockError::ESockError;
};

// One entry of a remote folder's listing.
struct RemoteEntry {
    enum class Kind { File, Folder, Other };
    std::string name; // as the server sends it (bytes)
    qint64 size = -1; // -1: not told
    Kind kind = Kind::Other;
};

// One file of SftpClient::UploadMany: a local file and its remote path.
struct SftpUpload {
    std::string localPath;
    std::string remotePath;
};

// A host key the client has not seen before, as shown to the user.
struct HostKeyInfo {
    std::string host;
    int port = 22;
    std::string type; // key type as OpenSSH names it: "ssh-ed25519", "ssh-rsa", ...
    std::string fingerprint; // as OpenSSH shows it: "SHA256:" + unpadded base64
};

// Where a connection goes once the writer's ~/.ssh/config has had its say.
struct SshTarget {
    std::string host; // the config's HostName, or the name as given
    int port = 22;
    std::string user; // "" : the local user name
    // The config's IdentityFile for the host ("~" and "%d" made the home
    // folder), or "" when it names none. libssh keeps only the last one that
    // applies within reach.
    std::string identityFile;
    // The config's ProxyCommand, or the OpenSSH command libssh makes of a
    // ProxyJump; "" for a direct connection.
    std::string proxyCommand;
};

// The client side of SFTP (protocol version 3) over SSH, on the caller's
// thread. Every operation returns when it is done; while it waits it runs the
// caller's event loop, woken by notifications on the SSH socket, so a window
// stays responsive during a transfer. Every wait ends: when the server closes
// the connection, on Cancel, or when nothing arrives for NoDataTimeOut ms.
//
// Files of the user live under QDir::homePath() (which follows HOME):
// ~/.ssh/config is read for the host name (as libssh reads it: aliases,
// HostName, Port, User, IdentityFile, ProxyJump and ProxyCommand, with the
// fields set here winning), ~/.ssh/known_hosts is checked and appended to,
// and ~/.ssh/id_* are the default keys. libssh is given these paths
// explicitly and reads no system-wide ssh_config, so a test or a scripted run
// can point HOME elsewhere.
//
// Requests are pipelined: an upload keeps many writes in flight, a download
// many reads, and a folder chain is made in one round trip.
class SftpClient : public QObject {
public:
    explicit SftpClient(QObject *parent = nullptr);
    ~SftpClient() override;

    // ---- settings (read by Connect) ----
    std::string Host; // host name or address, or a Host alias of ~/.ssh/config
    int Port = 0; // 0 (or below): the config's Port, else 22
    std::string UserID; // empty: the config's User, else the local user name
    // Non-empty: password authentication (or keyboard-interactive answering
    // the password). Empty: the SSH agent (SSH_AUTH_SOCK), then the keys
    // ~/.ssh/id_* that need no passphrase.
    std::string Password;
    // A wait that sees nothing arrive from the server for this many
    // milliseconds ends with ESockError(kMsgNoAnswer). 0 or less: no limit.
    int NoDataTimeOut = 60000;
    // Record an unknown host key without asking (OnUnknownHostKey is then
    // not called). A changed key is refused all the same.
    bool AcceptNewHostKey = false;
    // Replace a file by the server's POSIX rename when it offers one
    // (posix-rename@openssh.com); otherwise remove the target, then rename.
    bool UsePosixRename = true;

    // ---- events ----
    // An unknown host key: true accepts it (it is then appended to
    // known_hosts), false refuses the connection. Unassigned: refused unless
    // AcceptNewHostKey is set. Never called for a changed key.
    std::function<bool(const HostKeyInfo &key)> OnUnknownHostKey;
    // Bytes of the current file that the server acknowledged (upload) or that
    // were written to the local file (download), and the file's size (-1
    // when the server did not tell it).
    std::function<void(qint64 done, qint64 total)> OnProgress;
    // One line of information: which host key and credentials were used, and
    // temporary files that could not be removed.
    std::function<void(const std::string &line)> OnLog;

    // ---- state ----
    bool Connected() const { return m_channel != nullptr; }
    // Whether the server offers posix-rename@openssh.com (after Connect).
    bool ServerHasPosixRename() const { return m_posixRename; }
    // ~/.ssh/known_hosts and the default key files ~/.ssh/id_* (without
    // .pub), for the home folder Qt reports now.
    static std::string KnownHostsPath();
    // The writer's SSH folder: .ssh under the home folder.
    static QString sshDir();
    static std::vector<std::string> DefaultKeyPaths();
    // ~/.ssh/config, for the home folder Qt reports now.
    static std::string ConfigPath();
    // Where `name` leads by ~/.ssh/config: its HostName, Port, User,
    // IdentityFile and proxy. A port above 0 and a non-empty user win over
    // the config's. A missing config file leaves the name as it is.
    static SshTarget ResolveTarget(const std::string &name, int port, const std::string &user);

    // ---- operations ----
    // Connects, checks the host key, authenticates and starts SFTP. Does
    // nothing when already connected. Clears an earlier Cancel.
    void Connect();
    // Closes the connection. Does nothing when not connected.
    void Disconnect();
    // Ends the current wait at once with EAbortError("Socket send aborted");
    // when no operation is waiting, the next wait ends so.
    void Cancel();

    // Makes every missing folder of `remotePath` ("a/b/c", "/srv/www/a");
    // folders that exist are fine.
    void MakeFolders(const std::string &remotePath);
    // The same without waiting for the server's answer: the requests go out
    // at once and the server handles them before any later request, so the
    // folders exist for what follows. Their answer is taken with the next
    // operation's, which fails with "Cannot create remote folder ..." when a
    // folder could not be made (UploadMany: before it confirms another file).
    void PrepareFolders(const std::string &remotePath);
    // Uploads a local file to `remotePath`: written under a temporary name in
    // the target's folder (temporaryNameFor, replacing a file an earlier run
    // left there), then renamed over the target, so the target is always
    // either the old file or the whole new one. After a failure or a Cancel
    // the temporary file is removed (best effort; OnLog says when it could
    // not be).
    void UploadWhole(const std::string &localPath, const std::string &remotePath);
    // Uploads files in order, each as UploadWhole does, with many of them in
    // flight at once: the opens, writes, closes and renames of up to 64
    // files (and 2 MB of writes) go out without waiting for each other's
    // answers, so a send of many small files costs a few round trips rather
    // than several per file. `confirmed(i)` is told, in order, as soon as
    // file i has its name on the server. Renames go out in order, each once
    // its file is whole on the server. The first failure stops the send: the
    // files before it are completed and confirmed, nothing after it is
    // renamed (unless the failure is a refused rename, whose later renames
    // may already have been done), the temporary files of the failing file
    // and of those after it are removed (best effort, logged when not), and
    // the failure is thrown. The remote folders must exist.
    void UploadMany(const std::vector<SftpUpload> &files,
                    const std::function<void(std::size_t index)> &confirmed);
    // Names in a remote folder, as the server lists them, without "." and
    // ".." and without hidden names (beginning with ".").
    std::vector<std::string> ListNames(const std::string &remoteFolder);
    // The same names with their sizes and kinds (file, folder, other).
    std::vector<RemoteEntry> List(const std::string &remoteFolder);
    // The size of a remote file; -1 when there is none or it is no file.
    qint64 FileSize(const std::string &remotePath);
    // Removes a remote file.
    void Remove(const std::string &remotePath);
    // Downloads `remotePath` into a new local file that replaces `localPath`
    // only when the whole file has arrived.
    void Download(const std::string &remotePath, const std::string &localPath);

private:
    struct Reply {
        quint8 type = 0;
        QByteArray body; // the bytes after the request id
    };
    class BusyScope;

    // connection set-up
    void openTcp(const std::string &host, int port);
    // Notifications of the socket libssh talks over; `owned`: closed here
    // (the client's own TCP socket) rather than by libssh (a proxy's).
    void watchSocket(int fd, bool owned);
    int port() const; // the port of the connection
    std::string hostLabel() const; // "host", or "[host]:port" off port 22
    ESockError sshFailed() const;  // "SSH connection to HOST failed: why"
    void checkHostKey();
    void authenticate();
    void startSftp();
    void teardown();
    void log(const std::string &line);

    // waiting
    // Before each look of a wait: true when libssh holds data already;
    // otherwise arms the socket's notifications.
    bool readyToLook();
    // Silence ends the wait with `silenceMessage` (default kMsgNoAnswer).
    void waitUntil(const std::function<bool()> &done, const std::string &silenceMessage = {});
    void waitSftp(const std::function<bool()> &done);
    int waitSsh(const std::function<int()> &step, int again);
    void markBroken(const std::string &message);
    void requireConnection();

    // SFTP packets
    quint32 send(quint8 type, const QByteArray &payload, bool wantReply = true);
    Reply await(quint32 id);
    bool take(quint32 id, Reply &out);
    void pumpChannel();
    void parseInput();
    std::string statusText(const Reply &r) const;
    quint32 statusCode(const Reply &r) const;
    quint32 sendOpen(const std::string &path, quint32 flags); // an OPEN request, its id
    // The handle an OPEN or OPENDIR answered with; a refusal throws `failure`
    // with the server's reason.
    QByteArray handleOf(const Reply &r, const std::string &failure) const;
    void closeQuietly(const QByteArray &handle);
    // A handle left behind by a failure: closed while the connection lasts.
    void abandon(const QByteArray &handle);
    // The steps of UploadWhole: the file stored under `temp`, renamed over
    // its target, or its temporary file removed.
    void storeFile(QFile &file, const std::string &localPath, const std::string &temp,
                   bool &stored);
    void renameOver(const std::string &from, const std::string &to, bool &keepFrom);
    void removeTemp(const std::string &temp);
    // A WRITE of `length` bytes of the local file at `offset` (its id in
    // `id`); false when the local file could not give them.
    bool sendWrite(const QByteArray &handle, QFile &file, qint64 offset, quint32 length,
                   quint32 &id);
    // A RENAME (posix: the server's POSIX rename, which replaces the target).
    quint32 sendRename(const std::string &from, const std::string &to, bool posix);
    quint32 sendRemove(const std::string &path);
    SftpError renameFailed(const std::string &from, const std::string &to, const Reply &r) const;
    struct ManyFile;
    void discardTemps(std::deque<ManyFile> &files);
    // Takes the answers of PrepareFolders (waiting for them, or only those
    // that came); throws the first folder that could not be made.
    void settleFolders(bool wait);
    void forgetPending();

    ssh_session_struct *m_session = nullptr;
    ssh_channel_struct *m_channel = nullptr;
    SshTarget m_target; // where Connect goes
    int m_fd = -1;
    bool m_fdOwned = false; // m_fd is the client's TCP socket, not a proxy's
    quint64 m_fdInode = 0, m_fdDevice = 0; // identify m_fd's socket
    QSocketNotifier *m_readNote = nullptr;
    QSocketNotifier *m_writeNote = nullptr;
    QElapsedTimer m_activity; // restarted whenever bytes arrive

    QByteArray m_out; // packets not yet taken by the channel
    qsizetype m_outHead = 0;
    QByteArray m_in; // bytes of the channel not yet parsed
    qsizetype m_inHead = 0;
    quint32 m_nextId = 1;
    std::set<quint32> m_pending; // ids whose reply someone waits for
    std::map<quint32, Reply> m_arrived; // replies to pending ids
    bool m_versionArrived = false;
    quint32 m_serverVersion = 0;
    bool m_posixRename = false;
    std::set<std::string> m_knownFolders; // made or seen by MakeFolders
    // Folders asked for by PrepareFolders whose answers are still to be taken.
    struct FolderCheck {
        std::vector<std::pair<quint32, std::string>> made; // MKDIR id, level
        quint32 statId = 0;
        std::vector<std::string> levels;
    };
    std::vector<FolderCheck> m_folderChecks;
    std::set<std::string> m_requestedFolders;

    bool m_cancel = false;
    bool m_busy = false;
    bool m_disconnectRequested = false; // Disconnect came during a wait
    bool m_tcpConnecting = false;
    std::string m_brokenMessage; // the connection can no longer be used
};

} // namespace tl
