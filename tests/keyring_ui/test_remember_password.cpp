// "Remember password" against a real keyring: GNOME Keyring's Secret Service
// on a session bus of the test's own. The program reaches the session bus
// once per process, so this test has a program of its own.
#include "core/openproject.h"
#include "keyringsession.h"
#include "publish/passwordstore.h"
#include "pyftpserver.h"
#include "ui/prompts.h"
#include "windowfixture.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tl;
using namespace tl::test;

namespace {

const char *const kPassword = "Kept-Pa55-word";

// Files below `folder` holding `secret` as typed.
QStringList filesHolding(const QString &folder, const std::string &secret)
{
    QStringList out;
    for (const auto &[path, bytes] : filesBelow(folder))
        if (bytes.find(secret) != std::string::npos)
            out << path;
    return out;
}

} // namespace

TEST(RememberPassword, ALoginKeepsItAnEmptyFieldTakesItAndTurningItOffForgetsIt)
{
    QTemporaryDir keyringHome;
    KeyringSession keyring;
    if (!keyring.start(keyringHome.path(), "keyring-pw"))
        GTEST_SKIP() << keyring.error().toStdString();
    qputenv("DBUS_SESSION_BUS_ADDRESS", keyring.busAddress().toLocal8Bit());
    QTemporaryDir serverRoot;
    ASSERT_TRUE(QDir().mkpath(serverRoot.path() + "/data"));
    PyFtpServer server;
    ASSERT_TRUE(server.start(serverRoot.path(), { "--password", kPassword }))
        << server.error().toStdString();

    WindowFixture fx;
    const QString root = fx.programFolder();
    ASSERT_TRUE(QDir().mkpath(root + "data"));
    ASSERT_TRUE(QDir().mkpath(root + "conf"));
    writeBytes(root + "data/1700000000.txt", "A post\r\nIts body");
    writeBytes(root + "conf/blog.tvp",
        "[TForm1]\r\npathDATA_Text=" + root.toStdString()
            + "data\r\nedtFTPADDRESS_Text=127.0.0.1\r\nedtUSER_Text=user\r\nedtPORT_Text="
            + std::to_string(server.port()) + "\r\nrDATAPATH_Text=/data/\r\n");
    writeBytes(root + "tarvlit.ini", "[TForm1]\r\ncmbDEFPROJ_Text=blog\r\n");
    MainWindow &w = fx.start();
    ASSERT_EQ(w.project().name(), "blog");
    auto *remember = control<QCheckBox>(w, "chkREMEMBERPW");
    ASSERT_TRUE(remember->isEnabled()) << remember->toolTip().toStdString();
    EXPECT_FALSE(remember->isChecked());
    remember->setChecked(true);
    ASSERT_TRUE(w.project().settings().server.rememberPassword);
    const PasswordKey key = passwordKeyOf("blog", w.project().settings().server);
    auto log = [&w] { return control<QPlainTextEdit>(w, "Memo2")->toPlainText(); };

    // A password the server refuses is not kept.
    setFieldText(w, "edtPASSWORD", "wrong");
    action(w, "actREADFROMFTP")->trigger();
    ASSERT_EQ(fx.prompts().errors().size(), 1);
    EXPECT_EQ(PasswordStore().read(key), std::nullopt);

    // One it accepts is, once the session has logged in.
    setFieldText(w, "edtPASSWORD", kPassword);
    action(w, "actREADFROMFTP")->trigger();
    ASSERT_EQ(fx.prompts().errors().size(), 1) << fx.prompts().errors().join("|").toStdString();
    EXPECT_EQ(PasswordStore().read(key), QString(kPassword));
    EXPECT_TRUE(log().contains("The password for user@127.0.0.1 is kept in the keyring."));

    // An empty field takes it from the keyring before a transfer.
    setFieldText(w, "edtPASSWORD", "");
    EXPECT_TRUE(control<QPushButton>(w, "btnSENDFTP")->isEnabled());
    control<QCheckBox>(w, "chkALLFILES")->setChecked(true);
    control<QPushButton>(w, "btnSENDFTP")->click();
    ASSERT_EQ(fx.prompts().errors().size(), 1) << fx.prompts().errors().join("|").toStdString();
    EXPECT_EQ(fileBytes(serverRoot.path() + "/data/1700000000.txt"), "A post\r\nIts body");
    EXPECT_EQ(fieldText(w, "edtPASSWORD"), kPassword);
    EXPECT_TRUE(log().contains("Using the password kept in the keyring for user@127.0.0.1."));

    // The project keeps the choice, never the password.
    control<QPushButton>(w, "Button4")->click(); // "Save to TVP file"
    EXPECT_NE(fileBytes(root + "conf/blog.tvp").find("chkREMEMBERPW_Checked=True"),
        std::string::npos);

    // Turned off, the keyring forgets it.
    remember->setChecked(false);
    EXPECT_EQ(PasswordStore().read(key), std::nullopt);
    EXPECT_TRUE(log().contains("The password for user@127.0.0.1 was removed from the keyring."));

    const QString home = qEnvironmentVariable("HOME");
    fx.stop();
    EXPECT_TRUE(QFileInfo::exists(keyringHome.path() + "/.local/share/keyrings/login.keyring"));
    EXPECT_EQ(filesHolding(root, kPassword), QStringList());
    EXPECT_EQ(filesHolding(home, kPassword), QStringList());
    EXPECT_EQ(filesHolding(keyringHome.path(), kPassword), QStringList());
    qunsetenv("DBUS_SESSION_BUS_ADDRESS");
}
