#include "core/cp1250.h"

#include <array>
#include <cstdio>

namespace tl {

namespace {

// Code points of the bytes 0x80-0xFF. The undefined bytes carry their own
// value (a C1 control character) so that they survive a round trip.
constexpr char16_t kHigh[128] = {
    // 0x80
    0x20AC, 0x0081, 0x201A, 0x0083, 0x201E, 0x2026, 0x2020, 0x2021,
    0x0088, 0x2030, 0x0160, 0x2039, 0x015A, 0x0164, 0x017D, 0x0179,
    // 0x90
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x0098, 0x2122, 0x0161, 0x203A, 0x015B, 0x0165, 0x017E, 0x017A,
    // 0xA0
    0x00A0, 0x02C7, 0x02D8, 0x0141, 0x00A4, 0x0104, 0x00A6, 0x00A7,
    0x00A8, 0x00A9, 0x015E, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x017B,
    // 0xB0
    0x00B0, 0x00B1, 0x02DB, 0x0142, 0x00B4, 0x00B5, 0x00B6, 0x00B7,
    0x00B8, 0x0105, 0x015F, 0x00BB, 0x013D, 0x02DD, 0x013E, 0x017C,
    // 0xC0
    0x0154, 0x00C1, 0x00C2, 0x0102, 0x00C4, 0x0139, 0x0106, 0x00C7,
    0x010C, 0x00C9, 0x0118, 0x00CB, 0x011A, 0x00CD, 0x00CE, 0x010E,
    // 0xD0
    0x0110, 0x0143, 0x0147, 0x00D3, 0x00D4, 0x0150, 0x00D6, 0x00D7,
    0x0158, 0x016E, 0x00DA, 0x0170, 0x00DC, 0x00DD, 0x0162, 0x00DF,
    // 0xE0
    0x0155, 0x00E1, 0x00E2, 0x0103, 0x00E4, 0x013A, 0x0107, 0x00E7,
    0x010D, 0x00E9, 0x0119, 0x00EB, 0x011B, 0x00ED, 0x00EE, 0x010F,
    // 0xF0
    0x0111, 0x0144, 0x0148, 0x00F3, 0x00F4, 0x0151, 0x00F6, 0x00F7,
    0x0159, 0x016F, 0x00FA, 0x0171, 0x00FC, 0x00FD, 0x0163, 0x02D9,
};

// Every code point of the table lies below this bound.
constexpr char32_t kReverseSize = 0x2130;

struct Reverse {
    std::array<short, kReverseSize> byteOf{};
    Reverse()
    {
        byteOf.fill(-1);
        for (int b = 0; b < 0x80; ++b)
            byteOf[static_cast<std::size_t>(b)] = static_cast<short>(b);
        for (int i = 0; i < 128; ++i)
            byteOf[kHigh[i]] = static_cast<short>(0x80 + i);
    }
};

const Reverse &reverse()
{
    static const Reverse r;
    return r;
}

void appendReference(std::string &out, char32_t cp)
{
    char buf[16];
    int n = std::snprintf(buf, sizeof buf, "&#x%X;", static_cast<unsigned>(cp));
    out.append(buf, static_cast<std::size_t>(n));
}

} // namespace

char32_t cp1250ToUnicode(unsigned char byte)
{
    return byte < 0x80 ? char32_t(byte) : char32_t(kHigh[byte - 0x80]);
}

int unicodeToCp1250(char32_t cp)
{
    return cp < kReverseSize ? reverse().byteOf[cp] : -1;
}

QString decodeCp1250(const char *data, std::size_t size)
{
    QString out(static_cast<qsizetype>(size), Qt::Uninitialized);
    QChar *dst = out.data();
    for (std::size_t i = 0; i < size; ++i)
        dst[i] = QChar(static_cast<char16_t>(cp1250ToUnicode(static_cast<unsigned char>(data[i]))));
    return out;
}

QString decodeCp1250(const std::string &bytes) { return decodeCp1250(bytes.data(), bytes.size()); }

QString decodeCp1250(const QByteArray &bytes)
{
    return decodeCp1250(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

std::string encodeCp1250(const QString &text)
{
    const Reverse &r = reverse();
    std::string out;
    out.reserve(static_cast<std::size_t>(text.size()));
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        char32_t cp = text[i].unicode();
        if (QChar::isHighSurrogate(cp) && i + 1 < n && text[i + 1].isLowSurrogate()) {
            cp = QChar::surrogateToUcs4(text[i].unicode(), text[i + 1].unicode());
            ++i;
        } else if (QChar::isSurrogate(cp)) {
            // A half of a pair alone is no character at all.
            cp = 0xFFFD;
        }
        int b = cp < kReverseSize ? r.byteOf[cp] : -1;
        if (b >= 0)
            out += static_cast<char>(b);
        else
            appendReference(out, cp);
    }
    return out;
}

namespace {

// The UTF-8 form of each byte 0x80-0xFF: its length then up to three bytes.
struct Utf8Forms {
    std::array<std::array<char, 4>, 128> form{};
    Utf8Forms()
    {
        for (int i = 0; i < 128; ++i) {
            const char32_t cp = kHigh[i];
            auto &f = form[static_cast<std::size_t>(i)];
            if (cp < 0x800) {
                f = {2, char(0xC0 | (cp >> 6)), char(0x80 | (cp & 0x3F)), 0};
            } else {
                f = {3, char(0xE0 | (cp >> 12)), char(0x80 | ((cp >> 6) & 0x3F)),
                     char(0x80 | (cp & 0x3F))};
            }
        }
    }
};

const Utf8Forms &utf8Forms()
{
    static const Utf8Forms f;
    return f;
}

// The code point of the well-formed UTF-8 sequence at s[i] and its length,
// or length 0 when the bytes there are no such sequence (overlong forms,
// surrogates and values beyond U+10FFFF included).
std::size_t decodeUtf8At(std::string_view s, std::size_t i, char32_t &cp)
{
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char b0 = byte(i);
    std::size_t len;
    char32_t min;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        len = 2;
        cp = b0 & 0x1F;
        min = 0x80;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        len = 3;
        cp = b0 & 0x0F;
        min = 0x800;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        len = 4;
        cp = b0 & 0x07;
        min = 0x10000;
    } else {
        return 0;
    }
    if (i + len > s.size())
        return 0;
    for (std::size_t k = 1; k < len; ++k) {
        const unsigned char b = byte(i + k);
        if ((b & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return len;
}

} // namespace

void appendCp1250AsUtf8(std::string &out, std::string_view bytes)
{
    const Utf8Forms &f = utf8Forms();
    std::size_t i = 0;
    const std::size_t n = bytes.size();
    while (i < n) {
        // Runs of ASCII, most of any text, go over whole.
        std::size_t j = i;
        while (j < n && static_cast<unsigned char>(bytes[j]) < 0x80)
            ++j;
        out.append(bytes.data() + i, j - i);
        if (j == n)
            break;
        const auto &form = f.form[static_cast<unsigned char>(bytes[j]) - 0x80];
        out.append(form.data() + 1, static_cast<std::size_t>(form[0]));
        i = j + 1;
    }
}

std::string cp1250ToUtf8(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 8);
    appendCp1250AsUtf8(out, bytes);
    return out;
}

std::string utf8ToCp1250(std::string_view utf8)
{
    const Reverse &r = reverse();
    std::string out;
    out.reserve(utf8.size());
    std::size_t i = 0;
    const std::size_t n = utf8.size();
    while (i < n) {
        std::size_t j = i;
        while (j < n && static_cast<unsigned char>(utf8[j]) < 0x80)
            ++j;
        out.append(utf8.data() + i, j - i);
        if (j == n)
            break;
        char32_t cp = 0xFFFD;
        std::size_t len = decodeUtf8At(utf8, j, cp);
        if (len == 0) {
            cp = 0xFFFD;
            len = 1;
        }
        const int b = cp < kReverseSize ? r.byteOf[cp] : -1;
        if (b >= 0)
            out += static_cast<char>(b);
        else
            appendReference(out, cp);
        i = j + len;
    }
    return out;
}

QByteArray encodeCp1250Bytes(const QString &text)
{
    std::string s = encodeCp1250(text);
    return QByteArray(s.data(), static_cast<qsizetype>(s.size()));
}

} // namespace tl
