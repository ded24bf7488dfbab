#include "ui/generator/generationcontroller.h"

#include "core/openproject.h"
#include "core/programfiles.h"
#include "generator/sitebuilder.h"
#include "ui/generator/mainpageopener.h"
#include "ui/posts/postscontroller.h"
#include "ui/prompts.h"
#include "ui/publish/publishingcontroller.h"
#include "ui/windowshell.h"

#include <QAction>
#include <QDesktopServices>
#include <QFileInfo>
#include <QStyle>
#include <QUrl>
#include <QWidget>

namespace tl {

namespace {

PageOpener g_opener;

// Log lines, what Read found and the upload list of a generation run, shown
// in the window.
class WindowReporter : public gen::SiteReporter {
public:
    WindowReporter(WindowShell &shell, PostsController &posts)
        : shell_(shell)
        , posts_(posts)
    {
    }
    void log(const std::string &line) override { shell_.log(QString::fromStdString(line)); }
    void postsRead(const PostFolder &folder) override { posts_.showPostFolder(folder); }
    void clearUploadList() override
    {
        generated.clear();
        rebuilt = true;
    }
    void addToUploadList(const std::string &path) override { generated << pathText(path); }

    // The upload list as far as the run rebuilt it.
    QStringList generated;
    bool rebuilt = false;

private:
    WindowShell &shell_;
    PostsController &posts_;
};

} // namespace

void setPageOpener(PageOpener opener)
{
    g_opener = std::move(opener);
}

bool openPage(const QString &p)
{
    if (g_opener)
        return g_opener(p);
    return QDesktopServices::openUrl(QUrl::fromLocalFile(p));
}

bool openAddress(const QUrl &address)
{
    if (g_opener)
        return g_opener(address.toString());
    return QDesktopServices::openUrl(address);
}

GenerationController::GenerationController(WindowShell &shell, OpenProject &project,
    PostsController &posts, PublishingController &publishing, QWidget *window)
    : QObject(window)
    , shell_(shell)
    , project_(project)
    , posts_(posts)
    , publishing_(publishing)
{
    generateAction_
        = new QAction(window->style()->standardIcon(QStyle::SP_MediaPlay), tr("&Generate"), window);
    generateAction_->setObjectName(QStringLiteral("actGENERATE"));
    generateAction_->setShortcut(QKeySequence(Qt::Key_F9));
    generateAction_->setShortcutContext(Qt::ApplicationShortcut);
    connect(generateAction_, &QAction::triggered, this, [this] {
        if (generateAction_->isEnabled())
            shell_.run([this] { generate(); });
    });
    updateEnabled();
}

void GenerationController::setAvailable(bool available)
{
    available_ = available;
    updateEnabled();
}

void GenerationController::holdForTransfer(bool held)
{
    held_ = held;
    updateEnabled();
}

void GenerationController::updateEnabled()
{
    generateAction_->setEnabled(available_ && !held_);
}

void GenerationController::generate()
{
    if (!generateAction_->isEnabled() || !requireOpenProject(shell_, project_))
        return;
    // Read again, then generate: the post list, the month list and the tree
    // come from the data folder as it is now. A failure of Read stops the run.
    const ProjectSettings settings = project_.settings();
    WindowReporter reporter(shell_, posts_);
    // The files written so far are queued even when a later step fails.
    try {
        gen::BuildSite(settings, reporter);
    } catch (...) {
        if (reporter.rebuilt)
            publishing_.siteGenerated(reporter.generated);
        throw;
    }
    publishing_.siteGenerated(reporter.generated);
    emit siteGenerated();

    if (shell_.prompts().question(QStringLiteral("Confirm"),
            QStringLiteral("Completed.\nDo you want see the main page?"), false)
        == Prompts::Answer::Yes) {
        const QString page = pathText(gen::mainPagePath(gen::siteFields(settings)));
        if (!QFileInfo::exists(page) || !openPage(page))
            shell_.log(page);
    }
}

} // namespace tl
