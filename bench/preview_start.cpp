// The preview on a large blog: 10,000 posts over 20 years (1 KB bodies, one
// in ten long), the generator tests' fixture templates with RSS and TXT,
// archive folder "archiv/". Each run starts a preview session with an open
// (unsaved) post into a new, empty preview folder and fetches over a real
// socket, as the browser does:
//   - first page: from the command (PreviewSession::start) to the last byte
//     of the post's page;
//   - main page: from the command to the last byte of "/", which waits for
//     the site to be generated into the preview folder;
//   - whole site: from the command until the site is generated;
//   - keystroke: PreviewSession::showPost with one more letter, then the
//     post's page fetched again;
// then once more into the same preview folder in the same process (a
// second preview: what is on disk and in the cache stays).
// For scale, the same blog generated whole by BuildSite into an empty
// folder, which a preview that waited for the site would cost.
//
//   bench_preview_start              10,000 posts, 5 runs
//   bench_preview_start 20000 7      20,000 posts, 7 runs
#include "core/projectsettings.h"
#include "generator/sitebuilder.h"
#include "posts/postfile.h"
#include "preview/previewsession.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using namespace tl;

namespace {

std::string makeBody(int i)
{
    static const char *const sentences[] = {
        "Dnes jsem se vydal na proch\xE1zku kolem \x9Aumav\x9Dsk\xE9ho potoka. ",
        "The weather was <b>fine</b> and the path was dry &amp; easy. ",
        "A note on <a href=\"http://www.example.com/\">a linked page</a> follows. ",
        "Nothing much happened, which is a kind of news in itself. ",
    };
    std::string body;
    int s = i;
    while (body.size() < 1000) {
        for (int k = 0; k < 3 && body.size() < 1000; ++k)
            body += sentences[s++ % 4];
        body += "\r\n\r\n";
        if (i % 10 == 0 && body.size() > 380 && body.find("<!--more-->") == std::string::npos)
            body += "<!--more-->";
    }
    return body;
}

// The bytes of one GET until the server closes, or empty after 10 s.
QByteArray fetch(quint16 port, const QByteArray &path)
{
    QTcpSocket s;
    QByteArray all;
    bool closed = false;
    QObject::connect(&s, &QTcpSocket::readyRead, [&] { all += s.readAll(); });
    QObject::connect(&s, &QTcpSocket::disconnected, [&] { closed = true; });
    s.connectToHost(QStringLiteral("127.0.0.1"), port);
    s.write("GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1:" + QByteArray::number(port) + "\r\n\r\n");
    QEventLoop loop;
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    QObject::connect(&s, &QTcpSocket::disconnected, &loop, &QEventLoop::quit);
    limit.start(10000);
    if (!closed)
        loop.exec();
    all += s.readAll();
    return all.startsWith("HTTP/1.1 200") ? all : QByteArray();
}

void check(bool ok, const char *what)
{
    if (!ok) {
        std::fprintf(stderr, "check failed: %s\n", what);
        std::exit(1);
    }
}

double ms(const QElapsedTimer &t) { return t.nsecsElapsed() / 1e6; }

struct Times {
    double firstPage = 0, mainPage = 0, site = 0, keystroke = 0;
};

Times previewOnce(const ProjectSettings &project, preview::PreviewPost post, const QString &folder)
{
    Times t;
    preview::PreviewSession session;
    QElapsedTimer clock;
    clock.start();
    const QUrl url = session.start(project, post, folder);
    const quint16 port = session.server().port();
    const QByteArray page = fetch(port, url.path().toUtf8());
    t.firstPage = ms(clock);
    check(page.contains("Unsaved draft"), "the post's page");
    check(!fetch(port, "/").isEmpty(), "the main page");
    t.mainPage = ms(clock);
    check(session.waitForSite(60000), "the whole site");
    t.site = ms(clock);
    post.body += "x";
    clock.restart();
    session.showPost(post);
    check(fetch(port, url.path().toUtf8()).contains("draft.x"), "the page after a keystroke");
    t.keystroke = ms(clock);
    return t;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int posts = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10000;
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;

    QTemporaryDir work;
    const QString root = work.path() + "/";
    QDir().mkpath(root + "data");
    QDir().mkpath(root + "site");
    // Spread evenly over 2006-2025.
    const std::int64_t first = secondsFromCivil(2006, 1, 1, 8);
    const std::int64_t span = secondsFromCivil(2025, 12, 31, 20) - first;
    for (int i = 0; i < posts; ++i) {
        const std::int64_t n = first + span * i / posts;
        writePost((root + "data/").toStdString() + postFileName(n / 60 * 60),
                  "Post number " + std::to_string(i), makeBody(i));
    }
    const QString templates = QStringLiteral(TL_SOURCE_DIR "/tests/data/generator/fixture/templates/");
    ProjectSettings project;
    project.site.mainFolder = root + "site";
    project.site.dataFolder = root + "data";
    project.site.mainTemplate = templates + "template.htm";
    project.site.archiveTemplate = templates + "archtemp.htm";
    project.site.feedTemplate = templates + "template.rss";
    project.site.textTemplate = templates + "template.txt";
    project.site.archiveFolder = "archiv/";
    project.site.mainUri = "http://blog.example.com/";

    preview::PreviewPost post;
    post.title = "Unsaved draft";
    post.body = "Typed just now, not saved: a draft.";
    post.dateTime = dateTimeFromCivil(2026, 1, 5, 9, 30);

    std::printf("%d posts, %d runs; milliseconds\n", posts, runs);
    std::vector<double> firstPage, mainPage, site, keystroke;
    for (int r = 0; r < runs; ++r) {
        const Times t = previewOnce(project, post, root + "preview" + QString::number(r));
        firstPage.push_back(t.firstPage);
        mainPage.push_back(t.mainPage);
        site.push_back(t.site);
        keystroke.push_back(t.keystroke);
        std::printf("run %d, empty preview folder: first page %.1f, main page %.1f, whole site "
                    "%.1f, keystroke %.1f\n",
                    r + 1, t.firstPage, t.mainPage, t.site, t.keystroke);
    }
    const Times again = previewOnce(project, post, root + "preview0");
    std::printf("second preview, same folder: first page %.1f, main page %.1f, whole site %.1f, "
                "keystroke %.1f\n",
                again.firstPage, again.mainPage, again.site, again.keystroke);
    std::printf("median: first page %.1f (least %.1f, greatest %.1f), main page %.1f, whole site "
                "%.1f, keystroke %.1f\n",
                median(firstPage), *std::min_element(firstPage.begin(), firstPage.end()),
                *std::max_element(firstPage.begin(), firstPage.end()), median(mainPage),
                median(site), median(keystroke));

    class Silent : public gen::SiteReporter {
        void log(const std::string &) override {}
        void clearUploadList() override {}
        void addToUploadList(const std::string &) override {}
    } silent;
    QElapsedTimer clock;
    clock.start();
    gen::BuildSite(project, silent);
    std::printf("for scale, Read + Generate of the whole site into an empty folder: %.1f\n", ms(clock));
    return 0;
}
