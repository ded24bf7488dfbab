#include "core/ini.h"
#include "tags/tagtext.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tl;

namespace {

struct EscapeCase {
    const char *typed;
    const char *stored;
};

// Typed text (CR LF line breaks) and its stored form.
const EscapeCase kEscapeCases[] = {
    {"", ""},
    {"<b>", "<b>"},
    {"</b>", "</b>"},
    {"<p>\r\n", "<p>#13#10"},
    {" x ", "#32x#32"},
    {"<a href=\"x\">", "<a#32href=\"x\">"},
    {"line one\r\nline two\r\n", "line#32one#13#10line#32two#13#10"},
    {"\r\n\r\n", "#13#10#13#10"},
    {"  ", "#32#32"},
    {"\xe8\x9a\xed", "\xe8\x9a\xed"}, // windows-1250 letters pass unchanged
};

} // namespace

TEST(TagTextEscaping, StoredFormOfTypedTextsAndBack)
{
    for (const EscapeCase &c : kEscapeCases) {
        SCOPED_TRACE(c.typed);
        EXPECT_EQ(escapeTagText(std::string(c.typed)), c.stored);
        EXPECT_EQ(unescapeTagText(std::string(c.stored)), c.typed);
        // The decoded-text forms agree with the byte forms.
        const QString typed = QString::fromLatin1(c.typed);
        EXPECT_EQ(escapeTagText(typed), QString::fromLatin1(c.stored));
        EXPECT_EQ(unescapeTagText(QString::fromLatin1(c.stored)), typed);
    }
}

TEST(TagTextEscaping, LiteralEscapesTypedByTheWriterComeBackAsSpaceAndLineBreak)
{
    // The form cannot tell a typed "#32" from an escaped space.
    EXPECT_EQ(escapeTagText(std::string("a#32b")), "a#32b");
    EXPECT_EQ(unescapeTagText(escapeTagText(std::string("a#32b"))), "a b");
    EXPECT_EQ(unescapeTagText(escapeTagText(std::string("x#13#10y"))), "x\r\ny");
}

TEST(TagTextEscaping, SpacesAreRestoredBeforeLineBreaks)
{
    // "#13#32#10" only becomes a line break if "#32" were undone after "#13#10".
    EXPECT_EQ(unescapeTagText(std::string("#13#32#10")), "#13 #10");
    // A lone CR or LF is not a line break of the stored form.
    EXPECT_EQ(escapeTagText(std::string("a\nb\rc")), "a\nb\rc");
}

TEST(TagTextEscaping, LeadingAndTrailingSpacesSurviveTheSettingsFile)
{
    QTemporaryDir dir;
    const std::string path = dir.path().toStdString() + "/tarvlit.ini";
    const std::string typed = "  <i> \r\n";
    iniWriteString(path, "ShortCuts.StrSTART_Strings", "Item0", escapeTagText(typed));
    const std::string back = iniReadString(path, "ShortCuts.StrSTART_Strings", "Item0", "");
    EXPECT_EQ(unescapeTagText(back), typed);
}

TEST(TagTextEditorForm, EveryEditorLineBreakBecomesCrLfAndBack)
{
    EXPECT_EQ(editorTextToTagText(QStringLiteral("a\nb")), QStringLiteral("a\r\nb"));
    EXPECT_EQ(editorTextToTagText(QStringLiteral("a\r\nb")), QStringLiteral("a\r\nb"));
    EXPECT_EQ(editorTextToTagText(QStringLiteral("a\rb")), QStringLiteral("a\r\nb"));
    EXPECT_EQ(editorTextToTagText(QString::fromUtf16(u"a\u2029b\u2028c")), QStringLiteral("a\r\nb\r\nc"));
    EXPECT_EQ(editorTextToTagText(QStringLiteral("\n\n")), QStringLiteral("\r\n\r\n"));
    EXPECT_EQ(tagTextToEditorText(QStringLiteral("a\r\nb\r\n")), QStringLiteral("a\nb\n"));
    EXPECT_EQ(tagTextToEditorText(QStringLiteral("a\rb")), QStringLiteral("a\nb"));
}
