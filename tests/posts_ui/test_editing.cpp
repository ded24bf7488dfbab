// The browse and editing states: New, Edit, Save, Close post, Delete, More.
#include "postsfixture.h"

#include "core/cp1250.h"
#include "publish/sendrecord.h"

#include <QTest>
#include <QToolButton>

#include <functional>

using namespace tl;
using namespace tl::test;

namespace {
const std::string kPost = "Stored title\r\nstored line 1\r\nstored line 2";
} // namespace

class Editing : public PostsWindow {
protected:
    // Two posts in the tree, the older one selected and shown; the server
    // has both (the project's send record says so).
    void readAndSelect()
    {
        post("1049373240.txt", kPost); // 2003-04-03 12:34
        post("1051747200.txt", "May\r\nmay text");
        SendRecord record = SendRecord::load(SendRecord::pathFor(fx.programFolder() + "conf/blog.tvp"));
        for (const char *name : {"1049373240.txt", "1051747200.txt"})
            record.confirmSent(name, SendRecord::contentOf(postPath(name)));
        record.save();
        act("actREAD")->trigger();
        click("1049373240.txt");
    }
    int readsLogged() const { return logLines().count("Read from list..."); }
};

TEST_F(Editing, NewOpensAnEmptyPostDatedNowInTheEditingState)
{
    readAndSelect();
    act("actNEW")->trigger();
    EXPECT_TRUE(prompts().shown.empty());
    expectState(true);
    EXPECT_EQ(dateField()->date(), QDate(2003, 4, 3));
    EXPECT_EQ(timeEdit()->text(), "09:05");
    EXPECT_TRUE(titleEdit()->text().isEmpty());
    EXPECT_TRUE(editor()->toPlainText().isEmpty());
    EXPECT_TRUE(w->posts().isNewPost());
}

// After the save the tree read again shows the new post, selected and shown
// (it used to be collapsed with nothing selected).
TEST_F(Editing, SavingANewPostWritesItReadsAgainAndShowsItSelected)
{
    readAndSelect();
    act("actNEW")->trigger();
    titleEdit()->setText(QStringLiteral("Nový příspěvek"));
    editor()->setPlainText(QStringLiteral("řádek 1\n\nřádek 3"));
    timeEdit()->setText("12:35");
    const int reads = readsLogged();
    act("actSAVE")->trigger();

    EXPECT_TRUE(prompts().shown.empty());
    EXPECT_EQ(bytes("1049373300.txt"), "Nov\xFD p\xF8\xEDsp\xECvek\r\n\xF8\xE1" "dek 1\r\n\r\n\xF8\xE1" "dek 3");
    EXPECT_EQ(readsLogged(), reads + 1);
    EXPECT_EQ(tree(), QStringList({"2003-05", "  1051747200.txt", "2003-04", "  1049373300.txt",
                                   "  1049373240.txt"}));
    EXPECT_EQ(nodeName(postTree()->selectedItems().value(0)), "1049373300.txt");
    EXPECT_TRUE(node("2003-04")->isExpanded());
    EXPECT_EQ(editor()->toPlainText(), QStringLiteral("řádek 1\n\nřádek 3"));
    EXPECT_EQ(titleEdit()->text(), QStringLiteral("Nový příspěvek"));
    EXPECT_EQ(dateField()->date(), QDate(2003, 4, 3));
    EXPECT_EQ(timeEdit()->text(), "12:35");
    EXPECT_EQ(queuedFiles(*w).size(), 1);
    EXPECT_EQ(queuedFiles(*w).value(0), postPath("1049373300.txt"));
    expectState(false);
    EXPECT_TRUE(act("actEDIT")->isEnabled());
    EXPECT_TRUE(act("actGENERATE")->isEnabled());
}

