#include "tagsfixture.h"
#include "ui/tags/tagscontroller.h"
#include "ui/tags/tagsdialog.h"

#include <QListWidget>
#include <memory>
#include <QPlainTextEdit>

#include <QTest>
#include <QTextBlock>
#include <QTextDocument>

using namespace tl;
using namespace tl::test;

namespace {

// A settings file with tag lists given as "key=value" lines per section.
std::string settingsWithTags(const std::vector<std::pair<std::string, std::string>> &tags,
                             const std::vector<std::pair<std::string, std::string>> &texts)
{
    std::string s = "[ShortCuts.lstZNACKY_Items]\r\nCount=" + std::to_string(tags.size()) + "\r\n";
    for (std::size_t i = 0; i < tags.size(); ++i)
        s += "Item" + std::to_string(i) + "=" + tags[i].first + "\r\n";
    s += "[ShortCuts.StrHOTKEYS_Strings]\r\nCount=" + std::to_string(tags.size()) + "\r\n";
    for (std::size_t i = 0; i < tags.size(); ++i)
        s += "Item" + std::to_string(i) + "=" + tags[i].second + "\r\n";
    s += "[ShortCuts.StrSTART_Strings]\r\nCount=" + std::to_string(texts.size()) + "\r\n";
    for (std::size_t i = 0; i < texts.size(); ++i)
        s += "Item" + std::to_string(i) + "=" + texts[i].first + "\r\n";
    s += "[ShortCuts.StrEND_Strings]\r\nCount=" + std::to_string(texts.size()) + "\r\n";
    for (std::size_t i = 0; i < texts.size(); ++i)
        s += "Item" + std::to_string(i) + "=" + texts[i].second + "\r\n";
    return s;
}

} // namespace

// ---------------------------------------------------------------------------
// The Tags menu built at start

TEST_F(TagsTest, WithoutTagSectionsTheMenuHasOnlyItsThreeFixedEntries)
{
    start();
    const auto actions = control<QMenu>(w(), "Tags1")->actions();
    ASSERT_EQ(actions.size(), 3);
    EXPECT_EQ(actions[0]->text(), QStringLiteral("&Setup..."));
    EXPECT_TRUE(actions[1]->isSeparator());
    EXPECT_EQ(actions[2]->text(), QStringLiteral("More"));
}

TEST_F(TagsTest, ACountOfZeroOrNotANumberGivesNoTagEntries)
{
    for (const char *count : {"0", "-3", "x"}) {
        laySettings(std::string("[ShortCuts.lstZNACKY_Items]\r\nCount=") + count + "\r\nItem0=Bold\r\n");
        start();
        EXPECT_TRUE(tagEntries().isEmpty()) << count;
        fx.stop();
    }
}

// A damaged file's count is not believed: no blank entries by the thousand,
// no minute-long start; one log line says why the tags are missing.
TEST_F(TagsTest, ACountAboveAThousandIsADamagedListAndLoadsNoTags)
{
    for (const char *count : {"2000000000", "1001"}) {
        laySettings(std::string("[ShortCuts.lstZNACKY_Items]\r\nCount=") + count
                    + "\r\nItem0=Bold\r\n[ShortCuts.StrHOTKEYS_Strings]\r\nCount=" + count
                    + "\r\n");
        start();
        EXPECT_TRUE(tagEntries().isEmpty()) << count;
        const QStringList log = control<QPlainTextEdit>(w(), "Memo2")->toPlainText().split('\n', Qt::SkipEmptyParts);
        EXPECT_EQ(log, QStringList(QStringLiteral("The tag list of %1 is damaged (Count=%2): no "
                                                  "tags were loaded.")
                                       .arg(iniPath(), QString::fromLatin1(count))));
        // The Tags dialog shows an empty list too.
        {
            const std::unique_ptr<TagsDialog> dialog = w().tags().makeDialog();
            dialog->show();
            QApplication::processEvents();
            EXPECT_EQ(control<QListWidget>(*dialog, "lstZNACKY")->count(), 0) << count;
            dialog->reject();
        }
        fx.stop();
    }
    laySettings("[ShortCuts.lstZNACKY_Items]\r\nCount=1000\r\nItem999=Last\r\n");
    start();
    EXPECT_EQ(tagEntries().size(), 1000);
    EXPECT_EQ(tagEntries().last()->text(), "Last");
}

