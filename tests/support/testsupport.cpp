#include "testsupport.h"

#include <QFile>

namespace tl::test {

void ScriptedPrompts::error(const QString &text) { shown.push_back({"error", QString(), text}); }

void ScriptedPrompts::message(const QString &title, const QString &text)
{
    shown.push_back({"message", title, text});
}

Prompts::Answer ScriptedPrompts::question(const QString &title, const QString &text, bool withCancel,
                                          Answer defaultAnswer)
{
    shown.push_back({"question", title, text, defaultAnswer});
    if (answers.empty())
        return withCancel ? Answer::Cancel : Answer::No;
    Answer a = answers.front();
    answers.pop_front();
    return a;
}

Prompts::Answer ScriptedPrompts::saveChanges(const QString &title, const QString &text)
{
    shown.push_back({"save", title, text, Answer::Yes});
    if (answers.empty())
        return Answer::Cancel;
    Answer a = answers.front();
    answers.pop_front();
    return a;
}

QString ScriptedPrompts::chooseFolder(const QString &caption, const QString &startDir)
{
    shown.push_back({"folder", caption, startDir});
    if (picks.empty())
        return {};
    QString p = picks.front();
    picks.pop_front();
    return p;
}

QString ScriptedPrompts::chooseFile(const QString &caption, const QString &startDir,
                                    const QString &filter)
{
    shown.push_back({"file", caption, startDir + "|" + filter});
    if (picks.empty())
        return {};
    QString p = picks.front();
    picks.pop_front();
    return p;
}

std::optional<QString> ScriptedPrompts::askText(const QString &title, const QString &label,
                                               const QString &)
{
    shown.push_back({"text", title, label});
    if (typed.empty())
        return std::nullopt;
    std::optional<QString> t = typed.front();
    typed.pop_front();
    return t;
}

QStringList ScriptedPrompts::errors() const
{
    QStringList out;
    for (const auto &s : shown)
        if (s.kind == "error")
            out << s.text;
    return out;
}

QStringList ScriptedPrompts::texts() const
{
    QStringList out;
    for (const auto &s : shown)
        out << s.text;
    return out;
}

std::string fileBytes(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QByteArray d = f.readAll();
    return std::string(d.constData(), static_cast<size_t>(d.size()));
}

void writeBytes(const QString &path, const std::string &bytes)
{
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write(bytes.data(), static_cast<qint64>(bytes.size()));
}

} // namespace tl::test
