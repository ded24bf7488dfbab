#include "ftptestutil.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>

namespace tl::test {

bool spinUntil(const std::function<bool()> &done, int ms)
{
    QElapsedTimer clock;
    clock.start();
    QTimer tick;
    tick.start(2);
    while (!done() && clock.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return done();
}

QByteArray readFileBytes(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray();
    return f.readAll();
}

void writeFileBytes(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write(bytes);
}

std::vector<std::string> folderEntries(const QString &dir)
{
    std::vector<std::string> out;
    for (const QString &n : QDir(dir).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot
                                                    | QDir::Hidden,
                                                QDir::Name))
        out.push_back(n.toStdString());
    return out;
}

std::vector<std::string> fileLines(const QString &path)
{
    std::vector<std::string> out;
    for (const QByteArray &line : readFileBytes(path).split('\n'))
        if (!line.isEmpty())
            out.push_back(line.toStdString());
    return out;
}

} // namespace tl::test
