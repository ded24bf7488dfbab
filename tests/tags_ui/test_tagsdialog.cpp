#include "ui/tags/tagsdialog.h"
#include "ui/tags/hotkeyedit.h"
#include "tagsfixture.h"
#include "ui/tags/tagsmenu.h"
#include "ui/tags/tagscontroller.h"

#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextDocument>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <memory>

using namespace tl;
using namespace tl::test;

namespace {

class TagsDialogTest : public TagsTest {
protected:
    std::unique_ptr<TagsDialog> dlg;

    void TearDown() override { dlg.reset(); }

    TagsDialog &openDialog(bool activate = false)
    {
        dlg = w().tags().makeDialog();
        dlg->show();
        QApplication::processEvents();
        if (activate) {
            dlg->activateWindow();
            EXPECT_TRUE(QTest::qWaitForWindowActive(dlg.get()));
        }
        return *dlg;
    }
    void clickRow(int row)
    {
        QListWidget *lst = control<QListWidget>(*dlg, "lstZNACKY");
        const QRect r = lst->visualItemRect(lst->item(row));
        QTest::mouseClick(lst->viewport(), Qt::LeftButton, {}, r.center());
    }
    void replaceText(QLineEdit *e, const QString &text)
    {
        e->selectAll();
        QTest::keyClicks(e, text);
    }
    QStringList listItems() { return dlg->descriptions(); }

    // A list section of the settings file as the form storage wrote it.
    QStringList storedList(const char *section)
    {
        const std::string path = iniPath().toStdString();
        const int count = std::stoi(iniReadString(path, section, "Count", "0"));
        QStringList out;
        for (int i = 0; i < count; ++i)
            out << QString::fromLatin1(iniReadString(path, section, "Item" + std::to_string(i), ""));
        return out;
    }
    struct StoredTags {
        QStringList names, hotkeys, starts, ends;
        bool operator==(const StoredTags &o) const
        {
            return names == o.names && hotkeys == o.hotkeys && starts == o.starts && ends == o.ends;
        }
    };
    StoredTags storedTags()
    {
        return {storedList("ShortCuts.lstZNACKY_Items"), storedList("ShortCuts.StrHOTKEYS_Strings"),
                storedList("ShortCuts.StrSTART_Strings"), storedList("ShortCuts.StrEND_Strings")};
    }
};

const QString kZavorka = QString::fromUtf16(u"Z\u00e1vorka");

} // namespace

// ---------------------------------------------------------------------------
// Opening and selecting

TEST_F(TagsDialogTest, OpensWithTheStoredListsAndItsDetailFieldsDisabled)
{
    laySampleSettings();
    start();
    TagsDialog &d = openDialog();
    EXPECT_EQ(d.windowTitle(), QStringLiteral("Tags"));
    EXPECT_EQ(d.minimumSize(), d.maximumSize());
    EXPECT_EQ(listItems(), (QStringList{"Bold", "Paragraph", kZavorka}));
    EXPECT_EQ(control<StringHolder>(d, "StrHOTKEYS")->strings(), (QStringList{"Ctrl+B", "Alt+P", ""}));
    EXPECT_EQ(control<StringHolder>(d, "StrSTART")->strings(), (QStringList{"<b>", "<p>#13#10", "[#32"}));
    EXPECT_EQ(control<StringHolder>(d, "StrEND")->strings(), (QStringList{"</b>", "</p>", "#32]"}));
    EXPECT_EQ(control<QListWidget>(d, "lstZNACKY")->currentRow(), -1);
    for (QWidget *f : {static_cast<QWidget *>(control<QLineEdit>(d, "Edit1")), static_cast<QWidget *>(control<HotKeyEdit>(d, "HotKey2")),
                       static_cast<QWidget *>(control<QPlainTextEdit>(d, "memoSTART")), static_cast<QWidget *>(control<QPlainTextEdit>(d, "memoEND"))})
        EXPECT_FALSE(f->isEnabled()) << f->objectName().toStdString();
    EXPECT_EQ(control<HotKeyEdit>(d, "HotKey2")->shownText(), QStringLiteral("Alt+A"));
}

