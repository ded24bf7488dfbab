// What the post tree shows (months by name, posts by time and title) and the
// find box above it, on posts with Czech titles stored in windows-1250.
#include "postsfixture.h"

#include "core/cp1250.h"

#include <QTest>

using namespace tl;
using namespace tl::test;

namespace {

QString name(int y, int mo, int d, int h, int mi)
{
    return QString::fromStdString(postFileName(secondsFromCivil(y, mo, d, h, mi)));
}

class PostTree : public PostsWindow {
protected:
    const QString kon = name(2026, 12, 24, 14, 5);
    const QString ody = name(2026, 12, 3, 9, 30);
    const QString rericha = name(2026, 11, 30, 23, 59);
    const QString plain = name(2025, 1, 2, 8, 0);

    void SetUp() override
    {
        PostsWindow::SetUp();
        // The files hold windows-1250 bytes, as every post file does.
        post(kon, encodeCp1250(QStringLiteral("Příliš žluťoučký kůň\r\npěl ďábelské ódy")));
        post(ody, encodeCp1250(QStringLiteral("Úpěl ďábelské ódy\r\nNa <b>Štědrý</b> den.")));
        post(rericha, encodeCp1250(QStringLiteral("ŘEŘICHA v listopadu\r\n")));
        post(plain, "Plain title\r\nplain text");
        act("actREAD")->trigger();
    }

    void find(const QString &text)
    {
        findEdit()->setText(text);
        w->posts().applyFind();
    }
    // The identities of the post nodes shown, in tree order, as the writer
    // sees them opening every month shown.
    QStringList shownPosts() const
    {
        QStringList out;
        for (int i = 0; i < postTree()->topLevelItemCount(); ++i) {
            QTreeWidgetItem *m = postTree()->topLevelItem(i);
            if (m->isHidden())
                continue;
            const bool open = m->isExpanded();
            m->setExpanded(true);
            for (int j = 0; j < m->childCount(); ++j)
                if (!m->child(j)->isHidden())
                    out << nodeName(m->child(j));
            m->setExpanded(open);
        }
        return out;
    }
};

} // namespace

TEST_F(PostTree, MonthsShowNameAndCountPostsTimeAndTitleIdentityStaysTheFileName)
{
    // Collapsed after Read; titles come when a month is opened.
    EXPECT_EQ(tree(true), QStringList({"December 2026 (2)", "  14:05", "  09:30",
                                       "November 2026 (1)", "  23:59", "January 2025 (1)",
                                       "  08:00"}));
    postTree()->expandAll();
    EXPECT_EQ(tree(true),
              QStringList({"December 2026 (2)", QStringLiteral("  14:05  Příliš žluťoučký kůň"),
                           QStringLiteral("  09:30  Úpěl ďábelské ódy"), "November 2026 (1)",
                           QStringLiteral("  23:59  ŘEŘICHA v listopadu"), "January 2025 (1)",
                           "  08:00  Plain title"}));
    EXPECT_EQ(tree(), QStringList({"2026-12", "  " + kon, "  " + ody, "2026-11", "  " + rericha,
                                   "2025-01", "  " + plain}));
    EXPECT_EQ(node(kon)->toolTip(0), kon);
    EXPECT_EQ(node("2026-11")->toolTip(0), "2026-11");

    // Everything that works on nodes goes by the identity.
    click(ody);
    EXPECT_EQ(titleEdit()->text(), QStringLiteral("Úpěl ďábelské ódy"));
    act("actEDIT")->trigger();
    EXPECT_EQ(w->posts().openPostName(), ody);
    // A title saved in place shows in the tree at once.
    titleEdit()->setText(QStringLiteral("Ódy opravené"));
    act("actSAVE")->trigger();
    EXPECT_EQ(node(ody)->text(0), QStringLiteral("09:30  Ódy opravené"));
}

TEST_F(PostTree, FindShowsPostsWhoseTitleOrTextHoldsTheTextCaseAndAccentsAside)
{
    find(QStringLiteral("zlutoucky KUN"));
    EXPECT_EQ(shownPosts(), QStringList({kon}));
    EXPECT_TRUE(node("2026-12")->isExpanded());
    EXPECT_EQ(node("2026-12")->text(0), "December 2026 (1 of 2)");
    EXPECT_TRUE(node("2026-11")->isHidden());

    // The text counts as well as the title, accents typed or not.
    find(QStringLiteral("ďábelské"));
    EXPECT_EQ(shownPosts(), QStringList({kon, ody}));
    find(QStringLiteral("stedry"));
    EXPECT_EQ(shownPosts(), QStringList({ody}));
    find(QStringLiteral("řeřicha"));
    EXPECT_EQ(shownPosts(), QStringList({rericha}));
    find(QStringLiteral("nothing like this"));
    EXPECT_TRUE(shownPosts().isEmpty());

    // Emptied: everything again, the months closed as after Read.
    find(QString());
    EXPECT_EQ(shownPosts(), QStringList({kon, ody, rericha, plain}));
    EXPECT_FALSE(node("2026-12")->isExpanded());
    EXPECT_EQ(node("2026-12")->text(0), "December 2026 (2)");
}

