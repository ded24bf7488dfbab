#include "core/programfiles.h"
#include "ui/mainwindow.h"
#include "ui/prompts.h"
#include "ui/widgets.h"
#include "core/projectsettings.h"
#include "generator/sitebuilder.h"
#include "ui/generator/mainpageopener.h"

#include <QAction>
#include <QDesktopServices>
#include <QFileInfo>
#include <QListWidget>
#include <QUrl>

namespace tl {

namespace {
PageOpener g_opener;

// Log lines, what Read found and the upload list of a generation run, shown
// in the window.
class WindowReporter : public gen::SiteReporter {
public:
    explicit WindowReporter(MainWindow &w) : w_(w) {}
    void log(const std::string &line) override { w_.log(QString::fromStdString(line)); }
    void postsRead(const PostFolder &folder) override { w_.showPostFolder(folder); }
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
    MainWindow &w_;
};
} // namespace

void setPageOpener(PageOpener opener) { g_opener = std::move(opener); }

bool openPage(const QString &p)
{
    if (g_opener)
        return g_opener(p);
    return QDesktopServices::openUrl(QUrl::fromLocalFile(p));
}

void MainWindow::setupGenerator()
{
    connect(actGENERATE, &QAction::triggered, this, [this] {
        if (actGENERATE->isEnabled())
            run([this] { actGENERATEExecute(); });
    });
}

void MainWindow::actGENERATEExecute()
{
    if (!actGENERATE->isEnabled())
        return;
    if (!checkProjectSelected())
        return;

    // Read again, then generate: the post list, the month list and the tree
    // come from the data folder as it is now. A failure of Read stops the run.
    const ProjectSettings settings = projectFromFields();
    WindowReporter reporter(*this);
    // The files written so far are queued even when a later step fails.
    try {
        gen::BuildSite(settings, reporter);
    } catch (...) {
        if (reporter.rebuilt)
            queueGeneratedSite(reporter.generated);
        throw;
    }
    queueGeneratedSite(reporter.generated);

    if (prompts().question(QStringLiteral("Confirm"),
                           QStringLiteral("Completed.\nDo you want see the main page?"), false)
        == Prompts::Answer::Yes) {
        const QString page = pathText(gen::mainPagePath(gen::siteFields(settings)));
        if (!QFileInfo::exists(page) || !openPage(page))
            log(page);
    }
}

} // namespace tl
