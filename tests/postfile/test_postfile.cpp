#include "posts/postfile.h"

#include "core/errors.h"
#include "core/fileio.h"

#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTimeZone>
#include <gtest/gtest.h>

using namespace tl;

namespace {

// The editor builds a date-time as the date's day number plus the time of day
// as a fraction, in floating point; this is the value a save sees.
double editorDateTime(int y, int mo, int d, int h, int mi)
{
    const double day = static_cast<double>(QDate(1899, 12, 30).daysTo(QDate(y, mo, d)));
    return day + (h * 3600000.0 + mi * 60000.0) / 86400000.0;
}

// An independent reference for N: the calendar as Qt knows it, in UTC, so that
// no time zone or daylight-saving rule plays a part.
std::int64_t referenceSeconds(int y, int mo, int d, int h, int mi, int s = 0)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s), QTimeZone::utc()).toSecsSinceEpoch();
}

struct NamedTime {
    std::int64_t n;
    int y, mo, d, h, mi, s;
};

} // namespace

TEST(PostTime, KnownNamesMapToTheirDatesBothWays)
{
    const NamedTime table[] = {
        {1049328060, 2003, 4, 3, 0, 1, 0},
        {0, 1970, 1, 1, 0, 0, 0},
        {-86400, 1969, 12, 31, 0, 0, 0},
        {-1, 1969, 12, 31, 23, 59, 59},
        {1049373240, 2003, 4, 3, 12, 34, 0},
        {999999999, 2001, 9, 9, 1, 46, 39},
        {1000000000, 2001, 9, 9, 1, 46, 40},
        {kMinPostTime, 1901, 12, 13, 20, 45, 52},
        {kMaxPostTime, 2038, 1, 19, 3, 14, 7},
        {951782400, 2000, 2, 29, 0, 0, 0},
        {1078099199, 2004, 2, 29, 23, 59, 59},
    };
    for (const NamedTime &t : table) {
        SCOPED_TRACE(t.n);
        const CivilDateTime c = civilFromSeconds(t.n);
        EXPECT_EQ(c.year, t.y);
        EXPECT_EQ(c.month, t.mo);
        EXPECT_EQ(c.day, t.d);
        EXPECT_EQ(c.hour, t.h);
        EXPECT_EQ(c.minute, t.mi);
        EXPECT_EQ(c.second, t.s);
        EXPECT_EQ(secondsFromCivil(t.y, t.mo, t.d, t.h, t.mi, t.s), t.n);
        EXPECT_EQ(referenceSeconds(t.y, t.mo, t.d, t.h, t.mi, t.s), t.n);
        // Through the date-time value and back, and shown as the same minute.
        EXPECT_EQ(DateTimeToSeconds(SecondsToDateTime(t.n)), t.n);
        const CivilDateTime back = civilFromDateTime(SecondsToDateTime(t.n));
        EXPECT_EQ(back.hour, t.h);
        EXPECT_EQ(back.minute, t.mi);
        EXPECT_EQ(back.second, t.s);
    }
}

TEST(PostTime, DayNumberOfTheEpochIs25569)
{
    EXPECT_EQ(SecondsToDateTime(0), 25569.0);
    EXPECT_EQ(SecondsToDateTime(-86400), 25568.0);
    EXPECT_EQ(dateTimeFromCivil(1899, 12, 30), 0.0);
    EXPECT_EQ(DateTimeToSeconds(dateTimeFromCivil(2003, 4, 3, 0, 1)), 1049328060);
}

