// The post editor as a widget: the formats its highlighter leaves in the
// document, re-colouring after edits, the read-only looks, word movement by
// its own separators, and what it draws.
#include "ui/htmlhighlighter.h"
#include "ui/posteditor.h"

#include <QFontDatabase>
#include <QImage>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextLayout>
#include <gtest/gtest.h>

// Readable QString values in failure messages.
void PrintTo(const QString &s, std::ostream *os)
{
    *os << '"' << s.toStdString() << '"';
}

namespace {

// The highlighter's format at one character of one line of the editor.
QTextCharFormat formatAt(const QPlainTextEdit &editor, int line, int pos)
{
    const QTextBlock block = editor.document()->findBlockByNumber(line);
    for (const QTextLayout::FormatRange &r : block.layout()->formats())
        if (pos >= r.start && pos < r.start + r.length)
            return r.format;
    return QTextCharFormat();
}

struct FormatCase {
    const char *element;
    QString text;
    int pos;
    const char *colour; // "" = no colour of its own (the window text colour)
    bool bold;
    bool italic;
};

// The colour table of the post editor, checked on text in a real editor.
TEST(PostEditorColours, EachElementGetsItsColourAndStyle)
{
    const std::vector<FormatCase> cases = {
        { "Bracket", "<p>", 0, "#0000ff", true, false },
        { "DefaultText", "plain <p>", 1, "", false, false },
        { "HtmlKeyword", "<p>", 1, "#000080", true, false },
        { "HtmlTag", "</p>", 1, "#008000", false, true },
        { "HtmlComment", "<!-- c -->", 5, "#808000", false, true },
        { "HtmlAttribute", "<p id=x>", 3, "#008000", false, false },
        { "HtmlAttributeValue", "<p id=x>", 6, "#808080", false, false },
        { "PerlScript", "<% x %>", 3, "#008080", false, false },
        { "ScriptTag", "<script>", 1, "#800080", true, false },
        { "ScriptContent", "<script>x</script>", 8, "", false, false },
        { "SpecialChars", "a&amp;", 2, "#ff00ff", false, false },
        { "UnknownTag", "<foo>", 1, "#ff0000", false, false },
    };
    tl::PostEditor editor;
    for (const FormatCase &c : cases) {
        SCOPED_TRACE(c.element);
        editor.setPlainText(c.text);
        const QTextCharFormat f = formatAt(editor, 0, c.pos);
        if (*c.colour)
            EXPECT_EQ(f.foreground().color().name().toStdString(), c.colour);
        else
            EXPECT_FALSE(f.hasProperty(QTextFormat::ForegroundBrush));
        EXPECT_EQ(f.fontWeight() == QFont::Bold, c.bold);
        EXPECT_EQ(f.fontItalic(), c.italic);
    }
}

TEST(PostEditorColours, ScriptTagSitsOnWindowColourAndContentUsesTheSmallFont)
{
    tl::PostEditor editor;
    editor.setPlainText("<script>\nvar x;\n</script>");
    EXPECT_EQ(formatAt(editor, 0, 1).background().color(), tl::PostEditor::editColour());
    const QTextCharFormat content = formatAt(editor, 1, 2);
    EXPECT_EQ(content.fontPointSize(), 8.0);
    ASSERT_FALSE(content.fontFamilies().toStringList().isEmpty());
    EXPECT_EQ(content.fontFamilies().toStringList().first(), "MS Sans Serif");
    EXPECT_FALSE(formatAt(editor, 2, 2).hasProperty(QTextFormat::FontPointSize));
}

// Opening a comment above existing text must recolour the lines below it, and
// closing it must give them back their own colours.
TEST(PostEditorColours, EditsRecolourTheLinesBelow)
{
    tl::PostEditor editor;
    editor.setPlainText("a\n<b>x</b>\n<script>\nvar y;\n</script>\nz &amp;");
    const auto keyword = QColor(0x00, 0x00, 0x80);
    const auto comment = QColor(0x80, 0x80, 0x00);
    ASSERT_EQ(formatAt(editor, 1, 1).foreground().color(), keyword);

    QTextCursor c(editor.document());
    c.insertText("<!--");
    EXPECT_EQ(formatAt(editor, 1, 1).foreground().color(), comment);
    EXPECT_EQ(formatAt(editor, 3, 1).foreground().color(), comment);
    EXPECT_EQ(formatAt(editor, 5, 3).foreground().color(), comment);

    c.movePosition(QTextCursor::EndOfBlock);
    c.insertText("-->");
    EXPECT_EQ(formatAt(editor, 1, 1).foreground().color(), keyword);
    EXPECT_EQ(formatAt(editor, 3, 1).fontPointSize(), 8.0);
    EXPECT_EQ(formatAt(editor, 5, 3).foreground().color(), QColor(0xFF, 0x00, 0xFF));

    // Removing the script's end tag leaves the rest of the post script text.
    QTextCursor end(editor.document()->findBlockByNumber(4));
    end.select(QTextCursor::BlockUnderCursor);
    end.removeSelectedText();
    EXPECT_EQ(formatAt(editor, 4, 3).fontPointSize(), 8.0);
    EXPECT_FALSE(formatAt(editor, 4, 3).hasProperty(QTextFormat::ForegroundBrush));
}

TEST(PostEditorLook, StartsReadOnlyOnTheMenuColour)
{
    tl::PostEditor editor;
    EXPECT_TRUE(editor.isReadOnly());
    EXPECT_FALSE(editor.isEditable());
    EXPECT_EQ(editor.palette().color(QPalette::Base), tl::PostEditor::menuColour());
    EXPECT_NE(tl::PostEditor::menuColour(), tl::PostEditor::editColour());
}

TEST(PostEditorLook, BackgroundFollowsTheReadOnlyStateHoweverItIsSet)
{
    tl::PostEditor editor;
    editor.setEditable(true);
    EXPECT_FALSE(editor.isReadOnly());
    EXPECT_EQ(editor.palette().color(QPalette::Base), tl::PostEditor::editColour());
    EXPECT_EQ(editor.viewport()->palette().color(QPalette::Base), tl::PostEditor::editColour());

    editor.setReadOnly(true); // as a plain QPlainTextEdit would be switched
    EXPECT_EQ(editor.palette().color(QPalette::Base), tl::PostEditor::menuColour());
    editor.setReadOnly(false);
    EXPECT_EQ(editor.palette().color(QPalette::Base), tl::PostEditor::editColour());
    editor.setEditable(false);
    EXPECT_TRUE(editor.isReadOnly());
    EXPECT_EQ(editor.palette().color(QPalette::Base), tl::PostEditor::menuColour());

    // A palette set from outside stands until the look is set again.
    QPalette red = editor.palette();
    red.setColor(QPalette::Base, Qt::red);
    editor.setPalette(red);
    EXPECT_EQ(editor.palette().color(QPalette::Base), QColor(Qt::red));
    editor.setEditable(false);
    EXPECT_EQ(editor.palette().color(QPalette::Base), tl::PostEditor::menuColour());
}

TEST(PostEditorLook, TypingChangesTheTextOnlyWhileEditable)
{
    tl::PostEditor editor;
    editor.setPlainText("ab");
    editor.show();
    editor.setFocus();
    editor.moveCursor(QTextCursor::End);
    QTest::keyClicks(&editor, "cd");
    QTest::keyClick(&editor, Qt::Key_Backspace, Qt::ControlModifier);
    EXPECT_EQ(editor.toPlainText(), "ab");
    editor.setEditable(true);
    editor.moveCursor(QTextCursor::End);
    QTest::keyClicks(&editor, "cd");
    EXPECT_EQ(editor.toPlainText(), "abcd");
}

TEST(PostEditorWords, SeparatorsAreExactlyTheListedCharacters)
{
    for (QChar c : QString("\t\n\r $%&,./:;<=>"))
        EXPECT_TRUE(tl::PostEditor::isWordSeparator(c)) << int(c.unicode());
    EXPECT_TRUE(tl::PostEditor::isWordSeparator(QChar::ParagraphSeparator));
    for (QChar c : QString("aZ09_-#!?\"'()[]@*+\u00E9"))
        EXPECT_FALSE(tl::PostEditor::isWordSeparator(c)) << int(c.unicode());
}

TEST(PostEditorWords, CtrlArrowsStopAtTheSeparators)
{
    tl::PostEditor editor;
    editor.setEditable(true);
    editor.setPlainText("http://example.cz/a.b c\nlong-post");
    editor.show();
    editor.moveCursor(QTextCursor::Start);
    std::vector<int> forward;
    for (int k = 0; k < 7; ++k) {
        QTest::keyClick(&editor, Qt::Key_Right, Qt::ControlModifier);
        forward.push_back(editor.textCursor().position());
    }
    EXPECT_EQ(forward, (std::vector<int> { 7, 15, 18, 20, 22, 24, 33 }));
    std::vector<int> back;
    for (int k = 0; k < 7; ++k) {
        QTest::keyClick(&editor, Qt::Key_Left, Qt::ControlModifier);
        back.push_back(editor.textCursor().position());
    }
    EXPECT_EQ(back, (std::vector<int> { 24, 22, 20, 18, 15, 7, 0 }));

    QTest::keyClick(&editor, Qt::Key_Right, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(editor.textCursor().selectedText(), "http://");
}

TEST(PostEditorWords, CtrlBackspaceDeletesOneWordOnlyWhenEditable)
{
    tl::PostEditor editor;
    editor.setEditable(true);
    editor.setPlainText("x <b>word");
    editor.show();
    editor.moveCursor(QTextCursor::End);
    QTest::keyClick(&editor, Qt::Key_Backspace, Qt::ControlModifier);
    EXPECT_EQ(editor.toPlainText(), "x <b>");
    QTest::keyClick(&editor, Qt::Key_Backspace, Qt::ControlModifier);
    EXPECT_EQ(editor.toPlainText(), "x <");
    editor.setEditable(false);
    QTest::keyClick(&editor, Qt::Key_Backspace, Qt::ControlModifier);
    EXPECT_EQ(editor.toPlainText(), "x <");
}

TEST(PostEditorWords, DoubleClickSelectsTheWordBetweenSeparators)
{
    tl::PostEditor editor;
    editor.resize(400, 200);
    editor.setPlainText("pi 3.14 or a long-post here");
    editor.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&editor));
    const std::vector<std::pair<int, QString>> cases = { { 6, "14" }, { 15, "long-post" } };
    for (const auto &[pos, word] : cases) {
        QTextCursor at(editor.document());
        at.setPosition(pos);
        const QPoint p = editor.cursorRect(at).center() + QPoint(2, 0);
        QTest::mouseDClick(editor.viewport(), Qt::LeftButton, Qt::NoModifier, p);
        EXPECT_EQ(editor.textCursor().selectedText(), word);
    }
}

