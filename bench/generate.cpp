// Site generation on synthetic blogs: 10,000 posts over 20 years and 100,000
// posts, 1 KB bodies, one post in ten long, with the fixture templates of the
// generator tests. Every measurement runs in a fresh process, the runs of
// the different measurements and of the different sizes taking turns:
//   - first: Read (listing, post list, month walk) and GenerateSite into an
//     empty main folder, as the Generate command does minus the dialogs;
//   - the I/O floor: the same listing, every post file read once, and the
//     same files written (same names, count and sizes) with no templating:
//     "plain" with ordinary writes (open, write, close), "replace" through
//     a temporary file renamed over the target without a flush
//     (tl::replaceWholeFile, as generation writes);
//   - incremental: in one process, a first Read + GenerateSite into an empty
//     folder, then one post saved into the newest month (long, so that it has
//     a long-post page), then the timed Read + GenerateSite; then one more
//     without any change;
//   - with --hugo (at the first size only): the whole program against Hugo
//     on the same posts, as whole processes taking turns: "bench_generate
//     --whole" (Read + GenerateSite into an empty folder) and "hugo" building
//     a site made from the same posts (UTF-8, front matter with title and
//     date, one page per post, a home page of the 10 newest with their
//     summaries, RSS), each into an empty folder.
// Medians are printed; each ratio is the median of the ratios of runs that
// took turns (generation / floor, Hugo / ours, 100,000 / 10,000). Before each run the page cache is written out (sync, not
// timed), so that no run pays for the writing of the one before.
//
//   bench_generate                       10,000 and 100,000 posts, 5 runs
//   bench_generate 20000 --runs 7        one size
//   bench_generate 10000 100000 --hugo   with the Hugo comparison at 10,000
//   bench_generate --whole ROOT OUT      one whole generation (for timing it
//                                        from outside); OUT must be empty
// Work folders are made under $TMPDIR (or /tmp) and removed afterwards.

#include "core/cp1250.h"
#include "core/fileio.h"
#include "generator/generate.h"
#include "generator/sitebuilder.h"
#include "posts/postfile.h"
#include "posts/poststore.h"
#include "publish/publisher.h"
#include "publish/sendrecord.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

