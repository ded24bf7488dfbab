// The SFTP client against OpenSSH's sshd on a free loopback port, with its
// own host key, client key and configuration in a temporary folder. The
// client's HOME is a temporary folder too, so ~/.ssh is the test's own.
#include "publish/sftpclient.h"
#include "publish/wholeupload.h"
#include "sshserver.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QThread>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <ctime>
#include <gtest/gtest.h>
#include <memory>
#include <numeric>
#include <pwd.h>
#include <unistd.h>

using namespace tl;
using namespace tl::test;

namespace {

struct Outcome {
    std::string kind;
    std::string message;
};

Outcome outcomeOf(const std::function<void()> &work)
{
    try {
        work();
        return {};
    } catch (const EAbortError &e) {
        return { "EAbortError", e.what() };
    } catch (const SshHostKeyError &e) {
        return { "SshHostKeyError", e.what() };
    } catch (const SshAuthError &e) {
        return { "SshAuthError", e.what() };
    } catch (const ESockError &e) {
        return { "ESockError", e.what() };
    } catch (const SftpError &e) {
        return { "SftpError", e.what() };
    } catch (const AppError &e) {
        return { "AppError", e.what() };
    }
}

QByteArray patternBytes(qsizetype size, unsigned seed)
{
    QByteArray out(size, Qt::Uninitialized);
    quint32 x = seed * 2654435761u + 12345u;
    for (qsizetype i = 0; i < size; ++i) {
        x = x * 1664525u + 1013904223u;
        out[i] = char(x >> 24);
    }
    return out;
}

QByteArray readBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
    f.write(bytes);
}

