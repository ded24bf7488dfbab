#pragma once
// The FTP tab driven through the main window against servers on 127.0.0.1:
// pyftpdlib in a child process, and a small scripted server for exact replies.
#include "ui/mainwindow.h"
#include "ui/publish/publishingcontroller.h"
#include "pyftpserver.h"
#include "windowfixture.h"

#include <QByteArray>
#include <QHostAddress>
#include <QCheckBox>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTcpServer>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

class QListWidget;
class QPlainTextEdit;

inline void PrintTo(const QString &s, std::ostream *os) { *os << '"' << s.toStdString() << '"'; }

namespace tl::test {

// An FTP server whose replies are fixed here, running on the test's thread
// (the client's waits run the event loop and with it this server). USER 331,
// PASS 230, CWD 250, MKD 257, TYPE 200, PORT 200, EPSV 229, DELE 250, RNFR
// 350, RNTO 250, NLST and RETR
// send `listing` and `fileContent` over a data connection, STOR takes the
// data, QUIT 221. A verb in `silent` gets no answer at all.
class ScriptedFtp : public QObject {
public:
    ScriptedFtp();
    quint16 port() const { return listener_.serverPort(); }

    QByteArray listing;
    QByteArray fileContent = "Title\r\nBody";
    std::set<std::string> silent;

    std::vector<std::string> commands; // every command line received
    int connections = 0;
    // Arguments of the commands with this verb, in order.
    std::vector<std::string> arguments(const std::string &verb) const;

private:
    void serve(class QTcpSocket *control);
    QTcpServer listener_;
};

// The same for the files below `root` that are not inside `excluded`.
std::map<QString, std::string> filesOutside(const QString &root, const QString &excluded);

// Success when both files exist and hold the same bytes; else which differs.
::testing::AssertionResult sameFile(const QString &copy, const QString &original);

// A main window with a project whose main folder "site" holds a small
// generated blog, a data folder "data" with three posts, and the FTP fields
// set for a pyftpdlib server with folders "www" and "data".
class FtpTab : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    MainWindow &w() { return fx.window(); }
    ScriptedPrompts &prompts() { return fx.prompts(); }
    QString root() const { return fx.programFolder(); }
    QString site() const { return root() + "site"; }
    QString data() const { return root() + "data"; }
    QString serverPath(const QString &path) const { return serverRoot.path() + "/" + path; }

    // Runs Generate (answering No to "see the main page").
    void generate();
    void pressSend();
    void pressRead();
    void pressSaveLocal();

    static QStringList entries(const QListWidget *list);
    // What the FTP tab shows queued for the next send: every file, the
    // site's pages, the posts.
    QStringList queued() { return queuedFiles(w()); }
    QStringList queuedPages() { return queued().filter(site() + "/"); }
    QStringList queuedPosts() { return queued().filter(data() + "/"); }
    // "Send all data files".
    void queueAllPosts() { control<QCheckBox>(w(), "chkALLFILES")->setChecked(true); }
    QListWidget *serverPosts() { return control<QListWidget>(w(), "lstFROMFTP"); }
    QPlainTextEdit *logView() { return control<QPlainTextEdit>(w(), "Memo2"); }
    QString field(const char *name) { return fieldText(w(), name); }
    void setField(const char *name, const QString &text) { setFieldText(w(), name, text); }
    Publisher &publisher() { return w().publishing().publisher(); }
    QStringList logLines();
    QStringList errors() { return fx.prompts().errors(); }
    // The tree as lines: month nodes, their posts indented by two blanks.
    QStringList tree();
    WindowFixture fx;
    QTemporaryDir serverRoot;
    PyFtpServer server;
};

} // namespace tl::test
