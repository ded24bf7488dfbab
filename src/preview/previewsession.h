#pragma once
// The preview of a project: the post open in the editor, saved or not, shown
// in the writer's browser as its page will look, within the whole site as
// Generate would make it.
//
// The site is generated into a preview folder of its own (never the main
// folder, so the real site and the send record stay as they are), in the
// background; the open post's page is rendered on the calling thread and
// held in memory, so it is shown at once and again after each change, while
// the other pages follow once generated. A server on 127.0.0.1
// (PreviewServer) serves both, and the pictures and other files from the
// main folder; the pages reload by themselves when the post changes.
//
// The window owns one session (a child QObject, so the server stops with the
// window) and calls:
//   start(settings, post)   the Preview command; open the returned address
//   showPost(post)          the post's text or date changed (debounced), or
//                           it was saved
//   siteChanged()           posts were saved or deleted, or Generate ran
//   stop()                  the project closes (also done on destruction)
#include "core/projectsettings.h"
#include "generator/generate.h"
#include "preview/previewserver.h"

#include <QObject>
#include <QString>
#include <QUrl>

#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace tl::preview {

// The post open in the editor.
struct PreviewPost {
    std::string title;   // bytes, as the post file would hold them
    std::string body;
    double dateTime = 0; // its date and time (days since 1899-12-30)
};

class PreviewSession : public QObject {
    Q_OBJECT
public:
    explicit PreviewSession(QObject *parent = nullptr);
    ~PreviewSession() override; // stops, after a generation under way

    // The preview folder of a project: one per main folder, in the user's
    // cache folder, kept between previews so that the next one writes only
    // what changed.
    static QString defaultFolder(const ProjectSettings &settings);

    // Reads the project's posts, renders the post's page (the main page is
    // the address without a post), starts the server (a running one keeps its
    // port) and begins generating the site into `folder` (default:
    // defaultFolder). Returns the address to open in the browser. Throws
    // AppError as Generate would (no main folder, data folder missing,
    // template unreadable or without its markers), and for a preview folder
    // that is, holds or lies in the main or data folder.
    QUrl start(const ProjectSettings &settings, const std::optional<PreviewPost> &post = std::nullopt,
               const QString &folder = QString());
    // The open post changed: its page is rendered again and the browser
    // reloads it (or goes to its new address when its date changed). A
    // failure (a template gone) is shown in the page and reported by failed().
    void showPost(const PreviewPost &post);
    // No post open any more: its page goes.
    void closePost();
    // Posts were saved or deleted: the site is generated again in the
    // background, and every open page reloads when it is done.
    void siteChanged();
    // Stops the server; the preview folder stays for the next preview.
    void stop();

    bool isRunning() const;
    // The address of the post's page, or of the main page without a post.
    QUrl address() const;
    bool isGenerating() const { return generating_; }
    // Runs the event loop until the site is generated or the time is up.
    bool waitForSite(int timeoutMs);
    PreviewServer &server() { return *server_; }

signals:
    void siteGenerated();
    // Generating the preview failed, or the post could not be rendered.
    void failed(const QString &message);

private:
    struct Result;
    void generate(bool readAgain);
    void generated(const Result &result);
    void joinWorker();
    void renderPost(bool announce);

    PreviewServer *server_;
    gen::SiteFields fields_; // main folder: the preview folder
    std::vector<std::string> postList_, monthList_, treeOrder_;
    std::optional<PreviewPost> post_;
    QString pagePath_; // the post's page, from the site's root
    std::thread worker_;
    bool generating_ = false;
    bool again_ = false;
    int run_ = 0;
};

} // namespace tl::preview
