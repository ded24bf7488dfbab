// The writer's loop over SFTP: a blog of many posts, one new post, then
// `tarvlit publish` (generate and send), against `rclone sync` and
// `lftp mirror -R --only-newer` bringing their own copies of the same site
// (main folder and data folder) up to date, in the same run, against the
// same OpenSSH sshd (started here with the tests' launcher).
//
// All three reach the server through a proxy of this program's own that
// holds every byte 20 ms in each direction (a 40 ms round trip, a home line
// to a hosting company) and the connection's set-up 1.5 round trips, as
// TCP's handshake would take; on loopback alone round trips cost nothing.
// The proxy also counts the round trips each client waited for: the times it
// sends after the server has said something since its last send and after
// a pause of at least 1.5 times the one-way delay (so that requests sent
// while answers stream in, as in a pipeline, do not count). With
// BENCH_TRACE=1 it prints what went each way, and when, for every connection.
//
//   bench_sftp_publish [POSTS] [ROUNDS]     10000 posts, 5 rounds
//   bench_sftp_publish --stripped [POSTS] [ROUNDS]
//                                           the same with the program's debug
//                                           information stripped, as in a
//                                           release build (the package's)
//   bench_sftp_publish --drift-only         only the drift check's times
// BENCH_TARVLIT=PATH measures another build of the program (an older one,
// for a before and after).
//   bench_sftp_publish --serve [--stripped] [POSTS]
//                                           set up, print the commands and
//                                           their environment, keep the
//                                           server and proxy until SIGTERM
//
// Set-up (not timed): the blog is written, generated and sent whole by a
// first `tarvlit publish` through the proxy without delay; rclone's and
// lftp's copies start as copies of the sent site with the same times
// (`cp -a`), so that neither sees anything to do until the new post.
// Each round adds one post (saved as the editor saves it), then runs the
// three commands, each a process of its own, timed from start to exit; the
// order of rclone and lftp alternates. After each round the three copies on
// the server are compared with the local site and data folder.
//
// Then the drift check: one SFTP stat of the main page (what a publish does
// before it trusts its send record), through the delaying proxy, with the
// server holding 10,000 and 100,000 posts; for scale, the listing of the
// data folder that a full comparison needs.

#include "benchutil.h"
#include "core/fileio.h"
#include "core/ini.h"
#include "posts/postfile.h"
#include "publish/sftptransport.h"
#include "sshserver.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <pwd.h>
#include <csignal>
#include <pthread.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace tl;
using namespace tl::bench;
using tl::test::SshServer;

