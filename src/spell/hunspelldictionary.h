#pragma once
// One Hunspell dictionary, loaded: spelling, suggestions and words accepted
// for as long as it is loaded. Words go in and out as Unicode; the
// dictionary's own character set (its .aff file's SET: UTF-8, ISO8859-2,
// KOI8-R, microsoft-cp1251, ...) is dealt with here.
#include "spell/dictionaries.h"

#include <QStringDecoder>
#include <QStringEncoder>

#include <memory>
#include <string>

class Hunspell;

namespace tl::spell {

class HunspellDictionary {
public:
    // Loads the dictionary. Throws AppError when it is in a character set
    // this program cannot convert to.
    explicit HunspellDictionary(const Dictionary &dictionary);
    ~HunspellDictionary();
    HunspellDictionary(const HunspellDictionary &) = delete;
    HunspellDictionary &operator=(const HunspellDictionary &) = delete;

    const Dictionary &dictionary() const { return dictionary_; }
    // The character set the .aff file names ("UTF-8", "ISO8859-2").
    QString encoding() const { return encoding_; }

    // False also for a word the dictionary's character set cannot hold.
    bool spell(QStringView word);
    QStringList suggest(QStringView word);
    // Accepts the word, and its capitalised forms as the dictionary's own
    // words are, until the dictionary is unloaded. False when the
    // dictionary's character set cannot hold it.
    bool add(QStringView word);

private:
    bool encode(QStringView word, std::string &out);

    Dictionary dictionary_;
    QString encoding_;
    std::unique_ptr<Hunspell> hunspell_;
    bool utf8_ = true;
    QStringEncoder encoder_;
    QStringDecoder decoder_;
};

} // namespace tl::spell
