// Site generation on synthetic blogs: 10,000 posts over 20 years and 100,000
// posts, 1 KB bodies, one post in ten long, with the fixture templates of the
// generator tests. For each size it measures, each in a fresh process:
//   - the whole generation (GenerateSite: main page, RSS, TXT, every month
//     page and long-post page), wall time and peak resident memory;
//   - the floor: reading every post file once and writing the same files
//     (same count, same sizes, written the same way: whole, through a
//     temporary file renamed over the target) with no templating.
// and prints the ratios generation / floor and 100,000 / 10,000.
//
//   bench_generate                 both sizes, 3 runs each (median reported)
//   bench_generate 20000 5         one size, 5 runs
// Work folders are made under $TMPDIR (or /tmp) and removed afterwards.

#include "app/core/fileio.h"
#include "generator/generate.h"
#include "posts/postfile.h"
#include "posts/poststore.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <sys/resource.h>

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

long statusKb(const char *field)
{
    std::ifstream f("/proc/self/status");
    std::string line;
    const std::string key = std::string(field) + ":";
    while (std::getline(f, line))
        if (line.rfind(key, 0) == 0)
            return std::atol(line.c_str() + key.size());
    return -1;
}

double cpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

std::string templatesDir() { return std::string(TL_SOURCE_DIR) + "/tests/data/generator/fixture/templates/"; }

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

gen::GenerateInput makeInput(const std::string &root)
{
    gen::GenerateInput in;
    gen::ProjectFields &p = in.project;
    p.pathMAIN = root + "/site";
    p.pathDATA = root + "/data";
    p.fileTEMPLATE = templatesDir() + "template.htm";
    p.archiveTEMPLATE = templatesDir() + "archtemp.htm";
    p.edtRSSTEMPLATE = templatesDir() + "template.rss";
    p.edtTXTTEMPLATE = templatesDir() + "template.txt";
    p.edtMAINURI = "http://blog.example.com/";
    p.edtAUTHOR = "Jan Nov\xE1k";
    p.edtEMAIL = "jan@example.com";
    p.dirPATHARCHIVES = "archiv/";
    in.versionText = "1.0.0.1";
    in.fileDateText = "bench";
    in.buildTime.local = civilFromSeconds(secondsFromCivil(2026, 12, 7, 21, 5));
    return in;
}

class NullReporter : public gen::GenerateReporter {
public:
    void log(const std::string &) override {}
    void clearUploadList() override { uploads = 0; }
    void addToUploadList(const std::string &) override { ++uploads; }
    int uploads = 0;
};

// Child: Read's lists, then the timed generation.
int childGenerate(const std::string &root)
{
    gen::GenerateInput in = makeInput(root);
    const auto r0 = Clock::now();
    const std::vector<std::string> postList = makePostList(listPostFolder(in.project.pathDATA));
    const PostTreeWalk walk = walkPostList(postList);
    const auto r1 = Clock::now();
    in.postList = postList;
    in.monthList = monthList(walk);
    for (const MonthGroup &m : walk.months) {
        in.treeOrder.push_back(m.key);
        in.treeOrder.insert(in.treeOrder.end(), m.posts.begin(), m.posts.end());
    }
    const long baseline = statusKb("VmRSS");
    NullReporter reporter;
    const double c0 = cpuSeconds();
    const auto t0 = Clock::now();
    gen::GenerateSite(in, reporter);
    const auto t1 = Clock::now();
    const double c1 = cpuSeconds();
    std::printf("%.6f %ld %ld %.6f %d %.6f\n", std::chrono::duration<double>(t1 - t0).count(),
                statusKb("VmHWM"), baseline, std::chrono::duration<double>(r1 - r0).count(),
                reporter.uploads, c1 - c0);
    return 0;
}

// Child: read every post once, write the files of the manifest (same sizes),
// whole through a temporary file renamed over the target as generation does,
// or (plain) with ordinary writes that skip the flush to disk.
int childFloor(const std::string &root, bool plain)
{
    const std::string data = root + "/data";
    const std::vector<std::string> names = listPostFolder(data);
    std::vector<std::pair<std::string, std::size_t>> outputs;
    {
        std::ifstream m(root + "/manifest");
        std::string rel;
        std::size_t size;
        while (m >> rel >> size)
            outputs.emplace_back(root + "/floor/" + rel, size);
    }
    const long baseline = statusKb("VmRSS");
    const double c0 = cpuSeconds();
    const auto t0 = Clock::now();
    std::string pool;
    std::size_t read = 0;
    for (const std::string &n : names) {
        const std::string bytes = readWholeFile(data + "/" + n);
        read += bytes.size();
        if (pool.size() < (1u << 20))
            pool += bytes;
    }
    QDir().mkpath(QString::fromStdString(root + "/floor/archiv"));
    std::string out;
    for (const auto &[path, size] : outputs) {
        out.clear();
        while (out.size() < size)
            out.append(pool, 0, std::min(pool.size(), size - out.size()));
        if (plain) {
            std::ofstream f(path, std::ios::binary | std::ios::trunc);
            f.write(out.data(), static_cast<std::streamsize>(out.size()));
        } else {
            writeWholeFileAtomic(path, out);
        }
    }
    const auto t1 = Clock::now();
    const double c1 = cpuSeconds();
    std::printf("%.6f %ld %ld %d %.6f\n", std::chrono::duration<double>(t1 - t0).count(),
                statusKb("VmHWM"), baseline, static_cast<int>(read > 0), c1 - c0);
    return 0;
}

