// The main window on a large blog: how long it takes to open, and how long
// its Generate takes against the command line's.
//
//   open      - a fresh process starts the window on a blog whose project is
//               the default one, until the window is on screen (exposed) and
//               the start-up work, first paint included, is done; for an
//               empty blog and for blogs of 10,000 and 100,000 posts. The
//               figure that counts is the difference to the empty blog.
//   FTP tab   - with the window open, the FTP tab shown for the first time,
//               until idle: its send queue is worked out then (every post
//               file of a blog never sent is looked at).
//   generate  - with the window open on the 10,000-post blog, F9 until the
//               "Confirm" question that ends Generate, into an empty main
//               folder; against `tarvlit generate` as a whole process (start
//               to exit) into an empty main folder. The two take turns in
//               which goes first.
//
// Every measurement runs in a process of its own; the runs of the sizes take
// turns; medians are shown. Run it under a display, as a writer's window
// runs: `xvfb-run -a bench_window_open` (without one it runs offscreen).
//
// Usage: bench_window_open [--runs N] [SIZES...]   (default 5 runs; sizes
//        0 10000 100000; the Generate comparison uses 10,000 posts)

#include "core/programfiles.h"
#include "core/projectfile.h"
#include "posts/postfile.h"
#include "ui/aboutbox.h"
#include "ui/mainwindow.h"
#include "ui/prompts.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

using namespace tl;

