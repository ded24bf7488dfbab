#include "ui/publish/passwordfield.h"

#include "core/errors.h"
#include "core/openproject.h"
#include "ui/windowshell.h"

#include <QApplication>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QProxyStyle>
#include <QSignalBlocker>
#include <QToolButton>
#include <QVBoxLayout>

namespace tl {

namespace {

// The password field masks with "*" whatever the platform's habit.
class StarMaskStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption *option, const QWidget *widget,
        QStyleHintReturn *returnData) const override
    {
        if (hint == SH_LineEdit_PasswordCharacter)
            return '*';
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

// An eye, drawn in the text colour: open when the password is hidden (the
// button shows it), struck through when the password is shown.
QPixmap eyePixmap(const QColor &colour, bool struck)
{
    const qreal ratio = qApp->devicePixelRatio();
    QPixmap pix(QSize(16, 16) * ratio);
    pix.setDevicePixelRatio(ratio);
    pix.fill(Qt::transparent);
    QPainter p(&pix);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(colour, 1.4));
    QPainterPath lids;
    lids.moveTo(1.5, 8);
    lids.quadTo(8, 1, 14.5, 8);
    lids.quadTo(8, 15, 1.5, 8);
    p.drawPath(lids);
    p.setBrush(colour);
    p.drawEllipse(QPointF(8, 8), 2.3, 2.3);
    if (struck) {
        p.setPen(QPen(colour, 1.6));
        p.drawLine(QPointF(2.5, 13.5), QPointF(13.5, 2.5));
    }
    return pix;
}

QIcon eyeIcon(const QColor &colour)
{
    QIcon icon;
    icon.addPixmap(eyePixmap(colour, false), QIcon::Normal, QIcon::Off);
    icon.addPixmap(eyePixmap(colour, true), QIcon::Normal, QIcon::On);
    return icon;
}

// "user@server", as the log names a keyring entry.
QString accountText(const PasswordKey &key)
{
    return key.user + QLatin1Char('@') + key.server;
}

} // namespace

PasswordField::PasswordField(WindowShell &shell, OpenProject &project, QWidget *place)
    : QObject(place)
    , shell_(shell)
    , project_(project)
{
    buildRow(place);
    QString why;
    keyringAvailable_ = PasswordStore::available(&why);
    rememberBox_->setEnabled(keyringAvailable_);
    rememberBox_->setToolTip(keyringAvailable_
            ? tr("Keep the password in the system keyring for this project, server and user; "
                 "it is never written to a file")
            : why);
    connect(&project_, &OpenProject::replaced, this, &PasswordField::showProjectSetting);
    connect(&project_, &OpenProject::edited, this, &PasswordField::showProjectSetting);
    showProjectSetting();
}

void PasswordField::buildRow(QWidget *place)
{
    auto *rows = new QVBoxLayout(place);
    rows->setContentsMargins(0, 0, 0, 0);
    rows->setSpacing(2);
    auto *row = new QHBoxLayout;
    edit_ = new QLineEdit(place);
    edit_->setObjectName(QStringLiteral("edtPASSWORD"));
    auto *mask = new StarMaskStyle;
    mask->setParent(edit_);
    edit_->setStyle(mask);
    // The line edit takes its mask character when the echo mode is set.
    edit_->setEchoMode(QLineEdit::Normal);
    edit_->setEchoMode(QLineEdit::Password);
    // An eye that stays pressed while the password shows.
    eye_ = new QToolButton(place);
    eye_->setObjectName(QStringLiteral("RxSpeedButton1"));
    eye_->setCheckable(true);
    eye_->setAutoRaise(true);
    eye_->setIcon(eyeIcon(place->palette().color(QPalette::ButtonText)));
    eye_->setAccessibleName(tr("Show password"));
    eye_->setToolTip(tr("Show password"));
    row->addWidget(edit_, 1);
    row->addWidget(eye_);
    rows->addLayout(row);
    rememberBox_ = new QCheckBox(tr("Remember password"), place);
    rememberBox_->setObjectName(QStringLiteral("chkREMEMBERPW"));
    rows->addWidget(rememberBox_);

    connect(edit_, &QLineEdit::textChanged, this, &PasswordField::changed);
    connect(eye_, &QToolButton::toggled, this, [this](bool shown) {
        edit_->setEchoMode(shown ? QLineEdit::Normal : QLineEdit::Password);
        eye_->setToolTip(shown ? tr("Hide password") : tr("Show password"));
    });
    connect(rememberBox_, &QCheckBox::toggled, this,
        [this](bool on) { shell_.run([this, on] { rememberToggled(on); }); });
}

