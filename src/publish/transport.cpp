#include "publish/transport.h"

namespace tl {

namespace {
// Status texts of a refused FTP command, by command kind.
const char *const kFailureTexts[] = {
    "ChangeDir failure",       "MakeDir failure",   "Delete failure", "RemoveDir failure",
    "List failure",            "Rename failure",    "UploadRestore failure",
    "DownloadRestore failure", "Download failure",  "Upload failure", "UploadAppend failure",
    "ReInit failure",          "Allocate failure",  "NList failure",  "DoCommand failure",
};
} // namespace

QString failureText(FtpCommandKind kind)
{
    if (kind >= 0 && kind < static_cast<int>(std::size(kFailureTexts)))
        return QString::fromLatin1(kFailureTexts[kind]);
    return {};
}

FtpTransport::FtpTransport(FtpClient &client) : client_(client)
{
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
    client_.OnPacketSent = [this](FtpSocket *data) {
        if (onBytes)
            onBytes(data->BytesSent(), client_.ByteCount());
    };
    client_.OnPacketRecvd = [this](FtpSocket *data) {
        if (onBytes)
            onBytes(data->BytesRecvd(), client_.ByteCount());
    };
}

FtpTransport::~FtpTransport()
{
    // The client outlives this transport (the window owns it): none of its
    // events may reach a transport that is gone.
    client_.OnFailure = nullptr;
    client_.OnError = nullptr;
    client_.OnListItem = nullptr;
    client_.OnPacketSent = nullptr;
    client_.OnPacketRecvd = nullptr;
}

void FtpTransport::makeFolder(const std::string &remoteFolder)
{
    makingFolder_ = true;
    try {
        client_.DoCommand("MKD " + remoteFolder);
    } catch (...) {
        makingFolder_ = false;
        throw;
    }
    makingFolder_ = false;
}

void FtpTransport::upload(const std::string &localPath, const std::string &remoteName)
{
    client_.Upload(localPath, remoteName);
}

void FtpTransport::listNames(const std::string &remoteFolder,
                             const std::function<void(const std::string &)> &each)
{
    client_.ChangeDir(remoteFolder);
    listed_ = each;
    try {
        client_.NList();
    } catch (...) {
        listed_ = nullptr;
        throw;
    }
    listed_ = nullptr;
}

void FtpTransport::download(const std::string &remoteName, const std::string &localPath)
{
    client_.Download(remoteName, localPath);
}

SftpTransport::SftpTransport()
{
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
