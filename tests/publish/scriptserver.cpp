#include "scriptserver.h"

#include <QStringList>
#include <memory>

namespace tl::test {

ScriptServer::ScriptServer()
{
    m_listener.listen(QHostAddress(QHostAddress::LocalHost), 0);
    QObject::connect(&m_listener, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket *s = m_listener.nextPendingConnection()) {
            ++connections;
            s->setParent(this);
            session = new ScriptSession(*this, s);
        }
    });
}

std::vector<std::string> ScriptServer::verbs() const
{
    std::vector<std::string> out;
    for (const std::string &c : commands)
        out.push_back(c.substr(0, c.find(' ')));
    return out;
}

ScriptSession::ScriptSession(ScriptServer &srv, QTcpSocket *ctl)
    : QObject(&srv), server(srv), control(ctl)
{
    control->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    m_dribbleTimer.setInterval(1);
    QObject::connect(&m_dribbleTimer, &QTimer::timeout, this, [this] { pumpOut(); });
    QObject::connect(control, &QTcpSocket::readyRead, this, [this] { onReadable(); });
    reply(server.greeting);
    if (server.hangUpAfterGreeting)
        closeControl();
}

void ScriptSession::reply(const QByteArray &bytes)
{
    m_out.append(bytes);
    if (server.dribble) {
        if (!m_dribbleTimer.isActive())
            m_dribbleTimer.start();
    } else {
        pumpOut();
    }
}

void ScriptSession::pumpOut()
{
    if (control->state() != QAbstractSocket::ConnectedState) {
        m_out.clear();
        m_dribbleTimer.stop();
        return;
    }
    if (!m_out.isEmpty()) {
        qsizetype n = server.dribble ? 1 : m_out.size();
        control->write(m_out.left(n));
        control->flush();
        m_out.remove(0, n);
    }
    if (m_out.isEmpty()) {
        m_dribbleTimer.stop();
        if (m_closeWhenSent)
            control->disconnectFromHost();
    }
}

void ScriptSession::closeControl()
{
    m_closeWhenSent = true;
    if (m_out.isEmpty())
        control->disconnectFromHost();
}

void ScriptSession::onReadable()
{
    m_in.append(control->readAll());
    for (;;) {
        qsizetype lf = m_in.indexOf('\n');
        if (lf < 0)
            return;
        QByteArray line = m_in.left(lf);
        m_in.remove(0, lf + 1);
        if (line.endsWith('\r'))
            line.chop(1);
        std::string cmd(line.constData(), static_cast<size_t>(line.size()));
        server.commands.push_back(cmd);
        size_t sp = cmd.find(' ');
        std::string verb = cmd.substr(0, sp);
        std::string arg = sp == std::string::npos ? std::string() : cmd.substr(sp + 1);
        if (verb == "PORT" || verb == "EPSV" || verb == "PASV") {
            delete passive;
            passive = nullptr;
        }
        if (verb == "PORT") {
            QStringList parts = QString::fromStdString(arg).split(',');
            if (parts.size() == 6) {
                portHost = QHostAddress(parts.mid(0, 4).join('.'));
                portPort = static_cast<quint16>(parts[4].toInt() * 256 + parts[5].toInt());
            }
        }
        auto it = server.handlers.find(verb);
        if (it != server.handlers.end())
            it->second(*this, arg);
        else
            standard(verb, arg);
    }
}

void ScriptSession::listenPassive()
{
    passive = new QTcpServer(this);
    passive->listen(QHostAddress::LocalHost, 0);
}

QTcpSocket *ScriptSession::openData(std::function<void(QTcpSocket *)> onOpen,
                                    const QHostAddress &from)
{
    if (passive) {
        QTcpServer *listener = passive;
        passive = nullptr;
        auto take = [this, listener, onOpen]() -> QTcpSocket * {
            QTcpSocket *data = listener->nextPendingConnection();
            data->setParent(this);
            listener->close();
            listener->deleteLater();
            if (onOpen)
                onOpen(data);
            return data;
        };
        if (listener->hasPendingConnections())
            return take();
        QObject::connect(listener, &QTcpServer::newConnection, this, [take] { take(); });
        return nullptr;
    }
    auto *data = new QTcpSocket(this);
    if (!from.isNull())
        data->bind(from);
    QObject::connect(data, &QTcpSocket::connected, this, [data, onOpen] {
        if (onOpen)
            onOpen(data);
    });
    data->connectToHost(portHost, portPort);
    return data;
}

