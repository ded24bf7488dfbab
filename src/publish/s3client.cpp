#include "publish/s3client.h"
#include "publish/ftpsocket.h" // EAbortError
#include "publish/replacingfile.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QUrl>
#include <QXmlStreamReader>
#include <algorithm>
#include <deque>
#include <map>

#include <curl/curl.h>

namespace tl {

namespace {

// SHA-256 of no bytes: the payload hash of every request without a body.
const char *const kEmptyPayloadSha256
    = "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";
// Of an answer that is not kept (an error's text), this much is kept.
constexpr qsizetype kMaxErrorBody = 64 * 1024;
// Files from this size on are sent after the server agreed to take them.
constexpr qint64 kExpectContinueFrom = 1024 * 1024;
// Keys per listing page (the most S3 gives).
constexpr int kListPage = 1000;
// Longest pause between two tries of a request, and the longest
// Retry-After of a server that is followed.
constexpr qint64 kMaxPauseMs = 10000;
constexpr qint64 kMaxRetryAfterMs = 30000;

void initCurlOnce()
{
    static const bool done = [] {
        curl_global_init(CURL_GLOBAL_DEFAULT);
        return true;
    }();
    (void)done;
}

// Percent-encoding as SigV4 wants it: the unreserved characters stay, every
// other byte becomes %XX (upper case); '/' stays in a path.
std::string uriEncode(const std::string &s, bool keepSlash)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(s.size());
    for (unsigned char c : s) {
        const bool unreserved = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')
            || (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.' || c == '~';
        if (unreserved || (keepSlash && c == '/')) {
            out += char(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

std::string withoutLeadingSlashes(const std::string &s)
{
    size_t i = 0;
    while (i < s.size() && s[i] == '/')
        ++i;
    return s.substr(i);
}

bool endsWith(const std::string &s, const std::string &tail)
{
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

std::string lowerExtension(const std::string &name)
{
    const size_t slash = name.rfind('/');
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return {};
    std::string ext = name.substr(dot + 1);
    for (char &c : ext)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return ext;
}

// The fields of an S3 error document (<Error><Code>..</Code>
// <Message>..</Message>...</Error>) by name.
std::map<std::string, std::string> errorFields(const QByteArray &body)
{
    std::map<std::string, std::string> out;
    QXmlStreamReader xml(body);
    if (xml.readNextStartElement() && xml.name() == QLatin1String("Error"))
        while (xml.readNextStartElement())
            out[xml.name().toString().toStdString()]
                = xml.readElementText(QXmlStreamReader::SkipChildElements).toStdString();
    return out;
}

bool retryableCurlError(CURLcode code)
{
    switch (code) {
    case CURLE_COULDNT_CONNECT:
    case CURLE_OPERATION_TIMEDOUT:
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_GOT_NOTHING:
    case CURLE_PARTIAL_FILE:
    case CURLE_HTTP2:
    case CURLE_HTTP2_STREAM:
    case CURLE_SSL_CONNECT_ERROR:
        return true;
    default:
        return false;
    }
}

} // namespace

// ----------------------------------------------------------------- request

// One HTTP request and what came back; tried again from scratch after a
// retryable failure.
struct S3Client::Request {
    std::string method;
    std::string url;
    std::string what; // for messages: "upload of www/index.html"
    std::vector<std::string> headers;
    std::string payloadSha256 = kEmptyPayloadSha256;
    std::function<void()> onDone; // the request succeeded
    bool missingIsFine = false; // a 404 without NoSuchBucket is an answer (HEAD, DELETE)
    bool keepBody = false; // the answer's text is wanted (listing)

    // PUT: the file sent
    QString sourcePath;
    std::unique_ptr<QFile> source;
    qint64 sourceSize = 0;
    bool readFailed = false;

    // GET into a file
    std::string targetPath;
    std::unique_ptr<ReplacingFile> target;
    bool writeFailed = false;

    // the running try
    CURL *easy = nullptr;
    curl_slist *headerList = nullptr;
    char errorText[CURL_ERROR_SIZE] = {};
    int attempts = 0;
    qint64 startAfterMs = 0;
    qint64 moved = 0; // bytes of this try
    qint64 expected = 0; // bytes this request moves when done (0: not known)

    // the answer
    CURLcode result = CURLE_OK;
    long status = 0;
    QByteArray body;
    qint64 contentLength = -1;
    qint64 retryAfterMs = 0;

    ~Request() { release(); }

    void release()
    {
        if (easy)
            curl_easy_cleanup(easy);
        easy = nullptr;
        if (headerList)
            curl_slist_free_all(headerList);
        headerList = nullptr;
        source.reset();
    }

    std::string code() const
    {
        const auto fields = errorFields(body);
        const auto it = fields.find("Code");
        return it == fields.end() ? std::string() : it->second;
    }

    static size_t onWrite(char *data, size_t size, size_t count, void *self)
    {
        auto *r = static_cast<Request *>(self);
        const size_t n = size * count;
        long status = 0;
        curl_easy_getinfo(r->easy, CURLINFO_RESPONSE_CODE, &status);
        if (r->target && status >= 200 && status < 300) {
            if (r->target->device().write(data, qint64(n)) != qint64(n)) {
                r->writeFailed = true;
                return 0; // curl ends the transfer with CURLE_WRITE_ERROR
            }
            return n;
        }
        if (r->keepBody || r->body.size() < kMaxErrorBody)
            r->body.append(data, qsizetype(n));
        return n;
    }

    static size_t onRead(char *buffer, size_t size, size_t count, void *self)
    {
        auto *r = static_cast<Request *>(self);
        const qint64 n = r->source->read(buffer, qint64(size * count));
        if (n < 0) {
            r->readFailed = true;
            return CURL_READFUNC_ABORT;
        }
        return size_t(n);
    }

    static int onSeek(void *self, curl_off_t offset, int origin)
    {
        auto *r = static_cast<Request *>(self);
        if (origin != SEEK_SET || !r->source->seek(qint64(offset)))
            return CURL_SEEKFUNC_CANTSEEK;
        return CURL_SEEKFUNC_OK;
    }

    static int onProgress(
        void *self, curl_off_t dlTotal, curl_off_t dlNow, curl_off_t, curl_off_t ulNow)
    {
        auto *r = static_cast<Request *>(self);
        if (r->source) {
            r->moved = qint64(ulNow);
        } else if (r->target) {
            r->moved = qint64(dlNow);
            if (dlTotal > 0)
                r->expected = qint64(dlTotal);
        }
        return 0;
    }
};

struct S3Client::Engine {
    CURLM *multi = nullptr;

    explicit Engine(int connections)
    {
        initCurlOnce();
        multi = curl_multi_init();
        curl_multi_setopt(multi, CURLMOPT_MAX_HOST_CONNECTIONS, long(connections));
        curl_multi_setopt(multi, CURLMOPT_MAXCONNECTS, long(connections + 2));
    }
    ~Engine() { curl_multi_cleanup(multi); }
};

class S3Client::BusyScope {
public:
    explicit BusyScope(S3Client &c)
        : m_c(c)
    {
        if (m_c.m_busy)
            throw AppError("The S3 connection is busy with another transfer");
        m_c.m_busy = true;
        m_c.m_cancel = false;
    }
    ~BusyScope()
    {
        m_c.m_busy = false;
        m_c.m_cancel = false;
        if (m_c.m_closeRequested) {
            m_c.m_closeRequested = false;
            m_c.m_engine.reset();
        }
    }

private:
    S3Client &m_c;
};

// ----------------------------------------------------------------- client

S3Client::S3Client() = default;

S3Client::~S3Client() = default;

void S3Client::log(const std::string &line)
{
    if (onLog)
        onLog(line);
}

void S3Client::cancel()
{
    if (m_busy)
        m_cancel = true;
}

void S3Client::close()
{
    if (m_busy) {
        // Inside a wait: the operation ends, then the connections close.
        m_cancel = true;
        m_closeRequested = true;
        return;
    }
    m_engine.reset();
}

std::string S3Client::contentTypeFor(const std::string &name, const std::string &textCharset)
{
    const std::string ext = lowerExtension(name);
    const std::string charset = textCharset.empty() ? std::string() : "; charset=" + textCharset;
    static const std::map<std::string, std::string> types = {
        { "css", "text/css" },
        { "js", "text/javascript" },
        { "mjs", "text/javascript" },
        { "json", "application/json" },
        { "xml", "application/xml" },
        { "rss", "application/rss+xml" },
        { "atom", "application/atom+xml" },
        { "png", "image/png" },
        { "jpg", "image/jpeg" },
        { "jpeg", "image/jpeg" },
        { "gif", "image/gif" },
        { "webp", "image/webp" },
        { "avif", "image/avif" },
        { "svg", "image/svg+xml" },
        { "ico", "image/x-icon" },
        { "bmp", "image/bmp" },
        { "pdf", "application/pdf" },
        { "woff", "font/woff" },
        { "woff2", "font/woff2" },
        { "ttf", "font/ttf" },
        { "mp3", "audio/mpeg" },
        { "mp4", "video/mp4" },
        { "zip", "application/zip" },
    };
    if (ext == "html" || ext == "htm")
        return "text/html" + charset;
    if (ext == "txt")
        return "text/plain" + charset;
    const auto it = types.find(ext);
    return it == types.end() ? std::string("application/octet-stream") : it->second;
}

std::string S3Client::keyOf(const std::string &remoteName) const
{
    std::string prefix = withoutLeadingSlashes(settings.keyPrefix);
    if (!prefix.empty() && prefix.back() != '/')
        prefix += '/';
    return prefix + withoutLeadingSlashes(remoteName);
}

QUrl S3Client::endpointUrl() const
{
    std::string endpoint = settings.endpoint;
    if (endpoint.find("://") == std::string::npos)
        endpoint = "https://" + endpoint;
    return QUrl(QString::fromStdString(endpoint));
}

bool S3Client::virtualHosted() const
{
    if (settings.addressing != S3Settings::Addressing::Auto)
        return settings.addressing == S3Settings::Addressing::VirtualHosted;
    // A bucket name with dots would not match the server's certificate as a
    // part of the host name.
    return endsWith(endpointUrl().host().toStdString(), "amazonaws.com")
        && settings.bucket.find('.') == std::string::npos;
}

std::string S3Client::bucketUrl() const
{
    const QUrl url = endpointUrl();
    const std::string host = url.host().toStdString();
    const bool virtualHosted = this->virtualHosted();
    std::string out = url.scheme().toStdString() + "://";
    if (virtualHosted)
        out += settings.bucket + ".";
    out += host.find(':') != std::string::npos ? "[" + host + "]" : host;
    if (url.port() > 0)
        out += ":" + std::to_string(url.port());
    std::string path = url.path(QUrl::FullyEncoded).toStdString();
    while (!path.empty() && path.back() == '/')
        path.pop_back();
    out += path;
    if (!virtualHosted)
        out += "/" + uriEncode(settings.bucket, false);
    return out;
}

std::string S3Client::urlOf(const std::string &key) const
{
    return bucketUrl() + "/" + uriEncode(key, true);
}

std::string S3Client::listingUrl(const std::string &query) const
{
    // Path-style: the bucket's own path ("/bucket?..."; "/bucket/" is signed
    // as another path by some servers); virtual-hosted: the root.
    return bucketUrl() + (virtualHosted() ? "/?" : "?") + query;
}

std::string S3Client::endpointLabel() const
{
    std::string e = settings.endpoint;
    while (!e.empty() && e.back() == '/')
        e.pop_back();
    return e;
}

std::unique_ptr<S3Client::Request> S3Client::makeRequest(const char *method, const std::string &key)
{
    auto r = std::make_unique<Request>();
    r->method = method;
    r->url = urlOf(key);
    return r;
}

// --------------------------------------------------------------- running

void S3Client::run(std::vector<std::unique_ptr<Request>> &requests)
{
    BusyScope busy(*this);
    if (!m_engine)
        m_engine = std::make_unique<Engine>(std::max(1, connections));
    CURLM *multi = m_engine->multi;
    const std::string signing = "aws:amz:" + settings.region + ":s3";

    std::deque<Request *> waiting;
    for (auto &r : requests)
        waiting.push_back(r.get());
    std::map<CURL *, Request *> active;
    // However the loop ends, no transfer stays in the multi handle.
    struct Detach {
        CURLM *multi;
        std::map<CURL *, Request *> &active;
        ~Detach()
        {
            for (auto &[easy, r] : active) {
                curl_multi_remove_handle(multi, easy);
                r->release();
                r->target.reset();
            }
        }
    } detach { multi, active };

    auto start = [&](Request *r) {
        ++r->attempts;
        r->moved = 0;
        r->status = 0;
        r->body.clear();
        r->readFailed = r->writeFailed = false;
        r->errorText[0] = 0;
        CURL *e = curl_easy_init();
        if (!e)
            throw AppError("Cannot start an HTTP request (out of memory)");
        r->easy = e;
        std::vector<std::string> headers = r->headers;
        if (!r->sourcePath.isEmpty()) {
            r->source = std::make_unique<QFile>(r->sourcePath);
            if (!r->source->open(QIODevice::ReadOnly))
                throw LocalFileError(msgCannotOpenFile(r->sourcePath.toStdString()));
            if (r->attempts == 1) {
                QCryptographicHash sha(QCryptographicHash::Sha256);
                if (!sha.addData(r->source.get()) || !r->source->seek(0))
                    throw LocalFileError(msgCannotOpenFile(r->sourcePath.toStdString()));
                r->payloadSha256 = sha.result().toHex().toStdString();
                r->sourceSize = r->source->size();
            }
            curl_easy_setopt(e, CURLOPT_UPLOAD, 1L);
            curl_easy_setopt(e, CURLOPT_READFUNCTION, &Request::onRead);
            curl_easy_setopt(e, CURLOPT_READDATA, r);
            curl_easy_setopt(e, CURLOPT_SEEKFUNCTION, &Request::onSeek);
            curl_easy_setopt(e, CURLOPT_SEEKDATA, r);
            curl_easy_setopt(e, CURLOPT_INFILESIZE_LARGE, curl_off_t(r->sourceSize));
            // A small file goes at once; a big one waits for the server's
            // "100 Continue", so a refusal costs no upload. (Removing the
            // Expect header instead would break the signature: curl signs
            // the removal as an empty header.)
            if (r->sourceSize < kExpectContinueFrom)
                curl_easy_setopt(e, CURLOPT_EXPECT_100_TIMEOUT_MS, 0L);
        }
        if (!r->targetPath.empty()) {
            r->target = std::make_unique<ReplacingFile>(r->targetPath);
            if (!r->target->open())
                throw LocalFileError(msgCannotCreateFile(r->targetPath));
        }
        headers.push_back("x-amz-content-sha256: " + r->payloadSha256);
        for (const std::string &h : headers)
            r->headerList = curl_slist_append(r->headerList, h.c_str());
        if (r->method == "HEAD")
            curl_easy_setopt(e, CURLOPT_NOBODY, 1L);
        else if (r->method == "DELETE")
            curl_easy_setopt(e, CURLOPT_CUSTOMREQUEST, "DELETE");
        curl_easy_setopt(e, CURLOPT_URL, r->url.c_str());
        curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(e, CURLOPT_PATH_AS_IS, 1L);
        curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(e, CURLOPT_AWS_SIGV4, signing.c_str());
        curl_easy_setopt(e, CURLOPT_USERNAME, settings.accessKeyId.c_str());
        curl_easy_setopt(e, CURLOPT_PASSWORD, settings.secret.c_str());
        curl_easy_setopt(e, CURLOPT_HTTPHEADER, r->headerList);
        curl_easy_setopt(e, CURLOPT_USERAGENT, "tarvlit");
        curl_easy_setopt(e, CURLOPT_ERRORBUFFER, r->errorText);
        curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &Request::onWrite);
        curl_easy_setopt(e, CURLOPT_WRITEDATA, r);
        curl_easy_setopt(e, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(e, CURLOPT_XFERINFOFUNCTION, &Request::onProgress);
        curl_easy_setopt(e, CURLOPT_XFERINFODATA, r);
        curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, long(std::max(1000, noDataTimeoutMs)));
        curl_easy_setopt(e, CURLOPT_LOW_SPEED_LIMIT, 1L);
        curl_easy_setopt(e, CURLOPT_LOW_SPEED_TIME, long(std::max(1, noDataTimeoutMs / 1000)));
        if (curl_multi_add_handle(multi, e) != CURLM_OK)
            throw AppError("Cannot start an HTTP request");
        active[e] = r;
    };

    // Whether a finished try stands (true), is to be repeated (false), or
    // fails the operation (throws).
    auto judge = [&](Request *r) {
        if (r->readFailed)
            throw LocalFileError(msgCannotOpenFile(r->sourcePath.toStdString()));
        if (r->writeFailed)
            throw LocalFileError(msgUnableToWrite(r->targetPath));
        bool retry = false;
        if (r->result != CURLE_OK) {
            retry = retryableCurlError(r->result);
        } else if (r->status >= 200 && r->status < 300) {
            return true;
        } else if (r->missingIsFine && r->status == 404 && r->code() != "NoSuchBucket") {
            return true;
        } else {
            const std::string code = r->code();
            retry = r->status >= 500 || r->status == 429 || code == "SlowDown"
                || code == "RequestTimeout";
        }
        if (!retry || r->attempts >= std::max(1, maxAttempts))
            fail(*r);
        qint64 pause
            = std::min<qint64>(qint64(retryPauseMs) << std::min(r->attempts - 1, 16), kMaxPauseMs);
        pause = pause * (75 + qint64(QRandomGenerator::global()->bounded(50))) / 100; // spread
        if (r->retryAfterMs > 0)
            pause = std::min(r->retryAfterMs, kMaxRetryAfterMs);
        const std::string cause = r->result != CURLE_OK
            ? std::string(r->errorText[0] ? r->errorText : curl_easy_strerror(r->result))
            : "HTTP " + std::to_string(r->status)
                + (r->code().empty() ? std::string() : " " + r->code());
        log("The " + r->what + " is tried again in " + std::to_string(pause) + " ms (" + cause
            + ")");
        r->startAfterMs = pause;
        return false;
    };

    QElapsedTimer clock;
    clock.start();
    // Bytes of the requests that are done, and of all: a download's size
    // becomes known while it runs.
    qint64 finishedBytes = 0, knownTotal = 0;
    for (const auto &r : requests)
        if (r->targetPath.empty())
            knownTotal += r->expected;
    qint64 lastDone = -1, lastTotal = -1;
    while (!waiting.empty() || !active.empty()) {
        if (m_cancel)
            throw EAbortError(kMsgTransferCancelled);
        const int lanes = std::max(1, connections);
        for (auto it = waiting.begin(); it != waiting.end() && int(active.size()) < lanes;) {
            if ((*it)->startAfterMs > clock.elapsed()) {
                ++it;
                continue;
            }
            Request *r = *it;
            it = waiting.erase(it);
            start(r);
        }
        int running = 0;
        curl_multi_perform(multi, &running);
        int left = 0;
        while (CURLMsg *msg = curl_multi_info_read(multi, &left)) {
            if (msg->msg != CURLMSG_DONE)
                continue;
            CURL *e = msg->easy_handle;
            const auto found = active.find(e);
            if (found == active.end())
                continue;
            Request *r = found->second;
            active.erase(found);
            r->result = msg->data.result;
            curl_easy_getinfo(e, CURLINFO_RESPONSE_CODE, &r->status);
            curl_off_t length = -1, retryAfter = 0;
            curl_easy_getinfo(e, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
            curl_easy_getinfo(e, CURLINFO_RETRY_AFTER, &retryAfter);
            r->contentLength = qint64(length);
            r->retryAfterMs = qint64(retryAfter) * 1000;
            curl_multi_remove_handle(multi, e);
            r->release();
            if (judge(r)) {
                if (r->target && !r->target->commit())
                    throw LocalFileError(msgUnableToWrite(r->targetPath));
                r->target.reset();
                finishedBytes += r->expected;
                if (!r->targetPath.empty())
                    knownTotal += r->expected;
                if (r->onDone)
                    r->onDone();
            } else {
                r->target.reset();
                r->startAfterMs += clock.elapsed();
                waiting.push_back(r);
            }
        }
        if (onProgress) {
            qint64 done = finishedBytes, total = knownTotal;
            for (const auto &[easy, r] : active) {
                done += r->moved;
                if (!r->targetPath.empty())
                    total += r->expected;
            }
            if ((done != lastDone || total != lastTotal) && (total > 0 || done > 0)) {
                lastDone = done;
                lastTotal = total;
                onProgress(done, total);
            }
        }
        if (waiting.empty() && active.empty())
            break;
        // Sleep until a socket of curl's is ready, a window event can be
        // seen to within 2 ms.
        curl_multi_poll(multi, nullptr, 0, 2, nullptr);
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
}

void S3Client::fail(const Request &r) const
{
    const std::string where = "The S3 server at " + endpointLabel();
    const std::string tries
        = r.attempts > 1 ? " (after " + std::to_string(r.attempts) + " tries)" : std::string();
    if (r.result != CURLE_OK)
        throw S3Error("Cannot reach the S3 server at " + endpointLabel() + " for the " + r.what
            + ": " + (r.errorText[0] ? r.errorText : curl_easy_strerror(r.result)) + tries);
    const auto fields = errorFields(r.body);
    auto field = [&](const char *name) {
        const auto it = fields.find(name);
        return it == fields.end() ? std::string() : it->second;
    };
    const std::string code = field("Code");
    const std::string text = field("Message");
    const std::string key = "\"" + settings.accessKeyId + "\"";
    const std::string answer = std::to_string(r.status) + (code.empty() ? "" : " " + code);
    if (r.status == 403) {
        if (code == "InvalidAccessKeyId")
            throw S3Error(where + " does not know the access key ID " + key + " (" + answer
                    + "): check the access key ID.",
                r.status, code);
        if (code == "SignatureDoesNotMatch")
            throw S3Error(where + " refused the signature of the " + r.what + " (" + answer
                    + "): the secret access key is wrong for the access key ID " + key
                    + "; check the secret.",
                r.status, code);
        if (code == "RequestTimeTooSkewed")
            throw S3Error(where + " refused the " + r.what
                    + " because this computer's clock differs too much from the server's (" + answer
                    + "): set the computer's clock right.",
                r.status, code);
        if (code.empty())
            throw S3Error(where + " refused the " + r.what + " (" + answer
                    + " Forbidden): check the access key ID, the secret and the computer's "
                      "clock.",
                r.status, code);
        throw S3Error(where + " denied the " + r.what + " (" + answer
                + (text.empty() ? "" : ": " + text) + "): the access key ID " + key
                + " has no permission for it in the bucket \"" + settings.bucket + "\".",
            r.status, code);
    }
    if (code == "NoSuchBucket")
        throw S3Error("The bucket \"" + settings.bucket + "\" does not exist at " + endpointLabel()
                + " (" + answer + ").",
            r.status, code);
    throw S3Error(where + " refused the " + r.what + " (" + answer
            + (text.empty() ? "" : ": " + text) + ")" + tries + ".",
        r.status, code);
}

// ------------------------------------------------------------ operations

void S3Client::open()
{
    std::string prefix = keyOf("");
    auto r = makeRequest("GET", "");
    r->url = listingUrl("list-type=2&max-keys=1"
        + (prefix.empty() ? std::string() : "&prefix=" + uriEncode(prefix, false)));
    r->what = "listing of the bucket \"" + settings.bucket + "\"";
    r->keepBody = true;
    std::vector<std::unique_ptr<Request>> one;
    one.push_back(std::move(r));
    run(one);
}

void S3Client::upload(
    const std::vector<FileUpload> &files, const std::function<void(size_t index)> &confirmed)
{
    std::vector<std::unique_ptr<Request>> requests;
    requests.reserve(files.size());
    for (size_t i = 0; i < files.size(); ++i) {
        const FileUpload &f = files[i];
        auto r = makeRequest("PUT", keyOf(f.remoteName));
        r->what = "upload of " + f.remoteName;
        r->sourcePath = QString::fromStdString(f.localPath);
        r->headers.push_back("Content-Type: "
            + (contentTypeOf ? contentTypeOf(f.remoteName)
                             : contentTypeFor(f.remoteName, textCharset)));
        if (confirmed)
            r->onDone = [&confirmed, i] { confirmed(i); };
        // The sizes are known before the first byte moves, for the progress.
        r->expected = QFileInfo(r->sourcePath).size();
        requests.push_back(std::move(r));
    }
    run(requests);
}

void S3Client::remove(const std::vector<std::string> &names)
{
    std::vector<std::unique_ptr<Request>> requests;
    for (const std::string &name : names) {
        auto r = makeRequest("DELETE", keyOf(name));
        r->what = "removal of " + name;
        r->missingIsFine = true;
        requests.push_back(std::move(r));
    }
    run(requests);
}

std::vector<RemoteFile> S3Client::list(const std::string &folder, bool recursive)
{
    std::string prefix = keyOf(folder);
    if (!prefix.empty() && prefix.back() != '/')
        prefix += '/';
    std::vector<RemoteFile> out;
    std::string token;
    do {
        // The query's parameters in the order SigV4 signs them (by name).
        std::string query;
        if (!token.empty())
            query += "continuation-token=" + uriEncode(token, false) + "&";
        if (!recursive)
            query += "delimiter=%2F&";
        query += "list-type=2&max-keys=" + std::to_string(kListPage);
        if (!prefix.empty())
            query += "&prefix=" + uriEncode(prefix, false);
        auto r = makeRequest("GET", "");
        r->url = listingUrl(query);
        r->what = "listing of " + (folder.empty() ? std::string("/") : folder);
        r->keepBody = true;
        std::vector<std::unique_ptr<Request>> one;
        one.push_back(std::move(r));
        run(one);

        token.clear();
        bool truncated = false;
        QXmlStreamReader xml(one.front()->body);
        bool inContents = false;
        RemoteFile file;
        std::string key;
        while (!xml.atEnd()) {
            xml.readNext();
            if (xml.isStartElement()) {
                const auto name = xml.name();
                if (name == QLatin1String("Contents")) {
                    inContents = true;
                    key.clear();
                    file = {};
                } else if (inContents && name == QLatin1String("Key")) {
                    key = xml.readElementText().toStdString();
                } else if (inContents && name == QLatin1String("Size")) {
                    file.size = xml.readElementText().toLongLong();
                } else if (!inContents && name == QLatin1String("IsTruncated")) {
                    truncated = xml.readElementText() == QLatin1String("true");
                } else if (!inContents && name == QLatin1String("NextContinuationToken")) {
                    token = xml.readElementText().toStdString();
                }
            } else if (xml.isEndElement() && xml.name() == QLatin1String("Contents")) {
                inContents = false;
                if (key.size() > prefix.size() && key.compare(0, prefix.size(), prefix) == 0) {
                    file.name = key.substr(prefix.size());
                    out.push_back(std::move(file));
                }
            }
        }
        if (xml.hasError())
            throw S3Error("The S3 server at " + endpointLabel()
                + " sent a listing that cannot be read: " + xml.errorString().toStdString());
        if (!truncated)
            token.clear();
    } while (!token.empty());
    return out;
}

qint64 S3Client::size(const std::string &remoteName)
{
    auto r = makeRequest("HEAD", keyOf(remoteName));
    r->what = "size check of " + remoteName;
    r->missingIsFine = true;
    std::vector<std::unique_ptr<Request>> one;
    one.push_back(std::move(r));
    try {
        run(one);
    } catch (const S3Error &e) {
        if (e.status() != 403 || !e.code().empty())
            throw;
        // An answer to HEAD has no text, so a refusal does not say why: one
        // byte of the object is asked for, whose refusal does.
        auto probe = makeRequest("GET", keyOf(remoteName));
        probe->what = one.front()->what;
        probe->headers.push_back("Range: bytes=0-0");
        std::vector<std::unique_ptr<Request>> again;
        again.push_back(std::move(probe));
        run(again);
        throw;
    }
    const Request &answer = *one.front();
    return answer.status == 404 ? -1 : answer.contentLength;
}

void S3Client::download(const std::string &remoteName, const std::string &localPath)
{
    auto r = makeRequest("GET", keyOf(remoteName));
    r->what = "download of " + remoteName;
    r->targetPath = localPath;
    std::vector<std::unique_ptr<Request>> one;
    one.push_back(std::move(r));
    run(one);
}

} // namespace tl
