#include "pyftpserver.h"

#include "testsupport.h"

#include <QDir>
#include <QDirIterator>

namespace tl::test {

// ---------------------------------------------------------------- pyftpdlib

bool PyFtpServer::start(const QString &root, const QStringList &extraArguments)
{
    stop();
    proc_ = std::make_unique<QProcess>();
    proc_->setProcessChannelMode(QProcess::SeparateChannels);
    proc_->start(TL_PYTHON, QStringList{QStringLiteral(TL_TEST_DATA_DIR "/publish/ftpserver.py"),
                                        QStringLiteral("--root"), root, QStringLiteral("--quiet")}
                                + extraArguments);
    if (!proc_->waitForStarted(10000)) {
        error_ = proc_->errorString();
        return false;
    }
    while (!proc_->canReadLine() && proc_->waitForReadyRead(10000)) {
    }
    const QByteArray line = proc_->readLine().trimmed();
    if (!line.startsWith("PORT ")) {
        error_ = QString::fromLocal8Bit(line + proc_->readAllStandardError());
        return false;
    }
    port_ = static_cast<quint16>(line.mid(5).toUInt());
    return port_ != 0;
}

void PyFtpServer::kill()
{
    if (!proc_)
        return;
    proc_->kill();
    proc_->waitForFinished(5000);
}

void PyFtpServer::stop()
{
    if (!proc_)
        return;
    proc_->closeWriteChannel(); // the server ends when its input closes
    if (!proc_->waitForFinished(3000)) {
        proc_->kill();
        proc_->waitForFinished(3000);
    }
    proc_.reset();
}

std::map<QString, std::string> filesBelow(const QString &folder)
{
    std::map<QString, std::string> out;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        out[QDir(folder).relativeFilePath(path)] = fileBytes(path);
    }
    return out;
}

} // namespace tl::test
