#include "ui/posts/postform.h"

#include "core/clock.h"
#include "posts/postfile.h"
#include "posts/poststore.h"
#include "ui/posteditor.h"
#include "ui/posts/editortext.h"
#include "ui/posts/postdateedit.h"

#include <QAction>
#include <QApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QTextCursor>
#include <QToolButton>
#include <QVBoxLayout>

namespace tl {

PostForm::PostForm(QWidget *place, QAction *closePost)
    : QObject(place)
{
    auto *layout = new QVBoxLayout(place);
    layout->setContentsMargins(0, 0, 0, 0);
    auto *strip = new QWidget(place);
    auto *grid = new QGridLayout(strip);
    grid->setContentsMargins(2, 2, 2, 2);
    date_ = new PostDateEdit(strip); // may be empty
    date_->setObjectName(QStringLiteral("DateEdit1"));
    date_->setCalendarPopup(true);
    date_->setDisplayFormat(QStringLiteral("dd.MM.yyyy"));
    time_ = new QLineEdit(strip);
    time_->setObjectName(QStringLiteral("timeedit1"));
    time_->setInputMask(QStringLiteral("09:99"));
    time_->setMaximumWidth(60);
    title_ = new QLineEdit(strip);
    title_->setObjectName(QStringLiteral("edtNADPIS"));
    closeButton_ = new QToolButton(strip);
    closeButton_->setObjectName(QStringLiteral("btnCLOSEPOST"));
    closeButton_->setDefaultAction(closePost);
    closeButton_->setAutoRaise(true);
    grid->addWidget(new QLabel(tr("Date:"), strip), 0, 0);
    grid->addWidget(date_, 0, 1);
    grid->addWidget(new QLabel(tr("Time:"), strip), 0, 2);
    grid->addWidget(time_, 0, 3);
    grid->setColumnStretch(4, 1);
    stripButtons_ = new QHBoxLayout;
    stripButtons_->setSpacing(0);
    grid->addLayout(stripButtons_, 0, 5, Qt::AlignRight);
    grid->addWidget(new QLabel(tr("Title:"), strip), 1, 0);
    auto *titleRow = new QHBoxLayout;
    titleRow->addWidget(title_, 1);
    titleRow->addWidget(closeButton_);
    grid->addLayout(titleRow, 1, 1, 1, 5);
    layout->addWidget(strip);
    editor_ = new PostEditor(place);
    editor_->setObjectName(QStringLiteral("memoOBSAH"));
    layout->addWidget(editor_, 1);

    // Typing goes title, editor, date, time.
    QWidget::setTabOrder(title_, editor_);
    QWidget::setTabOrder(editor_, date_);
    QWidget::setTabOrder(date_, time_);
    // The close button is for the mouse only, so that no Tab then Space
    // throws a post away. (Taken out of the tab chain after the order is set:
    // a widget that takes no focus between two others keeps them apart.)
    closeButton_->setFocusPolicy(Qt::NoFocus);

    setEditable(false);
    setEditingLook(false);
    date_->setEmpty();

    connect(title_, &QLineEdit::textChanged, this, &PostForm::changed);
    connect(time_, &QLineEdit::textChanged, this, &PostForm::changed);
    connect(date_, &QDateEdit::dateChanged, this, &PostForm::changed);
    connect(editor_, &QPlainTextEdit::textChanged, this, &PostForm::changed);
}

void PostForm::addStripAction(QAction *action)
{
    auto *button = new QToolButton(title_->parentWidget());
    button->setDefaultAction(action);
    button->setAutoRaise(true);
    // For the mouse; the keyboard has the command's shortcut.
    button->setFocusPolicy(Qt::NoFocus);
    stripButtons_->addWidget(button);
}

void PostForm::setParagraphMode(ParagraphMode mode)
{
    editor_->setParagraphMode(mode);
}

void PostForm::setSpeller(spell::Speller *speller)
{
    editor_->setSpeller(speller);
}

void PostForm::setEditorErrorHandler(std::function<void(const QString &)> handler)
{
    editor_->setErrorHandler(std::move(handler));
}

void PostForm::setPictureHandler(std::function<void(const PictureOffer &)> handler)
{
    editor_->setPictureHandler(std::move(handler));
}

PostForm::Fields PostForm::fields() const
{
    Fields f;
    f.title = title_->text();
    f.dateEmpty = date_->isEmpty();
    f.date = f.dateEmpty ? QDate() : date_->date();
    f.time = time_->text();
    f.text = editor_->toPlainText();
    return f;
}

QDate PostForm::postDate() const
{
    if (!date_->isEmpty())
        return date_->date();
    const CivilDateTime now = civilFromDateTime(clock().now());
    return QDate(now.year, now.month, now.day);
}

void PostForm::setEditable(bool editable)
{
    title_->setReadOnly(!editable);
    date_->setReadOnly(!editable);
    time_->setReadOnly(!editable);
    editor_->setReadOnly(!editable);
}

bool PostForm::isEditable() const
{
    return !editor_->isReadOnly();
}

void PostForm::setEditingLook(bool editing)
{
    const QPalette app = QApplication::palette();
    const QColor c = editing ? app.color(QPalette::Base) : app.color(QPalette::Window);
    for (QWidget *f : { static_cast<QWidget *>(title_), static_cast<QWidget *>(date_),
             static_cast<QWidget *>(time_), static_cast<QWidget *>(editor_) }) {
        QPalette p = f->palette();
        p.setColor(QPalette::Base, c);
        f->setPalette(p);
    }
}

void PostForm::showDateTime(const CivilDateTime &c)
{
    date_->setDate(QDate(c.year, c.month, c.day));
    time_->setText(QString::fromLatin1(timeText(c).c_str()));
}

void PostForm::showPost(const std::string &title, const std::string &body)
{
    setLineEditBytes(title_, title);
    setEditorBytes(editor_, body);
}

void PostForm::clearTitleAndText()
{
    title_->clear();
    editor_->clear();
}

void PostForm::clearText()
{
    editor_->clear();
}

void PostForm::clearAll()
{
    title_->clear();
    time_->clear();
    date_->setEmpty();
    editor_->clear();
}

std::string PostForm::titleBytes() const
{
    return lineEditBytes(title_);
}

std::string PostForm::bodyBytes() const
{
    return editorBytes(editor_);
}

double PostForm::dateTime() const
{
    if (date_->isEmpty())
        return clock().now(); // the clock names the post, seconds included
    int hour = 0, minute = 0;
    parseTimeText(time_->text().toStdString(), hour, minute);
    const QDate d = date_->date();
    return dateTimeFromCivil(d.year(), d.month(), d.day(), hour, minute, 0);
}

QString PostForm::dateDisplayFormat() const
{
    return date_->displayFormat();
}

void PostForm::focusTitle()
{
    title_->setFocus();
}

void PostForm::focusEndOfText()
{
    title_->deselect();
    editor_->setFocus();
    QTextCursor c = editor_->textCursor();
    c.movePosition(QTextCursor::End);
    editor_->setTextCursor(c);
    editor_->ensureCursorVisible();
}

void PostForm::insertAtCaret(const QString &text)
{
    editor_->insertPlainText(text);
}

void PostForm::wrapSelection(const QString &start, const QString &end)
{
    QTextCursor cursor = editor_->textCursor();
    const int noted = cursor.selectionStart();
    cursor.beginEditBlock();
    cursor.insertText(start + cursor.selectedText() + end);
    cursor.endEditBlock();
    cursor.setPosition(noted + static_cast<int>(start.size()));
    editor_->setTextCursor(cursor);
}

} // namespace tl
