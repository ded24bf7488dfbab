#include "ui/publish/transferprompts.h"

#include "core/cp1250.h"
#include "core/programfiles.h"
#include "publish/ftpclient.h"
#include "publish/publisher.h"
#include "publish/sftpclient.h"
#include "ui/prompts.h"

#include <QObject>

namespace tl {

namespace {

// A message box lists this many names; the rest are counted.
constexpr int kNamesShown = 12;

QString nameList(const QStringList &names)
{
    QString text;
    for (qsizetype i = 0; i < names.size() && i < kNamesShown; ++i)
        text += QStringLiteral("    ") + names[i] + QLatin1Char('\n');
    if (names.size() > kNamesShown)
        text += QObject::tr("    … and %1 more\n").arg(names.size() - kNamesShown);
    return text;
}

QString files(qsizetype n)
{
    return n == 1 ? QObject::tr("1 file") : QObject::tr("%1 files").arg(n);
}

} // namespace

bool askHostKey(Prompts &prompts, const HostKeyInfo &key)
{
    const QString where = key.port == 22
        ? QString::fromStdString(key.host)
        : QStringLiteral("%1 port %2").arg(QString::fromStdString(key.host)).arg(key.port);
    const QString text
        = QStringLiteral("The server %1 is not known yet. It identifies itself with the %2 key\n\n"
                         "%3\n\nCompare this fingerprint with the one your host publishes. "
                         "Trust this server and remember its key?")
              .arg(
                  where, QString::fromStdString(key.type), QString::fromStdString(key.fingerprint));
    return prompts.question(QStringLiteral("Unknown server"), text, false, Prompts::Answer::No)
        == Prompts::Answer::Yes;
}

bool askCertificate(Prompts &prompts, const CertificateInfo &info)
{
    const QString warning = info.Changed
        ? QStringLiteral("WARNING: this is not the certificate you accepted for this "
                         "server before. Someone may be listening in, or the host "
                         "has a new certificate.\n\n")
        : QString();
    const QString text = warning
        + QStringLiteral("The server's certificate is not vouched for by a trusted authority "
                         "(%1).\n\nSubject: %2\nIssuer: %3\nSHA-256 fingerprint:\n%4\n\n"
                         "Compare the fingerprint with the one your host publishes. Accept this "
                         "certificate and remember it for this project?")
              .arg(QString::fromStdString(info.Problems), QString::fromStdString(info.Subject),
                  QString::fromStdString(info.Issuer), QString::fromStdString(info.Fingerprint));
    return prompts.question(info.Changed ? QStringLiteral("Certificate changed")
                                         : QStringLiteral("Untrusted certificate"),
               text, false, Prompts::Answer::No)
        == Prompts::Answer::Yes;
}

bool askRemovals(Prompts &prompts, const std::vector<std::string> &remoteNames)
{
    QStringList names;
    for (const std::string &n : remoteNames)
        names << decodeCp1250(n);
    const QString text
        = QObject::tr("%1 %2 no longer part of the site and will be removed from the server:\n\n"
                      "%3\nRemove them? (No sends the rest and leaves them on the server.)")
              .arg(files(names.size()), names.size() == 1 ? QObject::tr("is") : QObject::tr("are"),
                  nameList(names));
    return prompts.question(QObject::tr("Remove from the server"), text, false, Prompts::Answer::No)
        == Prompts::Answer::Yes;
}

QString checkReport(const QStringList &differing, const QString &sendCommand)
{
    if (differing.isEmpty())
        return QObject::tr("The server holds the whole site.");
    return QObject::tr("The server lacks or holds otherwise %1:\n\n%2\n"
                       "They are queued: %3 sends them.")
        .arg(files(differing.size()), nameList(differing), sendCommand);
}

QString fetchReport(const FetchResult &result, const QString &dataFolder)
{
    QString text;
    if (!result.conflicts.isEmpty()) {
        const qsizetype n = result.conflicts.size();
        QStringList kept;
        for (const QString &path : result.conflicts)
            kept << path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
        text += (n == 1 ? QObject::tr("1 post was changed here and on the server.")
                        : QObject::tr("%1 posts were changed here and on the server.").arg(n))
            + QObject::tr(" Your copies stay as they are; the server's copies are kept in "
                          "%1conflicts/:\n\n%2\nCompare them and keep what you want.")
                  .arg(WithTrailingSeparator(dataFolder), nameList(kept));
    }
    if (!result.skipped.isEmpty()) {
        if (!text.isEmpty())
            text += QStringLiteral("\n\n");
        text += QObject::tr("%1 not fetched:\n\n%2")
                    .arg(files(result.skipped.size()), nameList(result.skipped));
    }
    return text;
}

} // namespace tl
