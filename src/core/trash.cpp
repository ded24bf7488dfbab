#include "core/trash.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace tl {

QString userTrashFolder()
{
    QString dataHome = qEnvironmentVariable("XDG_DATA_HOME");
    if (dataHome.isEmpty() || QDir::isRelativePath(dataHome))
        dataHome = QDir::homePath() + QStringLiteral("/.local/share");
    return dataHome + QStringLiteral("/Trash");
}

namespace {

// The trash and its two folders, made as the freedesktop.org trash layout
// asks (readable by the user alone). False when it cannot be made.
bool makeUserTrash()
{
    const QString trash = userTrashFolder();
    if (QFileInfo(trash + QStringLiteral("/files")).isDir()
        && QFileInfo(trash + QStringLiteral("/info")).isDir())
        return true;
    const bool fresh = !QFileInfo::exists(trash);
    if (!QDir().mkpath(trash + QStringLiteral("/files"))
        || !QDir().mkpath(trash + QStringLiteral("/info")))
        return false;
    if (fresh)
        QFile::setPermissions(
            trash, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    return true;
}

} // namespace

bool moveToTrash(const QString &path)
{
    // Qt puts a file whose trash it cannot make into "files" below the
    // current folder; with the trash made first it never has to.
    if (makeUserTrash() && QFile::moveToTrash(path))
        return true;
    // No trash to take the file: it is deleted, as the writer asked.
    return QFile::remove(path);
}

} // namespace tl
