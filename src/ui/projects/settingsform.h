#pragma once
// The project's fields on the Options, Content and Publishing tabs. Each field is
// bound to its value in the open project: an edit changes that value at
// once, and a project loaded, saved or reverted shows its values in the
// fields. The fields hold nothing the program needs later; the open project
// does.
#include <QObject>
#include <QStringList>
#include <functional>
#include <vector>

class QCheckBox;
class QFormLayout;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QWidget;

namespace tl {

class OpenProject;
class PathEdit;
class RadioGroup;
class WindowShell;
struct ProjectSettings;
enum class PublishTarget;

class SettingsForm : public QObject {
    Q_OBJECT
public:
    // Puts its fields into the places the main window laid out: "Local
    // paths" and "Parameters" (Options tab), the Content tab's group, and
    // the Publishing tab's setup, which also holds rows of other controllers:
    // the password field (publishing) and a "Save to TVP file" button
    // (projects). The setup shows the fields of the chosen target (an FTP
    // server, a Git branch, an S3 bucket) only.
    SettingsForm(WindowShell &shell, OpenProject &project, QWidget *optionsPlace,
        QWidget *contentPlace, QWidget *serverPlace, QWidget *passwordRow,
        QWidget *serverSaveButton, QObject *parent = nullptr);

    // The dictionaries the spelling language can be chosen from, by name,
    // and the one the system's language gives ("" for none), which the
    // empty choice means.
    void setDictionaries(const QStringList &names, const QString &systemLanguage);

private:
    void buildOptions(QWidget *place);
    void buildContent(QWidget *place);
    void buildServer(QWidget *place, QWidget *passwordRow, QWidget *serverSaveButton);
    void browse(PathEdit *field);
    void showTargetFields(PublishTarget target);

    // A field and its value: `show` puts the value into the field; the
    // field's change signal puts the field's value into the project.
    void bindText(QLineEdit *edit, QString &(*value)(ProjectSettings &));
    void bindPath(PathEdit *edit, QString &(*value)(ProjectSettings &));
    void bindFlag(QCheckBox *box, bool &(*value)(ProjectSettings &));
    void bindChoice(RadioGroup *group, int (*get)(const ProjectSettings &),
        void (*set)(ProjectSettings &, int));
    void bindLanguage(QComboBox *box, QString &(*value)(ProjectSettings &));
    // Puts a language into the language box, listing it when it is not.
    void showLanguage(const QString &language);
    // Shows the open project's settings in every field.
    void showSettings();

    WindowShell &shell_;
    OpenProject &project_;
    std::vector<std::function<void(ProjectSettings &)>> shows_;
    bool showing_ = false; // fields being filled from the project
    QGroupBox *contentGroup_ = nullptr;
    std::vector<PathEdit *> templatePickers_;
    QCheckBox *spellBox_ = nullptr;
    QComboBox *languageBox_ = nullptr;
    QCheckBox *passiveBox_ = nullptr;
    QCheckBox *tlsBox_ = nullptr;
    QGroupBox *serverGroup_ = nullptr;
    QFormLayout *serverForm_ = nullptr;
    QWidget *passwordRow_ = nullptr;
    QWidget *remoteMain_ = nullptr;
    QWidget *remoteData_ = nullptr;
    std::vector<QWidget *> ftpFields_, gitFields_, s3Fields_;
};

} // namespace tl
