#include "posts/poststore.h"

#include "core/errors.h"
#include "core/fileio.h"
#include "core/programfiles.h"
#include "core/trash.h"
#include "posts/postfile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <cmath>
#include <cstdio>

namespace tl {

// ---------------------------------------------------------------------------
// Listing

std::string msgCannotOpenFolder(const std::string &folder)
{
    if (folder.empty())
        return "The data folder is not set.";
    return "Cannot open folder " + folder;
}

namespace {
bool endsWithTxtAnyCase(const char *name, std::size_t length)
{
    if (length < 4)
        return false;
    const char *e = name + length - 4;
    return e[0] == '.' && (e[1] | 0x20) == 't' && (e[2] | 0x20) == 'x' && (e[3] | 0x20) == 't';
}
} // namespace

std::vector<std::string> listPostFolder(const std::string &folder)
{
    // An empty folder text would list whatever folder happens to be current.
    if (folder.empty())
        throw AppError(msgCannotOpenFolder(folder));
    struct stat st;
    if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)
        || ::access(folder.c_str(), R_OK | X_OK) != 0)
        throw AppError(msgCannotOpenFolder(folder));
    DIR *dir = ::opendir(folder.c_str());
    if (!dir)
        throw AppError(msgCannotOpenFolder(folder));

    // Regular files only, links to files counting as the files they point
    // to; hidden names (a leading "."), folders, devices, pipes, sockets and
    // broken links stay out. The entry's type spares a file status for all
    // but links (and entries of file systems that do not give the type).
    std::vector<std::string> names;
    while (const dirent *e = ::readdir(dir)) {
        const char *name = e->d_name;
        if (name[0] == '.')
            continue;
        const std::size_t length = std::strlen(name);
        if (!endsWithTxtAnyCase(name, length))
            continue;
        bool regular = e->d_type == DT_REG;
        if (e->d_type == DT_LNK || e->d_type == DT_UNKNOWN)
            regular = ::fstatat(::dirfd(dir), name, &st, 0) == 0 && S_ISREG(st.st_mode);
        if (regular)
            names.emplace_back(name, length);
    }
    ::closedir(dir);
    return names;
}

// ---------------------------------------------------------------------------
// Post list

std::string padPostName(const std::string &name)
{
    if (name.size() >= kPostListWidth)
        return name;
    return std::string(kPostListWidth - name.size(), '_') + name;
}

std::string unpadPostName(const std::string &entry)
{
    // No reserve: a post name fits the string's own small buffer.
    std::string out;
    for (char c : entry)
        if (c != '_')
            out += c;
    return out;
}

namespace {
// "_" ranks lowest; ASCII letters compare without case; every other byte by
// its value.
inline int rankOf(unsigned char c)
{
    if (c == '_')
        return 0;
    if (c >= 'A' && c <= 'Z')
        c = static_cast<unsigned char>(c + ('a' - 'A'));
    return c + 1;
}

int postListCompare(const std::string &a, const std::string &b)
{
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const int ra = rankOf(static_cast<unsigned char>(a[i]));
        const int rb = rankOf(static_cast<unsigned char>(b[i]));
        if (ra != rb)
            return ra < rb ? -1 : 1;
    }
    if (a.size() == b.size())
        return 0;
    return a.size() < b.size() ? -1 : 1;
}
} // namespace

bool postListLess(const std::string &a, const std::string &b) { return postListCompare(a, b) < 0; }
bool postListEqual(const std::string &a, const std::string &b) { return postListCompare(a, b) == 0; }

namespace {
// The sort key of a name of at most kKeyWidth bytes without a NUL byte (every
// file name): letters lowered, "_" made 1, every other byte below "_" moved
// up by one, the rest kept, and the key padded with 0. Comparing two keys
// byte by byte (memcmp) then gives postListLess's order.
constexpr std::size_t kKeyWidth = 32;
struct KeyedName {
    std::array<unsigned char, kKeyWidth> key;
    std::uint32_t index;
};

bool makeKey(const std::string &name, std::array<unsigned char, kKeyWidth> &key)
{
    if (name.size() > kKeyWidth)
        return false;
    key.fill(0);
    for (std::size_t i = 0; i < name.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(name[i]);
        if (c == 0)
            return false;
        if (c >= 'A' && c <= 'Z')
            c = static_cast<unsigned char>(c + ('a' - 'A'));
        if (c == '_')
            c = 1;
        else if (c < '_')
            c = static_cast<unsigned char>(c + 1);
        key[i] = c;
    }
    return true;
}
} // namespace

