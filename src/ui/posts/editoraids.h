#pragma once
// The editor's aids that follow the open project: Markdown or HTML colouring
// by its paragraph mode, and spell checking in its language (or the
// system's), on or off as it says. Applied when a project loads and as the
// writer changes those settings.
#include "core/projectsettings.h"

#include <QObject>
#include <QString>
#include <optional>

namespace tl {

class OpenProject;
class PostForm;
class WindowShell;

namespace spell {
class Speller;
}

class EditorAids : public QObject {
    Q_OBJECT
public:
    // The speller is the window's; it must outlive the form or be detached
    // first.
    EditorAids(WindowShell &shell, OpenProject &project, PostForm &form, spell::Speller &speller,
        QObject *parent = nullptr);
    // The editor no longer uses the speller (the window is closing).
    void detach();

private:
    void apply();

    WindowShell &shell_;
    OpenProject &project_;
    PostForm &form_;
    spell::Speller &speller_;
    // The spelling settings last given to the speller: the speller looks for
    // dictionaries again only when they change.
    std::optional<std::pair<bool, QString>> spelling_;
};

} // namespace tl
