// What spell checking adds to typing in the post editor: a post of about
// 100 KB in a shown editor (offscreen), typed into with and without a speller
// (the en_US dictionary of hunspell-en-us, or the one named), the two taking
// turns. The post is paragraphs of one line each: words drawn from the
// dictionary's own word list (some 6,000 different ones), one word in 40
// misspelt (two letters swapped), and a tag, a link or an entity in every
// sentence.
//
// Measured, each key press as the window gets it (key press and release
// events, then the viewport painted at once):
//   - opening the post (setPlainText): every line coloured and, with the
//     speller, every word looked up for the first time;
//   - a letter typed into a word in the middle of the post, and taken back
//     with Backspace: one line coloured again;
//   - "<!--" typed at the start of a line in the middle of the post and taken
//     back: the "!" and each "-" turn every line below into a comment and
//     back, so every line after it is coloured again (the worst case).
// Printed: medians and the 95th percentile, in milliseconds, and what the
// speller adds.
//
//   bench_spell_keypress [dictionary] [--presses N]   default en_US, 200
// Runs on the offscreen platform unless QT_QPA_PLATFORM says otherwise.

#include "spell/speller.h"
#include "ui/posteditor.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QTemporaryDir>
#include <QTextBlock>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace tl;

namespace {

double percentile(std::vector<double> v, double p)
{
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<std::size_t>(p * double(v.size())))];
}

// Plain lower-case words of a dictionary's word list ("word/FLAGS" lines).
QStringList dictionaryWords(const QString &dicPath)
{
    QFile f(dicPath);
    QStringList words;
    if (!f.open(QIODevice::ReadOnly))
        return words;
    const QStringList lines = QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'));
    for (int i = 1; i < lines.size(); i += 7) { // every seventh: a spread of the list
        const QString w = lines[i].section(QLatin1Char('/'), 0, 0).trimmed();
        if (w.size() >= 3 && w.size() <= 10 && w == w.toLower()
            && std::all_of(w.begin(), w.end(), [](QChar c) { return c.isLetter(); }))
            words << w;
    }
    return words;
}

// About 100 KB of prose: paragraphs of six sentences, one line each.
QString makePost(const QStringList &words)
{
    static const char *const markup[] = {"<b>%1</b>", "<a href=\"http://www.example.com/%1\">%1</a>",
                                         "%1 &amp;", "<i class=\"note\">%1</i>"};
    QString post;
    quint32 x = 12345;
    const auto next = [&x] { return x = x * 1664525u + 1013904223u, x >> 8; };
    int count = 0;
    while (post.size() < 100 * 1024) {
        for (int sentence = 0; sentence < 6; ++sentence) {
            for (int k = 0; k < 12; ++k) {
                QString w = words[int(next() % quint32(words.size()))];
                if (++count % 40 == 0)
                    std::swap(w[1], w[2]); // misspelt (or, now and then, another word)
                if (k == 0)
                    w[0] = w[0].toUpper();
                if (k == 5)
                    w = QString::fromLatin1(markup[next() % 4]).arg(w);
                post += w + (k == 11 ? QStringLiteral(". ") : QStringLiteral(" "));
            }
        }
        post += QStringLiteral("\n\n");
    }
    return post;
}

void press(PostEditor &editor, int key, const QString &text)
{
    QKeyEvent down(QEvent::KeyPress, key, Qt::NoModifier, text);
    QKeyEvent up(QEvent::KeyRelease, key, Qt::NoModifier, text);
    QApplication::sendEvent(&editor, &down);
    QApplication::sendEvent(&editor, &up);
    editor.viewport()->repaint();
}

// Milliseconds one key press takes.
double timedPress(PostEditor &editor, int key, const QString &text)
{
    QElapsedTimer t;
    t.start();
    press(editor, key, text);
    return double(t.nsecsElapsed()) / 1e6;
}

void placeCursor(PostEditor &editor, int block, int column)
{
    QTextCursor c(editor.document()->findBlockByNumber(block));
    c.movePosition(QTextCursor::Right, QTextCursor::MoveAnchor, column);
    editor.setTextCursor(c);
}

struct Figures {
    std::vector<double> open, letter, comment;
};

