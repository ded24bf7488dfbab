#include "publish/sendqueue.h"

#include "core/programfiles.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <set>

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
    record_.setTarget(paths_.target);
    allPosts_ = false;
    rebuildSite();
    rebuildPosts();
    changed();
}

QStringList SendQueue::allSiteFiles() const
{
    // The record is a file anyone can edit: of its pages, only those inside
    // the main folder are the project's.
    QStringList pages;
    for (const QString &f : record_.siteFiles())
        if (inside(f, paths_.mainFolder))
            pages << f;
    return pages;
}

void SendQueue::rebuildSite() { site_ = pendingSiteFiles(record_, allSiteFiles(), paths_); }

void SendQueue::clear()
{
    record_ = SendRecord();
    paths_ = PublishPaths();
    site_.clear();
    posts_.clear();
    allPosts_ = false;
    changed();
}

void SendQueue::setPaths(const PublishPaths &paths)
{
    paths_ = paths;
    if (record_.setTarget(paths_.target)) {
        record_.save();
        rebuildSite();
        rebuildPosts();
        changed();
    }
}

std::vector<std::string> SendQueue::removals() const
{
    const bool posts = paths_.sendsPosts && !paths_.dataFolder.isEmpty();
    return removalsAmong(posts ? allDataFiles(paths_.dataFolder) : QStringList());
}

std::vector<std::string> SendQueue::removalsAmong(const QStringList &dataFiles) const
{
    // What the site is now, by remote name.
    std::set<std::string> site;
    for (const QString &f : allSiteFiles())
        site.insert(remoteSiteName(paths_, f));
    // The posts there are, by file name (bytes, as the record names them).
    std::set<std::string> posts;
    for (const QString &f : dataFiles)
        posts.insert(pathBytes(f.mid(f.lastIndexOf(QLatin1Char('/')) + 1)));
    std::vector<std::string> gone;
    for (const std::string &name : record_.sentNames()) {
        if (site.count(name))
            continue;
        const bool underData = paths_.sendsPosts
            && name.compare(0, paths_.dataPrefix.size(), paths_.dataPrefix) == 0;
        if (underData && posts.count(name.substr(paths_.dataPrefix.size())))
            continue;
        gone.push_back(name);
    }
    return gone;
}

bool SendQueue::removalsNeedConfirmation(std::size_t n) const
{
    if (n == 0)
        return false;
    const std::size_t whole = static_cast<std::size_t>(allSiteFiles().size())
        + (paths_.sendsPosts ? static_cast<std::size_t>(allDataFiles(paths_.dataFolder).size()) : 0);
    return n > static_cast<std::size_t>(kRemovalsWithoutAsking) || n * 10 > whole;
}

void SendQueue::rebuildPosts()
{
    if (!paths_.sendsPosts) {
        posts_.clear();
        return;
    }
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
    if (!paths_.sendsPosts)
        return;
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

bool SendQueue::sendable(const QString &path, const QString &folder) const
{
    return inside(path, folder) && QFileInfo(path).isFile();
}

bool SendQueue::hasSendable() const
{
    const auto any = [this](const QStringList &list, const QString &folder) {
        return std::any_of(list.begin(), list.end(),
                           [&](const QString &f) { return sendable(f, folder); });
    };
    return any(site_, paths_.mainFolder) || any(posts_, paths_.dataFolder);
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
            } else if (!sendable(f, folder)) {
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

SendJob SendQueue::job(bool removing, bool compareAll) const
{
    SendJob job;
    job.siteFiles = site_;
    job.postFiles = posts_;
    job.allSiteFiles = allSiteFiles();
    if (paths_.sendsPosts)
        job.allPostFiles = allDataFiles(paths_.dataFolder);
    if (removing)
        job.removals = removalsAmong(paths_.dataFolder.isEmpty() ? QStringList() : job.allPostFiles);
    job.compareAll = compareAll;
    return job;
}

namespace {
// The queue's record and its confirmations, for the length of one transfer.
class Attached {
public:
    Attached(Publisher &p, SendRecord &record, const std::function<void(const QString &)> &sent)
        : p_(p), previous_(p.onFileSent)
    {
        p.setRecord(&record);
        p.onFileSent = [this, sent](const QString &path) {
            sent(path);
            if (previous_)
                previous_(path);
        };
    }
    ~Attached()
    {
        p_.onFileSent = previous_;
        p_.setRecord(nullptr);
    }
    Attached(const Attached &) = delete;
    Attached &operator=(const Attached &) = delete;

private:
    Publisher &p_;
    std::function<void(const QString &)> previous_;
};
} // namespace

Publisher::Outcome SendQueue::send(Publisher &publisher, bool removing, bool compareAll,
                                   SendResult *result)
{
    const SendJob j = job(removing, compareAll);
    const Attached attached(publisher, record_, [this](const QString &path) { sent(path); });
    const Publisher::Outcome outcome = publisher.send(j, paths_, result);
    changed(); // removals are done
    return outcome;
}

Publisher::Outcome SendQueue::check(Publisher &publisher, SendResult *result)
{
    const SendJob j = job(false, true);
    const Attached attached(publisher, record_, [](const QString &) {});
    const Publisher::Outcome outcome = publisher.check(j, paths_, result);
    rebuildSite();
    rebuildPosts();
    changed();
    return outcome;
}

} // namespace tl
