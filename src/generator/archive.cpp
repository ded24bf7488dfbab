#include "generator/archive.h"

#include "core/errors.h"
#include "core/programfiles.h"
#include "generator/charset.h"
#include "posts/postfile.h"
#include "posts/poststore.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <condition_variable>
#include <ctime>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>

namespace tl::gen {

std::string GenArchive(const std::string &formKey, const std::vector<std::string> &monthList,
                       const std::string &archiveFolder)
{
    const bool mainPage = formKey == "mainpagelink";
    std::string out = "<ul>\r\n";
    for (const std::string &key : monthList) {
        std::string shown = key;
        const std::size_t dash = shown.find('-');
        if (dash != std::string::npos)
            shown[dash] = '/';
        out += "<li><a href=\"" + (mainPage ? archiveFolder : std::string()) + key + ".html\">"
            + shown + "</a></li>\r\n";
    }
    out += "</ul>\r\n";
    return out;
}

PageTemplate prepareArchiveTemplate(const std::string &text, const std::string &templatePath,
                                    const std::vector<std::string> &monthList,
                                    const std::string &archiveFolder, int charset,
                                    const SiteTexts &site)
{
    PageTemplate t = splitPageTemplate(text, templatePath);
    const std::string links = GenArchive("archivelink", monthList, archiveFolder);
    const std::string name = charsetName(charset);
    for (std::string *part : {&t.head, &t.tail}) {
        replaceAllInPlace(*part, kArchive, links);
        replaceAllInPlace(*part, kCharset, name);
        fillSitePlaceholders(*part, site);
    }
    return t;
}

WriteOutcome writeOutputFile(const std::string &path, const std::string &text)
{
    return updateWholeFile(path, normalizeLineEnds(text));
}

namespace {

// One month of the walk: its month node (none when the walk begins with
// posts) and the post nodes under it.
struct MonthGroup {
    std::string key;        // the month node's text
    bool hasNode = false;
    std::size_t first = 0;  // its posts: tree nodes [first, last)
    std::size_t last = 0;
    std::string previousDate; // the date rule's state before its first post
    std::string cacheKey;
};

struct RenderedPage {
    std::string path;
    std::string bytes; // with CR LF line ends
};

struct MonthResult {
    std::shared_ptr<const CachedMonth> reused; // set: taken from the cache as it is
    std::vector<RenderedPage> pages;           // in upload order
    std::vector<FileStamp> postStamps;
    bool racy = false;         // a post file too recent for its stamp to be trusted
    std::string error;         // the message that stopped the month
    std::exception_ptr otherFailure;
};

// The system's own clock, not the program's settable one: it is compared
// with the times the file system gives files, which come from this clock.
std::int64_t realtimeNowNs()
{
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

// Appends piece so that it begins on a new line (see appendAsNewLine), its
// line ends made CR LF as they would be in the whole page.
void appendLine(std::string &page, bool &afterCr, const std::string &piece)
{
    if (!page.empty() && page.back() != '\n') {
        page += "\r\n";
        afterCr = false;
    }
    appendNormalizedLineEnds(page, piece, afterCr);
}

} // namespace

struct ArchiveRun::State {
    ArchiveJob job;
    const std::vector<std::string> &tree;
    SiteCache &cache;
    std::string folder; // where the pages go: main folder + archive folder
    std::string context;
    std::shared_ptr<const CachedArchive> previous;
    std::int64_t trustedBeforeNs = 0;
    std::unique_ptr<OpenFolder> dataDir; // for the stamps of posts and pages
    std::unique_ptr<OpenFolder> pageDir;
    std::vector<MonthGroup> groups;
    bool cacheUsable = true;
    bool committed = false;

    // Rendering ahead on workers; the slots are handed over under the mutex.
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<MonthResult> results;
    std::vector<char> ready;
    std::size_t nextToRender = 0;
    std::size_t written = 0;  // months committed so far
    std::size_t aheadLimit = 0;
    bool stopping = false;
    std::vector<std::thread> workers;

    State(ArchiveJob j, const std::vector<std::string> &t, SiteCache &c)
        : job(std::move(j)), tree(t), cache(c),
          folder(job.outputFolder + job.settings.archiveFolder)
    {
    }

