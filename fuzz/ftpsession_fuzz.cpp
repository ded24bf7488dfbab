// A whole FTP session of the client against the scripted server of
// ftpserver.h, whose replies, listing and file come from the input (the
// record format is described there). @UPLOAD holds the bytes of the local
// file to send; @OPTIONS may hold "c" (change folder first) and "e" (the
// download's target exists already).
//
// The session: connect and log in, optionally CWD, list, download the first
// listed name (or "post.txt"), upload, quit; a step that fails ends the
// session unless the client is still connected. Properties:
//  - the names the listing delivers are its lines without their line ends,
//    blank lines left out, in order; all of them when the listing succeeds;
//  - a download that succeeds leaves exactly the bytes the server sent, all
//    of them; one that fails leaves the target as it was (missing, or with
//    its old bytes);
//  - an upload that succeeds leaves exactly the local bytes on the server
//    under the name asked for, and no other file there; where the server
//    never took the data, the client had at least a final reply claiming
//    success (the same for a download that arrives empty);
//  - the local folder never holds a file nobody asked for (no temporary file
//    survives, after success or failure);
//  - once the client is gone, no socket object of the client is left, and the
//    server sees its connection closed.
#include "ftpserver.h"
#include "fuzzsupport.h"
#include "publish/ftpclient.h"

#include <QElapsedTimer>
#include <QFile>
#include <cctype>
#include <cstdio>
#include <algorithm>
#include <set>

using tl::fuzz::shown;

namespace {

std::string readBytes(const std::string &path, bool &exists)
{
    QFile f(QString::fromStdString(path));
    exists = f.open(QIODevice::ReadOnly);
    return exists ? f.readAll().toStdString() : std::string();
}

void writeBytes(const std::string &path, const std::string &bytes)
{
    QFile f(QString::fromStdString(path));
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)
        || f.write(bytes.data(), static_cast<qint64>(bytes.size())) != static_cast<qint64>(bytes.size()))
        tl::fuzz::fail(__FILE__, __LINE__, "write", path);
}

// The names a listing holds: its lines without line ends (LF, CR LF), blank
// lines left out; a last line without a line feed counts.
std::vector<std::string> listedNames(const std::string &listing)
{
    std::vector<std::string> names;
    std::size_t pos = 0;
    while (pos < listing.size()) {
        std::size_t lf = listing.find('\n', pos);
        std::string line = listing.substr(pos, (lf == std::string::npos ? listing.size() : lf) - pos);
        pos = lf == std::string::npos ? listing.size() : lf + 1;
        if (lf != std::string::npos && !line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty())
            names.push_back(line);
    }
    return names;
}

std::string bareName(const std::string &name)
{
    const std::size_t slash = name.rfind('/');
    return slash == std::string::npos ? name : name.substr(slash + 1);
}

// Whether the server's reply to the last transfer command held a completion
// reply (2xx) after its first line. A server that never moved the data but
// says so lies; a client can only take its word for it.
bool serverClaimedSuccess(const tl::fuzz::ScriptedFtpServer &server)
{
    const auto &lines = server.transferReply;
    return std::any_of(lines.begin() + std::min<std::size_t>(1, lines.size()), lines.end(),
                       [](const std::string &line) {
                           return line.size() >= 3 && line[0] == '2'
                               && std::isdigit(static_cast<unsigned char>(line[1]))
                               && std::isdigit(static_cast<unsigned char>(line[2]));
                       });
}

// The commands the server received, for failure messages.
std::string commandLog(const tl::fuzz::ScriptedFtpServer &server)
{
    std::string log = "\n     commands:";
    for (const std::string &c : server.commands)
        log += " " + shown(c, 60);
    return log;
}