// Every entry of a folder, hidden ones included, sorted.
QStringList entries(const QString &dir)
{
    return QDir(dir).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

double cpuSeconds()
{
    timespec t {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

int openFileCount()
{
    return int(QDir("/proc/self/fd")
                   .entryList(QDir::NoDotAndDotDot | QDir::System | QDir::Files | QDir::AllEntries)
                   .size());
}

class Sftp : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_savedHome = qgetenv("HOME");
        s_dir = new QTemporaryDir;
        s_server = new SshServer(s_dir->path());
        s_started = s_server->start();
    }

    static void TearDownTestSuite()
    {
        delete s_server;
        delete s_dir;
        s_server = nullptr;
        s_dir = nullptr;
        qputenv("HOME", s_savedHome);
    }

    void SetUp() override
    {
        ASSERT_TRUE(s_started) << "sshd did not start: " << s_server->error().toStdString();
        ASSERT_TRUE(home.isValid() && served.isValid() && local.isValid());
        qputenv("HOME", home.path().toLocal8Bit());
        ASSERT_TRUE(QDir().mkpath(home.path() + "/.ssh"));
        ASSERT_TRUE(QFile::copy(s_server->clientKeyPath(), sshPath("id_ed25519")));
        QFile::setPermissions(
            sshPath("id_ed25519"), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        writeBytes(sshPath("known_hosts"), s_server->knownHostsLine().toLatin1() + "\n");
        client = makeClient(s_server->port());
    }

    void TearDown() override
    {
        if (client)
            client->Disconnect();
        client.reset();
    }

    std::unique_ptr<SftpClient> makeClient(quint16 port)
    {
        auto c = std::make_unique<SftpClient>();
        c->Host = "127.0.0.1";
        c->Port = port;
        c->UserID = currentUser();
        c->NoDataTimeOut = 20000;
        c->OnLog = [this](const std::string &line) { logLines.push_back(line); };
        return c;
    }

    static std::string currentUser()
    {
        const passwd *pw = getpwuid(getuid());
        return pw ? pw->pw_name : "";
    }

    QString sshPath(const char *name) const { return home.path() + "/.ssh/" + name; }
    // A path on the server (it runs on this machine, so it is also a local path).
    std::string remote(const QString &rel) const
    {
        return (served.path() + "/" + rel).toStdString();
    }
    QString servedPath(const QString &rel) const { return served.path() + "/" + rel; }
    std::string localFile(const QString &rel) const
    {
        return (local.path() + "/" + rel).toStdString();
    }

    static QByteArray s_savedHome;
    static QTemporaryDir *s_dir;
    static SshServer *s_server;
    static bool s_started;

    QTemporaryDir home; // the client's HOME
    QTemporaryDir served; // where the server's files go
    QTemporaryDir local; // the client's local files
    std::unique_ptr<SftpClient> client;
    std::vector<std::string> logLines;
};

QByteArray Sftp::s_savedHome;
QTemporaryDir *Sftp::s_dir = nullptr;
SshServer *Sftp::s_server = nullptr;
bool Sftp::s_started = false;

TEST_F(Sftp, FilesSurviveUploadIntoNewFoldersAndDownloadByteForByte)
{
    // The post's bytes with the zero byte inside: the length is the array's
    // (a count written by hand read past the end of the text).
    static const char post[] = "Title \x9a\xe8\r\nline one\r\n\r\n\x00 zero\rlast";
    const std::vector<std::pair<QString, QByteArray>> files = {
        { "binary.bin", patternBytes(70000, 1) },
        { "post.txt", QByteArray(post, sizeof post - 1) },
        { "empty.txt", QByteArray() },
        { "big.bin", patternBytes(1300000, 7) },
    };
    ASSERT_TRUE(QDir().mkpath(local.path() + "/up"));
    for (const auto &[name, bytes] : files)
        writeBytes(local.path() + "/up/" + name, bytes);

    ASSERT_EQ(outcomeOf([&] { client->Connect(); }).kind, "");
    EXPECT_TRUE(std::any_of(logLines.begin(), logLines.end(), [](const std::string &l) {
        return l.find("Logged in with the key") != std::string::npos;
    }));
    ASSERT_EQ(outcomeOf([&] { client->MakeFolders(remote("www/a/b")); }).kind, "");
    ASSERT_EQ(outcomeOf([&] { client->MakeFolders(remote("www/a/b")); }).kind, "") << "existing";
    ASSERT_EQ(outcomeOf([&] { client->MakeFolders(remote("www/a/c/")); }).kind, "") << "sibling";
    EXPECT_TRUE(QDir(servedPath("www/a/c")).exists());

    std::vector<std::pair<qint64, qint64>> progress;
    client->OnProgress = [&](qint64 done, qint64 total) { progress.emplace_back(done, total); };
    for (const auto &[name, bytes] : files) {
        progress.clear();
        // A lambda may not capture a structured binding in clang 14 (the
        // sanitizer build): it takes a plain reference.
        const QString &file = name;
        const Outcome o = outcomeOf(
            [&] { client->UploadWhole(localFile("up/" + file), remote("www/a/b/" + file)); });
        ASSERT_EQ(o.kind, "") << o.message;
        if (name == "big.bin") {
            // Acknowledgements may come in batches on a busy machine: at
            // least one step before the end, never backwards.
            ASSERT_GE(progress.size(), 2u);
            EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
            EXPECT_EQ(progress.back(), std::make_pair(qint64(1300000), qint64(1300000)));
        }
    }
    writeBytes(servedPath("www/a/b/.hidden"), "x");

    std::vector<std::string> names;
    ASSERT_EQ(outcomeOf([&] { names = client->ListNames(remote("www/a/b")); }).kind, "");
    std::sort(names.begin(), names.end());
    EXPECT_EQ(
        names, (std::vector<std::string> { "big.bin", "binary.bin", "empty.txt", "post.txt" }));

    ASSERT_TRUE(QDir().mkpath(local.path() + "/down"));
    for (const std::string &name : names) {
        progress.clear();
        const Outcome o = outcomeOf([&] {
            client->Download(remote("www/a/b/" + QString::fromStdString(name)),
                localFile("down/" + QString::fromStdString(name)));
        });
        ASSERT_EQ(o.kind, "") << o.message;
        if (name == "big.bin") {
            ASSERT_FALSE(progress.empty());
            EXPECT_EQ(progress.back(), std::make_pair(qint64(1300000), qint64(1300000)));
        }
    }
    for (const auto &[name, bytes] : files)
        EXPECT_EQ(readBytes(local.path() + "/down/" + name), bytes) << name.toStdString();
    // No temporary file is left on either side.
    EXPECT_EQ(entries(servedPath("www/a/b")),
        QStringList({ ".hidden", "big.bin", "binary.bin", "empty.txt", "post.txt" }));
    EXPECT_EQ(entries(local.path() + "/down"),
        QStringList({ "big.bin", "binary.bin", "empty.txt", "post.txt" }));
}

TEST_F(Sftp, UploadReplacesAnExistingFileWithAndWithoutPosixRename)
{
    ASSERT_EQ(outcomeOf([&] { client->Connect(); }).kind, "");
    EXPECT_TRUE(client->ServerHasPosixRename());
    writeBytes(local.path() + "/old", "old content");
    writeBytes(local.path() + "/new", patternBytes(100000, 3));
    for (bool posix : { true, false }) {
        client->UsePosixRename = posix;
        const std::string target = remote(posix ? "posix.html" : "plain.html");
        ASSERT_EQ(outcomeOf([&] { client->UploadWhole(localFile("old"), target); }).kind, "");
        const Outcome o = outcomeOf([&] { client->UploadWhole(localFile("new"), target); });
        ASSERT_EQ(o.kind, "") << o.message;
        EXPECT_EQ(readBytes(QString::fromStdString(target)), patternBytes(100000, 3))
            << "posix rename " << posix;
    }
    EXPECT_EQ(entries(served.path()), QStringList({ "plain.html", "posix.html" }));
}

TEST_F(Sftp, RefusedRequestsNameWhatFailedAndLeaveLocalFilesAlone)
{
    ASSERT_EQ(outcomeOf([&] { client->Connect(); }).kind, "");
    writeBytes(local.path() + "/keep.txt", "keep me");
    Outcome o = outcomeOf([&] { client->Download(remote("missing.txt"), localFile("keep.txt")); });
    EXPECT_EQ(o.kind, "SftpError");
    EXPECT_EQ(o.message, "Cannot open remote file " + remote("missing.txt") + ": No such file");
    EXPECT_EQ(readBytes(local.path() + "/keep.txt"), "keep me");
    EXPECT_EQ(entries(local.path()), QStringList({ "keep.txt" }));

    o = outcomeOf([&] { client->UploadWhole(localFile("nothere.txt"), remote("x.txt")); });
    EXPECT_EQ(o.kind, "AppError");
    EXPECT_EQ(o.message, "Cannot open file " + localFile("nothere.txt"));

    writeBytes(servedPath("afile"), "f");
    o = outcomeOf([&] { client->MakeFolders(remote("afile/sub")); });
    EXPECT_EQ(o.kind, "SftpError");
    EXPECT_EQ(o.message.rfind("Cannot create remote folder " + remote("afile/sub"), 0), 0u)
        << o.message;

    o = outcomeOf([&] { client->UploadWhole(localFile("keep.txt"), remote("nofolder/x.txt")); });
    EXPECT_EQ(o.kind, "SftpError");
    EXPECT_EQ(o.message,
        "Cannot create remote file " + remote("nofolder/.x.txt.part") + ": No such file");
    // The connection is still good after refusals.
    std::vector<std::string> names;
    EXPECT_EQ(outcomeOf([&] { names = client->ListNames(remote("")); }).kind, "");
    EXPECT_EQ(names, std::vector<std::string> { "afile" });
}

TEST_F(Sftp, PasswordLogsInAndAWrongOneIsRefused)
{
    QString why;
    const QString password = SshServer::preparePasswordUser(&why);
    if (password.isEmpty())
        GTEST_SKIP() << why.toStdString();
    struct Lock {
        ~Lock() { SshServer::lockPasswordUser(); }
    } lock;
    // A folder the account may write in, inside the test's folder.
    const passwd *pw = getpwnam(SshServer::kPasswordUser);
    ASSERT_NE(pw, nullptr);
    QFile::setPermissions(served.path(),
        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
            | QFileDevice::ExeGroup | QFileDevice::ExeOther);
    ASSERT_TRUE(QDir().mkpath(servedPath("pw")));
    ASSERT_EQ(::chown(QFile::encodeName(servedPath("pw")).constData(), pw->pw_uid, pw->pw_gid), 0);
    QFile::remove(sshPath("id_ed25519")); // no key to fall back on

    client->UserID = SshServer::kPasswordUser;
    client->Password = (password + "x").toStdString();
    Outcome o = outcomeOf([&] { client->Connect(); });
    EXPECT_EQ(o.kind, "SshAuthError");
    EXPECT_EQ(o.message,
        std::string("Authentication failed: the server refused the password for user ")
            + SshServer::kPasswordUser + " on [127.0.0.1]:" + std::to_string(s_server->port()));
    EXPECT_FALSE(client->Connected());

    client->Password = password.toStdString();
    o = outcomeOf([&] { client->Connect(); });
    ASSERT_EQ(o.kind, "") << o.message;
    writeBytes(local.path() + "/p.txt", "by password");
    ASSERT_EQ(
        outcomeOf([&] { client->UploadWhole(localFile("p.txt"), remote("pw/p.txt")); }).kind, "");
    EXPECT_EQ(readBytes(servedPath("pw/p.txt")), "by password");
}

TEST_F(Sftp, AnAliasOfTheSshConfigReachesTheServerAndTypedValuesWin)
{
    // The accepted key only under a name the default keys do not have, so
    // only the config's IdentityFile can find it.
    ASSERT_TRUE(QFile::rename(sshPath("id_ed25519"), sshPath("blog_key")));
    const std::string port = std::to_string(s_server->port());
    writeBytes(sshPath("config"),
        QByteArray::fromStdString("# The writer's hosts\n"
                                  "Host myblog blog2\n"
                                  "    HostName 127.0.0.1\n"
                                  "    Port " + port + "\n"
                                  "    User " + currentUser() + "\n"
                                  "    IdentityFile ~/.ssh/blog_key\n"
                                  "\n"
                                  "Host *\n"
                                  "    Port 1\n"
                                  "    User nobody-here\n"));
    client->Host = "myblog";
    client->Port = 0;
    client->UserID.clear();
    ASSERT_EQ(outcomeOf([&] { client->Connect(); }).message, "");
    EXPECT_NE(std::find(logLines.begin(), logLines.end(),
                  "Logged in with the key " + sshPath("blog_key").toStdString()),
        logLines.end());
    writeBytes(local.path() + "/a.txt", "by alias");
    ASSERT_EQ(
        outcomeOf([&] { client->UploadWhole(localFile("a.txt"), remote("a.txt")); }).message, "");
    EXPECT_EQ(readBytes(servedPath("a.txt")), "by alias");
    client->Disconnect();

    // A port and a user typed in the project win over the config's.
    writeBytes(sshPath("config"),
        "Host myblog\n    HostName 127.0.0.1\n    Port 1\n    User nobody-here\n"
        "    IdentityFile ~/.ssh/blog_key\n");
    EXPECT_EQ(outcomeOf([&] { client->Connect(); }).kind, "ESockError") << "config's port 1";
    client->Port = s_server->port();
    EXPECT_EQ(outcomeOf([&] { client->Connect(); }).kind, "SshAuthError") << "config's user";
    client->UserID = currentUser();
    EXPECT_EQ(outcomeOf([&] { client->Connect(); }).message, "");
    EXPECT_TRUE(client->Connected());
}

TEST_F(Sftp, AProxyCommandOfTheSshConfigCarriesTheConnection)
{
    // A hop through the server itself with OpenSSH's "ssh -W", as a
    // ProxyJump makes it, kept to the test's own key and known_hosts.
    const std::string port = std::to_string(s_server->port());
    writeBytes(sshPath("config"),
        QByteArray::fromStdString("Host hop\n    HostName 127.0.0.1\n    Port " + port
            + "\n    ProxyCommand ssh -F /dev/null -o BatchMode=yes -o UserKnownHostsFile="
            + sshPath("known_hosts").toStdString() + " -i " + sshPath("id_ed25519").toStdString()
            + " -l " + currentUser() + " -p %p -W %h:%p %h\n"));
    client->Host = "hop";
    client->Port = 0;
    const int filesBefore = openFileCount();
    ASSERT_EQ(outcomeOf([&] { client->Connect(); }).message, "");
    EXPECT_TRUE(std::any_of(logLines.begin(), logLines.end(), [](const std::string &l) {
        return l.rfind("Connecting through: ssh -F /dev/null", 0) == 0;
    }));
    writeBytes(local.path() + "/h.txt", "through the hop");
    ASSERT_EQ(
        outcomeOf([&] { client->UploadWhole(localFile("h.txt"), remote("h.txt")); }).message, "");
    EXPECT_EQ(readBytes(servedPath("h.txt")), "through the hop");
    client->Disconnect();
    EXPECT_EQ(openFileCount(), filesBefore);
}

TEST_F(Sftp, WithoutPasswordAndWithoutAnAcceptedKeyTheLoginFails)
{
    QFile::remove(sshPath("id_ed25519"));
    Outcome o = outcomeOf([&] { client->Connect(); });
    EXPECT_EQ(o.kind, "SshAuthError");
    EXPECT_NE(o.message.find("accepted no key"), std::string::npos) << o.message;

    // A key the server does not know is offered and refused.
    ASSERT_EQ(
        runProgram("ssh-keygen", { "-q", "-t", "ed25519", "-N", "", "-f", sshPath("id_ed25519") }),
        0);
    // A key with a passphrase is skipped, never asked for.
    ASSERT_EQ(runProgram("ssh-keygen",
                  { "-q", "-t", "ed25519", "-N", "secret", "-f", sshPath("id_other") }),
        0);
    o = outcomeOf([&] { client->Connect(); });
    EXPECT_EQ(o.kind, "SshAuthError");
    EXPECT_NE(
        o.message.find("(tried " + sshPath("id_ed25519").toStdString() + ")"), std::string::npos)
        << o.message;
    EXPECT_TRUE(std::any_of(logLines.begin(), logLines.end(), [&](const std::string &l) {
        return l
            == "Skipped the key " + sshPath("id_other").toStdString()
            + ": it needs a passphrase or cannot be read";
    }));
}

TEST_F(Sftp, KeyOfTheSshAgentLogsIn)
{
    // An agent of the test's own, holding the only key the server accepts.
    const QString socket = home.path() + "/agent.sock";
    QProcess agent;
    agent.start("ssh-agent", { "-D", "-a", socket });
    ASSERT_TRUE(agent.waitForStarted(10000));
    struct Stop {
        QProcess &p;
        ~Stop()
        {
            p.kill();
            p.waitForFinished(5000);
            qunsetenv("SSH_AUTH_SOCK");
        }
    } stop { agent };
    QElapsedTimer clock;
    clock.start();
    while (!QFile::exists(socket) && clock.elapsed() < 10000)
        agent.waitForReadyRead(50);
    qputenv("SSH_AUTH_SOCK", socket.toLocal8Bit());
    // The socket file appears when the agent binds it, a moment before it
    // listens: ssh-add is tried again until the agent answers.
    QByteArray addError;
    bool added = false;
    for (int attempt = 0; attempt < 50 && !added; ++attempt) {
        QProcess add;
        add.setProcessEnvironment(QProcessEnvironment::systemEnvironment());
        add.start("ssh-add", { "-q", sshPath("id_ed25519") });
        added = add.waitForFinished(10000) && add.exitCode() == 0;
        addError = add.readAllStandardError();
        if (!added)
            QThread::msleep(100);
    }
    ASSERT_TRUE(added) << addError.toStdString();
    QFile::remove(sshPath("id_ed25519"));

    const Outcome o = outcomeOf([&] { client->Connect(); });
    ASSERT_EQ(o.kind, "") << o.message;
    EXPECT_TRUE(std::find(logLines.begin(), logLines.end(), "Logged in with a key of the SSH agent")
        != logLines.end());
}

TEST_F(Sftp, UnknownHostKeyIsRefusedUnlessAcceptedAndThenRecorded)
{
    QFile::remove(sshPath("known_hosts"));
    Outcome o = outcomeOf([&] { client->Connect(); });
    EXPECT_EQ(o.kind, "SshHostKeyError");
    EXPECT_NE(o.message.find("is not known"), std::string::npos) << o.message;
    EXPECT_FALSE(QFile::exists(sshPath("known_hosts")));

    std::vector<HostKeyInfo> asked;
    bool answer = false;
    client->OnUnknownHostKey = [&](const HostKeyInfo &key) {
        asked.push_back(key);
        return answer;
    };
    o = outcomeOf([&] { client->Connect(); });
    EXPECT_EQ(o.kind, "SshHostKeyError");
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].type, "ssh-ed25519");
    EXPECT_EQ(asked[0].fingerprint, s_server->hostKeyFingerprint().toStdString());
    EXPECT_EQ(asked[0].port, s_server->port());

    answer = true;
    o = outcomeOf([&] { client->Connect(); });
    ASSERT_EQ(o.kind, "") << o.message;
    EXPECT_EQ(asked.size(), 2u);
    client->Disconnect();
    // Recorded: the next connection does not ask, and OpenSSH finds the entry
    // too (the file is shared with the user's ssh).
    o = outcomeOf([&] { client->Connect(); });
    ASSERT_EQ(o.kind, "") << o.message;
    EXPECT_EQ(asked.size(), 2u);
    client->Disconnect();
    EXPECT_EQ(runProgram("ssh-keygen",
                  { "-F", QString("[127.0.0.1]:%1").arg(s_server->port()), "-f",
                      sshPath("known_hosts") }),
        0);

    // The flag records it without asking.
    QFile::remove(sshPath("known_hosts"));
    client->OnUnknownHostKey = nullptr;
    client->AcceptNewHostKey = true;
    o = outcomeOf([&] { client->Connect(); });
    ASSERT_EQ(o.kind, "") << o.message;
    client->Disconnect();
    client->AcceptNewHostKey = false;
    o = outcomeOf([&] { client->Connect(); });
    EXPECT_EQ(o.kind, "") << "recorded by the flag: " << o.message;
}

