#pragma once
#include <QPlainTextEdit>

namespace tl {

class HtmlHighlighter;

// The post editor: plain text with HTML colouring, word wrap and a grey dotted
// right-margin line.
class PostEditor : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit PostEditor(QWidget *parent = nullptr);
    // Column of the right-margin line, in characters of the editor's font.
    void setRightMargin(int columns);
    int rightMargin() const { return rightMargin_; }
    HtmlHighlighter *highlighter() const { return highlighter_; }

protected:
    void paintEvent(QPaintEvent *e) override;

private:
    int rightMargin_ = 80;
    HtmlHighlighter *highlighter_ = nullptr;
};

} // namespace tl
