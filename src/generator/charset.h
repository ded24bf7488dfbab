#pragma once
// Conversion of generated text from windows-1250 (the code page posts are
// typed in) to ISO 8859-2, byte by byte.

#include <array>
#include <string>

namespace tl::gen {

// The charset choices of a project.
constexpr int kCharsetWindows1250 = 0;
constexpr int kCharsetIso88592 = 1;

// The name a page declares through "<!-- %CHARSET% -->": "iso-8859-2" for
// item 1, "windows-1250" for item 0 and for anything else (no item chosen),
// since without conversion the bytes are windows-1250.
std::string charsetName(int charsetIndex);
// True when generated text is converted (item 1 only).
bool convertsToIso(int charsetIndex);

// The 256-byte table windows-1250 -> ISO 8859-2. Letters that both code pages
// hold move to their ISO 8859-2 byte; signs ISO 8859-2 lacks (typographic
// quotes, dashes, ellipsis, trade mark, copyright, ...) and DEL become "#".
const std::array<unsigned char, 256> &win1250ToIsoTable();

// Every byte mapped through the table; same length, NUL included.
std::string win1250ToIso88592(const std::string &text);
void win1250ToIso88592InPlace(std::string &text);

// Generated text made the page's charset: converted in place with item 1,
// left as it is otherwise.
void toPageCharset(std::string &text, int charsetIndex);

} // namespace tl::gen
