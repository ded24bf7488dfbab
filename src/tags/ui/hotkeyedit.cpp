#include "tags/ui/hotkeyedit.h"

#include "tags/hotkey.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>

namespace tl {

namespace {

// Keys that keep their usual meaning in a dialog when pressed without
// modifiers: they move the focus or press the dialog's buttons.
bool isDialogKey(const QKeyEvent *e)
{
    if (e->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        return false;
    switch (e->key()) {
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return true;
    case Qt::Key_Escape:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return !(e->modifiers() & Qt::ShiftModifier);
    default:
        return false;
    }
}

} // namespace

HotKeyEdit::HotKeyEdit(QWidget *parent) : QKeySequenceEdit(parent)
{
    display_ = findChild<QLineEdit *>();
    setClearButtonEnabled(true);
    // The clear button empties the sequence; that is the user's edit.
    connect(this, &QKeySequenceEdit::keySequenceChanged, this, [this](const QKeySequence &seq) {
        if (settingFromCode_ || !seq.isEmpty() || !hotkey_)
            return;
        hotkey_.reset();
        emit hotkeyEdited();
    });
}

void HotKeyEdit::show(std::optional<QKeyCombination> key)
{
    hotkey_ = key;
    settingFromCode_ = true;
    setKeySequence(key ? QKeySequence(*key) : QKeySequence());
    if (display_) {
        // The field shows the program's own form, as it will be stored.
        const QString text = key ? hotkeyToText(*key) : QString();
        if (display_->text() != text)
            display_->setText(text);
    }
    settingFromCode_ = false;
}

void HotKeyEdit::setHotkey(std::optional<QKeyCombination> key)
{
    show(key ? std::optional<QKeyCombination>(normalizeHotkey(*key)) : std::nullopt);
}

QString HotKeyEdit::shownText() const { return display_ ? display_->text() : QString(); }

bool HotKeyEdit::event(QEvent *e)
{
    if (e->type() == QEvent::KeyPress || e->type() == QEvent::ShortcutOverride) {
        auto *ke = static_cast<QKeyEvent *>(e);
        if (isDialogKey(ke)) {
            if (e->type() == QEvent::KeyPress && (ke->key() == Qt::Key_Tab || ke->key() == Qt::Key_Backtab))
                return QWidget::event(e); // focus navigation
            ke->ignore();
            return false;
        }
    }
    return QKeySequenceEdit::event(e);
}

void HotKeyEdit::keyPressEvent(QKeyEvent *e)
{
    if (isDialogKey(e)) {
        e->ignore();
        return;
    }
    e->accept();
    const auto key = hotkeyFromKeyPress(e->key(), e->modifiers());
    if (!key)
        return;
    show(key);
    emit hotkeyEdited();
}

void HotKeyEdit::keyReleaseEvent(QKeyEvent *e) { e->accept(); }

void HotKeyEdit::focusOutEvent(QFocusEvent *e)
{
    QKeySequenceEdit::focusOutEvent(e);
    // The toolkit writes its own form of the sequence into the field when
    // the focus leaves; the field keeps showing the program's.
    show(hotkey_);
    emit left();
}

} // namespace tl
