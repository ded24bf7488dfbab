// The S3 client against s3rver on a loopback port (it checks every request's
// SigV4 signature), and against a small scripted HTTP server of the test's
// own for answers s3rver never gives (throttling, failing servers).
#include "publish/ftpsocket.h" // EAbortError
#include "publish/s3client.h"
#include "publish/transport.h"
#include "s3server.h"
#include "sshserver.h" // runProgram
#include "testsupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <numeric>
#include <set>

namespace tl {
void PrintTo(const RemoteFile &f, std::ostream *os)
{
    *os << "{\"" << f.name << "\", " << f.size << "}";
}
} // namespace tl

using namespace tl;
using namespace tl::test;

namespace {

const char *const kBucket = "tl-site";

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

// The answer of a plain HTTP request as curl's command line shows its
// headers (s3rver serves objects without a signature).
QByteArray headersOf(const std::string &url)
{
    QByteArray out;
    runProgram("curl", { "-sSI", QString::fromStdString(url) }, &out);
    return out;
}

class S3 : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_dir = new QTemporaryDir;
        s_server = new S3Server(s_dir->path());
        s_started = s_server->start({ kBucket });
    }
    static void TearDownTestSuite()
    {
        delete s_server;
        delete s_dir;
        s_server = nullptr;
        s_dir = nullptr;
    }

    void SetUp() override
    {
        ASSERT_TRUE(s_started) << s_server->error().toStdString();
        ASSERT_TRUE(local.isValid());
        // Each test below a prefix of its own, so the tests share the server.
        prefix
            = std::string("t/") + ::testing::UnitTest::GetInstance()->current_test_info()->name();
        client = makeClient(S3Server::kSecret);
    }

    std::unique_ptr<S3Client> makeClient(const std::string &secret)
    {
        auto c = std::make_unique<S3Client>();
        c->settings.endpoint = s_server->endpoint().toStdString();
        c->settings.bucket = kBucket;
        c->settings.keyPrefix = prefix;
        c->settings.accessKeyId = S3Server::kAccessKeyId;
        c->settings.secret = secret;
        c->onLog = [this](const std::string &line) { logLines.push_back(line); };
        return c;
    }

    // Writes a local file below the test's folder; returns its path.
    std::string localFile(const QString &rel, const std::string &bytes)
    {
        const QString path = local.path() + "/" + rel;
        QDir().mkpath(QFileInfo(path).path());
        writeBytes(path, bytes);
        return path.toStdString();
    }

    static QTemporaryDir *s_dir;
    static S3Server *s_server;
    static bool s_started;

    QTemporaryDir local;
    std::string prefix;
    std::unique_ptr<S3Client> client;
    std::vector<std::string> logLines;
};

QTemporaryDir *S3::s_dir = nullptr;
S3Server *S3::s_server = nullptr;
bool S3::s_started = false;

TEST_F(S3, ManyFilesArriveWholeAndListInPagesWithTheirSizes)
{
    // More files than one listing page holds, of every size class, with
    // names that need encoding in a URL.
    std::map<std::string, std::string> files;
    for (int i = 0; i < 1030; ++i)
        files["archive/" + std::to_string(1000 + i) + ".html"] = patternBytes(size_t(i % 50), i);
    files["index.html"] = "<html>\x9a\xe8</html>";
    files["empty.txt"] = "";
    files["big.bin"] = patternBytes(1300000, 7);
    files["a b/c+d;e%(1).html"] = "odd name";
    files["a b/\xc5\xbelu\xc5\xa5ou\xc4\x8dk\xc3\xbd.html"] = "UTF-8 name";

    std::vector<FileUpload> uploads;
    int n = 0;
    for (const auto &[name, bytes] : files)
        uploads.push_back({ localFile(QString("up/%1").arg(n++), bytes), "/www/" + name });
    qint64 lastDone = 0, lastTotal = 0;
    client->onProgress = [&](qint64 done, qint64 total) {
        lastDone = done;
        lastTotal = total;
    };
    std::multiset<size_t> confirmed;
    ASSERT_NO_THROW(client->open());
    ASSERT_NO_THROW(client->upload(uploads, [&](size_t i) { confirmed.insert(i); }));
    EXPECT_EQ(confirmed.size(), uploads.size());
    EXPECT_EQ(std::set<size_t>(confirmed.begin(), confirmed.end()).size(), uploads.size());
    qint64 allBytes = 0;
    for (const auto &[name, bytes] : files)
        allBytes += qint64(bytes.size());
    EXPECT_EQ(lastTotal, allBytes);
    EXPECT_EQ(lastDone, allBytes);

    std::vector<RemoteFile> expected;
    for (const auto &[name, bytes] : files)
        expected.push_back({ name, qint64(bytes.size()) });
    std::vector<RemoteFile> listed;
    ASSERT_NO_THROW(listed = client->list("www", true));
    std::sort(listed.begin(), listed.end(),
        [](const RemoteFile &a, const RemoteFile &b) { return a.name < b.name; });
    EXPECT_EQ(listed, expected);

    // One level: the folder's own files, not those of its sub-folders.
    std::vector<std::string> top;
    for (const RemoteFile &f : client->list("/www/", false))
        top.push_back(f.name);
    EXPECT_EQ(top, (std::vector<std::string> { "big.bin", "empty.txt", "index.html" }));

    for (const std::string name : { "index.html", "empty.txt", "big.bin", "a b/c+d;e%(1).html",
             "a b/\xc5\xbelu\xc5\xa5ou\xc4\x8dk\xc3\xbd.html" }) {
        const std::string back = (local.path() + "/back").toStdString();
        ASSERT_NO_THROW(client->download("www/" + name, back)) << name;
        EXPECT_EQ(fileBytes(QString::fromStdString(back)), files[name]) << name;
        EXPECT_EQ(client->size("www/" + name), qint64(files[name].size())) << name;
    }
    EXPECT_EQ(client->size("www/missing.html"), -1);
}