TEST_F(TagsTest, TagEntriesFollowTheDescriptionsWithTheirHotkeys)
{
    laySampleSettings();
    start();
    EXPECT_EQ(tagCaptions(), (QStringList{QStringLiteral("Bold"), QStringLiteral("Paragraph"),
                                          QString::fromUtf16(u"Z\u00e1vorka")}));
    EXPECT_EQ(tagShortcuts(), (QStringList{QStringLiteral("Ctrl+B"), QStringLiteral("Alt+P"), QString()}));
}

TEST_F(TagsTest, OnlyTheDescriptionCountDecidesTheEntriesAndBadHotkeysGiveNone)
{
    // Four descriptions, hotkeys for two of them (one unreadable), no texts.
    laySettings("[ShortCuts.lstZNACKY_Items]\r\nCount=4\r\nItem0=A\r\nItem1=B\r\nItem3=D\r\n"
                "[ShortCuts.StrHOTKEYS_Strings]\r\nCount=1\r\nItem0=^shift+q\r\nItem1=Hyper+Q\r\n");
    start();
    EXPECT_EQ(tagCaptions(), (QStringList{"A", "B", "", "D"}));
    EXPECT_EQ(tagShortcuts(), (QStringList{"Ctrl+Shift+Q", "", "", ""}));
}

TEST_F(TagsTest, CommandsKeepTheirShortcutsAndOnlyTheFirstOfTwoTagsGetsAShared)
{
    laySettings(settingsWithTags(
        {{"Save?", "Ctrl+S"}, {"Read?", "F5"}, {"First", "Alt+Q"}, {"Second", "alt+q"}}, {}));
    start();
    EXPECT_EQ(tagShortcuts(), (QStringList{"", "", "Alt+Q", ""}));
    EXPECT_EQ(action(w(), "actSAVE")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_S));
    EXPECT_EQ(action(w(), "actREAD")->shortcut(), QKeySequence(Qt::Key_F5));
}

TEST_F(TagsTest, TheAltLetterOfAMenuTitleStaysWithTheMenu)
{
    // Alt+B opens "&Blog"; a tag holding it as well would never run.
    laySettings(settingsWithTags({{"Bold", "Alt+B"}, {"Big", "Shift+Alt+B"}, {"Help?", "alt+h"}},
                                 {{"<b>", "</b>"}}));
    start();
    EXPECT_EQ(tagShortcuts(), (QStringList{"", "Alt+Shift+B", ""}));
}

// ---------------------------------------------------------------------------
// Wrapping the selection

TEST_F(TagsTest, NothingSelectedInsertsBothTextsAndLeavesTheCaretBetween)
{
    laySampleSettings();
    start();
    openPost(QStringLiteral("one two"));
    placeCaret(4);
    tagEntries()[0]->trigger();
    EXPECT_EQ(editorText(), QStringLiteral("one <b></b>two"));
    EXPECT_EQ(caret(), 7);
    EXPECT_FALSE(hasSelection());
}

TEST_F(TagsTest, ASelectionIsWrappedAndTheCaretLandsAfterTheStartText)
{
    laySampleSettings();
    start();
    for (bool backwards : {false, true}) {
        SCOPED_TRACE(backwards);
        openPost(QStringLiteral("a word here"));
        if (backwards)
            placeCaret(2, 6);
        else
            placeCaret(6, 2);
        tagEntries()[0]->trigger();
        EXPECT_EQ(editorText(), QStringLiteral("a <b>word</b> here"));
        EXPECT_EQ(caret(), 5);
        EXPECT_FALSE(hasSelection());
    }
}

