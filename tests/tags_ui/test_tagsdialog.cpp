#include "tags/ui/tagsdialog.h"
#include "tags/ui/hotkeyedit.h"
#include "tagsfixture.h"
#include "tags/ui/tagsmenu.h"

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
        dlg = std::make_unique<TagsDialog>(&w());
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
        QListWidget *lst = dlg->lstZNACKY;
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
    EXPECT_EQ(d.StrHOTKEYS->strings(), (QStringList{"Ctrl+B", "Alt+P", ""}));
    EXPECT_EQ(d.StrSTART->strings(), (QStringList{"<b>", "<p>#13#10", "[#32"}));
    EXPECT_EQ(d.StrEND->strings(), (QStringList{"</b>", "</p>", "#32]"}));
    EXPECT_EQ(d.lstZNACKY->currentRow(), -1);
    for (QWidget *f : {static_cast<QWidget *>(d.Edit1), static_cast<QWidget *>(d.HotKey2),
                       static_cast<QWidget *>(d.memoSTART), static_cast<QWidget *>(d.memoEND)})
        EXPECT_FALSE(f->isEnabled()) << f->objectName().toStdString();
    EXPECT_EQ(d.HotKey2->shownText(), QStringLiteral("Alt+A"));
}

TEST_F(TagsDialogTest, WithoutASettingsFileTheListIsEmpty)
{
    start();
    TagsDialog &d = openDialog();
    EXPECT_EQ(d.lstZNACKY->count(), 0);
    EXPECT_TRUE(d.StrSTART->strings().isEmpty());
}

TEST_F(TagsDialogTest, SelectingATagShowsItsPartsAndFocusesTheDescription)
{
    laySampleSettings();
    start();
    TagsDialog &d = openDialog(true);
    clickRow(1);
    EXPECT_TRUE(d.Edit1->isEnabled());
    EXPECT_TRUE(d.memoEND->isEnabled());
    EXPECT_EQ(d.Edit1->text(), QStringLiteral("Paragraph"));
    EXPECT_EQ(d.HotKey2->shownText(), QStringLiteral("Alt+P"));
    EXPECT_EQ(d.memoSTART->toPlainText(), QStringLiteral("<p>\n"));
    EXPECT_EQ(d.memoEND->toPlainText(), QStringLiteral("</p>"));
    EXPECT_EQ(QApplication::focusWidget(), d.Edit1);
    clickRow(2);
    EXPECT_EQ(d.memoSTART->toPlainText(), QStringLiteral("[ "));
    EXPECT_EQ(d.HotKey2->shownText(), QString()); // no hotkey
    // Showing the texts does not change what is stored.
    EXPECT_EQ(d.StrSTART->strings(), (QStringList{"<b>", "<p>#13#10", "[#32"}));
}

// ---------------------------------------------------------------------------
// Editing, O&K

TEST_F(TagsDialogTest, AddEditAndOkRebuildTheMenuAndStoreTheLists)
{
    laySampleSettings();
    start();
    TagsDialog &d = openDialog(true);
    clickRow(0);
    d.btnADD->click();
    EXPECT_EQ(listItems(), (QStringList{"Bold", "Paragraph", kZavorka, "[Description]"}));
    EXPECT_EQ(d.lstZNACKY->currentRow(), 0); // the selection stays where it was
    EXPECT_EQ(d.StrHOTKEYS->strings().size(), 4);

    clickRow(3);
    replaceText(d.Edit1, QStringLiteral("Code"));
    EXPECT_EQ(d.lstZNACKY->item(3)->text(), QStringLiteral("Code"));
    QTest::keyClick(d.HotKey2, Qt::Key_K, Qt::ControlModifier);
    QTest::keyClicks(d.memoSTART, QStringLiteral("<code>"));
    QTest::keyClick(d.memoSTART, Qt::Key_Return);
    QTest::keyClicks(d.memoEND, QStringLiteral(" </code> "));
    EXPECT_EQ(d.StrHOTKEYS->strings().at(3), QStringLiteral("Ctrl+K"));
    EXPECT_EQ(d.StrSTART->strings().at(3), QStringLiteral("<code>#13#10"));
    EXPECT_EQ(d.StrEND->strings().at(3), QStringLiteral("#32</code>#32"));

    d.btnOK->click();
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
    d.btnADD->click();
    d.btnOK->click();
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
    d.btnDELETE->click();
    EXPECT_EQ(listItems(), (QStringList{"Paragraph", kZavorka}));
    EXPECT_EQ(d.StrHOTKEYS->strings(), (QStringList{"Alt+P", ""}));
    EXPECT_EQ(d.StrSTART->strings(), (QStringList{"<p>#13#10", "[#32"}));
    EXPECT_EQ(d.StrEND->strings(), (QStringList{"</p>", "#32]"}));
    EXPECT_TRUE(d.lstZNACKY->selectedItems().isEmpty());
    EXPECT_TRUE(d.Edit1->isEnabled());
    EXPECT_EQ(d.Edit1->text(), QString());
    EXPECT_EQ(d.memoSTART->toPlainText(), QString());
    EXPECT_EQ(d.memoEND->toPlainText(), QString());

    // With no tag selected the fields store nothing, and "-" does nothing.
    QTest::keyClicks(d.Edit1, QStringLiteral("zzz"));
    QTest::keyClicks(d.memoSTART, QStringLiteral("<s>"));
    QTest::keyClick(d.HotKey2, Qt::Key_J, Qt::ControlModifier);
    d.btnDELETE->click();
    // Tabbing into the list makes no tag selected either.
    d.lstZNACKY->setFocus(Qt::TabFocusReason);
    QTest::keyClicks(d.Edit1, QStringLiteral("yyy"));
    EXPECT_EQ(listItems(), (QStringList{"Paragraph", kZavorka}));
    EXPECT_EQ(d.StrHOTKEYS->strings(), (QStringList{"Alt+P", ""}));
    EXPECT_EQ(d.StrSTART->strings(), (QStringList{"<p>#13#10", "[#32"}));

    // Moving through the list with the keys selects.
    QTest::keyClick(d.lstZNACKY, Qt::Key_Down);
    EXPECT_EQ(d.Edit1->text(), d.lstZNACKY->item(d.lstZNACKY->currentRow())->text());

    d.btnOK->click();
    EXPECT_EQ(tagCaptions(), (QStringList{"Paragraph", kZavorka}));
    EXPECT_EQ(storedTags().starts, (QStringList{"<p>#13#10", "[#32"}));
}

