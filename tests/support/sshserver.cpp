#include "sshserver.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTcpServer>
#include <csignal>
#include <pwd.h>
#include <set>
#include <unistd.h>

namespace tl::test {

int runProgram(
    const QString &program, const QStringList &args, QByteArray *output, const QByteArray &input)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForStarted(10000))
        return -1;
    if (!input.isEmpty())
        p.write(input);
    p.closeWriteChannel();
    if (!p.waitForFinished(60000)) {
        p.kill();
        p.waitForFinished(5000);
        return -1;
    }
    if (output)
        *output = p.readAllStandardOutput();
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

namespace {

QString currentUser()
{
    const passwd *pw = getpwuid(getuid());
    return pw ? QString::fromLocal8Bit(pw->pw_name) : QString();
}

bool writeText(const QString &path, const QByteArray &text)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(text) == text.size();
}

quint16 freePort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    return probe.serverPort();
}

} // namespace

SshServer::SshServer(const QString &folder)
    : m_dir(folder)
{
}

SshServer::~SshServer()
{
    stop();
}

bool SshServer::start()
{
    const QString keygen = "ssh-keygen";
    for (const char *key : { "host_key", "client_key" }) {
        const QString path = m_dir + "/" + key;
        if (QFile::exists(path))
            continue;
        if (runProgram(keygen, { "-q", "-t", "ed25519", "-N", "", "-C", "tl-test", "-f", path })
            != 0) {
            m_error = "ssh-keygen failed (openssh-client installed?)";
            return false;
        }
    }
    QFile pub(clientKeyPath() + ".pub");
    if (!pub.open(QIODevice::ReadOnly) || !writeText(m_dir + "/authorized_keys", pub.readAll())) {
        m_error = "cannot write authorized_keys";
        return false;
    }
    // sshd started by root insists on its privilege separation folder.
    if (getuid() == 0 && !QDir("/run/sshd").exists())
        QDir().mkpath("/run/sshd");

    const QString sshd = "/usr/sbin/sshd";
    if (!QFile::exists(sshd)) {
        m_error = "no /usr/sbin/sshd (openssh-server installed?)";
        return false;
    }
    // A port taken between the probe and sshd's bind: try another.
    for (int attempt = 0; attempt < 5; ++attempt) {
        m_port = freePort();
        const QString user = currentUser();
        QString users = user;
        if (user != kPasswordUser)
            users += QString(" ") + kPasswordUser;
        const QString config = QString("Port %1\n"
                                       "ListenAddress 127.0.0.1\n"
                                       "HostKey %2/host_key\n"
                                       "PidFile %2/sshd.pid\n"
                                       "AuthorizedKeysFile %2/authorized_keys\n"
                                       "StrictModes no\n"
                                       "UsePAM no\n"
                                       "PubkeyAuthentication yes\n"
                                       "PasswordAuthentication yes\n"
                                       "KbdInteractiveAuthentication no\n"
                                       "PermitRootLogin prohibit-password\n"
                                       "AllowUsers %3\n"
                                       "MaxStartups 100\n"
                                       "MaxSessions 100\n"
                                       "LogLevel INFO\n"
                                       // Commands (git-upload-pack and
                                       // git-receive-pack for the Git tests)
                                       // run through the user's shell. Bash
                                       // started by sshd reads ~/.bashrc
                                       // unless it believes it is nested,
                                       // and a .bashrc that starts version
                                       // managers costs every connection
                                       // about a second.
                                       "SetEnv SHLVL=1\n"
                                       "Subsystem sftp internal-sftp\n"
                                       "Match User %4\n"
                                       "    ForceCommand internal-sftp\n")
                                   .arg(m_port)
                                   .arg(m_dir, users, kPasswordUser);
        if (!writeText(m_dir + "/sshd_config", config.toLocal8Bit())) {
            m_error = "cannot write sshd_config";
            return false;
        }
        m_proc.setProcessChannelMode(QProcess::SeparateChannels);
        m_proc.setReadChannel(QProcess::StandardError);
        m_proc.start(sshd, { "-D", "-e", "-f", m_dir + "/sshd_config" });
        if (!m_proc.waitForStarted(10000)) {
            m_error = "sshd did not start";
            return false;
        }
        QByteArray err;
        while (!err.contains("Server listening on") && m_proc.state() == QProcess::Running
            && m_proc.waitForReadyRead(10000))
            err += m_proc.readAllStandardError();
        if (err.contains("Server listening on"))
            return true;
        m_error = QString::fromLocal8Bit(err + m_proc.readAllStandardError());
        m_proc.kill();
        m_proc.waitForFinished(5000);
    }
    return false;
}

void SshServer::signalAll(int sig)
{
    const qint64 root = m_proc.processId();
    if (root <= 0)
        return;
    // The server and its descendants (one process per connection and more).
    std::set<qint64> family { root };
    bool grew = true;
    const QStringList procs = QDir("/proc").entryList(QDir::Dirs);
    while (grew) {
        grew = false;
        for (const QString &entry : procs) {
            bool ok = false;
            const qint64 pid = entry.toLongLong(&ok);
            if (!ok || family.count(pid))
                continue;
            QFile stat("/proc/" + entry + "/stat");
            if (!stat.open(QIODevice::ReadOnly))
                continue;
            const QByteArray text = stat.readAll();
            const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
            if (fields.size() > 1 && family.count(fields[1].toLongLong())) {
                family.insert(pid);
                grew = true;
            }
        }
    }
    for (qint64 pid : family)
        ::kill(pid_t(pid), sig);
}

void SshServer::pause()
{
    signalAll(SIGSTOP);
}
void SshServer::resume()
{
    signalAll(SIGCONT);
}

void SshServer::stop()
{
    if (m_proc.state() == QProcess::NotRunning)
        return;
    resume();
    signalAll(SIGTERM);
    if (!m_proc.waitForFinished(5000)) {
        m_proc.kill();
        m_proc.waitForFinished(5000);
    }
}

QString SshServer::knownHostsLine() const
{
    QFile pub(m_dir + "/host_key.pub");
    if (!pub.open(QIODevice::ReadOnly))
        return QString();
    return QString("[127.0.0.1]:%1 ").arg(m_port) + QString::fromLatin1(pub.readAll()).trimmed();
}

QString SshServer::hostKeyFingerprint() const
{
    QByteArray out;
    runProgram("ssh-keygen", { "-l", "-E", "sha256", "-f", m_dir + "/host_key.pub" }, &out);
    const QList<QByteArray> fields = out.split(' ');
    return fields.size() > 1 ? QString::fromLatin1(fields[1]) : QString();
}

QString SshServer::preparePasswordUser(QString *why)
{
    if (getuid() != 0) {
        *why = "password logins need a local account with a known password; only root can "
               "prepare one";
        return QString();
    }
    if (!getpwnam(kPasswordUser)
        && runProgram("useradd",
               { "--system", "--no-create-home", "--home-dir", "/nonexistent", "--shell",
                   "/usr/sbin/nologin", kPasswordUser })
            != 0) {
        *why = "useradd failed";
        return QString();
    }
    const QString password = QString::number(QRandomGenerator::system()->generate64(), 36) + "Tl-9";
    if (runProgram(
            "chpasswd", {}, nullptr, QByteArray(kPasswordUser) + ":" + password.toLatin1() + "\n")
        != 0) {
        *why = "chpasswd failed";
        return QString();
    }
    return password;
}

void SshServer::lockPasswordUser()
{
    if (getuid() == 0 && getpwnam(kPasswordUser))
        runProgram("usermod", { "--lock", kPasswordUser });
}

} // namespace tl::test
