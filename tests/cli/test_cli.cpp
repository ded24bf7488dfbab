// The command line run as a user's script would: the real executable as a
// process with no display, in a program folder of its own.
#include "keyringsession.h"
#include "pyftpserver.h"
#include "s3server.h"
#include "sshserver.h"
#include "testsupport.h"

#include "core/ini.h"
#include "core/programfiles.h"
#include "publish/ftpclient.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QSslCertificate>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <ctime>
#include <pwd.h>
#include <unistd.h>

using namespace tl;
using namespace tl::test;

namespace {

const QString kFixture = QStringLiteral(TL_TEST_DATA_DIR "/generator/fixture/");
const QString kExpected = QStringLiteral(TL_TEST_DATA_DIR "/generator/expected/br-windows-1250/");
// The stamp text the checked outputs carry for the program file's date.
const std::string kCheckedFileDate = "8.12.2025 15:00:00";
const char *const kPassword = "s3cret-Pa55";

struct Result {
    int status = -1;
    QString out, err;
};

// A program folder holding a copy of the executable, whose file date is
// fixed, and a project "blog" laid out below it.
class CommandLine : public ::testing::Test {
protected:
    void SetUp() override
    {
        // One hour east of UTC, for this process (the stamp it predicts) and
        // for the program it starts.
        qputenv("TZ", "UTC-1");
        tzset();
        root = dir.path() + "/";
        exe = root + "tarvlit";
        ASSERT_TRUE(QFile::copy(QStringLiteral(TL_TARVLIT_EXE), exe));
        QFile f(exe);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        ASSERT_TRUE(f.setFileTime(QDateTime(QDate(2025, 12, 8), QTime(15, 0)),
                                  QFileDevice::FileModificationTime));
        f.close();
        QDir().mkpath(root + "conf");
        QDir().mkpath(root + "site");
        QDir().mkpath(root + "data");
        for (const QString &n : QDir(kFixture + "data").entryList(QDir::Files))
            QFile::copy(kFixture + "data/" + n, root + "data/" + n);
    }

    // The project file as the window writes it, with these keys set.
    void writeProject(const std::vector<std::pair<std::string, std::string>> &keys = {})
    {
        const std::string t = (kFixture + "templates/").toStdString();
        const std::string r = root.toStdString();
        writeBytes(root + "conf/blog.tvp",
                   "[TForm1]\r\npathMAIN_Text=" + r + "site\r\npathDATA_Text=" + r
                       + "data\r\nfileTEMPLATE_Text=" + t + "template.htm\r\narchiveTEMPLATE_Text="
                       + t + "archtemp.htm\r\nedtRSSTEMPLATE_Text=" + t
                       + "template.rss\r\nedtTXTTEMPLATE_Text=" + t
                       + "template.txt\r\ndirPATHARCHIVES_Text=archiv/\r\nedtCOUNT_Text=5\r\n"
                         "edtMAINURI_Text=http://blog.example.com/\r\nedtAUTHOR_Text=Jan Nov\xE1k\r\n"
                         "edtEMAIL_Text=jan@example.com\r\n");
        for (const auto &[key, value] : keys)
            iniWriteString((root + "conf/blog.tvp").toStdString(), "TForm1", key, value);
    }

    // Runs the program with `password` in TARVLIT_FTP_PASSWORD (none when
    // null) and `input` on its standard input. No session bus is reachable
    // (the runtime folder is an empty one of the test's) unless `keyringEnv`
    // names one.
    Result run(const QStringList &args, const QString &password = QString(),
               const QByteArray &input = QByteArray())
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *v : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "TARVLIT_FTP_PASSWORD",
                              "DBUS_SESSION_BUS_ADDRESS", "XDG_RUNTIME_DIR"})
            env.remove(QString::fromLatin1(v));
        env.insert("SOURCE_DATE_EPOCH", "1796673900"); // 7 December 2026, 20:05 UTC
        env.insert("XDG_RUNTIME_DIR", root + "no-session");
        if (!password.isNull())
            env.insert("TARVLIT_FTP_PASSWORD", password);
        env.insert(keyringEnv);
        p.setProcessEnvironment(env);
        p.start(exe, args);
        p.write(input);
        p.closeWriteChannel();
        Result r;
        if (!p.waitForFinished(60000)) {
            p.kill();
            p.waitForFinished();
            return r;
        }
        r.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        r.out = QString::fromLocal8Bit(p.readAllStandardOutput());
        r.err = QString::fromLocal8Bit(p.readAllStandardError());
        return r;
    }

    QTemporaryDir dir;
    QString root, exe;
    QProcessEnvironment keyringEnv;
};

