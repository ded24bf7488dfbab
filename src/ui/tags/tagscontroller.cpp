#include "ui/tags/tagscontroller.h"

#include "core/cp1250.h"
#include "core/errors.h"
#include "core/ini.h"
#include "core/programfiles.h"
#include "tags/hotkey.h"
#include "tags/tagtext.h"
#include "ui/posts/postscontroller.h"
#include "ui/tags/tagsdialog.h"
#include "ui/tags/tagsmenu.h"
#include "ui/windowshell.h"

#include <QAction>
#include <QMainWindow>

#include <string>

namespace tl {

namespace {

const char *const kDescriptionsSection = "ShortCuts.lstZNACKY_Items";
const char *const kHotkeysSection = "ShortCuts.StrHOTKEYS_Strings";
const char *const kStartsSection = "ShortCuts.StrSTART_Strings";
const char *const kEndsSection = "ShortCuts.StrEND_Strings";

// The Tags menu's fixed entries: "&Setup...", the separator and "More".
constexpr int kFixedEntries = 3;

std::string itemKey(int i)
{
    return "Item" + std::to_string(i);
}

} // namespace

TagsController::TagsController(WindowShell &shell, PostsController &posts, QMainWindow *window,
    TagsMenu *menu, const std::string &settingsFile)
    : QObject(window)
    , shell_(shell)
    , posts_(posts)
    , window_(window)
    , settingsFile_(settingsFile)
    , menu_(menu)
{
    QAction *setup = menu_->addAction(tr("&Setup..."));
    setup->setObjectName(QStringLiteral("Setup1"));
    menu_->addSeparator();
    QAction *more = menu_->addAction(tr("More"));
    more->setObjectName(QStringLiteral("More1"));
    connect(setup, &QAction::triggered, this, [this] { shell_.run([this] { showDialog(); }); });
    connect(
        more, &QAction::triggered, this, [this] { shell_.run([this] { insertMoreSeparator(); }); });
}

TagsController::~TagsController() = default;

void TagsController::buildMenu()
{
    // Read straight from the settings file, not through a form storage.
    const IniFile ini = IniFile::load(settingsFile_);
    int count = 0;
    if (!tryStrToInt(ini.readString(kDescriptionsSection, "Count", "0"), count))
        count = 0;
    if (count > kMaxTagCount) {
        shell_.log(QStringLiteral("The tag list of %1 is damaged (Count=%2): no tags were loaded.")
                       .arg(pathText(settingsFile_))
                       .arg(count));
        count = 0;
    }
    QStringList descriptions, hotkeys;
    for (int i = 0; i < count; ++i) {
        descriptions << decodeCp1250(ini.readString(kDescriptionsSection, itemKey(i), ""));
        hotkeys << decodeCp1250(ini.readString(kHotkeysSection, itemKey(i), ""));
    }
    setTagEntries(descriptions, hotkeys);
}

void TagsController::setTagEntries(const QStringList &descriptions, const QStringList &hotkeyTexts)
{
    const QList<QAction *> old = menu_->actions();
    for (qsizetype k = kFixedEntries; k < old.size(); ++k) {
        menu_->removeAction(old[k]);
        delete old[k];
    }
    // A hotkey that a command holds stays the command's; of several tags with
    // one hotkey the first has it. The others get an entry without shortcut.
    const auto plan = planTagHotkeys(hotkeyTexts, commandHotkeys(*window_));
    for (int i = 0; i < descriptions.size(); ++i) {
        auto *a = new QAction(descriptions[i], menu_);
        a->setObjectName(QStringLiteral("tag%1").arg(i));
        a->setProperty("tlTagIndex", i);
        a->setShortcutContext(Qt::ApplicationShortcut);
        if (static_cast<std::size_t>(i) < plan.size() && plan[static_cast<std::size_t>(i)].bound())
            a->setShortcut(QKeySequence(*plan[static_cast<std::size_t>(i)].key));
        connect(a, &QAction::triggered, this,
            [this, i] { shell_.run([this, i] { wrapSelection(i); }); });
        menu_->addAction(a);
    }
}

void TagsController::wrapSelection(int index)
{
    // Read at every use, so the dialog's last O&K counts even for entries
    // built before it.
    const IniFile ini = IniFile::load(settingsFile_);
    const QString start = tagTextToEditorText(
        decodeCp1250(unescapeTagText(ini.readString(kStartsSection, itemKey(index), ""))));
    const QString end = tagTextToEditorText(
        decodeCp1250(unescapeTagText(ini.readString(kEndsSection, itemKey(index), ""))));
    posts_.wrapSelection(start, end);
}

void TagsController::insertMoreSeparator()
{
    posts_.insertAtCaret(QStringLiteral("<!--more-->"));
}

std::unique_ptr<TagsDialog> TagsController::makeDialog()
{
    return std::make_unique<TagsDialog>(window_, shell_, settingsFile_, commandHotkeys(*window_),
        [this](const QStringList &descriptions, const QStringList &hotkeys) {
            setTagEntries(descriptions, hotkeys);
        });
}

void TagsController::showDialog()
{
    makeDialog()->exec();
}

} // namespace tl
