#include "cli/commandline.h"

#include "core/cp1250.h"
#include "core/errors.h"
#include "core/programfiles.h"
#include "core/projectfile.h"
#include "core/projects.h"
#include "core/secrets.h"
#include "core/clock.h"
#include "generator/sitebuilder.h"
#include "media/picture.h"
#include "posts/postfile.h"
#include "publish/passwordstore.h"
#include "publish/publisher.h"
#include "publish/sendqueue.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <QTimer>

#include <atomic>
#include <cctype>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <optional>
#include <thread>

#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace tl::cli {

namespace {

const char *const kPasswordVariable = "TARVLIT_FTP_PASSWORD";

// The commands of the command line; any other first word opens the window.
const QStringList &commandNames()
{
    static const QStringList names = {QStringLiteral("generate"), QStringLiteral("publish"),
                                      QStringLiteral("fetch"), QStringLiteral("picture"),
                                      QStringLiteral("password"),
                                      QStringLiteral("projects")};
    return names;
}

// A failure of the command line itself, with the status it ends with.
struct UsageError {
    QString message;
};

// Standard error as the user sees it: log lines, and one progress line that
// updates in place on a terminal (plain lines otherwise).
class Console {
public:
    Console() : terminal_(isatty(STDERR_FILENO) == 1) {}

    void line(const QString &text) { bytes(text.toLocal8Bit().toStdString()); }

    // A line as bytes: messages carry paths and server replies as they are.
    void bytes(const std::string &text)
    {
        endProgress();
        std::fprintf(stderr, "%s\n", text.c_str());
        std::fflush(stderr);
    }

    void progress(const QString &text)
    {
        if (!terminal_) {
            line(text);
            return;
        }
        std::fprintf(stderr, "\r\033[K%s", text.toLocal8Bit().constData());
        std::fflush(stderr);
        progressShown_ = true;
    }

    void endProgress()
    {
        if (!progressShown_)
            return;
        std::fprintf(stderr, "\r\033[K");
        progressShown_ = false;
    }

private:
    bool terminal_;
    bool progressShown_ = false;
};

// Generation's log lines on the console.
class ConsoleReporter : public gen::SiteReporter {
public:
    explicit ConsoleReporter(Console &c) : console_(c) {}
    void log(const std::string &line) override { console_.line(QString::fromStdString(line)); }
    void clearUploadList() override {}
    void addToUploadList(const std::string &) override {}

private:
    Console &console_;
};

// Ctrl+C during a transfer cancels it; the waits run the event loop, so a
// timer sees the flag.
std::atomic<bool> g_interrupted{false};
extern "C" void onInterrupt(int) { g_interrupted = true; }

class InterruptWatch {
public:
    explicit InterruptWatch(Publisher &publisher)
    {
        g_interrupted = false;
        previous_ = std::signal(SIGINT, onInterrupt);
        QObject::connect(&timer_, &QTimer::timeout, [&publisher] {
            // Ctrl+C before the transfer began (while the site is
            // generated) waits for it.
            if (publisher.busy() && g_interrupted.exchange(false))
                publisher.cancel();
        });
        timer_.start(50);
    }
    ~InterruptWatch() { std::signal(SIGINT, previous_); }

private:
    QTimer timer_;
    void (*previous_)(int) = SIG_DFL;
};

// The project file of a name as the writer typed it when adding the project
// ("My blog") or as the project list shows it ("My_blog").
QString projectFile(const QString &name)
{
    if (name.isEmpty() || name.contains(QLatin1Char('/')))
        throw UsageError{QStringLiteral("Unknown project \"%1\".").arg(name)};
    const QString path = projectFilePath(name);
    if (QFileInfo(path).isFile())
        return path;
    const QString typed = projectFilePath(projectNameFromTyped(name));
    if (QFileInfo(typed).isFile())
        return typed;
    throw UsageError{QStringLiteral("Unknown project \"%1\": there is no project file %2.")
                         .arg(name, QDir::toNativeSeparators(path))};
}

// Reads a line from the terminal with echo off.
std::optional<QString> askPassword(const QString &prompt)
{
    if (isatty(STDIN_FILENO) != 1)
        return std::nullopt;
    std::fprintf(stderr, "%s", prompt.toLocal8Bit().constData());
    std::fflush(stderr);
    termios old{};
    const bool haveTerm = tcgetattr(STDIN_FILENO, &old) == 0;
    if (haveTerm) {
        termios quiet = old;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    }
    std::string typed;
    int c;
    while ((c = std::fgetc(stdin)) != EOF && c != '\n')
        typed += static_cast<char>(c);
    if (haveTerm)
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &old);
    std::fprintf(stderr, "\n");
    if (!typed.empty() && typed.back() == '\r')
        typed.pop_back();
    return QString::fromLocal8Bit(typed.c_str());
}

