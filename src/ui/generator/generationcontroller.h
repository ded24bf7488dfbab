#pragma once
// The Generate command (F9): Read, then the whole site from the templates,
// through the site builder the command line uses too. The window shows what
// Read found in the post tree and queues what generation wrote for sending.
#include <QObject>

class QAction;
class QWidget;

namespace tl {

class OpenProject;
class PostsController;
class PublishingController;
class WindowShell;

class GenerationController : public QObject {
    Q_OBJECT
public:
    GenerationController(WindowShell &shell, OpenProject &project, PostsController &posts,
        PublishingController &publishing, QWidget *window);
    // On the toolbar and in the Blog menu.
    QAction *generateAction() const { return generateAction_; }

    // Runs only while its action is enabled.
    void generate();

    // Whether Generate may run, as Read and the editing states say; a
    // transfer holds it off meanwhile whatever they say.
    void setAvailable(bool available);
    void holdForTransfer(bool held);

signals:
    // Generate wrote the site.
    void siteGenerated();

private:
    void updateEnabled();

    WindowShell &shell_;
    OpenProject &project_;
    PostsController &posts_;
    PublishingController &publishing_;
    QAction *generateAction_ = nullptr;
    bool available_ = false;
    bool held_ = false;
};

} // namespace tl
