#include "projectsfixture.h"

#include <QAction>
#include <QMenu>
#include <QToolBar>
#include <QToolButton>

using namespace tl;
using namespace tl::test;

namespace {

// The eleven replaceable captions, in the file's order.
QStringList captions(MainWindow &w)
{
    QStringList out;
    for (const char *name : {"Blog1", "actREAD", "actGENERATE", "actNEW", "actEDIT", "actSAVE",
                             "actEXIT", "Tags1", "More1", "Help1", "About1"}) {
        if (auto *menu = w.findChild<QMenu *>(name))
            out << menu->title();
        else
            out << action(w, name)->text();
    }
    return out;
}

// The toolbar button bound to the Read command shows the caption without
// its accelerator mark.
QString readButtonText(MainWindow &w)
{
    auto *b = qobject_cast<QToolButton *>(
        control<QToolBar>(w, "ToolBar1")->widgetForAction(action(w, "actREAD")));
    return b ? b->text() : QStringLiteral("<no button>");
}

const QStringList kDesigned{"&Blog", "&Read", "&Generate", "&New",  "&Edit",    "&Save",
                            "&Exit", "&Tags", "More",      "&Help", "&About..."};

class InterfaceTexts : public ProjectsFixture {
protected:
    void withLng(const std::string &bytes)
    {
        writeBytes(folder() + "czech.lng", bytes);
        start(false);
    }
};

} // namespace

TEST_F(InterfaceTexts, NoFileKeepsTheDesignedCaptions)
{
    start(false);
    EXPECT_EQ(captions(w()), kDesigned);
    EXPECT_EQ(readButtonText(w()), "Read");
}

TEST_F(InterfaceTexts, EmptyFileChangesExactlyMoreAndAbout)
{
    withLng("");
    QStringList expected = kDesigned;
    expected[8] = "&More";
    expected[10] = "&About";
    EXPECT_EQ(captions(w()), expected);
}

TEST_F(InterfaceTexts, ReadCaptionRenamesMenuEntryAndToolbarButton)
{
    withLng("[form1]\r\nactREAD=&Na\xe8\xedst\r\n"); // windows-1250 "Načíst"
    const QStringList c = captions(w());
    EXPECT_EQ(c[1], QString::fromUtf8("&Na\xc4\x8d\xc3\xadst"));
    EXPECT_EQ(readButtonText(w()), QString::fromUtf8("Na\xc4\x8d\xc3\xadst"));
    EXPECT_TRUE(control<QMenu>(w(), "Blog1")->actions().contains(action(w(), "actREAD")));
}

TEST_F(InterfaceTexts, SectionAndKeyNamesIgnoreCaseValuesAreTrimmedAndUnquoted)
{
    // windows-1250 "Deník" and "Nápověda"
    withLng("[FORM1]\r\nblog1 =  &Den\xedk  \r\nHELP1=\"&N\xe1pov\xec" "da\"\r\nactEXIT=\r\n");
    const QStringList c = captions(w());
    EXPECT_EQ(c[0], QString::fromUtf8("&Den\xc3\xadk"));
    EXPECT_EQ(c[9], QString::fromUtf8("&N\xc3\xa1pov\xc4\x9b" "da"));
    EXPECT_EQ(c[6], ""); // an empty value gives an empty caption
}

TEST_F(InterfaceTexts, OtherSectionsAndUnknownKeysAreIgnored)
{
    withLng("[other]\r\nactREAD=Wrong\r\nBlog1=Wrong\r\n"
            "[form1]\r\nactSETUP=Ignored\r\nSetup1=Ignored\r\nactDEL=Ignored\r\n");
    QStringList expected = kDesigned;
    expected[8] = "&More";
    expected[10] = "&About";
    EXPECT_EQ(captions(w()), expected);
    EXPECT_EQ(action(w(), "Setup1")->text(), "&Setup...");
    EXPECT_TRUE(action(w(), "actDEL")->text().isEmpty());
}
