#include "publish/sendqueue.h"

#include "core/programfiles.h"

#include <QDir>
#include <QFileInfo>

namespace tl {

namespace {

void appendOnce(QStringList &list, const QString &path)
{
    if (!list.contains(path))
        list << path;
}

QString bareName(const QString &path) { return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1); }

} // namespace

void SendQueue::changed()
{
    if (onChanged)
        onChanged();
}

void SendQueue::load(const QString &recordPath, const PublishPaths &paths)
{
    record_ = SendRecord::load(recordPath);
    paths_ = paths;
    // The record is a file anyone can edit: of its pages, only those inside
    // the main folder are the project's.
    QStringList pages;
    for (const QString &f : record_.siteFiles())
        if (inside(f, paths_.mainFolder))
            pages << f;
    site_ = pendingSiteFiles(record_, pages, paths_);
    allPosts_ = false;
    rebuildPosts();
    changed();
}

void SendQueue::clear()
{
    record_ = SendRecord();
    paths_ = PublishPaths();
    site_.clear();
    posts_.clear();
    allPosts_ = false;
    changed();
}

void SendQueue::setPaths(const PublishPaths &paths) { paths_ = paths; }

void SendQueue::rebuildPosts()
{
    posts_ = allPosts_ ? allDataFiles(paths_.dataFolder) : pendingDataFiles(record_, paths_);
}

void SendQueue::siteGenerated(const QStringList &generated, bool saveRecord)
{
    site_ = queueSiteFiles(record_, generated, paths_);
    if (saveRecord)
        record_.save();
    changed();
}

void SendQueue::siteFilesAdded(const QStringList &files)
{
    QStringList kept = record_.siteFiles();
    for (const QString &f : files) {
        if (!inside(f, paths_.mainFolder))
            continue;
        appendOnce(kept, f);
        if (record_.needsSending(remoteSiteName(paths_, f), f))
            appendOnce(site_, f);
    }
    record_.setSiteFiles(kept);
    record_.save();
    changed();
}

void SendQueue::postSaved(const QString &path)
{
    appendOnce(posts_, path);
    changed();
}

void SendQueue::postDeleted(const QString &path)
{
    if (posts_.removeAll(path) > 0)
        changed();
}

void SendQueue::setAllPosts(bool all)
{
    allPosts_ = all;
    rebuildPosts();
    changed();
}

void SendQueue::queueWholeSite()
{
    site_ = wholeSiteFiles(paths_.mainFolder, paths_.archiveFolder);
    changed();
}

void SendQueue::remove(const QString &path)
{
    if (site_.removeAll(path) + posts_.removeAll(path) > 0)
        changed();
}

bool SendQueue::inside(const QString &path, const QString &folder) const
{
    if (folder.isEmpty())
        return false;
    const QString root = WithTrailingSeparator(QDir::cleanPath(QFileInfo(folder).absoluteFilePath()));
    const QString file = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    return file.startsWith(root) && file.size() > root.size();
}

void SendQueue::dropUnsendable(const std::function<void(const QString &line)> &log)
{
    bool dropped = false;
    const auto keep = [&](QStringList &list, const QString &folder, const char *what) {
        QStringList kept;
        for (const QString &f : list) {
            if (!inside(f, folder)) {
                log(QStringLiteral("Not sent: %1 is outside the %2 folder").arg(f, QLatin1String(what)));
                dropped = true;
            } else if (!QFileInfo(f).isFile()) {
                log(QStringLiteral("Not sent: %1 no longer exists").arg(bareName(f)));
                dropped = true;
            } else {
                kept << f;
            }
        }
        list = kept;
    };
    keep(site_, paths_.mainFolder, "main");
    keep(posts_, paths_.dataFolder, "data");
    if (dropped)
        changed();
}

void SendQueue::sent(const QString &path)
{
    // The first entry of that name: a file queued again meanwhile stays.
    if (site_.removeOne(path) || posts_.removeOne(path))
        changed();
}

Publisher::Outcome SendQueue::send(Publisher &publisher)
{
    const QStringList site = site_;
    const QStringList posts = posts_;
    const int siteCount = static_cast<int>(site.size());
    publisher.setRecord(&record_);
    const auto previous = publisher.onFileSent;
    publisher.onFileSent = [&](int k) {
        sent(k <= siteCount ? site[k - 1] : posts[k - 1 - siteCount]);
        if (previous)
            previous(k);
    };
    struct Restore {
        Publisher &p;
        std::function<void(int)> previous;
        ~Restore()
        {
            p.onFileSent = previous;
            p.setRecord(nullptr);
        }
    } restore{publisher, previous};
    return publisher.send(site, posts, paths_);
}

} // namespace tl
