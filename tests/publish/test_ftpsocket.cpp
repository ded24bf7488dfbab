// The socket layer on its own, against a plain peer socket on loopback.
#include "ftptestutil.h"
#include "publish/ftpclient.h"
#include "publish/ftpsocket.h"
#include "publish/replacingfile.h"
#include "publish/sockettimer.h"
#include "publish/wholeupload.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>
#include <memory>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace tl;
using namespace tl::test;

namespace {

// The other end of a connection, driven by the test on the same thread.
struct Peer {
    Peer()
    {
        server.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&server, &QTcpServer::newConnection, [this] {
            sock = server.nextPendingConnection();
            QObject::connect(sock, &QTcpSocket::readyRead, [this] { received += sock->readAll(); });
        });
    }
    quint16 port() const { return server.serverPort(); }
    void send(const QByteArray &bytes)
    {
        sock->write(bytes);
        sock->flush();
    }
    QTcpServer server;
    QTcpSocket *sock = nullptr;
    QByteArray received;
};

// A socket object connected to a peer.
struct Pair {
    Pair()
    {
        sock.Host = "127.0.0.1";
        sock.Port = peer.port();
        sock.NoDataTimeOut = 3000;
        sock.Connect();
        spinUntil([this] { return peer.sock != nullptr; });
    }
    Peer peer;
    FtpSocket sock;
};

TEST(SocketErrorText, NumbersOfTheTableAndOthers)
{
    const std::pair<int, const char *> cases[] = {
        {0, ""},
        {10061, "10061:Connection refused"},
        {10035, "10035:Operation would block"},
        {10004, "10004:Interrupted system call"},
        {11004, "11004:Valid name, no data record of requested type"},
        {12345, "Unknown Error No. 12345"},
        {10000, "Unknown Error No. 10000"},
    };
    for (const auto &[number, text] : cases)
        EXPECT_EQ(SocketErrorText(number), text) << number;
    EXPECT_EQ(SocketErrorNumber(QAbstractSocket::ConnectionRefusedError), 10061);
    EXPECT_EQ(SocketErrorNumber(QAbstractSocket::HostNotFoundError), 11001);
    EXPECT_EQ(SocketErrorNumber(QAbstractSocket::SocketTimeoutError), 10060);
}

TEST(SocketConnect, DottedAddressNeedsNoLookupAndNameDoes)
{
    Peer peer;
    int resolved = 0;
    {
        FtpSocket s;
        s.Host = "127.0.0.1";
        s.Port = peer.port();
        s.OnHostResolved = [&](FtpSocket *) { ++resolved; };
        s.Connect();
        EXPECT_TRUE(s.Connected());
        EXPECT_EQ(resolved, 0);
    }
    FtpSocket s;
    s.Host = "localhost";
    s.Port = peer.port();
    s.OnHostResolved = [&](FtpSocket *) { ++resolved; };
    s.Connect();
    EXPECT_TRUE(s.Connected());
    EXPECT_EQ(resolved, 1);
    EXPECT_EQ(s.RemoteAddress(), QHostAddress("127.0.0.1"));
}

TEST(SocketConnect, InvalidHostHandlerGetsOneRetry)
{
    Peer peer;
    FtpSocket s;
    s.Host = "bad..name";
    s.Port = peer.port();
    int asked = 0;
    s.OnInvalidHost = [&](bool &handled) {
        ++asked;
        s.Host = "127.0.0.1";
        handled = true;
    };
    s.Connect();
    EXPECT_TRUE(s.Connected());
    EXPECT_EQ(asked, 1);

    FtpSocket t;
    t.Host = "bad..name";
    t.Port = peer.port();
    asked = 0;
    t.OnInvalidHost = [&](bool &handled) {
        ++asked;
        handled = true; // but the name stays bad
    };
    Outcome o = outcomeOf([&] { t.Connect(); });
    EXPECT_EQ(o.message, "Null Remote Address");
    EXPECT_EQ(asked, 1);
}

