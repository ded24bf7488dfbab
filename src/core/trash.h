#pragma once
// The desktop's trash, from where the writer can bring a removed file back.
#include <QString>

namespace tl {

// Moves a file into the user's trash (the freedesktop.org trash of the
// user's data folder, $XDG_DATA_HOME/Trash or ~/.local/share/Trash, or the
// trash of the file's own disk). A user who has no trash yet gets one made,
// with its "files" and "info" folders, so that the file never lands in a
// "files" folder of whatever folder is current. Only where no trash can be
// made is the file deleted. False when the file is still there.
bool moveToTrash(const QString &path);

// The user's own trash folder: $XDG_DATA_HOME/Trash, or ~/.local/share/Trash
// when XDG_DATA_HOME is not set (or not an absolute path).
QString userTrashFolder();

} // namespace tl
