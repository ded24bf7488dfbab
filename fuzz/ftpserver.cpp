#include "ftpserver.h"

#include <QStringList>

namespace tl::fuzz {

namespace {

std::string upper(std::string s)
{
    for (char &c : s)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return s;
}

bool beginsWith(const std::string &s, const char *prefix) { return s.rfind(prefix, 0) == 0; }

// A reply's lines, each with its line feed (the last one may have none).
std::vector<std::string> replyLines(const std::string &reply)
{
    std::vector<std::string> out;
    std::size_t pos = 0;
    while (pos < reply.size()) {
        std::size_t lf = reply.find('\n', pos);
        std::size_t end = lf == std::string::npos ? reply.size() : lf + 1;
        out.push_back(reply.substr(pos, end - pos));
        pos = end;
    }
    return out;
}

bool isTransfer(const std::string &verb)
{
    return verb == "RETR" || verb == "NLST" || verb == "LIST" || verb == "STOR" || verb == "APPE"
        || verb == "STOU";
}

bool isUpload(const std::string &verb) { return verb == "STOR" || verb == "APPE" || verb == "STOU"; }

} // namespace

std::string FtpScript::record(const std::string &name, const std::string &otherwise) const
{
    auto it = records.find(name);
    return it == records.end() || it->second.empty() ? otherwise : it->second.front();
}

FtpScript parseFtpScript(const std::string &input)
{
    FtpScript script;
    std::size_t pos = 0;
    // Text before the first record is not part of any.
    if (!beginsWith(input, "@")) {
        std::size_t at = input.find("\n@");
        pos = at == std::string::npos ? input.size() : at + 1;
    }
    while (pos < input.size()) {
        std::size_t headerEnd = input.find('\n', pos);
        if (headerEnd == std::string::npos)
            headerEnd = input.size();
        std::string name = input.substr(pos + 1, headerEnd - pos - 1);
        if (!name.empty() && name.back() == '\r')
            name.pop_back();
        const std::size_t bodyStart = std::min(headerEnd + 1, input.size());
        std::size_t next = input.find("\n@", bodyStart == 0 ? 0 : bodyStart - 1);
        const std::size_t bodyEnd = next == std::string::npos ? input.size() : next + 1;
        script.records[upper(name)].push_back(input.substr(bodyStart, bodyEnd - bodyStart));
        pos = bodyEnd;
    }
    return script;
}

// ------------------------------------------------------------------ server

ScriptedFtpServer::ScriptedFtpServer()
{
    m_listener.listen(QHostAddress::LocalHost, 0);
    QObject::connect(&m_listener, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket *s = m_listener.nextPendingConnection())
            m_sessions.push_back(std::make_unique<FtpSession>(*this, s));
    });
}

ScriptedFtpServer::~ScriptedFtpServer() { closeAll(); }

void ScriptedFtpServer::reset(const FtpScript &s)
{
    closeAll();
    m_sessions.clear();
    script = s;
    store.clear();
    commands.clear();
    retrSent.clear();
    listingSent.clear();
    retrDone = listingDone = retrStarted = listingStarted = storeStarted = false;
    transferReply.clear();
}

void ScriptedFtpServer::closeAll()
{
    for (auto &s : m_sessions)
        s->close();
}

bool ScriptedFtpServer::idle() const
{
    for (const auto &s : m_sessions)
        if (!s->closed())
            return false;
    return true;
}

bool ScriptedFtpServer::transferring() const
{
    for (const auto &s : m_sessions)
        if (s->transferring())
            return true;
    return false;
}

// ----------------------------------------------------------------- session