TEST(SocketConnect, FailuresAndSecondConnect)
{
    Pair p;
    EXPECT_EQ(outcomeOf([&] { p.sock.Connect(); }).message, "Already connected");

    quint16 closedPort;
    {
        QTcpServer s;
        s.listen(QHostAddress::LocalHost, 0);
        closedPort = s.serverPort();
    }
    FtpSocket s;
    s.Host = "127.0.0.1";
    s.Port = closedPort;
    int failed = 0;
    s.OnConnectionFailed = [&](FtpSocket *) { ++failed; };
    Outcome o = outcomeOf([&] { s.Connect(); });
    EXPECT_EQ(o.kind, "ESockError");
    EXPECT_EQ(o.message, "Connection Failed");
    EXPECT_EQ(failed, 1);
    EXPECT_EQ(s.LastErrorNo(), 10061);
    // The object is ready for the next attempt.
    Peer peer;
    s.Port = peer.port();
    EXPECT_EQ(outcomeOf([&] { s.Connect(); }).kind, "");
}

TEST(SocketConnect, SetUpTimeOutEndsAStalledConnect)
{
    // A listener whose accept queue is full drops further connection
    // requests, so a connect to it stalls until the time-out.
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr), 0);
    ASSERT_EQ(::listen(fd, 0), 0);
    socklen_t len = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&addr), &len);
    const quint16 port = ntohs(addr.sin_port);
    std::vector<std::unique_ptr<QTcpSocket>> fillers;
    for (int i = 0; i < 3; ++i) {
        fillers.push_back(std::make_unique<QTcpSocket>());
        fillers.back()->connectToHost(QHostAddress::LocalHost, port);
    }
    spinUntil([] { return false; }, 100);

    FtpSocket s;
    s.Host = "127.0.0.1";
    s.Port = port;
    s.TimeOut = 300;
    int failed = 0;
    s.OnConnectionFailed = [&](FtpSocket *) { ++failed; };
    QElapsedTimer clock;
    clock.start();
    Outcome o = outcomeOf([&] { s.Connect(); });
    EXPECT_EQ(o.message, "Connection Timed out");
    EXPECT_TRUE(s.TimedOutFlag());
    EXPECT_EQ(failed, 1);
    EXPECT_GE(clock.elapsed(), 290);
    EXPECT_LT(clock.elapsed(), 3000);
    ::close(fd);
}

TEST(SocketTransaction, ReplyCodeFromLeadingDigits)
{
    struct Case {
        QByteArray reply;
        int code;
        const char *error;
    };
    const Case cases[] = {
        {"226 Transfer complete\r\n", 226, ""},
        {"no digits\r\n", 0, ""},
        {"\r\n", 0, ""},
        {"32767 edge\r\n", 32767, ""},
        {"32768 too big\r\n", 0, "Range check error"},
        {"9999999999 beyond 32 bits\r\n", 0, ""},
        {"12345678901 eleven digits\r\n", 0, "Range check error"}, // ten are taken
    };
    Pair p;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.reply.toStdString());
        p.peer.send(c.reply);
        std::string line;
        Outcome o = outcomeOf([&] { line = p.sock.Transaction("CMD"); });
        EXPECT_EQ(o.message, c.error);
        if (!*c.error) {
            EXPECT_EQ(p.sock.ReplyCode(), c.code);
            EXPECT_EQ(line, c.reply.toStdString());
        }
    }
    spinUntil([&] { return p.peer.received.size() >= 7 * 5; });
    EXPECT_TRUE(p.peer.received.startsWith("CMD\r\nCMD\r\n"));
}

TEST(SocketRead, LinesAndCounts)
{
    Pair p;
    // Two lines in one piece: the second is taken without waiting.
    p.peer.send(QByteArray("first\r\nsec\0nd\n", 14));
    EXPECT_EQ(p.sock.ReadLn(), "first\r\n");
    p.sock.NoDataTimeOut = 1;
    EXPECT_EQ(p.sock.ReadLn(), std::string("sec\0nd\n", 7)); // a zero byte is data
    p.sock.NoDataTimeOut = 3000;

    // Several socket chunks in one go.
    QByteArray big = patternBytes(3 * FtpSocket::kChunk + 5);
    p.peer.send(big);
    EXPECT_EQ(p.sock.Read(big.size()), big.toStdString());

    // Read(0) takes what is there and never waits.
    EXPECT_EQ(p.sock.Read(0), "");
    p.peer.send("abc");
    spinUntil([&] { return p.sock.UnreadCount() == 3; });
    EXPECT_EQ(p.sock.Read(0), "abc");
}