void ScriptSession::sendDataAndClose(QTcpSocket *data, const QByteArray &bytes,
                                     std::function<void()> then)
{
    QObject::connect(data, &QTcpSocket::disconnected, this, [then] {
        if (then)
            then();
    });
    data->write(bytes);
    data->disconnectFromHost();
}

void ScriptSession::standard(const std::string &verb, const std::string &arg)
{
    if (verb == "USER") {
        reply("331 Password required\r\n");
    } else if (verb == "PASS") {
        reply("230 Logged in\r\n");
    } else if (verb == "CWD") {
        reply("250 Directory changed\r\n");
    } else if (verb == "PORT") {
        reply("200 PORT command successful\r\n");
    } else if (verb == "TYPE") {
        reply("200 Type set\r\n");
    } else if (verb == "EPSV") {
        listenPassive();
        reply("229 Entering Extended Passive Mode (|||" + QByteArray::number(passive->serverPort())
              + "|)\r\n");
    } else if (verb == "PASV") {
        listenPassive();
        const quint16 p = passive->serverPort();
        reply("227 Entering Passive Mode (" + server.pasvAddress + "," + QByteArray::number(p / 256)
              + "," + QByteArray::number(p % 256) + ")\r\n");
    } else if (verb == "RNFR") {
        renameFrom = arg;
        reply(server.files.count(arg) ? "350 Ready for RNTO\r\n" : "550 No such file\r\n");
    } else if (verb == "RNTO") {
        if (!server.files.count(renameFrom)) {
            reply("503 RNFR first\r\n");
        } else if (server.files.count(arg) && !server.renameOverExisting) {
            reply("553 File exists\r\n");
        } else {
            server.files[arg] = server.files[renameFrom];
            server.files.erase(renameFrom);
            reply("250 Renamed\r\n");
        }
        renameFrom.clear();
    } else if (verb == "DELE") {
        reply(server.files.erase(arg) ? "250 Deleted\r\n" : "550 No such file\r\n");
    } else if (verb == "NLST") {
        reply("150 Here comes the listing\r\n");
        openData([this](QTcpSocket *d) {
            sendDataAndClose(d, server.listing, [this] { reply("226 Transfer complete\r\n"); });
        });
    } else if (verb == "RETR") {
        reply("150 Opening data connection for " + QByteArray::fromStdString(arg) + " ("
              + QByteArray::number(server.fileContent.size()) + " bytes)\r\n");
        openData([this](QTcpSocket *d) {
            sendDataAndClose(d, server.fileContent, [this] { reply("226 Transfer complete\r\n"); });
        });
    } else if (verb == "STOR") {
        server.storedName = arg;
        reply("150 Ok to send data\r\n");
        auto received = std::make_shared<QByteArray>();
        openData([this, received, arg](QTcpSocket *d) {
            server.files[arg].clear(); // a real server creates the file now
            auto take = [this, d, received, arg] {
                QByteArray bytes = d->readAll();
                received->append(bytes);
                server.files[arg].append(bytes);
                if (server.onStoreData && !bytes.isEmpty()
                    && !server.onStoreData(*this, received->size())) {
                    d->disconnect(this);
                    d->abort();
                    reply("426 Connection closed; transfer aborted.\r\n");
                }
            };
            QObject::connect(d, &QTcpSocket::readyRead, this, take);
            QObject::connect(d, &QTcpSocket::disconnected, this, [this, received, take] {
                take();
                server.stored = *received;
                if (server.finalReplyDelayMs > 0)
                    QTimer::singleShot(server.finalReplyDelayMs, this,
                                       [this] { reply("226 Transfer complete\r\n"); });
                else
                    reply("226 Transfer complete\r\n");
            });
        });
    } else if (verb == "QUIT") {
        reply("221 Goodbye\r\n");
        closeControl();
    } else {
        reply("502 Command not implemented\r\n");
    }
}

} // namespace tl::test
