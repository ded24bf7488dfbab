#pragma once
#include <QString>
#include <string>

namespace tl {

// Folder of the running program file, with a trailing "/".
std::string ProgramFolder();

// Folder that holds "tarvlit.ini", "czech.lng", conf/ and DATA/: the program
// folder when it is writable and has its own conf folder (a build, or a copy
// of the program kept in a folder of its own), else the per-user application
// data folder (an installed program: /usr/bin is no place for settings, even
// for root). The one place that decides this.
std::string SettingsFolder();

// Folder of the default files a new project gets (templates and sample
// post): the conf folder beside the program when there
// is one, else the installed copy (share/tarvlit/conf beside the bin folder).
std::string DefaultFilesFolder();

// Tests (and only tests) point both folders at a temporary folder.
void setProgramFolderOverride(const std::string &folderWithTrailingSlash);

// The text with "/" appended unless it is empty or already ends in "/".
std::string WithTrailingSeparator(const std::string &path);
QString WithTrailingSeparator(const QString &path);

// A path typed in a field as the file system's bytes, and back. Paths are not
// page text: they keep the system's own encoding, whatever letters they hold.
std::string pathBytes(const QString &path);
QString pathText(const std::string &bytes);

// Finds the child folder `name` of `parent` without regard to letter case
// ("CONF" and "conf" are one folder). Returns parent + the name as it exists
// on disk, or parent + `name` as given when there is none.
std::string childFolderAnyCase(const std::string &parentWithSlash, const std::string &name);

// Version texts of a program file. The program compiles its version into a
// version block inside its own file; a file without that block gives "".
std::string FileVersionText(const std::string &path);
std::string ProductVersionText(const std::string &path);
// Both texts from one read of the file.
struct VersionTexts {
    std::string file;
    std::string product;
};
VersionTexts ReadVersionTexts(const std::string &path);
// The file's modification time: short date, one blank, long time, in the
// user's locale formats.
std::string FileDateText(const std::string &path);

// Path of the running program file.
std::string ProgramFilePath();

} // namespace tl
