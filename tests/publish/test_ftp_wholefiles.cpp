// The client in its default passive mode against the scripted server: how the
// data connection is found, whole-file uploads through a temporary name, what
// a cancel or a failure leaves on the server, and honest progress.
#include "ftptestutil.h"
#include "publish/ftpclient.h"
#include "scriptserver.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tl;
using namespace tl::test;

namespace {

using Verbs = std::vector<std::string>;
using Files = std::map<std::string, QByteArray>;

class PassiveFtp : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        ftp.Host = "127.0.0.1";
        ftp.Port = server.port();
        ftp.UserID = "user";
        ftp.Password = "pw";
        ftp.NoDataTimeOut = 5000;
        ftp.OnLog = [this](const std::string &line) { logLines.push_back(line); };
    }

    std::string local(const char *name, const QByteArray &bytes)
    {
        const QString path = dir.path() + "/" + name;
        writeFileBytes(path, bytes);
        return path.toStdString();
    }

    // The commands after the login.
    Verbs verbsAfterLogin() const
    {
        Verbs v = server.verbs();
        return Verbs(v.begin() + std::min<size_t>(2, v.size()), v.end());
    }

    QTemporaryDir dir;
    ScriptServer server;
    FtpClient ftp;
    std::vector<std::string> logLines;
};

TEST_F(PassiveFtp, EpsvRefusedFallsBackToPasvOnceAndIgnoresTheNamedAddress)
{
    server.handlers["EPSV"] = [](ScriptSession &s, const std::string &) {
        s.reply("500 EPSV not understood\r\n");
    };
    // A server behind a router names its private address: the data
    // connection still goes to the address of the control connection.
    server.pasvAddress = "10,9,8,7";
    server.fileContent = patternBytes(3000, 3);
    ftp.Connect();
    ftp.Download("a.bin", (dir.path() + "/a.bin").toStdString());
    ftp.Download("b.bin", (dir.path() + "/b.bin").toStdString());
    EXPECT_EQ(readFileBytes(dir.path() + "/b.bin"), server.fileContent);
    EXPECT_EQ(verbsAfterLogin(), (Verbs{"TYPE", "EPSV", "PASV", "RETR", "PASV", "RETR"}));
    EXPECT_EQ(server.commands[2], "TYPE I");
}

TEST_F(PassiveFtp, RefusedPassiveModeIsADownloadFailure)
{
    for (const char *verb : {"EPSV", "PASV"})
        server.handlers[verb] = [](ScriptSession &s, const std::string &) {
            s.reply("502 No passive mode\r\n");
        };
    std::vector<FtpCommandKind> failures;
    ftp.OnFailure = [&](bool &, FtpCommandKind kind) { failures.push_back(kind); };
    ftp.Connect();
    Outcome o = outcomeOf([&] { ftp.Download("a", (dir.path() + "/a").toStdString()); });
    EXPECT_EQ(o.kind, "FTPException");
    EXPECT_EQ(o.message, "502 No passive mode\r\n");
    EXPECT_EQ(failures, std::vector<FtpCommandKind>{cmdDownload});
    EXPECT_TRUE(folderEntries(dir.path()).empty());
}

TEST_F(PassiveFtp, RefusedTypeIFailsTheTransferBeforeAnyData)
{
    server.handlers["TYPE"] = [](ScriptSession &s, const std::string &) {
        s.reply("504 Type not implemented\r\n");
    };
    ftp.Connect();
    Outcome o = outcomeOf([&] { ftp.UploadWhole(local("f.txt", "a\r\nb"), "f.txt"); });
    EXPECT_EQ(o.message, "504 Type not implemented\r\n");
    EXPECT_EQ(verbsAfterLogin(), Verbs{"TYPE"});
    EXPECT_TRUE(server.files.empty());
}

