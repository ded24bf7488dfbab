#pragma once
#include "core/ini.h"
#include "ui/mainwindow.h"
#include "ui/posteditor.h"
#include "windowfixture.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QPlainTextEdit>
#include <gtest/gtest.h>

#include <ostream>

// Readable failure output for texts.
inline void PrintTo(const QString &s, std::ostream *os) { *os << '"' << s.toStdString() << '"'; }

namespace tl::test {

// A main window in its own program folder, with helpers for the Tags menu and
// the tag sections of its settings file.
class TagsTest : public ::testing::Test {
protected:
    WindowFixture fx;

    QString iniPath() const { return fx.programFolder() + "tarvlit.ini"; }
    void laySettings(const std::string &bytes) { writeBytes(iniPath(), bytes); }
    // The sample settings file: three tags as another program wrote them.
    void laySampleSettings()
    {
        laySettings(fileBytes(QStringLiteral(TL_TEST_DATA_DIR "/tags/shortcuts.ini")));
    }
    MainWindow &start() { return fx.start(); }
    MainWindow &w() { return fx.window(); }
    QPlainTextEdit *editor() { return control<QPlainTextEdit>(w(), "memoOBSAH"); }

    // The entries after "&Setup...", the separator and "More".
    QList<QAction *> tagEntries() { return control<QMenu>(w(), "Tags1")->actions().mid(3); }
    QStringList tagCaptions()
    {
        QStringList out;
        for (QAction *a : tagEntries())
            out << a->text();
        return out;
    }
    QStringList tagShortcuts()
    {
        QStringList out;
        for (QAction *a : tagEntries())
            out << a->shortcut().toString(QKeySequence::PortableText);
        return out;
    }

    // An open post: the editor writable, holding `text`.
    void openPost(const QString &text = QString())
    {
        editor()->setReadOnly(false);
        editor()->setPlainText(text);
    }
    // Puts the caret at `pos`, or selects from `anchor` to `pos`.
    void placeCaret(int pos, int anchor = -1)
    {
        QTextCursor c = editor()->textCursor();
        c.setPosition(anchor < 0 ? pos : anchor);
        if (anchor >= 0)
            c.setPosition(pos, QTextCursor::KeepAnchor);
        editor()->setTextCursor(c);
    }
    QString editorText() { return editor()->toPlainText(); }
    int caret() { return editor()->textCursor().position(); }
    bool hasSelection() { return editor()->textCursor().hasSelection(); }

    std::string stored(const char *section, const std::string &key)
    {
        return iniReadString(iniPath().toStdString(), section, key, "<missing>");
    }
};

} // namespace tl::test
