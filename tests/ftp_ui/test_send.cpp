// "Send to FTP": which file goes where, and what a failure leaves behind.
#include "ftpuifixture.h"

#include "ui/widgets.h"
#include "ui/publish/publishstate.h"
#include "ui/posteditor.h"
#include "publish/ftpclient.h"
#include "core/ini.h"
#include "core/projectfile.h"
#include "core/projects.h"
#include <QTemporaryDir>
#include <QTest>

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
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
    const QStringList siteFiles = entries(w().lstFILESFTP);
    // A post saved in the editor queues itself.
    w().actNEW->trigger();
    w().edtNADPIS->setText("Saved now");
    w().memoOBSAH->setPlainText("Typed body");
    w().actSAVE->trigger();
    ASSERT_TRUE(errors().isEmpty()) << errors().join("|").toStdString();
    ASSERT_EQ(w().lstDATAFTP->count(), 1);
    w().lstDATAFTP->addItem(data() + "/1700000000.txt");
    const QStringList dataFiles = entries(w().lstDATAFTP);
    w().Memo2->clear();

    pressSend();

    ASSERT_TRUE(errors().isEmpty()) << errors().join("|").toStdString();
    EXPECT_EQ(sentLog(logLines()), transferLog(siteFiles + dataFiles));
    EXPECT_TRUE(logLines().last().startsWith("Sent 7 files (")) << logLines().last().toStdString();
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

    EXPECT_EQ(w().lstFILESFTP->count(), 0);
    EXPECT_EQ(w().lstDATAFTP->count(), 0);
}

TEST_F(FtpTab, ARemoteFolderTypedWithoutItsSlashIsStillAFolder)
{
    generate();
    w().rPATHMAIN->setText("/www");
    w().rDATAPATH->setText("/data");
    w().lstDATAFTP->addItem(data() + "/1702000000.txt");
    const QStringList siteFiles = entries(w().lstFILESFTP);

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
    w().lstDATAFTP->addItem(data() + "/1700000000.txt");
    for (const QString &port : {QString(), QStringLiteral("abc"), QStringLiteral("21 21")}) {
        prompts().shown.clear();
        w().edtPORT->setText(port);
        pressSend();
        EXPECT_EQ(errors(), QStringList{"'" + port + "' is not a valid integer value"});
        EXPECT_TRUE(logLines().isEmpty());
        EXPECT_EQ(w().lstDATAFTP->count(), 1);
    }
}

TEST_F(FtpTab, WrongPasswordShowsTheServerReplyAndKeepsEverythingQueued)
{
    generate();
    const QStringList siteFiles = entries(w().lstFILESFTP);
    w().edtPASSWORD->setText("wrong");
    pressSend();
    ASSERT_EQ(errors().size(), 1);
    EXPECT_TRUE(errors()[0].startsWith("The server 127.0.0.1 refused the login of user \"user\": 530"))
        << errors()[0].toStdString();
    EXPECT_TRUE(logLines().isEmpty());
    EXPECT_EQ(entries(w().lstFILESFTP), siteFiles);
    // The commands held during the attempt are back.
    EXPECT_TRUE(w().btnSENDFTP->isEnabled());
    EXPECT_TRUE(w().actGENERATE->isEnabled());

    w().edtPASSWORD->setText("pw");
    pressSend();
    EXPECT_EQ(errors().size(), 1);
    EXPECT_EQ(sentLog(logLines()), transferLog(siteFiles));
    EXPECT_EQ(w().lstFILESFTP->count(), 0);
}

