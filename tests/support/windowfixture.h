#pragma once
#include "ui/mainwindow.h"
#include "testsupport.h"

#include <QTemporaryDir>
#include <memory>
#include <stdexcept>
#include <string>

class QAction;

namespace tl::test {

// A control of a window or dialog by its object name (the key the settings,
// project and interface-text files use for it). A name that names nothing
// fails the test that asked.
template <class T = QWidget>
T *control(const QObject &owner, const char *name)
{
    T *found = owner.findChild<T *>(QString::fromLatin1(name));
    if (!found)
        throw std::logic_error(std::string("no control named ") + name);
    return found;
}
QAction *action(const QObject &owner, const char *name);

// The text of a one-line field or a path field by its object name, and
// setting it as typing would.
QString fieldText(const QObject &owner, const char *name);
void setFieldText(const QObject &owner, const char *name, const QString &text);

// The full paths of the files the FTP tab's list ("lstFILESFTP") shows
// queued for the next send, in order (the queue worked out, as showing the
// FTP tab does).
QStringList queuedFiles(MainWindow &window);

// A main window living in its own temporary program folder, with scripted
// prompts. Files can be laid into programFolder() before start(). The user's
// home and data folders (HOME, XDG_DATA_HOME) point into the temporary
// folder too, so nothing a window does (a post moved to the trash) reaches
// the real user's files.
class WindowFixture {
public:
    WindowFixture();
    ~WindowFixture();
    // Program folder with a trailing "/".
    QString programFolder() const;
    // The desktop's trash for this window: files moved there, as
    // XDG_DATA_HOME/Trash/files holds them.
    QString trashFolder() const;
    // Creates the window (start-up steps run), installs scripted prompts and
    // shows it (the first-show steps run). With show=false only creates it.
    MainWindow &start(bool show = true);
    MainWindow &window() { return *window_; }
    ScriptedPrompts &prompts() { return *prompts_; }
    // Closes and destroys the window (close-time saves run).
    void stop();

private:
    QTemporaryDir dir_;
    QTemporaryDir home_; // HOME and XDG_DATA_HOME while the fixture lives
    QByteArray savedHome_, savedDataHome_;
    bool hadHome_ = false, hadDataHome_ = false;
    std::unique_ptr<MainWindow> window_;
    ScriptedPrompts *prompts_ = nullptr;
};

} // namespace tl::test
