// Pictures in an open post: by the command and by a drop or a paste, the tag
// at the caret, the copies in the site's media folder and in the send queue;
// a picture that cannot be taken leaves nothing anywhere.
#include "writingfixture.h"

#include <QClipboard>
#include <QDirIterator>
#include <QDropEvent>
#include <QImage>
#include <QMimeData>
#include <QUrl>

using namespace tl;
using namespace tl::test;

namespace {

class Pictures : public WritingWindow {
protected:
    // A picture file the writer has: `width` x 500, in the program folder.
    QString photo(const QString &name, int width, const char *format)
    {
        QImage image(width, 500, QImage::Format_RGB32);
        image.fill(Qt::darkCyan);
        const QString path = fx.programFolder() + name;
        EXPECT_TRUE(image.save(path, format));
        return path;
    }
    // Every file below the site's media folder, from the main folder.
    QStringList mediaFiles() const
    {
        QStringList out;
        QDirIterator it(site + "/media", QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext())
            out << it.next().mid(site.size() + 1);
        out.sort();
        return out;
    }
    QStringList queued() { return queuedFiles(*w); }
    // Drags the data over the editor and drops it at the point, as the
    // desktop does; whether the drop was taken.
    bool drop(const QMimeData &data, QPoint at)
    {
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(editor()->viewport(), &enter);
        if (!enter.isAccepted())
            return false;
        QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(editor()->viewport(), &drop);
        return drop.isAccepted();
    }
    // Runs the queued handling of a drop or a paste.
    void settle()
    {
        for (int i = 0; i < 5; ++i)
            QApplication::processEvents();
    }
};

TEST_F(Pictures, InsertPictureCommandPutsTheTagAtTheCaretAndQueuesTheCopies)
{
    EXPECT_FALSE(act("actPICTURE")->isEnabled()) << "no post is open";
    const QString file = photo("Sea at Dawn.png", 1000, "PNG");
    edit(kPost, 6); // after "Waves "

    prompts().picks.push_back(file);
    prompts().typed.push_back(QStringLiteral("Sea \"at\" dawn"));
    act("actPICTURE")->trigger();
    ASSERT_TRUE(prompts().errors().isEmpty()) << prompts().errors().join('\n').toStdString();
    ASSERT_EQ(prompts().shown.back().kind, "text") << "the alt text is asked for";

    // Copies for the post's month (April 2003), never wider than the photo.
    EXPECT_EQ(mediaFiles(),
        QStringList({ "media/2003/04/sea-at-dawn-1000.png", "media/2003/04/sea-at-dawn-800.png" }));
    const QString text = editor()->toPlainText();
    EXPECT_TRUE(text.startsWith("Waves <img src=\"media/2003/04/sea-at-dawn-800.png\""))
        << text.toStdString();
    EXPECT_TRUE(text.contains("alt=\"Sea &quot;at&quot; dawn\" /><b>high</b>."))
        << text.toStdString();
    const QStringList q = queued();
    EXPECT_TRUE(q.contains(site + "/media/2003/04/sea-at-dawn-800.png"))
        << q.join(' ').toStdString();
    EXPECT_TRUE(q.contains(site + "/media/2003/04/sea-at-dawn-1000.png"));
    EXPECT_TRUE(QFile::exists(file)) << "the original stays where it was";

    // A file that is no picture: the service's message, nothing left behind.
    const QString before = editor()->toPlainText();
    writeBytes(fx.programFolder() + "notes.png", "just some notes");
    prompts().picks.push_back(fx.programFolder() + "notes.png");
    prompts().typed.push_back(QString());
    act("actPICTURE")->trigger();
    ASSERT_EQ(prompts().errors().size(), 1);
    EXPECT_TRUE(prompts().errors().first().contains("is not a picture"))
        << prompts().errors().first().toStdString();
    EXPECT_EQ(editor()->toPlainText(), before);
    EXPECT_EQ(mediaFiles().size(), 2);
    EXPECT_EQ(queued(), q);
}

TEST_F(Pictures, DroppedFileAndPastedPictureGoInLikeTheCommandsAndCancelLeavesNothing)
{
    edit(kPost, 0);
    const QStringList queuedBefore = queued(); // the queue is worked out already
    const QString file = photo("IMG_2043.JPG", 900, "JPEG");

    // Dropped where the text ends.
    QMimeData files;
    files.setUrls({ QUrl::fromLocalFile(file) });
    QTextCursor end = editor()->textCursor();
    end.movePosition(QTextCursor::End);
    const QPoint at = editor()->cursorRect(end).center() + QPoint(2, 0);
    prompts().typed.push_back(QStringLiteral("Harbour"));
    ASSERT_TRUE(drop(files, at)) << "the editor takes the picture";
    settle();
    ASSERT_TRUE(prompts().errors().isEmpty()) << prompts().errors().join('\n').toStdString();
    EXPECT_EQ(mediaFiles(),
        QStringList({ "media/2003/04/img-2043-800.jpg", "media/2003/04/img-2043-900.jpg" }));
    EXPECT_TRUE(editor()->toPlainText().startsWith("Waves <b>high</b>.\n<img src=\"media/2003/04/"
                                                   "img-2043-800.jpg\""))
        << editor()->toPlainText().toStdString();
    const QStringList nowQueued = queued();
    EXPECT_EQ(nowQueued.size(), queuedBefore.size() + 2);
    EXPECT_TRUE(nowQueued.contains(site + "/media/2003/04/img-2043-900.jpg"));

    // Picture data pasted (a screenshot) at the start.
    QImage shot(300, 200, QImage::Format_RGB32);
    shot.fill(Qt::yellow);
    editor()->moveCursor(QTextCursor::Start);
    QApplication::clipboard()->setImage(shot);
    prompts().typed.push_back(QString());
    editor()->paste();
    settle();
    EXPECT_TRUE(editor()->toPlainText().startsWith("<img src=\"media/2003/04/picture-300.png\""))
        << editor()->toPlainText().toStdString();

    // The alt text question cancelled: no copy, no tag.
    const QString before = editor()->toPlainText();
    const QStringList filesBefore = mediaFiles();
    drop(files, at);
    settle();
    EXPECT_EQ(prompts().shown.back().kind, "text");
    EXPECT_EQ(editor()->toPlainText(), before);
    EXPECT_EQ(mediaFiles(), filesBefore);
}

} // namespace
