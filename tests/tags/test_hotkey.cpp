#include "tags/hotkey.h"

#include <gtest/gtest.h>

#include <vector>

using namespace tl;

namespace {

QKeyCombination combo(Qt::KeyboardModifiers m, int key)
{
    return QKeyCombination(m, static_cast<Qt::Key>(key));
}

struct KeyName {
    int key;
    const char *name;
};

std::vector<KeyName> allNamedKeys()
{
    std::vector<KeyName> keys = {
        {Qt::Key_Backspace, "BkSp"}, {Qt::Key_Tab, "Tab"},     {Qt::Key_Return, "Enter"},
        {Qt::Key_Escape, "Esc"},     {Qt::Key_Space, "Space"}, {Qt::Key_PageUp, "PgUp"},
        {Qt::Key_PageDown, "PgDn"},  {Qt::Key_End, "End"},     {Qt::Key_Home, "Home"},
        {Qt::Key_Left, "Left"},      {Qt::Key_Up, "Up"},       {Qt::Key_Right, "Right"},
        {Qt::Key_Down, "Down"},      {Qt::Key_Insert, "Ins"},  {Qt::Key_Delete, "Del"},
    };
    static std::vector<std::string> owned; // keeps generated names alive
    owned.clear();
    owned.reserve(24 + 26 + 10);
    for (int n = 1; n <= 24; ++n) {
        owned.push_back("F" + std::to_string(n));
        keys.push_back({Qt::Key_F1 + n - 1, owned.back().c_str()});
    }
    for (char c = 'A'; c <= 'Z'; ++c) {
        owned.push_back(std::string(1, c));
        keys.push_back({c, owned.back().c_str()});
    }
    for (char c = '0'; c <= '9'; ++c) {
        owned.push_back(std::string(1, c));
        keys.push_back({c, owned.back().c_str()});
    }
    return keys;
}

struct ModifierSet {
    Qt::KeyboardModifiers mods;
    const char *written;  // in the program's order
    const char *shuffled; // another order and letter case, "^" for Ctrl
};

const ModifierSet kModifierSets[] = {
    {Qt::NoModifier, "", ""},
    {Qt::ShiftModifier, "Shift+", "SHIFT+"},
    {Qt::ControlModifier, "Ctrl+", "^"},
    {Qt::AltModifier, "Alt+", "alt+"},
    {Qt::ShiftModifier | Qt::ControlModifier, "Shift+Ctrl+", "ctrl+shift+"},
    {Qt::ShiftModifier | Qt::AltModifier, "Shift+Alt+", "Alt+Shift+"},
    {Qt::ControlModifier | Qt::AltModifier, "Ctrl+Alt+", "aLT+^"},
    {Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier, "Shift+Ctrl+Alt+",
     "Alt+^Shift+"},
};

} // namespace

TEST(HotkeyTextForm, EveryNamedKeyWithEveryModifierSetWritesAndReadsBack)
{
    for (const KeyName &k : allNamedKeys()) {
        for (const ModifierSet &m : kModifierSets) {
            const QKeyCombination c = combo(m.mods, k.key);
            const QString written = QString::fromLatin1(m.written) + QString::fromLatin1(k.name);
            SCOPED_TRACE(written.toStdString());
            EXPECT_EQ(hotkeyToText(c), written);
            EXPECT_EQ(hotkeyFromText(written), c);
            const QString other =
                QString::fromLatin1(m.shuffled) + QString::fromLatin1(k.name).toLower();
            EXPECT_EQ(hotkeyFromText(other), c) << other.toStdString();
        }
    }
}

TEST(HotkeyTextForm, ReadsTheUsualSpellings)
{
    EXPECT_EQ(hotkeyFromText(QStringLiteral("^B")), combo(Qt::ControlModifier, Qt::Key_B));
    EXPECT_EQ(hotkeyFromText(QStringLiteral("ctrl+shift+b")),
              combo(Qt::ControlModifier | Qt::ShiftModifier, Qt::Key_B));
    EXPECT_EQ(hotkeyFromText(QStringLiteral("Alt+F24")), combo(Qt::AltModifier, Qt::Key_F24));
    EXPECT_EQ(hotkeyFromText(QStringLiteral("Alt++")), combo(Qt::AltModifier, Qt::Key_Plus));
    EXPECT_EQ(hotkeyFromText(QStringLiteral("^^")), combo(Qt::ControlModifier, Qt::Key_AsciiCircum));
    EXPECT_EQ(hotkeyFromText(QStringLiteral("Alt+,")), combo(Qt::AltModifier, Qt::Key_Comma));
}

TEST(HotkeyTextForm, UnreadableTextsMeanNoHotkey)
{
    for (const char *text : {"", "nonsense", "Ctrl+", "Alt+Shift+", "F25", "F0", "F01", "Ctrl+Bk",
                             "Ctrl B", "Ctrl+Backspace", "Meta+A", "Alt+AB", "Alt+ "}) {
        EXPECT_FALSE(hotkeyFromText(QString::fromLatin1(text))) << text;
    }
}

