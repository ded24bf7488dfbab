#pragma once
#include <QString>

#include <optional>

class QWidget;

namespace tl {

// Every message box, question and picker the program shows goes through this
// interface, so tests can script the answers and record what was shown.
class Prompts {
public:
    enum class Answer { Yes, No, Cancel, Ok };
    virtual ~Prompts() = default;
    // Error box with the failure's message.
    virtual void error(const QString &text) = 0;
    // Notice with one OK button.
    virtual void message(const QString &title, const QString &text) = 0;
    // Confirmation; with `withCancel` the buttons are "&Yes", "&No", "Cancel",
    // else "&Yes", "&No". `defaultAnswer` is the button Enter presses.
    virtual Answer question(const QString &title, const QString &text, bool withCancel,
                            Answer defaultAnswer = Answer::Yes) = 0;
    // A changed document about to be closed: "&Save" (answers Yes, the
    // default), "&Discard" (answers No) and "Cancel" (also Escape).
    virtual Answer saveChanges(const QString &title, const QString &text) = 0;
    // Pickers; an empty result means the user cancelled.
    virtual QString chooseFolder(const QString &caption, const QString &startDir) = 0;
    virtual QString chooseFile(const QString &caption, const QString &startDir,
                               const QString &filter) = 0;
    // A line of text asked for, `initial` filled in: what was typed (an
    // empty text is an answer too), or nothing when the user cancelled.
    virtual std::optional<QString> askText(
        const QString &title, const QString &label, const QString &initial = QString())
        = 0;
};

// The real prompts: Qt dialogs over the given parent window.
class QtPrompts : public Prompts {
public:
    explicit QtPrompts(QWidget *parent) : parent_(parent) {}
    void error(const QString &text) override;
    void message(const QString &title, const QString &text) override;
    Answer question(const QString &title, const QString &text, bool withCancel,
                    Answer defaultAnswer = Answer::Yes) override;
    Answer saveChanges(const QString &title, const QString &text) override;
    QString chooseFolder(const QString &caption, const QString &startDir) override;
    QString chooseFile(const QString &caption, const QString &startDir,
                       const QString &filter) override;
    std::optional<QString> askText(
        const QString &title, const QString &label, const QString &initial = QString()) override;

private:
    QWidget *parent_;
};

// Converts a filter of the form "HTML Templates (*.htm*)|*.htm*" into the
// form Qt's file dialog takes ("HTML Templates (*.htm*)").
QString qtFileFilter(const QString &filter);

} // namespace tl