// Saving a post dated in the editor and reading it back must show the same
// minute for every minute of the year: a truncation of 12:34 computed in
// floating point to 12:33:59 would name the post one minute early.
TEST(PostTime, EveryMinuteOfAYearSurvivesSaveAndReadBack)
{
    for (int year : {2003, 2004, 2037}) {
        int failures = 0;
        for (QDate d(year, 1, 1); d.year() == year; d = d.addDays(1)) {
            for (int h = 0; h < 24; ++h) {
                for (int mi = 0; mi < 60; ++mi) {
                    const double dt = editorDateTime(d.year(), d.month(), d.day(), h, mi);
                    const std::int64_t n = DateTimeToSeconds(dt);
                    const std::int64_t want = referenceSeconds(d.year(), d.month(), d.day(), h, mi);
                    const CivilDateTime shown = civilFromDateTime(SecondsToDateTime(n));
                    if (n != want || shown.year != d.year() || shown.month != d.month()
                        || shown.day != d.day() || shown.hour != h || shown.minute != mi) {
                        if (++failures < 5)
                            ADD_FAILURE() << d.toString(Qt::ISODate).toStdString() << " " << h
                                          << ":" << mi << " gave " << n << " want " << want;
                    }
                    // Shown straight from the floating-point value, too.
                    const CivilDateTime direct = civilFromDateTime(dt);
                    if (direct.hour != h || direct.minute != mi || direct.second != 0)
                        if (++failures < 5)
                            ADD_FAILURE() << "direct " << h << ":" << mi;
                }
            }
        }
        EXPECT_EQ(failures, 0) << year;
    }
}

TEST(PostTime, RangeEndsAndBeyond)
{
    EXPECT_EQ(DateTimeToSeconds(editorDateTime(1901, 12, 13, 20, 45) + 52.0 / 86400), kMinPostTime);
    EXPECT_EQ(DateTimeToSeconds(dateTimeFromCivil(2038, 1, 19, 3, 14, 7)), kMaxPostTime);
    EXPECT_TRUE(isPostTimeInRange(kMinPostTime));
    EXPECT_TRUE(isPostTimeInRange(kMaxPostTime));
    EXPECT_FALSE(isPostTimeInRange(kMaxPostTime + 1));
    EXPECT_FALSE(isPostTimeInRange(kMinPostTime - 1));
    // The conversion itself goes beyond the range; the check is the caller's.
    EXPECT_EQ(DateTimeToSeconds(dateTimeFromCivil(2038, 1, 19, 3, 14, 8)), kMaxPostTime + 1);
}

TEST(PostTime, FractionsOfASecondAreDroppedTowardsZero)
{
    // Dated from the clock at 12:34:56.789 on 2003-04-03.
    const double clock = editorDateTime(2003, 4, 3, 12, 34) + 56.789 / 86400.0;
    EXPECT_EQ(DateTimeToSeconds(clock), 1049373296);
    const CivilDateTime c = civilFromDateTime(clock);
    EXPECT_EQ(timeText(c), "12:34");
    EXPECT_EQ(c.second, 56);
    // Just below the next second stays in this one.
    EXPECT_EQ(DateTimeToSeconds(SecondsToDateTime(100) + 0.999 / 86400.0), 100);
    // Before 1970 the fraction is dropped towards zero, not towards the past.
    EXPECT_EQ(DateTimeToSeconds(SecondsToDateTime(-100) - 0.5 / 86400.0), -100);
}

TEST(PostTime, TextsOfADateTime)
{
    const CivilDateTime c = civilFromSeconds(secondsFromCivil(2004, 3, 7, 9, 5));
    EXPECT_EQ(dateText(c), "7. 3. 2004");
    EXPECT_EQ(timeText(c), "09:05");
    EXPECT_EQ(monthKey(c), "2004-03");
    EXPECT_EQ(isoDateText(c), "2004-03-07");
    const CivilDateTime d = civilFromSeconds(secondsFromCivil(2003, 12, 31, 23, 59));
    EXPECT_EQ(dateText(d), "31. 12. 2003");
    EXPECT_EQ(monthKey(d), "2003-12");
    // 2026-12-07 is a Monday; 1970-01-01 a Thursday; 1969-12-31 a Wednesday.
    EXPECT_EQ(civilFromSeconds(secondsFromCivil(2026, 12, 7, 21, 5)).dayOfWeek, 1);
    EXPECT_EQ(civilFromSeconds(0).dayOfWeek, 4);
    EXPECT_EQ(civilFromSeconds(-1).dayOfWeek, 3);
}

TEST(PostTime, OverflowingFieldsCarry)
{
    EXPECT_EQ(secondsFromCivil(2003, 13, 1), secondsFromCivil(2004, 1, 1));
    EXPECT_EQ(secondsFromCivil(2003, 0, 1), secondsFromCivil(2002, 12, 1));
    EXPECT_EQ(secondsFromCivil(2003, 1, 32), secondsFromCivil(2003, 2, 1));
    EXPECT_EQ(secondsFromCivil(2003, 4, 3, 0, 60), secondsFromCivil(2003, 4, 3, 1, 0));
}

