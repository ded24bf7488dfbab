#pragma once
// Spell checking as the editor uses it: one language at a time, chosen by the
// project (its dictionary's name, or the system's language), with a personal
// word list that every language accepts ("Add to dictionary", kept in the
// settings folder) and words ignored until the program ends ("Ignore").
// Results are remembered per word, so that colouring a long post again as the
// writer types asks Hunspell only about words it has not seen.
#include "spell/dictionaries.h"

#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tl::spell {

class HunspellDictionary;

class Speller : public QObject {
    Q_OBJECT
public:
    // Dictionaries are looked for in `folders`; the personal word list is
    // read from and written to `personalListPath` (empty: none is kept).
    explicit Speller(QStringList folders = dictionaryFolders(),
                     QString personalListPath = defaultPersonalListPath(),
                     QObject *parent = nullptr);
    ~Speller() override;

    // The settings folder's "tarvlit.dic": one word a line, UTF-8.
    static QString defaultPersonalListPath();

    // The installed dictionaries, as found when the speller was made or
    // configured last.
    const std::vector<Dictionary> &dictionaries() const { return dictionaries_; }
    // The dictionary of the system's language, or an empty text when none is
    // installed: what an empty language setting means.
    QString startLanguage() const;

    // The project's settings: checking on or off, and the dictionary's name
    // ("" for the system's language). Looks for dictionaries again and, with
    // checking on, loads the one named; checking stays off when there is
    // none for the language.
    // Throws AppError when the dictionary cannot be read (its character set
    // is unknown); checking is then off.
    void configure(bool on, const QString &language);
    // Checking is on and a dictionary is loaded.
    bool isActive() const;
    // The name of the dictionary in use, or an empty text.
    QString language() const;

    // The message to show when checking was asked for and no dictionary is
    // installed at all: given once, empty afterwards and whenever there is a
    // dictionary.
    QString takeUnavailableNotice();

    // Whether a word is spelt right (always, while checking is off).
    bool isCorrect(QStringView word);
    QStringList suggestions(const QString &word, int max = 8);
    // Adds the word to the personal word list, which is written at once.
    // Throws AppError("Unable to write to %s") when it cannot be.
    void addToPersonalList(const QString &word);
    // Takes the word as right until the program ends.
    void ignore(const QString &word);

    // The personal words, sorted.
    QStringList personalWords() const;

signals:
    // Which words are right changed: another dictionary, checking switched,
    // a word added or ignored.
    void changed();

private:
    void loadPersonalList();
    void forget();

    struct WordHash {
        using is_transparent = void;
        std::size_t operator()(std::u16string_view s) const
        {
            return std::hash<std::u16string_view>{}(s);
        }
    };

    QStringList folders_;
    QString personalListPath_;
    std::vector<Dictionary> dictionaries_;
    std::unique_ptr<HunspellDictionary> dictionary_;
    bool on_ = false;
    bool noticeGiven_ = false;
    bool noticePending_ = false;
    QSet<QString> personal_;
    QSet<QString> ignored_;
    std::unordered_map<std::u16string, bool, WordHash, std::equal_to<>> known_;
};

} // namespace tl::spell
