#include "core/errors.h"
#include "posts/postfile.h"
#include "posts/poststore.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <sys/stat.h>

using namespace tl;
using tl::test::fileBytes;
using tl::test::writeBytes;

namespace {

class DataFolder : public ::testing::Test {
protected:
    QTemporaryDir dir;
    std::string folder() const { return dir.path().toStdString(); }
    QString path(const QString &name) const { return dir.path() + "/" + name; }
    void touch(const QString &name, const std::string &bytes = "t\r\nb")
    {
        writeBytes(path(name), bytes);
    }
};

std::vector<std::string> sorted(std::vector<std::string> v)
{
    std::sort(v.begin(), v.end());
    return v;
}

std::string errorOf(const std::function<void()> &f)
{
    try {
        f();
    } catch (const AppError &e) {
        return e.what();
    }
    return "(no error)";
}

} // namespace

// ---------------------------------------------------------------------------
// Folder listing

TEST_F(DataFolder, ListingTakesTxtFilesInAnyCaseAndNothingElse)
{
    touch("1049328060.txt");
    touch("UPPER.TXT");
    touch("Mixed.Txt");
    touch(".hidden.txt");
    touch("notes.doc");
    touch("keep.txt.bak");
    touch("target.bin");
    ASSERT_TRUE(QDir(dir.path()).mkdir("folder.txt"));
    ASSERT_EQ(::mkfifo(path("pipe.txt").toLocal8Bit().constData(), 0600), 0);
    ASSERT_TRUE(QFile::link(path("target.bin"), path("link.txt")));
    ASSERT_TRUE(QFile::link(path("missing.bin"), path("broken.txt")));

    EXPECT_EQ(sorted(listPostFolder(folder())),
              (std::vector<std::string>{"1049328060.txt", "Mixed.Txt", "UPPER.TXT", "link.txt"}));
}

TEST_F(DataFolder, EmptyFolderListsNothing)
{
    EXPECT_TRUE(listPostFolder(folder()).empty());
    EXPECT_TRUE(listPostFolder(folder() + "/").empty());
}

TEST_F(DataFolder, FolderThatCannotBeEnteredFails)
{
    const std::string missing = folder() + "/missing";
    EXPECT_EQ(errorOf([&] { listPostFolder(missing); }), "Cannot open folder " + missing);
    touch("plain.txt");
    const std::string file = folder() + "/plain.txt";
    EXPECT_EQ(errorOf([&] { listPostFolder(file); }), "Cannot open folder " + file);
    // An empty field must not list whatever folder happens to be current.
    EXPECT_EQ(errorOf([] { listPostFolder(""); }), "The data folder is not set.");
}

// ---------------------------------------------------------------------------
// Post list

TEST(PostList, NamesArePaddedWithUnderscoresTo20)
{
    EXPECT_EQ(padPostName("1049328060.txt"), "______1049328060.txt");
    EXPECT_EQ(padPostName("0.txt"), "_______________0.txt");
    EXPECT_EQ(padPostName("notes.txt"), "___________notes.txt");
    EXPECT_EQ(padPostName("12345678901234567.txt"), "12345678901234567.txt");
    EXPECT_EQ(padPostName("1234567890123456.txt"), "1234567890123456.txt");
    EXPECT_EQ(unpadPostName("______1049328060.txt"), "1049328060.txt");
}

TEST(PostList, OrderIsNumericForPostNamesAndPutsOtherNamesFirst)
{
    // Listed in scrambled order; the list comes out in this order.
    const std::vector<std::string> expected = {
        "_______________0.txt", // "_" below every digit: shorter names first
        "_______________9.txt",
        "______________10.txt",
        "___________notes.txt", // before every post name of 6 digits or more
        "_______999999999.txt",
        "______1000000000.txt",
        "______1049328060.txt",
        "______1049414400.txt",
        "______2147483647.txt",
    };
    std::vector<std::string> listing;
    for (const auto &e : expected)
        listing.push_back(unpadPostName(e));
    std::mt19937 rng(7);
    for (int round = 0; round < 5; ++round) {
        std::shuffle(listing.begin(), listing.end(), rng);
        EXPECT_EQ(makePostList(listing), expected);
    }
}

