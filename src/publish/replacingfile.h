#pragma once
#include <QTemporaryFile>
#include <string>

namespace tl {

// A new file written beside its target that replaces the target only on
// commit(); without commit the target is untouched and the new file goes.
//
// Unlike QSaveFile it does not force the data to disk before the rename: a
// received file is worth its bytes, not an fsync per file (about 7 ms each on
// an ordinary disk, which would make fetching many small files several times
// slower). The rename itself is atomic, so the target is always either the
// old file or the whole new one.
class ReplacingFile {
public:
    explicit ReplacingFile(const std::string &target);
    ReplacingFile(const ReplacingFile &) = delete;
    ReplacingFile &operator=(const ReplacingFile &) = delete;

    // Creates the new file; false when it cannot be created.
    bool open();
    QIODevice &device() { return m_temp; }
    // Closes the new file and renames it over the target.
    bool commit();

private:
    std::string m_target;
    QTemporaryFile m_temp;
};

} // namespace tl
