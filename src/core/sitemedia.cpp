#include "core/sitemedia.h"

#include "core/programfiles.h"

#include <QDir>
#include <QFileInfo>

namespace tl {

namespace {

void addFilesBelow(const QString &folder, QStringList &out)
{
    const QDir dir(folder);
    // Symbolic links are never followed: a link in the media folder could
    // lead anywhere, and only the site's own files may be sent.
    const QDir::Filters filters = QDir::NoDotAndDotDot | QDir::NoSymLinks;
    for (const QString &name : dir.entryList(QDir::Files | filters, QDir::Name))
        out << folder + name;
    for (const QString &name : dir.entryList(QDir::Dirs | filters, QDir::Name))
        addFilesBelow(folder + name + QLatin1Char('/'), out);
}

} // namespace

QStringList siteMediaFiles(const QString &mainFolder)
{
    QStringList out;
    if (mainFolder.isEmpty())
        return out;
    const QString media = WithTrailingSeparator(mainFolder) + QLatin1String(kMediaFolder);
    if (QFileInfo(media).isDir() && !QFileInfo(media.chopped(1)).isSymLink())
        addFilesBelow(media, out);
    return out;
}

} // namespace tl
