#pragma once
// The project list on the Options tab: choosing a project (which loads its
// settings and reads its posts), the default project, adding a project, and
// the three "Save to TVP file" buttons.
#include <QObject>
#include <QString>
#include <functional>

class QListWidget;
class QPushButton;
class QWidget;

namespace tl {

class ComboBox;
class IniFile;
class OpenProject;
class PostsController;
class PublishingController;
class WindowShell;

class ProjectsController : public QObject {
    Q_OBJECT
public:
    // Writes the window's placement keys, which a project file holds first.
    using PlacementWriter = std::function<void(IniFile &)>;

    // Fills its places: the list, its buttons and the default project on
    // the Options tab, and the "Save to TVP file" buttons of the Content
    // and Publishing tabs.
    ProjectsController(WindowShell &shell, OpenProject &project, PostsController &posts,
        PublishingController &publishing, QWidget *projectsPlace, QWidget *contentSavePlace,
        QWidget *serverSavePlace, PlacementWriter writePlacement);

    // ---- start-up ----
    // Lists the project files and offers them as default projects.
    void listProjects();
    // Opens the project the default-project box names, if it is listed; its
    // entry is highlighted, as for a project chosen by hand.
    void openDefaultProject();

    // ---- commands ----
    // Opens the project highlighted in the list (a click or a key move),
    // after asking about changed settings of the open one.
    void chooseHighlighted();
    void saveProject();
    // Asks for a name and a main folder; makes the folders (after asking,
    // when the main folder does not exist), the templates and the sample
    // post, and only then writes the project file and opens the project.
    void addProject();
    // Moves the highlighted project's file and its send record to the
    // trash, after asking; its site and posts stay where they are.
    void removeProject();

    // The open project's settings changed since they were loaded or saved:
    // asks Save, Discard or Cancel. False when the writer cancels or the
    // save fails; after Discard the settings are as the file holds them.
    bool settleChanges();
    // The window closes: asks about changed settings (false: stay open);
    // a tree width changed alone is saved without asking.
    bool settleBeforeClose();
    // A transfer runs: the project stays as it is until it ends.
    void holdForTransfer(bool held);

private:
    void buildPanel(QWidget *place);
    QPushButton *saveButton(QWidget *place, const char *name);
    void updateSaveButtons();
    // Opens the project `name` of the list.
    void open(const QString &name);
    // Highlights the open project's entry (none while no project is open)
    // without choosing anything.
    void highlightOpenProject();
    int highlightedRow() const;
    int insertEntry(const QString &name);
    // The main folder of a new project, made when the writer agrees; false
    // when there is none.
    bool ensureMainFolder(const QString &mainPath);

    WindowShell &shell_;
    OpenProject &project_;
    PostsController &posts_;
    PublishingController &publishing_;
    PlacementWriter writePlacement_;
    QListWidget *projectList_ = nullptr;
    QPushButton *addButton_ = nullptr;
    QPushButton *removeButton_ = nullptr;
    ComboBox *defaultProjectBox_ = nullptr;
    QPushButton *optionsSaveButton_ = nullptr;
    QPushButton *contentSaveButton_ = nullptr;
    QPushButton *serverSaveButton_ = nullptr;
    bool listWasEnabled_ = true;
};

} // namespace tl