TEST_F(TagsDialogTest, ALiteralEscapeTypedAsStartTextInsertsASpace)
{
    start();
    TagsDialog &d = openDialog(true);
    d.btnADD->click();
    clickRow(0);
    QTest::keyClicks(d.memoSTART, QStringLiteral("a#32b"));
    d.btnOK->click();
    openPost();
    tagEntries()[0]->trigger();
    EXPECT_EQ(editorText(), QStringLiteral("a b"));
}

TEST_F(TagsDialogTest, ANewTagLeftAsItIsGivesAnEntryThatChangesNothing)
{
    start();
    TagsDialog &d = openDialog();
    d.btnADD->click();
    d.btnOK->click();
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
        {"Cancel", [](TagsDialog &d) { d.btnCANCEL->click(); }},
        {"Escape", [](TagsDialog &d) { QTest::keyClick(&d, Qt::Key_Escape); }},
        {"Escape in the hotkey field", [](TagsDialog &d) { QTest::keyClick(d.HotKey2, Qt::Key_Escape); }},
        {"close box", [](TagsDialog &d) { d.close(); }},
    };
    for (const auto &[name, leave] : ways) {
        SCOPED_TRACE(name);
        TagsDialog &d = openDialog(true);
        clickRow(1);
        replaceText(d.Edit1, QStringLiteral("Changed"));
        QTest::keyClick(d.HotKey2, Qt::Key_Y, Qt::ControlModifier);
        clickRow(0);
        d.btnDELETE->click();
        d.btnADD->click();
        d.HotKey2->setFocus();
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
    d.btnDELETE->click();
    d.btnCANCEL->click();
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
        QTest::keyClick(d.HotKey2, p.key, p.mods);
        EXPECT_EQ(d.StrHOTKEYS->strings().at(2), QString::fromLatin1(p.stored));
        EXPECT_EQ(d.HotKey2->shownText(), QString::fromLatin1(p.stored));
    }
    // The clear button leaves the tag without hotkey.
    d.HotKey2->findChild<QLineEdit *>()->clear();
    EXPECT_EQ(d.StrHOTKEYS->strings().at(2), QString());
    // Leaving the field stores what it shows.
    d.StrHOTKEYS->lines()[2] = QStringLiteral("stale");
    d.HotKey2->setFocus();
    d.Edit1->setFocus();
    EXPECT_EQ(d.StrHOTKEYS->strings().at(2), QString());
    // Tab moves on instead of becoming a hotkey.
    d.HotKey2->setFocus();
    QTest::keyClick(d.HotKey2, Qt::Key_Tab);
    EXPECT_NE(QApplication::focusWidget(), d.HotKey2);
    EXPECT_EQ(d.HotKey2->shownText(), QString());
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
    d.HotKey2->setFocus();
    QTest::keyClick(d.HotKey2, Qt::Key_P, Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
    d.Edit1->setFocus();
    QApplication::processEvents();
    EXPECT_EQ(d.HotKey2->shownText(), QStringLiteral("Shift+Ctrl+Alt+P"));
    EXPECT_EQ(d.StrHOTKEYS->strings().at(2), QStringLiteral("Shift+Ctrl+Alt+P"));
    QTest::mouseClick(d.btnOK, Qt::LeftButton);
    auto *menu = qobject_cast<TagsMenu *>(w().menuTags);
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
    d.HotKey2->setFocus();
    QTest::keyClick(d.HotKey2, Qt::Key_Return);
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
    EXPECT_EQ(d.lblHOTKEYNOTE->text(), QString());
    QTest::keyClick(d.HotKey2, Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(d.lblHOTKEYNOTE->text(),
              QStringLiteral("Ctrl+S is the shortcut of the command \"Save\"; this tag gets no hotkey."));
    QTest::keyClick(d.HotKey2, Qt::Key_B, Qt::ControlModifier);
    EXPECT_EQ(d.lblHOTKEYNOTE->text(),
              QStringLiteral("Ctrl+B is already the hotkey of the tag \"Bold\"; this tag gets none."));
    clickRow(0);
    EXPECT_EQ(d.lblHOTKEYNOTE->text(),
              QStringLiteral("Ctrl+B is also chosen for the tag \"%1\", which gets none.").arg(kZavorka));
    clickRow(1);
    QTest::keyClick(d.HotKey2, Qt::Key_F9);
    EXPECT_EQ(d.lblHOTKEYNOTE->text(), QString()); // F9 alone is Alt+F9: free
    QTest::keyClick(d.HotKey2, Qt::Key_B);
    EXPECT_EQ(d.lblHOTKEYNOTE->text(),
              QStringLiteral("Alt+B opens the menu \"Blog\"; this tag gets no hotkey."));
    QTest::keyClick(d.HotKey2, Qt::Key_N, Qt::ControlModifier);
    d.btnOK->click();
    EXPECT_EQ(tagShortcuts(), (QStringList{"Ctrl+B", "", ""}));
    EXPECT_EQ(w().actSAVE->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_S));
    EXPECT_EQ(w().actNEW->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_N));
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
        d.btnADD->click();
        clickRow(3);
        replaceText(d.Edit1, QStringLiteral("\"Quoted\""));
        QTest::keyClick(d.HotKey2, Qt::Key_Comma, Qt::ControlModifier);
        QTest::keyClicks(d.memoSTART, QStringLiteral("  <q class='x'>"));
        QTest::keyClick(d.memoSTART, Qt::Key_Return);
        QTest::keyClick(d.memoSTART, Qt::Key_Return);
        // Typed as one insertion: the key simulator knows only ASCII keys.
        d.memoEND->insertPlainText(QString::fromUtf16(u"</q>\u00a0\u010d"));
        d.btnOK->click();
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
    EXPECT_EQ(d.Edit1->text(), QStringLiteral("\"Quoted\""));
    EXPECT_EQ(d.memoSTART->toPlainText(), QStringLiteral("  <q class='x'>\n\n"));
    // The raw text: the plain-text view would show the no-break space as a space.
    EXPECT_EQ(d.memoEND->document()->toRawText(), QString::fromUtf16(u"</q>\u00a0\u010d"));
    const std::string bytesBefore = fileBytes(iniPath());
    d.btnOK->click();
    EXPECT_TRUE(storedTags() == first);
    EXPECT_EQ(fileBytes(iniPath()), bytesBefore);

    openPost();
    tagEntries()[3]->trigger();
    EXPECT_EQ(w().memoOBSAH->document()->toRawText(),
              QString::fromUtf16(u"  <q class='x'>\u2029\u2029</q>\u00a0\u010d"));
}

