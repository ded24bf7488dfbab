// Publishing a 10,000-post blog to a Git branch and to an S3-compatible
// bucket, timed as a writer runs it: the real program's command line
// (`tarvlit publish PROJECT`) as a whole process, from its start to its exit,
// its generation and its log included.
//   - S3, first publish: the whole site into an empty bucket of s3rver (the
//     tests' S3 server, which checks every signature) with no send record,
//     against `rclone copy` of the same site folder into another empty bucket
//     of the same server; the two take turns, pair by pair;
//   - S3, one new post: a post saved into the newest month, then the publish;
//   - Git, first publish: the whole site as the first commit of a new branch
//     of a bare repository served by OpenSSH's sshd on loopback
//     (ssh://USER@127.0.0.1:PORT/..., git-receive-pack run by sshd), the
//     client's key and known_hosts in a temporary HOME;
//   - Git, one new post: a post saved, then the publish (fetch, one commit,
//     push); as a yardstick, Git's command line fetching and pushing one
//     such commit over the same sshd.
// The site is generated once beforehand (as a writer generates before the
// first publish); the posts themselves are not sent (an empty remote data
// folder), so both targets carry exactly the site folder, as rclone does.
// Every run is checked afterwards: the bucket or a clone of the branch holds
// the local site byte for byte. Medians of `runs` runs follow one run that is
// not counted; the ratio to rclone is the median of the pairs' ratios.
//
//   bench_remote_publish                 10,000 posts, 5 runs
//   bench_remote_publish 10000 7         posts, runs
//   bench_remote_publish --serve DIR [posts]
//                                        sets the same up in DIR (which must
//                                        not exist), publishes once to both,
//                                        writes DIR/*.sh (one command each,
//                                        for timing from outside) and keeps
//                                        the servers running until standard
//                                        input ends
//
// Needs sshd, git, rclone and s3rver (scripts/install-deps.sh tests).

#include "benchutil.h"
#include "posts/postfile.h"
#include "s3server.h"
#include "sshserver.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <pwd.h>
#include <stdexcept>
#include <string>
#include <unistd.h>
#include <vector>

using namespace tl;
using namespace tl::bench;
using tl::test::S3Server;
using tl::test::SshServer;

