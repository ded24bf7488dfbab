#pragma once
#include "ui/prompts.h"

#include <QString>
#include <QStringList>
#include <deque>
#include <string>

namespace tl::test {

// Prompts that record what the program showed and answer as a test says.
// An unscripted question answers Cancel (and is recorded), an unscripted
// picker answers "" (cancelled).
class ScriptedPrompts : public Prompts {
public:
    struct Shown {
        QString kind; // "error", "message", "question", "folder", "file"
        QString title;
        QString text;
        Answer defaultAnswer = Answer::Ok; // questions: the button Enter presses
    };
    void error(const QString &text) override;
    void message(const QString &title, const QString &text) override;
    Answer question(const QString &title, const QString &text, bool withCancel,
                    Answer defaultAnswer = Answer::Yes) override;
    // Recorded as kind "save"; unscripted it answers Cancel.
    Answer saveChanges(const QString &title, const QString &text) override;
    QString chooseFolder(const QString &caption, const QString &startDir) override;
    QString chooseFile(const QString &caption, const QString &startDir,
                       const QString &filter) override;
    // Recorded as kind "text" (its label as the text); unscripted it answers
    // as a cancel would.
    std::optional<QString> askText(const QString &title, const QString &label,
                                   const QString &initial = QString()) override;

    std::deque<Answer> answers;   // next answers to questions
    std::deque<QString> picks;    // next answers to pickers
    std::deque<std::optional<QString>> typed; // next answers to text questions
    std::vector<Shown> shown;     // everything shown, in order

    QStringList errors() const;
    QStringList texts() const;    // the text of every prompt shown, in order
};

// Bytes of a file ("" when missing).
std::string fileBytes(const QString &path);
void writeBytes(const QString &path, const std::string &bytes);

} // namespace tl::test
