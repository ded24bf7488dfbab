// Spell checking with the real Debian dictionaries (hunspell-en-us,
// hunspell-cs): which words of a line are checked and found wrong, a
// dictionary in another character set, the personal word list and "Ignore".
#include "core/programfiles.h"
#include "spell/dictionaries.h"
#include "spell/hunspelldictionary.h"
#include "spell/speller.h"
#include "spell/wordscanner.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tl::spell;

namespace {

// Readable failures.
std::vector<std::string> texts(const QStringList &list)
{
    std::vector<std::string> out;
    for (const QString &s : list)
        out.push_back(s.toStdString());
    return out;
}

const QStringList kSystemFolders = {QStringLiteral("/usr/share/hunspell")};

// The misspelt words of some lines, scanned one after the other.
std::vector<std::string> misspelt(Speller &speller, const QStringList &lines, Markup markup)
{
    QStringList wrong;
    int state = -1;
    ScannedLine scan;
    for (const QString &line : lines) {
        state = scanLine(line, state, markup, scan);
        for (const TextRange &w : scan.words) {
            const QString word = line.mid(w.start, w.length);
            if (!speller.isCorrect(word))
                wrong << word;
        }
    }
    return texts(wrong);
}

struct RealSpeller {
    QTemporaryDir tmp;
    Speller speller{kSystemFolders, tmp.path() + "/personal.dic"};
    explicit RealSpeller(const QString &language)
    {
        speller.configure(true, language);
    }
};

TEST(SpellCheckedText, OnlyTheMisspeltWordsOfTheProseAreMarked)
{
    RealSpeller en(QStringLiteral("en_US"));
    ASSERT_TRUE(en.speller.isActive()) << "hunspell-en-us is not installed";
    // Tags, an attribute value, a URL, an entity, an address, a file name,
    // an acronym and a number around two misspelt words.
    const QString html = QStringLiteral(
        "<p class=\"wrnog\" title='misteak'>Visit http://exmaple.com/teh-page &nbsp;&eacutx; "
        "or jon@exmaple.com and index.hmtl; the <b>speling</b> of HTML5 in this tset"
        "<!-- a commnet --> don't <img alt=\"multi\nline atribute\"> wel-known</p>");
    EXPECT_EQ(misspelt(en.speller, html.split(QLatin1Char('\n')), Markup::Html),
              texts({"speling", "tset", "wel-known"}));

    // Markdown: inline code, a link's destination and a fenced block are
    // skipped; the link's text is prose.
    const QStringList markdown = {
        QStringLiteral("Run `teh --fast` and read [the mauntal](docs/teh-page.html \"Teh\")."),
        QStringLiteral("```cpp"),
        QStringLiteral("int teh = 0; <b>notatag"),
        QStringLiteral("```"),
        QStringLiteral("Back to prose, spelled rihgt."),
    };
    EXPECT_EQ(misspelt(en.speller, markdown, Markup::Markdown), texts({"mauntal", "rihgt"}));
    // In HTML the same backticks and brackets are text.
    EXPECT_EQ(misspelt(en.speller, {markdown[0]}, Markup::Html), texts({"teh", "mauntal", "Teh"}));

    RealSpeller cs(QStringLiteral("cs_CZ"));
    ASSERT_TRUE(cs.speller.isActive()) << "hunspell-cs is not installed";
    EXPECT_EQ(misspelt(cs.speller, {QStringLiteral("P\u0159\u00edli\u0161 \u017elu\u0165ou\u010dk\u00fd "
                                                   "k\u016f\u0148 \u00fap\u011bl, zlutoucky k\u00fa\u0148.")},
                       Markup::Html),
              texts({"zlutoucky", "k\u00fa\u0148"}));
    EXPECT_TRUE(cs.speller.suggestions(QStringLiteral("zlutoucky"))
                    .contains(QString::fromUtf8("žluťoučký")));
}

// A dictionary written in ISO 8859-2, found beside the real ones: its words
// are matched and suggested as the letters they are.
TEST(SpellDictionaries, OwnCharacterSetDiscoveryAndTheSystemLanguage)
{
    QTemporaryDir tmp;
    const auto write = [&](const QString &name, const QByteArray &bytes) {
        QFile f(tmp.path() + "/" + name);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    };
    write("xx_ISO.aff", "SET ISO8859-2\nTRY \xBE\xBBluoc\xFDkyz\n");
    write("xx_ISO.dic", "2\n\xBElu\xBBou\xE8k\xFD\nk\xF9\xF2\n"); // žluťoučký, kůň
    write("zz_ZZ.dic", "1\nalone\n");                          // no .aff beside it

    const std::vector<Dictionary> found = findDictionaries({tmp.path(), kSystemFolders[0]});
    QStringList names;
    for (const Dictionary &d : found)
        names << d.name;
    EXPECT_EQ(names, (QStringList{"cs_CZ", "en_US", "xx_ISO"}));

    HunspellDictionary iso(found.back());
    EXPECT_EQ(iso.encoding(), "ISO8859-2");
    EXPECT_TRUE(iso.spell(QString::fromUtf8("žluťoučký")));
    EXPECT_TRUE(iso.spell(QString::fromUtf8("kůň")));
    EXPECT_FALSE(iso.spell(QString::fromUtf8("žluťoučky")));
    EXPECT_FALSE(iso.spell(QString::fromUtf8("kůň♥"))) << "a letter the set lacks";
    EXPECT_TRUE(iso.suggest(QString::fromUtf8("žluťoučky")).contains(QString::fromUtf8("žluťoučký")));

    EXPECT_EQ(dictionaryForLocale(found, QLocale(QStringLiteral("cs_CZ"))), "cs_CZ");
    EXPECT_EQ(dictionaryForLocale(found, QLocale(QStringLiteral("en_GB"))), "en_US");
    EXPECT_EQ(dictionaryForLocale(found, QLocale(QStringLiteral("de_DE"))), "");
}

TEST(SpellWordLists, AddedWordsStayIgnoredOnesLastTheSession)
{
    QTemporaryDir tmp;
    const QString list = tmp.path() + "/personal.dic";
    {
        Speller s(kSystemFolders, list);
        s.configure(true, QStringLiteral("en_US"));
        EXPECT_FALSE(s.isCorrect(u"Tarvel"));
        EXPECT_FALSE(s.isCorrect(u"blogg"));
        s.addToPersonalList(QStringLiteral("Tarvel"));
        s.ignore(QStringLiteral("blogg"));
        EXPECT_TRUE(s.isCorrect(u"Tarvel"));
        EXPECT_TRUE(s.isCorrect(u"TARVEL")) << "capitals as the dictionary's own words";
        EXPECT_TRUE(s.isCorrect(u"blogg"));
        // Another language keeps the personal words.
        s.configure(true, QStringLiteral("cs_CZ"));
        EXPECT_TRUE(s.isCorrect(u"Tarvel"));
        // Off: nothing is wrong.
        s.configure(false, QStringLiteral("cs_CZ"));
        EXPECT_FALSE(s.isActive());
        EXPECT_TRUE(s.isCorrect(u"qwxz"));
    }
    Speller again(kSystemFolders, list);
    again.configure(true, QStringLiteral("en_US"));
    EXPECT_TRUE(again.isCorrect(u"Tarvel"));
    EXPECT_FALSE(again.isCorrect(u"blogg"));
    EXPECT_EQ(again.personalWords(), QStringList{"Tarvel"});

    // Without any dictionary: said once, and checking stays off.
    Speller none({tmp.path() + "/no-dictionaries"}, QString());
    EXPECT_EQ(none.takeUnavailableNotice(), "") << "not asked for yet";
    none.configure(true, QString());
    EXPECT_FALSE(none.isActive());
    EXPECT_NE(none.takeUnavailableNotice(), "");
    none.configure(true, QString());
    EXPECT_EQ(none.takeUnavailableNotice(), "");
}

} // namespace