    void splitMonths();
    void makeContext();
    MonthResult makeMonth(std::size_t index) const;
    bool reusable(const MonthGroup &g, const CachedMonth &m) const;
    void render(const MonthGroup &g, MonthResult &r) const;
    void workerLoop();
    void stopWorkers();
};

void ArchiveRun::State::splitMonths()
{
    std::string previousDate;
    for (std::size_t i = 0; i < tree.size(); ++i) {
        const std::string &node = tree[i];
        if (!isPostNodeText(node)) {
            MonthGroup g;
            g.key = node;
            g.hasNode = true;
            g.first = g.last = i + 1;
            g.cacheKey = node;
            groups.push_back(std::move(g));
            continue;
        }
        if (groups.empty()) {
            // A post before any month node (never produced by Read) goes to
            // the month of its own date.
            MonthGroup g;
            g.first = i;
            g.cacheKey = "\x01" + node;
            groups.push_back(std::move(g));
        }
        groups.back().last = i + 1;
    }
    // The date rule's state at each month's start: the date of the last post
    // before it. A name that is no post name stops the walk at that post, so
    // the months after it are never written.
    for (MonthGroup &g : groups) {
        g.previousDate = previousDate;
        if (g.last > g.first) {
            int n = 0;
            if (!tryStrToInt(postTimeTextOfName(tree[g.last - 1]), n))
                break;
            previousDate = dateText(civilFromSeconds(n));
        }
    }
    // The same page path twice in one run (month nodes repeated, which Read
    // never produces) would make one month's stamps stale: no cache then.
    std::vector<std::string> keys;
    for (const MonthGroup &g : groups)
        keys.push_back(g.cacheKey);
    std::sort(keys.begin(), keys.end());
    cacheUsable = std::adjacent_find(keys.begin(), keys.end()) == keys.end();
}

void ArchiveRun::State::makeContext()
{
    const auto add = [this](const std::string &s) {
        context += std::to_string(s.size());
        context += ':';
        context += s;
    };
    const RenderSettings &s = job.settings;
    add(job.pageTemplate.head);
    add(job.pageTemplate.block);
    add(job.pageTemplate.tail);
    add(job.dataFolder);
    add(job.outputFolder);
    add(s.archiveFolder);
    add(s.author);
    add(s.email);
    add(s.longPostSeparator);
    add(s.mediaLink);
    add(std::to_string(s.paragraphMode));
    add(std::to_string(s.charset));
}

bool ArchiveRun::State::reusable(const MonthGroup &g, const CachedMonth &m) const
{
    const std::size_t count = g.last - g.first;
    if (m.previousDate != g.previousDate || m.posts.size() != count)
        return false;
    for (std::size_t j = 0; j < count; ++j)
        if (m.posts[j] != tree[g.first + j])
            return false;
    FileStamp now;
    for (std::size_t j = 0; j < count; ++j)
        if (!dataDir->stat(m.posts[j].c_str(), now) || !(now == m.postStamps[j]))
            return false;
    for (const CachedPage &page : m.pages) {
        const bool inFolder = page.path.compare(0, folder.size(), folder) == 0;
        if (!(inFolder ? pageDir->stat(page.path.c_str() + folder.size(), now)
                       : statFile(page.path, now))
            || !(now == page.stamp))
            return false;
    }
    return true;
}

void ArchiveRun::State::render(const MonthGroup &g, MonthResult &r) const
{
    const PageTemplate &t = job.pageTemplate;
    std::string pagePath = g.hasNode ? folder + g.key + ".html" : std::string();
    std::string page;
    bool pageCr = false;
    appendNormalizedLineEnds(page, t.head, pageCr);
    std::string previousDate = g.previousDate;
    std::string bytes;
    for (std::size_t i = g.first; i < g.last; ++i) {
        const std::string &name = tree[i];
        const std::string path = job.dataFolder + name;
        FileStamp stamp;
        if (!tryReadWholeFile(path, bytes, &stamp))
            throw AppError(msgCannotOpenFile(path));
        r.postStamps.push_back(stamp);
        if (std::max(stamp.mtimeNs, stamp.ctimeNs) >= trustedBeforeNs)
            r.racy = true;
        const PostContent post = parsePost(bytes);
        const PostTexts texts = postTexts(name);
        if (pagePath.empty())
            pagePath = folder + texts.monthKey + ".html";
        const ArchivePost filled =
            FillArchivePostBlock(t.block, texts, post, job.settings, previousDate);
        if (filled.isLong) {
            RenderedPage longPage{folder + texts.longPostPage, {}};
            longPage.bytes.reserve(t.head.size() + filled.longBlock.size() + t.tail.size() + 64);
            bool cr = false;
            appendNormalizedLineEnds(longPage.bytes, t.head, cr);
            appendNormalizedLineEnds(longPage.bytes, filled.longBlock, cr);
            appendNormalizedLineEnds(longPage.bytes, t.tail, cr);
            r.pages.push_back(std::move(longPage));
        }
        appendLine(page, pageCr, filled.monthBlock);
    }
    appendLine(page, pageCr, t.tail);
    r.pages.push_back(RenderedPage{std::move(pagePath), std::move(page)});
}

MonthResult ArchiveRun::State::makeMonth(std::size_t index) const
{
    const MonthGroup &g = groups[index];
    MonthResult r;
    if (previous) {
        const auto it = previous->months.find(g.cacheKey);
        if (it != previous->months.end() && reusable(g, *it->second)) {
            r.reused = it->second;
            return r;
        }
    }
    try {
        render(g, r);
    } catch (const AppError &e) {
        r.error = e.what();
    } catch (...) {
        r.otherFailure = std::current_exception();
    }
    return r;
}

void ArchiveRun::State::workerLoop()
{
    for (;;) {
        std::size_t index;
        {
            std::unique_lock<std::mutex> lock(mutex);
            changed.wait(lock, [this] {
                return stopping || nextToRender >= groups.size()
                    || nextToRender < written + aheadLimit;
            });
            if (stopping || nextToRender >= groups.size())
                return;
            index = nextToRender++;
        }
        MonthResult r = makeMonth(index);
        {
            std::lock_guard<std::mutex> lock(mutex);
            results[index] = std::move(r);
            ready[index] = 1;
        }
        changed.notify_all();
    }
}

void ArchiveRun::State::stopWorkers()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
    }
    changed.notify_all();
    for (std::thread &w : workers)
        w.join();
    workers.clear();
}