namespace {

const char *const kS3Project = "s3";
const char *const kGitProject = "git";
const char *const kOurBucket = "blog";
const char *const kRcloneBucket = "rclone";
// Fixed, so that the feed changes only with the posts.
const char *const kSourceDateEpoch = "1796673900";

std::string templatesDir()
{
    return std::string(TL_SOURCE_DIR) + "/tests/data/generator/fixture/templates/";
}

// About 1 KB of windows-1250 text in paragraphs, with a few tags and
// entities; every tenth post holds the long-post separator (the posts of
// bench_generate).
std::string makeBody(int i)
{
    static const char *const sentences[] = {
        "Dnes jsem se vydal na proch\xE1zku kolem \x9Aumav\x9Dsk\xE9ho potoka. ",
        "The weather was <b>fine</b> and the path was dry &amp; easy. ",
        "P\xF8\xEDli\x9A \x9Elu\x9Dou\xE8k\xFD k\xF9\xF2 \xFAp\xECl \xEF\xE1"
        "belsk\xE9 \xF3"
        "dy. ",
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

// Posts spread evenly over 2006-2025; returns the newest post's time.
std::int64_t makeBlog(const QString &data, int posts)
{
    QDir().mkpath(data);
    const std::int64_t start = secondsFromCivil(2006, 1, 1);
    const double span = 20 * 365.25 * 86400.0;
    std::int64_t newest = 0;
    for (int i = 0; i < posts; ++i) {
        newest = start + static_cast<std::int64_t>(i * span / posts) / 60 * 60;
        std::ofstream f(data.toStdString() + "/" + postFileName(newest), std::ios::binary);
        f << postFileBytes("Post number " + std::to_string(i), makeBody(i));
    }
    return newest;
}

std::string loadAverage()
{
    QFile f("/proc/loadavg");
    if (!f.open(QIODevice::ReadOnly))
        return "?";
    return f.readAll().split(' ').mid(0, 3).join(' ').toStdString();
}

// Every file below a folder by its path relative to it, with its bytes.
std::map<QString, QByteArray> filesBelow(const QString &dir, const QString &suffix = {})
{
    std::map<QString, QByteArray> out;
    QDirIterator it(dir, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QString rel = QDir(dir).relativeFilePath(path);
        if (!suffix.isEmpty()) {
            if (!rel.endsWith(suffix))
                continue;
            rel.chop(suffix.size());
        }
        out[rel] = readFile(path);
    }
    return out;
}

// A whole command as a process: wall seconds from its start to its exit,
// its exit status, and its output lines with the second each arrived.
struct Outcome {
    double seconds = 0;
    int status = -1;
    std::vector<std::pair<double, QByteArray>> lines;
};

Outcome runTimed(const QString &program, const QStringList &args, const QProcessEnvironment &env,
    double timeoutSeconds = 1800)
{
    Outcome o;
    QProcess p;
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::MergedChannels);
    QByteArray pending;
    QElapsedTimer t;
    const auto take = [&] {
        pending += p.readAll();
        for (qsizetype end; (end = pending.indexOf('\n')) >= 0; pending.remove(0, end + 1))
            o.lines.emplace_back(t.nsecsElapsed() / 1e9, pending.left(end));
    };
    t.start();
    p.start(program, args);
    if (!p.waitForStarted(10000)) {
        std::fprintf(stderr, "%s did not start\n", qPrintable(program));
        return o;
    }
    p.closeWriteChannel();
    while (p.state() != QProcess::NotRunning) {
        if (p.waitForReadyRead(200))
            take();
        if (t.nsecsElapsed() / 1e9 > timeoutSeconds) {
            p.kill();
            p.waitForFinished(5000);
            std::fprintf(stderr, "%s took too long\n", qPrintable(program));
            return o;
        }
    }
    p.waitForFinished(-1);
    o.seconds = t.nsecsElapsed() / 1e9;
    take();
    if (!pending.isEmpty())
        o.lines.emplace_back(o.seconds, pending);
    o.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    return o;
}

// A failed step ends the run by an exception, so that the servers stop on
// the way out (an exit would leave sshd and s3rver running).
struct Failure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

void require(bool ok, const std::string &what)
{
    if (!ok)
        throw Failure("failed: " + what);
}

void requireSuccess(const Outcome &o, const char *what)
{
    if (o.status == 0)
        return;
    std::string text = std::string(what) + " failed (status " + std::to_string(o.status) + "):";
    for (const auto &line : o.lines)
        text += "\n  " + line.second.toStdString();
    throw Failure(text);
}

// The summary line a publish ends with ("Sent 4 files (...)"), or "".
QByteArray summaryOf(const Outcome &o)
{
    for (auto it = o.lines.rbegin(); it != o.lines.rend(); ++it)
        if (it->second.startsWith("Sent ") || it->second.startsWith("Nothing to send"))
            return it->second.trimmed();
    return {};
}

bool perFileLine(const QByteArray &line)
{
    return line.startsWith("Starting transfer of") || line == "Transfer OK"
        || line.startsWith("Sending ");
}

// Where a publish spent its time, from the moments its log lines arrived:
// up to its first line (the program's start: loading, its settings, its own
// file's version text), Read and generation (to the last "Completed."), the
// send record, the queue and the connection (to the first line of a single
// file; for Git this includes the fetch), the files (to the summary; for
// Git the commit and the push), and the end of the process.
struct Phases {
    double start = 0, generation = 0, connection = 0, files = 0, end = 0, whole = 0;
};

Phases phasesOf(const Outcome &o)
{
    double first = -1, generated = -1, firstFile = -1, summary = -1;
    for (const auto &[at, raw] : o.lines) {
        const QByteArray line = raw.trimmed();
        if (first < 0)
            first = at;
        if (line == "Completed." && firstFile < 0)
            generated = at;
        if (perFileLine(line) && firstFile < 0)
            firstFile = at;
        if (line.startsWith("Sent ") || line.startsWith("Nothing to send"))
            summary = at;
    }
    Phases p;
    p.whole = o.seconds;
    if (first < 0 || generated < 0 || summary < 0)
        return p;
    if (firstFile < 0)
        firstFile = summary;
    p.start = first;
    p.generation = generated - first;
    p.connection = firstFile - generated;
    p.files = summary - firstFile;
    p.end = o.seconds - summary;
    return p;
}

// The output without the lines of single files, with the moment each came.
void printTimeline(const Outcome &o)
{
    int perFile = 0;
    double firstFile = -1, lastFile = -1;
    for (const auto &[at, raw] : o.lines) {
        const QByteArray line = raw.trimmed();
        if (perFileLine(line)) {
            ++perFile;
            if (firstFile < 0)
                firstFile = at;
            lastFile = at;
            continue;
        }
        std::printf("    %7.3f s  %s\n", at, line.left(110).constData());
    }
    if (perFile > 0)
        std::printf("    (%d lines of single files, from %.3f s to %.3f s)\n", perFile, firstFile,
            lastFile);
    std::printf("    %7.3f s  exit\n", o.seconds);
}

// Runs of one measurement.
struct Series {
    std::vector<Outcome> runs;
    std::vector<double> seconds() const
    {
        std::vector<double> v;
        for (const Outcome &o : runs)
            v.push_back(o.seconds);
        return v;
    }
    const Outcome &medianRun() const
    {
        const double m = median(seconds());
        for (const Outcome &o : runs)
            if (o.seconds == m)
                return o;
        return runs.front();
    }
};

void printRow(const char *what, const std::vector<double> &v, const char *goal)
{
    std::printf("| %s | %.3f | %.3f | %.3f | %s |\n", what, *std::min_element(v.begin(), v.end()),
        median(v), *std::max_element(v.begin(), v.end()), goal);
}

// The median of each phase over the runs (so the phases need not add up
// to the median whole).
void printPhases(const char *what, const Series &s)
{
    std::vector<double> start, generation, connection, files, end, whole;
    for (const Outcome &o : s.runs) {
        const Phases p = phasesOf(o);
        start.push_back(p.start);
        generation.push_back(p.generation);
        connection.push_back(p.connection);
        files.push_back(p.files);
        end.push_back(p.end);
        whole.push_back(p.whole);
    }
    std::printf("| %s | %.3f | %.3f | %.3f | %.3f | %.3f | %.3f |\n", what, median(start),
        median(generation), median(connection), median(files), median(end), median(whole));
}

class Bench {
public:
    explicit Bench(const QString &root)
        : root(root)
    {
    }

    // Blog, program folder, servers, projects; the site generated once.
    void setUp(int posts)
    {
        for (const QString &d :
            { program + "/conf", home + "/.ssh", site, remote, trash, serverDir })
            QDir().mkpath(d);
        std::printf("Load average at the start: %s\n", loadAverage().c_str());
        newest = makeBlog(data, posts);
        nextPost = newest;

        // Copies of the program in a folder of their own with a conf folder:
        // that folder is then their settings folder, and the projects are
        // kept out of the build's. The second copy lacks the debug
        // information, as a package installs the program. Both carry the
        // same file date, which generated pages show.
        require(QFile::copy(QStringLiteral(TL_TARVLIT_EXE), exe), "copy the program");
        require(QFile::copy(exe, strippedExe), "copy the program");
        requireSuccess(runTimed("objcopy", { "--strip-debug", strippedExe },
                           QProcessEnvironment::systemEnvironment()),
            "objcopy --strip-debug");
        for (const QString &f : { exe, strippedExe }) {
            QFile file(f);
            require(file.open(QIODevice::ReadWrite)
                    && file.setFileTime(QDateTime(QDate(2026, 12, 1), QTime(12, 0)),
                        QFileDevice::FileModificationTime),
                "set the program's file date");
        }

        QDir().mkpath(serverDir + "/sshd");
        ssh = std::make_unique<SshServer>(serverDir + "/sshd");
        require(ssh->start(), "start sshd: " + ssh->error().toStdString());
        require(QFile::copy(ssh->clientKeyPath(), home + "/.ssh/id_ed25519"), "client key");
        QFile::setPermissions(
            home + "/.ssh/id_ed25519", QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        writeFile(home + "/.ssh/known_hosts", ssh->knownHostsLine().toLatin1() + "\n");
        s3 = std::make_unique<S3Server>(serverDir + "/s3");
        require(
            s3->start({ kOurBucket, kRcloneBucket }), "start s3rver: " + s3->error().toStdString());
        writeFile(root + "/rclone.conf", ""); // rclone's remote comes from the environment
        requireSuccess(runTimed("git", { "init", "-q", "--bare", bare() }, gitEnv()), "git init");

        const passwd *pw = getpwuid(getuid());
        const QString user = pw ? QString::fromLocal8Bit(pw->pw_name) : "root";
        gitUrl = QString("ssh://%1@127.0.0.1:%2%3").arg(user).arg(ssh->port()).arg(bare());
        writeProject(kGitProject,
            { { "rgTARGET_ItemIndex", "1" }, { "edtGITURL_Text", gitUrl.toStdString() },
                { "rPATHMAIN_Text", "/" }, { "rDATAPATH_Text", "" } });
        writeProject(kS3Project,
            { { "rgTARGET_ItemIndex", "2" }, { "edtS3ENDPOINT_Text", s3->endpoint().toStdString() },
                { "edtS3BUCKET_Text", kOurBucket }, { "edtS3KEYID_Text", S3Server::kAccessKeyId },
                { "rPATHMAIN_Text", "/" }, { "rDATAPATH_Text", "" } });

        const Outcome g = runTimed(exe, { "generate", kS3Project }, programEnv());
        requireSuccess(g, "tarvlit generate");
        const auto files = filesBelow(site);
        qint64 bytes = 0;
        for (const auto &[name, content] : files)
            bytes += content.size();
        siteFiles = int(files.size());
        std::printf("Blog: %d posts; site: %d files, %.1f MB, generated in %.3f s\n", posts,
            siteFiles, bytes / 1e6, g.seconds);
        std::printf("Program: %.1f MB as built, %.1f MB without debug information\n",
            QFileInfo(exe).size() / 1e6, QFileInfo(strippedExe).size() / 1e6);
    }

    // ---- environments ----

    QProcessEnvironment programEnv() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *v : { "DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM",
                 "DBUS_SESSION_BUS_ADDRESS", "SSH_AUTH_SOCK", "TARVLIT_FTP_PASSWORD" })
            env.remove(QString::fromLatin1(v));
        env.insert("HOME", home);
        env.insert("XDG_RUNTIME_DIR", root + "/no-session"); // no keyring
        env.insert("SOURCE_DATE_EPOCH", kSourceDateEpoch);
        env.insert("TARVLIT_GIT_TOKEN", ""); // SSH: the key in HOME
        env.insert("TARVLIT_S3_SECRET", S3Server::kSecret);
        return env;
    }

    QProcessEnvironment gitEnv() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", home);
        return env;
    }

