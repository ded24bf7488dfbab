#include "media/picture.h"

#include "core/errors.h"
#include "core/programfiles.h"
#include "core/projectsettings.h"
#include "core/sitemedia.h"

#include <QBuffer>
#include <QColorSpace>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageIOHandler>
#include <QImageReader>
#include <QImageWriter>
#include <QTemporaryFile>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <future>
#include <memory>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tl::media {

namespace {

std::string local(const QString &text) { return text.toLocal8Bit().toStdString(); }

[[noreturn]] void fail(const QString &message) { throw AppError(local(message)); }

// The formats a picture may have, and how each is written again.
struct Format {
    QByteArray name;      // as QImageReader names it
    QString extension;    // of the copies
};

const Format *formatOf(const QByteArray &readerFormat)
{
    static const Format formats[] = {
        {"jpeg", QStringLiteral("jpg")},
        {"png", QStringLiteral("png")},
        {"webp", QStringLiteral("webp")},
    };
    const QByteArray f = readerFormat == "jpg" ? QByteArray("jpeg") : readerFormat.toLower();
    for (const Format &format : formats)
        if (format.name == f)
            return &format;
    return nullptr;
}

// One copy to make: its width and height, upright.
struct Copy {
    int width = 0;
    int height = 0;
    // Encoded and written to a hidden temporary file in the target folder.
    std::shared_ptr<QTemporaryFile> staged;
    QString placedAt; // the name it has been given, if any
    bool moved = false; // renamed rather than linked to that name
};

// The copies of a picture `shown` wide and high (upright): every configured
// width below its own, then its own width when that is not above the
// widest configured one. Never enlarged.
std::vector<Copy> plannedCopies(QSize shown, const PictureOptions &options)
{
    std::vector<int> widths = options.widths;
    std::sort(widths.begin(), widths.end());
    widths.erase(std::unique(widths.begin(), widths.end()), widths.end());
    std::vector<Copy> copies;
    const auto heightAt = [&](int w) {
        return std::max(1, static_cast<int>(std::lround(double(shown.height()) * w / shown.width())));
    };
    for (int w : widths)
        if (w > 0 && w < shown.width())
            copies.push_back({w, heightAt(w), {}, {}, false});
    if (widths.empty() || shown.width() <= widths.back())
        copies.push_back({shown.width(), shown.height(), {}, {}, false});
    return copies;
}

// The pixels alone: a new image with none of the text, colour space or
// resolution the decoder attached to it.
QImage barePixels(const QImage &image)
{
    QImage out(image.size(), image.format());
    if (out.isNull())
        return out;
    if (image.format() == QImage::Format_Indexed8 || image.format() == QImage::Format_Mono
        || image.format() == QImage::Format_MonoLSB)
        out.setColorTable(image.colorTable());
    const qsizetype line = std::min(image.bytesPerLine(), out.bytesPerLine());
    for (int y = 0; y < image.height(); ++y)
        std::memcpy(out.scanLine(y), image.constScanLine(y), static_cast<std::size_t>(line));
    return out;
}

quint32 bigEndian32(const QByteArray &b, qsizetype at)
{
    return (quint32(uchar(b[at])) << 24) | (quint32(uchar(b[at + 1])) << 16)
        | (quint32(uchar(b[at + 2])) << 8) | quint32(uchar(b[at + 3]));
}

// The kind of metadata a copy still holds ("EXIF", "a comment", ...), or ""
// when it holds none. Reads the blocks of the encoded file: JPEG segments up
// to the image data, PNG chunks, WebP chunks.
QString metadataIn(const QByteArray &b, const QByteArray &format)
{
    const qsizetype n = b.size();
    if (format == "jpeg") {
        qsizetype i = 2;
        while (i + 4 <= n) {
            if (uchar(b[i]) != 0xFF)
                return QStringLiteral("unreadable segments");
            const uchar marker = uchar(b[i + 1]);
            if (marker == 0xFF) {
                ++i;
                continue;
            }
            if (marker == 0xDA) // start of scan: the image data follows
                return {};
            if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {
                i += 2;
                continue;
            }
            if (marker == 0xE1)
                return QStringLiteral("EXIF or XMP");
            if (marker == 0xED)
                return QStringLiteral("IPTC");
            if (marker == 0xFE)
                return QStringLiteral("a comment");
            i += 2 + ((qsizetype(uchar(b[i + 2])) << 8) | uchar(b[i + 3]));
        }
        return QStringLiteral("unreadable segments");
    }
    if (format == "png") {
        for (qsizetype i = 8; i + 8 <= n;) {
            const QByteArray type = b.mid(i + 4, 4);
            if (type == "eXIf" || type == "tEXt" || type == "zTXt" || type == "iTXt"
                || type == "tIME")
                return QStringLiteral("a %1 chunk").arg(QString::fromLatin1(type));
            i += 12 + qsizetype(bigEndian32(b, i));
        }
        return {};
    }
    if (format == "webp") {
        for (qsizetype i = 12; i + 8 <= n;) {
            const QByteArray type = b.mid(i, 4);
            if (type == "EXIF" || type == "XMP ")
                return QString::fromLatin1(type).trimmed();
            const quint32 size = quint32(uchar(b[i + 4])) | (quint32(uchar(b[i + 5])) << 8)
                | (quint32(uchar(b[i + 6])) << 16) | (quint32(uchar(b[i + 7])) << 24);
            i += 8 + qsizetype(size) + (size & 1);
        }
        return {};
    }
    return QStringLiteral("an unknown format");
}

QByteArray encode(const QImage &image, const Format &format, const PictureOptions &options,
                  QString &error)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format.name);
    if (format.name == "jpeg") {
        writer.setQuality(options.jpegQuality);
        writer.setOptimizedWrite(true);
        writer.setProgressiveScanWrite(true);
    } else if (format.name == "webp") {
        writer.setQuality(options.webpQuality);
    }
    if (!writer.write(image)) {
        error = writer.errorString();
        return {};
    }
    return bytes;
}