std::string replaced(std::string s, const std::string &from, const std::string &to)
{
    for (auto at = s.find(from); at != std::string::npos; at = s.find(from, at + to.size()))
        s.replace(at, from.size(), to);
    return s;
}

TEST_F(CommandLine, GenerateWritesTheCheckedSiteWithoutADisplay)
{
    writeProject();
    const Result r = run({"generate", "blog"});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_TRUE(r.err.startsWith("Read from list...\nCompleted.\nGenerating blog...\n"));
    EXPECT_TRUE(r.err.endsWith("Generating archive files...\nCompleted.\n"));

    const std::string fileDate = FileDateText(exe.toStdString());
    const auto site = filesBelow(root + "site");
    auto expected = filesBelow(kExpected);
    expected.erase("log.list");
    expected.erase("upload.list");
    ASSERT_EQ(site.size(), expected.size());
    for (const auto &[rel, bytes] : expected) {
        const auto it = site.find(rel);
        ASSERT_NE(it, site.end()) << rel.toStdString();
        EXPECT_EQ(it->second, replaced(bytes, kCheckedFileDate, fileDate)) << rel.toStdString();
    }
}

TEST_F(CommandLine, FailuresEndWithTheirStatusAndMessage)
{
    Result r = run({"generate", "nosuch"});
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(r.err.contains("Unknown project \"nosuch\"")) << r.err.toStdString();

    // A project is found by the name as the writer typed it too.
    writeProject();
    QFile::rename(root + "conf/blog.tvp", root + QString::fromUtf8("conf/Můj_blog.tvp"));
    r = run({"generate", QString::fromUtf8("Můj blog")});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    QFile::rename(root + QString::fromUtf8("conf/Můj_blog.tvp"), root + "conf/blog.tvp");
    QDir(root + "site").removeRecursively();
    QDir().mkpath(root + "site");

    r = run({"--data", "frobnicate", "blog"});
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(r.err.contains("Unknown command \"frobnicate\"")) << r.err.toStdString();

    // A template without its post block stops before anything is written.
    writeBytes(root + "broken.htm", "<html>no block</html>");
    writeProject({{"fileTEMPLATE_Text", root.toStdString() + "broken.htm"}});
    r = run({"generate", "blog"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains("broken.htm")) << r.err.toStdString();
    EXPECT_TRUE(QDir(root + "site").isEmpty());

    writeProject({{"pathDATA_Text", root.toStdString() + "gone"}});
    r = run({"generate", "blog"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains(root + "gone")) << r.err.toStdString();
}

TEST_F(CommandLine, HelpAndVersion)
{
    Result r = run({"--help"});
    EXPECT_EQ(r.status, 0);
    for (const char *word : {"generate PROJECT", "publish PROJECT", "fetch PROJECT", "--data",
                             "TARVLIT_FTP_PASSWORD"})
        EXPECT_TRUE(r.out.contains(word)) << word;
    // The names the shell completes.
    writeProject();
    writeBytes(root + "conf/Another.TVP", "");
    r = run({"projects"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "Another.TVP\nblog\n");
    r = run({"--version"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.trimmed(), "Tarvel Lite " + QString::fromStdString(
                                                    ProductVersionText(exe.toStdString())));
}

TEST_F(CommandLine, PicturePrintsTheTagQueuesTheCopiesAndLeavesNothingForABadFile)
{
    writeProject();
    QImage photo(2000, 1000, QImage::Format_RGB32);
    photo.fill(Qt::darkCyan);
    ASSERT_TRUE(photo.save(root + "Sea View.jpg", "JPEG"));
    Result r = run({"picture", "blog", root + "Sea View.jpg", "--alt", "The sea", "--post",
                    "1049328060.txt"});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, "<img src=\"media/2003/04/sea-view-800.jpg\" srcset=\"media/2003/04/"
                     "sea-view-800.jpg 800w, media/2003/04/sea-view-1600.jpg 1600w\" width=\"800\" "
                     "height=\"400\" alt=\"The sea\" />\n");
    EXPECT_EQ(QImage(root + "site/media/2003/04/sea-view-1600.jpg").size(), QSize(1600, 800));
    // Queued for the next publish.
    const std::string record = fileBytes(root + "conf/blog.sent");
    EXPECT_NE(record.find("site/media/2003/04/sea-view-800.jpg"), std::string::npos) << record;

    // A bad file among good ones: status 1, its message, no copy of either.
    writeBytes(root + "notes.jpg", "words, not pixels");
    const auto before = filesBelow(root + "site");
    r = run({"picture", "blog", root + "Sea View.jpg", root + "notes.jpg"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains("notes.jpg is not a picture")) << r.err.toStdString();
    EXPECT_TRUE(r.out.isEmpty());
    EXPECT_EQ(filesBelow(root + "site"), before);

    EXPECT_EQ(run({"generate", "blog", "--alt", "x"}).status, 2);
}

TEST_F(CommandLine, QtOptionsAndFilesOpenTheWindowRatherThanAUsageError)
{
    // No display at all: the window can start only if "-platform offscreen"
    // reaches Qt. The file argument is left over and named in a log line.
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *v : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QString::fromLatin1(v));
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(exe, {"-platform", "offscreen", root + "notes.txt"});
    ASSERT_TRUE(p.waitForStarted());
    QByteArray out;
    QDeadlineTimer deadline(30000);
    while (!out.contains("notes.txt") && p.state() == QProcess::Running && !deadline.hasExpired())
        if (p.waitForReadyRead(1000))
            out += p.readAll();
    EXPECT_TRUE(out.contains("ignored \"" + (root + "notes.txt").toLocal8Bit() + "\"")) << out.toStdString();
    // Still running: the window is up, waiting for the writer.
    EXPECT_FALSE(p.waitForFinished(1000));
    EXPECT_EQ(p.state(), QProcess::Running);
    p.kill();
    p.waitForFinished();
    out += p.readAll();
    EXPECT_FALSE(out.contains("Try \"tarvlit --help\"")) << out.toStdString();

    // The command line's own options still go there, also without a command.
    const Result r = run({"--dry-run"});
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(r.err.contains("No command given")) << r.err.toStdString();
}

class CommandLineFtp : public CommandLine {
protected:
    void SetUp() override
    {
        CommandLine::SetUp();
        QDir().mkpath(serverRoot.path() + "/www");
        QDir().mkpath(serverRoot.path() + "/data");
        if (!server.start(serverRoot.path(), {"--record", commandLog()}))
            GTEST_SKIP() << "pyftpdlib cannot start: " << server.error().toStdString();
        writeProject({{"edtFTPADDRESS_Text", "127.0.0.1"},
                      {"edtUSER_Text", "user"},
                      {"edtPORT_Text", std::to_string(server.port())},
                      {"rPATHMAIN_Text", "/www/"},
                      {"rDATAPATH_Text", "/data/"}});
    }

    // No file below the program folder and no output holds the password.
    void expectPasswordNowhere(const Result &r)
    {
        EXPECT_FALSE(r.out.contains(kPassword));
        EXPECT_FALSE(r.err.contains(kPassword));
        for (const auto &[rel, bytes] : filesBelow(root))
            EXPECT_EQ(bytes.find(kPassword), std::string::npos) << rel.toStdString();
    }

    QString commandLog() const { return dir.path() + "-commands.log"; }
    // The logins the server saw so far.
    int logins() const
    {
        const QString log = QString::fromStdString(fileBytes(commandLog()));
        return int(log.split('\n').filter(QRegularExpression("^USER ")).size());
    }
    // The files stored since the last call, by remote name: each is stored
    // under a temporary name and then renamed to its own.
    QStringList stored()
    {
        QStringList out;
        const QString log = QString::fromStdString(fileBytes(commandLog()));
        for (const QString &line : log.split('\n', Qt::SkipEmptyParts))
            if (line.startsWith("RNTO "))
                out << line.mid(5);
        QFile::remove(commandLog());
        return out;
    }

    QTemporaryDir serverRoot;
    PyFtpServer server;
};

TEST_F(CommandLineFtp, PublishSendsTheSiteAndPostsAndFetchBringsThePostsBack)
{
    // The posts wait, so the login runs while the site is generated, and
    // the send goes over that session.
    const Result sent = run({"publish", "blog", "--data"}, "pw");
    ASSERT_EQ(sent.status, 0) << sent.err.toStdString();
    EXPECT_TRUE(sent.err.contains("Sending index.html (1 of 13)")) << sent.err.toStdString();
    EXPECT_EQ(logins(), 1);
    EXPECT_EQ(filesBelow(serverRoot.path() + "/www"), filesBelow(root + "site"));
    EXPECT_EQ(filesBelow(serverRoot.path() + "/data"), filesBelow(root + "data"));

    // Another machine: an empty data folder fetches every post.
    const auto posts = filesBelow(root + "data");
    QDir(root + "data").removeRecursively();
    QDir().mkpath(root + "data");
    const Result fetched = run({"fetch", "blog"}, "pw");
    ASSERT_EQ(fetched.status, 0) << fetched.err.toStdString();
    EXPECT_EQ(filesBelow(root + "data"), posts);
}

TEST_F(CommandLineFtp, FetchNeverOverwritesAPostChangedHereAndSaysWhatItCouldNotDo)
{
    // No data folder: nothing connects, status 1.
    QDir(root + "data").rename(root + "data", root + "data-away");
    Result r = run({"fetch", "blog"}, "pw");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains("data folder")) << r.err.toStdString();
    EXPECT_EQ(fileBytes(commandLog()), "");
    QDir(root).rename("data-away", "data");

    ASSERT_EQ(run({"publish", "blog", "--data"}, "pw").status, 0);
    // Here one post is edited and not sent; there another machine changed it
    // too, and a post that is unchanged here.
    writeBytes(root + "data/1049373240.txt", "Edited here\r\nmine");
    writeBytes(serverRoot.path() + "/data/1049373240.txt", "Edited there\r\ntheirs");
    writeBytes(serverRoot.path() + "/data/1049414400.txt", "Newer there\r\nfine");
    writeBytes(serverRoot.path() + "/data/readme.txt", "not a post");
    r = run({"fetch", "blog"}, "pw");
    EXPECT_EQ(r.status, 3) << r.err.toStdString();
    EXPECT_EQ(fileBytes(root + "data/1049373240.txt"), "Edited here\r\nmine");
    EXPECT_EQ(fileBytes(root + "data/conflicts/1049373240.txt.server"), "Edited there\r\ntheirs");
    EXPECT_EQ(fileBytes(root + "data/1049414400.txt"), "Newer there\r\nfine");
    EXPECT_FALSE(QFileInfo::exists(root + "data/readme.txt"));
    EXPECT_TRUE(r.err.contains("Conflict: 1049373240.txt")) << r.err.toStdString();

    // A folder named like a post: skipped, the rest still come, status 1.
    QDir().mkpath(serverRoot.path() + "/data/1.txt");
    writeBytes(serverRoot.path() + "/data/1052000000.txt", "Also newer\r\nthere");
    r = run({"fetch", "blog"}, "pw");
    EXPECT_EQ(r.status, 1) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains("Skipped 1.txt")) << r.err.toStdString();
    EXPECT_EQ(fileBytes(root + "data/1052000000.txt"), "Also newer\r\nthere");
}

TEST_F(CommandLineFtp, WhatIsNoLongerPartOfTheSiteLeavesTheServerAndNothingElse)
{
    ASSERT_EQ(run({"publish", "blog", "--data"}, "pw").status, 0);
    writeBytes(serverRoot.path() + "/www/other.html", "put there by another tool");
    ASSERT_TRUE(QFile::exists(serverRoot.path() + "/www/archiv/2003-05_032213.html"));

    // The long post is deleted: its file, its page.
    QFile::remove(root + "data/1052000000.txt");
    Result r = run({"publish", "blog", "--dry-run"}, "pw");
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains("remove /data/1052000000.txt")) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("remove /www/archiv/2003-05_032213.html")) << r.out.toStdString();
    // Two of twelve files are more than a tenth of this small site: they
    // wait for the writer's yes.
    r = run({"publish", "blog"}, "pw");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains("--allow-deletes")) << r.err.toStdString();
    EXPECT_TRUE(QFile::exists(serverRoot.path() + "/data/1052000000.txt"));
    r = run({"publish", "blog", "--allow-deletes"}, "pw");
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_FALSE(QFile::exists(serverRoot.path() + "/data/1052000000.txt"));
    EXPECT_FALSE(QFile::exists(serverRoot.path() + "/www/archiv/2003-05_032213.html"));
    EXPECT_TRUE(QFile::exists(serverRoot.path() + "/www/other.html"));
    EXPECT_TRUE(QFile::exists(serverRoot.path() + "/www/archiv/2003-05.html"));
    EXPECT_EQ(fileBytes(root + "conf/blog.sent").find("1052000000.txt"), std::string::npos);
}

