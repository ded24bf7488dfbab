// "Read data from FTP" and "Save to local": continuing a blog on another
// machine, and what a listing can and cannot make the program write.
#include "ftpuifixture.h"
#include "core/openproject.h"

#include "ui/widgets.h"
#include "publish/ftpclient.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>

using namespace tl;
using namespace tl::test;

namespace {
QStringList sorted(QStringList l)
{
    l.sort();
    return l;
}
} // namespace

TEST_F(FtpTab, PostsSentFromOneDataFolderArriveInAnotherAndReadShowsTheSameTree)
{
    control<QCheckBox>(w(), "chkALLFILES")->setChecked(true);
    pressSend();
    ASSERT_TRUE(errors().isEmpty()) << errors().join("|").toStdString();
    const QStringList treeHere = tree();
    const auto postsHere = filesBelow(data());
    ASSERT_EQ(postsHere.size(), 3u);

    // The other machine: the same project with an empty data folder.
    const QString other = root() + "other-data";
    ASSERT_TRUE(QDir().mkpath(other));
    setFieldText(w(), "pathDATA", other);
    control<QPlainTextEdit>(w(), "Memo2")->clear();
    pressRead();
    ASSERT_TRUE(errors().isEmpty()) << errors().join("|").toStdString();
    EXPECT_EQ(sorted(entries(control<QListWidget>(w(), "lstFROMFTP"))),
              QStringList({"1700000000.txt", "1700090000.txt", "1702000000.txt"}));

    pressSaveLocal();
    ASSERT_TRUE(errors().isEmpty()) << errors().join("|").toStdString();
    EXPECT_EQ(filesBelow(other), postsHere);
    EXPECT_EQ(logLines().size(), 7);
    EXPECT_EQ(logLines().filter("Transfer OK").size(), 3);
    EXPECT_TRUE(logLines().last().startsWith("Received 3 files (")) << logLines().last().toStdString();
    EXPECT_EQ(w().statusText(), logLines().last());
    EXPECT_EQ(control<QListWidget>(w(), "lstFROMFTP")->count(), 0);

    // With nothing listed, Save to local logs in and out and fetches nothing.
    control<QPlainTextEdit>(w(), "Memo2")->clear();
    pressSaveLocal();
    EXPECT_TRUE(errors().isEmpty());
    EXPECT_EQ(logLines().size(), 1);
    EXPECT_TRUE(logLines().last().startsWith("Received 0 files (0 bytes) in "));

    action(w(), "actREAD")->trigger();
    EXPECT_EQ(tree(), treeHere);
}

TEST_F(FtpTab, ReadingTwiceListsEveryNameTwice)
{
    writeBytes(serverPath("data/1.txt"), "a");
    writeBytes(serverPath("data/notes.htm"), "b"); // not a post: not listed
    pressRead();
    pressRead();
    ASSERT_TRUE(errors().isEmpty()) << errors().join("|").toStdString();
    EXPECT_EQ(sorted(entries(control<QListWidget>(w(), "lstFROMFTP"))), QStringList({"1.txt", "1.txt"}));
}

TEST_F(FtpTab, ReadWantsAProjectAndEveryFtpParameter)
{
    w().project().close();
    pressRead();
    EXPECT_EQ(prompts().texts(), QStringList{"Project was not selected.\nPlease select project on tab OPTIONS."});
    w().project().open("blog");

    for (QLineEdit *field : {control<QLineEdit>(w(), "edtFTPADDRESS"), control<QLineEdit>(w(), "edtUSER"), control<QLineEdit>(w(), "edtPASSWORD"), control<QLineEdit>(w(), "rDATAPATH")}) {
        prompts().shown.clear();
        const QString kept = field->text();
        field->clear();
        pressRead();
        EXPECT_EQ(prompts().texts(), QStringList{"Please setup FTP parameters"})
            << field->objectName().toStdString();
        field->setText(kept);
    }
    EXPECT_EQ(control<QListWidget>(w(), "lstFROMFTP")->count(), 0);
}

TEST_F(FtpTab, RefusedChangeOfFolderShowsTheServerReplyAndTheStatus)
{
    setFieldText(w(), "rDATAPATH", "/missing/");
    pressRead();
    ASSERT_EQ(errors().size(), 1);
    EXPECT_TRUE(errors()[0].startsWith("550")) << errors()[0].toStdString();
    EXPECT_EQ(w().statusText(), "List failure");
    EXPECT_EQ(control<QListWidget>(w(), "lstFROMFTP")->count(), 0);
}

