#pragma once
// The editor's date field: a date edit with a calendar drop-down that can
// also be empty. Empty is the lowest date of the field, shown as a blank;
// Delete or Backspace over the whole text empties it, and typing or opening
// the calendar on an empty field starts from today.
//
// A date is typed whole, as it is shown ("24.12.2026"): typing a digit with
// the text selected from its start (as after Tab or a click at the start),
// the caret at the start or the field empty begins a typed date. Day and
// month take one or two digits (a third digit moves on by itself), the year
// two or four; the date is taken once its four year digits are in, or when
// typing stops (Enter, Tab, a click elsewhere) with the parts not typed kept
// from the date shown. A date that does not exist is refused and the field
// shows its date again; Escape drops what was typed. Typing inside the month
// or the year edits that part alone, as usual.
#include <QDateEdit>

namespace tl {

class PostDateEdit : public QDateEdit {
    Q_OBJECT
public:
    explicit PostDateEdit(QWidget *parent = nullptr);
    bool isEmpty() const;
    void setEmpty();
    // The date that stands for "empty".
    static QDate emptyDate();

protected:
    void keyPressEvent(QKeyEvent *e) override;
    void mousePressEvent(QMouseEvent *e) override;
    void focusOutEvent(QFocusEvent *e) override;

private:
    void leaveEmpty();
    // A date being typed whole.
    bool typeKey(QKeyEvent *e);
    void showTyped();
    // Takes what was typed (the rest from the date shown); false when it
    // names no date.
    bool finishTyping();
    void cancelTyping();

    bool typing_ = false;
    QString typed_;
};

} // namespace tl
