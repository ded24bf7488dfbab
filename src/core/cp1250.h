#pragma once
// The windows-1250 table of the program, used where file text (bytes) enters
// or leaves a widget (Unicode).
//
// Every byte 0x00-0xFF decodes to one character and encodes back to the same
// byte; the five bytes windows-1250 leaves undefined (0x81, 0x83, 0x88, 0x90,
// 0x98) decode to the C1 control characters of the same value. A character
// the table cannot hold is encoded as an HTML numeric character reference of
// its whole code point ("&#x1F600;"), so nothing typed is lost and a page
// still shows it.
#include <QByteArray>
#include <QString>
#include <string>

namespace tl {

QString decodeCp1250(const std::string &bytes);
QString decodeCp1250(const QByteArray &bytes);
QString decodeCp1250(const char *data, std::size_t size);

std::string encodeCp1250(const QString &text);
QByteArray encodeCp1250Bytes(const QString &text);

// The Unicode code point of one windows-1250 byte.
char32_t cp1250ToUnicode(unsigned char byte);
// The byte for one code point, or -1 when windows-1250 has none.
int unicodeToCp1250(char32_t codePoint);

} // namespace tl
