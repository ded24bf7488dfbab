#pragma once
// The fields of one post on the Blog tab: date, time and title above the
// editor, and the close-post button beside the title. Read-only in the
// browse look while no post is open; editable in the editing look while one
// is. The form holds only what is shown: the post's file is the post store's.
#include "core/projectsettings.h"

#include <QDate>
#include <QObject>
#include <QString>
#include <functional>
#include <string>

class QAction;
class QDateEdit;
class QHBoxLayout;
class QLineEdit;
class QToolButton;
class QWidget;

namespace tl {

class PostDateEdit;
class PostEditor;
struct CivilDateTime;
struct PictureOffer;

namespace spell {
class Speller;
}

class PostForm : public QObject {
    Q_OBJECT
public:
    // Builds the fields into `place`; `closePost` is the close-post command
    // the button beside the title shows.
    PostForm(QWidget *place, QAction *closePost);

    // What the fields hold, to tell whether an open post changed.
    struct Fields {
        QString title;
        QDate date;
        bool dateEmpty = true;
        QString time;
        QString text;
        bool operator==(const Fields &) const = default;
    };
    Fields fields() const;
    // The day the post is dated: the date field's, or today's by the clock
    // while the field is empty.
    QDate postDate() const;

    void setEditable(bool editable);
    bool isEditable() const;
    // Editing look: the field background of a text field; browse look: the
    // colour of the window's menus and panels.
    void setEditingLook(bool editing);

    // The date field shows the date, the time field the hour and minute.
    void showDateTime(const CivilDateTime &c);
    // The title and the body of a post file (windows-1250 bytes), caret and
    // view at the start.
    void showPost(const std::string &title, const std::string &body);
    void clearTitleAndText();
    void clearText();
    void clearAll();

    // The post as typed, as bytes for its file.
    std::string titleBytes() const;
    std::string bodyBytes() const;
    // The date and time the post is to be saved under: the date field's
    // date with the time field's hour and minute, or the clock's now (its
    // seconds included) when the date field is empty. Throws AppError for a
    // time that is not a valid time.
    double dateTime() const;
    QString dateDisplayFormat() const;

    // Where typing starts: a new post's title; an opened post's text, at its
    // end, with nothing selected anywhere.
    void focusTitle();
    void focusEndOfText();

    // Inserts text at the editor's caret, replacing the selection.
    void insertAtCaret(const QString &text);
    // Wraps the editor's selection in `start` and `end`; the caret goes
    // after `start`.
    void wrapSelection(const QString &start, const QString &end);

    // A command's button in the strip above the editor, after the time.
    void addStripAction(QAction *action);

    // The editor's aids: colouring by the paragraph mode, the speller and
    // where its failures go, and where pictures dropped or pasted go.
    void setParagraphMode(ParagraphMode mode);
    void setSpeller(spell::Speller *speller);
    void setEditorErrorHandler(std::function<void(const QString &)> handler);
    void setPictureHandler(std::function<void(const PictureOffer &)> handler);

signals:
    // The title, date, time or text changed, by typing or by a post shown.
    void changed();

private:
    PostDateEdit *date_ = nullptr;
    QLineEdit *time_ = nullptr;
    QLineEdit *title_ = nullptr;
    QToolButton *closeButton_ = nullptr;
    QHBoxLayout *stripButtons_ = nullptr;
    PostEditor *editor_ = nullptr;
};

} // namespace tl
