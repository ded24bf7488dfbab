// Servers that try to hold the client or grow its memory: each case ends
// within its limit, with its own message.
#include "ftptestutil.h"
#include "publish/ftpclient.h"
#include "scriptserver.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace tl;
using namespace tl::test;

namespace {

// Resident memory of this process, in bytes.
qint64 residentBytes()
{
    QFile f("/proc/self/status");
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').front().toLongLong() * 1024;
    return 0;
}

struct Timed {
    Outcome outcome;
    qint64 ms;
};

Timed timed(const std::function<void()> &work)
{
    QElapsedTimer clock;
    clock.start();
    Outcome o = outcomeOf(work);
    return {o, clock.elapsed()};
}

class HostileServer : public ::testing::Test {
protected:
    void SetUp() override
    {
        ftp.Host = "127.0.0.1";
        ftp.Port = server.port();
        ftp.UserID = "user";
        ftp.Password = "pw";
    }
    ScriptServer server;
    FtpClient ftp;
    QTemporaryDir dir;
};

TEST_F(HostileServer, FloodOnTheControlConnectionDuringADownloadFailsItWithBoundedMemory)
{
    ftp.NoDataTimeOut = 20000;
    const qint64 before = residentBytes();
    qint64 peak = before;
    qint64 flooded = 0;
    QTimer flood;
    server.handlers["RETR"] = [&](ScriptSession &s, const std::string &) {
        s.reply("150 Here it comes\r\n");
        // One byte of data, then the data connection stays open while the
        // control connection is flooded with up to 300 MB of text.
        s.openData([](QTcpSocket *d) { d->write("x"); });
        QObject::connect(&flood, &QTimer::timeout, [&, control = s.control] {
            peak = std::max(peak, residentBytes());
            if (control->state() != QAbstractSocket::ConnectedState || flooded > 300 * 1024 * 1024) {
                flood.stop();
                return;
            }
            const QByteArray lines = QByteArray(998, 'f') + "\r\n";
            while (control->bytesToWrite() < 1024 * 1024) {
                control->write(lines.repeated(64));
                flooded += 64 * 1000;
            }
        });
        flood.start(1);
    };
    ftp.Connect();
    Timed t = timed([&] { ftp.Download("f", (dir.path() + "/f").toStdString()); });
    EXPECT_EQ(t.outcome.kind, "ESockError");
    EXPECT_EQ(t.outcome.message, kMsgInputFlood);
    EXPECT_LT(t.ms, 5000);
    EXPECT_FALSE(ftp.Connected()); // the control connection cannot be trusted any more
    EXPECT_TRUE(folderEntries(dir.path()).empty());
    EXPECT_LT(peak - before, 24 * 1024 * 1024) << "flooded " << flooded;
    // The next Connect starts afresh.
    EXPECT_EQ(outcomeOf([&] { ftp.Connect(); }).kind, "");
}

TEST_F(HostileServer, Greeting421OnAConnectionKeptOpenFailsAtOnce)
{
    ftp.NoDataTimeOut = 5000;
    server.greeting = "421 Too many connections\r\n";
    server.handlers["QUIT"] = [](ScriptSession &, const std::string &) {}; // never answered
    Timed t = timed([&] { ftp.Connect(); });
    EXPECT_EQ(t.outcome.message, "Socket readln aborted");
    EXPECT_LT(t.ms, 1000);
    EXPECT_FALSE(ftp.Connected());
}

TEST_F(HostileServer, SilentServerFailsTheConnectWithinOneSilenceLimit)
{
    ftp.NoDataTimeOut = 600;
    server.greeting = ""; // accepts, then says nothing
    Timed t = timed([&] { ftp.Connect(); });
    EXPECT_EQ(t.outcome.message, kMsgNoAnswer);
    EXPECT_GE(t.ms, 590);
    EXPECT_LT(t.ms, 1100); // not a second wait for the answer to QUIT
    EXPECT_FALSE(ftp.Connected());
}

TEST_F(HostileServer, ReplyThatNeverEndsIsBoundedInTimeAndSize)
{
    // A line every 50 ms: no single wait is silent for long.
    ftp.NoDataTimeOut = 700;
    server.greeting = "220-Welcome\r\n";
    QTimer trickle;
    QObject::connect(&trickle, &QTimer::timeout, [&] {
        if (server.session)
            server.session->reply("220-and more\r\n");
    });
    trickle.start(50);
    Timed t = timed([&] { ftp.Connect(); });
    trickle.stop();
    EXPECT_EQ(t.outcome.message, kMsgReplyNotEnded);
    EXPECT_GE(t.ms, 690);
    EXPECT_LT(t.ms, 1500);

    // 300 KB of continuation lines at once.
    ftp.NoDataTimeOut = 5000;
    server.greeting = "220 Hello\r\n";
    server.handlers["USER"] = [](ScriptSession &s, const std::string &) {
        s.reply((QByteArray("331-") + QByteArray(994, 'x') + "\r\n").repeated(300));
    };
    t = timed([&] { ftp.Connect(); });
    EXPECT_EQ(t.outcome.message, kMsgReplyTooLong);
    EXPECT_LT(t.ms, 2000);
}

// A loopback listener that never accepts: the system completes a few
// connections into its queue (and nobody reads them), later ones stall.
class DeafListener {
public:
    DeafListener()
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(m_fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr);
        ::listen(m_fd, 0);
        socklen_t len = sizeof addr;
        ::getsockname(m_fd, reinterpret_cast<sockaddr *>(&addr), &len);
        m_port = ntohs(addr.sin_port);
    }
    ~DeafListener() { ::close(m_fd); }
    quint16 port() const { return m_port; }

private:
    int m_fd;
    quint16 m_port = 0;
};

