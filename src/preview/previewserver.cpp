#include "preview/previewserver.h"

#include "core/errors.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

namespace tl::preview {

namespace {

constexpr qsizetype kMaxRequestHead = 16 * 1024;
constexpr int kMaxConnections = 64;
constexpr int kIdleMs = 20000;
constexpr qint64 kMaxFileBytes = 512LL * 1024 * 1024;

QByteArray reason(int status)
{
    switch (status) {
    case 200: return "OK";
    case 301: return "Moved Permanently";
    case 400: return "Bad Request";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 421: return "Misdirected Request";
    case 431: return "Request Header Fields Too Large";
    case 500: return "Internal Server Error";
    default: return "Error";
    }
}

QByteArray contentType(const QString &path)
{
    static const QHash<QString, QByteArray> types = {
        {QStringLiteral("html"), "text/html"},
        {QStringLiteral("htm"), "text/html"},
        {QStringLiteral("css"), "text/css"},
        {QStringLiteral("js"), "text/javascript"},
        {QStringLiteral("mjs"), "text/javascript"},
        {QStringLiteral("json"), "application/json"},
        {QStringLiteral("xml"), "application/xml"},
        {QStringLiteral("rss"), "application/rss+xml"},
        {QStringLiteral("atom"), "application/atom+xml"},
        {QStringLiteral("txt"), "text/plain"},
        {QStringLiteral("jpg"), "image/jpeg"},
        {QStringLiteral("jpeg"), "image/jpeg"},
        {QStringLiteral("png"), "image/png"},
        {QStringLiteral("gif"), "image/gif"},
        {QStringLiteral("webp"), "image/webp"},
        {QStringLiteral("avif"), "image/avif"},
        {QStringLiteral("svg"), "image/svg+xml"},
        {QStringLiteral("ico"), "image/x-icon"},
        {QStringLiteral("bmp"), "image/bmp"},
        {QStringLiteral("woff"), "font/woff"},
        {QStringLiteral("woff2"), "font/woff2"},
        {QStringLiteral("ttf"), "font/ttf"},
        {QStringLiteral("otf"), "font/otf"},
        {QStringLiteral("mp3"), "audio/mpeg"},
        {QStringLiteral("ogg"), "audio/ogg"},
        {QStringLiteral("mp4"), "video/mp4"},
        {QStringLiteral("webm"), "video/webm"},
        {QStringLiteral("pdf"), "application/pdf"},
    };
    return types.value(QFileInfo(path).suffix().toLower(), "application/octet-stream");
}

bool isHtml(const QByteArray &type) { return type == "text/html"; }

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The path of a request target with its %XX escapes decoded; false for a
// malformed escape.
bool percentDecode(const QByteArray &in, QByteArray &out)
{
    out.clear();
    for (qsizetype i = 0; i < in.size(); ++i) {
        if (in[i] != '%') {
            out += in[i];
            continue;
        }
        if (i + 2 >= in.size())
            return false;
        const int hi = hexValue(in[i + 1]);
        const int lo = hexValue(in[i + 2]);
        if (hi < 0 || lo < 0)
            return false;
        out += char(hi * 16 + lo);
        i += 2;
    }
    return true;
}

// A path from the site's root in one spelling: "/" and the names between
// single slashes ("archiv/x.html", "/archiv//x.html" -> "/archiv/x.html").
QString normalPath(const QString &path)
{
    return QLatin1Char('/') + path.split(QLatin1Char('/'), Qt::SkipEmptyParts).join(QLatin1Char('/'));
}

bool inside(const QString &real, const QString &root)
{
    return real == root || real.startsWith(root.endsWith(QLatin1Char('/')) ? root : root + QLatin1Char('/'));
}

} // namespace

struct PreviewServer::Request {
    bool head = false;
    QString path;       // decoded, normalPath form
    QByteArray rawPath; // as sent, without query
    bool folderPath = false; // ended with "/"
    bool root = false;       // "/" itself
};

struct PreviewServer::Connection {
    QByteArray buffer;
    bool answered = false;
    bool events = false;
    bool held = false;
    Request request;
};

PreviewServer::PreviewServer(QObject *parent) : QObject(parent), server_(new QTcpServer(this))
{
    connect(server_, &QTcpServer::newConnection, this, &PreviewServer::accept);
}

PreviewServer::~PreviewServer() { close(); }

void PreviewServer::listen()
{
    if (server_->isListening())
        return;
    if (!server_->listen(QHostAddress::LocalHost, 0))
        throw AppError("The preview cannot listen on 127.0.0.1: "
                       + server_->errorString().toLocal8Bit().toStdString());
}

bool PreviewServer::isListening() const { return server_->isListening(); }

quint16 PreviewServer::port() const { return server_->serverPort(); }

QUrl PreviewServer::url(const QString &path) const
{
    QUrl u;
    u.setScheme(QStringLiteral("http"));
    u.setHost(QStringLiteral("127.0.0.1"));
    u.setPort(port());
    u.setPath(normalPath(path) + (path.endsWith(QLatin1Char('/')) && path.size() > 1 ? "/" : ""));
    return u;
}

void PreviewServer::setFolders(const QStringList &folders) { folders_ = folders; }

void PreviewServer::setIndexName(const QString &name) { indexName_ = name; }

void PreviewServer::setPage(const QString &path, const QByteArray &html)
{
    pages_.insert(normalPath(path), html);
}

void PreviewServer::removePage(const QString &path) { pages_.remove(normalPath(path)); }

void PreviewServer::holdFiles(std::function<bool(const QString &)> waits)
{
    waits_ = std::move(waits);
    ready_.clear();
}

QString PreviewServer::fileOf(const Request &request) const
{
    if ((request.root || request.folderPath) && !indexName_.isEmpty())
        return normalPath(request.path + QLatin1Char('/') + indexName_);
    return request.path;
}

void PreviewServer::fileReady(const QString &path)
{
    if (!waits_)
        return;
    const QString file = normalPath(path);
    ready_.insert(file);
    if (held_ == 0)
        return;
    const auto connections = connections_;
    for (auto it = connections.begin(); it != connections.end(); ++it) {
        Connection &c = *it.value();
        if (c.held && fileOf(c.request) == file) {
            c.held = false;
            --held_;
            answerFile(it.key(), c.request);
        }
    }
}

void PreviewServer::releaseFiles()
{
    waits_ = nullptr;
    ready_.clear();
    const auto connections = connections_;
    for (auto it = connections.begin(); it != connections.end(); ++it) {
        Connection &c = *it.value();
        if (!c.held)
            continue;
        c.held = false;
        --held_;
        answerFile(it.key(), c.request);
    }
}

void PreviewServer::setFailure(const QString &message) { failure_ = message; }

void PreviewServer::close()
{
    server_->close();
    const auto sockets = connections_.keys();
    connections_.clear();
    held_ = 0;
    for (QTcpSocket *s : sockets) {
        s->disconnect(this);
        s->abort();
        s->deleteLater();
    }
}

QByteArray PreviewServer::reloadScript()
{
    // Paths are compared decoded: the browser's location is percent-encoded.
    return QByteArrayLiteral(
        "<script>/* preview: reloads when the post changes */(function(){"
        "var e=new EventSource(\"") + kEventsPath + QByteArrayLiteral("\");"
        "e.addEventListener(\"reload\",function(m){var d=JSON.parse(m.data),"
        "here=decodeURIComponent(location.pathname);"
        "if(d.page===here&&d.to&&d.to!==here)location.replace(encodeURI(d.to)+location.hash);"
        "else if(d.page===here||d.site)location.reload();});})();</script>");
}

QByteArray PreviewServer::withReloadScript(const QByteArray &html)
{
    QByteArray out = html;
    const qsizetype body = html.toLower().lastIndexOf("</body");
    if (body >= 0)
        out.insert(body, reloadScript());
    else
        out += reloadScript();
    return out;
}

void PreviewServer::announceReload(const QString &page, const QString &movedTo, bool everyPage)
{
    QJsonObject o;
    o.insert(QStringLiteral("page"), normalPath(page));
    o.insert(QStringLiteral("to"), normalPath(movedTo.isEmpty() ? page : movedTo));
    o.insert(QStringLiteral("site"), everyPage);
    const QByteArray event =
        "event: reload\ndata: " + QJsonDocument(o).toJson(QJsonDocument::Compact) + "\n\n";
    for (auto it = connections_.begin(); it != connections_.end(); ++it)
        if (it.value()->events)
            it.key()->write(event);
}

void PreviewServer::accept()
{
    while (server_->hasPendingConnections()) {
        QTcpSocket *socket = server_->nextPendingConnection();
        if (connections_.size() >= kMaxConnections || !socket->peerAddress().isLoopback()) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        connections_.insert(socket, std::make_shared<Connection>());
        // A connection that never completes its request is closed after a
        // while; the event stream stays open.
        auto *idle = new QTimer(socket);
        idle->setSingleShot(true);
        connect(idle, &QTimer::timeout, socket, [this, socket] {
            const auto it = connections_.constFind(socket);
            if (it != connections_.constEnd() && !it.value()->events && !it.value()->held)
                socket->abort();
        });
        idle->start(kIdleMs);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readFrom(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] { dropConnection(socket); });
        if (socket->bytesAvailable() > 0)
            readFrom(socket);
    }
}

