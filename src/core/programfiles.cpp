#include "core/programfiles.h"

#include "buildinfo.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QStandardPaths>

namespace tl {

namespace {
std::string g_override;

// The version block compiled into the program file. FileVersionText finds it
// by its opening marker and reads the fields up to the closing one.
extern "C" {
__attribute__((used)) const char tl_version_block[] =
    "\x01TLVERSIONINFO\x01"
    "FileVersion=" TL_VERSION_TEXT "\x01"
    "ProductVersion=" TL_VERSION_TEXT "\x01"
    "\x01TLVERSIONEND\x01";
}

// Both version fields of the first blocks that hold them, from one read of
// the file. A field no block holds (or that only an unclosed block could
// hold) stays empty.
VersionTexts versionFields(const std::string &path)
{
    VersionTexts out;
    QFile f(QString::fromStdString(path));
    if (!f.open(QIODevice::ReadOnly))
        return out;
    // Mapped rather than read: the block sits among the program's constant
    // data near the file's start, and a build with debug information is tens
    // of megabytes that the search then never touches.
    const qint64 size = f.size();
    uchar *mapped = size > 0 ? f.map(0, size) : nullptr;
    const QByteArray data = mapped ? QByteArray::fromRawData(reinterpret_cast<const char *>(mapped),
                                                             static_cast<qsizetype>(size))
                                   : f.readAll();
    // The markers are put together at run time so that this function's own
    // strings never look like a version block.
    const QByteArray open = QByteArray("\x01TLVERSION") + QByteArray("INFO\x01");
    const QByteArray close = QByteArray("\x01TLVERSION") + QByteArray("END\x01");
    bool haveFile = false, haveProduct = false;
    qsizetype start = data.indexOf(open);
    while (start >= 0 && !(haveFile && haveProduct)) {
        const qsizetype end = data.indexOf(close, start);
        if (end < 0)
            break;
        const QByteArray block = data.mid(start + open.size(), end - start - open.size());
        for (const QByteArray &entry : block.split('\x01')) {
            const qsizetype eq = entry.indexOf('=');
            if (eq <= 0)
                continue;
            const QByteArray name = entry.left(eq);
            if (!haveFile && name == "FileVersion") {
                out.file = entry.mid(eq + 1).toStdString();
                haveFile = true;
            } else if (!haveProduct && name == "ProductVersion") {
                out.product = entry.mid(eq + 1).toStdString();
                haveProduct = true;
            }
        }
        start = data.indexOf(open, end);
    }
    return out;
}

bool folderWritable(const QString &dir)
{
    QFileInfo fi(dir);
    return fi.isDir() && fi.isWritable();
}

// The program folder's own conf folder ("conf" or "CONF"), or "" when it has
// none: the sign of a build or of a copy kept in a folder of its own.
std::string ownConfFolder(const std::string &programFolder)
{
    const std::string conf = childFolderAnyCase(programFolder, "conf");
    return QFileInfo(QString::fromStdString(conf)).isDir() ? conf : std::string();
}
} // namespace

void setProgramFolderOverride(const std::string &folder) { g_override = folder; }

std::string ProgramFolder()
{
    if (!g_override.empty())
        return WithTrailingSeparator(g_override);
    return WithTrailingSeparator(QCoreApplication::applicationDirPath().toStdString());
}

std::string SettingsFolder()
{
    const std::string prog = ProgramFolder();
    if (!g_override.empty()
        || (folderWritable(QString::fromStdString(prog)) && !ownConfFolder(prog).empty()))
        return prog;
    QString data = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QDir().mkpath(data);
    return WithTrailingSeparator(data.toStdString());
}

std::string DefaultFilesFolder()
{
    const std::string prog = ProgramFolder();
    if (!g_override.empty() || !ownConfFolder(prog).empty())
        return childFolderAnyCase(prog, "conf");
    // Installed: the data folder's path relative to the bin folder was fixed
    // when the program was configured, so a package moved to another prefix
    // still finds its files.
    const QString installed = QDir::cleanPath(QString::fromStdString(prog)
                                              + QStringLiteral(TL_DATA_FROM_BIN "/conf"));
    return installed.toStdString();
}

std::string WithTrailingSeparator(const std::string &path)
{
    if (path.empty() || path.back() == '/')
        return path;
    return path + "/";
}

QString WithTrailingSeparator(const QString &path)
{
    if (path.isEmpty() || path.endsWith(QLatin1Char('/')))
        return path;
    return path + QLatin1Char('/');
}

std::string pathBytes(const QString &path)
{
    const QByteArray b = QFile::encodeName(path);
    return std::string(b.constData(), static_cast<std::size_t>(b.size()));
}

QString pathText(const std::string &bytes)
{
    return QFile::decodeName(QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())));
}

std::string childFolderAnyCase(const std::string &parentWithSlash, const std::string &name)
{
    QDir dir(QString::fromStdString(parentWithSlash));
    const QString wanted = QString::fromStdString(name);
    const QStringList entries = dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden);
    for (const QString &e : entries)
        if (e == wanted)
            return parentWithSlash + e.toStdString();
    for (const QString &e : entries)
        if (e.compare(wanted, Qt::CaseInsensitive) == 0)
            return parentWithSlash + e.toStdString();
    return parentWithSlash + name;
}

VersionTexts ReadVersionTexts(const std::string &path) { return versionFields(path); }

std::string FileVersionText(const std::string &path) { return versionFields(path).file; }

std::string ProductVersionText(const std::string &path) { return versionFields(path).product; }

std::string FileDateText(const std::string &path)
{
    QFileInfo fi(QString::fromStdString(path));
    if (!fi.exists())
        return {};
    const QDateTime dt = fi.lastModified();
    const QLocale loc;
    return (loc.toString(dt.date(), QLocale::ShortFormat) + " "
            + loc.toString(dt.time(), QLocale::LongFormat))
        .toStdString();
}

std::string ProgramFilePath()
{
    return QCoreApplication::applicationFilePath().toStdString();
}

} // namespace tl
