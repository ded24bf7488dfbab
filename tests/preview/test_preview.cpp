// The preview over a real socket: the open post's page and its picture, a
// reload after a change, the generated site beside it with the real one
// untouched, and the refusals that keep the server to its own files.
#include "testsupport.h"

#include "core/projectsettings.h"
#include "posts/postfile.h"
#include "preview/previewsession.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

using namespace tl;
using namespace tl::test;
using tl::preview::PreviewPost;
using tl::preview::PreviewSession;

namespace {

const QString kTemplates = QStringLiteral(TL_TEST_DATA_DIR "/generator/fixture/templates/");
const QString kPosts = QStringLiteral(TL_TEST_DATA_DIR "/generator/fixture/data/");

struct Reply {
    int status = 0;
    QByteArray head; // status line and headers
    QByteArray body;
};

// Runs the event loop (the server lives on this thread) until the condition
// holds or five seconds pass.
template <typename Condition>
bool waitFor(Condition done)
{
    QEventLoop loop;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, &loop, &QEventLoop::quit);
    tick.start(5);
    for (int i = 0; i < 1000 && !done(); ++i)
        loop.exec();
    return done();
}

// One request as written, the whole reply until the server closes.
Reply request(quint16 port, const QByteArray &raw)
{
    QTcpSocket s;
    s.connectToHost(QStringLiteral("127.0.0.1"), port);
    QByteArray all;
    bool closed = false;
    QObject::connect(&s, &QTcpSocket::readyRead, [&] { all += s.readAll(); });
    QObject::connect(&s, &QTcpSocket::disconnected, [&] { closed = true; });
    waitFor([&] { return s.state() == QAbstractSocket::ConnectedState; });
    s.write(raw);
    waitFor([&] { return closed; });
    all += s.readAll();
    Reply r;
    const qsizetype end = all.indexOf("\r\n\r\n");
    r.head = all.left(end);
    r.body = end < 0 ? QByteArray() : all.mid(end + 4);
    r.status = all.mid(9, 3).toInt();
    return r;
}

Reply get(quint16 port, const QByteArray &target, const QByteArray &host = QByteArray())
{
    const QByteArray h = host.isNull() ? "127.0.0.1:" + QByteArray::number(port) : host;
    return request(port, "GET " + target + " HTTP/1.1\r\nHost: " + h + "\r\n\r\n");
}

class Preview : public ::testing::Test {
protected:
    void SetUp() override
    {
        root = dir.path() + "/";
        for (const char *d : {"site/media/2026/12", "data", "preview"})
            QDir().mkpath(root + d);
        for (const QString &n : QDir(kPosts).entryList(QDir::Files))
            QFile::copy(kPosts + n, root + "data/" + n);
        writeBytes(root + "site/media/2026/12/sea-800.png", picture);
        project.site.mainFolder = root + "site";
        project.site.dataFolder = root + "data";
        project.site.mainTemplate = kTemplates + "template.htm";
        project.site.archiveTemplate = kTemplates + "archtemp.htm";
        project.site.archiveFolder = "archiv";
        post.title = "Draft by the sea";
        post.body = "Waves.\r\n<img src=\"media/2026/12/sea-800.png\" alt=\"Sea\" />";
        post.dateTime = dateTimeFromCivil(2026, 12, 3, 14, 5);
    }

    QTemporaryDir dir;
    QString root;
    ProjectSettings project;
    PreviewPost post;
    const std::string picture = std::string("\x89PNG\r\n\x1a\n", 8) + "not really pixels";
};