TEST(SocketRead, PeerClosingEndsEveryWait)
{
    {
        Pair p;
        p.peer.send("half a li");
        p.peer.sock->disconnectFromHost();
        Outcome o = outcomeOf([&] { p.sock.ReadLn(); });
        EXPECT_EQ(o.message, kMsgConnectionClosed);
        EXPECT_FALSE(p.sock.Connected());
        // What did arrive is still there.
        EXPECT_EQ(p.sock.Read(0), "half a li");
    }
    {
        Pair p;
        p.peer.send("12345");
        p.peer.sock->disconnectFromHost();
        EXPECT_EQ(outcomeOf([&] { p.sock.Read(10); }).message, kMsgConnectionClosed);
    }
    {
        Pair p;
        p.peer.send("last line without feed");
        p.peer.sock->disconnectFromHost();
        std::string line;
        ASSERT_TRUE(p.sock.ReadLnUntilClosed(line));
        EXPECT_EQ(line, "last line without feed");
        EXPECT_FALSE(p.sock.ReadLnUntilClosed(line));
    }
}

TEST(SocketRead, SilenceAndOverlongLinesEndTheWait)
{
    Pair p;
    p.sock.NoDataTimeOut = 200;
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(outcomeOf([&] { p.sock.ReadLn(); }).message, kMsgNoAnswer);
    EXPECT_GE(clock.elapsed(), 195);
    EXPECT_LT(clock.elapsed(), 3000);
    EXPECT_EQ(FtpSocket().NoDataTimeOut, 60000); // the default

    p.sock.NoDataTimeOut = 3000;
    // Exactly at the limit a line is still taken; one byte more is refused.
    QByteArray fits(FtpSocket::kMaxLineLength - 1, 'a');
    p.peer.send(fits + "\n");
    EXPECT_EQ(p.sock.ReadLn().size(), static_cast<size_t>(FtpSocket::kMaxLineLength));
    p.peer.send(fits + "b\n");
    EXPECT_EQ(outcomeOf([&] { p.sock.ReadLn(); }).message, kMsgLineTooLong);
}

TEST(SocketCancel, EndsWaitsWithAbortErrors)
{
    Pair p;
    QTimer::singleShot(20, &p.sock, [&] { p.sock.Cancel(); });
    Outcome o = outcomeOf([&] { p.sock.ReadLn(); });
    EXPECT_EQ(o.kind, "EAbortError");
    EXPECT_EQ(o.message, "Socket readln aborted");
    EXPECT_TRUE(p.sock.CancelFlag()); // left set for the caller
    // While the flag is set, sending does nothing and a byte count wait
    // ends at once, clearing it.
    p.sock.Writeln("NOT SENT");
    o = outcomeOf([&] { p.sock.Read(5); });
    EXPECT_EQ(o.message, "Socket send aborted");
    EXPECT_FALSE(p.sock.CancelFlag());
    p.sock.Writeln("SENT");
    spinUntil([&] { return p.peer.received.size() >= 6; });
    EXPECT_EQ(p.peer.received, QByteArray("SENT\r\n"));
}

TEST(SocketFiles, SendFileDeliversEveryByte)
{
    QTemporaryDir dir;
    Pair p;
    writeFileBytes(dir.path() + "/empty", "");
    p.sock.SendFile((dir.path() + "/empty").toStdString()); // returns at once
    EXPECT_EQ(p.sock.BytesSent(), 0);

    QByteArray bytes = patternBytes(2 * 1024 * 1024 + 3);
    writeFileBytes(dir.path() + "/big", bytes);
    int packets = 0;
    p.sock.OnPacketSent = [&](FtpSocket *) { ++packets; };
    p.sock.SendFile((dir.path() + "/big").toStdString());
    EXPECT_EQ(p.sock.BytesSent(), bytes.size());
    EXPECT_GT(packets, 0);
    spinUntil([&] { return p.peer.received.size() >= bytes.size(); });
    EXPECT_EQ(p.peer.received, bytes);

    EXPECT_EQ(outcomeOf([&] { p.sock.SendFile((dir.path() + "/missing").toStdString()); }).message,
              "Cannot open file " + (dir.path() + "/missing").toStdString());
}