TEST(PostName, NameOfATimeValue)
{
    EXPECT_EQ(postFileName(1049328060), "1049328060.txt");
    EXPECT_EQ(postFileName(0), "0.txt");
    EXPECT_EQ(postFileName(-86400), "-86400.txt");
}

TEST(PostName, TimeValueOfAName)
{
    EXPECT_EQ(postTimeOfName("1049328060.txt"), 1049328060);
    EXPECT_EQ(postTimeOfName("0.txt"), 0);
    EXPECT_EQ(postTimeOfName("-86400.txt"), -86400);
    EXPECT_EQ(postTimeOfName("-2147483648.txt"), kMinPostTime);
    EXPECT_EQ(postTimeOfName("2147483647.txt"), kMaxPostTime);
    // Only the first ".txt" is removed.
    EXPECT_THROW(postTimeOfName("12.txt.txt"), AppError);
}

TEST(PostName, NamesThatAreNotPostNamesFailWithTheTextThatFailed)
{
    const std::pair<const char *, const char *> table[] = {
        {"notes.txt", "'notes' is not a valid integer value"},
        {"2147483648.txt", "'2147483648' is not a valid integer value"},
        {"-2147483649.txt", "'-2147483649' is not a valid integer value"},
        {"1049328060.TXT", "'1049328060.TXT' is not a valid integer value"},
        {".txt", "'' is not a valid integer value"},
        {"10493x8060.txt", "'10493x8060' is not a valid integer value"},
    };
    for (const auto &[name, message] : table) {
        SCOPED_TRACE(name);
        try {
            postTimeOfName(name);
            ADD_FAILURE() << "no error";
        } catch (const AppError &e) {
            EXPECT_EQ(std::string(e.what()), message);
        }
    }
}

TEST(PostContentRules, LineEndsOfEveryKindReadTheSame)
{
    const PostContent crlf = parsePost("Title\r\nline 1\r\nline 2\r\n\r\nline 4");
    EXPECT_EQ(crlf.title, "Title");
    EXPECT_EQ(crlf.body, "line 1\r\nline 2\r\n\r\nline 4");
    for (const char *variant : {"Title\nline 1\nline 2\n\nline 4", "Title\rline 1\rline 2\r\rline 4",
                                "Title\r\nline 1\nline 2\r\rline 4"}) {
        const PostContent p = parsePost(variant);
        EXPECT_EQ(p.title, crlf.title);
        EXPECT_EQ(p.body, crlf.body);
    }
    // LF CR is two line ends.
    EXPECT_EQ(parsePost("T\r\na\n\rb").body, "a\r\n\r\nb");
}

TEST(PostContentRules, TitleAndBodyBoundaries)
{
    EXPECT_EQ(parsePost("Title").title, "Title");
    EXPECT_EQ(parsePost("Title").body, "");
    EXPECT_EQ(parsePost("Title\r\n").body, "");
    EXPECT_EQ(parsePost("\r\nbody").title, "");
    EXPECT_EQ(parsePost("\r\nbody").body, "body");
    EXPECT_EQ(parsePost("").title, "");
    // The file ends in CR LF only when the body's last line is empty.
    EXPECT_EQ(parsePost("T\r\nbody\r\n").body, "body\r\n");
    EXPECT_EQ(parsePost("T\nbody\n").body, "body\r\n");
    // A lone CR right before the body's LF-ended line is not merged across the title.
    EXPECT_EQ(parsePost("T\r\r\nx").body, "\r\nx");
}

TEST(PostContentRules, TitleIsCutTo4096Characters)
{
    const std::string longTitle(5000, 'a');
    const PostContent p = parsePost(longTitle + "\r\nbody");
    EXPECT_EQ(p.title, std::string(4096, 'a'));
    EXPECT_EQ(p.body, "body");
    EXPECT_EQ(parsePost(longTitle).title.size(), 4096u);
    EXPECT_EQ(parsePost(std::string(4096, 'b')).title.size(), 4096u);
}