TEST(PostEditorLayout, WrapsWordsAndKeepsBothScrollBars)
{
    tl::PostEditor editor;
    EXPECT_EQ(editor.lineWrapMode(), QPlainTextEdit::WidgetWidth);
    EXPECT_EQ(editor.verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_EQ(editor.horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_EQ(editor.font().pixelSize(), 13);
    EXPECT_EQ(editor.font().family(), "Arial");
    editor.resize(200, 200);
    editor.setPlainText(QString("word ").repeated(40));
    editor.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&editor));
    EXPECT_GT(editor.document()->firstBlock().layout()->lineCount(), 2);
}

// What the editor draws: the dotted margin line and coloured text. Set
// TL_EDITOR_SCREENSHOT to a file path to keep the picture.
TEST(PostEditorLayout, DrawsDottedMarginLineAndColouredText)
{
    if (QFontDatabase::families().isEmpty())
        GTEST_SKIP() << "no fonts to draw text with";
    tl::PostEditor editor;
    editor.setEditable(true);
    editor.resize(760, 300);
    editor.setPlainText(
        "<!DOCTYPE html>\n"
        "<p class=\"intro\" id=top>Caf&eacute; &#233; &amp; <b>bold</b> <blink2>x</blink2></p>\n"
        "<!-- a comment\n   over two lines -->\n"
        "<script type=\"text/javascript\">\n  if (a < b) go();\n</script>\n"
        "<% server %> <foo bar='baz'>\n"
        "<HTML><HEAD><TITLE>title</TITLE></HEAD>\n<!--more-->");
    editor.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&editor));
    const QImage shot = editor.grab().toImage().convertToFormat(QImage::Format_RGB32);
    if (const QByteArray path = qgetenv("TL_EDITOR_SCREENSHOT"); !path.isEmpty())
        shot.save(QString::fromLocal8Bit(path));

    // The margin column below the text: grey dots with background between.
    const int x = editor.viewport()->geometry().x() + editor.rightMarginX();
    ASSERT_GT(x, 0);
    ASSERT_LT(x, editor.viewport()->geometry().right());
    const QColor grey(Qt::gray);
    int dots = 0, gaps = 0;
    const int top = editor.viewport()->geometry().y();
    for (int y = top; y < editor.viewport()->geometry().bottom(); ++y) {
        const QColor c = shot.pixelColor(x, y);
        if (c == grey)
            ++dots;
        else if (c == tl::PostEditor::editColour())
            ++gaps;
    }
    const int height = editor.viewport()->height();
    EXPECT_GT(dots, height / 4);
    EXPECT_GT(gaps, height / 4);

    // Some pixels of the text are drawn in the table's colours.
    auto near = [&](QColor want) {
        for (int y = 0; y < shot.height(); ++y)
            for (int xx = 0; xx < x - 1; ++xx) {
                const QColor c = shot.pixelColor(xx, y);
                if (std::abs(c.red() - want.red()) + std::abs(c.green() - want.green())
                        + std::abs(c.blue() - want.blue())
                    < 60)
                    return true;
            }
        return false;
    };
    EXPECT_TRUE(near(QColor(0x00, 0x00, 0x80))) << "keyword navy";
    EXPECT_TRUE(near(QColor(0xFF, 0x00, 0x00))) << "unknown tag red";
    EXPECT_TRUE(near(QColor(0xFF, 0x00, 0xFF))) << "entity fuchsia";
    EXPECT_TRUE(near(QColor(0x80, 0x00, 0x80))) << "script tag purple";
}

} // namespace
