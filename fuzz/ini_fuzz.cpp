// The INI reader and writer. Input: a document, then "\n%%%%\n", then one
// operation per line:
//   w<TAB>section<TAB>key<TAB>value   write (a 0x01 byte in the value stands
//                                     for a line feed)
//   e<TAB>section                     erase the section
//   s                                 save to disk and load again
// Properties:
//  - parsing and serializing any document gives it back byte for byte;
//  - after the operations (and a serialize/parse round), every written key
//    reads back as the read rule says its value must, every key the document
//    held that no operation touched reads as before, erased sections are gone;
//  - every line of the document outside the touched keys and erased sections
//    is still in the file, in order, byte for byte (line end included);
//  - serializing is stable: a second round changes nothing;
//  - a project read from the document, written and read again has the same
//    fields (a line break inside a text becomes a blank);
//  - a written text setting reads back as the text with its surrounding
//    blanks and control characters removed (line breaks inside as blanks,
//    at most 2047 bytes); an integer setting reads back as the integer.
#include "core/ini.h"
#include "core/inivalue.h"
#include "core/projectfile.h"
#include "fuzzsupport.h"

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

using tl::IniFile;
using tl::fuzz::shown;

namespace {

bool nameBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

std::string trimName(const std::string &s)
{
    std::size_t a = 0, b = s.size();
    while (a < b && nameBlank(s[a]))
        ++a;
    while (b > a && nameBlank(s[b - 1]))
        --b;
    return s.substr(a, b - a);
}

std::string lower(std::string s)
{
    for (char &c : s)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return s;
}

// A name the writer can put on a line of its own kind: no line break, no "="
// or brackets, no blanks around it, not empty.
std::optional<std::string> usableName(const std::string &raw)
{
    std::string n;
    for (char c : raw)
        if (c != '\n' && c != '\r' && c != '=' && c != '[' && c != ']')
            n += c;
    n = trimName(n);
    if (n.empty())
        return std::nullopt;
    return n;
}

// What a read returns for a value as it was written: line breaks were written
// as blanks, then the read trims spaces, strips one pair of enclosing quotes
// and cuts to 2047 bytes.
std::string expectedRead(std::string v)
{
    for (char &c : v)
        if (c == '\r' || c == '\n')
            c = ' ';
    std::size_t a = 0, b = v.size();
    while (a < b && v[a] == ' ')
        ++a;
    while (b > a && v[b - 1] == ' ')
        --b;
    v = v.substr(a, b - a);
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        v = v.substr(1, v.size() - 2);
    if (v.size() > tl::kIniMaxValueLength)
        v.resize(tl::kIniMaxValueLength);
    return v;
}

// Raw lines, each with its line feed (the last one may have none).
std::vector<std::string> rawLines(const std::string &bytes)
{
    std::vector<std::string> out;
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        std::size_t nl = bytes.find('\n', pos);
        std::size_t end = nl == std::string::npos ? bytes.size() : nl + 1;
        out.push_back(bytes.substr(pos, end - pos));
        pos = end;
    }
    return out;
}

std::string withoutLineEnd(std::string line)
{
    if (!line.empty() && line.back() == '\n') {
        line.pop_back();
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
    }
    return line;
}

// The section a header line opens ("[name]" or "[name" to the end), if it is one.
std::optional<std::string> headerName(const std::string &line)
{
    const std::string text = withoutLineEnd(line);
    std::size_t i = 0;
    while (i < text.size() && nameBlank(text[i]))
        ++i;
    if (i >= text.size() || text[i] != '[')
        return std::nullopt;
    std::size_t close = text.find(']', i + 1);
    return trimName(text.substr(i + 1, (close == std::string::npos ? text.size() : close) - i - 1));
}

// The key a line names, if it is a key line.
std::optional<std::string> keyName(const std::string &line)
{
    if (headerName(line))
        return std::nullopt;
    const std::string text = withoutLineEnd(line);
    std::size_t eq = text.find('=');
    if (eq == std::string::npos)
        return std::nullopt;
    return trimName(text.substr(0, eq));
}