TEST_F(TagsTest, AMultiLineStartTextIsInsertedWithItsLineBreak)
{
    laySampleSettings();
    start();
    openPost(QStringLiteral("xy"));
    placeCaret(1);
    tagEntries()[1]->trigger();
    EXPECT_EQ(editorText(), QStringLiteral("x<p>\n</p>y"));
    EXPECT_EQ(editor()->document()->blockCount(), 2);
    // The line break counts as one character: the caret starts the second line.
    EXPECT_EQ(caret(), 5);
    EXPECT_EQ(editor()->textCursor().block().blockNumber(), 1);
    EXPECT_EQ(editor()->textCursor().positionInBlock(), 0);
}

TEST_F(TagsTest, ASelectionOverSeveralLinesKeepsItsLineBreaks)
{
    laySampleSettings();
    start();
    openPost(QStringLiteral("ab\ncd"));
    placeCaret(5, 0);
    tagEntries()[0]->trigger();
    EXPECT_EQ(editorText(), QStringLiteral("<b>ab\ncd</b>"));
    EXPECT_EQ(editor()->document()->blockCount(), 2);
}

TEST_F(TagsTest, EscapedSpacesAreInsertedAsSpaces)
{
    laySampleSettings();
    start();
    openPost(QStringLiteral("ab"));
    placeCaret(1, 0);
    tagEntries()[2]->trigger();
    EXPECT_EQ(editorText(), QStringLiteral("[ a ]b"));
    EXPECT_EQ(caret(), 2);
}

TEST_F(TagsTest, TheTextsAreReadFromTheFileAtEveryUse)
{
    laySampleSettings();
    start();
    openPost(QStringLiteral("w"));
    iniWriteString(iniPath().toStdString(), "ShortCuts.StrSTART_Strings", "Item0", "<strong>");
    iniWriteString(iniPath().toStdString(), "ShortCuts.StrEND_Strings", "Item0", "</strong>");
    placeCaret(1, 0);
    tagEntries()[0]->trigger();
    EXPECT_EQ(editorText(), QStringLiteral("<strong>w</strong>"));
}

TEST_F(TagsTest, ATagWithoutTextsLeavesTheTextAsItWas)
{
    laySettings(settingsWithTags({{"Empty", ""}}, {}));
    start();
    openPost(QStringLiteral("word"));
    placeCaret(4, 0);
    tagEntries()[0]->trigger();
    EXPECT_EQ(editorText(), QStringLiteral("word"));
    EXPECT_EQ(caret(), 0);
}

TEST_F(TagsTest, InTheBrowseStateTagsAndMoreLeaveTheEditorUnchanged)
{
    laySampleSettings();
    start();
    editor()->setPlainText(QStringLiteral("shown post"));
    ASSERT_TRUE(editor()->isReadOnly());
    placeCaret(5);
    for (QAction *a : tagEntries())
        a->trigger();
    action(w(), "More1")->trigger();
    EXPECT_EQ(editorText(), QStringLiteral("shown post"));
    EXPECT_TRUE(fx.prompts().shown.empty());
}

TEST_F(TagsTest, MoreInsertsTheLongPostSeparatorAtTheCaret)
{
    start();
    openPost(QStringLiteral("intro rest"));
    placeCaret(6);
    action(w(), "More1")->trigger();
    EXPECT_EQ(editorText(), QStringLiteral("intro <!--more-->rest"));
}

TEST_F(TagsTest, TheHotkeyOfATagWrapsTheSelection)
{
    laySampleSettings();
    start();
    w().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w()));
    openPost(QStringLiteral("word"));
    editor()->setFocus();
    placeCaret(4, 0);
    QTest::keyClick(editor(), Qt::Key_B, Qt::ControlModifier);
    EXPECT_EQ(editorText(), QStringLiteral("<b>word</b>"));
    placeCaret(0);
    QTest::keyClick(editor(), Qt::Key_P, Qt::AltModifier);
    EXPECT_EQ(editorText(), QStringLiteral("<p>\n</p><b>word</b>"));
}
