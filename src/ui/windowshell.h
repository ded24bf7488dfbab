#pragma once
// What the controllers of the main window share: the prompts, the command
// runner, the log pane and the status bar. The main window provides them;
// a controller never reaches into the window itself.
#include <QString>
#include <functional>

namespace tl {

class OpenProject;
class Prompts;

class WindowShell {
public:
    virtual ~WindowShell() = default;

    // Every message box, question and picker goes through these.
    virtual Prompts &prompts() = 0;
    // Runs a command: a failure is shown in an error box, never thrown.
    virtual bool run(const std::function<void()> &command) = 0;
    // Appends a line to the log pane.
    virtual void log(const QString &line) = 0;
    // The status bar's passing notes (transfer progress and failures).
    virtual void setStatusText(const QString &text) = 0;
    virtual QString statusText() const = 0;
    // The post count, which has a place of its own in the status bar so a
    // menu's hint never hides it.
    virtual void setPostCountText(const QString &text) = 0;
};

// The check every command that needs a project makes first: false (after
// telling the writer) while no project is open.
bool requireOpenProject(WindowShell &shell, const OpenProject &project);

} // namespace tl
