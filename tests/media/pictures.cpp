#include "pictures.h"

#include <QBuffer>
#include <QImageWriter>

namespace tl::test {

namespace {

void put16(QByteArray &b, int v)
{
    b.append(char((v >> 8) & 0xFF));
    b.append(char(v & 0xFF));
}

void put32(QByteArray &b, quint32 v)
{
    put16(b, int(v >> 16));
    put16(b, int(v & 0xFFFF));
}

// A big-endian TIFF structure: IFD0 with the orientation and a pointer to
// the GPS IFD, which holds latitude and longitude with their references.
QByteArray exifTiff(int orientation)
{
    QByteArray t = "MM";
    put16(t, 42);
    put32(t, 8);
    const int gpsIfd = 8 + 2 + 2 * 12 + 4;
    put16(t, 2);
    put16(t, 0x0112); put16(t, 3); put32(t, 1); put16(t, orientation); put16(t, 0);
    put16(t, 0x8825); put16(t, 4); put32(t, 1); put32(t, gpsIfd);
    put32(t, 0);
    const int rationals = gpsIfd + 2 + 4 * 12 + 4;
    put16(t, 4);
    put16(t, 1); put16(t, 2); put32(t, 2); t.append("N\0\0\0", 4);
    put16(t, 2); put16(t, 5); put32(t, 3); put32(t, rationals);
    put16(t, 3); put16(t, 2); put32(t, 2); t.append("E\0\0\0", 4);
    put16(t, 4); put16(t, 5); put32(t, 3); put32(t, rationals + 24);
    put32(t, 0);
    for (const auto &[num, den] : {std::pair{50, 1}, {5, 1}, {1234, 100}, {14, 1}, {25, 1}, {4321, 100}}) {
        put32(t, quint32(num));
        put32(t, quint32(den));
    }
    return t;
}

} // namespace

QImage twoColourImage(int width, int height)
{
    QImage img(width, height, QImage::Format_RGB32);
    img.fill(QColor(220, 30, 30));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width / 4; ++x)
            img.setPixel(x, y, qRgb(30, 30, 220));
    return img;
}

QByteArray encoded(const QImage &image, const char *format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setQuality(95);
    writer.write(image);
    return bytes;
}

QByteArray withPhoneExif(const QByteArray &jpeg, int orientation)
{
    QByteArray segment = QByteArray("Exif\0\0", 6) + exifTiff(orientation);
    QByteArray app1;
    app1.append(char(0xFF));
    app1.append(char(0xE1));
    put16(app1, int(segment.size()) + 2);
    app1 += segment;
    // After the JFIF segment, where a camera puts it.
    qsizetype at = 2;
    if (uchar(jpeg[2]) == 0xFF && uchar(jpeg[3]) == 0xE0)
        at = 4 + ((uchar(jpeg[4]) << 8) | uchar(jpeg[5]));
    QByteArray out = jpeg;
    out.insert(at, app1);
    return out;
}

QByteArray jpegMetadataMarkers(const QByteArray &jpeg)
{
    QByteArray found;
    qsizetype i = 2;
    while (i + 4 <= jpeg.size() && uchar(jpeg[i]) == 0xFF) {
        const uchar marker = uchar(jpeg[i + 1]);
        if (marker == 0xDA)
            break;
        if (marker == 0xE1 || marker == 0xED || marker == 0xFE)
            found.append(char(marker));
        i += 2 + ((uchar(jpeg[i + 2]) << 8) | uchar(jpeg[i + 3]));
    }
    return found;
}

} // namespace tl::test
