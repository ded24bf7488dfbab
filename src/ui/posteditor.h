#pragma once
#include "core/projectsettings.h"

#include <QByteArray>
#include <QPlainTextEdit>
#include <QStringList>

#include <functional>
#include <optional>

class QMenu;
class QMimeData;

namespace tl {

class HtmlHighlighter;

namespace spell {
class Speller;
}

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
//
// The text is coloured as HTML, or as Markdown in the project's Markdown mode
// (setParagraphMode). With a speller (setSpeller) that is active, misspelt
// words get a red wavy line, and the context menu over one offers the
// speller's suggestions, "Add to dictionary" and "Ignore".
// A picture dropped or pasted onto the editor: image files (known by their
// content, whatever their names), or picture data from the clipboard (a
// screenshot), which its copies name after `name`.
struct PictureOffer {
    QStringList files;
    QByteArray data;
    QString name;
};

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

    // The project's paragraph mode: Markdown colours Markdown, any other
    // mode HTML.
    void setParagraphMode(ParagraphMode mode);
    // The speller whose judgement the editor shows; null for none. The
    // speller must outlive the editor or be set to null first.
    void setSpeller(spell::Speller *speller);
    // Where a failure of a context-menu command goes (the personal word list
    // that cannot be written): the window shows it in its error box.
    void setErrorHandler(std::function<void(const QString &)> handler)
    {
        errorHandler_ = std::move(handler);
    }

    // Where pictures dropped or pasted onto the editable editor go, instead
    // of their file names as text. The handler runs once the drop or paste
    // is over (it may ask questions), with the caret where the drop put it.
    void setPictureHandler(std::function<void(const PictureOffer &)> handler)
    {
        pictureHandler_ = std::move(handler);
    }
    // The picture the data offers: local files that are all pictures, or,
    // when no text comes with it, picture data. Text wins over picture data,
    // so cells copied from a spreadsheet (which bring a picture of
    // themselves) paste as text.
    static std::optional<PictureOffer> pictureOffer(const QMimeData *data);

    // The context menu for a point of the viewport: the standard one, with
    // the spelling entries first when the point is on a misspelt word
    // (suggestions, which replace the word while the editor is editable,
    // "Add to dictionary", "Ignore"). The caller owns it.
    QMenu *createContextMenu(const QPoint &viewportPos);

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
    void contextMenuEvent(QContextMenuEvent *e) override;
    bool canInsertFromMimeData(const QMimeData *source) const override;
    void insertFromMimeData(const QMimeData *source) override;

private:
    void applyLook();
    bool moveByWord(QKeyEvent *e);

    int rightMargin_ = 80;
    HtmlHighlighter *highlighter_ = nullptr;
    std::function<void(const QString &)> errorHandler_;
    std::function<void(const PictureOffer &)> pictureHandler_;
};

} // namespace tl
