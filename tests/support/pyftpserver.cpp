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
    proc_->start(TL_PYTHON,
        QStringList { QStringLiteral(TL_TEST_DATA_DIR "/publish/ftpserver.py"),
            QStringLiteral("--root"), root, QStringLiteral("--quiet") }
            + extraArguments);
    if (!proc_->waitForStarted(10000)) {
        error_ = proc_->errorString();
        return false;
    }
    while (!proc_->canReadLine() && proc_->waitForReadyRead(10000)) { }
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
    QDirIterator it(
        folder, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        out[QDir(folder).relativeFilePath(path)] = fileBytes(path);
    }
    return out;
}

namespace {

// Runs openssl to its end; false (and why in *error) when it fails.
bool openssl(const QStringList &args, QString *error)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral("openssl"), args);
    if (!p.waitForStarted(10000)) {
        *error = QStringLiteral("openssl did not start");
        return false;
    }
    p.waitForFinished(60000);
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        *error = QStringLiteral("openssl failed: ") + QString::fromLocal8Bit(p.readAll());
        return false;
    }
    return true;
}

QStringList newKey(const QString &keyFile)
{
    return { "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes", "-keyout",
        keyFile };
}

} // namespace

bool makeSelfSignedCertificate(const QString &dir, const QString &name, QString *error)
{
    return openssl(QStringList { "req", "-x509", "-days", "2", "-subj", "/CN=" + name, "-addext",
                       "subjectAltName=DNS:" + name, "-out", dir + "/" + name + ".pem" }
            + newKey(dir + "/" + name + ".key"),
        error);
}

bool makeAuthorityAndCertificate(const QString &dir, const QString &name, QString *error)
{
    writeBytes(dir + "/ext.cnf", "subjectAltName=DNS:" + name.toStdString() + "\n");
    return openssl(QStringList { "req", "-x509", "-days", "2", "-subj", "/CN=Test Authority",
                       "-out", dir + "/ca.pem" }
                   + newKey(dir + "/ca.key"),
               error)
        && openssl(QStringList { "req", "-subj", "/CN=" + name, "-out", dir + "/" + name + ".csr" }
                + newKey(dir + "/" + name + ".key"),
            error)
        && openssl({ "x509", "-req", "-days", "2", "-in", dir + "/" + name + ".csr", "-CA",
                       dir + "/ca.pem", "-CAkey", dir + "/ca.key", "-CAcreateserial", "-extfile",
                       dir + "/ext.cnf", "-out", dir + "/" + name + ".pem" },
            error);
}

} // namespace tl::test
