#pragma once
#include "publish/ftpclient.h"

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tl::test {

// How an operation ended: kind "" for success, else the exception's class
// ("EAbortError", "ESockError", "FTPException", "AppError") and message.
struct Outcome {
    std::string kind;
    std::string message;
};

inline Outcome outcomeOf(const std::function<void()> &work)
{
    try {
        work();
        return {};
    } catch (const EAbortError &e) {
        return {"EAbortError", e.what()};
    } catch (const ESockError &e) {
        return {"ESockError", e.what()};
    } catch (const FTPException &e) {
        return {"FTPException", e.what()};
    } catch (const AppError &e) {
        return {"AppError", e.what()};
    }
}

// Deterministic bytes of every value 0..255, line ends and zero bytes included.
inline QByteArray patternBytes(qsizetype size, unsigned seed = 1)
{
    QByteArray out(size, Qt::Uninitialized);
    quint32 x = seed * 2654435761u + 12345u;
    for (qsizetype i = 0; i < size; ++i) {
        x = x * 1664525u + 1013904223u;
        out[i] = static_cast<char>(x >> 24);
    }
    return out;
}

// Runs the event loop until `done` holds or `ms` have passed; returns done().
bool spinUntil(const std::function<bool()> &done, int ms = 3000);

QByteArray readFileBytes(const QString &path);
void writeFileBytes(const QString &path, const QByteArray &bytes);
// Names of the entries of a folder, sorted.
std::vector<std::string> folderEntries(const QString &dir);
// Lines of a text file.
std::vector<std::string> fileLines(const QString &path);

} // namespace tl::test
