// The client against a real vsftpd over FTPS in passive mode, with vsftpd's
// own defaults for TLS: the data connections must resume the control
// connection's TLS session (require_ssl_reuse=YES). vsftpd is started by the
// test, standalone, with its own configuration in a temporary folder, on a
// high loopback port.
#include "ftptestutil.h"
#include "pyftpserver.h"
#include "publish/ftpclient.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSslCertificate>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>
#include <pwd.h>
#include <sys/prctl.h>
#include <unistd.h>

using namespace tl;
using namespace tl::test;

namespace {

// vsftpd runs as root (it changes to the user "ftp" for each session);
// anonymous logins are chrooted into root/, whose folder up/ belongs to
// "ftp" and takes uploads, renames and deletions.
class Vsftpd {
public:
    ~Vsftpd()
    {
        if (m_proc.state() != QProcess::NotRunning) {
            m_proc.kill();
            m_proc.waitForFinished(5000);
        }
    }

    // Empty when it runs; else why not.
    std::string start(const QString &dir)
    {
        const QString binary = QStandardPaths::findExecutable("vsftpd", {"/usr/sbin", "/sbin"});
        if (binary.isEmpty())
            return "skip:vsftpd is not installed";
        if (::geteuid() != 0)
            return "skip:vsftpd has to be started as root";
        const passwd *ftpUser = ::getpwnam("ftp");
        if (!ftpUser)
            return "there is no user \"ftp\" for vsftpd's sessions";
        QString error;
        if (!makeSelfSignedCertificate(dir, "localhost", &error))
            return error.toStdString();
        m_root = dir + "/root";
        QDir().mkpath(m_root + "/up");
        QDir().mkpath(dir + "/empty");
        QFile::setPermissions(m_root, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner
                                          | QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther
                                          | QFile::ExeOther);
        if (::chown((m_root + "/up").toLocal8Bit().constData(), ftpUser->pw_uid, ftpUser->pw_gid) != 0)
            return "cannot give root/up to the user ftp";
        for (int attempt = 0; attempt < 5 && m_port == 0; ++attempt) {
            const quint16 port = freePort();
            const QString conf = dir + "/vsftpd.conf";
            writeFileBytes(conf, config(dir, port).toUtf8());
            // vsftpd does not notice its parent's end: it is told to end with it.
            m_proc.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
            m_proc.setProcessChannelMode(QProcess::MergedChannels);
            m_proc.start(binary, {conf});
            if (!m_proc.waitForStarted(5000))
                return "vsftpd did not start";
            if (listening(port))
                m_port = port;
            else if (m_proc.state() == QProcess::NotRunning)
                error = QString::fromLocal8Bit(m_proc.readAll());
        }
        if (m_port == 0)
            return "vsftpd does not listen: " + error.toStdString();
        return {};
    }

    quint16 port() const { return m_port; }
    QString root() const { return m_root; }

private:
    static quint16 freePort()
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        return probe.serverPort();
    }

    bool listening(quint16 port)
    {
        for (int i = 0; i < 100 && m_proc.state() == QProcess::Running; ++i) {
            QTcpSocket s;
            s.connectToHost(QHostAddress::LocalHost, port);
            if (s.waitForConnected(100))
                return true;
            m_proc.waitForFinished(50);
        }
        return false;
    }

    QString config(const QString &dir, quint16 port) const
    {
        return QStringLiteral(
                   "listen=YES\nlisten_ipv6=NO\nlisten_address=127.0.0.1\nlisten_port=%1\n"
                   "background=NO\n"
                   "anonymous_enable=YES\nno_anon_password=YES\nlocal_enable=NO\n"
                   "anon_root=%2/root\nftp_username=ftp\nsecure_chroot_dir=%2/empty\n"
                   "write_enable=YES\nanon_upload_enable=YES\nanon_other_write_enable=YES\n"
                   "anon_world_readable_only=NO\nanon_umask=022\n"
                   "pasv_enable=YES\npasv_address=127.0.0.1\nport_enable=NO\n"
                   "ssl_enable=YES\nallow_anon_ssl=YES\nforce_anon_logins_ssl=YES\n"
                   "force_anon_data_ssl=YES\nrequire_ssl_reuse=YES\n"
                   "rsa_cert_file=%2/localhost.pem\nrsa_private_key_file=%2/localhost.key\n"
                   // Sandboxing that a container may not allow.
                   "seccomp_sandbox=NO\nisolate=NO\nisolate_network=NO\n"
                   "xferlog_enable=NO\nvsftpd_log_file=%2/vsftpd.log\n")
            .arg(port)
            .arg(dir);
    }

