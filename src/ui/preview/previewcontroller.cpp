#include "ui/preview/previewcontroller.h"

#include "core/clock.h"
#include "core/errors.h"
#include "core/fileio.h"
#include "core/openproject.h"
#include "core/programfiles.h"
#include "posts/postfile.h"
#include "posts/poststore.h"
#include "preview/previewsession.h"
#include "ui/commandicons.h"
#include "ui/generator/mainpageopener.h"
#include "ui/posts/postscontroller.h"
#include "ui/windowshell.h"

#include <QAction>
#include <QTimer>
#include <QWidget>

namespace tl {

PreviewController::PreviewController(
    WindowShell &shell, OpenProject &project, PostsController &posts, QWidget *window)
    : QObject(window)
    , shell_(shell)
    , project_(project)
    , posts_(posts)
    , session_(new preview::PreviewSession(this))
{
    previewAction_ = new QAction(previewIcon(), tr("Pre&view"), window);
    previewAction_->setObjectName(QStringLiteral("actPREVIEW"));
    // F12, as web editors have long opened the page in the browser.
    previewAction_->setShortcut(QKeySequence(Qt::Key_F12));
    previewAction_->setShortcutContext(Qt::ApplicationShortcut);
    previewAction_->setToolTip(tr("Show the post in the browser as its page will look (F12); "
                                  "the page follows the text as it is typed"));
    connect(
        previewAction_, &QAction::triggered, this, [this] { shell_.run([this] { preview(); }); });

    typingPause_ = new QTimer(this);
    typingPause_->setSingleShot(true);
    typingPause_->setInterval(kTypingPauseMs);
    connect(typingPause_, &QTimer::timeout, this, &PreviewController::showOpenPost);
    connect(&posts_.form(), &PostForm::changed, this, [this] {
        if (session_->isRunning() && posts_.isPostOpen())
            typingPause_->start();
    });
    connect(&posts_, &PostsController::editingChanged, this, &PreviewController::editingChanged);
    // Deleted: the post the tree shows next, in the site without the one
    // gone.
    connect(&posts_, &PostsController::postDeleted, this, &PreviewController::showStoredPost);
    // Another project (or none): its preview is another site.
    connect(&project_, &OpenProject::nameChanged, this, [this] {
        typingPause_->stop();
        session_->stop();
    });
    // A failure in the background (a template gone) is told, not thrown:
    // the writer is typing.
    connect(session_, &preview::PreviewSession::failed, this, [this](const QString &message) {
        shell_.log(message);
        shell_.setStatusText(tr("Preview: %1").arg(message.section(QLatin1Char('\n'), 0, 0)));
    });
}

PreviewController::~PreviewController()
{
    // The session's generation thread ends before the window's parts go.
    session_->stop();
}

void PreviewController::preview()
{
    if (!requireOpenProject(shell_, project_))
        return;
    typingPause_->stop();
    const QUrl address = session_->start(project_.settings(), shownPost());
    shell_.setStatusText(tr("Preview at %1").arg(address.toString()));
    if (!openAddress(address))
        shell_.log(address.toString());
}

void PreviewController::siteChanged()
{
    session_->siteChanged();
}

preview::PreviewPost PreviewController::openPost() const
{
    PostForm &form = posts_.form();
    preview::PreviewPost post;
    post.title = form.titleBytes();
    post.body = form.bodyBytes();
    try {
        post.dateTime = form.dateTime();
    } catch (const AppError &) {
        // A time half typed: the page stays where the date puts it.
        const QDate d = form.postDate();
        post.dateTime = dateTimeFromCivil(d.year(), d.month(), d.day(), 0, 0, 0);
    }
    return post;
}

std::optional<preview::PreviewPost> PreviewController::shownPost() const
{
    if (posts_.isPostOpen())
        return openPost();
    const QString name = posts_.selectedPostName();
    if (name.isEmpty())
        return std::nullopt;
    // As its file holds it: the editor leaves out what the paragraph modes add.
    const std::string file = pathBytes(name);
    const PostContent content
        = readPost(joinPath(pathBytes(project_.settings().site.dataFolder), file));
    preview::PreviewPost post;
    post.title = content.title;
    post.body = content.body;
    post.dateTime = SecondsToDateTime(postTimeOfName(file));
    return post;
}

void PreviewController::showOpenPost()
{
    typingPause_->stop();
    if (session_->isRunning() && posts_.isPostOpen())
        session_->showPost(openPost());
}

void PreviewController::editingChanged(bool editing)
{
    typingPause_->stop();
    if (!session_->isRunning())
        return;
    if (editing)
        showOpenPost();
    else
        showStoredPost();
}

// Saved, closed or deleted: the post the form shows once the tree has
// settled (a saved post is selected after Read), as its file holds it, and
// the site around it generated again. The page follows where the post went
// (a new date, another post).
void PreviewController::showStoredPost()
{
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (!session_->isRunning() || posts_.isPostOpen())
                return;
            std::optional<preview::PreviewPost> post;
            try {
                post = shownPost();
            } catch (const std::exception &e) {
                // Its file unreadable: the tree says so when it is clicked.
                shell_.log(QString::fromLocal8Bit(e.what()));
            }
            if (post)
                session_->showPost(*post);
            else
                session_->closePost();
            session_->siteChanged();
        },
        Qt::QueuedConnection);
}

} // namespace tl
