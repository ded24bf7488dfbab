#pragma once
// The project open in the window: its name, its settings as the writer has
// them now (typed, changed field by field as the writer edits them), and the
// settings its file held when it was last loaded or saved, so that the
// window knows when there is something to save.
//
// The project file is read and written through projectfile.h only.
#include "core/projectsettings.h"

#include <QObject>
#include <QString>
#include <functional>

namespace tl {

class IniFile;

class OpenProject : public QObject {
    Q_OBJECT
public:
    explicit OpenProject(QObject *parent = nullptr)
        : QObject(parent)
    {
    }

    // Empty while no project is open.
    const QString &name() const { return name_; }
    bool isOpen() const { return !name_.isEmpty(); }
    // The project file of the open project ("" while none is open).
    QString filePath() const;

    const ProjectSettings &settings() const { return settings_; }

    // The writer changed a field.
    void edit(const std::function<void(ProjectSettings &)> &change);
    // The post tree's width: kept with the project, but never a change that
    // needs asking about.
    void setTreeWidth(int width);
    // Settings shown while no project is open (the first run's folders);
    // they become the start of the next project opened or added.
    void presetSettings(const ProjectSettings &settings);

    // Opens the project `name`: its file is read over the settings as they
    // are now, so a key the file lacks keeps its value (see projectfile.h).
    // A missing or unreadable file leaves the settings as they are; the next
    // save creates it. Returns whether the file was read.
    bool open(const QString &name);
    // No project is open any more; the settings stay as they are.
    void close();

    // Writes the settings into the project file, folder-like values ending
    // with "/" (they are shown so from then on). `writePlacement` writes the
    // window's placement keys first. Throws AppError("Unable to write to
    // %s") and changes nothing when the file cannot be written.
    void save(const std::function<void(IniFile &)> &writePlacement = {});
    // Writes the settings as last loaded or saved, with the tree's width as
    // it is now: the width is kept without saving the writer's other edits.
    void saveTreeWidth(const std::function<void(IniFile &)> &writePlacement = {});
    // Back to the settings as last loaded or saved.
    void revert();

    // Whether a field other than the tree's width differs from what the
    // project's file holds (as last loaded or saved).
    bool hasUnsavedChanges() const;
    bool treeWidthChanged() const;

    // The writer accepted a server certificate: it is written into the
    // project file at once, whether or not the rest is saved.
    void rememberTrustedFingerprint(const QString &fingerprint);

signals:
    // Every field may have changed (a project loaded, saved or reverted):
    // views show settings() again.
    void replaced();
    // A field changed by an edit.
    void edited();
    // Another project (or none) is open.
    void nameChanged(const QString &name);

private:
    QString name_;
    ProjectSettings settings_;
    ProjectSettings saved_; // as the file holds it
};

} // namespace tl
