// The publisher service without a window, against pyftpdlib on loopback.
#include "ftptestutil.h"
#include "pyftpserver.h"
#include "testsupport.h"

#include "app/core/errors.h"
#include "app/core/project.h"
#include "publish/publisher.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tl;
using namespace tl::test;

namespace {

class PublisherTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        local = tmp.path() + "/";
        QDir().mkpath(local + "site/archiv");
        QDir().mkpath(local + "data");
        QDir().mkpath(serverRoot.path() + "/data");
        QDir().mkpath(serverRoot.path() + "/www");
        if (!server.start(serverRoot.path()))
            GTEST_SKIP() << "pyftpdlib cannot start: " << server.error().toStdString();
        Project p;
        p.setText("edtFTPADDRESS", "127.0.0.1");
        p.setText("edtUSER", "user");
        p.setText("edtPORT", QString::number(server.port()));
        p.setText("pathMAIN", local + "site");
        p.setText("pathDATA", local + "data");
        p.setText("rPATHMAIN", "www/");
        p.setText("rDATAPATH", "/data/");
        paths = publishPaths(p);
        publisher.configure(ftpAccount(p, "pw"));
        publisher.onLog = [this](const QString &l) { log << l; };
        publisher.onFileStarted = [this](const QString &verb, const QString &name, int k, int n) {
            started << QStringLiteral("%1 %2 %3/%4").arg(verb, name).arg(k).arg(n);
        };
        publisher.onListed = [this](const std::string &n) { listed << QString::fromStdString(n); };
    }

    QTemporaryDir tmp, serverRoot;
    QString local;
    PyFtpServer server;
    FtpClient client;
    Publisher publisher{client};
    PublishPaths paths;
    QStringList log, started, listed;
};

TEST_F(PublisherTest, SiteKeepsItsLayoutPostsGoToTheDataFolderAndComeBack)
{
    writeBytes(local + "site/index.html", "<html>\r\n");
    writeBytes(local + "site/archiv/2026-12.html", "month\r\r\n");
    writeBytes(local + "data/1796673900.txt", "Title\r\nBody \x9A\r\n");
    ASSERT_EQ(publisher.send({local + "site/index.html", local + "site/archiv/2026-12.html"},
                             {local + "data/1796673900.txt"}, paths),
              Publisher::Outcome::Completed);
    EXPECT_EQ(filesBelow(serverRoot.path() + "/www"), filesBelow(local + "site"));
    EXPECT_EQ(started, QStringList({"Sending index.html 1/3", "Sending 2026-12.html 2/3",
                                    "Sending 1796673900.txt 3/3"}));
    EXPECT_EQ(log.count("Transfer OK"), 3);

    // A name that could leave the data folder is listed but never written.
    writeBytes(serverRoot.path() + "/data/..evil", "x");
    QDir(local + "data").removeRecursively();
    QDir().mkpath(local + "data");
    ASSERT_EQ(publisher.list(paths), Publisher::Outcome::Completed);
    listed.sort();
    EXPECT_EQ(listed, QStringList({"..evil", "1796673900.txt"}));
    listed.removeAll("..evil");
    listed << "../escape.txt";
    ASSERT_EQ(publisher.fetch(listed, paths), Publisher::Outcome::Completed);
    EXPECT_EQ(QDir(local + "data").entryList(QDir::Files | QDir::Hidden),
              QStringList({"1796673900.txt"}));
    EXPECT_EQ(fileBytes(local + "data/1796673900.txt"), "Title\r\nBody \x9A\r\n");
    EXPECT_TRUE(log.contains("Skipped unsafe name ../escape.txt"));
    EXPECT_FALSE(QFileInfo::exists(tmp.path() + "/escape.txt"));
}

TEST_F(PublisherTest, CancelEndsTheSendQuietlyAndDropsTheConnection)
{
    for (int i = 0; i < 3; ++i)
        writeBytes(local + QStringLiteral("site/p%1.html").arg(i), "page");
    publisher.onFileStarted = [this](const QString &, const QString &, int k, int) {
        if (k == 2)
            publisher.cancel();
    };
    EXPECT_EQ(publisher.send({local + "site/p0.html", local + "site/p1.html", local + "site/p2.html"},
                             {}, paths),
              Publisher::Outcome::Cancelled);
    EXPECT_FALSE(client.Connected());
    EXPECT_EQ(log.last(), kTransferCancelled);
    EXPECT_FALSE(QFileInfo::exists(serverRoot.path() + "/www/p2.html"));
    EXPECT_FALSE(publisher.busy());
}

TEST(PublisherSettings, APortThatIsNoNumberFailsBeforeAnythingConnects)
{
    Project p;
    p.setText("edtPORT", "twenty-one");
    EXPECT_THROW(ftpAccount(p, "pw"), AppError);
    EXPECT_EQ(siteRelativePath("/blog/site", "/blog/site/archiv/a.html"), "archiv/a.html");
    EXPECT_EQ(siteRelativePath("/blog/site", "/elsewhere/a.html"), "a.html");
    EXPECT_EQ(siteRelativePath("/blog/site", "/blog/site/../x/a.html"), "a.html");
}

} // namespace