TEST_F(TagsDialogTest, WithoutASettingsFileTheListIsEmpty)
{
    start();
    TagsDialog &d = openDialog();
    EXPECT_EQ(control<QListWidget>(d, "lstZNACKY")->count(), 0);
    EXPECT_TRUE(control<StringHolder>(d, "StrSTART")->strings().isEmpty());
}

TEST_F(TagsDialogTest, SelectingATagShowsItsPartsAndFocusesTheDescription)
{
    laySampleSettings();
    start();
    TagsDialog &d = openDialog(true);
    clickRow(1);
    EXPECT_TRUE(control<QLineEdit>(d, "Edit1")->isEnabled());
    EXPECT_TRUE(control<QPlainTextEdit>(d, "memoEND")->isEnabled());
    EXPECT_EQ(control<QLineEdit>(d, "Edit1")->text(), QStringLiteral("Paragraph"));
    EXPECT_EQ(control<HotKeyEdit>(d, "HotKey2")->shownText(), QStringLiteral("Alt+P"));
    EXPECT_EQ(control<QPlainTextEdit>(d, "memoSTART")->toPlainText(), QStringLiteral("<p>\n"));
    EXPECT_EQ(control<QPlainTextEdit>(d, "memoEND")->toPlainText(), QStringLiteral("</p>"));
    EXPECT_EQ(QApplication::focusWidget(), control<QLineEdit>(d, "Edit1"));
    clickRow(2);
    EXPECT_EQ(control<QPlainTextEdit>(d, "memoSTART")->toPlainText(), QStringLiteral("[ "));
    EXPECT_EQ(control<HotKeyEdit>(d, "HotKey2")->shownText(), QString()); // no hotkey
    // Showing the texts does not change what is stored.
    EXPECT_EQ(control<StringHolder>(d, "StrSTART")->strings(), (QStringList{"<b>", "<p>#13#10", "[#32"}));
}

// ---------------------------------------------------------------------------
// Editing, O&K

TEST_F(TagsDialogTest, AddEditAndOkRebuildTheMenuAndStoreTheLists)
{
    laySampleSettings();
    start();
    TagsDialog &d = openDialog(true);
    clickRow(0);
    control<QToolButton>(d, "btnADD")->click();
    EXPECT_EQ(listItems(), (QStringList{"Bold", "Paragraph", kZavorka, "[Description]"}));
    EXPECT_EQ(control<QListWidget>(d, "lstZNACKY")->currentRow(), 0); // the selection stays where it was
    EXPECT_EQ(control<StringHolder>(d, "StrHOTKEYS")->strings().size(), 4);

    clickRow(3);
    replaceText(control<QLineEdit>(d, "Edit1"), QStringLiteral("Code"));
    EXPECT_EQ(control<QListWidget>(d, "lstZNACKY")->item(3)->text(), QStringLiteral("Code"));
    QTest::keyClick(control<HotKeyEdit>(d, "HotKey2"), Qt::Key_K, Qt::ControlModifier);
    QTest::keyClicks(control<QPlainTextEdit>(d, "memoSTART"), QStringLiteral("<code>"));
    QTest::keyClick(control<QPlainTextEdit>(d, "memoSTART"), Qt::Key_Return);
    QTest::keyClicks(control<QPlainTextEdit>(d, "memoEND"), QStringLiteral(" </code> "));
    EXPECT_EQ(control<StringHolder>(d, "StrHOTKEYS")->strings().at(3), QStringLiteral("Ctrl+K"));
    EXPECT_EQ(control<StringHolder>(d, "StrSTART")->strings().at(3), QStringLiteral("<code>#13#10"));
    EXPECT_EQ(control<StringHolder>(d, "StrEND")->strings().at(3), QStringLiteral("#32</code>#32"));

    control<QPushButton>(d, "btnOK")->click();
    EXPECT_FALSE(d.isVisible());
    EXPECT_EQ(d.result(), QDialog::Accepted);
    EXPECT_EQ(tagCaptions(), (QStringList{"Bold", "Paragraph", kZavorka, "Code"}));
    EXPECT_EQ(tagShortcuts(), (QStringList{"Ctrl+B", "Alt+P", "", "Ctrl+K"}));
    EXPECT_EQ(storedList("ShortCuts.lstZNACKY_Items").at(3), QStringLiteral("Code"));
    EXPECT_EQ(storedList("ShortCuts.StrSTART_Strings").at(3), QStringLiteral("<code>#13#10"));
    EXPECT_EQ(storedList("ShortCuts.StrEND_Strings").at(3), QStringLiteral("#32</code>#32"));

    // The new entry wraps with the texts just stored.
    openPost(QStringLiteral("x"));
    placeCaret(1, 0);
    tagEntries()[3]->trigger();
    EXPECT_EQ(editorText(), QStringLiteral("<code>\nx </code> "));
}

