#include "ui/posteditor.h"

#include "ui/htmlhighlighter.h"

#include "core/errors.h"
#include "spell/speller.h"

#include <QApplication>
#include <QBuffer>
#include <QContextMenuEvent>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QTextBlock>

#include <algorithm>

namespace tl {

PostEditor::PostEditor(QWidget *parent)
    : QPlainTextEdit(parent)
{
    QFont f(QStringLiteral("Arial"));
    f.setStyleHint(QFont::SansSerif); // where Arial is missing, a metric twin stands in
    f.setPixelSize(13);
    setFont(f);
    // Wrap at the widget's edge between words; a run too long for a line is
    // broken anywhere rather than scrolled.
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    highlighter_ = new HtmlHighlighter(document());
    setReadOnly(true);
    applyLook();
}

void PostEditor::setRightMargin(int columns)
{
    rightMargin_ = columns;
    viewport()->update();
}

int PostEditor::rightMarginX() const
{
    return qRound(contentOffset().x() + document()->documentMargin()
        + qreal(rightMargin_) * fontMetrics().averageCharWidth());
}

void PostEditor::setParagraphMode(ParagraphMode mode)
{
    highlighter_->setMarkup(mode == ParagraphMode::Markdown ? spell::Markup::Markdown
                                                            : spell::Markup::Html);
}

void PostEditor::setSpeller(spell::Speller *speller) { highlighter_->setSpeller(speller); }

QMenu *PostEditor::createContextMenu(const QPoint &viewportPos)
{
    QMenu *menu = createStandardContextMenu(viewportPos);
    spell::Speller *speller = highlighter_->speller();
    const QTextCursor at = cursorForPosition(viewportPos);
    const QTextBlock block = at.block();
    const spell::TextRange word = highlighter_->misspeltWordAt(block, at.positionInBlock());
    if (!speller || word.length == 0)
        return menu;

    const QString text = block.text().mid(word.start, word.length);
    const int from = block.position() + word.start;
    QAction *first = menu->actions().value(0);
    const auto insert = [&](QAction *a) { menu->insertAction(first, a); };
    const QStringList suggestions = speller->suggestions(text);
    for (const QString &suggestion : suggestions) {
        auto *a = new QAction(suggestion, menu);
        a->setEnabled(!isReadOnly());
        connect(a, &QAction::triggered, this, [this, from, text, suggestion] {
            // Only while the word is still where the menu found it.
            QTextCursor c(document());
            c.setPosition(from);
            c.setPosition(from + int(text.size()), QTextCursor::KeepAnchor);
            if (isReadOnly() || c.selectedText() != text)
                return;
            c.insertText(suggestion);
        });
        insert(a);
    }
    if (suggestions.isEmpty()) {
        auto *none = new QAction(tr("(no suggestions)"), menu);
        none->setEnabled(false);
        insert(none);
    }
    auto *add = new QAction(tr("Add to dictionary"), menu);
    connect(add, &QAction::triggered, this, [this, speller, text] {
        try {
            speller->addToPersonalList(text);
        } catch (const AppError &e) {
            if (errorHandler_)
                errorHandler_(QString::fromStdString(e.what()));
        }
    });
    insert(add);
    auto *ignore = new QAction(tr("Ignore"), menu);
    connect(ignore, &QAction::triggered, this, [speller, text] { speller->ignore(text); });
    insert(ignore);
    if (first)
        menu->insertSeparator(first);
    return menu;
}

void PostEditor::contextMenuEvent(QContextMenuEvent *e)
{
    QMenu *menu = createContextMenu(e->pos());
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(e->globalPos());
}

std::optional<PictureOffer> PostEditor::pictureOffer(const QMimeData *data)
{
    if (!data)
        return std::nullopt;
    if (data->hasUrls()) {
        PictureOffer offer;
        for (const QUrl &url : data->urls()) {
            const QString file = url.isLocalFile() ? url.toLocalFile() : QString();
            if (file.isEmpty() || !QFileInfo(file).isFile()
                || QImageReader::imageFormat(file).isEmpty())
                return std::nullopt;
            offer.files << file;
        }
        if (!offer.files.isEmpty())
            return offer;
    }
    if (data->hasText() && !data->text().trimmed().isEmpty())
        return std::nullopt;
    static const char *const kinds[][2] = { { "image/png", "picture.png" },
        { "image/jpeg", "picture.jpg" }, { "image/webp", "picture.webp" } };
    for (const auto &kind : kinds) {
        const QByteArray bytes = data->data(QString::fromLatin1(kind[0]));
        if (!bytes.isEmpty())
            return PictureOffer { {}, bytes, QString::fromLatin1(kind[1]) };
    }
    if (data->hasImage()) {
        const QImage image = qvariant_cast<QImage>(data->imageData());
        QByteArray bytes;
        QBuffer buffer(&bytes);
        if (!image.isNull() && buffer.open(QIODevice::WriteOnly) && image.save(&buffer, "PNG"))
            return PictureOffer { {}, bytes, QStringLiteral("picture.png") };
    }
    return std::nullopt;
}

bool PostEditor::canInsertFromMimeData(const QMimeData *source) const
{
    return (pictureHandler_ && pictureOffer(source))
        || QPlainTextEdit::canInsertFromMimeData(source);
}

void PostEditor::insertFromMimeData(const QMimeData *source)
{
    std::optional<PictureOffer> offer;
    if (pictureHandler_ && !isReadOnly())
        offer = pictureOffer(source);
    if (!offer) {
        QPlainTextEdit::insertFromMimeData(source);
        return;
    }
    // Not handled inside the drop: a question asked there would keep the
    // program the picture came from waiting for the drag to end.
    const int at = textCursor().position();
    QMetaObject::invokeMethod(
        this,
        [this, at, offer = *offer] {
            if (isReadOnly() || !pictureHandler_)
                return;
            if (textCursor().position() != at) {
                QTextCursor c = textCursor();
                c.setPosition(std::min(at, document()->characterCount() - 1));
                setTextCursor(c);
            }
            pictureHandler_(offer);
        },
        Qt::QueuedConnection);
}

void PostEditor::setEditable(bool editable)
{
    setReadOnly(!editable);
    applyLook(); // in case the state did not change but the look was altered
}

QColor PostEditor::menuColour()
{
    return QApplication::palette("QMenu").color(QPalette::Active, QPalette::Window);
}

QColor PostEditor::editColour()
{
    return QApplication::palette("QPlainTextEdit").color(QPalette::Active, QPalette::Base);
}

void PostEditor::applyLook()
{
    QPalette p = palette();
    p.setColor(QPalette::Base, isReadOnly() ? menuColour() : editColour());
    setPalette(p);
}

bool PostEditor::event(QEvent *e)
{
    const bool result = QPlainTextEdit::event(e);
    // The look follows the read-only state however it is switched. A palette
    // set from outside stands until the next switch.
    if (e->type() == QEvent::ReadOnlyChange)
        applyLook();
    return result;
}

void PostEditor::paintEvent(QPaintEvent *e)
{
    QPlainTextEdit::paintEvent(e);
    if (rightMargin_ <= 0)
        return;
    const int x = rightMarginX();
    if (x < 0 || x >= viewport()->width())
        return;
    QPainter p(viewport());
    QPen pen(Qt::gray);
    pen.setStyle(Qt::DotLine);
    p.setPen(pen);
    p.drawLine(x, 0, x, viewport()->height());
}

bool PostEditor::isWordSeparator(QChar c)
{
    switch (c.unicode()) {
    case u'\t':
    case u'\n':
    case u'\r':
    case u' ':
    case u'$':
    case u'%':
    case u'&':
    case u',':
    case u'.':
    case u'/':
    case u':':
    case u';':
    case u'<':
    case u'=':
    case u'>':
    case QChar::ParagraphSeparator: // a line end inside the document
    case QChar::LineSeparator:
        return true;
    default:
        return false;
    }
}

int PostEditor::nextWordStart(int pos) const
{
    const QTextDocument *d = document();
    const int end = d->characterCount() - 1;
    pos = std::clamp(pos, 0, std::max(end, 0));
    while (pos < end && !isWordSeparator(d->characterAt(pos)))
        ++pos;
    while (pos < end && isWordSeparator(d->characterAt(pos)))
        ++pos;
    return pos;
}

int PostEditor::previousWordStart(int pos) const
{
    const QTextDocument *d = document();
    pos = std::clamp(pos, 0, std::max(d->characterCount() - 1, 0));
    while (pos > 0 && isWordSeparator(d->characterAt(pos - 1)))
        --pos;
    while (pos > 0 && !isWordSeparator(d->characterAt(pos - 1)))
        --pos;
    return pos;
}

// Word-wise movement, selection and deletion by the editor's own separators.
bool PostEditor::moveByWord(QKeyEvent *e)
{
    bool forward = true;
    auto mode = QTextCursor::MoveAnchor;
    bool erase = false;
    if (e->matches(QKeySequence::MoveToNextWord)) {
    } else if (e->matches(QKeySequence::MoveToPreviousWord)) {
        forward = false;
    } else if (e->matches(QKeySequence::SelectNextWord)) {
        mode = QTextCursor::KeepAnchor;
    } else if (e->matches(QKeySequence::SelectPreviousWord)) {
        forward = false;
        mode = QTextCursor::KeepAnchor;
    } else if (e->matches(QKeySequence::DeleteEndOfWord)) {
        erase = true;
    } else if (e->matches(QKeySequence::DeleteStartOfWord)) {
        forward = false;
        erase = true;
    } else {
        return false;
    }
    if (isReadOnly() && (erase || !(textInteractionFlags() & Qt::TextSelectableByKeyboard)))
        return false; // the base class ignores it as it should
    QTextCursor c = textCursor();
    const int target = forward ? nextWordStart(c.position()) : previousWordStart(c.position());
    if (erase) {
        if (!c.hasSelection())
            c.setPosition(target, QTextCursor::KeepAnchor);
        c.removeSelectedText();
    } else {
        c.setPosition(target, mode);
    }
    setTextCursor(c);
    ensureCursorVisible();
    return true;
}

void PostEditor::keyPressEvent(QKeyEvent *e)
{
    if (moveByWord(e)) {
        e->accept();
        return;
    }
    QPlainTextEdit::keyPressEvent(e);
}

void PostEditor::mouseDoubleClickEvent(QMouseEvent *e)
{
    QPlainTextEdit::mouseDoubleClickEvent(e);
    if (e->button() != Qt::LeftButton)
        return;
    // Select the word under the pointer, bounded by the editor's separators.
    const QTextDocument *d = document();
    const int end = d->characterCount() - 1;
    const int p = cursorForPosition(e->position().toPoint()).position();
    const bool onWord = (p < end && !isWordSeparator(d->characterAt(p)))
        || (p > 0 && !isWordSeparator(d->characterAt(p - 1)));
    if (!onWord)
        return;
    int from = p;
    while (from > 0 && !isWordSeparator(d->characterAt(from - 1)))
        --from;
    int to = p;
    while (to < end && !isWordSeparator(d->characterAt(to)))
        ++to;
    QTextCursor c = textCursor();
    c.setPosition(from);
    c.setPosition(to, QTextCursor::KeepAnchor);
    setTextCursor(c);
}

} // namespace tl