// A password from standard input that is not a terminal: its first line.
QString passwordFromInput()
{
    std::string line;
    int c;
    while ((c = std::fgetc(stdin)) != EOF && c != '\n')
        line += static_cast<char>(c);
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return QString::fromLocal8Bit(line.c_str());
}

// The keyring entry of a project's FTP account.
PasswordKey passwordKey(const QString &name, const ServerSettings &server)
{
    return passwordKeyOf(name, server);
}

// The environment variable a scheduled job sets the secret of this kind of
// target in.
const char *secretVariable(const ServerSettings &server)
{
    switch (server.target) {
    case PublishTarget::Git:
        return "TARVLIT_GIT_TOKEN";
    case PublishTarget::S3:
        return "TARVLIT_S3_SECRET";
    case PublishTarget::Server:
        break;
    }
    return kPasswordVariable;
}

// "user@host", as the messages name an account.
QString accountText(const PasswordKey &key) { return key.user + QLatin1Char('@') + key.server; }

// The password the keyring keeps for the project, when a keyring runs and
// keeps one. A keyring that cannot be read is reported and passed over.
std::optional<QString> keyringPassword(const PasswordKey &key, Console &console)
{
    if (!PasswordStore::available())
        return std::nullopt;
    try {
        std::optional<QString> kept = PasswordStore().read(key);
        if (kept)
            console.line(QStringLiteral("Using the password kept in the keyring for %1.")
                             .arg(accountText(key)));
        return kept;
    } catch (const AppError &e) {
        console.bytes(e.what());
        return std::nullopt;
    }
}

// The password comes from the environment, else from the keyring, else from
// the terminal; it is never taken from the command line or written anywhere.
// Over SFTP an empty password means the SSH agent and the writer's keys, so
// a job without a terminal goes on without one.
QString ftpPassword(const QString &name, const ServerSettings &server, Console &console)
{
    keepSecretsOutOfCoreDumps();
    if (const char *env = std::getenv(secretVariable(server)))
        return QString::fromLocal8Bit(env);
    if (std::optional<QString> kept = keyringPassword(passwordKey(name, server), console))
        return *kept;
    if (server.target == PublishTarget::Git) {
        // SSH uses the agent and the keys; HTTPS may need no token (a
        // repository on the same machine, a server that asks none).
        if (auto typed = askPassword(QStringLiteral("Token for %1 (empty: none, or SSH keys): ")
                                         .arg(server.gitUrl)))
            return *typed;
        return QString();
    }
    if (server.target == PublishTarget::S3) {
        if (auto typed = askPassword(QStringLiteral("Secret access key of %1: ").arg(server.s3KeyId)))
            return *typed;
        throw AppError("No S3 secret: set TARVLIT_S3_SECRET, keep it in the keyring with \"tarvlit "
                       "password " + name.toStdString() + "\", or run on a terminal to be asked for it.");
    }
    const bool sftp = server.sftp;
    const QString &user = server.user;
    const QString &host = server.host;
    const QString prompt = sftp ? QStringLiteral("SSH password for %1@%2 (empty: agent and keys): ")
                                : QStringLiteral("FTP password for %1@%2: ");
    if (auto typed = askPassword(prompt.arg(user, host)))
        return *typed;
    if (sftp)
        return QString();
    throw AppError(std::string("No FTP password: set ") + kPasswordVariable
                   + ", keep one in the keyring with \"tarvlit password " + name.toStdString()
                   + "\", or run on a terminal to be asked for it.");
}

