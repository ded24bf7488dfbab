#pragma once
#include "tags/hotkey.h"

#include <QDialog>
#include <QStringList>
#include <functional>
#include <string>
#include <vector>

class QLabel;
class QMainWindow;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QToolButton;

namespace tl {

class HotKeyEdit;
class FormStorage;
class WindowShell;

// A list of strings owned by a window, kept for the window's storage under
// the property "Strings".
class StringHolder : public QObject {
    Q_OBJECT
    Q_PROPERTY(QStringList Strings READ strings WRITE setStrings)
public:
    explicit StringHolder(const QString &name, QObject *parent);
    QStringList strings() const { return strings_; }
    void setStrings(const QStringList &s) { strings_ = s; }
    QStringList &lines() { return strings_; }

private:
    QStringList strings_;
};

// The shortcuts the window's own commands hold (tag entries of the Tags
// menu left out) and the Alt+letter keys of its menu titles, with their
// captions.
std::vector<ReservedHotkey> commandHotkeys(const QMainWindow &window);

// The Tags dialog: the tag shortcuts as four parallel lists (descriptions in
// the list box, hotkey texts, escaped start and end texts), edited in place.
// Its storage keeps the lists and the dialog's placement in section
// "ShortCuts" of the settings file, restored when the dialog is shown and
// saved whenever it closes.
//
// Only O&K keeps the edits: it rebuilds the Tags menu from the lists, and
// the lists are saved. Cancel, Escape and the close box put the lists back
// as they were when the dialog opened before they are saved, so the menu and
// the settings file always agree.
class TagsDialog : public QDialog {
    Q_OBJECT
public:
    // What O&K does with the edited lists: rebuild the Tags menu.
    using ApplyTags =
        std::function<void(const QStringList &descriptions, const QStringList &hotkeyTexts)>;

    // `reserved` are the hotkeys the window's commands hold already; the
    // lists are stored in `settingsFile`.
    TagsDialog(QWidget *parent, WindowShell &shell, const std::string &settingsFile,
               std::vector<ReservedHotkey> reserved, ApplyTags applyTags);
    ~TagsDialog() override;

    QStringList descriptions() const;

protected:
    void showEvent(QShowEvent *e) override;

public slots:
    void done(int r) override;

private:
    struct Lists {
        QStringList descriptions, hotkeys, starts, ends;
    };
    // A tag selected in the list: its parts in the detail fields.
    void selectTag(int row);
    void addTag();
    void deleteTag();
    // O&K: the Tags menu is rebuilt from the lists, which are then saved.
    void keepEdits();
    Lists currentLists() const;
    void setLists(const Lists &lists);
    void padLists();
    // The hotkey texts of the listed tags (a list's surplus left out).
    QStringList tagHotkeyTexts() const;
    // Enables or disables the description, hotkey and text fields.
    void setDetailsEnabled(bool enabled);
    int selectedTag() const;
    void storeHotkey();
    void storeText(QPlainTextEdit *memo, StringHolder *target);
    void updateHotkeyNote();

    WindowShell &shell_;
    std::vector<ReservedHotkey> reserved_;
    ApplyTags applyTags_;

    QListWidget *tagList_ = nullptr;   // the descriptions
    QToolButton *addButton_ = nullptr, *deleteButton_ = nullptr;
    QLineEdit *descriptionEdit_ = nullptr;
    HotKeyEdit *hotkeyEdit_ = nullptr;
    QLabel *hotkeyNote_ = nullptr; // the hotkey's conflict, if any
    QPlainTextEdit *startText_ = nullptr, *endText_ = nullptr;
    QPushButton *okButton_ = nullptr, *cancelButton_ = nullptr;
    // The parallel lists besides the list box.
    StringHolder *hotkeys_ = nullptr, *starts_ = nullptr, *ends_ = nullptr;
    FormStorage *storage_ = nullptr;

    Lists opened_;       // the lists as the dialog restored them
    bool shownOnce_ = false;
    bool filling_ = false; // the detail fields are being filled from a tag
};

} // namespace tl