TEST_F(Sftp, ChangedHostKeyIsAlwaysRefused)
{
    const QString other = local.path() + "/other_key";
    ASSERT_EQ(runProgram("ssh-keygen", { "-q", "-t", "ed25519", "-N", "", "-f", other }), 0);
    const QByteArray otherPub = readBytes(other + ".pub").trimmed();
    const QByteArray line
        = QString("[127.0.0.1]:%1 ").arg(s_server->port()).toLatin1() + otherPub + "\n";
    writeBytes(sshPath("known_hosts"), line);

    int asked = 0;
    client->OnUnknownHostKey = [&](const HostKeyInfo &) {
        ++asked;
        return true;
    };
    client->AcceptNewHostKey = true;
    const Outcome o = outcomeOf([&] { client->Connect(); });
    EXPECT_EQ(o.kind, "SshHostKeyError");
    EXPECT_NE(o.message.find("has CHANGED"), std::string::npos) << o.message;
    EXPECT_NE(o.message.find(s_server->hostKeyFingerprint().toStdString()), std::string::npos);
    EXPECT_EQ(asked, 0);
    EXPECT_FALSE(client->Connected());
    EXPECT_EQ(readBytes(sshPath("known_hosts")), line);
}

TEST_F(Sftp, CancelMidUploadKeepsTheOldFileAndLeavesNoTemporaryFile)
{
    ASSERT_EQ(outcomeOf([&] { client->Connect(); }).kind, "");
    writeBytes(servedPath("index.html"), "the old page");
    writeBytes(local.path() + "/big.bin", patternBytes(8 * 1024 * 1024, 5));
    qint64 seen = 0;
    client->OnProgress = [&](qint64 done, qint64) {
        if (seen == 0)
            client->Cancel();
        seen = done;
    };
    QElapsedTimer clock;
    clock.start();
    Outcome o = outcomeOf([&] { client->UploadWhole(localFile("big.bin"), remote("index.html")); });
    EXPECT_EQ(o.kind, "EAbortError");
    EXPECT_EQ(o.message, "Socket send aborted");
    EXPECT_LT(seen, 8 * 1024 * 1024);
    EXPECT_EQ(entries(served.path()), QStringList({ "index.html" }));
    EXPECT_EQ(readBytes(servedPath("index.html")), "the old page");
    EXPECT_TRUE(logLines.empty() || logLines.back().find("temporary") == std::string::npos);

    // The connection goes on.
    client->OnProgress = nullptr;
    writeBytes(local.path() + "/small.txt", "new page");
    o = outcomeOf([&] { client->UploadWhole(localFile("small.txt"), remote("index.html")); });
    EXPECT_EQ(o.kind, "") << o.message;
    EXPECT_EQ(readBytes(servedPath("index.html")), "new page");
}