FtpSession::FtpSession(ScriptedFtpServer &server, QTcpSocket *control)
    : m_server(server), m_control(control)
{
    m_control->setParent(nullptr);
    // No waiting for acknowledgements between the small writes of a reply.
    m_control->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    m_idle.setSingleShot(true);
    m_idle.setInterval(ScriptedFtpServer::kIdleMs);
    QObject::connect(&m_idle, &QTimer::timeout, this, [this] { close(); });
    QObject::connect(m_control.get(), &QTcpSocket::readyRead, this, [this] {
        touch();
        m_in.append(m_control->readAll());
        for (;;) {
            const qsizetype lf = m_in.indexOf('\n');
            if (lf < 0)
                return;
            QByteArray line = m_in.left(lf);
            m_in.remove(0, lf + 1);
            if (line.endsWith('\r'))
                line.chop(1);
            onCommand(line.toStdString());
            if (closed())
                return;
        }
    });
    touch();
    queueReply(m_server.script.record("GREETING", "220 Fuzz server ready\r\n"));
    auto &g = m_server.script.records["GREETING"];
    if (!g.empty())
        g.pop_front();
}

FtpSession::~FtpSession()
{
    close();
    if (m_data)
        m_data.release()->deleteLater();
    if (m_control)
        m_control.release()->deleteLater();
}

void FtpSession::close()
{
    m_idle.stop();
    m_steps.clear();
    if (m_data) {
        m_data->disconnect(this);
        m_data->abort();
    }
    m_passive.reset();
    if (m_control) {
        m_control->disconnect(this);
        m_control->abort();
    }
}

bool FtpSession::closed() const
{
    return !m_control || m_control->state() == QAbstractSocket::UnconnectedState;
}

void FtpSession::touch() { m_idle.start(); }

void FtpSession::onCommand(const std::string &line)
{
    m_server.commands.push_back(line);
    const std::size_t sp = line.find(' ');
    const std::string verb = upper(line.substr(0, sp));
    const std::string arg = sp == std::string::npos ? std::string() : line.substr(sp + 1);

    if (verb == "PORT") {
        const QStringList p = QString::fromStdString(arg).split(',');
        m_passive.reset();
        m_activePort = 0;
        if (p.size() == 6) {
            m_activeHost = QHostAddress(p.mid(0, 4).join('.'));
            m_activePort = static_cast<quint16>(p[4].toInt() * 256 + p[5].toInt());
        }
    } else if (verb == "EPRT") {
        // "|1|127.0.0.1|port|"
        const QStringList p = QString::fromStdString(arg).split('|');
        m_passive.reset();
        m_activePort = 0;
        if (p.size() >= 4) {
            m_activeHost = QHostAddress(p[2]);
            m_activePort = static_cast<quint16>(p[3].toInt());
        }
    } else if (verb == "PASV" || verb == "EPSV") {
        m_activePort = 0;
        m_passive = std::make_unique<QTcpServer>();
        m_passive->listen(QHostAddress::LocalHost, 0);
    }
    if (isTransfer(verb)) {
        m_server.transferReply.clear();
        m_transferVerb = verb;
        m_transferArg = arg;
        m_received.clear();
    }
    answer(verb, arg);
}

std::string FtpSession::passiveAddress(bool extended)
{
    const quint16 p = m_passive ? m_passive->serverPort() : 0;
    if (extended)
        return "(|||" + std::to_string(p) + "|)";
    return "(127,0,0,1," + std::to_string(p / 256) + "," + std::to_string(p % 256) + ")";
}

