#pragma once
// Finding the words to spell-check in the editor's text, one line at a time,
// as a syntax highlighter sees it. Markup is no prose: tags with their
// attribute values, comments, the content of <script> and <style>, character
// references, URLs and e-mail addresses are skipped, and in Markdown also code
// (inline `code` and fenced blocks) and link destinations. Words holding
// digits, dotted names ("index.html") and words in capitals (acronyms) are
// not checked either.
#include <QStringView>

#include <vector>

namespace tl::spell {

enum class Markup { Html, Markdown };

// A stretch of a line, in UTF-16 code units.
struct TextRange {
    int start = 0;
    int length = 0;
    bool operator==(const TextRange &) const = default;
};

struct ScannedLine {
    std::vector<TextRange> words; // to check, in order
    // Markdown code: inline code spans (backticks included) and, for a line of
    // a fenced block (fence lines included), the whole line.
    std::vector<TextRange> code;
    bool fencedCode = false; // the whole line belongs to a fenced code block
};

// Scans one line. `state` is what the line before returned (-1 for the
// first line); the result, never negative, goes to the next line, so that
// tags, comments, script content and fenced code carry over line ends.
int scanLine(QStringView line, int state, Markup markup, ScannedLine &out);

} // namespace tl::spell
