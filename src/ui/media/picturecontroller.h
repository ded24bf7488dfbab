#pragma once
// Pictures in posts, while a post is open: "Insert picture..." (the Blog
// menu and the toolbar), and pictures dropped or pasted onto the editor.
//
// Each picture's web-sized copies go into the site (media/YYYY/MM/ by the
// date in the post's date field), its <img> tag in at the caret with the alt
// text the writer gave, and the copies into the send queue. A picture that
// cannot be taken leaves nothing behind: no copy, no tag, nothing queued.
#include <QObject>
#include <QString>

#include <vector>

class QAction;
class QWidget;

namespace tl {

class OpenProject;
class PostsController;
class PublishingController;
class WindowShell;
struct PictureOffer;

class PictureController : public QObject {
    Q_OBJECT
public:
    PictureController(WindowShell &shell, OpenProject &project, PostsController &posts,
        PublishingController &publishing, QWidget *window);
    QAction *insertAction() const { return insertAction_; }

    // ---- commands (nothing while no post is open) ----
    // Picks a picture file and inserts it.
    void insertPicture();
    // Inserts what a drop or a paste offered.
    void insertOffered(const PictureOffer &offer);

private:
    // A picture to insert: a file, or data named after `name`.
    struct Source {
        QString file;
        QByteArray data;
        QString name;
    };
    void insert(const std::vector<Source> &sources);

    WindowShell &shell_;
    OpenProject &project_;
    PostsController &posts_;
    PublishingController &publishing_;
    QAction *insertAction_ = nullptr;
    QString lastFolder_; // where the picker starts next
};

} // namespace tl
