#include "ftpuifixture.h"

#include "app/ui/prompts.h"
#include "app/ui/widgets.h"
#include "posts/ui/posttree.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTcpSocket>
#include <QTreeWidget>

namespace tl::test {

// ---------------------------------------------------------- scripted server

ScriptedFtp::ScriptedFtp()
{
    listener_.listen(QHostAddress::LocalHost, 0);
    QObject::connect(&listener_, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket *s = listener_.nextPendingConnection())
            serve(s);
    });
}

std::vector<std::string> ScriptedFtp::arguments(const std::string &verb) const
{
    std::vector<std::string> out;
    for (const std::string &c : commands) {
        if (c.compare(0, verb.size(), verb) == 0 && (c.size() == verb.size() || c[verb.size()] == ' '))
            out.push_back(c.size() > verb.size() ? c.substr(verb.size() + 1) : std::string());
    }
    return out;
}

void ScriptedFtp::serve(QTcpSocket *control)
{
    ++connections;
    control->setParent(this);
    struct Session {
        QByteArray in;
        quint16 dataPort = 0;
    };
    auto session = std::make_shared<Session>();
    control->write("220 Scripted server\r\n");

    // Opens the data connection to the client's PORT and sends `payload`, or
    // (payload null) takes what the client sends; 226 once it has closed.
    auto transfer = [this, control, session](const QByteArray *payload) {
        control->write("150 Opening data connection\r\n");
        auto *data = new QTcpSocket(this);
        const QByteArray bytes = payload ? *payload : QByteArray();
        const bool sending = payload != nullptr;
        QObject::connect(data, &QTcpSocket::connected, data, [data, bytes, sending] {
            if (sending) {
                data->write(bytes);
                data->disconnectFromHost();
            }
        });
        QObject::connect(data, &QTcpSocket::readyRead, data, [data] { data->readAll(); });
        QObject::connect(data, &QTcpSocket::disconnected, this, [control, data] {
            data->deleteLater();
            if (control->state() == QAbstractSocket::ConnectedState)
                control->write("226 Transfer complete\r\n");
        });
        data->connectToHost(QHostAddress::LocalHost, session->dataPort);
    };

    QObject::connect(control, &QTcpSocket::readyRead, this, [this, control, session, transfer] {
        session->in += control->readAll();
        for (;;) {
            const qsizetype lf = session->in.indexOf('\n');
            if (lf < 0)
                return;
            QByteArray line = session->in.left(lf);
            session->in.remove(0, lf + 1);
            if (line.endsWith('\r'))
                line.chop(1);
            const std::string text = line.toStdString();
            commands.push_back(text);
            const std::string verb = text.substr(0, text.find(' '));
            const std::string arg = text.size() > verb.size() ? text.substr(verb.size() + 1) : "";
            if (silent.count(verb))
                continue;
            if (verb == "USER") {
                control->write("331 Password required\r\n");
            } else if (verb == "PASS") {
                control->write("230 Logged in\r\n");
            } else if (verb == "CWD") {
                control->write("250 Folder changed\r\n");
            } else if (verb == "MKD") {
                control->write("257 Created\r\n");
            } else if (verb == "PORT") {
                const QList<QByteArray> p = QByteArray::fromStdString(arg).split(',');
                session->dataPort = p.size() == 6
                    ? static_cast<quint16>(p[4].toInt() * 256 + p[5].toInt())
                    : 0;
                control->write("200 PORT command successful\r\n");
            } else if (verb == "NLST") {
                transfer(&listing);
            } else if (verb == "RETR") {
                transfer(&fileContent);
            } else if (verb == "STOR") {
                transfer(nullptr);
            } else if (verb == "QUIT") {
                control->write("221 Goodbye\r\n");
                control->disconnectFromHost();
                return;
            } else {
                control->write("502 Not implemented\r\n");
            }
        }
    });
}

// ------------------------------------------------------------------ window