    // rclone's S3 remote "s3" from the environment alone. rclone's S3
    // library cannot load a custom CA bundle into rclone's HTTP transport
    // (LoadCustomCABundleError), so AWS_CA_BUNDLE goes: the endpoint is
    // plain HTTP.
    QProcessEnvironment rcloneEnv() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("AWS_CA_BUNDLE");
        env.insert("HOME", home);
        env.insert("RCLONE_CONFIG", root + "/rclone.conf");
        env.insert("RCLONE_CONFIG_S3_TYPE", "s3");
        env.insert("RCLONE_CONFIG_S3_PROVIDER", "Other");
        env.insert("RCLONE_CONFIG_S3_ENDPOINT", s3->endpoint());
        env.insert("RCLONE_CONFIG_S3_ACCESS_KEY_ID", S3Server::kAccessKeyId);
        env.insert("RCLONE_CONFIG_S3_SECRET_ACCESS_KEY", S3Server::kSecret);
        env.insert("RCLONE_CONFIG_S3_FORCE_PATH_STYLE", "true");
        return env;
    }

    QStringList rcloneArgs() const { return { "copy", site, QString("s3:") + kRcloneBucket }; }

    // ---- work between runs (not timed) ----

    // An empty bucket: its folder moves aside (removing thousands of files
    // here would slow the file creation of the runs that follow).
    void emptyBucket(const char *bucket)
    {
        const QString folder = serverDir + "/s3/objects/" + bucket;
        require(
            QDir().rename(folder, trash + "/" + QString::number(++trashed)), "move a bucket aside");
        require(QDir().mkpath(folder), "make a bucket");
    }

    void forgetSent(const char *project) { QFile::remove(program + "/conf/" + project + ".sent"); }

    // A short post, a minute after the newest, as the editor saves it.
    void addPost()
    {
        nextPost += 60;
        writePost((data + "/").toStdString() + postFileName(nextPost),
            "New post " + std::to_string(nextPost), makeBody(1).substr(0, 300));
    }

    void checkBucket(const char *bucket)
    {
        require(
            filesBelow(serverDir + "/s3/objects/" + bucket, "._S3rver_object") == filesBelow(site),
            "the bucket holds the site");
    }

    void checkBranch()
    {
        const QString clone = root + "/clone" + QString::number(++clones);
        requireSuccess(
            runTimed(
                "git", { "clone", "-q", "-b", "gh-pages", "file://" + bare(), clone }, gitEnv()),
            "git clone");
        QDir(clone + "/.git").removeRecursively();
        require(filesBelow(clone) == filesBelow(site), "the branch holds the site");
    }

    Outcome publish(const char *project, const char *what, const QString &program)
    {
        Outcome o = runTimed(program, { "publish", project }, programEnv());
        requireSuccess(o, what);
        return o;
    }
    Outcome publish(const char *project, const char *what) { return publish(project, what, exe); }

    // Publishes after one new post each, taking turns between the program
    // as built and without debug information, after one turn that is not
    // counted.
    std::pair<Series, Series> afterNewPost(
        const char *project, int runs, const std::function<void()> &checkRemote)
    {
        Series built, stripped;
        for (int run = 0; run <= runs; ++run) {
            for (Series *s : { &built, &stripped }) {
                addPost();
                Outcome o
                    = publish(project, "publish after a new post", s == &built ? exe : strippedExe);
                std::printf("  %s after one new post, %s: %.3f s%s (%s), load %s\n", project,
                    s == &built ? "as built" : "no debug information", o.seconds,
                    run == 0 ? " (not counted)" : "", summaryOf(o).constData(),
                    loadAverage().c_str());
                if (run > 0)
                    s->runs.push_back(std::move(o));
            }
        }
        checkRemote();
        return { built, stripped };
    }

    void writeProject(
        const char *name, const std::vector<std::pair<std::string, std::string>> &keys)
    {
        const std::string t = templatesDir();
        std::string text = "[TForm1]\r\npathMAIN_Text=" + site.toStdString()
            + "\r\npathDATA_Text=" + data.toStdString() + "\r\nfileTEMPLATE_Text=" + t
            + "template.htm\r\narchiveTEMPLATE_Text=" + t + "archtemp.htm\r\nedtRSSTEMPLATE_Text="
            + t + "template.rss\r\nedtTXTTEMPLATE_Text=" + t
            + "template.txt\r\ndirPATHARCHIVES_Text=archiv/\r\nedtCOUNT_Text=10\r\n"
              "edtMAINURI_Text=http://blog.example.com/\r\nedtAUTHOR_Text=Jan Nov\xE1k\r\n"
              "edtEMAIL_Text=jan@example.com\r\n";
        for (const auto &[key, value] : keys)
            text += key + "=" + value + "\r\n";
        writeFile(program + "/conf/" + name + ".tvp", QByteArray::fromStdString(text));
    }

    QString bare() const { return remote + "/site.git"; }

    // Git's command line doing the network part of a publish over the same
    // sshd, as a yardstick: a fetch of the branch with nothing new, and a
    // push of one commit that changes the four pages a new post changes.
    // It works on a copy of the branch in a repository of its own, from a
    // clone over SSH.
    std::pair<Series, Series> gitCommandLine(int runs)
    {
        const QString copy = remote + "/yardstick.git";
        const QString clone = root + "/yardstick";
        QProcessEnvironment env = gitEnv();
        env.insert("GIT_SSH_COMMAND",
            "ssh -F /dev/null -i " + home + "/.ssh/id_ed25519 -o UserKnownHostsFile=" + home
                + "/.ssh/known_hosts -o BatchMode=yes");
        const QString url = QString(gitUrl).replace(bare(), copy);
        requireSuccess(runTimed("git", { "clone", "-q", "--bare", "file://" + bare(), copy }, env),
            "git clone --bare");
        requireSuccess(runTimed("git", { "clone", "-q", "-b", "gh-pages", url, clone }, env),
            "git clone over SSH");
        Series fetch, push;
        for (int run = 0; run <= runs; ++run) {
            for (const char *page :
                { "index.html", "rss.xml", "text.htm", "archiv/2025-12.html" }) {
                QFile f(clone + "/" + page);
                require(f.open(QIODevice::Append)
                        && f.write("<!-- " + QByteArray::number(run) + " -->\n") > 0,
                    "change a page of the clone");
            }
            requireSuccess(
                runTimed("git",
                    { "-C", clone, "-c", "user.name=Bench", "-c", "user.email=bench@example.org",
                        "commit", "-qam", "One new post" },
                    env),
                "git commit");
            Outcome f = runTimed("git", { "-C", clone, "fetch", "-q", "origin" }, env);
            requireSuccess(f, "git fetch");
            Outcome p = runTimed("git", { "-C", clone, "push", "-q", "origin", "gh-pages" }, env);
            requireSuccess(p, "git push");
            std::printf("  git fetch %.3f s, git push %.3f s%s, load %s\n", f.seconds, p.seconds,
                run == 0 ? " (not counted)" : "", loadAverage().c_str());
            if (run == 0)
                continue;
            fetch.runs.push_back(std::move(f));
            push.runs.push_back(std::move(p));
        }
        return { fetch, push };
    }

    const QString root;
    const QString program = root + "/program";
    const QString exe = program + "/tarvlit";
    const QString strippedExe = program + "/tarvlit-nodebug";
    const QString home = root + "/home";
    const QString site = root + "/site";
    const QString data = root + "/data";
    const QString remote = root + "/remote";
    const QString trash = root + "/trash";
    const QString serverDir = root + "/servers";
    QString gitUrl;
    std::unique_ptr<SshServer> ssh;
    std::unique_ptr<S3Server> s3;
    std::int64_t newest = 0, nextPost = 0;
    int siteFiles = 0, trashed = 0, clones = 0;
};

