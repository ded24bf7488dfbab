#include "keyringsession.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

namespace tl::test {

bool KeyringSession::start(const QString &home, const QString &keyringPassword)
{
    for (const char *tool : {"dbus-run-session", "gnome-keyring-daemon"})
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty()) {
            error_ = QStringLiteral("%1 is not installed").arg(QString::fromLatin1(tool));
            return false;
        }
    home_ = home;
    // The daemon's sockets go to a runtime folder only the user may enter.
    const QString runtime = home + QStringLiteral("/run");
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                       | QFileDevice::ExeOwner);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home);
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
    env.insert(QStringLiteral("TL_KEYRING_PASSWORD"), keyringPassword);
    for (const char *v : {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "DBUS_SESSION_BUS_ADDRESS"})
        env.remove(QString::fromLatin1(v));
    proc_.setProcessEnvironment(env);
    proc_.setProcessChannelMode(QProcess::SeparateChannels);
    proc_.start(QStringLiteral("dbus-run-session"),
                {QStringLiteral("--"), QStringLiteral("sh"),
                 QStringLiteral(TL_SOURCE_DIR "/tests/support/keyring-session.sh")});
    if (!proc_.waitForStarted(10000)) {
        error_ = proc_.errorString();
        return false;
    }
    while (!proc_.canReadLine() && proc_.waitForReadyRead(20000)) { }
    address_ = QString::fromLocal8Bit(proc_.readLine().trimmed());
    if (address_.isEmpty()) {
        error_ = QStringLiteral("the keyring did not start: ")
            + QString::fromLocal8Bit(proc_.readAllStandardError());
        stop();
        return false;
    }
    return true;
}

void KeyringSession::stop()
{
    if (proc_.state() == QProcess::NotRunning)
        return;
    proc_.closeWriteChannel(); // the session ends when its input closes
    if (!proc_.waitForFinished(5000)) {
        proc_.kill();
        proc_.waitForFinished(3000);
    }
}

void KeyringSession::addTo(QProcessEnvironment &env) const
{
    env.insert(QStringLiteral("HOME"), home_);
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home_ + QStringLiteral("/run"));
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), address_);
}

} // namespace tl::test