TEST_F(Editing, SavingAnEditedPostInPlaceWritesTheSameFileWithoutRead)
{
    readAndSelect();
    act("actEDIT")->trigger();
    expectState(true);
    EXPECT_EQ(w->posts().openPostName(), "1049373240.txt");
    EXPECT_FALSE(w->posts().isNewPost());
    editor()->appendPlainText("added");
    const int reads = readsLogged();
    act("actSAVE")->trigger();

    EXPECT_TRUE(prompts().shown.empty());
    EXPECT_EQ(dataFiles(), QStringList({"1049373240.txt", "1051747200.txt"}));
    EXPECT_EQ(bytes("1049373240.txt"), kPost + "\r\nadded");
    EXPECT_EQ(readsLogged(), reads);
    EXPECT_EQ(editor()->toPlainText(), "stored line 1\nstored line 2\nadded");
    EXPECT_EQ(queuedFiles(*w).value(0), postPath("1049373240.txt"));
    expectState(false);
    EXPECT_TRUE(act("actEDIT")->isEnabled());
    EXPECT_TRUE(act("actGENERATE")->isEnabled());

    // Saved twice, queued once: the send carries its latest bytes.
    act("actEDIT")->trigger();
    act("actSAVE")->trigger();
    EXPECT_EQ(queuedFiles(*w).size(), 1);
}

TEST_F(Editing, MovingAPostByOneMinuteRenamesItsFileAndReadsAgain)
{
    readAndSelect();
    act("actEDIT")->trigger();
    timeEdit()->setText("12:35");
    act("actSAVE")->trigger();
    EXPECT_TRUE(prompts().shown.empty());
    EXPECT_EQ(dataFiles(), QStringList({"1049373300.txt", "1051747200.txt"}));
    EXPECT_EQ(bytes("1049373300.txt"), kPost);
    EXPECT_EQ(tree(), QStringList({"2003-05", "  1051747200.txt", "2003-04", "  1049373300.txt"}));
    EXPECT_EQ(nodeName(postTree()->selectedItems().value(0)), "1049373300.txt");
    EXPECT_EQ(editor()->toPlainText(), "stored line 1\nstored line 2");
    expectState(false);
}

TEST_F(Editing, SaveWithAnEmptyDateNamesThePostAfterTheClock)
{
    readAndSelect();
    act("actNEW")->trigger();
    dateField()->setEmpty();
    timeEdit()->setText("23:59"); // ignored
    titleEdit()->setText("clock");
    act("actSAVE")->trigger();
    // 2003-04-03 09:05:30, seconds included.
    EXPECT_EQ(bytes("1049360730.txt"), "clock\r\n");
    EXPECT_EQ(dateField()->date(), QDate(2003, 4, 3));
    EXPECT_EQ(timeEdit()->text(), "09:05");
}

