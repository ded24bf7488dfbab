// The find box over the post tree: the cost of filtering 10,000 and 100,000
// posts. The posts are spread over 20 years, each a title of three to six
// Czech words and a body of about 1 KB of windows-1250 text in paragraphs.
// Figures per size:
//   Read        - the Read command (titles are not read yet);
//   first find  - the first find after Read: every post read and folded, then
//                 the search and the tree shown filtered;
//   find        - a later find, from the whole tree shown, by what it matches:
//                 a word in 10 posts, a word in about half of them, a letter
//                 in all (n = posts matched);
//   typing      - the word in half of the posts typed letter by letter, one
//                 find per letter (as when every pause lets the filter run):
//                 the slowest letter and all eight together;
//   emptied     - the box emptied again (every post shown, months closed);
//   search only - the index's part of a find (PostIndex::find) over every
//                 text, without the tree;
//   held MB     - what the index keeps for finding (folded titles and texts).
// Each figure is the best wall-clock time of several runs (all work happens
// on the window's thread).
//
// Usage: bench_find_posts [runs]   (default 5; runs offscreen)

#include "core/cp1250.h"
#include "core/programfiles.h"
#include "ui/mainwindow.h"
#include "ui/widgets.h"
#include "posts/postfile.h"
#include "posts/postindex.h"
#include "core/openproject.h"
#include "ui/posts/postscontroller.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTreeWidget>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace {

const char *const kWords[] = {
    "blog",    "den",      "večer",    "ráno",   "město",   "řeka",    "les",     "cesta",
    "kniha",   "hudba",    "přítel",   "dopis",  "zahrada", "jaro",    "léto",    "podzim",
    "zima",    "škola",    "práce",    "domov",  "okno",    "světlo",  "stín",    "čas",
    "slovo",   "příběh",   "obraz",    "vítr",   "déšť",    "sníh",    "moře",    "hora",
    "údolí",   "most",     "vlak",     "nádraží", "kavárna", "náměstí", "ulice",  "dům",
    "žluťoučký", "kůň",    "úpěl",     "ďábelské", "ódy",    "čeština", "řeřicha", "šťastný",
};
constexpr int kWordCount = static_cast<int>(sizeof kWords / sizeof kWords[0]);

// The rare word stands in 10 posts, the common one in every second post.
const char *const kRare = "zlatoroh";
const char *const kCommon = "poznámka";

std::string cp1250(const char *utf8) { return tl::encodeCp1250(QString::fromUtf8(utf8)); }

void makeDataFolder(const QString &folder, int count)
{
    std::mt19937 rng(12345);
    std::vector<std::string> words;
    for (const char *w : kWords)
        words.push_back(cp1250(w));
    const std::string rare = cp1250(kRare), common = cp1250(kCommon);
    auto word = [&] { return words[static_cast<std::size_t>(rng() % kWordCount)]; };

    const std::int64_t first = tl::secondsFromCivil(2004, 1, 1);
    const std::int64_t last = tl::secondsFromCivil(2024, 1, 1) - 60;
    const std::int64_t step = (last - first) / count;
    for (int i = 0; i < count; ++i) {
        std::string text;
        const int titleWords = 3 + static_cast<int>(rng() % 4);
        for (int k = 0; k < titleWords; ++k)
            text += (k ? " " : "") + word();
        text += "\r\n";
        std::string body;
        while (body.size() < 1000) {
            body += word();
            body += (rng() % 12 == 0) ? ".\r\n\r\n" : " ";
            if (rng() % 40 == 0)
                body += "<b>" + word() + "</b> ";
        }
        if (i % 2 == 0)
            body += " " + common;
        if (i % (count / 10) == 7)
            body += " " + rare;
        text += body;
        const std::int64_t n = (first + i * step) / 60 * 60;
        QFile f(folder + "/" + QString::fromStdString(tl::postFileName(n)));
        if (!f.open(QIODevice::WriteOnly)) {
            std::fprintf(stderr, "cannot create %s\n", qPrintable(f.fileName()));
            std::exit(1);
        }
        f.write(text.data(), static_cast<qint64>(text.size()));
    }
}

double ms(const std::function<void()> &f)
{
    QElapsedTimer t;
    t.start();
    f();
    return static_cast<double>(t.nsecsElapsed()) / 1e6;
}

double bestMs(int runs, const std::function<void()> &before, const std::function<void()> &f)
{
    double best = 0;
    for (int r = 0; r < runs; ++r) {
        if (before)
            before();
        const double t = ms(f);
        if (r == 0 || t < best)
            best = t;
    }
    return best;
}

int matched(tl::MainWindow &w) { return w.posts().matchedPosts(); }