TEST(PostList, ComparisonIgnoresCaseAndKeepsOneOfEqualNames)
{
    EXPECT_TRUE(postListEqual("______________AB.txt", "______________ab.TXT"));
    EXPECT_TRUE(postListLess("______________ab.txt", "______________AC.txt"));
    EXPECT_TRUE(postListLess("_a", "0a"));
    EXPECT_TRUE(postListLess("_", "."));
    const auto list = makePostList({"B.txt", "a.txt", "b.TXT", "A.TXT"});
    EXPECT_EQ(list, (std::vector<std::string>{"_______________a.txt", "_______________B.txt"}));
}

// ---------------------------------------------------------------------------
// Walking order and the month list

namespace tl {
// Readable failures.
void PrintTo(const MonthGroup &g, std::ostream *os)
{
    *os << g.key << "{";
    for (const auto &p : g.posts)
        *os << p << " ";
    *os << "}";
}
} // namespace tl

namespace {
struct WalkCase {
    std::vector<std::string> listing;
    std::vector<MonthGroup> months;
    std::string failure;
};
} // namespace

TEST(PostTreeWalk, MonthsAndPostsNewestFirstAndStopAtANonPost)
{
    const std::vector<WalkCase> cases = {
        // The three-file example: 2003-05 above 2003-04, newest post first.
        {{"1049328060.txt", "1051747200.txt", "1049414400.txt"},
         {{"2003-05", {"1051747200.txt"}}, {"2003-04", {"1049414400.txt", "1049328060.txt"}}},
         ""},
        // 1000000000 (2001-09-09) is newer than 999999999 although it sorts
        // before it as plain text.
        {{"999999999.txt", "1000000000.txt"},
         {{"2001-09", {"1000000000.txt", "999999999.txt"}}},
         ""},
        // One month of two years gets two nodes; negative times are 1969.
        {{"1049328060.txt", "1081036800.txt", "-86400.txt"},
         {{"2004-04", {"1081036800.txt"}},
          {"2003-04", {"1049328060.txt"}},
          {"1969-12", {"-86400.txt"}}},
         ""},
        // notes.txt sorts first, so every post is in the tree when it stops.
        {{"1049328060.txt", "notes.txt", "1051747200.txt"},
         {{"2003-05", {"1051747200.txt"}}, {"2003-04", {"1049328060.txt"}}},
         "'notes' is not a valid integer value"},
        // A bad name between two posts keeps only what came before it.
        {{"999999999.txt", "1000000000.txt", "99999999x.txt"},
         {{"2001-09", {"1000000000.txt"}}},
         "'99999999x' is not a valid integer value"},
        // Beyond the 32-bit range; an extension in capitals is no post name.
        {{"2147483648.txt"}, {}, "'2147483648' is not a valid integer value"},
        {{"1049328060.TXT"}, {}, "'1049328060.TXT' is not a valid integer value"},
        {{}, {}, ""},
    };
    for (const auto &c : cases) {
        const PostTreeWalk w = walkPostList(makePostList(c.listing));
        EXPECT_EQ(w.months, c.months) << c.listing.size() << " names";
        EXPECT_EQ(w.failure, c.failure);
    }
}

TEST(PostTreeWalk, MonthListFollowsTheTreeAndEachMonthComesOnce)
{
    // A post at the first and the last second of every month of 2003.
    std::vector<std::string> listing;
    for (int m = 1; m <= 12; ++m) {
        const std::int64_t start = secondsFromCivil(2003, m, 1);
        const std::int64_t end = secondsFromCivil(2003, m + 1, 1) - 1;
        listing.push_back(postFileName(end));
        listing.push_back(postFileName(start));
    }
    const PostTreeWalk w = walkPostList(makePostList(listing));
    ASSERT_TRUE(w.failure.empty());
    std::vector<std::string> expected;
    for (int m = 12; m >= 1; --m)
        expected.push_back(m < 10 ? "2003-0" + std::to_string(m) : "2003-" + std::to_string(m));
    EXPECT_EQ(monthList(w), expected);
    for (const auto &g : w.months)
        ASSERT_EQ(g.posts.size(), 2u) << g.key;
}

TEST(PostTreeWalk, PostNodesAreTheTextsContainingTxt)
{
    EXPECT_TRUE(isPostNodeText("1049328060.txt"));
    EXPECT_FALSE(isPostNodeText("2003-04"));
    EXPECT_FALSE(isPostNodeText("1049328060.TXT"));
}

// ---------------------------------------------------------------------------
// The editor's time text

