#include "publish/knownhosts.h"

#include <QDir>
#include <QFile>
#include <memory>

#include <libssh/libssh.h>

namespace tl {

namespace {

struct KeyFree {
    void operator()(ssh_key k) const { ssh_key_free(k); }
};
using KeyPtr = std::unique_ptr<ssh_key_struct, KeyFree>;

// A public key in its SSH wire form: a string naming its type, then the
// type's fields.
KeyPtr importBlob(const std::string &blob)
{
    if (blob.size() < 4)
        return nullptr;
    const auto *b = reinterpret_cast<const unsigned char *>(blob.data());
    const size_t nameLength = size_t(b[0]) << 24 | size_t(b[1]) << 16 | size_t(b[2]) << 8 | b[3];
    if (nameLength > blob.size() - 4)
        return nullptr;
    const std::string typeName = blob.substr(4, nameLength);
    const ssh_keytypes_e type = ssh_key_type_from_name(typeName.c_str());
    if (type == SSH_KEYTYPE_UNKNOWN)
        return nullptr;
    const QByteArray base64 = QByteArray::fromStdString(blob).toBase64();
    ssh_key key = nullptr;
    if (ssh_pki_import_pubkey_base64(base64.constData(), type, &key) != SSH_OK)
        return nullptr;
    return KeyPtr(key);
}

std::string fingerprintOf(ssh_key key)
{
    std::string out;
    unsigned char *hash = nullptr;
    size_t length = 0;
    if (ssh_get_publickey_hash(key, SSH_PUBLICKEY_HASH_SHA256, &hash, &length) == SSH_OK) {
        if (char *fp = ssh_get_fingerprint_hash(SSH_PUBLICKEY_HASH_SHA256, hash, length)) {
            out = fp;
            ssh_string_free_char(fp);
        }
        ssh_clean_pubkey_hash(&hash);
    }
    return out;
}

enum class Match { None, Same, Changed, OtherType };

// What known_hosts says about `key` for the server named `name`.
Match lookUp(const std::string &path, const std::string &name, ssh_key key)
{
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly))
        return Match::None;
    bool sameType = false, otherType = false;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine().trimmed();
        // Comments, and the marked lines (@cert-authority, @revoked) that
        // this check does not use.
        if (line.isEmpty() || line.startsWith('#') || line.startsWith('@'))
            continue;
        ssh_knownhosts_entry *entry = nullptr;
        if (ssh_known_hosts_parse_line(name.c_str(), line.constData(), &entry) != SSH_OK) {
            ssh_knownhosts_entry_free(entry);
            continue;
        }
        if (ssh_key_cmp(entry->publickey, key, SSH_KEY_CMP_PUBLIC) == 0) {
            ssh_knownhosts_entry_free(entry);
            return Match::Same;
        }
        if (ssh_key_type(entry->publickey) == ssh_key_type(key))
            sameType = true;
        else
            otherType = true;
        ssh_knownhosts_entry_free(entry);
    }
    return sameType ? Match::Changed : otherType ? Match::OtherType : Match::None;
}

} // namespace

std::string knownHostsName(const std::string &host, int port)
{
    return port == 22 || port <= 0 ? host : "[" + host + "]:" + std::to_string(port);
}

void verifyHostKey(const std::string &host, int port, const std::string &keyBlob,
    const std::function<bool(const HostKeyInfo &key)> &accept,
    const std::function<void(const std::string &line)> &log)
{
    const std::string name = knownHostsName(host, port);
    const KeyPtr key = importBlob(keyBlob);
    if (!key)
        throw SshHostKeyError("The server " + name + " sent a host key that cannot be read");
    HostKeyInfo info;
    info.host = host;
    info.port = port <= 0 ? 22 : port;
    const char *type = ssh_key_type_to_char(ssh_key_type(key.get()));
    info.type = type ? type : "unknown";
    info.fingerprint = fingerprintOf(key.get());

    const std::string path = SftpClient::KnownHostsPath();
    const std::string shown = info.type + " " + info.fingerprint;
    const Match match = lookUp(path, name, key.get());
    if (match == Match::Same)
        return;
    if (match != Match::None)
        throw SshHostKeyError("WARNING: the host key of " + name
            + " has CHANGED. The server now shows the " + shown
            + (match == Match::OtherType ? ", a key of another type than the one recorded in "
                                         : ", which is not the key recorded in ")
            + path
            + ". Someone may be intercepting the connection, or the server's key was replaced. "
              "The connection was refused; if the new key is expected, remove the old entry "
              "from "
            + path + " and connect again.");
    if (!accept || !accept(info))
        throw SshHostKeyError("The host key of " + name + " is not known (" + shown
            + "); the connection was refused.");

    const QString dir = SftpClient::sshDir();
    if (!QDir(dir).exists() && QDir().mkpath(dir))
        QFile::setPermissions(
            dir, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    char *base64 = nullptr;
    bool recorded = false;
    if (ssh_pki_export_pubkey_base64(key.get(), &base64) == SSH_OK) {
        QFile file(QString::fromStdString(path));
        const QByteArray line
            = QByteArray::fromStdString(name + " " + info.type + " ") + base64 + "\n";
        // A file that does not end its last line gets the line feed first.
        bool needsBreak = false;
        if (file.open(QIODevice::ReadOnly)) {
            needsBreak = file.size() > 0 && file.seek(file.size() - 1) && file.read(1) != "\n";
            file.close();
        }
        recorded = file.open(QIODevice::Append)
            && file.write((needsBreak ? "\n" : "") + line) == line.size() + (needsBreak ? 1 : 0);
        ssh_string_free_char(base64);
    }
    if (log)
        log(recorded ? "The host key of " + name + " (" + shown + ") was added to " + path
                     : "The host key of " + name
                    + " was accepted for this connection but could not be recorded in " + path);
}

} // namespace tl
