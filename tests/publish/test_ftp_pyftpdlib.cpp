// The FTP client against a real server: pyftpdlib on a free loopback port,
// started and stopped by the fixture.
#include "ftptestutil.h"
#include "publish/ftpclient.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

using namespace tl;
using namespace tl::test;

namespace {

class RealServer : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_root = new QTemporaryDir;
        s_proc = new QProcess;
        s_proc->setProcessChannelMode(QProcess::SeparateChannels);
        s_proc->start(TL_PYTHON, {QString(TL_TEST_DATA_DIR) + "/publish/ftpserver.py", "--root",
                                  s_root->path(), "--user", "user", "--password", "pw"});
        if (!s_proc->waitForStarted(10000))
            return;
        while (!s_proc->canReadLine() && s_proc->waitForReadyRead(10000)) {
        }
        QByteArray line = s_proc->readLine().trimmed();
        if (line.startsWith("PORT "))
            s_port = static_cast<quint16>(line.mid(5).toUInt());
        else
            s_error = QString::fromLocal8Bit(line + s_proc->readAllStandardError());
    }

    static void TearDownTestSuite()
    {
        s_proc->kill();
        s_proc->waitForFinished(5000);
        delete s_proc;
        delete s_root;
        s_proc = nullptr;
        s_root = nullptr;
    }

    void SetUp() override
    {
        ASSERT_NE(s_port, 0) << "pyftpdlib did not start (python3-pyftpdlib installed?) "
                             << s_error.toStdString();
        ASSERT_TRUE(local.isValid());
        ftp = std::make_unique<FtpClient>();
        ftp->Host = "127.0.0.1";
        ftp->Port = s_port;
        ftp->UserID = "user";
        ftp->Password = "pw";
        ftp->NoDataTimeOut = 10000;
        ftp->OnFailure = [this](bool &, FtpCommandKind t) { failures.push_back(t); };
        ftp->OnListItem = [this](const std::string &n) { items.push_back(n); };
    }

    void TearDown() override
    {
        if (ftp && ftp->Connected()) {
            EXPECT_EQ(outcomeOf([&] { ftp->Disconnect(); }).kind, "");
        }
        ftp.reset();
    }

    static QString serverPath(const QString &name) { return s_root->path() + "/" + name; }
    std::string localPath(const char *name) const { return (local.path() + "/" + name).toStdString(); }

    static QProcess *s_proc;
    static QTemporaryDir *s_root;
    static quint16 s_port;
    static QString s_error;

    QTemporaryDir local;
    std::unique_ptr<FtpClient> ftp;
    std::vector<FtpCommandKind> failures;
    std::vector<std::string> items;
};

QProcess *RealServer::s_proc = nullptr;
QTemporaryDir *RealServer::s_root = nullptr;
quint16 RealServer::s_port = 0;
QString RealServer::s_error;

TEST_F(RealServer, LogsInAndListsAFolder)
{
    QDir(s_root->path()).mkpath("listed");
    for (const char *n : {"1049328060.txt", "b.txt", "with space.txt"})
        writeFileBytes(serverPath(QString("listed/") + n), "x");
    ftp->Connect();
    EXPECT_TRUE(ftp->Connected());
    ftp->ChangeDir("listed");
    ftp->NList();
    std::sort(items.begin(), items.end());
    EXPECT_EQ(items, (std::vector<std::string>{"1049328060.txt", "b.txt", "with space.txt"}));
}

