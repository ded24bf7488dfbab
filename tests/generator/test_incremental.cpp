// Writing only what changed: a page that comes out the same keeps its file
// (bytes, inode, times), and the cache of archive months never hides a change
// of a post, a template, a setting or a page on disk.

#include "core/errors.h"
#include "core/fileio.h"
#include "generator_support.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>

#include <chrono>
#include <map>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>

using namespace tl;
using namespace tl::gen;
using namespace tl::gentest;

namespace {

std::map<std::string, FileStamp> stampsBelow(const std::string &folder)
{
    std::map<std::string, FileStamp> out;
    for (const std::string &rel : filesBelow(folder))
        EXPECT_TRUE(statFile(folder + "/" + rel, out[rel])) << rel;
    return out;
}

std::map<std::string, std::string> bytesBelow(const std::string &folder)
{
    std::map<std::string, std::string> out;
    for (const std::string &rel : filesBelow(folder))
        out[rel] = readBytes(folder + "/" + rel);
    return out;
}

// The files a run rewrote, relative to the main folder, in report order.
std::vector<std::string> rewritten(const RecordingReporter &r, const std::string &site)
{
    std::vector<std::string> out;
    for (const auto &[path, outcome] : r.outcomes)
        if (outcome == WriteOutcome::Rewritten)
            out.push_back(path.substr(site.size() + 1));
    return out;
}

// Lets the file system's clock move on, so that a change made now gets
// times of its own.
void nextClockTick() { std::this_thread::sleep_for(std::chrono::milliseconds(30)); }

// Every run either shares one cache (which trusts any post older than the
// run) or starts with an empty one, which renders every month and compares.
class WriteOnlyWhatChanged : public ::testing::TestWithParam<bool> {
protected:
    QTemporaryDir tmp;
    FixtureProject project{tmp.path().toStdString()};
    SiteCache shared{0};

    RecordingReporter run()
    {
        SiteCache fresh(0);
        project.input.cache = GetParam() ? &shared : &fresh;
        RecordingReporter r;
        GenerateSite(project.input, r);
        return r;
    }
};

} // namespace

TEST_P(WriteOnlyWhatChanged, ASecondRunRewritesNothingNotEvenTheFeedWhoseBuildTimeMoved)
{
    const RecordingReporter first = run();
    EXPECT_EQ(rewritten(first, project.site).size(), 3u + 4u); // all new
    const auto before = stampsBelow(project.site);

    nextClockTick();
    project.input.buildTime.local.minute += 1; // a later run
    const RecordingReporter second = run();
    EXPECT_EQ(second.uploads, first.uploads);
    EXPECT_EQ(rewritten(second, project.site), std::vector<std::string>{});
    const auto after = stampsBelow(project.site);
    ASSERT_EQ(after.size(), before.size());
    for (const auto &[rel, stamp] : before)
        EXPECT_EQ(after.at(rel), stamp) << rel;
    if (GetParam()) {
        EXPECT_EQ(shared.lastRun().monthsReused, 2u);
    }
}