void measure(PostEditor &editor, spell::Speller *speller, const QString &post, int presses,
             Figures &f)
{
    // Emptied first: setting the speller colours the text the editor holds.
    editor.clear();
    editor.setSpeller(speller);
    QElapsedTimer t;
    t.start();
    editor.setPlainText(post);
    editor.viewport()->repaint();
    f.open.push_back(double(t.nsecsElapsed()) / 1e6);
    int middle = editor.document()->blockCount() / 2;
    if (editor.document()->findBlockByNumber(middle).text().isEmpty())
        ++middle;
    // A letter inside a word of a paragraph in the middle, and back.
    const int column = int(editor.document()->findBlockByNumber(middle).text().indexOf(u' ', 40)) - 2;
    placeCursor(editor, middle, column);
    for (int i = 0; i < presses; ++i) {
        f.letter.push_back(timedPress(editor, Qt::Key_X, QStringLiteral("x")));
        f.letter.push_back(timedPress(editor, Qt::Key_Backspace, QString()));
    }
    // "<!--" at the start of a line in the middle, and back.
    QTextBlock last = editor.document()->lastBlock();
    while (last.text().isEmpty())
        last = last.previous();
    for (int i = 0; i < presses / 10; ++i) {
        placeCursor(editor, middle, 0);
        press(editor, Qt::Key_Less, QStringLiteral("<"));
        f.comment.push_back(timedPress(editor, Qt::Key_Exclam, QStringLiteral("!")));
        f.comment.push_back(timedPress(editor, Qt::Key_Minus, QStringLiteral("-")));
        f.comment.push_back(timedPress(editor, Qt::Key_Minus, QStringLiteral("-")));
        if (i == 0 && !last.layout()->formats().value(0).format.fontItalic()) {
            std::fprintf(stderr, "the comment did not reach the last line: %s / %s\n",
                         qPrintable(editor.document()->findBlockByNumber(middle).text().left(20)),
                         qPrintable(last.text().left(20)));
            std::exit(1);
        }
        for (int k = 0; k < 4; ++k)
            f.comment.push_back(timedPress(editor, Qt::Key_Backspace, QString()));
    }
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QString language = QStringLiteral("en_US");
    int presses = 200;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == "--presses" && i + 1 < args.size())
            presses = args[++i].toInt();
        else
            language = args[i];
    }

    QTemporaryDir tmp;
    spell::Speller speller(spell::dictionaryFolders(), tmp.path() + "/personal.dic");
    speller.configure(true, language);
    if (!speller.isActive()) {
        std::fprintf(stderr, "no dictionary %s\n", qPrintable(language));
        return 1;
    }
    const QString dic = std::find_if(speller.dictionaries().begin(), speller.dictionaries().end(),
                                     [&](const spell::Dictionary &d) { return d.name == language; })
                            ->dicPath;
    const QString post = makePost(dictionaryWords(dic));

    PostEditor editor;
    editor.resize(900, 700);
    editor.show();
    editor.setEditable(true);
    Figures off, on;
    for (int round = 0; round < 4; ++round) {
        // The two take turns; the speller's first opening finds every word new.
        if (round % 2 == 0) {
            measure(editor, nullptr, post, presses, off);
            measure(editor, &speller, post, presses, on);
        } else {
            measure(editor, &speller, post, presses, on);
            measure(editor, nullptr, post, presses, off);
        }
    }
    int misspelt = 0;
    editor.setSpeller(&speller);
    for (QTextBlock b = editor.document()->begin(); b.isValid(); b = b.next())
        for (const auto &r : b.layout()->formats())
            if (r.format.underlineStyle() == QTextCharFormat::SpellCheckUnderline)
                ++misspelt;

    std::printf("post of %lld characters, %d lines, %d stretches underlined, dictionary %s\n",
                static_cast<long long>(post.size()), editor.document()->blockCount(), misspelt,
                qPrintable(speller.language()));
    std::printf("%-34s %10s %10s %10s\n", "ms (median / 95th percentile)", "no speller", "speller",
                "added");
    const auto row = [](const char *what, const std::vector<double> &a, const std::vector<double> &b) {
        const double m0 = percentile(a, 0.5), m1 = percentile(b, 0.5);
        const double p0 = percentile(a, 0.95), p1 = percentile(b, 0.95);
        std::printf("%-34s %4.2f/%5.2f %4.2f/%5.2f %4.2f/%5.2f\n", what, m0, p0, m1, p1, m1 - m0, p1 - p0);
    };
    row("open the post (setPlainText)", off.open, on.open);
    row("letter typed or taken back", off.letter, on.letter);
    row("\"<!--\" typed or taken back", off.comment, on.comment);
    std::printf("first opening with the speller (every word new): %.1f ms\n", on.open.front());
    return 0;
}