TEST_F(RealServer, UploadAndDownloadAreByteExact)
{
    struct Case {
        const char *name;
        qsizetype size;
    };
    // Empty, small, exactly one socket chunk, and several megabytes.
    const Case cases[] = {{"empty.bin", 0}, {"small.txt", 1000}, {"chunk.bin", 16383},
                          {"large.bin", 5 * 1024 * 1024 + 17}};
    ftp->Connect();
    int livingBefore = FtpSocket::LiveCount();
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QByteArray bytes = patternBytes(c.size, static_cast<unsigned>(c.size));
        std::string up = localPath(c.name);
        writeFileBytes(QString::fromStdString(up), bytes);
        int reports = 0;
        ftp->OnProgress = [&reports](qint64, qint64) { ++reports; };
        ftp->Upload(up, c.name);
        EXPECT_EQ(readFileBytes(serverPath(c.name)), bytes);
        EXPECT_EQ(ftp->ByteCount(), c.size);
        if (c.size > 1024 * 1024) {
            EXPECT_GT(reports, 10);
        }

        std::string down = localPath((std::string("back-") + c.name).c_str());
        writeFileBytes(QString::fromStdString(down), "stale content to be replaced");
        ftp->Download(c.name, down);
        EXPECT_EQ(readFileBytes(QString::fromStdString(down)), bytes);
        EXPECT_EQ(ftp->ByteCount(), c.size);
        EXPECT_EQ(FtpSocket::LiveCount(), livingBefore);
    }
    EXPECT_TRUE(failures.empty());
}

TEST_F(RealServer, ManyFilesOverOneLogin)
{
    ftp->Connect();
    QDir(s_root->path()).mkpath("many");
    for (int i = 0; i < 25; ++i) {
        std::string name = "f" + std::to_string(i) + ".txt";
        QByteArray bytes = patternBytes(2048, static_cast<unsigned>(i));
        writeFileBytes(QString::fromStdString(localPath(name.c_str())), bytes);
        // A remote prefix that names a folder, as the publishing commands use it.
        ftp->Upload(localPath(name.c_str()), "many/" + name);
        ASSERT_EQ(readFileBytes(serverPath(QString::fromStdString("many/" + name))), bytes);
    }
    ftp->ChangeDir("many");
    ftp->NList();
    EXPECT_EQ(items.size(), 25u);
}

TEST_F(RealServer, RefusedChangeDirReportsFailureAndKeepsTheConnection)
{
    ftp->Connect();
    Outcome o = outcomeOf([&] { ftp->ChangeDir("no-such-folder"); });
    EXPECT_EQ(o.kind, "FTPException");
    EXPECT_EQ(o.message.substr(0, 4), "550 ");
    EXPECT_EQ(o.message.substr(o.message.size() - 2), "\r\n");
    EXPECT_EQ(failures, (std::vector<FtpCommandKind>{cmdChangeDir}));
    EXPECT_TRUE(ftp->Connected());
    EXPECT_EQ(outcomeOf([&] { ftp->ChangeDir("/"); }).kind, "");
}

TEST_F(RealServer, WrongPasswordRefusesTheLogin)
{
    ftp->Password = "wrong";
    Outcome o = outcomeOf([&] { ftp->Connect(); });
    EXPECT_EQ(o.kind, "FTPException");
    EXPECT_EQ(o.message.substr(0, 4), "530 ");
    EXPECT_FALSE(ftp->Connected());
    // The client can log in afterwards with the right password.
    ftp->Password = "pw";
    EXPECT_EQ(outcomeOf([&] { ftp->Connect(); }).kind, "");
}

TEST_F(RealServer, MissingRemoteFileLeavesTheLocalFileAlone)
{
    ftp->Connect();
    std::string keep = localPath("keep.txt");
    writeFileBytes(QString::fromStdString(keep), "precious");
    Outcome o = outcomeOf([&] { ftp->Download("no-such-file.txt", keep); });
    EXPECT_EQ(o.kind, "FTPException");
    EXPECT_EQ(o.message.substr(0, 4), "550 ");
    EXPECT_EQ(failures, (std::vector<FtpCommandKind>{cmdDownload}));
    EXPECT_EQ(readFileBytes(QString::fromStdString(keep)), QByteArray("precious"));
    EXPECT_EQ(folderEntries(local.path()), (std::vector<std::string>{"keep.txt"}));
    // The control connection carries on.
    EXPECT_EQ(outcomeOf([&] { ftp->ChangeDir("/"); }).kind, "");
}

} // namespace
