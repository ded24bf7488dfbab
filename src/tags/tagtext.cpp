#include "tags/tagtext.h"

namespace tl {

namespace {

// The byte forms go through Latin-1, which maps every byte to one character
// and back, so the replacement rules are written once.
QString fromBytes(const std::string &bytes)
{
    return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

std::string toBytes(const QString &text) { return text.toLatin1().toStdString(); }

} // namespace

std::string escapeTagText(const std::string &typed)
{
    return toBytes(escapeTagText(fromBytes(typed)));
}

std::string unescapeTagText(const std::string &stored)
{
    return toBytes(unescapeTagText(fromBytes(stored)));
}

QString escapeTagText(const QString &typed)
{
    QString s = typed;
    s.replace(QLatin1String("\r\n"), QLatin1String("#13#10"));
    s.replace(QLatin1Char(' '), QLatin1String("#32"));
    return s;
}

QString unescapeTagText(const QString &stored)
{
    QString s = stored;
    s.replace(QLatin1String("#32"), QLatin1String(" "));
    s.replace(QLatin1String("#13#10"), QLatin1String("\r\n"));
    return s;
}

QString editorTextToTagText(const QString &editorText)
{
    QString out;
    out.reserve(editorText.size() + 8);
    for (qsizetype i = 0; i < editorText.size(); ++i) {
        const QChar c = editorText.at(i);
        if (c == QLatin1Char('\r')) {
            out += QLatin1String("\r\n");
            if (i + 1 < editorText.size() && editorText.at(i + 1) == QLatin1Char('\n'))
                ++i;
        } else if (c == QLatin1Char('\n') || c == QChar::ParagraphSeparator
                   || c == QChar::LineSeparator) {
            out += QLatin1String("\r\n");
        } else {
            out += c;
        }
    }
    return out;
}

QString tagTextToEditorText(const QString &tagText)
{
    QString s = tagText;
    s.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    s.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return s;
}

} // namespace tl
