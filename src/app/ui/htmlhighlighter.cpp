#include "app/ui/htmlhighlighter.h"

namespace tl {

HtmlHighlighter::HtmlHighlighter(QTextDocument *doc) : QSyntaxHighlighter(doc) {}

void HtmlHighlighter::highlightBlock(const QString &text)
{
    QTextCharFormat bracket;
    bracket.setForeground(QColor(0x00, 0x00, 0xFF));
    bracket.setFontWeight(QFont::Bold);
    for (int i = 0; i < text.size(); ++i)
        if (text[i] == '<' || text[i] == '>')
            setFormat(i, 1, bracket);
}

} // namespace tl
