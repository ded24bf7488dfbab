#include "posts/postfile.h"

#include "core/errors.h"
#include "core/fileio.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace tl {

namespace {

// A date-time value built from a date plus hours, minutes and seconds in
// floating point lies within a few units of the last place of the whole
// second it stands for. Values that close to a whole second are taken as it.
// At the far end of the range (day 50000) one unit of the last place is about
// 0.6 microseconds, so 50 microseconds leaves a wide margin and still keeps a
// clock reading of 12:34:56.789 at 56.
constexpr double kWholeSecondTolerance = 5e-5;

std::int64_t floorDiv(std::int64_t a, std::int64_t b)
{
    std::int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0)))
        --q;
    return q;
}

// Days from 1970-01-01 to the given proleptic Gregorian date.
std::int64_t daysFromCivil(std::int64_t y, std::int64_t m, std::int64_t d)
{
    // Months outside 1..12 carry into the year.
    y += floorDiv(m - 1, 12);
    m = (m - 1) - floorDiv(m - 1, 12) * 12 + 1;
    y -= m <= 2 ? 1 : 0;
    const std::int64_t era = floorDiv(y, 400);
    const std::int64_t yoe = y - era * 400;
    const std::int64_t mp = (m + 9) % 12; // March = 0
    const std::int64_t doy = (153 * mp + 2) / 5 + d - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void civilFromDays(std::int64_t z, int &year, int &month, int &day)
{
    z += 719468;
    const std::int64_t era = floorDiv(z, 146097);
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    const std::int64_t d = doy - (153 * mp + 2) / 5 + 1;
    const std::int64_t m = mp < 10 ? mp + 3 : mp - 9;
    year = static_cast<int>(yoe + era * 400 + (m <= 2 ? 1 : 0));
    month = static_cast<int>(m);
    day = static_cast<int>(d);
}

std::string twoDigits(int v)
{
    std::string s = std::to_string(v);
    return v >= 0 && v < 10 ? "0" + s : s;
}

// Seconds from day 25569 to the value; a value that close to a whole second
// is taken as exactly that second.
double secondsSinceEpoch(double dateTime)
{
    const double x = (dateTime - kUnixEpochDay) * static_cast<double>(kSecondsPerDay);
    const double nearest = std::nearbyint(x);
    return std::fabs(x - nearest) <= kWholeSecondTolerance ? nearest : x;
}

} // namespace

bool isPostTimeInRange(std::int64_t n) { return n >= kMinPostTime && n <= kMaxPostTime; }

std::int64_t DateTimeToSeconds(double dateTime)
{
    return static_cast<std::int64_t>(std::trunc(secondsSinceEpoch(dateTime)));
}

double SecondsToDateTime(std::int64_t n)
{
    return kUnixEpochDay + static_cast<double>(n) / static_cast<double>(kSecondsPerDay);
}

CivilDateTime civilFromSeconds(std::int64_t n)
{
    CivilDateTime c;
    const std::int64_t days = floorDiv(n, kSecondsPerDay);
    const std::int64_t secs = n - days * kSecondsPerDay;
    civilFromDays(days, c.year, c.month, c.day);
    c.hour = static_cast<int>(secs / 3600);
    c.minute = static_cast<int>(secs / 60 % 60);
    c.second = static_cast<int>(secs % 60);
    // 1970-01-01 was a Thursday (4).
    c.dayOfWeek = static_cast<int>((days % 7 + 7 + 4) % 7);
    return c;
}

std::int64_t secondsFromCivil(int year, int month, int day, int hour, int minute, int second)
{
    return daysFromCivil(year, month, day) * kSecondsPerDay + hour * 3600LL + minute * 60LL
        + second;
}

CivilDateTime civilFromDateTime(double dateTime)
{
    return civilFromSeconds(static_cast<std::int64_t>(std::floor(secondsSinceEpoch(dateTime))));
}

