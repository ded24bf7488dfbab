#pragma once
// A branch of a Git repository as a transport: a send becomes one commit of
// exactly the files it carries and the removals it makes, pushed at its end.
#include "publish/gitclient.h"
#include "publish/transport.h"

namespace tl {

class GitTransport : public Transport {
public:
    GitTransport(const PublishAccount &account, const TransportQuestions &questions);

    void connect() override { client_.open(); }
    void disconnect() override { client_.close(); }
    void drop() override { client_.close(); }
    void cancel() override { client_.cancel(); }
    bool connected() const override { return client_.isOpen(); }
    void makeFolders(const std::string &) override {} // a repository has no empty folders
    void upload(const std::string &localPath, const std::string &remoteName) override;
    // The files are read into the local repository; the server holds them
    // once finish() has pushed, and only then are they confirmed.
    void uploadMany(const std::vector<Upload> &files,
                    const std::function<void(std::size_t index)> &confirmed) override;
    void remove(const std::string &remoteName) override;
    std::vector<RemoteEntry> list(const std::string &remoteFolder) override;
    qint64 remoteSize(const std::string &remoteName) override { return client_.size(remoteName); }
    void download(const std::string &remoteName, const std::string &localPath) override
    {
        client_.download(remoteName, localPath);
    }
    void finish() override;

private:
    GitClient client_;
    std::string message_;
    std::vector<std::function<void()>> unconfirmed_; // confirmations waiting for the push
    int uploaded_ = 0, removed_ = 0;
};

} // namespace tl
