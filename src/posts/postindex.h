#pragma once
// The titles and texts of the posts of a data folder, for the post tree and
// its find box. Nothing is read until it is asked for: a title when its month
// is opened in the tree, every post at the first find. Texts are kept folded
// (letter case and accents removed) in one buffer, so one pass over it
// answers a find.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tl {

// Windows-1250 text folded for finding: every letter lowered and, when it
// carries an accent, taken to its base letter ("Č" and "č" become "c", "Ł"
// becomes "l"). Every byte gives one byte, so positions stay as they were;
// bytes that are no letters stay as they are.
std::string foldForSearch(const std::string &cp1250);

class PostIndex {
public:
    // Starts over for the posts of a data folder: slot i is names[i] (post
    // file names). Nothing is read yet.
    void reset(const std::string &dataFolder, std::vector<std::string> names);

    std::size_t size() const { return slots_.size(); }
    const std::string &name(std::size_t slot) const { return slots_[slot].name; }

    // The post's title (bytes), read from its file on first use. A file that
    // cannot be read gives an empty title and text (the tree still lists it).
    const std::string &title(std::size_t slot);
    // Reads every post not read yet.
    void readAll();
    // The post's file changed: it is read again at the next use.
    void forget(std::size_t slot);

    // One flag per slot: the post's title or text contains the query once
    // both are folded (see foldForSearch). Reads every post not read yet. An
    // empty query matches every post.
    std::vector<char> find(const std::string &query);

    // Bytes held for finding (folded texts, including those of posts read
    // again), for the benchmark's memory figure.
    std::size_t heldBytes() const { return folded_.size(); }

private:
    struct Slot {
        std::string name;
        std::string title;
        std::size_t offset = 0; // folded title, "\n", folded body in folded_
        std::size_t length = 0;
        bool read = false;
    };
    // A range of folded_ and the slot it belongs to; ranges of forgotten
    // posts point nowhere.
    struct Range {
        std::size_t offset;
        std::size_t slot;
    };
    static constexpr std::size_t kNoSlot = static_cast<std::size_t>(-1);

    void readSlot(std::size_t slot);

    std::string folder_;
    std::vector<Slot> slots_;
    std::string folded_;        // "\0" between posts, so no match spans two
    std::vector<Range> ranges_; // ascending offsets
    // The last find, which a longer query typed on from it narrows.
    std::string lastQuery_;
    std::vector<char> lastFound_;
};

} // namespace tl
