#pragma once
// The Hunspell dictionaries installed on the machine: a dictionary is a pair
// NAME.aff and NAME.dic in one folder, named by its language ("cs_CZ",
// "en_US").
#include <QLocale>
#include <QString>
#include <QStringList>

#include <vector>

namespace tl::spell {

struct Dictionary {
    QString name; // "cs_CZ"
    QString affPath;
    QString dicPath;
    bool operator==(const Dictionary &) const = default;
};

// Where dictionaries are looked for, in this order: the folders of DICPATH
// (":"-separated, as Hunspell's own tools read it), "hunspell" in the user's
// and the system's data folders (~/.local/share/hunspell,
// /usr/local/share/hunspell, /usr/share/hunspell, ...), and the folders of
// older packages, /usr/share/myspell and /usr/share/myspell/dicts.
QStringList dictionaryFolders();

// Every dictionary in the folders, sorted by name; of two with one name, the
// one in the earlier folder.
std::vector<Dictionary> findDictionaries(const QStringList &folders);

// The name of the dictionary for a locale's language: the one of its
// language and country ("cs_CZ"), else one of its language ("cs", "cs_SK"),
// else an empty text.
QString dictionaryForLocale(const std::vector<Dictionary> &dictionaries, const QLocale &locale);

} // namespace tl::spell
