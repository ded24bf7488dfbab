#include "publish/gitclient.h"
#include "publish/ftpsocket.h" // EAbortError
#include "publish/knownhosts.h"
#include "publish/replacingfile.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QTimer>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include <git2.h>
#include <pwd.h>
#include <unistd.h>

namespace tl {

// ------------------------------------------------------------------ job

// What a worker thread and the waiting caller share. The worker makes and
// frees its own libgit2 objects; everything it tells the caller goes
// through here, under the mutex.
struct GitJob {
    struct Staged {
        size_t index;
        std::string path;
        std::string blob;
    };

    std::mutex mutex;
    std::condition_variable answered;
    std::atomic<bool> cancelled { false };
    bool finished = false;
    std::exception_ptr error;
    // The event loop of the caller while it waits, woken by the worker.
    QAbstractEventDispatcher *waiter = nullptr;
    // For the caller, taken by each look of its wait.
    std::deque<std::string> logLines;
    std::deque<Staged> staged;
    qint64 progressDone = 0, progressTotal = 0;
    bool progressChanged = false;
    std::optional<HostKeyInfo> question;
    std::optional<bool> answer;
    // Results, read by the caller once finished.
    std::string tip;
    std::string commit;

    // Callers hold the mutex.
    void wake()
    {
        if (waiter)
            waiter->wakeUp();
    }
    void log(const std::string &line)
    {
        std::lock_guard lock(mutex);
        logLines.push_back(line);
        wake();
    }
    void progress(qint64 done, qint64 total)
    {
        std::lock_guard lock(mutex);
        progressDone = done;
        progressTotal = total;
        progressChanged = true;
        wake();
    }
    // Asks the caller and waits for its answer (false on Cancel).
    bool ask(const HostKeyInfo &info)
    {
        std::unique_lock lock(mutex);
        question = info;
        answer.reset();
        wake();
        answered.wait(lock, [this] { return answer.has_value() || cancelled; });
        question.reset();
        return answer.value_or(false);
    }
    void throwIfCancelled() const
    {
        if (cancelled)
            throw EAbortError(kMsgTransferCancelled);
    }
};

namespace {

const char *const kRemoteName = "origin";
const char *const kDefaultAuthor = "Tarvel Lite";
const char *const kDefaultEmail = "tarvlit@localhost";
// Bytes read from a local file per write into the object database.
constexpr qint64 kChunk = 256 * 1024;

void initLibgit2Once()
{
    static const bool done = [] {
        git_libgit2_init();
        return true;
    }();
    (void)done;
}

// A libgit2 object freed by its own function.
template <typename T, void (*Free)(T *)> class Owned {
public:
    Owned() = default;
    Owned(const Owned &) = delete;
    Owned &operator=(const Owned &) = delete;
    ~Owned() { reset(); }
    T *get() const { return m_p; }
    T **out()
    {
        reset();
        return &m_p;
    }
    void reset()
    {
        if (m_p)
            Free(m_p);
        m_p = nullptr;
    }

private:
    T *m_p = nullptr;
};
using Repository = Owned<git_repository, git_repository_free>;
using Remote = Owned<git_remote, git_remote_free>;
using Commit = Owned<git_commit, git_commit_free>;
using Tree = Owned<git_tree, git_tree_free>;
using TreeEntry = Owned<git_tree_entry, git_tree_entry_free>;
using TreeBuilder = Owned<git_treebuilder, git_treebuilder_free>;
using Blob = Owned<git_blob, git_blob_free>;
using Signature = Owned<git_signature, git_signature_free>;
using Reference = Owned<git_reference, git_reference_free>;
using Odb = Owned<git_odb, git_odb_free>;

std::string lastGitError()
{
    const git_error *e = git_error_last();
    return e && e->message ? std::string(e->message) : std::string("unknown error");
}

std::string hexOf(const git_oid &oid)
{
    char text[GIT_OID_HEXSZ + 1] = {};
    git_oid_tostr(text, sizeof text, &oid);
    return text;
}

git_oid oidOf(const std::string &hex)
{
    git_oid oid {};
    git_oid_fromstrn(&oid, hex.data(), hex.size());
    return oid;
}

void check(int rc, const std::string &what)
{
    if (rc < 0)
        throw GitError(what + ": " + lastGitError());
}

bool isFileMode(git_filemode_t mode)
{
    return mode == GIT_FILEMODE_BLOB || mode == GIT_FILEMODE_BLOB_EXECUTABLE;
}

// Host and port of an SSH URL: "ssh://[user@]host[:port]/path" or the
// short form "[user@]host:path".
void sshHostOf(const std::string &url, std::string &host, int &port)
{
    port = 22;
    const size_t scheme = url.find("://");
    const bool full = scheme != std::string::npos;
    std::string rest = full ? url.substr(scheme + 3) : url;
    const size_t at = rest.find('@');
    const size_t end = rest.find(full ? '/' : ':');
    if (at != std::string::npos && (end == std::string::npos || at < end))
        rest = rest.substr(at + 1);
    if (!full) {
        host = rest.substr(0, rest.find(':'));
        return;
    }
    std::string authority = rest.substr(0, rest.find('/'));
    const size_t colon = authority.rfind(':');
    const size_t bracket = authority.rfind(']');
    if (colon != std::string::npos && (bracket == std::string::npos || colon > bracket)) {
        port = std::atoi(authority.substr(colon + 1).c_str());
        authority = authority.substr(0, colon);
    }
    if (authority.size() > 1 && authority.front() == '[' && authority.back() == ']')
        authority = authority.substr(1, authority.size() - 2);
    host = authority;
}

// What a worker needs of the client, copied when the operation starts.
struct Context {
    GitSettings settings;
    bool acceptNewHostKey = false;
    std::vector<std::string> keyPaths;
    std::string localUser;
};

// What libgit2's callbacks need during one connection to the remote.
struct Session {
    Session(GitJob *job, const Context *context)
        : job(job)
        , context(context)
    {
    }
    GitJob *job;
    const Context *context;
    bool agentTried = false;
    size_t nextKey = 0;
    std::string tried; // credentials offered so far, for the message
    bool tokenOffered = false;
    // A failure a callback met; thrown instead of libgit2's own message.
    std::exception_ptr failure;
    // The server's reason for refusing to update the branch.
    std::string refused;

