#pragma once
// Pictures in posts: a photo the writer picks is copied into the site in
// web sizes, and the post gets the <img> tag that shows it.
//
// The copies go to the main folder's "media/YYYY/MM/" (the post's month),
// named after the picture's file in lower-case ASCII letters, digits and "-",
// with the width and the format's extension: "img-2043-800.jpg",
// "img-2043-1600.jpg". An existing file is never replaced: the name takes
// "-2", "-3", ... instead. Each copy is a new encoding of the picture, turned
// upright as its EXIF orientation says, so none of the original's metadata
// (camera, time, GPS position) reaches the site; the original file is only
// read, never changed, and is not part of the site.
//
// The tag links to the copies by their path from the main folder
// ("media/2026/12/img-2043-800.jpg"): right on the main page, in the preview
// and on the server; generation makes such links climb out of the archive
// folder on archive pages (see generator/medialinks.h).
#include <QByteArray>
#include <QSize>
#include <QString>
#include <QStringList>

#include <vector>

namespace tl {
struct ProjectSettings;
}

namespace tl::media {

// How the copies are made.
struct PictureOptions {
    // The widths of the copies, in pixels. A picture narrower than one of
    // them is never enlarged: its copies are the widths below its own and
    // one at its own width.
    std::vector<int> widths = {800, 1600};
    // Pictures of more pixels than this are refused before they are decoded
    // (a small file can claim enormous dimensions).
    qint64 maxPixels = 200'000'000;
    // The most memory one decoded picture may take.
    int allocationLimitMb = 1024;
    int jpegQuality = 82;
    int webpQuality = 80;
};

// What a picture became in the site.
struct InsertedPicture {
    QString html;      // the tag to put into the post
    QStringList files; // the copies written, full paths, narrowest first
    QString src;       // the tag's src: the narrowest copy, from the main folder
    QSize size;        // its width and height attributes (the narrowest copy)
    QStringList madeFolders; // folders made for it ("media/2026/12/"), outermost first
};

// "media/2026/12/": the folder, below the main folder, of a month's pictures.
QString mediaFolderOf(int year, int month);

// A file name's stem made safe for URLs: letters without their accents,
// lower case, digits kept, every other run of characters one "-", at most
// 60 characters; "picture" when nothing is left. "IMG_2043 Žluťoučký.JPG"
// gives "img-2043-zlutoucky".
QString safeStem(const QString &fileName);

// The <img> tag: src, srcset (every copy with its width), width, height and
// alt (the text escaped for HTML; an empty alt is written as alt="").
QString imageTag(const QString &src, const QStringList &srcset, const std::vector<int> &widths,
                 QSize size, const QString &alt);

// Copies the picture file into the project's site for a post of the given
// year and month, as described at the top. Throws AppError with a message
// for the writer when the main folder is not set or missing, the file cannot
// be read ("Cannot open file %s"), is no JPEG, PNG or WebP picture, is too
// large, cannot be decoded, or a copy cannot be written; nothing is then
// left in the site (no copy, no temporary file, no folder made for it).
InsertedPicture insertPicture(const ProjectSettings &settings, const QString &file, int year,
                              int month, const QString &alt, const PictureOptions &options = {});

// The same for a picture held in memory (pasted, dropped from a browser):
// `name` gives the copies their names.
InsertedPicture insertPictureData(const ProjectSettings &settings, const QByteArray &bytes,
                                  const QString &name, int year, int month, const QString &alt,
                                  const PictureOptions &options = {});

// Several files at once, all or none: when one fails, the copies of those
// before it are removed again and its failure is thrown.
std::vector<InsertedPicture> insertPictures(const ProjectSettings &settings,
                                            const QStringList &files, int year, int month,
                                            const QString &alt, const PictureOptions &options = {});

// Removes the files of an inserted picture (and the folders its insertion
// made, when they are empty again): a Cancel after the copies were made.
void removePicture(const InsertedPicture &picture);

} // namespace tl::media
