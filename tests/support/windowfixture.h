#pragma once
#include "app/ui/mainwindow.h"
#include "testsupport.h"

#include <QTemporaryDir>
#include <memory>

namespace tl::test {

// A main window living in its own temporary program folder, with scripted
// prompts. Files can be laid into programFolder() before start().
class WindowFixture {
public:
    WindowFixture();
    ~WindowFixture();
    // Program folder with a trailing "/".
    QString programFolder() const;
    // Creates the window (start-up steps run), installs scripted prompts and
    // shows it (the first-show steps run). With show=false only creates it.
    MainWindow &start(bool show = true);
    MainWindow &window() { return *window_; }
    ScriptedPrompts &prompts() { return *prompts_; }
    // Closes and destroys the window (close-time saves run).
    void stop();

private:
    QTemporaryDir dir_;
    std::unique_ptr<MainWindow> window_;
    ScriptedPrompts *prompts_ = nullptr;
};

} // namespace tl::test