TEST_P(WriteOnlyWhatChanged, OnePostAddedRewritesItsMonthAndTheFrontPagesOnly)
{
    const RecordingReporter first = run();
    const auto before = bytesBelow(project.site);
    nextClockTick();
    // A long post on 4 April 2003 at 12:10, newest of its month.
    writeBytes(project.data + "/1049458200.txt", "Added\r\nshort<!--more-->rest");
    project.reread();
    const RecordingReporter second = run();
    EXPECT_EQ(rewritten(second, project.site),
              (std::vector<std::string>{"index.html", "rss.xml", "text.htm",
                                        "2003-04_041210.html", "2003-04.html"}));
    EXPECT_EQ(second.uploads.size(), first.uploads.size() + 1);
    for (const auto &[path, outcome] : second.outcomes)
        if (outcome == WriteOutcome::Unchanged) {
            EXPECT_EQ(readBytes(path), before.at(path.substr(project.site.size() + 1))) << path;
        }
    EXPECT_NE(readBytes(project.site + "/2003-04.html").find("Added"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(CacheSharedOrFresh, WriteOnlyWhatChanged, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool> &info) {
                             return std::string(info.param ? "SharedCache" : "FreshCache");
                         });

// After each change, a run through the warm cache writes exactly what a run
// that renders everything writes.
TEST(SiteCacheTest, EveryChangeOfAMonthsInputsIsSeen)
{
    QTemporaryDir tmp;
    FixtureProject cached(tmp.path().toStdString() + "/a");
    FixtureProject fresh(tmp.path().toStdString() + "/b", false);
    // Both read the same posts and the same (copied) templates.
    const std::string templates = tmp.path().toStdString() + "/templates";
    copyFolder(fixtureDir() + "templates", templates);
    fresh.data = cached.data;
    for (FixtureProject *p : {&cached, &fresh}) {
        p->input.project.dataFolder = cached.data;
        p->input.project.archiveTemplate = templates + "/archtemp.htm";
        p->reread();
    }
    SiteCache cache(0);
    const auto generateBoth = [&](const char *step) {
        SCOPED_TRACE(step);
        fresh.reread();
        cached.reread();
        RecordingReporter r1, r2;
        cached.input.cache = &cache;
        GenerateSite(cached.input, r1);
        SiteCache none(0);
        fresh.input.cache = &none;
        GenerateSite(fresh.input, r2);
        const auto a = bytesBelow(cached.site);
        const auto b = bytesBelow(fresh.site);
        EXPECT_EQ(filesBelow(cached.site), filesBelow(fresh.site));
        for (const auto &[rel, bytes] : a)
            EXPECT_TRUE(b.count(rel) && b.at(rel) == bytes) << rel << " differs";
        return cache.lastRun();
    };
    generateBoth("first");
    EXPECT_EQ(generateBoth("no change").monthsReused, 2u);

    // A post rewritten in place with the same size and its modification time
    // set back: only its change time tells.
    const std::string post = cached.data + "/1049373240.txt";
    struct stat old {};
    ASSERT_EQ(::stat(post.c_str(), &old), 0);
    nextClockTick();
    {
        QFile f(QString::fromStdString(post));
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        f.write("Q&B");
    }
    const timespec times[2] = {old.st_atim, old.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, post.c_str(), times, 0), 0);
    EXPECT_EQ(generateBoth("post edited").monthsRendered, 1u);
    EXPECT_NE(readBytes(cached.site + "/2003-04.html").find("Q&B"), std::string::npos);

    writeBytes(templates + "/archtemp.htm",
               readBytes(templates + "/archtemp.htm") + "<!-- changed -->\r\n");
    EXPECT_EQ(generateBoth("template edited").monthsRendered, 2u);

    cached.input.project.author = fresh.input.project.author = "Someone Else";
    EXPECT_EQ(generateBoth("author changed").monthsRendered, 2u);

    QFile::remove(QString::fromStdString(cached.site + "/2003-05_032213.html"));
    nextClockTick();
    const std::string page = cached.site + "/2003-04.html";
    std::string edited = readBytes(page);
    edited[10] = edited[10] == 'x' ? 'y' : 'x';
    writeBytes(page, edited);
    EXPECT_EQ(generateBoth("pages removed or edited by hand").monthsRendered, 2u);

    QFile::remove(QString::fromStdString(cached.data + "/1051790700.txt"));
    EXPECT_EQ(generateBoth("post removed").monthsRendered, 1u);
}

// A post written within the window before a run may change again within one
// tick of the file system's clock without its stamp changing: its month is
// not taken from the cache at the next run.
TEST(SiteCacheTest, PostsNewerThanTheWindowAreNotTrusted)
{
    QTemporaryDir tmp;
    FixtureProject project(tmp.path().toStdString());
    SiteCache cache; // the program's window
    project.input.cache = &cache;
    RecordingReporter r;
    GenerateSite(project.input, r);
    GenerateSite(project.input, r);
    EXPECT_EQ(cache.lastRun().monthsReused, 0u);
    EXPECT_EQ(cache.lastRun().monthsRendered, 2u);
}

// Months render ahead on worker threads, but a post that cannot be read stops
// the run where the walk meets it: the months before it and its month's
// long-post pages before it are written and listed, nothing after it.
TEST(ArchiveOrder, FailureInAMiddleMonthStopsWhereTheWalkMeetsIt)
{
    QTemporaryDir tmp;
    FixtureProject project(tmp.path().toStdString(), false);
    project.input.project.postsOnMainPage = "0";
    // Twelve months of 2010, two posts each: on the 20th (long) and the 10th.
    for (int month = 1; month <= 12; ++month)
        for (int day : {10, 20}) {
            const std::int64_t n = secondsFromCivil(2010, month, day, 8, 0);
            writeBytes(project.data + "/" + postFileName(n),
                       "Post\r\nbody" + std::string(day == 20 ? "<!--more-->more" : ""));
        }
    project.reread();
    const std::string missing = project.data + "/" + postFileName(secondsFromCivil(2010, 6, 10, 8, 0));
    QFile::remove(QString::fromStdString(missing));

    RecordingReporter r;
    SiteCache cache;
    project.input.cache = &cache;
    try {
        GenerateSite(project.input, r);
        ADD_FAILURE() << "no failure";
    } catch (const AppError &e) {
        EXPECT_EQ(std::string(e.what()), "Cannot open file " + missing);
    }
    std::vector<std::string> expected = {"index.html", "rss.xml", "text.htm"};
    for (int month = 12; month >= 7; --month) {
        const std::string key = "2010-" + std::string(month < 10 ? "0" : "") + std::to_string(month);
        expected.push_back(key + "_200800.html");
        expected.push_back(key + ".html");
    }
    expected.push_back("2010-06_200800.html");
    std::vector<std::string> listed;
    for (const std::string &p : r.uploads)
        listed.push_back(p.substr(project.site.size() + 1));
    EXPECT_EQ(listed, expected);
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(filesBelow(project.site), expected);
    EXPECT_EQ(r.lines.back(), "Generating archive files...");
}
