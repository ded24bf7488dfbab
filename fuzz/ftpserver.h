#pragma once
// An FTP server inside the fuzz process whose replies come from the fuzz
// input. It runs on the caller's thread: the client's waits run the event
// loop, and with it this server.
//
// The script is a list of records, each a header line "@NAME" and the bytes
// up to the next line that begins with "@" (the line feed before it
// included):
//   @GREETING          sent when a client connects
//   @<VERB>            the reply to the next command with that verb (USER,
//                      RETR, STOR, PASV, ...); several records of one verb
//                      answer its commands in turn
//   @LISTING           the data of NLST and LIST
//   @FILE              the data of RETR
//   @UPLOAD, @OPTIONS  read by the fuzz target, not by the server
// A reply's lines are sent as they are written, except lines that begin with
// "!": "!DATA" moves the command's data (see below), "!HALF" moves only the
// first half of a download's data, "!CLOSE" closes the control connection,
// "!RESET" resets it.
//
// A command without a record of its own gets a plain answer: USER 331,
// PASS 230, TYPE/MODE/STRU/OPTS/NOOP/PORT/EPRT 200, PASV 227 and EPSV 229
// (with this server's loopback address), CWD/CDUP/RMD 250, MKD/PWD 257,
// SIZE 213 (550 for a missing file), RNFR 350 (550), RNTO/DELE 250,
// FEAT a short list, SYST 215, NLST/LIST/RETR/STOR/APPE 150 + data + 226,
// QUIT 221 and close; anything else 502.
//
// The server does what its replies say: a rename or delete takes effect when
// its reply begins with "2"; an upload is stored when the client has sent all
// of its data and closed the data connection. Data connections go only to
// 127.0.0.1: active mode connects to the PORT or EPRT address when it is that
// address; passive mode listens on it. A scripted PASV or EPSV reply loses
// its "(", ")", "," and "|" characters and gets this server's address where
// it says "%A", so no reply can point the client anywhere else.
//
// A connection on which nothing happens for kIdleMs is closed, so an input
// that leaves the client waiting ends quickly.
#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace tl::fuzz {

struct FtpScript {
    // Records by name ("GREETING", "USER", ...), in input order.
    std::map<std::string, std::deque<std::string>> records;
    std::string record(const std::string &name, const std::string &otherwise) const;
};

FtpScript parseFtpScript(const std::string &input);

class FtpSession;

class ScriptedFtpServer : public QObject {
public:
    static constexpr int kIdleMs = 40;

    ScriptedFtpServer();
    ~ScriptedFtpServer() override;
    quint16 port() const { return m_listener.serverPort(); }

    // Starts over with a new script and an empty file store; closes every
    // connection of the previous one.
    void reset(const FtpScript &script);
    // Closes every connection now.
    void closeAll();
    bool idle() const;
    // True while a session moves data (or waits to).
    bool transferring() const;

    FtpScript script;
    std::map<std::string, std::string> store; // files uploaded, by name
    std::vector<std::string> commands;        // every command line received
    // What the last download and listing put on their data connections, and
    // whether they did so to the end (the server closed the connection).
    std::string retrSent, listingSent;
    bool retrDone = false, listingDone = false;
    // Whether a download's data step began at all (its reply may have had no
    // "!DATA" line, and then the data connection only ever closes).
    bool retrStarted = false, listingStarted = false;
    // Likewise for an upload: whether the server took its data connection.
    bool storeStarted = false;
    // The reply lines sent since the last transfer command (NLST, LIST,
    // RETR, STOR, APPE) arrived.
    std::vector<std::string> transferReply;

private:
    friend class FtpSession;
    QTcpServer m_listener;
    std::vector<std::unique_ptr<FtpSession>> m_sessions;
};

class FtpSession : public QObject {
public:
    FtpSession(ScriptedFtpServer &server, QTcpSocket *control);
    ~FtpSession() override;
    void close();
    bool closed() const;
    bool transferring() const { return m_busy && !closed(); }

private:
    struct Step {
        enum Kind { Text, Data, HalfData, Close, Reset } kind;
        std::string text;
    };
    void onCommand(const std::string &line);
    void answer(const std::string &verb, const std::string &argument);
    void queueReply(const std::string &reply);
    void pump();
    void touch();
    bool openData();
    void onDataReady();
    void finishData();
    std::string passiveAddress(bool extended);

    ScriptedFtpServer &m_server;
    std::unique_ptr<QTcpSocket> m_control;
    QByteArray m_in;
    std::deque<Step> m_steps;
    bool m_busy = false; // a data step is running
    QTimer m_idle;

    // The data channel of the current transfer.
    std::string m_transferVerb, m_transferArg;
    QHostAddress m_activeHost;
    quint16 m_activePort = 0;
    std::unique_ptr<QTcpServer> m_passive;
    std::unique_ptr<QTcpSocket> m_data;
    bool m_dataOpened = false;
    bool m_half = false;
    QByteArray m_received;
    std::string m_renameFrom;
};

} // namespace tl::fuzz