void FtpSession::answer(const std::string &verb, const std::string &arg)
{
    auto &queue = m_server.script.records[verb];
    if (!queue.empty()) {
        std::string reply = queue.front();
        queue.pop_front();
        if (verb == "PASV" || verb == "EPSV") {
            std::string clean;
            for (char c : reply)
                if (c != '(' && c != ')' && c != ',' && c != '|')
                    clean += c;
            for (std::size_t at; (at = clean.find("%A")) != std::string::npos;)
                clean.replace(at, 2, passiveAddress(verb == "EPSV"));
            reply = clean;
        }
        const bool accepted = beginsWith(reply, "2");
        if (verb == "RNFR")
            m_renameFrom = m_server.store.count(arg) ? arg : std::string();
        if (verb == "RNTO" && accepted && !m_renameFrom.empty() && m_server.store.count(m_renameFrom)) {
            std::string bytes = m_server.store[m_renameFrom];
            m_server.store.erase(m_renameFrom);
            m_server.store[arg] = bytes;
            m_renameFrom.clear();
        }
        if (verb == "DELE" && accepted)
            m_server.store.erase(arg);
        queueReply(reply);
        return;
    }

    const std::string file = m_server.script.record("FILE", "Title\r\nBody\r\n");
    std::string r;
    if (verb == "USER")
        r = "331 Password required\r\n";
    else if (verb == "PASS" || verb == "ACCT")
        r = "230 Logged in\r\n";
    else if (verb == "TYPE" || verb == "MODE" || verb == "STRU" || verb == "OPTS" || verb == "NOOP"
             || verb == "PORT" || verb == "EPRT" || verb == "ALLO")
        r = "200 OK\r\n";
    else if (verb == "PASV")
        r = "227 Entering Passive Mode " + passiveAddress(false) + "\r\n";
    else if (verb == "EPSV")
        r = "229 Entering Extended Passive Mode " + passiveAddress(true) + "\r\n";
    else if (verb == "CWD" || verb == "CDUP" || verb == "XCWD" || verb == "RMD")
        r = "250 OK\r\n";
    else if (verb == "MKD")
        r = "257 \"" + arg + "\" created\r\n";
    else if (verb == "PWD" || verb == "XPWD")
        r = "257 \"/\" is the current directory\r\n";
    else if (verb == "SYST")
        r = "215 UNIX Type: L8\r\n";
    else if (verb == "FEAT")
        r = "211-Features:\r\n PASV\r\n EPSV\r\n SIZE\r\n211 End\r\n";
    else if (verb == "SIZE")
        r = "213 "
            + std::to_string(m_server.store.count(arg) ? m_server.store[arg].size() : file.size()) + "\r\n";
    else if (verb == "MDTM")
        r = "213 20030403000100\r\n";
    else if (verb == "REST")
        r = "350 Restarting\r\n";
    else if (verb == "ABOR")
        r = "226 Abort successful\r\n";
    else if (verb == "RNFR") {
        m_renameFrom = m_server.store.count(arg) ? arg : std::string();
        r = m_renameFrom.empty() ? "550 No such file\r\n" : "350 Ready for RNTO\r\n";
    } else if (verb == "RNTO") {
        if (m_renameFrom.empty() || !m_server.store.count(m_renameFrom)) {
            r = "503 RNFR first\r\n";
        } else {
            std::string bytes = m_server.store[m_renameFrom];
            m_server.store.erase(m_renameFrom);
            m_server.store[arg] = bytes;
            m_renameFrom.clear();
            r = "250 Renamed\r\n";
        }
    } else if (verb == "DELE") {
        r = m_server.store.erase(arg) ? "250 Deleted\r\n" : "550 No such file\r\n";
    } else if (verb == "RETR")
        r = "150 Opening data connection for " + arg + " (" + std::to_string(file.size())
            + " bytes)\r\n!DATA\r\n226 Transfer complete\r\n";
    else if (verb == "NLST" || verb == "LIST")
        r = "150 Here comes the listing\r\n!DATA\r\n226 Directory send OK\r\n";
    else if (isUpload(verb))
        r = "150 Ok to send data\r\n!DATA\r\n226 Transfer complete\r\n";
    else if (verb == "QUIT")
        r = "221 Goodbye\r\n!CLOSE\r\n";
    else
        r = "502 Command not implemented\r\n";
    queueReply(r);
}

void FtpSession::queueReply(const std::string &reply)
{
    for (const std::string &line : replyLines(reply)) {
        if (beginsWith(line, "!DATA"))
            m_steps.push_back({Step::Data, {}});
        else if (beginsWith(line, "!HALF"))
            m_steps.push_back({Step::HalfData, {}});
        else if (beginsWith(line, "!CLOSE"))
            m_steps.push_back({Step::Close, {}});
        else if (beginsWith(line, "!RESET"))
            m_steps.push_back({Step::Reset, {}});
        else
            m_steps.push_back({Step::Text, line});
    }
    pump();
}

