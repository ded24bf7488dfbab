#pragma once
// A system keyring of a test's own: a private D-Bus session bus with GNOME
// Keyring's Secret Service on it, its keyring file under a temporary HOME and
// its bus socket in the runtime folder below it (HOME/run/bus).
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>

namespace tl::test {

class KeyringSession {
public:
    ~KeyringSession() { stop(); }
    // Starts the bus and the keyring daemon for `home` (its keyring is
    // created there, unlocked with `keyringPassword`). False, with the
    // reason in error(), when they cannot start.
    bool start(const QString &home, const QString &keyringPassword);
    // Ends the session: the keyring daemon ends with its bus.
    void stop();
    QString error() const { return error_; }
    // The session bus's address (it listens at $XDG_RUNTIME_DIR/bus).
    QString busAddress() const { return address_; }
    // Sets HOME and XDG_RUNTIME_DIR so that a program started with `env`
    // finds this keyring as a scheduled job finds the session's: by the bus
    // socket of the runtime folder, without DBUS_SESSION_BUS_ADDRESS.
    void addTo(QProcessEnvironment &env) const;

private:
    QProcess proc_;
    QString home_, address_, error_;
};

} // namespace tl::test
