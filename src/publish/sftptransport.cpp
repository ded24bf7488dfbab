#include "publish/sftptransport.h"

namespace tl {

SftpTransport::SftpTransport(const PublishAccount &a, const TransportQuestions &questions)
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

void SftpTransport::uploadMany(const std::vector<Upload> &files,
                               const std::function<void(std::size_t)> &confirmed)
{
    std::vector<SftpUpload> uploads;
    uploads.reserve(files.size());
    for (const Upload &f : files)
        uploads.push_back({f.localPath, f.remoteName});
    client_.UploadMany(uploads, confirmed);
}

} // namespace tl
