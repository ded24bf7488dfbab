// The windows-1250 table: every byte survives a round trip, the defined
// characters are the right ones, and what the table cannot hold becomes a
// numeric character reference.
#include "core/cp1250.h"

#include <QSet>
#include <QStringDecoder>
#include <gtest/gtest.h>

namespace {

std::string allBytes()
{
    std::string s;
    for (int b = 0; b < 256; ++b)
        s += static_cast<char>(b);
    return s;
}

TEST(Cp1250, EveryByteSurvivesDecodeThenEncode)
{
    const std::string bytes = allBytes();
    const QString text = tl::decodeCp1250(bytes);
    ASSERT_EQ(text.size(), 256);
    EXPECT_EQ(tl::encodeCp1250(text), bytes);
    // One distinct character per byte: nothing collapses into another.
    QSet<char16_t> seen;
    for (QChar c : text)
        seen.insert(c.unicode());
    EXPECT_EQ(seen.size(), 256);
}

TEST(Cp1250, UndefinedBytesAreTheirC1Controls)
{
    for (unsigned char b : {0x81, 0x83, 0x88, 0x90, 0x98}) {
        EXPECT_EQ(tl::cp1250ToUnicode(b), char32_t(b)) << int(b);
        EXPECT_EQ(tl::unicodeToCp1250(b), int(b)) << int(b);
    }
    // The other C1 controls have no byte of their own.
    EXPECT_EQ(tl::encodeCp1250(QString(QChar(0x80))), "&#x80;");
    EXPECT_EQ(tl::encodeCp1250(QString(QChar(0x9F))), "&#x9F;");
}

TEST(Cp1250, CzechAndTypographicTextDecodesToItsCharacters)
{
    const std::string bytes = "P\xF8\xEDli\x9A \x9Elu\x9Dou\xE8k\xFD k\xF9\xF2 \xFAp\xECl "
                              "\xEF\xE1\x62\x65lsk\xE9 \xF3\x64y \x84\x8A\x8E\x93 \x80 \x96 \xA7";
    const QString text = QString::fromUtf8("Příliš žluťoučký kůň úpěl ďábelské ódy „ŠŽ“ € – §");
    EXPECT_EQ(tl::decodeCp1250(bytes), text);
    EXPECT_EQ(tl::encodeCp1250(text), bytes);
}

// Checked against the system's own converter where Qt has one.
TEST(Cp1250, EveryDefinedCharacterMatchesTheStandardTable)
{
    QStringDecoder reference("windows-1250");
    if (!reference.isValid())
        GTEST_SKIP() << "no windows-1250 converter in this Qt";
    const QSet<int> undefined{0x81, 0x83, 0x88, 0x90, 0x98};
    for (int b = 0; b < 256; ++b) {
        if (undefined.contains(b))
            continue;
        const char byte = static_cast<char>(b);
        const QString expected = reference(QByteArray(&byte, 1));
        ASSERT_EQ(expected.size(), 1) << b;
        EXPECT_EQ(tl::decodeCp1250(std::string(1, byte)), expected) << "byte " << b;
        EXPECT_EQ(tl::unicodeToCp1250(expected[0].unicode()), b) << "byte " << b;
    }
}

TEST(Cp1250, CharactersOutsideTheTableBecomeReferences)
{
    struct Case {
        QString text;
        std::string bytes;
    } cases[] = {
        {QString::fromUtf8("a😀b"), "a&#x1F600;b"},
        {QString::fromUtf8("中"), "&#x4E2D;"},
        {QString::fromUtf8("ÿ"), "&#xFF;"},
        {QString::fromUtf8("ń€"), "\xF1\x80"},
        {QString(QChar(0xD83D)) + "x", "&#xFFFD;x"},   // half a pair, then a letter
        {QString(QChar(0xDE00)), "&#xFFFD;"},          // second half alone
        {QString::fromUtf8("😀😀"), "&#x1F600;&#x1F600;"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(tl::encodeCp1250(c.text), c.bytes) << c.text.toStdString();
    EXPECT_EQ(tl::encodeCp1250Bytes(QString::fromUtf8("č😀")), QByteArray("\xE8&#x1F600;"));
}

} // namespace

// Byte text to UTF-8 and back: the characters of the table (QString's own
// UTF-8 as the yardstick), every byte back unchanged, and references for what
// the table lacks or what is no UTF-8 at all.
TEST(Cp1250Utf8, EveryByteAsItsCharacterAndBack)
{
    const std::string bytes = allBytes();
    const std::string utf8 = tl::cp1250ToUtf8(bytes);
    EXPECT_EQ(QByteArray::fromStdString(utf8), tl::decodeCp1250(bytes).toUtf8());
    EXPECT_EQ(tl::utf8ToCp1250(utf8), bytes);

    EXPECT_EQ(tl::utf8ToCp1250("\xC5\xBElu\xC5\xA5ou\xC4\x8Dk\xC3\xBD \xE2\x99\xA5 \xF0\x9F\x98\x80"),
              "\x9Elu\x9Dou\xE8k\xFD &#x2665; &#x1F600;");
    // A lone continuation byte, a sequence cut short, an overlong form and
    // an encoded surrogate each stand for U+FFFD; the text after them is kept.
    EXPECT_EQ(tl::utf8ToCp1250("a\x80" "b\xC5" "c\xC0\xAF" "d\xED\xA0\x80" "e\xE2\x99"),
              "a&#xFFFD;b&#xFFFD;c&#xFFFD;&#xFFFD;d&#xFFFD;&#xFFFD;&#xFFFD;e&#xFFFD;&#xFFFD;");
}