TEST_F(S3, AsATransportItConfirmsUploadsInTheListsOrder)
{
    // The big first file is stored after the small ones behind it; the
    // publisher still hears of the files in the list's order, of each once.
    std::vector<Upload> uploads;
    uploads.push_back({ localFile("up/big", patternBytes(4000000, 1)), prefix + "/big.bin" });
    for (int i = 0; i < 40; ++i)
        uploads.push_back({ localFile(QString("up/%1").arg(i), patternBytes(100, unsigned(i))),
            prefix + "/" + std::to_string(i) + ".html" });
    PublishAccount account;
    account.kind = PublishAccount::Kind::S3;
    account.s3Endpoint = s_server->endpoint().toStdString();
    account.s3Bucket = kBucket;
    account.s3KeyId = S3Server::kAccessKeyId;
    account.password = S3Server::kSecret;
    const std::unique_ptr<Transport> transport = makeTransport(account, {});
    std::vector<size_t> order;
    ASSERT_NO_THROW(transport->connect());
    ASSERT_NO_THROW(transport->uploadMany(uploads, [&](size_t i) { order.push_back(i); }));
    std::vector<size_t> expected(uploads.size());
    std::iota(expected.begin(), expected.end(), size_t(0));
    EXPECT_EQ(order, expected);
    EXPECT_EQ(client->list("", true).size(), uploads.size());
}

TEST_F(S3, EachFileGetsTheContentTypeOfItsKind)
{
    const std::vector<std::pair<std::string, std::string>> kinds = {
        { "index.html", "text/html; charset=windows-1250" },
        { "rss.xml", "application/xml" },
        { "photo.JPG", "image/jpeg" },
        { "pic.png", "image/png" },
        { "style.css", "text/css" },
        { "posts/1049328060.txt", "text/plain; charset=windows-1250" },
        { "blob", "application/octet-stream" },
    };
    std::vector<FileUpload> uploads;
    for (const auto &[name, type] : kinds)
        uploads.push_back({ localFile(QString::fromStdString(name), "x"), name });
    ASSERT_NO_THROW(client->upload(uploads));
    for (const auto &[name, type] : kinds) {
        const QByteArray answer = headersOf(client->urlOf(client->keyOf(name)));
        EXPECT_TRUE(answer.contains("Content-Type: " + QByteArray::fromStdString(type) + "\r\n"))
            << name << ": " << answer.toStdString();
    }
    // A caller's table wins, and the charset is the caller's.
    client->textCharset = "utf-8";
    client->contentTypeOf = [](const std::string &name) {
        return name == "feed" ? std::string("application/rss+xml")
                              : S3Client::contentTypeFor(name, "utf-8");
    };
    ASSERT_NO_THROW(client->upload(
        { { localFile("feed", "x"), "feed" }, { localFile("page.htm", "x"), "page.htm" } }));
    EXPECT_TRUE(headersOf(client->urlOf(client->keyOf("feed"))).contains("application/rss+xml"));
    EXPECT_TRUE(headersOf(client->urlOf(client->keyOf("page.htm")))
                    .contains("Content-Type: text/html; charset=utf-8\r\n"));
}

