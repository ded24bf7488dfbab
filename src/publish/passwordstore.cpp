#include "publish/passwordstore.h"

#include "core/projectsettings.h"

#include "core/errors.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QEventLoop>
#include <QTimer>

#include <memory>

#include <qt6keychain/keychain.h>

namespace tl {

namespace {

const QString kSecretService = QStringLiteral("org.freedesktop.secrets");

// Starts `job` and runs the event loop until it finishes or the time is up.
// A job that finished is handed back; one still running when the time is up
// is left to delete itself when it ends, and the wait throws.
template <class Job>
std::unique_ptr<Job> finish(std::unique_ptr<Job> job, const PasswordKey &key, int timeoutMs)
{
    job->setAutoDelete(false);
    // Without a keyring QtKeychain could keep the password in a plain
    // settings file instead; that must never happen.
    job->setInsecureFallback(false);
    job->setKey(PasswordStore::entryName(key));
    bool done = false;
    {
        QEventLoop loop;
        QObject::connect(job.get(), &QKeychain::Job::finished, &loop, [&] {
            done = true;
            loop.quit();
        });
        QTimer limit;
        limit.setSingleShot(true);
        QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
        limit.start(timeoutMs);
        job->start();
        loop.exec();
    }
    if (!done) {
        job.release()->setAutoDelete(true);
        throw AppError(
            "The keyring did not answer within " + std::to_string(timeoutMs / 1000) + " seconds.");
    }
    return job;
}

std::string failure(const char *what, const QKeychain::Job &job)
{
    return std::string(what) + ": " + job.errorString().toStdString();
}

} // namespace

const char *const PasswordStore::kService = "Tarvel Lite";

PasswordStore::PasswordStore(int timeoutMs)
    : timeoutMs_(timeoutMs)
{
}

bool PasswordStore::available(QString *why)
{
    auto explain = [why](const QString &text) {
        if (why)
            *why = text;
        return false;
    };
    const QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return explain(QStringLiteral("There is no D-Bus session bus, so no keyring can keep "
                                      "the password."));
    const QDBusConnectionInterface *names = bus.interface();
    if (names
        && (names->isServiceRegistered(kSecretService).value()
            || names->activatableServiceNames().value().contains(kSecretService)))
        return true;
    return explain(QStringLiteral("No keyring (Secret Service, such as GNOME Keyring) runs in "
                                  "this session."));
}

QString PasswordStore::entryName(const PasswordKey &key)
{
    // Project names hold no "/", so the name reads back unambiguously.
    return key.project + QLatin1Char('/') + key.user + QLatin1Char('@') + key.server;
}

void PasswordStore::store(const PasswordKey &key, const QString &password)
{
    auto job = std::make_unique<QKeychain::WritePasswordJob>(QString::fromLatin1(kService));
    job->setTextData(password);
    job = finish(std::move(job), key, timeoutMs_);
    if (job->error() != QKeychain::NoError)
        throw AppError(failure("The keyring did not keep the password", *job));
}

std::optional<QString> PasswordStore::read(const PasswordKey &key)
{
    auto job = finish(std::make_unique<QKeychain::ReadPasswordJob>(QString::fromLatin1(kService)),
        key, timeoutMs_);
    if (job->error() == QKeychain::EntryNotFound)
        return std::nullopt;
    if (job->error() != QKeychain::NoError)
        throw AppError(failure("The keyring could not be read", *job));
    return job->textData();
}

bool PasswordStore::forget(const PasswordKey &key)
{
    // Removing an entry that is not there is no failure to QtKeychain, so a
    // look first tells whether there was one.
    if (!read(key))
        return false;
    auto job = finish(std::make_unique<QKeychain::DeletePasswordJob>(QString::fromLatin1(kService)),
        key, timeoutMs_);
    if (job->error() != QKeychain::NoError && job->error() != QKeychain::EntryNotFound)
        throw AppError(failure("The keyring did not remove the password", *job));
    return true;
}

PasswordKey passwordKeyOf(const QString &project, const ServerSettings &server)
{
    switch (server.target) {
    case PublishTarget::Git:
        return {project, server.gitUrl.trimmed(), QStringLiteral("token")};
    case PublishTarget::S3:
        return {project, server.s3Endpoint.trimmed() + QLatin1Char('/') + server.s3Bucket.trimmed(),
                server.s3KeyId.trimmed()};
    case PublishTarget::Server:
        break;
    }
    return {project, server.host, server.user};
}

} // namespace tl