TEST(HotkeyTextForm, WritesTheProgramsOwnFormNotTheToolkits)
{
    EXPECT_EQ(hotkeyToText(combo(Qt::ControlModifier | Qt::ShiftModifier, Qt::Key_B)),
              QStringLiteral("Shift+Ctrl+B"));
    EXPECT_EQ(hotkeyToText(combo(Qt::ControlModifier, Qt::Key_Backspace)), QStringLiteral("Ctrl+BkSp"));
    EXPECT_EQ(hotkeyToText(combo(Qt::AltModifier, Qt::Key_PageDown)), QStringLiteral("Alt+PgDn"));
    // Keypad digits are the plain digits; the keypad's Enter is Enter.
    EXPECT_EQ(hotkeyToText(combo(Qt::AltModifier | Qt::KeypadModifier, Qt::Key_5)),
              QStringLiteral("Alt+5"));
    EXPECT_EQ(hotkeyToText(combo(Qt::ControlModifier | Qt::KeypadModifier, Qt::Key_Enter)),
              QStringLiteral("Ctrl+Enter"));
    EXPECT_EQ(hotkeyToText(combo(Qt::ShiftModifier, Qt::Key_Backtab)), QStringLiteral("Shift+Tab"));
    // Meta is not part of the form.
    EXPECT_EQ(hotkeyToText(combo(Qt::MetaModifier | Qt::AltModifier, Qt::Key_A)), QStringLiteral("Alt+A"));
}

TEST(HotkeyTextForm, OtherKeysAreNamedByTheirCharacterWhenTheFileCanHoldIt)
{
    EXPECT_EQ(hotkeyToText(combo(Qt::AltModifier, Qt::Key_Comma)), QStringLiteral("Alt+,"));
    EXPECT_EQ(hotkeyToText(combo(Qt::AltModifier, Qt::Key_Plus)), QStringLiteral("Alt++"));
    // A Czech keyboard's letter keys: the name reads back in either case.
    const QKeyCombination ecaron = combo(Qt::AltModifier, 0x011A);
    EXPECT_EQ(hotkeyToText(ecaron), QString::fromUtf16(u"Alt+\u011A"));
    EXPECT_EQ(hotkeyFromText(QString::fromUtf16(u"alt+\u011B")), ecaron);
    // No name: a key without a character, or a character windows-1250 lacks.
    EXPECT_EQ(hotkeyToText(combo(Qt::AltModifier, Qt::Key_Menu)), QString());
    EXPECT_EQ(hotkeyToText(combo(Qt::AltModifier, 0x0416)), QString());
    EXPECT_EQ(hotkeyToText(combo(Qt::AltModifier, Qt::Key_Shift)), QString());
    EXPECT_FALSE(hotkeyFromText(QString::fromUtf16(u"Alt+\u0416")));
}

TEST(HotkeyField, AKeyAloneOrWithShiftAloneIsTakenAsAltPlusThatKey)
{
    const auto alt = [](int key) { return combo(Qt::AltModifier, key); };
    EXPECT_EQ(hotkeyFromKeyPress(Qt::Key_B, Qt::NoModifier), alt(Qt::Key_B));
    EXPECT_EQ(hotkeyFromKeyPress(Qt::Key_B, Qt::ShiftModifier), alt(Qt::Key_B));
    EXPECT_EQ(hotkeyFromKeyPress(Qt::Key_F3, Qt::NoModifier), alt(Qt::Key_F3));
    EXPECT_EQ(hotkeyFromKeyPress(Qt::Key_Backtab, Qt::ShiftModifier), alt(Qt::Key_Tab));
    EXPECT_EQ(hotkeyFromKeyPress(Qt::Key_7, Qt::KeypadModifier), alt(Qt::Key_7));
    EXPECT_EQ(hotkeyFromKeyPress(Qt::Key_B, Qt::ControlModifier), combo(Qt::ControlModifier, Qt::Key_B));
    EXPECT_EQ(hotkeyFromKeyPress(Qt::Key_B, Qt::ControlModifier | Qt::ShiftModifier),
              combo(Qt::ControlModifier | Qt::ShiftModifier, Qt::Key_B));
    EXPECT_EQ(hotkeyFromKeyPress(Qt::Key_B, Qt::AltModifier | Qt::ShiftModifier),
              combo(Qt::AltModifier | Qt::ShiftModifier, Qt::Key_B));
    EXPECT_EQ(hotkeyFromKeyPress(Qt::Key_B, Qt::MetaModifier), alt(Qt::Key_B));
}