TEST(SocketFiles, CaptureFileKeepsEarlyDataAndEndsOnClose)
{
    QTemporaryDir dir;
    Pair p;
    p.peer.send("early ");
    spinUntil([&] { return p.sock.UnreadCount() == 6; });
    QTimer::singleShot(10, &p.sock, [&] {
        p.peer.send("late");
        p.peer.sock->disconnectFromHost();
    });
    int packets = 0;
    p.sock.OnPacketRecvd = [&](FtpSocket *) { ++packets; };
    std::string path = (dir.path() + "/cap").toStdString();
    p.sock.CaptureFile(path);
    EXPECT_EQ(readFileBytes(QString::fromStdString(path)), QByteArray("early late"));
    EXPECT_EQ(p.sock.BytesRecvd(), 10);
    EXPECT_GE(packets, 1);
}

TEST(SocketFiles, ProgressHandlerRunningTheEventLoopLosesNoData)
{
    // A progress display that lets the window repaint from OnPacketRecvd
    // must not lose the bytes still buffered when the peer closes.
    QTemporaryDir dir;
    Pair p;
    QByteArray bytes = patternBytes(1024 * 1024 + 11, 5);
    QTimer::singleShot(0, &p.sock, [&] {
        p.peer.send(bytes);
        p.peer.sock->disconnectFromHost();
    });
    p.sock.OnPacketRecvd = [](FtpSocket *) { QCoreApplication::processEvents(); };
    std::string path = (dir.path() + "/cap").toStdString();
    p.sock.CaptureFile(path);
    EXPECT_EQ(p.sock.BytesRecvd(), bytes.size());
    EXPECT_EQ(readFileBytes(QString::fromStdString(path)), bytes);
}

TEST(SocketFiles, CancelledCaptureLeavesTheOldFile)
{
    QTemporaryDir dir;
    Pair p;
    QString path = dir.path() + "/cap";
    writeFileBytes(path, "old");
    p.peer.send("partial");
    QTimer::singleShot(30, &p.sock, [&] { p.sock.Cancel(); });
    Outcome o = outcomeOf([&] { p.sock.CaptureFile(path.toStdString()); });
    EXPECT_EQ(o.message, "Socket send aborted");
    EXPECT_EQ(readFileBytes(path), QByteArray("old"));
    EXPECT_EQ(folderEntries(dir.path()), (std::vector<std::string>{"cap"}));
}

TEST(SocketListen, AcceptAndPortText)
{
    FtpSocket listener;
    listener.Port = 0;
    listener.NoDataTimeOut = 3000;
    listener.Listen();
    ASSERT_TRUE(listener.IsListening());
    std::string portText = listener.LocalPortForPort();
    int hi = 0, lo = 0;
    ASSERT_EQ(std::sscanf(portText.c_str(), ",%d,%d", &hi, &lo), 2);
    quint16 port = static_cast<quint16>(hi * 256 + lo);
    EXPECT_GT(port, 0);

    FtpSocket client;
    client.Host = "127.0.0.1";
    client.Port = port;
    client.Connect();
    EXPECT_EQ(client.LocalIPForPort(), "127,0,0,1");
    client.Writeln("hello");
    listener.InstallSocket(listener.Accept());
    EXPECT_FALSE(listener.IsListening());
    EXPECT_TRUE(listener.Connected());
    EXPECT_EQ(listener.ReadLn(), "hello\r\n");
    EXPECT_EQ(listener.RemoteAddress(), QHostAddress("127.0.0.1"));
}

