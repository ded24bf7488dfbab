#include "app/ui/mainwindow.h"

#include "app/core/cp1250.h"
#include "app/core/errors.h"
#include "app/core/ini.h"
#include "app/core/programfiles.h"
#include "app/ui/posteditor.h"
#include "tags/hotkey.h"
#include "tags/tagtext.h"
#include "tags/ui/tagsdialog.h"

#include <QAction>
#include <QMenu>
#include <QTextCursor>

#include <algorithm>
#include <string>

namespace tl {

namespace {

const char *const kDescriptionsSection = "ShortCuts.lstZNACKY_Items";
const char *const kHotkeysSection = "ShortCuts.StrHOTKEYS_Strings";
const char *const kStartsSection = "ShortCuts.StrSTART_Strings";
const char *const kEndsSection = "ShortCuts.StrEND_Strings";

// The Tags menu's fixed entries: "&Setup...", the separator and "More".
constexpr int kFixedEntries = 3;

std::string itemKey(int i) { return "Item" + std::to_string(i); }

} // namespace

void MainWindow::setupTags()
{
    connect(mnuSETUPTAGS, &QAction::triggered, this, [this] { run([this] { ShowTagsDialog(); }); });
}

void MainWindow::BuildTagsMenu()
{
    // Read straight from the settings file, not through a form storage.
    const IniFile ini = IniFile::load(settingsFile());
    int count = 0;
    if (!tryStrToInt(ini.readString(kDescriptionsSection, "Count", "0"), count))
        count = 0;
    if (count > kMaxTagCount) {
        log(QStringLiteral("The tag list of %1 is damaged (Count=%2): no tags were loaded.")
                .arg(pathText(settingsFile()))
                .arg(count));
        count = 0;
    }
    QStringList descriptions, hotkeys;
    for (int i = 0; i < count; ++i) {
        descriptions << decodeCp1250(ini.readString(kDescriptionsSection, itemKey(i), ""));
        hotkeys << decodeCp1250(ini.readString(kHotkeysSection, itemKey(i), ""));
    }
    SetTagEntries(descriptions, hotkeys);
}

void MainWindow::SetTagEntries(const QStringList &descriptions, const QStringList &hotkeyTexts)
{
    const QList<QAction *> old = menuTags->actions();
    for (qsizetype k = kFixedEntries; k < old.size(); ++k) {
        menuTags->removeAction(old[k]);
        delete old[k];
    }
    // A hotkey that a command holds stays the command's; of several tags with
    // one hotkey the first has it. The others get an entry without shortcut.
    const auto plan = planTagHotkeys(hotkeyTexts, commandHotkeys(*this));
    for (int i = 0; i < descriptions.size(); ++i) {
        auto *a = new QAction(descriptions[i], menuTags);
        a->setObjectName(QStringLiteral("tag%1").arg(i));
        a->setProperty("tlTagIndex", i);
        a->setShortcutContext(Qt::ApplicationShortcut);
        if (static_cast<std::size_t>(i) < plan.size() && plan[static_cast<std::size_t>(i)].bound())
            a->setShortcut(QKeySequence(*plan[static_cast<std::size_t>(i)].key));
        connect(a, &QAction::triggered, this, [this, i] { run([this, i] { WrapSelection(i); }); });
        menuTags->addAction(a);
    }
}

void MainWindow::WrapSelection(int index)
{
    if (memoOBSAH->isReadOnly())
        return;
    QTextCursor cursor = memoOBSAH->textCursor();
    const int noted = cursor.selectionStart();

    // Read at every use, so the dialog's last O&K counts even for entries
    // built before it.
    const IniFile ini = IniFile::load(settingsFile());
    const QString start = tagTextToEditorText(
        decodeCp1250(unescapeTagText(ini.readString(kStartsSection, itemKey(index), ""))));
    const QString end = tagTextToEditorText(
        decodeCp1250(unescapeTagText(ini.readString(kEndsSection, itemKey(index), ""))));

    cursor.beginEditBlock();
    cursor.insertText(start + cursor.selectedText() + end);
    cursor.endEditBlock();
    cursor.setPosition(noted + static_cast<int>(start.size()));
    memoOBSAH->setTextCursor(cursor);
}

void MainWindow::ShowTagsDialog()
{
    TagsDialog dialog(this);
    dialog.exec();
}

} // namespace tl
