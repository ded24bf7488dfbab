#include "publish/ftpclient.h"
#include "publish/networkwait.h"
#include "publish/replacingfile.h"
#include "publish/wholeupload.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFile>
#include <QSslSocket>
#include <climits>
#include <exception>
#include <regex>

namespace tl {

const char *const kMsgBadCommandChar =
    "Invalid character in FTP command (carriage return, line feed or zero byte)";
const char *const kMsgTlsRefused = "The server refused TLS (FTPS)";
const char *const kMsgUntrustedCertificate = "The server's certificate is not trusted";
const char *const kMsgDataCertificate =
    "The data connection presented another certificate than the server";
const char *const kMsgReplyTooLong = "Protocol error: the server's reply is too long";
const char *const kMsgReplyNotEnded = "Protocol error: the server's reply did not end";
const char *const kMsgBadPassiveReply = "Protocol error: no port in the passive mode reply";
const char *const kMsgIncomplete = "Transfer incomplete: received ";
const char *const kMsgNoConfirmation = "Protocol error: the server did not confirm the transfer";
const char *const kMsgNoPreliminary = "Protocol error: the server's reply to the transfer has no code";

namespace {

// Rest-of-reply rule: a reply goes on while its last line begins with a space
// or has "-" as its fourth character.
bool continues(const std::string &line)
{
    return (!line.empty() && line[0] == ' ') || (line.size() >= 4 && line[3] == '-');
}

// Judging bands: a code outside its band counts as success.
bool refusedLogin(int code) { return code > 400 && code < 600; }       // USER, PASS
bool refusedCommand(int code) { return code >= 400 && code <= 599; }   // DoCommand
bool refusedTransfer(int code) { return code > 300 && code < 600; }    // PORT, RETR, STOR, NLST, QUIT
bool isDigit(char c) { return c >= '0' && c <= '9'; }

// A line that begins with a three-digit reply code.
bool hasReplyCode(const std::string &line)
{
    return line.size() >= 3 && isDigit(line[0]) && isDigit(line[1]) && isDigit(line[2]);
}

// The bare file name of a local path: the part after its last "/".
std::string bareName(const std::string &path)
{
    size_t p = path.rfind('/');
    return p == std::string::npos ? path : path.substr(p + 1);
}

// A reply line without its line end, for messages.
std::string trimmed(std::string line)
{
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.pop_back();
    return line;
}

std::string certificateName(const QSslCertificate &c, bool issuer)
{
    const std::pair<QSslCertificate::SubjectInfo, const char *> parts[] = {
        {QSslCertificate::CommonName, "CN"},
        {QSslCertificate::Organization, "O"},
        {QSslCertificate::OrganizationalUnitName, "OU"},
        {QSslCertificate::LocalityName, "L"},
        {QSslCertificate::StateOrProvinceName, "ST"},
        {QSslCertificate::CountryName, "C"},
    };
    std::string out;
    for (const auto &[what, tag] : parts) {
        const QStringList values = issuer ? c.issuerInfo(what) : c.subjectInfo(what);
        for (const QString &v : values)
            out += (out.empty() ? "" : ", ") + std::string(tag) + "=" + v.toStdString();
    }
    return out;
}

// Fingerprints compared without regard to case or separators.
std::string fingerprintKey(const std::string &text)
{
    std::string out;
    for (char c : text) {
        if (isDigit(c) || (c >= 'a' && c <= 'f'))
            out += c;
        else if (c >= 'A' && c <= 'F')
            out += static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

} // namespace

// Bounds one whole reply (all its lines) in time and size while it lives.
class FtpClient::ReplyLimit {
public:
    explicit ReplyLimit(FtpClient *ftp) : m_ftp(ftp)
    {
        m_ftp->m_control.SetWaitDeadline(m_ftp->m_control.NoDataTimeOut, kMsgReplyNotEnded);
    }
    ~ReplyLimit() { m_ftp->m_control.ClearWaitDeadline(); }
    ReplyLimit(const ReplyLimit &) = delete;
    ReplyLimit &operator=(const ReplyLimit &) = delete;

    void count(const std::string &line)
    {
        m_bytes += static_cast<qint64>(line.size());
        if (m_bytes > kMaxReplyBytes)
            throw ESockError(kMsgReplyTooLong);
    }

private:
    FtpClient *m_ftp;
    qint64 m_bytes = 0;
};

// Frees the data connection of a transfer on every way out of it.
class FtpClient::DataScope {
public:
    explicit DataScope(FtpClient *ftp) : m_ftp(ftp) {}
    ~DataScope() { m_ftp->m_data.reset(); }
    DataScope(const DataScope &) = delete;
    DataScope &operator=(const DataScope &) = delete;

private:
    FtpClient *m_ftp;
};

FtpClient::FtpClient()
{
    m_control.InputLimit = kMaxControlInput;
    m_control.OnDataArrived = [this] { watchForAbort(); };
    m_control.OnClosedByPeer = [this] {
        // Without its control connection a transfer can never finish.
        if (m_data)
            m_data->AbortWaits(kMsgConnectionClosed);
    };
    m_control.OnInputOverflow = [this] {
        // The control connection is beyond repair; the transfer on it too.
        if (m_data)
            m_data->AbortWaits(kMsgInputFlood);
    };
    m_control.OnStatus = [this](FtpSocket *, const std::string &text) {
        if (OnStatus)
            OnStatus(text);
    };
    m_control.OnError = [this](FtpSocket *, quint16 number, const std::string &text) {
        if (OnError)
            OnError(number, text);
    };
}

FtpClient::~FtpClient()
{
    Cancel();
    if (Connected()) {
        try {
            Disconnect(); // says QUIT
        } catch (...) {
        }
    }
    m_data.reset();
}

// ---------------------------------------------------------------- helpers

int FtpClient::SizeFromReply(const std::string &line)
{
    std::string up = line;
    for (char &c : up)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    size_t at = up.find("BYTE");
    if (at == std::string::npos)
        return 0;
    long long i = static_cast<long long>(at) - 1;
    while (i >= 0 && !isDigit(up[static_cast<size_t>(i)]))
        --i;
    if (i < 0)
        return 0;
    long long end = i;
    while (i >= 0 && isDigit(up[static_cast<size_t>(i)]))
        --i;
    long long value = 0;
    for (long long k = i + 1; k <= end; ++k) {
        value = value * 10 + (up[static_cast<size_t>(k)] - '0');
        if (value > INT_MAX)
            return 0;
    }
    return static_cast<int>(value);
}

qint64 FtpClient::ExactSizeFromReply(const std::string &line)
{
    static const std::regex form(R"(\((\d{1,18}) bytes\))", std::regex::icase);
    std::smatch m;
    if (!std::regex_search(line, m, form))
        return -1;
    return std::stoll(m[1].str());
}

FtpCommandKind FtpClient::CommandKind(const std::string &command)
{
    std::string first = command.substr(0, command.find(' ')) + " ";
    if (first == "CWD ")
        return cmdChangeDir;
    if (first == "DELE ")
        return cmdDelete;
    if (first == "MKD ")
        return cmdMakeDir;
    if (first == "RMD ")
        return cmdRemoveDir;
    if (command == "PWD")
        return cmdCurrentDir;
    return cmdDoCommand;
}

int FtpClient::PortFromEpsvReply(const std::string &line)
{
    // "229 Entering Extended Passive Mode (|||6446|)": the delimiter is the
    // character after "(", the port stands between its third and fourth use.
    size_t open = line.find('(');
    if (open == std::string::npos || open + 1 >= line.size())
        return -1;
    const char d = line[open + 1];
    size_t at = open + 1;
    for (int i = 0; i < 3; ++i) {
        if (at >= line.size() || line[at] != d)
            return -1;
        ++at;
    }
    long port = 0;
    size_t digits = 0;
    while (at < line.size() && isDigit(line[at]) && digits < 6) {
        port = port * 10 + (line[at] - '0');
        ++at;
        ++digits;
    }
    if (digits == 0 || at >= line.size() || line[at] != d || port < 1 || port > 65535)
        return -1;
    return static_cast<int>(port);
}

int FtpClient::PortFromPasvReply(const std::string &line)
{
    // "227 Entering Passive Mode (h1,h2,h3,h4,p1,p2)", with or without the
    // brackets; the address is not used.
    static const std::regex six(R"((\d{1,3}),(\d{1,3}),(\d{1,3}),(\d{1,3}),(\d{1,3}),(\d{1,3}))");
    std::smatch m;
    const std::string text = line.size() > 4 ? line.substr(4) : std::string();
    if (!std::regex_search(text, m, six))
        return -1;
    for (int i = 1; i <= 6; ++i)
        if (std::stoi(m[i].str()) > 255)
            return -1;
    int port = std::stoi(m[5].str()) * 256 + std::stoi(m[6].str());
    return port > 0 ? port : -1;
}

std::string FtpClient::Fingerprint(const QSslCertificate &certificate)
{
    return certificate.digest(QCryptographicHash::Sha256).toHex(':').toUpper().toStdString();
}

void FtpClient::report(const std::string &text, int level)
{
    if (ReportLevel >= level && OnStatus)
        OnStatus(text);
}

void FtpClient::log(const std::string &line)
{
    report(line, 1);
    if (OnLog)
        OnLog(line);
}

void FtpClient::progress(qint64 bytes, qint64 total)
{
    if (OnProgress)
        OnProgress(bytes, total);
}

void FtpClient::checkCommand(const std::string &command)
{
    // A line break would end the command early and let the rest of the text
    // run as a second command.
    static const char bad[] = {'\r', '\n', '\0'};
    if (command.find_first_of(bad, 0, 3) != std::string::npos)
        throw FTPException(kMsgBadCommandChar);
}

void FtpClient::begin()
{
    m_control.ClearCancel();
    m_control.NoDataTimeOut = NoDataTimeOut;
    m_control.ReportLevel = ReportLevel;
    if (!Connected())
        throw AppError("Not Connected");
}

std::string FtpClient::exchange(const std::string &command)
{
    m_replyCode = 0;
    m_control.Transaction(command);
    m_lastReply = m_control.LastReply();
    m_replyCode = m_control.ReplyCode();
    return m_lastReply;
}

void FtpClient::readRestOfReply(std::string line,
                                const std::function<void(const std::string &)> &eachLine)
{
    if (!continues(line))
        return;
    ReplyLimit limit(this);
    limit.count(line);
    while (continues(line)) {
        line = m_control.ReadLn();
        limit.count(line);
        report(line, 1);
        if (eachLine)
            eachLine(line);
    }
}

std::string FtpClient::Transaction(const std::string &command)
{
    checkCommand(command);
    std::string first = exchange(command);
    readRestOfReply(first);
    return first;
}

void FtpClient::failure(FtpCommandKind kind)
{
    if (!OnFailure)
        throw FTPException(m_lastReply);
    bool handled = false;
    OnFailure(handled, kind);
    if (!handled)
        throw FTPException(m_lastReply);
}

// ------------------------------------------------------------- abort watch

void FtpClient::watchForAbort()
{
    if (!m_abortWatch)
        return;
    // A reply 421 (service closing) or 426 (transfer aborted) ends whatever
    // the client is waiting for.
    if (m_control.UnreadCount() < 4)
        return;
    const std::string code = m_control.PeekUnread(3);
    if (code == "421" || code == "426")
        Cancel();
}

void FtpClient::Cancel()
{
    m_control.Cancel();
    if (m_data)
        m_data->Cancel();
}

// ------------------------------------------------------ connect, disconnect

void FtpClient::Connect()
{
    m_control.ClearCancel();
    if (Connected())
        return;
    checkCommand(UserID);
    checkCommand(Password);
    if (!Proxy.empty())
        checkCommand(Host);
    m_control.TakeUnread();
    m_control.Host = Host;
    m_control.Port = Port;
    m_control.Proxy = Proxy;
    m_control.ProxyPort = ProxyPort;
    m_control.NoDataTimeOut = NoDataTimeOut;
    m_control.ReportLevel = ReportLevel;
    m_control.TlsSockets = UseTls;
    m_imageType = false;
    m_epsvRefused = false;
    m_protected = false;
    m_finalReplyDue = false;
    m_serverCertificate = QSslCertificate();
    m_control.Connect();
    try {
        readRestOfReply(" "); // the greeting, not judged
        if (UseTls)
            startControlTls();
        auto login = [this](const std::string &command) {
            Transaction(command);
            if (refusedLogin(m_replyCode))
                throw FTPException(m_lastReply);
        };
        report("USER " + UserID, 1);
        login(Proxy.empty() ? "USER " + UserID : "USER " + UserID + "@" + Host);
        if (m_replyCode == 331) {
            report("PASS ", 1);
            login("PASS " + Password);
        }
        if (UseTls) {
            // Data connections encrypted as well, or no session at all.
            for (const char *command : {"PBSZ 0", "PROT P"}) {
                Transaction(command);
                if (m_replyCode < 200 || m_replyCode > 299)
                    throw FTPException(std::string(kMsgTlsRefused) + ": " + trimmed(m_lastReply));
            }
            m_protected = true;
        }
    } catch (const FTPException &) {
        closeAfterFailedConnect(true);
        throw;
    } catch (...) {
        closeAfterFailedConnect(false);
        throw;
    }
}

void FtpClient::closeAfterFailedConnect(bool serverAnswered)
{
    // A server that answered gets its QUIT, with a short wait for the reply;
    // one that went silent, cut the reply short or flooded us is not waited
    // for again: the failed Connect ends within one silence limit.
    m_control.ClearWaitDeadline();
    m_control.ClearCancel();
    if (Connected() && serverAnswered) {
        const int limit = NoDataTimeOut;
        NoDataTimeOut = limit > 0 ? std::min(limit, kCleanupWaitMs) : kCleanupWaitMs;
        try {
            Disconnect();
        } catch (...) {
        }
        NoDataTimeOut = limit;
    } else if (Connected()) {
        // Say goodbye without waiting for an answer.
        m_control.TakeUnread();
        try {
            m_control.Writeln("QUIT");
        } catch (...) {
        }
    }
    if (Connected())
        m_control.Disconnect();
    m_control.ClearCancel();
    report("Disconnected", 1);
}

void FtpClient::startControlTls()
{
    Transaction("AUTH TLS");
    if (m_replyCode != 234)
        throw FTPException(std::string(kMsgTlsRefused) + ": " + trimmed(m_lastReply));
    QSslConfiguration config = QSslConfiguration::defaultConfiguration();
    config.setPeerVerifyMode(QSslSocket::VerifyPeer);
    // Keep the session so that data connections can resume it.
    config.setSslOption(QSsl::SslOptionDisableSessionPersistence, false);
    m_control.StartTls(config, Host);
    judgeCertificate();
}

void FtpClient::judgeCertificate()
{
    const QSslCertificate cert = m_control.PeerCertificate();
    if (!m_control.TlsErrors().isEmpty()) {
        const std::string fingerprint = Fingerprint(cert);
        if (!TrustedFingerprint.empty()
            && fingerprintKey(fingerprint) == fingerprintKey(TrustedFingerprint)) {
            log("Certificate accepted by its remembered fingerprint " + fingerprint);
        } else {
            CertificateInfo info;
            info.Subject = certificateName(cert, false);
            info.Issuer = certificateName(cert, true);
            info.Fingerprint = fingerprint;
            for (const QSslError &e : m_control.TlsErrors())
                info.Problems += (info.Problems.empty() ? "" : "; ") + e.errorString().toStdString();
            info.Changed = !TrustedFingerprint.empty();
            const bool accepted = OnUntrustedCertificate && OnUntrustedCertificate(info);
            if (!accepted)
                throw ESockError(std::string(kMsgUntrustedCertificate) + ": " + info.Problems);
            TrustedFingerprint = fingerprint;
            log("Certificate accepted: " + fingerprint);
            if (OnCertificateAccepted)
                OnCertificateAccepted(fingerprint);
        }
    }
    m_serverCertificate = cert;
}

void FtpClient::Disconnect()
{
    m_control.ClearCancel();
    if (!Connected())
        return;
    m_control.NoDataTimeOut = NoDataTimeOut;
    report("QUIT", 1);
    m_control.TakeUnread();
    try {
        Transaction("QUIT");
    } catch (...) {
        m_control.Disconnect();
        throw;
    }
    m_control.Disconnect();
    if (refusedTransfer(m_replyCode))
        throw FTPException(m_lastReply);
}

void FtpClient::Drop()
{
    if (Connected())
        m_control.Disconnect();
}

// ------------------------------------------------------------- commands

void FtpClient::DoCommand(const std::string &command)
{
    FtpCommandKind kind = CommandKind(command);
    begin();
    checkCommand(command);
    report(command, 1);
    m_control.TakeUnread();
    Transaction(command);
    if (refusedCommand(m_replyCode))
        failure(kind);
}

void FtpClient::ChangeDir(const std::string &folder) { DoCommand("CWD " + folder); }

void FtpClient::Delete(const std::string &name) { DoCommand("DELE " + name); }

void FtpClient::Rename(const std::string &from, const std::string &to)
{
    begin();
    checkCommand("RNFR " + from);
    checkCommand("RNTO " + to);
    m_control.TakeUnread();
    for (const std::string &command : {"RNFR " + from, "RNTO " + to}) {
        Transaction(command);
        if (refusedCommand(m_replyCode))
            failure(cmdRename);
    }
}

// ------------------------------------------------------------- transfers

void FtpClient::ensureImageType(FtpCommandKind kind)
{
    // Without it a server in its default (ASCII) type may rewrite line ends.
    if (m_imageType)
        return;
    m_control.TakeUnread();
    Transaction("TYPE I");
    if (refusedCommand(m_replyCode)) {
        failure(kind);
        return;
    }
    m_imageType = true;
}

bool FtpClient::openDataPort()
{
    m_data = std::make_unique<FtpSocket>();
    m_control.TakeUnread();
    m_data->NoDataTimeOut = NoDataTimeOut;
    m_data->TlsSockets = m_protected;
    m_data->SendBufferLimit = kDataSendBuffer;
    if (!Passive) {
        m_data->Port = 0;
        // The data connection must come from the server we talk to.
        m_data->setAllowedPeer(m_control.RemoteAddress());
        m_data->Listen();
        Transaction("PORT " + m_control.LocalIPForPort() + m_data->LocalPortForPort());
        return !refusedTransfer(m_replyCode);
    }
    const int port = passivePort();
    if (port < 0)
        return false;
    // Always the address the control connection goes to: a server behind a
    // router may name its private address, and a hostile one any address.
    m_data->Host = m_control.RemoteAddress().toString().toStdString();
    m_data->Port = port;
    try {
        m_data->Connect();
    } catch (const ESockError &) {
        if (m_control.CancelFlag())
            failAborted();
        throw ESockError("Error creating Data Connection");
    }
    return true;
}

int FtpClient::passivePort()
{
    if (!m_epsvRefused) {
        Transaction("EPSV");
        if (m_replyCode == 229) {
            const int port = PortFromEpsvReply(m_lastReply);
            if (port > 0)
                return port;
        }
        // Refused (or unusable): PASV for the rest of this login.
        m_epsvRefused = true;
    }
    Transaction("PASV");
    if (refusedTransfer(m_replyCode))
        return -1;
    const int port = PortFromPasvReply(m_lastReply);
    if (port < 0)
        throw FTPException(std::string(kMsgBadPassiveReply) + ": " + trimmed(m_lastReply));
    return port;
}

void FtpClient::acceptData()
{
    if (!Passive) {
        QTcpSocket *socket = m_data->Accept();
        m_data->InstallSocket(socket);
    }
    if (m_protected)
        secureData();
}

void FtpClient::secureData()
{
    // The server has answered the transfer command: only now does every
    // server expect the handshake. The control connection's session is
    // offered for resumption (some servers insist on it).
    m_data->StartTls(m_control.TlsConfiguration(), Host);
    // The certificate was judged on the control connection; the data
    // connection must come from the same server.
    if (!m_data->TlsErrors().isEmpty() && m_data->PeerCertificate() != m_serverCertificate)
        throw ESockError(kMsgDataCertificate);
}

void FtpClient::requirePreliminaryReply() const
{
    // What the server says to a transfer command before the data must be a
    // reply: a line without a code, or with a code no reply has, gives no
    // leave to go on (the server's real answer may still be on its way).
    if (!hasReplyCode(m_lastReply) || m_lastReply[0] < '1' || m_lastReply[0] > '5')
        throw FTPException(std::string(kMsgNoPreliminary) + ": " + trimmed(m_lastReply));
}

void FtpClient::readFinalReply()
{
    // A second preliminary reply (125 then 150) still precedes the final one.
    std::string line;
    for (int preliminary = 0;; ++preliminary) {
        line = m_control.ReadLn();
        m_finalReplyDue = false;
        report(line, 1);
        readRestOfReply(line);
        if (!hasReplyCode(line) || line[0] != '1' || preliminary == kMaxPreliminaryReplies)
            break;
    }
    // The reply after the data tells whether the server kept the file (226,
    // 250) or not (451, 552, ...): a refusal here is a failed transfer, not a
    // success with a lost or partial file.
    if (hasReplyCode(line) && (line[0] == '4' || line[0] == '5'))
        throw FTPException(line);
    // Only a completion reply (2xx) confirms it; a line that is no reply at
    // all, or any other code, is not the server's word that it has the file.
    if (!hasReplyCode(line) || line[0] != '2')
        throw FTPException(std::string(kMsgNoConfirmation) + ": " + trimmed(line));
}

void FtpClient::dataPhase(const std::function<void()> &move, const std::function<void()> &closed,
                          bool sending)
{
    try {
        acceptData();
        const bool stopped = m_control.CancelFlag() || m_control.TimedOutFlag();
        if (!stopped)
            move();
        if (sending && !stopped)
            // The last bytes reach the server before the close; the
            // server's final reply says it has them all.
            m_data->CloseGracefully(
                [this] { return m_control.UnreadCount() > 0 || !Connected(); });
        else
            m_data->Disconnect();
        if (closed)
            closed();
        if (m_control.CancelFlag())
            failAborted();
        if (!m_control.TimedOutFlag())
            readFinalReply();
    } catch (const ESockError &) {
        m_data->Disconnect();
        if (m_control.CancelFlag())
            failAborted();
        // The data connection broke or went silent. When the server says why
        // soon ("426 ...", "552 ..."), its reply is the better message.
        if (m_finalReplyDue && Connected()) {
            std::string taken = drain();
            if (!taken.empty()) {
                m_finalReplyDue = false;
                const std::string line = taken.substr(0, taken.find('\n') + 1);
                if (hasReplyCode(line) && (line[0] == '4' || line[0] == '5'))
                    throw FTPException(line);
            }
        }
        throw;
    }
}

std::string FtpClient::drain()
{
    m_control.ClearCancel();
    std::string taken = m_control.TakeUnread();
    QElapsedTimer since;
    since.start();
    while (taken.empty() && since.elapsed() <= 950 && Connected()) {
        m_control.Look();
        taken = m_control.TakeUnread();
    }
    report(taken, 1);
    return taken;
}

void FtpClient::failAborted()
{
    // The transfer was cut short (by the server's 421 or 426, or by Cancel):
    // it failed. Quote the server's reply when it gave one.
    std::string taken = drain();
    if (!taken.empty())
        m_finalReplyDue = false;
    size_t lf = taken.find('\n');
    std::string line = lf == std::string::npos ? taken : taken.substr(0, lf + 1);
    if (hasReplyCode(line))
        throw FTPException(line);
    throw EAbortError("Socket send aborted");
}

void FtpClient::Download(const std::string &remoteName, const std::string &localPath)
{
    begin();
    checkCommand("RETR " + remoteName);
    const std::string target = localPath.empty() ? remoteName : localPath;
    // The data goes to a temporary file beside the target, which replaces the
    // target only when the whole transfer went through.
    ReplacingFile out(target);
    if (!out.open())
        throw LocalFileError(msgCannotCreateFile(target));

    ensureImageType(cmdDownload);
    DataScope scope(this);
    if (!openDataPort())
        failure(cmdDownload);
    m_data->OnPacketRecvd = [this](FtpSocket *data) {
        const qint64 got = data->BytesRecvd();
        // Short of the size until the server confirms the file.
        progress(m_byteCount > 0 ? std::min(got, m_byteCount - 1) : got, m_byteCount);
    };
    m_byteCount = 0;
    exchange("RETR " + remoteName);
    if (refusedTransfer(m_replyCode))
        failure(cmdDownload);
    requirePreliminaryReply();
    m_finalReplyDue = true;
    m_byteCount = SizeFromReply(m_lastReply);
    qint64 exact = ExactSizeFromReply(m_lastReply);
    readRestOfReply(m_lastReply, [this, &exact](const std::string &line) {
        if (m_byteCount == 0)
            m_byteCount = SizeFromReply(line);
        if (exact < 0)
            exact = ExactSizeFromReply(line);
    });
    progress(0, m_byteCount);
    dataPhase([&] { m_data->CaptureFile(out.device(), target); },
              [this] {
                  m_byteCount = m_data->BytesRecvd();
                  report("Received " + std::to_string(m_byteCount) + " Bytes", 1);
              });
    // In binary mode the server's "(1234 bytes)" is the file's size: fewer
    // bytes mean the data connection ended early, even when the server's
    // final reply says all went well. The old file stays.
    if (exact > m_byteCount)
        throw FTPException(kMsgIncomplete + std::to_string(m_byteCount) + " of " + std::to_string(exact)
                           + " bytes");
    if (!out.commit())
        throw LocalFileError(msgCannotCreateFile(target));
    m_data.reset();
    progress(m_byteCount, m_byteCount);
}

void FtpClient::storeFile(const std::string &localPath, const std::string &remoteName,
                          bool *stored)
{
    {
        QFile file(QString::fromStdString(localPath));
        if (!file.open(QIODevice::ReadOnly))
            throw AppError(msgCannotOpenFile(localPath));
        m_byteCount = file.size();
    }
    ensureImageType(cmdUpload);
    DataScope scope(this);
    if (!openDataPort())
        failure(cmdUpload);
    const qint64 total = m_byteCount;
    m_data->OnPacketSent = [this, total](FtpSocket *data) {
        // Short of the size until the server confirms the file.
        progress(std::min(data->BytesSent(), std::max<qint64>(total - 1, 0)), total);
    };
    if (stored)
        *stored = true; // from here on the server may hold a (partial) file
    Transaction("STOR " + remoteName);
    if (refusedTransfer(m_replyCode)) {
        if (stored)
            *stored = false;
        failure(cmdUpload);
    }
    requirePreliminaryReply();
    m_finalReplyDue = true;
    progress(0, total);
    dataPhase([&] { m_data->SendFile(localPath); }, {}, true);
    m_data.reset();
}

void FtpClient::Upload(const std::string &localPath, const std::string &remoteName)
{
    begin();
    const std::string name = remoteName.empty() ? bareName(localPath) : remoteName;
    checkCommand("STOR " + name);
    storeFile(localPath, name, nullptr);
    progress(m_byteCount, m_byteCount);
}

void FtpClient::UploadWhole(const std::string &localPath, const std::string &remoteName)
{
    begin();
    const std::string name = remoteName.empty() ? bareName(localPath) : remoteName;
    checkCommand("STOR " + temporaryNameFor(name));
    checkCommand("RNTO " + name);
    ReplaceSteps steps;
    steps.store = [&](const std::string &temp, bool &stored) { storeFile(localPath, temp, &stored); };
    steps.renameOver = [this](const std::string &temp, const std::string &target, bool &keep) {
        renameOver(temp, target, keep);
    };
    steps.remove = [this](const std::string &temp) { removeTemporary(temp); };
    steps.log = [this](const std::string &line) { log(line); };
    uploadThroughTemporaryName(name, steps);
    progress(m_byteCount, m_byteCount);
}

void FtpClient::renameOver(const std::string &temp, const std::string &name, bool &keepTemporary)
{
    m_control.TakeUnread();
    Transaction("RNFR " + temp);
    if (refusedCommand(m_replyCode)) {
        failure(cmdRename);
        return;
    }
    Transaction("RNTO " + name);
    if (!refusedCommand(m_replyCode))
        return;
    // Some servers will not rename over an existing file: remove it, then
    // rename. When the server cannot remove it either, the refusal stands.
    const std::string refusal = m_lastReply;
    const int code = m_replyCode;
    Transaction("DELE " + name);
    if (refusedCommand(m_replyCode)) {
        m_lastReply = refusal;
        m_replyCode = code;
        failure(cmdRename);
        return;
    }
    Transaction("RNFR " + temp);
    if (!refusedCommand(m_replyCode)) {
        Transaction("RNTO " + name);
        if (!refusedCommand(m_replyCode))
            return;
    }
    // The old file is gone and the new one did not take its place: the
    // temporary file is the only copy of the new content, so it stays.
    keepTemporary = true;
    failure(cmdRename);
}

void FtpClient::removeTemporary(const std::string &temp)
{
    // After a failure or Cancel; the failure itself is what the caller
    // reports, so the reply to this DELE must not replace it.
    if (!Connected())
        throw ESockError(kMsgConnectionClosed);
    const std::string savedReply = m_lastReply;
    const int savedCode = m_replyCode;
    const int limit = NoDataTimeOut;
    m_control.NoDataTimeOut = limit > 0 ? std::min(limit, kCleanupWaitMs) : kCleanupWaitMs;
    m_control.ClearCancel();
    // A 426 for the cut transfer is expected here, not a reason to stop.
    m_abortWatch = false;
    const auto restore = [&] {
        m_control.NoDataTimeOut = limit;
        m_abortWatch = true;
        m_control.ClearCancel();
        m_lastReply = savedReply;
        m_replyCode = savedCode;
    };
    std::string refusal;
    try {
        if (m_finalReplyDue) {
            // The server's answer to the cut transfer comes first.
            m_finalReplyDue = false;
            std::string line = m_control.ReadLn();
            report(line, 1);
            readRestOfReply(line);
        }
        m_control.TakeUnread();
        Transaction("DELE " + temp);
        if (refusedCommand(m_replyCode))
            refusal = trimmed(m_lastReply);
    } catch (...) {
        restore();
        throw;
    }
    restore();
    if (!refusal.empty())
        throw FTPException(refusal);
}

void FtpClient::NList() { Listing("NLST"); }

void FtpClient::Listing(const std::string &command)
{
    const FtpCommandKind kind = command.rfind("NLST", 0) == 0 ? cmdNList : cmdList;
    begin();
    checkCommand(command);
    DataScope scope(this);
    if (!openDataPort())
        throw FTPException(m_lastReply);
    report(command, 1);
    Transaction(command);
    if (refusedTransfer(m_replyCode)) {
        failure(kind); // throws unless the caller handles it
        return;
    }
    requirePreliminaryReply();
    m_finalReplyDue = true;
    m_byteCount = SizeFromReply(m_lastReply);
    auto readLines = [this] {
        std::string line;
        while (m_data->ReadLnUntilClosed(line)) {
            // A line without its line end; a blank line names nothing.
            if (!line.empty() && line.back() == '\n') {
                line.pop_back();
                if (!line.empty() && line.back() == '\r')
                    line.pop_back();
            }
            if (line.empty())
                continue;
            if (OnListItem)
                OnListItem(line);
        }
    };
    dataPhase(readLines, [this] {
        report("Received " + std::to_string(m_data->TotalBytesRecvd()) + " Bytes", 1);
    });
    m_data.reset();
}

} // namespace tl