TEST(SocketListen, NobodyConnectingEndsInNoAnswer)
{
    FtpSocket listener;
    listener.NoDataTimeOut = 150;
    listener.Listen();
    EXPECT_EQ(outcomeOf([&] { listener.Accept(); }).message, kMsgNoAnswer);
    QTimer::singleShot(10, &listener, [&] { listener.Cancel(); });
    listener.NoDataTimeOut = 3000;
    EXPECT_EQ(outcomeOf([&] { listener.Accept(); }).message, "Accepting Canceled");
}

TEST(SocketStatus, ReportsUpToTheLevel)
{
    Peer peer;
    std::vector<std::string> seen;
    FtpSocket s;
    s.ReportLevel = 4;
    s.OnStatus = [&](FtpSocket *, const std::string &t) { seen.push_back(t); };
    s.Host = "127.0.0.1";
    s.Port = peer.port();
    s.Connect(); // "Connecting" is level 8: not reported
    s.Disconnect();
    EXPECT_EQ(seen, (std::vector<std::string>{"Request Close Socket"}));
    EXPECT_EQ(s.Status(), "Request Close Socket");
    seen.clear();
    s.ReportLevel = 0;
    s.Connect();
    EXPECT_TRUE(seen.empty());
}

TEST(SocketWaits, WakeOnNotificationNotOnASleep)
{
    // Round trips against a peer that answers at once. A wait that slept a
    // fixed 2 ms per look would need at least a second for these.
    Pair p;
    QObject::connect(p.peer.sock, &QTcpSocket::readyRead, [&] {
        while (p.peer.received.contains('\n')) {
            p.peer.received.remove(0, p.peer.received.indexOf('\n') + 1);
            p.peer.send("200 ok\r\n");
        }
    });
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < 500; ++i)
        ASSERT_EQ(p.sock.Transaction("NOOP"), "200 ok\r\n");
    EXPECT_LT(clock.elapsed(), 1000);
}

TEST(ThreadTimer, RunsOnlyWhenEnabledWithIntervalAndHandler)
{
    SocketTimer t;
    EXPECT_TRUE(t.Enabled());
    EXPECT_EQ(t.Interval(), 1000);
    EXPECT_FALSE(t.isRunning()); // no handler yet
    int fired = 0;
    t.setInterval(5);
    t.setOnTimer([&](SocketTimer *) { ++fired; });
    EXPECT_TRUE(t.isRunning());
    spinUntil([&] { return fired >= 2; }, 2000);
    EXPECT_GE(fired, 2);
    t.setEnabled(false);
    int at = fired;
    spinUntil([] { return false; }, 30);
    EXPECT_EQ(fired, at);
    t.setEnabled(true);
    t.setInterval(0);
    EXPECT_FALSE(t.isRunning());
}

TEST(FtpReplyParsing, SizeRule)
{
    const std::pair<const char *, int> cases[] = {
        {"150 Opening BINARY mode data connection for f (1234 bytes).", 1234},
        {"150 1234 BYTES", 1234},
        {"150 size 77bYtEs", 77},
        {"150 Opening data connection", 0},
        {"bytes 99", 0},                           // no digit before "BYTE"
        {"150 bytes 99", 150},                     // the reply code is the nearest run
        {"150 (12) of (34 x) bytes", 34},           // the nearest run of digits
        {"150 99999999999 bytes", 0},               // beyond 32 bits
        {"150 2147483647 bytes", 2147483647},
    };
    for (const auto &[line, size] : cases)
        EXPECT_EQ(FtpClient::SizeFromReply(line), size) << line;
}

TEST(FtpReplyParsing, CommandKinds)
{
    const std::pair<const char *, FtpCommandKind> cases[] = {
        {"CWD /data", cmdChangeDir}, {"MKD x", cmdMakeDir},   {"DELE f", cmdDelete},
        {"RMD x", cmdRemoveDir},     {"PWD", cmdCurrentDir},  {"PWD x", cmdDoCommand},
        {"cwd x", cmdDoCommand},     {"CWD", cmdChangeDir},   {"NOOP", cmdDoCommand},
    };
    for (const auto &[command, kind] : cases)
        EXPECT_EQ(FtpClient::CommandKind(command), kind) << command;
    EXPECT_EQ(static_cast<int>(cmdNList), 13);
    EXPECT_EQ(static_cast<int>(cmdDoCommand), 14);
}

} // namespace

