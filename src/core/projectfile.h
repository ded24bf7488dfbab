#pragma once
// The project file: settings folder + "conf/" + name + ".tvp", read into and
// written from a ProjectSettings value. This is the one place that knows the
// file's keys.
//
// The file has one section, "TForm1". The window writes its placement keys
// there first (placement is never read back from a project file); the fields
// follow in a fixed order, each under the key of the control that shows it
// ("pathMAIN_Text", "rgPARAGRAPH_ItemIndex", ...), texts in windows-1250 with
// the value encodings of inivalue.h. A file written by an older or another
// program reads back the same, and the other way round.
//
// Reading sets the fields the file holds. A field whose key is missing keeps
// the value it had before: a project loaded after another inherits what the
// file does not say. The fields added later (passive mode, TLS, SFTP, the
// accepted certificate, the site title, spell checking, the publishing
// targets, remembering the password) take their start values instead,
// since their absence means "a project from before they existed" and
// inheriting them could point a project at another server's protocol.
#include "core/projectsettings.h"

#include <QString>
#include <functional>
#include <string>

namespace tl {

class IniFile;

// The section of a project file.
inline constexpr const char *kProjectSection = "TForm1";

namespace projectfile {

// Reads the fields the document holds over `settings`.
void read(const IniFile &ini, ProjectSettings &settings);
// Writes every field, in file order, into the document.
void write(const ProjectSettings &settings, IniFile &ini);

// Loads a project file over `base` (start values by default). Throws
// AppError("Cannot open file %s") when the file does not exist or cannot be
// read.
ProjectSettings load(const QString &path, const ProjectSettings &base = ProjectSettings());
// Whether the file exists and reads; `settings` gets what it holds.
bool tryLoad(const QString &path, ProjectSettings &settings);

// Writes the fields into the file, key by key, keeping whatever else it
// holds. `writePlacement`, when given, writes the window's placement keys
// first (the window knows them; a new file then starts with them as the
// window has always written it). Throws AppError("Unable to write to %s").
void save(const QString &path, const ProjectSettings &settings,
          const std::function<void(IniFile &)> &writePlacement = {});

// Writes only the accepted certificate's fingerprint into the file: the
// writer's decision holds whether or not the project is saved later.
void saveTrustedFingerprint(const QString &path, const QString &fingerprint);

} // namespace projectfile
} // namespace tl
