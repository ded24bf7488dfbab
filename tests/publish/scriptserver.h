#pragma once
#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace tl::test {

class ScriptSession;

// An FTP server on 127.0.0.1 whose every reply is scripted byte for byte. It
// runs on the test's own thread: the client's waits run the event loop, and
// with it this server.
//
// Each command is answered by the handler registered for its verb, else by a
// plain standard answer (USER 331, PASS 230, CWD 250, TYPE 200, PORT 200, EPSV
// 229 and PASV 227 with a listener on 127.0.0.1, NLST/RETR/STOR over the data
// connection of the last PORT, EPSV or PASV, RNFR 350 and RNTO 250, DELE 250,
// QUIT 221 and close, anything else 502). STOR, RNFR/RNTO and DELE work on
// `files`, the server's own folder.
class ScriptServer : public QObject {
public:
    using Handler = std::function<void(ScriptSession &session, const std::string &argument)>;

    ScriptServer();
    quint16 port() const { return m_listener.serverPort(); }

    // ---- script ----
    QByteArray greeting = "220 Scripted server ready\r\n";
    bool dribble = false;     // send every reply one byte at a time
    bool hangUpAfterGreeting = false;
    QByteArray listing;       // data of NLST
    QByteArray fileContent;   // data of RETR
    std::map<std::string, Handler> handlers; // by verb ("USER", "CWD", ...)
    QByteArray pasvAddress = "127,0,0,1";    // the address a PASV reply names
    bool renameOverExisting = true; // else RNTO onto an existing name gets 553
    int finalReplyDelayMs = 0;      // wait before the 226 of a STOR
    // Runs as data of a STOR arrives, with the count so far; answering false
    // drops the transfer: the data connection is reset and 426 replied.
    std::function<bool(ScriptSession &session, qint64 received)> onStoreData;
    std::map<std::string, QByteArray> files; // the server's folder, by name

    // ---- what happened ----
    std::vector<std::string> commands; // every command line, without its line end
    std::string storedName;            // argument of the last STOR
    QByteArray stored;                 // data of the last completed STOR
    int connections = 0;
    ScriptSession *session = nullptr;  // the latest control connection

    // Verbs of the commands received, in order ("USER", "PASS", ...).
    std::vector<std::string> verbs() const;

private:
    QTcpServer m_listener;
};

// One control connection of the scripted server.
class ScriptSession : public QObject {
public:
    ScriptSession(ScriptServer &server, QTcpSocket *control);

    // Sends bytes on the control connection (one at a time when dribbling).
    void reply(const QByteArray &bytes);
    // Closes the control connection once everything queued has gone out.
    void closeControl();
    // The standard answer to a command.
    void standard(const std::string &verb, const std::string &argument);

    // Opens the data connection: takes the client's connection to the
    // passive listener of the last EPSV or PASV, or else connects to the
    // client's PORT address, from `from` when it is given; `onOpen` runs once
    // it is connected.
    QTcpSocket *openData(std::function<void(QTcpSocket *)> onOpen,
                         const QHostAddress &from = QHostAddress());
    // Sends bytes on a data connection and closes it; `then` runs once closed.
    void sendDataAndClose(QTcpSocket *data, const QByteArray &bytes,
                          std::function<void()> then);

    ScriptServer &server;
    QTcpSocket *control;
    QHostAddress portHost;
    quint16 portPort = 0;
    QTcpServer *passive = nullptr; // listener of the last EPSV or PASV
    std::string renameFrom;

private:
    void listenPassive();
    void onReadable();
    void pumpOut();

    QByteArray m_in;
    QByteArray m_out;
    bool m_closeWhenSent = false;
    QTimer m_dribbleTimer;
};

} // namespace tl::test
