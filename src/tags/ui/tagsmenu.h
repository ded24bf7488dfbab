#pragma once
// The Tags menu. Its entries show their hotkeys in the program's own text
// form ("Shift+Ctrl+Alt+P", as the settings file and the Tags dialog write
// them), not in the toolkit's ("Ctrl+Alt+Shift+P").
#include <QMenu>

class QAction;

namespace tl {

class TagsMenu : public QMenu {
    Q_OBJECT
public:
    explicit TagsMenu(const QString &title, QWidget *parent = nullptr);
    // The text the menu draws for an entry: its caption, and after a tab
    // its hotkey when it has one.
    QString entryText(const QAction *action) const;

protected:
    void initStyleOption(QStyleOptionMenuItem *option, const QAction *action) const override;
};

} // namespace tl
