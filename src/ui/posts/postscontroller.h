#pragma once
// The Blog tab: Read and the post tree with its find box, the preview, and
// the browse and editing states with New, Edit, Save, Close post and Delete.
//
// What it shows comes from the post store (the data folder of the open
// project, read by Read); the tree's nodes carry the identity of their month
// or post, never anything the program keeps only there.
#include "posts/postindex.h"
#include "posts/poststore.h"
#include "ui/posts/postform.h"

#include <QObject>
#include <QString>
#include <vector>

class QAction;
class QLineEdit;
class QSplitter;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;
class QWidget;

namespace tl {

class OpenProject;
class WindowShell;

class PostsController : public QObject {
    Q_OBJECT
public:
    // Builds the Blog tab into `page`; the commands' actions are children of
    // `window`, whose shortcuts they are.
    PostsController(WindowShell &shell, OpenProject &project, QWidget *page, QWidget *window);
    // The commands the toolbar and the Blog menu offer.
    QAction *readAction() const { return commands_.read; }
    QAction *newPostAction() const { return commands_.newPost; }
    QAction *editAction() const { return commands_.edit; }
    QAction *saveAction() const { return commands_.save; }
    QAction *deleteAction() const { return commands_.remove; }

    // ---- commands (each runs only while its action is enabled) ----
    // Lists the data folder and shows its posts in the tree.
    void read();
    // Shows what a Read found (Generate reads too): the count, the tree;
    // Generate and Edit follow unless a name stopped the walk.
    void showPostFolder(PostFolder folder);
    // Shows the selected post, read-only.
    void preview();
    void newPost();
    void edit();
    void save();
    // Leaves the open post, asking first when it changed.
    void closePost();
    // Moves the selected post's file to the trash, after asking.
    void deleteSelected();
    // Filters the tree by the find box's text now.
    void applyFind();
    // Inserts text at the editor's caret (the long-post separator); nothing
    // while no post is open.
    void insertAtCaret(const QString &text);
    // Wraps the editor's selection (a tag shortcut); nothing while no post
    // is open.
    void wrapSelection(const QString &start, const QString &end);
    // No project any more: an empty tree and no count.
    void clear();

    // ---- state ----
    bool isPostOpen() const { return postOpen_; }
    bool isNewPost() const { return newPost_; }
    const QString &openPostName() const { return openPostName_; }
    // The open post's title, date, time or text differs from what it was
    // opened with.
    bool openPostChanged() const;
    // The post selected in the tree ("" for none): the one the form shows
    // while no post is open.
    QString selectedPostName() const;
    // The post's fields, for the commands that work on the open post
    // (pictures, the preview, the editor's aids).
    PostForm &form() { return *form_; }
    // The last Read: the post list, the month list and the tree's walk.
    const PostFolder &lastRead() const { return folder_; }
    // The titles and texts of the tree's posts (for the find benchmark).
    PostIndex &index() { return index_; }
    // How many posts the last find matched.
    int matchedPosts() const;

signals:
    // A post is open for editing, or no longer.
    void editingChanged(bool editing);
    // Whether Generate may run, as Read and the editing states leave it.
    void generateAvailable(bool available);
    void postSaved(const QString &path);
    void postDeleted(const QString &path);
    // The find box was asked for (Ctrl+F): the Blog tab should be shown.
    void findRequested();

private:
    void buildPage(QWidget *page);
    void setupActions(QWidget *window);
    void connectTree();
    void showPost(const QString &postName);
    void enableBrowseCommands();
    void disableBrowseCommands();
    void setTreeEnabled(bool enabled);
    void returnToBrowsing();
    // A key released in the tree: Up and Down preview.
    void treeKeyUp(int key);
    void treeDoubleClicked();
    void applyTreeWidth();
    // Selects a post in the tree, its month opened, and shows it (a find
    // that hides it is emptied first).
    void selectPost(const QString &name);
    // The post `name` is gone: the tree and the counts follow at once.
    void forgetPost(QTreeWidgetItem *node);

    WindowShell &shell_;
    OpenProject &project_;
    struct Commands {
        QAction *read = nullptr;
        QAction *newPost = nullptr;
        QAction *edit = nullptr;
        QAction *save = nullptr;
        QAction *remove = nullptr;
    } commands_;
    QAction *closePostAction_ = nullptr;
    QAction *findAction_ = nullptr;
    QSplitter *splitter_ = nullptr;
    QWidget *treePanel_ = nullptr;
    QLineEdit *findEdit_ = nullptr;
    QTreeWidget *tree_ = nullptr;
    PostForm *form_ = nullptr;
    QTimer *findTimer_ = nullptr;

    PostFolder folder_;
    PostIndex index_;
    std::vector<char> found_; // the last find, one flag per slot; empty: no filter
    bool postOpen_ = false;
    bool newPost_ = false; // the open post has no file yet
    QString openPostName_; // file name of the post opened by Edit
    PostForm::Fields opened_; // the fields as New or Edit left them
};

} // namespace tl
