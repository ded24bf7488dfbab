// Inserting pictures: web-sized copies in the site, turned upright, with no
// metadata, under names that never replace a file, and nothing left behind
// by a picture that cannot be taken.
#include "pictures.h"
#include "testsupport.h"

#include "core/errors.h"
#include "core/projectsettings.h"
#include "media/picture.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QImageReader>
#include <QImageWriter>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tl;
using namespace tl::test;

namespace {

class Pictures : public ::testing::Test {
protected:
    void SetUp() override
    {
        root = dir.path() + "/";
        QDir().mkpath(root + "site");
        project.site.mainFolder = root + "site";
    }

    // Every file and folder below the main folder, hidden ones included.
    QStringList siteContents() const
    {
        QStringList out;
        QDirIterator it(root + "site", QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                        QDirIterator::Subdirectories);
        while (it.hasNext())
            out << it.next().mid(root.size());
        out.sort();
        return out;
    }

    QString write(const QString &name, const QByteArray &bytes)
    {
        writeBytes(root + name, bytes.toStdString());
        return root + name;
    }

    // The message a failed insertion gives, "" when it did not fail.
    QString failure(const QString &file)
    {
        try {
            media::insertPicture(project, file, 2026, 12, QString());
        } catch (const AppError &e) {
            return QString::fromLocal8Bit(e.what());
        }
        return QString();
    }