// tarvlit password PROJECT [--forget]: keeps the project's password in the
// keyring, read from the terminal or standard input, or removes it.
int runPassword(const QString &name, const ServerSettings &server, bool forget, Console &console)
{
    const PasswordKey key = passwordKey(name, server);
    if (key.server.isEmpty())
        throw AppError("The project \"" + name.toStdString() + "\" names no server, repository or bucket.");
    QString why;
    if (!PasswordStore::available(&why))
        throw AppError("The password cannot be kept: " + why.toStdString());
    PasswordStore store;
    if (forget) {
        console.line((store.forget(key) ? QStringLiteral("The password for %1 was removed from the keyring.")
                                        : QStringLiteral("The keyring kept no password for %1."))
                         .arg(accountText(key)));
        return Ok;
    }
    const std::optional<QString> typed = askPassword(
        QStringLiteral("Password for %1 to keep in the keyring: ").arg(accountText(key)));
    const QString password = typed ? *typed : passwordFromInput();
    if (password.isEmpty())
        throw AppError("No password was given; the keyring was left as it was.");
    store.store(key, password);
    console.line(QStringLiteral("The password for %1 is kept in the keyring.").arg(accountText(key)));
    return Ok;
}

// tarvlit projects: the project names, one per line, for scripts and for
// the shell's completion.
int listProjects()
{
    QStringList names = projectNamesIn(projectsFolder());
    names.sort(Qt::CaseInsensitive);
    for (const QString &n : names)
        std::printf("%s\n", pathBytes(n).c_str());
    return Ok;
}

std::vector<std::string> generate(const ProjectSettings &project, Console &console)
{
    ConsoleReporter reporter(console);
    return gen::BuildSite(project, reporter);
}

// A publisher whose events reach the console.
void connectConsole(Publisher &publisher, Console &console)
{
    publisher.onLog = [&console](const QString &line) { console.line(line); };
    publisher.onFileStarted = [&console](const QString &verb, const QString &name, int k, int n) {
        console.progress(fileProgressText(verb, name, k, n));
    };
    publisher.onFailure = [&console](const QString &text) { console.line(text); };
    publisher.onSocketError = [&console](int number, const QString &message) {
        console.line(socketErrorText(number, message));
    };
}

void requireCompleted(Publisher::Outcome outcome)
{
    if (outcome == Publisher::Outcome::Cancelled)
        throw AppError(kTransferCancelled);
}

int runGenerate(const ProjectSettings &project, Console &console)
{
    generate(project, console);
    return Ok;
}

struct PublishOptions {
    bool allData = false;   // --data
    bool wholeSite = false; // --whole-site
    bool dryRun = false;    // --dry-run
    bool verify = false;    // --verify
    bool allowDeletes = false; // --allow-deletes
};

// What the server's questions get on a terminal-less command line: a host
// key or certificate is taken only as the options say.
struct TrustOptions {
    bool acceptNewHostKey = false;  // --accept-new-host-key
    std::string acceptCertificate;  // --accept-certificate SHA256
};

// "AB:CD:..." and "abcd..." name the same fingerprint.
std::string fingerprintKey(const std::string &fp)
{
    std::string key;
    for (char c : fp)
        if (std::isxdigit(static_cast<unsigned char>(c)))
            key += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return key;
}

