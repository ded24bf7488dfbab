#include "ui/windowshell.h"

#include "core/openproject.h"
#include "ui/prompts.h"

namespace tl {

bool requireOpenProject(WindowShell &shell, const OpenProject &project)
{
    if (project.isOpen())
        return true;
    // Both lines in the box: the window title of a message box is easily
    // overlooked, and some desktops do not show it at all.
    shell.prompts().message(QString(),
        QStringLiteral("Project was not selected.\n"
                       "Please select project on tab OPTIONS."));
    return false;
}

} // namespace tl
