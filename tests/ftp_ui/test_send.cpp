// "Send to FTP": which file goes where, and what a failure leaves behind.
#include "ftpuifixture.h"
#include "core/openproject.h"

#include "ui/posts/posttree.h"
#include "ui/widgets.h"
#include "ui/posteditor.h"
#include "publish/ftpclient.h"
#include "core/ini.h"
#include "core/projectfile.h"
#include "core/projects.h"
#include "publish/sendrecord.h"
#include <QTemporaryDir>
#include <QTest>

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QLabel>
#include <QTreeWidget>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>

using namespace tl;
using namespace tl::test;

namespace {

// The log a send of these files writes, in order.
QStringList transferLog(const QStringList &paths)
{
    QStringList out;
    for (const QString &p : paths)
        out << "Starting transfer of " + p.mid(p.lastIndexOf('/') + 1) << "Transfer OK";
    return out;
}

} // namespace

// The log of a send without its closing summary ("Sent 7 files (9.9 kB) in
// 0.1 s"), which must be there when the send finished.
QStringList sentLog(const QStringList &lines)
{
    static const QRegularExpression summary(R"(^Sent \d+ files? \(.+\) in \d+\.\d s$)");
    QStringList out = lines;
    if (!out.isEmpty() && summary.match(out.last()).hasMatch())
        out.removeLast();
    else
        out << "(no summary)";
    return out;
}

TEST_F(FtpTab, SendPutsSiteFilesBelowTheSitePrefixAndPostsBelowTheDataPrefix)
{
    generate();
    const QStringList siteFiles = queuedPages();
    // A post saved in the editor queues itself.
    action(w(), "actNEW")->trigger();
    setFieldText(w(), "edtNADPIS", "Saved now");
    control<QPlainTextEdit>(w(), "memoOBSAH")->setPlainText("Typed body");
    action(w(), "actSAVE")->trigger();
    ASSERT_TRUE(errors().isEmpty()) << errors().join("|").toStdString();
    const QStringList dataFiles = queuedPosts();
    ASSERT_EQ(dataFiles.size(), 1);
    EXPECT_EQ(queued(), siteFiles + dataFiles);
    EXPECT_EQ(control<QLabel>(w(), "lblQUEUECOUNT")->text(), QString("%1 files to send").arg(queued().size()));
    control<QPlainTextEdit>(w(), "Memo2")->clear();

    pressSend();

    ASSERT_TRUE(errors().isEmpty()) << errors().join("|").toStdString();
    EXPECT_EQ(sentLog(logLines()), transferLog(siteFiles + dataFiles));
    EXPECT_TRUE(logLines().last().startsWith("Sent 6 files (")) << logLines().last().toStdString();
    EXPECT_EQ(w().statusText(), logLines().last());
    for (const QString &f : siteFiles) {
        const QString relative = QDir(site()).relativeFilePath(f);
        EXPECT_TRUE(sameFile(serverPath("www/" + relative), f));
    }
    for (const QString &f : dataFiles) {
        const QString name = f.mid(f.lastIndexOf('/') + 1);
        EXPECT_TRUE(sameFile(serverPath("data/" + name), f));
    }
    // Every archive link of the main page finds its page on the server.
    const QString page = QString::fromLatin1(fileBytes(serverPath("www/index.html")));
    const auto links = QRegularExpression("href=\"(archive/[^\"#]+)").globalMatch(page);
    int archiveLinks = 0;
    for (auto it = links; it.hasNext(); ++archiveLinks) {
        const QString target = it.next().captured(1);
        EXPECT_TRUE(QFile::exists(serverPath("www/" + target))) << target.toStdString();
    }
    EXPECT_GE(archiveLinks, 2);

    EXPECT_TRUE(queued().isEmpty());
    EXPECT_EQ(control<QLabel>(w(), "lblQUEUECOUNT")->text(), "0 files to send");
}