// Sets up the publisher's questions for the command line and says what
// became of a certificate or host key no one vouches for.
void setUpTrust(Publisher &publisher, const QString &projectPath, const ProjectSettings &project,
                const TrustOptions &trust, Console &console)
{
    publisher.questions.acceptNewHostKey = trust.acceptNewHostKey;
    publisher.questions.untrustedCertificate = [&console, trust, project](const CertificateInfo &info) {
        if (!trust.acceptCertificate.empty()
            && fingerprintKey(trust.acceptCertificate) == fingerprintKey(info.Fingerprint))
            return true;
        if (info.Changed)
            console.line(QStringLiteral(
                             "WARNING: the certificate of the server has CHANGED since it was accepted.\n"
                             "  accepted before: %1\n  offered now:     %2\n"
                             "Someone may be listening in, or the host has a new certificate. Compare "
                             "the new fingerprint with the one your host publishes; to accept it, run "
                             "again with --accept-certificate %2")
                             .arg(project.server.trustedFingerprint, QString::fromStdString(info.Fingerprint)));
        else
            console.line(QStringLiteral("The server's certificate is not vouched for by a trusted "
                                        "authority (%1).\n  subject: %2\n  issuer:  %3\n"
                                        "  SHA-256: %4\nCompare the fingerprint with the one your host "
                                        "publishes; to accept it, run again with --accept-certificate %4")
                             .arg(QString::fromStdString(info.Problems), QString::fromStdString(info.Subject),
                                  QString::fromStdString(info.Issuer), QString::fromStdString(info.Fingerprint)));
        return false;
    };
    publisher.questions.certificateAccepted = [projectPath, &console](const std::string &fp) {
        projectfile::saveTrustedFingerprint(projectPath, QString::fromStdString(fp));
        console.line(QStringLiteral("Accepted the certificate %1 for this project")
                         .arg(QString::fromStdString(fp)));
    };
}

// Runs a transfer; an unknown SSH host key fails with what to do about it.
void runTransferCommand(const std::function<Publisher::Outcome()> &transfer)
{
    try {
        requireCompleted(transfer());
    } catch (const SshHostKeyError &e) {
        const std::string what = e.what();
        if (what.find("changed") != std::string::npos || what.find("CHANGED") != std::string::npos)
            throw;
        throw AppError(what + "\nTo trust this server's key and record it in ~/.ssh/known_hosts, "
                              "run again with --accept-new-host-key (after comparing the key's "
                              "fingerprint with the one your host publishes).");
    }
}

// How the login that ran during generation ended.
struct EarlyLogin {
    Publisher::Outcome outcome = Publisher::Outcome::Completed;
    std::exception_ptr failure;
};

// Generates the site on a thread of its own while the publisher logs in on
// this one (its waits run the event loop, so Ctrl+C still cancels). The
// publisher's log lines wait until generation is done, so the log reads as
// it would one after the other.
std::vector<std::string> generateWhileLoggingIn(Publisher &publisher, const ProjectSettings &project,
                                                Console &console, EarlyLogin &login)
{
    std::vector<std::string> uploads;
    std::exception_ptr generationFailure;
    std::thread generation([&] {
        try {
            uploads = generate(project, console);
        } catch (...) {
            generationFailure = std::current_exception();
        }
    });
    QStringList held;
    const std::function<void(const QString &)> log = publisher.onLog;
    publisher.onLog = [&held](const QString &line) { held << line; };
    try {
        login.outcome = publisher.connectAhead();
    } catch (...) {
        login.failure = std::current_exception();
    }
    generation.join();
    publisher.onLog = log;
    for (const QString &line : held)
        console.line(line);
    if (generationFailure)
        std::rethrow_exception(generationFailure);
    return uploads;
}

