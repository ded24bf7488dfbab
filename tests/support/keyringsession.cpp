#include "keyringsession.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

namespace tl::test {

bool KeyringSession::start(const QString &home, const QString &keyringPassword)
{
    for (const char *tool : { "dbus-run-session", "gnome-keyring-daemon" })
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty()) {
            error_ = QStringLiteral("%1 is not installed").arg(QString::fromLatin1(tool));
            return false;
        }
    home_ = home;
    // The daemon's sockets go to a runtime folder only the user may enter.
    const QString runtime = home + QStringLiteral("/run");
    QDir().mkpath(runtime);
    QFile::setPermissions(
        runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home);
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
    env.insert(QStringLiteral("TL_KEYRING_PASSWORD"), keyringPassword);
    for (const char *v : { "XDG_DATA_HOME", "XDG_CONFIG_HOME", "DBUS_SESSION_BUS_ADDRESS" })
        env.remove(QString::fromLatin1(v));
    proc_.setProcessEnvironment(env);
    proc_.setProcessChannelMode(QProcess::SeparateChannels);
    // The bus listens where a systemd session has it, $XDG_RUNTIME_DIR/bus,
    // so that a program finds it as a scheduled job does: without
    // DBUS_SESSION_BUS_ADDRESS.
    const QString config = home + QStringLiteral("/session-bus.conf");
    QFile f(config);
    if (!f.open(QIODevice::WriteOnly)
        || f.write(
               QStringLiteral("<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus "
                              "Configuration 1.0//EN\"\n"
                              " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                              "<busconfig>\n"
                              "  <type>session</type>\n"
                              "  <listen>unix:path=%1/bus</listen>\n"
                              "  <auth>EXTERNAL</auth>\n"
                              "  <policy context=\"default\">\n"
                              "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
                              "    <allow eavesdrop=\"true\"/>\n"
                              "    <allow own=\"*\"/>\n"
                              "  </policy>\n"
                              "</busconfig>\n")
                   .arg(runtime)
                   .toUtf8())
            < 0) {
        error_ = QStringLiteral("cannot write ") + config;
        return false;
    }
    f.close();
    proc_.start(QStringLiteral("dbus-run-session"),
        { QStringLiteral("--config-file=") + config, QStringLiteral("--"), QStringLiteral("sh"),
            QStringLiteral(TL_SOURCE_DIR "/tests/support/keyring-session.sh") });
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
}

} // namespace tl::test
