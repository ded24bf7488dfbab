#include "app/ui/posteditor.h"

#include "app/ui/htmlhighlighter.h"

#include <QPainter>
#include <QScrollBar>

namespace tl {

PostEditor::PostEditor(QWidget *parent) : QPlainTextEdit(parent)
{
    QFont f(QStringLiteral("Arial"));
    f.setPixelSize(13);
    setFont(f);
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    highlighter_ = new HtmlHighlighter(document());
}

void PostEditor::setRightMargin(int columns)
{
    rightMargin_ = columns;
    viewport()->update();
}

void PostEditor::paintEvent(QPaintEvent *e)
{
    QPlainTextEdit::paintEvent(e);
    if (rightMargin_ <= 0)
        return;
    QPainter p(viewport());
    const int x = static_cast<int>(fontMetrics().horizontalAdvance(QLatin1Char('x')) * rightMargin_
                                   + document()->documentMargin() - horizontalScrollBar()->value());
    QPen pen(Qt::gray);
    pen.setStyle(Qt::DotLine);
    p.setPen(pen);
    p.drawLine(x, 0, x, viewport()->height());
}

} // namespace tl