TEST(ConnectionSetUp, WithoutTimeOutTheSilenceLimitEndsAStalledConnect)
{
    DeafListener deaf;
    ASSERT_NE(deaf.port(), 0);
    std::vector<std::unique_ptr<QTcpSocket>> fillers;
    for (int i = 0; i < 3; ++i) {
        fillers.push_back(std::make_unique<QTcpSocket>());
        fillers.back()->connectToHost(QHostAddress::LocalHost, deaf.port());
    }
    spinUntil([] { return false; }, 100);

    FtpClient ftp;
    ftp.Host = "127.0.0.1";
    ftp.Port = deaf.port();
    ftp.NoDataTimeOut = 400;
    Timed t = timed([&] { ftp.Connect(); });
    EXPECT_EQ(t.outcome.message, "Connection Timed out");
    EXPECT_GE(t.ms, 390);
    EXPECT_LT(t.ms, 2000);
}

TEST(SendBuffer, BytesSentStayCloseToWhatThePeerCanHaveReceived)
{
    // A peer that reads nothing: whatever counts as sent waits in the two
    // systems' buffers. Bounded, they held about 220 KB here; left to the
    // system, about 4 MB, and a progress bar ran that far ahead of the wire.
    QTemporaryDir dir;
    writeFileBytes(dir.path() + "/big", patternBytes(32 * 1024 * 1024));
    DeafListener deaf;
    FtpSocket sock;
    sock.Host = "127.0.0.1";
    sock.Port = deaf.port();
    sock.NoDataTimeOut = 5000;
    sock.SendBufferLimit = FtpClient::kDataSendBuffer;
    sock.Connect();
    qint64 most = 0;
    sock.OnPacketSent = [&](FtpSocket *s) { most = std::max(most, s->BytesSent()); };
    QTimer::singleShot(500, [&] { sock.Cancel(); });
    Outcome o = outcomeOf([&] { sock.SendFile((dir.path() + "/big").toStdString()); });
    EXPECT_EQ(o.kind, "EAbortError");
    EXPECT_GT(most, 0);
    EXPECT_LT(most, 1024 * 1024);
}

} // namespace