TEST_F(FtpTab, ARemoteFolderTypedWithoutItsSlashIsStillAFolder)
{
    generate();
    setFieldText(w(), "rPATHMAIN", "/www");
    setFieldText(w(), "rDATAPATH", "/data");
    queueAllPosts();
    const QStringList siteFiles = queuedPages();

    pressSend();

    ASSERT_TRUE(errors().isEmpty()) << errors().join("|").toStdString();
    EXPECT_TRUE(sameFile(serverPath("www/index.html"), site() + "/index.html"));
    EXPECT_FALSE(QFile::exists(serverPath("wwwindex.html")));
    for (const QString &f : siteFiles) {
        if (f.contains("/archive/")) {
            EXPECT_TRUE(sameFile(serverPath("www/archive/" + f.mid(f.lastIndexOf('/') + 1)), f));
        }
    }
    EXPECT_TRUE(sameFile(serverPath("data/1702000000.txt"), data() + "/1702000000.txt"));
    EXPECT_FALSE(QFile::exists(serverPath("data1702000000.txt")));
}

TEST_F(FtpTab, PortFieldThatIsNoNumberStopsBeforeAnythingIsApplied)
{
    queueAllPosts();
    for (const QString &port : {QString(), QStringLiteral("abc"), QStringLiteral("21 21")}) {
        prompts().shown.clear();
        setFieldText(w(), "edtPORT", port);
        pressSend();
        EXPECT_EQ(errors(), QStringList{"'" + port + "' is not a valid integer value"});
        EXPECT_TRUE(logLines().isEmpty());
        EXPECT_EQ(queuedPosts().size(), 3);
    }
}

TEST_F(FtpTab, WrongPasswordShowsTheServerReplyAndKeepsEverythingQueued)
{
    generate();
    const QStringList siteFiles = queuedPages();
    setFieldText(w(), "edtPASSWORD", "wrong");
    pressSend();
    ASSERT_EQ(errors().size(), 1);
    EXPECT_TRUE(errors()[0].startsWith("The server 127.0.0.1 refused the login of user \"user\": 530"))
        << errors()[0].toStdString();
    EXPECT_TRUE(logLines().isEmpty());
    EXPECT_EQ(queued(), siteFiles);
    // The commands held during the attempt are back.
    EXPECT_TRUE(control<QPushButton>(w(), "btnSENDFTP")->isEnabled());
    EXPECT_TRUE(action(w(), "actGENERATE")->isEnabled());

    setFieldText(w(), "edtPASSWORD", "pw");
    pressSend();
    EXPECT_EQ(errors().size(), 1);
    EXPECT_EQ(sentLog(logLines()), transferLog(siteFiles));
    EXPECT_TRUE(queued().isEmpty());
}

TEST_F(FtpTab, ARefusedFolderStopsTheSendAndTheNextSendStartsFromTheTop)
{
    generate();
    const QStringList siteFiles = queuedPages();
    queueAllPosts();
    const QStringList posts = queuedPosts();
    ASSERT_EQ(posts.size(), 3);
    setFieldText(w(), "rPATHMAIN", "/ro/");
    pressSend();
    ASSERT_EQ(errors().size(), 1);
    EXPECT_TRUE(errors()[0].startsWith("Cannot create remote folder /ro/archive: 550"))
        << errors()[0].toStdString();
    EXPECT_TRUE(logLines().isEmpty()) << logLines().join("|").toStdString();
    EXPECT_EQ(queued(), siteFiles + posts);
    EXPECT_TRUE(filesBelow(serverPath("ro")).empty());

    // The next send logs in again, with the settings as they are now.
    control<QPlainTextEdit>(w(), "Memo2")->clear();
    setFieldText(w(), "rPATHMAIN", "/www/");
    pressSend();
    EXPECT_EQ(errors().size(), 1);
    EXPECT_EQ(sentLog(logLines()), transferLog(siteFiles + posts));
    EXPECT_TRUE(sameFile(serverPath("www/index.html"), site() + "/index.html"));
    EXPECT_TRUE(queued().isEmpty());
}