int runPublish(const QString &name, const QString &projectPath, const ProjectSettings &project,
               const PublishOptions &opt, const TrustOptions &trust, Console &console)
{
    // The record says what the server has; the generated list is kept so
    // that pages a failed send left behind stay queued.
    SendQueue queue;
    queue.load(SendRecord::pathFor(projectPath), publishPaths(project));

    Publisher publisher;
    connectConsole(publisher, console);
    setUpTrust(publisher, projectPath, project, trust, console);
    std::optional<InterruptWatch> watch;
    std::optional<QString> password;
    const auto configure = [&] {
        password = ftpPassword(name, project.server, console);
        publisher.configure(publishAccount(project, *password, projectPath));
        watch.emplace(publisher);
    };

    // A post or page that waits already means a connection, whatever the
    // generation adds: the login then runs while the site is generated.
    std::optional<EarlyLogin> early;
    std::vector<std::string> uploads;
    if (!opt.dryRun && queue.hasSendable()) {
        configure();
        early.emplace();
        uploads = generateWhileLoggingIn(publisher, project, console, *early);
    } else {
        uploads = generate(project, console);
    }
    QStringList generated;
    for (const std::string &p : uploads)
        generated << pathText(p);
    queue.siteGenerated(generated, !opt.dryRun);
    if (opt.wholeSite)
        queue.queueWholeSite();
    if (opt.allData)
        queue.setAllPosts(true);
    const PublishPaths &paths = queue.paths();
    const std::vector<std::string> removals = queue.removals();
    const bool removalsAllowed = opt.allowDeletes || !queue.removalsNeedConfirmation(removals.size());

    if (opt.dryRun) {
        for (const QString &f : queue.siteFiles())
            std::printf("%s -> %s\n", pathBytes(f).c_str(), remoteSiteName(paths, f).c_str());
        for (const QString &f : queue.postFiles())
            std::printf("%s -> %s\n", pathBytes(f).c_str(), remoteDataName(paths, f).c_str());
        for (const std::string &r : removals)
            std::printf("remove %s\n", r.c_str());
        QString line = QStringLiteral("Would send %1 files").arg(queue.count());
        if (!removals.empty())
            line += QStringLiteral(" and remove %1%2").arg(removals.size()).arg(
                removalsAllowed ? QString() : QStringLiteral(" (with --allow-deletes)"));
        console.line(line + QStringLiteral("; nothing was sent."));
        return Ok;
    }

    queue.dropUnsendable([&console](const QString &line) { console.line(line); });
    if (queue.count() == 0 && (removals.empty() || !removalsAllowed) && !opt.verify) {
        // Nothing the server lacks: no password asked, no connection.
        console.line(QStringLiteral("Nothing to send"));
    } else {
        if (!password)
            configure();
        if (early && (early->failure || early->outcome != Publisher::Outcome::Completed))
            runTransferCommand([&] {
                if (early->failure)
                    std::rethrow_exception(early->failure);
                return early->outcome;
            });
        SendResult result;
        runTransferCommand([&] { return queue.send(publisher, removalsAllowed, opt.verify, &result); });
        if (opt.verify)
            console.line(result.sentAgain.isEmpty()
                             ? QStringLiteral("The server held the whole site")
                             : QStringLiteral("The server lacked or held otherwise %1 files; they were sent")
                                   .arg(result.sentAgain.size()));
        if (!result.notRemoved.isEmpty())
            throw AppError(QStringLiteral("%1 files could not be removed from the server; the next "
                                          "publish tries again")
                               .arg(result.notRemoved.size())
                               .toLocal8Bit()
                               .toStdString());
    }
    if (!removals.empty() && !removalsAllowed)
        throw AppError(QStringLiteral("%1 files are no longer part of the site, more than %2 or a "
                                      "tenth of it: they stay on the server. Look at them with "
                                      "--dry-run, then run again with --allow-deletes to remove them.")
                           .arg(removals.size())
                           .arg(SendQueue::kRemovalsWithoutAsking)
                           .toLocal8Bit()
                           .toStdString());
    return Ok;
}

int runFetch(const QString &name, const QString &projectPath, const ProjectSettings &project,
             const TrustOptions &trust, Console &console)
{
    const PublishPaths paths = publishPaths(project);
    // Before anything connects: fetched posts need a folder to land in.
    if (paths.dataFolder.isEmpty() || !QFileInfo(paths.dataFolder).isDir())
        throw AppError(QStringLiteral("The data folder %1 does not exist; set the project's data "
                                      "folder or create it first.")
                           .arg(paths.dataFolder)
                           .toLocal8Bit()
                           .toStdString());
    const QString password = ftpPassword(name, project.server, console);
    if (!hasServerSettings(project.server, password))
        throw AppError(kNoServerSettings);

    SendRecord record = SendRecord::load(SendRecord::pathFor(projectPath));
    record.setTarget(paths.target);
    Publisher publisher;
    setUpTrust(publisher, projectPath, project, trust, console);
    connectConsole(publisher, console);
    publisher.setRecord(&record);
    publisher.configure(publishAccount(project, password, projectPath));
    InterruptWatch watch(publisher);
    FetchResult result;
    runTransferCommand([&] { return publisher.fetch(nullptr, paths, &result); });
    if (!result.conflicts.isEmpty()) {
        console.line(QStringLiteral("%1 posts were changed here and on the server; both copies are "
                                    "kept, the server's in %2conflicts/:")
                         .arg(result.conflicts.size())
                         .arg(WithTrailingSeparator(paths.dataFolder)));
        for (const QString &c : result.conflicts)
            console.line(QStringLiteral("  ") + c);
    }
    if (!result.skipped.isEmpty())
        throw AppError(QStringLiteral("%1 post files were not fetched (see above)")
                           .arg(result.skipped.size())
                           .toLocal8Bit()
                           .toStdString());
    if (result.listed == 0)
        throw AppError(QStringLiteral("The server's data folder %1 holds no post files")
                           .arg(decodeCp1250(paths.dataPrefix.empty() ? std::string("(the login folder)")
                                                                       : paths.dataPrefix))
                           .toLocal8Bit()
                           .toStdString());
    return result.conflicts.isEmpty() ? Ok : Conflicts;
}