TEST_F(FtpTab, ARefusedFolderStopsTheSendAndTheNextSendStartsFromTheTop)
{
    generate();
    const QStringList siteFiles = entries(w().lstFILESFTP);
    w().lstDATAFTP->addItem(data() + "/1700000000.txt");
    w().rPATHMAIN->setText("/ro/");
    pressSend();
    ASSERT_EQ(errors().size(), 1);
    EXPECT_TRUE(errors()[0].startsWith("Cannot create remote folder /ro/archive: 550"))
        << errors()[0].toStdString();
    EXPECT_TRUE(logLines().isEmpty()) << logLines().join("|").toStdString();
    EXPECT_EQ(entries(w().lstFILESFTP), siteFiles);
    EXPECT_EQ(w().lstDATAFTP->count(), 1);
    EXPECT_TRUE(filesBelow(serverPath("ro")).empty());

    // The next send logs in again, with the settings as they are now.
    w().Memo2->clear();
    w().rPATHMAIN->setText("/www/");
    pressSend();
    EXPECT_EQ(errors().size(), 1);
    EXPECT_EQ(sentLog(logLines()), transferLog(siteFiles + QStringList{data() + "/1700000000.txt"}));
    EXPECT_TRUE(sameFile(serverPath("www/index.html"), site() + "/index.html"));
    EXPECT_EQ(w().lstFILESFTP->count(), 0);
}

TEST_F(FtpTab, MissingLocalFileStopsTheSendWithItsPathAndOnlyTheSentFileLeavesTheList)
{
    generate();
    const QString gone = site() + "/gone.html";
    w().lstFILESFTP->insertItem(1, gone);
    const QStringList siteFiles = entries(w().lstFILESFTP);
    pressSend();
    EXPECT_EQ(errors(), QStringList{"Cannot open file " + gone});
    EXPECT_EQ(logLines(), transferLog({siteFiles[0]}) + QStringList{"Starting transfer of gone.html"});
    EXPECT_EQ(entries(w().lstFILESFTP), siteFiles.mid(1));
}

TEST_F(FtpTab, ServerStoppedMidSendKeepsWhatWasNotSentAndTheNextSendCarriesOnlyThat)
{
    generate();
    const QStringList siteFiles = entries(w().lstFILESFTP);
    w().publish->publisher->questions.noDataTimeoutMs = 10000; // a hang fails the test instead of stalling it
    // The server goes down when the second file starts.
    auto stopper = QObject::connect(w().Memo2, &QPlainTextEdit::textChanged, [this] {
        if (logLines().filter("Starting transfer of").size() == 2)
            server.kill();
    });
    pressSend();
    QObject::disconnect(stopper);
    ASSERT_EQ(errors().size(), 1);
    EXPECT_EQ(logLines().last(), "Starting transfer of " + siteFiles[1].mid(siteFiles[1].lastIndexOf('/') + 1));
    EXPECT_EQ(entries(w().lstFILESFTP), siteFiles.mid(1));
    EXPECT_TRUE(w().btnSENDFTP->isEnabled());

    ASSERT_TRUE(server.start(serverRoot.path())) << server.error().toStdString();
    w().edtPORT->setText(QString::number(server.port()));
    w().Memo2->clear();
    pressSend();
    EXPECT_EQ(errors().size(), 1) << errors().join("|").toStdString();
    EXPECT_EQ(sentLog(logLines()), transferLog(siteFiles.mid(1)));
    for (const QString &f : siteFiles)
        EXPECT_TRUE(sameFile(serverPath("www/" + QDir(site()).relativeFilePath(f)), f));
}

