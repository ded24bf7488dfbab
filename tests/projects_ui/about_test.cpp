#include "projectsfixture.h"

#include "core/programfiles.h"
#include "ui/aboutbox.h"

#include <QAction>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>

using namespace tl;
using namespace tl::test;

namespace {

// A program file holding a version block. The markers are put together at
// run time so that this test program's own bytes hold no second block.
std::string versionBlock(const std::string &fileVersion, const std::string &productVersion)
{
    const std::string open = std::string("\x01TLVERSION") + "INFO\x01";
    const std::string close = std::string("\x01TLVERSION") + "END\x01";
    return "\x7f" "ELF...code..." + open + "FileVersion=" + fileVersion + "\x01"
           + "ProductVersion=" + productVersion + "\x01" + close + "...more code";
}

struct AboutHook {
    explicit AboutHook(AboutBox::ShowHook h) { AboutBox::setShowHook(std::move(h)); }
    ~AboutHook() { AboutBox::setShowHook({}); }
};

} // namespace

TEST(AboutBox, FileWithoutVersionInformationShowsEmptyVersionAndBuildButADate)
{
    QTemporaryDir dir;
    const QString file = dir.path() + "/plain-program";
    writeBytes(file, "no version block here");
    AboutBox box(nullptr, file.toStdString());
    EXPECT_TRUE(control<QLabel>(box, "Version")->text().isEmpty());
    EXPECT_TRUE(control<QLabel>(box, "Build")->text().isEmpty());
    EXPECT_FALSE(control<QLabel>(box, "Compiled")->text().isEmpty());
    EXPECT_EQ(control<QLabel>(box, "Compiled")->text().toStdString(), FileDateText(file.toStdString()));
}

TEST(AboutBox, ProductVersionStringIsShownAsWritten)
{
    QTemporaryDir dir;
    const QString file = dir.path() + "/program";
    writeBytes(file, versionBlock("2.1.0.12", "2.1 beta"));
    AboutBox box(nullptr, file.toStdString());
    EXPECT_EQ(control<QLabel>(box, "Version")->text(), "2.1 beta");
    EXPECT_EQ(control<QLabel>(box, "Build")->text(), "2.1.0.12");
    EXPECT_EQ(control<QLabel>(box, "ProductName")->text(), "Tarvel Lite");
    EXPECT_TRUE(control<QLabel>(box, "ProductName")->font().bold());
}

TEST(AboutBox, IsAFixedSizeDialogCentredOnTheScreen)
{
    AboutBox box;
    box.show();
    QApplication::processEvents();
    EXPECT_EQ(box.windowTitle(), "About");
    EXPECT_EQ(box.minimumSize(), box.maximumSize());
    EXPECT_TRUE(control<QPushButton>(box, "OKButton")->isDefault());
    EXPECT_EQ(control<QLabel>(box, "ProgramIcon")->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_FALSE(control<QLabel>(box, "ProgramIcon")->pixmap().isNull());
    const QPoint centre = box.screen()->availableGeometry().center();
    EXPECT_LE((box.frameGeometry().center() - centre).manhattanLength(), 2);
    // The program's own file: its version block was compiled in.
    EXPECT_EQ(control<QLabel>(box, "Build")->text().toStdString(), FileVersionText(ProgramFilePath()));
    EXPECT_FALSE(control<QLabel>(box, "Build")->text().isEmpty());
    control<QPushButton>(box, "OKButton")->click();
    EXPECT_FALSE(box.isVisible());
}

TEST(AboutBox, CreditsScrollOnePixelPerTickAndStartAgainFromTheBottom)
{
    AboutBox box;
    box.show();
    QApplication::processEvents();
    CreditsPanel *c = control<CreditsPanel>(box, "pnlCREDITS");
    ASSERT_FALSE(c->isVisible());
    QTest::mouseClick(control<QLabel>(box, "ProgramIcon"), Qt::LeftButton);
    ASSERT_TRUE(c->isVisible());
    EXPECT_TRUE(c->running());
    EXPECT_EQ(c->geometry(), box.rect()); // covers the whole dialog
    EXPECT_TRUE(c->lines().contains("Thanx for support."));
    EXPECT_TRUE(c->lines().contains("Tarvel Lite"));

    const int bottom = c->textArea().height();
    ASSERT_GT(bottom, 0);
    EXPECT_EQ(c->scrollOffset(), bottom);
    c->tick();
    EXPECT_EQ(c->scrollOffset(), bottom - 1);
    // The whole text passes the top of the area, then it starts again.
    const int ticksToPass = bottom + c->textHeight();
    for (int i = 1; i < ticksToPass - 1; ++i)
        c->tick();
    EXPECT_EQ(c->scrollOffset(), -c->textHeight() + 1);
    c->tick();
    EXPECT_EQ(c->scrollOffset(), bottom);

    // The timer moves it by itself (a tick every 30 ms).
    QElapsedTimer t;
    t.start();
    while (c->scrollOffset() > bottom - 3 && t.elapsed() < 5000)
        QTest::qWait(10);
    EXPECT_LE(c->scrollOffset(), bottom - 3);

    // A click on the panel stops and hides it.
    QTest::mouseClick(c, Qt::LeftButton);
    EXPECT_FALSE(c->isVisible());
    EXPECT_FALSE(c->running());
    EXPECT_TRUE(box.isVisible());
}

using AboutFromMenu = ProjectsFixture;

TEST_F(AboutFromMenu, OpeningTwiceShowsFreshValuesWithTheCreditsHidden)
{
    start();
    int shown = 0;
    bool creditsHiddenAtOpen[2] = {false, false};
    bool creditsHiddenAfterClose = false;
    QString builds[2];
    AboutHook hook([&](AboutBox &box) {
        box.show();
        creditsHiddenAtOpen[shown] = !control<CreditsPanel>(box, "pnlCREDITS")->isVisible();
        builds[shown] = control<QLabel>(box, "Build")->text();
        if (shown == 0) {
            QTest::mouseClick(control<QLabel>(box, "ProgramIcon"), Qt::LeftButton);
            EXPECT_TRUE(control<CreditsPanel>(box, "pnlCREDITS")->running());
            box.close(); // closing stops and hides the credits
            creditsHiddenAfterClose = !control<CreditsPanel>(box, "pnlCREDITS")->isVisible() && !control<CreditsPanel>(box, "pnlCREDITS")->running();
        } else {
            control<QPushButton>(box, "OKButton")->click();
        }
        ++shown;
        return box.result();
    });
    action(w(), "About1")->trigger();
    action(w(), "About1")->trigger();
    ASSERT_EQ(shown, 2);
    EXPECT_TRUE(creditsHiddenAtOpen[0]);
    EXPECT_TRUE(creditsHiddenAfterClose);
    EXPECT_TRUE(creditsHiddenAtOpen[1]);
    EXPECT_EQ(builds[1], builds[0]);
    EXPECT_FALSE(builds[1].isEmpty());
}
