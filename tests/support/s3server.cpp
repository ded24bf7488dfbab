#include "s3server.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

namespace tl::test {

S3Server::S3Server(const QString &folder)
    : m_dir(folder)
{
}

S3Server::~S3Server()
{
    stop();
}

QString S3Server::endpoint() const
{
    return QString("http://127.0.0.1:%1").arg(m_port);
}

bool S3Server::start(const QStringList &buckets)
{
    const QString tool = QStringLiteral(TL_SOURCE_DIR "/tests/tools/s3rver");
    if (!QFile::exists(tool + "/node_modules/@20minutes/s3rver/lib/cli.js")) {
        m_error = "s3rver is not installed in " + tool + " (run scripts/install-deps.sh)";
        return false;
    }
    // The continuation tokens of its listings are made with DES, which
    // OpenSSL 3 keeps in its legacy provider.
    QStringList args { "--openssl-legacy-provider", tool + "/start.js", "--directory",
        m_dir + "/objects", "--address", "127.0.0.1", "--port", "0", "--silent",
        "--service-endpoint", "localhost" };
    for (const QString &b : buckets)
        args << "--configure-bucket" << b;
    m_proc.setProcessChannelMode(QProcess::MergedChannels);
    m_proc.start("node", args);
    if (!m_proc.waitForStarted(10000)) {
        m_error = "node did not start: " + m_proc.errorString();
        return false;
    }
    static const QRegularExpression listening("S3rver listening on [0-9.]+:([0-9]+)");
    QByteArray out;
    while (m_proc.state() == QProcess::Running && m_proc.waitForReadyRead(20000)) {
        out += m_proc.readAll();
        const auto match = listening.match(QString::fromLocal8Bit(out));
        if (match.hasMatch()) {
            m_port = quint16(match.captured(1).toUInt());
            return m_port != 0;
        }
    }
    m_error = "s3rver did not start: " + QString::fromLocal8Bit(out + m_proc.readAll());
    stop();
    return false;
}

void S3Server::stop()
{
    if (m_proc.state() == QProcess::NotRunning)
        return;
    m_proc.terminate();
    if (!m_proc.waitForFinished(5000)) {
        m_proc.kill();
        m_proc.waitForFinished(5000);
    }
}

} // namespace tl::test
