#pragma once
// Conversion of generated text from windows-1250 (the code page posts are
// typed in) to the charset of the pages: ISO 8859-2, byte by byte, or UTF-8.

#include <array>
#include <string>

namespace tl::gen {

// The charset choices of a project.
constexpr int kCharsetWindows1250 = 0;
constexpr int kCharsetIso88592 = 1;
constexpr int kCharsetUtf8 = 2;

// The name a page declares through "<!-- %CHARSET% -->": "iso-8859-2" for
// item 1, "utf-8" for item 2, "windows-1250" for item 0 and for anything else
// (no item chosen), since without conversion the bytes are windows-1250.
std::string charsetName(int charsetIndex);
// True when generated text is converted to ISO 8859-2 (item 1 only).
bool convertsToIso(int charsetIndex);

// The 256-byte table windows-1250 -> ISO 8859-2. Letters that both code pages
// hold move to their ISO 8859-2 byte; signs ISO 8859-2 lacks (typographic
// quotes, dashes, ellipsis, trade mark, copyright, ...) and DEL become "#".
const std::array<unsigned char, 256> &win1250ToIsoTable();

// Every byte mapped through the table; same length, NUL included.
std::string win1250ToIso88592(const std::string &text);
void win1250ToIso88592InPlace(std::string &text);

// Generated text made the page's charset: converted in place to ISO 8859-2
// with item 1 and to UTF-8 with item 2 (numeric character references stay as
// they are: a page in any charset shows them), left as it is otherwise.
// Text must be converted once only: converting converted text again garbles
// every letter beyond ASCII.
void toPageCharset(std::string &text, int charsetIndex);

} // namespace tl::gen