TEST_F(Sftp, StoppedServerEndsTheTransferWithinTheSilenceLimitWithoutSpinning)
{
    QTemporaryDir dir;
    SshServer server(dir.path());
    ASSERT_TRUE(server.start()) << server.error().toStdString();
    writeBytes(sshPath("known_hosts"), server.knownHostsLine().toLatin1() + "\n");
    QFile::remove(sshPath("id_ed25519"));
    ASSERT_TRUE(QFile::copy(server.clientKeyPath(), sshPath("id_ed25519")));
    client = makeClient(server.port());
    client->NoDataTimeOut = 1500;
    ASSERT_EQ(outcomeOf([&] { client->Connect(); }).kind, "");
    writeBytes(local.path() + "/big.bin", patternBytes(48 * 1024 * 1024, 9));

    QElapsedTimer sincePause;
    double cpuAtPause = 0;
    client->OnProgress = [&](qint64, qint64) {
        if (sincePause.isValid())
            return;
        server.pause();
        sincePause.start();
        cpuAtPause = cpuSeconds();
    };
    const Outcome o
        = outcomeOf([&] { client->UploadWhole(localFile("big.bin"), remote("big.bin")); });
    const qint64 waited = sincePause.elapsed();
    const double cpu = cpuSeconds() - cpuAtPause;
    server.resume();
    EXPECT_EQ(o.kind, "ESockError");
    EXPECT_EQ(o.message, kMsgNoAnswer);
    EXPECT_GE(waited, 1400);
    EXPECT_LT(waited, 5000);
    EXPECT_LT(cpu, 0.5 * double(waited) / 1000.0) << "the wait spun";
    EXPECT_FALSE(client->Connected());
    EXPECT_TRUE(std::any_of(logLines.begin(), logLines.end(), [](const std::string &l) {
        return l.find("Could not remove the temporary file") != std::string::npos;
    }));
    EXPECT_FALSE(QFile::exists(servedPath("big.bin")));
}