// A post saved, then deleted before the send: it leaves the queue, and a
// file gone from disk meanwhile is dropped with a log line; neither stops
// the send or any later one.
TEST_F(FtpTab, APostSavedThenDeletedDoesNotBlockTheNextSend)
{
    generate();
    const QStringList siteFiles = queuedPages();
    action(w(), "actNEW")->trigger();
    setFieldText(w(), "edtNADPIS", "Soon gone");
    action(w(), "actSAVE")->trigger();
    ASSERT_EQ(queuedPosts().size(), 1);
    const QString saved = queuedPosts().first();
    // Selected in the tree: Delete, Yes.
    auto *postTree = control<QTreeWidget>(w(), "TreeView1");
    QTreeWidgetItem *node = findNode(postTree, saved.mid(saved.lastIndexOf('/') + 1));
    ASSERT_NE(node, nullptr);
    postTree->setCurrentItem(node);
    prompts().answers.push_back(Prompts::Answer::Yes);
    action(w(), "actDEL")->trigger();
    ASSERT_FALSE(QFile::exists(saved));
    EXPECT_TRUE(queuedPosts().isEmpty());
    // A page removed from the site by hand before the send.
    QFile::remove(siteFiles[1]);
    logView()->clear();

    pressSend();

    EXPECT_TRUE(errors().isEmpty()) << errors().join("|").toStdString();
    const QString gone = siteFiles[1].mid(siteFiles[1].lastIndexOf('/') + 1);
    EXPECT_EQ(logLines().first(), "Not sent: " + gone + " no longer exists");
    QStringList sent = siteFiles;
    sent.removeAt(1);
    EXPECT_EQ(sentLog(logLines().mid(1)), transferLog(sent));
    EXPECT_TRUE(queued().isEmpty());
    EXPECT_TRUE(filesBelow(serverPath("data")).empty());
}

TEST_F(FtpTab, ServerStoppedMidSendKeepsWhatWasNotSentAndTheNextSendCarriesOnlyThat)
{
    generate();
    const QStringList siteFiles = queuedPages();
    w().publishing().publisher().questions.noDataTimeoutMs = 10000; // a hang fails the test instead of stalling it
    // The server goes down when the second file starts.
    auto stopper = QObject::connect(control<QPlainTextEdit>(w(), "Memo2"), &QPlainTextEdit::textChanged, [this] {
        if (logLines().filter("Starting transfer of").size() == 2)
            server.kill();
    });
    pressSend();
    QObject::disconnect(stopper);
    ASSERT_EQ(errors().size(), 1);
    EXPECT_EQ(logLines().last(), "Starting transfer of " + siteFiles[1].mid(siteFiles[1].lastIndexOf('/') + 1));
    EXPECT_EQ(queued(), siteFiles.mid(1));
    EXPECT_TRUE(control<QPushButton>(w(), "btnSENDFTP")->isEnabled());

    // The same server again (its record is bound to its address and port).
    const QString port = QString::number(server.port());
    ASSERT_TRUE(server.start(serverRoot.path(), {"--port", port})) << server.error().toStdString();
    control<QPlainTextEdit>(w(), "Memo2")->clear();
    pressSend();
    EXPECT_EQ(errors().size(), 1) << errors().join("|").toStdString();
    EXPECT_EQ(sentLog(logLines()), transferLog(siteFiles.mid(1)));
    for (const QString &f : siteFiles)
        EXPECT_TRUE(sameFile(serverPath("www/" + QDir(site()).relativeFilePath(f)), f));
}

