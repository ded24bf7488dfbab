// The Git client against bare repositories on this machine, reached by
// file:// and through the suite's own sshd (git-upload-pack and
// git-receive-pack run as the test's user). Git's command line plays the
// other tools that push to the same branch, and checks what arrived.
#include "publish/ftpsocket.h" // EAbortError
#include "publish/gitclient.h"
#include "pyftpserver.h" // filesBelow
#include "sshserver.h"
#include "testsupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

using namespace tl;
using namespace tl::test;

namespace {

std::string patternBytes(size_t size, unsigned seed)
{
    std::string out(size, '\0');
    quint32 x = seed * 2654435761u + 12345u;
    for (char &c : out) {
        x = x * 1664525u + 1013904223u;
        c = char(x >> 24);
    }
    return out;
}

// Git's command line, as another tool on the same repository would run it.
QString git(const QStringList &args)
{
    QByteArray out;
    const int rc = runProgram("git",
        QStringList { "-c", "user.name=Other Tool", "-c", "user.email=other@example.org", "-c",
            "init.defaultBranch=main", "-c", "protocol.file.allow=always" }
            + args,
        &out);
    EXPECT_EQ(rc, 0) << "git " << args.join(' ').toStdString();
    return QString::fromUtf8(out).trimmed();
}

class Git : public ::testing::TestWithParam<std::string> {
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
        ASSERT_TRUE(home.isValid() && work.isValid());
        qputenv("HOME", home.path().toLocal8Bit());
        ASSERT_TRUE(QDir().mkpath(home.path() + "/.ssh"));
        ASSERT_TRUE(QFile::copy(s_server->clientKeyPath(), home.path() + "/.ssh/id_ed25519"));
        QFile::setPermissions(
            home.path() + "/.ssh/id_ed25519", QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        writeBytes(
            home.path() + "/.ssh/known_hosts", s_server->knownHostsLine().toStdString() + "\n");
        git({ "init", "-q", "--bare", served() });
    }

    QString served() const { return work.path() + "/served.git"; }
    QString site() const { return work.path() + "/site"; }

    std::string url(const QString &repository) const
    {
        if (GetParam() == "file")
            return ("file://" + repository).toStdString();
        return QString("ssh://127.0.0.1:%1%2").arg(s_server->port()).arg(repository).toStdString();
    }

    std::unique_ptr<GitClient> makeClient(const QString &repository)
    {
        auto c = std::make_unique<GitClient>();
        c->settings.url = url(repository);
        c->settings.cacheFolder = (work.path() + "/cache").toStdString();
        c->settings.authorName = "Writer \xc5\xbd"; // UTF-8
        c->settings.authorEmail = "writer@example.org";
        c->onLog = [this](const std::string &line) { logLines.push_back(line); };
        return c;
    }

    // Writes the local site's files and returns them as uploads.
    std::vector<FileUpload> writeSite(const std::map<QString, std::string> &files)
    {
        std::vector<FileUpload> out;
        for (const auto &[rel, bytes] : files) {
            const QString path = site() + "/" + rel;
            QDir().mkpath(QFileInfo(path).path());
            writeBytes(path, bytes);
            out.push_back({ path.toStdString(), "/" + rel.toStdString() });
        }
        return out;
    }

    // A fresh clone of the branch, its files without .git.
    std::map<QString, std::string> cloneOfBranch(const QString &name)
    {
        const QString dir = work.path() + "/" + name;
        git({ "clone", "-q", "--branch", "gh-pages", "file://" + served(), dir });
        auto files = filesBelow(dir);
        std::erase_if(files, [](const auto &f) { return f.first.startsWith(".git/"); });
        return files;
    }

    // Another tool commits a file to the branch from a clone of its own.
    void commitElsewhere(const QString &repository, const QString &file, const QString &text)
    {
        const QString dir = work.path() + "/other-" + QString::number(++m_clones);
        git({ "clone", "-q", "--branch", "gh-pages", "file://" + repository, dir });
        writeBytes(dir + "/" + file, text.toStdString());
        git({ "-C", dir, "add", file });
        git({ "-C", dir, "commit", "-q", "-m", "Added by another tool" });
        git({ "-C", dir, "push", "-q", "origin", "gh-pages" });
    }

