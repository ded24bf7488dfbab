#pragma once
// The post store of a data folder: the folder listing, the post list (the
// names padded and sorted the way generation takes them), the month list and
// the order in which the post tree is walked; and saving a post under the
// name of its date and time. Plain logic without windows; names and contents
// are bytes.

#include <cstdint>
#include <string>
#include <vector>

namespace tl {

// ---- listing ----

// The names (without folder) of the regular files in `folder` whose name
// ends in ".txt" in any letter case, leaving out hidden files (names starting
// with "."), system entries (devices, pipes, sockets, broken links) and
// folders. Order unspecified. Throws AppError when the folder cannot be
// entered.
std::vector<std::string> listPostFolder(const std::string &folder);

// The message for a data folder that cannot be entered.
std::string msgCannotOpenFolder(const std::string &folder);

// ---- post list ----

// Width the post list pads names to.
constexpr std::size_t kPostListWidth = 20;

// The name padded on the left with "_" to 20 characters; longer names stay.
std::string padPostName(const std::string &name);
// The entry with every "_" removed (a post list entry back to its name).
std::string unpadPostName(const std::string &entry);

// The order of the post list: letter case ignored, "_" below every digit (and
// below every other character). For padded post names this is ascending
// numeric order of the non-negative times.
bool postListLess(const std::string &a, const std::string &b);
// Equal under that order (a duplicate, which the list keeps once).
bool postListEqual(const std::string &a, const std::string &b);

// The post list of a listing: every name padded, sorted once, duplicates
// (under the order) kept once, the first of them in listing order.
std::vector<std::string> makePostList(const std::vector<std::string> &listing);

// ---- walking order of the tree ----

// True for a tree node's text that names a post: it contains ".txt" (exact
// case). Every other node is a month node.
bool isPostNodeText(const std::string &text);

struct MonthGroup {
    std::string key;                // "YYYY-MM"
    std::vector<std::string> posts; // post file names, newest first
    bool operator==(const MonthGroup &) const = default;
};

struct PostTreeWalk {
    std::vector<MonthGroup> months; // newest month first
    // Empty when every entry was a post; otherwise the message of the entry
    // that stopped the walk ("'%s' is not a valid integer value"), and
    // `months` holds what came before it.
    std::string failure;
};

// Walks the post list from its last entry to its first, grouping adjacent
// entries of one month: month groups newest first, each month's posts
// newest first. Stops at the first entry that is not a post name.
PostTreeWalk walkPostList(const std::vector<std::string> &postList);

// The month list: the month keys in tree order.
std::vector<std::string> monthList(const PostTreeWalk &walk);

// The tree's node texts in display order: each month key followed by its
// post file names, newest first.
std::vector<std::string> treeOrder(const PostTreeWalk &walk);

// ---- reading a data folder ----

// What Read builds from a data folder.
struct PostFolder {
    std::size_t fileCount = 0;         // the names listed
    std::vector<std::string> postList; // padded, sorted, duplicates once
    PostTreeWalk walk;                 // stopped at a name that is no post
};

// Lists the data folder and builds the post list and the tree walk. Throws
// AppError when the folder cannot be entered; a name that is not a post is
// left in walk.failure for the caller to report once it has shown the rest.
PostFolder readPostFolder(const std::string &dataFolder);

// ---- saving ----

// Parses the editor's time text: hour of one or two digits (0-23), ":",
// minutes of two digits (0-59), blanks around the hour allowed. Throws
// AppError("'%s' is not a valid time") with the text as given.
void parseTimeText(const std::string &text, int &hour, int &minute);

// Joins a folder text and a name with "/" (no second "/" when the folder
// already ends in one).
std::string joinPath(const std::string &folder, const std::string &name);

struct SaveRequest {
    std::string dataFolder;
    bool newPost = false;
    std::string openPostName; // the file name the post was opened from (edit)
    std::string title;        // bytes as written
    std::string body;         // bytes as written (line ends CR LF)
    double dateTime = 0;      // the date and time the post is saved under
};

struct SaveResult {
    std::string name;         // the name written
    std::string path;         // the path written
    std::int64_t time = 0;    // its time value N
    bool reRead = false;      // the folder changed: a new name or a moved post
};

// Saves a post under the name of its date and time. Refuses (throws AppError,
// nothing written) a date outside the 32-bit range of N and a name already
// held by another post. A moved post is written under its new name first;
// its old file is removed only once the new one is safely written (a failure
// to remove it is ignored). A post edited in place whose file has gone is
// written again and asks for a re-read, so the tree shows it.
SaveResult savePost(const SaveRequest &request);

// Removes a post file the way the desktop removes files: into its trash, from
// where the writer can bring it back. Only where there is no trash (the
// system offers none, or none for the file's disk) is the file deleted.
// False when the file is still there.
bool trashPostFile(const std::string &path);

// Messages of the refusals.
std::string msgPostDateOutOfRange(double dateTime);
std::string msgPostNameTaken(std::int64_t time);

} // namespace tl