TEST_F(FtpTab, ASendCutShortIsFinishedAfterARestartWithOnlyWhatTheServerLacks)
{
    // A project with a file, so that its record lives beside it.
    projectfile::save(projectFilePath("blog"), w().projectFromFields());
    w().loadSendQueue();
    generate();
    const QStringList siteFiles = entries(w().lstFILESFTP);
    const QStringList posts = entries(w().lstDATAFTP);
    ASSERT_EQ(posts.size(), 3) << "a project with no record sends every post once";

    w().publish->publisher->questions.noDataTimeoutMs = 10000;
    auto stopper = QObject::connect(w().Memo2, &QPlainTextEdit::textChanged, [this] {
        if (logLines().filter("Starting transfer of").size() == 3)
            server.kill();
    });
    pressSend();
    QObject::disconnect(stopper);
    ASSERT_EQ(errors().size(), 1);
    EXPECT_EQ(entries(w().lstFILESFTP), siteFiles.mid(2));

    // The program starts again: the queue comes back from the record.
    fx.stop();
    ASSERT_TRUE(server.start(serverRoot.path())) << server.error().toStdString();
    iniWriteString(projectFilePath("blog").toStdString(), "TForm1", "edtPORT_Text",
                   std::to_string(server.port()));
    MainWindow &again = fx.start();
    const auto items = again.lstPROJEKTY->findItems("blog", Qt::MatchExactly);
    ASSERT_EQ(items.size(), 1);
    again.lstPROJEKTY->setCurrentItem(items.first());
    EXPECT_EQ(entries(again.lstFILESFTP), siteFiles.mid(2));
    EXPECT_EQ(entries(again.lstDATAFTP), posts);

    again.edtPASSWORD->setText("pw");
    again.Memo2->clear();
    QTest::mouseClick(again.btnSENDFTP, Qt::LeftButton);
    EXPECT_EQ(errors().size(), 0) << errors().join("|").toStdString();
    EXPECT_EQ(sentLog(logLines()), transferLog(siteFiles.mid(2) + posts));
    for (const QString &f : siteFiles)
        EXPECT_TRUE(sameFile(serverPath("www/" + QDir(site()).relativeFilePath(f)), f));
    EXPECT_EQ(again.lstFILESFTP->count() + again.lstDATAFTP->count(), 0);
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
    w().edtPORT->setText(QString::number(server.port()));
    w().chkFTPS->setChecked(true);
    projectfile::save(projectFilePath("blog"), w().projectFromFields());
    generate();

    prompts().answers.push_back(Prompts::Answer::Yes);
    pressSend();
    ASSERT_TRUE(errors().isEmpty()) << errors().join("|").toStdString();
    ASSERT_EQ(prompts().shown.size(), 1u);
    EXPECT_EQ(prompts().shown[0].title, "Untrusted certificate");
    EXPECT_TRUE(prompts().shown[0].text.contains("CN=one"));
    const QString fingerprint = w().edtFINGERPRINT->text();
    EXPECT_EQ(fingerprint.count(':'), 31) << fingerprint.toStdString();
    EXPECT_TRUE(prompts().shown[0].text.contains(fingerprint));
    EXPECT_EQ(QString::fromStdString(iniReadString(projectFilePath("blog").toStdString(), "TForm1",
                                                   "edtFINGERPRINT_Text", "")),
              fingerprint);
    EXPECT_TRUE(sameFile(serverPath("www/index.html"), site() + "/index.html"));

    // Accepted once: the next send does not ask.
    w().btnWHOLESITE->click();
    EXPECT_TRUE(errors().isEmpty()) << errors().join("|").toStdString();
    EXPECT_EQ(prompts().shown.size(), 1u);

    // Another certificate at that address asks again, with a warning; No stops.
    server.stop();
    ASSERT_TRUE(server.start(serverRoot.path(), tls("two"))) << server.error().toStdString();
    w().edtPORT->setText(QString::number(server.port()));
    prompts().answers.push_back(Prompts::Answer::No);
    w().btnWHOLESITE->click();
    ASSERT_EQ(prompts().shown.size(), 3u); // the question, then the error
    EXPECT_EQ(prompts().shown[1].title, "Certificate changed");
    EXPECT_TRUE(prompts().shown[1].text.startsWith("WARNING"));
    EXPECT_EQ(errors().size(), 1);
    EXPECT_EQ(w().edtFINGERPRINT->text(), fingerprint);
    EXPECT_FALSE(w().statusText().startsWith("Sending")) << w().statusText().toStdString();
}
