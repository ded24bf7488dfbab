#pragma once
#include "app/ui/mainwindow.h"
#include "posts/postindex.h"

#include <QDate>
#include <QStringList>

#include <vector>

class QTimer;

namespace tl {

// Post-store state of the main window.
struct MainWindow::PostsState {
    QStringList strSOUBORY; // post file names, left-padded with "_" to 20, ascending
    QStringList StrHolder1; // "YYYY-MM" month keys, newest first
    bool newPost = false;   // the open post has no file yet (set by New)
    QString openPostName;   // file name of the post opened by Edit

    // Titles and texts of the tree's posts, read as they are needed.
    PostIndex index;
    // Typing in the find box filters once the typing pauses.
    QTimer *findTimer = nullptr;
    // The find box's last result, one flag per slot; empty while the tree
    // is not filtered.
    std::vector<char> found;

    // The fields as New or Edit left them, to tell whether the post changed.
    struct Fields {
        QString title;
        QDate date;
        bool dateEmpty = true;
        QString time;
        QString text;
        bool operator==(const Fields &) const = default;
    };
    Fields opened;
};

} // namespace tl
