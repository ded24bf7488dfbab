#include "ui/media/picturecontroller.h"

#include "core/openproject.h"
#include "media/picture.h"
#include "ui/commandicons.h"
#include "ui/posteditor.h"
#include "ui/posts/postscontroller.h"
#include "ui/prompts.h"
#include "ui/publish/publishingcontroller.h"
#include "ui/windowshell.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QWidget>

namespace tl {

namespace {

const char *const kPictureFilter
    = "Pictures (*.jpg *.jpeg *.png *.webp *.JPG *.JPEG *.PNG *.WEBP)|*.jpg;*.jpeg;*.png;*.webp";

} // namespace

PictureController::PictureController(WindowShell &shell, OpenProject &project,
    PostsController &posts, PublishingController &publishing, QWidget *window)
    : QObject(window)
    , shell_(shell)
    , project_(project)
    , posts_(posts)
    , publishing_(publishing)
{
    insertAction_ = new QAction(pictureIcon(), tr("Insert &picture..."), window);
    insertAction_->setObjectName(QStringLiteral("actPICTURE"));
    insertAction_->setToolTip(tr("Insert picture: web-sized copies in the site, the tag at the "
                                 "cursor (or drop a picture onto the text)"));
    insertAction_->setShortcutContext(Qt::ApplicationShortcut);
    insertAction_->setEnabled(false);
    connect(insertAction_, &QAction::triggered, this, [this] {
        if (insertAction_->isEnabled())
            shell_.run([this] { insertPicture(); });
    });
    connect(&posts_, &PostsController::editingChanged, insertAction_, &QAction::setEnabled);
    posts_.form().setPictureHandler(
        [this](const PictureOffer &offer) { shell_.run([&] { insertOffered(offer); }); });
}

void PictureController::insertPicture()
{
    if (!posts_.isPostOpen() || !requireOpenProject(shell_, project_))
        return;
    QString start = lastFolder_;
    if (start.isEmpty())
        start = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    const QString file = shell_.prompts().chooseFile(
        tr("Insert picture"), start, QString::fromLatin1(kPictureFilter));
    if (file.isEmpty())
        return;
    lastFolder_ = QFileInfo(file).absolutePath();
    insert({ Source { file, {}, {} } });
}

void PictureController::insertOffered(const PictureOffer &offer)
{
    std::vector<Source> sources;
    for (const QString &file : offer.files)
        sources.push_back(Source { file, {}, {} });
    if (offer.files.isEmpty() && !offer.data.isEmpty())
        sources.push_back(Source { QString(), offer.data, offer.name });
    if (!sources.empty())
        insert(sources);
}

void PictureController::insert(const std::vector<Source> &sources)
{
    if (!posts_.isPostOpen() || !requireOpenProject(shell_, project_))
        return;
    // Every question first: a Cancel then has nothing to undo.
    QStringList alts;
    for (const Source &s : sources) {
        const QString shown = s.file.isEmpty()
            ? tr("the pasted picture")
            : QStringLiteral("\"%1\"").arg(QFileInfo(s.file).fileName());
        const std::optional<QString> alt = shell_.prompts().askText(tr("Insert picture"),
            tr("Text in place of %1 for readers who cannot see it (may be empty):").arg(shown));
        if (!alt)
            return;
        alts << alt->trimmed();
    }

    const ProjectSettings settings = project_.settings();
    const QDate date = posts_.form().postDate();
    std::vector<media::InsertedPicture> done;
    try {
        for (std::size_t i = 0; i < sources.size(); ++i) {
            const Source &s = sources[i];
            const QString &alt = alts[static_cast<qsizetype>(i)];
            done.push_back(s.file.isEmpty()
                    ? media::insertPictureData(
                        settings, s.data, s.name, date.year(), date.month(), alt)
                    : media::insertPicture(settings, s.file, date.year(), date.month(), alt));
        }
        QStringList files;
        for (const media::InsertedPicture &p : done)
            files << p.files;
        publishing_.siteFilesAdded(files);
    } catch (...) {
        // Undone newest first, so folders made for a picture are empty when
        // its files are gone.
        for (auto it = done.rbegin(); it != done.rend(); ++it)
            media::removePicture(*it);
        throw;
    }

    QStringList tags;
    for (const media::InsertedPicture &p : done)
        tags << p.html;
    posts_.form().insertAtCaret(tags.join(QLatin1Char('\n')));
    const QDir main(settings.site.mainFolder);
    for (const media::InsertedPicture &p : done)
        for (const QString &f : p.files)
            shell_.log(tr("Picture copy written: %1").arg(main.relativeFilePath(f)));
}

} // namespace tl