TEST_F(CommandLineFtp, AFreshServerGetsItsFoldersAndAnEmptiedServerGetsTheWholeSiteBack)
{
    writeProject({{"edtFTPADDRESS_Text", "127.0.0.1"},
                  {"edtUSER_Text", "user"},
                  {"edtPORT_Text", std::to_string(server.port())},
                  {"rPATHMAIN_Text", "/new/www"},
                  {"rDATAPATH_Text", "/new/data"}});
    Result r = run({"publish", "blog", "--data"}, "pw");
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(filesBelow(serverRoot.path() + "/new/www"), filesBelow(root + "site"));
    EXPECT_EQ(filesBelow(serverRoot.path() + "/new/data"), filesBelow(root + "data"));

    // No change, not even the feed: no connection at all.
    stored();
    r = run({"publish", "blog"});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains("Nothing to send")) << r.err.toStdString();
    EXPECT_EQ(fileBytes(commandLog()), "");

    // The server lost everything; one new post: the check before the send
    // finds the main page gone and the whole site goes again.
    QDir(serverRoot.path() + "/new").removeRecursively();
    writeBytes(root + "data/1052100000.txt", "New\r\npost");
    r = run({"publish", "blog"}, "pw");
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(filesBelow(serverRoot.path() + "/new/www"), filesBelow(root + "site"));
    EXPECT_EQ(filesBelow(serverRoot.path() + "/new/data"), filesBelow(root + "data"));
}