struct Op {
    char kind;
    std::string section, key, value;
};

std::vector<Op> parseOps(const std::string &text)
{
    std::vector<Op> ops;
    for (const std::string &raw : rawLines(text)) {
        std::string line = raw;
        if (!line.empty() && line.back() == '\n')
            line.pop_back();
        if (line.empty() || ops.size() >= 64)
            continue;
        std::vector<std::string> f = tl::fuzz::splitParts(line.substr(1), "\t", 4);
        if (line[0] == 'w') {
            auto s = usableName(f[1]);
            auto k = usableName(f[2]);
            if (!s || !k)
                continue;
            std::string v = f[3];
            for (char &c : v)
                if (c == '\x01')
                    c = '\n';
            ops.push_back({'w', *s, *k, v});
        } else if (line[0] == 'e') {
            if (auto s = usableName(f[1]))
                ops.push_back({'e', *s, {}, {}});
        } else if (line[0] == 's') {
            ops.push_back({'s', {}, {}, {}});
        }
    }
    return ops;
}

// A text and an integer setting written as the form storage writes them and
// read back.
void checkSettingEncodings(const std::string &text)
{
    IniFile f;
    f.writeString("TForm1", "edtNOTE_Text", tl::iniWriteText(text));
    long long n = 0;
    for (std::size_t i = 0; i < text.size() && i < 8; ++i)
        n = (n << 8) | static_cast<unsigned char>(text[i]);
    const int integer = static_cast<int>(n);
    f.writeString("TForm1", "pnlLEVY_Width", tl::iniWriteInteger(integer));
    IniFile g;
    g.parse(f.serialize());

    std::string expected = tl::iniTrimControls(text);
    for (char &c : expected)
        if (c == '\r' || c == '\n')
            c = ' ';
    if (expected.size() > tl::kIniMaxValueLength)
        expected.resize(tl::kIniMaxValueLength);
    expected = tl::iniTrimControls(expected);
    const std::string got = tl::iniReadText(g.readString("TForm1", "edtNOTE_Text", "<missing>"));
    FUZZ_CHECK(got == expected, "text setting " + shown(text) + " reads back as " + shown(got));
    FUZZ_CHECK(tl::iniReadInteger(g.readString("TForm1", "pnlLEVY_Width", "")) == integer,
               "integer setting " + std::to_string(integer) + " reads back differently");
}

