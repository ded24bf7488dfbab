#pragma once
// Test servers and file helpers shared by the window tests and the command
// line tests.
#include <QProcess>
#include <QString>
#include <QStringList>
#include <map>
#include <memory>
#include <string>

namespace tl::test {

// pyftpdlib serving one folder to user "user" with password "pw". Its
// sub-folder "ro", when it exists at start, is read-only.
class PyFtpServer {
public:
    ~PyFtpServer() { stop(); }
    // Starts the server; false (with the reason in error()) when it cannot.
    bool start(const QString &root, const QStringList &extraArguments = {});
    // Ends it at once, as a crash would: its connections go down with it.
    void kill();
    void stop();
    quint16 port() const { return port_; }
    QString error() const { return error_; }

private:
    std::unique_ptr<QProcess> proc_;
    quint16 port_ = 0;
    QString error_;
};

// Every file below a folder, as relative path -> bytes.
std::map<QString, std::string> filesBelow(const QString &folder);

} // namespace tl::test