// The picture decoded upright at the widest copy's size, and the copies to
// make of it; nothing is written yet.
struct Prepared {
    const Format *format = nullptr;
    QImage image;
    std::vector<Copy> copies;
    QString shownName;
};

Prepared prepare(const QByteArray &data, const QString &shownName, const PictureOptions &options)
{
    QByteArray bytes = data; // the buffer needs a non-const array; it is only read
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setDecideFormatFromContent(true);
    reader.setAllocationLimit(options.allocationLimitMb);
    reader.setAutoTransform(true);

    const QString only = QStringLiteral("only JPEG, PNG and WebP pictures can be inserted");
    const QByteArray readerFormat = reader.format();
    if (readerFormat.isEmpty())
        fail(QStringLiteral("%1 is not a picture: %2.").arg(shownName, only));
    const Format *format = formatOf(readerFormat);
    if (!format)
        fail(QStringLiteral("%1 is a %2 picture: %3.")
                 .arg(shownName, QString::fromLatin1(readerFormat.toUpper()), only));
    if (!QImageWriter::supportedImageFormats().contains(format->name))
        fail(QStringLiteral("%1 is a %2 picture, which this system cannot write.")
                 .arg(shownName, QString::fromLatin1(format->name.toUpper())));

    // The dimensions come from the header: a picture too large is refused
    // before a byte of it is decoded.
    const QSize stored = reader.size();
    if (!stored.isValid() || stored.isEmpty())
        fail(QStringLiteral("Cannot read the picture %1: %2")
                 .arg(shownName, reader.errorString()));
    const qint64 pixels = qint64(stored.width()) * stored.height();
    if (pixels > options.maxPixels)
        fail(QStringLiteral("%1 is %2 x %3 pixels: pictures of more than %4 megapixels are not "
                            "inserted.")
                 .arg(shownName)
                 .arg(stored.width())
                 .arg(stored.height())
                 .arg(options.maxPixels / 1000000));
    if (reader.supportsAnimation() && reader.imageCount() > 1)
        fail(QStringLiteral("%1 is an animated picture: only still pictures can be inserted.")
                 .arg(shownName));

    // EXIF orientation: a phone stores its photos as the sensor saw them
    // and says how to turn them; the copies are turned upright.
    const bool turned = reader.transformation() & QImageIOHandler::TransformationRotate90;
    const QSize shown = turned ? stored.transposed() : stored;
    std::vector<Copy> copies = plannedCopies(shown, options);
    const Copy &widest = copies.back();

    // Decoded straight at the widest copy's size (a JPEG decoder skips most
    // of the work at a half or a quarter of the size). The size asked for is
    // the stored one: the turn comes after it.
    if (widest.width != shown.width()) {
        const QSize target(widest.width, widest.height);
        reader.setScaledSize(turned ? target.transposed() : target);
    }
    QImage image = reader.read();
    if (image.isNull())
        fail(QStringLiteral("Cannot read the picture %1: %2").arg(shownName, reader.errorString()));
    if (image.size() != QSize(widest.width, widest.height))
        image = image.scaled(widest.width, widest.height, Qt::IgnoreAspectRatio,
                             Qt::SmoothTransformation);
    // Colours as the web assumes them (sRGB), so that no colour profile
    // needs to travel with the copies.
    if (image.colorSpace().isValid() && image.colorSpace() != QColorSpace(QColorSpace::SRgb))
        image.convertToColorSpace(QColorSpace::SRgb);
    if (image.format() == QImage::Format_Indexed8 || image.format() == QImage::Format_Mono
        || image.format() == QImage::Format_MonoLSB)
        image = image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32
                                                              : QImage::Format_RGB32);

    return {format, image, std::move(copies), shownName};
}

