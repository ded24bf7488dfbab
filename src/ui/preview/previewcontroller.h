#pragma once
// The Preview command (F12, the Blog menu and a button above the editor):
// the post open in the editor, saved or not, as its page will look within
// the whole site, served on 127.0.0.1 and opened in the writer's browser.
// While no post is open, the post selected in the tree is shown, as its file
// holds it; with none, the main page.
//
// The page reloads by itself: when the open post's title, date or text
// changes (once typing pauses), and when the site changes (a post saved,
// closed or deleted, Generate), then showing the post as stored. The server stops with the project
// and with the window.
#include <QObject>

#include <optional>

class QAction;
class QTimer;
class QWidget;

namespace tl {

class OpenProject;
class PostsController;
class WindowShell;

namespace preview {
class PreviewSession;
struct PreviewPost;
}

class PreviewController : public QObject {
    Q_OBJECT
public:
    PreviewController(
        WindowShell &shell, OpenProject &project, PostsController &posts, QWidget *window);
    ~PreviewController() override;
    QAction *previewAction() const { return previewAction_; }

    // The command: starts the preview (or shows the post again in a running
    // one) and opens its address.
    void preview();
    // The site changed (Generate ran, a post was saved or deleted): the
    // preview generates its copy again and the pages reload.
    void siteChanged();

    // How long typing must pause before the page follows, in milliseconds.
    static constexpr int kTypingPauseMs = 300;
    preview::PreviewSession &session() { return *session_; }

private:
    std::optional<preview::PreviewPost> shownPost() const;
    preview::PreviewPost openPost() const;
    void showOpenPost();
    void editingChanged(bool editing);
    void showStoredPost();

    WindowShell &shell_;
    OpenProject &project_;
    PostsController &posts_;
    preview::PreviewSession *session_ = nullptr;
    QAction *previewAction_ = nullptr;
    QTimer *typingPause_ = nullptr;
};

} // namespace tl