TEST_F(S3, WrongCredentialsFailAtOnceNamingTheCause)
{
    auto wrongSecret = makeClient("not the secret");
    try {
        wrongSecret->open();
        FAIL() << "a wrong secret was accepted";
    } catch (const S3Error &e) {
        EXPECT_EQ(e.status(), 403);
        EXPECT_EQ(e.code(), "SignatureDoesNotMatch");
        EXPECT_NE(std::string(e.what()).find("the secret access key is wrong"), std::string::npos)
            << e.what();
    }
    // An upload with it is refused the same way, without retries.
    try {
        wrongSecret->upload({ { localFile("a.html", "a"), "a.html" } });
        FAIL() << "a wrong secret was accepted";
    } catch (const S3Error &e) {
        EXPECT_EQ(e.code(), "SignatureDoesNotMatch");
    }
    EXPECT_TRUE(logLines.empty());

    auto wrongKey = makeClient(S3Server::kSecret);
    wrongKey->settings.accessKeyId = "NOSUCHKEY";
    try {
        wrongKey->size("a.html");
        FAIL() << "an unknown key was accepted";
    } catch (const S3Error &e) {
        // The answer to HEAD has no text; the client asks again to tell why.
        EXPECT_EQ(e.code(), "InvalidAccessKeyId");
        EXPECT_NE(std::string(e.what()).find("does not know the access key ID \"NOSUCHKEY\""),
            std::string::npos)
            << e.what();
    }

    auto noBucket = makeClient(S3Server::kSecret);
    noBucket->settings.bucket = "no-such-bucket";
    try {
        noBucket->open();
        FAIL() << "a missing bucket was accepted";
    } catch (const S3Error &e) {
        EXPECT_EQ(std::string(e.what()),
            "The bucket \"no-such-bucket\" does not exist at " + s_server->endpoint().toStdString()
                + " (404 NoSuchBucket).");
    }
}

TEST_F(S3, RemovedNamesLeaveTheBucketAndTheOthersStay)
{
    ASSERT_NO_THROW(client->upload({ { localFile("1", "one"), "a/one.html" },
        { localFile("2", "two"), "a/two.html" }, { localFile("3", "three"), "b/three.html" } }));
    ASSERT_NO_THROW(client->remove({ "a/one.html", "/b/three.html", "a/never-there.html" }));
    EXPECT_EQ(client->list("", true), (std::vector<RemoteFile> { { "a/two.html", 3 } }));
}

TEST_F(S3, AddressingPutsTheBucketWhereTheServerLooksAndEncodesKeys)
{
    // s3rver checks the signature of a virtual-hosted request against the
    // path with the bucket put back in front, unlike S3, so only the URLs
    // are checked here; curl signs whatever URL it is given.
    S3Client c;
    c.settings.endpoint = "https://s3.eu-central-1.amazonaws.com/";
    c.settings.bucket = "blog";
    c.settings.keyPrefix = "/site";
    EXPECT_EQ(c.urlOf(c.keyOf("/a b/\xc3\xa9+(1).html")),
        "https://blog.s3.eu-central-1.amazonaws.com/site/a%20b/%C3%A9%2B%281%29.html");
    c.settings.bucket = "www.example.com"; // dots: not a valid part of the certificate's name
    EXPECT_EQ(c.urlOf("k"), "https://s3.eu-central-1.amazonaws.com/www.example.com/k");
    c.settings.endpoint = "minio.example.com:9000";
    c.settings.bucket = "blog";
    EXPECT_EQ(c.urlOf("k"), "https://minio.example.com:9000/blog/k");
    c.settings.addressing = S3Settings::Addressing::VirtualHosted;
    EXPECT_EQ(c.urlOf("k"), "https://blog.minio.example.com:9000/k");
}