double dateTimeFromCivil(int year, int month, int day, int hour, int minute, int second)
{
    const double days = static_cast<double>(daysFromCivil(year, month, day)) + kUnixEpochDay;
    return days + (hour * 3600.0 + minute * 60.0 + second) / static_cast<double>(kSecondsPerDay);
}

std::string dateText(const CivilDateTime &c)
{
    return std::to_string(c.day) + ". " + std::to_string(c.month) + ". " + std::to_string(c.year);
}

std::string timeText(const CivilDateTime &c) { return twoDigits(c.hour) + ":" + twoDigits(c.minute); }

std::string monthKey(const CivilDateTime &c) { return std::to_string(c.year) + "-" + twoDigits(c.month); }

std::string isoDateText(const CivilDateTime &c)
{
    std::string y = std::to_string(c.year);
    while (y.size() < 4)
        y.insert(y.begin(), '0');
    return y + "-" + twoDigits(c.month) + "-" + twoDigits(c.day);
}

std::string postFileName(std::int64_t n) { return std::to_string(n) + ".txt"; }

std::string postTimeTextOfName(const std::string &fileName)
{
    std::string text = fileName;
    const std::size_t pos = text.find(".txt");
    if (pos != std::string::npos)
        text.erase(pos, 4);
    return text;
}

std::int32_t postTimeOfName(const std::string &fileName)
{
    return strToInt(postTimeTextOfName(fileName));
}

void appendNormalizedLineEnds(std::string &out, std::string_view text, bool &afterCr)
{
    const char *p = text.data();
    const char *const end = p + text.size();
    if (p == end)
        return;
    // An LF that completes a CR LF split across two pieces is already written.
    if (afterCr && *p == '\n')
        ++p;
    afterCr = false;
    // Line by line up to each LF, copying the runs between CRs in one piece:
    // pages are long and nearly every line end is already CR LF.
    while (p < end) {
        const char *lf = static_cast<const char *>(std::memchr(p, '\n', end - p));
        const char *const stop = lf ? lf : end;
        bool lfTaken = false;
        while (p < stop) {
            const char *cr = static_cast<const char *>(std::memchr(p, '\r', stop - p));
            if (!cr) {
                out.append(p, stop - p);
                p = stop;
                break;
            }
            out.append(p, cr - p);
            out += "\r\n";
            p = cr + 1;
            if (p == stop) {
                if (lf)
                    lfTaken = true; // CR LF: one line end
                else
                    afterCr = true; // the piece ends in a CR
            }
        }
        if (lf) {
            if (!lfTaken)
                out += "\r\n";
            p = lf + 1;
        }
    }
}

std::string normalizeLineEnds(std::string_view text)
{
    std::string out;
    out.reserve(text.size() + text.size() / 32);
    bool afterCr = false;
    appendNormalizedLineEnds(out, text, afterCr);
    return out;
}

PostContent parsePost(std::string_view bytes)
{
    PostContent post;
    const std::size_t eol = bytes.find_first_of("\r\n");
    if (eol == std::string::npos) {
        post.title = bytes.substr(0, kMaxTitleLength);
        return post;
    }
    post.title = bytes.substr(0, std::min(eol, kMaxTitleLength));
    std::size_t bodyStart = eol + 1;
    if (bytes[eol] == '\r' && bodyStart < bytes.size() && bytes[bodyStart] == '\n')
        ++bodyStart;
    post.body = normalizeLineEnds(bytes.substr(bodyStart));
    return post;
}

PostContent readPost(const std::string &path) { return parsePost(readWholeFile(path)); }

std::string postFileBytes(const std::string &title, const std::string &body)
{
    std::string bytes;
    bytes.reserve(title.size() + 2 + body.size());
    bytes += title;
    bytes += "\r\n";
    bytes += body;
    return bytes;
}

void writePost(const std::string &path, const std::string &title, const std::string &body)
{
    writeWholeFileAtomic(path, postFileBytes(title, body));
}

} // namespace tl
