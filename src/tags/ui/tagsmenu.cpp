#include "tags/ui/tagsmenu.h"

#include "tags/hotkey.h"

#include <QAction>
#include <QStyleOptionMenuItem>

namespace tl {

TagsMenu::TagsMenu(const QString &title, QWidget *parent) : QMenu(title, parent) {}

void TagsMenu::initStyleOption(QStyleOptionMenuItem *option, const QAction *action) const
{
    QMenu::initStyleOption(option, action);
    const QKeySequence key = action ? action->shortcut() : QKeySequence();
    if (key.count() != 1)
        return;
    const QString text = hotkeyToText(key[0]);
    if (text.isEmpty())
        return;
    // The menu puts the shortcut after a tab; the caption before it stays.
    const qsizetype tab = option->text.indexOf(QLatin1Char('\t'));
    option->text = (tab < 0 ? option->text : option->text.left(tab)) + QLatin1Char('\t') + text;
}

QString TagsMenu::entryText(const QAction *action) const
{
    QStyleOptionMenuItem option;
    initStyleOption(&option, action);
    return option.text;
}

} // namespace tl
