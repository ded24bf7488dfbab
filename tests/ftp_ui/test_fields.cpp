// The FTP setup fields, the upload lists and the client's events.
#include "ftpuifixture.h"
#include "core/openproject.h"
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
    EXPECT_FALSE(control<QPushButton>(w, "btnSENDFTP")->isEnabled());
    EXPECT_EQ(control<QLineEdit>(w, "edtPASSWORD")->echoMode(), QLineEdit::Password);
    setFieldText(w, "edtPASSWORD", "s3");
    EXPECT_TRUE(control<QPushButton>(w, "btnSENDFTP")->isEnabled());
    EXPECT_EQ(control<QLineEdit>(w, "edtPASSWORD")->displayText(), "**");
    setFieldText(w, "edtPASSWORD", QString());
    EXPECT_FALSE(control<QPushButton>(w, "btnSENDFTP")->isEnabled());

    setFieldText(w, "edtPASSWORD", "s3");
    control<QToolButton>(w, "RxSpeedButton1")->click();
    EXPECT_EQ(control<QLineEdit>(w, "edtPASSWORD")->displayText(), "s3");
    control<QToolButton>(w, "RxSpeedButton1")->click();
    EXPECT_EQ(control<QLineEdit>(w, "edtPASSWORD")->displayText(), "**");
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
    control<QListWidget>(w, "lstFILESFTP")->addItems({"/s/a.html", "/s/b.html", "/s/c.html"});
    control<QToolButton>(w, "RxSpeedButton3")->click();
    EXPECT_EQ(control<QListWidget>(w, "lstFILESFTP")->count(), 3);
    control<QListWidget>(w, "lstFILESFTP")->setCurrentRow(1);
    control<QToolButton>(w, "RxSpeedButton3")->click();
    ASSERT_EQ(control<QListWidget>(w, "lstFILESFTP")->count(), 2);
    EXPECT_EQ(control<QListWidget>(w, "lstFILESFTP")->item(0)->text(), "/s/a.html");
    EXPECT_EQ(control<QListWidget>(w, "lstFILESFTP")->item(1)->text(), "/s/c.html");
}

TEST(FtpTabFields, SendAllDataFilesQueuesEveryPostFileAndUncheckingDropsAllQueued)
{
    WindowFixture fx;
    MainWindow &w = fx.start();
    const QString data = fx.programFolder() + "data";
    ASSERT_TRUE(QDir().mkpath(data + "/folder.txt"));
    for (const char *f : {"1.txt", "2.TXT", ".hidden.txt", "notes.htm"})
        writeBytes(data + "/" + f, "x");
    setFieldText(w, "pathDATA", data);
    control<QListWidget>(w, "lstDATAFTP")->addItem(data + "/1.txt"); // queued by a save

    control<QCheckBox>(w, "chkALLFILES")->setChecked(true);
    QStringList queued;
    for (int i = 0; i < control<QListWidget>(w, "lstDATAFTP")->count(); ++i)
        queued << control<QListWidget>(w, "lstDATAFTP")->item(i)->text();
    EXPECT_EQ(queued, QStringList({data + "/1.txt", data + "/1.txt", data + "/2.TXT"}));

    control<QCheckBox>(w, "chkALLFILES")->setChecked(false);
    EXPECT_EQ(control<QListWidget>(w, "lstDATAFTP")->count(), 0);
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
    ASSERT_EQ(control<QListWidget>(w, "lstPROJEKTY")->count(), 2);
    control<QListWidget>(w, "lstPROJEKTY")->setCurrentRow(0);
    ASSERT_EQ(w.project().name(), "alpha");
    setFieldText(w, "edtPASSWORD", "Secret-Word-42");
    control<QPushButton>(w, "Button4")->click(); // "Save to TVP file"
    ASSERT_TRUE(fx.prompts().errors().isEmpty()) << fx.prompts().errors().join("|").toStdString();

    control<QListWidget>(w, "lstPROJEKTY")->setCurrentRow(1);
    ASSERT_EQ(w.project().name(), "beta");
    EXPECT_EQ(fieldText(w, "edtUSER"), "beta");
    EXPECT_EQ(fieldText(w, "edtPASSWORD"), "Secret-Word-42");
    EXPECT_TRUE(control<QPushButton>(w, "btnSENDFTP")->isEnabled());

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
    setFieldText(w, "edtFTPADDRESS", "ftp.example.invalid"); // never looked up: the proxy relays
    setFieldText(w, "edtUSER", "user");
    setFieldText(w, "edtPASSWORD", "pw");
    setFieldText(w, "edtFIREWALL", "127.0.0.1");
    setFieldText(w, "edtPORT", QString::number(proxy.port()));
    control<QCheckBox>(w, "chkPROXY")->setChecked(true);
    control<QPushButton>(w, "btnSENDFTP")->click();
    ASSERT_TRUE(fx.prompts().errors().isEmpty()) << fx.prompts().errors().join("|").toStdString();
    EXPECT_EQ(proxy.arguments("USER"), std::vector<std::string>{"user@ftp.example.invalid"});
    EXPECT_EQ(proxy.arguments("PASS"), std::vector<std::string>{"pw"});
    EXPECT_EQ(proxy.arguments("QUIT").size(), 1u);
}
