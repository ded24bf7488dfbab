#include "publish/ftpclient.h"
#include "publish/replacingfile.h"

#include <QElapsedTimer>
#include <QFile>
#include <climits>
#include <exception>

namespace tl {

const char *const kMsgBadCommandChar =
    "Invalid character in FTP command (carriage return, line feed or zero byte)";

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
bool unsupported(int code) { return code >= 500 && code <= 502; }

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

} // namespace

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

FtpClient::FtpClient(QObject *parent) : FtpSocket(parent) { Port = 21; }

FtpClient::~FtpClient()
{
    Cancel();
    if (m_connected) {
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

void FtpClient::checkCommand(const std::string &command)
{
    // A line break would end the command early and let the rest of the text
    // run as a second command.
    static const char bad[] = {'\r', '\n', '\0'};
    if (command.find_first_of(bad, 0, 3) != std::string::npos)
        throw FTPException(kMsgBadCommandChar);
}

void FtpClient::requireConnection()
{
    if (m_connected)
        return;
    if (OnConnectionRequired) {
        bool handled = false;
        OnConnectionRequired(handled);
        if (handled && m_connected)
            return;
    }
    throw AppError("Not Connected");
}

void FtpClient::readRestOfReply(std::string line)
{
    while (continues(line)) {
        line = ReadLn();
        report(line, 1);
    }
}

std::string FtpClient::Transaction(const std::string &command)
{
    checkCommand(command);
    std::string first = FtpSocket::Transaction(command);
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

// ------------------------------------------------------------- hooks

void FtpClient::socketConnected()
{
    // The published OnConnect means "logged in"; Connect raises it.
}

void FtpClient::socketClosedByPeer()
{
    // Without its control connection a transfer can never finish.
    if (m_data)
        m_data->AbortWaits(kMsgConnectionClosed);
}

void FtpClient::timeoutHook()
{
    if (m_data)
        m_data->Cancel();
}

void FtpClient::dataArrived()
{
    // Abort watch: a reply 421 (service closing) or 426 (transfer aborted)
    // ends whatever the client is waiting for.
    if (UnreadCount() < 4)
        return;
    std::string code = PeekUnread(3);
    if (code == "421" || code == "426")
        Cancel();
}

void FtpClient::Cancel()
{
    FtpSocket::Cancel();
    if (m_data)
        m_data->Cancel();
}

// ------------------------------------------------------ connect, disconnect

void FtpClient::Connect()
{
    m_cancel = false;
    if (m_connected)
        return;
    checkCommand(UserID);
    checkCommand(Password);
    if (!Proxy.empty())
        checkCommand(Host);
    TakeUnread();
    FtpSocket::Connect();
    try {
        readRestOfReply(" "); // the greeting, not judged
        if ((UserID.empty() || Password.empty()) && OnAuthenticationNeeded) {
            bool handled = false;
            OnAuthenticationNeeded(handled);
        }
        auto login = [this](const std::string &command) {
            Transaction(command);
            if (refusedLogin(m_replyCode)) {
                if (OnConnectionFailed)
                    OnConnectionFailed(this);
                throw FTPException(m_lastReply);
            }
        };
        report("USER " + UserID, 1);
        login(Proxy.empty() ? "USER " + UserID : "USER " + UserID + "@" + Host);
        if (m_replyCode == 331) {
            report("PASS ", 1);
            login("PASS " + Password);
        }
        if (OnConnect)
            OnConnect(this);
    } catch (...) {
        std::exception_ptr failure = std::current_exception();
        try {
            Disconnect();
        } catch (...) {
        }
        if (m_connected)
            FtpSocket::Disconnect();
        report("Disconnected", 1);
        std::rethrow_exception(failure);
    }
}

void FtpClient::Disconnect()
{
    m_cancel = false;
    if (!m_connected)
        return;
    report("QUIT", 1);
    Vendor = 2411;
    TakeUnread();
    try {
        Transaction("QUIT");
    } catch (...) {
        FtpSocket::Disconnect();
        throw;
    }
    FtpSocket::Disconnect();
    if (refusedTransfer(m_replyCode))
        throw FTPException(m_lastReply);
}

// ------------------------------------------------------------- commands

void FtpClient::DoCommand(const std::string &command)
{
    FtpCommandKind kind = CommandKind(command);
    m_cancel = false;
    requireConnection();
    checkCommand(command);
    report(command, 1);
    TakeUnread();
    Transaction(command);
    if (refusedCommand(m_replyCode)) {
        if (unsupported(m_replyCode) && OnUnSupportedFunction)
            OnUnSupportedFunction(kind);
        failure(kind);
    } else if (OnSuccess) {
        OnSuccess(kind);
    }
}

void FtpClient::ChangeDir(const std::string &folder) { DoCommand("CWD " + folder); }

// ------------------------------------------------------------- transfers

bool FtpClient::openDataPort(const std::string *uploadPath)
{
    m_data = std::make_unique<FtpSocket>();
    TakeUnread();
    m_data->TimeOut = TimeOut;
    m_data->NoDataTimeOut = NoDataTimeOut;
    m_data->Port = 0;
    // The data connection must come from the server we talk to.
    m_data->setAllowedPeer(RemoteAddress());
    m_data->Listen();
    if (uploadPath) {
        QFile file(QString::fromStdString(*uploadPath));
        if (!file.open(QIODevice::ReadOnly))
            throw AppError(msgCannotOpenFile(*uploadPath));
        m_byteCount = file.size();
    }
    Transaction("PORT " + LocalIPForPort() + m_data->LocalPortForPort());
    return refusedTransfer(m_replyCode);
}

void FtpClient::acceptData()
{
    QTcpSocket *socket = m_data->Accept();
    m_data->InstallSocket(socket);
    if (OnTransactionStart)
        OnTransactionStart(this);
}

void FtpClient::readFinalReply()
{
    std::string line = ReadLn();
    report(line, 1);
    readRestOfReply(line);
    // The reply after the data tells whether the server kept the file (226,
    // 250) or not (451, 552, ...): a refusal here is a failed transfer, not a
    // success with a lost or partial file.
    if (hasReplyCode(line) && (line[0] == '4' || line[0] == '5'))
        throw FTPException(line);
}

void FtpClient::dataPhase(const std::function<void()> &move, const std::function<void()> &closed)
{
    try {
        acceptData();
        if (!m_cancel && !m_timedOut)
            move();
        if (OnTransactionStop)
            OnTransactionStop(this);
        m_data->Disconnect();
        if (closed)
            closed();
        if (m_cancel)
            failAborted();
        if (!m_timedOut)
            readFinalReply();
    } catch (const ESockError &) {
        if (m_cancel)
            failAborted();
        throw;
    }
}

std::string FtpClient::drain()
{
    m_cancel = false;
    std::string taken = TakeUnread();
    QElapsedTimer since;
    since.start();
    while (taken.empty() && since.elapsed() <= 950) {
        look();
        taken = TakeUnread();
    }
    report(taken, 1);
    return taken;
}

void FtpClient::failAborted()
{
    // The transfer was cut short (by the server's 421 or 426, or by Cancel):
    // it failed. Quote the server's reply when it gave one.
    std::string taken = drain();
    size_t lf = taken.find('\n');
    std::string line = lf == std::string::npos ? taken : taken.substr(0, lf + 1);
    if (hasReplyCode(line))
        throw FTPException(line);
    throw EAbortError("Socket send aborted");
}

void FtpClient::Download(const std::string &remoteName, const std::string &localPath)
{
    m_cancel = false;
    requireConnection();
    checkCommand("RETR " + remoteName);
    const std::string target = localPath.empty() ? remoteName : localPath;
    // The data goes to a temporary file beside the target, which replaces the
    // target only when the whole transfer went through.
    ReplacingFile out(target);
    if (!out.open())
        throw AppError(msgCannotCreateFile(target));

    DataScope scope(this);
    if (openDataPort(nullptr))
        failure(cmdDownload);
    if (OnPacketRecvd)
        m_data->OnPacketRecvd = OnPacketRecvd;
    m_byteCount = 0;
    FtpSocket::Transaction("RETR " + remoteName);
    if (refusedTransfer(m_replyCode))
        failure(cmdDownload);
    m_byteCount = SizeFromReply(m_lastReply);
    std::string line = m_lastReply;
    while (continues(line)) {
        line = ReadLn();
        report(line, 1);
        if (m_byteCount == 0)
            m_byteCount = SizeFromReply(line);
    }
    dataPhase([&] { m_data->CaptureFile(out.device(), target); },
              [this] {
                  m_byteCount = m_data->BytesRecvd();
                  report("Received " + std::to_string(m_byteCount) + " Bytes", 1);
              });
    if (!out.commit())
        throw AppError(msgCannotCreateFile(target));
    m_data.reset();
    if (OnSuccess)
        OnSuccess(cmdDownload);
}

void FtpClient::Upload(const std::string &localPath, const std::string &remoteName)
{
    m_cancel = false;
    requireConnection();
    const std::string name = remoteName.empty() ? bareName(localPath) : remoteName;
    checkCommand("STOR " + name);

    DataScope scope(this);
    if (openDataPort(&localPath))
        failure(cmdUpload);
    if (OnPacketSent)
        m_data->OnPacketSent = OnPacketSent;
    Transaction("STOR " + name);
    if (refusedTransfer(m_replyCode)) {
        if (unsupported(m_replyCode) && OnUnSupportedFunction)
            OnUnSupportedFunction(cmdUpload);
        failure(cmdUpload);
    }
    dataPhase([&] { m_data->SendFile(localPath); });
    m_data.reset();
    if (OnSuccess)
        OnSuccess(cmdUpload);
}

void FtpClient::NList()
{
    m_cancel = false;
    requireConnection();
    DataScope scope(this);
    if (openDataPort(nullptr))
        throw FTPException(m_lastReply);
    report("NLST", 1);
    Transaction("NLST");
    if (refusedTransfer(m_replyCode))
        throw FTPException(m_lastReply);
    m_byteCount = SizeFromReply(m_lastReply);
    auto readNames = [this] {
        std::string line;
        while (m_data->ReadLnUntilClosed(line)) {
            // A name without its line end; a blank line names nothing.
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
    dataPhase(readNames, [this] {
        report("Received " + std::to_string(m_data->TotalBytesRecvd()) + " Bytes", 1);
    });
    m_data.reset();
    if (OnSuccess)
        OnSuccess(cmdNList);
}

} // namespace tl