TEST_F(TagsDialogTest, TheSectionsAreWrittenInTheirOrderAfterThePlacement)
{
    start();
    TagsDialog &d = openDialog();
    control<QToolButton>(d, "btnADD")->click();
    control<QPushButton>(d, "btnOK")->click();
    const std::string file = fileBytes(iniPath());
    const std::vector<std::string> inOrder = {
        "[ShortCuts]",     "Flags=",         "ShowCmd=",
        "PixelsPerInch=",  "MinMaxPos(",     "MinMaxPos=",
        "NormPos(",        "NormPos=",       "Visible=0",
        "[ShortCuts.StrEND_Strings]",        "Count=1",
        "[ShortCuts.StrHOTKEYS_Strings]",    "[ShortCuts.StrSTART_Strings]",
        "[ShortCuts.lstZNACKY_Items]",       "Item0=[Description]"};
    std::size_t at = 0;
    for (const std::string &part : inOrder) {
        const std::size_t found = file.find(part, at);
        ASSERT_NE(found, std::string::npos) << part << " in\n" << file;
        at = found + part.size();
    }
}

TEST_F(TagsDialogTest, DeleteEmptiesTheFieldsAndLeavesNoTagSelected)
{
    laySampleSettings();
    start();
    TagsDialog &d = openDialog(true);
    clickRow(0);
    control<QToolButton>(d, "btnDELETE")->click();
    EXPECT_EQ(listItems(), (QStringList{"Paragraph", kZavorka}));
    EXPECT_EQ(control<StringHolder>(d, "StrHOTKEYS")->strings(), (QStringList{"Alt+P", ""}));
    EXPECT_EQ(control<StringHolder>(d, "StrSTART")->strings(), (QStringList{"<p>#13#10", "[#32"}));
    EXPECT_EQ(control<StringHolder>(d, "StrEND")->strings(), (QStringList{"</p>", "#32]"}));
    EXPECT_TRUE(control<QListWidget>(d, "lstZNACKY")->selectedItems().isEmpty());
    EXPECT_TRUE(control<QLineEdit>(d, "Edit1")->isEnabled());
    EXPECT_EQ(control<QLineEdit>(d, "Edit1")->text(), QString());
    EXPECT_EQ(control<QPlainTextEdit>(d, "memoSTART")->toPlainText(), QString());
    EXPECT_EQ(control<QPlainTextEdit>(d, "memoEND")->toPlainText(), QString());

    // With no tag selected the fields store nothing, and "-" does nothing.
    QTest::keyClicks(control<QLineEdit>(d, "Edit1"), QStringLiteral("zzz"));
    QTest::keyClicks(control<QPlainTextEdit>(d, "memoSTART"), QStringLiteral("<s>"));
    QTest::keyClick(control<HotKeyEdit>(d, "HotKey2"), Qt::Key_J, Qt::ControlModifier);
    control<QToolButton>(d, "btnDELETE")->click();
    // Tabbing into the list makes no tag selected either.
    control<QListWidget>(d, "lstZNACKY")->setFocus(Qt::TabFocusReason);
    QTest::keyClicks(control<QLineEdit>(d, "Edit1"), QStringLiteral("yyy"));
    EXPECT_EQ(listItems(), (QStringList{"Paragraph", kZavorka}));
    EXPECT_EQ(control<StringHolder>(d, "StrHOTKEYS")->strings(), (QStringList{"Alt+P", ""}));
    EXPECT_EQ(control<StringHolder>(d, "StrSTART")->strings(), (QStringList{"<p>#13#10", "[#32"}));

    // Moving through the list with the keys selects.
    QTest::keyClick(control<QListWidget>(d, "lstZNACKY"), Qt::Key_Down);
    EXPECT_EQ(control<QLineEdit>(d, "Edit1")->text(), control<QListWidget>(d, "lstZNACKY")->item(control<QListWidget>(d, "lstZNACKY")->currentRow())->text());

    control<QPushButton>(d, "btnOK")->click();
    EXPECT_EQ(tagCaptions(), (QStringList{"Paragraph", kZavorka}));
    EXPECT_EQ(storedTags().starts, (QStringList{"<p>#13#10", "[#32"}));
}