TEST_F(Editing, CommandsRunOnlyWhileTheirButtonIsEnabled)
{
    readAndSelect();
    w->activateWindow();
    QApplication::setActiveWindow(w);
    // Ctrl+S in the browse state, by key and by direct call: nothing written.
    QTest::keyClick(w, Qt::Key_S, Qt::ControlModifier);
    w->posts().save();
    EXPECT_EQ(dataFiles(), QStringList({"1049373240.txt", "1051747200.txt"}));
    EXPECT_EQ(bytes("1049373240.txt"), kPost);
    expectState(false);

    // Ctrl+N opens a post; a second Ctrl+N, F5 and Ctrl+O do nothing then.
    QTest::keyClick(w, Qt::Key_N, Qt::ControlModifier);
    ASSERT_TRUE(w->posts().isPostOpen());
    titleEdit()->setText("typed");
    const int reads = readsLogged();
    QTest::keyClick(w, Qt::Key_N, Qt::ControlModifier);
    QTest::keyClick(w, Qt::Key_F5);
    w->posts().read();
    w->posts().edit();
    EXPECT_EQ(titleEdit()->text(), "typed");
    EXPECT_EQ(readsLogged(), reads);
    EXPECT_TRUE(w->posts().isNewPost());
    expectState(true);

    // Ctrl+S saves now.
    QTest::keyClick(w, Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(bytes("1049360700.txt"), "typed\r\n");
    expectState(false);
}

TEST_F(Editing, ClosePostDiscardsAndShowsTheSelectedPostAgain)
{
    readAndSelect();
    act("actNEW")->trigger();
    titleEdit()->setText("never saved");
    editor()->setPlainText("draft");
    prompts().answers = {Prompts::Answer::No}; // Discard
    act("actCLOSEPOST")->trigger();
    ASSERT_EQ(prompts().shown.size(), 1u);
    EXPECT_EQ(prompts().shown[0].kind, "save");
    EXPECT_EQ(dataFiles(), QStringList({"1049373240.txt", "1051747200.txt"}));
    EXPECT_EQ(titleEdit()->text(), "Stored title");
    EXPECT_EQ(editor()->toPlainText(), "stored line 1\nstored line 2");
    EXPECT_EQ(timeEdit()->text(), "12:34");
    EXPECT_FALSE(w->posts().isNewPost());
    expectState(false);
    EXPECT_TRUE(act("actEDIT")->isEnabled());
    EXPECT_TRUE(act("actGENERATE")->isEnabled());

    // Closing an edited post leaves its file as it was.
    act("actEDIT")->trigger();
    editor()->setPlainText("changed");
    prompts().answers = {Prompts::Answer::No};
    act("actCLOSEPOST")->trigger();
    EXPECT_EQ(bytes("1049373240.txt"), kPost);
    EXPECT_EQ(editor()->toPlainText(), "stored line 1\nstored line 2");
}

TEST_F(Editing, ClosePostWithNothingSelectedEmptiesTheFields)
{
    act("actREAD")->trigger();
    act("actNEW")->trigger();
    titleEdit()->setText("x");
    prompts().answers = {Prompts::Answer::No};
    act("actCLOSEPOST")->trigger();
    EXPECT_TRUE(titleEdit()->text().isEmpty());
    EXPECT_TRUE(dateField()->isEmpty());
    EXPECT_EQ(timeEdit()->text(), ":");
    expectState(false);
}

TEST_F(Editing, EditWithAMonthNodeSelectedDoesNothing)
{
    readAndSelect();
    click("2003-05");
    act("actEDIT")->setEnabled(true); // as Close post leaves it
    act("actEDIT")->trigger();
    EXPECT_FALSE(w->posts().isPostOpen());
    expectState(false);
}

TEST_F(Editing, DeleteAsksNamingThePostAndMovesItsFileToTheTrash)
{
    post("1049328060.txt", "Oldest\r\n");
    post("1049373240.txt", kPost);
    post("1051747200.txt", "May\r\nmay text");
    act("actREAD")->trigger();
    click("1049373240.txt");

    // No (also the default, what Enter answers) keeps everything.
    act("actDEL")->trigger();
    ASSERT_EQ(prompts().shown.size(), 1u);
    EXPECT_EQ(prompts().shown[0].kind, "question");
    EXPECT_EQ(prompts().shown[0].text, "Delete the post of 03.04.2003 12:34 \"Stored title\"?");
    EXPECT_EQ(prompts().shown[0].defaultAnswer, Prompts::Answer::No);
    EXPECT_EQ(dataFiles().size(), 3);

    // Yes: the file goes to the desktop's trash, whole; the node goes and
    // the next one is shown.
    prompts().answers = {Prompts::Answer::Yes};
    act("actDEL")->trigger();
    EXPECT_EQ(dataFiles(), QStringList({"1049328060.txt", "1051747200.txt"}));
    EXPECT_EQ(fileBytes(fx.trashFolder() + "/1049373240.txt"), kPost);
    EXPECT_EQ(tree(), QStringList({"2003-05", "  1051747200.txt", "2003-04", "  1049328060.txt"}));
    EXPECT_EQ(nodeName(postTree()->selectedItems().value(0)), "1049328060.txt");
    EXPECT_EQ(titleEdit()->text(), "Oldest");
    // The counts follow at once, not only at the next Read.
    EXPECT_EQ(postCountText(), "Count of notes: 2");
    EXPECT_EQ(node("2003-04")->text(0), "April 2003 (1)");
    EXPECT_EQ(postList(), QStringList({"______1049328060.txt", "______1051747200.txt"}));

    // The month's last post: the month node stays, selected, with no children.
    prompts().answers = {Prompts::Answer::Yes};
    act("actDEL")->trigger();
    EXPECT_EQ(tree(), QStringList({"2003-05", "  1051747200.txt", "2003-04"}));
    EXPECT_EQ(node("2003-04")->text(0), "April 2003 (0)");
    EXPECT_EQ(postCountText(), "Count of notes: 1");
    EXPECT_EQ(nodeName(postTree()->selectedItems().value(0)), "2003-04");
    EXPECT_FALSE(act("actEDIT")->isEnabled());
    // Delete on a month node asks nothing and does nothing.
    const auto asked = prompts().shown.size();
    act("actDEL")->trigger();
    EXPECT_EQ(prompts().shown.size(), asked);
    EXPECT_EQ(dataFiles(), QStringList({"1051747200.txt"}));
    EXPECT_EQ(QDir(fx.trashFolder()).entryList(QDir::Files),
              QStringList({"1049328060.txt", "1049373240.txt"}));
}

TEST_F(Editing, DeleteOfAFileThatIsGoneSaysErrorAndKeepsTheNode)
{
    readAndSelect();
    QFile::remove(postPath("1049373240.txt"));
    prompts().answers = {Prompts::Answer::Yes};
    act("actDEL")->trigger();
    ASSERT_EQ(prompts().shown.size(), 2u);
    EXPECT_EQ(prompts().shown[0].text, "Delete the post of 03.04.2003 12:34 \"\"?");
    EXPECT_EQ(prompts().shown[1].kind, "message");
    EXPECT_EQ(prompts().shown[1].text, "Error!!!");
    EXPECT_NE(node("1049373240.txt"), nullptr);
}

// The selection can be another post than the one being written: Delete waits
// until the open post is saved or closed, whichever way it is started.
TEST_F(Editing, DeleteIsDisabledWhileAPostIsOpen)
{
    post("1049328060.txt", "Oldest\r\n");
    readAndSelect();
    for (QAction *open : {act("actNEW"), act("actEDIT")}) {
        open->trigger();
        EXPECT_FALSE(act("actDEL")->isEnabled());
        titleEdit()->setText("being written");
        prompts().answers = {Prompts::Answer::Yes};
        act("actDEL")->activate(QAction::Trigger);
        w->posts().deleteSelected();
        EXPECT_TRUE(prompts().shown.empty());
        EXPECT_EQ(dataFiles().size(), 3);
        EXPECT_EQ(titleEdit()->text(), "being written");
        expectState(true);
        prompts().answers = {Prompts::Answer::No};
        act("actCLOSEPOST")->trigger();
        prompts().shown.clear();
        EXPECT_TRUE(act("actDEL")->isEnabled());
    }
}

TEST_F(Editing, ClosingAChangedPostAsksAndEachAnswerDoesWhatItSays)
{
    readAndSelect();
    // Unchanged: closes without a question.
    act("actEDIT")->trigger();
    act("actCLOSEPOST")->trigger();
    EXPECT_TRUE(prompts().shown.empty());
    expectState(false);

    // Each field counts as a change.
    const std::vector<std::function<void()>> changes = {
        [&] { titleEdit()->setText("Other title"); },
        [&] { editor()->setPlainText("other text"); },
        [&] { timeEdit()->setText("12:35"); },
        [&] { setDate(2003, 4, 4); },
    };
    for (const auto &change : changes) {
        act("actEDIT")->trigger();
        change();
        prompts().answers = {Prompts::Answer::Cancel};
        act("actCLOSEPOST")->trigger();
        ASSERT_EQ(prompts().shown.size(), 1u);
        EXPECT_EQ(prompts().shown[0].kind, "save");
        EXPECT_EQ(prompts().shown[0].text, "Post is not saved. Save now?");
        expectState(true); // Cancel: still open, as typed
        prompts().answers = {Prompts::Answer::No};
        act("actCLOSEPOST")->trigger();
        expectState(false); // Discard: the file as it was
        EXPECT_EQ(bytes("1049373240.txt"), kPost);
        prompts().shown.clear();
    }

    // Save: written, then closed.
    act("actEDIT")->trigger();
    titleEdit()->setText("Saved on closing");
    prompts().answers = {Prompts::Answer::Yes};
    act("actCLOSEPOST")->trigger();
    EXPECT_EQ(bytes("1049373240.txt"), "Saved on closing\r\nstored line 1\r\nstored line 2");
    expectState(false);
    // A new post typed into counts too; one left empty closes at once.
    prompts().shown.clear();
    act("actNEW")->trigger();
    act("actCLOSEPOST")->trigger();
    EXPECT_TRUE(prompts().shown.empty());
    expectState(false);
}

// Closing the window some other way than Exit (title bar, Alt+F4, logout)
// must not throw a changed post away either.
TEST_F(Editing, ClosingTheWindowWithAChangedPostAsksAndCancelKeepsIt)
{
    readAndSelect();
    w->show();
    act("actEDIT")->trigger();
    titleEdit()->setText("Typed before closing");
    prompts().answers = {Prompts::Answer::Cancel};
    EXPECT_FALSE(w->close());
    ASSERT_EQ(prompts().shown.size(), 1u);
    EXPECT_EQ(prompts().shown[0].kind, "save");
    EXPECT_TRUE(w->isVisible());
    expectState(true);

    prompts().answers = {Prompts::Answer::Yes};
    EXPECT_TRUE(w->close());
    EXPECT_EQ(bytes("1049373240.txt"), "Typed before closing\r\nstored line 1\r\nstored line 2");

    // Exit asks once, not a second time when the window then closes.
    w->show();
    act("actEDIT")->trigger();
    titleEdit()->setText("Thrown away");
    prompts().shown.clear();
    prompts().answers = {Prompts::Answer::No};
    act("actEXIT")->trigger();
    EXPECT_EQ(prompts().shown.size(), 1u);
    EXPECT_FALSE(w->isVisible());
    EXPECT_EQ(bytes("1049373240.txt"), "Typed before closing\r\nstored line 1\r\nstored line 2");
}

// Edit puts the caret where the text ends and selects nothing, so the first
// key typed replaces nothing.
TEST_F(Editing, EditPutsTheCaretAtTheEndOfTheTextAndSelectsNothing)
{
    readAndSelect();
    w->activateWindow();
    act("actEDIT")->trigger();
    QApplication::processEvents();
    EXPECT_EQ(QApplication::focusWidget(), editor());
    EXPECT_FALSE(titleEdit()->hasSelectedText());
    EXPECT_FALSE(editor()->textCursor().hasSelection());
    QTest::keyClicks(editor(), "!");
    EXPECT_EQ(editor()->toPlainText(), "stored line 1\nstored line 2!");
    EXPECT_EQ(titleEdit()->text(), "Stored title");
}

TEST_F(Editing, TabGoesTitleEditorDateTimeAndNeverToTheCloseButton)
{
    readAndSelect();
    w->activateWindow();
    act("actEDIT")->trigger();
    titleEdit()->setFocus();
    QApplication::processEvents();
    ASSERT_EQ(QApplication::focusWidget(), titleEdit());
    EXPECT_EQ(titleEdit()->nextInFocusChain(), editor());
    QTest::keyClick(titleEdit(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), editor());
    // The editor keeps Tab for typing; the chain goes on to the date and time.
    const auto nextStop = [](QWidget *from) {
        QWidget *next = from->nextInFocusChain();
        while (next != from && !((next->focusPolicy() & Qt::TabFocus) && next->isVisible()
                                 && next->isEnabled() && !next->focusProxy()))
            next = next->nextInFocusChain();
        return next;
    };
    QWidget *afterEditor = nextStop(editor());
    EXPECT_TRUE(afterEditor == dateField() || afterEditor->parentWidget() == dateField());
    EXPECT_EQ(nextStop(afterEditor), timeEdit());
    EXPECT_EQ(Qt::NoFocus, control(*w, "btnCLOSEPOST")->focusPolicy());
    // Tab then Space from the title never reaches the close button.
    titleEdit()->setFocus();
    titleEdit()->setText("typed");
    QTest::keyClick(titleEdit(), Qt::Key_Tab);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    EXPECT_TRUE(w->posts().isPostOpen());
    EXPECT_TRUE(prompts().shown.empty());
}

TEST_F(Editing, MoreInsertsTheSeparatorOnlyWhileEditing)
{
    readAndSelect();
    act("More1")->trigger();
    EXPECT_EQ(editor()->toPlainText(), "stored line 1\nstored line 2");

    act("actEDIT")->trigger();
    QTextCursor c = editor()->textCursor();
    c.setPosition(7);
    c.setPosition(12, QTextCursor::KeepAnchor); // "line " selected
    editor()->setTextCursor(c);
    act("More1")->trigger();
    EXPECT_EQ(editor()->toPlainText(), "stored <!--more-->1\nstored line 2");
}

// ---------------------------------------------------------------------------
// Saves that must not lose anything

TEST_F(Editing, NewPostOnATakenMinuteIsRefusedAndStaysOpen)
{
    readAndSelect();
    act("actNEW")->trigger();
    titleEdit()->setText("second");
    timeEdit()->setText("12:34");
    act("actSAVE")->trigger();
    ASSERT_EQ(prompts().errors().size(), 1);
    EXPECT_TRUE(prompts().errors()[0].contains("2003-04-03 12:34")) << prompts().errors()[0].toStdString();
    EXPECT_EQ(bytes("1049373240.txt"), kPost);
    EXPECT_TRUE(queuedFiles(*w).size() == 0);
    expectState(true);
    EXPECT_EQ(titleEdit()->text(), "second");

    // Corrected, it saves.
    timeEdit()->setText("12:36");
    act("actSAVE")->trigger();
    EXPECT_EQ(bytes("1049373360.txt"), "second\r\n");
    expectState(false);
}

TEST_F(Editing, EditedPostMovedOntoAnotherIsRefused)
{
    readAndSelect();
    act("actEDIT")->trigger();
    setDate(2003, 5, 1);
    timeEdit()->setText("00:00");
    act("actSAVE")->trigger();
    ASSERT_EQ(prompts().errors().size(), 1);
    EXPECT_TRUE(prompts().errors()[0].contains("2003-05-01 00:00"));
    EXPECT_EQ(bytes("1049373240.txt"), kPost);
    EXPECT_EQ(bytes("1051747200.txt"), "May\r\nmay text");
    expectState(true);
}

TEST_F(Editing, MovedPostWhoseNewFileCannotBeWrittenKeepsItsOldFile)
{
    readAndSelect();
    ASSERT_TRUE(QDir(data).mkdir("1049373300.txt"));
    act("actEDIT")->trigger();
    timeEdit()->setText("12:35");
    act("actSAVE")->trigger();
    EXPECT_EQ(prompts().errors(), QStringList({"Cannot create file " + postPath("1049373300.txt")}));
    EXPECT_EQ(bytes("1049373240.txt"), kPost);
    EXPECT_EQ(editor()->toPlainText(), "stored line 1\nstored line 2");
    expectState(true);
}

TEST_F(Editing, InvalidTimeOrDateOutOfRangeLeavesThePostEditable)
{
    readAndSelect();
    act("actNEW")->trigger();
    titleEdit()->setText("t");
    timeEdit()->setText("25:00");
    act("actSAVE")->trigger();
    EXPECT_EQ(prompts().errors(), QStringList({"'25:00' is not a valid time"}));
    expectState(true);

    timeEdit()->setText("10:00");
    setDate(2040, 1, 1);
    act("actSAVE")->trigger();
    ASSERT_EQ(prompts().errors().size(), 2);
    EXPECT_TRUE(prompts().errors()[1].contains("2040-01-01 10:00"));
    expectState(true);
    EXPECT_EQ(dataFiles(), QStringList({"1049373240.txt", "1051747200.txt"}));

    setDate(2003, 4, 3);
    act("actSAVE")->trigger();
    EXPECT_EQ(bytes("1049364000.txt"), "t\r\n");
    expectState(false);
}

TEST_F(Editing, ExitAnsweredYesWithARefusedSaveKeepsTheWindow)
{
    readAndSelect();
    act("actNEW")->trigger();
    timeEdit()->setText("12:34");
    prompts().answers.push_back(Prompts::Answer::Yes);
    act("actEXIT")->trigger();
    EXPECT_TRUE(w->isVisible());
    EXPECT_TRUE(w->posts().isPostOpen());
    EXPECT_EQ(bytes("1049373240.txt"), kPost);
}

// ---------------------------------------------------------------------------
// The text between file and editor

TEST_F(Editing, EveryByteSurvivesEditorAndTitleAndSave)
{
    std::string line;
    for (int b = 0; b < 256; ++b)
        if (b != '\r' && b != '\n')
            line += static_cast<char>(b);
    const std::string file = "T " + line + "\r\n" + line + "\r\n" + line + "\r\n";
    post("1049373240.txt", file);
    control<RadioGroup>(*w, "rgPARAGRAPH")->setItemIndex(2);
    act("actREAD")->trigger();
    click("1049373240.txt");
    act("actEDIT")->trigger();
    act("actSAVE")->trigger();
    EXPECT_TRUE(prompts().shown.empty());
    const std::string saved = bytes("1049373240.txt");
    ASSERT_EQ(saved.size(), file.size());
    for (std::size_t i = 0; i < file.size(); ++i)
        ASSERT_EQ(static_cast<unsigned char>(saved[i]), static_cast<unsigned char>(file[i])) << i;
}

TEST_F(Editing, CharactersOutsideTheCodePageAreSavedAsReferences)
{
    readAndSelect();
    act("actNEW")->trigger();
    titleEdit()->setText(QString::fromUtf8("smile \xF0\x9F\x98\x80"));
    editor()->setPlainText(QString::fromUtf8("\xE2\x82\xAC \xE4\xB8\xAD"));
    timeEdit()->setText("08:00");
    act("actSAVE")->trigger();
    EXPECT_EQ(bytes("1049356800.txt"), "smile &#x1F600;\r\n\x80 &#x4E2D;");
}

TEST_F(Editing, DateFieldCanBeEmptiedAndFilledAgainFromTheKeyboard)
{
    readAndSelect();
    PostDateEdit *d = dateField();
    // Read-only in browse: the keys change nothing.
    d->selectAll();
    QTest::keyClick(d, Qt::Key_Delete);
    EXPECT_EQ(d->date(), QDate(2003, 4, 3));

    act("actNEW")->trigger();
    d->setFocus();
    d->selectAll();
    QTest::keyClick(d, Qt::Key_Delete);
    EXPECT_TRUE(d->isEmpty());
    EXPECT_TRUE(d->text().trimmed().isEmpty());
    // A digit typed into the empty field starts from today (the clock).
    QTest::keyClick(d, Qt::Key_1);
    EXPECT_FALSE(d->isEmpty());
    EXPECT_EQ(d->date().year(), 2003);
    EXPECT_EQ(d->date().month(), 4);
}

// A date is typed whole as it is shown, however the field was entered.
TEST_F(Editing, DateFieldTakesAWholeTypedDate)
{
    readAndSelect();
    act("actEDIT")->trigger();
    PostDateEdit *d = dateField();
    d->setFocus();
    QLineEdit *text = d->findChild<QLineEdit *>();
    const auto typeFresh = [&](const QString &keys, bool selectAll = true) {
        setDate(2003, 4, 3);
        d->setFocus();
        if (selectAll)
            d->selectAll();
        else
            text->setCursorPosition(0);
        QTest::keyClicks(d, keys);
    };
    typeFresh("24.12.2026");
    EXPECT_EQ(d->date(), QDate(2026, 12, 24));
    EXPECT_EQ(text->text(), "24.12.2026");
    typeFresh("24122026"); // the separators come by themselves
    EXPECT_EQ(d->date(), QDate(2026, 12, 24));
    typeFresh("5.1.2027", false);
    EXPECT_EQ(d->date(), QDate(2027, 1, 5));
    // Stopping early keeps the parts not typed; a two-digit year is 20xx.
    typeFresh("9");
    EXPECT_EQ(d->date(), QDate(2003, 4, 3)); // not taken yet
    QTest::keyClick(d, Qt::Key_Tab);
    EXPECT_EQ(d->date(), QDate(2003, 4, 9));
    typeFresh("1.2.26");
    QTest::keyClick(d, Qt::Key_Return);
    EXPECT_EQ(d->date(), QDate(2026, 2, 1));
    // A date that does not exist is refused; Escape drops the typing;
    // Backspace takes back a digit.
    typeFresh("31.02.2026");
    EXPECT_EQ(d->date(), QDate(2003, 4, 3));
    EXPECT_EQ(text->text(), "03.04.2003");
    typeFresh("12.1");
    QTest::keyClick(d, Qt::Key_Escape);
    EXPECT_EQ(d->date(), QDate(2003, 4, 3));
    EXPECT_EQ(text->text(), "03.04.2003");
    typeFresh("12.11.20277");
    EXPECT_EQ(d->date(), QDate(2027, 11, 12)); // taken at four year digits
    typeFresh("28");
    QTest::keyClick(d, Qt::Key_Backspace);
    QTest::keyClick(d, Qt::Key_7);
    QTest::keyClick(d, Qt::Key_Enter);
    EXPECT_EQ(d->date(), QDate(2003, 4, 27));

    // The date typed is the one saved.
    typeFresh("24.12.2026");
    act("actSAVE")->trigger();
    EXPECT_EQ(bytes(QString::fromStdString(postFileName(secondsFromCivil(2026, 12, 24, 12, 34)))),
              kPost);
}

TEST_F(Editing, SaveAndCloseReturnToBrowsingWhenTheirReadOrPreviewFails)
{
    readAndSelect();
    // Close post: the selected post's file has gone meanwhile.
    act("actEDIT")->trigger();
    QFile::remove(postPath("1049373240.txt"));
    act("actCLOSEPOST")->trigger();
    EXPECT_EQ(prompts().errors(), QStringList({"Cannot open file " + postPath("1049373240.txt")}));
    expectState(false);

    // Save: the post is written, then Read stops at a file that is no post.
    post("notes.txt", "not a post");
    act("actNEW")->trigger();
    titleEdit()->setText("kept");
    act("actSAVE")->trigger();
    EXPECT_EQ(prompts().errors().last(), "'notes' is not a valid integer value");
    EXPECT_EQ(bytes("1049360700.txt"), "kept\r\n");
    expectState(false);
    EXPECT_NE(node("1049360700.txt"), nullptr);
}
