#include "fuzzsupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <unistd.h>

namespace tl::fuzz {

void fail(const char *file, int line, const char *condition, const std::string &detail)
{
    std::fprintf(stderr, "\n==== property broken at %s:%d\n     %s\n     %s\n", file, line, condition,
                 detail.c_str());
    std::fflush(stderr);
    std::abort();
}

std::string shown(const std::string &bytes, std::size_t limit)
{
    std::string out = "\"";
    for (std::size_t i = 0; i < bytes.size() && i < limit; ++i) {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (c == '\\' || c == '"') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c >= 0x20 && c < 0x7f) {
            out += static_cast<char>(c);
        } else {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02x", c);
            out += buf;
        }
    }
    out += "\"";
    if (bytes.size() > limit)
        out += "... (" + std::to_string(bytes.size()) + " bytes)";
    return out;
}

void ensureCoreApplication()
{
    if (QCoreApplication::instance())
        return;
    static int argc = 1;
    static char name[] = "fuzz";
    static char *argv[] = {name, nullptr};
    // Lives for the whole process; libFuzzer never returns from its loop.
    static auto *app = new QCoreApplication(argc, argv);
    (void)app;
}

namespace {

// Scratch files go to memory when the system offers a memory file system, so
// that the fsync of an atomic write costs nothing.
QString scratchRoot()
{
    // Never destroyed, so that the exit handler below can still use it.
    static const QString *root = [] {
        const QFileInfo shm("/dev/shm");
        QString base = shm.isDir() && shm.isWritable() ? shm.filePath() : QDir::tempPath();
        // scripts/fuzz.sh gives every run a folder it removes afterwards.
        if (qEnvironmentVariableIsSet("TL_FUZZ_SCRATCH"))
            base = qEnvironmentVariable("TL_FUZZ_SCRATCH");
        auto *r = new QString(base + "/tl-fuzz-" + QString::number(getpid()));
        QDir().mkpath(*r);
        // Removed when the process ends normally; a crashed run leaves it for
        // inspection.
        std::atexit([] { QDir(scratchRoot()).removeRecursively(); });
        return r;
    }();
    return *root;
}

} // namespace

std::string scratchFolder(const std::string &name)
{
    const QString folder = scratchRoot() + "/" + QString::fromStdString(name);
    QDir().mkpath(folder);
    return folder.toStdString() + "/";
}

std::vector<std::string> folderEntries(const std::string &folder)
{
    std::vector<std::string> out;
    const QStringList names = QDir(QString::fromStdString(folder))
                                  .entryList(QDir::AllEntries | QDir::Hidden | QDir::System
                                                 | QDir::NoDotAndDotDot,
                                             QDir::Name);
    for (const QString &n : names)
        out.push_back(n.toStdString());
    return out;
}

void removeFolderContents(const std::string &folder)
{
    QDir dir(QString::fromStdString(folder));
    for (const QString &n :
         dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)) {
        const QString p = dir.filePath(n);
        if (!QFile::remove(p))
            QDir(p).removeRecursively();
    }
}

std::vector<std::string> splitParts(const std::string &input, const std::string &separator,
                                    std::size_t count)
{
    std::vector<std::string> parts;
    std::size_t pos = 0;
    while (parts.size() + 1 < count) {
        const std::size_t at = input.find(separator, pos);
        if (at == std::string::npos)
            break;
        parts.push_back(input.substr(pos, at - pos));
        pos = at + separator.size();
    }
    parts.push_back(pos <= input.size() ? input.substr(pos) : std::string());
    parts.resize(count);
    return parts;
}

} // namespace tl::fuzz

namespace tl::fuzz {

bool spinUntil(const std::function<bool()> &done, int ms)
{
    QElapsedTimer since;
    since.start();
    while (!done()) {
        if (since.elapsed() > ms)
            return done();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    }
    return true;
}

void deleteLaterNow() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

} // namespace tl::fuzz