void PreviewServer::dropConnection(QTcpSocket *socket)
{
    const auto it = connections_.constFind(socket);
    if (it == connections_.constEnd())
        return;
    if (it.value()->held)
        --held_;
    connections_.erase(it);
    socket->deleteLater();
}

namespace {

void respond(QTcpSocket *socket, int status, const QByteArray &type, const QByteArray &body,
             bool head, const QByteArray &extraHeaders = QByteArray())
{
    QByteArray r = "HTTP/1.1 " + QByteArray::number(status) + ' ' + reason(status) + "\r\n";
    if (!type.isEmpty())
        r += "Content-Type: " + type + "\r\n";
    r += "Content-Length: " + QByteArray::number(body.size()) + "\r\n"
         "Cache-Control: no-store\r\n"
         "X-Content-Type-Options: nosniff\r\n"
         "Referrer-Policy: no-referrer\r\n"
         "Connection: close\r\n"
        + extraHeaders + "\r\n";
    if (!head)
        r += body;
    socket->write(r);
    socket->disconnectFromHost();
}

void refuse(QTcpSocket *socket, int status, bool head = false,
            const QByteArray &extraHeaders = QByteArray())
{
    respond(socket, status, "text/plain; charset=utf-8",
            QByteArray::number(status) + ' ' + reason(status) + '\n', head, extraHeaders);
}

} // namespace

