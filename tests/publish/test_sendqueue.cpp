// The send queue: what it holds after generation, saves and deletes, and
// what it refuses to send, against pyftpdlib on loopback.
#include "pyftpserver.h"
#include "testsupport.h"

#include "core/projectsettings.h"
#include "publish/sendqueue.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tl;
using namespace tl::test;

namespace {

TEST(SendQueue, AGonePostAndFilesOutsideTheProjectAreDroppedNotSent)
{
    QTemporaryDir tmp, serverRoot;
    const QString local = tmp.path() + "/";
    QDir().mkpath(local + "site");
    QDir().mkpath(local + "data");
    QDir().mkpath(serverRoot.path() + "/www");
    QDir().mkpath(serverRoot.path() + "/data");
    PyFtpServer server;
    if (!server.start(serverRoot.path()))
        GTEST_SKIP() << "pyftpdlib cannot start: " << server.error().toStdString();

    // A record edited by hand names files outside the project.
    writeBytes(local + "outside.txt", "secret");
    writeBytes(local + "site/index.html", "page");
    writeBytes(local + "blog.sent", "tarvlit-sent 1\nsite " + (local + "outside.txt").toStdString()
                                        + "\nsite " + (local + "site/index.html").toStdString() + "\n");
    PublishPaths paths;
    paths.mainFolder = local + "site";
    paths.dataFolder = local + "data";
    paths.sitePrefix = "/www/";
    paths.dataPrefix = "/data/";
    writeBytes(local + "data/1700000100.txt", "Kept\r\npost");
    SendQueue queue;
    queue.load(local + "blog.sent", paths);
    EXPECT_EQ(queue.siteFiles(), QStringList{local + "site/index.html"});

    // A post saved, queued, then deleted.
    writeBytes(local + "data/1700000000.txt", "Gone\r\nsoon");
    queue.postSaved(local + "data/1700000000.txt");
    QFile::remove(local + "data/1700000000.txt");

    QStringList log;
    queue.dropUnsendable([&log](const QString &l) { log << l; });
    EXPECT_EQ(queue.postFiles(), QStringList{local + "data/1700000100.txt"});
    EXPECT_EQ(log, QStringList{"Not sent: 1700000000.txt no longer exists"});

    Publisher publisher;
    ProjectSettings p;
    p.server.host = "127.0.0.1";
    p.server.user = "user";
    p.server.port = QString::number(server.port());
    publisher.configure(publishAccount(p.server, "pw"));
    ASSERT_EQ(queue.send(publisher), Publisher::Outcome::Completed);
    EXPECT_TRUE(queue.isEmpty()) << (queue.siteFiles() + queue.postFiles()).join("|").toStdString();
    EXPECT_EQ(filesBelow(serverRoot.path()),
              (std::map<QString, std::string>{{"www/index.html", "page"},
                                              {"data/1700000100.txt", "Kept\r\npost"}}));

    // The record now knows both: a reloaded queue is empty.
    SendQueue again;
    again.load(local + "blog.sent", paths);
    EXPECT_TRUE(again.isEmpty()) << again.siteFiles().join("|").toStdString();
}

} // namespace