TEST_F(TagsDialogTest, ALiteralEscapeTypedAsStartTextInsertsASpace)
{
    start();
    TagsDialog &d = openDialog(true);
    control<QToolButton>(d, "btnADD")->click();
    clickRow(0);
    QTest::keyClicks(control<QPlainTextEdit>(d, "memoSTART"), QStringLiteral("a#32b"));
    control<QPushButton>(d, "btnOK")->click();
    openPost();
    tagEntries()[0]->trigger();
    EXPECT_EQ(editorText(), QStringLiteral("a b"));
}

TEST_F(TagsDialogTest, ANewTagLeftAsItIsGivesAnEntryThatChangesNothing)
{
    start();
    TagsDialog &d = openDialog();
    control<QToolButton>(d, "btnADD")->click();
    control<QPushButton>(d, "btnOK")->click();
    EXPECT_EQ(tagCaptions(), QStringList{"[Description]"});
    EXPECT_EQ(tagShortcuts(), QStringList{""});
    openPost(QStringLiteral("word"));
    placeCaret(4, 0);
    tagEntries()[0]->trigger();
    EXPECT_EQ(editorText(), QStringLiteral("word"));
}

// ---------------------------------------------------------------------------
// Cancel, Escape and the close box

TEST_F(TagsDialogTest, EveryWayButOkDiscardsTheEditsInFileAndMenu)
{
    laySampleSettings();
    start();
    const StoredTags before = storedTags();
    const QStringList menuBefore = tagCaptions();
    const std::vector<std::pair<const char *, std::function<void(TagsDialog &)>>> ways = {
        {"Cancel", [](TagsDialog &d) { control<QPushButton>(d, "btnCANCEL")->click(); }},
        {"Escape", [](TagsDialog &d) { QTest::keyClick(&d, Qt::Key_Escape); }},
        {"Escape in the hotkey field", [](TagsDialog &d) { QTest::keyClick(control<HotKeyEdit>(d, "HotKey2"), Qt::Key_Escape); }},
        {"close box", [](TagsDialog &d) { d.close(); }},
    };
    for (const auto &[name, leave] : ways) {
        SCOPED_TRACE(name);
        TagsDialog &d = openDialog(true);
        clickRow(1);
        replaceText(control<QLineEdit>(d, "Edit1"), QStringLiteral("Changed"));
        QTest::keyClick(control<HotKeyEdit>(d, "HotKey2"), Qt::Key_Y, Qt::ControlModifier);
        clickRow(0);
        control<QToolButton>(d, "btnDELETE")->click();
        control<QToolButton>(d, "btnADD")->click();
        control<HotKeyEdit>(d, "HotKey2")->setFocus();
        leave(d);
        EXPECT_FALSE(d.isVisible());
        EXPECT_EQ(d.result(), QDialog::Rejected);
        EXPECT_TRUE(storedTags() == before);
        EXPECT_EQ(tagCaptions(), menuBefore);
        // The placement is still saved.
        EXPECT_EQ(stored("ShortCuts", "Visible"), "0");
        EXPECT_NE(stored("ShortCuts", "NormPos"), "<missing>");
        dlg.reset();
    }
    EXPECT_TRUE(fx.prompts().shown.empty());
}

TEST_F(TagsDialogTest, DeletingTheFirstOfTwoAndCancellingKeepsEveryEntrysTexts)
{
    laySettings("[ShortCuts.lstZNACKY_Items]\r\nCount=2\r\nItem0=One\r\nItem1=Two\r\n"
                "[ShortCuts.StrSTART_Strings]\r\nCount=2\r\nItem0=<1>\r\nItem1=<2>\r\n");
    start();
    TagsDialog &d = openDialog();
    clickRow(0);
    control<QToolButton>(d, "btnDELETE")->click();
    control<QPushButton>(d, "btnCANCEL")->click();
    ASSERT_EQ(tagCaptions(), (QStringList{"One", "Two"}));
    openPost();
    tagEntries()[0]->trigger();
    tagEntries()[1]->trigger();
    EXPECT_EQ(editorText(), QStringLiteral("<1><2>"));
}

