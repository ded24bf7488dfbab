#include "tags/hotkey.h"

#include "core/cp1250.h"

#include <array>

namespace tl {

namespace {

struct NamedKey {
    int key;
    const char *name;
};

// The keys with a name of their own (letters, digits and F-keys are handled
// by rule). Enter is the main keyboard's Return; the keypad's Enter and Backtab
// are folded in by normalizeHotkey before a name is looked up.
constexpr std::array<NamedKey, 15> kNamedKeys{{
    {Qt::Key_Backspace, "BkSp"},
    {Qt::Key_Tab, "Tab"},
    {Qt::Key_Return, "Enter"},
    {Qt::Key_Escape, "Esc"},
    {Qt::Key_Space, "Space"},
    {Qt::Key_PageUp, "PgUp"},
    {Qt::Key_PageDown, "PgDn"},
    {Qt::Key_End, "End"},
    {Qt::Key_Home, "Home"},
    {Qt::Key_Left, "Left"},
    {Qt::Key_Up, "Up"},
    {Qt::Key_Right, "Right"},
    {Qt::Key_Down, "Down"},
    {Qt::Key_Insert, "Ins"},
    {Qt::Key_Delete, "Del"},
}};

constexpr Qt::KeyboardModifiers kHotkeyModifiers =
    Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier;

// Backtab is Tab, the keypad's Enter is Enter.
int foldKey(int key)
{
    if (key == Qt::Key_Backtab)
        return Qt::Key_Tab;
    if (key == Qt::Key_Enter)
        return Qt::Key_Return;
    return key;
}

// A key that types one visible character: its code is that character in
// upper case (the toolkit's convention for such keys).
bool isCharacterKey(int key)
{
    if (key <= 0x20 || key >= 0xD800 || (key >= 0x7F && key < 0xA0))
        return false;
    const QChar c(static_cast<char16_t>(key));
    return c.isPrint() && !c.isSpace();
}

bool isModifierKey(int key)
{
    switch (key) {
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Meta:
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
    case Qt::Key_CapsLock:
    case Qt::Key_NumLock:
    case Qt::Key_ScrollLock:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R:
    case Qt::Key_Hyper_L:
    case Qt::Key_Hyper_R:
    case Qt::Key_Mode_switch:
    case Qt::Key_unknown:
        return true;
    default:
        return false;
    }
}

// Strips `prefix` (any letter case) from the front of `rest` when something
// is left after it.
bool takePrefix(QString &rest, QLatin1String prefix)
{
    if (rest.size() > prefix.size() && rest.startsWith(prefix, Qt::CaseInsensitive)) {
        rest.remove(0, prefix.size());
        return true;
    }
    return false;
}

std::optional<int> keyFromName(const QString &name)
{
    if (name.isEmpty())
        return std::nullopt;
    for (const NamedKey &k : kNamedKeys)
        if (name.compare(QLatin1String(k.name), Qt::CaseInsensitive) == 0)
            return k.key;
    if ((name.front() == QLatin1Char('F') || name.front() == QLatin1Char('f')) && name.size() <= 3) {
        bool ok = false;
        const int n = name.mid(1).toInt(&ok);
        // Only the plain decimal spelling: "F1" to "F24", no sign, no zero.
        if (ok && n >= 1 && n <= 24 && name.mid(1) == QString::number(n))
            return Qt::Key_F1 + (n - 1);
    }
    if (name.size() == 1) {
        // A character names the key that types it, and nothing else: " " is
        // not "Space".
        const int key = name.front().toUpper().unicode();
        if (hotkeyKeyName(key).compare(name, Qt::CaseInsensitive) == 0)
            return key;
    }
    return std::nullopt;
}

} // namespace

QKeyCombination normalizeHotkey(QKeyCombination combination)
{
    return QKeyCombination(combination.keyboardModifiers() & kHotkeyModifiers,
                           static_cast<Qt::Key>(foldKey(combination.key())));
}

QString hotkeyKeyName(int key)
{
    key = foldKey(key);
    if ((key >= Qt::Key_A && key <= Qt::Key_Z) || (key >= Qt::Key_0 && key <= Qt::Key_9))
        return QString(QChar(static_cast<char16_t>(key)));
    if (key >= Qt::Key_F1 && key <= Qt::Key_F24)
        return QStringLiteral("F") + QString::number(key - Qt::Key_F1 + 1);
    for (const NamedKey &k : kNamedKeys)
        if (k.key == key)
            return QLatin1String(k.name);
    if (isCharacterKey(key) && unicodeToCp1250(static_cast<char32_t>(key)) >= 0) {
        const QChar c(static_cast<char16_t>(key));
        // The name must read back as the same key.
        if (c.toUpper() == c)
            return QString(c);
    }
    return QString();
}

QString hotkeyToText(QKeyCombination combination)
{
    const QKeyCombination k = normalizeHotkey(combination);
    const QString name = hotkeyKeyName(k.key());
    if (name.isEmpty())
        return QString();
    QString text;
    const Qt::KeyboardModifiers m = k.keyboardModifiers();
    if (m & Qt::ShiftModifier)
        text += QLatin1String("Shift+");
    if (m & Qt::ControlModifier)
        text += QLatin1String("Ctrl+");
    if (m & Qt::AltModifier)
        text += QLatin1String("Alt+");
    return text + name;
}

std::optional<QKeyCombination> hotkeyFromText(const QString &text)
{
    QString rest = text;
    Qt::KeyboardModifiers mods;
    for (;;) {
        if (takePrefix(rest, QLatin1String("Shift+")))
            mods |= Qt::ShiftModifier;
        else if (takePrefix(rest, QLatin1String("Ctrl+")))
            mods |= Qt::ControlModifier;
        else if (takePrefix(rest, QLatin1String("Alt+")))
            mods |= Qt::AltModifier;
        else if (takePrefix(rest, QLatin1String("^")))
            mods |= Qt::ControlModifier;
        else
            break;
    }
    const std::optional<int> key = keyFromName(rest);
    if (!key)
        return std::nullopt;
    return QKeyCombination(mods, static_cast<Qt::Key>(*key));
}

std::optional<QKeyCombination> hotkeyFromKeyPress(int key, Qt::KeyboardModifiers modifiers)
{
    if (isModifierKey(key))
        return std::nullopt;
    QKeyCombination k = normalizeHotkey(QKeyCombination(modifiers, static_cast<Qt::Key>(key)));
    if (hotkeyKeyName(k.key()).isEmpty())
        return std::nullopt;
    if (!(k.keyboardModifiers() & (Qt::ControlModifier | Qt::AltModifier)))
        k = QKeyCombination(Qt::AltModifier, k.key());
    return k;
}

std::vector<TagHotkeyState> planTagHotkeys(const QStringList &hotkeyTexts,
                                           const std::vector<ReservedHotkey> &reserved)
{
    std::vector<TagHotkeyState> plan(static_cast<std::size_t>(hotkeyTexts.size()));
    for (qsizetype i = 0; i < hotkeyTexts.size(); ++i) {
        TagHotkeyState &s = plan[static_cast<std::size_t>(i)];
        if (auto k = hotkeyFromText(hotkeyTexts[i]))
            s.key = normalizeHotkey(*k);
        if (!s.key)
            continue;
        for (std::size_t r = 0; r < reserved.size(); ++r) {
            if (normalizeHotkey(reserved[r].key) == *s.key) {
                s.command = static_cast<int>(r);
                break;
            }
        }
    }
    for (std::size_t i = 0; i < plan.size(); ++i) {
        if (!plan[i].key)
            continue;
        for (std::size_t j = i + 1; j < plan.size(); ++j) {
            if (plan[j].key && *plan[j].key == *plan[i].key) {
                if (plan[i].laterTag < 0)
                    plan[i].laterTag = static_cast<int>(j);
                if (plan[j].earlierTag < 0)
                    plan[j].earlierTag = static_cast<int>(i);
            }
        }
    }
    return plan;
}

QString hotkeyConflictText(const std::vector<TagHotkeyState> &plan, int index,
                           const QStringList &descriptions,
                           const std::vector<ReservedHotkey> &reserved)
{
    if (index < 0 || static_cast<std::size_t>(index) >= plan.size())
        return QString();
    const TagHotkeyState &s = plan[static_cast<std::size_t>(index)];
    if (!s.key)
        return QString();
    const QString keyText = hotkeyToText(*s.key);
    auto description = [&](int i) { return i < descriptions.size() ? descriptions[i] : QString(); };
    if (s.command >= 0 && static_cast<std::size_t>(s.command) < reserved.size()) {
        const ReservedHotkey &r = reserved[static_cast<std::size_t>(s.command)];
        if (r.kind == ReservedHotkey::Menu)
            return QStringLiteral("%1 opens the menu \"%2\"; this tag gets no hotkey.")
                .arg(keyText, r.owner);
        return QStringLiteral("%1 is the shortcut of the command \"%2\"; this tag gets no hotkey.")
            .arg(keyText, r.owner);
    }
    if (s.earlierTag >= 0)
        return QStringLiteral("%1 is already the hotkey of the tag \"%2\"; this tag gets none.")
            .arg(keyText, description(s.earlierTag));
    if (s.laterTag >= 0)
        return QStringLiteral("%1 is also chosen for the tag \"%2\", which gets none.")
            .arg(keyText, description(s.laterTag));
    return QString();
}

} // namespace tl
