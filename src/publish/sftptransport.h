#pragma once
// SFTP over SSH as a transport, over a client of its own.
#include "publish/transport.h"

namespace tl {

class SftpTransport : public Transport {
public:
    SftpTransport(const PublishAccount &account, const TransportQuestions &questions);
    SftpClient &client() { return client_; }

    void connect() override { client_.Connect(); }
    void disconnect() override { client_.Disconnect(); }
    void drop() override { client_.Disconnect(); }
    void cancel() override { client_.Cancel(); }
    bool connected() const override { return client_.Connected(); }
    // Does not wait for the server: a folder that could not be made fails
    // the next operation (SftpClient::PrepareFolders).
    void makeFolders(const std::string &remoteFolder) override { client_.PrepareFolders(remoteFolder); }
    void upload(const std::string &localPath, const std::string &remoteName) override
    {
        client_.UploadWhole(localPath, remoteName);
    }
    // Many files in flight at once (SftpClient::UploadMany).
    void uploadMany(const std::vector<Upload> &files,
                    const std::function<void(std::size_t index)> &confirmed) override;
    void remove(const std::string &remoteName) override { client_.Remove(remoteName); }
    std::vector<RemoteEntry> list(const std::string &remoteFolder) override
    {
        return client_.List(remoteFolder);
    }
    qint64 remoteSize(const std::string &remoteName) override { return client_.FileSize(remoteName); }
    void download(const std::string &remoteName, const std::string &localPath) override
    {
        client_.Download(remoteName, localPath);
    }

private:
    SftpClient client_;
};

} // namespace tl
