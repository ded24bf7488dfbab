#include "ui/aboutbox.h"

#include "core/programfiles.h"

#include <QEvent>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

// Outside any namespace, as the resource registration asks.
static void registerTarvlitResources() { Q_INIT_RESOURCE(tarvlit); }

namespace tl {

void initProgramResources()
{
    static const bool done = (registerTarvlitResources(), true);
    (void)done;
}

QIcon programIcon()
{
    initProgramResources();
    QIcon icon;
    icon.addFile(QStringLiteral(":/icons/tarvlit-64.png"), QSize(64, 64));
    icon.addFile(QStringLiteral(":/icons/tarvlit-256.png"), QSize(256, 256));
    return icon;
}

namespace {
constexpr int kMargin = 8;

AboutBox::ShowHook &showHook()
{
    static AboutBox::ShowHook hook;
    return hook;
}

QLabel *label(const QString &text, QWidget *parent, const char *name = nullptr)
{
    auto *l = new QLabel(text, parent);
    if (name)
        l->setObjectName(QString::fromLatin1(name));
    return l;
}
} // namespace

// ---------------------------------------------------------------------------
// Credits panel

CreditsPanel::CreditsPanel(QWidget *parent) : QWidget(parent), timer_(new QTimer(this))
{
    initProgramResources();
    picture_.load(QStringLiteral(":/images/credits.png"));
    setObjectName(QStringLiteral("pnlCREDITS"));
    setAutoFillBackground(true);
    lines_ = {QString(),
              QStringLiteral("Tarvel Lite"),
              QString(),
              QStringLiteral("Written by the Tarvel Lite team"),
              QString(),
              QStringLiteral("Brno, 2025"),
              QString(),
              QStringLiteral("Thanx for support."),
              QString()};
    QFont f = font();
    f.setBold(true);
    f.setPixelSize(15);
    setFont(f);
    timer_->setInterval(kTickMs);
    connect(timer_, &QTimer::timeout, this, &CreditsPanel::tick);
    hide();
}

QRect CreditsPanel::textArea() const
{
    const int top = kMargin + (picture_.isNull() ? 0 : picture_.height()) + kMargin;
    return QRect(kMargin, top, std::max(0, width() - 2 * kMargin),
                 std::max(0, height() - top - kMargin));
}

int CreditsPanel::textHeight() const
{
    return static_cast<int>(lines_.size()) * (fontMetrics().height() + 2);
}

void CreditsPanel::start()
{
    if (parentWidget())
        setGeometry(parentWidget()->rect());
    offset_ = textArea().height();
    show();
    raise();
    timer_->start();
}

void CreditsPanel::stop()
{
    timer_->stop();
    hide();
}

bool CreditsPanel::running() const { return timer_->isActive(); }

void CreditsPanel::tick()
{
    --offset_;
    // Once the last line has left the top of the area, start again from the
    // bottom.
    if (offset_ + textHeight() <= 0)
        offset_ = textArea().height();
    update(textArea());
}

void CreditsPanel::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.fillRect(rect(), palette().color(QPalette::Window));
    if (!picture_.isNull())
        p.drawPixmap((width() - picture_.width()) / 2, kMargin, picture_);

    const QRect area = textArea();
    p.setClipRect(area);
    const int lineHeight = fontMetrics().height() + 2;
    const QColor light = palette().color(QPalette::Light).lighter(120);
    const QColor dark = palette().color(QPalette::Dark).darker(130);
    const QColor face = palette().color(QPalette::Window).darker(115);
    int y = area.top() + offset_;
    for (const QString &line : lines_) {
        const QRect r(area.left(), y, area.width(), lineHeight);
        if (!line.isEmpty() && r.intersects(area)) {
            // Raised lettering: a light edge up and left, a dark edge down and
            // right, the face on top.
            p.setPen(light);
            p.drawText(r.translated(-1, -1), Qt::AlignHCenter | Qt::AlignVCenter, line);
            p.setPen(dark);
            p.drawText(r.translated(1, 1), Qt::AlignHCenter | Qt::AlignVCenter, line);
            p.setPen(face);
            p.drawText(r, Qt::AlignHCenter | Qt::AlignVCenter, line);
        }
        y += lineHeight;
    }
}

