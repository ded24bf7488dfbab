#include "app/core/fileio.h"
#include "app/core/errors.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace tl {

bool tryReadWholeFile(const std::string &path, std::string &out)
{
    QFile f(QString::fromStdString(path));
    if (!f.open(QIODevice::ReadOnly))
        return false;
    QByteArray data = f.readAll();
    if (f.error() != QFileDevice::NoError)
        return false;
    out.assign(data.constData(), static_cast<size_t>(data.size()));
    return true;
}

std::string readWholeFile(const std::string &path)
{
    std::string out;
    if (!tryReadWholeFile(path, out))
        throw AppError(msgCannotOpenFile(path));
    return out;
}

void writeWholeFileAtomic(const std::string &path, const std::string &bytes,
                          const std::string &failureMessage)
{
    QSaveFile f(QString::fromStdString(path));
    f.setDirectWriteFallback(false);
    if (!f.open(QIODevice::WriteOnly))
        throw AppError(failureMessage);
    qint64 written = f.write(bytes.data(), static_cast<qint64>(bytes.size()));
    if (written != static_cast<qint64>(bytes.size())) {
        f.cancelWriting();
        throw AppError(failureMessage);
    }
    if (!f.commit())
        throw AppError(failureMessage);
}

void writeWholeFileAtomic(const std::string &path, const std::string &bytes)
{
    writeWholeFileAtomic(path, bytes, msgCannotCreateFile(path));
}

bool fileExists(const std::string &path)
{
    QFileInfo fi(QString::fromStdString(path));
    return fi.exists() && fi.isFile();
}

bool dirExists(const std::string &path)
{
    QFileInfo fi(QString::fromStdString(path));
    return fi.exists() && fi.isDir();
}

} // namespace tl
