#include "publish/gittransport.h"

#include <QString>

namespace tl {

GitTransport::GitTransport(const PublishAccount &a, const TransportQuestions &questions)
{
    client_.settings.url = a.gitUrl;
    client_.settings.branch = a.gitBranch.empty() ? std::string("gh-pages") : a.gitBranch;
    client_.settings.authorName = a.authorName;
    client_.settings.authorEmail = a.authorEmail;
    client_.settings.token = a.password;
    client_.settings.cacheFolder = a.gitCacheFolder;
    client_.acceptNewHostKey = questions.acceptNewHostKey;
    client_.onUnknownHostKey = questions.unknownHostKey;
    client_.onProgress = [this](qint64 done, qint64 total) {
        if (onBytes)
            onBytes(done, total);
    };
    client_.onLog = [this](const std::string &line) {
        if (onLog)
            onLog(QString::fromUtf8(line.c_str()));
    };
}

void GitTransport::upload(const std::string &localPath, const std::string &remoteName)
{
    uploadMany({{localPath, remoteName}}, [](std::size_t) {});
}

void GitTransport::uploadMany(const std::vector<Upload> &files,
                              const std::function<void(std::size_t)> &confirmed)
{
    std::vector<FileUpload> uploads;
    uploads.reserve(files.size());
    for (const Upload &u : files)
        uploads.push_back({u.localPath, u.remoteName});
    client_.upload(uploads);
    for (std::size_t i = 0; i < files.size(); ++i)
        unconfirmed_.push_back([confirmed, i] { confirmed(i); });
    uploaded_ += static_cast<int>(files.size());
}

void GitTransport::remove(const std::string &remoteName)
{
    client_.remove({remoteName});
    ++removed_;
}

std::vector<RemoteEntry> GitTransport::list(const std::string &remoteFolder)
{
    return fileEntries(client_.list(remoteFolder, false));
}

void GitTransport::finish()
{
    if (client_.pendingChanges() > 0) {
        std::string message = "Publish " + std::to_string(uploaded_) + (uploaded_ == 1 ? " file" : " files");
        if (removed_ > 0)
            message += ", remove " + std::to_string(removed_);
        client_.finish(message);
    }
    // Pushed: the server holds every file now.
    std::vector<std::function<void()>> confirmations;
    confirmations.swap(unconfirmed_);
    for (const auto &confirm : confirmations)
        confirm();
    uploaded_ = removed_ = 0;
}

} // namespace tl