namespace {
// Post names as the editor writes them, "digits.txt" with 1 to 16 digits,
// fit the list's width. Padded with "_", which ranks below the digits, they
// order by their count of digits first and then by their digits, which one
// number holds: count * 10^16 + value.
constexpr std::uint64_t kDigitWeight = 10000000000000000ULL; // 10^16

bool plainNameKey(const std::string &name, std::uint64_t &key)
{
    const std::size_t size = name.size();
    if (size < 5 || size > kPostListWidth || name.compare(size - 4, 4, ".txt") != 0)
        return false;
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < size - 4; ++i) {
        const char c = name[i];
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    key = (size - 4) * kDigitWeight + value;
    return true;
}

// The post list of a listing of plain names only, or false. Equal keys are
// equal names. The padded names are made in list order, so that walking the
// list later reads memory in order.
bool plainPostList(const std::vector<std::string> &listing, std::vector<std::string> &list)
{
    std::vector<std::pair<std::uint64_t, std::uint32_t>> keyed(listing.size());
    for (std::size_t i = 0; i < listing.size(); ++i) {
        if (!plainNameKey(listing[i], keyed[i].first))
            return false;
        keyed[i].second = static_cast<std::uint32_t>(i);
    }
    std::sort(keyed.begin(), keyed.end());
    list.clear();
    list.reserve(keyed.size());
    for (std::size_t i = 0; i < keyed.size(); ++i)
        if (i == 0 || keyed[i].first != keyed[i - 1].first)
            list.push_back(padPostName(listing[keyed[i].second]));
    return true;
}
} // namespace

std::vector<std::string> makePostList(const std::vector<std::string> &listing)
{
    std::vector<std::string> plain;
    if (plainPostList(listing, plain))
        return plain;

    std::vector<std::string> padded;
    padded.reserve(listing.size());
    for (const std::string &name : listing)
        padded.push_back(padPostName(name));

    // Sorted once. The keys sit side by side in one array, so sorting many
    // thousands of names touches memory in order rather than chasing one
    // heap block per name.
    std::vector<KeyedName> keyed(padded.size());
    bool keyable = true;
    for (std::size_t i = 0; i < padded.size() && keyable; ++i) {
        keyable = makeKey(padded[i], keyed[i].key);
        keyed[i].index = static_cast<std::uint32_t>(i);
    }
    if (!keyable) {
        // A name too long for a key: compare the names themselves.
        std::stable_sort(padded.begin(), padded.end(), postListLess);
        padded.erase(std::unique(padded.begin(), padded.end(), postListEqual), padded.end());
        return padded;
    }
    // Stable, so of equal names the first listed comes first and stays.
    std::stable_sort(keyed.begin(), keyed.end(), [](const KeyedName &a, const KeyedName &b) {
        return std::memcmp(a.key.data(), b.key.data(), kKeyWidth) < 0;
    });
    std::vector<std::string> list;
    list.reserve(keyed.size());
    for (std::size_t i = 0; i < keyed.size(); ++i) {
        if (i > 0 && std::memcmp(keyed[i].key.data(), keyed[i - 1].key.data(), kKeyWidth) == 0)
            continue;
        list.push_back(std::move(padded[keyed[i].index]));
    }
    return list;
}

// ---------------------------------------------------------------------------
// Walking order

bool isPostNodeText(const std::string &text) { return text.find(".txt") != std::string::npos; }

namespace {
// The time value of the usual entry, "_" padding, 1 to 10 digits and ".txt",
// read straight from it; false for any other entry (and for a value beyond
// the 32-bit range), which then goes the general way.
bool plainPostTime(const std::string &entry, int &n)
{
    std::size_t i = 0;
    const std::size_t size = entry.size();
    while (i < size && entry[i] == '_')
        ++i;
    if (size < i + 5 || size - i - 4 > 10 || entry.compare(size - 4, 4, ".txt") != 0)
        return false;
    std::int64_t value = 0;
    for (; i < size - 4; ++i) {
        const char c = entry[i];
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + (c - '0');
    }
    if (value > 2147483647)
        return false;
    n = static_cast<int>(value);
    return true;
}
} // namespace

PostTreeWalk walkPostList(const std::vector<std::string> &postList)
{
    PostTreeWalk walk;
    int prevYear = 0, prevMonth = 0;
    for (auto it = postList.rbegin(); it != postList.rend(); ++it) {
        // The first ".txt", then every "_", removed leaves the time value.
        int n = 0;
        if (!plainPostTime(*it, n)) {
            const std::string text = unpadPostName(postTimeTextOfName(*it));
            if (!tryStrToInt(text, n)) {
                walk.failure = msgNotValidInteger(text);
                return walk;
            }
        }
        const CivilDateTime c = civilFromSeconds(n);
        if (c.year != prevYear || c.month != prevMonth || walk.months.empty()) {
            walk.months.push_back(MonthGroup{monthKey(c), {}});
            prevYear = c.year;
            prevMonth = c.month;
        }
        walk.months.back().posts.push_back(unpadPostName(*it));
    }
    return walk;
}