QString PasswordField::text() const
{
    return edit_->text();
}

void PasswordField::toggleShown()
{
    eye_->toggle();
}

bool PasswordField::remembers() const
{
    return remembers(project_.settings().server);
}

bool PasswordField::remembers(const ServerSettings &server) const
{
    return keyringAvailable_ && project_.isOpen() && server.rememberPassword;
}

PasswordKey PasswordField::key(const ServerSettings &server) const
{
    return passwordKeyOf(project_.name(), server);
}

// The box shows the open project's choice; an empty field means something
// else for each kind of target, which its placeholder says.
void PasswordField::showProjectSetting()
{
    const ServerSettings &server = project_.settings().server;
    if (rememberBox_->isChecked() != server.rememberPassword) {
        showing_ = true;
        rememberBox_->setChecked(server.rememberPassword);
        showing_ = false;
    }
    QString empty;
    if (server.target == PublishTarget::Git)
        empty = tr("empty: SSH keys, or none");
    else if (server.target == PublishTarget::Server && server.sftp)
        empty = tr("empty: SSH agent and keys");
    edit_->setPlaceholderText(empty);
    emit changed();
}

void PasswordField::rememberToggled(bool on)
{
    if (showing_)
        return;
    project_.edit([on](ProjectSettings &s) { s.server.rememberPassword = on; });
    if (on || !keyringAvailable_ || !project_.isOpen())
        return;
    // Turned off: the keyring no longer keeps it.
    const PasswordKey k = key(project_.settings().server);
    keptEntry_.clear();
    keptPassword_.clear();
    if (PasswordStore().forget(k))
        shell_.log(tr("The password for %1 was removed from the keyring.").arg(accountText(k)));
}

QString PasswordField::passwordForTransfer(const ServerSettings &server)
{
    if (!edit_->text().isEmpty() || !remembers(server))
        return edit_->text();
    const PasswordKey k = key(server);
    try {
        if (const std::optional<QString> kept = PasswordStore().read(k)) {
            keptEntry_ = PasswordStore::entryName(k);
            keptPassword_ = *kept;
            shell_.log(tr("Using the password kept in the keyring for %1.").arg(accountText(k)));
            edit_->setText(*kept);
        }
    } catch (const AppError &e) {
        // A keyring that cannot be read (locked, not answering) is passed
        // over: the transfer says what it lacks.
        shell_.log(QString::fromLocal8Bit(e.what()));
    }
    return edit_->text();
}

void PasswordField::accepted(const ServerSettings &server, const QString &password)
{
    if (password.isEmpty() || !remembers(server))
        return;
    const PasswordKey k = key(server);
    const QString entry = PasswordStore::entryName(k);
    if (entry == keptEntry_ && password == keptPassword_)
        return;
    try {
        PasswordStore().store(k, password);
    } catch (const AppError &e) {
        // The transfer went well; only the keyring refused.
        shell_.log(QString::fromLocal8Bit(e.what()));
        return;
    }
    keptEntry_ = entry;
    keptPassword_ = password;
    shell_.log(tr("The password for %1 is kept in the keyring.").arg(accountText(k)));
}

} // namespace tl