// ---------------------------------------------------------------------------
// The hotkey field

TEST_F(TagsDialogTest, TheHotkeyFieldTakesAKeyAloneOrWithShiftAsAltPlusThatKey)
{
    laySampleSettings();
    start();
    TagsDialog &d = openDialog(true);
    clickRow(2);
    struct Press {
        Qt::Key key;
        Qt::KeyboardModifiers mods;
        const char *stored;
    };
    const Press presses[] = {
        {Qt::Key_I, Qt::NoModifier, "Alt+I"},
        {Qt::Key_U, Qt::ShiftModifier, "Alt+U"},
        {Qt::Key_F7, Qt::NoModifier, "Alt+F7"},
        {Qt::Key_B, Qt::ControlModifier | Qt::ShiftModifier, "Shift+Ctrl+B"},
        {Qt::Key_Shift, Qt::ShiftModifier, "Shift+Ctrl+B"}, // a modifier alone changes nothing
        {Qt::Key_PageDown, Qt::ControlModifier | Qt::AltModifier, "Ctrl+Alt+PgDn"},
    };
    for (const Press &p : presses) {
        QTest::keyClick(control<HotKeyEdit>(d, "HotKey2"), p.key, p.mods);
        EXPECT_EQ(control<StringHolder>(d, "StrHOTKEYS")->strings().at(2), QString::fromLatin1(p.stored));
        EXPECT_EQ(control<HotKeyEdit>(d, "HotKey2")->shownText(), QString::fromLatin1(p.stored));
    }
    // The clear button leaves the tag without hotkey.
    control<HotKeyEdit>(d, "HotKey2")->findChild<QLineEdit *>()->clear();
    EXPECT_EQ(control<StringHolder>(d, "StrHOTKEYS")->strings().at(2), QString());
    // Leaving the field stores what it shows.
    control<StringHolder>(d, "StrHOTKEYS")->lines()[2] = QStringLiteral("stale");
    control<HotKeyEdit>(d, "HotKey2")->setFocus();
    control<QLineEdit>(d, "Edit1")->setFocus();
    EXPECT_EQ(control<StringHolder>(d, "StrHOTKEYS")->strings().at(2), QString());
    // Tab moves on instead of becoming a hotkey.
    control<HotKeyEdit>(d, "HotKey2")->setFocus();
    QTest::keyClick(control<HotKeyEdit>(d, "HotKey2"), Qt::Key_Tab);
    EXPECT_NE(QApplication::focusWidget(), control<HotKeyEdit>(d, "HotKey2"));
    EXPECT_EQ(control<HotKeyEdit>(d, "HotKey2")->shownText(), QString());
    EXPECT_TRUE(d.isVisible());
}

