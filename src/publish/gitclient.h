#pragma once
// A client that publishes files as commits on a branch of a Git repository
// (the branch a Pages service serves), with libgit2.
#include "core/errors.h"
#include "publish/remotefiles.h"
#include "publish/sftpclient.h" // HostKeyInfo

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tl {

struct GitJob; // what a worker thread and the waiting caller share

// The repository, the server or the local cache refused something; the
// message says what and why.
class GitError : public AppError {
public:
    using AppError::AppError;
};

struct GitSettings {
    // "git@host:owner/repo.git" or "ssh://[user@]host[:port]/path" (SSH),
    // "https://host/owner/repo.git", "file:///path/repo.git".
    std::string url;
    std::string branch = "gh-pages";
    // The commit's author and committer, UTF-8. Empty: "Tarvel Lite" and
    // "tarvlit@localhost".
    std::string authorName;
    std::string authorEmail;
    // HTTPS: the access token (the password of the login); its user name is
    // the URL's, else "x-access-token". Not used over SSH.
    std::string token;
    // The folder of the local bare repository that keeps what was fetched
    // (made when missing), so a publish fetches only what is new.
    std::string cacheFolder;
};

// One session with a branch. open() fetches the branch into the local cache
// repository; upload() and remove() collect changes; finish() makes ONE
// commit of them on top of the fetched tip and pushes it. The commit changes
// exactly the paths given: every other file of the branch stays as it is. A
// branch the remote does not have yet is made as a commit without parent.
// The push is never forced: when the remote's branch moved since the fetch,
// it is fetched again, the same changes are made on the new tip and pushed
// once more; a second refusal fails with a message that says so.
//
// libgit2's calls block, so the work of open(), upload() and finish() runs
// on a worker thread while the caller's thread waits in its event loop
// (processEvents), where the events below are delivered and where Cancel,
// pressed in a window, ends the wait at once. The worker then stops at its
// next progress callback; a later operation first waits for it to end.
// Reading the fetched branch (list, size, download) is local and runs on
// the caller's thread.
//
// Over SSH the keys are those of SftpClient: the SSH agent, then
// ~/.ssh/id_* without a passphrase; host keys are checked against
// ~/.ssh/known_hosts with the same question for a new key.
class GitClient {
public:
    GitClient();
    ~GitClient();
    GitClient(const GitClient &) = delete;
    GitClient &operator=(const GitClient &) = delete;

    // ---- settings (read by open) ----
    GitSettings settings;
    // Record an unknown host key without asking. A changed key is refused
    // all the same.
    bool acceptNewHostKey = false;

    // ---- events (on the caller's thread) ----
    // A host key not seen before: true accepts (and records) it.
    // Unassigned: refused, unless acceptNewHostKey.
    std::function<bool(const HostKeyInfo &key)> onUnknownHostKey;
    // Bytes moved by the running operation: files read into the cache
    // (total: their sizes), then bytes fetched or pushed (total 0: unknown).
    std::function<void(qint64 done, qint64 total)> onProgress;
    // A line for the user's log: new host keys, a push tried again.
    std::function<void(const std::string &line)> onLog;

    // ---- session ----
    // Fetches the branch into the cache and forgets changes not pushed.
    void open();
    // Forgets the fetched tip and the changes not pushed.
    void close();
    // Ends the running operation at once with EAbortError; outside one,
    // nothing.
    void cancel();
    bool isOpen() const { return m_open; }
    // After open(): whether the remote has the branch, and the id (40 hex
    // digits) of its commit ("" when it has none).
    bool branchExists() const { return !m_tip.empty(); }
    const std::string &tip() const { return m_tip; }

    // ---- changes (nothing leaves the machine before finish) ----
    // Reads the files into the cache as the contents of their paths in the
    // repository ("www/index.html"; a leading "/" is ignored). `staged`
    // gets the index of each file read; the remote has it once finish()
    // returns. A local file that cannot be read throws LocalFileError.
    void upload(
        const std::vector<FileUpload> &files, const std::function<void(size_t index)> &staged = {});
    // Paths to remove from the branch; a path the branch lacks is fine.
    void remove(const std::vector<std::string> &paths);
    // Changes collected and not pushed yet.
    size_t pendingChanges() const { return m_pending.size(); }
    // Commits the changes on the branch and pushes the commit. Returns its
    // id, or "" when the changes leave the branch as it was (nothing is
    // pushed then).
    std::string finish(const std::string &message);

    // ---- the branch as fetched (opens first when not open) ----
    // Files below a folder of the repository ("" or "/": its root), with
    // names relative to it, in path order; recursive lists every level.
    std::vector<RemoteFile> list(const std::string &folder, bool recursive);
    // Size of a file on the branch, -1 when it has none of that path.
    qint64 size(const std::string &path);
    // Writes a file of the branch into a new local file that replaces
    // `localPath` only when complete.
    void download(const std::string &path, const std::string &localPath);

    // The path in the repository of a remote name: no leading "/", no empty,
    // "." or ".." part and no ".git" part; throws GitError otherwise.
    static std::string repositoryPath(const std::string &name);

private:
    class BusyScope;
    using Work = std::function<void(GitJob &job)>;

    std::shared_ptr<GitJob> run(Work work);
    void waitFor(GitJob &job, bool deliverEvents);
    void deliver(GitJob &job);
    void requireOpen();

    bool m_open = false;
    std::string m_tip;
    // path in the repository -> blob id (40 hex digits), or none: remove
    std::map<std::string, std::optional<std::string>> m_pending;
    std::shared_ptr<GitJob> m_job; // the last worker's state, while it may run
    std::function<void(size_t index)> m_staged; // upload()'s callback, while it runs
    bool m_busy = false;
    bool m_cancel = false;
};

} // namespace tl