TEST(TimeText, ValidAndInvalidTimes)
{
    struct Case {
        const char *text;
        int hour, minute; // -1: invalid
    };
    const Case cases[] = {
        {"09:05", 9, 5},  {" 9:05", 9, 5},  {"9:05", 9, 5},   {"00:00", 0, 0},
        {"23:59", 23, 59}, {"24:00", -1, -1}, {"12:60", -1, -1}, {"12:5", -1, -1},
        {"12: 5", -1, -1}, {":", -1, -1},     {"", -1, -1},      {"1a:00", -1, -1},
        {"123:00", -1, -1}, {"12:345", -1, -1}, {"-1:00", -1, -1},
    };
    for (const Case &c : cases) {
        int h = -7, m = -7;
        if (c.hour < 0) {
            EXPECT_EQ(errorOf([&] { parseTimeText(c.text, h, m); }),
                      std::string("'") + c.text + "' is not a valid time");
        } else {
            parseTimeText(c.text, h, m);
            EXPECT_EQ(h, c.hour) << c.text;
            EXPECT_EQ(m, c.minute) << c.text;
        }
    }
}

// ---------------------------------------------------------------------------
// Saving a post

namespace {
class SaveTest : public DataFolder {
protected:
    SaveRequest request(bool newPost, const std::string &openName, double dt)
    {
        SaveRequest r;
        r.dataFolder = folder();
        r.newPost = newPost;
        r.openPostName = openName;
        r.title = "Title \x8a";
        r.body = "line 1\r\n\r\nline 3";
        r.dateTime = dt;
        return r;
    }
    std::string bytes(const QString &name) const { return fileBytes(path(name)); }
};
} // namespace

TEST_F(SaveTest, NewPostIsWrittenUnderTheNameOfItsMinute)
{
    const SaveResult r = savePost(request(true, "", dateTimeFromCivil(2003, 4, 3, 12, 34)));
    EXPECT_EQ(r.name, "1049373240.txt");
    EXPECT_EQ(r.path, folder() + "/1049373240.txt");
    EXPECT_TRUE(r.reRead);
    EXPECT_EQ(bytes("1049373240.txt"), "Title \x8a\r\nline 1\r\n\r\nline 3");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
}

TEST_F(SaveTest, ClockDatedPostKeepsItsSeconds)
{
    const double dt = dateTimeFromCivil(2003, 4, 3, 12, 34, 56) + 0.789 / 86400.0;
    EXPECT_EQ(savePost(request(true, "", dt)).name, "1049373296.txt");
}

TEST_F(SaveTest, EditedPostInPlaceIsWrittenOverWithoutReRead)
{
    touch("1049373240.txt", "old\r\nold");
    const SaveResult r =
        savePost(request(false, "1049373240.txt", dateTimeFromCivil(2003, 4, 3, 12, 34)));
    EXPECT_FALSE(r.reRead);
    EXPECT_EQ(bytes("1049373240.txt"), "Title \x8a\r\nline 1\r\n\r\nline 3");
}

TEST_F(SaveTest, EditedPostWhoseFileWentIsWrittenAgainAndReRead)
{
    const SaveResult r =
        savePost(request(false, "1049373240.txt", dateTimeFromCivil(2003, 4, 3, 12, 34)));
    EXPECT_TRUE(r.reRead);
    EXPECT_EQ(bytes("1049373240.txt"), "Title \x8a\r\nline 1\r\n\r\nline 3");
}

TEST_F(SaveTest, MovedPostIsWrittenUnderItsNewNameAndTheOldFileRemoved)
{
    touch("1049373240.txt", "old\r\nold");
    const SaveResult r =
        savePost(request(false, "1049373240.txt", dateTimeFromCivil(2003, 4, 3, 12, 35)));
    EXPECT_EQ(r.name, "1049373300.txt");
    EXPECT_TRUE(r.reRead);
    EXPECT_FALSE(QFile::exists(path("1049373240.txt")));
    EXPECT_EQ(bytes("1049373300.txt"), "Title \x8a\r\nline 1\r\n\r\nline 3");
}

TEST_F(SaveTest, NameHeldByAnotherPostIsNeverWrittenOver)
{
    touch("1049373240.txt", "other\r\nother post");
    touch("1049373300.txt", "mine\r\nmine");
    const std::string taken =
        "The post was not saved: another post is already dated 2003-04-03 12:34. "
        "Choose another date or time.";
    // A new post dated to the minute of another.
    EXPECT_EQ(errorOf([&] { savePost(request(true, "", dateTimeFromCivil(2003, 4, 3, 12, 34))); }),
              taken);
    // An edited post moved onto another.
    EXPECT_EQ(errorOf([&] {
                  savePost(request(false, "1049373300.txt", dateTimeFromCivil(2003, 4, 3, 12, 34)));
              }),
              taken);
    EXPECT_EQ(bytes("1049373240.txt"), "other\r\nother post");
    EXPECT_EQ(bytes("1049373300.txt"), "mine\r\nmine");
}