TEST_F(PassiveFtp, UploadWholeStoresUnderTheTemporaryNameThenRenamesOverTheOldFile)
{
    server.files["www/index.html"] = "old page";
    const QByteArray page = patternBytes(40000, 5);
    ftp.Connect();
    ftp.UploadWhole(local("index.html", page), "www/index.html");
    EXPECT_EQ(server.files, (Files{{"www/index.html", page}}));
    EXPECT_EQ(server.storedName, "www/.index.html.part");
    EXPECT_EQ(verbsAfterLogin(), (Verbs{"TYPE", "EPSV", "STOR", "RNFR", "RNTO"}));

    // A server that will not rename over an existing file: it goes first.
    server.renameOverExisting = false;
    server.commands.clear();
    ftp.UploadWhole(local("index.html", "new page"), "www/index.html");
    EXPECT_EQ(server.files, (Files{{"www/index.html", "new page"}}));
    EXPECT_EQ(server.verbs(), (Verbs{"EPSV", "STOR", "RNFR", "RNTO", "DELE", "RNFR", "RNTO"}));
    EXPECT_TRUE(logLines.empty());
}


TEST_F(PassiveFtp, CancelOrFailureMidUploadLeavesNothingOnTheServer)
{
    const std::string big = local("post.txt", patternBytes(6 * 1024 * 1024, 9));
    struct Case {
        const char *name;
        bool cancel; // else the server drops the data connection with 426
        std::string kind;
    };
    for (const Case &c : {Case{"cancel", true, "EAbortError"}, Case{"failure", false, "FTPException"}}) {
        SCOPED_TRACE(c.name);
        server.files = {{"data/post.txt", "the old, whole post"}};
        server.onStoreData = [&](ScriptSession &, qint64 received) {
            if (received < 200000)
                return true;
            if (c.cancel) {
                ftp.Cancel();
                return true;
            }
            return false;
        };
        ftp.Connect();
        Outcome o = outcomeOf([&] { ftp.UploadWhole(big, "data/post.txt"); });
        if (c.cancel && o.kind == "FTPException") // the server answered the cut transfer first
            o.kind = "EAbortError";
        EXPECT_EQ(o.kind, c.kind) << o.message;
        EXPECT_EQ(server.files, (Files{{"data/post.txt", "the old, whole post"}}));
        EXPECT_EQ(server.verbs().back(), "DELE");
        EXPECT_EQ(server.commands.back(), "DELE data/.post.txt.part");
        EXPECT_TRUE(logLines.empty()) << logLines.front();
        // The connection is good for the next file.
        server.onStoreData = nullptr;
        ftp.UploadWhole(local("small.txt", "small"), "data/small.txt");
        EXPECT_EQ(server.files["data/small.txt"], QByteArray("small"));
        ftp.Disconnect();
    }
}

TEST_F(PassiveFtp, TemporaryFileThatCannotBeRemovedIsLogged)
{
    server.handlers["DELE"] = [](ScriptSession &s, const std::string &) {
        s.reply("550 Permission denied\r\n");
    };
    server.onStoreData = [](ScriptSession &, qint64) { return false; };
    ftp.Connect();
    Outcome o = outcomeOf([&] { ftp.UploadWhole(local("f.bin", patternBytes(500000)), "f.bin"); });
    EXPECT_EQ(o.message, "426 Connection closed; transfer aborted.\r\n");
    EXPECT_EQ(logLines,
              Verbs{"Could not remove the temporary file .f.bin.part: 550 Permission denied"});
}

TEST_F(PassiveFtp, ProgressIsShortOfTheSizeUntilTheServerConfirms)
{
    const qint64 size = 3 * 1024 * 1024;
    const std::string path = local("big.bin", patternBytes(size, 2));
    server.finalReplyDelayMs = 300;
    QElapsedTimer clock;
    clock.start();
    qint64 serverHadAll = -1;
    server.onStoreData = [&](ScriptSession &, qint64 received) {
        if (received == size)
            serverHadAll = clock.elapsed();
        return true;
    };
    struct Event {
        qint64 bytes, total, at;
    };
    std::vector<Event> events;
    ftp.OnProgress = [&](qint64 bytes, qint64 total) {
        events.push_back({bytes, total, clock.elapsed()});
    };
    ftp.Connect();
    ftp.UploadWhole(path, "big.bin");
    ASSERT_GT(events.size(), 3u);
    ASSERT_GE(serverHadAll, 0);
    for (size_t i = 0; i + 1 < events.size(); ++i) {
        EXPECT_EQ(events[i].total, size);
        EXPECT_LT(events[i].bytes, size);
        EXPECT_LE(events[i].bytes, events[i + 1].bytes);
    }
    EXPECT_EQ(events.back().bytes, size);
    EXPECT_EQ(events.back().total, size);
    EXPECT_GE(events.back().at, serverHadAll + 250);
}

} // namespace
