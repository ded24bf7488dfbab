#pragma once
#include "app/ui/mainwindow.h"

#include <QStringList>

namespace tl {

// Post-store state of the main window.
struct MainWindow::PostsState {
    QStringList strSOUBORY; // post file names, left-padded with "_" to 20, ascending
    QStringList StrHolder1; // "YYYY-MM" month keys, newest first
    bool newPost = false;   // the open post has no file yet (set by New)
    QString openPostName;   // file name of the post opened by Edit
};

} // namespace tl
