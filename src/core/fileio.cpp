#include "core/fileio.h"
#include "core/errors.h"

#include <QFileInfo>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tl {

namespace {

FileStamp stampOf(const struct stat &st)
{
    FileStamp s;
    s.device = static_cast<std::uint64_t>(st.st_dev);
    s.inode = static_cast<std::uint64_t>(st.st_ino);
    s.size = static_cast<std::int64_t>(st.st_size);
    s.mtimeNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    s.ctimeNs = static_cast<std::int64_t>(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
    s.regular = S_ISREG(st.st_mode);
    return s;
}

int openRetrying(const char *path, int flags, mode_t mode = 0)
{
    int fd;
    do
        fd = ::open(path, flags | O_CLOEXEC, mode);
    while (fd < 0 && errno == EINTR);
    return fd;
}

// Reads until the end of the file into out, expecting about `expected` bytes.
// False on a read error.
bool readAll(int fd, std::string &out, std::size_t expected)
{
    out.resize(expected + 1); // one more, to see the end of the file in one read
    std::size_t have = 0;
    for (;;) {
        if (have == out.size())
            out.resize(out.size() * 2 + 4096); // the file grew meanwhile
        const ssize_t n = ::read(fd, out.data() + have, out.size() - have);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (n == 0)
            break;
        have += static_cast<std::size_t>(n);
    }
    out.resize(have);
    return true;
}

bool writeAll(int fd, const char *data, std::size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// True when the open file holds exactly `bytes` (its size already checked).
bool sameContent(int fd, const std::string &bytes)
{
    char buffer[16384];
    std::size_t at = 0;
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (n == 0)
            return at == bytes.size();
        const std::size_t got = static_cast<std::size_t>(n);
        if (at + got > bytes.size() || std::memcmp(buffer, bytes.data() + at, got) != 0)
            return false;
        at += got;
    }
}

std::atomic<unsigned> g_tempCounter{0};

// A file that does not exist yet is written into an unnamed file in its
// folder and given its name once complete: one change of the folder instead
// of a named temporary file and a rename, and still never half a file under
// the name. False when the file system has no unnamed files or the name was
// taken meanwhile; the caller then takes the named way.
bool createUnnamed(const std::string &folder, const std::string &path, const std::string &bytes,
                   FileStamp *stamp, const std::string &failure)
{
    const int fd = openRetrying(folder.empty() ? "." : folder.c_str(), O_TMPFILE | O_WRONLY, 0666);
    if (fd < 0)
        return false;
    if (!writeAll(fd, bytes.data(), bytes.size())) {
        ::close(fd); // the unnamed file goes with it
        throw AppError(failure);
    }
    char self[64];
    std::snprintf(self, sizeof self, "/proc/self/fd/%d", fd);
    if (::linkat(AT_FDCWD, self, AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) != 0) {
        ::close(fd);
        return false;
    }
    struct stat st;
    if (stamp)
        *stamp = ::fstat(fd, &st) == 0 ? stampOf(st) : FileStamp{};
    ::close(fd);
    return true;
}

// The whole replacement: a new file beside the target, written and closed,
// then renamed over it. `existing` is the target's status when it is known
// to exist, so that its permissions carry over; `absent` says the target is
// known not to exist.
void replaceWith(const std::string &path, const std::string &bytes, FileStamp *stamp,
                 const struct stat *existing, bool absent)
{
    const std::string failure = msgCannotCreateFile(path);
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name.empty())
        throw AppError(failure);
    if (absent && createUnnamed(folder, path, bytes, stamp, failure))
        return;

    // A hidden name of its own in the same folder, so the rename stays on one
    // file system and a leftover from a crash is not taken for a page.
    std::string temp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = folder + "." + name + ".tl" + std::to_string(::getpid()) + "-"
            + std::to_string(g_tempCounter.fetch_add(1)) + ".tmp";
        fd = openRetrying(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0)
        throw AppError(failure);

    bool ok = writeAll(fd, bytes.data(), bytes.size());
    if (ok && existing) {
        struct stat created;
        const mode_t wanted = existing->st_mode & 07777;
        if (::fstat(fd, &created) == 0 && (created.st_mode & 07777) != wanted)
            ::fchmod(fd, wanted); // best effort, as the old permissions were
    }
    ok = (::close(fd) == 0) && ok;
    if (!ok || ::rename(temp.c_str(), path.c_str()) != 0) {
        ::unlink(temp.c_str());
        throw AppError(failure);
    }
    if (stamp && !statFile(path, *stamp))
        *stamp = FileStamp{};
}

} // namespace

namespace {
enum class ReadFailure { None, Open, NotRegular, TooLarge, Read };

ReadFailure readRegularFile(const std::string &path, std::string &out, FileStamp *stamp)
{
    // Not blocking at open: a pipe without a writer would wait for one.
    const int fd = openRetrying(path.c_str(), O_RDONLY | O_NONBLOCK);
    if (fd < 0)
        return ReadFailure::Open;
    struct stat st;
    ReadFailure failure = ReadFailure::None;
    if (::fstat(fd, &st) != 0)
        failure = ReadFailure::Read;
    else if (!S_ISREG(st.st_mode))
        failure = ReadFailure::NotRegular;
    else if (st.st_size > kMaxWholeFileBytes)
        failure = ReadFailure::TooLarge;
    else if (!readAll(fd, out, static_cast<std::size_t>(st.st_size)))
        failure = ReadFailure::Read;
    else if (static_cast<std::int64_t>(out.size()) > kMaxWholeFileBytes)
        failure = ReadFailure::TooLarge; // it grew while it was read
    else if (stamp)
        *stamp = stampOf(st);
    ::close(fd);
    if (failure != ReadFailure::None)
        out.clear();
    return failure;
}
} // namespace

