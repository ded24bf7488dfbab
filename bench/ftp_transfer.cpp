// FTP transfer speed on loopback, passive mode, compared with curl doing the
// same work in the same run against the same server, in passive mode (its
// default) and in active mode (--ftp-port -), whose figures are steadier:
// curl 7.88 here stalls for about 0.2 s on many passive data connections.
//   - pyftpdlib, plain FTP: 500 files of 2 KB uploaded one after the other over
//     one login, then downloaded the same way; one file of 100 MB uploaded,
//     then downloaded;
//   - vsftpd, FTPS (explicit TLS, data connections encrypted and resuming the
//     control connection's session): the 500 files uploaded (when vsftpd is
//     installed and this runs as root, which vsftpd needs).
// The client uploads as the publishing commands do: each file to a temporary
// name, then renamed over its real name (UploadWhole). The same uploads with a
// plain STOR (Upload) give the share of that rename step. Every transfer is
// checked byte for byte. Each measurement runs `runs` times (default 3); the
// median is reported, with the ratio client / curl.
//
//   bench_ftp_transfer              500 small files, 100 MB, 3 runs
//   bench_ftp_transfer 500 100 5    files, megabytes, runs
//
// One piece of work in a process of its own, for timing whole commands (the
// server is started separately; see bench/README.md):
//   bench_ftp_transfer --once up-small|up-big|down-big HOST PORT USER PASSWORD
//                      LOCAL REMOTE [FINGERPRINT]
// up-small uploads every file of the folder LOCAL into the remote folder
// REMOTE ("dir/"); up-big uploads the file LOCAL to the remote name REMOTE;
// down-big fetches REMOTE into LOCAL. A FINGERPRINT (SHA-256 of the server's
// certificate) means FTPS. With TL_TRACE=1 in the environment every command
// and reply is printed with its time.

#include "benchutil.h"
#include "publish/ftpclient.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSslCertificate>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include <csignal>
#include <pwd.h>
#include <sys/prctl.h>
#include <unistd.h>

using namespace tl;
using namespace tl::bench;

namespace {

void runCurl(const QStringList &args)
{
    QProcess curl;
    curl.start("curl", QStringList{"-s", "-S"} + args);
    if (!curl.waitForFinished(-1) || curl.exitCode() != 0) {
        std::fprintf(stderr, "curl failed: %s\n", curl.readAllStandardError().constData());
        std::exit(1);
    }
}

void run(const QString &program, const QStringList &args)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    check(p.waitForFinished(60000) && p.exitCode() == 0, qPrintable(program));
}

quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

// vsftpd with FTPS required, anonymous uploads into root/up; false when it
// cannot run here (with the reason printed). Session reuse is offered by both
// clients but not required: curl does not always have the control
// connection's TLS 1.3 session ticket when it opens a data connection, and
// vsftpd would then refuse the transfer (522). The client's own test runs
// vsftpd with require_ssl_reuse=YES.
struct Vsftpd {
    QProcess proc;
    quint16 port = 0;
    QString root;
    std::string fingerprint;

    bool start(const QString &dir)
    {
        const QString binary = QStandardPaths::findExecutable("vsftpd", {"/usr/sbin", "/sbin"});
        const passwd *ftpUser = ::getpwnam("ftp");
        if (binary.isEmpty() || ::geteuid() != 0 || !ftpUser) {
            std::printf("(FTPS skipped: vsftpd needs to be installed and started as root)\n");
            return false;
        }
        run("openssl", {"req", "-x509", "-days", "2", "-subj", "/CN=localhost", "-newkey", "ec",
                        "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes", "-keyout",
                        dir + "/key.pem", "-out", dir + "/cert.pem"});
        fingerprint = FtpClient::Fingerprint(QSslCertificate::fromPath(dir + "/cert.pem").value(0));
        root = dir + "/root";
        QDir().mkpath(root + "/up");
        QDir().mkpath(dir + "/empty");
        QFile::setPermissions(root, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner
                                        | QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther
                                        | QFile::ExeOther);
        check(::chown((root + "/up").toLocal8Bit().constData(), ftpUser->pw_uid, ftpUser->pw_gid)
                  == 0,
              "chown root/up");
        port = freePort();
        writeFile(dir + "/vsftpd.conf",
                  QStringLiteral(
                      "listen=YES\nlisten_ipv6=NO\nlisten_address=127.0.0.1\nlisten_port=%1\n"
                      "background=NO\nanonymous_enable=YES\nno_anon_password=YES\n"
                      "local_enable=NO\nanon_root=%2/root\nftp_username=ftp\n"
                      "secure_chroot_dir=%2/empty\nwrite_enable=YES\nanon_upload_enable=YES\n"
                      "anon_other_write_enable=YES\nanon_world_readable_only=NO\n"
                      "anon_umask=022\npasv_enable=YES\npasv_address=127.0.0.1\n"
                      "ssl_enable=YES\nallow_anon_ssl=YES\nforce_anon_logins_ssl=YES\n"
                      "force_anon_data_ssl=YES\nrequire_ssl_reuse=NO\n"
                      "rsa_cert_file=%2/cert.pem\nrsa_private_key_file=%2/key.pem\n"
                      "seccomp_sandbox=NO\nisolate=NO\nisolate_network=NO\n"
                      "xferlog_enable=NO\nvsftpd_log_file=%2/vsftpd.log\n")
                      .arg(port)
                      .arg(dir)
                      .toUtf8());
        // vsftpd does not notice its parent's end: it is told to end with it.
        proc.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
        proc.start(binary, {dir + "/vsftpd.conf"});
        check(proc.waitForStarted(5000), "vsftpd start");
        for (int i = 0; i < 100; ++i) {
            QTcpSocket s;
            s.connectToHost(QHostAddress::LocalHost, port);
            if (s.waitForConnected(100))
                return true;
            proc.waitForFinished(50);
        }
        check(false, "vsftpd listens");
        return false;
    }
    ~Vsftpd()
    {
        proc.kill();
        proc.waitForFinished(5000);
    }
};

