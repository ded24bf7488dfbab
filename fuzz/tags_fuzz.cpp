// Hotkey texts and the stored form of tag texts. Input: bytes, read three
// ways (see below). Properties:
//  - a key combination that has a text form reads back from that text as the
//    same (normalized) combination, also after the text has been through the
//    settings file; so does any text that reads as a hotkey;
//  - a start or end text as the editor hands it over (line breaks CR LF) that
//    holds neither "#32" nor "#13#10" is stored on one settings-file line and
//    reads back unchanged, leading and trailing blanks and tabs included;
//  - the editor's line-break forms and the tags' CR LF form convert into each
//    other without losing a character.
#include "core/cp1250.h"
#include "core/ini.h"
#include "core/inivalue.h"
#include "fuzzsupport.h"
#include "tags/hotkey.h"
#include "tags/tagtext.h"

#include <QString>

using tl::fuzz::shown;

namespace {

std::string utf8(const QString &s) { return s.toUtf8().toStdString(); }

// Writes `value` as a list item of the settings file (quoted as the form
// storage writes list lines) and reads it back.
std::string throughSettingsFile(const std::string &section, const std::string &value)
{
    tl::IniFile f;
    f.parse("[ShortCuts]\r\nVisible=0\r\n");
    f.writeString(section, "Item0", tl::iniQuoted(value));
    tl::IniFile g;
    g.parse(f.serialize());
    return g.readString(section, "Item0", "<missing>");
}

void checkHotkeyText(const QString &text)
{
    const auto key = tl::hotkeyFromText(text);
    if (!key)
        return;
    FUZZ_CHECK(tl::normalizeHotkey(*key) == *key, "hotkey of " + shown(utf8(text)) + " is not normalized");
    const QString written = tl::hotkeyToText(*key);
    FUZZ_CHECK(!written.isEmpty(), "hotkey of " + shown(utf8(text)) + " has no text form");
    FUZZ_CHECK(tl::hotkeyFromText(written) == key,
               shown(utf8(text)) + " written as " + shown(utf8(written)) + " reads back differently");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string bytes(reinterpret_cast<const char *>(data), size);

    // 1. The bytes as a hotkey text from the settings file.
    checkHotkeyText(tl::decodeCp1250(bytes));

    // 2. Each four bytes as a key code and modifiers.
    for (size_t i = 0; i + 4 <= size && i < 64; i += 4) {
        const int code = data[i] | (data[i + 1] << 8) | ((data[i + 2] & 0x01) << 16)
            | ((data[i + 2] & 0x02) ? 0x01000000 : 0);
        const Qt::KeyboardModifiers mods(static_cast<Qt::KeyboardModifier>(
            (static_cast<unsigned>(data[i + 3]) << 24) & Qt::KeyboardModifierMask));
        const QKeyCombination combination(mods, static_cast<Qt::Key>(code));
        const QKeyCombination normal = tl::normalizeHotkey(combination);
        const QString text = tl::hotkeyToText(normal);
        if (!text.isEmpty()) {
            FUZZ_CHECK(tl::hotkeyFromText(text) == normal,
                       "key " + std::to_string(code) + " written as " + shown(utf8(text)) + " reads back differently");
            const std::string stored = tl::encodeCp1250(text);
            const QString reread =
                tl::decodeCp1250(throughSettingsFile("ShortCuts.StrHOTKEYS_Strings", stored));
            FUZZ_CHECK(reread == text, "hotkey text " + shown(utf8(text)) + " comes back from the file as "
                                           + shown(utf8(reread)));
        }
        if (auto pressed = tl::hotkeyFromKeyPress(code, mods))
            FUZZ_CHECK(!tl::hotkeyToText(*pressed).isEmpty(),
                       "key press " + std::to_string(code) + " gives a hotkey without a text form");
    }

    // 3. The bytes as a tag text typed in the editor.
    const QString editorText = tl::decodeCp1250(bytes);
    const QString tagText = tl::editorTextToTagText(editorText);
    for (qsizetype i = 0; i < tagText.size(); ++i) {
        const bool lineEnd = tagText[i] == u'\r' && i + 1 < tagText.size() && tagText[i + 1] == u'\n';
        if (lineEnd) {
            ++i;
            continue;
        }
        FUZZ_CHECK(tagText[i] != u'\r' && tagText[i] != u'\n' && tagText[i] != QChar::LineSeparator
                       && tagText[i] != QChar::ParagraphSeparator,
                   "tag text of " + shown(bytes) + " keeps a line break that is not CR LF");
    }
    const QString back = tl::tagTextToEditorText(tagText);
    FUZZ_CHECK(tl::editorTextToTagText(back) == tagText, "editor form of " + shown(bytes) + " does not come back");

    const std::string typed = tl::encodeCp1250(tagText);
    const std::string escaped = tl::escapeTagText(typed);
    FUZZ_CHECK(tl::decodeCp1250(escaped) == tl::escapeTagText(tagText), "byte and text escaping differ");
    FUZZ_CHECK(escaped.find(' ') == std::string::npos && escaped.find('\n') == std::string::npos,
               "stored form of " + shown(typed) + " is " + shown(escaped));
    const bool ambiguous = typed.find("#32") != std::string::npos || typed.find("#13#10") != std::string::npos;
    if (!ambiguous) {
        FUZZ_CHECK(tl::unescapeTagText(escaped) == typed, shown(typed) + " stored as " + shown(escaped)
                                                            + " unescapes differently");
        if (escaped.size() <= tl::kIniMaxValueLength) {
            const std::string reread = throughSettingsFile("ShortCuts.StrSTART_Strings", escaped);
            FUZZ_CHECK(tl::unescapeTagText(reread) == typed,
                       shown(typed) + " comes back from the file as " + shown(tl::unescapeTagText(reread)));
        }
    }
    return 0;
}