namespace {

using Clock = std::chrono::steady_clock;

// ---------------------------------------------------------------- the proxy

// A TCP proxy on 127.0.0.1 that delays each direction by `delayMs` and the
// connection to the server by 3 * delayMs, on a thread of its own.
class DelayProxy {
public:
    DelayProxy(quint16 upstream, int delayMs) : m_upstream(upstream), m_delayMs(delayMs)
    {
        m_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        int one = 1;
        ::setsockopt(m_listen, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        check(::bind(m_listen, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0, "proxy bind");
        check(::listen(m_listen, 16) == 0, "proxy listen");
        socklen_t len = sizeof a;
        ::getsockname(m_listen, reinterpret_cast<sockaddr *>(&a), &len);
        m_port = ntohs(a.sin_port);
        check(::pipe2(m_wake, O_NONBLOCK | O_CLOEXEC) == 0, "proxy pipe");
        m_thread = std::thread([this] { run(); });
    }
    ~DelayProxy()
    {
        m_stop = true;
        const char c = 0;
        (void)!::write(m_wake[1], &c, 1);
        m_thread.join();
        ::close(m_listen);
        ::close(m_wake[0]);
        ::close(m_wake[1]);
    }
    quint16 port() const { return m_port; }
    void setDelay(int ms) { m_delayMs = ms; }
    // Round trips of the connections that ended since the last call, in
    // order, once every connection has ended (the proxy sees a client's end
    // a moment after the client has exited).
    std::vector<int> takeTurns()
    {
        for (int i = 0; i < 500 && m_open > 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        std::lock_guard<std::mutex> lock(m_mutex);
        std::vector<int> out;
        out.swap(m_finished);
        return out;
    }

private:
    struct Chunk {
        Clock::time_point due;
        std::string bytes;
    };
    struct Side {
        int fd = -1;
        std::deque<Chunk> out; // bytes for this side
        bool readDone = false; // this side will send nothing more
        bool shut = false;     // our writing to this side is shut down
    };
    struct Pair {
        Side client, server;
        Clock::time_point connectAt;
        Clock::time_point opened;
        Clock::time_point lastClientSend;
        int turns = 0;
        bool serverSpoke = true; // since the client last sent
        bool clientSent = false;
        std::string trace;
    };

    static Clock::duration ms(int n) { return std::chrono::milliseconds(n); }

    void run()
    {
        std::vector<std::unique_ptr<Pair>> pairs;
        while (!m_stop) {
            const Clock::time_point now = Clock::now();
            // Connections whose set-up time has come.
            for (auto &p : pairs) {
                if (p->server.fd >= 0 || now < p->connectAt)
                    continue;
                p->server.fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
                sockaddr_in a{};
                a.sin_family = AF_INET;
                a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
                a.sin_port = htons(m_upstream);
                check(::connect(p->server.fd, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0,
                      "proxy connect");
                ::fcntl(p->server.fd, F_SETFL, O_NONBLOCK);
                int one = 1;
                ::setsockopt(p->server.fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            }
            // Bytes whose time has come.
            for (auto &p : pairs) {
                flush(p->client, now);
                if (p->server.fd >= 0)
                    flush(p->server, now);
            }
            // Finished connections.
            for (auto it = pairs.begin(); it != pairs.end();) {
                Pair &p = **it;
                const bool done = p.client.readDone && p.server.readDone && p.client.out.empty()
                    && p.server.out.empty();
                if (!done) {
                    ++it;
                    continue;
                }
                ::close(p.client.fd);
                if (p.server.fd >= 0)
                    ::close(p.server.fd);
                {
                    std::lock_guard<std::mutex> lock(m_mutex);
                    m_finished.push_back(p.turns);
                }
                --m_open;
                if (m_trace)
                    std::fprintf(stderr, "connection of %d round trips:\n%s", p.turns,
                                 p.trace.c_str());
                it = pairs.erase(it);
            }

            std::vector<pollfd> fds;
            fds.push_back({m_listen, POLLIN, 0});
            fds.push_back({m_wake[0], POLLIN, 0});
            Clock::time_point next = Clock::time_point::max();
            for (auto &p : pairs) {
                if (p->server.fd < 0)
                    next = std::min(next, p->connectAt);
                for (Side *s : {&p->client, &p->server}) {
                    if (s->fd < 0)
                        continue;
                    short events = s->readDone ? 0 : POLLIN;
                    if (!s->out.empty()) {
                        if (s->out.front().due <= now)
                            events |= POLLOUT;
                        else
                            next = std::min(next, s->out.front().due);
                    }
                    fds.push_back({s->fd, events, 0});
                }
            }
            int timeout = -1;
            if (next != Clock::time_point::max())
                timeout = int(std::max<long long>(
                    0, std::chrono::duration_cast<std::chrono::microseconds>(next - now).count() / 1000
                           + 1));
            ::poll(fds.data(), fds.size(), timeout);
            if (fds[0].revents & POLLIN) {
                for (;;) {
                    const int c = ::accept4(m_listen, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
                    if (c < 0)
                        break;
                    int one = 1;
                    ::setsockopt(c, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
                    auto p = std::make_unique<Pair>();
                    ++m_open;
                    p->client.fd = c;
                    p->opened = Clock::now();
                    p->connectAt = p->opened + ms(3 * m_delayMs);
                    pairs.push_back(std::move(p));
                }
            }
            char sink[64];
            while (::read(m_wake[0], sink, sizeof sink) > 0) {
            }
            const Clock::time_point got = Clock::now();
            for (auto &p : pairs) {
                receive(*p, p->client, p->server, got, true);
                if (p->server.fd >= 0)
                    receive(*p, p->server, p->client, got, false);
            }
        }
        for (auto &p : pairs) {
            ::close(p->client.fd);
            if (p->server.fd >= 0)
                ::close(p->server.fd);
        }
    }

    // Reads what `from` sent and queues it for `to`.
    void receive(Pair &p, Side &from, Side &to, Clock::time_point now, bool fromClient)
    {
        if (from.readDone)
            return;
        char buf[65536];
        for (;;) {
            const ssize_t n = ::read(from.fd, buf, sizeof buf);
            if (n > 0) {
                to.out.push_back({now + ms(m_delayMs), std::string(buf, size_t(n))});
                bool turn = false;
                if (fromClient) {
                    turn = p.serverSpoke
                        && (!p.clientSent || now - p.lastClientSend >= ms(3 * m_delayMs / 2));
                    if (turn)
                        ++p.turns;
                    p.serverSpoke = false;
                    p.clientSent = true;
                    p.lastClientSend = now;
                } else {
                    p.serverSpoke = true;
                }
                if (m_trace) {
                    char line[96];
                    std::snprintf(line, sizeof line, "%8.1f ms %s %6zd bytes%s\n",
                                  std::chrono::duration<double, std::milli>(now - p.opened).count(),
                                  fromClient ? "client" : "server", n, turn ? "  <- round trip" : "");
                    p.trace += line;
                }
                continue;
            }
            if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
                from.readDone = true;
                to.out.push_back({now + ms(m_delayMs), std::string()}); // the end, in its turn
            }
            return;
        }
    }

    static void flush(Side &s, Clock::time_point now)
    {
        while (!s.out.empty() && s.out.front().due <= now) {
            Chunk &c = s.out.front();
            if (c.bytes.empty()) {
                if (!s.shut)
                    ::shutdown(s.fd, SHUT_WR);
                s.shut = true;
                s.out.pop_front();
                continue;
            }
            const ssize_t n = ::send(s.fd, c.bytes.data(), c.bytes.size(), MSG_NOSIGNAL);
            if (n < 0) {
                if (errno == EAGAIN || errno == EWOULDBLOCK)
                    return;
                s.out.clear(); // the peer is gone
                return;
            }
            c.bytes.erase(0, size_t(n));
            if (!c.bytes.empty())
                return;
            s.out.pop_front();
        }
    }

    quint16 m_upstream;
    std::atomic<int> m_delayMs;
    int m_listen = -1;
    int m_wake[2] = {-1, -1};
    quint16 m_port = 0;
    std::atomic<bool> m_stop{false};
    const bool m_trace = qEnvironmentVariableIsSet("BENCH_TRACE");
    std::thread m_thread;
    std::mutex m_mutex;
    std::vector<int> m_finished;
    std::atomic<int> m_open{0};
};

// ------------------------------------------------------------ the work

std::string currentUser()
{
    const passwd *pw = getpwuid(getuid());
    return pw ? pw->pw_name : "root";
}

std::string makeBody(int i)
{
    static const char *const sentences[] = {
        "Dnes jsem se vydal na proch\xE1zku kolem potoka. ",
        "The weather was <b>fine</b> and the path was dry &amp; easy. ",
        "P\xF8\xEDli\x9A \x9Elu\xBBou\xE8k\xFD k\xF9\xF2 \xFAp\xECl \xEF\xE1" "belsk\xE9 \xF3" "dy. ",
        "A note on <a href=\"http://www.example.com/\">a linked page</a> follows. ",
        "Nothing much happened, which is a kind of news in itself. ",
    };
    std::string body;
    int s = i;
    while (body.size() < 1000) {
        for (int k = 0; k < 3 && body.size() < 1000; ++k)
            body += sentences[s++ % 5];
        body += "\r\n\r\n";
        if (i % 10 == 0 && body.size() > 380 && body.find("<!--more-->") == std::string::npos)
            body += "<!--more-->";
    }
    return body;
}

// Posts over 20 years; returns the newest post's time.
std::int64_t makeBlog(const QString &data, int posts)
{
    QDir().mkpath(data);
    const std::int64_t start = secondsFromCivil(2006, 1, 1);
    const double span = 20 * 365.25 * 86400.0;
    std::int64_t n = start;
    for (int i = 0; i < posts; ++i) {
        n = start + static_cast<std::int64_t>(i * span / posts) / 60 * 60;
        writeFile(data + "/" + QString::fromStdString(postFileName(n)),
                  QByteArray::fromStdString(postFileBytes("Post number " + std::to_string(i), makeBody(i))));
    }
    return n;
}

struct Run {
    double seconds = 0;
    int status = -1;
    QByteArray err;
};

Run runProcess(const QString &program, const QStringList &args, const QProcessEnvironment &env)
{
    QProcess p;
    p.setProcessEnvironment(env);
    p.setStandardInputFile(QProcess::nullDevice());
    QElapsedTimer clock;
    clock.start();
    p.start(program, args);
    p.waitForFinished(-1);
    Run r;
    r.seconds = clock.nsecsElapsed() / 1e9;
    r.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.err = p.readAllStandardError() + p.readAllStandardOutput();
    return r;
}

void mustSucceed(const Run &r, const char *what)
{
    if (r.status != 0) {
        std::fprintf(stderr, "%s failed (%d): %s\n", what, r.status, r.err.constData());
        std::exit(1);
    }
}

// Every file below `dir` (relative name -> bytes), hidden ones included.
std::map<QString, QByteArray> filesBelow(const QString &dir)
{
    std::map<QString, QByteArray> out;
    QDirIterator it(dir, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        out[QDir(dir).relativeFilePath(path)] = readFile(path);
    }
    return out;
}

bool sameTree(const QString &a, const QString &b) { return filesBelow(a) == filesBelow(b); }

double medianOf(std::vector<double> v) { return median(std::move(v)); }

struct Drift {
    double stat = 0;    // median seconds of one stat of the main page
    double listing = 0; // median seconds of one listing of the data folder
    std::size_t listed = 0;
};

Drift measureDrift(quint16 port, const std::string &user, const std::string &mainPage,
                   const std::string &dataFolder)
{
    PublishAccount account;
    account.sftp = true;
    account.host = "127.0.0.1";
    account.port = port;
    account.user = user;
    SftpTransport t(account, {});
    t.connect();
    Drift d;
    std::vector<double> stats, lists;
    for (int i = 0; i < 21; ++i)
        stats.push_back(timeIt([&] { check(t.remoteSize(mainPage) > 0, "the main page is there"); }));
    for (int i = 0; i < 3; ++i)
        lists.push_back(timeIt([&] { d.listed = t.list(dataFolder).size(); }));
    t.disconnect();
    d.stat = medianOf(stats);
    d.listing = medianOf(lists);
    return d;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    qunsetenv("SSH_AUTH_SOCK");
    if (argc == 3 && std::string(argv[1]) == "--add-post") {
        // One more post, an hour after the newest of the data folder.
        const QStringList names = QDir(argv[2]).entryList({"*.txt"}, QDir::Files, QDir::Name);
        std::int64_t newest = 0;
        for (const QString &n : names)
            newest = std::max<std::int64_t>(newest, n.chopped(4).toLongLong());
        writePost(std::string(argv[2]) + "/" + postFileName(newest + 3600), "Added post", makeBody(1));
        return 0;
    }
    bool driftOnly = false, serve = false, stripped = false;
    std::vector<int> numbers;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--drift-only")
            driftOnly = true;
        else if (a == "--serve")
            serve = true;
        else if (a == "--stripped")
            stripped = true;
        else
            numbers.push_back(std::atoi(argv[i]));
    }
    const int posts = numbers.size() > 0 ? numbers[0] : 10000;
    const int rounds = numbers.size() > 1 ? numbers[1] : 5;
    // --serve ends on SIGTERM or SIGINT, taken by sigwait: blocked in every
    // thread, the proxy's included.
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGTERM);
    sigaddset(&stop, SIGINT);
    if (serve)
        pthread_sigmask(SIG_BLOCK, &stop, nullptr);
    const int delayMs = 20;

    QTemporaryDir work(QDir::tempPath() + "/bench-sftp-publish-XXXXXX");
    const QString w = work.path();
    const QString home = w + "/home", prog = w + "/prog", blog = w + "/blog", served = w + "/served";
    for (const QString &d : {w + "/sshd", home + "/.ssh", prog + "/conf", blog + "/site",
                             served + "/tarvlit"})
        QDir().mkpath(d);

    SshServer server(w + "/sshd");
    // A check that fails ends the program at once: the server and the work
    // folder go with it.
    static SshServer *s_server = &server;
    static QString s_work = w;
    static bool s_live = true;
    struct Ended {
        ~Ended() { s_live = false; }
    } ended;
    std::atexit([] {
        if (!s_live)
            return;
        s_server->stop();
        QDir(s_work).removeRecursively();
    });
    if (!server.start()) {
        std::fprintf(stderr, "sshd did not start: %s\n", qPrintable(server.error()));
        return 1;
    }
    DelayProxy proxy(server.port(), 0);
    const std::string user = currentUser();
    const QString key = home + "/.ssh/id_ed25519";
    QFile::copy(server.clientKeyPath(), key);
    QFile::setPermissions(key, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    qputenv("HOME", home.toLocal8Bit());
    writeFile(home + "/.ssh/known_hosts",
              QString("[127.0.0.1]:%1 ").arg(proxy.port()).toLatin1()
                  + server.knownHostsLine().section(' ', 1).toLatin1() + "\n");

    if (driftOnly) {
        proxy.setDelay(delayMs);
        for (int n : {10000, 100000}) {
            const QString root = served + QString("/drift%1").arg(n);
            QDir().mkpath(root + "/www");
            QDir().mkpath(root + "/data");
            writeFile(root + "/www/index.html", QByteArray(60000, 'x'));
            for (int i = 0; i < n; ++i)
                writeFile(root + QString("/data/%1.txt").arg(1100000000 + i * 600), "post\r\n");
            const Drift d = measureDrift(proxy.port(), user, (root + "/www/index.html").toStdString(),
                                         (root + "/data").toStdString());
            std::printf("%d posts: drift check (stat of the main page) %.4f s; listing of the data "
                        "folder (%zu names) %.4f s\n",
                        n, d.stat, d.listed, d.listing);
        }
        return 0;
    }

    // The blog and the project, as the window would have saved it.
    std::int64_t newest = makeBlog(blog + "/data", posts);
    const QString program = qEnvironmentVariableIsSet("BENCH_TARVLIT")
        ? qEnvironmentVariable("BENCH_TARVLIT")
        : QStringLiteral(TL_TARVLIT_EXE);
    check(QFile::copy(program, prog + "/tarvlit"), "copy the program");
    if (stripped)
        mustSucceed(runProcess("strip", {"--strip-debug", prog + "/tarvlit"},
                               QProcessEnvironment::systemEnvironment()),
                    "strip");
    const std::string tpl = std::string(TL_SOURCE_DIR) + "/tests/data/generator/fixture/templates/";
    const std::string project = (prog + "/conf/blog.tvp").toStdString();
    writeFile(QString::fromStdString(project), "[TForm1]\r\n");
    const std::pair<const char *, std::string> keys[] = {
        {"pathMAIN_Text", (blog + "/site").toStdString()},
        {"pathDATA_Text", (blog + "/data").toStdString()},
        {"fileTEMPLATE_Text", tpl + "template.htm"},
        {"archiveTEMPLATE_Text", tpl + "archtemp.htm"},
        {"edtRSSTEMPLATE_Text", tpl + "template.rss"},
        {"edtTXTTEMPLATE_Text", tpl + "template.txt"},
        {"dirPATHARCHIVES_Text", "archiv/"},
        {"edtCOUNT_Text", "10"},
        {"edtMAINURI_Text", "http://blog.example.com/"},
        {"edtAUTHOR_Text", "Jan Nov\xE1k"},
        {"edtEMAIL_Text", "jan@example.com"},
        {"edtFTPADDRESS_Text", "127.0.0.1"},
        {"edtUSER_Text", user},
        {"edtPORT_Text", std::to_string(proxy.port())},
        {"chkSFTP_Checked", "True"},
        {"rPATHMAIN_Text", (served + "/tarvlit/www/").toStdString()},
        {"rDATAPATH_Text", (served + "/tarvlit/data/").toStdString()},
    };
    for (const auto &[k, v] : keys)
        iniWriteString(project, "TForm1", k, v);

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *v : {"DISPLAY", "WAYLAND_DISPLAY", "DBUS_SESSION_BUS_ADDRESS", "SSH_AUTH_SOCK"})
        env.remove(QString::fromLatin1(v));
    env.insert("XDG_RUNTIME_DIR", w + "/no-session"); // no keyring
    env.insert("TARVLIT_FTP_PASSWORD", "");             // the key, no password
    env.insert("HOME", home);
    env.insert("RCLONE_CONFIG", w + "/rclone.conf");   // none: the remote is on the command line
    writeFile(w + "/rclone.conf", "");

    const QString tarvlit = prog + "/tarvlit";
    const QStringList publish = {"publish", "blog"};
    const QString sshCommand = QString("ssh -a -x -F /dev/null -i %1 -o StrictHostKeyChecking=no "
                                       "-o UserKnownHostsFile=/dev/null -o LogLevel=ERROR")
                                   .arg(key);
    const auto rcloneArgs = [&] {
        return QStringList{"sync", blog,
                           QString(":sftp,host=127.0.0.1,port=%1,user=%2,key_file=%3:%4/rclone")
                               .arg(proxy.port())
                               .arg(QString::fromStdString(user), key, served)};
    };
    const auto lftpArgs = [&] {
        return QStringList{
            "-c", QString("set sftp:connect-program \"%1\"; set sftp:auto-confirm yes; "
                          "open -u %2, sftp://127.0.0.1:%3; mirror -R --only-newer %4 %5/lftp")
                      .arg(sshCommand, QString::fromStdString(user))
                      .arg(proxy.port())
                      .arg(blog, served)};
    };

    // Set-up: everything sent once, without delay; the other two copies
    // start as copies of it.
    std::fprintf(stderr, "set-up: %d posts written; first publish...\n", posts);
    const Run firstPublish = runProcess(tarvlit, {"publish", "blog", "--accept-new-host-key"}, env);
    mustSucceed(firstPublish, "the first publish");
    proxy.takeTurns();
    check(sameTree(blog + "/site", served + "/tarvlit/www"), "the first publish sent the site");
    check(sameTree(blog + "/data", served + "/tarvlit/data"), "the first publish sent the posts");
    for (const char *who : {"rclone", "lftp"}) {
        QDir().mkpath(served + "/" + who);
        for (const char *part : {"site", "data"})
            mustSucceed(runProcess("cp", {"-a", blog + "/" + part, served + "/" + who + "/"}, env),
                        "cp -a");
    }
    const int pages = int(filesBelow(blog + "/site").size());
    std::fprintf(stderr, "set-up done: %d pages, %d posts on the server\n", pages, posts);

    proxy.setDelay(delayMs);
    if (serve) {
        // For timing whole commands from outside: each publish needs a new
        // post first (bench_sftp_publish writes one with --add-post).
        const QString exe = QCoreApplication::applicationFilePath();
        std::printf("export HOME=%s XDG_RUNTIME_DIR=%s/no-session TARVLIT_FTP_PASSWORD= "
                    "RCLONE_CONFIG=%s/rclone.conf\nunset DISPLAY DBUS_SESSION_BUS_ADDRESS "
                    "SSH_AUTH_SOCK\n",
                    qPrintable(home), qPrintable(w), qPrintable(w));
        std::printf("%s --add-post %s/data && %s publish blog\n", qPrintable(exe), qPrintable(blog),
                    qPrintable(tarvlit));
        std::printf("rclone %s\n", qPrintable(rcloneArgs().join(' ')));
        std::printf("lftp -c '%s'\n", qPrintable(lftpArgs().at(1)));
        std::fflush(stdout);
        int sig = 0;
        sigwait(&stop, &sig);
        return 0;
    }
    std::vector<double> ours, rclone, lftp, rcloneRatio, lftpRatio;
    std::vector<int> turns;
    for (int round = 0; round < rounds; ++round) {
        newest += 3600;
        writePost((blog + "/data/").toStdString() + postFileName(newest),
                  "New post " + std::to_string(round), makeBody(round));
        const Run a = runProcess(tarvlit, publish, env);
        mustSucceed(a, "tarvlit publish");
        const std::vector<int> t = proxy.takeTurns();
        check(t.size() == 1, "one connection per publish");
        Run r, l;
        if (round % 2 == 0) {
            r = runProcess("rclone", rcloneArgs(), env);
            l = runProcess("lftp", lftpArgs(), env);
        } else {
            l = runProcess("lftp", lftpArgs(), env);
            r = runProcess("rclone", rcloneArgs(), env);
        }
        mustSucceed(r, "rclone sync");
        mustSucceed(l, "lftp mirror");
        proxy.takeTurns();
        for (const char *who : {"rclone", "lftp"})
            check(sameTree(blog + "/site", served + "/" + who + "/site")
                      && sameTree(blog + "/data", served + "/" + who + "/data"),
                  "a copy is up to date");
        check(sameTree(blog + "/site", served + "/tarvlit/www")
                  && sameTree(blog + "/data", served + "/tarvlit/data"),
              "tarvlit's copy is up to date");
        if (qEnvironmentVariableIsSet("BENCH_TRACE"))
            std::fprintf(stderr, "tarvlit publish said:\n%s\n", a.err.constData());
        ours.push_back(a.seconds);
        rclone.push_back(r.seconds);
        lftp.push_back(l.seconds);
        rcloneRatio.push_back(r.seconds / a.seconds);
        lftpRatio.push_back(l.seconds / a.seconds);
        turns.push_back(t.front());
        // The publish's own summary: the time of its connection.
        QByteArray sent;
        for (const QByteArray &line : a.err.split('\n'))
            if (line.startsWith("Sent "))
                sent = line;
        std::printf("round %d: tarvlit publish %.3f s (%d round trips; \"%s\"), rclone sync %.3f s, "
                    "lftp mirror -R %.3f s\n",
                    round + 1, a.seconds, t.front(), sent.constData(), r.seconds, l.seconds);
        std::fflush(stdout);
    }
    std::sort(turns.begin(), turns.end());
    std::printf("\n%d posts, %d pages; %d rounds of one new post, 20 ms each way; medians:\n"
                "| command | seconds | times tarvlit publish |\n|---|---|---|\n"
                "| tarvlit publish | %.3f | 1 |\n| rclone sync | %.3f | %.1f |\n"
                "| lftp mirror -R --only-newer | %.3f | %.1f |\n"
                "round trips per publish (client turns): %d to %d\n",
                posts, pages, rounds, medianOf(ours), medianOf(rclone), medianOf(rcloneRatio),
                medianOf(lftp), medianOf(lftpRatio), turns.front(), turns.back());

    const Drift d = measureDrift(proxy.port(), user, (served + "/tarvlit/www/index.html").toStdString(),
                                 (served + "/tarvlit/data").toStdString());
    std::printf("drift check at %d posts: %.4f s (listing of the data folder, %zu names: %.4f s)\n",
                posts, d.stat, d.listed, d.listing);
    return 0;
}
