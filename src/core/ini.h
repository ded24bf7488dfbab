#pragma once
// The program's own INI reader and writer with private-profile semantics:
//  - section lines "[name]" and key lines "key=value"; section and key names
//    match without regard to (ASCII) letter case;
//  - a read value is the text after the first "=", with leading and trailing
//    spaces removed (only spaces: a tab or a carriage return there is part of
//    the value) and one enclosing pair of double or single quotes stripped,
//    cut to 2047 bytes; a missing file, section or key gives the caller's
//    default;
//  - a write replaces the value where the key stands, or appends the key at
//    the end of its section, or appends the section at the end of the file;
//  - erasing a section removes its header line and everything under it;
//  - the file is read for every operation and written whole at the end of
//    it; nothing is kept between operations.
// Everything is bytes: names and values are passed through unchanged.
//
// Lines the reader does not understand (no "=", stray bytes, text before the
// first section) are kept as they are and written back unchanged. Every line
// keeps its own line end (LF, or CR LF: one carriage return right before the
// line feed); any other carriage return is text. So a document that is
// parsed and serialized again comes back byte for byte, whatever mix of line
// ends it has. A section
// header without "]" opens a section named by the rest of its line.
#include <optional>
#include <string>
#include <vector>

namespace tl {

// s[from, to) without the characters at either end for which drop(c) holds.
template <typename Drop>
std::string trimmedIf(const std::string &s, Drop drop, std::size_t from = 0,
                      std::size_t to = std::string::npos)
{
    if (to > s.size())
        to = s.size();
    while (from < to && drop(s[from]))
        ++from;
    while (to > from && drop(s[to - 1]))
        --to;
    return s.substr(from, to - from);
}

// Longest value a read returns, in bytes.
constexpr std::size_t kIniMaxValueLength = 2047;

// One INI document held in memory for one operation (or one batch of reads
// and writes): load it, read or change keys, save it once.
class IniFile {
public:
    IniFile() = default;
    explicit IniFile(std::string path) : path_(std::move(path)) {}

    // Reads the file at `path`. A missing or unreadable file gives an empty
    // document bound to that path; a later save creates a missing file but
    // refuses to replace one that exists and could not be read.
    static IniFile load(const std::string &path);

    // Replaces the content with `bytes` (line ends LF or CR LF).
    void parse(const std::string &bytes);
    // The document as file bytes. Lines that were read keep their own line
    // ends; lines that were written end like the first line of the file that
    // was read (CR LF when it ended so), with LF for a new file.
    std::string serialize() const;

    const std::string &path() const { return path_; }

    // The value of `key` in `section` as a read returns it (trimmed, one pair
    // of enclosing quotes removed, cut to 2047 bytes), or nothing.
    std::optional<std::string> value(const std::string &section, const std::string &key) const;
    std::string readString(const std::string &section, const std::string &key,
                           const std::string &defaultValue) const;
    bool hasSection(const std::string &section) const;

    // Sets `key` in `section` to `value` as written: in place, at the end of
    // the section, or in a new section at the end. Line breaks inside the
    // name or value (CR or LF) are written as blanks so a value can never add
    // lines, here or in another reader of the file.
    void writeString(const std::string &section, const std::string &key, const std::string &value);
    // Removes the section's header line and all lines up to the next section.
    void eraseSection(const std::string &section);

    // Writes the document whole to its path through a temporary file that
    // replaces the old one. Throws AppError("Unable to write to %s") when it
    // cannot; the old file then stays as it was.
    void save() const;

private:
    // One line of the document and what it is, worked out once when the line
    // is read or written, so that lookups only compare names.
    struct Line {
        enum class Kind { Other, Section, Key };
        Line(std::string text, std::string eol);
        std::string text;       // the line without its line end
        std::string eol;        // "\n", "\r\n", or "" for a last line without one
        Kind kind = Kind::Other;
        std::string name;       // section or key name, trimmed
        std::size_t equals = 0; // position of "=" in a key line
    };
    struct Span {
        std::size_t header; // index of the header line
        std::size_t end;    // one past the last line of the section
    };
    std::vector<Span> sections(const std::string &name) const;
    std::optional<std::size_t> findKey(const std::string &section, const std::string &key) const;
    // The line end of lines the program writes.
    const char *lineEnd() const;
    // A line the program writes: with the given line end, or the document's.
    Line newLine(std::string text, std::string eol = {}) const;

    std::string path_;
    std::vector<Line> lines_;
    bool crlf_ = false;
    bool unreadable_ = false; // the file exists but could not be read
};

// One-operation forms: each reads the file, acts, and (for writes) writes it
// back whole before returning.
std::string iniReadString(const std::string &path, const std::string &section,
                          const std::string &key, const std::string &defaultValue);
void iniWriteString(const std::string &path, const std::string &section, const std::string &key,
                    const std::string &value);
void iniEraseSection(const std::string &path, const std::string &section);

// Compares two names without regard to ASCII letter case.
bool iniNamesEqual(const std::string &a, const std::string &b);

} // namespace tl