bool pathTaken(const QString &path)
{
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 || errno != ENOENT;
}

// Makes the folders of `relative` below `base` that are missing, noting
// each one made (outermost first).
void makeFolders(const QString &base, const QString &relative, QStringList &made)
{
    QString path = base;
    for (const QString &part : relative.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        path += part + QLatin1Char('/');
        if (QFileInfo(path).isDir())
            continue;
        if (!QDir().mkdir(path))
            throw AppError(msgCannotCreateFile(pathBytes(path)));
        made << path;
    }
}

void removeFolders(const QStringList &made)
{
    for (auto it = made.crbegin(); it != made.crend(); ++it)
        QDir().rmdir(*it); // only when empty
}

// Each copy encoded from the bare pixels and written to a hidden temporary
// file in `folder`, forced to disk, the copies side by side on the
// machine's cores. Throws when one cannot be made; the temporary files go
// with the copies.
void stageCopies(Prepared &p, const QString &folder, const PictureOptions &options)
{
    const auto make = [&](Copy &copy) -> QString {
        const QImage sized = copy.width == p.image.width()
            ? p.image
            : p.image.scaled(copy.width, copy.height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        QString error;
        const QByteArray bytes = encode(barePixels(sized), *p.format, options, error);
        if (bytes.isEmpty())
            return QStringLiteral("Cannot make a copy of the picture %1: %2")
                .arg(p.shownName, error.isEmpty() ? QStringLiteral("the encoder failed") : error);
        // The copies are new encodings of bare pixels, so this never finds
        // anything; it guards the promise that no metadata (a GPS position
        // above all) leaves with a picture.
        const QString left = metadataIn(bytes, p.format->name);
        if (!left.isEmpty())
            return QStringLiteral("The copy of the picture %1 would still hold %2; it was not made.")
                .arg(p.shownName, left);
        auto temp = std::make_shared<QTemporaryFile>(folder + QStringLiteral(".picture-XXXXXX"));
        if (!temp->open() || temp->write(bytes) != bytes.size() || !temp->flush()
            || ::fsync(temp->handle()) != 0)
            return QString::fromLocal8Bit(msgCannotCreateFile(pathBytes(temp->fileName())));
        temp->close();
        copy.staged = std::move(temp);
        return {};
    };
    std::vector<std::future<QString>> others;
    for (std::size_t i = 0; i + 1 < p.copies.size(); ++i)
        others.push_back(std::async(std::launch::async, make, std::ref(p.copies[i])));
    QString error = make(p.copies.back());
    for (auto &f : others) {
        const QString e = f.get();
        if (error.isEmpty())
            error = e;
    }
    if (!error.isEmpty())
        fail(error);
}

enum class Placed { Done, Taken };

// Gives a staged copy its name, only if no file has it: a second link to
// the temporary file (which then goes), or on a file system without links a
// rename that never replaces.
Placed placeCopy(Copy &copy, const QString &path)
{
    const QByteArray from = QFile::encodeName(copy.staged->fileName());
    const QByteArray to = QFile::encodeName(path);
    if (::link(from.constData(), to.constData()) == 0) {
        copy.placedAt = path;
        return Placed::Done;
    }
    if (errno == EEXIST)
        return Placed::Taken;
    if (errno == EPERM || errno == ENOTSUP || errno == EOPNOTSUPP || errno == EMLINK) {
        if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0) {
            copy.placedAt = path;
            copy.moved = true;
            return Placed::Done;
        }
        if (errno == EEXIST)
            return Placed::Taken;
    }
    throw AppError(msgCannotCreateFile(pathBytes(path)));
}

