#pragma once
// What waits to be sent to a project's server: the site files the server
// lacks and the post files changed since they were sent. The window's FTP
// tab shows it and the command line prints it; both send through it.
//
// The queue is worked out from the project's send record and the files on
// disk, so it survives a failed send and a restart. It only ever holds files
// inside the project's main folder (pages) and data folder (posts): a record
// edited by hand cannot make it send anything else. A file that is gone by
// the time the send starts (a post deleted since) leaves the queue with a log
// line instead of failing the send.
//
// It also knows what the server should no longer hold: the files this
// program sent there (the record holds them) that are no longer part of the
// site (a deleted post, the long-post page of a deleted post, a month
// without posts, a file sent under a wrong remote folder). Never a file the
// record does not hold.
#include "publish/publisher.h"
#include "publish/sendrecord.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <string>
#include <vector>

namespace tl {

class SendQueue {
public:
    SendQueue() = default;

    // Binds the queue to a project: its record file and where its files are
    // (the paths name the server too). Reads the record; the site files of
    // its last generation that the server lacks, and the changed posts, are
    // queued.
    void load(const QString &recordPath, const PublishPaths &paths);
    // An empty queue bound to no project.
    void clear();

    // The paths may change between sends (the writer edits the settings):
    // the queue keeps its files and judges them by the new paths. Another
    // server (or other remote folders) than the record describes makes the
    // record count as empty: everything is queued for it.
    void setPaths(const PublishPaths &paths);
    const PublishPaths &paths() const { return paths_; }

    // After Generate: the generated files are remembered in the record (so
    // pages not yet sent stay queued across restarts) and those the server
    // lacks are queued, in the generated order. Saves the record unless
    // told not to (a dry run changes nothing).
    void siteGenerated(const QStringList &generated, bool saveRecord = true);
    // Files added to the site outside generation (pictures copied into the
    // main folder): remembered in the record like generated pages, so they
    // stay queued across restarts, and queued while the server lacks them.
    // Saves the record.
    void siteFilesAdded(const QStringList &files);
    // After Save: a saved post is queued (once).
    void postSaved(const QString &path);
    // After Delete: a deleted post leaves the queue.
    void postDeleted(const QString &path);
    // "Send all data files": every post of the data folder, changed or not.
    void setAllPosts(bool all);
    bool allPosts() const { return allPosts_; }
    // "Send whole site": every file of the main and archive folders.
    void queueWholeSite();
    // "Remove from list": the writer takes one file out of this send.
    void remove(const QString &path);

    QStringList siteFiles() const { return site_; }
    QStringList postFiles() const { return posts_; }
    int count() const { return static_cast<int>(site_.size() + posts_.size()); }
    bool isEmpty() const { return count() == 0 && removals().empty(); }

    // The remote names the next send removes from the server.
    std::vector<std::string> removals() const;
    // Whether that many removals (the size of removals(), worked out once
    // by the caller) need the writer's yes: more than 20, or more than a
    // tenth of the site.
    bool removalsNeedConfirmation(std::size_t count) const;
    static constexpr int kRemovalsWithoutAsking = 20;

    // Every page of the site (of the last generation, and pictures added
    // since) and every post of the data folder.
    QStringList allSiteFiles() const;

    // Drops what cannot or must not be sent, each with a line for the log:
    // files that are gone and files outside the main and data folders.
    void dropUnsendable(const std::function<void(const QString &line)> &log);
    // Whether a file that dropUnsendable would keep waits: a send will
    // connect whatever else happens.
    bool hasSendable() const;

    // The server confirmed a file: it leaves the queue (files added while a
    // send waited for the network stay).
    void sent(const QString &path);

    // Runs a send of the whole queue through the publisher, with this
    // queue's record; each confirmed file leaves the queue at once. Without
    // `removing` the removals wait. With `compareAll` every remote folder is
    // compared with the site first (see Publisher::send).
    Publisher::Outcome send(Publisher &publisher, bool removing = true, bool compareAll = false,
                            SendResult *result = nullptr);
    // Compares the server with the whole site; what it lacks or holds
    // otherwise is queued.
    Publisher::Outcome check(Publisher &publisher, SendResult *result = nullptr);

    SendRecord &record() { return record_; }

    // Called whenever the queue changes, for a view of it.
    std::function<void()> onChanged;

private:
    void changed();
    void rebuildPosts();
    void rebuildSite();
    SendJob job(bool removing, bool compareAll) const;
    bool inside(const QString &path, const QString &folder) const;
    bool sendable(const QString &path, const QString &folder) const;
    // removals(), given the data folder's post files (none when posts are
    // not sent).
    std::vector<std::string> removalsAmong(const QStringList &dataFiles) const;

    SendRecord record_;
    PublishPaths paths_;
    QStringList site_;
    QStringList posts_;
    bool allPosts_ = false;
};

} // namespace tl
