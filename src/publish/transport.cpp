#include "publish/transport.h"

#include "publish/publisher.h"

#include <utility>

namespace tl {

namespace {
// Status texts of a refused FTP command, by command kind.
const char *const kFailureTexts[] = {
    "ChangeDir failure",       "MakeDir failure",   "Delete failure", "RemoveDir failure",
    "List failure",            "Rename failure",    "UploadRestore failure",
    "DownloadRestore failure", "Download failure",  "Upload failure", "UploadAppend failure",
    "ReInit failure",          "Allocate failure",  "NList failure",  "DoCommand failure",
};

// Gives a member a value for the length of one call, however the call ends.
template <typename T>
class ForThisCall {
public:
    ForThisCall(T &member, T value) : member_(member) { member_ = std::move(value); }
    ~ForThisCall() { member_ = T(); }
    ForThisCall(const ForThisCall &) = delete;
    ForThisCall &operator=(const ForThisCall &) = delete;

private:
    T &member_;
};
} // namespace

QString failureText(FtpCommandKind kind)
{
    if (kind >= 0 && kind < static_cast<int>(std::size(kFailureTexts)))
        return QString::fromLatin1(kFailureTexts[kind]);
    return {};
}

std::unique_ptr<Transport> makeTransport(const FtpAccount &account,
                                         const TransportQuestions &questions)
{
    if (account.sftp)
        return std::make_unique<SftpTransport>(account, questions);
    return std::make_unique<FtpTransport>(account, questions);
}

FtpTransport::FtpTransport(const FtpAccount &a, const TransportQuestions &questions)
{
    client_.Host = a.host;
    client_.Port = a.port;
    client_.UserID = a.user;
    client_.Password = a.password;
    if (a.useProxy) {
        client_.Proxy = a.proxyHost;
        client_.ProxyPort = a.port;
    }
    client_.Passive = a.passive;
    client_.UseTls = a.tls;
    client_.TrustedFingerprint = a.trustedFingerprint;
    if (questions.noDataTimeoutMs > 0)
        client_.NoDataTimeOut = questions.noDataTimeoutMs;
    client_.OnUntrustedCertificate = questions.untrustedCertificate;
    client_.OnCertificateAccepted = questions.certificateAccepted;

    client_.OnFailure = [this](bool &handled, FtpCommandKind kind) {
        if (makingFolder_ && kind == cmdMakeDir) {
            handled = true; // the folder is there already (or STOR will say why not)
            return;
        }
        const QString text = failureText(kind);
        if (!text.isEmpty() && onFailure)
            onFailure(text);
    };
    client_.OnError = [this](FtpSocket *, quint16 number, const std::string &message) {
        if (onSocketError)
            onSocketError(number, QString::fromLocal8Bit(message));
    };
    client_.OnListItem = [this](const std::string &name) {
        if (listed_)
            listed_(name);
    };
    // Bytes that have gone over the network, full only once the server
    // confirmed the file.
    client_.OnProgress = [this](qint64 done, qint64 total) {
        if (onBytes)
            onBytes(done, total);
    };
    client_.OnLog = [this](const std::string &line) {
        if (onLog)
            onLog(QString::fromLocal8Bit(line));
    };
}

void FtpTransport::makeFolder(const std::string &remoteFolder)
{
    const ForThisCall<bool> making(makingFolder_, true);
    client_.DoCommand("MKD " + remoteFolder);
}

void FtpTransport::upload(const std::string &localPath, const std::string &remoteName)
{
    client_.UploadWhole(localPath, remoteName);
}

void FtpTransport::listNames(const std::string &remoteFolder,
                             const std::function<void(const std::string &)> &each)
{
    client_.ChangeDir(remoteFolder);
    const ForThisCall<std::function<void(const std::string &)>> listing(listed_, each);
    client_.NList();
}

void FtpTransport::download(const std::string &remoteName, const std::string &localPath)
{
    client_.Download(remoteName, localPath);
}

SftpTransport::SftpTransport(const FtpAccount &a, const TransportQuestions &questions)
{
    client_.Host = a.host;
    client_.Port = a.port;
    client_.UserID = a.user;
    client_.Password = a.password;
    if (questions.noDataTimeoutMs > 0)
        client_.NoDataTimeOut = questions.noDataTimeoutMs;
    client_.AcceptNewHostKey = questions.acceptNewHostKey;
    client_.OnUnknownHostKey = questions.unknownHostKey;
    client_.OnProgress = [this](qint64 done, qint64 total) {
        if (onBytes)
            onBytes(done, total);
    };
    client_.OnLog = [this](const std::string &line) {
        if (onLog)
            onLog(QString::fromLocal8Bit(line));
    };
}

void SftpTransport::listNames(const std::string &remoteFolder,
                              const std::function<void(const std::string &)> &each)
{
    for (const std::string &name : client_.ListNames(remoteFolder))
        each(name);
}

} // namespace tl
