#pragma once
// What earlier runs wrote into a site's archive folder, kept in memory for
// the life of the process, so that a Generate after a small change renders
// only the months that changed. A month is taken from the cache only when
// everything its pages are made of is as it was: the prepared archive
// template, the settings, the month's post names, the stamp (inode, size,
// modification and change times) of each of its post files, and the stamp of
// each page it wrote, so a page edited or removed by hand is made again.
// A post file whose times fall within a short window before the run that read
// it is never trusted: a second change within one tick of the file system's
// clock could leave its stamp as it was, so its month is rendered again next
// time as well.

#include "core/fileio.h"

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace tl::gen {

struct CachedPage {
    std::string path;
    FileStamp stamp;
};

// One month of the archive as the last run that committed it left it.
struct CachedMonth {
    std::string previousDate;          // the date rule's state at its first post
    std::vector<std::string> posts;    // its post file names, in walk order
    std::vector<FileStamp> postStamps; // their stamps when they were read
    std::vector<CachedPage> pages;     // long-post pages then the month page
};

// The months of one archive folder, valid for one context (the prepared
// template, the settings and the folders, as one text).
struct CachedArchive {
    std::string context;
    std::map<std::string, std::shared_ptr<const CachedMonth>> months; // by month key
};

class SiteCache {
public:
    // racyWindowNs: how recent a post file's times may be before its stamp
    // is not trusted. Two seconds cover the coarsest file system clocks in
    // use (FAT's two-second modification times).
    explicit SiteCache(std::int64_t racyWindowNs = 2'000'000'000);

    // The cache the program's Generate commands share.
    static SiteCache &process();

    std::int64_t racyWindowNs() const { return racyWindowNs_; }

    // Takes the months recorded for an archive folder under this context
    // (none when the context differs or nothing is recorded), leaving the
    // folder's entry empty until put back.
    std::shared_ptr<const CachedArchive> take(const std::string &folder, const std::string &context);
    void put(const std::string &folder, std::shared_ptr<const CachedArchive> archive);

    // How the last run that used this cache made its months.
    struct RunCounts {
        std::size_t monthsReused = 0;
        std::size_t monthsRendered = 0;
    };
    RunCounts lastRun() const;
    void setLastRun(RunCounts counts);

    void clear();

private:
    const std::int64_t racyWindowNs_;
    mutable std::mutex mutex_;
    std::map<std::string, std::shared_ptr<const CachedArchive>> folders_;
    RunCounts lastRun_;
};

} // namespace tl::gen