namespace {

std::string templatesDir()
{
    return std::string(TL_SOURCE_DIR) + "/tests/data/generator/fixture/templates/";
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

double median(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

// About 1 KB of windows-1250 text, as the generation benchmark's posts.
std::string makeBody(int i)
{
    static const char *const sentences[] = {
        "Dnes jsem se vydal na proch\xE1zku kolem \x9Aumav\x9Dsk\xE9ho potoka. ",
        "The weather was <b>fine</b> and the path was dry &amp; easy. ",
        "P\xF8\xEDli\x9A \x9Elu\x9Dou\xE8k\xFD k\xF9\xF2 \xFAp\xECl \xEF\xE1"
        "belsk\xE9 \xF3"
        "dy. ",
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

// A program folder with the blog as its default project: PROG/tarvlit.ini,
// PROG/conf/bench.tvp, the blog in ROOT/blog (CONF, DATA, site-N).
struct Blog {
    int posts = 0;
    std::unique_ptr<QTemporaryDir> tmp;
    QString root, prog;
    int sites = 0;
    std::vector<double> open, peakMb, ftpTab, generate, cli;

    // Points the project at a main folder of its own for the next run.
    void freshSite()
    {
        const QString site = root + "/blog/site-" + QString::number(++sites);
        QDir().mkpath(site);
        ProjectSettings s;
        s.site.mainFolder = site;
        s.site.configFolder = root + "/blog/CONF";
        s.site.dataFolder = root + "/blog/DATA";
        s.site.mainTemplate = s.site.configFolder + "/template.htm";
        s.site.archiveTemplate = s.site.configFolder + "/archtemp.htm";
        s.site.feedTemplate = s.site.configFolder + "/template.rss";
        s.site.textTemplate = s.site.configFolder + "/template.txt";
        s.site.mainUri = QStringLiteral("http://blog.example.com/");
        s.site.archiveFolder = QStringLiteral("archiv/");
        s.content.author = QStringLiteral("Jan Novák");
        projectfile::save(prog + "conf/bench.tvp", s);
    }
};

void makeBlog(Blog &b)
{
    b.tmp = std::make_unique<QTemporaryDir>(QDir::tempPath() + "/tl-bench-window-XXXXXX");
    b.root = b.tmp->path();
    b.prog = b.root + "/prog/";
    QDir().mkpath(b.prog + "conf");
    QDir().mkpath(b.root + "/blog/CONF");
    const std::string data = (b.root + "/blog/DATA").toStdString();
    QDir().mkpath(QString::fromStdString(data));
    for (const char *t : { "template.htm", "archtemp.htm", "template.rss", "template.txt" })
        QFile::copy(QString::fromStdString(templatesDir() + t), b.root + "/blog/CONF/" + t);
    const std::int64_t start = secondsFromCivil(2006, 1, 1);
    const double span = 20 * 365.25 * 86400.0;
    for (int i = 0; i < b.posts; ++i) {
        const std::int64_t n = start + static_cast<std::int64_t>(i * span / b.posts) / 60 * 60;
        std::ofstream f(data + "/" + postFileName(n), std::ios::binary);
        f << postFileBytes("Post number " + std::to_string(i), makeBody(i));
    }
    std::ofstream(b.prog.toStdString() + "tarvlit.ini", std::ios::binary)
        << "[TForm1]\r\ncmbDEFPROJ_Text=bench\r\n";
    // The command line runs from a copy beside the blog's settings, as an
    // installed program runs from its own folder.
    QFile::copy(QStringLiteral(TL_TARVLIT_EXE), b.prog + "tarvlit");
    QFile(b.prog + "tarvlit").setPermissions(QFileDevice::ExeOwner | QFileDevice::ReadOwner);
    b.freshSite();
}

// Answers every question No; the first question asked ends the timing.
class TimingPrompts : public Prompts {
public:
    explicit TimingPrompts(QElapsedTimer &t)
        : timer_(t)
    {
    }
    void error(const QString &text) override
    {
        std::fprintf(stderr, "error: %s\n", qPrintable(text));
        std::exit(1);
    }
    void message(const QString &, const QString &text) override { error(text); }
    Answer question(const QString &title, const QString &, bool, Answer) override
    {
        if (askedAt < 0 && title == QLatin1String("Confirm"))
            askedAt = static_cast<double>(timer_.nsecsElapsed()) / 1e9;
        return Answer::No;
    }
    Answer saveChanges(const QString &, const QString &) override { return Answer::No; }
    QString chooseFolder(const QString &, const QString &) override { return {}; }
    QString chooseFile(const QString &, const QString &, const QString &) override { return {}; }
    std::optional<QString> askText(const QString &, const QString &, const QString &) override
    {
        return std::nullopt;
    }
    double askedAt = -1;

private:
    QElapsedTimer &timer_;
};

// Lets the window finish what start-up queued (the first paint among it).
void settleEvents()
{
    bool idle = false;
    QTimer::singleShot(0, [&] { idle = true; });
    while (!idle)
        QApplication::processEvents(QEventLoop::AllEvents);
    QApplication::processEvents(QEventLoop::AllEvents);
}

// Child: the window as the program opens it; prints "ready" once it is on
// screen and idle, then its peak memory, then the seconds the FTP tab took
// to show, then (with --generate) the seconds Generate took to its question.
int child(int argc, char **argv, const QString &prog, bool generate)
{
    setProgramFolderOverride(prog.toStdString());
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tarvel Lite"));
    initProgramResources();
    QApplication::setWindowIcon(programIcon());
    MainWindow w;
    QElapsedTimer timer;
    timer.start();
    auto prompts = std::make_unique<TimingPrompts>(timer);
    TimingPrompts *timing = prompts.get();
    w.setPrompts(std::move(prompts));
    w.show();
    while (!w.windowHandle() || !w.windowHandle()->isExposed())
        QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    settleEvents();
    std::printf("ready\n");
    std::fflush(stdout);
    std::printf("%ld\n", peakKb());
    {
        auto *tabs = w.findChild<QTabWidget *>(QStringLiteral("PageControl1"));
        QWidget *ftp = w.findChild<QWidget *>(QStringLiteral("tabFTP"));
        timer.restart();
        tabs->setCurrentWidget(ftp);
        settleEvents();
        std::printf("%.6f\n", static_cast<double>(timer.nsecsElapsed()) / 1e9);
        tabs->setCurrentIndex(0);
        settleEvents();
    }
    if (generate) {
        QAction *f9 = w.findChild<QAction *>(QStringLiteral("actGENERATE"));
        if (!f9 || !f9->isEnabled()) {
            std::fprintf(stderr, "Generate is not enabled\n");
            return 1;
        }
        timer.restart();
        timing->askedAt = -1;
        f9->trigger();
        if (timing->askedAt < 0) {
            std::fprintf(stderr, "Generate asked nothing\n");
            return 1;
        }
        std::printf("%.6f\n", timing->askedAt);
    }
    std::fflush(stdout);
    return 0;
}

// Seconds from the child's start to its "ready" line, and what it printed
// after it.
double runChild(const QStringList &args, std::vector<double> &after)
{
    ::sync();
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QElapsedTimer t;
    t.start();
    p.start(QCoreApplication::applicationFilePath(), args);
    double ready = -1;
    QByteArray out;
    while (p.state() != QProcess::NotRunning || p.bytesAvailable() > 0) {
        p.waitForReadyRead(-1);
        out += p.readAllStandardOutput();
        if (ready < 0 && out.startsWith("ready\n"))
            ready = static_cast<double>(t.nsecsElapsed()) / 1e9;
        if (p.state() == QProcess::NotRunning && p.bytesAvailable() == 0)
            break;
    }
    p.waitForFinished(-1);
    out += p.readAllStandardOutput();
    if (ready < 0 || p.exitCode() != 0) {
        std::fprintf(stderr, "child %s failed\n", qPrintable(args.join(' ')));
        std::exit(1);
    }
    after.clear();
    for (const QByteArray &line : out.split('\n').mid(1))
        if (!line.isEmpty())
            after.push_back(line.toDouble());
    return ready;
}

double timeCommandLine(const Blog &b)
{
    ::sync();
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedOutputChannel);
    p.setStandardErrorFile(QProcess::nullDevice());
    QElapsedTimer t;
    t.start();
    p.start(b.prog + "tarvlit", { QStringLiteral("generate"), QStringLiteral("bench") });
    p.waitForFinished(-1);
    const double s = static_cast<double>(t.nsecsElapsed()) / 1e9;
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        std::fprintf(stderr, "tarvlit generate failed\n");
        std::exit(1);
    }
    return s;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 3 && (std::string(argv[1]) == "--open" || std::string(argv[1]) == "--generate")) {
        if (qEnvironmentVariableIsEmpty("DISPLAY")
            && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        return child(
            argc, argv, QString::fromLocal8Bit(argv[2]), std::string(argv[1]) == "--generate");
    }

    QCoreApplication app(argc, argv);
    int runs = 5;
    std::vector<int> sizes;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--runs" && i + 1 < argc)
            runs = std::max(1, std::atoi(argv[++i]));
        else
            sizes.push_back(std::atoi(a.c_str()));
    }
    if (sizes.empty())
        sizes = { 0, 10000, 100000 };
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        std::fprintf(stderr, "no DISPLAY: the window runs offscreen (use xvfb-run -a)\n");

    std::vector<Blog> blogs(sizes.size());
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        blogs[i].posts = sizes[i];
        std::fprintf(stderr, "%d posts: writing the blog...\n", sizes[i]);
        makeBlog(blogs[i]);
    }
    std::vector<double> after;
    for (int r = 0; r < runs; ++r) {
        for (Blog &b : blogs) {
            const double s = runChild({ QStringLiteral("--open"), b.prog }, after);
            b.open.push_back(s);
            b.peakMb.push_back(after.empty() ? 0 : after[0] / 1024);
            b.ftpTab.push_back(after.size() > 1 ? after[1] : 0);
            std::fprintf(stderr, "  %d posts: window open in %.3f s\n", b.posts, s);
        }
    }
    // Generate: the 10,000-post blog (or the smallest non-empty one).
    Blog *g = nullptr;
    for (Blog &b : blogs)
        if (b.posts > 0 && (!g || b.posts == 10000 || (g->posts != 10000 && b.posts < g->posts)))
            g = &b;
    if (g) {
        for (int r = 0; r < runs; ++r) {
            const auto inWindow = [&] {
                g->freshSite();
                runChild({ QStringLiteral("--generate"), g->prog }, after);
                g->generate.push_back(after.size() > 2 ? after[2] : 0);
            };
            const auto commandLine = [&] {
                g->freshSite();
                g->cli.push_back(timeCommandLine(*g));
            };
            if (r % 2 == 0) {
                inWindow();
                commandLine();
            } else {
                commandLine();
                inWindow();
            }
            std::fprintf(stderr, "  %d posts: window Generate %.3f s, tarvlit generate %.3f s\n",
                g->posts, g->generate.back(), g->cli.back());
        }
    }

    std::printf("Opening the window (median of %d runs, seconds from process start to an "
                "exposed, idle window)\n",
        runs);
    std::printf("| posts | open s | over the empty blog s | peak RSS MB | FTP tab first shown s |\n"
                "|---|---|---|---|---|\n");
    double empty = -1;
    for (const Blog &b : blogs)
        if (b.posts == 0)
            empty = median(b.open);
    for (const Blog &b : blogs)
        std::printf("| %d | %.3f | %s | %.0f | %.3f |\n", b.posts, median(b.open),
            empty < 0 ? "-" : QByteArray::number(median(b.open) - empty, 'f', 3).constData(),
            median(b.peakMb), median(b.ftpTab));
    if (g) {
        std::vector<double> ratio;
        for (std::size_t r = 0; r < g->generate.size(); ++r)
            ratio.push_back(g->generate[r] / g->cli[r]);
        std::printf("\nGenerate on %d posts into an empty main folder (median of %d runs)\n",
            g->posts, runs);
        std::printf("| window, F9 to the question s | tarvlit generate, whole process s | "
                    "window / command line |\n|---|---|---|\n");
        std::printf("| %.3f | %.3f | %.2f |\n", median(g->generate), median(g->cli), median(ratio));
    }
    return 0;
}