// Takes a copy's name away again.
void unplaceCopy(Copy &copy)
{
    if (copy.placedAt.isEmpty())
        return;
    if (!copy.moved
        || ::rename(QFile::encodeName(copy.placedAt).constData(),
                    QFile::encodeName(copy.staged->fileName()).constData())
            != 0)
        QFile::remove(copy.placedAt);
    copy.placedAt.clear();
    copy.moved = false;
}

InsertedPicture place(const ProjectSettings &settings, Prepared &prepared, const QString &name,
                      int year, int month, const QString &alt, const PictureOptions &options)
{
    const QString mainFolder = WithTrailingSeparator(settings.site.mainFolder);
    const QString relativeFolder = mediaFolderOf(year, month);
    const QString folder = mainFolder + relativeFolder;
    const QString stem = safeStem(name);
    const QString extension = QLatin1Char('.') + prepared.format->extension;

    QStringList madeFolders;
    try {
        makeFolders(mainFolder, relativeFolder, madeFolders);
        stageCopies(prepared, folder, options);
        for (int n = 1;; ++n) {
            if (n > 10000) // every name taken, or the folder cannot be looked into
                throw AppError(msgCannotCreateFile(pathBytes(folder + stem + extension)));
            const QString base = n == 1 ? stem : stem + QLatin1Char('-') + QString::number(n);
            const auto fileOf = [&](const Copy &c) {
                return base + QLatin1Char('-') + QString::number(c.width) + extension;
            };
            if (std::any_of(prepared.copies.begin(), prepared.copies.end(),
                            [&](const Copy &c) { return pathTaken(folder + fileOf(c)); }))
                continue;
            bool taken = false;
            for (Copy &c : prepared.copies)
                if (placeCopy(c, folder + fileOf(c)) == Placed::Taken) {
                    taken = true; // made meanwhile by someone else: the next name
                    break;
                }
            if (taken) {
                for (Copy &c : prepared.copies)
                    unplaceCopy(c);
                continue;
            }
            InsertedPicture out;
            QStringList srcset;
            std::vector<int> widths;
            for (const Copy &c : prepared.copies) {
                out.files << c.placedAt;
                srcset << relativeFolder + fileOf(c);
                widths.push_back(c.width);
            }
            out.src = srcset.first();
            out.size = QSize(prepared.copies.front().width, prepared.copies.front().height);
            out.html = imageTag(out.src, srcset, widths, out.size, alt);
            out.madeFolders = madeFolders;
            return out;
        }
    } catch (...) {
        for (Copy &c : prepared.copies)
            if (c.staged)
                unplaceCopy(c);
        prepared.copies.clear(); // the temporary files go
        removeFolders(madeFolders);
        throw;
    }
}

void checkTarget(const ProjectSettings &settings, int year, int month)
{
    if (settings.site.mainFolder.isEmpty())
        throw AppError("Main path is not set.\nPlease fill in the main path on tab OPTIONS.");
    if (!QFileInfo(settings.site.mainFolder).isDir())
        fail(QStringLiteral("The main folder %1 does not exist.").arg(settings.site.mainFolder));
    if (year < 1 || year > 9999 || month < 1 || month > 12)
        fail(QStringLiteral("No month %1-%2 for the picture's folder.").arg(year).arg(month));
}

} // namespace

QString mediaFolderOf(int year, int month)
{
    return QStringLiteral("%1%2/%3/")
        .arg(QLatin1String(kMediaFolder))
        .arg(year, 4, 10, QLatin1Char('0'))
        .arg(month, 2, 10, QLatin1Char('0'));
}

