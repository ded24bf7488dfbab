#pragma once
// A main window with an open project whose data folder is a temporary folder,
// a fixed clock and scripted prompts.
#include "app/core/clock.h"
#include "app/ui/mainwindow.h"
#include "app/ui/posteditor.h"
#include "app/ui/widgets.h"
#include "posts/postfile.h"
#include "posts/ui/postdateedit.h"
#include "posts/ui/postsstate.h"
#include "posts/ui/posttree.h"
#include "windowfixture.h"

#include <QAction>
#include <QApplication>
#include <QDateEdit>
#include <QDir>
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

    void SetUp() override
    {
        setClock(&fixedClock);
        w = &fx.start();
        data = fx.programFolder() + "posts";
        ASSERT_TRUE(QDir().mkpath(data));
        w->pathDATA->setText(data);
        w->currentProjectName = QStringLiteral("blog");
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

    // The tree as lines of node identities: month keys, then their post
    // file names indented by two blanks (shown=true: as displayed instead).
    QStringList tree(bool shown = false) const
    {
        const auto line = [shown](QTreeWidgetItem *n) { return shown ? n->text(0) : nodeName(n); };
        QStringList out;
        for (int i = 0; i < w->TreeView1->topLevelItemCount(); ++i) {
            QTreeWidgetItem *m = w->TreeView1->topLevelItem(i);
            out << line(m);
            for (int j = 0; j < m->childCount(); ++j)
                out << "  " + line(m->child(j));
        }
        return out;
    }
    // The node whose identity (month key or post file name) is `name`.
    QTreeWidgetItem *node(const QString &name) const { return findNode(w->TreeView1, name); }
    // Selects a node and clicks it (the preview runs).
    void click(const QString &text)
    {
        QTreeWidgetItem *n = node(text);
        ASSERT_NE(n, nullptr) << text.toStdString();
        w->TreeView1->setCurrentItem(n);
        emit w->TreeView1->itemClicked(n, 0);
    }
    QStringList logLines() const { return w->Memo2->toPlainText().split('\n', Qt::SkipEmptyParts); }
    PostDateEdit *dateField() const { return qobject_cast<PostDateEdit *>(w->DateEdit1); }
    bool tabShown(QWidget *tab) const
    {
        return w->PageControl1->isTabVisible(w->PageControl1->indexOf(tab));
    }
    void setDate(int y, int m, int d) { w->DateEdit1->setDate(QDate(y, m, d)); }

    // Every element of the browse or the editing state.
    void expectState(bool editing)
    {
        SCOPED_TRACE(editing ? "editing state" : "browse state");
        EXPECT_EQ(w->postOpen, editing);
        EXPECT_EQ(w->edtNADPIS->isReadOnly(), !editing);
        EXPECT_EQ(w->DateEdit1->isReadOnly(), !editing);
        EXPECT_EQ(w->timeedit1->isReadOnly(), !editing);
        EXPECT_EQ(w->memoOBSAH->isReadOnly(), !editing);
        const QColor look = QApplication::palette().color(editing ? QPalette::Base : QPalette::Window);
        for (QWidget *f : {static_cast<QWidget *>(w->edtNADPIS), static_cast<QWidget *>(w->DateEdit1),
                           static_cast<QWidget *>(w->timeedit1), static_cast<QWidget *>(w->memoOBSAH)})
            EXPECT_EQ(f->palette().color(QPalette::Base), look) << f->objectName().toStdString();
        EXPECT_EQ(w->actCLOSEPOST->isEnabled(), editing);
        EXPECT_EQ(w->TreeView1->isEnabled(), !editing);
        EXPECT_EQ(tabShown(w->tabOPTIONS), !editing);
        EXPECT_EQ(tabShown(w->tabCONTENT), !editing);
        EXPECT_EQ(tabShown(w->tabFTP), !editing);
        EXPECT_TRUE(tabShown(w->tabBLOG));
        EXPECT_EQ(w->actREAD->isEnabled(), !editing);
        EXPECT_EQ(w->actNEW->isEnabled(), !editing);
        EXPECT_EQ(w->actSAVE->isEnabled(), editing);
        if (editing) {
            EXPECT_FALSE(w->actEDIT->isEnabled());
            EXPECT_FALSE(w->actGENERATE->isEnabled());
        }
        EXPECT_EQ(w->actDEL->isEnabled(), !editing);
        EXPECT_TRUE(w->actREADFROMFTP->isEnabled());
        EXPECT_TRUE(w->actEXIT->isEnabled());
    }
};

} // namespace tl::test
