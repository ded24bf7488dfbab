#pragma once
// A main window with an open project whose data folder is a temporary folder,
// a fixed clock and scripted prompts.
#include "core/clock.h"
#include "core/openproject.h"
#include "ui/mainwindow.h"
#include "ui/widgets.h"
#include "posts/postfile.h"
#include "ui/posts/postdateedit.h"
#include "ui/posts/postscontroller.h"
#include "ui/posts/posttree.h"
#include "windowfixture.h"

#include <QAction>
#include <QApplication>
#include <QDateEdit>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTreeWidget>
#include <gtest/gtest.h>

namespace tl::test {

class PostsWindow : public ::testing::Test {
protected:
    WindowFixture fx;
    MainWindow *w = nullptr;
    QString data;
    FixedClock fixedClock{dateTimeFromCivil(2003, 4, 3, 9, 5, 30)};

    // The project "blog", opened at start-up as the default project, keeps
    // its posts in "posts"; the log and the prompts start empty.
    void SetUp() override
    {
        setClock(&fixedClock);
        data = fx.programFolder() + "posts";
        ASSERT_TRUE(QDir().mkpath(data));
        ASSERT_TRUE(QDir().mkpath(fx.programFolder() + "conf"));
        writeBytes(fx.programFolder() + "conf/blog.tvp",
                   "[TForm1]\r\npathDATA_Text=" + data.toStdString() + "\r\n");
        writeBytes(fx.programFolder() + "tarvlit.ini", "[TForm1]\r\ncmbDEFPROJ_Text=blog\r\n");
        w = &fx.start();
        ASSERT_EQ(w->project().name(), "blog");
        logView()->clear();
        prompts().shown.clear();
    }
    void TearDown() override
    {
        fx.stop();
        setClock(nullptr);
    }

    ScriptedPrompts &prompts() { return fx.prompts(); }
    QString postPath(const QString &name) const { return data + "/" + name; }
    void post(const QString &name, const std::string &bytes) { writeBytes(postPath(name), bytes); }
    std::string bytes(const QString &name) const { return fileBytes(postPath(name)); }
    QStringList dataFiles() const
    {
        return QDir(data).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }

    // The window's controls, by their object names.
    QTreeWidget *postTree() const { return control<QTreeWidget>(*w, "TreeView1"); }
    QLineEdit *titleEdit() const { return control<QLineEdit>(*w, "edtNADPIS"); }
    QPlainTextEdit *editor() const { return control<QPlainTextEdit>(*w, "memoOBSAH"); }
    QLineEdit *timeEdit() const { return control<QLineEdit>(*w, "timeedit1"); }
    PostDateEdit *dateField() const { return control<PostDateEdit>(*w, "DateEdit1"); }
    QLineEdit *findEdit() const { return control<QLineEdit>(*w, "edtFIND"); }
    QPlainTextEdit *logView() const { return control<QPlainTextEdit>(*w, "Memo2"); }
    QTabWidget *tabs() const { return control<QTabWidget>(*w, "PageControl1"); }
    QWidget *tab(const char *name) const { return control(*w, name); }
    QAction *act(const char *name) const { return action(*w, name); }
    QString postCountText() const { return control<QLabel>(*w, "lblPOSTCOUNT")->text(); }

    // What the last Read found: the post list and the month list.
    QStringList postList() const
    {
        QStringList out;
        for (const std::string &e : w->posts().lastRead().postList)
            out << QString::fromStdString(e);
        return out;
    }
    QStringList monthList() const
    {
        QStringList out;
        for (const MonthGroup &m : w->posts().lastRead().walk.months)
            out << QString::fromStdString(m.key);
        return out;
    }

    // The tree as lines of node identities: month keys, then their post
    // file names indented by two blanks (shown=true: as displayed instead).
    // Months not opened yet get their post nodes made to be listed.
    QStringList tree(bool shown = false) const
    {
        const auto line = [shown](QTreeWidgetItem *n) { return shown ? n->text(0) : nodeName(n); };
        QStringList out;
        for (int i = 0; i < postTree()->topLevelItemCount(); ++i) {
            QTreeWidgetItem *m = postTree()->topLevelItem(i);
            fillMonthPosts(m);
            out << line(m);
            for (int j = 0; j < m->childCount(); ++j)
                out << "  " + line(m->child(j));
        }
        return out;
    }
    // The node whose identity (month key or post file name) is `name`.
    QTreeWidgetItem *node(const QString &name) const { return findNode(postTree(), name); }
    // Selects a node and clicks it (the preview runs).
    void click(const QString &text)
    {
        QTreeWidgetItem *n = node(text);
        ASSERT_NE(n, nullptr) << text.toStdString();
        postTree()->setCurrentItem(n);
        emit postTree()->itemClicked(n, 0);
    }
    QStringList logLines() const { return logView()->toPlainText().split('\n', Qt::SkipEmptyParts); }
    bool tabShown(QWidget *tab) const { return tabs()->isTabVisible(tabs()->indexOf(tab)); }
    void setDate(int y, int m, int d) { dateField()->setDate(QDate(y, m, d)); }

    // Every element of the browse or the editing state.
    void expectState(bool editing)
    {
        SCOPED_TRACE(editing ? "editing state" : "browse state");
        EXPECT_EQ(w->posts().isPostOpen(), editing);
        EXPECT_EQ(titleEdit()->isReadOnly(), !editing);
        EXPECT_EQ(dateField()->isReadOnly(), !editing);
        EXPECT_EQ(timeEdit()->isReadOnly(), !editing);
        EXPECT_EQ(editor()->isReadOnly(), !editing);
        const QColor look = QApplication::palette().color(editing ? QPalette::Base : QPalette::Window);
        for (QWidget *f : {static_cast<QWidget *>(titleEdit()), static_cast<QWidget *>(dateField()),
                           static_cast<QWidget *>(timeEdit()), static_cast<QWidget *>(editor())})
            EXPECT_EQ(f->palette().color(QPalette::Base), look) << f->objectName().toStdString();
        EXPECT_EQ(act("actCLOSEPOST")->isEnabled(), editing);
        EXPECT_EQ(postTree()->isEnabled(), !editing);
        EXPECT_EQ(tabShown(tab("tabOPTIONS")), !editing);
        EXPECT_EQ(tabShown(tab("tabCONTENT")), !editing);
        EXPECT_EQ(tabShown(tab("tabFTP")), !editing);
        EXPECT_TRUE(tabShown(tab("tabBLOG")));
        EXPECT_EQ(act("actREAD")->isEnabled(), !editing);
        EXPECT_EQ(act("actNEW")->isEnabled(), !editing);
        EXPECT_EQ(act("actSAVE")->isEnabled(), editing);
        if (editing) {
            EXPECT_FALSE(act("actEDIT")->isEnabled());
            EXPECT_FALSE(act("actGENERATE")->isEnabled());
        }
        EXPECT_EQ(act("actDEL")->isEnabled(), !editing);
        EXPECT_TRUE(act("actREADFROMFTP")->isEnabled());
        EXPECT_TRUE(act("actEXIT")->isEnabled());
    }
};

} // namespace tl::test
