#include "ui/formstorage.h"
#include "ui/storedproperty.h"

#include "core/cp1250.h"
#include "core/errors.h"
#include "core/ini.h"
#include "core/inivalue.h"
#include "core/programfiles.h"

#include <QDialog>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QtGlobal>

#include <cstdio>

namespace tl {

using namespace storedprop;

namespace {

// ---------------------------------------------------------------------------
// Placement

QScreen *screenOf(QWidget *) { return QGuiApplication::primaryScreen(); }

int pixelsPerInch(QWidget *w)
{
    QScreen *s = screenOf(w);
    return s ? qRound(s->logicalDotsPerInch()) : 96;
}

std::string screenSuffix(QWidget *w)
{
    QScreen *s = screenOf(w);
    const QSize size = s ? s->geometry().size() : QSize(0, 0);
    char buf[48];
    std::snprintf(buf, sizeof buf, "(%dx%d)", size.width(), size.height());
    return buf;
}

std::string fourInts(int a, int b, int c, int d)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%d,%d,%d,%d", a, b, c, d);
    return buf;
}

// Numbers separated by commas or blanks; a missing number keeps its default.
void parseInts(const std::string &text, int *values, int count)
{
    int idx = 0;
    std::size_t i = 0;
    while (idx < count && i < text.size()) {
        while (i < text.size() && (text[i] == ',' || text[i] == ' '))
            ++i;
        std::size_t start = i;
        while (i < text.size() && text[i] != ',' && text[i] != ' ')
            ++i;
        if (i == start)
            break;
        int v = 0;
        values[idx++] = tryStrToInt(text.substr(start, i - start), v) ? v : 0;
    }
}

// The rectangle the window has when neither minimized nor maximized.
QRect normalRect(QWidget *w)
{
    if (w->windowState() & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen)) {
        QRect r = w->normalGeometry();
        if (r.isValid())
            return r;
    }
    return w->geometry();
}

bool fixedSize(QWidget *w) { return w->minimumSize() == w->maximumSize(); }

// ---------------------------------------------------------------------------
// The chain of storages on one window

class FormStorageHub : public QObject {
    Q_OBJECT
public:
    explicit FormStorageHub(QWidget *window) : QObject(window), window_(window)
    {
        setObjectName(QStringLiteral("tlFormStorageHub"));
    }

    static FormStorageHub *of(QWidget *window, bool create)
    {
        if (!window)
            return nullptr;
        auto *hub = window->findChild<FormStorageHub *>(QString(), Qt::FindDirectChildrenOnly);
        if (!hub && create)
            hub = new FormStorageHub(window);
        return hub;
    }

    // Storages in the order they were constructed.
    QList<FormStorage *> storages() const
    {
        QList<FormStorage *> out;
        for (const auto &s : storages_)
            if (s)
                out << s.data();
        return out;
    }
    void add(FormStorage *s) { storages_ << s; }
    void remove(FormStorage *s) { storages_.removeAll(s); }

    void watch()
    {
        if (!watching_ && window_) {
            window_->installEventFilter(this);
            watching_ = true;
        }
    }

protected:
    bool eventFilter(QObject *obj, QEvent *e) override
    {
        if (obj != window_)
            return false;
        switch (e->type()) {
        case QEvent::Show:
            if (!e->spontaneous())
                FormStorage::windowShown(window_);
            return false;
        case QEvent::Close: {
            if (inClose_)
                return false;
            // The window's own close handling decides first; the storages
            // save only if the close still stands.
            QPointer<QWidget> w = window_;
            inClose_ = true;
            static_cast<QObject *>(w.data())->event(e);
            inClose_ = false;
            if (w && e->isAccepted())
                FormStorage::windowClosing(w);
            return true;
        }
        case QEvent::Hide:
            // A dialog ends by done() (OK, Cancel, Escape), which hides it
            // without a close event; for the dialog that is its close.
            if (!inClose_ && !e->spontaneous() && qobject_cast<QDialog *>(window_))
                FormStorage::windowClosing(window_);
            return false;
        case QEvent::DeferredDelete:
            FormStorage::windowDestroying(window_);
            return false;
        default:
            return false;
        }
    }

private:
    QPointer<QWidget> window_;
    QList<QPointer<FormStorage>> storages_;
    bool watching_ = false;
    bool inClose_ = false;
};

} // namespace

// ---------------------------------------------------------------------------

FormStorage::FormStorage(QWidget *window, QObject *parent) : QObject(parent), window_(window)
{
    if (auto *hub = FormStorageHub::of(window, true))
        hub->add(this);
}

FormStorage::~FormStorage()
{
    if (auto *hub = FormStorageHub::of(window_, false))
        hub->remove(this);
}

QString FormStorage::IniSection() const
{
    if (!iniSection_.isEmpty())
        return iniSection_;
    if (!windowClassName_.isEmpty())
        return windowClassName_;
    if (!window_)
        return QString();
    QString cls = QString::fromLatin1(window_->metaObject()->className());
    const qsizetype colons = cls.lastIndexOf(QLatin1String("::"));
    return colons >= 0 ? cls.mid(colons + 2) : cls;
}

