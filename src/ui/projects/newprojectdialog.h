#pragma once
#include <QDialog>
#include <functional>

class QLineEdit;
class QPushButton;

namespace tl {

class PathEdit;
class Prompts;

// The "New project" dialog: a name and the main folder of a new project.
// "&Create" accepts only a name that can name a project file, and asks before
// an existing project of that name would be overwritten.
class NewProjectDialog : public QDialog {
    Q_OBJECT
public:
    // Messages and the folder picker go through `prompts`.
    NewProjectDialog(Prompts &prompts, QWidget *parent = nullptr);

    // The project name made from the typed name (blanks and dots as "_").
    QString projectName() const;
    // The main path exactly as typed.
    QString mainPath() const;

    // Shows the dialog modally; QDialog::Accepted after "&Create".
    int showModal();

    // Replaces the modal showing (tests fill in the fields and press a
    // button instead of waiting on a real dialog). An empty hook restores
    // the real one.
    using ShowHook = std::function<int(NewProjectDialog &)>;
    static void setShowHook(ShowHook hook);

private:
    void createClicked();
    void browse();

    Prompts &prompts_;
    QLineEdit *nameEdit_ = nullptr;
    PathEdit *mainPathEdit_ = nullptr;
    QPushButton *createButton_ = nullptr;
    QPushButton *cancelButton_ = nullptr;
};

} // namespace tl