// Matches in many months: the months stay closed, and a month's posts are
// sorted out when the writer opens it.
TEST_F(PostTree, FindOverManyMonthsOpensNoneAndFiltersAMonthWhenOpened)
{
    for (int m = 1; m <= 30; ++m) {
        const int year = 2020 + (m - 1) / 12, month = 1 + (m - 1) % 12;
        post(name(year, month, 10, 12, 0), "Match " + std::to_string(m) + "\r\nneedle");
        post(name(year, month, 11, 12, 0), "Other\r\nhay");
    }
    act("actREAD")->trigger();
    find(QStringLiteral("needle"));
    QTreeWidgetItem *month = node("2021-03");
    EXPECT_FALSE(month->isHidden());
    EXPECT_FALSE(month->isExpanded());
    EXPECT_EQ(month->text(0), "March 2021 (1 of 2)");
    EXPECT_TRUE(node("2026-12")->isHidden());
    month->setExpanded(true);
    EXPECT_TRUE(month->child(0)->isHidden()); // the 11th, "Other"
    EXPECT_FALSE(month->child(1)->isHidden());
    EXPECT_EQ(month->child(1)->text(0), "12:00  Match 15");
}

TEST_F(PostTree, FindKeepsNothingHiddenSelectedAndHoldsOverRead)
{
    postTree()->expandAll();
    click(plain);
    ASSERT_TRUE(act("actEDIT")->isEnabled());
    find(QStringLiteral("ody"));
    EXPECT_EQ(shownPosts(), QStringList({kon, ody}));
    // The selected post is hidden: neither Edit nor Delete may reach it.
    EXPECT_TRUE(postTree()->selectedItems().isEmpty());
    EXPECT_FALSE(act("actEDIT")->isEnabled());
    prompts().answers = {Prompts::Answer::Yes};
    act("actDEL")->trigger();
    EXPECT_TRUE(prompts().shown.empty());
    EXPECT_EQ(dataFiles().size(), 4);
    // The tree still holds every post (generation walks it), only hidden.
    EXPECT_EQ(tree().size(), 7);

    // Read (F5, or a Save) keeps the filter, and finds a post written since.
    post(name(2026, 12, 31, 10, 0), encodeCp1250(QStringLiteral("Nové ódy\r\n")));
    act("actREAD")->trigger();
    EXPECT_EQ(shownPosts(), QStringList({name(2026, 12, 31, 10, 0), kon, ody}));
}

TEST_F(PostTree, CtrlFGoesToTheFindBoxWhichTypingAndEscapeDrive)
{
    w->activateWindow();
    postTree()->setFocus();
    QTest::keyClick(w, Qt::Key_F, Qt::ControlModifier);
    ASSERT_EQ(QApplication::focusWidget(), findEdit());
    // Typing filters once it pauses.
    QTest::keyClicks(findEdit(), QStringLiteral("plain"));
    QTRY_COMPARE(shownPosts(), QStringList({plain}));
    QTest::keyClick(findEdit(), Qt::Key_Escape);
    EXPECT_TRUE(findEdit()->text().isEmpty());
    EXPECT_EQ(shownPosts().size(), 4);

    // While a post is open the tree and its find box are out of reach.
    act("actNEW")->trigger();
    EXPECT_FALSE(findEdit()->isEnabled());
    EXPECT_FALSE(act("actFIND")->isEnabled());
}

// A post deleted under a find: its month and the find's counts follow at
// once, and so does the post count of the status bar.
TEST_F(PostTree, ADeleteUpdatesTheCountsOfTheTreeTheFindAndTheStatusBar)
{
    find(QStringLiteral("ody"));
    ASSERT_EQ(node("2026-12")->text(0), "December 2026 (2 of 2)");
    ASSERT_EQ(postCountText(), "Count of notes: 4");
    click(ody);
    prompts().answers = {Prompts::Answer::Yes};
    act("actDEL")->trigger();
    ASSERT_TRUE(prompts().errors().isEmpty());
    EXPECT_EQ(shownPosts(), QStringList({kon}));
    EXPECT_EQ(node("2026-12")->text(0), "December 2026 (1 of 1)");
    EXPECT_EQ(postCountText(), "Count of notes: 3");
    find(QStringLiteral("zlutoucky"));
    EXPECT_EQ(node("2026-12")->text(0), "December 2026 (1 of 1)");
    find(QString());
    EXPECT_EQ(node("2026-12")->text(0), "December 2026 (1)");
}
