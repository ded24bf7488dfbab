#pragma once
// The password row of the Publishing tab: the field (the FTP or SSH
// password, the Git token or the S3 secret), an eye that shows what was
// typed, and "Remember password", which keeps it in the system keyring for
// the project, its server and its user.
//
// The password lives in the field and, when the writer asks for it, in the
// keyring; never in the project or any other file of the program's. A
// remembered password is read only when a transfer needs it (a keyring may
// ask the writer to unlock it), and kept only once a server has accepted it.
#include "publish/passwordstore.h"

#include <QObject>
#include <QString>

class QCheckBox;
class QLineEdit;
class QToolButton;
class QWidget;

namespace tl {

class OpenProject;
class WindowShell;
struct ServerSettings;

class PasswordField : public QObject {
    Q_OBJECT
public:
    // Fills `place` (a row among the Publishing tab's fields).
    PasswordField(WindowShell &shell, OpenProject &project, QWidget *place);

    QString text() const;
    void toggleShown();
    // Whether the open project keeps its password in a keyring that answers:
    // an empty field is then no reason to hold a transfer back.
    bool remembers() const;

    // Before a transfer to `server` (the open project's, as the transfer
    // takes it): an empty field is filled from the keyring when the project
    // remembers its password (left empty when none is kept). The password
    // the transfer uses.
    QString passwordForTransfer(const ServerSettings &server);
    // After a transfer to `server` whose session logged in with `password`:
    // kept in the keyring when the project remembers it.
    void accepted(const ServerSettings &server, const QString &password);

signals:
    // The field's text, or whether an empty one will do, changed.
    void changed();

private:
    void buildRow(QWidget *place);
    void showProjectSetting();
    void rememberToggled(bool on);
    bool remembers(const ServerSettings &server) const;
    PasswordKey key(const ServerSettings &server) const;

    WindowShell &shell_;
    OpenProject &project_;
    QLineEdit *edit_ = nullptr;
    QToolButton *eye_ = nullptr;
    QCheckBox *rememberBox_ = nullptr;
    bool keyringAvailable_ = false;
    bool showing_ = false; // the box shows the project's setting
    // What this window last read from or wrote to the keyring, so that a
    // password already kept is not written again after every transfer.
    QString keptEntry_;
    QString keptPassword_;
};

} // namespace tl