TEST_F(Preview, ShowsThePostAndItsPictureAndReloadsItAfterAChange)
{
    PreviewSession session;
    const QUrl url = session.start(project, post, root + "preview");
    const quint16 port = session.server().port();
    EXPECT_EQ(url.toString(), "http://127.0.0.1:" + QString::number(port)
                                  + "/archiv/2026-12_031405.html");

    // The page, as its long-post page would be: the picture's link climbs
    // out of the archive folder; the reload script is in the reply.
    Reply page = get(port, "/archiv/2026-12_031405.html");
    ASSERT_EQ(page.status, 200) << page.head.toStdString();
    EXPECT_TRUE(page.head.contains("Content-Type: text/html"));
    EXPECT_TRUE(page.body.contains("<h3>Draft by the sea</h3>")) << page.body.toStdString();
    EXPECT_TRUE(page.body.contains("src=\"../media/2026/12/sea-800.png\""));
    EXPECT_TRUE(page.body.contains("EventSource"));
    const Reply image = get(port, "/media/2026/12/sea-800.png");
    EXPECT_EQ(image.status, 200);
    EXPECT_TRUE(image.head.contains("Content-Type: image/png"));
    EXPECT_EQ(image.body.toStdString(), picture);

    // The event stream, then a change typed in the editor.
    QTcpSocket events;
    QByteArray stream;
    QObject::connect(&events, &QTcpSocket::readyRead, [&] { stream += events.readAll(); });
    events.connectToHost(QStringLiteral("127.0.0.1"), port);
    ASSERT_TRUE(waitFor([&] { return events.state() == QAbstractSocket::ConnectedState; }));
    events.write("GET /.tarvlit/events HTTP/1.1\r\nHost: localhost:" + QByteArray::number(port)
                 + "\r\n\r\n");
    ASSERT_TRUE(waitFor([&] { return stream.contains("text/event-stream"); }));
    post.title = "Final title";
    session.showPost(post);
    ASSERT_TRUE(waitFor([&] { return stream.contains("event: reload"); })) << stream.toStdString();
    EXPECT_TRUE(stream.contains("\"page\":\"/archiv/2026-12_031405.html\"")) << stream.toStdString();
    page = get(port, "/archiv/2026-12_031405.html");
    EXPECT_TRUE(page.body.contains("<h3>Final title</h3>"));

    // The whole site, generated into the preview folder: its main page
    // served with the script, the file itself without; the real site and
    // the send record untouched.
    ASSERT_TRUE(session.waitForSite(10000));
    const Reply mainPage = get(port, "/");
    EXPECT_EQ(mainPage.status, 200);
    EXPECT_TRUE(mainPage.body.contains("EventSource"));
    EXPECT_TRUE(mainPage.body.contains("archiv/2003-05.html"));
    const std::string written = fileBytes(root + "preview/index.html");
    EXPECT_NE(written.find("archiv/2003-05.html"), std::string::npos);
    EXPECT_EQ(written.find("EventSource"), std::string::npos);
    EXPECT_EQ(get(port, "/archiv/2003-05.html").status, 200);
    EXPECT_EQ(QDir(root + "site").entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
              QStringList{"media"});
    EXPECT_EQ(QDir(root).entryList(QDir::Files), QStringList());

    // A saved post: the site is generated again and every page reloads.
    stream.clear();
    session.siteChanged();
    ASSERT_TRUE(waitFor([&] { return stream.contains("\"site\":true"); })) << stream.toStdString();

    session.stop();
    EXPECT_FALSE(session.isRunning());
}

TEST_F(Preview, RefusesPathsOutsideItsFoldersAndOtherHosts)
{
    writeBytes(root + "secret.txt", "TOPSECRET");
    ASSERT_TRUE(QFile::link(root + "secret.txt", root + "site/leak.txt"));
    ASSERT_TRUE(QFile::link(root, root + "site/out"));
    writeBytes(root + "site/.hidden", "TOPSECRET");
    PreviewSession session;
    session.start(project, post, root + "preview");
    ASSERT_TRUE(session.waitForSite(10000));
    const quint16 port = session.server().port();
    const QByteArray host = "127.0.0.1:" + QByteArray::number(port);

    const struct {
        QByteArray target;
        int status;
    } paths[] = {
        {"/../secret.txt", 403},
        {"/archiv/../../secret.txt", 403},
        {"/%2e%2e/secret.txt", 403},
        {"/%2E%2E%2Fsecret.txt", 403},
        {"/archiv/..%2f..%2fsecret.txt", 403},
        {"/leak.txt", 403},        // a link that leads out
        {"/out/secret.txt", 403},  // a folder link that leads out
        {"/.hidden", 404},
        {"//etc/passwd", 404},     // absolute paths stay below the folders
        {"/%2Fetc%2Fpasswd", 404},
        {"/media/", 404},          // no listing of a folder
        {"/%zz", 400},
        {"http://" + host + "/index.html", 400},
    };
    for (const auto &p : paths) {
        const Reply r = get(port, p.target);
        EXPECT_EQ(r.status, p.status) << p.target.toStdString();
        EXPECT_FALSE(r.body.contains("TOPSECRET") || r.body.contains("root:")) << p.target.toStdString();
    }

    // The page itself only for this server's own name.
    EXPECT_EQ(get(port, "/index.html").status, 200);
    EXPECT_EQ(get(port, "/index.html", "localhost:" + QByteArray::number(port)).status, 200);
    for (const QByteArray &other : {QByteArray("evil.example:") + QByteArray::number(port),
                                    QByteArray("127.0.0.1:1"), QByteArray("127.0.0.1")}) {
        const Reply r = get(port, "/index.html", other);
        EXPECT_EQ(r.status, 421) << other.toStdString();
        EXPECT_FALSE(r.body.contains("<html")) << other.toStdString();
    }
    EXPECT_EQ(request(port, "GET /index.html HTTP/1.1\r\n\r\n").status, 400);
    EXPECT_EQ(request(port, "POST /index.html HTTP/1.1\r\nHost: " + host + "\r\n\r\n").status, 405);
    const Reply head = request(port, "HEAD /index.html HTTP/1.1\r\nHost: " + host + "\r\n\r\n");
    EXPECT_EQ(head.status, 200);
    EXPECT_TRUE(head.body.isEmpty());
}

} // namespace