TEST_F(Sftp, ServerThatClosesTheConnectionEndsTheWait)
{
    QTemporaryDir dir;
    SshServer server(dir.path());
    ASSERT_TRUE(server.start()) << server.error().toStdString();
    writeBytes(sshPath("known_hosts"), server.knownHostsLine().toLatin1() + "\n");
    QFile::remove(sshPath("id_ed25519"));
    ASSERT_TRUE(QFile::copy(server.clientKeyPath(), sshPath("id_ed25519")));
    client = makeClient(server.port());
    ASSERT_EQ(outcomeOf([&] { client->Connect(); }).kind, "");
    server.stop();
    QElapsedTimer clock;
    clock.start();
    const Outcome o = outcomeOf([&] { client->ListNames(remote("")); });
    EXPECT_EQ(o.kind, "ESockError");
    EXPECT_EQ(o.message, kMsgConnectionClosed);
    EXPECT_LT(clock.elapsed(), 5000);
    EXPECT_FALSE(client->Connected());
}

TEST_F(Sftp, RefusedConnectionIsNamedAndNoSocketIsLeaked)
{
    const int before = openFileCount();
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(outcomeOf([&] { client->Connect(); }).kind, "");
        EXPECT_TRUE(client->Connected());
        client->Disconnect();
        EXPECT_FALSE(client->Connected());
    }
    EXPECT_EQ(openFileCount(), before);
    s_server->stop();
    const int stopped = openFileCount();
    const quint16 port = s_server->port();
    const Outcome o = outcomeOf([&] { client->Connect(); });
    EXPECT_EQ(o.kind, "ESockError");
    // The platform's words, with where the connection was to go.
    EXPECT_EQ(o.message,
        "Cannot connect to 127.0.0.1 port " + std::to_string(port) + ": Connection refused");
    EXPECT_FALSE(client->Connected());
    EXPECT_EQ(openFileCount(), stopped);
    s_started = s_server->start(); // for the tests after this one
}