TEST_F(S3, CancelEndsADownloadAtOnceAndKeepsTheOldFile)
{
    ASSERT_NO_THROW(client->upload({ { localFile("big", patternBytes(40 << 20, 3)), "big.bin" } }));
    const QString target = local.path() + "/kept.bin";
    writeBytes(target, "old");
    QElapsedTimer clock;
    qint64 cancelledAt = -1;
    client->onProgress = [&](qint64 done, qint64) {
        if (done > 0 && cancelledAt < 0) {
            client->cancel();
            cancelledAt = clock.elapsed();
        }
    };
    clock.start();
    EXPECT_THROW(client->download("big.bin", target.toStdString()), EAbortError);
    EXPECT_GE(cancelledAt, 0);
    EXPECT_LT(clock.elapsed() - cancelledAt, 200);
    EXPECT_EQ(fileBytes(target), "old");
    EXPECT_EQ(QDir(local.path()).entryList({ "kept.bin.*" }, QDir::Files), QStringList());
    // The client works again afterwards.
    client->onProgress = nullptr;
    EXPECT_EQ(client->size("big.bin"), qint64(40 << 20));
}

// ------------------------------------------------- scripted HTTP answers

// Answers each request with the next of a list of status lines and bodies
// (the last one repeats), and counts the requests.
class ScriptedHttp {
public:
    explicit ScriptedHttp(std::vector<std::pair<int, std::string>> answers)
        : m_answers(std::move(answers))
    {
        m_server.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&m_server, &QTcpServer::newConnection, [this] {
            while (QTcpSocket *s = m_server.nextPendingConnection())
                QObject::connect(s, &QTcpSocket::readyRead, s, [this, s] { serve(s); });
        });
    }
    std::string endpoint() const
    {
        return "http://127.0.0.1:" + std::to_string(m_server.serverPort());
    }
    int requests = 0;

private:
    void serve(QTcpSocket *s)
    {
        QByteArray &in = m_input[s];
        in += s->readAll();
        for (;;) {
            const qsizetype end = in.indexOf("\r\n\r\n");
            if (end < 0)
                return;
            const QByteArray head = in.left(end).toLower();
            qsizetype length = 0;
            const qsizetype at = head.indexOf("content-length:");
            if (at >= 0)
                length = head.mid(at + 15, head.indexOf('\r', at) - at - 15).trimmed().toLongLong();
            if (in.size() < end + 4 + length)
                return;
            in.remove(0, end + 4 + length);
            const auto &[status, body]
                = m_answers[std::min(size_t(requests), m_answers.size() - 1)];
            ++requests;
            s->write(QByteArray("HTTP/1.1 ") + QByteArray::number(status)
                + " X\r\nContent-Length: " + QByteArray::number(qsizetype(body.size())) + "\r\n\r\n"
                + QByteArray::fromStdString(body));
        }
    }
    QTcpServer m_server;
    std::vector<std::pair<int, std::string>> m_answers;
    std::map<QTcpSocket *, QByteArray> m_input;
};

std::string s3ErrorBody(const char *code)
{
    return std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?><Error><Code>") + code
        + "</Code><Message>m</Message></Error>";
}

TEST_F(S3, ThrottlingAndServerErrorsAreRetriedWithPausesThenFail)
{
    ScriptedHttp throttled(
        { { 503, s3ErrorBody("SlowDown") }, { 500, s3ErrorBody("InternalError") }, { 200, "" } });
    client->settings.endpoint = throttled.endpoint();
    client->retryPauseMs = 50;
    QElapsedTimer clock;
    clock.start();
    ASSERT_NO_THROW(client->upload({ { localFile("p.html", "page"), "p.html" } }));
    EXPECT_EQ(throttled.requests, 3);
    EXPECT_GE(clock.elapsed(), 50 * 3 * 75 / 100); // two pauses, the second twice the first
    ASSERT_EQ(logLines.size(), 2u);
    EXPECT_NE(logLines[0].find("HTTP 503 SlowDown"), std::string::npos) << logLines[0];

    ScriptedHttp broken({ { 502, "" } });
    client->settings.endpoint = broken.endpoint();
    client->maxAttempts = 3;
    try {
        client->upload({ { localFile("p.html", "page"), "p.html" } });
        FAIL() << "a failing server was taken for a working one";
    } catch (const S3Error &e) {
        EXPECT_EQ(e.status(), 502);
        EXPECT_NE(std::string(e.what()).find("(after 3 tries)"), std::string::npos) << e.what();
    }
    EXPECT_EQ(broken.requests, 3);

    // A refusal that no retry can change is not retried.
    ScriptedHttp denied({ { 403, s3ErrorBody("AccessDenied") } });
    client->settings.endpoint = denied.endpoint();
    EXPECT_THROW(client->upload({ { localFile("p.html", "page"), "p.html" } }), S3Error);
    EXPECT_EQ(denied.requests, 1);
}

} // namespace
