#pragma once
// File text (windows-1250 bytes) in and out of the editor and the line edits.
// Decoding and encoding go through the program's windows-1250 table, so every
// byte survives a round trip and a typed character the code page lacks is
// written as an HTML numeric character reference.
#include <string>

class QLineEdit;
class QPlainTextEdit;

namespace tl {

// Shows the body (line ends CR LF, CR or LF) in the editor, caret and view at
// the start.
void setEditorBytes(QPlainTextEdit *editor, const std::string &body);
// The editor's whole text as bytes with CR LF line ends.
std::string editorBytes(const QPlainTextEdit *editor);

void setLineEditBytes(QLineEdit *edit, const std::string &text);
std::string lineEditBytes(const QLineEdit *edit);

} // namespace tl