struct Figures {
    int posts = 0;
    double read = 0, firstFind = 0;
    double rare = 0, common = 0, letter = 0, cleared = 0;
    double typingSlowest = 0, typingAll = 0;
    int rareShown = 0, commonShown = 0, letterShown = 0;
    double searchRare = 0, searchCommon = 0, searchLetter = 0;
    double heldMb = 0;
};

Figures measure(int count, int runs)
{
    QTemporaryDir dir;
    const QString data = dir.path() + "/data";
    QDir().mkpath(data);
    makeDataFolder(data, count);

    Figures fig;
    fig.posts = count;
    tl::setProgramFolderOverride(dir.path().toStdString() + "/");
    {
        tl::MainWindow w;
        w.resize(580, 570);
        w.show();
        QApplication::processEvents();
        tl::ProjectSettings settings;
        settings.site.dataFolder = data;
        w.project().presetSettings(settings);
        w.project().open(QStringLiteral("bench")); // no project file: the settings stay
        auto *findBox = w.findChild<QLineEdit *>(QStringLiteral("edtFIND"));
        auto setFind = [&](const char *text) {
            const QSignalBlocker quiet(findBox); // no debounce timer
            findBox->setText(QString::fromUtf8(text));
        };
        auto findNow = [&](const char *text) {
            setFind(text);
            w.posts().applyFind();
            QApplication::processEvents(); // the tree lays itself out
        };

        setFind("");
        fig.read = bestMs(runs, nullptr, [&] {
            w.posts().read();
            QApplication::processEvents();
        });
        // Every run starts from a fresh Read, so every post is read again.
        fig.firstFind = bestMs(
            runs,
            [&] {
                setFind("");
                w.posts().read();
                QApplication::processEvents();
            },
            [&] { findNow(kRare); });
        fig.heldMb = static_cast<double>(w.posts().index().heldBytes()) / 1e6;

        const auto from = [&](const char *start) { return [&, start] { findNow(start); }; };
        fig.rare = bestMs(runs, from(""), [&] { findNow(kRare); });
        fig.rareShown = matched(w);
        fig.common = bestMs(runs, from(""), [&] { findNow(kCommon); });
        fig.commonShown = matched(w);
        fig.letter = bestMs(runs, from(""), [&] { findNow("e"); });
        fig.letterShown = matched(w);
        fig.cleared = bestMs(runs, from("e"), [&] { findNow(""); });

        // The common word typed on letter by letter.
        const QString word = QString::fromUtf8(kCommon);
        for (int r = 0; r < runs; ++r) {
            findNow("");
            double slowest = 0, all = 0;
            for (qsizetype k = 1; k <= word.size(); ++k) {
                const QByteArray typed = word.left(k).toUtf8();
                const double t = ms([&] { findNow(typed.constData()); });
                slowest = std::max(slowest, t);
                all += t;
            }
            if (r == 0 || all < fig.typingAll) {
                fig.typingAll = all;
                fig.typingSlowest = slowest;
            }
        }

        tl::PostIndex &index = w.posts().index();
        // A find of something else first, so that no find narrows the last.
        const std::string other = tl::foldForSearch(cp1250("#"));
        const auto search = [&](const char *text) {
            const std::string q = tl::foldForSearch(cp1250(text));
            return bestMs(runs, [&] { (void)index.find(other); }, [&] { (void)index.find(q); });
        };
        fig.searchRare = search(kRare);
        fig.searchCommon = search(kCommon);
        fig.searchLetter = search("e");
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

    std::printf("Finding posts (milliseconds, best of %d runs)\n", runs);
    std::printf("%8s %8s %10s %17s %17s %17s %14s %9s %8s\n", "posts", "Read", "first find",
                "find rare (n)", "find common (n)", "find 'e' (n)", "typing max/all",
                "emptied", "held MB");
    for (const Figures &f : {small, large})
        std::printf("%8d %8.1f %10.1f %9.1f (%6d) %9.1f (%6d) %9.1f (%6d) %6.1f/%7.1f %9.1f %8.1f\n",
                    f.posts, f.read, f.firstFind, f.rare, f.rareShown, f.common, f.commonShown,
                    f.letter, f.letterShown, f.typingSlowest, f.typingAll, f.cleared, f.heldMb);
    std::printf("search only: %8s %10s %10s %10s\n", "posts", "rare", "common", "'e'");
    for (const Figures &f : {small, large})
        std::printf("             %8d %10.1f %10.1f %10.1f\n", f.posts, f.searchRare,
                    f.searchCommon, f.searchLetter);
    std::printf("ratio 100k/10k: first find %.1f, find rare %.1f, common %.1f, 'e' %.1f\n",
                large.firstFind / small.firstFind, large.rare / small.rare,
                large.common / small.common, large.letter / small.letter);
    return 0;
}
