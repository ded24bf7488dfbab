// Reading posts: the cost of Read for a data folder of 10,000 and of 100,000
// posts spread over 20 years. Three figures per size:
//   store  - folder listing + post list + month list (the posts library),
//   tree   - filling the post tree from the walk,
//   Read   - the whole Read command of the main window (both of the above,
//            the log lines, the status bar and the lists the window keeps).
// Each figure is the least thread CPU time of several runs. The cost should grow about
// linearly: the 100,000 figures about ten times the 10,000 ones.
//
// Usage: bench_post_read [runs]   (default 5; runs offscreen)

#include "core/programfiles.h"
#include "ui/mainwindow.h"
#include "ui/widgets.h"
#include "posts/postfile.h"
#include "posts/poststore.h"
#include "core/openproject.h"
#include "ui/posts/postscontroller.h"
#include "ui/posts/posttree.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTreeWidget>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <ctime>
#include <vector>

namespace {

// Posts evenly spread over 2004-2023, each at a whole minute.
void makeDataFolder(const QString &folder, int count)
{
    const std::int64_t first = tl::secondsFromCivil(2004, 1, 1);
    const std::int64_t last = tl::secondsFromCivil(2024, 1, 1) - 60;
    const std::int64_t step = (last - first) / count;
    for (int i = 0; i < count; ++i) {
        const std::int64_t n = (first + i * step) / 60 * 60;
        QFile f(folder + "/" + QString::fromStdString(tl::postFileName(n)));
        if (!f.open(QIODevice::WriteOnly)) {
            std::fprintf(stderr, "cannot create %s\n", qPrintable(f.fileName()));
            std::exit(1);
        }
        f.write("Title\r\nBody of the post.");
    }
}

// CPU time of this thread, in milliseconds. The machine the figures come
// from is shared with other work: wall-clock time would count the time the
// thread waits for a processor, which grows with the length of the task, not
// with its cost.
double threadCpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

// The cheapest of the runs (the one least disturbed by other work).
double bestMs(int runs, const std::function<void()> &f)
{
    double best = 0;
    for (int r = 0; r < runs; ++r) {
        const double start = threadCpuMs();
        f();
        const double t = threadCpuMs() - start;
        if (r == 0 || t < best)
            best = t;
    }
    return best;
}

struct Figures {
    int posts = 0;
    std::size_t months = 0;
    double listing = 0, postList = 0, walk = 0; // parts of the store figure
    double store = 0, tree = 0, read = 0;
};

Figures measure(int count, int runs)
{
    QTemporaryDir dir;
    const QString data = dir.path() + "/data";
    QDir().mkpath(data);
    makeDataFolder(data, count);
    const std::string folder = data.toStdString();

    Figures fig;
    fig.posts = count;
    tl::PostTreeWalk walk;
    fig.store = bestMs(runs, [&] {
        const auto listing = tl::listPostFolder(folder);
        const auto list = tl::makePostList(listing);
        walk = tl::walkPostList(list);
        const auto months = tl::monthList(walk);
        fig.months = months.size();
    });

    // The store's three steps on their own.
    std::vector<std::string> listing;
    std::vector<std::string> list;
    fig.listing = bestMs(runs, [&] { listing = tl::listPostFolder(folder); });
    fig.postList = bestMs(runs, [&] { list = tl::makePostList(listing); });
    fig.walk = bestMs(runs, [&] { walk = tl::walkPostList(list); });

    QTreeWidget tree;
    tl::preparePostTree(&tree);
    fig.tree = bestMs(runs, [&] { tl::fillPostTree(&tree, walk); });

    // The whole command, on a main window living in its own program folder.
    tl::setProgramFolderOverride(dir.path().toStdString() + "/");
    {
        tl::MainWindow w;
        tl::ProjectSettings settings;
        settings.site.dataFolder = data;
        w.project().presetSettings(settings);
        w.project().open(QStringLiteral("bench")); // no project file: the settings stay
        fig.read = bestMs(runs, [&] { w.posts().read(); });
        if (w.posts().lastRead().postList.size() != static_cast<std::size_t>(count))
            std::fprintf(stderr, "Read listed %zu posts, expected %d\n",
                         w.posts().lastRead().postList.size(), count);
    }
    tl::setProgramFolderOverride(std::string());
    return fig;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;

    const Figures small = measure(10000, runs);
    const Figures large = measure(100000, runs);

    std::printf("Reading posts (CPU milliseconds, best of %d runs)\n", runs);
    std::printf("%8s %7s %10s %10s %10s\n", "posts", "months", "store", "tree", "Read");
    for (const Figures &f : {small, large})
        std::printf("%8d %7zu %10.1f %10.1f %10.1f\n", f.posts, f.months, f.store, f.tree, f.read);
    std::printf("ratio 100k/10k: store %.1f, tree %.1f, Read %.1f\n", large.store / small.store,
                large.tree / small.tree, large.read / small.read);
    std::printf("store in parts: %8s %10s %10s %10s\n", "posts", "listing", "post list", "walk");
    for (const Figures &f : {small, large})
        std::printf("                %8d %10.1f %10.1f %10.1f\n", f.posts, f.listing, f.postList,
                    f.walk);
    return 0;
}
