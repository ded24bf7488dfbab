#pragma once
// The Tags menu: "&Setup..." (the Tags dialog), "More" (the long-post
// separator) and one entry per tag shortcut, which wraps the editor's
// selection in the tag's start and end texts. The tags live in the settings
// file; the menu is built from it at start-up and after the dialog's O&K.
#include <QObject>
#include <QStringList>
#include <memory>
#include <string>

class QMainWindow;

namespace tl {

class PostsController;
class TagsDialog;
class TagsMenu;
class WindowShell;

class TagsController : public QObject {
    Q_OBJECT
public:
    // Fills `menu`; `window` is the window whose commands' hotkeys a tag may
    // not take.
    TagsController(WindowShell &shell, PostsController &posts, QMainWindow *window, TagsMenu *menu,
        const std::string &settingsFile);
    ~TagsController() override;

    // Reads the tag entries of the menu from the settings file.
    void buildMenu();
    // Replaces the tag entries (everything after "&Setup...", the separator
    // and "More") with one entry per tag, in list order.
    void setTagEntries(const QStringList &descriptions, const QStringList &hotkeyTexts);
    // Wraps the editor's selection in tag `index`'s texts, read from the
    // settings file at every use.
    void wrapSelection(int index);
    // "More": the long-post separator at the caret.
    void insertMoreSeparator();
    // The Tags dialog, shown modally.
    void showDialog();
    // A Tags dialog over the window (showDialog shows one; tests show their
    // own without waiting on a modal one).
    std::unique_ptr<TagsDialog> makeDialog();

private:
    WindowShell &shell_;
    PostsController &posts_;
    QMainWindow *window_;
    std::string settingsFile_;
    TagsMenu *menu_ = nullptr;
};

} // namespace tl
