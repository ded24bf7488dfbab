#include "ui/posts/editortext.h"

#include "core/cp1250.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextCursor>
#include <QTextDocument>

namespace tl {

void setEditorBytes(QPlainTextEdit *editor, const std::string &body)
{
    editor->setPlainText(decodeCp1250(body));
    editor->moveCursor(QTextCursor::Start);
    editor->ensureCursorVisible();
}

std::string editorBytes(const QPlainTextEdit *editor)
{
    // The raw text keeps every character as typed (the plain text would turn
    // no-break spaces into blanks); its block and line separators become
    // CR LF.
    QString raw = editor->document()->toRawText();
    raw.replace(QChar::ParagraphSeparator, QLatin1String("\r\n"));
    raw.replace(QChar::LineSeparator, QLatin1String("\r\n"));
    return encodeCp1250(raw);
}

void setLineEditBytes(QLineEdit *edit, const std::string &text)
{
    edit->setText(decodeCp1250(text));
    edit->setCursorPosition(0);
}

std::string lineEditBytes(const QLineEdit *edit) { return encodeCp1250(edit->text()); }

} // namespace tl