QString shellQuoted(const QString &s)
{
    QString q = s;
    q.replace("'", "'\\''");
    return "'" + q + "'";
}

QString exportsOf(const QProcessEnvironment &env, const QStringList &names)
{
    QString out;
    for (const QString &n : names)
        out += "export " + n + "=" + shellQuoted(env.value(n)) + "\n";
    return out;
}

// --serve: the same set-up, one first publish to each target, then a script
// per measurement (each one command after a cheap preparation: a bucket
// moved aside, a post written) and the servers kept running.
int serve(const QString &dir, int posts)
{
    require(!QFileInfo::exists(dir) && QDir().mkpath(dir), "DIR must not exist");
    Bench b(QFileInfo(dir).absoluteFilePath());
    b.setUp(posts);
    const Outcome s3First = b.publish(kS3Project, "first S3 publish");
    b.checkBucket(kOurBucket);
    const Outcome gitFirst = b.publish(kGitProject, "first Git publish");
    b.checkBranch();
    std::printf("First publishes: S3 %.3f s (%s), Git %.3f s (%s)\n", s3First.seconds,
        summaryOf(s3First).constData(), gitFirst.seconds, summaryOf(gitFirst).constData());

    const QProcessEnvironment ours = b.programEnv();
    const QString oursEnv
        = "unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM DBUS_SESSION_BUS_ADDRESS "
          "SSH_AUTH_SOCK TARVLIT_FTP_PASSWORD\n"
        + exportsOf(ours,
            { "HOME", "XDG_RUNTIME_DIR", "SOURCE_DATE_EPOCH", "TARVLIT_GIT_TOKEN",
                "TARVLIT_S3_SECRET" });
    const QString objects = b.serverDir + "/s3/objects/";
    const auto moveAside = [&](const char *bucket) {
        return "t=" + shellQuoted(b.trash) + "/$(date +%s%N)\nmv " + shellQuoted(objects + bucket)
            + " \"$t\" && mkdir " + shellQuoted(objects + bucket) + "\n";
    };
    writeFile(dir + "/next-post", QByteArray::number(qlonglong(b.nextPost)));
    const QString newPost = "n=$(( $(cat " + shellQuoted(dir + "/next-post")
        + ") + 60 ))\necho $n > " + shellQuoted(dir + "/next-post")
        + "\nprintf 'New post %s\\r\\nA short post.\\r\\n' $n > " + shellQuoted(b.data)
        + "/$n.txt\n";
    const auto script = [&](const QString &name, const QString &body) {
        writeFile(dir + "/" + name, ("#!/bin/sh\n" + body).toLocal8Bit());
        QFile::setPermissions(dir + "/" + name,
            QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        std::printf("  %s\n", qPrintable(dir + "/" + name));
    };
    std::printf("Scripts (each ends in one exec of the command measured):\n");
    script("s3-full.sh",
        oursEnv + moveAside(kOurBucket) + "rm -f " + shellQuoted(b.program + "/conf/s3.sent")
            + "\nexec " + shellQuoted(b.exe) + " publish s3\n");
    const QProcessEnvironment rc = b.rcloneEnv();
    QStringList rcloneVars;
    for (const QString &k : rc.keys())
        if (k.startsWith("RCLONE_"))
            rcloneVars << k;
    script("rclone-full.sh",
        "unset AWS_CA_BUNDLE\n" + exportsOf(rc, rcloneVars) + moveAside(kRcloneBucket)
            + "exec rclone copy " + shellQuoted(b.site) + " s3:" + kRcloneBucket + "\n");
    for (const char *project : { kS3Project, kGitProject }) {
        script(QString("%1-post.sh").arg(project),
            oursEnv + newPost + "exec " + shellQuoted(b.exe) + " publish " + project + "\n");
        script(QString("%1-post-nodebug.sh").arg(project),
            oursEnv + newPost + "exec " + shellQuoted(b.strippedExe) + " publish " + project
                + "\n");
    }
    std::printf("Serving; end standard input to stop.\n");
    std::fflush(stdout);
    while (std::getchar() != EOF) { }
    return 0;
}

} // namespace

