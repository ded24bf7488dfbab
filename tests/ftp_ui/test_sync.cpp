// Keeping the server and the disk honest from the window: what a send
// removes, what Check the server finds, and what Save to local keeps.
#include "ftpuifixture.h"

#include "ui/prompts.h"
#include "ui/publish/sendqueuemodel.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QTabWidget>

using namespace tl;
using namespace tl::test;

namespace {

// The removals the queue list shows: their remote names and their text.
struct Removals {
    QStringList names;
    QStringList texts;
};

Removals removalsShown(MainWindow &w)
{
    Removals out;
    const QAbstractItemModel *model = control<QListView>(w, "lstFILESFTP")->model();
    for (int row = 0; row < model->rowCount(); ++row) {
        const QModelIndex i = model->index(row, 0);
        const QString name = i.data(SendQueueModel::RemovalRole).toString();
        if (name.isEmpty())
            continue;
        out.names << name;
        out.texts << i.data().toString();
        // Set apart from the files to send.
        EXPECT_TRUE(i.data(Qt::ForegroundRole).isValid()) << name.toStdString();
    }
    out.names.sort();
    out.texts.sort();
    return out;
}

QString queueCount(MainWindow &w) { return control<QLabel>(w, "lblQUEUECOUNT")->text(); }

} // namespace

TEST_F(FtpTab, WhatIsNoLongerPartOfTheSiteIsListedAndRemovedOnlyWithTheWritersYes)
{
    generate();
    queueAllPosts();
    pressSend();
    ASSERT_TRUE(errors().isEmpty()) << errors().join("|").toStdString();
    ASSERT_TRUE(QFile::exists(serverPath("www/archive/2023-12.html")));
    control<QCheckBox>(w(), "chkALLFILES")->setChecked(false);
    // A file the program never sent.
    writeBytes(serverPath("www/archive/by-hand.html"), "not the program's");

    // The only December post is deleted: its month page is no longer made.
    ASSERT_TRUE(QFile::remove(data() + "/1702000000.txt"));
    prompts().answers.push_back(Prompts::Answer::No); // "see the main page?"
    action(w(), "actGENERATE")->trigger();
    ASSERT_TRUE(errors().isEmpty()) << errors().join("|").toStdString();
    // The writer looks at the list.
    control<QTabWidget>(w(), "PageControl1")->setCurrentWidget(control(w(), "tabFTP"));
    const Removals listed = removalsShown(w());
    EXPECT_EQ(listed.names, QStringList({"/data/1702000000.txt", "/www/archive/2023-12.html"}));
    EXPECT_EQ(listed.texts,
        QStringList({"remove /data/1702000000.txt", "remove /www/archive/2023-12.html"}));
    EXPECT_EQ(queueCount(w()), QString("%1 files to send, 2 to remove").arg(queued().size()));

    // Two of a site this small is more than a tenth: asked. No sends the
    // rest and removes nothing.
    prompts().shown.clear();
    prompts().answers.push_back(Prompts::Answer::No);
    pressSend();
    ASSERT_TRUE(errors().isEmpty()) << errors().join("|").toStdString();
    ASSERT_EQ(prompts().shown.size(), 1u);
    EXPECT_EQ(prompts().shown[0].kind, "question");
    EXPECT_EQ(prompts().shown[0].defaultAnswer, Prompts::Answer::No);
    const QString question = prompts().shown[0].text;
    EXPECT_TRUE(question.startsWith("2 files are no longer part of the site and will be removed "
                                    "from the server:"))
        << question.toStdString();
    EXPECT_TRUE(question.contains("/www/archive/2023-12.html"));
    EXPECT_TRUE(question.contains("/data/1702000000.txt"));
    EXPECT_TRUE(QFile::exists(serverPath("www/archive/2023-12.html")));
    EXPECT_TRUE(QFile::exists(serverPath("data/1702000000.txt")));
    EXPECT_TRUE(logLines().contains("2 files that are no longer part of the site stay on the server"))
        << logLines().join("|").toStdString();
    EXPECT_EQ(removalsShown(w()).names.size(), 2);

    // Yes removes them, and nothing the program did not send.
    prompts().answers.push_back(Prompts::Answer::Yes);
    logView()->clear();
    pressSend();
    ASSERT_TRUE(errors().isEmpty()) << errors().join("|").toStdString();
    EXPECT_FALSE(QFile::exists(serverPath("www/archive/2023-12.html")));
    EXPECT_FALSE(QFile::exists(serverPath("data/1702000000.txt")));
    EXPECT_TRUE(QFile::exists(serverPath("www/archive/by-hand.html")));
    EXPECT_TRUE(logLines().contains("Removed /www/archive/2023-12.html"))
        << logLines().join("|").toStdString();
    EXPECT_TRUE(removalsShown(w()).names.isEmpty());
    EXPECT_EQ(queueCount(w()), "0 files to send");
}