TEST_F(CommandLineFtp, AWrongPasswordFailsWithTheServersReplyAndIsNeverWritten)
{
    writeBytes(serverRoot.path() + "/www/index.html", "old");
    for (const QStringList &args : {QStringList{"publish", "blog"}, QStringList{"fetch", "blog"}}) {
        const Result r = run(args, kPassword);
        EXPECT_EQ(r.status, 1) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains("530")) << r.err.toStdString();
        expectPasswordNowhere(r);
    }
    EXPECT_EQ(fileBytes(serverRoot.path() + "/www/index.html"), "old");
    // The refused login ran during generation: the site is there all the
    // same, and nothing tried the password twice.
    EXPECT_TRUE(QFileInfo(root + "site/index.html").isFile());
    EXPECT_EQ(logins(), 2);

    // Without the variable and without a terminal there is nobody to ask.
    const Result r = run({"publish", "blog"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains("TARVLIT_FTP_PASSWORD")) << r.err.toStdString();
}

TEST_F(CommandLineFtp, APasswordKeptInTheKeyringPublishesWithoutTheVariableAndNoFileHoldsIt)
{
    // Without a keyring there is nothing to keep it in.
    Result r = run({"password", "blog"}, QString(), QByteArray(kPassword) + "\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains("no D-Bus session bus")) << r.err.toStdString();

    QTemporaryDir home;
    KeyringSession keyring;
    if (!keyring.start(home.path(), "keyring-pw"))
        GTEST_SKIP() << keyring.error().toStdString();
    keyring.addTo(keyringEnv);
    server.stop();
    ASSERT_TRUE(server.start(serverRoot.path(), {"--password", kPassword}));
    iniWriteString((root + "conf/blog.tvp").toStdString(), "TForm1", "edtPORT_Text",
                   std::to_string(server.port()));

    // Kept from standard input, as a scheduled job's set-up would.
    r = run({"password", "blog"}, QString(), QByteArray(kPassword) + "\n");
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains("kept in the keyring")) << r.err.toStdString();

    r = run({"publish", "blog"});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains("Using the password kept in the keyring for user@127.0.0.1"))
        << r.err.toStdString();
    EXPECT_EQ(filesBelow(serverRoot.path() + "/www"), filesBelow(root + "site"));

    // The keyring's own file is there, encrypted: no file of the home folder
    // or of the program folder holds the password as it was typed.
    EXPECT_TRUE(QFileInfo::exists(home.path() + "/.local/share/keyrings/login.keyring"));
    expectPasswordNowhere(r);
    for (const auto &[rel, bytes] : filesBelow(home.path()))
        EXPECT_EQ(bytes.find(kPassword), std::string::npos) << rel.toStdString();

    // Forgotten: the job has no password any more.
    r = run({"password", "blog", "--forget"});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains("removed from the keyring")) << r.err.toStdString();
    r = run({"publish", "blog", "--whole-site"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains("tarvlit password blog")) << r.err.toStdString();
}