// ---- many files in flight ----

// Every file and folder below `dir` whose name marks it as a temporary file.
QStringList temporaries(const QString &dir)
{
    QStringList found;
    QDirIterator it(dir, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
        QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (path.endsWith(".part"))
            found << path;
    }
    return found;
}

TEST_F(Sftp, UploadManyDeliversEveryFileWholeAndConfirmsThemInOrder)
{
    // Sizes around the chunk and the write window, empty files, and more
    // files than are kept in flight at once, over files that exist already.
    ASSERT_TRUE(QDir().mkpath(local.path() + "/up"));
    ASSERT_TRUE(QDir().mkpath(servedPath("www/archive")));
    std::vector<SftpUpload> files;
    std::vector<QByteArray> contents;
    for (int i = 0; i < 150; ++i) {
        const qsizetype size = i % 7 == 0 ? 0
            : i == 3                      ? 3 * 1024 * 1024 + 5
            : i % 5 == 0                  ? 32768
                                          : 100 + 997 * i;
        contents.push_back(patternBytes(size, unsigned(i)));
        const QString name = QString("p%1.html").arg(i);
        writeBytes(local.path() + "/up/" + name, contents.back());
        const QString rel = (i % 2 ? "www/archive/" : "www/") + name;
        if (i % 3 == 0)
            writeBytes(servedPath(rel), "old " + name.toLatin1());
        files.push_back({ localFile("up/" + name), remote(rel) });
    }
    // The same file twice in one send: the later content stays.
    writeBytes(local.path() + "/up/first", patternBytes(200000, 1));
    writeBytes(local.path() + "/up/second", patternBytes(1000, 2));
    files.push_back({ localFile("up/first"), remote("www/twice.html") });
    files.push_back({ localFile("up/second"), remote("www/twice.html") });
    contents.push_back(patternBytes(200000, 1));
    contents.push_back(patternBytes(1000, 2));
    ASSERT_EQ(outcomeOf([&] { client->Connect(); }).kind, "");
    for (bool posix : { true, false }) {
        SCOPED_TRACE(posix ? "posix rename" : "remove, then rename");
        client->UsePosixRename = posix;
        std::vector<std::size_t> confirmed;
        const Outcome o = outcomeOf([&] {
            client->UploadMany(files, [&](std::size_t i) {
                // The server holds the file whole when it is confirmed.
                EXPECT_EQ(readBytes(QString::fromStdString(files[i].remotePath)), contents[i]) << i;
                confirmed.push_back(i);
            });
        });
        ASSERT_EQ(o.kind, "") << o.message;
        ASSERT_EQ(confirmed.size(), files.size());
        for (std::size_t i = 0; i < confirmed.size(); ++i)
            EXPECT_EQ(confirmed[i], i);
        EXPECT_EQ(readBytes(servedPath("www/twice.html")), patternBytes(1000, 2));
        EXPECT_EQ(temporaries(served.path()), QStringList());
    }
    // The connection goes on.
    EXPECT_EQ(outcomeOf([&] { client->ListNames(remote("www")); }).kind, "");
}