bool tryReadWholeFile(const std::string &path, std::string &out, FileStamp *stamp)
{
    return readRegularFile(path, out, stamp) == ReadFailure::None;
}

std::string readWholeFile(const std::string &path)
{
    std::string out;
    switch (readRegularFile(path, out, nullptr)) {
    case ReadFailure::None:
        return out;
    case ReadFailure::NotRegular:
        throw AppError(msgCannotOpenFile(path) + ": it is not a regular file");
    case ReadFailure::TooLarge:
        throw AppError(msgCannotOpenFile(path) + ": it is larger than "
                       + std::to_string(kMaxWholeFileBytes / (1024 * 1024)) + " MB");
    default:
        throw AppError(msgCannotOpenFile(path));
    }
}

std::string temporarySibling(const std::string &path, const std::string &suffix)
{
    constexpr std::size_t kNameMax = 255;
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string temp = "." + name + suffix;
    if (temp.size() <= kNameMax)
        return folder + temp;
    // FNV-1a of the whole name tells long names with one beginning apart.
    std::uint64_t hash = 1469598103934665603ull;
    for (unsigned char c : name) {
        hash ^= c;
        hash *= 1099511628211ull;
    }
    char tag[18];
    std::snprintf(tag, sizeof tag, "~%016llx", static_cast<unsigned long long>(hash));
    std::string kept = name.substr(0, kNameMax - 1 - suffix.size() - (sizeof tag - 1));
    // Not half of a UTF-8 character at the cut.
    while (!kept.empty() && (static_cast<unsigned char>(kept.back()) & 0xC0) == 0x80)
        kept.pop_back();
    if (!kept.empty() && (static_cast<unsigned char>(kept.back()) & 0xC0) == 0xC0)
        kept.pop_back();
    return folder + "." + kept + tag + suffix;
}

bool statFile(const std::string &path, FileStamp &stamp)
{
    struct stat st;
    if (::stat(path.c_str(), &st) != 0)
        return false;
    stamp = stampOf(st);
    return true;
}

void writeWholeFileAtomic(const std::string &path, const std::string &bytes,
                          const std::string &failureMessage)
{
    // The temporary name is the same for the file every time: a crash leaves
    // at most one, which the next save of the file takes over.
    const std::string temp = temporarySibling(path, ".tmp");
    struct stat existing;
    const bool exists = ::stat(path.c_str(), &existing) == 0 && S_ISREG(existing.st_mode);
    const int fd = openRetrying(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW,
                                exists ? (existing.st_mode & 07777) : 0666);
    if (fd < 0)
        throw AppError(failureMessage);
    bool ok = writeAll(fd, bytes.data(), bytes.size());
    if (ok && exists)
        ::fchmod(fd, existing.st_mode & 07777); // best effort, as the old permissions were
    ok = ok && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (!ok || ::rename(temp.c_str(), path.c_str()) != 0) {
        ::unlink(temp.c_str());
        throw AppError(failureMessage);
    }
    // The rename itself reaches the disk with its folder.
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string(".") : path.substr(0, slash + 1);
    const int dir = openRetrying(folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}

void writeWholeFileAtomic(const std::string &path, const std::string &bytes)
{
    writeWholeFileAtomic(path, bytes, msgCannotCreateFile(path));
}

void replaceWholeFile(const std::string &path, const std::string &bytes, FileStamp *stamp)
{
    struct stat st;
    const bool found = ::stat(path.c_str(), &st) == 0;
    const bool absent = !found && errno == ENOENT;
    replaceWith(path, bytes, stamp, found && S_ISREG(st.st_mode) ? &st : nullptr, absent);
}

WriteOutcome updateWholeFile(const std::string &path, const std::string &bytes, FileStamp *stamp)
{
    const int fd = openRetrying(path.c_str(), O_RDONLY);
    if (fd < 0) {
        const bool absent = errno == ENOENT;
        replaceWith(path, bytes, stamp, nullptr, absent);
        return WriteOutcome::Rewritten;
    }
    struct stat st;
    const bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    const bool same = regular && static_cast<std::size_t>(st.st_size) == bytes.size()
        && sameContent(fd, bytes);
    ::close(fd);
    if (same) {
        if (stamp)
            *stamp = stampOf(st);
        return WriteOutcome::Unchanged;
    }
    replaceWith(path, bytes, stamp, regular ? &st : nullptr, false);
    return WriteOutcome::Rewritten;
}

OpenFolder::OpenFolder(const std::string &path)
    : fd_(path.empty() ? AT_FDCWD : openRetrying(path.c_str(), O_RDONLY | O_DIRECTORY))
{
}

OpenFolder::~OpenFolder()
{
    if (fd_ >= 0)
        ::close(fd_);
}

bool OpenFolder::stat(const char *name, FileStamp &stamp) const
{
    struct stat st;
    if ((fd_ < 0 && fd_ != AT_FDCWD) || ::fstatat(fd_, name, &st, 0) != 0)
        return false;
    stamp = stampOf(st);
    return true;
}

bool fileExists(const std::string &path)
{
    QFileInfo fi(QString::fromStdString(path));
    return fi.exists() && fi.isFile();
}

bool dirExists(const std::string &path)
{
    QFileInfo fi(QString::fromStdString(path));
    return fi.exists() && fi.isDir();
}

} // namespace tl
