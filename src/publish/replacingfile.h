#pragma once
#include <QFile>
#include <string>

namespace tl {

// A new file written beside its target that replaces the target only on
// commit(); without commit the target is untouched and the new file goes.
// The new file's name is temporaryNameFor(target): within the file-name
// limit however long the target's name, and the same every time, so a run
// killed half way leaves at most one per target, which the next one replaces.
//
// Unlike QSaveFile it does not force the data to disk before the rename: a
// received file is worth its bytes, not an fsync per file (about 7 ms each on
// an ordinary disk, which would make fetching many small files several times
// slower). The rename itself is atomic, so the target is always either the
// old file or the whole new one.
class ReplacingFile {
public:
    explicit ReplacingFile(const std::string &target);
    ~ReplacingFile();
    ReplacingFile(const ReplacingFile &) = delete;
    ReplacingFile &operator=(const ReplacingFile &) = delete;

    // Creates the new file; false when it cannot be created.
    bool open();
    QIODevice &device() { return m_temp; }
    // Closes the new file and renames it over the target.
    bool commit();

private:
    std::string m_target;
    QFile m_temp;
    bool m_committed = false;
};

} // namespace tl
