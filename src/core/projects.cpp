#include "core/projects.h"

#include "core/programfiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace tl {

namespace {
// Creates `path` as one new folder level. True only when this call made it.
bool createOneLevel(const QString &path)
{
    if (QFileInfo::exists(path))
        return false;
    return QDir().mkdir(path);
}

// Copies `name` from the first of the folders that holds it.
void copyMissing(const QStringList &fromFolders, const QString &toFolder, const QString &name)
{
    const QString target = toFolder + QLatin1Char('/') + name;
    if (QFileInfo::exists(target))
        return;
    for (const QString &from : fromFolders) {
        const QString source = from + QLatin1Char('/') + name;
        if (QFileInfo::exists(source)) {
            QFile::copy(source, target); // a failure is skipped
            return;
        }
    }
}
} // namespace

QString projectNameFromTyped(const QString &typed)
{
    QString name = typed;
    name.replace(QLatin1Char(' '), QLatin1Char('_'));
    name.replace(QLatin1Char('.'), QLatin1Char('_'));
    return name;
}

QString projectNameProblem(const QString &name)
{
    bool onlyUnderscores = true;
    for (QChar c : name)
        if (c != QLatin1Char('_'))
            onlyUnderscores = false;
    if (onlyUnderscores)
        return QStringLiteral("Please type a name for the new project.");
    if (name.contains(QLatin1Char('/')))
        return QStringLiteral("A project name cannot contain \"/\".");
    return QString();
}

QString projectsFolder()
{
    return pathText(childFolderAnyCase(SettingsFolder(), "CONF"));
}

QString projectFilePath(const QString &name)
{
    return projectsFolder() + QLatin1Char('/') + name + QStringLiteral(".tvp");
}

QStringList projectNamesIn(const QString &folder)
{
    QDir dir(folder);
    dir.setNameFilters({QStringLiteral("*.tvp")});
    // Plain files only: no folders, no hidden files, no sockets or devices.
    // Name filters ignore letter case unless QDir::CaseSensitive is given.
    dir.setFilter(QDir::Files);
    dir.setSorting(QDir::Unsorted);
    QStringList names;
    for (QString entry : dir.entryList()) {
        const qsizetype at = entry.indexOf(QStringLiteral(".tvp"), 0, Qt::CaseSensitive);
        if (at >= 0)
            entry.remove(at, 4);
        names << entry;
    }
    return names;
}

int sortedInsertPosition(const QStringList &entries, const QString &name)
{
    int pos = 0;
    while (pos < entries.size() && entries[pos].compare(name, Qt::CaseInsensitive) <= 0)
        ++pos;
    return pos;
}

QStringList defaultTemplateFiles()
{
    return {QStringLiteral("template.htm"), QStringLiteral("archtemp.htm"),
            QStringLiteral("template.rss"), QStringLiteral("template.txt")};
}

QString samplePostFile() { return QStringLiteral("1049328060.txt"); }

QString starterFilesFolder(const QString &defaultsFolder)
{
    if (QFileInfo::exists(pathText(SettingsFolder() + "czech.lng")))
        return defaultsFolder + QStringLiteral("/cs");
    return defaultsFolder;
}

NewProjectFolders createProjectFolders(const QString &typedMainPath, const QString &defaultsFolder)
{
    NewProjectFolders f;
    if (typedMainPath.isEmpty()) {
        // No main folder was named: the fields get the bare folder names, but
        // nothing is made in whatever the current folder happens to be.
        f.confFolder = QStringLiteral("CONF");
        f.dataFolder = QStringLiteral("DATA");
        return f;
    }
    const std::string main = pathBytes(WithTrailingSeparator(typedMainPath));
    f.confFolder = pathText(childFolderAnyCase(main, "CONF"));
    f.dataFolder = pathText(childFolderAnyCase(main, "DATA"));

    const QStringList from = {starterFilesFolder(defaultsFolder), defaultsFolder};
    f.confCreated = createOneLevel(f.confFolder);
    if (f.confCreated)
        for (const QString &name : defaultTemplateFiles())
            copyMissing(from, f.confFolder, name);

    f.dataCreated = createOneLevel(f.dataFolder);
    if (f.dataCreated)
        copyMissing(from, f.dataFolder, samplePostFile());
    return f;
}

} // namespace tl
