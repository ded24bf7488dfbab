#pragma once
#include <QKeyCombination>
#include <QKeySequenceEdit>
#include <optional>

class QLineEdit;

namespace tl {

// The hotkey field of the Tags dialog: records one key combination.
//  - a key pressed alone or with Shift alone is taken as Alt plus that key;
//  - a modifier pressed on its own, or a key without a name in the hotkey
//    text form, changes nothing;
//  - Tab and Shift+Tab move the focus on, Escape and Enter (without
//    modifiers) go to the dialog's buttons;
//  - the clear button empties the field (no hotkey).
// The field shows the combination in the program's own text form.
class HotKeyEdit : public QKeySequenceEdit {
    Q_OBJECT
public:
    explicit HotKeyEdit(QWidget *parent = nullptr);

    std::optional<QKeyCombination> hotkey() const { return hotkey_; }
    // Sets the field without counting as the user's edit.
    void setHotkey(std::optional<QKeyCombination> key);
    // The text the field shows.
    QString shownText() const;

signals:
    // The user pressed a combination or cleared the field.
    void hotkeyEdited();
    // The focus left the field.
    void left();

protected:
    bool event(QEvent *e) override;
    void keyPressEvent(QKeyEvent *e) override;
    void keyReleaseEvent(QKeyEvent *e) override;
    void focusOutEvent(QFocusEvent *e) override;

private:
    void show(std::optional<QKeyCombination> key);

    std::optional<QKeyCombination> hotkey_;
    QLineEdit *display_ = nullptr;
    bool settingFromCode_ = false;
};

} // namespace tl