// "tarvlit picture PROJECT FILE...": the pictures copied into the site in web
// sizes, in the folder of the post's month (--post) or of this month, and
// queued for the next send; the tags to paste go to standard output. One bad
// file fails the command and leaves none of the copies behind.
int runPicture(const QStringList &args, const QString &alt, const QString &post, Console &console)
{
    if (args.size() < 3)
        throw UsageError{QStringLiteral("The command \"picture\" needs a project name and a picture file.")};
    const QString path = projectFile(args[1]);
    const ProjectSettings project = projectfile::load(path);
    const CivilDateTime month =
        post.isEmpty() ? civilFromDateTime(clock().now())
                       : civilFromSeconds(postTimeOfName(pathBytes(QFileInfo(post).fileName())));
    const std::vector<media::InsertedPicture> pictures =
        media::insertPictures(project, args.mid(2), month.year, month.month, alt);
    QStringList copies;
    try {
        for (const media::InsertedPicture &p : pictures)
            copies << p.files;
        SendQueue queue;
        queue.load(SendRecord::pathFor(path), publishPaths(project));
        queue.siteFilesAdded(copies);
    } catch (...) {
        for (const media::InsertedPicture &p : pictures)
            media::removePicture(p);
        throw;
    }
    for (qsizetype i = 0; i < args.size() - 2; ++i) {
        std::printf("%s\n", pictures[std::size_t(i)].html.toLocal8Bit().constData());
        console.line(QStringLiteral("%1: %2").arg(args[i + 2], pictures[std::size_t(i)].files.join(QStringLiteral(", "))));
    }
    std::fflush(stdout);
    return Ok;
}