std::vector<std::string> treeOrder(const PostTreeWalk &walk)
{
    std::vector<std::string> out;
    for (const MonthGroup &g : walk.months) {
        out.push_back(g.key);
        out.insert(out.end(), g.posts.begin(), g.posts.end());
    }
    return out;
}

PostFolder readPostFolder(const std::string &dataFolder)
{
    PostFolder f;
    const std::vector<std::string> listing = listPostFolder(dataFolder);
    f.fileCount = listing.size();
    f.postList = makePostList(listing);
    f.walk = walkPostList(f.postList);
    return f;
}

std::vector<std::string> monthList(const PostTreeWalk &walk)
{
    std::vector<std::string> keys;
    keys.reserve(walk.months.size());
    for (const MonthGroup &g : walk.months)
        keys.push_back(g.key);
    return keys;
}

// ---------------------------------------------------------------------------
// Saving

void parseTimeText(const std::string &text, int &hour, int &minute)
{
    auto fail = [&] { throw AppError(msgNotValidTime(text)); };
    std::size_t i = 0, n = text.size();
    while (i < n && text[i] == ' ')
        ++i;
    while (n > i && text[n - 1] == ' ')
        --n;
    const std::string t = text.substr(i, n - i);
    const std::size_t colon = t.find(':');
    if (colon == std::string::npos || colon == 0 || colon > 2 || t.size() != colon + 3)
        fail();
    auto digit = [&](char c) {
        if (c < '0' || c > '9')
            fail();
        return c - '0';
    };
    int h = 0;
    for (std::size_t k = 0; k < colon; ++k)
        h = h * 10 + digit(t[k]);
    const int m = digit(t[colon + 1]) * 10 + digit(t[colon + 2]);
    if (h > 23 || m > 59)
        fail();
    hour = h;
    minute = m;
}

std::string joinPath(const std::string &folder, const std::string &name)
{
    // An empty folder text still gives "/" + name, never a name in whatever
    // folder is current.
    return (folder.empty() ? std::string("/") : WithTrailingSeparator(folder)) + name;
}

namespace {
std::string dateTimeText(const CivilDateTime &c)
{
    std::string s = isoDateText(c) + " " + timeText(c);
    if (c.second != 0) {
        char buf[8];
        std::snprintf(buf, sizeof buf, ":%02d", c.second);
        s += buf;
    }
    return s;
}

// Beyond this many days from 1970 no date-time can name a post; values this
// far out are refused before any conversion to an integer.
constexpr double kFarDays = 30000.0;
} // namespace

std::string msgPostDateOutOfRange(double dateTime)
{
    std::string when;
    if (std::isfinite(dateTime) && std::fabs(dateTime - kUnixEpochDay) < 4.0e6)
        when = " " + dateTimeText(civilFromDateTime(dateTime));
    return "The post was not saved: its date" + when
        + " lies outside the dates a post can carry (1901-12-13 20:45:52 to 2038-01-19 03:14:07).";
}

std::string msgPostNameTaken(std::int64_t time)
{
    return "The post was not saved: another post is already dated "
        + dateTimeText(civilFromSeconds(time)) + ". Choose another date or time.";
}

SaveResult savePost(const SaveRequest &r)
{
    if (!std::isfinite(r.dateTime) || std::fabs(r.dateTime - kUnixEpochDay) > kFarDays)
        throw AppError(msgPostDateOutOfRange(r.dateTime));
    const std::int64_t n = DateTimeToSeconds(r.dateTime);
    if (!isPostTimeInRange(n))
        throw AppError(msgPostDateOutOfRange(r.dateTime));

    SaveResult res;
    res.time = n;
    res.name = postFileName(n);
    res.path = joinPath(r.dataFolder, res.name);

    if (!r.newPost && r.openPostName == res.name) {
        // Written over in place. Should its file have gone meanwhile, the
        // tree no longer lists it: re-read after writing it again.
        res.reRead = !fileExists(res.path);
        writePost(res.path, r.title, r.body);
        return res;
    }

    // A new name: never over another post.
    if (fileExists(res.path))
        throw AppError(msgPostNameTaken(n));
    writePost(res.path, r.title, r.body);
    res.reRead = true;
    if (!r.newPost) {
        // The new file is safely written; only now the old one goes. A file
        // that cannot be removed stays (and shows up at the next Read).
        const std::string oldPath = joinPath(r.dataFolder, r.openPostName);
        std::remove(oldPath.c_str());
    }
    return res;
}

// ---------------------------------------------------------------------------
// Removing

bool trashPostFile(const std::string &path) { return moveToTrash(pathText(path)); }

} // namespace tl
