#pragma once
#include <QPlainTextEdit>

namespace tl {

class HtmlHighlighter;

// The post editor: plain text with HTML colouring, Arial 13 px, word wrap,
// both scroll bars and a grey dotted right-margin line.
//
// It has two looks that follow its read-only state, however that is set
// (setEditable or QPlainTextEdit::setReadOnly): editable on the base colour,
// read-only on the menu colour. setEditable also restores the look when it
// was changed from outside. A new editor is read-only, as the post editor
// is until a post is opened.
//
// Words, for word-wise cursor movement (Ctrl+arrows), Ctrl+Backspace/Delete and
// double-click selection, are separated by tab, line end, blank and $%&,./:;<=>.
class PostEditor : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit PostEditor(QWidget *parent = nullptr);

    // Column of the right-margin line, in average characters of the editor's
    // font; 0 or less hides the line.
    void setRightMargin(int columns);
    int rightMargin() const { return rightMargin_; }
    // Horizontal position of the right-margin line in viewport coordinates.
    int rightMarginX() const;

    HtmlHighlighter *highlighter() const { return highlighter_; }

    // Editable with the base colour behind the text, or read-only on the menu
    // colour.
    void setEditable(bool editable);
    bool isEditable() const { return !isReadOnly(); }

    // The background of read-only fields ("menu colour") and of editable ones.
    static QColor menuColour();
    static QColor editColour();

    static bool isWordSeparator(QChar c);
    // Start of the next word after `pos`, and of the word at or before `pos`.
    int nextWordStart(int pos) const;
    int previousWordStart(int pos) const;

protected:
    bool event(QEvent *e) override;
    void paintEvent(QPaintEvent *e) override;
    void keyPressEvent(QKeyEvent *e) override;
    void mouseDoubleClickEvent(QMouseEvent *e) override;

private:
    void applyLook();
    bool moveByWord(QKeyEvent *e);

    int rightMargin_ = 80;
    HtmlHighlighter *highlighter_ = nullptr;
};

} // namespace tl