TEST_F(CommandLineFtp, ASecondPublishSendsOnlyWhatChangedAndTheOptionsSayWhatElse)
{
    ASSERT_EQ(run({"publish", "blog", "--data"}, "pw").status, 0);
    EXPECT_EQ(stored().size(), 13);

    // Nothing changed: nothing goes.
    Result r = run({"publish", "blog"}, "pw");
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(stored(), QStringList());

    // One new short post in the newest month: the pages that show it and
    // the post itself.
    writeBytes(root + "data/1052100000.txt", "Nov\xFD\r\nKr\xE1tk\xFD text");
    r = run({"publish", "blog"}, "pw");
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(stored(), QStringList({"/www/index.html", "/www/rss.xml", "/www/text.htm",
                                     "/www/archiv/2003-05.html", "/data/1052100000.txt"}));
    EXPECT_EQ(filesBelow(serverRoot.path() + "/www"), filesBelow(root + "site"));

    // A dry run lists and connects to nothing; --whole-site takes every page.
    r = run({"publish", "blog", "--whole-site", "--dry-run"});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(r.out.count(" -> /www/"), 7) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains(root + "site/archiv/2003-04.html -> /www/archiv/2003-04.html"));
    EXPECT_EQ(fileBytes(commandLog()), "");
    r = run({"publish", "blog", "--whole-site"}, "pw");
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(stored().size(), 7);
}

