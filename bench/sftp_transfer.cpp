// SFTP transfer speed on loopback against OpenSSH's sshd (started here with
// its own keys and configuration, internal-sftp), compared with OpenSSH's
// sftp client in batch mode (sftp -b) doing the same work in the same run
// against the same server:
//   - upload 500 files of 2 KB one after the other over one login, then
//     download them the same way;
//   - upload one file of 100 MB, then download it.
// Every measurement includes the login and is checked byte for byte. Each
// runs `runs` times (default 3); the median is reported, with the ratio
// client / sftp. SftpClient uploads whole files (temporary name, then
// rename over the target); sftp writes the target directly.
//
//   bench_sftp_transfer              500 small files, 100 MB, 3 runs
//   bench_sftp_transfer 500 100 5    files, megabytes, runs

#include "publish/sftpclient.h"
#include "sshserver.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <pwd.h>
#include <string>
#include <unistd.h>
#include <vector>

using namespace tl;
using tl::test::SshServer;

namespace {

QByteArray patternBytes(qint64 size, unsigned seed)
{
    QByteArray out(size, Qt::Uninitialized);
    quint32 x = seed * 2654435761u + 12345u;
    for (qint64 i = 0; i < size; ++i) {
        x = x * 1664525u + 1013904223u;
        out[i] = static_cast<char>(x >> 24);
    }
    return out;
}

void check(bool ok, const char *what)
{
    if (!ok) {
        std::fprintf(stderr, "check failed: %s\n", what);
        std::exit(1);
    }
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    check(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size(), "write a local file");
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

bool sameFiles(const QString &a, const QString &b)
{
    return readFile(a) == readFile(b);
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double timeIt(const std::function<void()> &work)
{
    QElapsedTimer t;
    t.start();
    work();
    return double(t.nsecsElapsed()) / 1e9;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    qunsetenv("SSH_AUTH_SOCK");
    const int files = argc > 1 ? std::atoi(argv[1]) : 500;
    const int megabytes = argc > 2 ? std::atoi(argv[2]) : 100;
    const int runs = argc > 3 ? std::atoi(argv[3]) : 3;

    QTemporaryDir work;
    const QString serverDir = work.path() + "/sshd";
    const QString home = work.path() + "/home";
    const QString root = work.path() + "/server"; // where the uploads go
    const QString local = work.path() + "/local";
    for (const QString &d : { serverDir, home + "/.ssh", root, local + "/small" })
        QDir().mkpath(d);

    SshServer server(serverDir);
    if (!server.start()) {
        std::fprintf(stderr, "sshd did not start: %s\n", qPrintable(server.error()));
        return 1;
    }
    // The client's ~/.ssh: the key the server accepts and its host key.
    qputenv("HOME", home.toLocal8Bit());
    QFile::copy(server.clientKeyPath(), home + "/.ssh/id_ed25519");
    QFile::setPermissions(
        home + "/.ssh/id_ed25519", QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    writeFile(home + "/.ssh/known_hosts", server.knownHostsLine().toLatin1() + "\n");
    const passwd *pw = getpwuid(getuid());
    const std::string user = pw ? pw->pw_name : "root";

    std::vector<QString> names;
    for (int i = 0; i < files; ++i) {
        names.push_back(QString("f%1.bin").arg(i, 3, 10, QChar('0')));
        writeFile(local + "/small/" + names.back(), patternBytes(2048, unsigned(i)));
    }
    const QString big = local + "/big.bin";
    writeFile(big, patternBytes(qint64(megabytes) * 1024 * 1024, 99));

    // OpenSSH's sftp reads ~/.ssh of the passwd entry, not HOME: give it the
    // key, the known hosts and no configuration explicitly.
    auto runSftp = [&](const QStringList &commands) {
        const QString batch = work.path() + "/batch.txt";
        writeFile(batch, commands.join('\n').toLocal8Bit() + "\n");
        QProcess sftp;
        sftp.start("sftp",
            { "-q", "-b", batch, "-F", "/dev/null", "-i", server.clientKeyPath(), "-o",
                "UserKnownHostsFile=" + home + "/.ssh/known_hosts", "-o",
                "StrictHostKeyChecking=yes", "-o", "BatchMode=yes", "-P",
                QString::number(server.port()), QString::fromStdString(user) + "@127.0.0.1" });
        if (!sftp.waitForFinished(-1) || sftp.exitCode() != 0) {
            std::fprintf(stderr, "sftp failed: %s\n", sftp.readAllStandardError().constData());
            std::exit(1);
        }
    };
    auto runOurs = [&](const std::function<void(SftpClient &)> &work) {
        SftpClient c;
        c.Host = "127.0.0.1";
        c.Port = server.port();
        c.UserID = user;
        try {
            c.Connect();
            work(c);
            c.Disconnect();
        } catch (const std::exception &e) {
            std::fprintf(stderr, "SftpClient failed: %s\n", e.what());
            std::exit(1);
        }
    };

    std::vector<double> ourSmallUp, ourSmallDown, ourBigUp, ourBigDown;
    std::vector<double> sftpSmallUp, sftpSmallDown, sftpBigUp, sftpBigDown;

    for (int run = 0; run < runs; ++run) {
        const QString tag = QString::number(run);
        const QString oursDir = root + "/ours" + tag;
        const QString sftpDir = root + "/sftp" + tag;
        const QString backOurs = local + "/back-ours" + tag;
        const QString backSftp = local + "/back-sftp" + tag;
        for (const QString &d : { oursDir, sftpDir, backOurs, backSftp })
            QDir().mkpath(d);

        // ---- this client ----
        const std::string remoteDir = oursDir.toStdString() + "/";
        ourSmallUp.push_back(timeIt([&] {
            runOurs([&](SftpClient &c) {
                for (const QString &n : names)
                    c.UploadWhole(
                        (local + "/small/" + n).toStdString(), remoteDir + n.toStdString());
            });
        }));
        ourSmallDown.push_back(timeIt([&] {
            runOurs([&](SftpClient &c) {
                for (const QString &n : names)
                    c.Download(remoteDir + n.toStdString(), (backOurs + "/" + n).toStdString());
            });
        }));
        ourBigUp.push_back(timeIt([&] {
            runOurs(
                [&](SftpClient &c) { c.UploadWhole(big.toStdString(), remoteDir + "big.bin"); });
        }));
        ourBigDown.push_back(timeIt([&] {
            runOurs([&](SftpClient &c) {
                c.Download(remoteDir + "big.bin", (backOurs + "/big.bin").toStdString());
            });
        }));
        for (const QString &n : names) {
            check(sameFiles(local + "/small/" + n, oursDir + "/" + n), "ours small up");
            check(sameFiles(local + "/small/" + n, backOurs + "/" + n), "ours small down");
        }
        check(sameFiles(big, oursDir + "/big.bin"), "ours big up");
        check(sameFiles(big, backOurs + "/big.bin"), "ours big down");

        // ---- OpenSSH's sftp, one batch (one login) per measurement ----
        QStringList up { "cd " + sftpDir, "lcd " + local + "/small" };
        QStringList down { "cd " + sftpDir, "lcd " + backSftp };
        for (const QString &n : names) {
            up << "put " + n;
            down << "get " + n;
        }
        sftpSmallUp.push_back(timeIt([&] { runSftp(up); }));
        sftpSmallDown.push_back(timeIt([&] { runSftp(down); }));
        sftpBigUp.push_back(
            timeIt([&] { runSftp({ "put " + big + " " + sftpDir + "/big.bin" }); }));
        sftpBigDown.push_back(
            timeIt([&] { runSftp({ "get " + sftpDir + "/big.bin " + backSftp + "/big.bin" }); }));
        for (const QString &n : names) {
            check(sameFiles(local + "/small/" + n, sftpDir + "/" + n), "sftp small up");
            check(sameFiles(local + "/small/" + n, backSftp + "/" + n), "sftp small down");
        }
        check(sameFiles(big, sftpDir + "/big.bin"), "sftp big up");
        check(sameFiles(big, backSftp + "/big.bin"), "sftp big down");

        // Keep the disk use of one run.
        for (const QString &d : { oursDir, sftpDir, backOurs, backSftp })
            QDir(d).removeRecursively();
    }
    server.stop();

    std::printf(
        "SFTP transfer on loopback against OpenSSH sshd, median of %d runs (seconds)\n\n", runs);
    std::printf("| Work | SftpClient | sftp -b | ratio |\n|---|---|---|---|\n");
    auto row = [](const QByteArray &what, const std::vector<double> &ours,
                   const std::vector<double> &o) {
        const double a = median(ours), b = median(o);
        std::printf("| %s | %.3f | %.3f | %.2f |\n", what.constData(), a, b, a / b);
    };
    row(QByteArray::number(files) + " x 2 KB upload", ourSmallUp, sftpSmallUp);
    row(QByteArray::number(files) + " x 2 KB download", ourSmallDown, sftpSmallDown);
    row(QByteArray::number(megabytes) + " MB upload", ourBigUp, sftpBigUp);
    row(QByteArray::number(megabytes) + " MB download", ourBigDown, sftpBigDown);
    return 0;
}
