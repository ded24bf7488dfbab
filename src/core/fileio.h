#pragma once
#include <cstdint>
#include <string>

namespace tl {

// What the file system shows of a file's current content: the device and
// inode, the size, and the times of the last change of the content (mtime)
// and of the file itself (ctime, which no program can set back). Two stamps
// that differ mean the file was written, replaced or touched in between.
struct FileStamp {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t size = -1;
    std::int64_t mtimeNs = 0;
    std::int64_t ctimeNs = 0;
    bool regular = false; // a regular file (not a folder, device or pipe)
    bool operator==(const FileStamp &) const = default;
};

// The largest file a whole-file read takes: every file the program reads
// whole (posts, templates, settings, projects, send records) is far smaller,
// and a path set by mistake to a huge file must not fill the memory.
inline constexpr std::int64_t kMaxWholeFileBytes = 64 * 1024 * 1024;

// Reads a whole file as bytes. Only a regular file is read (never a device,
// a pipe or a folder, which could block or never end), and only up to
// kMaxWholeFileBytes. Throws AppError("Cannot open file %s"), with the reason
// after it for a file that is no regular file or too large.
std::string readWholeFile(const std::string &path);
// Returns false instead of throwing. With `stamp`, also gives the stamp of the
// file that was read (taken from the open file, so it belongs to those bytes).
bool tryReadWholeFile(const std::string &path, std::string &out, FileStamp *stamp = nullptr);

// The name of a file's temporary twin in the same folder: "." + name +
// suffix, hidden from listings, the same for the same file every time (a
// crash leaves at most one, which the next write replaces), shortened with a
// hash of the name where it would exceed the file-name limit of 255 bytes.
std::string temporarySibling(const std::string &path, const std::string &suffix);
// The stamp of the file a path names (links followed); false when there is none.
bool statFile(const std::string &path, FileStamp &stamp);

// Writes a whole file through a temporary file in the same folder
// (temporarySibling(path, ".tmp")) that is renamed over the target, so a
// crash or a full disk never leaves half a file.
// The file is forced to disk before the rename: for the files that are the
// user's only copy (posts, settings, projects).
// Throws AppError with the given message (default "Cannot create file %s")
// when the file cannot be written; the old file then stays as it was.
void writeWholeFileAtomic(const std::string &path, const std::string &bytes);
void writeWholeFileAtomic(const std::string &path, const std::string &bytes,
                          const std::string &failureMessage);

// The same whole-file replacement (temporary file in the same folder renamed
// over the target, an existing file's permissions kept), but without forcing
// the file to disk: for files that can always be made again, such as
// generated pages, where a flush per file costs more than making them. A
// file that does not exist yet is written into an unnamed temporary file in
// the same folder that gets the name once complete, where the file system
// allows it (one change of the folder instead of two).
// Throws AppError("Cannot create file %s"); the old file then stays as it was.
// With `stamp`, gives the stamp of the file written.
void replaceWholeFile(const std::string &path, const std::string &bytes,
                      FileStamp *stamp = nullptr);

enum class WriteOutcome {
    Rewritten, // the file was missing or held other bytes, and was replaced
    Unchanged, // the file already held exactly these bytes and was left alone
};

// Replaces the file (as replaceWholeFile) only when its bytes differ from
// `bytes`; a file that already holds them keeps its bytes and its times.
// With `stamp`, gives the stamp of the file as it is afterwards.
WriteOutcome updateWholeFile(const std::string &path, const std::string &bytes,
                             FileStamp *stamp = nullptr);

// A folder held open, so that the stamps of many files in it are taken
// without walking the folder's path for each.
class OpenFolder {
public:
    // path "" stands for the current folder. A folder that cannot be opened
    // gives stamps of nothing.
    explicit OpenFolder(const std::string &path);
    ~OpenFolder();
    OpenFolder(const OpenFolder &) = delete;
    OpenFolder &operator=(const OpenFolder &) = delete;
    // The stamp of the file `name` names in the folder (links followed);
    // false when there is none.
    bool stat(const char *name, FileStamp &stamp) const;

private:
    int fd_;
};

bool fileExists(const std::string &path);
bool dirExists(const std::string &path);

} // namespace tl
