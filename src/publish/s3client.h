#pragma once
// A client of S3-compatible object storage (Amazon S3, Cloudflare R2,
// Backblaze B2, MinIO) over HTTPS or HTTP with libcurl, which signs every
// request with AWS Signature Version 4.
#include "core/errors.h"
#include "publish/remotefiles.h"

#include <QUrl>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tl {

// The server refused a request. The message is the user's; status and code
// are the HTTP status and the S3 error code ("NoSuchBucket"), when there
// was an answer.
class S3Error : public AppError {
public:
    S3Error(const std::string &message, long status = 0, std::string code = {})
        : AppError(message)
        , m_status(status)
        , m_code(std::move(code))
    {
    }
    long status() const { return m_status; }
    const std::string &code() const { return m_code; }

private:
    long m_status;
    std::string m_code;
};

struct S3Settings {
    // "https://s3.eu-central-1.amazonaws.com", "http://127.0.0.1:9000"; a URL
    // without a scheme is taken as https.
    std::string endpoint;
    std::string region = "us-east-1";
    std::string bucket;
    // Prepended to every remote name: "" is the bucket's root; "site" and
    // "/site/" both put the files below "site/".
    std::string keyPrefix;
    std::string accessKeyId;
    std::string secret;
    // Path-style puts the bucket into the path (endpoint/bucket/key),
    // virtual-hosted into the host name (bucket.endpoint/key). Auto chooses
    // virtual-hosted for Amazon's endpoints (*.amazonaws.com), which are
    // phasing path-style out, and path-style for every other server, where
    // it is the form that always works.
    enum class Addressing { Auto, Path, VirtualHosted } addressing = Addressing::Auto;
};

// One session with a bucket. Every operation returns when it is done. It
// runs on the caller's thread: while it waits, it alternates between curl's
// sockets (curl_multi_poll, at most 2 ms at a time, ending at once when a
// socket is ready) and the caller's event loop (processEvents), so a window
// stays responsive and Cancel, pressed in it, ends the operation at once.
//
// Uploads keep several requests in flight over a few connections, which is
// what makes sending thousands of small files fast. A request the server
// answers with 5xx, or with 503 SlowDown (throttling), or that the network
// drops, is tried again after a growing pause; any other refusal ends the
// operation with a message that names the cause.
class S3Client {
public:
    S3Client();
    ~S3Client();
    S3Client(const S3Client &) = delete;
    S3Client &operator=(const S3Client &) = delete;

    // ---- settings (read by every operation) ----
    S3Settings settings;
    // The charset of HTML and text files, for their Content-Type.
    std::string textCharset = "windows-1250";
    // The Content-Type of a remote name. Unassigned: contentTypeFor(name, textCharset).
    std::function<std::string(const std::string &remoteName)> contentTypeOf;
    // Requests kept in flight at once (each on a connection of its own).
    int connections = 8;
    // Tries of a request before its failure stands, and the pause before
    // the first retry (doubled for each further one, at most 10 s).
    int maxAttempts = 5;
    int retryPauseMs = 200;
    // A request that moves no byte for this long fails (and is retried).
    int noDataTimeoutMs = 60000;

    // ---- events ----
    // Bytes moved by the running operation, of all it will move (0: not
    // known yet).
    std::function<void(qint64 done, qint64 total)> onProgress;
    // A line for the user's log: retries and what caused them.
    std::function<void(const std::string &line)> onLog;

    // ---- session ----
    // Checks the endpoint, the bucket and the credentials with one listing
    // request, so a wrong setting fails before anything is sent. Every
    // operation also works without it.
    void open();
    // Closes the connections. The settings stay.
    void close();
    // Ends the running operation at once with EAbortError; outside one,
    // nothing. The next operation starts afresh.
    void cancel();

    // ---- operations ----
    // PUTs every file, several at once. `confirmed` gets the index in
    // `files` of each file the server has stored, as it is stored (not in
    // order). A failure throws after the files confirmed so far; a local
    // file that cannot be read throws LocalFileError.
    void upload(const std::vector<FileUpload> &files,
        const std::function<void(size_t index)> &confirmed = {});
    // DELETEs every name, several at once; a name the bucket lacks is fine.
    void remove(const std::vector<std::string> &names);
    // The files below a folder ("" or "/": the prefix's root), with names
    // relative to it, in key order; recursive lists every level below, else
    // only the folder's own files.
    std::vector<RemoteFile> list(const std::string &folder, bool recursive);
    // Size of a remote name, -1 when the bucket has no such object (HEAD).
    qint64 size(const std::string &remoteName);
    // GETs a remote name into a new local file that replaces `localPath`
    // only once every byte has arrived.
    void download(const std::string &remoteName, const std::string &localPath);

    // ---- helpers ----
    // Content-Type by the name's extension: HTML and text with the given
    // charset, XML (the feed), CSS, scripts, images and fonts by their type,
    // anything else application/octet-stream.
    static std::string contentTypeFor(const std::string &name, const std::string &textCharset);
    // The object key of a remote name (key prefix + name).
    std::string keyOf(const std::string &remoteName) const;
    // The URL of an object key as this client addresses it.
    std::string urlOf(const std::string &key) const;

private:
    struct Request;
    struct Engine;
    class BusyScope;

    void run(std::vector<std::unique_ptr<Request>> &requests);
    std::unique_ptr<Request> makeRequest(const char *method, const std::string &key);
    QUrl endpointUrl() const;
    bool virtualHosted() const;
    std::string bucketUrl() const;
    std::string listingUrl(const std::string &query) const;
    std::string endpointLabel() const;
    [[noreturn]] void fail(const Request &r) const;
    void log(const std::string &line);

    std::unique_ptr<Engine> m_engine;
    bool m_cancel = false;
    bool m_busy = false;
    bool m_closeRequested = false; // close() came during an operation
};

} // namespace tl
