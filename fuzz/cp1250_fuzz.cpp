// The windows-1250 table. Input: bytes, and the same bytes read as UTF-16
// code units. Properties:
//  - every byte string decodes to one character per byte and encodes back
//    unchanged;
//  - any text encodes to bytes that decode to the text, with each character
//    the table cannot hold (and each lone surrogate, as U+FFFD) written as an
//    HTML numeric character reference of its code point;
//  - the bytes as UTF-8 are the decoded text's UTF-8 and come back unchanged;
//    the input read as UTF-8 comes to windows-1250 as encodeCp1250 gives
//    Qt's reading of it.
#include "core/cp1250.h"
#include "fuzzsupport.h"

#include <QString>
#include <cstdio>

using tl::fuzz::shown;

namespace {

// Once: the table is a bijection between the 256 bytes and 256 code points.
bool tableChecked = [] {
    int held = 0;
    for (char32_t cp = 0; cp <= 0x10FFFF; ++cp) {
        const int b = tl::unicodeToCp1250(cp);
        if (b < 0)
            continue;
        ++held;
        FUZZ_CHECK(b < 256 && tl::cp1250ToUnicode(static_cast<unsigned char>(b)) == cp,
                   "code point " + std::to_string(cp) + " maps to byte " + std::to_string(b));
    }
    FUZZ_CHECK(held == 256, std::to_string(held) + " code points have a byte");
    return true;
}();

std::string utf8(const QString &s) { return s.toUtf8().toStdString(); }

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string bytes(reinterpret_cast<const char *>(data), size);

    const QString text = tl::decodeCp1250(bytes);
    FUZZ_CHECK(static_cast<size_t>(text.size()) == size, "decoded length differs");
    FUZZ_CHECK(tl::encodeCp1250(text) == bytes, "bytes " + shown(bytes) + " do not come back");
    const QByteArray qb = tl::encodeCp1250Bytes(tl::decodeCp1250(QByteArray(bytes.data(), qsizetype(size))));
    FUZZ_CHECK(qb.toStdString() == bytes, "QByteArray form of " + shown(bytes) + " does not come back");

    // The input as UTF-16 text, lone surrogates and all.
    QString typed;
    for (size_t i = 0; i + 1 < size; i += 2)
        typed += QChar(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
    QString expected;
    for (qsizetype i = 0; i < typed.size(); ++i) {
        char32_t cp = typed[i].unicode();
        if (typed[i].isHighSurrogate() && i + 1 < typed.size() && typed[i + 1].isLowSurrogate()) {
            cp = QChar::surrogateToUcs4(typed[i], typed[i + 1]);
            ++i;
        } else if (QChar::isSurrogate(cp)) {
            cp = 0xFFFD;
        }
        if (tl::unicodeToCp1250(cp) >= 0) {
            expected += QString::fromUcs4(&cp, 1);
        } else {
            char ref[16];
            std::snprintf(ref, sizeof ref, "&#x%X;", static_cast<unsigned>(cp));
            expected += QLatin1String(ref);
        }
    }
    const std::string encoded = tl::encodeCp1250(typed);
    FUZZ_CHECK(tl::decodeCp1250(encoded) == expected,
               "text " + shown(utf8(typed)) + " encoded as " + shown(encoded));

    const std::string asUtf8 = tl::cp1250ToUtf8(bytes);
    FUZZ_CHECK(asUtf8 == utf8(text) && tl::utf8ToCp1250(asUtf8) == bytes,
               "bytes " + shown(bytes) + " as UTF-8 " + shown(asUtf8));
    FUZZ_CHECK(tl::utf8ToCp1250(bytes) == tl::encodeCp1250(QString::fromUtf8(bytes.data(), qsizetype(size))),
               "UTF-8 " + shown(bytes) + " as windows-1250 " + shown(tl::utf8ToCp1250(bytes)));
    return 0;
}
