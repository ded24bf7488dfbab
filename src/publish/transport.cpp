#include "publish/transport.h"

#include "publish/ftptransport.h"
#include "publish/gittransport.h"
#include "publish/s3transport.h"
#include "publish/sftptransport.h"

#include <utility>

namespace tl {

namespace {
// Status texts of a refused FTP command, by command kind.
const char *const kFailureTexts[] = {
    "ChangeDir failure",       "MakeDir failure",   "Delete failure", "RemoveDir failure",
    "List failure",            "Rename failure",    "UploadRestore failure",
    "DownloadRestore failure", "Download failure",  "Upload failure", "UploadAppend failure",
    "ReInit failure",          "Allocate failure",  "NList failure",  "DoCommand failure",
};

} // namespace

std::vector<RemoteEntry> fileEntries(const std::vector<RemoteFile> &files)
{
    std::vector<RemoteEntry> entries;
    entries.reserve(files.size());
    for (const RemoteFile &f : files)
        entries.push_back({f.name, f.size, RemoteEntry::Kind::File});
    return entries;
}

QString failureText(FtpCommandKind kind)
{
    if (kind >= 0 && kind < static_cast<int>(std::size(kFailureTexts)))
        return QString::fromLatin1(kFailureTexts[kind]);
    return {};
}

std::unique_ptr<Transport> makeTransport(const PublishAccount &account,
                                         const TransportQuestions &questions)
{
    if (account.kind == PublishAccount::Kind::Git)
        return std::make_unique<GitTransport>(account, questions);
    if (account.kind == PublishAccount::Kind::S3)
        return std::make_unique<S3Transport>(account, questions);
    if (account.sftp)
        return std::make_unique<SftpTransport>(account, questions);
    return std::make_unique<FtpTransport>(account, questions);
}

void Transport::uploadMany(const std::vector<Upload> &files,
                           const std::function<void(std::size_t)> &confirmed)
{
    for (std::size_t i = 0; i < files.size(); ++i) {
        upload(files[i].localPath, files[i].remoteName);
        confirmed(i);
    }
}

} // namespace tl
