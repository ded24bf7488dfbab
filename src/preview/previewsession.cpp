#include "preview/previewsession.h"

#include "core/errors.h"
#include "core/programfiles.h"
#include "generator/postpage.h"
#include "generator/sitebuilder.h"
#include "posts/postfile.h"
#include "posts/poststore.h"

#include <QCryptographicHash>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTimer>

#include <functional>
#include <memory>

namespace tl::preview {

namespace {

// Tells the session, on its own thread, of each file as generation writes
// it, so that a page waited for is served before the rest of the site is
// done.
class ReadyReporter : public gen::GenerateReporter {
public:
    ReadyReporter(std::function<void(const QString &)> ready, std::string folder)
        : ready_(std::move(ready)), folder_(std::move(folder))
    {
    }
    void log(const std::string &) override {}
    void clearUploadList() override {}
    void addToUploadList(const std::string &) override {}
    void siteFile(const std::string &path, WriteOutcome) override
    {
        if (path.compare(0, folder_.size(), folder_) == 0)
            ready_(pathText(path.substr(folder_.size())));
    }

private:
    std::function<void(const QString &)> ready_;
    std::string folder_;
};

QString absoluteClean(const QString &path)
{
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

bool sameOrBelow(const QString &path, const QString &folder)
{
    const QString p = absoluteClean(path);
    const QString f = absoluteClean(folder);
    return p == f || p.startsWith(f.endsWith(QLatin1Char('/')) ? f : f + QLatin1Char('/'));
}

void checkFolder(const QString &preview, const QString &other, const char *what)
{
    if (other.isEmpty())
        return;
    if (sameOrBelow(preview, other) || sameOrBelow(other, preview))
        throw AppError(QStringLiteral("The preview folder %1 must lie apart from the %2 folder %3.")
                           .arg(preview, QLatin1String(what), other)
                           .toLocal8Bit()
                           .toStdString());
}

QString sitePath(const std::string &bytes)
{
    return QLatin1Char('/')
        + pathText(bytes).split(QLatin1Char('/'), Qt::SkipEmptyParts).join(QLatin1Char('/'));
}

QByteArray failurePage(const QString &message)
{
    return "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>Preview</title></head>"
           "<body><h1>The post cannot be shown</h1><p>"
        + message.toHtmlEscaped().toUtf8() + "</p></body></html>";
}

} // namespace

struct PreviewSession::Result {
    int run = 0;
    bool readAgain = false;
    std::string error;
    std::vector<std::string> postList, monthList, treeOrder;
};

PreviewSession::PreviewSession(QObject *parent)
    : QObject(parent), server_(new PreviewServer(this))
{
}

PreviewSession::~PreviewSession() { stop(); }

QString PreviewSession::defaultFolder(const ProjectSettings &settings)
{
    const QString key = QString::fromLatin1(
        QCryptographicHash::hash(absoluteClean(settings.site.mainFolder).toUtf8(),
                                 QCryptographicHash::Sha1)
            .toHex()
            .left(16));
    return QStandardPaths::writableLocation(QStandardPaths::CacheLocation)
        + QStringLiteral("/preview/") + key;
}

QUrl PreviewSession::start(const ProjectSettings &settings, const std::optional<PreviewPost> &post,
                           const QString &folder)
{
    joinWorker();
    if (settings.site.mainFolder.isEmpty())
        throw AppError("Main path is not set.\nPlease fill in the main path on tab OPTIONS.");
    const QString previewFolder = absoluteClean(folder.isEmpty() ? defaultFolder(settings) : folder);
    checkFolder(previewFolder, settings.site.mainFolder, "main");
    checkFolder(previewFolder, settings.site.dataFolder, "data");
    if (!QDir().mkpath(previewFolder))
        throw AppError(msgCannotCreateFile(pathBytes(previewFolder)));

    fields_ = gen::siteFields(settings);
    fields_.mainFolder = pathBytes(previewFolder) + "/";

    // Read, as Generate begins: the post page needs the month list.
    const PostFolder read = readPostFolder(fields_.dataFolder);
    if (!read.walk.failure.empty())
        throw AppError(read.walk.failure);
    postList_ = read.postList;
    monthList_ = monthList(read.walk);
    treeOrder_ = treeOrder(read.walk);

    server_->setFolders({previewFolder, settings.site.mainFolder});
    server_->setIndexName(settings.site.mainPageName);
    server_->setFailure(QString());
    server_->listen();
    closePost();
    post_ = post;
    if (post_) {
        // The first showing fails as the command: the writer sees why.
        const gen::PostPage page = gen::renderPostPage(
            fields_, postList_, monthList_, DateTimeToSeconds(post_->dateTime),
            parsePost(postFileBytes(post_->title, post_->body)));
        pagePath_ = sitePath(page.path);
        server_->setPage(pagePath_, QByteArray::fromStdString(page.bytes));
    }
    generate(false);
    return address();
}

void PreviewSession::renderPost(bool announce)
{
    const QString old = pagePath_;
    QString path = old;
    QByteArray bytes;
    try {
        const gen::PostPage page = gen::renderPostPage(
            fields_, postList_, monthList_, DateTimeToSeconds(post_->dateTime),
            parsePost(postFileBytes(post_->title, post_->body)));
        path = sitePath(page.path);
        bytes = QByteArray::fromStdString(page.bytes);
    } catch (const std::exception &e) {
        const QString message = QString::fromLocal8Bit(e.what());
        bytes = failurePage(message);
        emit failed(message);
    }
    if (path.isEmpty())
        return;
    if (!old.isEmpty() && old != path)
        server_->removePage(old);
    server_->setPage(path, bytes);
    pagePath_ = path;
    if (announce && !old.isEmpty())
        server_->announceReload(old, path, false);
}

void PreviewSession::showPost(const PreviewPost &post)
{
    if (!isRunning())
        return;
    post_ = post;
    renderPost(true);
}

void PreviewSession::closePost()
{
    if (!pagePath_.isEmpty())
        server_->removePage(pagePath_);
    pagePath_.clear();
    post_.reset();
}

void PreviewSession::siteChanged()
{
    if (isRunning())
        generate(true);
}

void PreviewSession::stop()
{
    joinWorker();
    server_->close();
    closePost();
}

bool PreviewSession::isRunning() const { return server_->isListening(); }

QUrl PreviewSession::address() const
{
    return server_->url(pagePath_.isEmpty() ? QStringLiteral("/") : pagePath_);
}

bool PreviewSession::waitForSite(int timeoutMs)
{
    if (!generating_)
        return true;
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    connect(this, &PreviewSession::siteGenerated, &loop, &QEventLoop::quit);
    connect(this, &PreviewSession::failed, &loop, &QEventLoop::quit);
    timer.start(timeoutMs);
    while (generating_ && timer.isActive())
        loop.exec();
    return !generating_;
}

void PreviewSession::joinWorker()
{
    if (worker_.joinable())
        worker_.join();
    if (generating_) {
        // Its result, still on its way, belongs to a run that is over.
        generating_ = false;
        again_ = false;
        ++run_;
        server_->releaseFiles();
    }
}

void PreviewSession::generate(bool readAgain)
{
    if (generating_) {
        again_ = true;
        return;
    }
    if (worker_.joinable())
        worker_.join();
    generating_ = true;

    // The pages generation writes wait while it runs; pictures, style
    // sheets and the post's own page do not.
    const QString mainPage = sitePath(fields_.mainPageName);
    const QString feed = sitePath(fields_.feedName);
    const QString text = sitePath(fields_.textPageName);
    QString archive = sitePath(fields_.archiveFolder);
    if (!archive.endsWith(QLatin1Char('/')))
        archive += QLatin1Char('/');
    server_->holdFiles([=](const QString &path) {
        if (path == QLatin1String("/") || path == mainPage || path == feed || path == text)
            return true;
        return path.endsWith(QLatin1String(".html")) && path.startsWith(archive);
    });

    gen::GenerateInput input;
    input.project = fields_;
    gen::stampFromProgram(input);
    input.postList = postList_;
    input.monthList = monthList_;
    input.treeOrder = treeOrder_;
    const int run = ++run_;
    worker_ = std::thread([this, input = std::move(input), readAgain, run]() mutable {
        auto result = std::make_shared<Result>();
        result->run = run;
        result->readAgain = readAgain;
        try {
            if (readAgain) {
                const PostFolder read = readPostFolder(input.project.dataFolder);
                if (!read.walk.failure.empty())
                    throw AppError(read.walk.failure);
                input.postList = read.postList;
                input.monthList = monthList(read.walk);
                input.treeOrder = treeOrder(read.walk);
            }
            ReadyReporter reporter(
                [this, run](const QString &file) {
                    QMetaObject::invokeMethod(
                        this,
                        [this, run, file] {
                            if (run == run_)
                                server_->fileReady(file);
                        },
                        Qt::QueuedConnection);
                },
                input.project.mainFolder);
            gen::GenerateSite(input, reporter);
            result->postList = std::move(input.postList);
            result->monthList = std::move(input.monthList);
            result->treeOrder = std::move(input.treeOrder);
        } catch (const std::exception &e) {
            result->error = e.what();
        }
        QMetaObject::invokeMethod(this, [this, result] { generated(*result); }, Qt::QueuedConnection);
    });
}

void PreviewSession::generated(const Result &result)
{
    if (result.run != run_)
        return; // a run given up by start() or stop()
    if (worker_.joinable())
        worker_.join();
    generating_ = false;
    const QString error = QString::fromLocal8Bit(result.error.c_str());
    server_->setFailure(error);
    if (result.error.empty() && result.readAgain) {
        postList_ = result.postList;
        monthList_ = result.monthList;
        treeOrder_ = result.treeOrder;
        if (post_)
            renderPost(false); // a new month changes its archive links
    }
    server_->releaseFiles();
    if (result.readAgain)
        server_->announceReload(pagePath_, pagePath_, true);
    if (!error.isEmpty())
        emit failed(error);
    else
        emit siteGenerated();
    if (again_) {
        again_ = false;
        generate(true);
    }
}

} // namespace tl::preview
