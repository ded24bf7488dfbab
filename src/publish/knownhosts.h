#pragma once
// Host keys of SSH servers checked against ~/.ssh/known_hosts for
// connections that libssh does not make itself (Git, whose SSH is libgit2's):
// the same file, the same question for a key not seen before and the same
// refusals as SftpClient.
#include "publish/sftpclient.h" // HostKeyInfo, SshHostKeyError

#include <functional>
#include <string>

namespace tl {

// The name known_hosts gives a server: "host" on port 22, "[host]:port" on
// any other.
std::string knownHostsName(const std::string &host, int port);

// Checks a server's host key, given in its SSH wire form, against
// SftpClient::KnownHostsPath(). A recorded key returns. A key that differs
// from the one recorded, or is of another type, throws SshHostKeyError with
// the warning. A key not recorded is put to `accept` (unassigned: refused);
// accepted, it is appended to known_hosts and `log` says so; refused, it
// throws SshHostKeyError.
void verifyHostKey(const std::string &host, int port, const std::string &keyBlob,
    const std::function<bool(const HostKeyInfo &key)> &accept,
    const std::function<void(const std::string &line)> &log);

} // namespace tl
