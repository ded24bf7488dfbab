#pragma once
// What the clients of object storage (S3Client) and of Git branches
// (GitClient) share: a file to send, a file the remote has, and the message
// of a transfer ended by Cancel. A remote name is bytes ("www/index.html"),
// as the publisher builds it: a leading "/" means the same as none.
#include <QtGlobal>
#include <string>

namespace tl {

// A local file and the remote name it is sent under.
struct FileUpload {
    std::string localPath;
    std::string remoteName;
};

// A file the remote holds: its name below the folder that was listed, and
// its size in bytes.
struct RemoteFile {
    std::string name;
    qint64 size = 0;

    bool operator==(const RemoteFile &) const = default;
};

// The message of the EAbortError that an operation ended by Cancel throws.
inline constexpr const char *kMsgTransferCancelled = "Transfer cancelled";

} // namespace tl
