#include "generator/charset.h"

#include "core/cp1250.h"

namespace tl::gen {

namespace {

std::array<unsigned char, 256> buildTable()
{
    std::array<unsigned char, 256> t{};
    for (int b = 0; b < 256; ++b)
        t[b] = static_cast<unsigned char>(b);
    // No counterpart in ISO 8859-2 (or the control character DEL).
    const int hash[] = {0x7F, 0x80, 0x81, 0x82, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8B,
                        0x90, 0x91, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97, 0x98, 0x99, 0x9B, 0xA6,
                        0xA9, 0xAB, 0xAC, 0xAE, 0xB1, 0xB5, 0xB6, 0xB7, 0xBB};
    for (int b : hash)
        t[b] = '#';
    // Letters and signs both code pages hold, at another byte.
    const int moved[][2] = {{0x8A, 0xA9}, {0x8C, 0xA6}, {0x8D, 0xAB}, {0x8E, 0xAE}, {0x8F, 0xAC},
                            {0x9A, 0xB9}, {0x9C, 0xB6}, {0x9D, 0xBB}, {0x9E, 0xBE}, {0x9F, 0xBC},
                            {0xA1, 0xB7}, {0xA5, 0xA1}, {0xB9, 0xB1}, {0xBC, 0xA5}, {0xBE, 0xB5}};
    for (const auto &m : moved)
        t[m[0]] = static_cast<unsigned char>(m[1]);
    return t;
}

} // namespace

std::string charsetName(int charsetIndex)
{
    switch (charsetIndex) {
    case kCharsetIso88592:
        return "iso-8859-2";
    case kCharsetUtf8:
        return "utf-8";
    default:
        return "windows-1250";
    }
}

bool convertsToIso(int charsetIndex) { return charsetIndex == kCharsetIso88592; }

const std::array<unsigned char, 256> &win1250ToIsoTable()
{
    static const std::array<unsigned char, 256> table = buildTable();
    return table;
}

void win1250ToIso88592InPlace(std::string &text)
{
    const auto &t = win1250ToIsoTable();
    for (char &c : text)
        c = static_cast<char>(t[static_cast<unsigned char>(c)]);
}

void toPageCharset(std::string &text, int charsetIndex)
{
    if (convertsToIso(charsetIndex))
        win1250ToIso88592InPlace(text);
    else if (charsetIndex == kCharsetUtf8)
        text = cp1250ToUtf8(text);
}

std::string win1250ToIso88592(const std::string &text)
{
    std::string out = text;
    win1250ToIso88592InPlace(out);
    return out;
}

} // namespace tl::gen
