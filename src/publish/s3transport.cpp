#include "publish/s3transport.h"

#include <QString>
#include <vector>

namespace tl {

S3Transport::S3Transport(const PublishAccount &a, const TransportQuestions &questions)
{
    client_.settings.endpoint = a.s3Endpoint;
    client_.settings.region = a.s3Region.empty() ? std::string("us-east-1") : a.s3Region;
    client_.settings.bucket = a.s3Bucket;
    client_.settings.accessKeyId = a.s3KeyId;
    client_.settings.secret = a.password;
    client_.textCharset = a.pageCharset;
    if (questions.noDataTimeoutMs > 0)
        client_.noDataTimeoutMs = questions.noDataTimeoutMs;
    client_.onProgress = [this](qint64 done, qint64 total) {
        if (onBytes)
            onBytes(done, total);
    };
    client_.onLog = [this](const std::string &line) {
        if (onLog)
            onLog(QString::fromUtf8(line.c_str()));
    };
}

void S3Transport::uploadMany(const std::vector<Upload> &files,
                             const std::function<void(std::size_t)> &confirmed)
{
    std::vector<FileUpload> uploads;
    uploads.reserve(files.size());
    for (const Upload &u : files)
        uploads.push_back({u.localPath, u.remoteName});
    // The client stores files as their requests finish, in any order; the
    // caller is told in the list's order, as by every other transport (the
    // publisher takes each file's content when the one before it is
    // confirmed, and records a file only with that content). A file stored
    // before an earlier one waits for it.
    std::vector<bool> stored(files.size(), false);
    std::size_t next = 0;
    client_.upload(uploads, [&](std::size_t index) {
        stored[index] = true;
        while (next < stored.size() && stored[next])
            confirmed(next++);
    });
}

std::vector<RemoteEntry> S3Transport::list(const std::string &remoteFolder)
{
    return fileEntries(client_.list(remoteFolder, false));
}

} // namespace tl