namespace {

TEST(ReplacingFileTest, ReplacesOnlyOnCommitAndKeepsPermissions)
{
    QTemporaryDir dir;
    const QString target = dir.path() + "/post.txt";
    writeFileBytes(target, "old");
    QFile::setPermissions(target, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    {
        ReplacingFile f(target.toStdString());
        ASSERT_TRUE(f.open());
        f.device().write("dropped");
    }
    EXPECT_EQ(readFileBytes(target), QByteArray("old"));
    EXPECT_EQ(folderEntries(dir.path()), (std::vector<std::string>{"post.txt"}));
    {
        ReplacingFile f(target.toStdString());
        ASSERT_TRUE(f.open());
        f.device().write("new");
        ASSERT_TRUE(f.commit());
    }
    EXPECT_EQ(readFileBytes(target), QByteArray("new"));
    EXPECT_EQ(folderEntries(dir.path()), (std::vector<std::string>{"post.txt"}));
    EXPECT_EQ(QFile::permissions(target) & 0x7777,
              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser
                  | QFileDevice::WriteUser);

    const QString fresh = dir.path() + "/fresh.txt";
    ReplacingFile g(fresh.toStdString());
    ASSERT_TRUE(g.open());
    ASSERT_TRUE(g.commit());
    EXPECT_TRUE(QFile::permissions(fresh) & QFileDevice::ReadOther);
    EXPECT_FALSE(ReplacingFile((dir.path() + "/no/such/f").toStdString()).open());
}

TEST(ReplacingFileTest, LongNamesFitAndWhatAKilledRunLeftIsReplaced)
{
    QTemporaryDir dir;
    // 254 bytes: the usual temporary name would pass the 255-byte limit.
    const QString target = dir.path() + "/" + QString(250, QChar('p')) + ".txt";
    const QString leftover = QString::fromStdString(temporaryNameFor(target.toStdString()));
    writeFileBytes(leftover, "half of an earlier download");
    ReplacingFile f(target.toStdString());
    ASSERT_TRUE(f.open());
    f.device().write("whole");
    ASSERT_TRUE(f.commit());
    EXPECT_EQ(readFileBytes(target), QByteArray("whole"));
    EXPECT_EQ(folderEntries(dir.path()),
              (std::vector<std::string>{QFileInfo(target).fileName().toStdString()}));
}

TEST(TemporaryNames, StayInTheirFolderWithinTheLimitAndAreTheSameEveryTime)
{
    EXPECT_EQ(temporaryNameFor("index.html"), ".index.html.part");
    EXPECT_EQ(temporaryNameFor("/www/archive/2024-01.html"), "/www/archive/.2024-01.html.part");
    EXPECT_EQ(temporaryNameFor("/wwwindex.html"), "/.wwwindex.html.part");
    // Names too long for the usual form: cut, with a hash of the whole name,
    // never inside a UTF-8 character, different for names that differ late.
    for (const std::string &name : {std::string(249, 'a') + ".txt", std::string(300, 'a'),
                                    QString(150, QChar(0xE9)).toUtf8().toStdString()}) {
        const std::string temp = temporaryNameFor("/www/" + name);
        const std::string bare = temp.substr(5);
        EXPECT_EQ(temp.substr(0, 6), "/www/.");
        EXPECT_LE(bare.size(), kMaxFileNameBytes);
        EXPECT_EQ(bare.substr(bare.size() - 5), ".part");
        EXPECT_EQ(QString::fromUtf8(bare.c_str()).toUtf8().toStdString(), bare);
        EXPECT_EQ(temporaryNameFor("/www/" + name), temp);
        EXPECT_NE(temporaryNameFor("/www/" + name + "x"), temp);
    }
    EXPECT_EQ(temporaryNameFor(std::string(249, 'b')).size(), 255u);
}

} // namespace