    static QByteArray s_savedHome;
    static QTemporaryDir *s_dir;
    static SshServer *s_server;
    static bool s_started;

    QTemporaryDir home; // the client's HOME
    QTemporaryDir work;
    std::vector<std::string> logLines;
    int m_clones = 0;
};

QByteArray Git::s_savedHome;
QTemporaryDir *Git::s_dir = nullptr;
SshServer *Git::s_server = nullptr;
bool Git::s_started = false;

TEST_P(Git, PublishesMakeOneCommitOfExactlyTheirChangesAndKeepOtherFiles)
{
    // A repository whose main branch holds the sources: never touched.
    const QString sources = work.path() + "/sources";
    git({ "init", "-q", sources });
    writeBytes(sources + "/README", "sources");
    git({ "-C", sources, "add", "README" });
    git({ "-C", sources, "commit", "-q", "-m", "sources" });
    git({ "-C", sources, "push", "-q", "file://" + served(), "main" });
    const QString mainBefore = git({ "--git-dir", served(), "rev-parse", "main" });

    std::map<QString, std::string> files = {
        { "index.html", "<html>\x9a\xe8\r\n</html>\r\n" },
        { "archive/2026-12.html", "month" },
        { "img/photo.jpg", patternBytes(300000, 5) },
        { "empty.txt", "" },
    };
    auto client = makeClient(served());
    ASSERT_NO_THROW(client->open());
    EXPECT_FALSE(client->branchExists());
    std::vector<size_t> staged;
    ASSERT_NO_THROW(client->upload(writeSite(files), [&](size_t i) { staged.push_back(i); }));
    EXPECT_EQ(staged.size(), files.size());
    std::string first;
    ASSERT_NO_THROW(first = client->finish("Publish"));
    ASSERT_EQ(first.size(), 40u);
    EXPECT_EQ(git({ "--git-dir", served(), "rev-parse", "gh-pages" }).toStdString(), first);
    // An orphan: no parent, and none of the main branch's files.
    EXPECT_EQ(git({ "--git-dir", served(), "rev-list", "--count", "gh-pages" }), "1");
    EXPECT_EQ(git({ "--git-dir", served(), "log", "-1", "--format=%an <%ae>", "gh-pages" }),
        QString::fromUtf8("Writer \xc5\xbd <writer@example.org>"));
    EXPECT_EQ(cloneOfBranch("clone1"), files);

    // Another tool adds a file; the next publish changes one page.
    commitElsewhere(served(), "CNAME", "blog.example.org");
    const QString otherTip = git({ "--git-dir", served(), "rev-parse", "gh-pages" });
    auto next = makeClient(served());
    ASSERT_NO_THROW(next->open());
    EXPECT_EQ(next->tip(), otherTip.toStdString());
    files["index.html"] = "<html>new post</html>";
    auto uploads = writeSite(files); // every file again: only one differs
    ASSERT_NO_THROW(next->upload(uploads));
    std::string second;
    ASSERT_NO_THROW(second = next->finish("Publish"));
    EXPECT_EQ(git({ "--git-dir", served(), "rev-parse", "gh-pages^" }), otherTip);
    EXPECT_EQ(git({ "--git-dir", served(), "diff-tree", "--no-commit-id", "--name-only", "-r",
                  "gh-pages^", "gh-pages" }),
        "index.html");
    auto expected = files;
    expected["CNAME"] = "blog.example.org";
    EXPECT_EQ(cloneOfBranch("clone2"), expected);
    EXPECT_EQ(git({ "--git-dir", served(), "rev-parse", "main" }), mainBefore);

    // Nothing changed: no commit. A removal removes that file only; a path
    // the branch lacks is fine.
    ASSERT_NO_THROW(next->upload(uploads));
    EXPECT_EQ(next->finish("Publish"), "");
    ASSERT_NO_THROW(next->remove({ "archive/2026-12.html", "never/there.html" }));
    ASSERT_NO_THROW(next->finish("Publish"));
    EXPECT_EQ(git({ "--git-dir", served(), "rev-list", "--count", "gh-pages" }), "4");
    expected.erase("archive/2026-12.html");
    EXPECT_EQ(cloneOfBranch("clone3"), expected);

    // Reading the branch back.
    auto reader = makeClient(served());
    std::vector<RemoteFile> listed;
    ASSERT_NO_THROW(listed = reader->list("/", true));
    std::vector<RemoteFile> wanted;
    for (const auto &[name, bytes] : expected)
        wanted.push_back({ name.toStdString(), qint64(bytes.size()) });
    std::sort(listed.begin(), listed.end(),
        [](const RemoteFile &a, const RemoteFile &b) { return a.name < b.name; });
    EXPECT_EQ(listed, wanted);
    EXPECT_EQ(reader->list("img", false), (std::vector<RemoteFile> { { "photo.jpg", 300000 } }));
    EXPECT_EQ(reader->size("/img/photo.jpg"), 300000);
    EXPECT_EQ(reader->size("archive/2026-12.html"), -1);
    const QString back = work.path() + "/back.jpg";
    ASSERT_NO_THROW(reader->download("img/photo.jpg", back.toStdString()));
    EXPECT_EQ(fileBytes(back), files["img/photo.jpg"]);
}

TEST_P(Git, APushRefusedBecauseTheBranchMovedIsMadeAgainOnTheNewTip)
{
    auto client = makeClient(served());
    ASSERT_NO_THROW(client->open());
    ASSERT_NO_THROW(client->upload(writeSite({ { "index.html", "one" } })));
    ASSERT_NO_THROW(client->finish("Publish"));

    // Between this session's fetch and its push, another tool pushes.
    ASSERT_NO_THROW(client->open());
    ASSERT_NO_THROW(client->upload(writeSite({ { "index.html", "two" } })));
    commitElsewhere(served(), "CNAME", "blog.example.org");
    const QString otherTip = git({ "--git-dir", served(), "rev-parse", "gh-pages" });
    std::string commit;
    ASSERT_NO_THROW(commit = client->finish("Publish"));
    EXPECT_EQ(git({ "--git-dir", served(), "rev-parse", "gh-pages" }).toStdString(), commit);
    EXPECT_EQ(git({ "--git-dir", served(), "rev-parse", "gh-pages^" }), otherTip);
    EXPECT_EQ(cloneOfBranch("clone"),
        (std::map<QString, std::string> {
            { "index.html", "two" }, { "CNAME", "blog.example.org" } }));
    ASSERT_EQ(logLines.size(), 1u);
    EXPECT_NE(logLines[0].find("Someone else pushed"), std::string::npos) << logLines[0];
}

INSTANTIATE_TEST_SUITE_P(Transports, Git, ::testing::Values("file", "ssh"),
    [](const ::testing::TestParamInfo<std::string> &info) { return info.param; });

// ---------------------------------------------------------- SSH only

class GitSsh : public Git {
protected:
    void SetUp() override { Git::SetUp(); }
};

TEST_P(GitSsh, ABranchThatMovesAgainOnTheRetryFailsWithoutForcing)
{
    // A server whose branch moves under every push, as if another publisher
    // pushed each time first: its hook moves the branch before the push
    // lands, so the push's own update is refused.
    auto client = makeClient(served());
    ASSERT_NO_THROW(client->open());
    ASSERT_NO_THROW(client->upload(writeSite({ { "index.html", "one" } })));
    ASSERT_NO_THROW(client->finish("Publish"));
    const QString hook = served() + "/hooks/pre-receive";
    writeBytes(hook,
        "#!/bin/sh\n"
        "cat >/dev/null\n"
        "unset GIT_QUARANTINE_PATH GIT_OBJECT_DIRECTORY GIT_ALTERNATE_OBJECT_DIRECTORIES\n"
        "tip=$(git rev-parse refs/heads/gh-pages)\n"
        "c=$(git -c user.name=Hook -c user.email=hook@example.org commit-tree "
        "\"$tip^{tree}\" -p \"$tip\" -m moved)\n"
        "git update-ref refs/heads/gh-pages \"$c\"\n");
    QFile::setPermissions(
        hook, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);

    ASSERT_NO_THROW(client->upload(writeSite({ { "index.html", "two" } })));
    try {
        client->finish("Publish");
        FAIL() << "the push was taken although the branch moved twice";
    } catch (const GitError &e) {
        EXPECT_NE(std::string(e.what()).find("someone else pushed to it while publishing, twice"),
            std::string::npos)
            << e.what();
    }
    // The hook's commits are still there: nothing was forced over them.
    EXPECT_EQ(git({ "--git-dir", served(), "log", "-1", "--format=%s", "gh-pages" }), "moved");
    EXPECT_EQ(git({ "--git-dir", served(), "rev-list", "--count", "gh-pages" }), "3");
}

TEST_P(GitSsh, AnUnknownHostKeyIsAskedAboutOnceAndAChangedOneRefused)
{
    writeBytes(home.path() + "/.ssh/known_hosts", "");
    auto client = makeClient(served());
    std::vector<HostKeyInfo> asked;
    client->onUnknownHostKey = [&](const HostKeyInfo &key) {
        asked.push_back(key);
        return false;
    };
    EXPECT_THROW(client->open(), SshHostKeyError);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].port, s_server->port());
    EXPECT_EQ(QString::fromStdString(asked[0].fingerprint), s_server->hostKeyFingerprint());
    EXPECT_EQ(fileBytes(home.path() + "/.ssh/known_hosts"), "");

    client->onUnknownHostKey = [&](const HostKeyInfo &key) {
        asked.push_back(key);
        return true;
    };
    EXPECT_NO_THROW(client->open());
    EXPECT_NO_THROW(client->open());
    EXPECT_EQ(asked.size(), 2u);
    // The line as OpenSSH writes it, but for the key's comment.
    EXPECT_EQ(QString::fromStdString(fileBytes(home.path() + "/.ssh/known_hosts")).trimmed(),
        s_server->knownHostsLine().section(' ', 0, 2));

    // Another key recorded for the server: refused without a question.
    const QString keyFile = work.path() + "/other_key";
    runProgram("ssh-keygen", { "-q", "-t", "ed25519", "-N", "", "-f", keyFile });
    const QString otherKey = QString::fromStdString(fileBytes(keyFile + ".pub")).section(' ', 0, 1);
    writeBytes(home.path() + "/.ssh/known_hosts",
        QString("[127.0.0.1]:%1 %2\n").arg(s_server->port()).arg(otherKey).toStdString());
    try {
        client->open();
        FAIL() << "a changed host key was accepted";
    } catch (const SshHostKeyError &e) {
        EXPECT_NE(std::string(e.what()).find("has CHANGED"), std::string::npos) << e.what();
    }
    EXPECT_EQ(asked.size(), 2u);
}