class PostFiles : public ::testing::Test {
protected:
    QTemporaryDir dir;
    std::string path(const std::string &name) const
    {
        return dir.path().toStdString() + "/" + name;
    }
};

TEST_F(PostFiles, WriteThenReadGivesTheSameBytes)
{
    std::string body;
    for (int b = 0; b < 256; ++b)
        if (b != '\r' && b != '\n')
            body += static_cast<char>(b);
    body += "\r\nsecond line\r\n";
    const std::string title = "Tit\x9A" "le \x8A\xE8";
    const std::string p = path("1049328060.txt");
    writePost(p, title, body);
    EXPECT_EQ(readWholeFile(p), title + "\r\n" + body);
    const PostContent back = readPost(p);
    EXPECT_EQ(back.title, title);
    EXPECT_EQ(back.body, body);
}

TEST_F(PostFiles, EmptyTitleAndEmptyBody)
{
    writePost(path("0.txt"), "", "");
    EXPECT_EQ(readWholeFile(path("0.txt")), "\r\n");
    writePost(path("1.txt"), "Only title", "");
    EXPECT_EQ(readWholeFile(path("1.txt")), "Only title\r\n");
}

TEST_F(PostFiles, OverwriteReplacesWholeFileAndLeavesNoTemporaryBehind)
{
    const std::string p = path("5.txt");
    writePost(p, "First", std::string(10000, 'x'));
    writePost(p, "Second", "short");
    EXPECT_EQ(readWholeFile(p), "Second\r\nshort");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
}

TEST_F(PostFiles, FailuresCarryTheirMessages)
{
    const std::string missing = path("none/1.txt");
    try {
        writePost(missing, "t", "b");
        ADD_FAILURE() << "no error";
    } catch (const AppError &e) {
        EXPECT_EQ(std::string(e.what()), "Cannot create file " + missing);
    }
    try {
        readPost(path("2.txt"));
        ADD_FAILURE() << "no error";
    } catch (const AppError &e) {
        EXPECT_EQ(std::string(e.what()), "Cannot open file " + path("2.txt"));
    }
}

TEST(LineEnds, NormalizeMakesEveryLineEndCrLf)
{
    EXPECT_EQ(normalizeLineEnds("a\rb\nc\r\nd\n\re"), "a\r\nb\r\nc\r\nd\r\n\r\ne");
    EXPECT_EQ(normalizeLineEnds("\r"), "\r\n");
    EXPECT_EQ(normalizeLineEnds(""), "");
    EXPECT_EQ(normalizeLineEnds(std::string("a\0b\n", 4)), std::string("a\0b\r\n", 5));
}

// Every text of up to seven characters of "a", CR and LF, normalised whole
// and in two pieces (with an empty piece between) split at every place, gives
// what the rule says: CR LF, lone CR and lone LF each one CR LF.
TEST(LineEnds, PiecesGiveWhatTheWholeTextGives)
{
    const auto reference = [](const std::string &t) {
        std::string out;
        for (std::size_t i = 0; i < t.size(); ++i) {
            if (t[i] == '\r' || t[i] == '\n') {
                out += "\r\n";
                if (t[i] == '\r' && i + 1 < t.size() && t[i + 1] == '\n')
                    ++i;
            } else {
                out += t[i];
            }
        }
        return out;
    };
    const char alphabet[] = {'a', '\r', '\n'};
    for (int length = 0; length <= 7; ++length) {
        int count = 1;
        for (int i = 0; i < length; ++i)
            count *= 3;
        for (int code = 0; code < count; ++code) {
            std::string text;
            for (int i = 0, c = code; i < length; ++i, c /= 3)
                text += alphabet[c % 3];
            const std::string expected = reference(text);
            ASSERT_EQ(normalizeLineEnds(text), expected);
            for (std::size_t cut = 0; cut <= text.size(); ++cut) {
                std::string out;
                bool afterCr = false;
                appendNormalizedLineEnds(out, std::string_view(text).substr(0, cut), afterCr);
                appendNormalizedLineEnds(out, "", afterCr);
                appendNormalizedLineEnds(out, std::string_view(text).substr(cut), afterCr);
                ASSERT_EQ(out, expected) << "cut at " << cut;
            }
        }
    }
}
