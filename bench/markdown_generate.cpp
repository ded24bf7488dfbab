// Generation of a blog written in Markdown against the same blog generated
// in the "<p></p>" mode: 10,000 posts (or as many as asked) over 20 years,
// bodies of about 1 KB of windows-1250 Markdown (paragraphs with emphasis,
// links, inline code, a list in every third post, a table in every
// twentieth, a heading in every seventh, the long-post separator in every
// tenth), the fixture templates of the generator tests with RSS and TXT,
// archive folder "archiv/", main page count 10.
//
// Each run is Read + GenerateSite into an empty folder in a fresh process,
// the two modes taking turns; the page cache is written out (sync, not
// timed) before each. Printed: the median wall and CPU seconds of each mode
// and the median of the ratios Markdown / "<p></p>" of the runs that took
// turns.
//
//   bench_markdown_generate [posts] [--runs N]     default 10,000 posts, 7 runs
//   bench_markdown_generate --make ROOT [posts]    the blog only, in ROOT/data
//   bench_markdown_generate --child MODE ROOT OUT  one run (MODE 1 or 3) of the
//                                                  blog in ROOT/data into OUT
// Work folders are made under $TMPDIR (or /tmp) and removed afterwards.

#include "generator/generate.h"
#include "generator/render.h"
#include "posts/postfile.h"
#include "posts/poststore.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

using namespace tl;

namespace {

using Clock = std::chrono::steady_clock;

double cpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

std::string templatesDir()
{
    return std::string(TL_SOURCE_DIR) + "/tests/data/generator/fixture/templates/";
}

// About 1 KB of windows-1250 Markdown.
std::string makeBody(int i)
{
    static const char *const sentences[] = {
        "Dnes jsem se vydal na *proch\xE1zku* kolem \x9Aumav\x9Dsk\xE9ho potoka. ",
        "The weather was **fine** and the path was dry & easy. ",
        "P\xF8\xEDli\x9A \x9Elu\x9Dou\xE8k\xFD k\xF9\xF2 \xFAp\xECl \xEF\xE1" "belsk\xE9 \xF3" "dy. ",
        "A note on [a linked page](http://www.example.com/page) follows, with `code` in it. ",
        "Nothing much happened, which is _a kind of news_ in itself. ",
    };
    std::string body;
    if (i % 7 == 0)
        body += "## Z\xE1pisek " + std::to_string(i) + "\r\n\r\n";
    int s = i;
    int paragraph = 0;
    while (body.size() < 1000) {
        for (int k = 0; k < 3 && body.size() < 1000; ++k)
            body += sentences[s++ % 5];
        body += "\r\n\r\n";
        ++paragraph;
        if (paragraph == 1 && i % 3 == 0)
            body += "- jedna polo\x9Eka\r\n- second item with *emphasis*\r\n- t\xF8" "et\xED\r\n\r\n";
        if (paragraph == 1 && i % 20 == 0)
            body += "| Ovoce | Po\xE8" "et |\r\n|:--|--:|\r\n| jablka | 3 |\r\n| hru\x9Aky | 12 |\r\n\r\n";
        if (i % 10 == 0 && body.size() > 380 && body.find("<!--more-->") == std::string::npos)
            body += "<!--more-->\r\n\r\n";
    }
    return body;
}

void makeBlog(const std::string &data, int posts)
{
    QDir().mkpath(QString::fromStdString(data));
    const std::int64_t start = secondsFromCivil(2006, 1, 1);
    const double span = 20 * 365.25 * 86400.0;
    for (int i = 0; i < posts; ++i) {
        const std::int64_t n = start + static_cast<std::int64_t>(i * span / posts) / 60 * 60;
        std::ofstream f(data + "/" + postFileName(n), std::ios::binary);
        f << postFileBytes("Post number " + std::to_string(i), makeBody(i));
    }
}

class Quiet : public gen::GenerateReporter {
public:
    void log(const std::string &) override {}
    void clearUploadList() override { files = 0; }
    void addToUploadList(const std::string &) override { ++files; }
    int files = 0;
};

// One run: Read + GenerateSite into an empty folder. Prints wall and CPU
// seconds and the number of files.
int child(int mode, const std::string &root, const std::string &out)
{
    QDir().mkpath(QString::fromStdString(out));
    gen::GenerateInput in;
    gen::SiteFields &p = in.project;
    p.mainFolder = out;
    p.dataFolder = root + "/data";
    p.mainTemplate = templatesDir() + "template.htm";
    p.archiveTemplate = templatesDir() + "archtemp.htm";
    p.feedTemplate = templatesDir() + "template.rss";
    p.textTemplate = templatesDir() + "template.txt";
    p.mainUri = "http://blog.example.com/";
    p.archiveFolder = "archiv/";
    p.paragraphMode = mode;
    in.versionText = "1.0.0.1";
    in.fileDateText = "bench";
    in.buildTime.local = civilFromSeconds(secondsFromCivil(2026, 12, 7, 21, 5));
    Quiet reporter;
    const double c0 = cpuSeconds();
    const auto t0 = Clock::now();
    in.postList = makePostList(listPostFolder(p.dataFolder));
    const PostTreeWalk walk = walkPostList(in.postList);
    in.monthList = monthList(walk);
    for (const MonthGroup &m : walk.months) {
        in.treeOrder.push_back(m.key);
        in.treeOrder.insert(in.treeOrder.end(), m.posts.begin(), m.posts.end());
    }
    gen::GenerateSite(in, reporter);
    const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
    std::printf("%.6f %.6f %d\n", wall, cpuSeconds() - c0, reporter.files);
    return 0;
}

std::vector<double> runChild(int mode, const std::string &root, const std::string &out)
{
    ::sync();
    QProcess p;
    p.start(QCoreApplication::applicationFilePath(),
            {"--child", QString::number(mode), QString::fromStdString(root),
             QString::fromStdString(out)});
    p.waitForFinished(-1);
    const QByteArray text = p.readAllStandardOutput();
    if (p.exitCode() != 0 || text.isEmpty()) {
        std::fprintf(stderr, "run failed: %s\n", p.readAllStandardError().constData());
        std::exit(1);
    }
    std::vector<double> v;
    for (const QByteArray &x : text.simplified().split(' '))
        v.push_back(x.toDouble());
    return v;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 5 && args[1] == "--child")
        return child(args[2].toInt(), args[3].toStdString(), args[4].toStdString());
    if (args.size() >= 3 && args[1] == "--make") {
        makeBlog(args[2].toStdString() + "/data", args.size() > 3 ? args[3].toInt() : 10000);
        return 0;
    }