// The field, the file and the menu all show one form, also once the focus
// has left the field (the toolkit would write "Ctrl+Alt+Shift+P" there).
TEST_F(TagsDialogTest, AHotkeyShowsInTheProgramsFormAfterLeavingTheField)
{
    laySampleSettings();
    start();
    TagsDialog &d = openDialog(true);
    clickRow(2);
    control<HotKeyEdit>(d, "HotKey2")->setFocus();
    QTest::keyClick(control<HotKeyEdit>(d, "HotKey2"), Qt::Key_P, Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
    control<QLineEdit>(d, "Edit1")->setFocus();
    QApplication::processEvents();
    EXPECT_EQ(control<HotKeyEdit>(d, "HotKey2")->shownText(), QStringLiteral("Shift+Ctrl+Alt+P"));
    EXPECT_EQ(control<StringHolder>(d, "StrHOTKEYS")->strings().at(2), QStringLiteral("Shift+Ctrl+Alt+P"));
    QTest::mouseClick(control<QPushButton>(d, "btnOK"), Qt::LeftButton);
    auto *menu = control<TagsMenu>(w(), "Tags1");
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(menu->entryText(tagEntries().at(2)),
              QString::fromUtf16(u"Z\u00e1vorka\tShift+Ctrl+Alt+P"));
    EXPECT_EQ(menu->entryText(tagEntries().at(0)), QStringLiteral("Bold\tCtrl+B"));
}

TEST_F(TagsDialogTest, EnterInTheHotkeyFieldPressesOk)
{
    laySampleSettings();
    start();
    TagsDialog &d = openDialog(true);
    clickRow(0);
    control<HotKeyEdit>(d, "HotKey2")->setFocus();
    QTest::keyClick(control<HotKeyEdit>(d, "HotKey2"), Qt::Key_Return);
    EXPECT_FALSE(d.isVisible());
    EXPECT_EQ(d.result(), QDialog::Accepted);
    EXPECT_EQ(storedTags().hotkeys.at(0), QStringLiteral("Ctrl+B"));
}

TEST_F(TagsDialogTest, AHotkeyHeldByACommandOrAnotherTagIsShownAsAConflict)
{
    laySampleSettings();
    start();
    TagsDialog &d = openDialog(true);
    clickRow(2);
    EXPECT_EQ(control<QLabel>(d, "lblHOTKEYNOTE")->text(), QString());
    QTest::keyClick(control<HotKeyEdit>(d, "HotKey2"), Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(control<QLabel>(d, "lblHOTKEYNOTE")->text(),
              QStringLiteral("Ctrl+S is the shortcut of the command \"Save\"; this tag gets no hotkey."));
    QTest::keyClick(control<HotKeyEdit>(d, "HotKey2"), Qt::Key_B, Qt::ControlModifier);
    EXPECT_EQ(control<QLabel>(d, "lblHOTKEYNOTE")->text(),
              QStringLiteral("Ctrl+B is already the hotkey of the tag \"Bold\"; this tag gets none."));
    clickRow(0);
    EXPECT_EQ(control<QLabel>(d, "lblHOTKEYNOTE")->text(),
              QStringLiteral("Ctrl+B is also chosen for the tag \"%1\", which gets none.").arg(kZavorka));
    clickRow(1);
    QTest::keyClick(control<HotKeyEdit>(d, "HotKey2"), Qt::Key_F9);
    EXPECT_EQ(control<QLabel>(d, "lblHOTKEYNOTE")->text(), QString()); // F9 alone is Alt+F9: free
    QTest::keyClick(control<HotKeyEdit>(d, "HotKey2"), Qt::Key_B);
    EXPECT_EQ(control<QLabel>(d, "lblHOTKEYNOTE")->text(),
              QStringLiteral("Alt+B opens the menu \"Blog\"; this tag gets no hotkey."));
    QTest::keyClick(control<HotKeyEdit>(d, "HotKey2"), Qt::Key_N, Qt::ControlModifier);
    control<QPushButton>(d, "btnOK")->click();
    EXPECT_EQ(tagShortcuts(), (QStringList{"Ctrl+B", "", ""}));
    EXPECT_EQ(action(w(), "actSAVE")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_S));
    EXPECT_EQ(action(w(), "actNEW")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_N));
    // The file keeps what the user chose.
    EXPECT_EQ(storedTags().hotkeys, (QStringList{"Ctrl+B", "Ctrl+N", "Ctrl+B"}));
}

// ---------------------------------------------------------------------------
// The settings file