    std::string serverName() const
    {
        std::string host;
        int port = 22;
        sshHostOf(context->settings.url, host, port);
        return knownHostsName(host, port);
    }
};

int onCredentials(git_credential **out, const char *, const char *userFromUrl, unsigned int allowed,
    void *payload)
{
    auto *s = static_cast<Session *>(payload);
    if (s->job->cancelled)
        return GIT_EUSER;
    const Context &c = *s->context;
    const std::string user = userFromUrl && *userFromUrl ? userFromUrl : c.localUser;
    if (allowed & GIT_CREDENTIAL_SSH_KEY) {
        if (!s->agentTried && !qEnvironmentVariableIsEmpty("SSH_AUTH_SOCK")) {
            s->agentTried = true;
            s->tried = "the SSH agent";
            return git_credential_ssh_key_from_agent(out, user.c_str());
        }
        // A key with a passphrase is refused without one, and libgit2 asks
        // for the next.
        if (s->nextKey < c.keyPaths.size()) {
            const std::string &path = c.keyPaths[s->nextKey++];
            s->tried += (s->tried.empty() ? "" : ", ") + path;
            return git_credential_ssh_key_new(out, user.c_str(), nullptr, path.c_str(), nullptr);
        }
        s->failure = std::make_exception_ptr(SshAuthError("Authentication failed: the server "
            + s->serverName() + " accepted no key for user " + user
            + (s->tried.empty()
                    ? " (no SSH agent and no key in " + SftpClient::sshDir().toStdString() + ")"
                    : " (tried " + s->tried + ")")));
        return GIT_EUSER;
    }
    if (allowed & GIT_CREDENTIAL_USERPASS_PLAINTEXT) {
        if (c.settings.token.empty()) {
            s->failure = std::make_exception_ptr(GitError("The server of " + c.settings.url
                + " asks for a login: give an access token (TARVLIT_GIT_TOKEN)"));
            return GIT_EUSER;
        }
        if (s->tokenOffered) {
            s->failure = std::make_exception_ptr(
                GitError("The server of " + c.settings.url + " refused the access token"));
            return GIT_EUSER;
        }
        s->tokenOffered = true;
        const std::string login = userFromUrl && *userFromUrl ? userFromUrl : "x-access-token";
        return git_credential_userpass_plaintext_new(out, login.c_str(), c.settings.token.c_str());
    }
    if (allowed & GIT_CREDENTIAL_USERNAME)
        return git_credential_username_new(out, user.c_str());
    s->failure = std::make_exception_ptr(GitError(
        "The server of " + c.settings.url + " asks for a kind of login this program cannot give"));
    return GIT_EUSER;
}

int onCertificate(git_cert *cert, int valid, const char *host, void *payload)
{
    auto *s = static_cast<Session *>(payload);
    if (cert->cert_type == GIT_CERT_HOSTKEY_LIBSSH2) {
        const auto *key = reinterpret_cast<const git_cert_hostkey *>(cert);
        try {
            if (!(key->type & GIT_CERT_SSH_RAW))
                throw SshHostKeyError(
                    "The server " + s->serverName() + " sent no host key that can be checked");
            std::string urlHost;
            int port = 22;
            sshHostOf(s->context->settings.url, urlHost, port);
            GitJob *job = s->job;
            const bool acceptNew = s->context->acceptNewHostKey;
            verifyHostKey(
                urlHost, port, std::string(key->hostkey, key->hostkey_len),
                [job, acceptNew](const HostKeyInfo &info) { return acceptNew || job->ask(info); },
                [job](const std::string &line) { job->log(line); });
            return 0;
        } catch (...) {
            s->failure = std::current_exception();
            return GIT_EUSER;
        }
    }
    // HTTPS: libgit2 checked the certificate against the system's
    // authorities.
    if (valid)
        return 0;
    s->failure = std::make_exception_ptr(GitError("The certificate of " + std::string(host)
        + " is not signed by an authority this computer trusts; the connection was refused"));
    return GIT_EUSER;
}

int onTransfer(const git_indexer_progress *stats, void *payload)
{
    auto *s = static_cast<Session *>(payload);
    s->job->progress(qint64(stats->received_bytes), 0);
    return s->job->cancelled ? GIT_EUSER : 0;
}

int onPushTransfer(unsigned int, unsigned int, size_t bytes, void *payload)
{
    auto *s = static_cast<Session *>(payload);
    s->job->progress(qint64(bytes), 0);
    return s->job->cancelled ? GIT_EUSER : 0;
}

int onSideband(const char *, int, void *payload)
{
    return static_cast<Session *>(payload)->job->cancelled ? GIT_EUSER : 0;
}

int onPack(int, uint32_t, uint32_t, void *payload)
{
    return static_cast<Session *>(payload)->job->cancelled ? GIT_EUSER : 0;
}

int onPushUpdate(const char *, const char *status, void *payload)
{
    if (status)
        static_cast<Session *>(payload)->refused = status;
    return 0;
}

git_remote_callbacks callbacksFor(Session &s)
{
    git_remote_callbacks cb = GIT_REMOTE_CALLBACKS_INIT;
    cb.credentials = onCredentials;
    cb.certificate_check = onCertificate;
    cb.transfer_progress = onTransfer;
    cb.push_transfer_progress = onPushTransfer;
    cb.sideband_progress = onSideband;
    cb.pack_progress = onPack;
    cb.push_update_reference = onPushUpdate;
    cb.payload = &s;
    return cb;
}

// A libgit2 call of a connection failed: the callbacks' own failure, the
// Cancel, or libgit2's message.
[[noreturn]] void connectionFailed(const Session &s, const std::string &what)
{
    if (s.failure)
        std::rethrow_exception(s.failure);
    s.job->throwIfCancelled();
    throw GitError(what + ": " + lastGitError());
}

std::string branchRef(const Context &c)
{
    return "refs/heads/" + c.settings.branch;
}
std::string trackingRef(const Context &c)
{
    return std::string("refs/remotes/") + kRemoteName + "/" + c.settings.branch;
}

void openCache(const std::string &folder, Repository &repo)
{
    if (git_repository_open_bare(repo.out(), folder.c_str()) == 0)
        return;
    git_repository_init_options options = GIT_REPOSITORY_INIT_OPTIONS_INIT;
    options.flags = GIT_REPOSITORY_INIT_BARE | GIT_REPOSITORY_INIT_MKPATH;
    check(git_repository_init_ext(repo.out(), folder.c_str(), &options),
        "Cannot make the Git cache " + folder);
}

void openRemote(git_repository *repo, const std::string &url, Remote &remote)
{
    if (git_remote_lookup(remote.out(), repo, kRemoteName) == 0) {
        if (url == git_remote_url(remote.get()))
            return;
        check(git_remote_set_url(repo, kRemoteName, url.c_str()), "Cannot set the URL " + url);
        check(git_remote_lookup(remote.out(), repo, kRemoteName), "Cannot use the URL " + url);
        return;
    }
    check(git_remote_create(remote.out(), repo, kRemoteName, url.c_str()),
        "Cannot use the URL " + url);
}

// Fetches the branch; returns the id of its commit on the remote, "" when
// the remote has no such branch.
std::string fetchTip(GitJob &job, const Context &c, git_remote *remote)
{
    Session s(&job, &c);
    git_fetch_options options = GIT_FETCH_OPTIONS_INIT;
    options.callbacks = callbacksFor(s);
    options.download_tags = GIT_REMOTE_DOWNLOAD_TAGS_NONE;
    options.update_fetchhead = 0;
    std::string mapping = "+" + branchRef(c) + ":" + trackingRef(c);
    char *mappings[] = { mapping.data() };
    const git_strarray refMappings = { mappings, 1 };
    if (git_remote_fetch(remote, &refMappings, &options, "fetch") < 0)
        connectionFailed(
            s, "Cannot fetch the branch " + c.settings.branch + " of " + c.settings.url);
    // The heads the remote announced for this fetch say whether it has the
    // branch (a tracking branch left from before would not).
    const git_remote_head **heads = nullptr;
    size_t count = 0;
    check(git_remote_ls(&heads, &count, remote), "Cannot read the branches of " + c.settings.url);
    for (size_t i = 0; i < count; ++i)
        if (branchRef(c) == heads[i]->name)
            return hexOf(heads[i]->oid);
    return {};
}

// Writes a local file into the object database as it is (no line-end or
// other filter); returns its id.
std::string storeBlob(
    GitJob &job, git_odb *odb, const std::string &localPath, qint64 &done, qint64 total)
{
    QFile file(QString::fromStdString(localPath));
    if (!file.open(QIODevice::ReadOnly))
        throw LocalFileError(msgCannotOpenFile(localPath));
    git_odb_stream *stream = nullptr;
    check(git_odb_open_wstream(&stream, odb, git_object_size_t(file.size()), GIT_OBJECT_BLOB),
        "Cannot write into the Git cache");
    struct Close {
        git_odb_stream *s;
        ~Close() { git_odb_stream_free(s); }
    } close { stream };
    QByteArray chunk;
    qint64 left = file.size();
    while (left > 0) {
        job.throwIfCancelled();
        chunk = file.read(std::min(left, kChunk));
        if (chunk.isEmpty())
            throw LocalFileError(msgCannotOpenFile(localPath));
        check(git_odb_stream_write(stream, chunk.constData(), size_t(chunk.size())),
            "Cannot write into the Git cache");
        left -= chunk.size();
        done += chunk.size();
        job.progress(done, total);
    }
    git_oid oid;
    check(git_odb_stream_finalize_write(&oid, stream), "Cannot write into the Git cache");
    return hexOf(oid);
}

// The commit of `changes` on top of `tip` ("": a commit without parent);
// "" when they leave the tree as it was.
std::string makeCommit(git_repository *repo, const Context &c, const std::string &tip,
    const std::map<std::string, std::optional<std::string>> &changes, const std::string &message)
{
    Commit parent;
    Tree base;
    if (!tip.empty()) {
        const git_oid id = oidOf(tip);
        check(git_commit_lookup(parent.out(), repo, &id), "Cannot read the commit " + tip);
        check(git_commit_tree(base.out(), parent.get()), "Cannot read the commit " + tip);
    } else {
        TreeBuilder builder;
        git_oid empty;
        check(git_treebuilder_new(builder.out(), repo, nullptr), "Cannot make a tree");
        check(git_treebuilder_write(&empty, builder.get()), "Cannot make a tree");
        check(git_tree_lookup(base.out(), repo, &empty), "Cannot make a tree");
    }
    std::vector<git_tree_update> updates;
    std::vector<git_oid> blobs;
    blobs.reserve(changes.size());
    for (const auto &[path, blob] : changes) {
        git_tree_update u {};
        u.path = path.c_str();
        if (blob) {
            blobs.push_back(oidOf(*blob));
            u.action = GIT_TREE_UPDATE_UPSERT;
            u.id = blobs.back();
            u.filemode = GIT_FILEMODE_BLOB;
        } else {
            // Only a file the branch has is removed.
            TreeEntry entry;
            if (git_tree_entry_bypath(entry.out(), base.get(), path.c_str()) != 0
                || !isFileMode(git_tree_entry_filemode(entry.get())))
                continue;
            u.action = GIT_TREE_UPDATE_REMOVE;
        }
        updates.push_back(u);
    }
    git_oid treeId;
    check(git_tree_create_updated(&treeId, repo, base.get(), updates.size(), updates.data()),
        "Cannot make the commit's tree");
    if (git_oid_equal(&treeId, git_tree_id(base.get())) && (!tip.empty() || updates.empty()))
        return {};
    Tree tree;
    check(git_tree_lookup(tree.out(), repo, &treeId), "Cannot make the commit's tree");
    Signature author;
    const std::string name = c.settings.authorName.empty() ? kDefaultAuthor : c.settings.authorName;
    const std::string email
        = c.settings.authorEmail.empty() ? kDefaultEmail : c.settings.authorEmail;
    check(git_signature_now(author.out(), name.c_str(), email.c_str()),
        "Cannot use the author \"" + name + "\" <" + email + ">");
    const git_commit *parents[] = { parent.get() };
    git_oid commitId;
    check(git_commit_create(&commitId, repo, nullptr, author.get(), author.get(), nullptr,
              message.c_str(), tree.get(), tip.empty() ? 0 : 1, parents),
        "Cannot make the commit");
    return hexOf(commitId);
}

void setRef(git_repository *repo, const std::string &name, const std::string &commit)
{
    Reference ref;
    const git_oid id = oidOf(commit);
    check(git_reference_create(ref.out(), repo, name.c_str(), &id, 1, "publish"),
        "Cannot set " + name + " in the Git cache");
}

// Builds the commit on the fetched tip and pushes it; once the remote
// refuses because its branch moved, fetches and does it again. Sets
// job.commit ("" when nothing changes) and job.tip.
void commitAndPush(GitJob &job, const Context &c, std::string tip,
    const std::map<std::string, std::optional<std::string>> &changes, const std::string &message)
{
    Repository repo;
    openCache(c.settings.cacheFolder, repo);
    Remote remote;
    openRemote(repo.get(), c.settings.url, remote);
    const std::string where = "the branch " + c.settings.branch + " of " + c.settings.url;
    for (int attempt = 1;; ++attempt) {
        job.throwIfCancelled();
        const std::string commit = makeCommit(repo.get(), c, tip, changes, message);
        job.tip = tip;
        if (commit.empty())
            return;
        setRef(repo.get(), branchRef(c), commit);

        Session s(&job, &c);
        git_push_options options = GIT_PUSH_OPTIONS_INIT;
        options.callbacks = callbacksFor(s);
        options.pb_parallelism = 0; // packing uses every core (the first push carries the site)
        std::string mapping = branchRef(c) + ":" + branchRef(c); // never "+": no force
        char *mappings[] = { mapping.data() };
        const git_strarray refMappings = { mappings, 1 };
        const int rc = git_remote_push(remote.get(), &refMappings, &options);
        if (rc == 0 && s.refused.empty()) {
            setRef(repo.get(), trackingRef(c), commit);
            job.tip = job.commit = commit;
            return;
        }
        if (rc < 0 && rc != GIT_ENONFASTFORWARD)
            connectionFailed(s, "Cannot push to " + where);
        const std::string reason = !s.refused.empty() ? s.refused : lastGitError();
        // Whether the branch moved is what the remote has now, whatever the
        // words of the refusal.
        const std::string now = fetchTip(job, c, remote.get());
        if (now == tip)
            throw GitError("The server refused to update " + where + ": " + reason);
        if (attempt == 2)
            throw GitError("Cannot publish to " + where
                + ": someone else pushed to it while publishing, twice (" + reason
                + "). Nothing was overwritten; publish again.");
        job.log("Someone else pushed to " + where
            + " while publishing; the changes are made again on top of the new commits");
        tip = now;
    }
}

} // namespace

// --------------------------------------------------------------- client

class GitClient::BusyScope {
public:
    explicit BusyScope(GitClient &c)
        : m_c(c)
    {
        if (m_c.m_busy)
            throw AppError("The Git connection is busy with another transfer");
        m_c.m_busy = true;
        m_c.m_cancel = false;
    }
    ~BusyScope()
    {
        m_c.m_busy = false;
        m_c.m_cancel = false;
    }

private:
    GitClient &m_c;
};

GitClient::GitClient()
{
    initLibgit2Once();
}

GitClient::~GitClient()
{
    if (m_job) {
        std::lock_guard lock(m_job->mutex);
        m_job->cancelled = true;
        m_job->waiter = nullptr;
        m_job->answered.notify_all();
    }
}

void GitClient::cancel()
{
    if (m_busy)
        m_cancel = true;
}

void GitClient::close()
{
    if (m_busy)
        m_cancel = true;
    m_open = false;
    m_tip.clear();
    m_pending.clear();
}

std::string GitClient::repositoryPath(const std::string &name)
{
    size_t start = 0;
    while (start < name.size() && name[start] == '/')
        ++start;
    const std::string path = name.substr(start);
    auto refuse = [&](const std::string &why) {
        throw GitError("\"" + name + "\" cannot be a path in a Git repository: " + why);
    };
    if (path.empty())
        refuse("it is empty");
    if (path.find('\0') != std::string::npos)
        refuse("it holds a zero byte");
    size_t from = 0;
    for (;;) {
        const size_t slash = path.find('/', from);
        std::string part = path.substr(from, slash == std::string::npos ? slash : slash - from);
        for (char &ch : part)
            if (ch >= 'A' && ch <= 'Z')
                ch = char(ch - 'A' + 'a');
        if (part.empty() || part == "." || part == ".." || part == ".git")
            refuse(part.empty() ? "it has an empty part" : "it has a part \"" + part + "\"");
        if (slash == std::string::npos)
            break;
        from = slash + 1;
    }
    return path;
}

// ------------------------------------------------------------- waiting

std::shared_ptr<GitJob> GitClient::run(Work work)
{
    BusyScope busy(*this);
    // A worker that Cancel left behind may still write into the cache.
    if (m_job) {
        waitFor(*m_job, false);
        m_job.reset();
    }
    auto job = std::make_shared<GitJob>();
    m_job = job;
    std::thread([job, work = std::move(work)] {
        try {
            work(*job);
        } catch (...) {
            job->error = std::current_exception();
        }
        std::lock_guard lock(job->mutex);
        job->finished = true;
        job->wake();
    }).detach();
    waitFor(*job, true);
    m_job.reset();
    if (job->error)
        std::rethrow_exception(job->error);
    return job;
}

void GitClient::waitFor(GitJob &job, bool deliverEvents)
{
    {
        std::lock_guard lock(job.mutex);
        job.waiter = QAbstractEventDispatcher::instance();
    }
    struct Unhook {
        GitJob &job;
        ~Unhook()
        {
            std::lock_guard lock(job.mutex);
            job.waiter = nullptr;
        }
    } unhook { job };
    // The worker wakes the loop whenever it has news; the tick only bounds
    // a look should a wake-up be missed.
    QTimer tick;
    tick.start(50);
    for (;;) {
        bool finished = false;
        {
            std::lock_guard lock(job.mutex);
            finished = job.finished;
        }
        if (deliverEvents)
            deliver(job);
        if (finished)
            return;
        if (m_cancel) {
            std::lock_guard lock(job.mutex);
            job.cancelled = true;
            job.answered.notify_all();
            throw EAbortError(kMsgTransferCancelled);
        }
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
}

void GitClient::deliver(GitJob &job)
{
    std::deque<std::string> lines;
    std::deque<GitJob::Staged> staged;
    std::optional<std::pair<qint64, qint64>> progress;
    std::optional<HostKeyInfo> question;
    {
        std::lock_guard lock(job.mutex);
        lines.swap(job.logLines);
        staged.swap(job.staged);
        if (job.progressChanged)
            progress = std::make_pair(job.progressDone, job.progressTotal);
        job.progressChanged = false;
        if (job.question && !job.answer)
            question = job.question;
    }
    for (const std::string &line : lines)
        if (onLog)
            onLog(line);
    for (const GitJob::Staged &s : staged) {
        m_pending[s.path] = s.blob;
        if (m_staged)
            m_staged(s.index);
    }
    if (progress && onProgress)
        onProgress(progress->first, progress->second);
    if (question) {
        const bool accept = onUnknownHostKey && onUnknownHostKey(*question);
        std::lock_guard lock(job.mutex);
        job.answer = accept;
        job.answered.notify_all();
    }
}

// ------------------------------------------------------------ session

namespace {

Context contextOf(const GitClient &client)
{
    Context c;
    c.settings = client.settings;
    c.acceptNewHostKey = client.acceptNewHostKey;
    c.keyPaths = SftpClient::DefaultKeyPaths();
    const passwd *pw = getpwuid(getuid());
    c.localUser = pw ? pw->pw_name : "";
    return c;
}

} // namespace

void GitClient::open()
{
    m_open = false;
    m_tip.clear();
    m_pending.clear();
    if (settings.url.empty())
        throw GitError("No repository URL is given");
    if (settings.cacheFolder.empty())
        throw GitError("No folder is given for the local copy of the repository");
    int valid = 0;
    if (git_reference_name_is_valid(&valid, ("refs/heads/" + settings.branch).c_str()) < 0
        || !valid)
        throw GitError("\"" + settings.branch + "\" is not a valid branch name");
    auto job = run([c = contextOf(*this)](GitJob &job) {
        Repository repo;
        openCache(c.settings.cacheFolder, repo);
        Remote remote;
        openRemote(repo.get(), c.settings.url, remote);
        job.tip = fetchTip(job, c, remote.get());
    });
    m_tip = job->tip;
    m_open = true;
}

void GitClient::requireOpen()
{
    if (!m_open)
        open();
}

void GitClient::upload(
    const std::vector<FileUpload> &files, const std::function<void(size_t index)> &staged)
{
    requireOpen();
    std::vector<std::pair<std::string, std::string>> work; // local file, path
    work.reserve(files.size());
    for (const FileUpload &f : files)
        work.emplace_back(f.localPath, repositoryPath(f.remoteName));
    m_staged = staged;
    struct Forget {
        std::function<void(size_t)> &f;
        ~Forget() { f = nullptr; }
    } forget { m_staged };
    run([c = contextOf(*this), work = std::move(work)](GitJob &job) {
        Repository repo;
        openCache(c.settings.cacheFolder, repo);
        Odb odb;
        check(git_repository_odb(odb.out(), repo.get()), "Cannot open the Git cache");
        qint64 total = 0, done = 0;
        for (const auto &[local, path] : work)
            total += QFileInfo(QString::fromStdString(local)).size();
        for (size_t i = 0; i < work.size(); ++i) {
            job.throwIfCancelled();
            const std::string blob = storeBlob(job, odb.get(), work[i].first, done, total);
            std::lock_guard lock(job.mutex);
            job.staged.push_back({ i, work[i].second, blob });
            job.wake();
        }
    });
}

void GitClient::remove(const std::vector<std::string> &paths)
{
    requireOpen();
    for (const std::string &p : paths)
        m_pending[repositoryPath(p)] = std::nullopt;
}

std::string GitClient::finish(const std::string &message)
{
    requireOpen();
    if (m_pending.empty())
        return {};
    auto job = run([c = contextOf(*this), tip = m_tip, changes = m_pending,
                       message = message.empty() ? std::string("Publish") : message](
                       GitJob &job) { commitAndPush(job, c, tip, changes, message); });
    m_tip = job->tip;
    m_pending.clear();
    return job->commit;
}

// ------------------------------------------------- reading the branch

namespace {

struct BranchReader {
    Repository repo;
    Commit commit;
    Tree root;

    BranchReader(const GitSettings &s, const std::string &tip)
    {
        openCache(s.cacheFolder, repo);
        const git_oid id = oidOf(tip);
        check(git_commit_lookup(commit.out(), repo.get(), &id), "Cannot read the commit " + tip);
        check(git_commit_tree(root.out(), commit.get()), "Cannot read the commit " + tip);
    }
    qint64 sizeOf(const git_oid *blob)
    {
        Odb odb;
        size_t length = 0;
        git_object_t type {};
        if (git_repository_odb(odb.out(), repo.get()) < 0
            || git_odb_read_header(&length, &type, odb.get(), blob) < 0)
            throw GitError("Cannot read the Git cache: " + lastGitError());
        return qint64(length);
    }
};

struct Walk {
    BranchReader *reader;
    std::vector<RemoteFile> *out;
};

int walkEntry(const char *root, const git_tree_entry *entry, void *payload)
{
    auto *w = static_cast<Walk *>(payload);
    if (isFileMode(git_tree_entry_filemode(entry)))
        w->out->push_back({ std::string(root) + git_tree_entry_name(entry),
            w->reader->sizeOf(git_tree_entry_id(entry)) });
    return 0;
}

} // namespace

std::vector<RemoteFile> GitClient::list(const std::string &folder, bool recursive)
{
    requireOpen();
    std::vector<RemoteFile> out;
    if (m_tip.empty())
        return out;
    std::string dir = folder;
    while (!dir.empty() && dir.back() == '/')
        dir.pop_back();
    while (!dir.empty() && dir.front() == '/')
        dir.erase(0, 1);
    BranchReader reader(settings, m_tip);
    Tree subtree;
    const git_tree *tree = reader.root.get();
    if (!dir.empty()) {
        TreeEntry entry;
        if (git_tree_entry_bypath(entry.out(), reader.root.get(), repositoryPath(dir).c_str()) != 0
            || git_tree_entry_type(entry.get()) != GIT_OBJECT_TREE)
            return out;
        check(git_tree_lookup(subtree.out(), reader.repo.get(), git_tree_entry_id(entry.get())),
            "Cannot read the folder " + dir);
        tree = subtree.get();
    }
    if (recursive) {
        Walk walk { &reader, &out };
        check(git_tree_walk(tree, GIT_TREEWALK_PRE, walkEntry, &walk),
            "Cannot read the folder " + dir);
    } else {
        for (size_t i = 0; i < git_tree_entrycount(tree); ++i) {
            const git_tree_entry *e = git_tree_entry_byindex(tree, i);
            if (isFileMode(git_tree_entry_filemode(e)))
                out.push_back({ git_tree_entry_name(e), reader.sizeOf(git_tree_entry_id(e)) });
        }
    }
    return out;
}

qint64 GitClient::size(const std::string &path)
{
    requireOpen();
    if (m_tip.empty())
        return -1;
    BranchReader reader(settings, m_tip);
    TreeEntry entry;
    if (git_tree_entry_bypath(entry.out(), reader.root.get(), repositoryPath(path).c_str()) != 0
        || !isFileMode(git_tree_entry_filemode(entry.get())))
        return -1;
    return reader.sizeOf(git_tree_entry_id(entry.get()));
}

void GitClient::download(const std::string &path, const std::string &localPath)
{
    requireOpen();
    const std::string inRepo = repositoryPath(path);
    if (m_tip.empty())
        throw GitError("The branch " + settings.branch + " of " + settings.url + " does not exist");
    BranchReader reader(settings, m_tip);
    TreeEntry entry;
    if (git_tree_entry_bypath(entry.out(), reader.root.get(), inRepo.c_str()) != 0
        || !isFileMode(git_tree_entry_filemode(entry.get())))
        throw GitError(
            "The branch " + settings.branch + " of " + settings.url + " has no file " + inRepo);
    Blob blob;
    check(git_blob_lookup(blob.out(), reader.repo.get(), git_tree_entry_id(entry.get())),
        "Cannot read " + inRepo + " from the Git cache");
    ReplacingFile file(localPath);
    if (!file.open())
        throw LocalFileError(msgCannotCreateFile(localPath));
    const qint64 length = qint64(git_blob_rawsize(blob.get()));
    if (file.device().write(static_cast<const char *>(git_blob_rawcontent(blob.get())), length)
            != length
        || !file.commit())
        throw LocalFileError(msgUnableToWrite(localPath));
}

} // namespace tl
