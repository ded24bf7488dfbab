// Inserting a phone photo: a 24-megapixel JPEG (6000 x 4000, a photo-like
// gradient with fine noise, EXIF orientation 6 and a GPS position, as a
// phone writes it) made here once, then media::insertPicture run on it into
// a fresh main folder each time: read, decode at the widest copy's size,
// turn upright, make the 800 and 1600 pixel copies, encode them (side by
// side), check them for metadata and write them.
//
//   bench_picture_insert            5 runs
//   bench_picture_insert 9          9 runs
//
// Prints each run's wall-clock and CPU time, then the median, least and
// greatest wall-clock time.
#include "pictures.h"

#include "core/projectsettings.h"
#include "media/picture.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

using namespace tl;

namespace {

double cpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// A photo-like picture: smooth colour gradients with noise, which costs a
// JPEG coder about what a real photo costs.
QImage photo(int width, int height)
{
    QImage img(width, height, QImage::Format_RGB32);
    std::mt19937 rng(42);
    std::uniform_int_distribution<int> noise(-12, 12);
    for (int y = 0; y < height; ++y) {
        auto *line = reinterpret_cast<QRgb *>(img.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const int n = noise(rng);
            line[x] = qRgb(std::clamp(x * 255 / width + n, 0, 255),
                           std::clamp(y * 255 / height + n, 0, 255),
                           std::clamp(128 + (x - y) * 64 / width + n, 0, 255));
        }
    }
    return img;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    QTemporaryDir work;
    const QString source = work.path() + "/IMG_20261203_140512.jpg";
    {
        const QByteArray jpeg = test::withPhoneExif(test::encoded(photo(6000, 4000), "JPEG"), 6);
        QFile f(source);
        if (!f.open(QIODevice::WriteOnly) || f.write(jpeg) != jpeg.size())
            return 1;
        std::printf("source: 6000 x 4000 JPEG, %.1f MB, EXIF orientation 6 with GPS\n",
                    jpeg.size() / 1e6);
    }

    std::vector<double> walls;
    for (int i = 0; i < runs; ++i) {
        const QString site = work.path() + "/site" + QString::number(i);
        QDir().mkpath(site);
        ProjectSettings project;
        project.site.mainFolder = site;
        QElapsedTimer t;
        const double cpu0 = cpuSeconds();
        t.start();
        const media::InsertedPicture p =
            media::insertPicture(project, source, 2026, 12, QStringLiteral("The sea"));
        const double wall = t.nsecsElapsed() / 1e9;
        const double cpu = cpuSeconds() - cpu0;
        walls.push_back(wall);
        QStringList sizes;
        for (const QString &f : p.files) {
            const QSize s = QImageReader(f).size();
            sizes << QStringLiteral("%1x%2 (%3 kB)").arg(s.width()).arg(s.height()).arg(QFile(f).size() / 1000);
        }
        std::printf("run %d: %.3f s wall, %.3f s CPU: %s\n", i + 1, wall, cpu,
                    qPrintable(sizes.join(QStringLiteral(", "))));
    }
    std::sort(walls.begin(), walls.end());
    std::printf("insert 24 MP JPEG: median %.3f s, least %.3f s, greatest %.3f s (%d runs)\n",
                walls[walls.size() / 2], walls.front(), walls.back(), runs);
    return 0;
}