TEST_F(CommandLineFtp, ASendThatFailedIsFinishedByTheNextOne)
{
    // The data prefix is read-only: the site goes, the posts are refused.
    iniWriteString((root + "conf/blog.tvp").toStdString(), "TForm1", "rDATAPATH_Text", "/ro/");
    QDir().mkpath(serverRoot.path() + "/ro");
    server.stop();
    ASSERT_TRUE(server.start(serverRoot.path(), {"--record", commandLog()}));
    iniWriteString((root + "conf/blog.tvp").toStdString(), "TForm1", "edtPORT_Text",
                   std::to_string(server.port()));
    Result r = run({"publish", "blog", "--data"}, "pw");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(stored().size(), 7); // seven pages, then the refused post

    iniWriteString((root + "conf/blog.tvp").toStdString(), "TForm1", "rDATAPATH_Text", "/data/");
    r = run({"publish", "blog"}, "pw");
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    const QStringList second = stored();
    EXPECT_EQ(second.size(), 6) << second.join(' ').toStdString();
    EXPECT_TRUE(second.filter("/www/").isEmpty());
}

TEST_F(CommandLineFtp, OverFtpsAnUntrustedCertificateIsRefusedUnlessItsFingerprintIsKept)
{
    QTemporaryDir certs;
    QString error;
    ASSERT_TRUE(makeSelfSignedCertificate(certs.path(), "blog", &error)) << error.toStdString();
    server.stop();
    ASSERT_TRUE(server.start(serverRoot.path(), {"--tls", certs.path() + "/blog.pem",
                                                 certs.path() + "/blog.key"}));
    const std::string project = (root + "conf/blog.tvp").toStdString();
    iniWriteString(project, "TForm1", "edtPORT_Text", std::to_string(server.port()));
    iniWriteString(project, "TForm1", "chkFTPS_Checked", "True");

    Result r = run({"publish", "blog"}, "pw");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains("certificate")) << r.err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(serverRoot.path() + "/www/index.html"));

    // The fingerprint the writer accepted in the window lets it through.
    const auto cert = QSslCertificate::fromPath(certs.path() + "/blog.pem");
    ASSERT_EQ(cert.size(), 1);
    iniWriteString(project, "TForm1", "edtFINGERPRINT_Text", FtpClient::Fingerprint(cert[0]));
    r = run({"publish", "blog"}, "pw");
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(filesBelow(serverRoot.path() + "/www"), filesBelow(root + "site"));
}

