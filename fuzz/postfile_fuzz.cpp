// The post file and the post's name. Input: the bytes of a post file; the
// first 8 bytes are also read as a time value N and bytes 8 to 15 as a
// date-time value, and the first line as a file name. Properties:
//  - reading: the title is line 1 (CR LF, CR or LF ends it) cut to 4096
//    bytes; the body is everything after the first line end with every line
//    end made CR LF;
//  - writing what was read and reading it again (in memory and through a
//    file) gives the same title and body;
//  - a name written for N reads back as N when N is in the 32-bit range and
//    is refused with "'N' is not a valid integer value" otherwise; any name
//    reads as the decimal integer it holds or is refused with that message;
//  - N -> date-time -> N, N -> calendar -> N and calendar minute -> date-time
//    -> N are exact (no minute ever shows as the one before).
#include "core/errors.h"
#include "fuzzsupport.h"
#include "posts/postfile.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

using tl::fuzz::shown;

namespace {

// Every CR LF, lone CR and lone LF made CR LF.
std::string crlfLines(const std::string &s)
{
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\r') {
            out += "\r\n";
            if (i + 1 < s.size() && s[i + 1] == '\n')
                ++i;
        } else if (s[i] == '\n') {
            out += "\r\n";
        } else {
            out += s[i];
        }
    }
    return out;
}

