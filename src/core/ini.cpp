#include "core/ini.h"

#include "core/errors.h"
#include "core/fileio.h"

#include <QFileInfo>
#include <QString>

namespace tl {

namespace {

// Blanks around section and key names and in otherwise empty lines.
bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

std::string trimmed(const std::string &s, std::size_t from, std::size_t to)
{
    return trimmedIf(s, isBlank, from, to);
}

// A value loses only the spaces around it: a tab or another control
// character at either end is part of the value (a tag's start or end text
// may begin or end with one), and a carriage return that is not part of the
// line end is a byte of the value like any other.
std::string spacesTrimmed(const std::string &s, std::size_t from)
{
    return trimmedIf(s, [](char c) { return c == ' '; }, from);
}

bool isBlankLine(const std::string &line)
{
    for (char c : line)
        if (!isBlank(c))
            return false;
    return true;
}

char asciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// The value of a key line as a read returns it.
std::string readValue(const std::string &line, std::size_t equals)
{
    std::string v = spacesTrimmed(line, equals + 1);
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        v = v.substr(1, v.size() - 2);
    if (v.size() > kIniMaxValueLength)
        v.resize(kIniMaxValueLength);
    return v;
}

// A name or value as written: a line break inside it would start a new line
// of the file, so it is written as a blank.
std::string oneLine(std::string s)
{
    for (char &c : s)
        if (c == '\r' || c == '\n')
            c = ' ';
    return s;
}

} // namespace

IniFile::Line::Line(std::string t, std::string e) : text(std::move(t)), eol(std::move(e))
{
    std::size_t i = 0;
    while (i < text.size() && isBlank(text[i]))
        ++i;
    if (i < text.size() && text[i] == '[') {
        std::size_t close = text.find(']', i + 1);
        kind = Kind::Section;
        name = trimmed(text, i + 1, close == std::string::npos ? text.size() : close);
        return;
    }
    std::size_t eq = text.find('=');
    if (eq != std::string::npos) {
        kind = Kind::Key;
        name = trimmed(text, 0, eq);
        equals = eq;
    }
}

bool iniNamesEqual(const std::string &a, const std::string &b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (asciiLower(a[i]) != asciiLower(b[i]))
            return false;
    return true;
}

IniFile IniFile::load(const std::string &path)
{
    IniFile f(path);
    std::string bytes;
    if (tryReadWholeFile(path, bytes))
        f.parse(bytes);
    else if (QFileInfo::exists(QString::fromStdString(path)))
        f.unreadable_ = true;
    return f;
}

void IniFile::parse(const std::string &bytes)
{
    lines_.clear();
    crlf_ = false;
    unreadable_ = false;
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        std::size_t nl = bytes.find('\n', pos);
        if (nl == std::string::npos) {
            // The last line without a line end: every byte of it is text.
            lines_.emplace_back(bytes.substr(pos), std::string());
            break;
        }
        // Only the one carriage return right before the line feed belongs to
        // the line end; any other carriage return is text and stays.
        const bool cr = nl > pos && bytes[nl - 1] == '\r';
        if (lines_.empty())
            crlf_ = cr;
        lines_.emplace_back(bytes.substr(pos, nl - pos - (cr ? 1 : 0)), cr ? "\r\n" : "\n");
        pos = nl + 1;
    }
}

const char *IniFile::lineEnd() const { return crlf_ ? "\r\n" : "\n"; }

IniFile::Line IniFile::newLine(std::string text, std::string eol) const
{
    if (eol.empty())
        eol = lineEnd();
    return Line(std::move(text), std::move(eol));
}

std::string IniFile::serialize() const
{
    std::string out;
    std::size_t total = 0;
    for (const Line &l : lines_)
        total += l.text.size() + 2;
    out.reserve(total);
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        const Line &l = lines_[i];
        out += l.text;
        if (!l.eol.empty())
            out += l.eol;
        else if (i + 1 < lines_.size())
            // A last line without a line end that now has lines after it. A
            // carriage return ending its text must not merge with the line
            // feed into a line end, so such a line gets CR LF.
            out += (!l.text.empty() && l.text.back() == '\r') ? "\r\n" : lineEnd();
    }
    return out;
}