TEST_F(FtpTab, SaveToLocalLogsInWithTheSettingsAsTheyAreNow)
{
    writeBytes(serverPath("data/1700000000.txt"), "Title\r\nBody");
    pressRead();
    ASSERT_TRUE(errors().isEmpty()) << errors().join("|").toStdString();
    ASSERT_GT(control<QListWidget>(w(), "lstFROMFTP")->count(), 0);
    const int listed = control<QListWidget>(w(), "lstFROMFTP")->count();
    const auto before = filesBelow(data());
    // A password changed after the listing is the one Save to local uses.
    setFieldText(w(), "edtPASSWORD", "wrong");
    pressSaveLocal();
    ASSERT_EQ(errors().size(), 1);
    EXPECT_TRUE(errors()[0].contains("refused the login of user \"user\": 530")) << errors()[0].toStdString();
    EXPECT_EQ(control<QListWidget>(w(), "lstFROMFTP")->count(), listed);
    EXPECT_EQ(filesBelow(data()), before);
}

TEST(FtpTabScripted, HostileListingWritesNothingOutsideTheDataFolder)
{
    WindowFixture fx;
    MainWindow &w = fx.start();
    ScriptedFtp ftp;
    ftp.listing = "../evil.txt\r\n/etc/x\r\na/b.txt\r\n..\r\n.\r\n..\\up.txt\r\n"
                  "bad\rname.txt\r\ntricky\r\r\n1700000000.txt\r\nplain\n";
    ftp.fileContent = "Fetched\r\nbody";
    const QString root = fx.programFolder();
    const QString data = root + "work/data";
    ASSERT_TRUE(QDir().mkpath(data));
    writeBytes(root + "work/keep.txt", "untouched");
    setFieldText(w, "pathDATA", data);
    w.project().open("blog");
    setFieldText(w, "edtFTPADDRESS", "127.0.0.1");
    setFieldText(w, "edtUSER", "user");
    setFieldText(w, "edtPASSWORD", "pw");
    setFieldText(w, "edtPORT", QString::number(ftp.port()));
    setFieldText(w, "rDATAPATH", "/data/");
    w.publishing().publisher().questions.noDataTimeoutMs = 10000;

    control<QPlainTextEdit>(w, "Memo2")->clear();
    action(w, "actREADFROMFTP")->trigger();
    ASSERT_TRUE(fx.prompts().errors().isEmpty()) << fx.prompts().errors().join("|").toStdString();
    // Only a post name is offered; every other name is told and left alone.
    ASSERT_EQ(control<QListWidget>(w, "lstFROMFTP")->count(), 1);
    const QStringList skipped = control<QPlainTextEdit>(w, "Memo2")->toPlainText().split('\n').filter("Skipped ");
    EXPECT_EQ(skipped, QStringList({"Skipped ../evil.txt: not a post file",
                                    "Skipped /etc/x: not a post file", "Skipped a/b.txt: not a post file",
                                    "Skipped ..: not a post file", "Skipped .: not a post file",
                                    "Skipped ..\\up.txt: not a post file",
                                    "Skipped bad\\x0Dname.txt: not a post file",
                                    "Skipped tricky\\x0D: not a post file",
                                    "Skipped plain: not a post file"}));
    const auto before = filesOutside(root, data);

    control<QPushButton>(w, "Button3")->click();

    ASSERT_TRUE(fx.prompts().errors().isEmpty()) << fx.prompts().errors().join("|").toStdString();
    EXPECT_EQ(ftp.arguments("RETR"), (std::vector<std::string>{"/data/1700000000.txt"}));
    EXPECT_EQ(QDir(data).entryList(QDir::Files | QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name),
              QStringList({"1700000000.txt"}));
    EXPECT_EQ(fileBytes(data + "/1700000000.txt"), "Fetched\r\nbody");
    EXPECT_EQ(filesOutside(root, data), before);
    EXPECT_EQ(control<QListWidget>(w, "lstFROMFTP")->count(), 0);
}

TEST_F(FtpTab, SaveToLocalSkipsAFileItCannotWriteAndFetchesTheRest)
{
    control<QCheckBox>(w(), "chkALLFILES")->setChecked(true);
    pressSend();
    ASSERT_TRUE(errors().isEmpty()) << errors().join("|").toStdString();
    const QString other = root() + "other-data";
    // Where the second post would go, a folder stands: it cannot be replaced.
    ASSERT_TRUE(QDir().mkpath(other + "/1700090000.txt"));
    setFieldText(w(), "pathDATA", other);
    pressRead();
    ASSERT_EQ(control<QListWidget>(w(), "lstFROMFTP")->count(), 3);
    control<QPlainTextEdit>(w(), "Memo2")->clear();
    pressSaveLocal();

    EXPECT_TRUE(errors().isEmpty()) << errors().join("|").toStdString();
    EXPECT_TRUE(sameFile(other + "/1700000000.txt", data() + "/1700000000.txt"));
    EXPECT_TRUE(sameFile(other + "/1702000000.txt", data() + "/1702000000.txt"));
    EXPECT_EQ(logLines().filter("Skipped 1700090000.txt: Cannot create file ").size(), 1)
        << logLines().join("|").toStdString();
    EXPECT_TRUE(logLines().last().startsWith("Received 2 files (")) << logLines().last().toStdString();
    EXPECT_TRUE(logLines().last().endsWith("; 1 skipped"));
}
