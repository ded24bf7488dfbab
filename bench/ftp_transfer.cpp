// FTP transfer speed on loopback against pyftpdlib, compared with curl in
// active mode (curl --ftp-port -) doing the same work in the same run:
//   - upload 500 files of 2 KB one after the other over one login, then
//     download them the same way;
//   - upload one file of 100 MB, then download it.
// Every transfer is checked byte for byte. Each measurement runs `runs`
// times (default 3); the median is reported, with the ratio client / curl.
//
//   bench_ftp_transfer              500 small files, 100 MB, 3 runs
//   bench_ftp_transfer 500 100 5    files, megabytes, runs
//
// The server is tests/data/publish/ftpserver.py (pyftpdlib, image type so
// that bytes are kept), run with /usr/bin/python3 in a temporary folder.

#include "publish/ftpclient.h"

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
#include <string>
#include <vector>

using namespace tl;

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

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        std::exit(1);
    }
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool sameFiles(const QString &a, const QString &b) { return readFile(a) == readFile(b); }

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
    return t.nsecsElapsed() / 1e9;
}

void runCurl(const QStringList &args)
{
    QProcess curl;
    curl.start("curl", QStringList{"-s", "-S", "--ftp-port", "-"} + args);
    if (!curl.waitForFinished(-1) || curl.exitCode() != 0) {
        std::fprintf(stderr, "curl failed: %s\n", curl.readAllStandardError().constData());
        std::exit(1);
    }
}

void check(bool ok, const char *what)
{
    if (!ok) {
        std::fprintf(stderr, "check failed: %s\n", what);
        std::exit(1);
    }
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
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
                             root});
    check(server.waitForStarted(10000), "server start");
    while (!server.canReadLine() && server.waitForReadyRead(10000)) {
    }
    QByteArray line = server.readLine().trimmed();
    check(line.startsWith("PORT "), "server port line");
    const QString port = QString::fromLatin1(line.mid(5));
    const QString base = "ftp://user:pw@127.0.0.1:" + port + "/";

    // The work: small files and one large file.
    std::vector<QString> names;
    for (int i = 0; i < files; ++i) {
        names.push_back(QString("f%1.bin").arg(i, 3, 10, QChar('0')));
        writeFile(local + "/small/" + names.back(), patternBytes(2048, static_cast<unsigned>(i)));
    }
    const QString big = local + "/big.bin";
    writeFile(big, patternBytes(qint64(megabytes) * 1024 * 1024, 99));

    std::vector<double> ourSmallUp, ourSmallDown, ourBigUp, ourBigDown;
    std::vector<double> curlSmallUp, curlSmallDown, curlBigUp, curlBigDown;

    for (int run = 0; run < runs; ++run) {
        const QString tag = QString::number(run);
        QDir(root).mkpath("ours" + tag);
        QDir(root).mkpath("curl" + tag);
        const QString backOurs = local + "/back-ours" + tag;
        const QString backCurl = local + "/back-curl" + tag;
        QDir().mkpath(backOurs);
        QDir().mkpath(backCurl);

        // ---- this client ----
        FtpClient ftp;
        ftp.Host = "127.0.0.1";
        ftp.Port = port.toInt();
        ftp.UserID = "user";
        ftp.Password = "pw";
        const std::string remoteDir = ("ours" + tag + "/").toStdString();
        ourSmallUp.push_back(timeIt([&] {
            ftp.Connect();
            for (const QString &n : names)
                ftp.Upload((local + "/small/" + n).toStdString(), remoteDir + n.toStdString());
            ftp.Disconnect();
        }));
        ourSmallDown.push_back(timeIt([&] {
            ftp.Connect();
            for (const QString &n : names)
                ftp.Download(remoteDir + n.toStdString(), (backOurs + "/" + n).toStdString());
            ftp.Disconnect();
        }));
        ourBigUp.push_back(timeIt([&] {
            ftp.Connect();
            ftp.Upload(big.toStdString(), remoteDir + "big.bin");
            ftp.Disconnect();
        }));
        ourBigDown.push_back(timeIt([&] {
            ftp.Connect();
            ftp.Download(remoteDir + "big.bin", (backOurs + "/big.bin").toStdString());
            ftp.Disconnect();
        }));
        for (const QString &n : names) {
            check(sameFiles(local + "/small/" + n, root + "/ours" + tag + "/" + n), "ours small up");
            check(sameFiles(local + "/small/" + n, backOurs + "/" + n), "ours small down");
        }
        check(sameFiles(big, root + "/ours" + tag + "/big.bin"), "ours big up");
        check(sameFiles(big, backOurs + "/big.bin"), "ours big down");

        // ---- curl, active mode, one connection per command ----
        QStringList list;
        for (const QString &n : names)
            list << n;
        const QString glob = local + "/small/{" + list.join(',') + "}";
        curlSmallUp.push_back(timeIt([&] { runCurl({"-T", glob, base + "curl" + tag + "/"}); }));
        curlSmallDown.push_back(timeIt([&] {
            runCurl({base + "curl" + tag + "/f[000-" + QString::number(files - 1) + "].bin", "-o",
                     backCurl + "/f#1.bin"});
        }));
        curlBigUp.push_back(timeIt([&] { runCurl({"-T", big, base + "curl" + tag + "/big.bin"}); }));
        curlBigDown.push_back(timeIt(
            [&] { runCurl({base + "curl" + tag + "/big.bin", "-o", backCurl + "/big.bin"}); }));
        for (const QString &n : names) {
            check(sameFiles(local + "/small/" + n, root + "/curl" + tag + "/" + n), "curl small up");
            check(sameFiles(local + "/small/" + n, backCurl + "/" + n), "curl small down");
        }
        check(sameFiles(big, root + "/curl" + tag + "/big.bin"), "curl big up");
        check(sameFiles(big, backCurl + "/big.bin"), "curl big down");

        // Keep the disk use of one run.
        QDir(root + "/ours" + tag).removeRecursively();
        QDir(root + "/curl" + tag).removeRecursively();
        QDir(backOurs).removeRecursively();
        QDir(backCurl).removeRecursively();
    }

    server.kill();
    server.waitForFinished(5000);

    std::printf("FTP transfer on loopback against pyftpdlib, median of %d runs (seconds)\n\n", runs);
    std::printf("| Work | FtpClient | curl --ftp-port - | ratio |\n|---|---|---|---|\n");
    auto row = [](const char *what, const std::vector<double> &ours, const std::vector<double> &c) {
        double a = median(ours), b = median(c);
        std::printf("| %s | %.3f | %.3f | %.2f |\n", what, a, b, a / b);
    };
    const QByteArray smallWhat = QByteArray::number(files) + " x 2 KB upload";
    const QByteArray smallDown = QByteArray::number(files) + " x 2 KB download";
    const QByteArray bigWhat = QByteArray::number(megabytes) + " MB upload";
    const QByteArray bigDown = QByteArray::number(megabytes) + " MB download";
    row(smallWhat.constData(), ourSmallUp, curlSmallUp);
    row(smallDown.constData(), ourSmallDown, curlSmallDown);
    row(bigWhat.constData(), ourBigUp, curlBigUp);
    row(bigDown.constData(), ourBigDown, curlBigDown);
    return 0;
}
