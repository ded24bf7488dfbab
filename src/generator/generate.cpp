#include "generator/generate.h"

#include "core/clock.h"
#include "core/errors.h"
#include "core/fileio.h"
#include "core/programfiles.h"
#include "core/sitemedia.h"
#include "generator/archive.h"
#include "generator/charset.h"
#include "generator/feeds.h"
#include "generator/render.h"
#include "generator/templates.h"
#include "posts/poststore.h"

#include <QDateTime>

#include <algorithm>

namespace tl::gen {

namespace {

// The number of newest posts on the main page: the number typed, none when it
// is negative, all when there are fewer posts.
std::size_t mainPageCount(const std::string &countText, std::size_t posts)
{
    const int typed = strToInt(countText);
    if (typed <= 0)
        return 0;
    return std::min(static_cast<std::size_t>(typed), posts);
}

// Stands for the build time in a feed made to be compared with the one on
// disk: text no template or post holds.
const std::string kBuildTimeMarker = "\x01tarvlit build time\x01";

// Whether `file` is `pattern` with every build-time marker standing for one
// and the same short text without markup.
bool sameButBuildTime(const std::string &pattern, const std::string &file)
{
    std::size_t p = 0, f = 0;
    std::string time;
    bool timeSeen = false;
    for (;;) {
        const std::size_t marker = pattern.find(kBuildTimeMarker, p);
        const std::size_t literal = (marker == std::string::npos ? pattern.size() : marker) - p;
        if (file.compare(f, literal, pattern, p, literal) != 0)
            return false;
        f += literal;
        if (marker == std::string::npos)
            return f == file.size();
        p = marker + kBuildTimeMarker.size();
        // The time runs up to the next literal text of the pattern.
        const std::size_t nextMarker = pattern.find(kBuildTimeMarker, p);
        const std::size_t nextEnd = nextMarker == std::string::npos ? pattern.size() : nextMarker;
        const std::string next = pattern.substr(p, std::min<std::size_t>(16, nextEnd - p));
        const std::size_t end = next.empty() ? file.size() : file.find(next, f);
        if (end == std::string::npos || end - f > 64)
            return false;
        const std::string value = file.substr(f, end - f);
        if (value.find('<') != std::string::npos || (timeSeen && value != time))
            return false;
        time = value;
        timeSeen = true;
        f = end;
    }
}

} // namespace

RenderSettings renderSettings(const SiteFields &p)
{
    RenderSettings s;
    s.paragraphMode = p.paragraphMode;
    s.charset = p.charset;
    s.archiveFolder = p.archiveFolder;
    s.author = p.author;
    s.email = p.email;
    s.longPostSeparator = p.longPostLink;
    if (!p.archiveFolder.empty())
        s.mediaLink = linkToMainFolder(p.mainFolder, p.archiveFolder, "media") + "/";
    return s;
}

SiteTexts archiveSiteTexts(const SiteFields &p)
{
    SiteTexts site{p.siteTitle, p.mainUri, linkToMainFolder(p.mainFolder, p.archiveFolder, p.mainPageName)};
    toPageCharset(site.title, p.charset);
    return site;
}

int localUtcOffsetAt(const CivilDateTime &c)
{
    const QDateTime local(QDate(c.year, c.month, c.day), QTime(c.hour, c.minute, c.second),
                          Qt::LocalTime);
    return local.isValid() ? local.offsetFromUtc() : 0;
}

BuildTime currentBuildTime()
{
    BuildTime b;
    // SOURCE_DATE_EPOCH (seconds since 1970 UTC), the reproducible-builds
    // convention, fixes the build time so that the same posts give the same
    // bytes; otherwise it is now.
    bool ok = false;
    const qint64 epoch = qEnvironmentVariable("SOURCE_DATE_EPOCH").toLongLong(&ok);
    if (ok) {
        const QDateTime local = QDateTime::fromSecsSinceEpoch(epoch, Qt::LocalTime);
        const QDate d = local.date();
        const QTime t = local.time();
        b.local = civilFromSeconds(
            secondsFromCivil(d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second()));
    } else {
        b.local = civilFromDateTime(clock().now());
    }
    b.utcOffsetSeconds = localUtcOffsetAt(b.local);
    return b;
}

void stampFromProgram(GenerateInput &input)
{
    const std::string program = ProgramFilePath();
    input.versionText = FileVersionText(program);
    input.fileDateText = FileDateText(program);
    input.buildTime = currentBuildTime();
}

std::string outputFolder(const SiteFields &p) { return WithTrailingSeparator(p.mainFolder); }

std::string mainPagePath(const SiteFields &p) { return outputFolder(p) + p.mainPageName; }

void GenerateSite(const GenerateInput &input, GenerateReporter &reporter)
{
    const SiteFields &p = input.project;
    const RenderSettings settings = renderSettings(p);
    const std::string charset = charsetName(p.charset);

    reporter.log("Generating blog...");
    if (p.mainFolder.empty())
        throw AppError("Main path is not set.\nPlease fill in the main path on tab OPTIONS.");
    const std::string folder = outputFolder(p);
    const std::string dataFolder = WithTrailingSeparator(p.dataFolder);
    const bool withRss = !p.feedTemplate.empty();
    const bool withTxt = !p.textTemplate.empty();

    std::string rssItems;
    std::string txtItems;
    std::string rssTemplate = withRss ? readWholeFile(p.feedTemplate) : std::string();
    std::string txtTemplate = withTxt ? readWholeFile(p.textTemplate) : std::string();

    // The site's title and address and the way back to the main page, for
    // every template: made the page's charset, and XML-escaped for the feed.
    SiteTexts site{p.siteTitle, p.mainUri, p.mainPageName};
    toPageCharset(site.title, p.charset);
    fillSitePlaceholders(txtTemplate, site);
    fillSitePlaceholders(rssTemplate,
                         {xmlEscape(site.title), xmlEscape(site.mainUri), xmlEscape(site.mainPage)});
    const auto utcOffsetAt = input.utcOffsetAt ? input.utcOffsetAt : localUtcOffsetAt;

    reporter.log("Reading from template...");
    const PageTemplate mainTemplate =
        splitPageTemplate(readWholeFile(p.mainTemplate), p.mainTemplate);
    const std::string pattern = normalizeBlockLineBreaks(mainTemplate.block);
    // The archive template is read and checked here too, so that a broken
    // template stops the run before any file is written.
    ArchiveJob job;
    job.pageTemplate = prepareArchiveTemplate(readWholeFile(p.archiveTemplate), p.archiveTemplate,
                                              input.monthList, p.archiveFolder, p.charset,
                                              archiveSiteTexts(p));
    job.dataFolder = dataFolder;
    job.outputFolder = folder;
    job.settings = settings;
    // The archive months render in the background from here on (they only
    // read); they are written after the main page, RSS and TXT files.
    ArchiveRun archive(std::move(job), input.treeOrder,
                       input.cache ? *input.cache : SiteCache::process());

    const std::string mainPath = folder + p.mainPageName;
    const std::string rssPath = folder + p.feedName;
    const std::string txtPath = folder + p.textPageName;

    reporter.log("Generating archive links...");
    const std::string links = GenArchive("mainpagelink", input.monthList, p.archiveFolder);
    // The working copy: head and tail with their page-level placeholders
    // filled, and the posts in the post block's place, between the block
    // markers, in front of the insertion marker.
    std::string head = mainTemplate.head;
    std::string tail = mainTemplate.tail;
    for (std::string *part : {&head, &tail}) {
        replaceAllInPlace(*part, kArchive, links);
        replaceAllInPlace(*part, kBuild, input.versionText);
        replaceAllInPlace(*part, kCharset, charset);
        fillSitePlaceholders(*part, site);
    }

    const std::size_t count = mainPageCount(p.postsOnMainPage, input.postList.size());

    reporter.log("Generating main page...");
    std::string page = head + kContentStart;
    std::string previousDate;
    for (std::size_t i = 0; i < count; ++i) {
        const std::string name = unpadPostName(input.postList[input.postList.size() - 1 - i]);
        const PostTexts texts = postTexts(name);
        const PostContent post = readPost(dataFolder + name);
        if (withRss)
            rssItems += rssItem(texts, post, settings, p.mainUri,
                                utcOffsetAt(civilFromSeconds(texts.n)));
        if (withTxt)
            txtItems += txtEntry(texts, post, settings);
        page += RenderMainPost(pattern, texts, post, settings, previousDate);
        page += "\r\n";
    }
    page += kInsertionMarker + kContentEnd + tail;

    std::string rssText;
    if (withRss) {
        reporter.log("Generating RSS file...");
        // The feed is made with a marker for its build time first: when the
        // file on disk is the same but for that time, it is kept as it is
        // (time included), so a site with no new post sends nothing.
        const std::string pattern = finishRss(rssTemplate, rssItems, p.charset, kBuildTimeMarker);
        std::string existing;
        if (tryReadWholeFile(rssPath, existing) && sameButBuildTime(pattern, existing))
            rssText = existing;
        else
            rssText = replaceAll(pattern, kBuildTimeMarker,
                                 rfc822DateTime(input.buildTime.local, input.buildTime.utcOffsetSeconds));
    }
    std::string txtText;
    if (withTxt)
        txtText = finishTxt(txtTemplate, txtItems, p.charset);

    // Finishing the main page: block markers, dates left in later posts of a
    // day and the insertion marker go; the generator stamp takes the end
    // marker's place.
    removeAllInPlace(page, kContentStart);
    removeAllInPlace(page, kDate);
    removeAllInPlace(page, kInsertionMarker);
    replaceAllInPlace(page, kContentEnd, generatorStamp(input.versionText, input.fileDateText));

    const WriteOutcome mainOutcome = writeOutputFile(mainPath, page);
    WriteOutcome rssOutcome = WriteOutcome::Unchanged;
    if (withRss)
        rssOutcome = writeOutputFile(rssPath, rssText);
    WriteOutcome txtOutcome = WriteOutcome::Unchanged;
    if (withTxt) {
        reporter.log("Generating TXT file...");
        txtOutcome = writeOutputFile(txtPath, txtText);
    }

    reporter.clearUploadList();
    reporter.siteFile(mainPath, mainOutcome);
    if (withRss)
        reporter.siteFile(rssPath, rssOutcome);
    if (withTxt)
        reporter.siteFile(txtPath, txtOutcome);

    reporter.log("Generating archive files...");
    archive.commit(reporter);
    // The pictures inserted into posts are site files too: listed with the
    // pages, so that those the server lacks stay queued after each Generate.
    for (const QString &picture : siteMediaFiles(pathText(p.mainFolder)))
        reporter.siteFile(pathBytes(picture), WriteOutcome::Unchanged);
    reporter.log("Completed.");
}

} // namespace tl::gen