void PreviewServer::readFrom(QTcpSocket *socket)
{
    const auto found = connections_.constFind(socket);
    if (found == connections_.constEnd())
        return;
    Connection &c = *found.value();
    if (c.answered || c.events || c.held) {
        socket->readAll(); // one request per connection
        return;
    }
    c.buffer += socket->readAll();
    const qsizetype end = c.buffer.indexOf("\r\n\r\n");
    if (end < 0) {
        if (c.buffer.size() > kMaxRequestHead) {
            c.answered = true;
            refuse(socket, 431);
        }
        return;
    }
    c.answered = true;
    if (end > kMaxRequestHead) {
        refuse(socket, 431);
        return;
    }
    const QList<QByteArray> lines = c.buffer.left(end).split('\n');
    const QList<QByteArray> requestLine = lines.first().trimmed().split(' ');
    if (requestLine.size() != 3 || !requestLine[2].startsWith("HTTP/1.")) {
        refuse(socket, 400);
        return;
    }
    const QByteArray &method = requestLine[0];
    const QByteArray &target = requestLine[1];
    Request request;
    request.head = method == "HEAD";

    // The Host header must name this server as the browser reached it; a
    // page of another site that resolves its own name to 127.0.0.1 (DNS
    // rebinding) sends its own name and gets nothing.
    int hosts = 0;
    bool ourHost = false;
    const QByteArray port = QByteArray::number(this->port());
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines[i].trimmed();
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0)
            continue;
        if (line.left(colon).trimmed().toLower() != "host")
            continue;
        ++hosts;
        const QByteArray host = line.mid(colon + 1).trimmed().toLower();
        ourHost = host == "127.0.0.1:" + port || host == "localhost:" + port;
    }
    if (hosts != 1) {
        refuse(socket, 400, request.head);
        return;
    }
    if (!ourHost) {
        refuse(socket, 421, request.head);
        return;
    }
    if (method != "GET" && method != "HEAD") {
        refuse(socket, 405, false, "Allow: GET, HEAD\r\n");
        return;
    }
    // Only a path from the root ("origin form"); no absolute address, no
    // control characters or blanks.
    if (!target.startsWith('/')) {
        refuse(socket, 400, request.head);
        return;
    }
    for (const char ch : target)
        if (uchar(ch) <= 0x20 || uchar(ch) == 0x7F) {
            refuse(socket, 400, request.head);
            return;
        }
    qsizetype cut = target.indexOf('?');
    const qsizetype hash = target.indexOf('#');
    if (cut < 0 || (hash >= 0 && hash < cut))
        cut = hash;
    request.rawPath = cut < 0 ? target : target.left(cut);
    QByteArray decoded;
    if (!percentDecode(request.rawPath, decoded) || decoded.contains('\0')
        || decoded.contains('\\')) {
        refuse(socket, 400, request.head);
        return;
    }
    if (decoded == kEventsPath && !request.head) {
        c.events = true;
        socket->write("HTTP/1.1 200 OK\r\n"
                      "Content-Type: text/event-stream\r\n"
                      "Cache-Control: no-store\r\n"
                      "X-Content-Type-Options: nosniff\r\n\r\n"
                      "retry: 1000\n\n");
        return;
    }
    // Every name is checked as decoded: "..", "." and hidden names ("%2e%2e"
    // included) are refused, so a path can never climb out of a folder.
    QStringList names;
    for (const QByteArray &name : decoded.split('/')) {
        if (name.isEmpty())
            continue;
        if (name == ".." || name == ".") {
            refuse(socket, 403, request.head);
            return;
        }
        if (name.startsWith('.')) {
            refuse(socket, 404, request.head);
            return;
        }
        names << QFile::decodeName(name);
    }
    request.path = QLatin1Char('/') + names.join(QLatin1Char('/'));
    request.folderPath = decoded.endsWith('/');
    request.root = names.isEmpty();
    answer(socket, request);
}

