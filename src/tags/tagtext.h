#pragma once
// The stored form of a tag shortcut's start and end texts.
//
// A text as typed (possibly several lines) is kept on one settings-file line:
// every CR LF becomes "#13#10", then every space becomes "#32". Unescaping
// turns "#32" back into spaces first, then "#13#10" into CR LF. Because spaces
// are escaped, leading and trailing spaces survive the INI reader's trimming.
// A typed text that itself holds "#32" or "#13#10" comes back with a space or
// a line break in its place: the form cannot tell them apart.
#include <QString>
#include <string>

namespace tl {

// The most tag shortcuts a settings file is believed to hold. A list "Count"
// above it comes from a damaged file: the tags are then left empty, so that a
// broken number cannot fill the menu with blank entries and hang the start.
constexpr int kMaxTagCount = 1000;

// Bytes as the settings file holds them.
std::string escapeTagText(const std::string &typed);
std::string unescapeTagText(const std::string &stored);

// The same on text already decoded from the settings file.
QString escapeTagText(const QString &typed);
QString unescapeTagText(const QString &stored);

// The text of an editor control in the form the tags keep: every paragraph
// or line separator ("\n", U+2029, U+2028, a lone "\r") becomes CR LF.
QString editorTextToTagText(const QString &editorText);
// The other way: every CR LF (and lone CR) becomes "\n", as an editor takes a
// line break and counts it as one character.
QString tagTextToEditorText(const QString &tagText);

} // namespace tl
