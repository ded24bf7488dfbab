#include "posts/ui/postdateedit.h"

#include "app/core/clock.h"
#include "posts/postfile.h"

#include <QKeyEvent>
#include <QLineEdit>

namespace tl {

QDate PostDateEdit::emptyDate() { return QDate(100, 1, 1); }

PostDateEdit::PostDateEdit(QWidget *parent) : QDateEdit(parent)
{
    setMinimumDate(emptyDate());
    // Shown in place of the lowest date: a blank reads as an empty field.
    setSpecialValueText(QStringLiteral(" "));
}

bool PostDateEdit::isEmpty() const { return date() == emptyDate(); }

void PostDateEdit::setEmpty() { setDate(emptyDate()); }

void PostDateEdit::leaveEmpty()
{
    if (!isEmpty())
        return;
    const CivilDateTime c = civilFromDateTime(clock().now());
    setDate(QDate(c.year, c.month, c.day));
    selectAll();
}

void PostDateEdit::keyPressEvent(QKeyEvent *e)
{
    if (!isReadOnly()) {
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
    // The calendar opens on today rather than on the lowest date.
    if (!isReadOnly())
        leaveEmpty();
    QDateEdit::mousePressEvent(e);
}

} // namespace tl
