#include "ftpuifixture.h"

#include "core/openproject.h"
#include "core/projectfile.h"
#include "publish/sendrecord.h"
#include "ui/prompts.h"
#include "ui/widgets.h"
#include "ui/posts/posttree.h"

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
        std::shared_ptr<QTcpServer> passive; // listener of the last EPSV
    };
    auto session = std::make_shared<Session>();
    control->write("220 Scripted server\r\n");

    // Opens the data connection (the client's connection to the EPSV
    // listener, or one to the client's PORT) and sends `payload`, or
    // (payload null) takes what the client sends; 226 once it has closed.
    auto transfer = [this, control, session](const QByteArray *payload) {
        control->write("150 Opening data connection\r\n");
        const QByteArray bytes = payload ? *payload : QByteArray();
        const bool sending = payload != nullptr;
        auto serve = [this, control, bytes, sending](QTcpSocket *data) {
            QObject::connect(data, &QTcpSocket::readyRead, data, [data] { data->readAll(); });
            QObject::connect(data, &QTcpSocket::disconnected, this, [control, data] {
                data->deleteLater();
                if (control->state() == QAbstractSocket::ConnectedState)
                    control->write("226 Transfer complete\r\n");
            });
            if (sending) {
                data->write(bytes);
                data->disconnectFromHost();
            }
        };
        if (std::shared_ptr<QTcpServer> listener = std::move(session->passive)) {
            auto take = [this, listener, serve] {
                QTcpSocket *data = listener->nextPendingConnection();
                data->setParent(this);
                listener->close();
                serve(data);
            };
            if (listener->hasPendingConnections())
                take();
            else
                QObject::connect(listener.get(), &QTcpServer::newConnection, this, take);
            return;
        }
        auto *data = new QTcpSocket(this);
        QObject::connect(data, &QTcpSocket::connected, data, [data, serve] { serve(data); });
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
            } else if (verb == "EPSV") {
                session->passive = std::make_shared<QTcpServer>();
                session->passive->listen(QHostAddress::LocalHost, 0);
                control->write("229 Entering Extended Passive Mode (|||"
                               + QByteArray::number(session->passive->serverPort()) + "|)\r\n");
            } else if (verb == "TYPE") {
                control->write("200 Type set\r\n");
            } else if (verb == "DELE") {
                control->write("250 Deleted\r\n");
            } else if (verb == "RNFR") {
                control->write("350 Ready for the new name\r\n");
            } else if (verb == "RNTO") {
                control->write("250 Renamed\r\n");
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

    ASSERT_TRUE(QDir().mkpath(site()));
    ASSERT_TRUE(QDir().mkpath(data()));
    ASSERT_TRUE(QDir().mkpath(root() + "conf"));
    // Three posts over two months (times in seconds since 1970).
    writeBytes(data() + "/1700000000.txt", "First post\r\nHello <b>world</b>");
    writeBytes(data() + "/1700090000.txt", "Second\r\nLine one\r\nLine two");
    writeBytes(data() + "/1702000000.txt", "December\r\nWinter is here");
    const QString conf = QStringLiteral(TL_SOURCE_DIR "/conf/");
    // The project "blog", opened at start-up.
    ProjectSettings s;
    s.site.mainFolder = site();
    s.site.dataFolder = data();
    s.site.mainTemplate = conf + "template.htm";
    s.site.archiveTemplate = conf + "archtemp.htm";
    s.site.feedTemplate = conf + "template.rss";
    s.site.textTemplate = conf + "template.txt";
    s.site.archiveFolder = "archive/";
    s.server.host = "127.0.0.1";
    s.server.user = "user";
    s.server.port = QString::number(server.port());
    s.server.remoteMainFolder = "/www/";
    s.server.remoteDataFolder = "/data/";
    projectfile::save(root() + "conf/blog.tvp", s);
    // The blog was published before: its record says the server has the
    // three posts.
    SendRecord record = SendRecord::load(SendRecord::pathFor(root() + "conf/blog.tvp"));
    for (const QString &post : QDir(data()).entryList(QDir::Files))
        record.confirmSent("/data/" + post.toStdString(), SendRecord::contentOf(data() + "/" + post));
    record.save();
    writeBytes(root() + "tarvlit.ini", "[TForm1]\r\ncmbDEFPROJ_Text=blog\r\n");

    MainWindow &win = fx.start();
    ASSERT_EQ(win.project().name(), "blog");
    setField("edtPASSWORD", "pw");
    ASSERT_TRUE(errors().isEmpty()) << errors().join("|").toStdString();
    prompts().shown.clear();
    logView()->clear();
}

void FtpTab::TearDown()
{
    fx.stop();
    server.stop();
}

void FtpTab::generate()
{
    prompts().answers.push_back(Prompts::Answer::No);
    action(w(), "actGENERATE")->trigger();
    ASSERT_TRUE(errors().isEmpty()) << errors().join("|").toStdString();
    ASSERT_GE(queuedPages().size(), 5);
    prompts().shown.clear();
    logView()->clear();
}

void FtpTab::pressSend() { control<QPushButton>(w(), "btnSENDFTP")->click(); }
void FtpTab::pressRead() { action(w(), "actREADFROMFTP")->trigger(); }
void FtpTab::pressSaveLocal() { control<QPushButton>(w(), "Button3")->click(); }

QStringList FtpTab::entries(const QListWidget *list)
{
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        out << list->item(i)->text();
    return out;
}

QStringList FtpTab::logLines()
{
    const QString text = logView()->toPlainText();
    return text.isEmpty() ? QStringList() : text.split('\n');
}

QStringList FtpTab::tree()
{
    QStringList out;
    auto *postTree = control<QTreeWidget>(w(), "TreeView1");
    for (int i = 0; i < postTree->topLevelItemCount(); ++i) {
        QTreeWidgetItem *m = postTree->topLevelItem(i);
        fillMonthPosts(m);
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
