// Read, the post tree and the preview.
#include "postsfixture.h"

#include "ui/widgets.h"

#include <QLabel>
#include <QSignalSpy>
#include <QStatusTipEvent>
#include <QTest>

using namespace tl;
using namespace tl::test;

namespace {
const std::string kPostA = "First title\r\nline one<br />\r\nline two";
} // namespace

TEST_F(PostsWindow, ReadWithoutAProjectOnlyTellsSo)
{
    post("1049328060.txt", kPostA);
    w->project().close();
    act("actREAD")->trigger();
    ASSERT_EQ(prompts().shown.size(), 1u);
    EXPECT_EQ(prompts().shown[0].kind, "message");
    // Both lines are in the box itself, not one of them in its title.
    EXPECT_EQ(prompts().shown[0].text, "Project was not selected.\nPlease select project on tab OPTIONS.");
    EXPECT_TRUE(logLines().isEmpty());
    EXPECT_TRUE(tree().isEmpty());
}

TEST_F(PostsWindow, ReadBuildsTreeListsAndCountNewestFirst)
{
    post("1049328060.txt", kPostA);
    post("1049414400.txt", "b\r\n");
    post("1051747200.txt", "c\r\n");
    act("actEDIT")->setEnabled(true);
    act("actREAD")->trigger();

    EXPECT_TRUE(prompts().shown.empty());
    EXPECT_EQ(logLines(), QStringList({"Read from list...", "Completed."}));
    EXPECT_EQ(postCountText(), "Count of notes: 3");
    // A menu's hint passing over the status bar leaves the count in place.
    QStatusTipEvent hint{QString()};
    QApplication::sendEvent(w, &hint);
    EXPECT_EQ(postCountText(), "Count of notes: 3");
    EXPECT_TRUE(control(*w, "lblPOSTCOUNT")->isVisible());
    EXPECT_EQ(tree(), QStringList({"2003-05", "  1051747200.txt", "2003-04", "  1049414400.txt",
                                   "  1049328060.txt"}));
    EXPECT_EQ(monthList(), QStringList({"2003-05", "2003-04"}));
    EXPECT_EQ(postList(), QStringList({"______1049328060.txt", "______1049414400.txt",
                                                 "______1051747200.txt"}));
    for (int i = 0; i < postTree()->topLevelItemCount(); ++i)
        EXPECT_FALSE(postTree()->topLevelItem(i)->isExpanded());
    EXPECT_TRUE(act("actGENERATE")->isEnabled());
    EXPECT_FALSE(act("actEDIT")->isEnabled());

    // F5 reads again: nothing doubles.
    act("actREAD")->trigger();
    EXPECT_EQ(tree().size(), 5);
    EXPECT_EQ(postList().size(), 3);
}

TEST_F(PostsWindow, TenDigitNamesAreNewerThanNineDigitNames)
{
    post("999999999.txt", "a\r\n");
    post("1000000000.txt", "b\r\n");
    act("actREAD")->trigger();
    EXPECT_EQ(tree(), QStringList({"2001-09", "  1000000000.txt", "  999999999.txt"}));
    EXPECT_EQ(postList().first(), "_______999999999.txt");
}

TEST_F(PostsWindow, EmptyFolderGivesEmptyTreeAndNoGenerate)
{
    act("actGENERATE")->setEnabled(true);
    act("actREAD")->trigger();
    EXPECT_EQ(logLines(), QStringList({"Read from list...", "Completed."}));
    EXPECT_EQ(postCountText(), "Count of notes: 0");
    EXPECT_TRUE(tree().isEmpty());
    EXPECT_FALSE(act("actGENERATE")->isEnabled());
}

TEST_F(PostsWindow, MissingFolderStopsReadAndKeepsWhatWasThere)
{
    post("1049328060.txt", kPostA);
    act("actREAD")->trigger();
    const QStringList before = tree();
    const QStringList list = postList();

    const QString missing = data + "/gone";
    setFieldText(*w, "pathDATA", missing);
    act("actREAD")->trigger();
    EXPECT_EQ(prompts().errors(), QStringList({"Cannot open folder " + missing}));
    EXPECT_EQ(logLines().last(), "Read from list...");
    EXPECT_EQ(postCountText(), "Count of notes: 1");
    EXPECT_EQ(tree(), before);
    EXPECT_EQ(postList(), list);
    EXPECT_EQ(monthList(), QStringList({"2003-04"}));
}

TEST_F(PostsWindow, NonPostNameStopsReadWithEveryPostAlreadyInTheTree)
{
    post("1049328060.txt", kPostA);
    post("1051747200.txt", "c\r\n");
    post("notes.txt", "not a post");
    // The two buttons keep whatever state they had.
    act("actGENERATE")->setEnabled(false);
    act("actEDIT")->setEnabled(true);
    act("actREAD")->trigger();
    EXPECT_EQ(prompts().errors(), QStringList({"'notes' is not a valid integer value"}));
    EXPECT_EQ(postCountText(), "Count of notes: 3");
    EXPECT_EQ(tree(), QStringList({"2003-05", "  1051747200.txt", "2003-04", "  1049328060.txt"}));
    EXPECT_EQ(postList().size(), 3);
    EXPECT_EQ(monthList(), QStringList({"2003-05", "2003-04"}));
    EXPECT_FALSE(act("actGENERATE")->isEnabled());
    EXPECT_TRUE(act("actEDIT")->isEnabled());
}

