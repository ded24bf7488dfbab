#pragma once
// Pictures made by the tests: JPEG, PNG and WebP files written with Qt, and
// a phone's EXIF block (orientation and a GPS position) written into a JPEG
// by hand.
#include <QByteArray>
#include <QImage>
#include <QString>

namespace tl::test {

// An image `width` x `height` whose left quarter is blue and the rest red.
QImage twoColourImage(int width, int height);
// The image encoded ("JPEG", "PNG", "WEBP").
QByteArray encoded(const QImage &image, const char *format);
// A JPEG with an APP1 EXIF block holding this orientation and a GPS position
// (50° 5' 12.34" N, 14° 25' 43.21" E), as a phone writes it.
QByteArray withPhoneExif(const QByteArray &jpeg, int orientation);
// The kinds of metadata segment (APP1 EXIF/XMP, APP13, COM) before a JPEG's
// image data, as marker bytes; empty when there are none.
QByteArray jpegMetadataMarkers(const QByteArray &jpeg);

} // namespace tl::test