// The same commands over SFTP, against OpenSSH's sshd started for the test,
// with the writer's key and known_hosts in a home folder of the test's own.
class CommandLineSftp : public CommandLine {
protected:
    void SetUp() override
    {
        CommandLine::SetUp();
        server = std::make_unique<SshServer>(serverDir.path());
        if (!server->start())
            GTEST_SKIP() << "sshd cannot start: " << server->error().toStdString();
        savedHome = qgetenv("HOME");
        qputenv("HOME", home.path().toLocal8Bit());
        QDir().mkpath(home.path() + "/.ssh");
        QFile::copy(server->clientKeyPath(), knownPath("id_ed25519"));
        QFile::setPermissions(knownPath("id_ed25519"), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        const passwd *pw = getpwuid(getuid());
        writeProject({{"edtFTPADDRESS_Text", "127.0.0.1"},
                      {"edtUSER_Text", pw ? pw->pw_name : ""},
                      {"edtPORT_Text", std::to_string(server->port())},
                      {"chkSFTP_Checked", "True"},
                      {"rPATHMAIN_Text", (served.path() + "/www/").toStdString()},
                      {"rDATAPATH_Text", (served.path() + "/data/").toStdString()}});
        QDir().mkpath(served.path() + "/www");
        QDir().mkpath(served.path() + "/data");
    }
    void TearDown() override
    {
        if (!savedHome.isNull())
            qputenv("HOME", savedHome);
    }
    QString knownPath(const char *name) const { return home.path() + "/.ssh/" + name; }

    QTemporaryDir serverDir, home, served;
    std::unique_ptr<SshServer> server;
    QByteArray savedHome;
};

TEST_F(CommandLineSftp, PublishAndFetchOverSshWithTheHostKeyCheckedAsOpenSshDoes)
{
    // Not known yet: refused unless the writer says to record it.
    Result r = run({"publish", "blog", "--data"}, "");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains(server->hostKeyFingerprint())) << r.err.toStdString();
    EXPECT_TRUE(filesBelow(served.path()).empty());

    r = run({"publish", "blog", "--data", "--accept-new-host-key"}, "");
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_TRUE(QString::fromStdString(fileBytes(knownPath("known_hosts")))
                    .contains(QString("[127.0.0.1]:%1").arg(server->port())));
    EXPECT_EQ(filesBelow(served.path() + "/www"), filesBelow(root + "site"));
    EXPECT_EQ(filesBelow(served.path() + "/data"), filesBelow(root + "data"));

    // Another machine's empty data folder gets every post back; the key is
    // known now, so no option is needed.
    const auto posts = filesBelow(root + "data");
    QDir(root + "data").removeRecursively();
    QDir().mkpath(root + "data");
    r = run({"fetch", "blog"}, "");
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(filesBelow(root + "data"), posts);

