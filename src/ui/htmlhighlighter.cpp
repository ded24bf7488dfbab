#include "ui/htmlhighlighter.h"

#include "spell/speller.h"

#include <QGuiApplication>
#include <QPalette>
#include <QTextBlock>

namespace tl {

namespace {

// The block state: the HTML scanner's in bits 0-5, the word scanner's above.
constexpr int kHtmlStateBits = 6;
constexpr int kHtmlStateMask = (1 << kHtmlStateBits) - 1;

int htmlStateOf(int blockState) { return blockState < 0 ? -1 : blockState & kHtmlStateMask; }
int wordStateOf(int blockState) { return blockState < 0 ? -1 : blockState >> kHtmlStateBits; }

} // namespace

HtmlHighlighter::HtmlHighlighter(QTextDocument *doc)
    : QSyntaxHighlighter(doc)
{
    setPalette(QGuiApplication::palette());
}

void HtmlHighlighter::setPalette(const QPalette &palette)
{
    auto fmt = [](QColor colour, bool bold, bool italic) {
        QTextCharFormat f;
        f.setForeground(colour);
        if (bold)
            f.setFontWeight(QFont::Bold);
        if (italic)
            f.setFontItalic(true);
        return f;
    };
    auto &f = formats_;
    f[int(HtmlElement::Bracket)] = fmt(QColor(0x00, 0x00, 0xFF), true, false);
    f[int(HtmlElement::DefaultText)] = QTextCharFormat();
    f[int(HtmlElement::HtmlKeyword)] = fmt(QColor(0x00, 0x00, 0x80), true, false);
    f[int(HtmlElement::HtmlTag)] = fmt(QColor(0x00, 0x80, 0x00), false, true);
    f[int(HtmlElement::HtmlComment)] = fmt(QColor(0x80, 0x80, 0x00), false, true);
    f[int(HtmlElement::HtmlAttribute)] = fmt(QColor(0x00, 0x80, 0x00), false, false);
    f[int(HtmlElement::HtmlAttributeValue)] = fmt(QColor(0x80, 0x80, 0x80), false, false);
    f[int(HtmlElement::PerlScript)] = fmt(QColor(0x00, 0x80, 0x80), false, false);
    f[int(HtmlElement::ScriptTag)] = fmt(QColor(0x80, 0x00, 0x80), true, false);
    f[int(HtmlElement::ScriptTag)].setBackground(palette.color(QPalette::Base));
    // Script content keeps the text colour but uses the small alternate font.
    QTextCharFormat script;
    script.setFontFamilies({ QStringLiteral("MS Sans Serif"),
        QStringLiteral("Microsoft Sans Serif"), QStringLiteral("Sans Serif") });
    script.setFontPointSize(8);
    f[int(HtmlElement::ScriptContent)] = script;
    f[int(HtmlElement::SpecialChars)] = fmt(QColor(0xFF, 0x00, 0xFF), false, false);
    f[int(HtmlElement::UnknownTag)] = fmt(QColor(0xFF, 0x00, 0x00), false, false);

    // Markdown, lightly: the text keeps its colour but for headings, code
    // and links.
    auto &m = markdownFormats_;
    m[int(MarkdownElement::Heading)] = fmt(QColor(0x00, 0x00, 0x80), true, false);
    m[int(MarkdownElement::Emphasis)] = QTextCharFormat();
    m[int(MarkdownElement::Emphasis)].setFontItalic(true);
    m[int(MarkdownElement::Strong)] = QTextCharFormat();
    m[int(MarkdownElement::Strong)].setFontWeight(QFont::Bold);
    m[int(MarkdownElement::Strikethrough)] = QTextCharFormat();
    m[int(MarkdownElement::Strikethrough)].setFontStrikeOut(true);
    QTextCharFormat code = fmt(QColor(0x80, 0x00, 0x00), false, false);
    code.setFontFamilies({ QStringLiteral("Courier New"), QStringLiteral("Monospace") });
    code.setFontFixedPitch(true);
    m[int(MarkdownElement::Code)] = code;
    m[int(MarkdownElement::LinkText)] = fmt(QColor(0x00, 0x00, 0xFF), false, false);
    m[int(MarkdownElement::LinkText)].setFontUnderline(true);
    m[int(MarkdownElement::LinkTarget)] = fmt(QColor(0x80, 0x80, 0x80), false, false);
    if (document())
        rehighlight();
}

void HtmlHighlighter::setMarkup(spell::Markup markup)
{
    if (markup == markup_)
        return;
    markup_ = markup;
    rehighlight();
}

void HtmlHighlighter::setSpeller(spell::Speller *speller)
{
    if (speller_ == speller)
        return;
    if (speller_)
        disconnect(speller_, nullptr, this, nullptr);
    speller_ = speller;
    if (speller_)
        connect(speller_, &spell::Speller::changed, this, &QSyntaxHighlighter::rehighlight);
    rehighlight();
}

spell::TextRange HtmlHighlighter::misspeltWordAt(const QTextBlock &block, int positionInBlock) const
{
    if (!speller_ || !speller_->isActive() || !block.isValid())
        return {};
    const QTextBlock previous = block.previous();
    spell::ScannedLine scanned;
    spell::scanLine(block.text(), wordStateOf(previous.isValid() ? previous.userState() : -1),
                    markup_, scanned);
    for (const spell::TextRange &w : scanned.words) {
        if (positionInBlock < w.start || positionInBlock > w.start + w.length)
            continue;
        if (!speller_->isCorrect(QStringView(block.text()).mid(w.start, w.length)))
            return w;
    }
    return {};
}

void HtmlHighlighter::underline(int start, int length)
{
    // Each stretch of one format keeps it, with the wavy line added.
    const int end = start + length;
    for (int k = start; k < end;) {
        QTextCharFormat f = format(k);
        int e = k + 1;
        while (e < end && format(e) == f)
            ++e;
        f.setUnderlineStyle(QTextCharFormat::SpellCheckUnderline);
        f.setUnderlineColor(QColor(0xFF, 0x00, 0x00));
        setFormat(k, e - k, f);
        k = e;
    }
}

void HtmlHighlighter::highlightBlock(const QString &text)
{
    const int previous = previousBlockState();
    const bool markdown = markup_ == spell::Markup::Markdown;
    const bool spelling = speller_ && speller_->isActive();
    int wordState = 0;
    if (markdown || spelling)
        wordState = spell::scanLine(text, wordStateOf(previous), markup_, scanned_);

    int htmlState;
    if (markdown && scanned_.fencedCode) {
        // Code, whatever it holds; the HTML around the block goes on after it.
        setFormat(0, int(text.size()), markdownFormats_[int(MarkdownElement::Code)]);
        htmlState = std::max(htmlStateOf(previous), 0);
    } else if (markdown) {
        // Code is no HTML: the HTML scanner sees blanks in its place.
        QStringView html = text;
        if (!scanned_.code.empty()) {
            blanked_ = text;
            for (const spell::TextRange &r : scanned_.code)
                std::fill_n(blanked_.begin() + r.start, r.length, QChar(u' '));
            html = blanked_;
        }
        scanMarkdownLine(text, scanned_.code, markdownSpans_);
        for (const MarkdownSpan &m : markdownSpans_)
            if (!m.overHtml)
                setFormat(m.start, m.length, markdownFormats_[int(m.element)]);
        htmlState = scanHtmlLine(html, htmlStateOf(previous), spans_);
        for (const HtmlSpan &s : spans_)
            setFormat(s.start, s.length, formats_[int(s.element)]);
        for (const MarkdownSpan &m : markdownSpans_)
            if (m.overHtml)
                setFormat(m.start, m.length, markdownFormats_[int(m.element)]);
    } else {
        htmlState = scanHtmlLine(text, htmlStateOf(previous), spans_);
        for (const HtmlSpan &s : spans_)
            setFormat(s.start, s.length, formats_[int(s.element)]);
    }

    if (spelling)
        for (const spell::TextRange &w : scanned_.words)
            if (!speller_->isCorrect(QStringView(text).mid(w.start, w.length)))
                underline(w.start, w.length);
    setCurrentBlockState(htmlState | wordState << kHtmlStateBits);
}

} // namespace tl