void FormStorage::setIniFileName(const std::string &path) { iniFileName_ = pathText(path); }

std::string FormStorage::sectionBytes() const { return encodeCp1250(IniSection()); }

void FormStorage::reportError(const QString &message) const
{
    if (errorHandler_)
        errorHandler_(message);
    else
        qWarning("%s", qPrintable(message));
}

void FormStorage::install()
{
    QStringList kept;
    for (const QString &entry : storedProps_)
        if (findComponent(window_, splitEntry(entry).component))
            kept << entry;
    storedProps_ = kept;
    if (auto *hub = FormStorageHub::of(window_, true))
        hub->watch();
}

QVariant FormStorage::propertyValue(QWidget *window, const QString &entryText)
{
    const Entry entry = splitEntry(entryText);
    const PropRef ref = resolveProperty(findComponent(window, entry.component), entry.property);
    if (!ref.object || ref.type == PropType::Unsupported)
        return {};
    return readValue(ref);
}

void FormStorage::setPropertyValue(QWidget *window, const QString &entryText, const QVariant &value)
{
    const Entry entry = splitEntry(entryText);
    const PropRef ref = resolveProperty(findComponent(window, entry.component), entry.property);
    if (ref.object && ref.type != PropType::Unsupported && ref.writable)
        writeValue(ref, value);
}

// ---------------------------------------------------------------------------
// Restore

void FormStorage::RestoreStored()
{
    // Restoring never fails: whatever cannot be read or applied stays.
    saved_ = false;
    IniFile ini;
    try {
        ini = IniFile::load(pathBytes(iniFileName_));
        if (window_)
            readPlacement(ini);
    } catch (...) {
    }
    restored_ = true;
    try {
        for (const QString &entry : storedProps_)
            readProperty(ini, entry);
    } catch (...) {
    }
}

void FormStorage::readPlacement(const IniFile &ini)
{
    QWidget *w = window_;
    const std::string sec = sectionBytes();
    auto intKey = [&](const std::string &key, int def) {
        auto v = ini.value(sec, key);
        int out = 0;
        return v && tryStrToInt(*v, out) ? out : def;
    };
    auto posKey = [&](const std::string &key) {
        std::string v = ini.readString(sec, key + screenSuffix(w), "");
        if (v.empty())
            v = ini.readString(sec, key, "");
        return v;
    };

    if (options_ & fpPosition) {
        const std::string minMax = posKey("MinMaxPos");
        const std::string norm = posKey("NormPos");
        const int ppi = intKey("PixelsPerInch", pixelsPerInch(w));
        if ((!minMax.empty() || !norm.empty()) && ppi == pixelsPerInch(w)) {
            int mm[4] = {0, 0, 0, 0};
            parseInts(minMax, mm, 4);
            const QRect cur = normalRect(w);
            int r[4] = {cur.left(), cur.top(), cur.x() + cur.width(), cur.y() + cur.height()};
            parseInts(norm, r, 4);
            if (fixedSize(w)) {
                r[2] = r[0] + w->width();
                r[3] = r[1] + w->height();
            }
            if (r[0] < r[2])
                w->setGeometry(r[0], r[1], r[2] - r[0], r[3] - r[1]);
        }
    }
    if (options_ & fpState) {
        const int showCmd = intKey("ShowCmd", 0);
        Qt::WindowStates st = w->windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized);
        switch (showCmd) {
        case 2:
        case 6:
        case 7:
            st |= Qt::WindowMinimized;
            break;
        case 3:
            st |= Qt::WindowMaximized;
            break;
        default:
            break;
        }
        if (st != w->windowState())
            w->setWindowState(st);
    }
    if (options_ & fpActiveControl) {
        const std::string name = ini.readString(sec, "ActiveControl", "");
        if (!name.empty())
            if (auto *c = qobject_cast<QWidget *>(findComponent(w, decodeCp1250(name))))
                c->setFocus();
    }
}

void FormStorage::readProperty(const IniFile &ini, const QString &entryText)
{
    const Entry entry = splitEntry(entryText);
    QObject *obj = findComponent(window_, entry.component);
    PropRef ref = resolveProperty(obj, entry.property);
    if (!obj || ref.type == PropType::Unsupported || !ref.writable)
        return;
    const std::string key = encodeCp1250(entry.component + QLatin1Char('_') + entry.property);
    const std::string sec = sectionBytes();

    switch (ref.type) {
    case PropType::Text: {
        auto v = ini.value(sec, key);
        if (v)
            writeValue(ref, decodeCp1250(iniReadText(*v)));
        break;
    }
    case PropType::Integer: {
        auto v = ini.value(sec, key);
        if (v)
            writeValue(ref, iniReadInteger(*v));
        break;
    }
    case PropType::Boolean: {
        auto v = ini.value(sec, key);
        if (!v)
            break;
        if (const auto b = iniReadBoolean(*v))
            writeValue(ref, *b);
        break;
    }
    case PropType::Strings: {
        const std::string listSec = sec + "." + key;
        int count = 0;
        if (!tryStrToInt(iniTrimControls(ini.readString(listSec, "Count", "0")), count) || count <= 0
            || count > maxListLines_)
            break;
        QStringList lines;
        lines.reserve(count);
        for (int i = 0; i < count; ++i)
            lines << decodeCp1250(ini.readString(listSec, "Item" + std::to_string(i), ""));
        writeValue(ref, lines);
        break;
    }
    case PropType::Unsupported:
        break;
    }
}

