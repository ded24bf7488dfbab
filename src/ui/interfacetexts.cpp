#include "ui/interfacetexts.h"

#include "core/cp1250.h"
#include "core/ini.h"
#include "core/programfiles.h"

#include <QAction>
#include <QMenu>
#include <QWidget>

namespace tl {

void loadInterfaceTexts(QWidget *window, const QString &path)
{
    const IniFile ini = IniFile::load(pathBytes(path));
    // In this order; the key is the object name of the menu or command.
    static const struct {
        const char *key;
        const char *fallback;
    } captions[] = {
        { "Blog1", "&Blog" },
        { "actREAD", "&Read" },
        { "actGENERATE", "&Generate" },
        { "actNEW", "&New" },
        { "actEDIT", "&Edit" },
        { "actSAVE", "&Save" },
        { "actEXIT", "&Exit" },
        { "Tags1", "&Tags" },
        { "More1", "&More" },
        { "Help1", "&Help" },
        { "About1", "&About" },
    };
    for (const auto &c : captions) {
        const QString text = decodeCp1250(ini.readString("form1", c.key, c.fallback));
        const QString name = QString::fromLatin1(c.key);
        if (auto *menu = window->findChild<QMenu *>(name))
            menu->setTitle(text);
        else if (auto *action = window->findChild<QAction *>(name))
            action->setText(text);
    }
}

} // namespace tl
