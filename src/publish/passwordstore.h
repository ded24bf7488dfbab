#pragma once
// The writer's FTP and SFTP passwords in the system keyring: the Secret
// Service of the desktop session (GNOME Keyring, KeePassXC, KWallet 5.97 and
// later), reached through QtKeychain. The keyring keeps the password
// encrypted; the program never writes it to a file of its own, and never
// falls back to one when there is no keyring.
//
// QtKeychain answers asynchronously. Each request here waits for its answer
// by running the event loop (a window stays responsive, and a keyring that
// asks the writer to unlock it can show its prompt), for at most the store's
// time limit.
#include <QString>
#include <optional>

namespace tl {

// Which password: the project's name, and its server and user as typed in
// the project. Another server or user is another password.
struct ServerSettings;

struct PasswordKey {
    QString project;
    QString server;
    QString user;
};

// The keyring entry of a project's secret: the password of its server's
// user, the token of its Git repository ("token@URL"), or the secret of its
// S3 access key ("KEYID@ENDPOINT/BUCKET").
PasswordKey passwordKeyOf(const QString &project, const ServerSettings &server);

class PasswordStore {
public:
    // The keyring's service name of every entry the program keeps.
    static const char *const kService;

    // `timeoutMs`: how long one request may wait for the keyring (which may
    // be waiting for the writer to type the keyring's own password).
    explicit PasswordStore(int timeoutMs = 120000);

    // Whether a keyring answers on the session bus. When none does, `why`
    // (if given) gets a sentence for the writer saying what is missing.
    static bool available(QString *why = nullptr);

    // The entry's name in the keyring: "PROJECT/USER@SERVER".
    static QString entryName(const PasswordKey &key);

    // Keeps `password` for `key`, replacing one kept before. Throws AppError
    // when the keyring refuses or does not answer in time.
    void store(const PasswordKey &key, const QString &password);
    // The password kept for `key`, or nothing when none is. Throws AppError
    // when the keyring cannot be read (locked and not opened, no answer).
    std::optional<QString> read(const PasswordKey &key);
    // Removes the password kept for `key`: true when there was one. Throws
    // AppError when the keyring refuses or does not answer in time.
    bool forget(const PasswordKey &key);

private:
    int timeoutMs_;
};

} // namespace tl