    // A server whose key changed is refused, whatever the option says.
    const QString other = home.path() + "/other";
    ASSERT_EQ(runProgram("ssh-keygen", {"-q", "-t", "ed25519", "-N", "", "-f", other}), 0);
    const std::string changed = QString("[127.0.0.1]:%1 ").arg(server->port()).toStdString()
        + QString::fromStdString(fileBytes(other + ".pub")).trimmed().toStdString() + "\n";
    writeBytes(knownPath("known_hosts"), changed);
    r = run({"publish", "blog", "--whole-site", "--accept-new-host-key"}, "");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains("CHANGED")) << r.err.toStdString();
    EXPECT_EQ(fileBytes(knownPath("known_hosts")), changed);
}

// Publishing to a Git branch and to a bucket goes through the same command
// line: the site, and only the site, arrives byte for byte.
TEST_F(CommandLine, AGitBranchAndABucketGetExactlyTheLocalSite)
{
    QTemporaryDir remotes;
    const QString bare = remotes.path() + "/site.git";
    ASSERT_EQ(runProgram("git", {"init", "-q", "--bare", bare}), 0);
    writeProject({{"rgTARGET_ItemIndex", "1"},
                  {"edtGITURL_Text", ("file://" + bare).toStdString()},
                  {"rPATHMAIN_Text", "/"},
                  {"rDATAPATH_Text", ""}});
    Result r = run({"publish", "blog"});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    const QString clone = remotes.path() + "/clone";
    ASSERT_EQ(runProgram("git", {"clone", "-q", "-b", "gh-pages", bare, clone}), 0);
    QDir(clone + "/.git").removeRecursively();
    EXPECT_EQ(filesBelow(clone), filesBelow(root + "site"));

    // One new post: one more commit, with only the pages it changes.
    writeBytes(root + "data/1052100000.txt", "New\r\npost");
    ASSERT_EQ(run({"publish", "blog"}).status, 0);
    QByteArray log;
    ASSERT_EQ(runProgram("git", {"--git-dir", bare, "log", "--format=%s", "gh-pages"}, &log), 0);
    EXPECT_EQ(log.count('\n'), 2) << log.toStdString();
    QByteArray changed;
    runProgram("git", {"--git-dir", bare, "diff", "--name-only", "gh-pages~1", "gh-pages"}, &changed);
    EXPECT_EQ(QString::fromUtf8(changed).split('\n', Qt::SkipEmptyParts),
              QStringList({"archiv/2003-05.html", "index.html", "rss.xml", "text.htm"}));

    // The same site to a bucket.
    S3Server s3(remotes.path() + "/s3");
    if (!s3.start({"blog"}))
        GTEST_SKIP() << "s3rver cannot start: " << s3.error().toStdString();
    writeProject({{"rgTARGET_ItemIndex", "2"},
                  {"edtS3ENDPOINT_Text", s3.endpoint().toStdString()},
                  {"edtS3BUCKET_Text", "blog"},
                  {"edtS3KEYID_Text", S3Server::kAccessKeyId},
                  {"rPATHMAIN_Text", "/www/"},
                  {"rDATAPATH_Text", "/posts/"}});
    qputenv("TARVLIT_S3_SECRET", S3Server::kSecret);
    r = run({"publish", "blog"});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    // Every file stored is recorded, however the requests finished: the
    // next publish finds nothing to send.
    r = run({"publish", "blog"});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_TRUE(r.err.endsWith("Nothing to send\n")) << r.err.toStdString();
    QDir(root + "data-back").removeRecursively();
    QDir().mkpath(root + "data-back");
    // Fetch reads the posts back into another data folder.
    writeProject({{"rgTARGET_ItemIndex", "2"},
                  {"edtS3ENDPOINT_Text", s3.endpoint().toStdString()},
                  {"edtS3BUCKET_Text", "blog"},
                  {"edtS3KEYID_Text", S3Server::kAccessKeyId},
                  {"rPATHMAIN_Text", "/www/"},
                  {"rDATAPATH_Text", "/posts/"},
                  {"pathDATA_Text", (root + "data-back").toStdString()}});
    r = run({"fetch", "blog"});
    qunsetenv("TARVLIT_S3_SECRET");
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(filesBelow(root + "data-back"), filesBelow(root + "data"));
}

} // namespace
