#pragma once
// What a project has sent to its server, so that a send carries only what
// the server lacks, also after a failed send and across restarts.
//
// The record is a text file beside the project file (conf/NAME.sent). For
// each remote name it keeps the size and the SHA-256 of the local file that
// was sent (and the file's modification time, so that a file left alone is
// not read again to be compared). It also keeps the site files of the last
// generation, in upload order, so that pages not yet sent stay queued when
// the program starts again.
//
// The file is written whole through a temporary file; while a send runs,
// each file the server confirms is appended as one flushed line, so a send
// that fails at file 40 of 100 remembers the first 39. A line that is cut
// short or damaged is ignored: a malformed record means "nothing sent".
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <map>
#include <memory>
#include <string>
#include <vector>

class QFile;

namespace tl {

class SendRecord {
public:
    // An empty record that is not kept in any file.
    SendRecord();
    ~SendRecord();
    SendRecord(SendRecord &&) noexcept;
    SendRecord &operator=(SendRecord &&) noexcept;

    // Reads the record at `path`; a missing, unreadable or malformed file
    // gives an empty record bound to that path. Never throws.
    static SendRecord load(const QString &path);
    // The record of a project file ("blog.tvp" -> "blog.sent" beside it).
    static QString pathFor(const QString &projectFile);

    const QString &path() const { return path_; }

    // True when the server may lack `localPath` under `remoteName`: nothing
    // was sent under that name, or the file's bytes differ from those sent.
    // A file that cannot be read counts as needing sending (the send then
    // says why it cannot).
    bool needsSending(const std::string &remoteName, const QString &localPath) const;

    // The identity of a local file's content now, for confirmSent.
    struct Content {
        qint64 size = -1;
        qint64 modified = 0; // ms since 1970
        QByteArray sha256;
        bool valid() const { return size >= 0; }
    };
    static Content contentOf(const QString &localPath);

    // The server confirmed `remoteName` holding `content`: remembered, and
    // appended to the file at once (flushed). Throws AppError("Unable to
    // write to %s") when the record cannot be written.
    void confirmSent(const std::string &remoteName, const Content &content);

    // The server the record describes: protocol, user, host and port
    // ("sftp://jana@example.com:22"). A record made for
    // another counts as empty, so a project pointed at a new server sends it
    // everything; the site files of the last generation are kept. A record
    // that names no server yet takes this one. True when what was sent was
    // forgotten.
    bool setTarget(const std::string &target);
    const std::string &target() const { return target_; }

    // The remote names the record holds, in name order.
    std::vector<std::string> sentNames() const;
    // What was sent under a remote name, or nullptr.
    const Content *sent(const std::string &remoteName) const;
    // The server no longer holds `remoteName` (it was removed there, or a
    // check found it missing): forgotten, and written at once.
    void forget(const std::string &remoteName);

    // The site files of the last generation, in upload order.
    const QStringList &siteFiles() const { return siteFiles_; }
    void setSiteFiles(const QStringList &files);

    // Writes the whole record through a temporary file. Throws AppError
    // ("Unable to write to %s").
    void save();

    std::size_t sentCount() const { return sent_.size(); }

private:
    void parse(const QByteArray &bytes);
    void appendLine(const QByteArray &line);

    QString path_;
    std::string target_;
    QStringList siteFiles_;
    std::map<std::string, Content> sent_;
    std::unique_ptr<QFile> journal_; // open for appending while a send confirms files
    bool journalStale_ = false;      // the file must be written whole before appending
};

} // namespace tl