TEST_F(FtpTab, ASendCutShortIsFinishedAfterARestartWithOnlyWhatTheServerLacks)
{
    // A project whose server has nothing yet.
    QFile::remove(SendRecord::pathFor(projectFilePath("blog")));
    w().publishing().projectOpened();
    generate();
    const QStringList siteFiles = queuedPages();
    const QStringList posts = queuedPosts();
    ASSERT_EQ(posts.size(), 3) << "a project with no record sends every post once";

    w().publishing().publisher().questions.noDataTimeoutMs = 10000;
    auto stopper = QObject::connect(control<QPlainTextEdit>(w(), "Memo2"), &QPlainTextEdit::textChanged, [this] {
        if (logLines().filter("Starting transfer of").size() == 3)
            server.kill();
    });
    pressSend();
    QObject::disconnect(stopper);
    ASSERT_EQ(errors().size(), 1);
    EXPECT_EQ(queued(), siteFiles.mid(2) + posts);

    // The program starts again: the queue comes back from the record.
    fx.stop();
    const QString port = QString::number(server.port());
    ASSERT_TRUE(server.start(serverRoot.path(), {"--port", port})) << server.error().toStdString();
    MainWindow &again = fx.start();
    const auto items = control<QListWidget>(again, "lstPROJEKTY")->findItems("blog", Qt::MatchExactly);
    ASSERT_EQ(items.size(), 1);
    control<QListWidget>(again, "lstPROJEKTY")->setCurrentItem(items.first());
    EXPECT_EQ(queuedFiles(again), siteFiles.mid(2) + posts);

    setFieldText(again, "edtPASSWORD", "pw");
    control<QPlainTextEdit>(again, "Memo2")->clear();
    QTest::mouseClick(control<QPushButton>(again, "btnSENDFTP"), Qt::LeftButton);
    EXPECT_EQ(errors().size(), 0) << errors().join("|").toStdString();
    EXPECT_EQ(sentLog(logLines()), transferLog(siteFiles.mid(2) + posts));
    for (const QString &f : siteFiles)
        EXPECT_TRUE(sameFile(serverPath("www/" + QDir(site()).relativeFilePath(f)), f));
    EXPECT_TRUE(queuedFiles(again).isEmpty());
}

TEST_F(FtpTab, FtpsCertificateIsAskedOnceKeptInTheProjectAndAChangeWarns)
{
    QTemporaryDir certs;
    QString error;
    ASSERT_TRUE(makeSelfSignedCertificate(certs.path(), "one", &error)) << error.toStdString();
    ASSERT_TRUE(makeSelfSignedCertificate(certs.path(), "two", &error)) << error.toStdString();
    const auto tls = [&](const QString &name) {
        return QStringList{"--tls", certs.path() + "/" + name + ".pem",
                           certs.path() + "/" + name + ".key"};
    };
    server.stop();
    ASSERT_TRUE(server.start(serverRoot.path(), tls("one"))) << server.error().toStdString();
    setFieldText(w(), "edtPORT", QString::number(server.port()));
    control<QCheckBox>(w(), "chkFTPS")->setChecked(true);
    projectfile::save(projectFilePath("blog"), w().project().settings());
    generate();

    prompts().answers.push_back(Prompts::Answer::Yes);
    pressSend();
    ASSERT_TRUE(errors().isEmpty()) << errors().join("|").toStdString();
    ASSERT_EQ(prompts().shown.size(), 1u);
    EXPECT_EQ(prompts().shown[0].title, "Untrusted certificate");
    EXPECT_TRUE(prompts().shown[0].text.contains("CN=one"));
    const QString fingerprint = w().project().settings().server.trustedFingerprint;
    EXPECT_EQ(fingerprint.count(':'), 31) << fingerprint.toStdString();
    EXPECT_TRUE(prompts().shown[0].text.contains(fingerprint));
    EXPECT_EQ(QString::fromStdString(iniReadString(projectFilePath("blog").toStdString(), "TForm1",
                                                   "edtFINGERPRINT_Text", "")),
              fingerprint);
    EXPECT_TRUE(sameFile(serverPath("www/index.html"), site() + "/index.html"));

    // Accepted once: the next send does not ask.
    control<QPushButton>(w(), "btnWHOLESITE")->click();
    EXPECT_TRUE(errors().isEmpty()) << errors().join("|").toStdString();
    EXPECT_EQ(prompts().shown.size(), 1u);

    // Another certificate at that address asks again, with a warning; No stops.
    server.stop();
    ASSERT_TRUE(server.start(serverRoot.path(), tls("two"))) << server.error().toStdString();
    setFieldText(w(), "edtPORT", QString::number(server.port()));
    prompts().answers.push_back(Prompts::Answer::No);
    control<QPushButton>(w(), "btnWHOLESITE")->click();
    ASSERT_EQ(prompts().shown.size(), 3u); // the question, then the error
    EXPECT_EQ(prompts().shown[1].title, "Certificate changed");
    EXPECT_TRUE(prompts().shown[1].text.startsWith("WARNING"));
    EXPECT_EQ(errors().size(), 1);
    EXPECT_EQ(w().project().settings().server.trustedFingerprint, fingerprint);
    EXPECT_FALSE(w().statusText().startsWith("Sending")) << w().statusText().toStdString();
}
