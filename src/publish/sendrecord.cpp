#include "publish/sendrecord.h"

#include "core/errors.h"
#include "core/fileio.h"
#include "core/programfiles.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>

namespace tl {

namespace {

// The size and modification time (ms since 1970, as Qt gives it) of a
// regular file; false when the path names none. One stat call: QFileInfo's
// time goes through the local time zone, which costs a read of the zone
// file for each of the ten thousands of posts a blog may hold.
bool regularFileTimes(const QString &path, qint64 &size, qint64 &modifiedMs)
{
    FileStamp stamp;
    if (!statFile(pathBytes(path), stamp) || !stamp.regular)
        return false;
    size = stamp.size;
    modifiedMs = stamp.mtimeNs / 1000000;
    return true;
}

const QByteArray kHeader = "tarvlit-sent 1\n";

QByteArray encoded(const QByteArray &name) { return name.toPercentEncoding("/"); }

// "sent SIZE MODIFIED SHA256 NAME": one file the server confirmed.
QByteArray sentLine(const std::string &remoteName, const SendRecord::Content &c)
{
    return "sent " + QByteArray::number(c.size) + ' ' + QByteArray::number(c.modified) + ' '
        + c.sha256.toHex() + ' ' + encoded(QByteArray::fromStdString(remoteName)) + '\n';
}

} // namespace

SendRecord::SendRecord() = default;
SendRecord::~SendRecord() = default;
SendRecord::SendRecord(SendRecord &&) noexcept = default;
SendRecord &SendRecord::operator=(SendRecord &&) noexcept = default;

QString SendRecord::pathFor(const QString &projectFile)
{
    QString p = projectFile;
    if (p.endsWith(QLatin1String(".tvp")))
        p.chop(4);
    return p + QStringLiteral(".sent");
}

SendRecord SendRecord::load(const QString &path)
{
    SendRecord r;
    r.path_ = path;
    std::string bytes;
    if (tryReadWholeFile(pathBytes(path), bytes))
        r.parse(QByteArray::fromStdString(bytes));
    return r;
}

void SendRecord::parse(const QByteArray &bytes)
{
    if (!bytes.startsWith(kHeader))
        return;
    qsizetype pos = kHeader.size();
    while (pos < bytes.size()) {
        const qsizetype end = bytes.indexOf('\n', pos);
        if (end < 0)
            break; // a line cut short by a crash
        const QByteArray line = bytes.mid(pos, end - pos);
        pos = end + 1;
        const QList<QByteArray> f = line.split(' ');
        if (f.size() == 2 && f[0] == "target") {
            target_ = QByteArray::fromPercentEncoding(f[1]).toStdString();
        } else if (f.size() == 2 && f[0] == "gone") {
            sent_.erase(QByteArray::fromPercentEncoding(f[1]).toStdString());
        } else if (f.size() == 2 && f[0] == "site") {
            siteFiles_ << pathText(QByteArray::fromPercentEncoding(f[1]).toStdString());
        } else if (f.size() == 5 && f[0] == "sent" && f[3].size() == 64) {
            bool sizeOk = false, timeOk = false;
            Content c;
            c.size = f[1].toLongLong(&sizeOk);
            c.modified = f[2].toLongLong(&timeOk);
            c.sha256 = QByteArray::fromHex(f[3]);
            if (sizeOk && timeOk && c.size >= 0 && c.sha256.size() == 32)
                sent_[QByteArray::fromPercentEncoding(f[4]).toStdString()] = c;
        }
    }
}

SendRecord::Content SendRecord::contentOf(const QString &localPath)
{
    Content c;
    QFile f(localPath);
    qint64 size = 0;
    qint64 modified = 0;
    if (!regularFileTimes(localPath, size, modified) || !f.open(QIODevice::ReadOnly))
        return c;
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!hash.addData(&f))
        return c;
    c.size = f.size();
    c.modified = modified;
    c.sha256 = hash.result();
    return c;
}

bool SendRecord::needsSending(const std::string &remoteName, const QString &localPath) const
{
    const auto it = sent_.find(remoteName);
    if (it == sent_.end())
        return true;
    qint64 size = 0;
    qint64 modified = 0;
    if (!regularFileTimes(localPath, size, modified) || size != it->second.size)
        return true;
    // A file left alone since it was sent is not read again.
    if (modified == it->second.modified)
        return false;
    const Content now = contentOf(localPath);
    return !now.valid() || now.sha256 != it->second.sha256;
}

void SendRecord::appendLine(const QByteArray &line)
{
    if (path_.isEmpty())
        return;
    if (!journal_) {
        if (!QFileInfo::exists(path_) || journalStale_)
            save(); // the header and what is known so far
        journal_ = std::make_unique<QFile>(path_);
        if (!journal_->open(QIODevice::Append)) {
            journal_.reset();
            throw AppError(msgUnableToWrite(pathBytes(path_)));
        }
    }
    if (journal_->write(line) != line.size() || !journal_->flush())
        throw AppError(msgUnableToWrite(pathBytes(path_)));
}

void SendRecord::confirmSent(const std::string &remoteName, const Content &content)
{
    if (!content.valid())
        return;
    sent_[remoteName] = content;
    appendLine(sentLine(remoteName, content));
}

void SendRecord::setSiteFiles(const QStringList &files) { siteFiles_ = files; }

bool SendRecord::setTarget(const std::string &target)
{
    if (target_ == target)
        return false;
    const bool forgot = !target_.empty() && !sent_.empty();
    if (!target_.empty())
        sent_.clear();
    target_ = target;
    journal_.reset();
    journalStale_ = true; // the file still describes the old server
    return forgot;
}

std::vector<std::string> SendRecord::sentNames() const
{
    std::vector<std::string> names;
    names.reserve(sent_.size());
    for (const auto &entry : sent_)
        names.push_back(entry.first);
    return names;
}

const SendRecord::Content *SendRecord::sent(const std::string &remoteName) const
{
    const auto it = sent_.find(remoteName);
    return it == sent_.end() ? nullptr : &it->second;
}

void SendRecord::forget(const std::string &remoteName)
{
    if (sent_.erase(remoteName) == 0)
        return;
    appendLine("gone " + encoded(QByteArray::fromStdString(remoteName)) + '\n');
}

void SendRecord::save()
{
    if (path_.isEmpty())
        return;
    journal_.reset();
    journalStale_ = false;
    QByteArray out = kHeader;
    if (!target_.empty())
        out += "target " + encoded(QByteArray::fromStdString(target_)) + '\n';
    for (const QString &f : siteFiles_)
        out += "site " + encoded(QByteArray::fromStdString(pathBytes(f))) + '\n';
    for (const auto &[remote, c] : sent_)
        out += sentLine(remote, c);
    writeWholeFileAtomic(pathBytes(path_), out.toStdString(), msgUnableToWrite(pathBytes(path_)));
}

} // namespace tl
