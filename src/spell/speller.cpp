#include "spell/speller.h"

#include "core/errors.h"
#include "core/fileio.h"
#include "core/programfiles.h"
#include "spell/hunspelldictionary.h"

#include <algorithm>

namespace tl::spell {

Speller::Speller(QStringList folders, QString personalListPath, QObject *parent)
    : QObject(parent), folders_(std::move(folders)), personalListPath_(std::move(personalListPath))
{
    dictionaries_ = findDictionaries(folders_);
    loadPersonalList();
}

Speller::~Speller() = default;

QString Speller::defaultPersonalListPath()
{
    return pathText(SettingsFolder() + "tarvlit.dic");
}

QString Speller::startLanguage() const
{
    return dictionaryForLocale(dictionaries_, QLocale::system());
}

void Speller::loadPersonalList()
{
    personal_.clear();
    std::string bytes;
    if (personalListPath_.isEmpty() || !tryReadWholeFile(pathBytes(personalListPath_), bytes))
        return;
    const QString text = QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
    for (const QString &line : text.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QString word = line.trimmed();
        if (!word.isEmpty())
            personal_.insert(word);
    }
}

void Speller::forget()
{
    known_.clear();
    emit changed();
}

void Speller::configure(bool on, const QString &languageSetting)
{
    dictionaries_ = findDictionaries(folders_);
    on_ = on;
    if (on && dictionaries_.empty() && !noticeGiven_)
        noticePending_ = true;
    const QString name = languageSetting.isEmpty() ? startLanguage() : languageSetting;
    const auto it = std::find_if(dictionaries_.begin(), dictionaries_.end(),
                                 [&](const Dictionary &d) { return d.name == name; });
    // Off, no dictionary is loaded: it would only cost time and memory.
    if (!on || it == dictionaries_.end()) {
        dictionary_.reset();
    } else if (!dictionary_ || !(dictionary_->dictionary() == *it)) {
        dictionary_.reset();
        auto loaded = std::make_unique<HunspellDictionary>(*it); // may throw: checking stays off
        for (const QString &word : std::as_const(personal_))
            loaded->add(word);
        dictionary_ = std::move(loaded);
    }
    forget();
}

bool Speller::isActive() const { return on_ && dictionary_ != nullptr; }

QString Speller::language() const { return dictionary_ ? dictionary_->dictionary().name : QString(); }

QString Speller::takeUnavailableNotice()
{
    if (!noticePending_)
        return {};
    noticePending_ = false;
    noticeGiven_ = true;
    return QStringLiteral("No spelling dictionary is installed, so spelling is not checked. "
                          "Install one (on Debian for example the package hunspell-en-us or "
                          "hunspell-cs) to have misspelt words marked.");
}

bool Speller::isCorrect(QStringView word)
{
    if (!isActive())
        return true;
    const std::u16string_view key(word.utf16(), static_cast<std::size_t>(word.size()));
    if (const auto it = known_.find(key); it != known_.end())
        return it->second;
    const QString w = word.toString();
    const bool right = ignored_.contains(w) || personal_.contains(w) || dictionary_->spell(word);
    known_.emplace(std::u16string(key), right);
    return right;
}

QStringList Speller::suggestions(const QString &word, int max)
{
    if (!dictionary_)
        return {};
    QStringList all = dictionary_->suggest(word);
    if (all.size() > max)
        all.resize(max);
    return all;
}

QStringList Speller::personalWords() const
{
    QStringList words(personal_.begin(), personal_.end());
    std::sort(words.begin(), words.end());
    return words;
}

void Speller::addToPersonalList(const QString &word)
{
    if (word.isEmpty() || personal_.contains(word))
        return;
    personal_.insert(word);
    if (!personalListPath_.isEmpty()) {
        const QByteArray text = personalWords().join(QLatin1Char('\n')).toUtf8() + '\n';
        try {
            writeWholeFileAtomic(pathBytes(personalListPath_), text.toStdString());
        } catch (const AppError &) {
            personal_.remove(word);
            throw;
        }
    }
    if (dictionary_)
        dictionary_->add(word);
    forget();
}

void Speller::ignore(const QString &word)
{
    ignored_.insert(word);
    forget();
}

} // namespace tl::spell
