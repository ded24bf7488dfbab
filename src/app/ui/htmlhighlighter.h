#pragma once
#include <QSyntaxHighlighter>

namespace tl {

// Colours HTML as it is typed: brackets, tags, attributes, attribute values,
// comments, scripts and character references.
class HtmlHighlighter : public QSyntaxHighlighter {
    Q_OBJECT
public:
    explicit HtmlHighlighter(QTextDocument *doc);

protected:
    void highlightBlock(const QString &text) override;
};

} // namespace tl
