// The FTP setup fields, the upload lists and the client's events.
#include "ftpuifixture.h"
#include "core/openproject.h"
#include "publish/transport.h"

#include "core/projects.h"
#include "ui/widgets.h"
#include "publish/ftpclient.h"
#include "publish/sendrecord.h"

#include <QCheckBox>
#include <QDir>
#include <QDirIterator>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QTabWidget>
#include <QListWidget>
#include <QPushButton>
#include <QToolButton>

using namespace tl;
using namespace tl::test;

// The button beside the password is an eye that stays pressed while the
// password shows (it used to be an "x" that looked like "clear").
TEST(FtpTabFields, SendButtonFollowsThePasswordAndTheEyeShowsIt)
{
    WindowFixture fx;
    MainWindow &w = fx.start();
    auto *password = control<QLineEdit>(w, "edtPASSWORD");
    auto *send = control<QPushButton>(w, "btnSENDFTP");
    EXPECT_FALSE(send->isEnabled());
    EXPECT_EQ(password->echoMode(), QLineEdit::Password);
    password->setText("s3");
    EXPECT_TRUE(send->isEnabled());
    EXPECT_EQ(password->displayText(), "**");
    password->clear();
    EXPECT_FALSE(send->isEnabled());

    auto *eye = control<QToolButton>(w, "RxSpeedButton1");
    EXPECT_TRUE(eye->isCheckable());
    EXPECT_FALSE(eye->icon().isNull());
    EXPECT_TRUE(eye->text().isEmpty() || eye->toolButtonStyle() == Qt::ToolButtonIconOnly);
    EXPECT_EQ(eye->accessibleName(), "Show password");
    EXPECT_EQ(eye->toolTip(), "Show password");
    password->setText("s3");
    eye->click();
    EXPECT_TRUE(eye->isChecked());
    EXPECT_EQ(password->displayText(), "s3");
    EXPECT_EQ(eye->toolTip(), "Hide password");
    eye->click();
    EXPECT_FALSE(eye->isChecked());
    EXPECT_EQ(password->displayText(), "**");
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

// A project "blog" opened at start-up whose data folder holds 1.txt and
// 2.TXT (besides a folder, a hidden file and a file that is no post), and
// whose send record says the server has 1.txt as it is.
class QueueOfTheFtpTab : public ::testing::Test {
protected:
    void SetUp() override
    {
        data = fx.programFolder() + "data";
        ASSERT_TRUE(QDir().mkpath(data + "/folder.txt"));
        ASSERT_TRUE(QDir().mkpath(fx.programFolder() + "conf"));
        for (const char *f : {"1.txt", "2.TXT", ".hidden.txt", "notes.htm"})
            writeBytes(data + "/" + f, "x");
        const QString project = fx.programFolder() + "conf/blog.tvp";
        writeBytes(project, "[TForm1]\r\npathDATA_Text=" + data.toStdString() + "\r\n");
        SendRecord record = SendRecord::load(SendRecord::pathFor(project));
        record.confirmSent("1.txt", SendRecord::contentOf(data + "/1.txt"));
        record.save();
        writeBytes(fx.programFolder() + "tarvlit.ini", "[TForm1]\r\ncmbDEFPROJ_Text=blog\r\n");
        fx.start();
    }
    QStringList shown()
    {
        const QAbstractItemModel *model = control<QListView>(fx.window(), "lstFILESFTP")->model();
        QStringList out;
        for (int row = 0; row < model->rowCount(); ++row)
            out << model->index(row, 0).data().toString();
        return out;
    }

    WindowFixture fx;
    QString data;
};

TEST_F(QueueOfTheFtpTab, SendAllDataFilesQueuesEveryPostAndUncheckedOnlyThoseTheServerLacks)
{
    MainWindow &w = fx.window();
    // The queue is worked out when the FTP tab is shown.
    control<QTabWidget>(w, "PageControl1")->setCurrentWidget(control(w, "tabFTP"));
    EXPECT_EQ(control<QLabel>(w, "lblQUEUECOUNT")->text(), "1 file to send");
    EXPECT_EQ(queuedFiles(w), QStringList({data + "/2.TXT"}));
    control<QCheckBox>(w, "chkALLFILES")->setChecked(true);
    EXPECT_EQ(queuedFiles(w), QStringList({data + "/1.txt", data + "/2.TXT"}));
    EXPECT_EQ(shown(), QStringList({"1.txt (post of 01.01.1970 00:00)", "2.TXT"}));
    EXPECT_EQ(control<QLabel>(w, "lblQUEUECOUNT")->text(), "2 files to send");
    control<QCheckBox>(w, "chkALLFILES")->setChecked(false);
    EXPECT_EQ(queuedFiles(w), QStringList({data + "/2.TXT"}));
}

TEST_F(QueueOfTheFtpTab, RemoveFromListTakesOnlyTheSelectedEntryOutOfTheQueue)
{
    MainWindow &w = fx.window();
    control<QCheckBox>(w, "chkALLFILES")->setChecked(true);
    control<QToolButton>(w, "RxSpeedButton3")->click(); // nothing selected
    EXPECT_EQ(queuedFiles(w).size(), 2);
    auto *view = control<QListView>(w, "lstFILESFTP");
    view->setCurrentIndex(view->model()->index(1, 0));
    control<QToolButton>(w, "RxSpeedButton3")->click();
    EXPECT_EQ(queuedFiles(w), QStringList({data + "/1.txt"}));
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
    w.project().open("blog"); // no project file: the fields stay
    setFieldText(w, "rDATAPATH", "/data/");
    action(w, "actREADFROMFTP")->trigger();
    ASSERT_TRUE(fx.prompts().errors().isEmpty()) << fx.prompts().errors().join("|").toStdString();
    EXPECT_EQ(proxy.arguments("USER"), std::vector<std::string>{"user@ftp.example.invalid"});
    EXPECT_EQ(proxy.arguments("PASS"), std::vector<std::string>{"pw"});
    EXPECT_EQ(proxy.arguments("QUIT").size(), 1u);
}