using namespace tl;

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point t0)
{
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

long peakKb()
{
    std::ifstream f("/proc/self/status");
    std::string line;
    while (std::getline(f, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::atol(line.c_str() + 6);
    return -1;
}

double cpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

std::string templatesDir()
{
    return std::string(TL_SOURCE_DIR) + "/tests/data/generator/fixture/templates/";
}

// About 1 KB of windows-1250 text in paragraphs, with a few tags and
// entities; every tenth post holds the long-post separator.
std::string makeBody(int i)
{
    static const char *const sentences[] = {
        "Dnes jsem se vydal na proch\xE1zku kolem \x9Aumav\x9Dsk\xE9ho potoka. ",
        "The weather was <b>fine</b> and the path was dry &amp; easy. ",
        "P\xF8\xEDli\x9A \x9Elu\x9Dou\xE8k\xFD k\xF9\xF2 \xFAp\xECl \xEF\xE1" "belsk\xE9 \xF3" "dy. ",
        "A note on <a href=\"http://www.example.com/\">a linked page</a> follows. ",
        "Nothing much happened, which is a kind of news in itself. ",
    };
    std::string body;
    int s = i;
    while (body.size() < 1000) {
        for (int k = 0; k < 3 && body.size() < 1000; ++k)
            body += sentences[s++ % 5];
        body += "\r\n\r\n";
        if (i % 10 == 0 && body.size() > 380 && body.find("<!--more-->") == std::string::npos)
            body += "<!--more-->";
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
        // Plain writes: the blog is only the bench's input.
        std::ofstream f(data + "/" + postFileName(n), std::ios::binary);
        f << postFileBytes("Post number " + std::to_string(i), makeBody(i));
    }
}

gen::GenerateInput makeInput(const std::string &root, const std::string &out)
{
    gen::GenerateInput in;
    gen::SiteFields &p = in.project;
    p.mainFolder = out;
    p.dataFolder = root + "/data";
    p.mainTemplate = templatesDir() + "template.htm";
    p.archiveTemplate = templatesDir() + "archtemp.htm";
    p.feedTemplate = templatesDir() + "template.rss";
    p.textTemplate = templatesDir() + "template.txt";
    p.mainUri = "http://blog.example.com/";
    p.author = "Jan Nov\xE1k";
    p.email = "jan@example.com";
    p.archiveFolder = "archiv/";
    in.versionText = "1.0.0.1";
    in.fileDateText = "bench";
    in.buildTime.local = civilFromSeconds(secondsFromCivil(2026, 12, 7, 21, 5));
    return in;
}

// What Read leaves for generation: the post list, the month list and the
// tree's node texts, from the data folder as it is now.
void readDataFolder(gen::GenerateInput &in)
{
    in.postList = makePostList(listPostFolder(in.project.dataFolder));
    const PostTreeWalk walk = walkPostList(in.postList);
    in.monthList = monthList(walk);
    in.treeOrder.clear();
    for (const MonthGroup &m : walk.months) {
        in.treeOrder.push_back(m.key);
        in.treeOrder.insert(in.treeOrder.end(), m.posts.begin(), m.posts.end());
    }
}

class CountingReporter : public gen::SiteReporter {
public:
    void log(const std::string &) override {}
    void clearUploadList() override { files = rewritten = 0; }
    void addToUploadList(const std::string &) override { ++files; }
    void siteFile(const std::string &path, WriteOutcome outcome) override
    {
        if (outcome == WriteOutcome::Rewritten)
            ++rewritten;
        GenerateReporter::siteFile(path, outcome);
    }
    int files = 0;
    int rewritten = 0;
};

// Child: Read + GenerateSite into an empty folder.
// Prints: seconds, cpu seconds, peak kB, files.
int childFirst(const std::string &root, const std::string &out)
{
    QDir().mkpath(QString::fromStdString(out));
    gen::GenerateInput in = makeInput(root, out);
    CountingReporter reporter;
    const double c0 = cpuSeconds();
    const auto t0 = Clock::now();
    readDataFolder(in);
    gen::GenerateSite(in, reporter);
    const double s = secondsSince(t0);
    std::printf("%.6f %.6f %ld %d\n", s, cpuSeconds() - c0, peakKb(), reporter.files);
    return 0;
}

// Child: the listing, every post read once, the manifest's files written.
int childFloor(const std::string &root, const std::string &out, bool plain)
{
    std::vector<std::pair<std::string, std::size_t>> outputs;
    {
        std::ifstream m(root + "/manifest");
        std::string rel;
        std::size_t size;
        while (m >> rel >> size)
            outputs.emplace_back(out + "/" + rel, size);
    }
    const double c0 = cpuSeconds();
    const auto t0 = Clock::now();
    const std::string data = root + "/data";
    const std::vector<std::string> names = listPostFolder(data);
    std::string pool;
    for (const std::string &n : names) {
        const std::string bytes = readWholeFile(data + "/" + n);
        if (pool.size() < (1u << 20))
            pool += bytes;
    }
    QDir().mkpath(QString::fromStdString(out + "/archiv"));
    std::string bytes;
    for (const auto &[path, size] : outputs) {
        bytes.clear();
        while (bytes.size() < size)
            bytes.append(pool, 0, std::min(pool.size(), size - bytes.size()));
        if (plain) {
            std::ofstream f(path, std::ios::binary | std::ios::trunc);
            f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        } else {
            replaceWholeFile(path, bytes);
        }
    }
    const double s = secondsSince(t0);
    std::printf("%.6f %.6f %ld %zu\n", s, cpuSeconds() - c0, peakKb(), outputs.size());
    return 0;
}

// Child: a first generation, sent (the record confirms every page and post),
// one post saved, then the timed second F9 as the window runs it: Read and
// generation (BuildSite), then the pages the server lacks queued against the
// record; then a third run without change. The added post is removed at the
// end. Prints: second s, second cpu s, rewritten, months rendered, months
// reused, third s, third rewritten, third months rendered, pages queued.
int childIncremental(const std::string &root, const std::string &out)
{
    QDir().mkpath(QString::fromStdString(out));
    gen::GenerateInput in = makeInput(root, out);
    CountingReporter reporter;
    PublishPaths paths;
    paths.mainFolder = QString::fromStdString(out);
    paths.dataFolder = QString::fromStdString(in.project.dataFolder);
    paths.sitePrefix = "/www/";
    paths.dataPrefix = "/data/";
    SendRecord record = SendRecord::load(QString::fromStdString(out) + ".sent");
    const auto queueAgainstRecord = [&](const std::vector<std::string> &uploads) {
        QStringList generated;
        for (const std::string &u : uploads)
            generated << QString::fromStdString(u);
        record.setSiteFiles(generated);
        const QStringList pending = pendingSiteFiles(record, generated, paths);
        record.save();
        return pending;
    };

    for (const QString &f : queueAgainstRecord(gen::BuildSite(in, reporter)))
        record.confirmSent(remoteSiteName(paths, f), SendRecord::contentOf(f));
    for (const QString &f : pendingDataFiles(record, paths))
        record.confirmSent(remoteDataName(paths, f), SendRecord::contentOf(f));
    record.save();
    readDataFolder(in);

    // A new long post between the two newest posts (same month), saved the
    // way the editor saves.
    const std::int64_t newest = postTimeOfName(unpadPostName(in.postList.back()));
    const std::int64_t older = postTimeOfName(unpadPostName(in.postList[in.postList.size() - 2]));
    const std::int64_t added = (newest + older) / 2 / 60 * 60;
    const std::string addedPath = in.project.dataFolder + "/" + postFileName(added);
    writePost(addedPath, "Added post", makeBody(0));

    const double c0 = cpuSeconds();
    const auto t0 = Clock::now();
    const QStringList queued = queueAgainstRecord(gen::BuildSite(in, reporter));
    const double second = secondsSince(t0);
    const double secondCpu = cpuSeconds() - c0;
    const int secondRewritten = reporter.rewritten;
    const gen::SiteCache::RunCounts secondCounts = gen::SiteCache::process().lastRun();

    const auto t1 = Clock::now();
    queueAgainstRecord(gen::BuildSite(in, reporter));
    const double third = secondsSince(t1);
    const gen::SiteCache::RunCounts thirdCounts = gen::SiteCache::process().lastRun();
    QFile::remove(QString::fromStdString(addedPath));

    std::printf("%.6f %.6f %d %zu %zu %.6f %d %zu %lld\n", second, secondCpu, secondRewritten,
                secondCounts.monthsRendered, secondCounts.monthsReused, third, reporter.rewritten,
                thirdCounts.monthsRendered, static_cast<long long>(queued.size()));
    return 0;
}

// Child for timing from outside: Read + GenerateSite, nothing printed.
int childWhole(const std::string &root, const std::string &out)
{
    QDir().mkpath(QString::fromStdString(out));
    gen::GenerateInput in = makeInput(root, out);
    CountingReporter reporter;
    readDataFolder(in);
    gen::GenerateSite(in, reporter);
    return reporter.files > 0 ? 0 : 1;
}

// Writes out what earlier runs left in the page cache, so that no run pays
// for the one before it (outside the timing).
void settle() { ::sync(); }

std::vector<double> runChild(const QStringList &args)
{
    settle();
    QProcess p;
    p.start(QCoreApplication::applicationFilePath(), args);
    p.waitForFinished(-1);
    const QByteArray out = p.readAllStandardOutput();
    if (p.exitCode() != 0 || out.isEmpty()) {
        std::fprintf(stderr, "child %s failed: %s\n", args.join(' ').toUtf8().constData(),
                     p.readAllStandardError().constData());
        std::exit(1);
    }
    std::vector<double> values;
    for (const QByteArray &v : out.simplified().split(' '))
        values.push_back(v.toDouble());
    return values;
}

// Wall seconds of a whole process, from its start to its end.
double timeProcess(const QString &program, const QStringList &args)
{
    settle();
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QElapsedTimer t;
    t.start();
    p.start(program, args);
    p.waitForFinished(-1);
    const double s = t.nsecsElapsed() / 1e9;
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        std::fprintf(stderr, "%s failed\n", program.toUtf8().constData());
        std::exit(1);
    }
    return s;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : (v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2);
}

// The manifest: every file the first generation wrote and its size.
void writeManifest(const std::string &root, const std::string &site, long long &bytes, int &files)
{
    std::ofstream m(root + "/manifest");
    const QDir dir(QString::fromStdString(site));
    QDirIterator it(dir.path(), QDir::Files, QDirIterator::Subdirectories);
    bytes = 0;
    files = 0;
    while (it.hasNext()) {
        const QString f = it.next();
        const qint64 size = QFileInfo(f).size();
        m << dir.relativeFilePath(f).toStdString() << " " << size << "\n";
        bytes += size;
        ++files;
    }
}

// A Hugo site made of the same posts: content/posts/N.html with the title and
// the date in front matter and the body (UTF-8) as it is; layouts for a post
// page, a list page and a home page of the 10 newest posts with summaries.
void makeHugoSite(const std::string &data, const std::string &site)
{
    QDir().mkpath(QString::fromStdString(site + "/content/posts"));
    QDir().mkpath(QString::fromStdString(site + "/layouts/_default"));
    const auto put = [](const std::string &path, const std::string &text) {
        std::ofstream(path, std::ios::binary) << text;
    };
    put(site + "/config.toml",
        "baseURL = \"http://blog.example.com/\"\ntitle = \"Bench\"\nuglyURLs = true\n"
        "disableKinds = [\"taxonomy\", \"term\"]\n");
    put(site + "/layouts/_default/single.html",
        "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>{{ .Title }}</title></head>\n"
        "<body>\n<div class=\"post\"><h2>{{ .Title }}</h2>\n"
        "<p class=\"date\">{{ .Date.Format \"2. 1. 2006 15:04\" }}</p>\n{{ .Content }}\n</div>\n"
        "</body></html>\n");
    put(site + "/layouts/_default/list.html",
        "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>{{ .Title }}</title></head>\n"
        "<body>\n<ul>\n{{ range .Pages }}<li><a href=\"{{ .RelPermalink }}\">{{ .Title }}</a></li>\n"
        "{{ end }}</ul>\n</body></html>\n");
    put(site + "/layouts/index.html",
        "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>{{ .Site.Title }}</title></head>\n"
        "<body>\n{{ range first 10 (where .Site.RegularPages \"Section\" \"posts\") }}"
        "<div class=\"post\"><h2><a href=\"{{ .RelPermalink }}\">{{ .Title }}</a></h2>\n"
        "{{ .Summary }}{{ if .Truncated }} <a href=\"{{ .RelPermalink }}\">Continue...</a>{{ end }}\n"
        "</div>\n{{ end }}\n</body></html>\n");
    for (const std::string &name : listPostFolder(data)) {
        const PostContent post = readPost(data + "/" + name);
        const CivilDateTime c = civilFromSeconds(postTimeOfName(name));
        char date[32];
        std::snprintf(date, sizeof date, "%04d-%02d-%02dT%02d:%02d:%02d", c.year, c.month, c.day,
                      c.hour, c.minute, c.second);
        put(site + "/content/posts/" + postTimeTextOfName(name) + ".html",
            "---\ntitle: \"" + decodeCp1250(post.title).toStdString() + "\"\ndate: " + date
                + "\n---\n" + decodeCp1250(post.body).toStdString());
    }
}

// One blog size and everything measured on it.
struct Blog {
    int posts = 0;
    std::unique_ptr<QTemporaryDir> tmp;
    std::string root;
    QString qroot;
    int folders = 0;
    long long outputBytes = 0;
    int outputFiles = 0;
    std::vector<double> first, firstCpu, firstPeak, plain, replace, vsPlain, vsReplace;
    std::vector<double> second, secondCpu, secondRewritten, secondRendered, secondReused;
    std::vector<double> third, thirdRewritten, thirdRendered, queued;
    std::vector<double> ours, hugo, hugoRatio;

    // Every run writes into a folder of its own, and all are removed at the
    // very end: creating files within half a minute after thousands were
    // deleted costs ext4 much more (it passes over the inodes freed lately),
    // which would make each run pay for the ones before.
    QString freshFolder() { return qroot + "/out" + QString::number(++folders); }
};

void firstRuns(Blog &b)
{
    const std::vector<double> g = runChild({"--child-first", b.qroot, b.freshFolder()});
    const std::vector<double> p = runChild({"--child-floor", b.qroot, b.freshFolder(), "plain"});
    const std::vector<double> q = runChild({"--child-floor", b.qroot, b.freshFolder(), "replace"});
    b.first.push_back(g[0]);
    b.firstCpu.push_back(g[1]);
    b.firstPeak.push_back(g[2] / 1024);
    b.plain.push_back(p[0]);
    b.replace.push_back(q[0]);
    b.vsPlain.push_back(g[0] / p[0]);
    b.vsReplace.push_back(g[0] / q[0]);
    std::fprintf(stderr, "  %d posts: first %.3f s, floor plain %.3f s, floor replace %.3f s\n",
                 b.posts, g[0], p[0], q[0]);
}

void incrementalRun(Blog &b)
{
    const std::vector<double> v = runChild({"--child-incremental", b.qroot, b.freshFolder()});
    b.second.push_back(v[0]);
    b.secondCpu.push_back(v[1]);
    b.secondRewritten.push_back(v[2]);
    b.secondRendered.push_back(v[3]);
    b.secondReused.push_back(v[4]);
    b.third.push_back(v[5]);
    b.thirdRewritten.push_back(v[6]);
    b.thirdRendered.push_back(v[7]);
    b.queued.push_back(v[8]);
    std::fprintf(stderr,
                 "  %d posts: after one new post %.4f s (%g files rewritten, %g months rendered, "
                 "%g pages queued)\n",
                 b.posts, v[0], v[2], v[3], v[8]);
}

void hugoRun(Blog &b, const QString &hugoPath)
{
    const double ours =
        timeProcess(QCoreApplication::applicationFilePath(), {"--whole", b.qroot, b.freshFolder()});
    const double hugo =
        timeProcess(hugoPath, {"--quiet", "-s", b.qroot + "/hugo", "-d", b.freshFolder()});
    b.ours.push_back(ours);
    b.hugo.push_back(hugo);
    b.hugoRatio.push_back(hugo / ours);
    std::fprintf(stderr, "  %d posts: whole process ours %.3f s, hugo %.3f s\n", b.posts, ours, hugo);
}

void printBlog(const Blog &b, const std::string &hugoVersion)
{
    std::printf("\n%d posts: %d output files, %.1f MB\n", b.posts, b.outputFiles, b.outputBytes / 1e6);
    std::printf("| measure | median s | notes |\n|---|---|---|\n");
    std::printf("| first generation (Read + GenerateSite, empty folder) | %.3f | CPU %.3f s, peak RSS %.1f MB |\n",
                median(b.first), median(b.firstCpu), median(b.firstPeak));
    std::printf("| I/O floor, plain writes | %.3f | generation / floor: %.2f |\n", median(b.plain),
                median(b.vsPlain));
    std::printf("| I/O floor, temporary file + rename | %.3f | generation / floor: %.2f |\n",
                median(b.replace), median(b.vsReplace));
    std::printf("| Read + GenerateSite + send queue after one new post | %.4f | CPU %.4f s; %g files "
                "rewritten, %g months rendered, %g taken from the cache; %g pages queued |\n",
                median(b.second), median(b.secondCpu), median(b.secondRewritten),
                median(b.secondRendered), median(b.secondReused), median(b.queued));
    std::printf("| Read + GenerateSite + send queue, no change | %.4f | %g files rewritten, %g months rendered |\n",
                median(b.third), median(b.thirdRewritten), median(b.thirdRendered));
    if (!b.ours.empty()) {
        std::printf("| whole process: bench_generate --whole | %.3f | |\n", median(b.ours));
        std::printf("| whole process: %s | %.3f | Hugo / ours: %.1f |\n", hugoVersion.c_str(),
                    median(b.hugo), median(b.hugoRatio));
    }
}

void measure(const std::vector<int> &sizes, int runs, bool withHugo)
{
    std::vector<Blog> blogs(sizes.size());
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        Blog &b = blogs[i];
        b.posts = sizes[i];
        b.tmp = std::make_unique<QTemporaryDir>(QDir::tempPath() + "/tl-bench-generate-XXXXXX");
        b.root = b.tmp->path().toStdString();
        b.qroot = b.tmp->path();
        std::fprintf(stderr, "%d posts: writing the blog...\n", b.posts);
        makeBlog(b.root + "/data", b.posts);
    }
    const auto blogsWritten = Clock::now();
    for (Blog &b : blogs) {
        // The files generation writes, for the floor.
        runChild({"--child-first", b.qroot, b.qroot + "/manifest-site"});
        writeManifest(b.root, b.root + "/manifest-site", b.outputBytes, b.outputFiles);
    }

    // The sizes take turns, so that each ratio between them compares runs
    // made under the same conditions.
    for (int r = 0; r < runs; ++r)
        for (Blog &b : blogs)
            firstRuns(b);
    // The posts must be older than the cache's window (2 s) to be trusted,
    // as in a blog written before the day's Generate.
    const double wait = 2.5 - secondsSince(blogsWritten);
    if (wait > 0)
        QThread::msleep(static_cast<unsigned long>(wait * 1000));
    for (int r = 0; r < runs; ++r)
        for (Blog &b : blogs)
            incrementalRun(b);

    std::string hugoVersion;
    if (withHugo) {
        const QString hugoPath = QStandardPaths::findExecutable("hugo");
        if (hugoPath.isEmpty()) {
            std::printf("hugo not found on PATH: no comparison\n");
        } else {
            QProcess version;
            version.start(hugoPath, {"version"});
            version.waitForFinished(-1);
            hugoVersion = version.readAllStandardOutput().trimmed().toStdString();
            Blog &b = blogs.front();
            makeHugoSite(b.root + "/data", b.root + "/hugo");
            for (int r = 0; r < runs; ++r)
                hugoRun(b, hugoPath);
        }
    }

    for (const Blog &b : blogs)
        printBlog(b, hugoVersion);
    for (std::size_t i = 1; i < blogs.size(); ++i) {
        std::vector<double> first, second;
        for (int r = 0; r < runs; ++r) {
            first.push_back(blogs[i].first[r] / blogs[0].first[r]);
            second.push_back(blogs[i].second[r] / blogs[0].second[r]);
        }
        std::printf("\n%d / %d posts, median of the runs' ratios: first generation %.2f "
                    "(CPU %.2f), after one new post %.2f (CPU %.2f)\n",
                    blogs[i].posts, blogs[0].posts, median(first),
                    median(blogs[i].firstCpu) / median(blogs[0].firstCpu), median(second),
                    median(blogs[i].secondCpu) / median(blogs[0].secondCpu));
    }
    std::fprintf(stderr, "removing the work folders...\n");
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const std::string mode = argc > 1 ? argv[1] : "";
    if (argc == 4 && mode == "--child-first")
        return childFirst(argv[2], argv[3]);
    if (argc == 5 && mode == "--child-floor")
        return childFloor(argv[2], argv[3], std::string(argv[4]) == "plain");
    if (argc == 4 && mode == "--child-incremental")
        return childIncremental(argv[2], argv[3]);
    if (argc == 4 && mode == "--whole")
        return childWhole(argv[2], argv[3]);

    std::vector<int> sizes;
    int runs = 5;
    bool hugo = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--runs" && i + 1 < argc)
            runs = std::max(1, std::atoi(argv[++i]));
        else if (a == "--hugo")
            hugo = true;
        else
            sizes.push_back(std::atoi(a.c_str()));
    }
    if (sizes.empty())
        sizes = {10000, 100000};
    measure(sizes, runs, hugo);
    return 0;
}
