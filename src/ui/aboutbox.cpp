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

    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
    Panel1->setLineWidth(1);

    ProgramIcon = label(QString(), Panel1, "ProgramIcon");
    ProgramIcon->setPixmap(programIcon().pixmap(48, 48));
    ProgramIcon->setFixedSize(52, 52);
    ProgramIcon->setAlignment(Qt::AlignCenter);
    ProgramIcon->setCursor(Qt::PointingHandCursor);
    ProgramIcon->installEventFilter(this);

    ProductName = label(QStringLiteral("Tarvel Lite"), Panel1, "ProductName");
    QFont bold = ProductName->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.3);
    ProductName->setFont(bold);

    // Fresh from the program file every time a dialog is made.
    const VersionTexts versions = ReadVersionTexts(file);
    Version = label(QString::fromStdString(versions.product), Panel1, "Version");
    Build = label(QString::fromStdString(versions.file), Panel1, "Build");
    Compiled = label(QString::fromStdString(FileDateText(file)), Panel1, "Compiled");

    Comments = label(tr("Keeps a weblog as plain files on your disk,"), Panel1, "Comments");
    Comments2 = label(tr("builds its web site and publishes it over FTP."), Panel1, "Comments2");

    auto *grid = new QGridLayout(Panel1);
    grid->setContentsMargins(10, 10, 10, 10);
    grid->setHorizontalSpacing(10);
    grid->addWidget(ProgramIcon, 0, 0, 4, 1, Qt::AlignTop);
    grid->addWidget(ProductName, 0, 1, 1, 2);
    grid->addWidget(label(tr("Version:"), Panel1), 1, 1);
    grid->addWidget(Version, 1, 2);
    grid->addWidget(label(tr("Build:"), Panel1), 2, 1);
    grid->addWidget(Build, 2, 2);
    grid->addWidget(label(tr("Compiled:"), Panel1), 3, 1);
    grid->addWidget(Compiled, 3, 2);
    grid->setRowMinimumHeight(4, 8);
    grid->addWidget(Comments, 5, 0, 1, 3);
    grid->addWidget(Comments2, 6, 0, 1, 3);
    grid->setColumnStretch(2, 1);

    OKButton = new QPushButton(tr("OK"), this);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setDefault(true);
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(Panel1);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(OKButton);
    buttons->addStretch(1);
    layout->addLayout(buttons);
    // Fixed size: the size the contents ask for, never resizable.
    layout->setSizeConstraint(QLayout::SetFixedSize);

    Credits = new CreditsPanel(this);
}

bool AboutBox::eventFilter(QObject *watched, QEvent *e)
{
    if (watched == ProgramIcon && e->type() == QEvent::MouseButtonPress) {
        Credits->start();
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
    Credits->stop();
    QDialog::hideEvent(e);
}

void AboutBox::resizeEvent(QResizeEvent *e)
{
    QDialog::resizeEvent(e);
    Credits->setGeometry(rect());
}

int AboutBox::showModal()
{
    if (showHook())
        return showHook()(*this);
    return exec();
}

void AboutBox::setShowHook(ShowHook hook) { showHook() = std::move(hook); }

} // namespace tl
