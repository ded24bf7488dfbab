#pragma once
// The post file: one text file per post, named by the post's time value N
// (whole seconds since 1970-01-01 00:00 in local wall-clock time) plus ".txt",
// holding the title line, CR LF and the body. Also the conversions between N
// and the date-time value (days since 1899-12-30, fraction = time of day),
// done with plain calendar arithmetic: no time zone ever touches a name.

#include <cstdint>
#include <string>
#include <string_view>

namespace tl {

// Day number of 1970-01-01 in the date-time count.
constexpr double kUnixEpochDay = 25569.0;
constexpr std::int64_t kSecondsPerDay = 86400;

// The range of N readers accept: a signed 32-bit integer,
// 1901-12-13 20:45:52 to 2038-01-19 03:14:07.
constexpr std::int64_t kMinPostTime = -2147483647LL - 1;
constexpr std::int64_t kMaxPostTime = 2147483647LL;
bool isPostTimeInRange(std::int64_t n);

// Whole seconds from day 25569 to the value, any fraction of a second dropped
// towards zero. A value that stands for a whole number of seconds (a date plus
// hours and minutes, built in floating point) gives exactly that number, never
// one less. The result may lie outside the 32-bit range.
std::int64_t DateTimeToSeconds(double dateTime);
// 25569 + N / 86400.
double SecondsToDateTime(std::int64_t n);

// A calendar date and time of day (proleptic Gregorian, no time zone).
struct CivilDateTime {
    int year = 1970;
    int month = 1;  // 1..12
    int day = 1;    // 1..31
    int hour = 0;   // 0..23
    int minute = 0; // 0..59
    int second = 0; // 0..59
    int dayOfWeek = 4; // 0 Sunday .. 6 Saturday
};

// N -> calendar date and time; exact for every N.
CivilDateTime civilFromSeconds(std::int64_t n);
// Calendar date and time -> N. Fields out of their usual range carry over
// (minute 60 is the next hour), as plain arithmetic does.
std::int64_t secondsFromCivil(int year, int month, int day, int hour = 0, int minute = 0,
                              int second = 0);
// Date-time value -> calendar date and time. The value is first taken to the
// whole second it stands for (a value a hair below a whole second counts as
// that second), so 12:34 built in floating point never shows as 12:33:59.
CivilDateTime civilFromDateTime(double dateTime);
// Calendar date and time -> date-time value.
double dateTimeFromCivil(int year, int month, int day, int hour = 0, int minute = 0,
                         int second = 0);

// Texts the program shows and writes for a date-time (seconds never shown):
// "3. 4. 2003" (day and month without leading zeros).
std::string dateText(const CivilDateTime &c);
// "09:05": hour and minute, two digits each.
std::string timeText(const CivilDateTime &c);
// "2003-04": the month key of the post tree and the archive.
std::string monthKey(const CivilDateTime &c);
// "2003-04-03": an ISO date, for the editor's date field.
std::string isoDateText(const CivilDateTime &c);

// "1049328060.txt".
std::string postFileName(std::int64_t n);
// The name with its first ".txt" (exact case) removed: the text that holds
// the time value.
std::string postTimeTextOfName(const std::string &fileName);
// The time value of a post file name: that text read as a signed 32-bit
// decimal integer. Throws AppError("'%s' is not a valid integer value") with
// the text that failed.
std::int32_t postTimeOfName(const std::string &fileName);

// A post as the readers see it: the title line and the body, whose line ends
// are CR LF.
struct PostContent {
    std::string title;
    std::string body;
};

// Longest title a reader takes (the first characters of line 1).
constexpr std::size_t kMaxTitleLength = 4096;

// The reading rules applied to a file's bytes: CR LF, lone CR and lone LF each
// end a line; the title is line 1 cut to 4096 characters; the body is
// everything after the first line end with its line ends written as CR LF; a
// text without any line end has an empty body.
PostContent parsePost(std::string_view bytes);
// Reads a post file by those rules. Throws AppError("Cannot open file %s").
PostContent readPost(const std::string &path);

// The file's bytes: title + CR LF + body.
std::string postFileBytes(const std::string &title, const std::string &body);
// Writes the post whole through a temporary file renamed over the target, so
// an existing post is never left half written. Throws AppError
// ("Cannot create file %s") when it cannot be written.
void writePost(const std::string &path, const std::string &title, const std::string &body);

// Every CR LF, lone CR and lone LF made CR LF (as the reading rules count them).
std::string normalizeLineEnds(std::string_view text);
// The same, appended to out piece by piece: normalising the pieces one after
// another gives what normalising them joined would. afterCr carries from one
// piece to the next (false before the first piece): it says the last piece
// ended in a CR, so an LF opening the next one belongs to that line end.
void appendNormalizedLineEnds(std::string &out, std::string_view text, bool &afterCr);

} // namespace tl