void FtpTab::SetUp()
{
    ASSERT_TRUE(serverRoot.isValid());
    ASSERT_TRUE(QDir().mkpath(serverPath("www")));
    ASSERT_TRUE(QDir().mkpath(serverPath("data")));
    ASSERT_TRUE(QDir().mkpath(serverPath("ro")));
    ASSERT_TRUE(server.start(serverRoot.path()))
        << "pyftpdlib did not start (python3-pyftpdlib installed?) " << server.error().toStdString();

    MainWindow &win = fx.start();
    ASSERT_TRUE(QDir().mkpath(site()));
    ASSERT_TRUE(QDir().mkpath(data()));
    // Three posts over two months (times in seconds since 1970).
    writeBytes(data() + "/1700000000.txt", "First post\r\nHello <b>world</b>");
    writeBytes(data() + "/1700090000.txt", "Second\r\nLine one\r\nLine two");
    writeBytes(data() + "/1702000000.txt", "December\r\nWinter is here");
    const QString conf = QStringLiteral(TL_SOURCE_DIR "/conf/");
    win.pathMAIN->setText(site());
    win.pathDATA->setText(data());
    win.fileTEMPLATE->setText(conf + "template.htm");
    win.archiveTEMPLATE->setText(conf + "archtemp.htm");
    win.edtRSSTEMPLATE->setText(conf + "template.rss");
    win.edtTXTTEMPLATE->setText(conf + "template.txt");
    win.dirPATHARCHIVES->setText("archive/");
    win.currentProjectName = "blog";

    win.edtFTPADDRESS->setText("127.0.0.1");
    win.edtUSER->setText("user");
    win.edtPASSWORD->setText("pw");
    win.edtPORT->setText(QString::number(server.port()));
    win.rPATHMAIN->setText("/www/");
    win.rDATAPATH->setText("/data/");

    win.actREAD->trigger();
    ASSERT_TRUE(errors().isEmpty()) << errors().join("|").toStdString();
    prompts().shown.clear();
    win.Memo2->clear();
}

void FtpTab::TearDown()
{
    fx.stop();
    server.stop();
}

void FtpTab::generate()
{
    prompts().answers.push_back(Prompts::Answer::No);
    w().actGENERATE->trigger();
    ASSERT_TRUE(errors().isEmpty()) << errors().join("|").toStdString();
    ASSERT_GE(w().lstFILESFTP->count(), 5);
    prompts().shown.clear();
    w().Memo2->clear();
}

void FtpTab::pressSend() { w().btnSENDFTP->click(); }
void FtpTab::pressRead() { w().actREADFROMFTP->trigger(); }
void FtpTab::pressSaveLocal() { w().Button3->click(); }

QStringList FtpTab::entries(const QListWidget *list)
{
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        out << list->item(i)->text();
    return out;
}

QStringList FtpTab::logLines()
{
    const QString text = w().Memo2->toPlainText();
    return text.isEmpty() ? QStringList() : text.split('\n');
}

QStringList FtpTab::tree()
{
    QStringList out;
    for (int i = 0; i < w().TreeView1->topLevelItemCount(); ++i) {
        QTreeWidgetItem *m = w().TreeView1->topLevelItem(i);
        out << nodeName(m);
        for (int j = 0; j < m->childCount(); ++j)
            out << "  " + nodeName(m->child(j));
    }
    return out;
}


::testing::AssertionResult sameFile(const QString &copy, const QString &original)
{
    if (!QFileInfo::exists(copy))
        return ::testing::AssertionFailure() << copy.toStdString() << " is missing";
    const std::string a = fileBytes(copy), b = fileBytes(original);
    if (a != b)
        return ::testing::AssertionFailure() << copy.toStdString() << " (" << a.size()
                                             << " bytes) differs from " << original.toStdString()
                                             << " (" << b.size() << " bytes)";
    return ::testing::AssertionSuccess();
}

std::map<QString, std::string> filesOutside(const QString &root, const QString &excluded)
{
    const QString skip = QDir(root).relativeFilePath(excluded) + "/";
    std::map<QString, std::string> out;
    for (auto &[path, bytes] : filesBelow(root))
        if (!path.startsWith(skip))
            out[path] = bytes;
    return out;
}

} // namespace tl::test
