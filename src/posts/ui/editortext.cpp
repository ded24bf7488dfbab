#include "posts/ui/editortext.h"

#include "app/core/cp1250.h"

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
    // no-break spaces into blanks); blocks are separated by U+2029.
    const QString raw = editor->document()->toRawText();
    std::string out;
    out.reserve(static_cast<std::size_t>(raw.size()) + 64);
    qsizetype start = 0;
    const qsizetype n = raw.size();
    for (qsizetype i = 0; i <= n; ++i) {
        if (i == n || raw[i] == QChar::ParagraphSeparator || raw[i] == QChar::LineSeparator) {
            out += encodeCp1250(raw.mid(start, i - start));
            if (i < n)
                out += "\r\n";
            start = i + 1;
        }
    }
    return out;
}

void setLineEditBytes(QLineEdit *edit, const std::string &text)
{
    edit->setText(decodeCp1250(text));
    edit->setCursorPosition(0);
}

std::string lineEditBytes(const QLineEdit *edit) { return encodeCp1250(edit->text()); }

} // namespace tl