TEST_F(TagsDialogTest, ListsOfUnequalLengthAreFilledUpToTheDescriptions)
{
    laySettings("[ShortCuts.lstZNACKY_Items]\r\nCount=2\r\nItem0=One\r\nItem1=Two\r\n"
                "[ShortCuts.StrSTART_Strings]\r\nCount=1\r\nItem0=<i>\r\n");
    start();
    TagsDialog &d = openDialog(true);
    clickRow(1);
    EXPECT_EQ(d.memoSTART->toPlainText(), QString());
    QTest::keyClicks(d.memoSTART, QStringLiteral("<u>"));
    QTest::keyClicks(d.memoEND, QStringLiteral("</u>"));
    d.btnOK->click();
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
    d.btnADD->click();
    d.btnOK->click();
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
        d->btnADD->click();
        d->btnOK->click();
    });
    // A driver that failed to find the dialog must not leave the test waiting.
    QTimer::singleShot(5000, [] {
        if (auto *m = QApplication::activeModalWidget())
            m->close();
    });
    w().mnuSETUPTAGS->trigger();
    EXPECT_TRUE(driven);
    EXPECT_EQ(tagCaptions(), QStringList{"[Description]"});
    EXPECT_EQ(storedTags().names, QStringList{"[Description]"});
    EXPECT_FALSE(w().findChild<TagsDialog *>()); // discarded after closing
}
