#include "posts/postindex.h"

#include "core/cp1250.h"
#include "core/errors.h"
#include "core/fileio.h"
#include "posts/postfile.h"
#include "posts/poststore.h"

#include <QChar>
#include <QString>

#include <string.h> // memmem

#include <algorithm>
#include <array>
#include <cstring>
#include <functional>

namespace tl {

namespace {

// The folding of every windows-1250 byte, built once from the code page and
// Unicode's decompositions.
struct FoldTable {
    std::array<char, 256> to{};
    FoldTable()
    {
        for (int b = 0; b < 256; ++b) {
            to[static_cast<std::size_t>(b)] = static_cast<char>(b);
            const QChar c(static_cast<char16_t>(cp1250ToUnicode(static_cast<unsigned char>(b))));
            if (!c.isLetter())
                continue;
            QChar lower = c.toLower();
            // A letter with an accent decomposes into its base letter and
            // the accent; the stroked letters have no decomposition.
            const QString parts = lower.decomposition();
            if (!parts.isEmpty() && lower.decompositionTag() == QChar::Canonical)
                lower = parts.at(0);
            else if (lower == QChar(0x0142)) // l with stroke
                lower = QLatin1Char('l');
            else if (lower == QChar(0x0111)) // d with stroke
                lower = QLatin1Char('d');
            const int folded = unicodeToCp1250(lower.unicode());
            if (folded >= 0)
                to[static_cast<std::size_t>(b)] = static_cast<char>(folded);
        }
    }
};

const FoldTable &foldTable()
{
    static const FoldTable t;
    return t;
}

void appendFolded(std::string &out, const std::string &text)
{
    const FoldTable &t = foldTable();
    const std::size_t at = out.size();
    out.resize(at + text.size());
    char *dst = out.data() + at;
    for (std::size_t i = 0; i < text.size(); ++i)
        dst[i] = t.to[static_cast<unsigned char>(text[i])];
}

// The first occurrence of the needle in [from, end), or nullptr. The C
// library's memmem is several times faster than a generic search here.
const char *findIn(const char *from, const char *end, const std::string &needle)
{
#if defined(__GLIBC__) || defined(__APPLE__) || defined(__FreeBSD__)
    return static_cast<const char *>(
        memmem(from, static_cast<std::size_t>(end - from), needle.data(), needle.size()));
#else
    const char *hit = std::search(from, end, needle.begin(), needle.end());
    return hit == end ? nullptr : hit;
#endif
}

} // namespace

std::string foldForSearch(const std::string &cp1250)
{
    std::string out;
    appendFolded(out, cp1250);
    return out;
}

void PostIndex::reset(const std::string &dataFolder, std::vector<std::string> names)
{
    folder_ = dataFolder;
    slots_.clear();
    slots_.resize(names.size());
    for (std::size_t i = 0; i < names.size(); ++i)
        slots_[i].name = std::move(names[i]);
    folded_.clear();
    folded_.shrink_to_fit();
    ranges_.clear();
    ranges_.shrink_to_fit();
    lastQuery_.clear();
    lastFound_.clear();
}

void PostIndex::readSlot(std::size_t slot)
{
    Slot &s = slots_[slot];
    PostContent post;
    try {
        post = readPost(joinPath(folder_, s.name));
    } catch (const AppError &) {
        // Listed but unreadable (removed meanwhile, no permission): the post
        // keeps its place in the tree with no title, and no find shows it.
    }
    s.title = std::move(post.title);
    s.offset = folded_.size();
    appendFolded(folded_, s.title);
    folded_ += '\n';
    appendFolded(folded_, post.body);
    s.length = folded_.size() - s.offset;
    folded_ += '\0';
    ranges_.push_back({s.offset, slot});
    s.read = true;
    lastQuery_.clear();
}

const std::string &PostIndex::title(std::size_t slot)
{
    if (!slots_[slot].read)
        readSlot(slot);
    return slots_[slot].title;
}

void PostIndex::readAll()
{
    for (std::size_t i = 0; i < slots_.size(); ++i)
        if (!slots_[i].read)
            readSlot(i);
}

void PostIndex::forget(std::size_t slot)
{
    Slot &s = slots_[slot];
    if (!s.read)
        return;
    const auto it = std::lower_bound(ranges_.begin(), ranges_.end(), s.offset,
                                     [](const Range &r, std::size_t off) { return r.offset < off; });
    if (it != ranges_.end() && it->offset == s.offset)
        it->slot = kNoSlot;
    s.read = false;
    s.title.clear();
    lastQuery_.clear();
}

std::vector<char> PostIndex::find(const std::string &query)
{
    std::vector<char> found(slots_.size(), query.empty() ? 1 : 0);
    if (query.empty() || query.find('\0') != std::string::npos
        || query.find('\n') != std::string::npos)
        return found;
    readAll();

    const char *const begin = folded_.data();
    const char *const end = begin + folded_.size();
    if (!lastQuery_.empty() && query.find(lastQuery_) != std::string::npos
        && lastFound_.size() == slots_.size()) {
        // Typing on: a query that holds the last one can only match where
        // the last one did, so only those posts are looked at.
        for (std::size_t i = 0; i < slots_.size(); ++i) {
            const Slot &s = slots_[i];
            if (lastFound_[i] && s.read && s.length >= query.size())
                found[i] = findIn(begin + s.offset, begin + s.offset + s.length, query) ? 1 : 0;
        }
    } else {
        // One pass over every folded text; after a hit the search goes on
        // with the next post, since one hit is enough for a post.
        const char *from = begin;
        while (from < end) {
            const char *hit = findIn(from, end, query);
            if (!hit)
                break;
            const std::size_t at = static_cast<std::size_t>(hit - begin);
            auto r = std::upper_bound(ranges_.begin(), ranges_.end(), at,
                                      [](std::size_t off, const Range &x) { return off < x.offset; });
            --r;
            if (r->slot != kNoSlot)
                found[r->slot] = 1;
            const auto next = r + 1;
            from = next == ranges_.end() ? end : begin + next->offset;
        }
    }
    lastQuery_ = query;
    lastFound_ = found;
    return found;
}

} // namespace tl
