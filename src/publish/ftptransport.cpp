#include "publish/ftptransport.h"

#include <QString>
#include <QStringList>

#include <utility>

namespace tl {

namespace {

// Gives a member a value for the length of one call, however the call ends.
template <typename T>
class ForThisCall {
public:
    ForThisCall(T &member, T value) : member_(member) { member_ = std::move(value); }
    ~ForThisCall() { member_ = T(); }
    ForThisCall(const ForThisCall &) = delete;
    ForThisCall &operator=(const ForThisCall &) = delete;

private:
    T &member_;
};

// The path a PWD reply names: the text between its first pair of quotes,
// a doubled quote inside standing for one.
std::string pathOfPwdReply(const std::string &reply)
{
    const std::size_t open = reply.find('"');
    if (open == std::string::npos)
        return {};
    std::string path;
    for (std::size_t i = open + 1; i < reply.size(); ++i) {
        if (reply[i] != '"') {
            path += reply[i];
            continue;
        }
        if (i + 1 < reply.size() && reply[i + 1] == '"') {
            path += '"';
            ++i;
            continue;
        }
        return path;
    }
    return {};
}

// An MLSD line: "type=file;size=1234;modify=...; name".
bool parseMlsdLine(const std::string &line, RemoteEntry &e)
{
    const std::size_t space = line.find(' ');
    if (space == std::string::npos)
        return false;
    e = RemoteEntry();
    e.name = line.substr(space + 1);
    const QStringList facts =
        QString::fromLatin1(line.substr(0, space).c_str()).split(QLatin1Char(';'), Qt::SkipEmptyParts);
    for (const QString &fact : facts) {
        const QString key = fact.section(QLatin1Char('='), 0, 0).toLower();
        const QString value = fact.section(QLatin1Char('='), 1);
        if (key == QLatin1String("type")) {
            const QString t = value.toLower();
            e.kind = t == QLatin1String("file") ? RemoteEntry::Kind::File
                : (t == QLatin1String("dir") || t == QLatin1String("cdir") || t == QLatin1String("pdir"))
                ? RemoteEntry::Kind::Folder
                : RemoteEntry::Kind::Other;
            if (t == QLatin1String("cdir") || t == QLatin1String("pdir"))
                return false; // the folder itself and its parent
        } else if (key == QLatin1String("size")) {
            bool ok = false;
            const qint64 n = value.toLongLong(&ok);
            if (ok)
                e.size = n;
        }
    }
    return !e.name.empty();
}

// A line of a Unix-style LIST: "-rw-r--r-- 1 owner group 1234 Dec 09 10:00 name"
// (the name is what follows the time or year, spaces and all).
bool parseUnixListLine(const std::string &line, RemoteEntry &e)
{
    if (line.empty())
        return false;
    e = RemoteEntry();
    const char type = line[0];
    e.kind = type == '-' ? RemoteEntry::Kind::File
        : type == 'd'    ? RemoteEntry::Kind::Folder
                         : RemoteEntry::Kind::Other;
    if (std::string("-dlpscb").find(type) == std::string::npos)
        return false;
    // Eight fields before the name: mode, links, owner, group, size, month,
    // day, time or year.
    std::size_t pos = 0;
    std::string fields[8];
    for (std::string &field : fields) {
        while (pos < line.size() && line[pos] == ' ')
            ++pos;
        const std::size_t end = line.find(' ', pos);
        if (end == std::string::npos)
            return false;
        field = line.substr(pos, end - pos);
        pos = end;
    }
    if (pos + 1 > line.size())
        return false;
    e.name = line.substr(pos + 1);
    bool ok = false;
    const qint64 n = QString::fromLatin1(fields[4].c_str()).toLongLong(&ok);
    if (ok)
        e.size = n;
    if (e.kind == RemoteEntry::Kind::Other && type == 'l') {
        const std::size_t arrow = e.name.find(" -> ");
        if (arrow != std::string::npos)
            e.name.resize(arrow);
    }
    return !e.name.empty() && e.name != "." && e.name != "..";
}

} // namespace

FtpTransport::FtpTransport(const PublishAccount &a, const TransportQuestions &questions)
{
    client_.Host = a.host;
    client_.Port = a.port;
    client_.UserID = a.user;
    client_.Password = a.password;
    if (a.useProxy) {
        client_.Proxy = a.proxyHost;
        client_.ProxyPort = a.port;
    }
    client_.Passive = a.passive;
    client_.UseTls = a.tls;
    client_.TrustedFingerprint = a.trustedFingerprint;
    if (questions.noDataTimeoutMs > 0)
        client_.NoDataTimeOut = questions.noDataTimeoutMs;
    client_.OnUntrustedCertificate = questions.untrustedCertificate;
    client_.OnCertificateAccepted = questions.certificateAccepted;

    client_.OnFailure = [this](bool &handled, FtpCommandKind kind) {
        if (quietRefusals_) {
            refused_ = true;
            handled = true; // the caller looks at the reply itself
            return;
        }
        const QString text = failureText(kind);
        if (!text.isEmpty() && onFailure)
            onFailure(text);
    };
    host_ = a.useProxy ? a.proxyHost : a.host;
    user_ = a.user;
    port_ = a.port;
    client_.OnError = [this](quint16 number, const std::string &message) {
        // "10061:Connection refused": the reason, without its number.
        const std::size_t colon = message.find(':');
        socketError_ = colon == std::string::npos ? message : message.substr(colon + 1);
        if (onSocketError)
            onSocketError(number, QString::fromLocal8Bit(message));
    };
    client_.OnListItem = [this](const std::string &name) {
        if (listed_)
            listed_(name);
    };
    // Bytes that have gone over the network, full only once the server
    // confirmed the file.
    client_.OnProgress = [this](qint64 done, qint64 total) {
        if (onBytes)
            onBytes(done, total);
    };
    client_.OnLog = [this](const std::string &line) {
        if (onLog)
            onLog(QString::fromLocal8Bit(line));
    };
}

void FtpTransport::makeFolders(const std::string &remoteFolder)
{
    if (remoteFolder.empty() || remoteFolder == "/" || remoteFolder == ".")
        return;
    const ForThisCall<bool> quiet(quietRefusals_, true);
    // The login folder, to come back to: relative names depend on it.
    client_.DoCommand("PWD");
    const std::string home = pathOfPwdReply(client_.LastReply());
    const auto back = [&] {
        if (!home.empty())
            client_.DoCommand("CWD " + home);
    };
    client_.DoCommand("CWD " + remoteFolder);
    if (client_.ReplyCode() / 100 == 2) {
        back();
        return;
    }
    // Missing: every level, from the top; one that exists refuses, which is
    // fine. Whether the folder is there now decides.
    back();
    const QStringList parts =
        QString::fromStdString(remoteFolder).split(QLatin1Char('/'), Qt::SkipEmptyParts);
    std::string level = remoteFolder[0] == '/' ? "/" : "";
    std::string refusal;
    for (const QString &part : parts) {
        level += part.toStdString();
        client_.DoCommand("MKD " + level);
        if (client_.ReplyCode() / 100 != 2)
            refusal = client_.LastReply();
        level += "/";
    }
    client_.DoCommand("CWD " + remoteFolder);
    const bool made = client_.ReplyCode() / 100 == 2;
    const std::string why = made ? std::string() : (refusal.empty() ? client_.LastReply() : refusal);
    back();
    if (!made)
        throw FTPException("Cannot create remote folder " + remoteFolder + ": " + why);
}

namespace {
std::string trimmedReply(std::string reply)
{
    while (!reply.empty() && (reply.back() == '\n' || reply.back() == '\r' || reply.back() == ' '))
        reply.pop_back();
    return reply;
}
} // namespace

void FtpTransport::connect()
{
    socketError_.clear();
    try {
        client_.Connect();
    } catch (const FTPException &e) {
        const std::string reply = trimmedReply(e.what());
        // A 5xx answer to USER or PASS: the login was refused.
        if (reply.size() >= 3 && reply[0] == '5')
            throw FTPException("The server " + host_ + " refused the login of user \"" + user_
                               + "\": " + reply);
        throw;
    } catch (const EAbortError &) {
        throw;
    } catch (const ESockError &e) {
        const std::string what = e.what();
        if (what == "Connection Failed" || what == "Connection Timed out") {
            const std::string why = what == "Connection Timed out"
                ? std::string("no answer in time")
                : (socketError_.empty() ? std::string("the connection failed") : socketError_);
            throw ESockError("Cannot connect to " + host_ + " port " + std::to_string(port_) + ": "
                             + why);
        }
        throw;
    }
}

void FtpTransport::upload(const std::string &localPath, const std::string &remoteName)
{
    try {
        client_.UploadWhole(localPath, remoteName);
    } catch (const FTPException &e) {
        // The server's words alone do not say which file it refused.
        throw FTPException("The server refused to store " + remoteName + ": " + trimmedReply(e.what()));
    }
}

void FtpTransport::remove(const std::string &remoteName) { client_.Delete(remoteName); }

std::vector<RemoteEntry> FtpTransport::list(const std::string &remoteFolder)
{
    const std::string folder = remoteFolder.empty() ? std::string(".") : remoteFolder;
    std::vector<std::string> lines;
    const ForThisCall<std::function<void(const std::string &)>> listing(
        listed_, [&lines](const std::string &line) { lines.push_back(line); });
    std::vector<RemoteEntry> entries;
    refused_ = false;
    {
        // MLSD says exactly what each entry is; a server that does not know
        // it gets LIST, whose Unix form nearly every server speaks.
        const ForThisCall<bool> quiet(quietRefusals_, true);
        client_.Listing("MLSD " + folder);
    }
    if (!refused_) {
        for (const std::string &line : lines) {
            RemoteEntry e;
            if (parseMlsdLine(line, e) && e.name[0] != '.')
                entries.push_back(std::move(e));
        }
        return entries;
    }
    const auto unsupported = [](int code) { return code >= 500 && code <= 504 && code != 503; };
    if (!unsupported(client_.ReplyCode())) {
        if (onFailure)
            onFailure(failureText(cmdList));
        throw FTPException(client_.LastReply());
    }
    lines.clear();
    refused_ = false;
    {
        const ForThisCall<bool> quiet(quietRefusals_, true);
        client_.Listing("LIST -a " + folder);
    }
    if (!refused_) {
        for (const std::string &line : lines) {
            RemoteEntry e;
            if (parseUnixListLine(line, e) && e.name[0] != '.')
                entries.push_back(std::move(e));
        }
        return entries;
    }
    if (!unsupported(client_.ReplyCode())) {
        if (onFailure)
            onFailure(failureText(cmdList));
        throw FTPException(client_.LastReply());
    }
    // A server that lists names only: their kinds and sizes stay unknown.
    lines.clear();
    client_.ChangeDir(folder);
    client_.NList();
    for (const std::string &line : lines) {
        RemoteEntry e;
        e.name = line;
        e.kind = RemoteEntry::Kind::File; // as far as a names-only listing tells
        entries.push_back(std::move(e));
    }
    return entries;
}

qint64 FtpTransport::remoteSize(const std::string &remoteName)
{
    const ForThisCall<bool> quiet(quietRefusals_, true);
    client_.DoCommand("SIZE " + remoteName);
    if (client_.ReplyCode() != 213)
        return -1;
    const std::string &reply = client_.LastReply();
    bool ok = false;
    const qint64 n = QString::fromLatin1(reply.substr(std::min<std::size_t>(4, reply.size())).c_str())
                         .trimmed()
                         .toLongLong(&ok);
    return ok ? n : -1;
}

void FtpTransport::download(const std::string &remoteName, const std::string &localPath)
{
    client_.Download(remoteName, localPath);
}

} // namespace tl