    int posts = 10000;
    int runs = 7;
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == "--runs" && i + 1 < args.size())
            runs = args[++i].toInt();
        else
            posts = args[i].toInt();
    }
    QTemporaryDir work;
    const std::string root = work.path().toStdString();
    makeBlog(root + "/data", posts);

    std::vector<double> pWall, pCpu, mWall, mCpu, ratios, cpuRatios;
    int files[2] = {0, 0};
    for (int r = 0; r < runs; ++r) {
        // Which mode goes first alternates from run to run.
        std::vector<double> p, m;
        const std::string tag = std::to_string(r);
        if (r % 2 == 0) {
            p = runChild(gen::kParagraphP, root, root + "/p" + tag);
            m = runChild(gen::kParagraphMarkdown, root, root + "/m" + tag);
        } else {
            m = runChild(gen::kParagraphMarkdown, root, root + "/m" + tag);
            p = runChild(gen::kParagraphP, root, root + "/p" + tag);
        }
        pWall.push_back(p[0]);
        pCpu.push_back(p[1]);
        mWall.push_back(m[0]);
        mCpu.push_back(m[1]);
        ratios.push_back(m[0] / p[0]);
        cpuRatios.push_back(m[1] / p[1]);
        files[0] = int(p[2]);
        files[1] = int(m[2]);
    }
    std::printf("%d posts, %d runs each, medians\n", posts, runs);
    std::printf("<p></p>   wall %.3f s  cpu %.3f s  (%d files)\n", median(pWall), median(pCpu), files[0]);
    std::printf("Markdown  wall %.3f s  cpu %.3f s  (%d files)\n", median(mWall), median(mCpu), files[1]);
    std::printf("Markdown / <p></p>: wall %.2f (runs %.2f..%.2f), cpu %.2f\n", median(ratios),
                *std::min_element(ratios.begin(), ratios.end()),
                *std::max_element(ratios.begin(), ratios.end()), median(cpuRatios));
    return 0;
}