TEST(HotkeyField, ModifiersAloneAndUnnamedKeysAreNoHotkey)
{
    EXPECT_FALSE(hotkeyFromKeyPress(Qt::Key_Shift, Qt::ShiftModifier));
    EXPECT_FALSE(hotkeyFromKeyPress(Qt::Key_Control, Qt::ControlModifier));
    EXPECT_FALSE(hotkeyFromKeyPress(Qt::Key_Alt, Qt::AltModifier));
    EXPECT_FALSE(hotkeyFromKeyPress(Qt::Key_Menu, Qt::ControlModifier));
    EXPECT_FALSE(hotkeyFromKeyPress(Qt::Key_unknown, Qt::NoModifier));
}

namespace {

std::vector<ReservedHotkey> mainCommands()
{
    return {
        {combo(Qt::NoModifier, Qt::Key_F5), QStringLiteral("Read")},
        {combo(Qt::ControlModifier, Qt::Key_N), QStringLiteral("New")},
        {combo(Qt::ControlModifier, Qt::Key_O), QStringLiteral("Edit")},
        {combo(Qt::ControlModifier, Qt::Key_S), QStringLiteral("Save")},
        {combo(Qt::NoModifier, Qt::Key_F9), QStringLiteral("Generate")},
    };
}

} // namespace

TEST(HotkeyConflicts, CommandsKeepTheirShortcutsAndTheFirstTagKeepsAShared)
{
    const QStringList texts = {QStringLiteral("Ctrl+S"), QStringLiteral("Alt+B"),
                               QStringLiteral("alt+b"),  QString(),
                               QStringLiteral("junk"),   QStringLiteral("F9"),
                               QStringLiteral("^n"),     QStringLiteral("Shift+Ctrl+S"),
                               QStringLiteral("ALT+B")};
    const auto plan = planTagHotkeys(texts, mainCommands());
    ASSERT_EQ(plan.size(), 9u);

    EXPECT_EQ(plan[0].command, 3);
    EXPECT_FALSE(plan[0].bound());
    EXPECT_TRUE(plan[1].bound());
    EXPECT_EQ(plan[1].laterTag, 2);
    EXPECT_EQ(plan[2].earlierTag, 1);
    EXPECT_EQ(plan[2].laterTag, 8);
    EXPECT_FALSE(plan[2].bound());
    EXPECT_EQ(plan[8].earlierTag, 1);
    EXPECT_FALSE(plan[8].bound());
    EXPECT_FALSE(plan[3].key);
    EXPECT_FALSE(plan[3].bound());
    EXPECT_FALSE(plan[4].key);
    EXPECT_EQ(plan[5].command, 4);
    EXPECT_EQ(plan[6].command, 1);
    EXPECT_EQ(plan[7].command, -1); // Shift+Ctrl+S is not Ctrl+S
    EXPECT_TRUE(plan[7].bound());
}

TEST(HotkeyConflicts, TheDialogNoteNamesTheOtherHolder)
{
    const QStringList texts = {QStringLiteral("Ctrl+S"), QStringLiteral("Alt+B"),
                               QStringLiteral("Alt+B"), QStringLiteral("Alt+C")};
    const QStringList names = {QStringLiteral("Save it"), QStringLiteral("Bold"),
                               QStringLiteral("Big"), QStringLiteral("Code")};
    const auto commands = mainCommands();
    const auto plan = planTagHotkeys(texts, commands);
    EXPECT_EQ(hotkeyConflictText(plan, 0, names, commands),
              QStringLiteral("Ctrl+S is the shortcut of the command \"Save\"; this tag gets no hotkey."));
    EXPECT_EQ(hotkeyConflictText(plan, 1, names, commands),
              QStringLiteral("Alt+B is also chosen for the tag \"Big\", which gets none."));
    EXPECT_EQ(hotkeyConflictText(plan, 2, names, commands),
              QStringLiteral("Alt+B is already the hotkey of the tag \"Bold\"; this tag gets none."));
    EXPECT_EQ(hotkeyConflictText(plan, 3, names, commands), QString());
    EXPECT_EQ(hotkeyConflictText(plan, 7, names, commands), QString());
}

TEST(HotkeyConflicts, AMenuTitlesAltLetterBelongsToTheMenu)
{
    std::vector<ReservedHotkey> reserved = mainCommands();
    reserved.push_back({combo(Qt::AltModifier, Qt::Key_B), QStringLiteral("Blog"), ReservedHotkey::Menu});
    const auto plan = planTagHotkeys({QStringLiteral("Alt+B"), QStringLiteral("Shift+Alt+B")}, reserved);
    EXPECT_FALSE(plan[0].bound());
    EXPECT_TRUE(plan[1].bound());
    EXPECT_EQ(hotkeyConflictText(plan, 0, {QStringLiteral("Bold")}, reserved),
              QStringLiteral("Alt+B opens the menu \"Blog\"; this tag gets no hotkey."));
}