    QTemporaryDir dir;
    QString root;
    ProjectSettings project;
};

QImage readImage(const QString &path, QByteArray *format = nullptr)
{
    QImageReader reader(path);
    if (format)
        *format = reader.format();
    return reader.read();
}

TEST_F(Pictures, PhonePhotoIsTurnedUprightResizedAndLosesItsExifAndGps)
{
    // Stored 2400 x 1200 as the sensor saw it; orientation 6 says: turn it a
    // quarter clockwise, so it shows 1200 x 2400 with the blue quarter on top.
    const QByteArray original =
        withPhoneExif(encoded(twoColourImage(2400, 1200), "JPEG"), 6);
    const QString file = write("IMG_2043 Žluťoučký.JPG", original);
    ASSERT_TRUE(original.contains("Exif"));
    ASSERT_EQ(QImageReader(file).transformation(), QImageIOHandler::TransformationRotate90);

    const media::InsertedPicture p =
        media::insertPicture(project, file, 2026, 12, QStringLiteral("Sea & \"sky\" <3"));

    const QString folder = root + "site/media/2026/12/";
    EXPECT_EQ(p.files, QStringList({folder + "img-2043-zlutoucky-800.jpg",
                                    folder + "img-2043-zlutoucky-1200.jpg"}));
    EXPECT_EQ(p.html,
              "<img src=\"media/2026/12/img-2043-zlutoucky-800.jpg\" "
              "srcset=\"media/2026/12/img-2043-zlutoucky-800.jpg 800w, "
              "media/2026/12/img-2043-zlutoucky-1200.jpg 1200w\" width=\"800\" height=\"1600\" "
              "alt=\"Sea &amp; &quot;sky&quot; &lt;3\" />");
    EXPECT_EQ(siteContents(), QStringList({"site/media", "site/media/2026", "site/media/2026/12",
                                           "site/media/2026/12/img-2043-zlutoucky-1200.jpg",
                                           "site/media/2026/12/img-2043-zlutoucky-800.jpg"}));

    const QSize sizes[] = {{800, 1600}, {1200, 2400}};
    for (int i = 0; i < 2; ++i) {
        const QByteArray bytes = QByteArray::fromStdString(fileBytes(p.files[i]));
        QByteArray format;
        const QImage copy = readImage(p.files[i], &format);
        EXPECT_EQ(format, "jpeg");
        EXPECT_EQ(copy.size(), sizes[i]);
        EXPECT_EQ(QImageReader(p.files[i]).transformation(), QImageIOHandler::TransformationNone);
        // Upright: the blue quarter is the top, red below.
        const QColor top = copy.pixelColor(copy.width() / 2, copy.height() / 20);
        const QColor bottom = copy.pixelColor(copy.width() / 2, copy.height() * 19 / 20);
        EXPECT_GT(top.blue(), 150) << i;
        EXPECT_LT(top.red(), 100) << i;
        EXPECT_GT(bottom.red(), 150) << i;
        // No EXIF, XMP, IPTC or comment segment; no trace of the position.
        EXPECT_TRUE(jpegMetadataMarkers(bytes).isEmpty()) << i;
        EXPECT_FALSE(bytes.contains("Exif")) << i;
        EXPECT_FALSE(bytes.contains(QByteArray("\x00\x00\x04\xD2\x00\x00\x00\x64", 8))) << i;
    }
    // The original was only read.
    EXPECT_EQ(QByteArray::fromStdString(fileBytes(file)), original);
}

TEST_F(Pictures, FormatsAndTransparencyStayAndNamesNeverReplaceAFile)
{
    QImage logo(1000, 500, QImage::Format_ARGB32);
    logo.fill(Qt::transparent);
    for (int y = 0; y < 500; ++y)
        for (int x = 500; x < 1000; ++x)
            logo.setPixel(x, y, qRgba(0, 200, 0, 255));
    logo.setText("Comment", "taken at home");
    const QByteArray png = encoded(logo, "PNG");
    ASSERT_TRUE(png.contains("taken at home"));
    const QString file = write("Logo.png", png);

    const media::InsertedPicture first = media::insertPicture(project, file, 2026, 1, QString());
    const media::InsertedPicture second = media::insertPicture(project, file, 2026, 1, QString());
    const QString folder = root + "site/media/2026/01/";
    EXPECT_EQ(first.files, QStringList({folder + "logo-800.png", folder + "logo-1000.png"}));
    EXPECT_EQ(second.files, QStringList({folder + "logo-2-800.png", folder + "logo-2-1000.png"}));
    EXPECT_TRUE(second.html.contains("alt=\"\"")) << second.html.toStdString();

    for (const QString &f : first.files + second.files) {
        QByteArray format;
        const QImage copy = readImage(f, &format);
        EXPECT_EQ(format, "png") << f.toStdString();
        ASSERT_TRUE(copy.hasAlphaChannel()) << f.toStdString();
        EXPECT_EQ(qAlpha(copy.pixel(10, 10)), 0) << f.toStdString();
        EXPECT_EQ(qAlpha(copy.pixel(copy.width() - 10, 10)), 255) << f.toStdString();
        const QByteArray bytes = QByteArray::fromStdString(fileBytes(f));
        EXPECT_FALSE(bytes.contains("tEXt") || bytes.contains("taken at home")) << f.toStdString();
    }
    EXPECT_EQ(readImage(first.files[0]).size(), QSize(800, 400));

    // WebP stays WebP where Qt's image formats plugin reads and writes it.
    if (!QImageWriter::supportedImageFormats().contains("webp"))
        GTEST_SKIP() << "no WebP plugin";
    const media::InsertedPicture webp = media::insertPicture(
        project, write("photo.webp", encoded(twoColourImage(640, 480), "WEBP")), 2026, 1, "x");
    ASSERT_EQ(webp.files, QStringList({folder + "photo-640.webp"}));
    QByteArray format;
    EXPECT_EQ(readImage(webp.files[0], &format).size(), QSize(640, 480));
    EXPECT_EQ(format, "webp");
}

TEST_F(Pictures, BadFilesFailWithAClearMessageAndLeaveNothingBehind)
{
    const QString text = write("notes.jpg", "these are words, not pixels\n");
    EXPECT_TRUE(failure(text).contains("notes.jpg is not a picture")) << failure(text).toStdString();

    EXPECT_TRUE(failure(root + "gone.jpg").startsWith("Cannot open file " + root + "gone.jpg"));

    // A small file whose header claims 60000 x 60000 pixels (3.6 gigapixels)
    // is refused before it is decoded.
    QByteArray bomb = encoded(twoColourImage(64, 64), "JPEG");
    const qsizetype sof = bomb.indexOf("\xFF\xC0");
    ASSERT_GT(sof, 0);
    for (int k : {5, 7}) { // height, then width, big-endian
        bomb[sof + k] = char(60000 >> 8);
        bomb[sof + k + 1] = char(60000 & 0xFF);
    }
    const QString big = write("bomb.jpg", bomb);
    EXPECT_TRUE(failure(big).contains("60000 x 60000 pixels")) << failure(big).toStdString();

    // A PNG cut short: its header reads, its pixels do not.
    const QByteArray png = encoded(twoColourImage(800, 600), "PNG");
    const QString cut = write("cut.png", png.left(png.size() / 2));
    EXPECT_TRUE(failure(cut).contains("Cannot read the picture")) << failure(cut).toStdString();

    // Several files are all or none: the good one's copies go again.
    const QString good = write("good.png", png);
    EXPECT_THROW(media::insertPictures(project, {good, text}, 2026, 12, QString()), AppError);

    EXPECT_EQ(siteContents(), QStringList());
}

} // namespace