// Runs one step; true when it succeeded.
bool step(const std::function<void()> &work, std::string &failure)
{
    try {
        work();
        return true;
    } catch (const std::exception &e) {
        failure = e.what();
        return false;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    tl::fuzz::ensureCoreApplication();
    static auto *server = new tl::fuzz::ScriptedFtpServer;
    static const std::string folder = tl::fuzz::scratchFolder("ftp");
    tl::fuzz::removeFolderContents(folder);

    const std::string input(reinterpret_cast<const char *>(data), size);
    const tl::fuzz::FtpScript script = tl::fuzz::parseFtpScript(input);
    const std::string options = script.record("OPTIONS", "");
    const std::string upload = script.record("UPLOAD", "upload\r\n");
    const std::string oldTarget = "OLD";
    const bool targetExists = options.find('e') != std::string::npos;
    server->reset(script);

    const std::string upPath = folder + "up.bin";
    const std::string downPath = folder + "down.txt";
    writeBytes(upPath, upload);
    if (targetExists)
        writeBytes(downPath, oldTarget);

    std::vector<std::string> names;
    bool downloaded = false;
    {
        tl::FtpClient client;
        client.Host = "127.0.0.1";
        client.Port = server->port();
        client.UserID = "user";
        client.Password = "pw";
        client.NoDataTimeOut = 5000;
        client.OnListItem = [&](const std::string &name) { names.push_back(name); };
        static const bool trace = qEnvironmentVariableIsSet("TL_FUZZ_TRACE");
        QElapsedTimer clock;
        clock.start();
        if (trace) {
            client.ReportLevel = 1;
            client.OnStatus = [&](const std::string &s) {
                std::fprintf(stderr, "%6lld ms  %s\n", static_cast<long long>(clock.elapsed()), shown(s).c_str());
            };
        }

        std::string failure;
        bool go = step([&] { client.Connect(); }, failure);
        if (go && options.find('c') != std::string::npos)
            go = step([&] { client.ChangeDir("posts"); }, failure) || client.Connected();

        // Listing.
        if (go) {
            const bool listed = step([&] { client.NList(); }, failure);
            // A client that took an earlier reply for this one may be done
            // before the server has seen its data connection closed.
            tl::fuzz::spinUntil([] { return !server->transferring(); }, 1000);
            const std::vector<std::string> expected = listedNames(server->listingSent);
            if (listed) {
                // As for a download: a server that never moved the listing
                // gives an empty one, when its final reply claims success.
                FUZZ_CHECK(names == expected
                               && (server->listingDone || (!server->listingStarted && serverClaimedSuccess(*server))),
                           "listing " + shown(server->listingSent) + " gave " + std::to_string(names.size())
                               + " names");
            } else {
                FUZZ_CHECK(names.size() <= expected.size()
                               && std::equal(names.begin(), names.end(), expected.begin()),
                           "failed listing " + shown(server->listingSent) + " gave names it does not hold");
            }
            go = listed || client.Connected();
        }

        // Download.
        if (go) {
            const std::string remote = names.empty() ? "post.txt" : names.front();
            downloaded = step([&] { client.Download(remote, downPath); }, failure);
            tl::fuzz::spinUntil([] { return !server->transferring(); }, 1000);
            bool exists = false;
            const std::string bytes = readBytes(downPath, exists);
            if (downloaded)
                // A server that never moved the data closes the connection
                // empty; that is an empty file to the client, as from any
                // server, when the server's final reply claims success.
                FUZZ_CHECK(exists && bytes == server->retrSent
                               && (server->retrDone || (!server->retrStarted && serverClaimedSuccess(*server))),
                           "download gave " + shown(bytes) + ", the server sent " + shown(server->retrSent)
                               + commandLog(*server));
            else
                FUZZ_CHECK(exists == targetExists && (!exists || bytes == oldTarget),
                           "failed download (" + failure + ") left " + (exists ? shown(bytes) : "no file")
                               + commandLog(*server));
            go = downloaded || client.Connected();
        }

        // Upload.
        if (go) {
            server->store.clear();
            const bool sent = step([&] { client.Upload(upPath, "up.txt"); }, failure);
            tl::fuzz::spinUntil([] { return !server->transferring(); }, 1000);
            if (sent && !server->storeStarted) {
                FUZZ_CHECK(serverClaimedSuccess(*server),
                           "upload taken as sent with no data connection taken and no success claimed"
                               + commandLog(*server));
            } else if (sent) {
                std::vector<std::string> stored;
                for (const auto &[name, bytes] : server->store)
                    stored.push_back(name);
                FUZZ_CHECK(stored.size() == 1 && bareName(stored[0]) == "up.txt"
                               && server->store.begin()->second == upload,
                           "upload of " + shown(upload) + " left " + std::to_string(stored.size())
                               + " files, first " + (stored.empty() ? "-" : shown(stored[0]) + " = "
                                                                             + shown(server->store.begin()->second))
                               + commandLog(*server));
            }
            bool exists = false;
            FUZZ_CHECK(readBytes(upPath, exists) == upload && exists, "upload changed the local file");
        }

        // Only the files the session asked for are in the local folder.
        std::vector<std::string> expectedFiles{"up.bin"};
        if (downloaded || targetExists)
            expectedFiles.insert(expectedFiles.begin(), "down.txt");
        const std::vector<std::string> files = tl::fuzz::folderEntries(folder);
        FUZZ_CHECK(files == expectedFiles, "local folder holds " + std::to_string(files.size())
                                               + " entries, first " + (files.empty() ? "-" : files.front()));

        step([&] { client.Disconnect(); }, failure);
        if (trace)
            std::fprintf(stderr, "%6lld ms  end; last failure: %s\n", static_cast<long long>(clock.elapsed()),
                         failure.c_str());
    }
    FUZZ_CHECK(tl::FtpSocket::LiveCount() == 0,
               std::to_string(tl::FtpSocket::LiveCount()) + " socket objects outlive the client");
    tl::fuzz::deleteLaterNow();
    FUZZ_CHECK(tl::fuzz::spinUntil([] { return server->idle(); }, 3000),
               "the server still sees a connection after the client is gone");
    return 0;
}