TEST_F(TagsDialogTest, WhatOkStoredReadsBackIdenticallyAtTheNextStart)
{
    laySampleSettings();
    start();
    {
        TagsDialog &d = openDialog(true);
        control<QToolButton>(d, "btnADD")->click();
        clickRow(3);
        replaceText(control<QLineEdit>(d, "Edit1"), QStringLiteral("\"Quoted\""));
        QTest::keyClick(control<HotKeyEdit>(d, "HotKey2"), Qt::Key_Comma, Qt::ControlModifier);
        QTest::keyClicks(control<QPlainTextEdit>(d, "memoSTART"), QStringLiteral("  <q class='x'>"));
        QTest::keyClick(control<QPlainTextEdit>(d, "memoSTART"), Qt::Key_Return);
        QTest::keyClick(control<QPlainTextEdit>(d, "memoSTART"), Qt::Key_Return);
        // Typed as one insertion: the key simulator knows only ASCII keys.
        control<QPlainTextEdit>(d, "memoEND")->insertPlainText(QString::fromUtf16(u"</q>\u00a0\u010d"));
        control<QPushButton>(d, "btnOK")->click();
        dlg.reset();
    }
    const StoredTags first = storedTags();
    const QStringList captions = tagCaptions(), shortcuts = tagShortcuts();
    EXPECT_EQ(captions.at(3), QStringLiteral("\"Quoted\""));
    EXPECT_EQ(shortcuts.at(3), QStringLiteral("Ctrl+,"));

    fx.stop();
    start();
    EXPECT_EQ(tagCaptions(), captions);
    EXPECT_EQ(tagShortcuts(), shortcuts);
    TagsDialog &d = openDialog(true);
    clickRow(3);
    EXPECT_EQ(control<QLineEdit>(d, "Edit1")->text(), QStringLiteral("\"Quoted\""));
    EXPECT_EQ(control<QPlainTextEdit>(d, "memoSTART")->toPlainText(), QStringLiteral("  <q class='x'>\n\n"));
    // The raw text: the plain-text view would show the no-break space as a space.
    EXPECT_EQ(control<QPlainTextEdit>(d, "memoEND")->document()->toRawText(), QString::fromUtf16(u"</q>\u00a0\u010d"));
    const std::string bytesBefore = fileBytes(iniPath());
    control<QPushButton>(d, "btnOK")->click();
    EXPECT_TRUE(storedTags() == first);
    EXPECT_EQ(fileBytes(iniPath()), bytesBefore);

    openPost();
    tagEntries()[3]->trigger();
    EXPECT_EQ(editor()->document()->toRawText(),
              QString::fromUtf16(u"  <q class='x'>\u2029\u2029</q>\u00a0\u010d"));
}

TEST_F(TagsDialogTest, ListsOfUnequalLengthAreFilledUpToTheDescriptions)
{
    laySettings("[ShortCuts.lstZNACKY_Items]\r\nCount=2\r\nItem0=One\r\nItem1=Two\r\n"
                "[ShortCuts.StrSTART_Strings]\r\nCount=1\r\nItem0=<i>\r\n");
    start();
    TagsDialog &d = openDialog(true);
    clickRow(1);
    EXPECT_EQ(control<QPlainTextEdit>(d, "memoSTART")->toPlainText(), QString());
    QTest::keyClicks(control<QPlainTextEdit>(d, "memoSTART"), QStringLiteral("<u>"));
    QTest::keyClicks(control<QPlainTextEdit>(d, "memoEND"), QStringLiteral("</u>"));
    control<QPushButton>(d, "btnOK")->click();
    const StoredTags t = storedTags();
    EXPECT_EQ(t.starts, (QStringList{"<i>", "<u>"}));
    EXPECT_EQ(t.ends, (QStringList{"", "</u>"}));
    EXPECT_EQ(t.hotkeys, (QStringList{"", ""}));
}

TEST_F(TagsDialogTest, AFailedWriteIsShownAndTheDialogStillCloses)
{
    start();
    // A folder where the settings file should be: it can be neither read nor replaced.
    ASSERT_TRUE(QDir().mkpath(iniPath()));
    TagsDialog &d = openDialog();
    control<QToolButton>(d, "btnADD")->click();
    control<QPushButton>(d, "btnOK")->click();
    EXPECT_FALSE(d.isVisible());
    EXPECT_EQ(fx.prompts().errors(),
              QStringList{QStringLiteral("Unable to write to ") + iniPath()});
    EXPECT_EQ(tagCaptions(), QStringList{"[Description]"});
}

TEST_F(TagsDialogTest, SetupOpensTheDialogModallyFromTheMenu)
{
    start();
    bool driven = false;
    QTimer::singleShot(0, [&] {
        auto *d = qobject_cast<TagsDialog *>(QApplication::activeModalWidget());
        if (!d)
            return;
        driven = d->isModal();
        control<QToolButton>(*d, "btnADD")->click();
        control<QPushButton>(*d, "btnOK")->click();
    });
    // A driver that failed to find the dialog must not leave the test waiting.
    QTimer::singleShot(5000, [] {
        if (auto *m = QApplication::activeModalWidget())
            m->close();
    });
    action(w(), "Setup1")->trigger();
    EXPECT_TRUE(driven);
    EXPECT_EQ(tagCaptions(), QStringList{"[Description]"});
    EXPECT_EQ(storedTags().names, QStringList{"[Description]"});
    EXPECT_FALSE(w().findChild<TagsDialog *>()); // discarded after closing
}