void PreviewServer::answer(QTcpSocket *socket, const Request &request)
{
    const auto page = pages_.constFind(request.path);
    if (page != pages_.constEnd()) {
        respond(socket, 200, "text/html", withReloadScript(page.value()), request.head);
        return;
    }
    if (waits_ && waits_(fileOf(request)) && !ready_.contains(fileOf(request))) {
        Connection &c = *connections_.value(socket);
        c.held = true;
        ++held_;
        c.request = request;
        return;
    }
    answerFile(socket, request);
}

void PreviewServer::answerFile(QTcpSocket *socket, const Request &request)
{
    if (!failure_.isEmpty() && isHtml(contentType(request.path))) {
        const QByteArray html = "<!DOCTYPE html><html><head><meta charset=\"utf-8\">"
                                "<title>Preview</title></head><body><h1>The preview could not be "
                                "made</h1><p>"
            + failure_.toHtmlEscaped().toUtf8() + "</p></body></html>";
        respond(socket, 500, "text/html; charset=utf-8", withReloadScript(html), request.head);
        return;
    }
    for (const QString &folder : folders_) {
        const QString root = QFileInfo(folder).canonicalFilePath();
        if (root.isEmpty())
            continue;
        const QFileInfo info(root + request.path);
        if (!info.exists())
            continue;
        QString real = info.canonicalFilePath();
        // A symbolic link may point anywhere: what it leads to must lie in
        // the folder too.
        if (!inside(real, root)) {
            refuse(socket, 403, request.head);
            return;
        }
        if (info.isDir()) {
            if (!request.folderPath && !request.root) {
                refuse(socket, 301, request.head, "Location: " + request.rawPath + "/\r\n");
                return;
            }
            // A folder shows its main page, never a list of its files.
            if (indexName_.isEmpty())
                continue;
            const QFileInfo index(real + QLatin1Char('/') + indexName_);
            if (!index.isFile())
                continue;
            real = index.canonicalFilePath();
            if (!inside(real, root)) {
                refuse(socket, 403, request.head);
                return;
            }
        } else if (!info.isFile()) {
            continue; // no devices, pipes or sockets
        }
        QFile file(real);
        if (file.size() > kMaxFileBytes || !file.open(QIODevice::ReadOnly)) {
            refuse(socket, 403, request.head);
            return;
        }
        const QByteArray type = contentType(real);
        const QByteArray bytes = file.readAll();
        respond(socket, 200, type, isHtml(type) ? withReloadScript(bytes) : bytes, request.head);
        return;
    }
    refuse(socket, 404, request.head);
}

} // namespace tl::preview