    QProcess m_proc;
    quint16 m_port = 0;
    QString m_root;
};

TEST(Vsftpd, FilesGoUpOverFtpsPassiveAndComeBackByteForByte)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    Vsftpd server;
    const std::string problem = server.start(dir.path());
    if (problem.rfind("skip:", 0) == 0)
        GTEST_SKIP() << problem.substr(5);
    ASSERT_EQ(problem, "");

    // A small site and some posts: line ends of every kind, windows-1250
    // bytes, binary data, an empty file.
    std::vector<std::pair<std::string, QByteArray>> files = {
        {"index.html", "<html>\r\n<p>\x9e\xe1\xe8ka</p>\r\n</html>\r\n"},
        {"rss.xml", "<?xml version=\"1.0\"?>\n<rss/>\n"},
        {"1700000000.txt", "Title\r\nBody with a lone CR\r and LF\n"},
        {"picture.bin", patternBytes(1024 * 1024 + 3, 8)},
        {"empty.txt", ""},
    };
    QDir().mkpath(dir.path() + "/local");
    QDir().mkpath(dir.path() + "/back");

    FtpClient ftp;
    ftp.Host = "127.0.0.1";
    ftp.Port = server.port();
    ftp.UserID = "anonymous";
    ftp.Password = "tester@";
    ftp.NoDataTimeOut = 10000;
    ftp.UseTls = true;
    ftp.TrustedFingerprint = FtpClient::Fingerprint(
        QSslCertificate::fromPath(dir.path() + "/localhost.pem").value(0));
    std::vector<std::string> log;
    ftp.OnLog = [&](const std::string &line) { log.push_back(line); };
    ftp.Connect();
    for (const auto &[name, bytes] : files) {
        const QString path = dir.path() + "/local/" + QString::fromStdString(name);
        writeFileBytes(path, bytes);
        ftp.UploadWhole(path.toStdString(), "up/" + name);
    }
    // The old version of a page is replaced.
    files[0].second = "<html>new</html>\r\n";
    writeFileBytes(dir.path() + "/local/index.html", files[0].second);
    ftp.UploadWhole((dir.path() + "/local/index.html").toStdString(), "up/index.html");
    ftp.Disconnect();

    ftp.Connect();
    ftp.ChangeDir("up");
    std::vector<std::string> listed;
    ftp.OnListItem = [&](const std::string &n) { listed.push_back(n); };
    ftp.NList();
    for (const std::string &name : listed)
        ftp.Download(name, (dir.path() + "/back/" + QString::fromStdString(name)).toStdString());
    ftp.Disconnect();

    std::sort(listed.begin(), listed.end());
    EXPECT_EQ(listed, (std::vector<std::string>{"1700000000.txt", "empty.txt", "index.html",
                                                "picture.bin", "rss.xml"}));
    for (const auto &[name, bytes] : files) {
        const QString n = QString::fromStdString(name);
        EXPECT_EQ(readFileBytes(server.root() + "/up/" + n), bytes) << name;
        EXPECT_EQ(readFileBytes(dir.path() + "/back/" + n), bytes) << name;
    }
    // No temporary file is left, hidden or not.
    EXPECT_EQ(folderEntries(server.root() + "/up").size(), files.size());
    EXPECT_EQ(log.size(), 2u); // the certificate taken by its fingerprint, twice
}

} // namespace