TEST_F(Sftp, UploadManyStopsAtTheFirstFailureAfterConfirmingTheFilesBeforeIt)
{
    ASSERT_TRUE(QDir().mkpath(servedPath("www")));
    // A folder where a file should go: its rename fails once the file is whole.
    ASSERT_TRUE(QDir().mkpath(servedPath("www/taken.html/inside")));
    std::vector<SftpUpload> files;
    for (int i = 0; i < 40; ++i) {
        writeBytes(local.path() + QString("/f%1").arg(i), patternBytes(5000 + i, unsigned(i)));
        files.push_back({ localFile(QString("f%1").arg(i)), remote(QString("www/f%1.html").arg(i)) });
    }
    ASSERT_EQ(outcomeOf([&] { client->Connect(); }).kind, "");
    struct Case {
        const char *name;
        std::string target;  // of file 17
        std::string message; // the failure's
    };
    const Case cases[] = {
        { "a missing folder", remote("nofolder/f17.html"),
            "Cannot create remote file " + remote("nofolder/.f17.html.part") + ": No such file" },
        { "a rename refused", remote("www/taken.html"),
            "Cannot rename " + remote("www/.taken.html.part") + " to " + remote("www/taken.html") },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QDir(servedPath("www")).removeRecursively();
        ASSERT_TRUE(QDir().mkpath(servedPath("www/taken.html/inside")));
        files[17].remotePath = c.target;
        std::vector<std::size_t> confirmed;
        logLines.clear();
        const Outcome o = outcomeOf(
            [&] { client->UploadMany(files, [&](std::size_t i) { confirmed.push_back(i); }); });
        EXPECT_EQ(o.kind, "SftpError");
        EXPECT_EQ(o.message.rfind(c.message, 0), 0u) << o.message;
        std::vector<std::size_t> before(17);
        std::iota(before.begin(), before.end(), 0);
        EXPECT_EQ(confirmed, before);
        for (int i = 0; i < 17; ++i)
            EXPECT_EQ(readBytes(servedPath(QString("www/f%1.html").arg(i))),
                patternBytes(5000 + i, unsigned(i)));
        // No temporary file of the failing file or of those in flight after it.
        EXPECT_EQ(temporaries(served.path()), QStringList());
        EXPECT_TRUE(logLines.empty()) << logLines.front();
    }
    // Refused before any rename after it went out: nothing after it was renamed.
    files[17].remotePath = remote("nofolder/f17.html");
    QDir(servedPath("www")).removeRecursively();
    ASSERT_TRUE(QDir().mkpath(servedPath("www")));
    outcomeOf([&] { client->UploadMany(files, [](std::size_t) { }); });
    for (int i = 18; i < 40; ++i)
        EXPECT_FALSE(QFile::exists(servedPath(QString("www/f%1.html").arg(i)))) << i;
    EXPECT_EQ(outcomeOf([&] { client->ListNames(remote("www")); }).kind, "");
}

TEST_F(Sftp, InterruptedUploadsLeaveOneTemporaryFileThatTheNextUploadTakesAway)
{
    QTemporaryDir dir;
    SshServer server(dir.path());
    ASSERT_TRUE(server.start()) << server.error().toStdString();
    writeBytes(sshPath("known_hosts"), server.knownHostsLine().toLatin1() + "\n");
    QFile::remove(sshPath("id_ed25519"));
    ASSERT_TRUE(QFile::copy(server.clientKeyPath(), sshPath("id_ed25519")));
    writeBytes(local.path() + "/big.bin", patternBytes(16 * 1024 * 1024, 4));
    // Twice a server that stops answering half way: the client gives up
    // and cannot remove what it wrote.
    for (int round = 0; round < 2; ++round) {
        client = makeClient(server.port());
        client->NoDataTimeOut = 400;
        ASSERT_EQ(outcomeOf([&] { client->Connect(); }).kind, "");
        bool paused = false;
        client->OnProgress = [&](qint64, qint64) {
            if (!paused)
                server.pause();
            paused = true;
        };
        const Outcome o
            = outcomeOf([&] { client->UploadWhole(localFile("big.bin"), remote("big.bin")); });
        server.resume();
        EXPECT_EQ(o.kind, "ESockError");
        // The server's side of the dropped session ends.
        QElapsedTimer wait;
        wait.start();
        while (wait.elapsed() < 300)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        EXPECT_EQ(entries(served.path()), QStringList({ ".big.bin.part" })) << round;
    }
    client = makeClient(server.port());
    ASSERT_EQ(outcomeOf([&] { client->Connect(); }).kind, "");
    writeBytes(local.path() + "/small.bin", "whole");
    const Outcome o
        = outcomeOf([&] { client->UploadWhole(localFile("small.bin"), remote("big.bin")); });
    ASSERT_EQ(o.kind, "") << o.message;
    EXPECT_EQ(entries(served.path()), QStringList({ "big.bin" }));
    EXPECT_EQ(readBytes(servedPath("big.bin")), "whole");
}

