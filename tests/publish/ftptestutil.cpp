#include "ftptestutil.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>

namespace tl::test {

bool spinUntil(const std::function<bool()> &done, int ms)
{
    QElapsedTimer clock;
    clock.start();
    QTimer tick;
    tick.start(2);
    while (!done() && clock.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return done();
}

QByteArray readFileBytes(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray();
    return f.readAll();
}

void writeFileBytes(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write(bytes);
}

std::vector<std::string> folderEntries(const QString &dir)
{
    std::vector<std::string> out;
    for (const QString &n : QDir(dir).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot
                                                    | QDir::Hidden,
                                                QDir::Name))
        out.push_back(n.toStdString());
    return out;
}

std::vector<std::string> fileLines(const QString &path)
{
    std::vector<std::string> out;
    for (const QByteArray &line : readFileBytes(path).split('\n'))
        if (!line.isEmpty())
            out.push_back(line.toStdString());
    return out;
}

PyFtpd::~PyFtpd()
{
    if (m_proc) {
        m_proc->kill();
        m_proc->waitForFinished(5000);
    }
}

bool PyFtpd::start(const QString &root, const QStringList &options)
{
    m_proc = std::make_unique<QProcess>();
    m_proc->setProcessChannelMode(QProcess::SeparateChannels);
    m_proc->start(TL_PYTHON, QStringList{QString(TL_TEST_DATA_DIR) + "/publish/ftpserver.py",
                                         "--root", root, "--user", "user", "--password", "pw",
                                         "--quiet"}
                                 + options);
    if (!m_proc->waitForStarted(10000)) {
        m_error = TL_PYTHON " did not start";
        return false;
    }
    while (!m_proc->canReadLine() && m_proc->waitForReadyRead(10000)) {
    }
    const QByteArray line = m_proc->readLine().trimmed();
    if (!line.startsWith("PORT ")) {
        m_proc->waitForFinished(2000);
        m_error = QString::fromLocal8Bit(line + m_proc->readAllStandardError());
        return false;
    }
    m_port = static_cast<quint16>(line.mid(5).toUInt());
    return true;
}

bool runProgram(const QString &program, const QStringList &args, QString *error)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    if (!p.waitForStarted(10000)) {
        *error = program + " did not start";
        return false;
    }
    p.waitForFinished(60000);
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        *error = program + " failed: " + QString::fromLocal8Bit(p.readAll());
        return false;
    }
    return true;
}

namespace {

QStringList newKey(const QString &keyFile)
{
    return {"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes", "-keyout",
            keyFile};
}

} // namespace

bool makeSelfSignedCertificate(const QString &dir, const QString &name, QString *error)
{
    return runProgram("openssl",
                      QStringList{"req", "-x509", "-days", "2", "-subj", "/CN=" + name, "-addext",
                                  "subjectAltName=DNS:" + name, "-out", dir + "/" + name + ".pem"}
                          + newKey(dir + "/" + name + ".key"),
                      error);
}

bool makeAuthorityAndCertificate(const QString &dir, const QString &name, QString *error)
{
    writeFileBytes(dir + "/ext.cnf", "subjectAltName=DNS:" + name.toUtf8() + "\n");
    return runProgram("openssl",
                      QStringList{"req", "-x509", "-days", "2", "-subj", "/CN=Test Authority",
                                  "-out", dir + "/ca.pem"}
                          + newKey(dir + "/ca.key"),
                      error)
        && runProgram("openssl",
                      QStringList{"req", "-subj", "/CN=" + name, "-out", dir + "/" + name + ".csr"}
                          + newKey(dir + "/" + name + ".key"),
                      error)
        && runProgram("openssl",
                      {"x509", "-req", "-days", "2", "-in", dir + "/" + name + ".csr", "-CA",
                       dir + "/ca.pem", "-CAkey", dir + "/ca.key", "-CAcreateserial", "-extfile",
                       dir + "/ext.cnf", "-out", dir + "/" + name + ".pem"},
                      error);
}

} // namespace tl::test
