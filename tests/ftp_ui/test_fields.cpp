// The FTP setup fields, the upload lists and the client's events.
#include "ftpuifixture.h"
#include "publish/transport.h"

#include "core/projects.h"
#include "ui/widgets.h"
#include "publish/ftpclient.h"

#include <QCheckBox>
#include <QDir>
#include <QDirIterator>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QToolButton>

using namespace tl;
using namespace tl::test;

TEST(FtpTabFields, SendButtonFollowsThePasswordAndTheXButtonShowsIt)
{
    WindowFixture fx;
    MainWindow &w = fx.start();
    EXPECT_FALSE(w.btnSENDFTP->isEnabled());
    EXPECT_EQ(w.edtPASSWORD->echoMode(), QLineEdit::Password);
    w.edtPASSWORD->setText("s3");
    EXPECT_TRUE(w.btnSENDFTP->isEnabled());
    EXPECT_EQ(w.edtPASSWORD->displayText(), "**");
    w.edtPASSWORD->clear();
    EXPECT_FALSE(w.btnSENDFTP->isEnabled());

    w.edtPASSWORD->setText("s3");
    w.RxSpeedButton1->click();
    EXPECT_EQ(w.edtPASSWORD->displayText(), "s3");
    w.RxSpeedButton1->click();
    EXPECT_EQ(w.edtPASSWORD->displayText(), "**");
}

TEST(FtpTabFields, EveryRefusedCommandKindHasItsStatusText)
{
    const char *texts[] = {"ChangeDir failure", "MakeDir failure", "Delete failure",
                           "RemoveDir failure", "List failure", "Rename failure",
                           "UploadRestore failure", "DownloadRestore failure", "Download failure",
                           "Upload failure", "UploadAppend failure", "ReInit failure",
                           "Allocate failure", "NList failure", "DoCommand failure"};
    for (int kind = 0; kind < 15; ++kind)
        EXPECT_EQ(failureText(static_cast<FtpCommandKind>(kind)), texts[kind]) << kind;
    EXPECT_EQ(failureText(cmdCurrentDir), "");
}

TEST(FtpTabFields, RemoveFromListDeletesOnlyTheSelectedEntry)
{
    WindowFixture fx;
    MainWindow &w = fx.start();
    w.lstFILESFTP->addItems({"/s/a.html", "/s/b.html", "/s/c.html"});
    w.RxSpeedButton3->click();
    EXPECT_EQ(w.lstFILESFTP->count(), 3);
    w.lstFILESFTP->setCurrentRow(1);
    w.RxSpeedButton3->click();
    ASSERT_EQ(w.lstFILESFTP->count(), 2);
    EXPECT_EQ(w.lstFILESFTP->item(0)->text(), "/s/a.html");
    EXPECT_EQ(w.lstFILESFTP->item(1)->text(), "/s/c.html");
}

TEST(FtpTabFields, SendAllDataFilesQueuesEveryPostFileAndUncheckingDropsAllQueued)
{
    WindowFixture fx;
    MainWindow &w = fx.start();
    const QString data = fx.programFolder() + "data";
    ASSERT_TRUE(QDir().mkpath(data + "/folder.txt"));
    for (const char *f : {"1.txt", "2.TXT", ".hidden.txt", "notes.htm"})
        writeBytes(data + "/" + f, "x");
    w.pathDATA->setText(data);
    w.lstDATAFTP->addItem(data + "/1.txt"); // queued by a save

    w.chkALLFILES->setChecked(true);
    QStringList queued;
    for (int i = 0; i < w.lstDATAFTP->count(); ++i)
        queued << w.lstDATAFTP->item(i)->text();
    EXPECT_EQ(queued, QStringList({data + "/1.txt", data + "/1.txt", data + "/2.TXT"}));

    w.chkALLFILES->setChecked(false);
    EXPECT_EQ(w.lstDATAFTP->count(), 0);
}

TEST(FtpTabFields, PasswordIsNeverSavedAndStaysWhenAnotherProjectIsChosen)
{
    WindowFixture fx;
    const QString conf = fx.programFolder() + "CONF";
    ASSERT_TRUE(QDir().mkpath(conf));
    const QString data = fx.programFolder() + "data";
    ASSERT_TRUE(QDir().mkpath(data));
    for (const char *name : {"alpha", "beta"})
        writeBytes(conf + "/" + name + ".tvp",
                   std::string("[TForm1]\r\nedtUSER_Text=") + name + "\r\npathDATA_Text="
                       + data.toStdString() + "\r\n");
    MainWindow &w = fx.start();
    ASSERT_EQ(w.lstPROJEKTY->count(), 2);
    w.lstPROJEKTY->setCurrentRow(0);
    ASSERT_EQ(w.currentProjectName, "alpha");
    w.edtPASSWORD->setText("Secret-Word-42");
    w.Button4->click(); // "Save to TVP file"
    ASSERT_TRUE(fx.prompts().errors().isEmpty()) << fx.prompts().errors().join("|").toStdString();

    w.lstPROJEKTY->setCurrentRow(1);
    ASSERT_EQ(w.currentProjectName, "beta");
    EXPECT_EQ(w.edtUSER->text(), "beta");
    EXPECT_EQ(w.edtPASSWORD->text(), "Secret-Word-42");
    EXPECT_TRUE(w.btnSENDFTP->isEnabled());

    fx.stop(); // closing saves the project and the settings
    int files = 0;
    QDirIterator it(fx.programFolder(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        ++files;
        EXPECT_EQ(fileBytes(path).find("Secret-Word-42"), std::string::npos) << path.toStdString();
    }
    EXPECT_GE(files, 3); // the two projects and the settings file
}

TEST(FtpTabScripted, ProxyTakesTheFirewallHostAndTheOnePortFieldAndNamesTheServerInUser)
{
    WindowFixture fx;
    MainWindow &w = fx.start();
    ScriptedFtp proxy;
    w.edtFTPADDRESS->setText("ftp.example.invalid"); // never looked up: the proxy relays
    w.edtUSER->setText("user");
    w.edtPASSWORD->setText("pw");
    w.edtFIREWALL->setText("127.0.0.1");
    w.edtPORT->setText(QString::number(proxy.port()));
    w.chkPROXY->setChecked(true);
    w.currentProjectName = "blog";
    w.rDATAPATH->setText("/data/");
    w.actREADFROMFTP->trigger();
    ASSERT_TRUE(fx.prompts().errors().isEmpty()) << fx.prompts().errors().join("|").toStdString();
    EXPECT_EQ(proxy.arguments("USER"), std::vector<std::string>{"user@ftp.example.invalid"});
    EXPECT_EQ(proxy.arguments("PASS"), std::vector<std::string>{"pw"});
    EXPECT_EQ(proxy.arguments("QUIT").size(), 1u);
}
