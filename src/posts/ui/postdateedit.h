#pragma once
// The editor's date field: a date edit with a calendar drop-down that can
// also be empty. Empty is the lowest date of the field, shown as a blank;
// Delete or Backspace over the whole text empties it, and typing or opening
// the calendar on an empty field starts from today.
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

private:
    void leaveEmpty();
};

} // namespace tl