void CreditsPanel::mousePressEvent(QMouseEvent *e)
{
    e->accept();
    stop();
    emit clicked();
}

// ---------------------------------------------------------------------------
// About dialog

AboutBox::AboutBox(QWidget *parent, const std::string &programFile) : QDialog(parent)
{
    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(tr("About"));
    const std::string file = programFile.empty() ? ProgramFilePath() : programFile;

    panel_ = new QFrame(this);
    panel_->setObjectName(QStringLiteral("Panel1"));
    panel_->setFrameStyle(QFrame::Panel | QFrame::Raised);
    panel_->setLineWidth(1);

    iconLabel_ = label(QString(), panel_, "ProgramIcon");
    iconLabel_->setPixmap(programIcon().pixmap(48, 48));
    iconLabel_->setFixedSize(52, 52);
    iconLabel_->setAlignment(Qt::AlignCenter);
    iconLabel_->setCursor(Qt::PointingHandCursor);
    iconLabel_->installEventFilter(this);

    nameLabel_ = label(QStringLiteral("Tarvel Lite"), panel_, "ProductName");
    QFont bold = nameLabel_->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.3);
    nameLabel_->setFont(bold);

    // Fresh from the program file every time a dialog is made.
    const VersionTexts versions = ReadVersionTexts(file);
    versionLabel_ = label(QString::fromStdString(versions.product), panel_, "Version");
    buildLabel_ = label(QString::fromStdString(versions.file), panel_, "Build");
    dateLabel_ = label(QString::fromStdString(FileDateText(file)), panel_, "Compiled");

    commentsLabel_ = label(tr("Keeps a weblog as plain files on your disk,"), panel_, "Comments");
    commentsLabel2_ = label(tr("builds its web site and publishes it over FTP."), panel_, "Comments2");

    auto *grid = new QGridLayout(panel_);
    grid->setContentsMargins(10, 10, 10, 10);
    grid->setHorizontalSpacing(10);
    grid->addWidget(iconLabel_, 0, 0, 4, 1, Qt::AlignTop);
    grid->addWidget(nameLabel_, 0, 1, 1, 2);
    grid->addWidget(label(tr("Version:"), panel_), 1, 1);
    grid->addWidget(versionLabel_, 1, 2);
    grid->addWidget(label(tr("Build:"), panel_), 2, 1);
    grid->addWidget(buildLabel_, 2, 2);
    grid->addWidget(label(tr("Compiled:"), panel_), 3, 1);
    grid->addWidget(dateLabel_, 3, 2);
    grid->setRowMinimumHeight(4, 8);
    grid->addWidget(commentsLabel_, 5, 0, 1, 3);
    grid->addWidget(commentsLabel2_, 6, 0, 1, 3);
    grid->setColumnStretch(2, 1);

    okButton_ = new QPushButton(tr("OK"), this);
    okButton_->setObjectName(QStringLiteral("OKButton"));
    okButton_->setDefault(true);
    connect(okButton_, &QPushButton::clicked, this, &QDialog::accept);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(panel_);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(okButton_);
    buttons->addStretch(1);
    layout->addLayout(buttons);
    // Fixed size: the size the contents ask for, never resizable.
    layout->setSizeConstraint(QLayout::SetFixedSize);

    credits_ = new CreditsPanel(this);
}

bool AboutBox::eventFilter(QObject *watched, QEvent *e)
{
    if (watched == iconLabel_ && e->type() == QEvent::MouseButtonPress) {
        credits_->start();
        return true;
    }
    return QDialog::eventFilter(watched, e);
}

void AboutBox::showEvent(QShowEvent *e)
{
    QDialog::showEvent(e);
    if (QScreen *s = screen()) {
        QRect r = frameGeometry();
        r.moveCenter(s->availableGeometry().center());
        move(r.topLeft());
    }
}

void AboutBox::hideEvent(QHideEvent *e)
{
    credits_->stop();
    QDialog::hideEvent(e);
}

void AboutBox::resizeEvent(QResizeEvent *e)
{
    QDialog::resizeEvent(e);
    credits_->setGeometry(rect());
}

int AboutBox::showModal()
{
    if (showHook())
        return showHook()(*this);
    return exec();
}

void AboutBox::setShowHook(ShowHook hook) { showHook() = std::move(hook); }

} // namespace tl