TEST_F(FtpTab, CheckTheServerFindsWhatTheServerLostOrChangedAndQueuesIt)
{
    generate();
    queueAllPosts();
    pressSend();
    ASSERT_TRUE(errors().isEmpty()) << errors().join("|").toStdString();
    control<QCheckBox>(w(), "chkALLFILES")->setChecked(false);
    ASSERT_TRUE(queued().isEmpty());
    // Someone deleted a page on the server and edited another by hand.
    ASSERT_TRUE(QFile::remove(serverPath("www/archive/2023-11.html")));
    writeBytes(serverPath("www/text.htm"), "edited on the server");
    prompts().shown.clear();
    logView()->clear();

    control<QPushButton>(w(), "btnCHECKSERVER")->click();

    ASSERT_TRUE(errors().isEmpty()) << errors().join("|").toStdString();
    QStringList pages = queuedPages();
    pages.sort();
    EXPECT_EQ(pages, QStringList({site() + "/archive/2023-11.html", site() + "/text.htm"}));
    EXPECT_TRUE(queuedPosts().isEmpty());
    ASSERT_EQ(prompts().shown.size(), 1u);
    EXPECT_EQ(prompts().shown[0].title, "Check the server");
    const QString report = prompts().shown[0].text;
    EXPECT_TRUE(report.startsWith("The server lacks or holds otherwise 2 files:"))
        << report.toStdString();
    EXPECT_TRUE(report.contains("archive/2023-11.html") && report.contains("text.htm"));
    EXPECT_TRUE(logLines().contains("Lacking or different on the server: archive/2023-11.html"))
        << logLines().join("|").toStdString();
    EXPECT_EQ(w().statusText(), "The server lacks or holds otherwise 2 files");

    pressSend();
    ASSERT_TRUE(errors().isEmpty()) << errors().join("|").toStdString();
    EXPECT_TRUE(sameFile(serverPath("www/archive/2023-11.html"), site() + "/archive/2023-11.html"));
    EXPECT_TRUE(sameFile(serverPath("www/text.htm"), site() + "/text.htm"));
}

TEST_F(FtpTab, SaveToLocalOverAPostChangedHereKeepsItAndReportsTheConflict)
{
    queueAllPosts();
    pressSend();
    ASSERT_TRUE(errors().isEmpty()) << errors().join("|").toStdString();
    // The same post changed here (not sent yet) and on the server.
    writeBytes(data() + "/1700000000.txt", "First post\r\nEdited here");
    writeBytes(serverPath("data/1700000000.txt"), "First post\r\nEdited on the server");
    pressRead();
    ASSERT_EQ(serverPosts()->count(), 3);
    prompts().shown.clear();
    logView()->clear();

    pressSaveLocal();

    ASSERT_TRUE(errors().isEmpty()) << errors().join("|").toStdString();
    EXPECT_EQ(fileBytes(data() + "/1700000000.txt"), "First post\r\nEdited here");
    const QString kept = data() + "/conflicts/1700000000.txt.server";
    EXPECT_EQ(fileBytes(kept), "First post\r\nEdited on the server");
    EXPECT_EQ(logLines().filter("Conflict: 1700000000.txt was changed here and on the server").size(),
        1)
        << logLines().join("|").toStdString();
    EXPECT_TRUE(w().statusText().endsWith("; 1 conflict")) << w().statusText().toStdString();
    ASSERT_EQ(prompts().shown.size(), 1u);
    EXPECT_EQ(prompts().shown[0].title, "Save to local");
    const QString report = prompts().shown[0].text;
    EXPECT_TRUE(report.startsWith("1 post was changed here and on the server.")) << report.toStdString();
    EXPECT_TRUE(report.contains(data() + "/conflicts/")) << report.toStdString();
    EXPECT_TRUE(report.contains("1700000000.txt.server"));

    // A data folder that is not there: said before anything connects.
    setField("pathDATA", root() + "gone");
    prompts().shown.clear();
    logView()->clear();
    pressSaveLocal();
    ASSERT_EQ(prompts().texts().size(), 1);
    EXPECT_TRUE(prompts().texts()[0].startsWith("The data folder " + root() + "gone does not exist."))
        << prompts().texts()[0].toStdString();
    EXPECT_TRUE(logLines().isEmpty()) << logLines().join("|").toStdString();
    EXPECT_FALSE(QFileInfo::exists(root() + "gone"));
}
