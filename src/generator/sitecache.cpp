#include "generator/sitecache.h"

namespace tl::gen {

SiteCache::SiteCache(std::int64_t racyWindowNs) : racyWindowNs_(racyWindowNs) {}

SiteCache &SiteCache::process()
{
    static SiteCache cache;
    return cache;
}

std::shared_ptr<const CachedArchive> SiteCache::take(const std::string &folder,
                                                     const std::string &context)
{
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = folders_.find(folder);
    if (it == folders_.end())
        return nullptr;
    std::shared_ptr<const CachedArchive> archive = std::move(it->second);
    folders_.erase(it);
    if (!archive || archive->context != context)
        return nullptr;
    return archive;
}

void SiteCache::put(const std::string &folder, std::shared_ptr<const CachedArchive> archive)
{
    std::lock_guard<std::mutex> lock(mutex_);
    folders_[folder] = std::move(archive);
}

SiteCache::RunCounts SiteCache::lastRun() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return lastRun_;
}

void SiteCache::setLastRun(RunCounts counts)
{
    std::lock_guard<std::mutex> lock(mutex_);
    lastRun_ = counts;
}

void SiteCache::clear()
{
    std::lock_guard<std::mutex> lock(mutex_);
    folders_.clear();
    lastRun_ = {};
}

} // namespace tl::gen