TEST_F(Sftp, NamesAtTheFileNameLimitGoUpAndComeBack)
{
    // 250 bytes: a temporary name of "." + name + ".part" would pass 255.
    const QString name = QString(246, QChar('n')) + ".txt";
    ASSERT_EQ(name.toUtf8().size(), 250);
    writeBytes(local.path() + "/" + name, "long name");
    writeBytes(local.path() + "/other", "second");
    ASSERT_EQ(outcomeOf([&] { client->Connect(); }).kind, "");
    ASSERT_EQ(outcomeOf([&] { client->UploadWhole(localFile(name), remote(name)); }).kind, "");
    EXPECT_EQ(readBytes(servedPath(name)), "long name");
    const Outcome many = outcomeOf([&] {
        client->UploadMany({ { localFile("other"), remote("a" + name.mid(1)) },
                               { localFile(name), remote(name) } },
            [](std::size_t) { });
    });
    ASSERT_EQ(many.kind, "") << many.message;
    EXPECT_EQ(readBytes(servedPath("a" + name.mid(1))), "second");
    ASSERT_TRUE(QDir().mkpath(local.path() + "/down"));
    const Outcome down
        = outcomeOf([&] { client->Download(remote(name), localFile("down/" + name)); });
    ASSERT_EQ(down.kind, "") << down.message;
    EXPECT_EQ(readBytes(local.path() + "/down/" + name), "long name");
    EXPECT_EQ(entries(local.path() + "/down"), QStringList({ name }));
    EXPECT_EQ(entries(served.path()), QStringList({ "a" + name.mid(1), name }));
}

TEST_F(Sftp, FoldersAskedForWithoutWaitingAreThereForTheUploadsOrFailThem)
{
    ASSERT_EQ(outcomeOf([&] { client->Connect(); }).kind, "");
    writeBytes(local.path() + "/x", "x");
    writeBytes(servedPath("afile"), "f");
    std::vector<std::size_t> confirmed;
    const auto uploadMany = [&](const std::vector<SftpUpload> &files) {
        confirmed.clear();
        return outcomeOf(
            [&] { client->UploadMany(files, [&](std::size_t i) { confirmed.push_back(i); }); });
    };
    client->PrepareFolders(remote("new/a/b"));
    client->PrepareFolders(remote("new/c"));
    Outcome o = uploadMany({ { localFile("x"), remote("new/a/b/x") }, { localFile("x"), remote("new/c/y") } });
    ASSERT_EQ(o.kind, "") << o.message;
    EXPECT_EQ(readBytes(servedPath("new/a/b/x")), "x");
    EXPECT_EQ(readBytes(servedPath("new/c/y")), "x");

    // A folder that cannot be made fails the next step before it confirms
    // anything, and leaves nothing behind.
    EXPECT_EQ(outcomeOf([&] { client->PrepareFolders(remote("afile/sub")); }).kind, "");
    o = uploadMany({ { localFile("x"), remote("new/c/z") } });
    EXPECT_EQ(o.kind, "SftpError");
    EXPECT_EQ(o.message.rfind("Cannot create remote folder " + remote("afile/sub"), 0), 0u) << o.message;
    EXPECT_TRUE(confirmed.empty());
    EXPECT_FALSE(QFile::exists(servedPath("new/c/z")));
    EXPECT_EQ(temporaries(served.path()), QStringList());
    EXPECT_EQ(outcomeOf([&] { client->ListNames(remote("new")); }).kind, "");
}

TEST_F(Sftp, ListingOfALargeFolderHasEveryNameOnce)
{
    // More answers than are asked for at once (about 100 names each).
    ASSERT_TRUE(QDir().mkpath(servedPath("big")));
    std::vector<std::string> expected;
    for (int i = 0; i < 4500; ++i) {
        const QString name = QString("%1.txt").arg(1000000 + i);
        writeBytes(servedPath("big/" + name), QByteArray(i % 50, 'x'));
        expected.push_back(name.toStdString());
    }
    ASSERT_EQ(outcomeOf([&] { client->Connect(); }).kind, "");
    std::vector<RemoteEntry> listed;
    const Outcome o = outcomeOf([&] { listed = client->List(remote("big")); });
    ASSERT_EQ(o.kind, "") << o.message;
    std::vector<std::string> names;
    for (const RemoteEntry &e : listed) {
        names.push_back(e.name);
        EXPECT_EQ(e.size, (std::stoi(e.name) - 1000000) % 50) << e.name;
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, expected);
    // The connection is in step afterwards.
    EXPECT_EQ(client->FileSize(remote("big/1000049.txt")), 49);
}

} // namespace