void setUp(FtpClient &ftp, quint16 port, const std::string &user, const std::string &password)
{
    ftp.Host = "127.0.0.1";
    ftp.Port = port;
    ftp.UserID = user;
    ftp.Password = password;
}

void uploadAll(FtpClient &ftp, const QString &folder, const std::vector<QString> &names,
               const std::string &remoteDir, bool whole)
{
    ftp.Connect();
    for (const QString &n : names) {
        const std::string local = (folder + "/" + n).toStdString();
        if (whole)
            ftp.UploadWhole(local, remoteDir + n.toStdString());
        else
            ftp.Upload(local, remoteDir + n.toStdString());
    }
    ftp.Disconnect();
}

// --once: one piece of work, for timing the whole process.
int once(int argc, char **argv)
{
    if (argc < 9) {
        std::fprintf(stderr, "usage: see the top of bench/ftp_transfer.cpp\n");
        return 2;
    }
    const std::string work = argv[2];
    FtpClient ftp;
    setUp(ftp, static_cast<quint16>(std::atoi(argv[4])), argv[5], argv[6]);
    ftp.Host = argv[3];
    if (argc > 9) {
        ftp.UseTls = true;
        ftp.TrustedFingerprint = argv[9];
    }
    const QString local = QString::fromLocal8Bit(argv[7]);
    const std::string remote = argv[8];
    QElapsedTimer clock;
    clock.start();
    if (qEnvironmentVariableIsSet("TL_TRACE")) {
        // Every command and reply with its time in milliseconds.
        ftp.ReportLevel = 1;
        ftp.OnStatus = [&clock](const std::string &line) {
            std::fprintf(stderr, "%8.3f %s\n", clock.nsecsElapsed() / 1e6, line.c_str());
        };
    }
    try {
        if (work == "up-small") {
            std::vector<QString> names;
            for (const QString &n : QDir(local).entryList(QDir::Files, QDir::Name))
                names.push_back(n);
            uploadAll(ftp, local, names, remote, true);
        } else if (work == "up-big") {
            ftp.Connect();
            ftp.UploadWhole(local.toStdString(), remote);
            ftp.Disconnect();
        } else if (work == "down-big") {
            ftp.Connect();
            ftp.Download(remote, local.toStdString());
            ftp.Disconnect();
        } else {
            std::fprintf(stderr, "unknown work %s\n", work.c_str());
            return 2;
        }
    } catch (const std::exception &e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc > 1 && std::string(argv[1]) == "--once")
        return once(argc, argv);
    const int files = argc > 1 ? std::atoi(argv[1]) : 500;
    const int megabytes = argc > 2 ? std::atoi(argv[2]) : 100;
    const int runs = argc > 3 ? std::atoi(argv[3]) : 3;

    QTemporaryDir work;
    const QString root = work.path() + "/server";
    const QString local = work.path() + "/local";
    QDir().mkpath(root);
    QDir().mkpath(local + "/small");

    QProcess server;
    server.start(TL_PYTHON, {QString(TL_SOURCE_DIR) + "/tests/data/publish/ftpserver.py", "--root",
                             root, "--quiet"});
    check(server.waitForStarted(10000), "server start");
    while (!server.canReadLine() && server.waitForReadyRead(10000)) {
    }
    QByteArray line = server.readLine().trimmed();
    check(line.startsWith("PORT "), "server port line");
    const quint16 port = static_cast<quint16>(line.mid(5).toUInt());
    const QString base = "ftp://user:pw@127.0.0.1:" + QString::number(port) + "/";

    // The work: small files and one large file.
    std::vector<QString> names;
    for (int i = 0; i < files; ++i) {
        names.push_back(QString("f%1.bin").arg(i, 3, 10, QChar('0')));
        writeFile(local + "/small/" + names.back(), patternBytes(2048, static_cast<unsigned>(i)));
    }
    QStringList list;
    for (const QString &n : names)
        list << n;
    const QString glob = local + "/small/{" + list.join(',') + "}";
    const QString big = local + "/big.bin";
    writeFile(big, patternBytes(qint64(megabytes) * 1024 * 1024, 99));

    std::vector<double> ourSmallUp, ourSmallUpPlain, ourSmallDown, ourBigUp, ourBigDown;
    std::vector<double> curlSmallUp, curlBigUp, curlBigDown;
    std::vector<double> activeSmallUp, activeSmallDown, activeBigUp, activeBigDown;
    std::vector<double> tlsOurs, tlsOursPlain, tlsCurl;

    for (int run = 0; run < runs; ++run) {
        const QString tag = QString::number(run);
        for (const char *d : {"ours", "plain", "curl", "active"})
            QDir(root).mkpath(d + tag);
        const QString backOurs = local + "/back-ours" + tag;
        const QString backCurl = local + "/back-curl" + tag;
        QDir().mkpath(backOurs);
        QDir().mkpath(backCurl);

        // ---- this client, passive mode ----
        FtpClient ftp;
        setUp(ftp, port, "user", "pw");
        const std::string remoteDir = ("ours" + tag + "/").toStdString();
        ourSmallUpPlain.push_back(timeIt([&] {
            uploadAll(ftp, local + "/small", names, ("plain" + tag + "/").toStdString(), false);
        }));
        ourSmallUp.push_back(
            timeIt([&] { uploadAll(ftp, local + "/small", names, remoteDir, true); }));
        ourSmallDown.push_back(timeIt([&] {
            ftp.Connect();
            for (const QString &n : names)
                ftp.Download(remoteDir + n.toStdString(), (backOurs + "/" + n).toStdString());
            ftp.Disconnect();
        }));
        ourBigUp.push_back(timeIt([&] {
            ftp.Connect();
            ftp.UploadWhole(big.toStdString(), remoteDir + "big.bin");
            ftp.Disconnect();
        }));
        ourBigDown.push_back(timeIt([&] {
            ftp.Connect();
            ftp.Download(remoteDir + "big.bin", (backOurs + "/big.bin").toStdString());
            ftp.Disconnect();
        }));
        for (const QString &n : names) {
            check(sameFiles(local + "/small/" + n, root + "/ours" + tag + "/" + n), "ours small up");
            check(sameFiles(local + "/small/" + n, root + "/plain" + tag + "/" + n), "plain small up");
            check(sameFiles(local + "/small/" + n, backOurs + "/" + n), "ours small down");
        }
        check(sameFiles(big, root + "/ours" + tag + "/big.bin"), "ours big up");
        check(sameFiles(big, backOurs + "/big.bin"), "ours big down");

        // ---- curl, one command per work: passive mode (its default), then
        // active mode. The many small downloads only in active mode: in
        // passive mode curl stalls on each of them.
        curlSmallUp.push_back(timeIt([&] { runCurl({"-T", glob, base + "curl" + tag + "/"}); }));
        curlBigUp.push_back(timeIt([&] { runCurl({"-T", big, base + "curl" + tag + "/big.bin"}); }));
        curlBigDown.push_back(timeIt(
            [&] { runCurl({base + "curl" + tag + "/big.bin", "-o", backCurl + "/big.bin"}); }));
        check(sameFiles(big, root + "/curl" + tag + "/big.bin"), "curl big up");
        check(sameFiles(big, backCurl + "/big.bin"), "curl big down");
        const QStringList active{"--ftp-port", "-"};
        activeSmallUp.push_back(
            timeIt([&] { runCurl(active + QStringList{"-T", glob, base + "active" + tag + "/"}); }));
        activeSmallDown.push_back(timeIt([&] {
            runCurl(active
                    + QStringList{base + "active" + tag + "/f[000-" + QString::number(files - 1)
                                      + "].bin",
                                  "-o", backCurl + "/f#1.bin"});
        }));
        activeBigUp.push_back(timeIt(
            [&] { runCurl(active + QStringList{"-T", big, base + "active" + tag + "/big.bin"}); }));
        activeBigDown.push_back(timeIt([&] {
            runCurl(active
                    + QStringList{base + "active" + tag + "/big.bin", "-o", backCurl + "/big.bin"});
        }));
        for (const QString &n : names) {
            check(sameFiles(local + "/small/" + n, root + "/curl" + tag + "/" + n), "curl small up");
            check(sameFiles(local + "/small/" + n, root + "/active" + tag + "/" + n), "curl small up");
            check(sameFiles(local + "/small/" + n, backCurl + "/" + n), "curl small down");
        }
        check(sameFiles(big, root + "/active" + tag + "/big.bin"), "curl big up");
        check(sameFiles(big, backCurl + "/big.bin"), "curl big down");

        // Keep the disk use of one run.
        for (const char *d : {"ours", "plain", "curl", "active"})
            QDir(root + "/" + d + tag).removeRecursively();
        QDir(backOurs).removeRecursively();
        QDir(backCurl).removeRecursively();
    }
    server.kill();
    server.waitForFinished(5000);

    // ---- FTPS against vsftpd ----
    QTemporaryDir tlsDir;
    Vsftpd vsftpd;
    const bool tls = vsftpd.start(tlsDir.path());
    for (int run = 0; tls && run < runs; ++run) {
        const QString tag = QString::number(run);
        FtpClient ftp;
        setUp(ftp, vsftpd.port, "anonymous", "bench@");
        ftp.UseTls = true;
        ftp.TrustedFingerprint = vsftpd.fingerprint;
        tlsOursPlain.push_back(timeIt([&] {
            uploadAll(ftp, local + "/small", names, ("up/plain" + tag + "-").toStdString(), false);
        }));
        tlsOurs.push_back(timeIt([&] {
            uploadAll(ftp, local + "/small", names, ("up/ours" + tag + "-").toStdString(), true);
        }));
        const QString url = "ftp://anonymous:x@127.0.0.1:" + QString::number(vsftpd.port) + "/up/";
        // curl names the uploaded files after the local ones: one folder per run.
        QDir tmp(local + "/tls-curl" + tag);
        tmp.mkpath(".");
        for (const QString &n : names)
            QFile::copy(local + "/small/" + n, tmp.filePath("curl" + tag + "-" + n));
        QStringList renamed;
        for (const QString &n : names)
            renamed << "curl" + tag + "-" + n;
        tlsCurl.push_back(timeIt([&] {
            runCurl({"--ssl-reqd", "-k", "-T", tmp.path() + "/{" + renamed.join(',') + "}", url});
        }));
        for (const QString &n : names) {
            for (const char *who : {"ours", "plain", "curl"})
                check(sameFiles(local + "/small/" + n,
                                vsftpd.root + "/up/" + who + tag + "-" + n),
                      "FTPS small up");
        }
        tmp.removeRecursively();
    }

    std::printf("FTP transfer on loopback, median of %d runs (seconds); FtpClient in passive "
                "mode\n\n",
                runs);
    std::printf("| Work | FtpClient | curl passive | ratio | curl active | ratio |\n"
                "|---|---|---|---|---|---|\n");
    auto row = [](const QByteArray &what, const std::vector<double> &ours,
                  const std::vector<double> &passive, const std::vector<double> &active) {
        const double a = median(ours);
        std::printf("| %s | %.3f |", what.constData(), a);
        for (const auto *c : {&passive, &active}) {
            if (c->empty())
                std::printf(" - | - |");
            else
                std::printf(" %.3f | %.2f |", median(*c), a / median(*c));
        }
        std::printf("\n");
    };
    const QByteArray n = QByteArray::number(files);
    const QByteArray mb = QByteArray::number(megabytes);
    row("pyftpdlib: " + n + " x 2 KB upload (temporary name + rename)", ourSmallUp, curlSmallUp,
        activeSmallUp);
    row("pyftpdlib: " + n + " x 2 KB upload (plain STOR)", ourSmallUpPlain, curlSmallUp,
        activeSmallUp);
    row("pyftpdlib: " + n + " x 2 KB download", ourSmallDown, {}, activeSmallDown);
    row("pyftpdlib: " + mb + " MB upload (temporary name + rename)", ourBigUp, curlBigUp,
        activeBigUp);
    row("pyftpdlib: " + mb + " MB download", ourBigDown, curlBigDown, activeBigDown);
    if (tls) {
        // curl --ssl-reqd in active mode fails here ("inet_ntop() failed").
        row("vsftpd FTPS: " + n + " x 2 KB upload (temporary name + rename)", tlsOurs, tlsCurl, {});
        row("vsftpd FTPS: " + n + " x 2 KB upload (plain STOR)", tlsOursPlain, tlsCurl, {});
    }
    auto share = [files](const char *what, const std::vector<double> &whole,
                         const std::vector<double> &plain) {
        const double w = median(whole), p = median(plain);
        std::printf("\nRename step, %s: %.3f s of %.3f s (%.0f %%), %.2f ms per file\n", what, w - p,
                    w, 100.0 * (w - p) / w, 1000.0 * (w - p) / files);
    };
    share("pyftpdlib", ourSmallUp, ourSmallUpPlain);
    if (tls)
        share("vsftpd FTPS", tlsOurs, tlsOursPlain);
    return 0;
}