// A project read from any document survives being written and read again:
// what it writes the second time is what it wrote the first.
void checkProjectRoundTrip(const IniFile &doc)
{
    tl::ProjectSettings p;
    tl::projectfile::read(doc, p);
    IniFile written;
    tl::projectfile::write(p, written);
    IniFile reread;
    reread.parse(written.serialize());
    tl::ProjectSettings q;
    tl::projectfile::read(reread, q);
    IniFile rewritten;
    tl::projectfile::write(q, rewritten);
    FUZZ_CHECK(rewritten.serialize() == written.serialize(),
               "project " + shown(written.serialize()) + " reads back as " + shown(rewritten.serialize()));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string input(reinterpret_cast<const char *>(data), size);
    const std::vector<std::string> parts = tl::fuzz::splitParts(input, "\n%%%%\n", 2);
    const std::string &doc = parts[0];

    IniFile f;
    f.parse(doc);
    FUZZ_CHECK(f.serialize() == doc, "round trip changed " + shown(doc) + " into " + shown(f.serialize()));
    checkProjectRoundTrip(f);

    // Probes: every section and key name the document shows.
    std::set<std::string> sectionNames, keyNames;
    for (const std::string &line : rawLines(doc)) {
        if (auto h = headerName(line))
            sectionNames.insert(*h);
        else if (auto k = keyName(line))
            keyNames.insert(*k);
    }
    const std::vector<Op> ops = parseOps(parts[1]);
    for (const Op &op : ops) {
        if (op.kind == 'w') {
            sectionNames.insert(op.section);
            keyNames.insert(op.key);
        }
    }
    std::map<std::pair<std::string, std::string>, std::optional<std::string>> before;
    std::size_t probes = 0;
    for (const std::string &s : sectionNames)
        for (const std::string &k : keyNames)
            if (++probes <= 400)
                before[{s, k}] = f.value(s, k);

    // The model: what each (section, key) must read after the operations.
    std::map<std::pair<std::string, std::string>, std::string> written; // lower-case names
    std::set<std::string> erased;                                       // lower-case sections
    std::set<std::string> touchedKeys;                                  // lower-case keys
    for (const Op &op : ops) {
        if (op.kind == 'w') {
            checkSettingEncodings(op.value);
            f.writeString(op.section, op.key, op.value);
            written[{lower(op.section), lower(op.key)}] = expectedRead(op.value);
            touchedKeys.insert(lower(op.key));
        } else if (op.kind == 'e') {
            f.eraseSection(op.section);
            const std::string s = lower(op.section);
            erased.insert(s);
            for (auto it = written.begin(); it != written.end();)
                it = it->first.first == s ? written.erase(it) : std::next(it);
        } else {
            static const std::string path = tl::fuzz::scratchFolder("ini") + "t.ini";
            const std::string bytes = f.serialize();
            IniFile onDisk(path);
            onDisk.parse(bytes);
            onDisk.save();
            f = IniFile::load(path);
            FUZZ_CHECK(f.serialize() == bytes, "save and load changed " + shown(bytes));
        }
    }
    const std::string out = f.serialize();
    IniFile g;
    g.parse(out);
    FUZZ_CHECK(g.serialize() == out, "second round changed " + shown(out));

    for (const auto &[name, old] : before) {
        const auto key = std::make_pair(lower(name.first), lower(name.second));
        std::optional<std::string> expected = old;
        if (auto w = written.find(key); w != written.end())
            expected = w->second;
        else if (erased.count(key.first))
            expected = std::nullopt;
        const std::optional<std::string> got = g.value(name.first, name.second);
        FUZZ_CHECK(got == expected,
                   "[" + name.first + "] " + name.second + " reads " + (got ? shown(*got) : "nothing")
                       + ", expected " + (expected ? shown(*expected) : "nothing") + "\ndocument "
                       + shown(doc) + "\nafter " + shown(out));
    }
    for (const std::string &s : erased) {
        bool rewritten = false;
        for (const auto &[key, v] : written)
            rewritten = rewritten || key.first == s;
        FUZZ_CHECK(rewritten || !g.hasSection(s), "erased section [" + s + "] is still there");
    }

    // Every other line of the document is still there, in order, byte for byte.
    const std::vector<std::string> origLines = rawLines(doc);
    const std::vector<std::string> outLines = rawLines(out);
    std::size_t j = 0;
    std::string current; // lower-case name of the section a line lies in
    bool inSection = false;
    for (std::size_t i = 0; i < origLines.size(); ++i) {
        const std::string &line = origLines[i];
        if (auto h = headerName(line)) {
            current = lower(*h);
            inSection = true;
        }
        if (inSection && erased.count(current))
            continue;
        if (auto k = keyName(line); k && inSection && touchedKeys.count(lower(*k)))
            continue;
        const bool last = i + 1 == origLines.size() && line.back() != '\n';
        while (j < outLines.size()
               && !(outLines[j] == line
                    || (last && withoutLineEnd(outLines[j]) == line
                        && outLines[j].size() > line.size())))
            ++j;
        FUZZ_CHECK(j < outLines.size(), "line " + std::to_string(i) + " " + shown(line)
                                            + " lost or changed\ndocument " + shown(doc)
                                            + "\nafter " + shown(out));
        ++j;
    }
    return 0;
}
