#pragma once
// FTP and FTPS as a transport, over a client of its own.
#include "publish/transport.h"

namespace tl {

class FtpTransport : public Transport {
public:
    FtpTransport(const PublishAccount &account, const TransportQuestions &questions);
    FtpClient &client() { return client_; }

    // Connects and logs in; a refusal names the user and the server and
    // keeps the server's words, a failed connection names host, port and why.
    void connect() override;
    void disconnect() override { client_.Disconnect(); }
    void drop() override { client_.Drop(); }
    void cancel() override { client_.Cancel(); }
    bool connected() const override { return client_.Connected(); }
    void makeFolders(const std::string &remoteFolder) override;
    void upload(const std::string &localPath, const std::string &remoteName) override;
    void remove(const std::string &remoteName) override;
    std::vector<RemoteEntry> list(const std::string &remoteFolder) override;
    qint64 remoteSize(const std::string &remoteName) override;
    void download(const std::string &remoteName, const std::string &localPath) override;

private:
    FtpClient client_;
    bool quietRefusals_ = false; // a refusal is expected (a folder that exists)
    bool refused_ = false;       // a command was refused quietly
    std::string host_, user_;
    int port_ = 21;
    std::string socketError_;    // the last socket error's message
    std::function<void(const std::string &)> listed_;
};

} // namespace tl