std::vector<IniFile::Span> IniFile::sections(const std::string &name) const
{
    std::vector<Span> spans;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        if (lines_[i].kind != Line::Kind::Section)
            continue;
        if (!spans.empty() && spans.back().end == lines_.size())
            spans.back().end = i;
        if (iniNamesEqual(lines_[i].name, name))
            spans.push_back({i, lines_.size()});
    }
    return spans;
}

std::optional<std::size_t> IniFile::findKey(const std::string &section, const std::string &key) const
{
    for (const Span &s : sections(section)) {
        for (std::size_t i = s.header + 1; i < s.end; ++i)
            if (lines_[i].kind == Line::Kind::Key && iniNamesEqual(lines_[i].name, key))
                return i;
    }
    return std::nullopt;
}

std::optional<std::string> IniFile::value(const std::string &section, const std::string &key) const
{
    auto at = findKey(section, key);
    if (!at)
        return std::nullopt;
    return readValue(lines_[*at].text, lines_[*at].equals);
}

std::string IniFile::readString(const std::string &section, const std::string &key,
                                const std::string &defaultValue) const
{
    auto v = value(section, key);
    return v ? *v : defaultValue;
}

bool IniFile::hasSection(const std::string &section) const { return !sections(section).empty(); }

void IniFile::writeString(const std::string &section, const std::string &key, const std::string &value)
{
    const std::string v = oneLine(value);
    if (auto at = findKey(section, key)) {
        // Keep the key's spelling as it stands in the file.
        // The line keeps its own line end (a written line always gets one).
        lines_[*at] = newLine(lines_[*at].name + "=" + v, lines_[*at].eol);
        return;
    }
    const std::string line = oneLine(key) + "=" + v;
    auto spans = sections(section);
    if (!spans.empty()) {
        const Span &s = spans.front();
        std::size_t insertAt = s.end;
        while (insertAt > s.header + 1 && isBlankLine(lines_[insertAt - 1].text))
            --insertAt;
        lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(insertAt), newLine(line));
        return;
    }
    if (!lines_.empty() && !isBlankLine(lines_.back().text))
        lines_.push_back(newLine(std::string()));
    lines_.push_back(newLine("[" + oneLine(section) + "]"));
    lines_.push_back(newLine(line));
}

void IniFile::eraseSection(const std::string &section)
{
    auto spans = sections(section);
    for (auto it = spans.rbegin(); it != spans.rend(); ++it)
        lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(it->header),
                     lines_.begin() + static_cast<std::ptrdiff_t>(it->end));
}

void IniFile::save() const
{
    // Replacing the file by rename would get round a read-only file, so an
    // existing file that may not be written is refused here.
    QFileInfo fi(QString::fromStdString(path_));
    // A file that exists but could not be read is not replaced by a
    // document that lacks everything it held.
    if (path_.empty() || unreadable_ || (fi.exists() && (!fi.isFile() || !fi.isWritable())))
        throw AppError(msgUnableToWrite(path_));
    writeWholeFileAtomic(path_, serialize(), msgUnableToWrite(path_));
}

std::string iniReadString(const std::string &path, const std::string &section,
                          const std::string &key, const std::string &defaultValue)
{
    return IniFile::load(path).readString(section, key, defaultValue);
}

void iniWriteString(const std::string &path, const std::string &section, const std::string &key,
                    const std::string &value)
{
    IniFile f = IniFile::load(path);
    f.writeString(section, key, value);
    f.save();
}

void iniEraseSection(const std::string &path, const std::string &section)
{
    IniFile f = IniFile::load(path);
    if (!f.hasSection(section))
        return;
    f.eraseSection(section);
    f.save();
}

} // namespace tl
