#include "posts/postindex.h"

#include "app/core/cp1250.h"
#include "app/core/errors.h"
#include "app/core/fileio.h"
#include "posts/postfile.h"
#include "posts/poststore.h"

#include <QChar>
#include <QString>

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
}

void PostIndex::readSlot(std::size_t slot)
{
    Slot &s = slots_[slot];
    PostContent post;
    try {
        post = parsePost(readWholeFile(joinPath(folder_, s.name)));
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
    const std::boyer_moore_horspool_searcher searcher(query.begin(), query.end());
    const char *from = begin;
    while (from < end) {
        const char *hit = std::search(from, end, searcher);
        if (hit == end)
            break;
        const std::size_t at = static_cast<std::size_t>(hit - begin);
        // The post the hit lies in; the search goes on after it, since one
        // hit is enough for a post.
        auto r = std::upper_bound(ranges_.begin(), ranges_.end(), at,
                                  [](std::size_t off, const Range &x) { return off < x.offset; });
        --r;
        if (r->slot != kNoSlot)
            found[r->slot] = 1;
        const auto next = r + 1;
        from = next == ranges_.end() ? end : begin + next->offset;
    }
    return found;
}

} // namespace tl