int run(const QStringList &args);

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    try {
        return run(app.arguments().mid(1));
    } catch (const std::exception &e) {
        std::fflush(stdout);
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
}

int run(const QStringList &args)
{
    if (!args.isEmpty() && args[0] == "--serve") {
        require(args.size() >= 2, "--serve DIR");
        return serve(args[1], args.size() > 2 ? args[2].toInt() : 10000);
    }
    const int posts = !args.isEmpty() ? args[0].toInt() : 10000;
    const int runs = args.size() > 1 ? args[1].toInt() : 5;
    require(posts > 0 && runs > 0, "bench_remote_publish [posts] [runs]");

    QTemporaryDir tmp;
    Bench b(tmp.path());
    b.setUp(posts);

    // ---- S3: the first publish of the whole site against rclone ----
    Series ours, rclone;
    std::vector<double> ratio;
    for (int run = 0; run <= runs; ++run) {
        b.emptyBucket(kOurBucket);
        b.forgetSent(kS3Project);
        Outcome o = b.publish(kS3Project, "first S3 publish");
        b.checkBucket(kOurBucket);
        b.emptyBucket(kRcloneBucket);
        Outcome r = runTimed("rclone", b.rcloneArgs(), b.rcloneEnv());
        requireSuccess(r, "rclone copy");
        b.checkBucket(kRcloneBucket);
        std::printf(
            "  S3 first publish: tarvlit %.3f s (%s), rclone %.3f s, ratio %.2f%s, load %s\n",
            o.seconds, summaryOf(o).constData(), r.seconds, o.seconds / r.seconds,
            run == 0 ? " (not counted)" : "", loadAverage().c_str());
        if (run == 0)
            continue;
        ratio.push_back(o.seconds / r.seconds);
        ours.runs.push_back(std::move(o));
        rclone.runs.push_back(std::move(r));
    }

    // ---- S3: one new post (the record and the bucket of the last run) ----
    const auto [s3Post, s3PostStripped]
        = b.afterNewPost(kS3Project, runs, [&] { b.checkBucket(kOurBucket); });

    // ---- Git: the first publish, then one new post ----
    Series gitFirst;
    gitFirst.runs.push_back(b.publish(kGitProject, "first Git publish"));
    b.checkBranch();
    std::printf("  Git first publish: %.3f s (%s), load %s\n", gitFirst.runs[0].seconds,
        summaryOf(gitFirst.runs[0]).constData(), loadAverage().c_str());
    const auto [gitPost, gitPostStripped]
        = b.afterNewPost(kGitProject, runs, [&] { b.checkBranch(); });
    const auto [gitFetch, gitPush] = b.gitCommandLine(runs);
    std::vector<double> fetchAndPush;
    for (std::size_t i = 0; i < gitFetch.runs.size(); ++i)
        fetchAndPush.push_back(gitFetch.runs[i].seconds + gitPush.runs[i].seconds);

    std::printf("\nLoad average at the end: %s\n\n", loadAverage().c_str());
    std::printf(
        "%d posts, a site of %d files; whole processes, %d runs (min / median / max), seconds\n\n",
        posts, b.siteFiles, runs);
    std::printf("| measure | min | median | max | goal |\n|---|---|---|---|---|\n");
    printRow("S3 first publish, tarvlit", ours.seconds(), "");
    printRow("S3 first publish, rclone copy", rclone.seconds(), "");
    printRow("S3 first publish, tarvlit / rclone (pair by pair)", ratio, "at most 2");
    printRow("S3 publish after one new post", s3Post.seconds(), "under 1 s");
    printRow("S3 publish after one new post, program without debug information",
        s3PostStripped.seconds(), "");
    printRow("Git first publish (one run)", gitFirst.seconds(), "");
    printRow("Git publish after one new post", gitPost.seconds(), "under 2 s");
    printRow("Git publish after one new post, program without debug information",
        gitPostStripped.seconds(), "");
    printRow("Yardstick: git fetch (command line, nothing new)", gitFetch.seconds(), "");
    printRow("Yardstick: git push (command line, one commit of 4 pages)", gitPush.seconds(), "");
    printRow("Yardstick: git fetch + git push, run by run", fetchAndPush, "");

    std::printf("\nPhases of tarvlit's runs, medians, seconds (see phasesOf)\n\n");
    std::printf(
        "| publish | to the first line | Read + generation | record, queue, connection | files "
        "| to the exit | whole |\n|---|---|---|---|---|---|---|\n");
    printPhases("S3 first", ours);
    printPhases("S3 new post", s3Post);
    printPhases("S3 new post, no debug information", s3PostStripped);
    printPhases("Git first", gitFirst);
    printPhases("Git new post", gitPost);
    printPhases("Git new post, no debug information", gitPostStripped);

    std::printf("\nSummaries: S3 new post: %s; Git new post: %s\n",
        summaryOf(s3Post.runs.front()).constData(), summaryOf(gitPost.runs.front()).constData());
    std::printf("\nTimeline of the median S3 first publish:\n");
    printTimeline(ours.medianRun());
    std::printf("\nTimeline of the median S3 publish after one new post:\n");
    printTimeline(s3Post.medianRun());
    std::printf("\nTimeline of the Git first publish:\n");
    printTimeline(gitFirst.runs[0]);
    std::printf("\nTimeline of the median Git publish after one new post:\n");
    printTimeline(gitPost.medianRun());
    return 0;
}