struct Run {
    double cpu = 0;
    double seconds = 0;
    long peakKb = 0;
    long baselineKb = 0;
    double readSeconds = 0;
    int files = 0;
};

Run runChild(const QString &mode, const QString &root)
{
    QProcess p;
    p.start(QCoreApplication::applicationFilePath(), {mode, root});
    p.waitForFinished(-1);
    Run r;
    const QByteArray out = p.readAllStandardOutput();
    if (p.exitCode() != 0 || out.isEmpty()) {
        std::fprintf(stderr, "child %s failed: %s\n", mode.toUtf8().constData(),
                     p.readAllStandardError().constData());
        std::exit(1);
    }
    if (mode == "--child-generate")
        std::sscanf(out.constData(), "%lf %ld %ld %lf %d %lf", &r.seconds, &r.peakKb,
                    &r.baselineKb, &r.readSeconds, &r.files, &r.cpu);
    else
        std::sscanf(out.constData(), "%lf %ld %ld %d %lf", &r.seconds, &r.peakKb, &r.baselineKb,
                    &r.files, &r.cpu);
    return r;
}

Run median(std::vector<Run> runs)
{
    std::sort(runs.begin(), runs.end(), [](const Run &a, const Run &b) { return a.seconds < b.seconds; });
    return runs[runs.size() / 2];
}

struct Result {
    int posts;
    Run gen, floor, plainFloor;
    long long outputBytes;
    int outputFiles;
};

Result measure(int posts, int repeats)
{
    QTemporaryDir tmp(QDir::tempPath() + "/tl-bench-generate-XXXXXX");
    const std::string root = tmp.path().toStdString();
    std::fprintf(stderr, "%d posts: writing the blog...\n", posts);
    makeBlog(root + "/data", posts);

    Result res{posts, {}, {}, {}, 0, 0};
    std::vector<Run> gens, floors, plainFloors;
    for (int i = 0; i < repeats; ++i) {
        QDir(QString::fromStdString(root + "/site")).removeRecursively();
        QDir().mkpath(QString::fromStdString(root + "/site"));
        gens.push_back(runChild("--child-generate", tmp.path()));
        std::fprintf(stderr, "  generate %.3f s\n", gens.back().seconds);
    }
    // The floor writes the files generation wrote, with their sizes.
    {
        std::ofstream m(root + "/manifest");
        const QDir site(QString::fromStdString(root + "/site"));
        QDirIterator it(site.path(), QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString f = it.next();
            const qint64 size = QFileInfo(f).size();
            m << site.relativeFilePath(f).toStdString() << " " << size << "\n";
            res.outputBytes += size;
            ++res.outputFiles;
        }
    }
    for (int i = 0; i < repeats; ++i) {
        QDir(QString::fromStdString(root + "/floor")).removeRecursively();
        floors.push_back(runChild("--child-floor", tmp.path()));
        std::fprintf(stderr, "  floor    %.3f s\n", floors.back().seconds);
        QDir(QString::fromStdString(root + "/floor")).removeRecursively();
        plainFloors.push_back(runChild("--child-floor-plain", tmp.path()));
        std::fprintf(stderr, "  plain    %.3f s\n", plainFloors.back().seconds);
    }
    res.gen = median(gens);
    res.floor = median(floors);
    res.plainFloor = median(plainFloors);
    return res;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc == 3 && std::string(argv[1]) == "--child-generate")
        return childGenerate(argv[2]);
    if (argc == 3 && std::string(argv[1]) == "--child-floor")
        return childFloor(argv[2], false);
    if (argc == 3 && std::string(argv[1]) == "--child-floor-plain")
        return childFloor(argv[2], true);

    std::vector<int> sizes = {10000, 100000};
    int repeats = 3;
    if (argc >= 2)
        sizes = {std::atoi(argv[1])};
    if (argc >= 3)
        repeats = std::max(1, std::atoi(argv[2]));

    std::vector<Result> results;
    for (int n : sizes)
        results.push_back(measure(n, repeats));

    std::printf("| posts | output files | output MB | generation s (CPU s) | peak RSS MB (before run) "
                "| floor s (CPU s) | floor peak RSS MB | generation / floor | plain-write floor s "
                "| generation / plain floor |\n");
    std::printf("|---|---|---|---|---|---|---|---|---|---|\n");
    for (const Result &r : results)
        std::printf("| %d | %d | %.1f | %.2f (%.2f) | %.1f (%.1f) | %.2f (%.2f) | %.1f | %.2f "
                    "| %.2f | %.2f |\n",
                    r.posts, r.outputFiles, r.outputBytes / 1e6, r.gen.seconds, r.gen.cpu,
                    r.gen.peakKb / 1024.0, r.gen.baselineKb / 1024.0, r.floor.seconds, r.floor.cpu,
                    r.floor.peakKb / 1024.0, r.gen.seconds / r.floor.seconds,
                    r.plainFloor.seconds, r.gen.seconds / r.plainFloor.seconds);
    if (results.size() == 2)
        std::printf("\n100,000 / 10,000 wall time: generation %.2f, floor %.2f, plain floor %.2f\n",
                    results[1].gen.seconds / results[0].gen.seconds,
                    results[1].floor.seconds / results[0].floor.seconds,
                    results[1].plainFloor.seconds / results[0].plainFloor.seconds);
    for (const Result &r : results)
        std::printf("Read's lists for %d posts (run before generation, not in its time): %.3f s\n",
                    r.posts, r.gen.readSeconds);
    return 0;
}
