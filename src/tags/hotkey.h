#pragma once
// Hotkeys of tag shortcuts and their text form.
//
// The text form is the program's own, the same for reading and writing:
// the modifiers "Shift+", "Ctrl+" and "Alt+" in this order, then the key's
// name: a letter A-Z or digit 0-9 as itself (a keypad digit as the plain
// digit), "F1" to "F24", "BkSp", "Tab", "Enter", "Esc", "Space", "PgUp",
// "PgDn", "End", "Home", "Left", "Up", "Right", "Down", "Ins", "Del". Any
// other key that types one visible character is named by that character
// (",", "+", "É"), as long as the settings file's character set holds it.
// Keys without such a name have no text form and cannot be a hotkey.
//
// Reading accepts the modifiers in any order and letter case, "^" for
// "Ctrl+", and the key name in any letter case. An empty or unreadable text
// means no hotkey. The toolkit's own text form differs in order and names
// ("Ctrl+Shift+B", "Backspace") and is never stored.
#include <QKeyCombination>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

namespace tl {

// The form every hotkey is compared and stored in: only the Shift, Ctrl and
// Alt modifiers; Backtab is Tab, the keypad's Enter is Enter.
QKeyCombination normalizeHotkey(QKeyCombination key);

// The text form, or "" when the key has no name (or is no key at all).
QString hotkeyToText(QKeyCombination key);
// The hotkey a text names, or nothing for an empty or unreadable text.
std::optional<QKeyCombination> hotkeyFromText(const QString &text);

// The key name alone ("BkSp", "F24", "B"), "" when the key has none.
QString hotkeyKeyName(int key);

// What the hotkey field makes of a key press: nothing for a modifier pressed
// on its own or a key without a name; a key pressed alone or with Shift
// alone is taken as Alt plus that key.
std::optional<QKeyCombination> hotkeyFromKeyPress(int key, Qt::KeyboardModifiers modifiers);

// A shortcut the window's own commands or menus hold; tags never take it
// from them.
struct ReservedHotkey {
    enum Kind { Command, Menu };
    QKeyCombination key;
    QString owner; // the command's or menu's caption, without "&"
    Kind kind = Command;
};

// How one tag's hotkey fits with the commands and the other tags.
struct TagHotkeyState {
    std::optional<QKeyCombination> key; // the readable hotkey, if any
    int command = -1;                   // index of the command that holds it
    int earlierTag = -1;                // first earlier tag with the same hotkey
    int laterTag = -1;                  // first later tag with the same hotkey
    // The tag's menu entry gets the hotkey: it is readable, no command holds
    // it and no earlier tag has it.
    bool bound() const { return key && command < 0 && earlierTag < 0; }
};

// One state per hotkey text, in list order.
std::vector<TagHotkeyState> planTagHotkeys(const QStringList &hotkeyTexts,
                                           const std::vector<ReservedHotkey> &reserved);

// The note the Tags dialog shows for tag `index`, "" when its hotkey is free.
QString hotkeyConflictText(const std::vector<TagHotkeyState> &plan, int index,
                           const QStringList &descriptions,
                           const std::vector<ReservedHotkey> &reserved);

} // namespace tl