int dispatch(QCoreApplication &app, Console &console)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Generates and publishes a Tarvel Lite blog without the window.\n"
        "With no arguments, tarvlit starts the window.\n\n"
        "Commands:\n"
        "  generate PROJECT   Read the project's posts and generate its site.\n"
        "  publish PROJECT    Generate, then send what the project's FTP server lacks:\n"
        "                     the pages and post files changed since the last send.\n"
        "  fetch PROJECT      Fetch the post files of the server's data folder into the\n"
        "                     project's data folder.\n"
        "  picture PROJECT FILE... [--alt TEXT] [--post NAME]\n"
        "                     Copy pictures into the site in web sizes (media/YYYY/MM/ of\n"
        "                     the post's month, or this month) and print the tags to paste\n"
        "                     into the post; the copies are sent with the next publish.\n"
        "  password PROJECT   Keep the project's FTP password in the system keyring, read\n"
        "                     from the terminal (or the first line of standard input);\n"
        "                     with --forget, remove it.\n"
        "  projects           Print the names of the projects, one per line.\n\n"
        "PROJECT is the name of a project file in the settings folder's conf folder.\n"
        "The FTP password is read from the environment variable TARVLIT_FTP_PASSWORD,\n"
        "else from the system keyring (see the password command), else asked on the\n"
        "terminal."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("command"),
                                 QStringLiteral("generate, publish, fetch, picture, password or projects"));
    parser.addPositionalArgument(QStringLiteral("project"), QStringLiteral("the project's name"));
    const QCommandLineOption data(QStringLiteral("data"),
                                  QStringLiteral("publish: send every post file of the data folder."));
    const QCommandLineOption wholeSite(
        QStringLiteral("whole-site"),
        QStringLiteral("publish: send every file of the main and archive folders."));
    const QCommandLineOption dryRun(QStringLiteral("dry-run"),
                                    QStringLiteral("publish: print what would be sent; connect to nothing."));
    const QCommandLineOption acceptKey(
        QStringLiteral("accept-new-host-key"),
        QStringLiteral("publish, fetch over SFTP: trust and record a server key not seen before\n"
                       "(a changed key is always refused)."));
    const QCommandLineOption alt(QStringLiteral("alt"),
                                 QStringLiteral("picture: the pictures' text for readers who cannot see them."),
                                 QStringLiteral("TEXT"));
    const QCommandLineOption post(QStringLiteral("post"),
                                  QStringLiteral("picture: the post file (\"1700000000.txt\") whose month\n"
                                                 "chooses the pictures' folder; default: this month."),
                                  QStringLiteral("NAME"));
    
    const QCommandLineOption verify(
        QStringLiteral("verify"),
        QStringLiteral("publish: compare every remote folder with the site (names and sizes) and\n"
                       "send what differs."));
    const QCommandLineOption allowDeletes(
        QStringLiteral("allow-deletes"),
        QStringLiteral("publish: remove from the server more than 20 files (or more than a tenth\n"
                       "of the site) that are no longer part of it."));
    const QCommandLineOption acceptCertificate(
        QStringLiteral("accept-certificate"),
        QStringLiteral("publish, fetch over FTPS: accept the server certificate with this SHA-256\n"
                       "fingerprint (and remember it for the project)."),
        QStringLiteral("SHA256"));
    const QCommandLineOption forget(
        QStringLiteral("forget"), QStringLiteral("password: remove the kept password from the keyring."));
    parser.addOptions({data, wholeSite, dryRun, verify, allowDeletes, acceptKey, acceptCertificate, alt, post, forget});

    if (!parser.parse(app.arguments()))
        throw UsageError{parser.errorText()};
    if (parser.isSet(QStringLiteral("help"))) {
        std::fprintf(stdout, "%s", parser.helpText().toLocal8Bit().constData());
        return Ok;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        std::fprintf(stdout, "%s %s\n", qPrintable(QCoreApplication::applicationName()),
                     qPrintable(QCoreApplication::applicationVersion()));
        return Ok;
    }

    const QStringList args = parser.positionalArguments();
    if (args.isEmpty())
        throw UsageError{QStringLiteral("No command given.")};
    const QString command = args.first();
    for (const QCommandLineOption *o : {&alt, &post})
        if (parser.isSet(*o) && command != QLatin1String("picture"))
            throw UsageError{QStringLiteral("--%1 belongs to the picture command.").arg(o->names().first())};
    if (command == QLatin1String("picture"))
        return runPicture(args, parser.value(alt), parser.value(post), console);
    if (!commandNames().contains(command))
        throw UsageError{QStringLiteral("Unknown command \"%1\".").arg(command)};
    for (const QCommandLineOption *o : {&data, &wholeSite, &dryRun, &verify, &allowDeletes})
        if (parser.isSet(*o) && command != QLatin1String("publish"))
            throw UsageError{QStringLiteral("--%1 belongs to the publish command.").arg(o->names().first())};
    for (const QCommandLineOption *o : {&acceptKey, &acceptCertificate})
        if (parser.isSet(*o) && command != QLatin1String("publish") && command != QLatin1String("fetch"))
            throw UsageError{QStringLiteral("--%1 belongs to publish and fetch.").arg(o->names().first())};
    if (parser.isSet(forget) && command != QLatin1String("password"))
        throw UsageError{QStringLiteral("--forget belongs to the password command.")};
    if (command == QLatin1String("projects")) {
        if (args.size() > 1)
            throw UsageError{QStringLiteral("Unexpected argument \"%1\".").arg(args[1])};
        return listProjects();
    }
    if (args.size() < 2)
        throw UsageError{QStringLiteral("The command \"%1\" needs a project name.").arg(command)};
    if (args.size() > 2)
        throw UsageError{QStringLiteral("Unexpected argument \"%1\".").arg(args[2])};

    const QString path = projectFile(args[1]);
    // The project's own name, as its file has it ("My_blog" for "My blog"):
    // the keyring keeps the password under it.
    const QString name = QFileInfo(path).fileName().chopped(4);
    const ProjectSettings project = projectfile::load(path);
    if (command == QLatin1String("generate"))
        return runGenerate(project, console);
    const TrustOptions trust{parser.isSet(acceptKey), parser.value(acceptCertificate).toStdString()};
    if (command == QLatin1String("publish"))
        return runPublish(name, path, project,
                          {parser.isSet(data), parser.isSet(wholeSite), parser.isSet(dryRun),
                           parser.isSet(verify), parser.isSet(allowDeletes)},
                          trust, console);
    if (command == QLatin1String("password"))
        return runPassword(name, project.server, parser.isSet(forget), console);
    return runFetch(name, path, project, trust, console);
}

