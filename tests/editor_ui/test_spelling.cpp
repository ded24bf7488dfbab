// The post editor with a speller (the real en_US dictionary): misspelt prose
// is underlined and markup is not, the context menu's suggestions, "Add to
// dictionary" and "Ignore" act on the word under the pointer; and Markdown is
// coloured as Markdown in the Markdown mode only.
#include "spell/speller.h"
#include "ui/htmlhighlighter.h"
#include "ui/posteditor.h"

#include <QMenu>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextLayout>
#include <gtest/gtest.h>

namespace {

QTextCharFormat formatAt(const QPlainTextEdit &editor, int line, int pos)
{
    const QTextBlock block = editor.document()->findBlockByNumber(line);
    for (const QTextLayout::FormatRange &r : block.layout()->formats())
        if (pos >= r.start && pos < r.start + r.length)
            return r.format;
    return QTextCharFormat();
}

bool underlined(const QPlainTextEdit &editor, int line, int pos)
{
    const QTextCharFormat f = formatAt(editor, line, pos);
    return f.underlineStyle() == QTextCharFormat::SpellCheckUnderline
        && f.underlineColor() == QColor(0xFF, 0x00, 0x00);
}

// The viewport point of a character of the document.
QPoint pointAt(QPlainTextEdit &editor, int position)
{
    QTextCursor c(editor.document());
    c.setPosition(position);
    return editor.cursorRect(c).center() + QPoint(2, 0);
}

QAction *actionNamed(QMenu &menu, const QString &text)
{
    for (QAction *a : menu.actions())
        if (a->text() == text)
            return a;
    return nullptr;
}

TEST(PostEditorSpelling, MisspeltProseIsUnderlinedAndTheMenuActsOnIt)
{
    QTemporaryDir tmp;
    tl::spell::Speller speller({QStringLiteral("/usr/share/hunspell")}, tmp.path() + "/personal.dic");
    speller.configure(true, QStringLiteral("en_US"));
    ASSERT_TRUE(speller.isActive()) << "hunspell-en-us is not installed";

    tl::PostEditor editor;
    editor.resize(600, 300);
    editor.show();
    editor.setPlainText("<p title=\"wrnog\">A speling mistake</p>\n"
                        "http://teh.example/ tset <b>tset</b>");
    EXPECT_FALSE(underlined(editor, 0, 3)) << "no speller yet";
    editor.setSpeller(&speller);
    const QString line0 = editor.document()->findBlockByNumber(0).text();
    const int speling = int(line0.indexOf("speling"));
    EXPECT_TRUE(underlined(editor, 0, speling));
    EXPECT_TRUE(underlined(editor, 0, speling + 6));
    EXPECT_FALSE(underlined(editor, 0, int(line0.indexOf("wrnog"))));
    EXPECT_FALSE(underlined(editor, 0, int(line0.indexOf("mistake"))));
    EXPECT_FALSE(underlined(editor, 1, 9)) << "inside the URL";
    EXPECT_TRUE(underlined(editor, 1, 21));
    // Inside a tag's colour the line is added to the colour.
    const QTextCharFormat bold = formatAt(editor, 1, 28);
    EXPECT_TRUE(underlined(editor, 1, 28));
    EXPECT_EQ(bold.foreground(), formatAt(editor, 1, 21).foreground());

    // Read-only, the suggestions are shown but do nothing.
    std::unique_ptr<QMenu> menu(editor.createContextMenu(pointAt(editor, speling + 2)));
    QAction *spelling = actionNamed(*menu, "spelling");
    ASSERT_NE(spelling, nullptr);
    EXPECT_FALSE(spelling->isEnabled());
    ASSERT_NE(actionNamed(*menu, "Add to dictionary"), nullptr);
    // The spelling entries come first, set apart from the standard ones.
    const QList<QAction *> actions = menu->actions();
    const qsizetype ignoreAt = actions.indexOf(actionNamed(*menu, "Ignore"));
    ASSERT_GT(ignoreAt, actions.indexOf(spelling));
    ASSERT_LT(ignoreAt + 2, actions.size());
    EXPECT_TRUE(actions[ignoreAt + 1]->isSeparator());
    EXPECT_FALSE(actions[ignoreAt + 2]->text().isEmpty());
    // Over a right word: the standard menu only.
    std::unique_ptr<QMenu> plain(editor.createContextMenu(pointAt(editor, int(line0.indexOf("mistake")) + 2)));
    EXPECT_EQ(actionNamed(*plain, "Ignore"), nullptr);

    editor.setEditable(true);
    menu.reset(editor.createContextMenu(pointAt(editor, speling + 2)));
    actionNamed(*menu, "spelling")->trigger();
    EXPECT_EQ(editor.document()->findBlockByNumber(0).text(),
              "<p title=\"wrnog\">A spelling mistake</p>");
    EXPECT_FALSE(underlined(editor, 0, speling));

    // "Ignore" clears both "tset"s; "Add to dictionary" keeps a word for good.
    const int line1 = editor.document()->findBlockByNumber(1).position();
    menu.reset(editor.createContextMenu(pointAt(editor, line1 + 21)));
    actionNamed(*menu, "Ignore")->trigger();
    EXPECT_FALSE(underlined(editor, 1, 21));
    EXPECT_FALSE(underlined(editor, 1, 28));
    editor.appendPlainText("Tarvel");
    EXPECT_TRUE(underlined(editor, 2, 1));
    menu.reset(editor.createContextMenu(pointAt(editor, editor.document()->findBlockByNumber(2).position() + 2)));
    actionNamed(*menu, "Add to dictionary")->trigger();
    EXPECT_FALSE(underlined(editor, 2, 1));
    EXPECT_EQ(speller.personalWords(), QStringList{"Tarvel"});

    // Checking switched off: no line anywhere.
    editor.appendPlainText("wrnog");
    EXPECT_TRUE(underlined(editor, 3, 1));
    speller.configure(false, QStringLiteral("en_US"));
    EXPECT_FALSE(underlined(editor, 3, 1));
}

TEST(PostEditorMarkdown, MarkdownIsColouredInTheMarkdownModeOnly)
{
    tl::PostEditor editor;
    editor.setPlainText("## Heading\n"
                        "Some *em*, **strong** and `<b>code</b>` with [a link](x.html) <b>tag</b>\n"
                        "```\n"
                        "<i>fenced\n"
                        "```\n"
                        "<i>after</i>");
    const QString line1 = editor.document()->findBlockByNumber(1).text();
    const auto at = [&](const char *text) { return int(line1.indexOf(text)); };
    const auto &h = *editor.highlighter();
    const QColor keyword(0x00, 0x00, 0x80);

    // HTML: the Markdown is text, the tags in the backticks are tags.
    EXPECT_FALSE(formatAt(editor, 0, 3).fontWeight() == QFont::Bold);
    EXPECT_EQ(formatAt(editor, 1, at("<b>code") + 1).foreground().color(), keyword);
    EXPECT_EQ(formatAt(editor, 3, 1).foreground().color(), keyword);

    editor.setParagraphMode(tl::ParagraphMode::Markdown);
    const auto md = [&](tl::MarkdownElement e) { return h.markdownFormat(e); };
    EXPECT_EQ(formatAt(editor, 0, 3), md(tl::MarkdownElement::Heading));
    EXPECT_TRUE(formatAt(editor, 1, at("em")).fontItalic());
    EXPECT_EQ(formatAt(editor, 1, at("strong")).fontWeight(), QFont::Bold);
    EXPECT_EQ(formatAt(editor, 1, at("<b>code") + 1), md(tl::MarkdownElement::Code));
    EXPECT_EQ(formatAt(editor, 1, at("a link")), md(tl::MarkdownElement::LinkText));
    EXPECT_EQ(formatAt(editor, 1, at("x.html")), md(tl::MarkdownElement::LinkTarget));
    // Tags outside code stay tags; the fenced block is code, and the HTML
    // after it is HTML again.
    EXPECT_EQ(formatAt(editor, 1, at("<b>tag") + 1).foreground().color(), keyword);
    EXPECT_EQ(formatAt(editor, 3, 1), md(tl::MarkdownElement::Code));
    EXPECT_EQ(formatAt(editor, 5, 1).foreground().color(), keyword);

    editor.setParagraphMode(tl::ParagraphMode::Paragraphs);
    EXPECT_EQ(formatAt(editor, 3, 1).foreground().color(), keyword);
}

} // namespace