QString safeStem(const QString &fileName)
{
    const QString stem = QFileInfo(fileName).completeBaseName();
    QString out;
    bool dash = false;
    const auto add = [&](const QString &letters) {
        if (dash && !out.isEmpty())
            out += QLatin1Char('-');
        dash = false;
        out += letters;
    };
    // Letters that no decomposition takes to ASCII.
    static const std::pair<char16_t, const char *> own[] = {
        {u'ł', "l"}, {u'Ł', "l"}, {u'ß', "ss"}, {u'æ', "ae"}, {u'Æ', "ae"}, {u'ø', "o"},
        {u'Ø', "o"}, {u'đ', "d"}, {u'Đ', "d"}, {u'œ', "oe"}, {u'Œ', "oe"}, {u'þ', "th"},
        {u'Þ', "th"}, {u'ð', "d"}, {u'Ð', "d"}, {u'ı', "i"},
    };
    for (const QChar c : stem.normalized(QString::NormalizationForm_KD)) {
        const char16_t u = c.unicode();
        if ((u >= 'a' && u <= 'z') || (u >= '0' && u <= '9')) {
            add(QString(c));
        } else if (u >= 'A' && u <= 'Z') {
            add(QString(c.toLower()));
        } else if (c.category() == QChar::Mark_NonSpacing) {
            // the accent of a decomposed letter
        } else {
            const auto it = std::find_if(std::begin(own), std::end(own),
                                         [u](const auto &p) { return p.first == u; });
            if (it != std::end(own))
                add(QString::fromLatin1(it->second));
            else
                dash = true;
        }
    }
    out.truncate(60);
    while (out.endsWith(QLatin1Char('-')))
        out.chop(1);
    return out.isEmpty() ? QStringLiteral("picture") : out;
}

QString imageTag(const QString &src, const QStringList &srcset, const std::vector<int> &widths,
                 QSize size, const QString &alt)
{
    QStringList candidates;
    for (qsizetype i = 0; i < srcset.size() && i < qsizetype(widths.size()); ++i)
        candidates << QStringLiteral("%1 %2w").arg(srcset[i]).arg(widths[std::size_t(i)]);
    return QStringLiteral("<img src=\"%1\" srcset=\"%2\" width=\"%3\" height=\"%4\" alt=\"%5\" />")
        .arg(src, candidates.join(QStringLiteral(", ")))
        .arg(size.width())
        .arg(size.height())
        .arg(alt.toHtmlEscaped());
}

InsertedPicture insertPictureData(const ProjectSettings &settings, const QByteArray &bytes,
                                  const QString &name, int year, int month, const QString &alt,
                                  const PictureOptions &options)
{
    checkTarget(settings, year, month);
    Prepared prepared = prepare(bytes, name, options);
    return place(settings, prepared, QFileInfo(name).fileName(), year, month, alt, options);
}

InsertedPicture insertPicture(const ProjectSettings &settings, const QString &file, int year,
                              int month, const QString &alt, const PictureOptions &options)
{
    checkTarget(settings, year, month);
    QFile f(file);
    if (!QFileInfo(file).isFile() || !f.open(QIODevice::ReadOnly))
        throw AppError(msgCannotOpenFile(pathBytes(file)));
    const QByteArray bytes = f.readAll();
    if (f.error() != QFileDevice::NoError)
        throw AppError(msgCannotOpenFile(pathBytes(file)));
    f.close();
    Prepared prepared = prepare(bytes, file, options);
    return place(settings, prepared, QFileInfo(file).fileName(), year, month, alt, options);
}

std::vector<InsertedPicture> insertPictures(const ProjectSettings &settings,
                                            const QStringList &files, int year, int month,
                                            const QString &alt, const PictureOptions &options)
{
    std::vector<InsertedPicture> done;
    try {
        for (const QString &file : files)
            done.push_back(insertPicture(settings, file, year, month, alt, options));
    } catch (...) {
        for (auto it = done.rbegin(); it != done.rend(); ++it)
            removePicture(*it);
        throw;
    }
    return done;
}

void removePicture(const InsertedPicture &picture)
{
    for (const QString &f : picture.files)
        QFile::remove(f);
    removeFolders(picture.madeFolders);
}

} // namespace tl::media