TEST_F(PostsWindow, ClickOnPostShowsItReadOnlyAndClickOnMonthKeepsIt)
{
    post("1049328060.txt", kPostA);
    post("1051747200.txt", "Other\r\nx");
    act("actREAD")->trigger();

    click("1049328060.txt");
    EXPECT_TRUE(prompts().shown.empty());
    EXPECT_EQ(dateField()->date(), QDate(2003, 4, 3));
    EXPECT_EQ(timeEdit()->text(), "00:01");
    EXPECT_EQ(titleEdit()->text(), "First title");
    EXPECT_EQ(editor()->toPlainText(), "line one\nline two");
    EXPECT_EQ(editor()->textCursor().position(), 0);
    EXPECT_TRUE(act("actEDIT")->isEnabled());
    expectState(false);

    click("2003-05");
    EXPECT_FALSE(act("actEDIT")->isEnabled());
    EXPECT_EQ(titleEdit()->text(), "First title");
    EXPECT_EQ(timeEdit()->text(), "00:01");
}

TEST_F(PostsWindow, LineBreakTagsAreHiddenOnlyInTheTwoParagraphModes)
{
    post("1049328060.txt", "A<br /> title\r\none<br />two<BR />");
    act("actREAD")->trigger();
    const struct {
        int mode;
        const char *title, *body;
    } cases[] = {
        {0, "A title", "onetwo<BR />"},
        {1, "A title", "onetwo<BR />"},
        {2, "A<br /> title", "one<br />two<BR />"},
    };
    for (const auto &c : cases) {
        control<RadioGroup>(*w, "rgPARAGRAPH")->setItemIndex(c.mode);
        click("1049328060.txt");
        EXPECT_EQ(titleEdit()->text(), c.title) << c.mode;
        EXPECT_EQ(editor()->toPlainText(), c.body) << c.mode;
    }
}

TEST_F(PostsWindow, ReleasingUpOrDownPreviewsOtherKeysDoNot)
{
    post("1049328060.txt", "Oldest\r\n");
    post("1049414400.txt", "Middle\r\n");
    post("1049500800.txt", "Newest\r\n");
    act("actREAD")->trigger();
    postTree()->expandAll();
    postTree()->setFocus();
    click("1049500800.txt");
    ASSERT_EQ(titleEdit()->text(), "Newest");

    QTest::keyClick(postTree(), Qt::Key_Down);
    EXPECT_EQ(postTree()->currentItem()->data(0, kNodeNameRole).toString(), "1049414400.txt");
    EXPECT_EQ(titleEdit()->text(), "Middle");

    QTest::keyClick(postTree(), Qt::Key_PageDown);
    EXPECT_EQ(postTree()->currentItem()->data(0, kNodeNameRole).toString(), "1049328060.txt");
    EXPECT_EQ(titleEdit()->text(), "Middle");

    QTest::keyClick(postTree(), Qt::Key_Up);
    EXPECT_EQ(titleEdit()->text(), "Middle");
    QTest::keyClick(postTree(), Qt::Key_Down);
    EXPECT_EQ(titleEdit()->text(), "Oldest");
}

TEST_F(PostsWindow, PostFileThatCannotBeOpenedLeavesTitleAndText)
{
    post("1049328060.txt", kPostA);
    post("1051747200.txt", "c\r\n");
    act("actREAD")->trigger();
    click("1049328060.txt");
    QFile::remove(postPath("1051747200.txt"));
    click("1051747200.txt");
    EXPECT_EQ(prompts().errors(), QStringList({"Cannot open file " + postPath("1051747200.txt")}));
    EXPECT_EQ(dateField()->date(), QDate(2003, 5, 1));
    EXPECT_EQ(timeEdit()->text(), "00:00");
    EXPECT_EQ(titleEdit()->text(), "First title");
    EXPECT_EQ(editor()->toPlainText(), "line one\nline two");
    EXPECT_TRUE(act("actEDIT")->isEnabled());
}

TEST_F(PostsWindow, DoubleClickOnPostEditsItOnMonthDoesNothing)
{
    post("1049328060.txt", kPostA);
    act("actREAD")->trigger();
    postTree()->expandAll();
    QApplication::processEvents();

    QTreeWidgetItem *month = node("2003-04");
    const QPoint monthAt = postTree()->visualItemRect(month).center();
    QTest::mouseDClick(postTree()->viewport(), Qt::LeftButton, {}, monthAt);
    EXPECT_FALSE(w->posts().isPostOpen());

    QTreeWidgetItem *p = node("1049328060.txt");
    const QPoint at = postTree()->visualItemRect(p).center();
    QTest::mouseClick(postTree()->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(postTree()->viewport(), Qt::LeftButton, {}, at);
    EXPECT_TRUE(w->posts().isPostOpen());
    EXPECT_EQ(w->posts().openPostName(), "1049328060.txt");
    expectState(true);
}
