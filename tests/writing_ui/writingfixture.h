#pragma once
// A main window whose default project "blog" has a site (main folder,
// templates, archive folder) and one post, a fixed clock and scripted
// prompts; the user's cache folder (where the preview generates its site)
// is a temporary folder too.
#include "core/clock.h"
#include "core/openproject.h"
#include "posts/postfile.h"
#include "ui/mainwindow.h"
#include "ui/posteditor.h"
#include "ui/posts/postscontroller.h"
#include "ui/posts/posttree.h"
#include "windowfixture.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>
#include <gtest/gtest.h>

namespace tl::test {

class WritingWindow : public ::testing::Test {
protected:
    WindowFixture fx;
    QTemporaryDir cache;
    QByteArray savedCache;
    bool hadCache = false;
    MainWindow *w = nullptr;
    QString site, data;
    FixedClock fixedClock { dateTimeFromCivil(2026, 12, 3, 14, 5, 0) };
    // The post of 3 April 2003, 0:01.
    const QString kPost = QStringLiteral("1049328060.txt");

    void SetUp() override
    {
        setClock(&fixedClock);
        hadCache = qEnvironmentVariableIsSet("XDG_CACHE_HOME");
        savedCache = qgetenv("XDG_CACHE_HOME");
        qputenv("XDG_CACHE_HOME", QFile::encodeName(cache.path()));
        const QString prog = fx.programFolder();
        site = prog + "site";
        data = prog + "posts";
        ASSERT_TRUE(QDir().mkpath(site) && QDir().mkpath(data) && QDir().mkpath(prog + "conf"));
        writeBytes(data + "/" + kPost, "Sea\r\nWaves <b>high</b>.\r\n");
        const std::string templates = TL_TEST_DATA_DIR "/generator/fixture/templates/";
        writeBytes(projectFile(),
            "[TForm1]\r\npathMAIN_Text=" + site.toStdString()
                + "\r\npathDATA_Text=" + data.toStdString() + "\r\nfileTEMPLATE_Text=" + templates
                + "template.htm\r\narchiveTEMPLATE_Text=" + templates
                + "archtemp.htm\r\ndirPATHARCHIVES_Text=archiv/\r\n");
        writeBytes(prog + "tarvlit.ini", "[TForm1]\r\ncmbDEFPROJ_Text=blog\r\n");
        w = &fx.start();
        ASSERT_EQ(w->project().name(), "blog");
    }
    void TearDown() override
    {
        fx.stop();
        setClock(nullptr);
        if (hadCache)
            qputenv("XDG_CACHE_HOME", savedCache);
        else
            qunsetenv("XDG_CACHE_HOME");
    }

    ScriptedPrompts &prompts() { return fx.prompts(); }
    QString projectFile() const { return fx.programFolder() + "conf/blog.tvp"; }
    PostEditor *editor() const { return control<PostEditor>(*w, "memoOBSAH"); }
    QAction *act(const char *name) const { return action(*w, name); }

    // Shows a post as a click in the tree does.
    void click(const QString &name)
    {
        QTreeWidget *tree = control<QTreeWidget>(*w, "TreeView1");
        QTreeWidgetItem *n = findNode(tree, name);
        ASSERT_NE(n, nullptr) << name.toStdString();
        tree->setCurrentItem(n);
        emit tree->itemClicked(n, 0);
    }
    // Opens a post for editing, the caret at `caret`.
    void edit(const QString &name, int caret)
    {
        click(name);
        act("actEDIT")->trigger();
        ASSERT_TRUE(w->posts().isPostOpen());
        QTextCursor c = editor()->textCursor();
        c.setPosition(caret);
        editor()->setTextCursor(c);
    }
};

} // namespace tl::test
