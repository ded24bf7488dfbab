#pragma once
#include "ui/mainwindow.h"
#include "publish/ftpclient.h"
#include "publish/publisher.h"
#include "publish/sendrecord.h"

#include <memory>

class QActionGroup;

namespace tl {

// Publishing state of the main window.
struct MainWindow::PublishState {
    // The transfers run through it; each opens and closes its own session.
    std::unique_ptr<Publisher> publisher;
    // What the current project has sent to its server.
    SendRecord record;

    bool failureShown = false; // a refused command's text is in the status bar

    // The commands a transfer holds off. While the group is disabled their own
    // enabled state may still change (Read manages Generate's); that state
    // comes back when the group is enabled again.
    QActionGroup *heldActions = nullptr;
    // Enabled state of the held controls before the transfer. The password
    // field updates sendWasEnabled while a transfer runs.
    bool sendWasEnabled = false;
    bool saveLocalWasEnabled = false;
    bool allFilesWasEnabled = false;
    bool projectsWasEnabled = false;
    bool removeWasEnabled = false;

};

} // namespace tl
