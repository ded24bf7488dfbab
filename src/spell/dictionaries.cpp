#include "spell/dictionaries.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <algorithm>

namespace tl::spell {

QStringList dictionaryFolders()
{
    QStringList folders;
    const QString dicPath = qEnvironmentVariable("DICPATH");
    for (const QString &f : dicPath.split(QLatin1Char(':'), Qt::SkipEmptyParts))
        folders << f;
    for (const QString &data : QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation))
        folders << data + QStringLiteral("/hunspell");
    for (const char *f : {"/usr/local/share/hunspell", "/usr/share/hunspell", "/usr/share/myspell",
                          "/usr/share/myspell/dicts"})
        folders << QString::fromLatin1(f);
    folders.removeDuplicates();
    return folders;
}

std::vector<Dictionary> findDictionaries(const QStringList &folders)
{
    std::vector<Dictionary> found;
    for (const QString &folder : folders) {
        QDir dir(folder);
        const QStringList dics = dir.entryList({QStringLiteral("*.dic")}, QDir::Files | QDir::Readable,
                                               QDir::Name);
        for (const QString &dic : dics) {
            const QString name = dic.chopped(4);
            const QString aff = dir.filePath(name + QStringLiteral(".aff"));
            if (name.isEmpty() || !QFileInfo(aff).isReadable())
                continue;
            const bool known = std::any_of(found.begin(), found.end(),
                                           [&](const Dictionary &d) { return d.name == name; });
            if (!known)
                found.push_back({name, aff, dir.filePath(dic)});
        }
    }
    std::sort(found.begin(), found.end(),
              [](const Dictionary &a, const Dictionary &b) { return a.name < b.name; });
    return found;
}

QString dictionaryForLocale(const std::vector<Dictionary> &dictionaries, const QLocale &locale)
{
    // "cs_CZ"; the language alone is the part before "_".
    const QString full = locale.name();
    const QString language = full.section(QLatin1Char('_'), 0, 0);
    for (const Dictionary &d : dictionaries)
        if (d.name == full)
            return d.name;
    for (const Dictionary &d : dictionaries)
        if (d.name == language || d.name.startsWith(language + QLatin1Char('_')))
            return d.name;
    return {};
}

} // namespace tl::spell