// A job cron starts has none of the desktop session's environment, so
// neither D-Bus nor libsecret would find the session bus, and with it the
// keyring. Where systemd runs the writer's session, the bus is the socket
// "bus" of the writer's runtime folder: it is named for both.
void findSessionBus()
{
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        return;
    QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (runtime.isEmpty())
        runtime = "/run/user/" + QByteArray::number(getuid());
    const QByteArray bus = runtime + "/bus";
    struct stat st {};
    if (::stat(bus.constData(), &st) == 0 && S_ISSOCK(st.st_mode) && st.st_uid == getuid())
        qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + bus);
}

} // namespace

bool wantsCommandLine(int argc, char *argv[])
{
    // The options of Qt's own (QGuiApplication, QApplication, X11) that take
    // the next argument as their value: that value is no command.
    static const QSet<QString> qtOptionsWithValue = {
        QStringLiteral("platform"), QStringLiteral("platformpluginpath"),
        QStringLiteral("platformtheme"), QStringLiteral("plugin"),
        QStringLiteral("qwindowgeometry"), QStringLiteral("qwindowicon"),
        QStringLiteral("qwindowtitle"), QStringLiteral("geometry"), QStringLiteral("title"),
        QStringLiteral("display"), QStringLiteral("name"), QStringLiteral("visual"),
        QStringLiteral("ncols"), QStringLiteral("cmap"), QStringLiteral("im"),
        QStringLiteral("session"), QStringLiteral("style"), QStringLiteral("stylesheet")};
    static const QSet<QString> ownOptions = {
        QStringLiteral("h"), QStringLiteral("?"), QStringLiteral("help"),
        QStringLiteral("help-all"), QStringLiteral("v"), QStringLiteral("version"),
        QStringLiteral("data"), QStringLiteral("whole-site"), QStringLiteral("dry-run"),
        QStringLiteral("accept-new-host-key"), QStringLiteral("forget")};
    for (int i = 1; i < argc; ++i) {
        const QString arg = QString::fromLocal8Bit(argv[i]);
        if (arg.size() > 1 && arg.startsWith(QLatin1Char('-'))) {
            QString name = arg.mid(arg.startsWith(QLatin1String("--")) ? 2 : 1);
            const qsizetype eq = name.indexOf(QLatin1Char('='));
            if (eq >= 0)
                name.truncate(eq);
            if (ownOptions.contains(name))
                return true;
            if (eq < 0 && qtOptionsWithValue.contains(name))
                ++i;
            continue;
        }
        // The first word decides: one of the commands, or something for the
        // window (a file handed over by a file manager, say).
        return commandNames().contains(arg);
    }
    return false;
}

int run(int argc, char *argv[])
{
    findSessionBus();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Tarvel Lite"));
    QCoreApplication::setApplicationVersion(
        QString::fromStdString(ProductVersionText(ProgramFilePath())));
    Console console;
    try {
        return dispatch(app, console);
    } catch (const UsageError &e) {
        console.line(QStringLiteral("tarvlit: ") + e.message);
        console.line(QStringLiteral("Try \"tarvlit --help\"."));
        return Usage;
    } catch (const std::exception &e) {
        console.bytes(std::string("tarvlit: ") + e.what());
        return Failed;
    }
}

} // namespace tl::cli
