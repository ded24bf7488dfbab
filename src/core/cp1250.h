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
#include <string_view>

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

// Byte text to byte text, for the places that hand text to the world in
// UTF-8 (pages written in UTF-8, the Markdown renderer). No QString between:
// - windows-1250 to UTF-8: every byte has its character (the undefined ones
//   their C1 control), so utf8ToCp1250 gives the bytes back unchanged;
// - UTF-8 to windows-1250: a character the table lacks becomes its numeric
//   character reference ("&#x2665;"), as in encodeCp1250; a byte that starts
//   no well-formed UTF-8 sequence stands for U+FFFD and becomes "&#xFFFD;".
std::string cp1250ToUtf8(std::string_view bytes);
void appendCp1250AsUtf8(std::string &out, std::string_view bytes);
std::string utf8ToCp1250(std::string_view utf8);

} // namespace tl