void checkCivil(std::int64_t n)
{
    const tl::CivilDateTime c = tl::civilFromSeconds(n);
    FUZZ_CHECK(c.month >= 1 && c.month <= 12 && c.day >= 1 && c.day <= 31 && c.hour >= 0 && c.hour < 24
                   && c.minute >= 0 && c.minute < 60 && c.second >= 0 && c.second < 60
                   && c.dayOfWeek >= 0 && c.dayOfWeek < 7,
               "fields of " + std::to_string(n) + " out of range");
    FUZZ_CHECK(tl::secondsFromCivil(c.year, c.month, c.day, c.hour, c.minute, c.second) == n,
               "calendar of " + std::to_string(n) + " does not come back");
    // A week later is the same weekday; a day later the next one.
    FUZZ_CHECK(tl::civilFromSeconds(n + 86400).dayOfWeek == (c.dayOfWeek + 1) % 7,
               "weekday of " + std::to_string(n));
    // Floating point holds a whole second exactly enough only over the range
    // of post names (1901 to 2038), which is the range the program promises.
    if (!tl::isPostTimeInRange(n))
        return;
    FUZZ_CHECK(tl::DateTimeToSeconds(tl::SecondsToDateTime(n)) == n,
               std::to_string(n) + " -> date-time -> N differs");
    const tl::CivilDateTime d = tl::civilFromDateTime(tl::SecondsToDateTime(n));
    FUZZ_CHECK(d.year == c.year && d.month == c.month && d.day == c.day && d.hour == c.hour
                   && d.minute == c.minute && d.second == c.second,
               "date-time of " + std::to_string(n) + " shows another time");
    // The editor's way: a date plus hours and minutes in floating point.
    const double dt = tl::dateTimeFromCivil(c.year, c.month, c.day, c.hour, c.minute);
    FUZZ_CHECK(tl::DateTimeToSeconds(dt) == n - c.second,
               "minute of " + std::to_string(n) + " saves as another minute");
    const tl::CivilDateTime e = tl::civilFromDateTime(dt);
    FUZZ_CHECK(e.hour == c.hour && e.minute == c.minute && e.second == 0,
               "minute of " + std::to_string(n) + " shows as another minute");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string bytes(reinterpret_cast<const char *>(data), size);

    // Reading rules against a plain statement of them.
    const tl::PostContent post = tl::parsePost(bytes);
    const std::size_t eol = bytes.find_first_of("\r\n");
    const std::string line1 = bytes.substr(0, eol);
    FUZZ_CHECK(post.title == line1.substr(0, tl::kMaxTitleLength), "title of " + shown(bytes) + " is " + shown(post.title));
    std::string rest;
    if (eol != std::string::npos)
        rest = bytes.substr(eol + ((bytes[eol] == '\r' && eol + 1 < size && bytes[eol + 1] == '\n') ? 2 : 1));
    FUZZ_CHECK(post.body == crlfLines(rest), "body of " + shown(bytes) + " is " + shown(post.body));
    FUZZ_CHECK(tl::normalizeLineEnds(bytes) == crlfLines(bytes), "line ends of " + shown(bytes));

    // Write and read again.
    const tl::PostContent again = tl::parsePost(tl::postFileBytes(post.title, post.body));
    FUZZ_CHECK(again.title == post.title && again.body == post.body, "post of " + shown(bytes) + " changes when written");
    static const std::string folder = tl::fuzz::scratchFolder("post");
    tl::writePost(folder + "1049328060.txt", post.title, post.body);
    const tl::PostContent fromFile = tl::readPost(folder + "1049328060.txt");
    FUZZ_CHECK(fromFile.title == post.title && fromFile.body == post.body, "post of " + shown(bytes) + " changes on disk");
    FUZZ_CHECK(tl::fuzz::folderEntries(folder) == std::vector<std::string>{"1049328060.txt"},
               "writing a post left another file beside it");

    // Names.
    std::int64_t n = 0;
    std::memcpy(&n, bytes.data(), std::min<size_t>(size, 8));
    for (std::int64_t value : {n, n >> 32, n >> 24}) {
        const std::string name = tl::postFileName(value);
        try {
            const std::int32_t got = tl::postTimeOfName(name);
            FUZZ_CHECK(tl::isPostTimeInRange(value) && got == value, name + " reads as " + std::to_string(got));
        } catch (const tl::AppError &e) {
            FUZZ_CHECK(!tl::isPostTimeInRange(value)
                           && e.what() == "'" + std::to_string(value) + "' is not a valid integer value",
                       name + " refused with " + e.what());
        }
    }
    const std::string text = tl::postTimeTextOfName(line1);
    std::string withoutTxt = line1;
    if (auto at = withoutTxt.find(".txt"); at != std::string::npos)
        withoutTxt.erase(at, 4);
    FUZZ_CHECK(text == withoutTxt, "time text of " + shown(line1) + " is " + shown(text));
    try {
        const std::int32_t got = tl::postTimeOfName(line1);
        // The text is blanks, an optional sign, digits, blanks.
        std::size_t a = text.find_first_not_of(" \t"), b = text.find_last_not_of(" \t");
        const std::string core = text.substr(a, b - a + 1);
        FUZZ_CHECK(core.find_first_not_of("+-0123456789") == std::string::npos
                       && core.find_first_of("+-", 1) == std::string::npos,
                   shown(line1) + " read as a number");
        errno = 0;
        FUZZ_CHECK(std::strtoll(core.c_str(), nullptr, 10) == got && errno == 0,
                   shown(line1) + " reads as " + std::to_string(got));
    } catch (const tl::AppError &e) {
        // (what() is a C string: it ends at a zero byte of the name.)
        const std::string expected = "'" + text + "' is not a valid integer value";
        FUZZ_CHECK(std::string(e.what()) == expected.c_str(), shown(line1) + " refused with " + e.what());
    }

    // Time conversions over a range far wider than any date the program shows.
    checkCivil(n % (std::int64_t(1) << 40));
    checkCivil(n >> 32);
    if (size >= 16) {
        double dt = 0;
        std::memcpy(&dt, bytes.data() + 8, 8);
        if (std::isfinite(dt) && std::fabs(dt) < 1e7) {
            const std::int64_t s = tl::DateTimeToSeconds(dt);
            // Whole seconds towards zero, a hair below a whole second counting as it.
            const double exact = (dt - tl::kUnixEpochDay) * 86400.0;
            FUZZ_CHECK(std::fabs(static_cast<double>(s) - std::trunc(exact)) <= 1.0,
                       "date-time " + std::to_string(dt) + " gives " + std::to_string(s));
            const tl::CivilDateTime c = tl::civilFromDateTime(dt);
            FUZZ_CHECK(tl::secondsFromCivil(c.year, c.month, c.day, c.hour, c.minute, c.second)
                           == static_cast<std::int64_t>(std::floor(exact))
                           || std::fabs(exact - std::nearbyint(exact)) < 1e-3,
                       "calendar of date-time " + std::to_string(dt));
        }
    }
    return 0;
}