// ---------------------------------------------------------------------------
// Save

void FormStorage::SaveStored()
{
    if (active_ && !restored_)
        return;
    IniFile ini = IniFile::load(pathBytes(iniFileName_));
    if (window_) {
        writePlacement(ini);
        for (const QString &entry : storedProps_)
            writeProperty(ini, entry);
    }
    ini.save();
    saved_ = true;
}

void FormStorage::writePlacement(IniFile &ini) const
{
    QWidget *w = window_;
    const std::string sec = sectionBytes();
    const Qt::WindowStates st = w->windowState();
    const bool minimized = st & Qt::WindowMinimized;
    const bool maximized = st & Qt::WindowMaximized;
    // Flags: 2 = comes back maximized when restored from minimized.
    ini.writeString(sec, "Flags", std::to_string(minimized && maximized ? 2 : 0));
    ini.writeString(sec, "ShowCmd", std::to_string(minimized ? 2 : maximized ? 3 : 1));
    ini.writeString(sec, "PixelsPerInch", std::to_string(pixelsPerInch(w)));
    // The window system here keeps no minimized or maximized position of its
    // own; both are written as "none".
    const std::string minMax = fourInts(-1, -1, -1, -1);
    ini.writeString(sec, "MinMaxPos" + screenSuffix(w), minMax);
    ini.writeString(sec, "MinMaxPos", minMax);
    const QRect r = normalRect(w);
    const std::string norm = fourInts(r.x(), r.y(), r.x() + r.width(), r.y() + r.height());
    ini.writeString(sec, "NormPos" + screenSuffix(w), norm);
    ini.writeString(sec, "NormPos", norm);
    ini.writeString(sec, "Visible", destroying_ ? "1" : "0");
    if (options_ & fpActiveControl) {
        QWidget *focus = w->focusWidget();
        ini.writeString(sec, "ActiveControl",
                        focus ? encodeCp1250(focus->objectName()) : std::string());
    }
}

void FormStorage::writeProperty(IniFile &ini, const QString &entryText) const
{
    const Entry entry = splitEntry(entryText);
    QObject *obj = findComponent(window_, entry.component);
    PropRef ref = resolveProperty(obj, entry.property);
    if (!obj || ref.type == PropType::Unsupported)
        return;
    const std::string key = encodeCp1250(entry.component + QLatin1Char('_') + entry.property);
    const std::string sec = sectionBytes();
    const QVariant v = readValue(ref);

    switch (ref.type) {
    case PropType::Text:
        ini.writeString(sec, key, iniWriteText(encodeCp1250(v.toString())));
        break;
    case PropType::Integer:
        ini.writeString(sec, key, iniWriteInteger(v.toLongLong()));
        break;
    case PropType::Boolean:
        ini.writeString(sec, key, iniWriteBoolean(v.toBool()));
        break;
    case PropType::Strings: {
        const std::string listSec = sec + "." + key;
        const QStringList lines = v.toStringList();
        ini.eraseSection(listSec);
        if (lines.isEmpty())
            break;
        ini.writeString(listSec, "Count", std::to_string(lines.size()));
        for (qsizetype i = 0; i < lines.size(); ++i)
            ini.writeString(listSec, "Item" + std::to_string(i), iniQuoted(encodeCp1250(lines[i])));
        break;
    }
    case PropType::Unsupported:
        break;
    }
}

// ---------------------------------------------------------------------------
// Triggers

void FormStorage::handleShow()
{
    if (active_)
        RestoreStored();
}

void FormStorage::handleCloseAccepted()
{
    if (!active_ || !window_ || !window_->windowHandle())
        return;
    try {
        SaveStored();
    } catch (const std::exception &e) {
        reportError(QString::fromStdString(e.what()));
    }
}

void FormStorage::handleDestroy()
{
    if (!active_ || saved_)
        return;
    destroying_ = true;
    try {
        SaveStored();
    } catch (const std::exception &e) {
        reportError(QString::fromStdString(e.what()));
    }
    destroying_ = false;
}

void FormStorage::windowShown(QWidget *window)
{
    if (auto *hub = FormStorageHub::of(window, false)) {
        const auto list = hub->storages();
        for (auto it = list.crbegin(); it != list.crend(); ++it)
            (*it)->handleShow();
    }
}

void FormStorage::windowClosing(QWidget *window)
{
    if (auto *hub = FormStorageHub::of(window, false))
        for (FormStorage *s : hub->storages())
            s->handleCloseAccepted();
}

void FormStorage::windowDestroying(QWidget *window)
{
    if (auto *hub = FormStorageHub::of(window, false)) {
        const auto list = hub->storages();
        for (auto it = list.crbegin(); it != list.crend(); ++it)
            (*it)->handleDestroy();
    }
}

} // namespace tl

#include "formstorage.moc"
