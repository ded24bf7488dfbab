// The publisher service without a window, against pyftpdlib on loopback.
#include "ftptestutil.h"
#include "pyftpserver.h"
#include "testsupport.h"

#include "core/errors.h"
#include "core/projectsettings.h"
#include "publish/publisher.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tl;
using namespace tl::test;

namespace {

SendJob jobOf(const QStringList &site, const QStringList &posts = {})
{
    SendJob job;
    job.siteFiles = site;
    job.postFiles = posts;
    return job;
}

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
        ProjectSettings p;
        p.server.host = "127.0.0.1";
        p.server.user = "user";
        p.server.port = QString::number(server.port());
        p.site.mainFolder = local + "site";
        p.site.dataFolder = local + "data";
        p.server.remoteMainFolder = "www"; // becomes "www/"
        p.server.remoteDataFolder = "/data/";
        paths = publishPaths(p);
        publisher.configure(publishAccount(p.server, "pw"));
        publisher.onLog = [this](const QString &l) { log << l; };
        publisher.onFileStarted = [this](const QString &verb, const QString &name, int k, int n) {
            started << QStringLiteral("%1 %2 %3/%4").arg(verb, name).arg(k).arg(n);
        };
        publisher.onListed = [this](const std::string &n) { listed << QString::fromStdString(n); };
    }

    QTemporaryDir tmp, serverRoot;
    QString local;
    PyFtpServer server;
    Publisher publisher;
    PublishPaths paths;
    QStringList log, started, listed;
};

TEST_F(PublisherTest, SiteKeepsItsLayoutPostsGoToTheDataFolderAndComeBack)
{
    writeBytes(local + "site/index.html", "<html>\r\n");
    writeBytes(local + "site/archiv/2026-12.html", "month\r\r\n");
    writeBytes(local + "data/1796673900.txt", "Title\r\nBody \x9A\r\n");
    ASSERT_EQ(publisher.send(jobOf({local + "site/index.html", local + "site/archiv/2026-12.html"},
                                   {local + "data/1796673900.txt"}),
                             paths),
              Publisher::Outcome::Completed);
    EXPECT_EQ(filesBelow(serverRoot.path() + "/www"), filesBelow(local + "site"));
    EXPECT_EQ(started, QStringList({"Sending index.html 1/3", "Sending 2026-12.html 2/3",
                                    "Sending 1796673900.txt 3/3"}));
    EXPECT_EQ(log.count("Transfer OK"), 3);

    // A hidden name is not listed; a name that could leave the data folder
    // is never written.
    writeBytes(serverRoot.path() + "/data/..evil", "x");
    QDir(local + "data").removeRecursively();
    QDir().mkpath(local + "data");
    ASSERT_EQ(publisher.list(paths), Publisher::Outcome::Completed);
    listed.sort();
    EXPECT_EQ(listed, QStringList({"1796673900.txt"}));
    std::vector<std::string> names{"1796673900.txt", "../escape.txt"};
    ASSERT_EQ(publisher.fetch(&names, paths), Publisher::Outcome::Completed);
    EXPECT_EQ(QDir(local + "data").entryList(QDir::Files | QDir::Hidden),
              QStringList({"1796673900.txt"}));
    EXPECT_EQ(fileBytes(local + "data/1796673900.txt"), "Title\r\nBody \x9A\r\n");
    EXPECT_TRUE(log.contains("Skipped ../escape.txt: not a post file"));
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
    EXPECT_EQ(publisher.send(jobOf({local + "site/p0.html", local + "site/p1.html", local + "site/p2.html"}),
                             paths),
              Publisher::Outcome::Cancelled);
    EXPECT_EQ(log.last(), kTransferCancelled);
    EXPECT_FALSE(QFileInfo::exists(serverRoot.path() + "/www/p2.html"));
    EXPECT_FALSE(publisher.busy());
}

TEST_F(PublisherTest, ASendAfterAFailedSendLogsInAgainWithTheNewSettings)
{
    // The first send fails at a folder the server will not write.
    QDir().mkpath(serverRoot.path() + "/ro");
    server.stop();
    ASSERT_TRUE(server.start(serverRoot.path())) << server.error().toStdString();
    writeBytes(local + "site/index.html", "page");
    PublishPaths readOnly = paths;
    readOnly.sitePrefix = "/ro/";
    ProjectSettings p;
    p.server.host = "127.0.0.1";
    p.server.user = "user";
    p.server.port = QString::number(server.port());
    publisher.configure(publishAccount(p.server, "pw"));
    EXPECT_THROW(publisher.send(jobOf({local + "site/index.html"}), readOnly), AppError);

    // Another server with a wrong password: the login fails there, and
    // nothing reaches the first server over a session left open.
    QTemporaryDir otherRoot;
    PyFtpServer other;
    ASSERT_TRUE(other.start(otherRoot.path())) << other.error().toStdString();
    p.server.port = QString::number(other.port());
    publisher.configure(publishAccount(p.server, "wrong"));
    try {
        publisher.send(jobOf({local + "site/index.html"}), paths);
        ADD_FAILURE() << "a wrong password was taken";
    } catch (const AppError &e) {
        EXPECT_TRUE(QString::fromLocal8Bit(e.what()).contains("refused the login of user \"user\": 530")) << e.what();
    }
    EXPECT_FALSE(QFileInfo::exists(serverRoot.path() + "/www/index.html"));
    EXPECT_FALSE(publisher.busy());
}

TEST(PublisherSettings, APortThatIsNoNumberFailsBeforeAnythingConnects)
{
    ServerSettings s;
    s.port = "twenty-one";
    EXPECT_THROW(publishAccount(s, "pw"), AppError);
    EXPECT_EQ(siteRelativePath("/blog/site", "/blog/site/archiv/a.html"), "archiv/a.html");
    EXPECT_EQ(siteRelativePath("/blog/site", "/elsewhere/a.html"), "a.html");
    EXPECT_EQ(siteRelativePath("/blog/site", "/blog/site/../x/a.html"), "a.html");
}

} // namespace