ArchiveRun::ArchiveRun(ArchiveJob job, const std::vector<std::string> &treeOrder, SiteCache &cache)
    : d_(std::make_unique<State>(std::move(job), treeOrder, cache))
{
    State &d = *d_;
    d.trustedBeforeNs = realtimeNowNs() - cache.racyWindowNs();
    d.splitMonths();
    d.makeContext();
    d.previous = cache.take(d.folder, d.context);
    if (!d.cacheUsable)
        d.previous.reset();
    if (d.previous) {
        d.dataDir = std::make_unique<OpenFolder>(d.job.dataFolder);
        d.pageDir = std::make_unique<OpenFolder>(d.folder);
    }
    d.results.resize(d.groups.size());
    d.ready.assign(d.groups.size(), 0);
    // Months are independent of each other once the date rule's state at
    // their start is known, so they render on every core while the calling
    // thread writes. A small archive is rendered as it is written.
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    const std::size_t workers = d.groups.size() < 2 ? 0 : std::min<std::size_t>(cores, d.groups.size());
    d.aheadLimit = 4 * workers + 2; // bounds the pages held in memory
    try {
        for (std::size_t i = 0; i < workers; ++i)
            d.workers.emplace_back([&d] { d.workerLoop(); });
    } catch (const std::system_error &) {
        // No more threads to be had: the ones started do the work, or the
        // months render as they are written when there are none.
    }
}

ArchiveRun::~ArchiveRun()
{
    d_->stopWorkers();
    if (!d_->committed && d_->previous)
        d_->cache.put(d_->folder, d_->previous);
}

