#pragma once
// An S3-compatible bucket as a transport: each file a PUT of its own, many
// in flight at once.
#include "publish/s3client.h"
#include "publish/transport.h"

namespace tl {

class S3Transport : public Transport {
public:
    S3Transport(const PublishAccount &account, const TransportQuestions &questions);

    void connect() override
    {
        client_.open();
        open_ = true;
    }
    void disconnect() override { drop(); }
    void drop() override
    {
        client_.close();
        open_ = false;
    }
    void cancel() override { client_.cancel(); }
    bool connected() const override { return open_; }
    void makeFolders(const std::string &) override {} // a bucket has keys, not folders
    void upload(const std::string &localPath, const std::string &remoteName) override
    {
        client_.upload({{localPath, remoteName}});
    }
    void uploadMany(const std::vector<Upload> &files,
                    const std::function<void(std::size_t index)> &confirmed) override;
    void remove(const std::string &remoteName) override { client_.remove({remoteName}); }
    std::vector<RemoteEntry> list(const std::string &remoteFolder) override;
    qint64 remoteSize(const std::string &remoteName) override { return client_.size(remoteName); }
    void download(const std::string &remoteName, const std::string &localPath) override
    {
        client_.download(remoteName, localPath);
    }

private:
    S3Client client_;
    bool open_ = false;
};

} // namespace tl
