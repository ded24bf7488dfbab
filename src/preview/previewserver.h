#pragma once
// A small web server for the preview, inside the program: HTTP/1.1 on
// 127.0.0.1 and a port the system picks, for the writer's own browser.
//
// It answers GET and HEAD for files below its folders and for pages held in
// memory, and nothing else: no path outside the folders (".." and hidden
// names are refused, and a symbolic link that leads out is not followed), no
// folder listings, and no answer at all to a request whose Host header is
// not this server's own (127.0.0.1:PORT or localhost:PORT), so that no web
// page the browser shows can reach it under another name. Every HTML page it
// serves carries a small script that reloads the page when the server says
// so, over an event stream (Server-Sent Events); the files themselves are
// never changed.
#include <QByteArray>
#include <QHash>
#include <QSet>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>
#include <memory>

class QTcpServer;
class QTcpSocket;

namespace tl::preview {

// The path of the event stream. A path with a hidden name is never a file's.
inline constexpr char kEventsPath[] = "/.tarvlit/events";

class PreviewServer : public QObject {
    Q_OBJECT
public:
    explicit PreviewServer(QObject *parent = nullptr);
    ~PreviewServer() override;

    // Listens on 127.0.0.1, on a free port the system picks. Throws AppError
    // when it cannot. Listening again while listening changes nothing.
    void listen();
    bool isListening() const;
    quint16 port() const;
    // "http://127.0.0.1:PORT" + path, a path from the site's root
    // ("/archiv/2026-12_031405.html"), encoded as a browser would.
    QUrl url(const QString &path) const;

    // The folders whose files are served, in order: a path is looked up in
    // the first, then the next.
    void setFolders(const QStringList &folders);
    // The file served for a folder's own path ("/", "/archiv/"): the main
    // page's name. Without one, a folder's path is not found.
    void setIndexName(const QString &name);

    // A page held in memory, served in place of any file at its path (a
    // path from the site's root).
    void setPage(const QString &path, const QByteArray &html);
    void removePage(const QString &path);

    // While files are being written, requests for the files `waits` names
    // (by their path from the site's root; a folder's path by its main
    // page's) wait until fileReady() says that file is written or
    // releaseFiles() ends the wait for all. Held pages and other files are
    // served meanwhile.
    void holdFiles(std::function<bool(const QString &path)> waits);
    void fileReady(const QString &path);
    void releaseFiles();
    // A message served in place of the files that would wait (the site
    // could not be generated); empty: none.
    void setFailure(const QString &message);

    // Tells the open pages: the page at `page` changed (and now lives at
    // `movedTo`, when that differs); with `everyPage`, every page reloads.
    void announceReload(const QString &page, const QString &movedTo, bool everyPage);

    // Stops listening and closes every connection.
    void close();

    // The script added to every HTML page served (before its last "</body>").
    static QByteArray reloadScript();
    // The page with the reload script in it.
    static QByteArray withReloadScript(const QByteArray &html);

private:
    struct Connection;
    struct Request;
    QString fileOf(const Request &request) const;
    void accept();
    void readFrom(QTcpSocket *socket);
    void answer(QTcpSocket *socket, const Request &request);
    void answerFile(QTcpSocket *socket, const Request &request);
    void dropConnection(QTcpSocket *socket);

    QTcpServer *server_;
    QStringList folders_;
    QString indexName_;
    QHash<QString, QByteArray> pages_;
    std::function<bool(const QString &)> waits_;
    QSet<QString> ready_; // written while files are held
    int held_ = 0;        // requests waiting for a file
    QString failure_;
    QHash<QTcpSocket *, std::shared_ptr<Connection>> connections_;
};

} // namespace tl::preview