INSTANTIATE_TEST_SUITE_P(Transports, GitSsh, ::testing::Values("ssh"),
    [](const ::testing::TestParamInfo<std::string> &info) { return info.param; });

// ------------------------------------------------------------- cancel

TEST_P(Git, CancelEndsAnOperationAtOnceAndTheNextOneWorks)
{
    auto client = makeClient(served());
    ASSERT_NO_THROW(client->open());
    std::map<QString, std::string> big;
    for (int i = 0; i < 3; ++i)
        big[QString("big%1.bin").arg(i)] = patternBytes(16 << 20, i);
    const auto uploads = writeSite(big);
    QElapsedTimer clock;
    qint64 cancelledAt = -1;
    client->onProgress = [&](qint64 done, qint64) {
        if (done > 0 && cancelledAt < 0) {
            client->cancel();
            cancelledAt = clock.elapsed();
        }
    };
    clock.start();
    EXPECT_THROW(client->upload(uploads), EAbortError);
    ASSERT_GE(cancelledAt, 0);
    EXPECT_LT(clock.elapsed() - cancelledAt, 100);

    // A new session waits for the worker that Cancel left to end.
    client->onProgress = nullptr;
    ASSERT_NO_THROW(client->open());
    EXPECT_EQ(client->pendingChanges(), 0u);
    ASSERT_NO_THROW(client->upload(writeSite({ { "index.html", "after" } })));
    ASSERT_NO_THROW(client->finish("Publish"));
    EXPECT_EQ(git({ "--git-dir", served(), "ls-tree", "--name-only", "gh-pages" }), "index.html");
}

} // namespace
