#pragma once
// The main window. It composes the controllers, each of which owns its
// widgets and commands: posts (the Blog tab), projects and the project
// settings (the Options, Content and Publishing tabs' fields), generation,
// publishing (the Publishing tab), tags (the Tags menu), pictures in posts, the
// preview and the editor's aids (colouring and spelling by the project's
// settings). The window itself has
// the toolbar, the menus, the tabs, the log pane, the status bar, the
// prompts, start-up and closing.
//
// The writer's state lives in services: the open project (OpenProject), the
// post store, the send queue and its record. Widgets show it.
#include "ui/windowshell.h"

#include <QMainWindow>
#include <memory>

class QLabel;
class QMenu;
class QPlainTextEdit;
class QStatusBar;
class QTabWidget;

namespace tl {

namespace spell {
class Speller;
}

class EditorAids;
class FormStorage;
class GenerationController;
class IniFile;
class OpenProject;
class PictureController;
class PostsController;
class PreviewController;
class ProjectsController;
class PublishingController;
class SettingsForm;
class TagsController;

class MainWindow : public QMainWindow, public WindowShell {
    Q_OBJECT
public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // ---- the shell the controllers share ----
    // The window owns the prompts; tests install scripted ones before
    // showing the window.
    Prompts &prompts() override { return *prompts_; }
    void setPrompts(std::unique_ptr<Prompts> p);
    bool run(const std::function<void()> &command) override;
    void log(const QString &line) override;
    void setStatusText(const QString &text) override;
    QString statusText() const override;
    void setPostCountText(const QString &text) override;

    // ---- the parts ----
    OpenProject &project() { return *project_; }
    PostsController &posts() { return *posts_; }
    ProjectsController &projects() { return *projects_; }
    GenerationController &generation() { return *generation_; }
    PublishingController &publishing() { return *publishing_; }
    TagsController &tags() { return *tags_; }
    PictureController &pictures() { return *pictures_; }
    PreviewController &preview() { return *preview_; }
    spell::Speller &speller() { return *speller_; }

    // The Exit command: asks about an open post, then closes the window.
    void exit();

protected:
    void showEvent(QShowEvent *e) override;
    void closeEvent(QCloseEvent *e) override;

private:
    void buildLogAndStatus();
    void buildCommands(QMenu *tagsMenu);
    void showOtherTabs(bool shown);
    void startUp();
    void firstShow();
    std::string settingsFile() const;
    // The window's placement keys, as a project file holds them first.
    void writePlacement(IniFile &ini) const;

    std::unique_ptr<Prompts> prompts_;
    std::unique_ptr<OpenProject> project_;
    // The editor's spell checker, one for the window's life.
    std::unique_ptr<spell::Speller> speller_;
    QTabWidget *tabs_ = nullptr;
    QWidget *blogTab_ = nullptr;
    QWidget *optionsTab_ = nullptr;
    QWidget *contentTab_ = nullptr;
    QWidget *serverTab_ = nullptr;
    QPlainTextEdit *logView_ = nullptr;
    QStatusBar *statusBar_ = nullptr;
    QLabel *postCountLabel_ = nullptr;
    QAction *exitAction_ = nullptr;
    FormStorage *settingsStorage_ = nullptr;

    PostsController *posts_ = nullptr;
    PublishingController *publishing_ = nullptr;
    SettingsForm *settingsForm_ = nullptr;
    ProjectsController *projects_ = nullptr;
    GenerationController *generation_ = nullptr;
    TagsController *tags_ = nullptr;
    PictureController *pictures_ = nullptr;
    PreviewController *preview_ = nullptr;
    EditorAids *editorAids_ = nullptr;

    bool shownOnce_ = false;
    bool exitAnswered_ = false; // Exit asked about the open post already
};

} // namespace tl