void ArchiveRun::commit(GenerateReporter &reporter)
{
    State &d = *d_;
    d.committed = true;
    auto next = std::make_shared<CachedArchive>();
    next->context = d.context;
    SiteCache::RunCounts counts;
    bool folderChecked = false;
    // Whatever happens below, the cache learns what was written; months not
    // reached keep what was recorded for them.
    struct PutBack {
        State &d;
        std::shared_ptr<CachedArchive> &next;
        SiteCache::RunCounts &counts;
        std::size_t reached = 0;
        ~PutBack()
        {
            if (d.previous)
                for (std::size_t i = reached; i < d.groups.size(); ++i) {
                    const auto it = d.previous->months.find(d.groups[i].cacheKey);
                    if (it != d.previous->months.end())
                        next->months[it->first] = it->second;
                }
            if (d.cacheUsable)
                d.cache.put(d.folder, next);
            d.cache.setLastRun(counts);
        }
    } putBack{d, next, counts};

    for (std::size_t i = 0; i < d.groups.size(); ++i) {
        putBack.reached = i;
        MonthResult r;
        if (d.workers.empty()) {
            r = d.makeMonth(i);
        } else {
            std::unique_lock<std::mutex> lock(d.mutex);
            d.changed.wait(lock, [&] { return d.ready[i] != 0; });
            r = std::move(d.results[i]);
        }
        const MonthGroup &g = d.groups[i];
        if (r.reused) {
            for (const CachedPage &page : r.reused->pages)
                reporter.siteFile(page.path, WriteOutcome::Unchanged);
            next->months[g.cacheKey] = r.reused;
            ++counts.monthsReused;
        } else {
            ++counts.monthsRendered;
            putBack.reached = i + 1; // this month's record is replaced or dropped here
            auto record = std::make_shared<CachedMonth>();
            record->previousDate = g.previousDate;
            record->posts.assign(d.tree.begin() + static_cast<std::ptrdiff_t>(g.first),
                                 d.tree.begin() + static_cast<std::ptrdiff_t>(g.first + r.postStamps.size()));
            record->postStamps = r.postStamps;
            // Two posts of a month dated in the same minute share a long-post
            // page; the older one's, rendered last, is what the page ends up
            // holding. It is written once, where the page first comes, and
            // reported at each place.
            std::vector<WriteOutcome> outcomes(r.pages.size());
            std::vector<FileStamp> stamps(r.pages.size());
            for (std::size_t j = 0; j < r.pages.size(); ++j) {
                const RenderedPage &page = r.pages[j];
                std::size_t earlier = 0;
                while (earlier < j && r.pages[earlier].path != page.path)
                    ++earlier;
                if (earlier < j) {
                    outcomes[j] = outcomes[earlier];
                    stamps[j] = stamps[earlier];
                } else {
                    std::size_t final = j;
                    for (std::size_t k = j + 1; k < r.pages.size(); ++k)
                        if (r.pages[k].path == page.path)
                            final = k;
                    if (!folderChecked) {
                        // The archive folder may lie one level or more below
                        // the main folder; a missing one is made. A failure
                        // shows as the failed file creation that follows.
                        const QString dir = QFileInfo(pathText(page.path)).absolutePath();
                        if (!QFileInfo(dir).isDir())
                            QDir().mkpath(dir);
                        folderChecked = true;
                    }
                    outcomes[j] = updateWholeFile(page.path, r.pages[final].bytes, &stamps[j]);
                }
                reporter.siteFile(page.path, outcomes[j]);
                record->pages.push_back(CachedPage{page.path, stamps[j]});
            }
            if (!r.error.empty()) {
                next->months.erase(g.cacheKey);
                throw AppError(r.error);
            }
            if (r.otherFailure) {
                next->months.erase(g.cacheKey);
                std::rethrow_exception(r.otherFailure);
            }
            if (r.racy)
                next->months.erase(g.cacheKey);
            else
                next->months[g.cacheKey] = std::move(record);
        }
        {
            std::lock_guard<std::mutex> lock(d.mutex);
            d.written = i + 1;
        }
        d.changed.notify_all();
    }
    putBack.reached = d.groups.size();
}

} // namespace tl::gen