void FtpSession::pump()
{
    while (!m_busy && !m_steps.empty() && !closed()) {
        const Step step = m_steps.front();
        m_steps.pop_front();
        switch (step.kind) {
        case Step::Text:
            m_server.transferReply.push_back(step.text);
            m_control->write(step.text.data(), static_cast<qint64>(step.text.size()));
            break;
        case Step::Close:
            m_steps.clear();
            m_control->disconnectFromHost();
            return;
        case Step::Reset:
            close();
            return;
        case Step::Data:
        case Step::HalfData:
            if (m_transferVerb.empty())
                break; // no transfer to move data for
            m_half = step.kind == Step::HalfData;
            m_busy = openData();
            break;
        }
    }
}

bool FtpSession::openData()
{
    touch();
    if (m_passive) {
        auto take = [this] {
            if (m_data || !m_passive || !m_passive->hasPendingConnections())
                return;
            m_data.reset(m_passive->nextPendingConnection());
            m_data->setParent(nullptr);
            m_passive.reset(); // one transfer per passive port
            onDataReady();
        };
        QObject::connect(m_passive.get(), &QTcpServer::newConnection, this, take);
        take();
        return true;
    }
    // Active mode: only ever to this machine.
    if (m_activePort == 0 || m_activeHost != QHostAddress(QHostAddress::LocalHost))
        return false;
    m_data = std::make_unique<QTcpSocket>();
    QObject::connect(m_data.get(), &QTcpSocket::connected, this, [this] { onDataReady(); });
    QObject::connect(m_data.get(), &QAbstractSocket::errorOccurred, this, [this](QAbstractSocket::SocketError) {
        if (m_data && m_data->state() == QAbstractSocket::UnconnectedState && !m_dataOpened)
            finishData();
    });
    m_data->connectToHost(m_activeHost, m_activePort);
    return true;
}

void FtpSession::onDataReady()
{
    touch();
    m_dataOpened = true;
    QTcpSocket *d = m_data.get();
    d->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    if (isUpload(m_transferVerb)) {
        m_server.storeStarted = true;
        QObject::connect(d, &QTcpSocket::readyRead, this, [this, d] {
            touch();
            m_received.append(d->readAll());
        });
        QObject::connect(d, &QTcpSocket::disconnected, this, [this, d] {
            m_received.append(d->readAll());
            std::string &stored = m_server.store[m_transferArg];
            const std::string bytes = m_received.toStdString();
            stored = m_transferVerb == "APPE" ? stored + bytes : bytes;
            finishData();
        });
        m_received.append(d->readAll());
        if (d->state() == QAbstractSocket::UnconnectedState) {
            m_server.store[m_transferArg] = m_received.toStdString();
            finishData();
        }
        return;
    }
    const bool listing = m_transferVerb == "NLST" || m_transferVerb == "LIST";
    std::string bytes = listing ? m_server.script.record("LISTING", "1049328060.txt\r\n")
                                : m_server.script.record("FILE", "Title\r\nBody\r\n");
    if (m_half)
        bytes.resize(bytes.size() / 2);
    (listing ? m_server.listingSent : m_server.retrSent) = bytes;
    (listing ? m_server.listingStarted : m_server.retrStarted) = true;
    (listing ? m_server.listingDone : m_server.retrDone) = false;
    QObject::connect(d, &QTcpSocket::bytesWritten, this, [this] { touch(); });
    QObject::connect(d, &QTcpSocket::disconnected, this, [this, listing] {
        (listing ? m_server.listingDone : m_server.retrDone) = true;
        finishData();
    });
    d->write(bytes.data(), static_cast<qint64>(bytes.size()));
    d->disconnectFromHost();
    if (m_data && d->state() == QAbstractSocket::UnconnectedState) {
        (listing ? m_server.listingDone : m_server.retrDone) = true;
        finishData();
    }
}

void FtpSession::finishData()
{
    if (m_data) {
        m_data->disconnect(this);
        // We may be inside one of its signals.
        m_data.release()->deleteLater();
    }
    m_passive.reset();
    m_transferVerb.clear();
    m_dataOpened = false;
    m_busy = false;
    touch();
    pump();
}

} // namespace tl::fuzz
