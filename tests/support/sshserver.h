#pragma once
#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>

namespace tl::test {

// Runs a program to its end; returns its exit code (-1 when it did not run)
// and, when asked, what it wrote to standard output.
int runProgram(const QString &program, const QStringList &args, QByteArray *output = nullptr,
    const QByteArray &input = QByteArray());

// OpenSSH's sshd for one test or benchmark: host key, client key,
// authorized_keys and configuration made in a folder the caller owns; it
// listens on 127.0.0.1 on a free high port and serves SFTP with internal-sftp,
// and commands such as git-upload-pack and git-receive-pack through the
// user's shell. The client key is authorized for the user running the test.
class SshServer {
public:
    explicit SshServer(const QString &folder);
    ~SshServer();

    // False when it could not start; error() says why.
    bool start();
    void stop();
    QString error() const { return m_error; }
    quint16 port() const { return m_port; }

    // Private key the server accepts for the current user.
    QString clientKeyPath() const { return m_dir + "/client_key"; }
    // Host key as a known_hosts line for this server.
    QString knownHostsLine() const;
    // SHA-256 fingerprint of the host key as ssh-keygen prints it.
    QString hostKeyFingerprint() const;

    // Stops (SIGSTOP) or resumes (SIGCONT) the server and every process it started.
    void pause();
    void resume();

    // The account used for password logins: created when missing (only when
    // running as root) with no shell and no home, and given a new random
    // password for this run. Returns the password, or "" with `why` set.
    static constexpr const char *kPasswordUser = "tlsftptest";
    static QString preparePasswordUser(QString *why);
    // Locks the account again (its password is then useless).
    static void lockPasswordUser();

private:
    void signalAll(int sig);
    QString m_dir;
    QString m_error;
    quint16 m_port = 0;
    QProcess m_proc;
};

} // namespace tl::test