TEST_F(SaveTest, FailedWriteOfAMovedPostKeepsItsOldFile)
{
    touch("1049373240.txt", "old\r\nold");
    // A folder in the way of the new name: the write cannot succeed.
    ASSERT_TRUE(QDir(dir.path()).mkdir("1049373300.txt"));
    EXPECT_EQ(errorOf([&] {
                  savePost(request(false, "1049373240.txt", dateTimeFromCivil(2003, 4, 3, 12, 35)));
              }),
              "Cannot create file " + folder() + "/1049373300.txt");
    EXPECT_EQ(bytes("1049373240.txt"), "old\r\nold");
}

TEST_F(SaveTest, DatesOutsideThe32BitRangeAreRefused)
{
    struct Case {
        double dt;
        bool ok;
    };
    const Case cases[] = {
        {dateTimeFromCivil(1901, 12, 13, 20, 46), true},
        {dateTimeFromCivil(1901, 12, 13, 20, 45), false}, // 20:45:00 < 20:45:52
        {dateTimeFromCivil(2038, 1, 19, 3, 14), true},
        {dateTimeFromCivil(2038, 1, 19, 3, 15), false},
        {dateTimeFromCivil(1600, 1, 1), false},
        {dateTimeFromCivil(9999, 12, 31, 23, 59), false},
        {1e300, false},
    };
    for (const Case &c : cases) {
        const std::string err = errorOf([&] { savePost(request(true, "", c.dt)); });
        if (c.ok) {
            EXPECT_EQ(err, "(no error)");
        } else {
            EXPECT_NE(err.find("lies outside the dates a post can carry"), std::string::npos) << err;
        }
    }
    // Only the two in range were written.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 2);
    EXPECT_EQ(msgPostDateOutOfRange(dateTimeFromCivil(2038, 1, 19, 3, 15)),
              "The post was not saved: its date 2038-01-19 03:15 lies outside the dates a post "
              "can carry (1901-12-13 20:45:52 to 2038-01-19 03:14:07).");
}

TEST(PostList, SortingByKeysAgreesWithTheOrderForShortAndLongNames)
{
    // Names of every length from an alphabet that stresses the order: "_",
    // digits, both letter cases, bytes below and above "_".
    const std::string alphabet = "_09aAzZ.-~\x80\xff";
    std::mt19937 rng(11);
    std::vector<std::string> names;
    for (int i = 0; i < 3000; ++i) {
        std::string n;
        const int len = 1 + static_cast<int>(rng() % 30);
        for (int k = 0; k < len; ++k)
            n += alphabet[rng() % alphabet.size()];
        names.push_back(n);
    }
    auto reference = [](const std::vector<std::string> &listing) {
        std::vector<std::string> v;
        for (const auto &n : listing)
            v.push_back(padPostName(n));
        std::stable_sort(v.begin(), v.end(), postListLess);
        v.erase(std::unique(v.begin(), v.end(), postListEqual), v.end());
        return v;
    };
    EXPECT_EQ(makePostList(names), reference(names));
    // One name longer than a sort key takes the other way; same result.
    names.push_back(std::string(40, 'a'));
    EXPECT_EQ(makePostList(names), reference(names));
}

// Lists of editor-made names ("digits.txt") take a quicker way; it must give
// the same list: leading zeros, one to sixteen digits, repeated names.
TEST(PostList, PlainPostNamesGiveTheOrderOfTheRule)
{
    std::mt19937 rng(5);
    std::vector<std::string> names;
    for (int i = 0; i < 3000; ++i) {
        std::string digits;
        const int len = 1 + static_cast<int>(rng() % 16);
        for (int k = 0; k < len; ++k)
            digits += static_cast<char>('0' + rng() % (k == 0 ? 2 : 10));
        names.push_back(digits + ".txt");
    }
    names.push_back(names[7]);
    names.push_back("0.txt");
    names.push_back("00.txt");
    std::vector<std::string> expected;
    for (const auto &n : names)
        expected.push_back(padPostName(n));
    std::stable_sort(expected.begin(), expected.end(), postListLess);
    expected.erase(std::unique(expected.begin(), expected.end(), postListEqual), expected.end());
    EXPECT_EQ(makePostList(names), expected);
}
