#pragma once
// Helpers the transfer benchmarks share: test data, checks that stop the
// run, whole-file reads and writes, and timing.
#include <QByteArray>
#include <QElapsedTimer>
#include <QFile>
#include <QString>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

namespace tl::bench {

// Deterministic bytes of every value 0..255, line ends and zero bytes included.
inline QByteArray patternBytes(qint64 size, unsigned seed)
{
    QByteArray out(size, Qt::Uninitialized);
    quint32 x = seed * 2654435761u + 12345u;
    for (qint64 i = 0; i < size; ++i) {
        x = x * 1664525u + 1013904223u;
        out[i] = static_cast<char>(x >> 24);
    }
    return out;
}

// A benchmark whose work went wrong measures nothing: it stops at once.
inline void check(bool ok, const char *what)
{
    if (!ok) {
        std::fprintf(stderr, "check failed: %s\n", what);
        std::exit(1);
    }
}

inline void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    check(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size(), "write a local file");
}

inline QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

inline bool sameFiles(const QString &a, const QString &b) { return readFile(a) == readFile(b); }

inline double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Seconds the work takes.
inline double timeIt(const std::function<void()> &work)
{
    QElapsedTimer t;
    t.start();
    work();
    return double(t.nsecsElapsed()) / 1e9;
}

} // namespace tl::bench
