#pragma once
// Project names, project files and the folders of a new project.
//
// A project is saved as settings folder + "conf/" + name + ".tvp". Names and
// paths are file-system names (QString); the content of the project file is
// the business of the form storage.
#include <QString>
#include <QStringList>

namespace tl {

// The name a new project gets from the typed text: every blank and every "."
// becomes "_".
QString projectNameFromTyped(const QString &typed);

// Why `name` (already made by projectNameFromTyped) cannot name a project
// file, or an empty text when it can. Refused: an empty name, a name made
// only of "_" (nothing but blanks and dots was typed), and a name holding "/"
// (it would leave the conf folder).
QString projectNameProblem(const QString &name);

// The folder that holds the project files: the settings folder's "conf"
// child, found without regard to letter case ("CONF" when there is none).
QString projectsFolder();

// Path of the project file of `name`.
QString projectFilePath(const QString &name);

// The project names of a folder: every plain file matching "*.tvp" (letter
// case ignored; hidden files, folders and special files left out), the first
// occurrence of ".tvp" (exact case) removed from its name. In the order the
// folder lists them.
QStringList projectNamesIn(const QString &folder);

// Where `name` goes in a list kept sorted without regard to letter case:
// after every entry that sorts before it or equal to it.
int sortedInsertPosition(const QStringList &entries, const QString &name);

// The folders of a new project and what was made of them.
struct NewProjectFolders {
    QString confFolder;    // main path + one "/" + "CONF" (or the existing "conf")
    QString dataFolder;    // main path + one "/" + "DATA"
    bool confCreated = false;
    bool dataCreated = false;
};

// Creates the configuration and data folders of a new project under the
// typed main path (one level each: the main folder must exist) and copies the
// default files (starterFilesFolder) into the folders this call created:
// "template.htm", "archtemp.htm", "template.rss", "template.txt" into the
// configuration folder, the sample post "1049328060.txt" into the data
// folder. A folder that already exists gets nothing; no file is ever
// overwritten; a file that cannot be copied is skipped. An empty main path
// names no folder, so nothing is created (the folders are then the bare
// names "CONF" and "DATA").
NewProjectFolders createProjectFolders(const QString &typedMainPath, const QString &defaultsFolder);

// The default files a new project gets.
QStringList defaultTemplateFiles();
QString samplePostFile();

// Where a new project's default files come from, in the writer's language:
// the English starter site lies in `defaultsFolder` itself, the Czech one in
// its "cs" child, chosen when the interface-text file "czech.lng" lies in the
// settings folder (the writer runs the program in Czech). A file the
// language's folder lacks comes from `defaultsFolder`.
QString starterFilesFolder(const QString &defaultsFolder);

} // namespace tl
