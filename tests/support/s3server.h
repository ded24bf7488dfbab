#pragma once
#include <QProcess>
#include <QString>
#include <QStringList>

namespace tl::test {

// The S3-compatible server of the tests (s3rver, which checks SigV4
// signatures), run with the machine's Node from tests/tools/s3rver (installed
// there by scripts/install-deps.sh). It listens on 127.0.0.1 on a port the
// system chooses and keeps its objects in a folder the caller owns. It
// accepts the access key ID kAccessKeyId with the secret kSecret, and
// addresses buckets by path or, below the host name "s3.localhost", by
// virtual host.
class S3Server {
public:
    static constexpr const char *kAccessKeyId = "S3RVER";
    static constexpr const char *kSecret = "S3RVER";

    explicit S3Server(const QString &folder);
    ~S3Server();

    // Starts the server with the buckets named; false (with the reason in
    // error()) when it cannot.
    bool start(const QStringList &buckets);
    void stop();
    QString error() const { return m_error; }
    quint16 port() const { return m_port; }
    // "http://127.0.0.1:PORT"
    QString endpoint() const;

private:
    QString m_dir;
    QString m_error;
    quint16 m_port = 0;
    QProcess m_proc;
};

} // namespace tl::test
