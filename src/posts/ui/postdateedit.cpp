#include "posts/ui/postdateedit.h"

#include "app/core/clock.h"
#include "posts/postfile.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QSignalBlocker>

namespace tl {

namespace {

QDate today()
{
    const CivilDateTime c = civilFromDateTime(clock().now());
    return QDate(c.year, c.month, c.day);
}

// Separators a typed date may use: the shown one and the keypad's comma.
bool isDateSeparator(QChar c) { return c == QLatin1Char('.') || c == QLatin1Char(','); }

} // namespace

QDate PostDateEdit::emptyDate() { return QDate(100, 1, 1); }

PostDateEdit::PostDateEdit(QWidget *parent) : QDateEdit(parent)
{
    setMinimumDate(emptyDate());
    // Shown in place of the lowest date: a blank reads as an empty field.
    setSpecialValueText(QStringLiteral(" "));
}

bool PostDateEdit::isEmpty() const { return date() == emptyDate(); }

void PostDateEdit::setEmpty()
{
    cancelTyping();
    setDate(emptyDate());
}

void PostDateEdit::leaveEmpty()
{
    if (!isEmpty())
        return;
    setDate(today());
    selectAll();
}

void PostDateEdit::showTyped()
{
    // The text alone: the field's date changes only when typing is done.
    QLineEdit *le = lineEdit();
    const QSignalBlocker quiet(le);
    le->setText(typed_);
    le->setCursorPosition(static_cast<int>(typed_.size()));
}

void PostDateEdit::cancelTyping()
{
    if (!typing_)
        return;
    typing_ = false;
    typed_.clear();
    setDate(date()); // shows the date again
}

bool PostDateEdit::finishTyping()
{
    if (!typing_)
        return true;
    const QStringList parts = typed_.split(QLatin1Char('.'));
    typing_ = false;
    typed_.clear();
    const QDate base = date();
    bool ok = !parts.value(0).isEmpty();
    const int day = parts.value(0).toInt();
    int month = base.month(), year = base.year();
    if (parts.size() > 1 && !parts[1].isEmpty())
        month = parts[1].toInt();
    if (parts.size() > 2 && !parts[2].isEmpty()) {
        const QString y = parts[2];
        if (y.size() == 4)
            year = y.toInt();
        else if (y.size() <= 2)
            year = 2000 + y.toInt();
        else
            ok = false;
    }
    const QDate typed(year, month, day);
    if (!ok || !typed.isValid() || typed <= emptyDate() || typed > maximumDate()) {
        QApplication::beep();
        setDate(date()); // the date as it was
        return false;
    }
    setDate(typed);
    return true;
}

bool PostDateEdit::typeKey(QKeyEvent *e)
{
    const QString text = e->text();
    const QChar c = text.size() == 1 ? text.at(0) : QChar();
    const bool digit = c.isDigit() && c.unicode() < 0x80;
    if (!typing_) {
        QLineEdit *le = lineEdit();
        const bool fromStart = le->hasSelectedText() ? le->selectionStart() == 0
                                                     : le->cursorPosition() == 0;
        if (!digit || !(fromStart || isEmpty()))
            return false;
        // An empty field starts from today: the parts not typed come from it.
        if (isEmpty())
            setDate(today());
        typing_ = true;
        typed_.clear();
    }
    if (digit || isDateSeparator(c)) {
        const QStringList parts = typed_.split(QLatin1Char('.'));
        const QString &part = parts.last();
        const auto index = parts.size() - 1;
        if (digit) {
            // A day or month of two digits is complete: the next digit
            // starts the next part.
            if (index < 2 && part.size() == 2)
                typed_ += QLatin1Char('.');
            if (!(index == 2 && part.size() == 4))
                typed_ += c;
        } else if (!part.isEmpty() && index < 2) {
            typed_ += QLatin1Char('.');
        }
        showTyped();
        const QStringList now = typed_.split(QLatin1Char('.'));
        if (now.size() == 3 && now[2].size() == 4)
            finishTyping();
        return true;
    }
    switch (e->key()) {
    case Qt::Key_Backspace:
        typed_.chop(1);
        showTyped();
        return true;
    case Qt::Key_Escape:
        cancelTyping();
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        finishTyping();
        return true;
    default:
        // Any other key (Tab, the arrows) ends the typing first.
        finishTyping();
        return false;
    }
}

void PostDateEdit::keyPressEvent(QKeyEvent *e)
{
    if (!isReadOnly()) {
        if (typeKey(e))
            return;
        const bool erase = e->key() == Qt::Key_Delete || e->key() == Qt::Key_Backspace;
        if (erase) {
            QLineEdit *le = lineEdit();
            if (isEmpty() || le->selectedText() == le->text()) {
                setEmpty();
                return;
            }
        } else if (isEmpty() && !e->text().isEmpty() && e->text().at(0).isDigit()) {
            leaveEmpty();
        }
    }
    QDateEdit::keyPressEvent(e);
}

void PostDateEdit::mousePressEvent(QMouseEvent *e)
{
    finishTyping();
    // The calendar opens on today rather than on the lowest date.
    if (!isReadOnly())
        leaveEmpty();
    QDateEdit::mousePressEvent(e);
}

void PostDateEdit::focusOutEvent(QFocusEvent *e)
{
    finishTyping();
    QDateEdit::focusOutEvent(e);
}

} // namespace tl
